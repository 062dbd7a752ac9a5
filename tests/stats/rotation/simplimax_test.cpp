// Simplimax on loadings built from an exact oblique simple structure: the
// planted zeros are reachable, so the criterion must come down to (nearly)
// zero and the planted pattern must come back up to column order and sign.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "stats/rotation/rotation.h"
#include "stats/rotation/rotation_testing.h"
#include "stats/rotation/simplimax.h"
#include "support/matrix_testing.h"

namespace talvex {
namespace {

using rotation_testing::aligned;
using rotation_testing::matchColumns;
using testing::fromRows;
using testing::MatrixNear;

using Simplimax = testing::PoolTest;

// Pattern with 13 exact zeros (of 21 cells) and one complex variable.
Matrix plantedPattern() {
    return fromRows({{0.80, 0.00, 0.00},
                     {0.70, 0.00, 0.00},
                     {0.00, 0.75, 0.00},
                     {0.00, 0.65, 0.00},
                     {0.00, 0.00, 0.70},
                     {0.00, 0.00, 0.60},
                     {0.40, 0.45, 0.00}});
}

// Unrotated loadings L = P·M for an invertible M with unit rows, so that
// P is the pattern of factors of unit variance with correlations M·Mᵀ.
Matrix mixing() {
    return fromRows({{0.9, 0.3, -0.2}, {0.2, 0.8, 0.4}, {-0.3, 0.1, 0.85}}).normalizeRows();
}

TEST_F(Simplimax, StepFromTheIdentityReachesAPlantedZeroPattern) {
    const Matrix planted = plantedPattern();
    const Matrix l = planted.multiply(mixing());
    Matrix w(planted.rows(), planted.cols());
    for (int i = 0; i < w.rows(); ++i)
        for (int j = 0; j < w.cols(); ++j) w[i][j] = planted[i][j] != 0.0 ? 1.0 : 0.0;
    const SimplimaxSolution s = simplimaxStep(l, w, identity(3), identity(3), 1e-12);
    EXPECT_LT(s.criterion, 1e-8);
    // With the zero cells fixed the pattern is determined up to column scale,
    // and unit factor variances fix the scale: the planted pattern comes back.
    EXPECT_THAT(s.pattern, MatrixNear(planted, 1e-4));
    EXPECT_THAT(s.weights, MatrixNear(w, 0.0));
    EXPECT_THAT(l.multiply(s.transformation), MatrixNear(s.pattern, 1e-12));
}

TEST_F(Simplimax, RotationFindsThePlantedZerosFromEveryCleverStart) {
    const Matrix planted = plantedPattern();
    const Matrix l = planted.multiply(mixing());
    const int zeros = 13;
    for (const int clever : {0, 4, 16, 28}) {
        SCOPED_TRACE(clever);
        MatrixScope scope;
        const SimplimaxSolution s = simplimaxRotation(l, zeros, 100, 1e-8, 5, clever);
        EXPECT_LT(s.criterion, 1e-6);
        const auto match = matchColumns(planted, s.pattern);
        EXPECT_THAT(aligned(s.pattern, match), MatrixNear(planted, 1e-3));
        EXPECT_EQ(s.weights.sumOfSquares(), 21 - zeros);  // 0/1 weights
    }
}

}  // namespace
}  // namespace talvex
