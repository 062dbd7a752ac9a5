#!/usr/bin/env python3
"""Simulates the missing-data benchmark: 2,800 participants x 25 items on a
1..6 scale from a five-factor structure (five items per factor, loadings 0.5
to 0.8, factors correlated 0.3), then 2% of the cells replaced at random by
the missing value code 999. Fixed seed, standard library only.

Usage: make_data.py OUT
"""
import math
import random
import sys


def main():
    out = sys.argv[1]
    n, p, k = 2800, 25, 5
    rng = random.Random(20261208)
    loadings = [0.5 + 0.3 * (j % 5) / 4 for j in range(p)]
    cuts = [-1.6, -0.9, -0.3, 0.4, 1.2]
    phi = 0.3
    with open(out, "w") as f:
        for _ in range(n):
            general = rng.gauss(0, 1)
            factors = [math.sqrt(phi) * general + math.sqrt(1 - phi) * rng.gauss(0, 1) for _ in range(k)]
            row = []
            for j in range(p):
                a = loadings[j]
                x = a * factors[j // 5] + math.sqrt(1 - a * a) * rng.gauss(0, 1)
                score = 1 + sum(1 for c in cuts if x > c)
                row.append("999" if rng.random() < 0.02 else str(score))
            f.write(" ".join(row) + "\n")


if __name__ == "__main__":
    main()
