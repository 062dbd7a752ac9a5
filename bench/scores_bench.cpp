// EAP scores of 2,500 participants on 3 factors (15 nodes per dimension,
// 3,375 grid points) for 15 six-category items, and the correlation-
// preserving scores of the same data.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

#include "core/matrix.h"
#include "stats/interpretation/factor_scores.h"

namespace talvex {
namespace {

struct EapInputs {
    Matrix x, pattern, thresholds, uniqueness;
};

// Three clusters of five items, loadings 0.5 to 0.8, responses 1 .. 6 from
// the graded model with thresholds (-1.5, -0.7, 0, 0.7, 1.5).
EapInputs inputs() {
    const int n = 2500, p = 15, m = 3;
    std::mt19937 gen(41);
    std::uniform_real_distribution<double> loading(0.5, 0.8);
    std::normal_distribution<double> normal;
    EapInputs in{Matrix(n, p), Matrix(p, m), Matrix(p, 5), Matrix(p, p)};
    const double tau[5] = {-1.5, -0.7, 0.0, 0.7, 1.5};
    for (int i = 0; i < p; ++i) {
        in.pattern[i][i % m] = loading(gen);
        in.uniqueness[i][i] = 1.0 - in.pattern[i][i % m] * in.pattern[i][i % m];
        for (int c = 0; c < 5; ++c) in.thresholds[i][c] = tau[c];
    }
    for (int s = 0; s < n; ++s) {
        double f[3] = {normal(gen), normal(gen), normal(gen)};
        for (int i = 0; i < p; ++i) {
            const double y = in.pattern[i][i % m] * f[i % m] +
                             std::sqrt(in.uniqueness[i][i]) * normal(gen);
            int c = 0;
            while (c < 5 && y > tau[c]) ++c;
            in.x[s][i] = 1 + c;
        }
    }
    return in;
}

void eapThreeFactors(benchmark::State& state) {
    MatrixScope outer;
    const EapInputs in = inputs();
    for (auto _ : state) {
        MatrixScope scope;
        const EapScores s = eapScores(in.x, in.pattern, in.thresholds, in.uniqueness, 1);
        benchmark::DoNotOptimize(s.eap[0][0]);
    }
}
BENCHMARK(eapThreeFactors)->Unit(benchmark::kMillisecond);

void leastSquaresThreeFactors(benchmark::State& state) {
    MatrixScope outer;
    const EapInputs in = inputs();
    for (auto _ : state) {
        MatrixScope scope;
        const Matrix f = factorScores(in.x, in.pattern, identity(3));
        benchmark::DoNotOptimize(f[0][0]);
    }
}
BENCHMARK(leastSquaresThreeFactors)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace talvex

BENCHMARK_MAIN();
