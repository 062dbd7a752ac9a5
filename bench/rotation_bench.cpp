// Rotation: every simplicity method but Simplimax on a 100 x 10 loading
// matrix with the default parameters, rotation to a semi-specified user
// target with 10 random starts, direct quartimin with 100 random starts on
// the 25 x 5 unrotated loadings of tests/reference/rotation_reference.txt
// (bfi25), and on the same loadings the Simplimax dialog's default range of
// zeros with 100 random starts; bench/rotation/gpa_timing.R runs the same
// quartimin and Simplimax loops with GPArotation for comparison.
#include <benchmark/benchmark.h>

#include <cmath>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "core/matrix.h"
#include "report/settings.h"
#include "stats/rotation/oblimin.h"
#include "stats/rotation/rotation.h"
#include "stats/rotation/simplimax.h"
#include "stats/rotation/target.h"

namespace talvex {
namespace {

// 100 variables in ten clusters of ten, each loading 0.5 to 0.8 on its own
// factor plus small cross-loadings, turned by a fixed random rotation so that
// every method has work to do.
Matrix loadings100x10() {
    std::mt19937 gen(11);
    std::uniform_real_distribution<double> main(0.5, 0.8), cross(-0.15, 0.15);
    Matrix simple(100, 10);
    for (int i = 0; i < 100; ++i)
        for (int j = 0; j < 10; ++j) simple[i][j] = j == i / 10 ? main(gen) : cross(gen);
    Matrix turn(10, 10);
    std::normal_distribution<double> normal;
    for (int i = 0; i < 10; ++i)
        for (int j = 0; j < 10; ++j) turn[i][j] = normal(gen);
    return simple.multiply(turn.orthonormalizeColumns());
}

Matrix bfiLoadings() {
    std::ifstream in(std::string(TALVEX_SOURCE_DIR) + "/tests/reference/rotation_reference.txt");
    std::string line, kind, name;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        int p = 0, m = 0;
        if (!(words >> kind >> name >> p >> m) || kind != "input" || name != "bfi25") continue;
        Matrix l(p, m);
        for (int i = 0; i < p; ++i)
            for (int j = 0; j < m; ++j) words >> l[i][j];
        return l;
    }
    return Matrix(25, 5);
}

void everyMethod(benchmark::State& state) {
    const auto method = static_cast<RotationMethod>(state.range(0));
    MatrixScope outer;
    const Matrix l = loadings100x10();
    const RotationParameterTable table;
    for (auto _ : state) {
        MatrixScope scope;
        benchmark::DoNotOptimize(rotateWithCleverStart(l, method, table).pattern[0][0]);
    }
    state.SetLabel(kRotationMethods[static_cast<std::size_t>(method)].name);
}
BENCHMARK(everyMethod)->DenseRange(1, 28)->Unit(benchmark::kMillisecond);

void quartiminHundredStarts(benchmark::State& state) {
    MatrixScope outer;
    const Matrix l = bfiLoadings();
    for (auto _ : state) {
        MatrixScope scope;
        // 98 random starts + 2: the identity and 99 random ones.
        benchmark::DoNotOptimize(obliminRotation(l, 0.0, 1e-5, 98, false).criterion);
    }
}
BENCHMARK(quartiminHundredStarts)->Unit(benchmark::kMillisecond);

// The target: 0 where the unturned cluster structure has a cross-loading,
// free (9) on each variable's own factor.
void userTargetTenStarts(benchmark::State& state) {
    MatrixScope outer;
    const Matrix l = loadings100x10();
    Matrix target(100, 10);
    for (int i = 0; i < 100; ++i)
        for (int j = 0; j < 10; ++j) target[i][j] = j == i / 10 ? 9.0 : 0.0;
    const RotationParameters p = RotationParameterTable::initialTarget();
    for (auto _ : state) {
        MatrixScope scope;
        benchmark::DoNotOptimize(rotateToTarget(l, target, true, p.maxIterations, 10,
                                                static_cast<double>(p.convergence))
                                     .criterion);
    }
}
BENCHMARK(userTargetTenStarts)->Unit(benchmark::kMillisecond);

// The dialog's default range for p = 25, m = 5: N0 = 100 zeros, from
// 100 - 66 = 34 to 100 + 8 = 108, each with the Simplimax defaults.
void simplimaxDialogRange(benchmark::State& state) {
    MatrixScope outer;
    const Matrix l = bfiLoadings();
    const RotationParameters p = RotationParameterTable::initialSimplicity(kSimplimax);
    for (auto _ : state) {
        double total = 0.0;
        for (int zeros = 34; zeros <= 108; ++zeros) {
            MatrixScope scope;
            total += simplimaxRotation(l, zeros, p.maxIterations,
                                       static_cast<double>(p.convergence), p.randomStarts,
                                       p.cleverStart)
                         .criterion;
        }
        benchmark::DoNotOptimize(total);
    }
}
BENCHMARK(simplimaxDialogRange)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
}  // namespace talvex

BENCHMARK_MAIN();
