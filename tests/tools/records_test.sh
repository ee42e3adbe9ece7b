#!/usr/bin/env bash
# The cipher commands' record mode (--records, --chain), --iv and
# --strip-filler. Expected values: ciphertexts from the OpenSSL command-line
# tool (openssl enc -aes-128-cbc|-aes-128-ecb -nopad -K KEY -iv IV over each
# record padded with zero bytes here), Base64 from Python's base64 module.
# The key is AES-128 with the key bytes MD5 of nothing (keygen of an empty
# seed): d41d8cd98f00b204e9800998ecf8427e.
# Usage: records_test.sh PATH_TO_ORVOCRYPTO
set -u
tool=$1
. "$(dirname "$0")/tool_test_lib.sh"

: >"$work/empty"
"$tool" keygen aes --seed "$work/empty" --allow-empty-seed --length 16 -o "$work/key"
iv=000102030405060708090a0b0c0d0e0f
cbc=(--key "$work/key" --mode cbc --iv "$iv")

# The fixture: records as a site stored them, one a line. Record 2 is empty,
# record 3 has a CRLF line end and fills a block exactly, record 5 ends in a
# byte equal to the filler (0).
printf '%s\n' 68656c6c6f "" $'00112233445566778899aabbccddeeff\r' 54686520717569636b2062726f776e2066 61626300 \
  >"$work/plain.hex"
# openssl enc -aes-128-cbc -nopad -K d41d... -iv 0001...0f, one record at a time.
r1=c78ff7331197a67f3adf47434533aecb
r3=39e53c865da10b740728d09ceeffe5ef
r4=f8f6e07f8f39694422d5f56eb28a96f8cb9fe6026c7a98dc5b13dfe69e234c8d
r5=26cfdb9ae522b93d9463273a63e84f69
# The same over the four padded records joined: one object sealing them in turn.
joined=c78ff7331197a67f3adf47434533aecb73f85a7ad8e1d0cb708973d958cc44a4b7d41017f9b5857d66289115fad829b5c2c691d141dd656d193e089df4bb0e37c704ec81c80169f76d6524f2d1fad529

expect "records: each from the IV" 0 "$(printf '%s\n' $r1 "" $r3 $r4 $r5)" -- \
  encrypt aes "${cbc[@]}" --records --input-format hex "$work/plain.hex"
got=$("$tool" encrypt aes "${cbc[@]}" --records --chain --input-format hex "$work/plain.hex")
check "--chain: one chain through every record" [ "$(tr -d '\n' <<<"$got")" = "$joined" ]
check "--chain: record 2 stays an empty line" [ "$(sed -n 2p <<<"$got")" = "" ]
check "--chain: record 3 is the chain's second block" [ "$(sed -n 3p <<<"$got")" = "${joined:32:32}" ]
# ECB: openssl enc -aes-128-ecb -nopad of record 1 padded.
expect "records in ECB" 0 "" -- \
  encrypt aes --key "$work/key" --records --input-format hex --hex "$work/plain.hex" -o "$work/ecb"
check "records in ECB: one line per record" [ "$(wc -l <"$work/ecb")" -eq 5 ]
check "records in ECB: the first" [ "$(head -1 "$work/ecb")" = 8a2db6d7f4d355d5fb26d13aeace8cd5 ]

# Decrypting a damaged column: Base64 of the records above (line 3 with
# CRLF), record 5 cut to 15 bytes, record 6 not Base64 at all.
printf '%s\n' x4/3MxGXpn8630dDRTOuyw== "" $'OeU8hl2hC3QHKNCc7v/l7w==\r' +Pbgf485aUQi1fVusoqW+Muf5gJsepjcWxPf5p4jTI0= \
  OeU8hl2hC3QHKNCc7v/l 'not*base64' Js/bmuUiuT2UYyc6Y+hPaQ== >"$work/sealed.b64"
want=$(printf '%s\n' 68656c6c6f0000000000000000000000 "" 00112233445566778899aabbccddeeff \
  54686520717569636b2062726f776e2066000000000000000000000000000000 "" "" 61626300000000000000000000000000)
expect "decrypt records: bad ones leave empty lines" 1 "$want" -- \
  decrypt aes "${cbc[@]}" --records --input-format base64 --hex "$work/sealed.b64"
check "decrypt records: line 5's text" grep -qx "orvocrypto decrypt: line 5: Unable to decrypt data" "$work/stderr"
check "decrypt records: line 6's text" \
  grep -qx "orvocrypto decrypt: line 6: the record is not Base64 (a character outside its alphabet)" "$work/stderr"
check "decrypt records: the count" grep -qx "orvocrypto decrypt: 2 of 7 records failed; their lines are empty" \
  "$work/stderr"
# --strip-filler gives the stored values back, but for record 7 (61626300):
# its own last byte equals the filler and goes with the padding.
expect "decrypt records --strip-filler" 1 "$(printf '%s\n' 68656c6c6f "" 00112233445566778899aabbccddeeff \
  54686520717569636b2062726f776e2066 "" "" 616263)" -- \
  decrypt aes "${cbc[@]}" --records --strip-filler --input-format base64 --hex "$work/sealed.b64"
