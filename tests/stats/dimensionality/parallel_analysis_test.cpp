#include "stats/dimensionality/parallel_analysis.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/random.h"
#include "stats/dispersion/correlation.h"
#include "stats/dispersion/polychoric.h"
#include "stats/dispersion/reference_inputs.h"
#include "support/matrix_testing.h"
#include "support/report_testing.h"

namespace talvex {
namespace {

using testing::captureReport;
using ParallelAnalysisTest = testing::PoolTest;
using Values = std::vector<double>;

TEST(ParallelAnalysisRules, ColumnMeansPercentilesAndCounts) {
    // K = 5, p = 2, unsorted. Column 0 sorted: 1 2 3 4 10 (mean 4); column 1:
    // -1 0 0.5 7 8 (mean 2.9). The 95th percentile is row (5 - 1)·95/100 = 3.
    Values mean, pct;
    paColumnSummaries({3, 0.5, 10, 8, 1, -1, 4, 0, 2, 7}, 5, 2, 95, mean, pct);
    EXPECT_EQ(mean, (Values{4.0, 2.9}));
    EXPECT_EQ(pct, (Values{4.0, 7.0}));
    // Counts over all variables and over the leading run; equal is not above.
    const Values one = {1, 1, 1};
    EXPECT_EQ(paCountAbove({3, 0.5, 2}, one), 2);
    EXPECT_EQ(paLeadingRunAbove({3, 0.5, 2}, one), 1);
    EXPECT_EQ(paLeadingRunAbove({0.5, 2, 3}, one), 0);
    EXPECT_EQ(paCountAbove({1, 1, 1}, one), 0);
}

PaResult resultOf(Values r, Values m, Values q, int a, int b, bool converged = true) {
    return {r, m, q, a, b, false, converged, {}};
}

TEST(ParallelAnalysisRules, MarksOfTheTwoImplementations) {
    const struct {
        PaResult r;
        std::vector<int> pca, mrfa;
    } cases[] = {
        // A value above after one below: PCA marks it, MRFA has left the run.
        {resultOf({5, 1, 6}, {2, 2, 2}, {4, 4, 4}, 1, 1), {1, 0, 1}, {1, 0, 0}},
        // No percentile count: the leading run above the mean.
        {resultOf({3, 3, 1, 3}, {2, 2, 2, 2}, {4, 4, 4, 4}, 2, 0), {1, 1, 0, 1}, {1, 1, 0, 0}},
        // Nothing above the mean but above the percentile: "**" for the leading run.
        {resultOf({5, 1, 5}, {6, 6, 6}, {4, 4, 4}, 0, 1), {2, 0, 2}, {2, 0, 0}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(paPcaMarks(c.r), c.pca);
        EXPECT_EQ(paMrfaMarks(c.r), c.mrfa);
    }
}

PaInput inputFor(const Matrix& x, const Matrix& r, int method, int n, int k) {
    return {x, r, method, n, k, 95, {}, {}, {}, {}};
}

PaResult valuesOf(const PaInput& in) {
    return paUsesMrfa(in.method) ? parallelAnalysisMrfaValues(in) : parallelAnalysisPcaValues(in);
}

// Ordinal scores following i mod c, each item with its own deviations.
Matrix ordinalData(int n, int p, int c) {
    Matrix x(n, p);
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < p; ++j) x[i][j] = 1 + (i + (i * (j + 2)) % 7 / 3) % c;
    return x;
}

TEST(ParallelAnalysisRules, OnlyANegativeLastPercentageIsSetToZero) {
    PaResult r;
    r.real = {60, -1e-15};
    r.mean = {-2, 3};
    r.percentile = {50, -0.0};
    paClampLastPercentages(r);
    EXPECT_EQ(r.real, (Values{60, 0}));
    EXPECT_EQ(r.mean, (Values{-2, 3}));
    EXPECT_FALSE(std::signbit(r.percentile[1]));
}

TEST_F(ParallelAnalysisTest, ClassicalMeansAgreeWithPsychWithinSamplingError) {
    // psych::fa.parallel(fa = "pc", n.iter = 500) on Harman's 24 tests: lines
    // "harman74 N P K NCOMP", real, mean, sd. The means differ by sampling
    // error, sd·sqrt(1/K + 1/500); four eigenvalues above them, the known four factors.
    std::ifstream file(testing::referencePath("parallel_analysis_reference.txt"));
    std::string line;
    while (std::getline(file, line) && line.rfind("harman74 ", 0) != 0) continue;
    std::vector<Values> psych(3);
    for (Values& v : psych) {
        std::getline(file, line);
        std::istringstream fields(line.substr(line.find(' ') + 1));
        for (double x; fields >> x;) v.push_back(x);
    }
    const testing::ReferenceMatrix ref = testing::referenceCorrelation("harman74");
    ASSERT_EQ(psych[1].size(), 24u);
    const PaResult r = valuesOf(inputFor(Matrix(), ref.r, PaPcaPearsonNormal, ref.n, 200));
    for (int i = 0; i < 24; ++i) {
        EXPECT_NEAR(r.real[i], psych[0][i], 1e-8) << i;
        EXPECT_NEAR(r.mean[i], psych[1][i], 4 * psych[2][i] * std::sqrt(1.0 / 200 + 1.0 / 500))
            << i;
    }
    EXPECT_EQ(r.countMean, 4);
}

// The polychoric pairs of the random data sets are shared between two threads.
TEST_F(ParallelAnalysisTest, OneAndTwoThreadsGiveTheSamePolychoricMatrix) {
    const Matrix x = ordinalData(200, 10, 4);
    std::vector<Matrix> matrices;
    for (const char* threads : {"1", "2"}) {
        const testing::ThreadCount count(threads);
        PolychoricBuffers buffers;
        matrices.push_back(
            polychoricMatrixOnly(x, constant(10, 1, 1), constant(10, 1, 4), buffers));
    }
    EXPECT_THAT(matrices[1], testing::MatrixNear(matrices[0], 0.0));
}

TEST_F(ParallelAnalysisTest, CovariancesAndTheCountingRuleOfEachImplementation) {
    // Three variables correlated 0.9 and five independent ones, N = 10: later real values come
    // back above the falling random means. PCA counts them, MRFA does not. The same matrix as
    // covariances (standard deviations 1..8) gives the same.
    Matrix r = identity(8), c = identity(8);
    for (int i = 0; i < 8; ++i)
        for (int j = 0; j < 8; ++j) {
            if (i != j && i < 3 && j < 3) r[i][j] = 0.9;
            c[i][j] = r[i][j] * (i + 1) * (j + 1);
        }
    // The draws of a fresh process, whichever tests ran before in this one.
    restoreRandomState(kRandomStartState);
    for (int method : {PaPcaPearsonNormal, PaMrfaPearsonNormal}) {
        const std::uint32_t state = randomState();
        const PaResult res = valuesOf(inputFor(Matrix(), r, method, 10, 30));
        const int all = paCountAbove(res.real, res.mean);
        const int leading = paLeadingRunAbove(res.real, res.mean);
        ASSERT_LT(leading, all) << method << ": the values do not come back above the mean";
        EXPECT_EQ(res.countMean, paUsesMrfa(method) ? leading : all) << method;
        restoreRandomState(state);
        const PaResult cov = valuesOf(inputFor(Matrix(), c, method, 10, 30));
        for (std::size_t i = 0; i < 8; ++i)
            EXPECT_NEAR(cov.real[i], res.real[i], 1e-6) << method << " " << i;
    }
}

TEST_F(ParallelAnalysisTest, TwentyFivePolychoricFailuresSwitchToPearsonAndRestart) {
    // Four items in three categories. With the identity as the real matrix,
    // the switch shows in the real values: the data's Pearson eigenvalues.
    PaInput in = inputFor(ordinalData(40, 4, 3), identity(4), PaPcaPolychoricPermutation, 40, 3);
    in.low = constant(4, 1, 1);
    in.high = constant(4, 1, 3);
    int calls = 0;
    in.sampleCorrelation = [&](const Matrix&, bool polychoric) {
        return calls += polychoric, Matrix();
    };
    std::vector<int> progress;
    in.progress = [&progress](int p) { progress.push_back(p); };
    const PaResult r = parallelAnalysisPcaValues(in);
    EXPECT_TRUE(r.switchedToPearson);
    EXPECT_EQ(calls, 25);
    EXPECT_EQ(progress, (std::vector<int>{0, 0, 33, 66}));  // the restart begins at 0
    EXPECT_GT(r.real[0], 1.2);  // 1 for the identity
}

TEST_F(ParallelAnalysisTest, MrfaSectionWithoutResults) {
    // A failure of the polychoric variant leaves an empty line before the warning.
    PaInput in = inputFor(Matrix(), Matrix(), PaMrfaPearsonPermutation, 0, 7);
    const PaResult failed = resultOf({}, {}, {}, 0, 0, false);
    const std::string pearson =
        captureReport([&](ReportWriter& w) { writeParallelAnalysisMrfa(w, in, failed); });
    in.method = PaMrfaPolychoricPermutation;
    const std::string polychoric =
        captureReport([&](ReportWriter& w) { writeParallelAnalysisMrfa(w, in, failed); });
    const std::size_t at = pearson.find("WARNING: Parallel analysis could not converge.");
    ASSERT_NE(at, std::string::npos) << pearson;
    EXPECT_EQ(polychoric, pearson.substr(0, at) + "\n" + pearson.substr(at));
    in = inputFor(Matrix(), identity(2), PaMrfaPearsonNormal, 50, 3);
    const std::string text = captureReport([&](ReportWriter& w) { parallelAnalysisMrfa(w, in); });
    EXPECT_NE(text.find("needs at least 3 variables; with 2,"), std::string::npos) << text;
}

}  // namespace
}  // namespace talvex
