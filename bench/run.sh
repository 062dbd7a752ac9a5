#!/usr/bin/env bash
# Builds the benchmarks in Release (build-bench/) and runs them.
# Usage: bench/run.sh [benchmark filter regex]
# To add a scenario, add a function below and list it in SCENARIOS.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${BENCH_BUILD:-$ROOT/build-bench}"
FILTER="${1:-.}"

cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DTALVEX_BENCH=ON -DTALVEX_TESTS=OFF >/dev/null
cmake --build "$BUILD" -j "$(nproc)"

# Google Benchmark programs (one per layer).
core() {
    "$BUILD/bench/bench_core" --benchmark_filter="$FILTER"
}

# Every rotation method 1-28 on 100 x 10 loadings, a user target with 10
# starts, and direct quartimin from 100 starts and the Simplimax dialog's
# default range side by side with the same loops in GPArotation
# (SIMPLIMAX_STEP=n times every n-th number of zeros in R and scales up).
rotation() {
    "$BUILD/bench/bench_rotation" --benchmark_filter="$FILTER"
    if command -v Rscript >/dev/null && Rscript -e 'library(GPArotation)' >/dev/null 2>&1; then
        Rscript "$ROOT/bench/rotation/gpa_timing.R" "$ROOT/tests/reference/rotation_reference.txt" \
            "${SIMPLIMAX_STEP:-1}"
    fi
}

# The whole program on 10,000 participants x 100 items (8 factors): Read
# Data, Pearson, detailed output (descriptives with Mardia), MAP, ULS with 8
# factors. The minimum wall time of three runs and the peak memory (two
# threads), whether the reports with one and two threads are the same, and
# with R and psych installed the minimum of three runs of the same
# computations in R (bench/large/psych_timing.R) and the ratio.
large() {
    local dir="$ROOT/bench/large" work timing run ours theirs
    [ -f "$dir/large.dat" ] || python3 "$dir/make_data.py" "$dir/large.dat"
    work=$(mktemp -d)
    ln -s "$dir/large.dat" "$work/large.dat"
    timing=$(mktemp)
    echo "load: $(uptime)"
    for run in 1 2 3; do
        (cd "$work" && /usr/bin/time -a -o "$timing" -f "%e %M" \
            "$BUILD/talvex" --console <"$dir/scenario.session" >/dev/null 2>&1)
    done
    ours=$(sort -n "$timing" | head -1 | cut -d' ' -f1)
    echo "talvex: runs $(cut -d' ' -f1 "$timing" | tr '\n' ' ')s wall; min $ours s, $(sort -n -k2 "$timing" | tail -1 | cut -d' ' -f2) KB peak"
    grep -v "^ *Date:\|^ *Time:\|^Computing time" "$work/large-output.txt" >"$work/report-2.txt"
    (cd "$work" && TALVEX_THREADS=1 "$BUILD/talvex" --console <"$dir/scenario.session" >/dev/null 2>&1)
    grep -v "^ *Date:\|^ *Time:\|^Computing time" "$work/large-output.txt" >"$work/report-1.txt"
    if cmp -s "$work/report-1.txt" "$work/report-2.txt"; then
        echo "talvex large: reports with 1 and 2 threads identical"
    else
        echo "talvex large: reports with 1 and 2 threads DIFFER"
    fi
    if command -v Rscript >/dev/null && Rscript -e 'library(psych)' >/dev/null 2>&1; then
        : >"$timing"
        for run in 1 2 3; do
            (cd "$work" && /usr/bin/time -a -o "$timing" -f "%e %M" Rscript "$dir/psych_timing.R" large.dat >/dev/null)
        done
        theirs=$(sort -n "$timing" | head -1 | cut -d' ' -f1)
        echo "R psych: runs $(cut -d' ' -f1 "$timing" | tr '\n' ' ')s wall; min $theirs s, $(sort -n -k2 "$timing" | tail -1 | cut -d' ' -f2) KB peak"
        awk -v a="$theirs" -v b="$ours" 'BEGIN { printf "R psych / talvex (min of 3 each): %.1f\n", a / b }'
    fi
    rm -rf "$work" "$timing"
}

