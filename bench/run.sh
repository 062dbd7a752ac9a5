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

SCENARIOS=(core)

for scenario in "${SCENARIOS[@]}"; do
    echo "== $scenario"
    "$scenario"
done
