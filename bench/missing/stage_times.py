#!/usr/bin/env python3
"""Runs a command, stamps each progress line it writes on standard error as
the line arrives, and prints how long each stage took (from its line to the
next one, the last one to the command's exit) and the total of the
multiple-imputation stages.

Usage: stage_times.py COMMAND [ARG...] <session

The clock starts before the command does, so the first stages (reading the
data, the dispersion matrix) are timed too. Reading a pipe that the command
started writing before this script was running would stamp every early line
with the moment the script got round to it.
"""
import os
import subprocess
import sys
import time

IMPUTATION = ("Computing Multiple Imputation", "Hot-Deck multiple imputation",
              "Exploratory factor analysis of five")


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    start = time.monotonic()
    child = subprocess.Popen(sys.argv[1:], stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    stages = [(start, "(start: reading the data)")]
    pending = b""
    while True:
        chunk = os.read(child.stderr.fileno(), 65536)
        now = time.monotonic()
        if not chunk:
            break
        pending += chunk
        *lines, pending = pending.split(b"\n")
        stages.extend((now, line.decode("latin-1").strip()) for line in lines)
    status = child.wait()
    stages.append((time.monotonic(), "(end)"))
    imputation = 0.0
    for (begin, text), (end, _) in zip(stages, stages[1:]):
        print(f"{end - begin:8.3f} s  {text}")
        if text.startswith(IMPUTATION):
            imputation += end - begin
    print(f"imputation stages: {imputation:.3f} s")
    sys.exit(status)


if __name__ == "__main__":
    main()