# The same analysis on 1,000,000 x 100 (a 200 MB text file made once, about
# four minutes of Python): Read Data alone and the whole run through the
# dialogs, then the reading of `talvex analyse` alone (it stops at the
# configuration, which refuses 200 factors) and its whole run; wall time and
# peak memory of each. Targets: whole run under 30 s and 1.5 GB.
million() {
    local dir="$ROOT/bench/large" work data="${MILLION_DATA:-$ROOT/build-bench/million.dat}"
    [ -f "$data" ] || python3 "$dir/make_data.py" "$data" 1000000 100 8
    work=$(mktemp -d)
    echo "load: $(uptime)"
    sed "s/^participantCount = .*/participantCount = 1000000/; s#^scoresFileName = .*#scoresFileName = $data#" \
        "$dir/scenario.session" >"$work/run.session"
    sed -n '1,/^ok$/p' "$work/run.session" >"$work/read.session"
    echo exit >>"$work/read.session"
    (cd "$work" && /usr/bin/time -f "Read Data: %e s wall, %M KB peak" "$BUILD/talvex" --console \
        <read.session 2>&1 >/dev/null | tail -1)
    (cd "$work" && /usr/bin/time -f "whole run: %e s wall, %M KB peak" "$BUILD/talvex" --console \
        <run.session 2>&1 >/dev/null | tail -1)
    (cd "$work" && /usr/bin/time -f "analyse, reading: %e s wall, %M KB peak" "$BUILD/talvex" analyse \
        "$data" --no-missing --factors 200 --report refused.txt 2>&1 >/dev/null | tail -1)
    (cd "$work" && /usr/bin/time -f "analyse, whole run: %e s wall, %M KB peak" "$BUILD/talvex" analyse \
        "$data" --no-missing --matrix pearson --procedure MAP --factors 8 --extraction ULS \
        --rotation None --detailed --report analyse.txt 2>&1 >/dev/null | tail -1)
    rm -rf "$work"
}

# The default analysis (polychoric, optimal PA with 500 permutations, ULS,
# Promin, simplicity indices, multiple imputation) of 600,000 x 30 six-point
# items with 1 % missing cells (bench/large600k; the file, 36 MB, is made
# once, about a minute of Python): the stage times, wall time and peak
# memory. Targets: under 2 minutes and 3 GB.
large600k() {
    local dir="$ROOT/bench/large600k" data="${LARGE600K_DATA:-$ROOT/build-bench/large600k.dat}" work timing
    [ -f "$data" ] || python3 "$dir/make_data.py" "$data"
    work=$(mktemp -d)
    timing=$(mktemp)
    ln -s "$data" "$work/large600k.dat"
    echo "load: $(uptime)"
    (cd "$work" && /usr/bin/time -o "$timing" -f "whole run: %e s wall, %M KB peak" \
        python3 "$ROOT/bench/missing/stage_times.py" "$BUILD/talvex" --console <"$dir/scenario.session")
    cat "$timing"
    rm -rf "$work" "$timing"
}

# ML and MRFA (10 starts) on a 100-variable, 8-factor correlation matrix.
extraction() {
    "$BUILD/bench/bench_extraction" --benchmark_filter="$FILTER"
}

# The polychoric matrix of 2,500 participants x 25 six-point items, side by
# side with psych::polychoric and lavaan::lavCor(ordered) on the same file.
polychoric() {
    local dir="$ROOT/bench/polychoric"
    [ -f "$dir/likert2500.dat" ] || python3 "$dir/make_data.py" "$dir/likert2500.dat"
    "$BUILD/bench/bench_polychoric" --benchmark_filter="$FILTER"
    if command -v Rscript >/dev/null && Rscript -e 'library(psych); library(lavaan)' >/dev/null 2>&1; then
        Rscript "$dir/r_timing.R" "$dir/likert2500.dat"
    fi
}

# The Hull method (Pearson, ULS, CFI) on the 2,500 x 25 six-point file of the
# polychoric scenario: the upper bound's 500 normal samples of 2,500 x 25
# dominate. Wall time and peak memory of the whole program.
hull() {
    local dir="$ROOT/bench/hull" data="$ROOT/bench/polychoric/likert2500.dat" timing
    [ -f "$data" ] || python3 "$ROOT/bench/polychoric/make_data.py" "$data"
    timing=$(mktemp)
    (cd "$dir" && /usr/bin/time -o "$timing" -f "talvex Hull: %e s wall, %M KB peak" \
        "$BUILD/talvex" --console <scenario.session >/dev/null 2>&1)
    cat "$timing"
    grep -A12 '^Number of   Goodness' "$dir/hull-output.txt" || true
    rm -f "$timing" "$dir/hull-output.txt"
}

# The whole program on 2,800 participants x 25 six-point items with 2% of the
# cells missing (polychoric, ULS, Promin, five factors): the time of each
# stage and the total of the multiple-imputation stages.
missing() {
    local dir="$ROOT/bench/missing"
    [ -f "$dir/missing2800.dat" ] || python3 "$ROOT/bench/polychoric/make_data.py" "$dir/missing2800.dat" 2800 20261208 0.02
    "$BUILD/bench/bench_missing" --benchmark_filter="$FILTER"
    (cd "$dir" && python3 stage_times.py "$BUILD/talvex" --console <scenario.session)
}

