#!/usr/bin/env bash
# The tool's checks on what it is given as keys and seeds: key blobs that a
# cipher loads but its KeyGen never makes (used, with a warning naming what
# the blob looks like), key blobs it refuses (a hint naming the other kind of
# key, the other RSA half, or hex or Base64 text), empty seeds and pass
# phrases, and the RSA sizes rsa-keygen takes. Key blobs are laid out by hand
# from the Formats section of the README.
# Usage: key_sanity_test.sh PATH_TO_ORVOCRYPTO
set -u
tool=$1
. "$(dirname "$0")/tool_test_lib.sh"

# blob FILE COUNT KEYBYTES: a symmetric key blob, the count big-endian, then
# KEYBYTES bytes 0x11.
blob() {
  printf "\\x$(printf %02x $(($2 >> 24 & 255)))\\x$(printf %02x $(($2 >> 16 & 255)))" >"$1"
  printf "\\x$(printf %02x $(($2 >> 8 & 255)))\\x$(printf %02x $(($2 & 255)))" >>"$1"
  head -c "$3" /dev/zero | tr '\0' '\021' >>"$1"
}
printf 'abc' >"$work/data"

# Blobs a cipher loads: silent when its KeyGen makes them, else a warning on
# standard error, and the data is sealed as before (status 0).
# cipher|count|key bytes|warning ("" for none)
while IFS='|' read -r cipher count bytes warning; do
  blob "$work/key" "$count" "$bytes"
  expect "$cipher with count $count and $bytes bytes works" 0 "*" -- encrypt "$cipher" --key "$work/key" "$work/data" --hex
  if [ -z "$warning" ]; then
    check "$cipher, count $count, $bytes bytes: no warning" [ ! -s "$work/stderr" ]
  else
    check "$cipher, count $count, $bytes bytes: '$warning'" grep -qF "orvocrypto encrypt: warning: $warning" "$work/stderr"
  fi
done <<'TABLE'
aes|10|16|
aes|12|24|
aes|14|32|
twofish|2|16|
twofish|4|32|
blowfish|8|8|
blowfish|56|56|
aes|4|32|this key blob looks like a Twofish-256 key: aes reads it as an AES key of 32 bytes with 4 rounds, which KeyGen never makes
aes|0|32|aes reads this key blob as an AES key of 32 bytes with 0 rounds, which KeyGen never makes
aes|13|32|aes reads this key blob as an AES key of 32 bytes with 13 rounds
blowfish|1|1|blowfish reads this key blob as a Blowfish key of 1 byte, which KeyGen never makes (it makes 8 to 56)
blowfish|7|7|blowfish reads this key blob as a Blowfish key of 7 bytes
TABLE
# (A blob of count 0 and no key bytes is 4 bytes long: every cipher refuses it.)
blob "$work/key" 0 0
expect "a 4-byte blob is refused" 1 "" -- encrypt blowfish --key "$work/key" "$work/data"

# The warning changes nothing: a Twofish-256 key used as AES seals as that
# blob always did, and opens again.
blob "$work/tf256" 4 32
"$tool" encrypt aes --key "$work/tf256" "$work/data" -o "$work/sealed" 2>/dev/null
check "the odd key opens its own data" \
  [ "$("$tool" decrypt aes --key "$work/tf256" "$work/sealed" 2>"$work/stderr" | tr -d '\0')" = abc ]
check "decrypt warns too" grep -q "^orvocrypto decrypt: warning: this key blob looks like a Twofish-256 key" "$work/stderr"

