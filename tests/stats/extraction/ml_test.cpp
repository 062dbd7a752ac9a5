#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "ml_mrfa_fixture.h"
#include "stats/extraction/fit.h"
#include "stats/extraction/ml.h"
#include "support/matrix_testing.h"

namespace talvex {
namespace {

using extraction_testing::MlMrfaReference;
using talvex::testing::fromRows;
using MlTest = talvex::testing::PoolTest;

Matrix fittedMatrix(const Matrix& r, const Matrix& loadings) {
    Matrix sigma = loadings.multiply(loadings.transpose());
    for (int i = 0; i < r.rows(); ++i) sigma[i][i] = r[i][i];
    return sigma;
}

struct MlCase {
    const char* set;
    int factors;
};

// factanal (stats, R) with a tight optimiser tolerance: uniquenesses, the
// discrepancy F and Bartlett's chi-square. harman74 with one factor is the
// case whose first plain Newton step overshoots to the uniqueness bound;
// thurstonesmall is a covariance matrix with variances 0.0009, whose
// uniquenesses (about 0.0002) lie below the absolute 0.001.
const MlCase kMlCases[] = {
    {"harman74", 1}, {"harman74", 2}, {"harman74", 3}, {"ability", 1},   {"ability", 2},
    {"thurstone", 1}, {"thurstone", 2}, {"thurstone", 3}, {"thurstonesmall", 3},
};

TEST_F(MlTest, UniquenessesAndChiSquareMatchFactanal) {
    const auto& reference = MlMrfaReference::instance();
    for (const MlCase& c : kMlCases) {
        const std::string key = std::string(c.set) + " " + std::to_string(c.factors);
        SCOPED_TRACE(key);
        MatrixScope scope;
        int n = 0;
        const Matrix r = reference.matrix(c.set, &n);
        const MlSolution ml = extractMl(r, c.factors);
        ASSERT_TRUE(ml.converged());
        ASSERT_EQ(ml.loadings.rows(), r.rows());
        ASSERT_EQ(ml.loadings.cols(), c.factors);
        const std::vector<double>& psi = reference.values("mlpsi " + key);
        for (int i = 0; i < r.rows(); ++i) {
            // The unique variances of the loadings and the last uniquenesses.
            const double unique = r[i][i] - ml.loadings.rowSumsOfSquares()[i][0];
            EXPECT_NEAR(unique, psi[static_cast<std::size_t>(i)], 2e-4 * r[i][i]) << "variable " << i;
            EXPECT_NEAR(ml.uniquenesses[i][0], psi[static_cast<std::size_t>(i)], 2e-4 * r[i][i]);
        }
        const std::vector<double>& fit = reference.values("mlfit " + key);
        EXPECT_NEAR(ml.discrepancy, fit[0], 1e-6);
        const FitStatistics s = mlFitStatistics(ml.loadings, r, fittedMatrix(r, ml.loadings), n);
        EXPECT_NEAR(s.chiSquare, fit[1], 1e-6 * fit[1]);
        EXPECT_EQ(s.df, static_cast<int>(fit[2]));
    }
}

// Failures, with the reason known in closed form.
TEST_F(MlTest, HeywoodCasesFail) {
    struct Case {
        const char* what;
        Matrix r;
        int factors;
    };
    const Case cases[] = {
        // One factor exactly identified: l3² = r13 r23 / r12 = .81/.8 > 1,
        // so the uniqueness of variable 3 must go below any bound.
        {"3 variables, l3 > 1", fromRows({{1, .8, .9}, {.8, 1, .9}, {.9, .9, 1}}), 1},
        // The same matrix with a variance of 4 for every variable.
        {"the same, covariances", fromRows({{4, 3.2, 3.6}, {3.2, 4, 3.6}, {3.6, 3.6, 4}}), 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const MlSolution ml = extractMl(c.r, c.factors);
        EXPECT_FALSE(ml.converged());
        EXPECT_FALSE(ml.uniquenesses.valid());
        EXPECT_EQ(ml.discrepancy, 0.0);
    }
}

// F = tr(S Σ⁻¹) − ln det(S Σ⁻¹) − p: 0 when Σ = S; for diagonal matrices
// Σ(d/s) − Σ ln(d/s) − p by hand.
TEST_F(MlTest, DiscrepancyClosedForms) {
    const Matrix loadings = fromRows({{0.6}, {0.8}});
    const Matrix psi2 = fromRows({{0.64}, {0.36}});
    const Matrix s = fromRows({{1.0, 0.48}, {0.48, 1.0}});
    EXPECT_NEAR(mlDiscrepancy(loadings, psi2, s), 0.0, 1e-12);

    const Matrix none = fromRows({{0.0}, {0.0}});
    const Matrix diagonal = fromRows({{2.0, 0.0}, {0.0, 3.0}});
    const Matrix unique = fromRows({{1.0}, {4.0}});
    const double expected = (2.0 + 0.75) - (std::log(2.0) + std::log(0.75)) - 2;
    EXPECT_NEAR(mlDiscrepancy(none, unique, diagonal), expected, 1e-12);
}

}  // namespace
}  // namespace talvex
