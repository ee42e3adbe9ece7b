#!/usr/bin/env bash
# Runs one script suite under cscript in the build's private Wine prefix (32-bit
# Wine with ORVO_WINE_ARCH=x86, see scripts/wine-env), with
# the DLLs of the build registered. Usage: run_script.sh BLOB-DLL CRYPTO-DLL SCRIPT,
# or run_script.sh SCRIPT to use the component registered in the prefix (an
# installed package).
# Passes only when cscript exits 0 and the last line is "DONE 0 failure(s)"
# (or the line given with --last LINE, "DONE" for the examples): Wine's cscript
# exits 0 after an uncaught error or a syntax error.
set -u
expected="DONE 0 failure(s)"
if [ "${1:-}" = --last ]; then
  expected=$2
  shift 2
fi
dlls=("${@:1:$#-1}")
script=${!#}
: "${WINEPREFIX:?must name the private prefix of the build}"
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../../scripts/wine-env"
orvo_wine_prefix
for dll in "${dlls[@]}"; do
  orvo_wine regsvr32 /s "$(orvo_winepath "$dll")" || { echo "regsvr32 $dll failed ($?)"; exit 1; }
done
cd "$(dirname "$script")"
raw=$(mktemp)
orvo_wine cscript //nologo "$(basename "$script")" >"$raw" 2>&1
status=$?
output=$(tr -d '\r' <"$raw")
rm -f "$raw"
printf '%s\n' "$output"
last=$(printf '%s\n' "$output" | grep -v '^$' | tail -n 1)
if [ $status -ne 0 ] || [ "$last" != "$expected" ]; then
  echo "script suite failed: exit status $status, last line '$last'"
  exit 1
fi
