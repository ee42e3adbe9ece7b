#!/usr/bin/env bash
# The tool's -o: the target changes only when the output is complete. An
# interrupted run (SIGINT, SIGTERM), a full disk, a file size limit and an
# in-place run (`encrypt f -o f`) leave it as it was and no temporary behind;
# key files and new plaintext files are created readable by their owner only;
# links, devices and existing permissions are respected (links_test.sh: other
# users' links, owners and groups).
# Usage: output_test.sh PATH_TO_ORVOCRYPTO
set -u
tool=$1
. "$(dirname "$0")/tool_test_lib.sh"

umask 022
printf 'seed' >"$work/seed"
"$tool" keygen aes --seed "$work/seed" --length 16 -o "$work/key"
head -c 3000000 /dev/urandom >"$work/big"
printf 'the original target\n' >"$work/original"
no_temporaries() { [ -z "$(find "$1" -name '.*.orvo-*' -print -quit)" ]; }
mode_of() { stat -c %a "$1"; }

# SIGINT and SIGTERM mid-write: the input is a pipe that delivers three chunks
# and then stalls, so the tool is killed with part of its output written.
for signal in INT TERM; do
  cp "$work/original" "$work/target"
  mkfifo "$work/fifo"
  "$tool" encrypt aes --key "$work/key" --mode cbc "$work/fifo" -o "$work/target" &
  pid=$!
  { cat "$work/big"; sleep 30; } >"$work/fifo" &
  feeder=$!
  for _ in $(seq 100); do
    [ -n "$(find "$work" -name '.target.orvo-*' -size +1000k -print -quit)" ] && break
    sleep 0.1
  done
  check "SIG$signal: a partial temporary was being written" [ -n "$(find "$work" -name '.target.orvo-*' -print -quit)" ]
  kill -s "$signal" "$pid"
  wait "$pid"
  status=$?
  kill "$feeder" 2>/dev/null
  wait "$feeder" 2>/dev/null
  rm -f "$work/fifo"
  check "SIG$signal ends the tool by the signal" [ "$status" -eq $((128 + $(kill -l "$signal"))) ]
  check "SIG$signal leaves the target as it was" cmp -s "$work/target" "$work/original"
  check "SIG$signal leaves no temporary" no_temporaries "$work"
done

# A file size limit (the write fails with EFBIG), also in place: f stays f.
cp "$work/big" "$work/inplace"
(ulimit -f 1000; "$tool" encrypt aes --key "$work/key" "$work/inplace" -o "$work/inplace" 2>"$work/stderr")
check "a size limit fails the run" [ $? -eq 1 ]
check "its message names the command and the file" grep -q "^orvocrypto encrypt: cannot write '.*inplace'" "$work/stderr"
check "in place, the input is unchanged after the failure" cmp -s "$work/inplace" "$work/big"
check "no temporary after the failure" no_temporaries "$work"

# In place and complete: the file becomes its ciphertext.
"$tool" encrypt aes --key "$work/key" "$work/big" -o "$work/expected"
expect "encrypt f -o f" 0 "" -- encrypt aes --key "$work/key" "$work/inplace" -o "$work/inplace"
check "f holds its ciphertext" cmp -s "$work/inplace" "$work/expected"

# A full disk: a 1 MiB tmpfs (root only; skipped elsewhere).
mkdir "$work/small"
if mount -t tmpfs -o size=1m tmpfs "$work/small" 2>/dev/null; then
  cp "$work/original" "$work/small/target"
  expect "a full disk fails the run" 1 "" -- encrypt aes --key "$work/key" "$work/big" -o "$work/small/target"
  check "the message says why" grep -q "No space left on device" "$work/stderr"
  check "the full disk leaves the target as it was" cmp -s "$work/small/target" "$work/original"
  check "and no temporary" no_temporaries "$work/small"
  umount "$work/small"
else
  echo "note: no tmpfs mount (not root?): the full-disk case was skipped"
fi

