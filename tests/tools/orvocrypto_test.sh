#!/usr/bin/env bash
# The orvocrypto tool as a program: outputs, standard input, -o, --help and the
# exit statuses (0 success, 1 failure, 2 usage error).
# Usage: orvocrypto_test.sh PATH_TO_ORVOCRYPTO
set -u
tool=$1
. "$(dirname "$0")/tool_test_lib.sh"

# RFC 1321 A.5, FIPS 180-1 appendix A, the CRC catalogue's check value.
printf 'abc' >"$work/abc"
printf '123456789' >"$work/digits"
: >"$work/empty"
expect "md5 of a file" 0 900150983cd24fb0d6963f7d28e17f72 -- md5 "$work/abc"
expect "sha1 of a file" 0 a9993e364706816aba3e25717850c26c9cd0d89d -- sha1 "$work/abc"
expect "crc32 of a file" 0 cbf43926 -- crc32 "$work/digits"
expect "crc32 of nothing" 0 00000000 -- crc32 "$work/empty"
expect "md5 of nothing" 0 d41d8cd98f00b204e9800998ecf8427e -- md5 "$work/empty"
input=abc
expect "md5 of standard input" 0 900150983cd24fb0d6963f7d28e17f72 -- md5
expect "sha1 of -" 0 a9993e364706816aba3e25717850c26c9cd0d89d -- sha1 -
input=123456789
expect "crc32 of standard input" 0 cbf43926 -- crc32
input=

# -o writes the output to a file and nothing to standard output.
expect "md5 -o" 0 "" -- md5 "$work/abc" -o "$work/md5.txt"
check "md5 -o file content" [ "$(cat "$work/md5.txt")" = 900150983cd24fb0d6963f7d28e17f72 ]
expect "crc32 --output=" 0 "" -- crc32 --output="$work/crc.txt" "$work/digits"
check "crc32 output file ends in a newline" [ "$(od -An -c "$work/crc.txt" | tr -d ' \n')" = "cbf43926\\n" ]

# random: raw bytes, --hex, -o.
expect "random 0" 0 "" -- random 0
"$tool" random 33 >"$work/r33"
check "random 33 gives 33 bytes" [ "$(wc -c <"$work/r33")" -eq 33 ]
expect "random --hex" 0 "*" -- random 16 --hex
check "random --hex is 32 lowercase digits" grep -qE '^[0-9a-f]{32}$' <<<"$("$tool" random 16 --hex)"
expect "random -o" 0 "" -- random 1000 -o "$work/r1000"
check "random -o wrote 1000 bytes" [ "$(wc -c <"$work/r1000")" -eq 1000 ]
check "two random draws differ" [ "$("$tool" random 16 --hex)" != "$("$tool" random 16 --hex)" ]

# Help: the tool and every command.
expect "--help" 0 "*" -- --help
check "--help lists the commands" grep -q "crc32" <<<"$("$tool" --help)"
for command in md5 sha1 crc32 random; do
  expect "$command --help" 0 "*" -- "$command" --help
  check "$command --help shows its usage" grep -q "usage: orvocrypto $command" <<<"$("$tool" "$command" --help)"
done

# Every option a command's --help names is one its parser knows.
knows() { ! grep -q "unknown option $1\$" "$work/stderr"; }
for command in $("$tool" --help | sed -n 's/^  \([a-z0-9-]*\)  .*/\1/p'); do
  help=$("$tool" "$command" --help)
  for option in $(grep -o -- '--[a-z][a-z0-9-]*' <<<"$help" | sort -u); do
    [ "$option" = --help ] && continue
    "$tool" "$command" "$option" </dev/null >/dev/null 2>"$work/stderr"
    check "$command --help names $option, which it knows" knows "$option"
  done
done

# Usage errors: status 2 and a usage line on standard error.
expect "no command" 2 "" --
expect "unknown command" 2 "" -- frobnicate
expect "unknown option" 2 "" -- sha1 --bogus
expect "-o without a file" 2 "" -- md5 -o
expect "random without COUNT" 2 "" -- random
expect "random COUNT not a number" 2 "" -- random 12x
expect "random negative COUNT" 2 "" -- random -5
expect "random COUNT too large" 2 "" -- random 4294967296
check "a usage error prints the usage line" grep -q "usage: orvocrypto random" <<<"$("$tool" random 2>&1)"

# Failures: status 1 and the reason on standard error.
expect "missing file" 1 "" -- md5 "$work/missing"
check "missing file is named on standard error" grep -q "missing" "$work/stderr"
expect "unwritable output" 1 "" -- md5 "$work/abc" -o "$work/no/such/dir/out"
expect "a folder as input" 1 "" -- crc32 "$work"

finish
