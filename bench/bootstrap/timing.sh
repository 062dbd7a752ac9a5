#!/usr/bin/env bash
# Times 500 bootstrap resamples of a 2,800 x 25 six-point file (polychoric
# correlations, ULS, 5 factors, Promin) with one and two threads, best of
# REPEATS whole runs each, checks that both reports are the same apart from
# the date, time and computing-time lines, and with R psych installed times
# psych's bootstrapped fa on the same file (psych_timing.R).
# Usage: bench/bootstrap/timing.sh [path of talvex] [REPEATS]
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
TALVEX="${1:-$ROOT/build/talvex}"
REPEATS="${2:-3}"
WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT
python3 "$ROOT/bench/polychoric/make_data.py" "$WORK/likert2800.dat" 2800 20261208 >/dev/null
run() {  # threads, resamples, report: best elapsed seconds of REPEATS runs
    local start end t best=""
    for _ in $(seq "$REPEATS"); do
        start=$(date +%s.%N)
        TALVEX_THREADS=$1 "$TALVEX" analyse "$WORK/likert2800.dat" --matrix polychoric --factors 5 \
            --procedure MAP --extraction ULS --rotation Promin --bootstrap "$2" --report "$3" \
            >/dev/null 2>&1
        end=$(date +%s.%N)
        t=$(echo "$end - $start" | bc)
        if [ -z "$best" ] || [ "$(echo "$t < $best" | bc)" = 1 ]; then best=$t; fi
    done
    echo "$best"
}
grep -m1 "model name" /proc/cpuinfo
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
base=$(run 2 0 "$WORK/base.txt")
one=$(run 1 500 "$WORK/one.txt")
two=$(run 2 500 "$WORK/two.txt")
echo "talvex, best of $REPEATS:"
echo "analysis without bootstrap (2 threads): ${base} s"
echo "with 500 resamples, 1 thread:           ${one} s"
echo "with 500 resamples, 2 threads:          ${two} s"
if diff <(grep -Ev "Computing time|Time:|Date:" "$WORK/one.txt") <(grep -Ev "Computing time|Time:|Date:" "$WORK/two.txt") >/dev/null; then
    echo "reports of 1 and 2 threads: identical"
else
    echo "reports of 1 and 2 threads: DIFFER"
    exit 1
fi
if command -v Rscript >/dev/null && Rscript -e 'library(psych)' >/dev/null 2>&1; then
    echo "R psych $(Rscript -e 'cat(as.character(packageVersion("psych")))'), best of $REPEATS:"
    Rscript "$ROOT/bench/bootstrap/psych_timing.R" "$WORK/likert2800.dat" "$REPEATS"
fi
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
