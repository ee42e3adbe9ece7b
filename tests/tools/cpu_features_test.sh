#!/usr/bin/env bash
# ORVOCRYPTO_HIDE_CPU_FEATURES as the tool shows it: `--version` keeps its
# first line and names the path of each algorithm, hidden features move them to
# the paths that need less, any value is harmless, and every path gives the
# same bytes (ciphers, RSA keys and signatures, digests) as the default one.
# Usage: cpu_features_test.sh PATH_TO_ORVOCRYPTO
set -u
tool=$1
. "$(dirname "$0")/tool_test_lib.sh"

# version [NAMES]: the tool's --version output with NAMES hidden (none when
# omitted: the variable is removed).
version() {
  if [ $# -eq 0 ]; then
    env -u ORVOCRYPTO_HIDE_CPU_FEATURES "$tool" --version
  else
    ORVOCRYPTO_HIDE_CPU_FEATURES=$1 "$tool" --version
  fi
}
# path TEXT ALGORITHM: the path the --version TEXT names for ALGORITHM.
path() { sed -n "s/^$2: \([a-z0-9_]*\).*/\1/p" <<<"$1"; }

plain=$(version)
check "first line is the version alone" grep -qE '^orvocrypto [0-9]+\.[0-9]+\.[0-9]+$' <<<"$(head -n 1 <<<"$plain")"
check "AES path named" grep -qE '^AES: (table|aesni|vaes256|vaes512)$' <<<"$plain"
check "RSA path named" grep -qE '^RSA: (portable|mulx|ifma)' <<<"$plain"
check "SHA-1 path named" grep -qE '^SHA-1: (portable|sha_ni)$' <<<"$plain"
check "CRC-32 path named" grep -qE '^CRC-32: (table|pclmul)$' <<<"$plain"
check "Twofish and Blowfish path named" grep -qE '^Twofish, Blowfish: (portable|bmi1)$' <<<"$plain"

# Hiding moves paths down, and never touches what it does not name.
hidden=$(version avx512f,vaes,aes)
check "first line unchanged when hiding" [ "$(head -n 1 <<<"$hidden")" = "$(head -n 1 <<<"$plain")" ]
check "aes hidden: AES on tables" [ "$(path "$hidden" AES)" = table ]
check "avx512f hidden: RSA off ifma" [ "$(path "$hidden" RSA)" != ifma ]
check "SHA-1 untouched" [ "$(path "$hidden" SHA-1)" = "$(path "$plain" SHA-1)" ]
wide=$(version ' AVX512F ')
check "avx512f hidden: AES off vaes512" [ "$(path "$wide" AES)" != vaes512 ]
check "avx512f hidden: no RSA path names ifma" [ -z "$(grep '^RSA' <<<"$wide" | grep ifma)" ]
if [ "$(path "$plain" AES)" = vaes512 ]; then
  check "avx512f hidden: AES on 256-bit VAES" [ "$(path "$wide" AES)" = vaes256 ]
fi
others=$(version 'sha_ni, PCLMULQDQ ,bmi1')
check "sha_ni hidden" [ "$(path "$others" SHA-1)" = portable ]
check "pclmulqdq hidden" [ "$(path "$others" CRC-32)" = table ]
check "bmi1 hidden" [ "$(path "$others" 'Twofish, Blowfish')" = portable ]
check "AES untouched" [ "$(path "$others" AES)" = "$(path "$plain" AES)" ]

# Values that hide nothing, and values of any shape, are harmless.
long=$(head -c 100000 /dev/zero | tr '\0' 'x')
for value in "" "," ",,, ,," " " "unknown" "aes_ni" "sse4.1" "$long" "$(printf 'aes\001\377')"; do
  check "value '${value:0:20}' hides nothing" [ "$(version "$value")" = "$plain" ]
done
check "a long value still hides" [ "$(path "$(version "aes,$long")" AES)" = table ]
check "a long value still hides at its end" [ "$(path "$(version "$long,aes")" AES)" = table ]
check "a name inside a longer item hides nothing" [ "$(version 'aesx,xaes,aes aes')" = "$plain" ]

# The same bytes on every path. The data is long enough for the wide paths.
head -c 70001 /dev/urandom >"$work/data"
printf 'a fixed seed' >"$work/seed"
printf alpha >"$work/seed1"
printf beta >"$work/seed2"
# outputs DIR: the tool's outputs into DIR, with the variable as it is now.
outputs() {
  local dir=$1
  mkdir -p "$dir"
  for cipher in aes:32 twofish:32 blowfish:16; do
    local name=${cipher%%:*}
    "$tool" keygen "$name" --seed "$work/seed" --length "${cipher##*:}" -o "$dir/$name.key" || return 1
    for mode in ecb cbc; do
      "$tool" encrypt "$name" --key "$dir/$name.key" --mode $mode "$work/data" -o "$dir/$name.$mode" || return 1
      "$tool" decrypt "$name" --key "$dir/$name.key" --mode $mode "$dir/$name.$mode" -o "$dir/$name.$mode.plain" ||
        return 1
    done
  done
  for size in 64 128 256; do
    "$tool" rsa-keygen --seed1 "$work/seed1" --seed2 "$work/seed2" --size $size \
      --public "$dir/rsa$size.public" --private "$dir/rsa$size.private" || return 1
    "$tool" rsa-sign --private "$dir/rsa$size.private" "$work/data" -o "$dir/rsa$size.signature" || return 1
  done
  "$tool" sha1 "$work/data" >"$dir/sha1" && "$tool" crc32 "$work/data" >"$dir/crc32"
}
# hiding NAMES COMMAND...: COMMAND with NAMES hidden ("-": the variable removed).
hiding() {
  local names=$1
  shift
  if [ "$names" = - ]; then
    (unset ORVOCRYPTO_HIDE_CPU_FEATURES; "$@")
  else
    (export ORVOCRYPTO_HIDE_CPU_FEATURES=$names; "$@")
  fi
}
check "outputs on the default paths" hiding - outputs "$work/default"
everything=aes,vaes,avx2,avx512f,avx512ifma,bmi1,bmi2,adx,sha_ni,pclmulqdq,sse4_1,ssse3
check "outputs with every feature hidden" hiding $everything outputs "$work/hidden"
check "with every feature hidden, every path is the portable one" \
  [ "$(version $everything | tail -n +2 | tr '\n' ' ')" = "AES: table RSA: portable SHA-1: portable CRC-32: table Twofish, Blowfish: portable " ]
check "the same bytes with and without hidden features" diff -r "$work/default" "$work/hidden"
for cipher in aes twofish blowfish; do
  check "$cipher deciphers its data" cmp -s <(head -c 70001 "$work/default/$cipher.ecb.plain") "$work/data"
done
# The wide paths one by one.
check "outputs with AVX-512 hidden" hiding avx512f outputs "$work/no512"
check "the same bytes with AVX-512 hidden" diff -r "$work/default" "$work/no512"

finish
