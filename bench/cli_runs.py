#!/usr/bin/env python3
"""Whole-process CPU time of short runs: each command line is started RUNS
times, one after another, and the user + system time of every child (from
wait4, so the starter's own time is not counted) is summed. Prints one line
per command: the mean CPU time per run in milliseconds and the total.

  python3 bench/cli_runs.py RUNS NAME=COMMAND [NAME=COMMAND]...
(COMMAND is split on spaces; standard output goes to /dev/null.)
Standard library only.
"""

import os
import sys


def cpu_seconds(argv, runs):
    total = 0.0
    devnull = os.open(os.devnull, os.O_WRONLY)
    try:
        for _ in range(runs):
            pid = os.posix_spawn(argv[0], argv, os.environ, file_actions=[(os.POSIX_SPAWN_DUP2, devnull, 1)])
            _, status, usage = os.wait4(pid, 0)
            if os.waitstatus_to_exitcode(status) != 0:
                sys.exit(f"cli_runs: {' '.join(argv)} failed")
            total += usage.ru_utime + usage.ru_stime
    finally:
        os.close(devnull)
    return total


def main():
    runs = int(sys.argv[1])
    for named in sys.argv[2:]:
        name, command = named.split("=", 1)
        argv = command.split()
        seconds = cpu_seconds(argv, runs)
        print(f"{name:<10} {1000 * seconds / runs:6.3f} ms CPU a run  ({seconds:.2f} s over {runs} runs)")


if __name__ == "__main__":
    main()
