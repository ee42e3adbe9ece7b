#!/usr/bin/env bash
# Fails unless each DLL imports only system DLLs and exports exactly the four
# functions of an in-process COM server.
# Usage: check_dll.sh OBJDUMP DLL...
set -u
objdump=$1
shift
allowed=' kernel32.dll advapi32.dll msvcrt.dll ole32.dll oleaut32.dll user32.dll '
expected=$'DllCanUnloadNow\nDllGetClassObject\nDllRegisterServer\nDllUnregisterServer'
failures=0
for dll in "$@"; do
  dump=$("$objdump" -p "$dll") || { echo "$dll: objdump failed"; failures=$((failures + 1)); continue; }
  imports=$(printf '%s\n' "$dump" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr -d '\r')
  [ -n "$imports" ] || { echo "$dll: no import table found"; failures=$((failures + 1)); }
  for name in $imports; do
    lower=$(printf '%s' "$name" | tr 'A-Z' 'a-z')
    case "$allowed" in
      *" $lower "*) ;;
      *) echo "$dll: imports $name, which is not a system DLL"; failures=$((failures + 1)) ;;
    esac
  done
  # The name pointer table: lines "[   n] Name" after "[Ordinal/Name Pointer] Table".
  exports=$(printf '%s\n' "$dump" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
            sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\][[:space:]]*//p' | tr -d '\r' | sort)
  if [ "$exports" != "$expected" ]; then
    echo "$dll: exports"
    printf '  %s\n' $exports
    echo "  expected exactly: $(printf '%s ' $expected)"
    failures=$((failures + 1))
  fi
  echo "$dll: imports $(printf '%s ' $imports); exports $(printf '%s ' $exports)"
done
exit $((failures > 0))
