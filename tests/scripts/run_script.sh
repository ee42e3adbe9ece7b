#!/usr/bin/env bash
# Runs one script suite under cscript in the build's private Wine prefix, with
# the DLLs of the build registered. Usage: run_script.sh BLOB-DLL CRYPTO-DLL SCRIPT,
# or run_script.sh SCRIPT to use the component registered in the prefix (an
# installed package).
# Passes only when cscript exits 0 and the last line is "DONE 0 failure(s)":
# Wine's cscript exits 0 after an uncaught error or a syntax error.
set -u
dlls=("${@:1:$#-1}")
script=${!#}
: "${WINEPREFIX:?must name the private prefix of the build}"
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../../scripts/wine-env"
orvo_wine_prefix
for dll in "${dlls[@]}"; do
  "$ORVO_WINE64" regsvr32 /s "$("$ORVO_WINE64" winepath -w "$dll" 2>/dev/null)" || { echo "regsvr32 $dll failed ($?)"; exit 1; }
done
cd "$(dirname "$script")"
raw=$(mktemp)
"$ORVO_WINE64" cscript //nologo "$(basename "$script")" >"$raw" 2>&1
status=$?
output=$(tr -d '\r' <"$raw")
rm -f "$raw"
printf '%s\n' "$output"
last=$(printf '%s\n' "$output" | grep -v '^$' | tail -n 1)
if [ $status -ne 0 ] || [ "$last" != "DONE 0 failure(s)" ]; then
  echo "script suite failed: exit status $status, last line '$last'"
  exit 1
fi
