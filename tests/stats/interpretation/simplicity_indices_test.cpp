// Indices of factor simplicity: closed forms of LS and S, the bounded random
// correlation matrices and how many draws they take, and the percentiles at
// the ends of the scale.
#include "stats/interpretation/simplicity_indices.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>

#include "core/random.h"
#include "stats/dispersion/correlation.h"
#include "stats/rotation/rotation.h"
#include "support/matrix_testing.h"
#include "support/report_testing.h"

namespace talvex {
namespace {

using testing::fromRows;
using SimplicityIndicesTest = testing::PoolTest;

// p x m pattern with one loading per row (0.4 .. 0.8) on factor i mod m.
Matrix perfectlySimple(int p, int m) {
    Matrix a(p, m);
    for (int i = 0; i < p; ++i) a[i][i % m] = 0.4 + 0.1 * (i % 5);
    return a;
}

double largestOffDiagonal(const Matrix& c) {
    double largest = 0.0;
    for (int a = 0; a < c.rows(); ++a)
        for (int b = 0; b < c.cols(); ++b)
            if (a != b) largest = std::fmax(largest, std::fabs(c[a][b]));
    return largest;
}

bool positiveDefinite(const Matrix& c) {
    MatrixScope scope;
    Matrix values(c.rows(), 1), vectors(c.rows(), c.rows());
    c.eigenSymmetric(values, vectors);
    return values.minElement() > 1e-10;
}

// Closed forms worked by hand:
// - one non-zero loading per row: every b² is 1 or 0, so LS = 1 and S = 1
//   up to the 0.000001 offset;
// - equal loadings in every cell: b² = 1/m gives M = e, LS = 0, and Q has
//   equal columns, S = 0;
// - P = [1 0; x y]: QᵀQ = [1+x⁴ x²y²; x²y² y⁴], S = 1/(1 + x⁴) whatever y;
// - P = [1 0; 1 1]: b² = 1, 0, 1/3, 2/3 and e = (1/2)^5, LS = 0.50779040.
TEST_F(SimplicityIndicesTest, ClosedForms) {
    struct Case {
        const char* name;
        Matrix pattern;
        double loading;
        double bentler;
        double tolerance;
    };
    const Case cases[] = {
        {"simple 12 x 3", perfectlySimple(12, 3), 1.0, 1.0, 1e-4},
        {"simple 25 x 5", perfectlySimple(25, 5), 1.0, 1.0, 1e-4},
        {"equal loadings", Matrix(6, 3).addScalar(0.5), 0.0, 0.0, 1e-9},
        {"x = 1", fromRows({{1, 0}, {1, 0.3}}), std::nan(""), 0.5, 1e-12},
        {"x = 0.5", fromRows({{1, 0}, {0.5, 2}}), std::nan(""), 1.0 / 1.0625, 1e-12},
        {"hand LS", fromRows({{1, 0}, {1, 1}}), 0.5077904022478076, 0.5, 1e-9},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (!std::isnan(c.loading)) {
            EXPECT_NEAR(loadingSimplicity(c.pattern), c.loading, c.tolerance);
        }
        EXPECT_NEAR(bentlerSimplicity(c.pattern), c.bentler, c.tolerance);
    }
}

TEST_F(SimplicityIndicesTest, ZeroRowsAndColumnsStayFinite) {
    const Matrix p = fromRows({{0.7, 0, 0}, {0, 0, 0}, {0.2, 0.6, 0}, {0.1, 0.5, 0}});
    EXPECT_TRUE(std::isfinite(loadingSimplicity(p)));
    EXPECT_TRUE(std::isfinite(bentlerSimplicity(p)));
}

// A first draw within the bound is the correlation matrix of the sample
// that randomStartMatrix gives from the same state, unchanged.
TEST_F(SimplicityIndicesTest, AcceptedDrawIsTheSampleCorrelation) {
    const std::uint32_t state = randomState();
    const Matrix sample = correlationOf(randomStartMatrix(kCorrelationSampleRows, 4));
    const std::uint32_t after = randomState();
    restoreRandomState(state);
    bool shrunk = true;
    const Matrix drawn = boundedRandomCorrelation(4, 1.0, shrunk);
    EXPECT_FALSE(shrunk);
    EXPECT_EQ(randomState(), after);
    EXPECT_THAT(drawn, testing::MatrixNear(sample, 1e-12));
}

// How many samples a matrix takes, counted by replaying the stream: draws
// go on until the bound is met, stop at the cap, and with m >= 10 (a
// 10-row sample is never of full rank) one draw is shrunk at once. Every
// result is a positive definite correlation matrix within the bound.
TEST_F(SimplicityIndicesTest, DrawsAreBoundedAndResultsQualify) {
    struct Case {
        int m;
        double bound;
        int expectedDraws;  // 0: not fixed, but below the cap
        bool shrunk;
    };
    const Case cases[] = {
        {3, 0.6, 0, false},
        {5, 0.45, 0, false},
        {9, 0.01, kCorrelationDrawLimit, true},
        {10, 0.3, 1, true},
        {12, 0.9, 1, true},
        {11, 1.0, 1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("m = " + std::to_string(c.m) + ", bound " + std::to_string(c.bound));
        MatrixScope scope;
        const std::uint32_t state = randomState();
        bool shrunk = false;
        const Matrix r = boundedRandomCorrelation(c.m, c.bound, shrunk);
        const std::uint32_t after = randomState();
        EXPECT_EQ(shrunk, c.shrunk);
        EXPECT_LT(largestOffDiagonal(r), c.bound);
        if (c.shrunk) {
            EXPECT_LE(largestOffDiagonal(r), 0.99 * c.bound + 1e-15);
        }
        EXPECT_TRUE(positiveDefinite(r));
        for (int j = 0; j < c.m; ++j) EXPECT_EQ(r[j][j], 1.0);

        restoreRandomState(state);
        int draws = 0;
        Matrix last;
        while (randomState() != after && draws <= kCorrelationDrawLimit) {
            last = correlationOf(randomStartMatrix(kCorrelationSampleRows, c.m));
            ++draws;
            // Every draw before the last was rightly rejected.
            if (randomState() != after) {
                EXPECT_GE(largestOffDiagonal(last), c.bound) << "draw " << draws;
            }
        }
        EXPECT_EQ(randomState(), after);
        if (c.expectedDraws > 0) {
            EXPECT_EQ(draws, c.expectedDraws);
        } else {
            EXPECT_LT(draws, kCorrelationDrawLimit);
        }
        if (c.shrunk) {
            // I + c(C − I) with c = min(0.99, 0.99·bound / max|C − I|).
            const double factor = std::fmin(0.99, 0.99 * c.bound / largestOffDiagonal(last));
            EXPECT_NEAR(r[1][0], factor * last[1][0], 1e-12);
            EXPECT_NEAR(r[c.m - 1][0], factor * last[c.m - 1][0], 1e-12);
        }
    }
}

// A perfectly simple pattern beats every random rotation (percentile 100);
// equal loadings have S = 0, which no random rotation undercuts
// (percentile 0). Oblique factors correlating 0.3 go through the random
// correlation matrices, those within ±0.1 through orthogonal rotations only.
TEST_F(SimplicityIndicesTest, PercentilesAtTheEndsOfTheScale) {
    Matrix oblique = identity(3);
    for (int a = 0; a < 3; ++a)
        for (int b = 0; b < 3; ++b)
            if (a != b) oblique[a][b] = 0.3;
    Matrix nearlyOrthogonal = identity(3);
    nearlyOrthogonal[0][1] = nearlyOrthogonal[1][0] = -0.1;

    const SimplicityIndices orthogonal = simplicityIndices(perfectlySimple(12, 3), identity(3));
    EXPECT_EQ(orthogonal.bentlerPercentile, 100.0);
    EXPECT_EQ(orthogonal.loadingPercentile, 100.0);
    const SimplicityIndices correlated = simplicityIndices(perfectlySimple(12, 3), oblique);
    EXPECT_EQ(correlated.bentlerPercentile, 100.0);
    EXPECT_EQ(correlated.loadingPercentile, 100.0);
    EXPECT_EQ(correlated.shrunkMatrices, 0);
    const SimplicityIndices flat = simplicityIndices(Matrix(12, 3).addScalar(0.5), nearlyOrthogonal);
    EXPECT_EQ(flat.bentlerPercentile, 0.0);
    EXPECT_NEAR(flat.bentler, 0.0, 1e-9);
    // Every rotation of a zero pattern ties with it: none is smaller.
    const SimplicityIndices zero = simplicityIndices(Matrix(6, 2), identity(2));
    EXPECT_EQ(zero.loadingPercentile, 0.0);
    EXPECT_EQ(zero.bentlerPercentile, 0.0);
}

// Up to 0.1 the factors count as orthogonal: the stream then advances by
// exactly the random orthogonal matrices, m·m + 1 draws each.
TEST_F(SimplicityIndicesTest, SmallCorrelationsUseOrthogonalRotationsOnly) {
    std::mt19937 gen(3);
    const Matrix p = testing::randomMatrix(9, 3, gen);
    for (double phi : {0.0, 0.1, -0.1, 0.1000001}) {
        SCOPED_TRACE(phi);
        Matrix f = identity(3);
        f[2][0] = f[0][2] = phi;
        const std::uint32_t state = randomState();
        simplicityIndices(p, f);
        const std::uint32_t after = randomState();
        restoreRandomState(state);
        for (int k = 0; k < kSimplicityRotations * 10; ++k) randomNext();
        EXPECT_EQ(randomState() == after, std::fabs(phi) <= 0.1);
        restoreRandomState(after);
    }
}

// The reference pattern keeps the common part with orthogonal factors,
// P*·P*ᵀ = P·Φ·Pᵀ; correlations within ±0.1 leave P as it is.
TEST_F(SimplicityIndicesTest, ReferencePatternKeepsTheCommonPart) {
    std::mt19937 gen(4);
    const Matrix p = testing::randomMatrix(8, 3, gen);
    for (double phi : {0.45, -0.3, 0.1}) {
        SCOPED_TRACE(phi);
        Matrix f = identity(3);
        f[0][1] = f[1][0] = phi;
        f[1][2] = f[2][1] = phi / 2;
        const SimplicityReference r = simplicityReference(p, f);
        const bool oblique = std::fabs(phi) > 0.1;
        EXPECT_DOUBLE_EQ(r.delta, oblique ? std::fabs(phi) : 0.0);
        const Matrix common = oblique ? p.multiply(f).multiply(p.transpose())
                                      : p.multiply(p.transpose());
        EXPECT_THAT(r.pattern.multiply(r.pattern.transpose()), testing::MatrixNear(common, 1e-12));
    }
}

// The factors of P·T correlate as the random matrix, T⁻¹T⁻ᵀ: unit diagonal
// and every correlation within δ; with δ = 0, T is orthogonal.
TEST_F(SimplicityIndicesTest, RandomTransformationsGiveBoundedCorrelations) {
    for (int m : {2, 4, 11}) {
        for (double delta : {0.0, 0.2, 0.5}) {
            SCOPED_TRACE("m = " + std::to_string(m) + ", delta " + std::to_string(delta));
            MatrixScope scope;
            bool shrunk = false;
            const Matrix t = randomTransformation(m, delta, shrunk);
            if (delta == 0) {
                EXPECT_THAT(t.transpose().multiply(t), testing::MatrixNear(identity(m), 1e-12));
                continue;
            }
            const Matrix c = transformationCorrelations(t);
            for (int j = 0; j < m; ++j) EXPECT_NEAR(c[j][j], 1.0, 1e-9);
            EXPECT_LT(largestOffDiagonal(c), delta + 1e-9);
            EXPECT_EQ(shrunk, m >= kCorrelationSampleRows);
        }
    }
}

}  // namespace
}  // namespace talvex
