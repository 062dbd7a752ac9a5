"""Wall time of talvex.analyse against the whole program on the same data.

    PYTHONPATH=build/python python3 bench/bindings/call_vs_program.py build/talvex DATA [KEY=VALUE ...]

DATA: whitespace-separated scores with 999 for a missing score (as
bench/polychoric/make_data.py writes them). The settings go to both; the
best of three runs of each is printed, and whether the results agree.
"""

import json
import os
import subprocess
import sys
import tempfile
import time

import numpy as np

import talvex


def best_of(runs, f):
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        value = f()
        times.append(time.perf_counter() - start)
    return min(times), value


def main():
    program, data, pairs = sys.argv[1], sys.argv[2], sys.argv[3:]
    settings = dict(p.split("=", 1) for p in pairs)
    scores = np.loadtxt(data)
    scores[scores == 999] = np.nan
    with tempfile.TemporaryDirectory() as work:
        report, results = os.path.join(work, "r.txt"), os.path.join(work, "r.json")
        args = [program, "analyse", data, "--report", report, "--json", results]
        args += ["--set=%s=%s" % kv for kv in settings.items()]
        program_time, _ = best_of(3, lambda: subprocess.run(args, check=True, capture_output=True))
        with open(results) as f:
            theirs = json.load(f)
    call_time, ours = best_of(3, lambda: talvex.analyse(scores, **settings))
    agree = all(np.array_equal(np.asarray(ours[k]), np.asarray(theirs[k]))
                for k in ("eigenvalues", "rotated_loadings") if k in theirs)
    print("program (whole process): %.3f s" % program_time)
    print("talvex.analyse (call):   %.3f s" % call_time)
    print("results agree: %s" % agree)


if __name__ == "__main__":
    main()
