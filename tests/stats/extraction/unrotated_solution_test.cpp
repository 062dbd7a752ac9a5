// Reliabilities of components and factors against closed forms; the sections
// themselves are pinned by the golden reports.
#include <gtest/gtest.h>

#include <cmath>

#include "extraction_fixture.h"
#include "stats/extraction/unrotated_solution.h"

namespace talvex {
namespace {

using talvex::testing::fromRows;
using UnrotatedTest = talvex::testing::PoolTest;

// Two variables with correlation rho: the first component has loadings
// sqrt((1 + rho)/2) and its alpha is the two-item coefficient 2 rho/(1 + rho);
// a covariance matrix is standardised first. Negative alpha (negatively
// related items) is reported as 0.
TEST_F(UnrotatedTest, ComponentAlphaOfTwoItems) {
    for (double rho : {0.3, 0.8, -0.5}) {
        const Matrix a = fromRows({{std::sqrt((1 + rho) / 2)}, {std::sqrt((1 + rho) / 2)}});
        const double alpha = std::max(0.0, 2 * rho / (1 + rho));
        EXPECT_NEAR(componentReliability(fromRows({{1.0, rho}, {rho, 1.0}}), a)[0][0], alpha, 1e-12);
        const Matrix cov = fromRows({{4.0, 6.0 * rho}, {6.0 * rho, 9.0}});
        EXPECT_NEAR(componentReliability(cov, a)[0][0], alpha, 1e-12) << rho;
    }
}

// One factor: rho = S / (1 + S) with S = sum of l²/(1 - l²); two factors on
// separate variables give the same formula factor by factor. For a covariance
// matrix the unique variances are R(i, i) - h², so scaling a variable (its
// variance and loading together) leaves the reliability as it is.
TEST_F(UnrotatedTest, FactorDeterminacyClosedForm) {
    const double s = 0.64 / 0.36 + 0.36 / 0.64 + 0.25 / 0.75;
    const Matrix one = fromRows({{0.8}, {0.6}, {0.5}});
    EXPECT_NEAR(factorReliability(identity(3), one.multiply(one.transpose()), one)[0][0], s / (1 + s), 1e-12);
    const Matrix scaled = fromRows({{1.6}, {0.6}, {1.5}});  // variables 1 and 3 scaled by 2 and 3
    const Matrix variances = fromRows({{4.0, 0, 0}, {0, 1.0, 0}, {0, 0, 9.0}});
    EXPECT_NEAR(factorReliability(variances, scaled.multiply(scaled.transpose()), scaled)[0][0], s / (1 + s),
                1e-12);
    const Matrix two = fromRows({{0.8, 0.0}, {0.6, 0.0}, {0.0, 0.7}, {0.0, 0.4}});
    const Matrix rel = factorReliability(identity(4), two.multiply(two.transpose()), two);
    const double s1 = 0.64 / 0.36 + 0.36 / 0.64, s2 = 0.49 / 0.51 + 0.16 / 0.84;
    EXPECT_NEAR(rel[0][0], s1 / (1 + s1), 1e-12);
    EXPECT_NEAR(rel[1][0], s2 / (1 + s2), 1e-12);
}

}  // namespace
}  // namespace talvex
