#include "stats/dimensionality/parallel_analysis.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/random.h"
#include "stats/dispersion/polychoric.h"
#include "stats/extraction/mrfa.h"
#include "stats/dispersion/correlation.h"
#include "stats/dispersion/reference_inputs.h"
#include "support/matrix_testing.h"
#include "support/report_testing.h"

namespace talvex {
namespace {

using testing::captureReport;
using ParallelAnalysisTest = testing::PoolTest;
using Values = std::vector<double>;

TEST(ParallelAnalysisRules, PercentileRowIsTruncatedFromZero) {
    const struct {
        int k, percentile, row;
    } cases[] = {
        {1, 95, 0},     // a single replicate is its own percentile
        {100, 95, 94},  // the 95th smallest of 100
        {21, 95, 19},   // 20·0.95 = 19 exactly
    };
    for (const auto& c : cases) EXPECT_EQ(paPercentileRow(c.k, c.percentile), c.row) << c.k;
}

TEST(ParallelAnalysisRules, ColumnMeansAndPercentilesOfTheReplicates) {
    // K = 5 rows, p = 2 columns, unsorted. Column 0 sorted: 1 2 3 4 10 (mean
    // 4); column 1 sorted: -1 0 0.5 7 8 (mean 2.9). Row (5 - 1)·95/100 = 3.
    const Values e = {3, 0.5, 10, 8, 1, -1, 4, 0, 2, 7};
    Values mean, pct;
    paColumnSummaries(e, 5, 2, 95, mean, pct);
    EXPECT_DOUBLE_EQ(mean[0], 4.0);
    EXPECT_DOUBLE_EQ(mean[1], 2.9);
    EXPECT_DOUBLE_EQ(pct[0], 4.0);
    EXPECT_DOUBLE_EQ(pct[1], 7.0);
    // A 50th percentile takes row 2, the median of five.
    paColumnSummaries(e, 5, 2, 50, mean, pct);
    EXPECT_DOUBLE_EQ(pct[0], 3.0);
    EXPECT_DOUBLE_EQ(pct[1], 0.5);
}

TEST(ParallelAnalysisRules, CountsOverAllVariablesAndOverTheLeadingRun) {
    const struct {
        Values real, reference;
        int all, leading;
    } cases[] = {
        {{3, 0.5, 2}, {1, 1, 1}, 2, 1},  // a later value above is counted only over all
        {{3, 2, 0.5}, {1, 1, 1}, 2, 2},
        {{0.5, 2, 3}, {1, 1, 1}, 2, 0},
        {{1, 1}, {1, 1}, 0, 0},          // equal is not above
        {{2, 2}, {1, 1}, 2, 2},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(paCountAbove(c.real, c.reference), c.all);
        EXPECT_EQ(paLeadingRunAbove(c.real, c.reference), c.leading);
    }
}

PaResult resultOf(Values real, Values mean, Values pct, int cMean, int cPct) {
    PaResult r;
    r.real = std::move(real);
    r.mean = std::move(mean);
    r.percentile = std::move(pct);
    r.countMean = cMean;
    r.countPercentile = cPct;
    return r;
}

TEST(ParallelAnalysisRules, MarksOfTheTwoImplementations) {
    // real, mean, percentile, counts, PCA marks, MRFA marks.
    const struct {
        PaResult r;
        std::vector<int> pca, mrfa;
    } cases[] = {
        // Above both, then above the mean only, then below: counts differ.
        {resultOf({5, 3, 1}, {2, 2, 2}, {4, 4, 4}, 2, 1), {2, 1, 0}, {2, 1, 0}},
        // Counts equal: no "**" anywhere.
        {resultOf({5, 3, 1}, {2, 2, 2}, {4, 4, 4}, 1, 1), {1, 1, 0}, {1, 1, 0}},
        // A value above after one below: PCA marks it, MRFA has left the run.
        {resultOf({5, 1, 6}, {2, 2, 2}, {4, 4, 4}, 1, 1), {1, 0, 1}, {1, 0, 0}},
        // No percentile count: the leading run above the mean.
        {resultOf({3, 3, 1, 3}, {2, 2, 2, 2}, {4, 4, 4, 4}, 2, 0), {1, 1, 0, 1}, {1, 1, 0, 0}},
        // Nothing above the mean (cMean = 0) but above the percentile: the
        // last rule marks "**" for the leading run only.
        {resultOf({5, 1, 5}, {6, 6, 6}, {4, 4, 4}, 0, 1), {2, 0, 2}, {2, 0, 0}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(paPcaMarks(c.r), c.pca);
        EXPECT_EQ(paMrfaMarks(c.r), c.mrfa);
    }
}

TEST(ParallelAnalysisRules, OnlyANegativeLastPercentageIsSetToZero) {
    PaResult r = resultOf({60, -1e-15}, {-2, 3}, {50, -0.0}, 1, 1);
    paClampLastPercentages(r);
    EXPECT_EQ(r.real, (Values{60, 0}));
    EXPECT_EQ(r.mean, (Values{-2, 3}));
    EXPECT_FALSE(std::signbit(r.percentile[1]));
}

TEST_F(ParallelAnalysisTest, PercentagesOfCommonVariance) {
    // Eigenvalues 3 and 1 (r = 0.5 with communalities 2 on the diagonal:
    // 2 ± 1): 75 % and 25 %.
    const Values v = commonVariancePercentages(testing::fromRows({{2, 1}, {1, 2}}));
    ASSERT_EQ(v.size(), 2u);
    EXPECT_NEAR(v[0], 75.0, 1e-12);
    EXPECT_NEAR(v[1], 25.0, 1e-12);
}

PaInput inputFor(const Matrix& x, const Matrix& r, int method, int n, int k) {
    PaInput in;
    in.x = x;
    in.r = r;
    in.method = method;
    in.n = n;
    in.randomMatrices = k;
    return in;
}

// N x p scores of a clear structure: `factors` independent factors, each
// measured by `per` variables with loading 0.7 (population correlation 0.49
// within a factor, 0 between), from a generator apart from the program's
// stream.
Matrix structuredData(int n, int factors, int per, unsigned seed) {
    std::mt19937 gen(seed);
    std::normal_distribution<double> z;
    Matrix x(n, factors * per);
    for (int i = 0; i < n; ++i) {
        std::vector<double> f(static_cast<std::size_t>(factors));
        for (double& v : f) v = z(gen);
        for (int j = 0; j < factors * per; ++j)
            x[i][j] = 0.7 * f[static_cast<std::size_t>(j / per)] + std::sqrt(1 - 0.49) * z(gen);
    }
    return x;
}

// The block of parallel_analysis_reference.txt for one matrix: the line
// "NAME N P K NCOMP", then the rows real, mean, sd and q95.
std::vector<Values> psychBlock(const std::string& name) {
    std::ifstream in(testing::referencePath("parallel_analysis_reference.txt"));
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(name + " ", 0) == 0) break;
    std::vector<Values> block;
    for (int i = 0; i < 4 && std::getline(in, line); ++i) {
        std::istringstream fields(line.substr(line.find(' ') + 1));
        Values v;
        double x;
        while (fields >> x) v.push_back(x);
        block.push_back(v);
    }
    return block;
}

TEST_F(ParallelAnalysisTest, ClassicalMeansAgreeWithPsychWithinSamplingError) {
    // psych::fa.parallel(R, n.obs = N, fa = "pc", n.iter = 500): mean and sd
    // of each random eigenvalue (parallel_analysis_reference.R). Both sides
    // average independent normal samples, so their difference has a
    // standard error sd·sqrt(1/K + 1/500). The advised numbers are the
    // known structures: five personality factors in bfi25, Harman's four
    // factors of the 24 tests (psych's own ncomp says 3 there, its 4th
    // random mean 1.489 being below the real 1.502 all the same).
    const struct {
        const char* name;
        int k, known;
    } cases[] = {{"harman74", 200, 4}, {"bfi25", 40, 5}};
    for (const auto& c : cases) {
        const testing::ReferenceMatrix ref = testing::referenceCorrelation(c.name);
        const std::vector<Values> psych = psychBlock(c.name);
        const int p = ref.r.rows();
        ASSERT_EQ(psych.size(), 4u);
        ASSERT_EQ(psych[1].size(), static_cast<std::size_t>(p));
        const PaResult r =
            parallelAnalysisPcaValues(inputFor(Matrix(), ref.r, PaPcaPearsonNormal, ref.n, c.k));
        for (int i = 0; i < p; ++i) {
            EXPECT_NEAR(r.real[i], psych[0][i], 1e-8) << c.name << " " << i;
            const double se = psych[2][i] * std::sqrt(1.0 / c.k + 1.0 / 500);
            EXPECT_NEAR(r.mean[i], psych[1][i], 4 * se) << c.name << " eigenvalue " << i + 1;
        }
        EXPECT_EQ(r.countMean, c.known) << c.name;
        EXPECT_EQ(paCountAbove(psych[0], psych[1]), c.known) << c.name;
    }
}

// The polychoric pairs of the random data sets are shared between two
// threads; the values must not depend on it.
TEST_F(ParallelAnalysisTest, OneAndTwoThreadsGiveTheSameValues) {
    Matrix x = structuredData(200, 2, 5, 13);
    for (int i = 0; i < x.rows(); ++i)
        for (int j = 0; j < x.cols(); ++j) x[i][j] = 1 + (x[i][j] > -0.8) + (x[i][j] > 0.2) + (x[i][j] > 1.0);
    PaInput in = inputFor(x, correlationOf(x), PaMrfaPolychoricPermutation, 200, 4);
    in.low = constant(10, 1, 1);
    in.high = constant(10, 1, 4);
    const char* saved = std::getenv("TALVEX_THREADS");
    const std::string old = saved != nullptr ? saved : "";
    const std::uint32_t state = randomState();
    std::vector<PaResult> results;
    std::vector<Matrix> matrices;
    for (const char* threads : {"1", "2"}) {
        setenv("TALVEX_THREADS", threads, 1);
        restoreRandomState(state);
        results.push_back(parallelAnalysisMrfaValues(in));
        PolychoricBuffers buffers;
        matrices.push_back(polychoricMatrixOnly(x, in.low, in.high, buffers));
    }
    if (saved != nullptr)
        setenv("TALVEX_THREADS", old.c_str(), 1);
    else
        unsetenv("TALVEX_THREADS");
    EXPECT_EQ(results[0].real, results[1].real);
    EXPECT_EQ(results[0].mean, results[1].mean);
    EXPECT_EQ(results[0].percentile, results[1].percentile);
    for (int i = 0; i < 10; ++i)
        for (int j = 0; j < 10; ++j) EXPECT_EQ(matrices[0][i][j], matrices[1][i][j]) << i << "," << j;
}

TEST_F(ParallelAnalysisTest, ACovarianceMatrixIsTakenInItsCorrelationForm) {
    // Scaling the variables changes the covariances, not what is compared:
    // same real values, and the same random draws give the same rows.
    const Matrix x = structuredData(200, 2, 3, 5);
    Matrix scaled = x.copy();
    for (int i = 0; i < x.rows(); ++i)
        for (int j = 0; j < x.cols(); ++j) scaled[i][j] *= 1.0 + j;
    for (int method : {PaPcaPearsonPermutation, PaMrfaPearsonPermutation}) {
        const std::uint32_t state = randomState();
        const PaInput a = inputFor(x, correlationOf(x), method, 200, 5);
        const PaResult ra = paUsesMrfa(method) ? parallelAnalysisMrfaValues(a) : parallelAnalysisPcaValues(a);
        restoreRandomState(state);
        const PaInput b = inputFor(scaled, covarianceOf(scaled), method, 200, 5);
        const PaResult rb = paUsesMrfa(method) ? parallelAnalysisMrfaValues(b) : parallelAnalysisPcaValues(b);
        for (std::size_t i = 0; i < ra.real.size(); ++i) {
            EXPECT_NEAR(rb.real[i], ra.real[i], 1e-6) << method << " " << i;
            EXPECT_NEAR(rb.mean[i], ra.mean[i], 1e-6) << method << " " << i;
        }
        EXPECT_EQ(rb.countMean, ra.countMean);
    }
}

TEST_F(ParallelAnalysisTest, CountingRuleOfEachImplementation) {
    // Three variables correlated 0.9 and five independent ones, N = 10: the
    // real values fall steeply after the first and then stay level, while
    // the random ones of so small a sample fall steadily, so later real
    // values come back above the mean. PCA counts them, MRFA does not.
    Matrix r = identity(8);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            if (i != j) r[i][j] = 0.9;
    for (int method : {PaPcaPearsonNormal, PaMrfaPearsonNormal}) {
        const PaInput in = inputFor(Matrix(), r, method, 10, 30);
        const PaResult res = paUsesMrfa(method) ? parallelAnalysisMrfaValues(in)
                                                : parallelAnalysisPcaValues(in);
        const int all = paCountAbove(res.real, res.mean);
        const int leading = paLeadingRunAbove(res.real, res.mean);
        ASSERT_LT(leading, all) << method << ": the values do not come back above the mean";
        EXPECT_EQ(res.countMean, paUsesMrfa(method) ? leading : all) << method;
    }
}

TEST_F(ParallelAnalysisTest, ProgressBeforeEveryReplicate) {
    const Matrix x = structuredData(50, 1, 3, 3);
    for (const auto& [k, expected] :
         std::vector<std::pair<int, std::vector<int>>>{{1, {0}}, {3, {0, 33, 66}}, {4, {0, 25, 50, 75}}}) {
        PaInput in = inputFor(x, correlationOf(x), PaPcaPearsonPermutation, 50, k);
        std::vector<int> seen;
        in.progress = [&seen](int percent) { seen.push_back(percent); };
        parallelAnalysisPcaValues(in);
        EXPECT_EQ(seen, expected) << k;
    }
}

// Four items in three categories, 40 participants, for the attempt rules.
Matrix smallOrdinal() {
    Matrix x = structuredData(40, 1, 4, 17);
    for (int i = 0; i < x.rows(); ++i)
        for (int j = 0; j < x.cols(); ++j) x[i][j] = 1 + (x[i][j] > -0.5) + (x[i][j] > 0.5);
    return x;
}

// The stream state after `samples` permutations of x from `start`, after
// first the real data's MRFA when `realMrfa` is given.
std::uint32_t stateAfter(std::uint32_t start, const Matrix& x, int samples, const Matrix& realMrfa = Matrix()) {
    MatrixScope scope;
    restoreRandomState(start);
    if (realMrfa.valid()) extractMrfa(realMrfa, realMrfa.rows() - 1, kPaRealStarts);
    for (int i = 0; i < samples; ++i) permuteColumns(x);
    return randomState();
}

TEST_F(ParallelAnalysisTest, TwentyFivePolychoricFailuresSwitchToPearsonAndRestart) {
    const Matrix x = smallOrdinal();
    // The real matrix given is the identity, so the switch shows in the
    // real values: they become the eigenvalues of the data's Pearson matrix.
    PaInput in = inputFor(x, identity(4), PaPcaPolychoricPermutation, 40, 3);
    in.low = constant(4, 1, 1);
    in.high = constant(4, 1, 3);
    int polychoricCalls = 0;
    in.sampleCorrelation = [&](const Matrix&, bool polychoric) {
        polychoricCalls += polychoric;
        return Matrix();
    };
    std::vector<int> progress;
    in.progress = [&progress](int p) { progress.push_back(p); };
    const std::uint32_t start = randomState();
    const PaResult r = parallelAnalysisPcaValues(in);
    EXPECT_TRUE(r.switchedToPearson);
    EXPECT_EQ(polychoricCalls, 25);
    // 25 failed data sets, the discarded 26th, then the three replicates
    // made again with Pearson correlations.
    EXPECT_EQ(randomState(), stateAfter(start, x, 29));
    // Failed attempts do not advance the percentage; the restart begins at 0.
    EXPECT_EQ(progress, (std::vector<int>{0, 0, 33, 66}));
    EXPECT_GT(r.real[0], 1.5);
    EXPECT_NEAR(r.real[0] + r.real[1] + r.real[2] + r.real[3], 4.0, 1e-12);
}

TEST_F(ParallelAnalysisTest, FailuresAreCountedForEachReplicateApart) {
    // 24 polychoric failures before every success: never a switch.
    const Matrix x = smallOrdinal();
    PaInput in = inputFor(x, correlationOf(x), PaMrfaPolychoricPermutation, 40, 3);
    in.low = constant(4, 1, 1);
    in.high = constant(4, 1, 3);
    int calls = 0;
    in.sampleCorrelation = [&](const Matrix& sample, bool) {
        return ++calls % 25 == 0 ? correlationOf(sample) : Matrix();
    };
    const PaResult r = parallelAnalysisMrfaValues(in);
    EXPECT_TRUE(r.converged);
    EXPECT_FALSE(r.switchedToPearson);
    EXPECT_EQ(calls, 75);
}

TEST_F(ParallelAnalysisTest, TwentyFiveMrfaFailuresEndTheAnalysis) {
    // A random matrix that cannot be formed counts as a failed MRFA in the
    // Pearson variant; the 26th data set is drawn and analysed, then the
    // analysis gives up.
    const Matrix x = smallOrdinal();
    const Matrix r = correlationOf(x);
    PaInput in = inputFor(x, r, PaMrfaPearsonPermutation, 40, 3);
    int calls = 0;
    in.sampleCorrelation = [&](const Matrix&, bool) {
        ++calls;
        return Matrix();
    };
    const std::uint32_t start = randomState();
    const PaResult result = parallelAnalysisMrfaValues(in);
    EXPECT_FALSE(result.converged);
    EXPECT_EQ(calls, 26);
    EXPECT_EQ(randomState(), stateAfter(start, x, 26, r));
}

// Advised-number lines of the MRFA section by the two counts, and the
// failure ending of each variant.
TEST(ParallelAnalysisReport, MrfaAdvisedLinesAndEndings) {
    const std::string tail = "\n\n" + testing::kSectionEnd;
    const struct {
        int cMean, cPct;
        std::string advised;
    } cases[] = {
        {0, 0, "\n   Advised number of dimensions:    0"},
        {2, 2, "\n*  Advised number of dimensions:    2"},
        {2, 0, "\n*  Advised number of dimensions when mean is considered:             2"},
        {0, 1, "\n** Advised number of dimensions when 95 percentile is considered:    1"},
        {3, 1, "\n** Advised number of dimensions when 95 percentile is considered:    1"
               "\n*  Advised number of dimensions when mean is considered:             3"},
    };
    PaInput in;
    in.method = PaMrfaPearsonPermutation;
    in.randomMatrices = 7;
    for (const auto& c : cases) {
        const PaResult r = resultOf({60, 40}, {50, 50}, {55, 45}, c.cMean, c.cPct);
        const std::string text = captureReport([&](ReportWriter& w) { writeParallelAnalysisMrfa(w, in, r); });
        EXPECT_EQ(text.substr(text.size() - c.advised.size() - tail.size()), c.advised + tail)
            << c.cMean << " " << c.cPct;
    }
    PaResult failed;
    failed.converged = false;
    const std::string head =
        "PARALLEL ANALYSIS (PA) BASED ON FACTOR ANALYSIS (MRFA)\n"
        "(POLYCHORIC CORRELATION - RANDOM SAMPLES OBTAINED AS PERMUTATIONS OF THE ORIGINAL DATA)\n"
        "Horn (1965)\n\n";
    const std::string warning =
        "WARNING: Parallel analysis could not converge. Please try an implementation of Parallel "
        "Analysis based on Principal Components \n\n";
    EXPECT_EQ(captureReport([&](ReportWriter& w) { writeParallelAnalysisMrfa(w, in, failed); }),
              head + warning + testing::kSectionEnd);
    in.method = PaMrfaPolychoricPermutation;
    EXPECT_EQ(captureReport([&](ReportWriter& w) { writeParallelAnalysisMrfa(w, in, failed); }),
              head + "\n" + warning + testing::kSectionEnd);
}

TEST_F(ParallelAnalysisTest, MrfaNeedsThreeVariables) {
    for (int p : {1, 2}) {
        const PaInput in = inputFor(Matrix(), identity(p), PaMrfaPearsonNormal, 50, 3);
        const std::string text = captureReport([&](ReportWriter& w) { parallelAnalysisMrfa(w, in); });
        EXPECT_NE(text.find("needs at least 3 variables; with " + std::to_string(p) + ","),
                  std::string::npos)
            << text;
        EXPECT_EQ(text.find("Real-data"), std::string::npos);
    }
}

}  // namespace
}  // namespace talvex
