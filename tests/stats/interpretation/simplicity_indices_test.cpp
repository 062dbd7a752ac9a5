#include "stats/interpretation/simplicity_indices.h"

#include <gtest/gtest.h>

#include "core/random.h"
#include "stats/dispersion/correlation.h"
#include "stats/rotation/rotation.h"
#include "support/matrix_testing.h"

namespace talvex {
namespace {

using testing::fromRows;
using SimplicityIndicesTest = testing::PoolTest;

double largestOffDiagonal(const Matrix& c) {
    return c.subtract(identity(c.rows())).elementAbs().maxElement();
}

// [1 0; 1 1]: S = 1/2; b² = 1, 0, 1/3, 2/3, e = (1/2)^5 give LS = 0.50779040.
// Rotations of a zero pattern tie with it: none is below. P*·P*ᵀ = P·Φ·Pᵀ,
// |φ| <= 0.1 counting as orthogonal; P·T has factor correlations T⁻¹T⁻ᵀ within δ.
TEST_F(SimplicityIndicesTest, HandWorkedValuesAndReferences) {
    EXPECT_NEAR(loadingSimplicity(fromRows({{1, 0}, {1, 1}})), 0.5077904022478076, 1e-9);
    EXPECT_NEAR(bentlerSimplicity(fromRows({{1, 0}, {1, 1}})), 0.5, 1e-9);
    const SimplicityIndices zero = simplicityIndices(Matrix(6, 2), identity(2));
    EXPECT_EQ(zero.loadingPercentile + zero.bentlerPercentile, 0.0);
    const Matrix p = fromRows({{0.8, 0.1}, {0.2, 0.7}, {0.5, 0.4}});
    for (double phi : {0.1, -0.45}) {
        const Matrix f = fromRows({{1, phi}, {phi, 1}});
        const SimplicityReference r = simplicityReference(p, f);
        EXPECT_EQ(r.delta, phi < 0 ? 0.45 : 0.0);
        const Matrix common = p.multiply(phi < 0 ? f : identity(2)).multiply(p.transpose());
        EXPECT_THAT(r.pattern.multiply(r.pattern.transpose()), testing::MatrixNear(common, 1e-12));
    }
    bool shrunk = false;
    const Matrix inverse = randomTransformation(4, 0.3, shrunk).inverse();
    const Matrix c = inverse.multiply(inverse.transpose());
    EXPECT_THAT(c.diag(), testing::MatrixNear(Matrix(4, 1).addScalar(1.0), 1e-9));
    EXPECT_LT(largestOffDiagonal(c), 0.3);
}

// Replayed draws: all but the last reach the bound, the cap stops them, and with m >= 10
// (no full-rank 10-row sample) the first is shrunk by min(0.99, 0.99·bound / max|r|).
TEST_F(SimplicityIndicesTest, DrawsAreBoundedAndCounted) {
    const struct { int m; double bound; int draws; bool shrunk; } cases[] = {
        {4, 1.0, 1, false}, {5, 0.45, 0, false}, {9, 0.01, kCorrelationDrawLimit, true},
        {10, 0.3, 1, true}, {11, 1.0, 1, true}};
    for (const auto& c : cases) {
        MatrixScope scope;
        const std::uint32_t state = randomState();
        bool shrunk = false;
        const Matrix r = boundedRandomCorrelation(c.m, c.bound, shrunk);
        const std::uint32_t after = randomState();
        EXPECT_EQ(shrunk, c.shrunk) << c.m;
        EXPECT_LT(largestOffDiagonal(r), c.shrunk ? 0.99 * c.bound + 1e-15 : c.bound) << c.m;
        restoreRandomState(state);
        int draws = 0;
        Matrix last;
        while (randomState() != after && draws++ <= kCorrelationDrawLimit) {
            last = correlationOf(randomStartMatrix(kCorrelationSampleRows, c.m));
            EXPECT_TRUE(randomState() == after || largestOffDiagonal(last) >= c.bound) << draws;
        }
        EXPECT_EQ(draws, c.draws > 0 ? c.draws : draws) << c.m;
        const double f = c.shrunk ? std::fmin(0.99, 0.99 * c.bound / largestOffDiagonal(last)) : 1;
        EXPECT_NEAR(r[c.m - 1][0], f * last[c.m - 1][0], 1e-12) << c.m;
    }
}

}  // namespace
}  // namespace talvex
