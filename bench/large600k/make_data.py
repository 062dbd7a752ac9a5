#!/usr/bin/env python3
"""Simulates the 600,000 x 30 benchmark data: six-point items (1..6) from a
five-factor structure (each item loads 0.6 on one factor, factors correlated
0.3), 1 % of the cells missing completely at random and written as 999.
Fixed seed, standard library only.

Usage: make_data.py OUT [participants] [items] [factors]
"""
import math
import random
import sys


def main():
    out = sys.argv[1]
    n = int(sys.argv[2]) if len(sys.argv) > 2 else 600000
    p = int(sys.argv[3]) if len(sys.argv) > 3 else 30
    k = int(sys.argv[4]) if len(sys.argv) > 4 else 5
    rng = random.Random(20261207)
    loading, phi, missing = 0.6, 0.3, 0.01
    cuts = [-1.6, -0.8, 0.0, 0.7, 1.5]
    unique = math.sqrt(1 - loading * loading)
    gauss, uniform = rng.gauss, rng.random
    with open(out, "w") as f:
        lines = []
        for _ in range(n):
            general = gauss(0, 1)
            factors = [math.sqrt(phi) * general + math.sqrt(1 - phi) * gauss(0, 1) for _ in range(k)]
            row = []
            for j in range(p):
                if uniform() < missing:
                    row.append("999")
                    continue
                x = loading * factors[j % k] + unique * gauss(0, 1)
                row.append(str(1 + sum(1 for c in cuts if x > c)))
            lines.append(" ".join(row))
            if len(lines) == 10000:
                f.write("\n".join(lines) + "\n")
                lines = []
        if lines:
            f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
