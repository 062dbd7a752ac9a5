// The matrix-free replicates of classical parallel analysis against the
// plain computation with matrices: the same numbers bit for bit.
#include "stats/dimensionality/normal_replicates.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "core/random.h"
#include "stats/dimensionality/parallel_analysis.h"
#include "stats/dispersion/correlation.h"
#include "stats/dispersion/reference_inputs.h"

namespace talvex {
namespace {

using Values = std::vector<double>;
using NormalReplicatesTest = testing::PoolTest;

Values eigenvaluesOf(const Matrix& c) {
    const int p = c.rows();
    Matrix values(p, 1), vectors(p, p);
    c.eigenSymmetric(values, vectors);
    Values out;
    for (int i = 0; i < p; ++i) out.push_back(values[i][0]);
    return out;
}

TEST_F(NormalReplicatesTest, CorrelationsAndEigenvaluesAreThoseOfTheMatrixFunctions) {
    // Shapes around the tile width (8) and the row block (128); columns with
    // large means and small spreads, so the standardization rounds.
    const struct {
        int n, p;
    } shapes[] = {{2, 1}, {3, 2}, {261, 5}, {129, 7}, {130, 8}, {257, 9}, {40, 17}, {300, 25}};
    CorrelationWorkspace workspace;
    for (const auto& s : shapes) {
        Matrix x = randomNormalMatrix(s.n, s.p);
        for (int i = 0; i < s.n; ++i)
            for (int j = 0; j < s.p; ++j) x[i][j] = 1000.0 * j + x[i][j] * (j + 1) / 7.0 + (j > 0 ? x[i][0] : 0.0);
        Values columns;
        for (int j = 0; j < s.p; ++j)
            for (int i = 0; i < s.n; ++i) columns.push_back(x[i][j]);
        Values r(static_cast<std::size_t>(s.p * s.p));
        const Matrix plain = correlationOf(x);
        // Each build of the kernels, against the matrix functions of the
        // portable one.
        for (KernelPath path : testing::kernelPathsHere()) {
            EXPECT_THAT(crossProduct(x, path), testing::MatrixNear(crossProduct(x, KernelPath::Portable), 0.0));
            pearsonOfColumns(columns.data(), s.n, s.p, r.data(), workspace, path);
            Matrix fast(s.p, s.p);
            for (int a = 0; a < s.p; ++a)
                for (int b = 0; b < s.p; ++b) fast[a][b] = r[static_cast<std::size_t>(a * s.p + b)];
            EXPECT_THAT(fast, testing::MatrixNear(plain, 0.0)) << s.n << " x " << s.p;
        }
        Values values(static_cast<std::size_t>(s.p));
        symmetricEigenvalues(r.data(), s.p, values.data(), workspace);
        EXPECT_EQ(values, eigenvaluesOf(plain)) << s.n << " x " << s.p;
    }
}

TEST_F(NormalReplicatesTest, ReplicatesAreThePlainLoopWithOneAndTwoThreads) {
    // Four participants and six variables give singular matrices whose
    // smallest computed eigenvalue is often below zero.
    const struct {
        int n, p, k;
    } cases[] = {{30, 5, 7}, {4, 6, 9}, {1, 3, 1}};
    for (const char* threads : {"1", "2"}) {
        const testing::ThreadCount count(threads);
        for (const auto& c : cases) {
            const std::uint32_t start = randomState();
            Values plain;
            std::vector<int> indefinite;
            for (int s = 0; s < c.k; ++s) {
                MatrixScope scope;
                const Values v = eigenvaluesOf(correlationOf(randomNormalMatrix(c.n, c.p)));
                plain.insert(plain.end(), v.begin(), v.end());
                if (v.back() < 0) indefinite.push_back(s);
            }
            const std::uint32_t after = randomState();
            restoreRandomState(start);
            std::vector<int> progress;
            std::vector<int> analysed;
            const NormalReplicates fast = normalReplicateEigenvalues(
                c.n, c.p, c.k, [&progress](int s) { progress.push_back(s); },
                [&](int s, bool flagged) {
                    analysed.push_back(s);
                    EXPECT_LT(s, static_cast<int>(progress.size())) << "analysed before drawn";
                    EXPECT_TRUE(!flagged || std::find(indefinite.begin(), indefinite.end(), s) != indefinite.end());
                });
            const std::string what = std::string(threads) + " thread(s), n = " + std::to_string(c.n);
            EXPECT_EQ(randomState(), after) << what;
            EXPECT_EQ(fast.eigenvalues.size(), plain.size()) << what;
            for (std::size_t i = 0; i < plain.size() && i < fast.eigenvalues.size(); ++i)
                EXPECT_TRUE(std::isnan(plain[i]) || fast.eigenvalues[i] == plain[i]) << what << ", " << i;
            EXPECT_EQ(fast.indefinite, indefinite) << what;
            EXPECT_EQ(fast.indefiniteSamples.size(), indefinite.size()) << what;
            std::vector<int> order(static_cast<std::size_t>(c.k));
            for (int s = 0; s < c.k; ++s) order[static_cast<std::size_t>(s)] = s;
            EXPECT_EQ(progress, order) << what;
            EXPECT_EQ(analysed, order) << what;
            EXPECT_TRUE(c.n != 4 || !indefinite.empty()) << "no sample needed smoothing";
        }
    }
}

TEST_F(NormalReplicatesTest, ParallelAnalysisGivesTheResultsOfThePlainPath) {
    // A correlation hook that is never called for Pearson normal samples
    // sends the analysis down the plain path with matrices; both smooth the
    // singular matrices of 5 participants with 8 variables. Both count the
    // same matrix constructions (the report prints the count).
    long long constructions = 0;
    setConstructionHook([](void* count) { ++*static_cast<long long*>(count); }, &constructions);
    for (const char* threads : {"1", "2"}) {
        const testing::ThreadCount count(threads);
        for (const int n : {5, 60}) {
            PaInput in{Matrix(), identity(8), PaPcaPearsonNormal, n, 40, 95, {}, {}, {}, {}};
            const std::uint32_t start = randomState();
            constructions = 0;
            const PaResult fast = parallelAnalysisPcaValues(in);
            const long long fastConstructions = constructions;
            const std::uint32_t after = randomState();
            restoreRandomState(start);
            in.sampleCorrelation = [](const Matrix&, bool) { return Matrix(); };
            constructions = 0;
            const PaResult plain = parallelAnalysisPcaValues(in);
            EXPECT_EQ(randomState(), after);
            EXPECT_EQ(fastConstructions, constructions) << threads << " " << n;
            EXPECT_EQ(fast.mean, plain.mean) << threads << " " << n;
            EXPECT_EQ(fast.percentile, plain.percentile) << threads << " " << n;
            EXPECT_EQ(fast.countMean, plain.countMean) << threads << " " << n;
        }
    }
    setConstructionHook(nullptr, nullptr);
}

}  // namespace
}  // namespace talvex
