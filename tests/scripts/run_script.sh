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
trap 'rm -f "$raw"' EXIT
run_cscript() {
  orvo_wine cscript //nologo "$(basename "$script")" >"$raw" 2>&1
  status=$?
  output=$(tr -d '\r' <"$raw")
}
run_cscript
# The suites print START first, and the VBScript suite each section's name. A
# run that printed nothing at all, not even Wine's own messages, never ran the
# script's first line: in one CI run on a loaded machine cscript ended so, with
# exit status 1. Once in about a hundred runs under heavy load, the VBScript
# suite also stopped in the middle with exit status 0 and no FAIL line, which is
# how Wine's cscript ends on an uncaught script error. Either run is repeated
# once, with Wine's error messages on, and both outputs are shown; a run that
# printed a FAIL line, or fails again, fails.
if [ "$(printf '%s\n' "$output" | grep -c '^FAIL')" -eq 0 ] &&
   { [ -z "$output" ] && [ $status -ne 0 ] || { [ $status -eq 0 ] && ! printf '%s\n' "$output" | grep -q -x -F "$expected"; }; }; then
  printf '%s\n' "$output"
  echo "cscript stopped without its last line (exit status $status); once more, with Wine's error messages:"
  WINEDEBUG=err+all,fixme-all run_cscript
fi
printf '%s\n' "$output"
last=$(printf '%s\n' "$output" | grep -v '^$' | tail -n 1)
if [ $status -ne 0 ] || [ "$last" != "$expected" ]; then
  echo "script suite failed: exit status $status, last line '$last'"
  exit 1
fi
