#!/usr/bin/env python3
"""Coverage of the bootstrap percentile intervals of the rotated loadings.

Population models with known loadings (independent clusters, factors
correlated 0.3):
  12 items, 3 factors, loadings 0.8 0.7 0.6 0.5 on each factor;
  24 items, 4 factors, loadings 0.8 0.7 0.6 0.5 0.4 0.65 on each factor.
Each condition draws SAMPLES samples of N participants, continuous scores
(Pearson correlations, ML) or five categories cut from the same latent scores
(polychoric correlations, ULS), and runs `talvex analyse` with --bootstrap B
and the default rotation (Promin). The population value of every loading is
the program's own solution of the population correlation matrix with the
same extraction and rotation (printed next to the generating loadings, from
which it differs by rounding only). The sample solution's factors come in any
order and sign: they are matched to the population's by the assignment of
largest absolute Tucker congruence, and an interval of a reflected factor is
reflected with it.

Standard library only. Results are appended one line per sample to
OUT/<condition>.jsonl (a rerun skips the samples already there), progress goes
to OUT/progress.log, and the table to OUT/coverage.md.

Usage: coverage.py OUT [--talvex PATH] [--samples 200] [--resamples 500]
                       [--threads 1] [--only 12-300-cont,...]
"""
import argparse
import itertools
import json
import math
import os
import random
import subprocess
import sys
import time

CUTS = [-1.3, -0.4, 0.4, 1.3]  # five categories of the latent scores
PHI = 0.3


