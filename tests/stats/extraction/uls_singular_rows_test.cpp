// ULS where the other rows' cross products are singular: a factor that only
// one variable loads on leaves a zero column once that variable's row is
// set aside, and the plain inverse of B'B is not finite. The reference is the
// exact fit that exists for these matrices: the fitted off-diagonal
// elements equal R's, and variables correlated with nothing load nothing.
#include <gtest/gtest.h>

#include <cmath>

#include "core/matrix.h"
#include "stats/extraction/uls_pca.h"
#include "support/matrix_testing.h"

namespace talvex {
namespace {

using UlsSingularRowsTest = testing::PoolTest;

// A block of three variables (r12 = r13 = a, r23 = −a) and `free` variables
// uncorrelated with everything: what smoothing leaves of a matrix whose
// contradictory correlations forced every smaller one to 0.
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
    } cases[] = {{0.489, 6, 3}, {0.3, 4, 3}, {0.489, 6, 2}, {0.45, 9, 4}};
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

}  // namespace
}  // namespace talvex
