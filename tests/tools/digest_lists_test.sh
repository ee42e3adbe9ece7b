#!/usr/bin/env bash
# Digests as sites stored them: --tag lines against md5sum --tag and sha1sum
# --tag, --check of GNU and BSD-style lists (md5sum's and sha1sum's own, and
# damaged ones) against md5sum -c, and digests in Base64 or raw, of data in
# hex or Base64, against coreutils' base64 and Python's hashlib and zlib.
# Usage: digest_lists_test.sh PATH_TO_ORVOCRYPTO
set -u
tool=$1
. "$(dirname "$0")/tool_test_lib.sh"

cd "$work" || exit 1
printf 'abc' >abc
printf 'The quick brown fox' >'fox file'
: >empty
printf 'x' >'new
line'
printf 'y' >'back\slash'
printf 'z' >'par) = en'

# --tag: md5sum's and sha1sum's BSD-style lines, escapes included.
names=(abc 'fox file' empty 'new
line' 'back\slash' 'par) = en')
check "md5 --tag is md5sum --tag" [ "$("$tool" md5 --tag "${names[@]}")" = "$(md5sum --tag "${names[@]}")" ]
check "sha1 --tag is sha1sum --tag" [ "$("$tool" sha1 --tag "${names[@]}")" = "$(sha1sum --tag "${names[@]}")" ]
check "one input with --tag is a tagged line" [ "$("$tool" md5 --tag <abc)" = "$(md5sum --tag <abc)" ]
check "crc32 --tag" [ "$("$tool" crc32 --tag abc)" = "CRC32 (abc) = 352441c2" ]

# --check: lists of either kind, mixed, read as md5sum -c reads them; the
# same lines on standard output, the same warnings, the same status.
md5sum --tag "${names[@]}" >md5.list
md5sum "${names[@]}" >>md5.list
md5sum -b abc >>md5.list
printf '# a comment\n\n  MD5 (abc) = 900150983CD24FB0D6963F7D28E17F72\r\n' >>md5.list
sha1sum --tag abc 'fox file' >sha1.list
sha1sum 'new
line' >>sha1.list
# compare NAME ALGO LIST [OPTIONS]: the tool's -c against ALGOsum -c.
compare() {
  local name=$1 algo=$2 list=$3
  shift 3
  local ours theirs ours_status theirs_status
  ours=$("$tool" "$algo" -c "$@" "$list" 2>ours.err); ours_status=$?
  theirs=$("${algo}sum" -c "$@" "$list" 2>theirs.err); theirs_status=$?
  check "$name: the lines are ${algo}sum's" [ "$ours" = "$theirs" ]
  check "$name: the status is ${algo}sum's ($ours_status, $theirs_status)" [ "$ours_status" -eq "$theirs_status" ]
  check "$name: the warnings are ${algo}sum's" \
    cmp -s <(sed "s/^orvocrypto $algo:/${algo}sum:/" ours.err | grep -v ': No such file\|cannot open') \
    <(grep -v ': No such file' theirs.err)
}
compare "md5 of GNU and BSD lines" md5 md5.list
compare "sha1 of GNU and BSD lines" sha1 sha1.list
# Damage: lines of the other digest, short digests, a tag without its
# parenthesis, junk; a changed file; a missing file.
cp md5.list damaged.list
sha1sum abc >>damaged.list
printf 'MD5 (abc) 900150983cd24fb0d6963f7d28e17f72\nMD5 abc) = 900150983cd24fb0d6963f7d28e17f72\n' >>damaged.list
printf '900150983cd24fb0d6963f7d28e17f7  abc\njunk\n900150983cd24fb0d6963f7d28e17f72 abc\n' >>damaged.list
printf 'SHA1 (abc) = 900150983cd24fb0d6963f7d28e17f72\n' >>damaged.list
compare "damaged lines" md5 damaged.list
compare "damaged lines, --warn" md5 damaged.list --warn
compare "damaged lines, -w" md5 damaged.list -w
compare "damaged lines, --strict" md5 damaged.list --strict
printf 'changed' >'fox file'
rm empty
compare "a changed and a missing file" md5 md5.list
printf 'junk\n' >junk.list
compare "no good line at all" md5 junk.list
printf 'x' >'fox file'
: >empty

# Digests in Base64 and raw, from coreutils' base64 and Python's hashlib.
digest() {  # digest ALGO FILE: Python's digest bytes of the file, as Base64
  python3 -c "import base64, hashlib, sys, zlib
data = open(sys.argv[2], 'rb').read()
raw = zlib.crc32(data).to_bytes(4, 'big') if sys.argv[1] == 'crc32' else hashlib.new(sys.argv[1], data).digest()
print(base64.b64encode(raw).decode())" "$1" "$2"
}
for algo in md5 sha1 crc32; do
  check "$algo --output-format base64" [ "$("$tool" "$algo" --output-format base64 abc)" = "$(digest "$algo" abc)" ]
  check "$algo --output-format raw" [ "$("$tool" "$algo" --output-format raw abc | base64)" = "$(digest "$algo" abc)" ]
done
check "several files in Base64" [ "$("$tool" sha1 --output-format base64 abc empty)" = "$(digest sha1 abc)  abc
$(digest sha1 empty)  empty" ]
check "--tag in Base64" [ "$("$tool" md5 --tag --output-format base64 abc)" = "MD5 (abc) = $(digest md5 abc)" ]
"$tool" md5 --output-format base64 abc 'fox file' >b64.list
"$tool" md5 --tag --output-format base64 empty >>b64.list
expect "--check reads Base64 digests" 0 "abc: OK
fox file: OK
empty: OK" -- md5 -c b64.list
expect "raw output is for one input" 2 "" -- md5 --output-format raw abc empty
expect "raw output has no tag" 2 "" -- md5 --output-format raw --tag abc
expect "raw output is not written to a terminal's place by -c" 2 "" -- md5 -c --output-format base64 b64.list
expect "--warn without --check" 2 "" -- md5 --warn abc

# Data in hex or Base64: the digest of the bytes it stands for.
head -c 1000 /dev/urandom >random.bin
od -An -v -tx1 random.bin >random.hex
base64 random.bin >random.b64
for format in hex base64; do
  check "md5 --input-format $format" \
    [ "$("$tool" md5 --input-format "$format" "random.${format/base64/b64}")" = "$(md5sum <random.bin | cut -d' ' -f1)" ]
done
check "sha1 of Base64 data from standard input" \
  [ "$("$tool" sha1 --input-format base64 <random.b64)" = "$(sha1sum <random.bin | cut -d' ' -f1)" ]
md5sum random.bin >random.list
cp random.b64 random.bin
expect "--check with --input-format reads the named files so" 0 "random.bin: OK" -- md5 -c --input-format base64 random.list
printf 'zz' >bad.hex
expect "data that is not hex" 1 "" -- md5 --input-format hex bad.hex

finish
