// Simplicity indices of a 25 x 5 oblique solution: the bfi25 unrotated
// loadings of tests/reference/rotation_reference.txt rotated by Promin, and
// the 10,000 random rotations with their bounded random correlation
// matrices. The counters give the largest factor correlation and how many
// random correlation matrices reached the draw limit.
#include <benchmark/benchmark.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <string>

#include "core/matrix.h"
#include "report/settings.h"
#include "stats/interpretation/simplicity_indices.h"
#include "stats/rotation/rotation.h"

namespace talvex {
namespace {

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

void obliqueSolution25x5(benchmark::State& state) {
    MatrixScope outer;
    const RotationParameterTable table;
    const RotatedSolution promin = rotateWithCleverStart(bfiLoadings(), kPromin, table);
    double largest = 0.0;
    for (int a = 0; a < 5; ++a)
        for (int b = 0; b < a; ++b)
            largest = std::fmax(largest, std::fabs(promin.factorCorrelations[a][b]));
    SimplicityIndices indices;
    for (auto _ : state) {
        indices = simplicityIndices(promin.pattern, promin.factorCorrelations);
        benchmark::DoNotOptimize(indices.loading);
    }
    state.counters["delta"] = largest;
    state.counters["shrunk"] = indices.shrunkMatrices;
    state.counters["LS_percentile"] = indices.loadingPercentile;
}
BENCHMARK(obliqueSolution25x5)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
}  // namespace talvex

BENCHMARK_MAIN();
