#!/usr/bin/env python3
"""Simulates the large benchmark data: 10,000 participants x 100 items on a
1..5 scale from an eight-factor structure (each item loads 0.6 on one factor,
factors correlated 0.2). Fixed seed, standard library only.

Usage: make_data.py OUT [participants] [items] [factors]
"""
import math
import random
import sys


def main():
    out = sys.argv[1]
    n = int(sys.argv[2]) if len(sys.argv) > 2 else 10000
    p = int(sys.argv[3]) if len(sys.argv) > 3 else 100
    k = int(sys.argv[4]) if len(sys.argv) > 4 else 8
    rng = random.Random(20261206)
    loading, phi = 0.6, 0.2
    cuts = [-1.5, -0.5, 0.5, 1.5]
    unique = math.sqrt(1 - loading * loading)
    with open(out, "w") as f:
        for _ in range(n):
            general = rng.gauss(0, 1)
            factors = [math.sqrt(phi) * general + math.sqrt(1 - phi) * rng.gauss(0, 1) for _ in range(k)]
            row = []
            for j in range(p):
                x = loading * factors[j % k] + unique * rng.gauss(0, 1)
                row.append(str(1 + sum(1 for c in cuts if x > c)))
            f.write(" ".join(row) + "\n")


if __name__ == "__main__":
    main()
