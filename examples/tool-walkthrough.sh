#!/usr/bin/env bash
# A walk through the orvocrypto command-line tool. Usage: tool-walkthrough.sh PATH-TO-orvocrypto
set -euo pipefail
tool=${1:-orvocrypto}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

say() { printf '\n$ %s\n' "$*"; }

printf 'The quick brown fox jumps over the lazy dog' > "$work/fox.txt"
say "orvocrypto md5 fox.txt";   "$tool" md5 "$work/fox.txt"
say "orvocrypto sha1 fox.txt";  "$tool" sha1 "$work/fox.txt"
say "orvocrypto crc32 fox.txt"; "$tool" crc32 "$work/fox.txt"
say "printf 123456789 | orvocrypto crc32"; printf 123456789 | "$tool" crc32
say "orvocrypto random 16 --hex"; "$tool" random 16 --hex
say "orvocrypto crc32 missing-file"
"$tool" crc32 "$work/missing" || echo "(exit status $?)"
