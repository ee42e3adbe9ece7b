#!/usr/bin/env bash
# Checks the Windows DLLs that ship (orvocrypto.dll, orvoblob.dll) for ASLR,
# DEP and, in 64-bit DLLs, high-entropy addresses (DllCharacteristics
# DYNAMIC_BASE, NX_COMPAT, HIGH_ENTROPY_VA), for the relocations ASLR needs
# (a base relocation table), and for the absence of every test hook
# (hook_symbols.txt) among their exports, imports and symbols.
#   check_pe.sh OBJDUMP DLL...   (OBJDUMP: x86_64-w64-mingw32-objdump or i686-w64-mingw32-objdump)
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
objdump=$1
shift
nm=${objdump%objdump}nm
hooks=$(grep -v '^#' "$here/hook_symbols.txt" | grep -v '^$' | paste -sd'|')
failures=0
fail() {
  echo "$dll: $*"
  failures=$((failures + 1))
}
for dll in "$@"; do
  dump=$("$objdump" -p "$dll" 2>/dev/null | tr -d '\r') || { echo "$dll: objdump failed"; failures=$((failures + 1)); continue; }
  before=$failures
  magic=$(sed -n 's/^Magic[[:space:]]*\([0-9a-fA-F]*\).*/\1/p' <<<"$dump" | head -1)
  chars=$(sed -n 's/^DllCharacteristics[[:space:]]*\([0-9a-fA-F]*\).*/\1/p' <<<"$dump" | head -1)
  if [ -z "$chars" ]; then
    fail "no DllCharacteristics in objdump -p"
    continue
  fi
  value=$((16#$chars))
  (( value & 0x40 )) || fail "DllCharacteristics $chars without DYNAMIC_BASE (ASLR: link with --dynamicbase)"
  (( value & 0x100 )) || fail "DllCharacteristics $chars without NX_COMPAT (DEP: link with --nxcompat)"
  if [ "$magic" = 020b ]; then
    (( value & 0x20 )) || fail "DllCharacteristics $chars without HIGH_ENTROPY_VA (link with --high-entropy-va)"
  fi
  # "Entry 5 <address> <size> Base Relocation Directory [.reloc]"
  relocs=$(sed -n 's/^Entry 5 [0-9a-fA-F]* \([0-9a-fA-F]*\) Base Relocation Directory.*/\1/p' <<<"$dump")
  if [ -z "$relocs" ] || [ $((16#$relocs)) -eq 0 ]; then
    fail "no base relocations: the loader cannot move it (ASLR)"
  fi
  names=$( (sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$dump"
            sed -n 's/^[[:space:]]*[0-9a-fA-F]*[[:space:]]*[0-9]*[[:space:]]\+\([A-Za-z_][A-Za-z0-9_@?$]*\)$/\1/p' <<<"$dump"
            "$nm" "$dll" 2>/dev/null) | awk '{print $NF}' | sort -u)
  found=$(grep -E "$hooks" <<<"$names" | paste -sd' ')
  [ -n "$found" ] && fail "test hooks: $found"
  if [ $failures -eq $before ]; then
    echo "$dll: DllCharacteristics $chars (DYNAMIC_BASE NX_COMPAT$([ "$magic" = 020b ] && echo ' HIGH_ENTROPY_VA')), base relocations, no test hooks"
  fi
done
exit $((failures > 0))
