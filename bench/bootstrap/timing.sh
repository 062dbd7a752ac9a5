#!/usr/bin/env bash
# Times 500 bootstrap resamples of a 2,800 x 25 six-point file (polychoric
# correlations, ULS, 5 factors, Promin) with one and two threads, and checks
# that both reports are the same apart from the date, time and computing-time lines.
# Usage: bench/bootstrap/timing.sh [path of talvex]
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
TALVEX="${1:-$ROOT/build/talvex}"
WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT
python3 "$ROOT/bench/polychoric/make_data.py" "$WORK/likert2800.dat" 2800 20261208 >/dev/null
run() {  # threads, resamples, report
    local start end
    start=$(date +%s.%N)
    TALVEX_THREADS=$1 "$TALVEX" analyse "$WORK/likert2800.dat" --matrix polychoric --factors 5 \
        --procedure MAP --extraction ULS --rotation Promin --bootstrap "$2" --report "$3" \
        >/dev/null 2>&1
    end=$(date +%s.%N)
    echo "$end - $start" | bc
}
base=$(run 2 0 "$WORK/base.txt")
one=$(run 1 500 "$WORK/one.txt")
two=$(run 2 500 "$WORK/two.txt")
echo "analysis without bootstrap (2 threads): ${base} s"
echo "with 500 resamples, 1 thread:           ${one} s"
echo "with 500 resamples, 2 threads:          ${two} s"
if diff <(grep -Ev "Computing time|Time:|Date:" "$WORK/one.txt") <(grep -Ev "Computing time|Time:|Date:" "$WORK/two.txt") >/dev/null; then
    echo "reports of 1 and 2 threads: identical"
else
    echo "reports of 1 and 2 threads: DIFFER"
    exit 1
fi