# Blobs a cipher refuses: the core's text, then what the file holds.
printf 'key seed' >"$work/seed"
"$tool" keygen aes --seed "$work/seed" --length 16 -o "$work/aes128"
"$tool" keygen twofish --seed "$work/seed" --length 16 -o "$work/tf128"
printf alpha >"$work/seed1"
printf beta >"$work/seed2"
"$tool" rsa-keygen --seed1 "$work/seed1" --seed2 "$work/seed2" --bits 512 --public "$work/public" --private "$work/private"
od -An -v -tx1 "$work/aes128" >"$work/aes128.hex"
base64 "$work/aes128" >"$work/aes128.b64"
# command line|the line on standard error
while IFS='|' read -r line message; do
  line=${line//WORK/$work}
  # shellcheck disable=SC2086
  "$tool" $line </dev/null >/dev/null 2>"$work/stderr"
  code=$?
  command=${line%% *}
  want=1
  [ "$command" = rsa-verify ] && want=2
  check "'$line' exits $want ($code)" [ "$code" -eq "$want" ]
  check "'$line': '$message'" grep -qxF "orvocrypto $command: ${message//WORK/$work}" "$work/stderr"
done <<'TABLE'
encrypt twofish --key WORK/aes128 WORK/data|Crypto System: Data is corrupted - Twofish; the key file holds an AES-128 key
encrypt aes --key WORK/tf128 WORK/data|Crypto System: Data is corrupted - AES; the key file holds a Twofish-128 key
encrypt blowfish --key WORK/public WORK/data|Crypto System: Data is corrupted - Blowfish; the key file holds an RSA public key blob
encrypt aes --key WORK/aes128.hex WORK/data|Crypto System: Data is corrupted - AES; the key file looks like hex: add --key-format hex
decrypt aes --key WORK/aes128.b64 WORK/data|Crypto System: Data is corrupted - AES; the key file looks like Base64: add --key-format base64
rsa-sign --private WORK/aes128 WORK/data|Crypto System: Data is corrupted - XBlob; the key file holds an AES-128 key
rsa-encrypt --public WORK/aes128.hex WORK/data|Crypto System: Data is corrupted - XBlob; the key file looks like hex: add --key-format hex
rsa-encrypt --public WORK/private WORK/data|'WORK/private' holds an RSA private key blob, not a public one: --public takes the public key blob (rsa-keygen --public FILE)
rsa-verify --public WORK/private --signature WORK/data WORK/data|'WORK/private' holds an RSA private key blob, not a public one: --public takes the public key blob (rsa-keygen --public FILE)
rsa-sign --private WORK/public WORK/data|Crypto System: Data is corrupted - XBlob; 'WORK/public' holds an RSA public key blob, not a private one: --private takes the private key blob (rsa-keygen --private FILE)
rsa-decrypt --private WORK/public WORK/data|Crypto System: Data is corrupted - XBlob; 'WORK/public' holds an RSA public key blob, not a private one: --private takes the private key blob (rsa-keygen --private FILE)
TABLE
# The hints are for raw key files only: with --key-format hex the same text loads.
expect "--key-format hex loads it" 0 "*" -- encrypt aes --key "$work/aes128.hex" --key-format hex "$work/data" --hex

# An empty seed or pass phrase gives a key anybody can compute: refused
# (status 2) unless --allow-empty-seed.
: >"$work/empty"
printf '\n' >"$work/newline"
while IFS='|' read -r what line; do
  line=${line//WORK/$work}
  # shellcheck disable=SC2086
  EMPTY= "$tool" $line </dev/null >/dev/null 2>"$work/stderr"
  code=$?
  check "$what: refused with status 2 ($code)" [ "$code" -eq 2 ]
  check "$what: the message says why" grep -q "is empty, which gives a well-known" "$work/stderr"
  # shellcheck disable=SC2086
  EMPTY= "$tool" $line --allow-empty-seed </dev/null >/dev/null 2>"$work/stderr"
  code=$?
  check "$what: made with --allow-empty-seed ($code)" [ "$code" -eq 0 ]
done <<'TABLE'
an empty --seed|keygen aes --seed WORK/empty --length 16 -o WORK/k
an empty standard input|keygen aes --seed - --length 16 -o WORK/k
a pass phrase of one newline|keygen blowfish --passphrase-file WORK/newline --length 16 -o WORK/k
an empty variable|keygen twofish --passphrase-env EMPTY --length 16 -o WORK/k
an empty --seed1|rsa-keygen --seed1 WORK/empty --seed2 WORK/seed2 --size 64 --public WORK/p --private WORK/q
an empty --seed2|rsa-keygen --seed1 WORK/seed1 --seed2 WORK/empty --size 64 --public WORK/p --private WORK/q
TABLE
check "the empty seed's key is MD5 of nothing (RFC 1321 A.5)" \
  [ "$("$tool" keygen aes --seed "$work/empty" --length 16 --allow-empty-seed --hex)" = 0000000ad41d8cd98f00b204e9800998ecf8427e ]

# rsa-keygen takes the sizes it makes as asked: --size in bytes, --bits in bits.
for bad in "--size 1" "--size 63" "--size 65" "--size 127" "--size 129" "--size 1024" "--size 0" "--size -1" \
  "--bits 256" "--bits 1000" "--bits 4096" "--bits 520" "--bits 64" "--size 64 --bits 512" ""; do
  # shellcheck disable=SC2086
  expect "rsa-keygen $bad is refused" 2 "" -- rsa-keygen --seed1 "$work/seed1" --seed2 "$work/seed2" $bad \
    --public "$work/p" --private "$work/q"
done
check "the message names the sizes" grep -q -- "--bits takes 512, 1024 or 2048" <<<"$("$tool" rsa-keygen --seed1 "$work/seed1" \
  --seed2 "$work/seed2" --bits 1000 --public "$work/p" --private "$work/q" 2>&1)"
for pair in "64 512" "128 1024" "256 2048"; do
  set -- $pair
  "$tool" rsa-keygen --seed1 "$work/seed1" --seed2 "$work/seed2" --size "$1" --public "$work/p-size" --private "$work/q-size"
  "$tool" rsa-keygen --seed1 "$work/seed1" --seed2 "$work/seed2" --bits "$2" --public "$work/p-bits" --private "$work/q-bits"
  check "--size $1 and --bits $2 give the same key" cmp -s "$work/q-size" "$work/q-bits"
  check "its blob's size field is $1" [ "$(od -An -tu4 --endian=big -N4 "$work/p-bits" | tr -d ' ')" = "$1" ]
done

# --mode and --filler name what they take.
expect "--mode ctr" 2 "" -- encrypt aes --key "$work/aes128" --mode ctr "$work/data"
check "--mode ctr's message" grep -q "^orvocrypto encrypt: --mode takes ecb (1) or cbc (2), not 'ctr'$" "$work/stderr"
expect "--filler abc" 2 "" -- encrypt aes --key "$work/aes128" --filler abc "$work/data"
check "--filler abc's message" grep -q "^orvocrypto encrypt: --filler takes a byte value, 0 to 255, not 'abc'$" "$work/stderr"

finish
