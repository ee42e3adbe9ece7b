#!/usr/bin/env bash
# Moving stored data off the old site, end to end (README, "Moving stored
# data"): under 64-bit Wine, old_site.vbs seals and signs a column of made-up
# records with the registered DLLs as the old site did; on Linux the tool's
# record mode opens the column and rsa-verify checks the signatures, and
# new_site.py opens and verifies it with the Python package, reseals it with
# AES-256-GCM and reads that back. Every value is compared with the plain
# values the old site's script wrote beside them.
#
# Usage: migration_test.sh TOOL BLOB-DLL CRYPTO-DLL PYTHON
#   (or the environment variables ORVO_TOOL, ORVO_BLOB_DLL, ORVO_CRYPTO_DLL,
#   ORVO_PYTHON: a Python that imports orvocrypto and cryptography).
# WINEPREFIX: the Wine prefix, made fresh and removed at the end (default: one
# in the work folder). ORVO_MIGRATION_DIR: the work folder, kept (default: a
# temporary one, removed unless the check fails).
set -u
tool=$(realpath "${1:-${ORVO_TOOL:?usage: migration_test.sh TOOL BLOB-DLL CRYPTO-DLL PYTHON}}")
blob_dll=$(realpath "${2:-${ORVO_BLOB_DLL:?}}")
crypto_dll=$(realpath "${3:-${ORVO_CRYPTO_DLL:?}}")
python=${4:-${ORVO_PYTHON:?}}
# An interpreter named by a path is taken from here (a venv's own, its link kept).
case $python in */*) python=$(realpath -s "$python") ;; esac
here=$(cd "$(dirname "$0")" && pwd)
for f in "$tool" "$blob_dll" "$crypto_dll"; do
  [ -f "$f" ] || { echo "migration: $f does not exist"; exit 1; }
done

if [ -n "${ORVO_MIGRATION_DIR:-}" ]; then
  work=$ORVO_MIGRATION_DIR
  rm -rf "$work" && mkdir -p "$work"
  keep=1
else
  work=$(mktemp -d)
  keep=0
fi
work=$(realpath "$work")
export WINEPREFIX=${WINEPREFIX:-$work/wineprefix}
export ORVO_WINE_ARCH=x64
. "$here/../../scripts/wine-env"
rm -rf "$WINEPREFIX" "$WINEPREFIX.lock"
failures=0
fail() { echo "FAIL $*"; failures=$((failures + 1)); }
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX" "$WINEPREFIX.lock"
  if [ $keep = 0 ] && [ $failures = 0 ]; then rm -rf "$work"; else echo "migration: files kept in $work"; fi
}
trap cleanup EXIT
start=$SECONDS

# 1. The old site under Wine: the export, the key blobs and the plain values.
cp "$here/old_site.vbs" "$work/"
bash "$here/../scripts/run_script.sh" "$blob_dll" "$crypto_dll" "$work/old_site.vbs" || exit 1
wine_done=$SECONDS
cd "$work" || exit 1
tail -n +2 sealed.csv | cut -d, -f1 >ids.txt
tail -n +2 plain.csv | cut -d, -f1 >plain_ids.txt
cmp -s ids.txt plain_ids.txt || fail "the export and the plain values name different rows"
rows=$(wc -l <ids.txt)
[ "$rows" -ge 100 ] || fail "only $rows rows exported"

# 2. The tool: the sealed column in record mode, each record from a zero
# register with the filler stripped, line for line against the plain values.
tail -n +2 sealed.csv | cut -d, -f2 >sealed.b64
tail -n +2 plain.csv | cut -d, -f2 >plain.b64
if "$tool" decrypt aes --key aes_key.hex --key-format hex --mode cbc --records \
     --input-format base64 --strip-filler sealed.b64 -o opened.b64; then
  [ "$(wc -l <opened.b64)" = "$rows" ] || fail "tool: $(wc -l <opened.b64) lines out for $rows records"
  diff plain.b64 opened.b64 >tool.diff || fail "tool: values differ from the plain ones: $(head -c 600 tool.diff)"
else
  fail "tool: record-mode decrypt failed"
fi
# Every signature, over the plain value; then a changed value and another
# row's signature, which must both be refused (exit status 1).
verify() {  # PLAIN_B64 SIGNATURE_B64: rsa-verify's exit status
  printf '%s' "$1" >value.b64
  printf '%s' "$2" >signature.b64
  "$tool" rsa-verify --public rsa_public.hex --key-format hex --signature signature.b64 \
    --signature-format base64 --input-format base64 value.b64 >/dev/null 2>&1
}
paste -d, plain.b64 <(tail -n +2 sealed.csv | cut -d, -f3) >signed.csv
n=0
while IFS=, read -r value signature; do
  n=$((n + 1))
  verify "$value" "$signature" || fail "tool: signature of row $n does not verify (exit status $?)"
done <signed.csv
value1=$(sed -n 2p plain.b64); sig1=$(sed -n 2p signed.csv | cut -d, -f2); sig2=$(sed -n 3p signed.csv | cut -d, -f2)
verify "$(printf '%s' "$value1" | base64 -d | sed 's/$/0/' | base64 -w0)" "$sig1"
[ $? = 1 ] || fail "tool: a changed value is not refused"
verify "$value1" "$sig2"
[ $? = 1 ] || fail "tool: another row's signature is not refused"
tool_done=$SECONDS

# 3. Python: opened, verified, resealed with AES-256-GCM and read back.
"$python" "$here/new_site.py" "$work" || fail "python: the new site's check failed"

echo "migration: $rows rows; Wine $((wine_done - start)) s, tool $((tool_done - wine_done)) s, Python $((SECONDS - tool_done)) s"
if [ $failures -ne 0 ]; then
  echo "migration: $failures failure(s)"
  exit 1
fi
echo "migration: passed"
