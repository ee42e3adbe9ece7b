#!/usr/bin/env bash
# The progress line and the terminal checks, through a pseudo-terminal: shown
# on a terminal for long work, at most ten updates a second, forced by
# --progress, silenced by --quiet, absent when standard error is not a
# terminal; ciphertext and keys are refused on a terminal, decrypted data not.
# Usage: progress_test.sh PATH_TO_ORVOCRYPTO
set -u
tool=$1
. "$(dirname "$0")/tool_test_lib.sh"

truncate -s 80M "$work/big"
printf 'abc' >"$work/abc"

# on_terminal WHICH [--slow] -- COMMAND...: runs the command with standard
# error (WHICH=stderr) or standard output (WHICH=stdout) on a pseudo-terminal
# and prints what reached the terminal; with --slow its standard input
# delivers 2 MiB every 50 ms for 1.5 s. The status goes to $work/status.
on_terminal() {
  python3 - "$work/status" "$@" <<'PY'
import os, pty, subprocess, sys, threading, time
status_file, which, *rest = sys.argv[1:]
slow = rest[0] == "--slow"
command = rest[rest.index("--") + 1:]
master, slave = pty.openpty()
streams = {"stderr": slave} if which == "stderr" else {"stdout": slave}
process = subprocess.Popen(command, stdin=subprocess.PIPE if slow else subprocess.DEVNULL,
                           **({"stdout": subprocess.DEVNULL} if which == "stderr" else {"stderr": subprocess.DEVNULL}),
                           **streams)
os.close(slave)
if slow:
    def feed():
        for _ in range(30):
            process.stdin.write(bytes(2 << 20))
            process.stdin.flush()
            time.sleep(0.05)
        process.stdin.close()
    threading.Thread(target=feed).start()
seen = b""
while True:
    try:
        piece = os.read(master, 65536)
    except OSError:
        break
    if not piece:
        break
    seen += piece
process.wait()
open(status_file, "w").write(str(process.returncode))
sys.stdout.write(seen.decode("latin-1"))
PY
}

shown=$(on_terminal stderr -- "$tool" md5 "$work/big")
check "md5 of 80 MiB shows a progress line on a terminal" grep -q "orvocrypto md5: .* of 80.0 MiB ([0-9]*%), .*/s" <<<"$shown"
check "the line is erased at the end" grep -q $'\r *\r' <<<"$shown"
check "the status is 0" [ "$(cat "$work/status")" = 0 ]
check "--quiet silences it" [ -z "$(on_terminal stderr -- "$tool" md5 --quiet "$work/big")" ]
check "short work shows nothing" [ -z "$(on_terminal stderr -- "$tool" md5 "$work/abc")" ]
"$tool" md5 "$work/big" 2>"$work/stderr" >/dev/null
check "nothing when standard error is not a terminal" [ ! -s "$work/stderr" ]
"$tool" md5 --progress "$work/abc" 2>"$work/stderr" >/dev/null
check "--progress forces it" grep -q "orvocrypto md5: 3 B of 3 B" "$work/stderr"

# 60 MiB over 1.5 s from a pipe: forced, at most ten updates a second, and
# no percentage, since the size is unknown.
start=$(date +%s.%N)
shown=$(on_terminal stderr --slow -- "$tool" sha1 --progress)
elapsed=$(python3 -c "import time; print(time.time() - $start)")
updates=$(grep -o "orvocrypto sha1:" <<<"$shown" | wc -l)
check "updates from a pipe ($updates in ${elapsed}s)" [ "$updates" -ge 5 ]
check "at most ten updates a second" python3 -c "import sys; sys.exit(0 if $updates <= 10 * $elapsed + 1 else 1)"
check "no percentage for a pipe" python3 -c "import sys; sys.exit(1 if '%' in sys.argv[1] else 0)" "$shown"

# Binary output is refused on a terminal; text output is not.
on_terminal stdout -- "$tool" random 16 >/dev/null
check "random to a terminal fails" [ "$(cat "$work/status")" = 1 ]
"$tool" keygen aes --seed "$work/abc" --length 16 -o "$work/key"
"$tool" encrypt aes --key "$work/key" "$work/abc" -o "$work/sealed"
on_terminal stdout -- "$tool" encrypt aes --key "$work/key" "$work/abc" >/dev/null
check "encrypt to a terminal fails" [ "$(cat "$work/status")" = 1 ]
check "decrypt to a terminal works" grep -q abc <<<"$(on_terminal stdout -- "$tool" decrypt aes --key "$work/key" "$work/sealed")"
check "random --hex to a terminal works" grep -qE '^[0-9a-f]{32}' <<<"$(on_terminal stdout -- "$tool" random 16 --hex)"
check "md5 to a terminal works" grep -q 900150983cd24fb0d6963f7d28e17f72 <<<"$(on_terminal stdout -- "$tool" md5 "$work/abc")"

finish
