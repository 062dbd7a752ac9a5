#!/usr/bin/env python3
"""Simulates six-point Likert data: participants x 25 items on a 1..6 scale
from a five-factor structure (five items per factor, loadings 0.5 to 0.8,
factors correlated 0.3), optionally with a fraction of the cells replaced at
random by the missing value code 999. Fixed seeds, standard library only.

Usage: make_data.py OUT [ROWS SEED MISSING]
  polychoric benchmark: make_data.py likert2500.dat (2,500 rows, seed 20261207)
  missing-data benchmark: make_data.py missing2800.dat 2800 20261208 0.02
"""
import math
import random
import sys


def main():
    out = sys.argv[1]
    n = int(sys.argv[2]) if len(sys.argv) > 2 else 2500
    seed = int(sys.argv[3]) if len(sys.argv) > 3 else 20261207
    missing = float(sys.argv[4]) if len(sys.argv) > 4 else 0.0
    p, k = 25, 5
    rng = random.Random(seed)
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
                score = str(1 + sum(1 for c in cuts if x > c))
                # The missing draw follows each score, so files without
                # missing cells draw nothing more.
                row.append("999" if missing > 0 and rng.random() < missing else score)
            f.write(" ".join(row) + "\n")


if __name__ == "__main__":
    main()
