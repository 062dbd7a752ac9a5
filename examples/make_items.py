#!/usr/bin/env python3
"""Simulates the bundled example: 300 participants answering 12 items on a
1..5 scale, generated from three correlated factors (items 1-4, 5-8 and 9-12),
with five scores replaced by the missing code 999.

Run from the repository root: python3 examples/make_items.py [DIR]
It rewrites examples/items.dat (blank-separated scores, 999 for a missing
one) and examples/items.csv (the same scores with a header line i1..i12 and
NA for a missing one), or writes them to DIR; the same constants always give
the same files (a test compares them with the committed ones).

Seed 20261294; loadings 0.75, 0.70, 0.65, 0.60 (items 1-4), 0.72, 0.68, 0.62,
0.55 (items 5-8) and 0.70, 0.66, 0.60, 0.58 (items 9-12) on the item's own
factor, zero elsewhere; every factor correlation 0.3. With this seed MAP and
parallel analysis (optimal and classical, Pearson or polychoric) advise three
factors. The first seed, 20260504, wrote tests/reports/inputs/items.dat, on
which MAP advises one.
"""

import math
import os
import random
import sys

SEED = 20261294
PARTICIPANTS = 300
MISSING_CELLS = 5
MISSING_CODE = 999

# Loadings of the items on their own factor; every other loading is zero.
LOADINGS = [0.75, 0.70, 0.65, 0.60,
            0.72, 0.68, 0.62, 0.55,
            0.70, 0.66, 0.60, 0.58]
FACTOR_OF_ITEM = [0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2]
FACTOR_CORRELATION = 0.3
# Cut points of the latent response on the standard normal scale: five
# categories, slightly skewed towards agreement.
CUTS = [-1.6, -0.7, 0.2, 1.1]


def cholesky(a):
    n = len(a)
    low = [[0.0] * n for _ in range(n)]
    for i in range(n):
        for j in range(i + 1):
            s = a[i][j] - sum(low[i][k] * low[j][k] for k in range(j))
            low[i][j] = math.sqrt(s) if i == j else s / low[j][j]
    return low


def normal(rng):
    # Box-Muller on the generator's uniform draws, so that the file depends
    # only on random.random(), which is stable across Python versions.
    u1 = 1.0 - rng.random()
    u2 = rng.random()
    return math.sqrt(-2.0 * math.log(u1)) * math.cos(2.0 * math.pi * u2)


def simulate():
    """The rows of scores, MISSING_CODE in the missing cells."""
    rng = random.Random(SEED)
    phi = [[1.0 if i == j else FACTOR_CORRELATION for j in range(3)] for i in range(3)]
    low = cholesky(phi)
    rows = []
    for _ in range(PARTICIPANTS):
        z = [normal(rng) for _ in range(3)]
        factors = [sum(low[i][k] * z[k] for k in range(3)) for i in range(3)]
        row = []
        for item, loading in enumerate(LOADINGS):
            latent = loading * factors[FACTOR_OF_ITEM[item]] + \
                math.sqrt(1.0 - loading * loading) * normal(rng)
            row.append(1 + sum(latent > cut for cut in CUTS))
        rows.append(row)

    cells = set()
    while len(cells) < MISSING_CELLS:
        cells.add((rng.randrange(PARTICIPANTS), rng.randrange(len(LOADINGS))))
    for r, c in cells:
        rows[r][c] = MISSING_CODE
    return rows


def main():
    rows = simulate()
    directory = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    with open(os.path.join(directory, "items.dat"), "w", newline="\n") as out:
        for row in rows:
            out.write(" ".join(str(v) for v in row) + "\n")
    # The labels in examples/labels.txt hold blanks, which separate fields in
    # a scores file: the CSV header names the items i1..i12 instead.
    with open(os.path.join(directory, "items.csv"), "w", newline="\n") as out:
        out.write(",".join("i%d" % (j + 1) for j in range(len(LOADINGS))) + "\n")
        for row in rows:
            out.write(",".join("NA" if v == MISSING_CODE else str(v) for v in row) + "\n")


if __name__ == "__main__":
    main()