# EAP scores of 2,500 participants x 15 items on 3 factors (3,375 grid
# points each), and the least-squares scores of the same data.
scores() {
    "$BUILD/bench/bench_scores" --benchmark_filter="$FILTER"
}

# The simplicity indices (10,000 random rotations) of a 25 x 5 Promin
# solution.
simplicity() {
    "$BUILD/bench/bench_simplicity" --benchmark_filter="$FILTER"
}

# The analysis a researcher runs by default, whole program, on the 2,800 x
# 25 six-point file with 2% missing cells of the missing scenario:
# polychoric, optimal PA (500 permutations), ULS, Promin, simplicity
# indices, hot-deck multiple imputation, detailed output, five factors. Wall
# time, user time and peak memory with one and with two threads (load
# first), the time of each stage of the two-thread run, and whether the two
# reports are the same.
default_analysis() {
    local dir="$ROOT/bench/default" data="$ROOT/bench/missing/missing2800.dat" work timing threads
    [ -f "$data" ] || python3 "$ROOT/bench/polychoric/make_data.py" "$data" 2800 20261208 0.02
    work=$(mktemp -d)
    ln -s "$data" "$work/missing2800.dat"
    timing=$(mktemp)
    echo "load: $(uptime)"
    for threads in 1 2; do
        (cd "$work" && TALVEX_THREADS=$threads python3 "$ROOT/bench/missing/stage_times.py" \
            /usr/bin/time -o "$timing" \
            -f "talvex default analysis, $threads thread(s): %e s wall, %U s user, %M KB peak" \
            "$BUILD/talvex" --console <"$dir/scenario.session" >"$work/stages-$threads.txt")
        cat "$timing"
        grep -v "^ *Date:\|^ *Time:\|^Computing time" "$work/default-output.txt" >"$work/report-$threads.txt"
    done
    cat "$work/stages-2.txt"
    if cmp -s "$work/report-1.txt" "$work/report-2.txt"; then
        echo "talvex default analysis: reports with 1 and 2 threads identical"
    else
        echo "talvex default analysis: reports with 1 and 2 threads DIFFER"
    fi
    rm -rf "$work" "$timing"
}

# Parallel analysis on the same 2,500 x 25 six-point file: optimal PA (MRFA,
# polychoric correlations, permutations) and classical PA (principal
# components, Pearson correlations, normal samples), 500 random matrices
# each, with one and with two threads (TALVEX_THREADS), the whole program
# with no factors extracted; then psych::fa.parallel on the same file
# (bench/pa/psych_timing.R, which says how n.iter = 20 is extrapolated).
pa() {
    local dir="$ROOT/bench/pa" data="$ROOT/bench/polychoric/likert2500.dat" work timing which threads
    [ -f "$data" ] || python3 "$ROOT/bench/polychoric/make_data.py" "$data"
    work=$(mktemp -d)
    ln -s "$data" "$work/likert2500.dat"
    timing=$(mktemp)
    for which in optimal classical; do
        for threads in 1 2; do
            (cd "$work" && TALVEX_THREADS=$threads /usr/bin/time -o "$timing" \
                -f "talvex $which PA, $threads thread(s): %e s wall, %U s user" \
                "$BUILD/talvex" --console <"$dir/$which.session" >/dev/null 2>&1)
            cat "$timing"
            grep -v "^ *Date:\|^ *Time:\|^Computing time" "$work/pa-$which-output.txt" >"$work/$which-$threads.txt"
        done
        if cmp -s "$work/$which-1.txt" "$work/$which-2.txt"; then
            echo "talvex $which PA: reports with 1 and 2 threads identical"
        else
            echo "talvex $which PA: reports with 1 and 2 threads DIFFER"
        fi
    done
    if command -v Rscript >/dev/null && Rscript -e 'library(psych)' >/dev/null 2>&1; then
        Rscript "$dir/psych_timing.R" "$data"
    fi
    rm -rf "$work" "$timing"
}

# The four plots written from a results document (under 50 ms for a run).
plots() {
    "$BUILD/bench/bench_plots" --benchmark_filter="$FILTER"
}

# The results page of a 300-variable, 12-factor solution in headless
# Chromium (bench/html/timing.sh).
html() {
    bash "$ROOT/bench/html/timing.sh" "$BUILD/talvex"
}

SCENARIOS=(core rotation extraction large million large600k polychoric hull scores simplicity pa missing default_analysis plots html)

for scenario in "${SCENARIOS[@]}"; do
    echo "== $scenario"
    "$scenario"
done
