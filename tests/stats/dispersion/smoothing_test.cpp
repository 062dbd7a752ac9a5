#include "stats/dispersion/smoothing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <string>

#include "stats/dispersion/reference_inputs.h"

namespace talvex {
namespace {

using testing::captureReport;
using testing::kSectionEnd;
using testing::symmetric;
using SmoothingTest = testing::PoolTest;

TEST_F(SmoothingTest, FisherZAndItsInverse) {
    for (double r : {-0.99, -0.02, 0.0, 0.8, 0.999999}) {
        EXPECT_NEAR(fisherZ(r), std::atanh(r), 1e-12) << r;
        EXPECT_NEAR(fisherZInverse(std::atanh(r)), r, 1e-14) << r;
    }
    // Where e^(2z) overflows the value stays ±1 rather than inf/inf.
    EXPECT_EQ(fisherZInverse(400.0), 1.0);
    EXPECT_EQ(fisherZInverse(-400.0), -1.0);
}

// Shrinks without flipping signs until no eigenvalue is negative, also when
// correlations of ±1 have no finite z; a zero variance leaves no correlation
// form to smooth.
TEST_F(SmoothingTest, ShrinksTowardZeroUntilPositiveSemiDefinite) {
    EXPECT_NEAR(smallestEigenvalue(symmetric(2, {-0.6})), 0.4, 1e-14);  // 1 ± r
    EXPECT_FALSE(needsSmoothing(symmetric(3, {0.3, 0.2, 0.1})));
    const Matrix cases[] = {symmetric(5, {0.9, 0.9, 0.9, -0.3, 0.9, 0.2, 0.7, -0.8, 0.5, 0.95}),
                            symmetric(3, {1.0, 1.0, -1.0})};
    for (const Matrix& r : cases) {
        ASSERT_TRUE(needsSmoothing(r));
        const Matrix s = smoothDispersion(r, 200);
        ASSERT_TRUE(s.valid());
        EXPECT_GE(smallestEigenvalue(s), 0.0);
        for (int i = 0; i < r.rows(); ++i)
            for (int j = 0; j < r.rows(); ++j) {
                EXPECT_EQ(s[i][j], s[j][i]);
                EXPECT_LE(std::fabs(s[i][j]), std::fabs(r[i][j]));
                EXPECT_GE(s[i][j] * r[i][j], 0.0);
            }
    }
    Matrix r = symmetric(3, {0.8, 0.8, -0.6});  // |R| = 1 − 2·0.384 − 1.64 < 0
    EXPECT_TRUE(needsSmoothing(r));
    r[2][2] = 0.0;
    EXPECT_FALSE(smoothDispersion(r, 100).valid());
}

// Cases from tests/reference/smoothing_reference.R, an independent base-R
// implementation: one pass at N = 100 (0.5 → tanh(atanh(0.5) − 0.025), 0.02
// → 0), several passes, covariance matrices, a positive definite matrix, a
// correlation closer to 1 than 0.999999 (it keeps its own z), and a failure
// (a pass lowers the smallest eigenvalue).
TEST_F(SmoothingTest, MatchesReferenceCases) {
    std::ifstream in(testing::referencePath("smoothing_reference.txt"));
    auto readMatrix = [&in](int p) {
        Matrix m(p, p);
        for (int i = 0; i < p; ++i)
            for (int j = 0; j < p; ++j) in >> m[i][j];
        return m;
    };
    std::string word, name, status;
    int cases = 0, n = 0, p = 0;
    while (in >> word) {
        if (word == "#") {
            std::getline(in, word);
            continue;
        }
        in >> name >> n >> p;
        const Matrix input = readMatrix(p);
        in >> word >> status >> word;  // result ok|fail PASSES
        SCOPED_TRACE(name);
        const Matrix s = smoothDispersion(input, n);
        ++cases;
        if (status == "fail") {
            EXPECT_FALSE(s.valid());
            continue;
        }
        ASSERT_TRUE(s.valid());
        EXPECT_FALSE(s.sameAs(input));  // always a new matrix
        EXPECT_THAT(s, testing::MatrixNear(readMatrix(p), 1e-12));
    }
    EXPECT_EQ(cases, 7);
}

// Only elements at or beyond ±1 are held at ±0.999999; one just inside keeps
// its own z: 0.9999999 at N = 1 becomes tanh(atanh(0.9999999) − 0.25) =
// 0.99999983512787838, not tanh(atanh(0.999999) − 0.25) = 0.99999835127926406.
TEST_F(SmoothingTest, CorrelationNearOneKeepsItsOwnZ) {
    for (double sign : {1.0, -1.0}) {
        const Matrix s = smoothDispersion(symmetric(3, {sign * 0.9999999, 0.2, -sign * 0.2}), 1);
        ASSERT_TRUE(s.valid());
        EXPECT_NEAR(s[0][1], sign * 0.99999983512787838, 1e-12) << sign;
        EXPECT_EQ(s[0][2], 0.0);
        EXPECT_EQ(s[1][2], 0.0);
    }
}

// 2/(√2·√2) = 0.9999999999999998: a step of delta on its z (≈ 18.4) rounds
// back to the same double. The element restarts from 0.999999 instead, so
// the passes end (they used to run forever) and it comes out below that bound.
TEST_F(SmoothingTest, CorrelationARoundingBelowOneStillShrinks) {
    const Matrix s = smoothDispersion(symmetric(3, {0.9999999999999998, 0.9, -0.9}), 200);
    ASSERT_TRUE(s.valid());
    EXPECT_LT(s[0][1], 0.999999);
    EXPECT_GE(smallestEigenvalue(s), 0.0);
}

TEST_F(SmoothingTest, WarningParagraphs) {
    EXPECT_EQ(captureReport([](ReportWriter& r) { writeSmoothingApplied(r); }),
              "\nWARNING: Correlation matrix is not positive-definite,\n"
              "         Smothing algorithm was applied \n"
              "         (Devlin, Gnanadesikan, & Kettenring, 1975; Devlin, Gnanadesikan, & "
              "Kettenring, 1981)\n\n\n" + kSectionEnd);
}

}  // namespace
}  // namespace talvex
