#include <gtest/gtest.h>

#include <cmath>

#include "extraction_fixture.h"
#include "stats/extraction/uls_pca.h"

namespace talvex {
namespace {

using extraction_testing::ReferenceFixture;
using talvex::testing::fromRows;
using talvex::testing::MatrixNear;
using UlsPcaTest = talvex::testing::PoolTest;

const char* const kDataSets[] = {"bfi25", "harman74"};

// Largest difference after giving each column of `actual` the sign that
// best matches `expected`.
double columnSignDistance(const Matrix& actual, const Matrix& expected) {
    double worst = 0.0;
    for (int j = 0; j < actual.cols(); ++j) {
        double dot = 0.0;
        for (int i = 0; i < actual.rows(); ++i) dot += actual[i][j] * expected[i][j];
        for (int i = 0; i < actual.rows(); ++i)
            worst = std::max(worst, std::fabs((dot < 0 ? -1.0 : 1.0) * actual[i][j] - expected[i][j]));
    }
    return worst;
}

// Reference: psych::principal(rotate = "none") and eigen() in R.
TEST_F(UlsPcaTest, PcaMatchesPrincipalComponentsOfBothReferenceMatrices) {
    const auto& fixture = ReferenceFixture::instance();
    for (const std::string name : kDataSets) {
        const Matrix r = fixture.matrix(name);
        double leading = 0.0;
        for (int k = 1; k <= 5; ++k) {
            SCOPED_TRACE(name + " k=" + std::to_string(k));
            MatrixScope scope;
            leading += fixture.values("eigen " + name)[static_cast<std::size_t>(k - 1)];
            const PcaSolution pca = extractPca(r, k);
            const Matrix expected = fixture.block("pca " + name + " " + std::to_string(k), r.rows(), k);
            EXPECT_LT(columnSignDistance(pca.loadings, expected), 1e-8);
            EXPECT_NEAR(pca.explained, leading, 1e-9);
            // Weights reproduce the loadings through R and are their dual: R W = A and W'A = I.
            EXPECT_THAT(r.multiply(pca.weights), MatrixNear(pca.loadings, 1e-10));
            EXPECT_THAT(pca.weights.transpose().multiply(pca.loadings), MatrixNear(identity(k), 1e-10));
        }
    }
}

// Reference: psych::fa(fm = "uls" and "minres", rotate = "none"); both minimise
// the off-diagonal residuals, so both give our communalities. Loadings are
// unique only up to rotation: L L' is compared, not L.
TEST_F(UlsPcaTest, UlsCommunalitiesAndCommonPartMatchPsych) {
    const auto& fixture = ReferenceFixture::instance();
    for (const std::string name : kDataSets) {
        int n = 0;
        const Matrix r = fixture.matrix(name, &n);
        const int p = r.rows();
        for (int k = 1; k <= 5; ++k) {
            SCOPED_TRACE(name + " k=" + std::to_string(k));
            MatrixScope scope;
            const std::string suffix = name + " " + std::to_string(k);
            const UlsSolution uls = extractUls(r, k, 1e-8, n);
            EXPECT_GT(uls.sweeps, 0);
            const Matrix h = uls.loadings.rowSumsOfSquares();
            if (name == "harman74" && k == 5) {
                // From the principal-component start the sweeps reach a Heywood
                // row and stay at that bounded local minimum, where psych's
                // optimiser finds an interior one (largest communality 0.78).
                EXPECT_NEAR(h.maxElement(), 1.0, 1e-9);
                continue;
            }
            for (const std::string method : {"uls ", "minres "})
                EXPECT_THAT(h, MatrixNear(fixture.block(method + suffix, p, 1), 5e-4)) << method;
            const Matrix common = uls.loadings.multiply(uls.loadings.transpose());
            const std::vector<double>& fitted = fixture.values("ulsfit " + suffix);
            std::size_t at = 0;
            for (int j = 0; j < p; ++j)
                for (int i = j + 1; i < p; ++i) EXPECT_NEAR(common[i][j], fitted[at++], 5e-4);
            // psych's loadings differ in the fourth decimal, so the chi-square
            // of the fitted matrix agrees to about 0.1%.
            ASSERT_TRUE(uls.chiSquare.has_value());
            const double chi = fixture.values("ulschi " + suffix)[0];
            EXPECT_NEAR(*uls.chiSquare, chi, 2e-3 * chi + 1e-6);
            // Principal axes: orthogonal columns with decreasing sums of squares.
            const Matrix cross = uls.loadings.transpose().multiply(uls.loadings);
            for (int a = 0; a < k; ++a)
                for (int b = 0; b < k; ++b) {
                    if (a != b) { EXPECT_NEAR(cross[a][b], 0.0, 1e-10); }
                    if (b == a + 1) { EXPECT_GE(cross[a][a], cross[b][b]); }
                }
        }
    }
}

// Reference: bounded optimisation in R (L-BFGS-B) of the same loss with
// |l_i| <= sqrt(R_ii); variable 1 is a Heywood case held at the bound.
TEST_F(UlsPcaTest, UlsOneFactorHeywoodRowIsHeldAtTheVariance) {
    const auto& fixture = ReferenceFixture::instance();
    for (const char* key : {"heywood1", "heywood1cov"}) {
        SCOPED_TRACE(key);
        const Matrix r = fixture.block(key, 4, 4), expected = fixture.block(key, 4, 1, 16);
        const UlsSolution uls = extractUls(r, 1, 1e-8, 200);
        EXPECT_LT(columnSignDistance(uls.loadings, expected), 1e-5);
        EXPECT_NEAR(uls.loadings[0][0] * uls.loadings[0][0], r[0][0], 1e-12);
        // Reversing variable 1 reverses its loading only: the bounded row keeps
        // the sign of its unconstrained loading.
        Matrix reversed = r.copy(), flipped = expected.copy();
        for (int i = 1; i < 4; ++i) reversed[0][i] = reversed[i][0] = -r[0][i];
        flipped[0][0] = -expected[0][0];
        const UlsSolution other = extractUls(reversed, 1, 1e-8, 200);
        EXPECT_LT(columnSignDistance(other.loadings, flipped), 1e-5);
    }
}

// Reference: BFGS in R with row 1 on the unit circle; the common part L L' is
// rotation invariant. The run's tolerance (1e-8) stops within 1e-4 of the
// optimum; a tight one reaches it.
TEST_F(UlsPcaTest, UlsTwoFactorHeywoodRowUsesTheUnitNormSolution) {
    const auto& fixture = ReferenceFixture::instance();
    const UlsSolution uls = extractUls(fixture.block("heywood2", 6, 6), 2, 1e-15, 0);
    const Matrix common = uls.loadings.multiply(uls.loadings.transpose());
    EXPECT_THAT(common, MatrixNear(fixture.block("heywood2", 6, 6, 36), 1e-5));
    EXPECT_NEAR(common[0][0], 1.0, 1e-9);
}

// R = λλ' is fitted off its diagonal by the principal-component start
// itself, so no sweep is made. A tolerance that no change of the loss can
// fail to beat runs into the limit: the sweep after the 1000th is the last.
TEST_F(UlsPcaTest, UlsSweepCountFromNoneToTheLimit) {
    const Matrix lambda = fromRows({{0.8}, {0.6}, {0.7}, {0.5}});
    const UlsSolution exact = extractUls(lambda.multiply(lambda.transpose()), 1, 1e-8, 0);
    EXPECT_EQ(exact.sweeps, 0);
    EXPECT_LT(columnSignDistance(exact.loadings, lambda), 1e-12);
    EXPECT_EQ(extractUls(ReferenceFixture::instance().matrix("harman74"), 2, -1.0, 0).sweeps, 1001);
}

// With one column the constraint alone fixes x = 1. The hard case: y without
// a component on the smallest singular direction. With B = diag(2, 1): loss
// (2 x1 - y1)² + x2² on the unit circle = 3 x1² - 4 x1 y1 + y1² + 1,
// minimised at x1 = min(1, 2 y1 / 3).
TEST_F(UlsPcaTest, RowUnitNormClosedForms) {
    const Matrix one = solveRowUnitNorm(fromRows({{0.0}, {0.7}, {0.5}}), fromRows({{0.0}, {-0.9}, {-0.8}}));
    ASSERT_EQ(one.rows(), 1);
    EXPECT_EQ(one[0][0], 1.0);
    const Matrix b = fromRows({{2.0, 0.0}, {0.0, 1.0}});
    const Matrix inside = solveRowUnitNorm(b, fromRows({{0.5}, {0.0}}));
    EXPECT_NEAR(inside[0][0], 1.0 / 3.0, 1e-12);
    EXPECT_NEAR(std::fabs(inside[1][0]), std::sqrt(8.0 / 9.0), 1e-12);
    const Matrix searched = solveRowUnitNorm(b, fromRows({{2.0}, {0.0}}));
    EXPECT_NEAR(searched[0][0], 1.0, 1e-9);
    EXPECT_NEAR(searched[1][0], 0.0, 1e-6);
}

// Reflected when the largest loading is negative (every loading negative);
// a positive maximum keeps the column even if the loading of largest size is
// negative. The operand is left unchanged.
TEST_F(UlsPcaTest, OneFactorSignRule) {
    const Matrix negative = fromRows({{-0.5}, {-0.7}, {-0.2}}), mixed = fromRows({{-0.9}, {0.1}, {-0.3}});
    EXPECT_THAT(reflectSingleFactor(negative), MatrixNear(fromRows({{0.5}, {0.7}, {0.2}}), 0.0));
    EXPECT_EQ(negative[0][0], -0.5);
    EXPECT_THAT(reflectSingleFactor(mixed), MatrixNear(mixed, 0.0));
}

}  // namespace
}  // namespace talvex
