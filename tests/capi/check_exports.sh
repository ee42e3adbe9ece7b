#!/usr/bin/env bash
# The C library's dynamic symbols: the SONAME is liborvocrypto.so.1 and the
# defined symbols are exactly the functions orvocrypto.h declares, each under
# the version node ORVOCRYPTO_1 (which appears as a symbol of its own).
#   check_exports.sh LIBRARY HEADER
set -euo pipefail
lib=$1 header=$2
status=0
soname=$(readelf -d "$lib" | sed -n 's/.*Library soname: \[\(.*\)\]/\1/p')
if [ "$soname" != liborvocrypto.so.1 ]; then
  echo "SONAME is '$soname', expected liborvocrypto.so.1"
  status=1
fi
exported=$(nm -D --defined-only "$lib" | awk '{print $3}' | sort)
declared=$( (sed -n 's/^ORVO_API .*[ *]\(orvo_[a-z0-9_]*\)(.*/\1@@ORVOCRYPTO_1/p' "$header"; echo ORVOCRYPTO_1) | sort)
if [ "$exported" != "$declared" ]; then
  echo "exported symbols differ from the header's functions (< exported, > declared):"
  diff <(echo "$exported") <(echo "$declared") | grep '^[<>]' || true
  status=1
fi
[ $status -eq 0 ] && echo "check_exports: $(echo "$declared" | grep -c '^orvo_') orvo_* functions, SONAME $soname"
exit $status
