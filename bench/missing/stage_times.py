#!/usr/bin/env python3
"""Reads the progress lines of a run on standard input and prints how long
each stage took (from its line to the next one) and the total of the
multiple-imputation stages.

Usage: talvex --console <session 2>&1 >/dev/null | stage_times.py
"""
import sys
import time

IMPUTATION = ("Computing Multiple Imputation", "Hot-Deck multiple imputation",
              "Exploratory factor analysis of five")


def main():
    stages = [(time.monotonic(), "(start: reading the data)")]
    for line in sys.stdin:
        stages.append((time.monotonic(), line.strip()))
    stages.append((time.monotonic(), "(end)"))
    imputation = 0.0
    for (start, text), (end, _) in zip(stages, stages[1:]):
        print(f"{end - start:8.3f} s  {text}")
        if text.startswith(IMPUTATION):
            imputation += end - start
    print(f"imputation stages: {imputation:.3f} s")


if __name__ == "__main__":
    main()
