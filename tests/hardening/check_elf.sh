#!/usr/bin/env bash
# Checks ELF binaries that ship (liborvocrypto.so.1, the orvocrypto tool, the
# Python extension module) for the hardening Debian gives its packages, and
# for the absence of every test hook:
#   - position-independent: a shared object, or a PIE executable (FLAGS_1 PIE);
#     no text relocations;
#   - relocations read-only after loading: a GNU_RELRO segment and immediate
#     binding (FLAGS BIND_NOW or FLAGS_1 NOW);
#   - a stack that is not executable (GNU_STACK without E);
#   - the stack protector: an import of __stack_chk_fail;
#   - _FORTIFY_SOURCE: checked calls (__*_chk) imported by the files checked
#     together (one file alone may need none), or no unchecked call that
#     glibc has a checked form of;
#   - no symbol named in hook_symbols.txt, defined or undefined, in the
#     dynamic symbol table or (where not stripped) the full one.
#   check_elf.sh FILE...    (a Debian package, *.deb: every ELF file in it)
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
hooks=$(grep -v '^#' "$here/hook_symbols.txt" | grep -v '^$' | paste -sd'|')
# glibc functions with a checked form under _FORTIFY_SOURCE.
fortifiable='memcpy|memmove|mempcpy|memset|stpcpy|stpncpy|strcpy|strncpy|strcat|strncat|sprintf|snprintf|vsprintf|vsnprintf|printf|fprintf|vprintf|vfprintf|dprintf|read|pread|pread64|fgets|fread|realpath|getcwd|readlink|wcscpy|wmemcpy'
# Packages stand for the ELF files they hold.
files=()
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
for arg in "$@"; do
  if [[ $arg == *.deb ]]; then
    into="$unpacked/$(basename "$arg")"
    mkdir -p "$into"
    dpkg-deb -x "$arg" "$into" || { echo "$arg: cannot unpack"; exit 1; }
    found=0
    while IFS= read -r -d '' f; do
      if [ ! -L "$f" ] && readelf -h "$f" >/dev/null 2>&1; then
        files+=("$f")
        found=1
      fi
    done < <(find "$into" -type f -print0 | sort -z)
    [ $found -eq 1 ] || echo "$arg: no ELF files"
  else
    files+=("$arg")
  fi
done
failures=0
checked_total=0
unchecked_files=()
fail() {
  echo "${file#"$unpacked"/}: $*"
  failures=$((failures + 1))
}
for file in "${files[@]}"; do
  if [ ! -f "$file" ]; then
    echo "$file: no such file"
    failures=$((failures + 1))
    continue
  fi
  header=$(readelf -hW "$file" 2>/dev/null) || { fail "not an ELF file"; continue; }
  dynamic=$(readelf -dW "$file")
  segments=$(readelf -lW "$file")
  type=$(sed -n 's/^ *Type: *\([A-Z]*\).*/\1/p' <<<"$header")
  interp=0
  grep -q ' INTERP ' <<<"$segments" && interp=1
  before=$failures
  [ "$type" = DYN ] || fail "type $type: not position-independent (a shared object or a PIE executable)"
  if [ $interp -eq 1 ] && ! grep -q 'FLAGS_1.*PIE' <<<"$dynamic"; then
    fail "an executable without FLAGS_1 PIE"
  fi
  grep -q 'TEXTREL' <<<"$dynamic" && fail "text relocations (code not compiled position-independent)"
  grep -q ' GNU_RELRO ' <<<"$segments" || fail "no GNU_RELRO segment (link with -z relro)"
  if ! grep -Eq '\(FLAGS\).*BIND_NOW|\(FLAGS_1\).*NOW' <<<"$dynamic"; then
    fail "no BIND_NOW (link with -z now)"
  fi
  stack=$(grep ' GNU_STACK ' <<<"$segments" || true)
  if [ -z "$stack" ]; then
    fail "no GNU_STACK segment (the stack would be executable)"
  elif awk '{print $7}' <<<"$stack" | grep -q E; then
    fail "an executable stack"
  fi
  imports=$(nm -D --undefined-only "$file" 2>/dev/null | awk '{print $2}' | sed 's/@.*//' | sort -u)
  grep -qx '__stack_chk_fail' <<<"$imports" || fail "no __stack_chk_fail import (compile with -fstack-protector-strong)"
  checked=$(grep -Ec '^__.*_chk$' <<<"$imports")
  checked_total=$((checked_total + checked))
  unchecked=$(grep -Ex "($fortifiable)" <<<"$imports" | paste -sd' ')
  [ -n "$unchecked" ] && unchecked_files+=("${file#"$unpacked"/} ($unchecked)")
  symbols=$( (nm -D "$file" 2>/dev/null; nm "$file" 2>/dev/null) | awk '{print $NF}' | sort -u)
  found=$(grep -E "$hooks" <<<"$symbols" | paste -sd' ')
  [ -n "$found" ] && fail "test hooks: $found"
  if [ $failures -eq $before ]; then
    kind=$([ $interp -eq 1 ] && echo "PIE executable" || echo "shared object")
    echo "${file#"$unpacked"/}: hardened $kind (RELRO, BIND_NOW, NX stack, __stack_chk_fail, $checked checked calls), no test hooks"
  fi
done
# A call gets its checked form only where the compiler knows the size of the
# destination and cannot prove the call safe, so one file may well have none
# (the library copies into buffers of run-time sizes); files built together
# with _FORTIFY_SOURCE have some among them.
if [ "$checked_total" -eq 0 ] && [ ${#unchecked_files[@]} -gt 0 ]; then
  echo "no checked calls (__*_chk) in any of these files, only unchecked ones: ${unchecked_files[*]}" \
    "(compile with -D_FORTIFY_SOURCE=2 and optimisation)"
  failures=$((failures + 1))
fi
exit $((failures > 0))
