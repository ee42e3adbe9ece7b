#!/usr/bin/env bash
# A walk through the orvocrypto command-line tool. Usage: tool-walkthrough.sh PATH-TO-orvocrypto
set -euo pipefail
tool=${1:-orvocrypto}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

say() { printf '\n$ %s\n' "$*"; }
run() { say "orvocrypto $*"; "$tool" "$@"; }

printf 'The quick brown fox jumps over the lazy dog' > fox.txt
run md5 fox.txt
run sha1 fox.txt
run crc32 fox.txt
printf 'Pack my box with five dozen liquor jugs' > jugs.txt
run md5 fox.txt jugs.txt -o sums.md5
run md5 -c sums.md5
run random 16 --hex

printf 'correct horse battery staple' > seed.bin
run keygen aes --seed seed.bin --length 32 -o aes.key
say "od -An -tx1 aes.key"; od -An -tx1 aes.key | tr -d " \n"; echo
run encrypt aes --key aes.key --mode cbc fox.txt -o fox.sealed
run decrypt aes --key aes.key --mode cbc fox.sealed --hex
run keygen blowfish --seed seed.bin --length=-1 --hex
printf 'correct horse battery staple\n' > phrase.txt
run keygen aes --passphrase-file phrase.txt --length 32 --base64
run encrypt aes --key aes.key --mode CBC fox.txt --base64

printf 'first seed' > seed1.bin
printf 'second seed' > seed2.bin
run rsa-keygen --seed1 seed1.bin --seed2 seed2.bin --size 128 --public rsa.pub --private rsa.key
run rsa-sign --private rsa.key fox.txt -o fox.sig
run rsa-verify --public rsa.pub --signature fox.sig fox.txt
run rsa-encrypt --public rsa.pub fox.txt -o fox.rsa
run rsa-decrypt --private rsa.key fox.rsa
echo
say "orvocrypto rsa-verify --public rsa.pub --signature fox.sig jugs.txt   (other data)"
"$tool" rsa-verify --public rsa.pub --signature fox.sig jugs.txt || echo "(exit status $?)"

say "orvocrypto decrypt aes --key fox.txt fox.sealed   (not a key blob)"
"$tool" decrypt aes --key fox.txt fox.sealed || echo "(exit status $?)"
