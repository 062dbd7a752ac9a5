// Maximum likelihood and minimum rank factor analysis on a 100-variable,
// 8-factor population correlation matrix (the run's settings: MRFA with 10
// random starts).
#include <benchmark/benchmark.h>

#include <random>

#include "core/matrix.h"
#include "core/random.h"
#include "stats/extraction/ml.h"
#include "stats/extraction/mrfa.h"

namespace talvex {
namespace {

// 100 variables in eight clusters, loadings 0.4 to 0.8 on their own factor
// and small cross-loadings, with unit variances; factors uncorrelated.
Matrix correlations100x8() {
    std::mt19937 gen(23);
    std::uniform_real_distribution<double> main(0.4, 0.8), cross(-0.1, 0.1);
    Matrix l(100, 8);
    for (int i = 0; i < 100; ++i)
        for (int j = 0; j < 8; ++j) l[i][j] = j == i % 8 ? main(gen) : cross(gen);
    Matrix r = l.multiply(l.transpose());
    for (int i = 0; i < 100; ++i) r[i][i] = 1.0;
    return r;
}

void maximumLikelihood(benchmark::State& state) {
    MatrixScope outer;
    const Matrix r = correlations100x8();
    for (auto _ : state) {
        MatrixScope scope;
        const MlSolution ml = extractMl(r, 8);
        if (!ml.converged()) state.SkipWithError("ML did not converge");
        benchmark::DoNotOptimize(ml.discrepancy);
    }
}
BENCHMARK(maximumLikelihood)->Unit(benchmark::kMillisecond);

void minimumRank(benchmark::State& state) {
    MatrixScope outer;
    const Matrix r = correlations100x8();
    for (auto _ : state) {
        MatrixScope scope;
        const MrfaSolution mrfa = extractMrfa(r, 8, 10);
        if (!mrfa.converged()) state.SkipWithError("MRFA did not converge");
        benchmark::DoNotOptimize(mrfa.unexplained);
    }
}
BENCHMARK(minimumRank)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace talvex

BENCHMARK_MAIN();
