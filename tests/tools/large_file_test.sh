#!/usr/bin/env bash
# SLOW (about a minute): a file above 4 GiB, the size the tool once could not
# get past. A sparse file of 4 GiB + 48 bytes (no disk space used) goes through
# md5, sha1, crc32 and encrypt (AES-128, CBC), compared with md5sum,
# sha1sum, Python's zlib.crc32 and `openssl enc -nopad` with the same key and a
# zero IV. The ciphertext streams are compared by their SHA-1 digests, taken
# by the same program on both sides.
# Usage: large_file_test.sh PATH_TO_ORVOCRYPTO
set -u
tool=$1
. "$(dirname "$0")/tool_test_lib.sh"

if ! command -v openssl >/dev/null; then
  echo "SKIP: openssl is missing (apt-get install openssl)"
  exit 0
fi
huge="$work/huge"
truncate -s $(((4 << 30) + 48)) "$huge"
printf 'large file key' >"$work/seed"
"$tool" keygen aes --seed "$work/seed" --length 16 -o "$work/key"
keyhex=$(od -An -tx1 -j4 "$work/key" | tr -d ' \n')
iv=00000000000000000000000000000000

check "md5 as md5sum" [ "$("$tool" md5 "$huge")" = "$(md5sum <"$huge" | cut -d' ' -f1)" ]
check "sha1 as sha1sum" [ "$("$tool" sha1 "$huge")" = "$(sha1sum <"$huge" | cut -d' ' -f1)" ]
check "crc32 as zlib" [ "$("$tool" crc32 "$huge")" = "$(python3 - "$huge" <<'PY'
import sys, zlib
crc = 0
with open(sys.argv[1], "rb") as f:
    while piece := f.read(1 << 20):
        crc = zlib.crc32(piece, crc)
print(f"{crc:08x}")
PY
)" ]
check "encrypt as openssl enc" [ "$("$tool" encrypt aes --key "$work/key" --mode cbc "$huge" | "$tool" sha1)" = \
  "$(openssl enc -aes-128-cbc -nopad -K "$keyhex" -iv $iv -in "$huge" | "$tool" sha1)" ]

finish