def model(items):
    if items == 12:
        k, values = 3, [0.8, 0.7, 0.6, 0.5]
    else:
        k, values = 4, [0.8, 0.7, 0.6, 0.5, 0.4, 0.65]
    per = items // k
    lam = [[0.0] * k for _ in range(items)]
    for j in range(items):
        lam[j][j // per] = values[j % per]
    return lam


def population_matrix(lam):
    p, k = len(lam), len(lam[0])
    phi = [[1.0 if a == b else PHI for b in range(k)] for a in range(k)]
    r = [[0.0] * p for _ in range(p)]
    for i in range(p):
        for j in range(p):
            if i == j:
                r[i][j] = 1.0
            else:
                r[i][j] = sum(lam[i][a] * phi[a][b] * lam[j][b] for a in range(k) for b in range(k))
    return r


def draw(lam, n, categories, rng, path):
    p, k = len(lam), len(lam[0])
    main = [max(range(k), key=lambda f: abs(lam[j][f])) for j in range(p)]
    with open(path, "w") as out:
        for _ in range(n):
            g = rng.gauss(0, 1)
            f = [math.sqrt(PHI) * g + math.sqrt(1 - PHI) * rng.gauss(0, 1) for _ in range(k)]
            row = []
            for j in range(p):
                a = lam[j][main[j]]
                x = a * f[main[j]] + math.sqrt(1 - a * a) * rng.gauss(0, 1)
                row.append(str(1 + sum(1 for c in CUTS if x > c)) if categories else "%.6f" % x)
            out.write(" ".join(row) + "\n")


def analysis_options(categories, k):
    return (["--matrix", "polychoric", "--extraction", "ULS"] if categories else
            ["--matrix", "pearson", "--extraction", "ML"]) + [
        "--factors", str(k), "--procedure", "MAP", "--rotation", "Promin"]


def run(talvex, args, work, threads):
    json_path = os.path.join(work, "r.json")
    if os.path.exists(json_path):
        os.remove(json_path)
    env = dict(os.environ, TALVEX_THREADS=str(threads))
    proc = subprocess.run([talvex, "analyse"] + args + ["--report", os.path.join(work, "r.txt"),
                                                        "--json", json_path],
                          env=env, capture_output=True, text=True)
    if not os.path.exists(json_path):
        return None, proc.returncode, proc.stderr.strip()
    with open(json_path) as f:
        return json.load(f), proc.returncode, proc.stderr.strip()


def match(sample, population):
    """Permutation and signs taking the sample's columns to the population's."""
    p, k = len(population), len(population[0])

    def congruence(a, b):
        num = sum(sample[i][a] * population[i][b] for i in range(p))
        den = math.sqrt(sum(sample[i][a] ** 2 for i in range(p)) *
                        sum(population[i][b] ** 2 for i in range(p)))
        return num / den if den > 0 else 0.0

    c = [[congruence(a, b) for b in range(k)] for a in range(k)]
    best = max(itertools.permutations(range(k)), key=lambda perm: sum(abs(c[perm[b]][b]) for b in range(k)))
    # population column b is sample column best[b], reflected when negative
    return [(best[b], -1.0 if c[best[b]][b] < 0 else 1.0) for b in range(k)], \
        min(abs(c[best[b]][b]) for b in range(k))


def one_sample(talvex, cond, lam, pop, seed, work, resamples, threads):
    items, n, categories = cond
    data = os.path.join(work, "d.dat")
    draw(lam, n, categories, random.Random(seed), data)
    k = len(lam[0])
    doc, rc, err = run(talvex, [data] + analysis_options(categories, k) + ["--bootstrap", str(resamples)],
                       work, threads)
    if doc is None or "bootstrap" not in doc or "loadings" not in doc["bootstrap"]:
        return {"seed": seed, "error": "exit %s: %s" % (rc, err[-300:])}
    boot = doc["bootstrap"]
    columns, worst = match(doc["rotated_loadings"], pop)
    covered = []
    for i in range(items):
        row = []
        for b in range(k):
            a, sign = columns[b]
            lo, hi = boot["loadings"]["lower"][i][a] * sign, boot["loadings"]["upper"][i][a] * sign
            lo, hi = min(lo, hi), max(lo, hi)
            row.append(1 if lo <= pop[i][b] <= hi else 0)
        covered.append(row)
    return {"seed": seed, "covered": covered, "used": boot["used"], "failed": boot["failed"],
            "failures": {r: v for r, v in boot["failures"].items() if v}, "congruence": worst}


def population_solution(talvex, cond, lam, work):
    items, _, categories = cond
    path = os.path.join(work, "population.dat")
    with open(path, "w") as f:
        for row in population_matrix(lam):
            f.write(" ".join("%.10f" % v for v in row) + "\n")
    options = analysis_options(categories, len(lam[0]))[2:]  # no --matrix with a matrix
    doc, rc, err = run(talvex, [path, "--input-matrix", "--participants", "1000"] + options, work, 1)
    if doc is None:
        sys.exit("population run failed: %s %s" % (rc, err))
    columns, _ = match(doc["rotated_loadings"], lam)
    return [[doc["rotated_loadings"][i][columns[b][0]] * columns[b][1] for b in range(len(lam[0]))]
            for i in range(items)]


def name(cond):
    return "%d-%d-%s" % (cond[0], cond[1], "cat" if cond[2] else "cont")


def summarise(out, conditions):
    lines = ["| items | N | data | samples | B | mean coverage | min loading | max loading | "
             "salient loadings | zero loadings | failed resamples | runs failed |",
             "|---:|---:|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|"]
    for cond in conditions:
        path = os.path.join(out, name(cond) + ".jsonl")
        if not os.path.exists(path):
            continue
        rows = [json.loads(l) for l in open(path)]
        ok = [r for r in rows if "covered" in r]
        if not ok:
            continue
        p, k = len(ok[0]["covered"]), len(ok[0]["covered"][0])
        rate = [[sum(r["covered"][i][b] for r in ok) / len(ok) for b in range(k)] for i in range(p)]
        flat = [v for row in rate for v in row]
        failed = sum(r["failed"] for r in ok)
        total = sum(r["failed"] + r["used"] for r in ok)
        # Coverage of the salient (nonzero) and the zero loadings apart.
        lam = model(cond[0])
        sal = [rate[i][b] for i in range(p) for b in range(k) if lam[i][b] != 0]
        zero = [rate[i][b] for i in range(p) for b in range(k) if lam[i][b] == 0]
        lines.append("| %d | %d | %s | %d | %d | %.1f %% | %.1f %% | %.1f %% | %.1f %% | %.1f %% | %d of %d | %d |" % (
            cond[0], cond[1], "five categories" if cond[2] else "continuous", len(ok), total // len(ok),
            100 * sum(flat) / len(flat), 100 * min(flat), 100 * max(flat), 100 * sum(sal) / len(sal),
            100 * sum(zero) / len(zero), failed, total, len(rows) - len(ok)))
    text = "\n".join(lines) + "\n"
    with open(os.path.join(out, "coverage.md"), "w") as f:
        f.write(text)
    return text


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("out")
    ap.add_argument("--talvex", default=os.path.join(os.path.dirname(__file__), "../../build/talvex"))
    ap.add_argument("--samples", type=int, default=200)
    ap.add_argument("--resamples", type=int, default=500)
    ap.add_argument("--threads", type=int, default=1)
    ap.add_argument("--only", default="")
    ap.add_argument("--summary", action="store_true", help="only write the table")
    a = ap.parse_args()
    os.makedirs(a.out, exist_ok=True)
    conditions = [(items, n, cat) for items in (12, 24) for cat in (False, True) for n in (300, 1000)]
    seeds = {name(c): 1000003 * (i + 1) for i, c in enumerate(conditions)}
    if a.only:
        conditions = [c for c in conditions if name(c) in a.only.split(",")]
    if a.summary:
        print(summarise(a.out, conditions), end="")
        return
    work = os.path.join(a.out, "work")
    os.makedirs(work, exist_ok=True)
    log = open(os.path.join(a.out, "progress.log"), "a")
    for cond in conditions:
        lam = model(cond[0])
        pop = population_solution(a.talvex, cond, lam, work)
        gap = max(abs(pop[i][b] - lam[i][b]) for i in range(len(lam)) for b in range(len(lam[0])))
        path = os.path.join(a.out, name(cond) + ".jsonl")
        done = {json.loads(l)["seed"] for l in open(path)} if os.path.exists(path) else set()
        log.write("%s %s: population solution within %.2e of the generating loadings\n" % (
            time.strftime("%H:%M:%S"), name(cond), gap))
        log.flush()
        start = time.time()
        with open(path, "a") as results:
            for s in range(a.samples):
                seed = seeds[name(cond)] + s
                if seed in done:
                    continue
                row = one_sample(a.talvex, cond, lam, pop, seed, work, a.resamples, a.threads)
                results.write(json.dumps(row) + "\n")
                results.flush()
                if (s + 1) % 20 == 0:
                    log.write("%s %s: %d/%d samples, %.0f s\n" % (
                        time.strftime("%H:%M:%S"), name(cond), s + 1, a.samples, time.time() - start))
                    log.flush()
        summarise(a.out, conditions)
    print(summarise(a.out, conditions), end="")


if __name__ == "__main__":
    main()
