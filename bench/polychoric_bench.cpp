// Polychoric correlation: the matrix of 2,500 participants x 25 six-point
// items (bench/polychoric/likert2500.dat, written by make_data.py), with its
// tables, thresholds and record, and the twin used on generated data, whose
// buffers are kept between calls. run.sh times psych and lavaan on the same
// file (bench/polychoric/r_timing.R).
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "bench_data.h"
#include "core/matrix.h"
#include "stats/dispersion/polychoric.h"

namespace talvex {
namespace {

Matrix readScores() { return readBenchTable("TALVEX_POLYCHORIC_DATA", "bench/polychoric/likert2500.dat"); }

void BM_PolychoricMatrix(benchmark::State& state) {
    const Matrix x = readScores();
    if (x.rows() == 0) {
        state.SkipWithError("no data: run bench/polychoric/make_data.py");
        return;
    }
    const int m = x.cols();
    const Matrix low = constant(m, 1, x.minElement()), high = constant(m, 1, x.maxElement());
    const int k = polychoricCategoryCount(low, high);
    for (auto _ : state) {
        MatrixScope scope;
        Matrix thresholds(m, k - 1), tables(m * (m - 1) / 2 * k, k), failed(m * (m - 1) / 2 + 1, 2);
        benchmark::DoNotOptimize(polychoricMatrix(x, low, high, thresholds, tables, failed));
    }
}
BENCHMARK(BM_PolychoricMatrix)->Unit(benchmark::kMillisecond);

void BM_PolychoricTwin(benchmark::State& state) {
    const Matrix x = readScores();
    if (x.rows() == 0) {
        state.SkipWithError("no data: run bench/polychoric/make_data.py");
        return;
    }
    const int m = x.cols();
    const Matrix low = constant(m, 1, x.minElement()), high = constant(m, 1, x.maxElement());
    PolychoricBuffers buffers;
    for (auto _ : state) {
        MatrixScope scope;
        benchmark::DoNotOptimize(polychoricMatrixOnly(x, low, high, buffers));
    }
}
BENCHMARK(BM_PolychoricTwin)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace talvex

BENCHMARK_MAIN();
