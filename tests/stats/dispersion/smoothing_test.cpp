#include "stats/dispersion/smoothing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <string>

#include "stats/dispersion/degeneracy.h"
#include "stats/dispersion/reference_inputs.h"

namespace talvex {
namespace {

using testing::symmetric;
using SmoothingTest = testing::PoolTest;

// Shrinks without flipping signs until no eigenvalue is negative, also when
// correlations of ±1 have no finite z; a zero variance leaves no correlation
// form to smooth.
TEST_F(SmoothingTest, ShrinksTowardZeroUntilPositiveSemiDefinite) {
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

// 2/(√2·√2) = 0.9999999999999998: a step of delta on its z (≈ 18.4) rounds
// back to the same double. The element restarts from 0.999999 instead, so
// the passes end (they used to run forever) and it comes out below that bound.
TEST_F(SmoothingTest, CorrelationARoundingBelowOneStillShrinks) {
    const Matrix s = smoothDispersion(symmetric(3, {0.9999999999999998, 0.9, -0.9}), 200);
    ASSERT_TRUE(s.valid());
    EXPECT_LT(s[0][1], 0.999999);
    EXPECT_GE(smallestEigenvalue(s), 0.0);
}

// Singular: v3 = v1 + v2, v1 and v2 uncorrelated, r13 = r23 = 1/√2 and
// eigenvalues 0, 1, 2. With the floor, one pass of δ = 0.25/√100 on Fisher's
// z makes the smallest 1 − √2·tanh(atanh(1/√2) − 0.025) = 0.017991977591213.
// Contradictory: variables 4 and 5 correlate .999 but relate differently to
// variable 1; the first pass (δ = 0.25/√200) lowers the smallest eigenvalue
// from −0.046143365265 to −0.046350342387, so smoothing fails whatever the
// floor (R: eigen of the matrix and of its elementwise tanh(atanh(r) − sign(r)·δ)).
TEST_F(SmoothingTest, SmoothingBelowAFloor) {
    const double a = 1.0 / std::sqrt(2.0);
    const Matrix singular = symmetric(3, {0.0, a, a});
    const Matrix contradictory = symmetric(5, {0.30, 0.42, 0.35, 0.44, 0.45, 0.23, 0.21, 0.53, 0.30, 0.999});
    const struct {
        Matrix r;
        int n;
        double floor;
        bool smoothed;
        double before, after;
    } cases[] = {
        {singular, 100, kSingularEigenvalue, true, 0.0, 0.017991977591213},
        {contradictory, 200, 0.0, false, -0.046143365265, -0.046350342387},
        {contradictory, 200, kSingularEigenvalue, false, -0.046143365265, -0.046350342387},
    };
    for (const auto& c : cases) {
        const SmoothingResult s = smoothBelow(c.r, c.n, c.floor);
        EXPECT_EQ(s.matrix.valid(), c.smoothed);
        EXPECT_EQ(s.passes, 1);
        EXPECT_NEAR(s.before, c.before, 1e-11);
        EXPECT_NEAR(s.after, c.after, 1e-11);
        if (c.smoothed) {
            EXPECT_NEAR(smallestEigenvalue(s.matrix), c.after, 1e-12);
        }
    }
}

}  // namespace
}  // namespace talvex
