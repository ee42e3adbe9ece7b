#!/usr/bin/env bash
# The C example against data made by the tool: sealed values it opens, and a
# signature it checks (and refuses over other data).
#   example_test.sh TOOL EXAMPLE
set -euo pipefail
tool=$1 example=$2
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

printf 'the example seed' >"$dir/seed"
"$tool" keygen aes --seed "$dir/seed" --length 16 -o "$dir/key"
for text in hello "a longer value than one block"; do
  printf '%s' "$text" | "$tool" encrypt aes --key "$dir/key" --base64
done >"$dir/sealed"
opened=$("$example" open aes "$dir/key" <"$dir/sealed")
expected=$'hello\na longer value than one block'
[ "$opened" = "$expected" ] || { echo "opened: '$opened', expected '$expected'"; exit 1; }

printf alpha >"$dir/seed1"
printf beta >"$dir/seed2"
"$tool" rsa-keygen --seed1 "$dir/seed1" --seed2 "$dir/seed2" --size 64 --public "$dir/public" --private "$dir/private"
head -c 100000 /dev/zero | tr '\0' 'x' >"$dir/data"
"$tool" rsa-sign --private "$dir/private" -o "$dir/signature" "$dir/data"
[ "$("$example" verify "$dir/public" "$dir/signature" <"$dir/data")" = valid ]
status=0
printf y >>"$dir/data"
"$example" verify "$dir/public" "$dir/signature" <"$dir/data" >/dev/null || status=$?
[ $status -eq 1 ] || { echo "other data: exit status $status, expected 1"; exit 1; }
echo "example_test: opened 2 values, checked 1 signature"
