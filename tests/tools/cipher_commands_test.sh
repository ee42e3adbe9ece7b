#!/usr/bin/env bash
# The tool's cipher commands: keygen, encrypt, decrypt.
# Expected values: MD5/SHA-1 of the empty seed (RFC 1321, FIPS 180-1, via
# Python hashlib), FIPS-197 appendix C.3, and ciphertexts from the OpenSSL
# command-line tool (openssl enc -aes-128-ecb|-aes-128-cbc -nopad, zero IV).
# Usage: cipher_commands_test.sh PATH_TO_ORVOCRYPTO
set -u
tool=$1
. "$(dirname "$0")/tool_test_lib.sh"

md5_empty=d41d8cd98f00b204e9800998ecf8427e
sha1_empty=da39a3ee5e6b4b0d3255bfef95601890afd80709
: >"$work/empty"
printf 'The quick brown fox jumps over the lazy dog' >"$work/fox"

# keygen: the length picks the key size, rounding down; it is taken unsigned.
# The empty seed is refused unless --allow-empty-seed (key_sanity_test.sh).
expect "keygen 16" 0 "0000000a$md5_empty" -- keygen aes --seed "$work/empty" --length 16 --allow-empty-seed --hex
expect "keygen 23" 0 "0000000a$md5_empty" -- keygen aes --seed "$work/empty" --length 23 --allow-empty-seed --hex
expect "keygen 24" 0 "0000000c$md5_empty${sha1_empty:0:16}" -- keygen aes --seed "$work/empty" --length 24 --allow-empty-seed --hex
expect "keygen 1000" 0 "0000000e$md5_empty${sha1_empty:0:32}" -- keygen aes --seed "$work/empty" --length 1000 --allow-empty-seed --hex
expect "keygen -1" 0 "0000000e$md5_empty${sha1_empty:0:32}" -- keygen aes --seed "$work/empty" --length=-1 --allow-empty-seed --hex
expect "keygen -o" 0 "" -- keygen aes --seed "$work/empty" --length 16 --allow-empty-seed -o "$work/key"
check "keygen writes the raw 20-byte blob" [ "$(wc -c <"$work/key")" -eq 20 ]

# encrypt / decrypt under that key (AES-128, key = MD5 of nothing).
fox_ecb=0694125611db624775ce2c51f0cb08f3d0758cf330b3469e20afd35db76d2d11cc12ff3db365f953960a3667970ae7f6
fox_cbc_20=0694125611db624775ce2c51f0cb08f38913a3f8a4598f568f3bb5ca38e54ae98bf01acd77afb4877b781146317cb64f
expect "encrypt ecb" 0 "$fox_ecb" -- encrypt aes --key "$work/key" "$work/fox" --hex
expect "encrypt cbc filler 32" 0 "$fox_cbc_20" -- encrypt aes --key "$work/key" --mode cbc --filler 32 "$work/fox" --hex
expect "encrypt mode 2 filler 0x20" 0 "$fox_cbc_20" -- encrypt aes --key "$work/key" --mode 2 --filler 0x20 "$work/fox" --hex
expect "mode names in any case" 0 "$fox_cbc_20" -- encrypt aes --key "$work/key" --mode CBC --filler 32 "$work/fox" --hex
expect "encrypt -o" 0 "" -- encrypt aes --key "$work/key" --mode cbc "$work/fox" -o "$work/sealed"
expect "decrypt cbc" 0 "*" -- decrypt aes --key "$work/key" --mode cbc "$work/sealed" -o "$work/opened"
check "decrypt gives the text and its padding" \
  [ "$(od -An -tx1 "$work/opened" | tr -d ' \n')" = "$(od -An -tx1 "$work/fox" | tr -d ' \n')0000000000" ]
check "standard input works" [ "$("$tool" encrypt aes --key "$work/key" --hex <"$work/fox")" = "$fox_ecb" ]

# FIPS-197 appendix C.3 through a key blob with round count 14.
printf '\x00\x00\x00\x0e' >"$work/key256"
for i in $(seq 0 31); do printf "\\x$(printf %02x "$i")" >>"$work/key256"; done
printf '\x00\x11\x22\x33\x44\x55\x66\x77\x88\x99\xaa\xbb\xcc\xdd\xee\xff' >"$work/c3"
expect "FIPS-197 C.3" 0 8ea2b7ca516745bfeafc49904b496089 -- encrypt aes --key "$work/key256" "$work/c3" --hex

# Failures: the system's text and status 1.
printf '\x00\x00\x00\x0c0123456789abcdef' >"$work/badkey"
expect "bad key blob" 1 "" -- encrypt aes --key "$work/badkey" "$work/fox"
check "bad key blob text" grep -qx "orvocrypto encrypt: Crypto System: Data is corrupted - AES" "$work/stderr"
head -c 15 "$work/sealed" >"$work/short"
expect "decrypt of 15 bytes" 1 "" -- decrypt aes --key "$work/key" "$work/short"
check "partial block text" grep -qx "orvocrypto decrypt: Crypto System: Unable to decrypt data" "$work/stderr"

# Usage errors: status 2.
expect "unknown cipher" 2 "" -- encrypt des --key "$work/key" "$work/fox"
expect "no cipher" 2 "" -- keygen --seed "$work/empty" --length 16
expect "keygen without --length" 2 "" -- keygen aes --seed "$work/empty"
expect "encrypt without --key" 2 "" -- encrypt aes "$work/fox"
# Modes other than ECB and CBC and fillers outside a byte are refused (the
# scripting objects' Mode and Filler keep their own rules).
for bad in "--mode ofb" "--mode 0" "--mode 3" "--filler 256" "--filler 0x120" "--filler -1"; do
  # shellcheck disable=SC2086
  expect "refused: $bad" 2 "" -- encrypt aes --key "$work/key" $bad "$work/fox"
done
for command in keygen encrypt decrypt; do
  check "$command --help shows its usage" grep -q "usage: orvocrypto $command" <<<"$("$tool" "$command" --help)"
done

finish
