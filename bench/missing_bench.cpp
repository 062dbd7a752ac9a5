// The multiple-imputation stage on 2,800 participants x 25 six-point items
// with 2% of the cells missing (bench/missing/missing2800.dat, written by
// bench/polychoric/make_data.py): hot-deck imputation, then the five polychoric ULS analyses
// with Promin and their consensus. run.sh also times the whole program.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "bench_data.h"
#include "core/matrix.h"
#include "stats/dispersion/polychoric.h"
#include "stats/extraction/uls_pca.h"
#include "stats/imputation/hot_deck.h"
#include "stats/imputation/imputed_analysis.h"
#include "stats/rotation/rotation.h"

namespace talvex {
namespace {

Matrix readScores() { return readBenchTable("TALVEX_MISSING_DATA", "bench/missing/missing2800.dat"); }

void BM_ImputationStage(benchmark::State& state) {
    const Matrix x = readScores();
    const int p = x.cols();
    Matrix mask(x.rows(), p);
    std::vector<int> complete;
    for (int i = 0; i < x.rows(); ++i) {
        bool missing = false;
        for (int j = 0; j < p; ++j) {
            mask[i][j] = x[i][j] == 999 ? 1 : 0;
            missing = missing || mask[i][j] == 1;
        }
        if (!missing) complete.push_back(i);
    }
    // The main solution of the complete cases, the reference of the consensus.
    Matrix cases(static_cast<int>(complete.size()), p);
    for (std::size_t r = 0; r < complete.size(); ++r)
        for (int j = 0; j < p; ++j) cases[static_cast<int>(r)][j] = x[complete[r]][j];
    const Matrix low = constant(p, 1, 1), high = constant(p, 1, 6);
    PolychoricBuffers buffers;
    const Matrix r = polychoricMatrixOnly(cases, low, high, buffers);
    RotationParameterTable table;
    ImputedAnalysisInput input;
    input.dispersionType = PolychoricCorrelation;
    input.extractionMethod = ULS;
    input.factorCount = 5;
    input.simplicityRotation = kPromin;
    input.rotations = &table;
    input.lowestScore = 1;
    input.highestScore = 6;
    input.reference =
        rotateWithCleverStart(extractUls(r, 5, 1e-8, cases.rows()).loadings, kPromin, table).pattern;
    for (auto _ : state) {
        MatrixScope scope;
        const std::vector<Matrix> sets = imputeHotDeck(x, mask);
        const ImputedAnalysis analysis = analyseImputed(sets, input);
        benchmark::DoNotOptimize(analysis.consensusPattern[0][0]);
    }
}
BENCHMARK(BM_ImputationStage)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace talvex

BENCHMARK_MAIN();
