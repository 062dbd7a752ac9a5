// Numerical core: the cost of the matrix pool, of the LAPACK eigen
// decomposition and of the normal sampler.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "core/matrix.h"
#include "core/random.h"

namespace talvex {
namespace {

// Creates and releases 10^6 small matrices, `perScope` per scope, while
// `background` matrices created earlier stay alive. The time per matrix
// must not grow with either argument: nothing may be quadratic in the
// number of live matrices.
void constructAndRelease(benchmark::State& state) {
    const int background = static_cast<int>(state.range(0));
    const int perScope = static_cast<int>(state.range(1));
    constexpr int total = 1000000;
    MatrixScope outer;
    for (int i = 0; i < background; ++i) Matrix keep(2, 2);
    for (auto _ : state) {
        for (int done = 0; done < total; done += perScope) {
            MatrixScope scope;
            for (int i = 0; i < perScope; ++i) {
                Matrix m(3, 3);
                benchmark::DoNotOptimize(m[2][2]);
            }
        }
    }
    state.SetItemsProcessed(state.iterations() * total);
}
BENCHMARK(constructAndRelease)
    ->ArgNames({"live", "perScope"})
    ->Args({0, 10})
    ->Args({0, 1000})
    ->Args({0, 100000})
    ->Args({100000, 10})
    ->Args({100000, 100000})
    ->Unit(benchmark::kMillisecond);

Matrix randomCorrelationLike(int n) {
    std::mt19937 gen(7);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    Matrix b(n, n);
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) b[i][j] = u(gen);
    return b.multiply(b.transpose());
}

void eigenSymmetric(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    MatrixScope outer;
    const Matrix a = randomCorrelationLike(n);
    Matrix values(n, 1), vectors(n, n);
    for (auto _ : state) {
        a.eigenSymmetric(values, vectors);
        benchmark::DoNotOptimize(values[0][0]);
    }
}
BENCHMARK(eigenSymmetric)->Arg(100)->Unit(benchmark::kMicrosecond);

void inverse(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    MatrixScope outer;
    const Matrix a = randomCorrelationLike(n);
    for (auto _ : state) {
        MatrixScope scope;
        benchmark::DoNotOptimize(a.inverse()[0][0]);
    }
}
BENCHMARK(inverse)->Arg(100)->Unit(benchmark::kMicrosecond);

void multiply(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    MatrixScope outer;
    const Matrix a = randomCorrelationLike(n);
    for (auto _ : state) {
        MatrixScope scope;
        benchmark::DoNotOptimize(a.multiply(a)[0][0]);
    }
}
BENCHMARK(multiply)->Arg(100)->Unit(benchmark::kMicrosecond);

// One normal sample of parallel analysis (2,500 x 25 values), without and
// with a matrix.
void normalSample(benchmark::State& state) {
    const bool matrix = state.range(0) != 0;
    std::vector<double> values(2500 * 25);
    for (auto _ : state) {
        if (matrix) {
            MatrixScope scope;
            benchmark::DoNotOptimize(randomNormalMatrix(2500, 25)[0][0]);
        } else {
            fillRandomNormal(values.data(), values.size());
            benchmark::DoNotOptimize(values[0]);
        }
    }
    state.SetItemsProcessed(state.iterations() * 2500 * 25);
}
BENCHMARK(normalSample)->ArgName("matrix")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace talvex

BENCHMARK_MAIN();
