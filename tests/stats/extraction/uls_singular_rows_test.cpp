// ULS where the other rows' cross products B'B are singular (a factor only one
// variable loads on). Reference: the exact fit these matrices have; variables
// correlated with nothing load nothing.
#include <gtest/gtest.h>

#include <cmath>

#include "core/matrix.h"
#include "stats/extraction/uls_pca.h"
#include "support/matrix_testing.h"

namespace talvex {
namespace {

using UlsSingularRowsTest = testing::PoolTest;

// r12 = r13 = a, r23 = −a and `free` uncorrelated variables: what smoothing
// leaves of contradictory correlations.
Matrix blockAndIdentity(double a, int free) {
    Matrix r = identity(3 + free);
    r[0][1] = r[1][0] = a;
    r[0][2] = r[2][0] = a;
    r[1][2] = r[2][1] = -a;
    return r;
}

TEST_F(UlsSingularRowsTest, FactorsWithoutSupportGetZeroLoadingsNotNaN) {
    const struct {
        double a;
        int free, factors;
    } cases[] = {{0.489, 6, 3}, {0.3, 4, 2}, {0.45, 9, 4}};
    for (const auto& c : cases) {
        const Matrix r = blockAndIdentity(c.a, c.free);
        const int p = r.rows();
        const UlsSolution s = extractUls(r, c.factors, 1e-8, 200);
        const Matrix& l = s.loadings;
        for (int i = 0; i < p; ++i) {
            double communality = 0.0;
            for (int k = 0; k < c.factors; ++k) {
                ASSERT_TRUE(std::isfinite(l[i][k])) << c.a << " " << c.factors << " row " << i;
                communality += l[i][k] * l[i][k];
                if (i >= 3) {
                    EXPECT_NEAR(l[i][k], 0.0, 1e-4) << "free variable " << i;
                }
            }
            EXPECT_LE(communality, 1.0 + 1e-9);
        }
        const Matrix fitted = l.multiply(l.transpose());
        for (int i = 0; i < p; ++i)
            for (int j = 0; j < i; ++j) EXPECT_NEAR(fitted[i][j], r[i][j], 1e-4) << i << "," << j;
        ASSERT_TRUE(s.chiSquare.has_value());
        EXPECT_TRUE(std::isfinite(*s.chiSquare));
    }
}

// A smoothed covariance matrix whose principal components start on two
// variables of variance 9 that covary with nothing: their factors lose all
// support, and variable 5 (variance 9, covariance 2.98119 with variable 3)
// meets its bound while the cross products of the other rows are singular.
// The bound holds in the span of the supported factors: communality 9, and
// the covariance 2.98119 is nearly reproduced (variable 3 also fits its 0
// with variable 7, so not exactly).
TEST_F(UlsSingularRowsTest, HeywoodRowWithSingularCrossProducts) {
    Matrix r = identity(9);
    for (int i : {0, 1, 4, 7}) r[i][i] = 9.0;
    const auto set = [&r](int i, int j, double v) { r[i][j] = r[j][i] = v; };
    set(2, 4, 2.98119), set(3, 5, 0.13468), set(3, 6, 0.48039), set(4, 6, 0.18928);
    const UlsSolution s = extractUls(r, 3, 1e-8, 50);
    const Matrix fitted = s.loadings.multiply(s.loadings.transpose());
    for (int i = 0; i < 9; ++i) {
        ASSERT_TRUE(std::isfinite(fitted[i][i])) << i;
        EXPECT_LE(fitted[i][i], r[i][i] + 1e-9) << i;
    }
    EXPECT_NEAR(fitted[4][4], 9.0, 1e-9);
    EXPECT_NEAR(fitted[2][4], 2.98119, 5e-3);
}

}  // namespace
}  // namespace talvex
