#!/usr/bin/env bash
# Secrets the tool held are gone from the memory it gives back: the tool runs
# with free_scan_preload.cpp's library preloaded, which scans every freed
# block for the pass phrase, the seeds, the keys (their bytes and their
# hexadecimal text) and the plaintext, while keygen, encrypt, decrypt and
# the RSA commands run on files, pipes and standard output, in raw and
# encoded formats. stdio's buffers count: they are freed blocks too.
# Usage: secrets_test.sh PATH_TO_ORVOCRYPTO PATH_TO_PRELOAD_LIBRARY
set -u
tool=$1
preload=${2:-}
if [ -z "$preload" ] || [ ! -f "$preload" ]; then
  echo "skipped: no scanner library (a sanitizer build: its runtime owns free())"
  exit 77
fi
preload=$(realpath "$preload")
tool=$(realpath "$tool")
. "$(dirname "$0")/tool_test_lib.sh"
cd "$work" || exit 1

hex() { od -An -v -tx1 "$@" | tr -d ' \n'; }
hex_text() { printf '%s' "$1" | hex; }  # the hexadecimal of a text's bytes

phrase='an orvocrypto test pass phrase: correct horse battery staple'
export ORVO_TEST_PHRASE=$phrase
printf '%s\n' "$phrase" >phrase
marker='orvocrypto plaintext marker, not to be found in freed memory 0123456789'
for _ in $(seq 3000); do printf '%s\n' "$marker"; done >plain   # about 220 KB
head -c 64 /dev/urandom >seed1
head -c 64 /dev/urandom >seed2

# The keys, made once without the scanner.
"$tool" keygen aes --passphrase-env ORVO_TEST_PHRASE --length 32 -o key
"$tool" keygen aes --passphrase-env ORVO_TEST_PHRASE --length 32 --hex -o key.hex
"$tool" rsa-keygen --seed1 seed1 --seed2 seed2 --size 128 --public pub --private priv
"$tool" rsa-keygen --seed1 seed1 --seed2 seed2 --size 128 --public pub.hex --private priv.hex --key-format hex
"$tool" encrypt aes --key key --mode cbc plain -o sealed
"$tool" rsa-encrypt --public pub plain -o sealed.rsa
aes_key=$(tail -c 32 key | hex)
# d: the private blob's second record (size, then length-prefixed n, d, ...).
d=$(python3 -c '
import sys
b = open(sys.argv[1], "rb").read()
n = int.from_bytes(b[4:8], "big")
at = 8 + n
print(b[at + 4:at + 4 + int.from_bytes(b[at:at + 4], "big")].hex())' priv)
check "the private exponent was found in the key blob" [ ${#d} -ge 200 ]

secrets="phrase=$(hex_text "$phrase");seed1=$(hex seed1);seed2=$(hex seed2)"
secrets+=";aes-key=$aes_key;aes-key-hex=$(hex_text "$aes_key")"
secrets+=";rsa-d=$d;rsa-d-hex=$(hex_text "$d");plaintext=$(hex_text "$marker")"

# scan NAME COMMAND...: runs the tool under the scanner (standard input from
# $input_file, or none); the report must show a scan and no finding.
input_file=/dev/null
scan() {
  local name=$1
  shift
  rm -f report
  ORVO_SCAN_SECRETS=$secrets ORVO_SCAN_REPORT=$work/report LD_PRELOAD=$preload \
    "$tool" "$@" <"$input_file" >out 2>"$work/stderr"
  local code=$?
  check "$name: runs ($(cat "$work/stderr"))" [ "$code" -eq 0 ]
  check "$name: the scanner ran" grep -q '^scanned [1-9]' report
  if grep -q '^found' report; then
    echo "FAIL $name: $(grep '^found' report | sort | uniq -c | tr '\n' ';')"
    failed=$((failed + 1))
  else
    passed=$((passed + 1))
  fi
}

scan "keygen --passphrase-env" keygen aes --passphrase-env ORVO_TEST_PHRASE --length 32 -o k1
scan "keygen --passphrase-file, hex out" keygen aes --passphrase-file phrase --length 32 --hex -o k2
input_file=phrase
scan "keygen --passphrase-file -, to standard output" keygen aes --passphrase-file - --length 32 --base64
input_file=/dev/null
scan "encrypt, hex key" encrypt aes --key key.hex --key-format hex --mode cbc plain -o s1
input_file=plain
scan "encrypt standard input to standard output" encrypt aes --key key --mode cbc --base64
input_file=/dev/null
scan "decrypt to a file" decrypt aes --key key.hex --key-format hex --mode cbc sealed -o p1
check "which holds the plaintext" cmp -s p1 plain
scan "decrypt to standard output" decrypt aes --key key --mode cbc sealed
check "which gets the plaintext" cmp -s out plain
scan "decrypt, hex out" decrypt aes --key key --mode cbc sealed --hex -o p2
scan "rsa-keygen" rsa-keygen --seed1 seed1 --seed2 seed2 --size 128 --public pub2 --private priv2 --key-format hex
scan "rsa-decrypt, hex key" rsa-decrypt --private priv.hex --key-format hex sealed.rsa -o p3
check "which holds the plaintext" cmp -s p3 plain
scan "rsa-decrypt to standard output" rsa-decrypt --private priv sealed.rsa
scan "rsa-sign" rsa-sign --private priv.hex --key-format hex plain -o sig

# Record mode: one marker a line in hex, sealed and opened line by line; the
# markers' hexadecimal text is a secret too (the records' text, in and out).
python3 -c 'import sys; sys.stdout.writelines(l.rstrip(b"\n").hex() + "\n" for l in open("plain", "rb"))' >plain.records
secrets+=";plaintext-hex=$(hex_text "$(hex_text "$marker")")"
scan "encrypt --records" encrypt aes --key key --mode cbc --records --input-format hex plain.records -o sealed.records
scan "decrypt --records --strip-filler" decrypt aes --key key --mode cbc --records --strip-filler --input-format hex \
  sealed.records -o opened.records
check "which gives the records back" cmp -s opened.records plain.records

finish
