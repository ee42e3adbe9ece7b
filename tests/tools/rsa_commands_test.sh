#!/usr/bin/env bash
# The tool's RSA commands: rsa-keygen, rsa-encrypt, rsa-decrypt, rsa-sign,
# rsa-verify. Expected key blobs and signatures, and the decryption of the
# tool's ciphertexts, come from the independent Python reference
# (tests/rsa/rsa_reference.py: Python integers and hashlib).
# Usage: rsa_commands_test.sh PATH_TO_ORVOCRYPTO
set -u
tool=$1
here=$(cd "$(dirname "$0")" && pwd)
. "$(dirname "$0")/tool_test_lib.sh"

# reference EXPRESSION: evaluates Python with the reference module loaded and
# `work` naming the scratch folder; prints the result.
reference() {
  python3 - "$here/../rsa" "$work" "$1" <<'PY'
import hashlib, sys
sys.path.insert(0, sys.argv[1])
from rsa_reference import Key
work = sys.argv[2]
def read(name):
    return open(work + "/" + name, "rb").read()
print(eval(sys.argv[3]))
PY
}

printf alpha >"$work/seed1"
printf beta >"$work/seed2"
head -c 300 /dev/urandom >"$work/data"
printf label >"$work/label"

expect "keygen" 0 "" -- rsa-keygen --seed1 "$work/seed1" --seed2 "$work/seed2" --size 128 \
  --public "$work/public" --private "$work/private"
check "public blob as the reference" \
  [ "$(reference 'read("public") == Key(b"alpha", b"beta", 128).public_blob()')" = True ]
check "private blob as the reference" \
  [ "$(reference 'read("private") == Key(b"alpha", b"beta", 128).private_blob()')" = True ]

expect "encrypt" 0 "" -- rsa-encrypt --public "$work/public" "$work/data" -o "$work/sealed"
check "ciphertext is four 128-byte blocks" [ "$(wc -c <"$work/sealed")" -eq 512 ]
check "the reference decrypts the ciphertext" [ "$(reference \
  'Key(b"alpha", b"beta", 128).decrypt(read("sealed"), hashlib.sha1(bytes(4)).digest()) == read("data")')" = True ]
expect "decrypt" 0 "" -- rsa-decrypt --private "$work/private" "$work/sealed" -o "$work/opened"
check "decrypt gives the data back" cmp -s "$work/opened" "$work/data"

expect "encrypt with iv" 0 "" -- rsa-encrypt --public "$work/public" --iv "$work/label" "$work/data" -o "$work/labelled"
check "the reference decrypts with the label hash" [ "$(reference \
  'Key(b"alpha", b"beta", 128).decrypt(read("labelled"), hashlib.sha1(b"label").digest()) == read("data")')" = True ]
expect "decrypt without the iv" 1 "" -- rsa-decrypt --private "$work/private" "$work/labelled"
check "failure text" grep -qx "orvocrypto rsa-decrypt: Crypto System: Unable to decrypt data - RSA" "$work/stderr"
expect "decrypt with the iv" 0 "" -- rsa-decrypt --private "$work/private" --iv "$work/label" "$work/labelled" \
  -o "$work/opened2"
check "labelled data back" cmp -s "$work/opened2" "$work/data"
check "standard input works" \
  [ "$("$tool" rsa-encrypt --public "$work/public" <"$work/label" | "$tool" rsa-decrypt --private "$work/private")" = label ]

expect "sign" 0 "" -- rsa-sign --private "$work/private" "$work/data" -o "$work/signature"
check "signature as the reference" \
  [ "$(reference 'read("signature") == Key(b"alpha", b"beta", 128).sign(read("data"))')" = True ]
expect "verify" 0 "valid" -- rsa-verify --public "$work/public" --signature "$work/signature" "$work/data"
expect "verify other data" 1 "invalid" -- rsa-verify --public "$work/public" --signature "$work/signature" "$work/label"