# Permissions: secret outputs are 0600 whatever the umask; others follow the
# umask, or keep the permissions of the file they replace.
expect "keygen -o" 0 "" -- keygen aes --seed "$work/seed" --length 16 -o "$work/secret.key"
expect "rsa-keygen" 0 "" -- rsa-keygen --seed1 "$work/seed" --seed2 "$work/key" --size 64 \
  --public "$work/rsa.pub" --private "$work/rsa.key"
expect "random -o" 0 "" -- random 32 -o "$work/random.bin"
check "keygen output is 600" [ "$(mode_of "$work/secret.key")" = 600 ]
check "rsa-keygen private key is 600" [ "$(mode_of "$work/rsa.key")" = 600 ]
check "random output is 600" [ "$(mode_of "$work/random.bin")" = 600 ]
check "rsa-keygen public key follows the umask" [ "$(mode_of "$work/rsa.pub")" = 644 ]
"$tool" encrypt aes --key "$work/key" "$work/big" -o "$work/sealed.new"
check "a new ciphertext file follows the umask" [ "$(mode_of "$work/sealed.new")" = 644 ]
expect "decrypt -o" 0 "" -- decrypt aes --key "$work/key" "$work/sealed.new" -o "$work/opened.new"
check "a new decrypted file is 600 (plaintext)" [ "$(mode_of "$work/opened.new")" = 600 ]
"$tool" rsa-encrypt --public "$work/rsa.pub" "$work/seed" -o "$work/rsa.sealed"
expect "rsa-decrypt -o" 0 "" -- rsa-decrypt --private "$work/rsa.key" "$work/rsa.sealed" -o "$work/rsa.opened"
check "a new RSA-decrypted file is 600" [ "$(mode_of "$work/rsa.opened")" = 600 ]
chmod 644 "$work/opened.new"
expect "decrypt over a 644 file" 0 "" -- decrypt aes --key "$work/key" "$work/sealed.new" -o "$work/opened.new"
check "a replaced file keeps its 644" [ "$(mode_of "$work/opened.new")" = 644 ]
chmod 640 "$work/target"
expect "replace a 640 file" 0 "" -- md5 "$work/big" -o "$work/target"
check "it stays 640" [ "$(mode_of "$work/target")" = 640 ]
cp "$work/original" "$work/secret.key"
chmod 644 "$work/secret.key"
expect "keygen over a 644 file" 0 "" -- keygen aes --seed "$work/seed" --length 16 -o "$work/secret.key"
check "a key replacing a readable file is 600" [ "$(mode_of "$work/secret.key")" = 600 ]

# A symbolic link stays a link to the replaced file; devices are written in place.
ln -s target "$work/link"
expect "-o through a link" 0 "" -- crc32 "$work/big" -o "$work/link"
check "the link is still a link" [ -L "$work/link" ]
check "the file it names holds the output" [ "$(cat "$work/target")" = "$("$tool" crc32 "$work/big")" ]
ln -s link "$work/link2"
expect "-o through a link to a link" 0 "" -- md5 "$work/seed" -o "$work/link2"
check "the file at the end holds the output" [ "$(cat "$work/target")" = "$("$tool" md5 "$work/seed")" ]
ln -s "$work/nowhere/file" "$work/dangling"
expect "-o through a link into a missing folder" 1 "" -- md5 "$work/seed" -o "$work/dangling"
ln -s loop1 "$work/loop2"
ln -s loop2 "$work/loop1"
expect "-o through a loop of links" 1 "" -- md5 "$work/seed" -o "$work/loop1"
check "is said" grep -q "Too many levels of symbolic links" "$work/stderr"
expect "-o naming a folder" 1 "" -- md5 "$work/seed" -o "$work/small"
check "is said" grep -q "Is a directory" "$work/stderr"
check "-o /dev/stdout writes standard output" [ "$("$tool" md5 "$work/seed" -o /dev/stdout)" = "$("$tool" md5 "$work/seed")" ]
expect "-o /dev/null" 0 "" -- encrypt aes --key "$work/key" "$work/big" -o /dev/null
check "no temporary left in the folder" no_temporaries "$work"

finish