# The output format is the input's unless given; -o keeps the lines too.
expect "records: Base64 in, Base64 out" 0 "$(printf '%s\n' x4/3MxGXpn8630dDRTOuyw== "" OeU8hl2hC3QHKNCc7v/l7w==)" -- \
  encrypt aes "${cbc[@]}" --records --input-format base64 \
  <(printf '%s\n' aGVsbG8= "" ABEiM0RVZneImaq7zN3u/w==)
expect "records: empty input" 0 "" -- encrypt aes "${cbc[@]}" --records --input-format hex "$work/empty"
expect "records: a last line without LF" 0 "$r1" -- encrypt aes "${cbc[@]}" --records --input-format hex \
  <(printf 68656c6c6f)
# --chain in decryption: the joined chain opens record by record.
expect "decrypt --chain" 0 "$(printf '%s\n' 68656c6c6f 00112233445566778899aabbccddeeff)" -- \
  decrypt aes "${cbc[@]}" --records --chain --strip-filler --input-format hex \
  <(printf '%s\n' "${joined:0:32}" "${joined:32:32}")

# Many records, lines across the tool's 1 MiB reads: every one the same.
yes 68656c6c6f | head -n 120000 >"$work/many.hex"
"$tool" encrypt aes "${cbc[@]}" --records --input-format hex "$work/many.hex" >"$work/many.out"
check "120000 records: 120000 lines" [ "$(wc -l <"$work/many.out")" -eq 120000 ]
check "120000 records: each sealed from the IV" [ "$(sort -u "$work/many.out")" = "$r1" ]
# A line past the 16 MiB a record may take fails alone.
{ echo 68656c6c6f; head -c $((16 << 20)) /dev/zero | tr '\0' 0; echo 00; echo 68656c6c6f; } >"$work/long.hex"
expect "an over-long line" 1 "$(printf '%s\n' $r1 "" $r1)" -- encrypt aes "${cbc[@]}" --records --input-format hex \
  "$work/long.hex"
check "an over-long line's text" grep -qx "orvocrypto encrypt: line 2: the record is longer than 16 MiB of text" \
  "$work/stderr"

# --iv without records, against openssl; --strip-filler past the 1 MiB reads.
printf '\x68\x65\x6c\x6c\x6f' >"$work/hello"
expect "encrypt --iv" 0 $r1 -- encrypt aes "${cbc[@]}" "$work/hello" --hex
head -c $(((1 << 20) + 16)) /dev/urandom >"$work/big"
printf 'tail' >>"$work/big"
{ cat "$work/big"; head -c 12 /dev/zero; } >"$work/big.padded"
openssl enc -aes-128-cbc -nopad -K d41d8cd98f00b204e9800998ecf8427e -iv $iv -in "$work/big.padded" -out "$work/big.sealed"
expect "decrypt --strip-filler of openssl's" 0 "" -- decrypt aes "${cbc[@]}" --strip-filler "$work/big.sealed" \
  -o "$work/big.opened"
check "decrypt --strip-filler gives the data back" cmp -s "$work/big" "$work/big.opened"
expect "decrypt without --strip-filler keeps it" 0 "" -- decrypt aes "${cbc[@]}" "$work/big.sealed" -o "$work/big.opened"
check "the padding stays" cmp -s "$work/big.padded" "$work/big.opened"
# The filler byte is --filler's: 0x20 here, so zero bytes stay.
expect "--strip-filler with --filler 32" 0 "6869000000" -- decrypt aes --key "$work/key" --filler 32 --strip-filler --hex \
  <("$tool" encrypt aes --key "$work/key" --filler 32 <(printf 'hi\0\0\0'))

# Usage errors: status 2, nothing written.
for bad in "--records" "--records --input-format raw" "--records --input-format hex --output-format raw" \
  "--chain" "--iv $iv" "--mode cbc --iv 0001" "--mode cbc --iv ${iv}00" "--mode cbc --iv xyz" "--mode cbc --iv 0"; do
  # shellcheck disable=SC2086
  expect "refused: $bad" 2 "" -- encrypt aes --key "$work/key" $bad "$work/plain.hex"
done
check "a wrong --iv names the right length" \
  grep -q -- "--iv takes one block of aes, 32 hexadecimal digits, not 4" <<<"$("$tool" encrypt aes --key "$work/key" \
  --mode cbc --iv 0001 "$work/hello" 2>&1)"
expect "blowfish takes an 8-byte --iv" 0 "*" -- encrypt blowfish --key <("$tool" keygen blowfish --seed "$work/empty" --allow-empty-seed \
  --length 16) --mode cbc --iv 0001020304050607 "$work/hello" --hex
expect "refused: --strip-filler on encrypt" 2 "" -- encrypt aes --key "$work/key" --strip-filler "$work/hello"

finish