# A key whose modulus is 8 bits short of the encoded block (496 bits for
# size 64): every encryption succeeds, and the reference decrypts each one.
# (rsa_tests repeats the encryption 200 times in one process; a run of the
# tool costs a process start, which is slow under the sanitizers.)
printf short-54 >"$work/short1"
printf short-73 >"$work/short2"
expect "short-modulus keygen" 0 "" -- rsa-keygen --seed1 "$work/short1" --seed2 "$work/short2" --size 64 \
  --public "$work/shortpub" --private "$work/shortpriv"
printf 'short modulus' >"$work/shortdata"
sealed_ok=0
for i in $(seq 20); do
  "$tool" rsa-encrypt --public "$work/shortpub" "$work/shortdata" -o "$work/short-$i" 2>"$work/stderr" \
    && sealed_ok=$((sealed_ok + 1))
done
check "20 encryptions with the short modulus all succeed ($sealed_ok)" [ "$sealed_ok" -eq 20 ]
check "the reference decrypts all 20" [ "$(reference 'all(Key(b"short-54", b"short-73", 64).decrypt(read("short-%d" % i), hashlib.sha1(bytes(4)).digest()) == read("shortdata") for i in range(1, 21))')" = True ]

# Equal seeds give consecutive primes: refused unless asked for, and then the
# key the derivation gives (which one step of Fermat's method factors).
cp "$work/seed1" "$work/seed1-copy"
for pair in "$work/seed1 $work/seed1-copy" "$work/seed1 $work/seed1"; do
  # shellcheck disable=SC2086
  set -- $pair
  expect "equal seeds ($(basename "$1"), $(basename "$2"))" 2 "" -- rsa-keygen --seed1 "$1" --seed2 "$2" --size 64 \
    --public "$work/eqpub" --private "$work/eqpriv"
  check "the message says why" grep -q "^orvocrypto rsa-keygen: --seed1 and --seed2 hold the same bytes: equal seeds give two consecutive primes" "$work/stderr"
  check "no key file is written" [ ! -e "$work/eqpub" ] && [ ! -e "$work/eqpriv" ]
done
check "--help names the option" grep -q -- "--allow-equal-seeds" <<<"$("$tool" rsa-keygen --help)"
expect "equal seeds, allowed" 0 "" -- rsa-keygen --seed1 "$work/seed1" --seed2 "$work/seed1-copy" --size 64 \
  --public "$work/eqpub" --private "$work/eqpriv" --allow-equal-seeds
check "the key is the derivation's" \
  [ "$(reference 'read("eqpriv") == Key(b"alpha", b"alpha", 64).private_blob()')" = True ]
check "and Fermat's first step factors its modulus" [ "$(reference '(lambda n: (lambda a: __import__("math").isqrt(a * a - n) ** 2 == a * a - n)(__import__("math").isqrt(n - 1) + 1))(int.from_bytes(read("eqpub")[8:8 + int.from_bytes(read("eqpub")[4:8], "big")], "big"))')" = True ]

expect "public blob as private key" 1 "" -- rsa-sign --private "$work/public" "$work/data"
check "its failure text names the half" grep -q "^orvocrypto rsa-sign: Crypto System: Data is corrupted - XBlob; '$work/public' holds an RSA public key blob, not a private one" "$work/stderr"
printf 'abc' >"$work/short"
expect "three-byte key blob" 1 "" -- rsa-encrypt --public "$work/short" "$work/data"
check "its failure text" grep -qx "orvocrypto rsa-encrypt: Crypto System: Data is corrupted - RSA" "$work/stderr"
expect "missing key file" 1 "" -- rsa-encrypt --public "$work/none" "$work/data"
expect "missing option" 2 "" -- rsa-keygen --seed1 "$work/seed1" --seed2 "$work/seed2" --public "$work/p"
expect "unknown option" 2 "" -- rsa-verify --public "$work/public" --bogus
expect "two data files" 2 "" -- rsa-sign --private "$work/private" "$work/data" "$work/data"

finish
