// Classical parallel analysis, piece by piece, at the size of the benchmark
// file (2,500 x 25): the Pearson correlations and the eigenvalues of one
// normal sample, and K whole replicates with one and two threads
// (TALVEX_THREADS is set by the benchmark).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "core/random.h"
#include "stats/dimensionality/normal_replicates.h"

namespace talvex {
namespace {

constexpr int kRows = 2500, kCols = 25;

void pearsonCorrelations(benchmark::State& state) {
    std::vector<double> x(kRows * kCols), r(kCols * kCols);
    fillRandomNormal(x.data(), x.size());
    CorrelationWorkspace workspace;
    for (auto _ : state) {
        pearsonOfColumns(x.data(), kRows, kCols, r.data(), workspace);
        benchmark::DoNotOptimize(r[1]);
    }
}
BENCHMARK(pearsonCorrelations)->Unit(benchmark::kMicrosecond);

void eigenvalues(benchmark::State& state) {
    std::vector<double> x(kRows * kCols), r(kCols * kCols), values(kCols);
    fillRandomNormal(x.data(), x.size());
    CorrelationWorkspace workspace;
    pearsonOfColumns(x.data(), kRows, kCols, r.data(), workspace);
    for (auto _ : state) {
        symmetricEigenvalues(r.data(), kCols, values.data(), workspace);
        benchmark::DoNotOptimize(values[0]);
    }
}
BENCHMARK(eigenvalues)->Unit(benchmark::kMicrosecond);

// 100 replicates: draws, correlations and eigenvalues.
void replicates(benchmark::State& state) {
    setenv("TALVEX_THREADS", std::to_string(state.range(0)).c_str(), 1);
    for (auto _ : state)
        benchmark::DoNotOptimize(normalReplicateEigenvalues(kRows, kCols, 100, {}, {}).eigenvalues[0]);
    unsetenv("TALVEX_THREADS");
}
BENCHMARK(replicates)->ArgName("threads")->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace talvex

BENCHMARK_MAIN();
