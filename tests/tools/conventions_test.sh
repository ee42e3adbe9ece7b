#!/usr/bin/env bash
# The tool's command-line conventions: digest lists and --check against
# md5sum's and sha1sum's own lines, hexadecimal and Base64 data and keys
# against coreutils' base64 and od, pass phrases, --version, the
# "orvocrypto COMMAND:" start of every error, and rsa-verify's exit statuses.
# Usage: conventions_test.sh PATH_TO_ORVOCRYPTO
set -u
tool=$1
. "$(dirname "$0")/tool_test_lib.sh"

cd "$work" || exit 1
printf 'abc' >abc
printf 'The quick brown fox' >'fox file'
: >empty

# Several inputs print md5sum's and sha1sum's lines; one input the bare digest.
check "md5 of several files is md5sum's list" [ "$("$tool" md5 abc 'fox file' empty)" = "$(md5sum abc 'fox file' empty)" ]
check "sha1 of several files is sha1sum's list" [ "$("$tool" sha1 abc 'fox file')" = "$(sha1sum abc 'fox file')" ]
printf 'x' >'new
line'
check "a name with a newline is escaped as md5sum escapes it" [ "$("$tool" md5 abc 'new
line')" = "$(md5sum abc 'new
line')" ]
expect "a missing file among several" 1 "*" -- md5 abc missing
check "the others are still listed" grep -q "^900150983cd24fb0d6963f7d28e17f72  abc$" <<<"$("$tool" md5 abc missing 2>/dev/null)"

# --check reads md5sum's and sha1sum's lines, binary marks included.
md5sum abc 'fox file' empty 'new
line' >md5.list
md5sum -b abc >>md5.list
sha1sum abc 'fox file' >sha1.list
expect "md5 -c of md5sum's list" 0 "abc: OK
fox file: OK
empty: OK
\\new\\nline: OK
abc: OK" -- md5 -c md5.list
expect "sha1 --check of sha1sum's list" 0 "abc: OK
fox file: OK" -- sha1 --check sha1.list
"$tool" crc32 abc empty >crc.list
expect "crc32 -c of its own list" 0 "abc: OK
empty: OK" -- crc32 -c crc.list
printf 'changed' >'fox file'
expect "a changed file fails" 1 "abc: OK
fox file: FAILED" -- sha1 -c sha1.list
check "and is counted on standard error" grep -q "^orvocrypto sha1: WARNING: 1 computed checksum did NOT match$" "$work/stderr"
rm empty
expect "a missing file fails" 1 "*" -- md5 -c md5.list
check "it is reported as unreadable" grep -q "^orvocrypto md5: WARNING: 1 listed file could not be read$" "$work/stderr"
input="$(md5sum abc)"
expect "--check reads standard input" 0 "abc: OK" -- md5 -c
input=
expect "sha1 lines are not md5 lines" 1 "" -- md5 -c sha1.list
check "no lines found is said" grep -qx "orvocrypto md5: sha1.list: no properly formatted checksum lines found" "$work/stderr"

# Hexadecimal and Base64 for data in and out.
head -c 1000 /dev/urandom >data
printf 'seed' >seed
"$tool" keygen aes --seed seed --length 16 -o key
"$tool" encrypt aes --key key --mode cbc data -o sealed
check "--base64 gives base64's text on one line" [ "$("$tool" encrypt aes --key key --mode cbc data --base64)" = "$(base64 -w0 sealed)" ]
check "--output-format hex gives od's digits" \
  [ "$("$tool" encrypt aes --key key --mode cbc data --output-format hex)" = "$(od -An -v -tx1 sealed | tr -d ' \n')" ]
base64 sealed >sealed.b64
check "--input-format base64 reads base64's wrapped lines" \
  cmp -s <("$tool" decrypt aes --key key --mode cbc --input-format base64 sealed.b64) <("$tool" decrypt aes --key key --mode cbc sealed)
od -An -v -tx1 key | tr 'a-f' 'A-F' >key.hex
check "--key-format hex reads spaced upper-case digits" \
  cmp -s <("$tool" encrypt aes --key key.hex --key-format hex --mode cbc data) sealed
printf 'zz' >bad.hex
expect "a key file that is not hex" 1 "" -- encrypt aes --key bad.hex --key-format hex data
check "the message names the file" grep -q "^orvocrypto encrypt: 'bad.hex' is not hexadecimal" "$work/stderr"
expect "an unknown format" 2 "" -- encrypt aes --key key --input-format octal data

# Pass phrases: one trailing newline is dropped, from a file or the environment.
printf 'correct horse' >phrase.bare
printf 'correct horse\n' >phrase.file
printf 'correct horse\r\n' >phrase.crlf
printf 'correct horse\n\n' >phrase.two
bare=$("$tool" keygen aes --seed phrase.bare --length 16 --hex)
check "--passphrase-file drops the newline" [ "$("$tool" keygen aes --passphrase-file phrase.file --length 16 --hex)" = "$bare" ]
check "--passphrase-file drops CR LF" [ "$("$tool" keygen aes --passphrase-file phrase.crlf --length 16 --hex)" = "$bare" ]
check "only one newline is dropped" [ "$("$tool" keygen aes --passphrase-file phrase.two --length 16 --hex)" != "$bare" ]
check "--passphrase-env" [ "$(PHRASE='correct horse' "$tool" keygen aes --passphrase-env PHRASE --length 16 --hex)" = "$bare" ]
check "--passphrase-file - reads standard input" \
  [ "$(echo 'correct horse' | "$tool" keygen aes --passphrase-file - --length 16 --hex)" = "$bare" ]
check "--seed - keeps the newline, with a warning" \
  [ "$(echo 'correct horse' | "$tool" keygen aes --seed - --length 16 --hex 2>"$work/stderr")" != "$bare" ]
check "the warning" grep -q "^orvocrypto keygen: warning: the seed from standard input ends in a newline" "$work/stderr"
expect "two seed sources" 2 "" -- keygen aes --seed seed --passphrase-file phrase.file --length 16
expect "an unset variable" 1 "" -- keygen aes --passphrase-env ORVO_NOT_SET_ANYWHERE --length 16
check "--help says how keys are derived" grep -q "no salt and no work factor" <<<"$("$tool" keygen --help)"

# --version.
expect "--version" 0 "*" -- --version
check "--version prints the name and a version" grep -qE '^orvocrypto [0-9]+\.[0-9]+\.[0-9]+$' <<<"$("$tool" --version)"

# Every error starts with "orvocrypto COMMAND:" (table: status, command line).
printf 'abc' >short
while IFS='|' read -r status line; do
  # shellcheck disable=SC2086
  "$tool" $line </dev/null >/dev/null 2>"$work/stderr"
  code=$?
  command=${line%% *}
  check "'$line' exits $status" [ "$code" -eq "$status" ]
  check "'$line' starts its message with its command" grep -q "^orvocrypto $command: " <(head -n1 "$work/stderr")
done <<'TABLE'
1|md5 missing
1|encrypt aes --key short data
1|decrypt aes --key key short
2|decrypt aes --key key --mode 3 sealed
2|encrypt aes --key key --filler 300 data
1|rsa-encrypt --public short data
2|keygen des --seed seed --length 16
2|random
2|rsa-keygen --seed1 seed
1|sha1 -c missing
TABLE

# rsa-verify: 0 valid, 1 invalid, 2 for anything else.
"$tool" rsa-keygen --seed1 seed --seed2 key --size 64 --public pub --private priv
"$tool" rsa-sign --private priv data -o sig
"$tool" rsa-sign --private priv data --base64 -o sig.b64
expect "valid" 0 valid -- rsa-verify --public pub --signature sig data
expect "valid, signature in Base64" 0 valid -- rsa-verify --public pub --signature sig.b64 --signature-format base64 data
expect "invalid" 1 invalid -- rsa-verify --public pub --signature sig short
expect "a broken key is an error" 2 "" -- rsa-verify --public short --signature sig data
expect "a missing signature file" 2 "" -- rsa-verify --public pub --signature missing data
expect "a usage error" 2 "" -- rsa-verify --public pub data

finish
