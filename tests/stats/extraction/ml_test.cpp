#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "extraction_fixture.h"
#include "stats/extraction/fit.h"
#include "stats/extraction/ml.h"
#include "support/matrix_testing.h"

namespace talvex {
namespace {

using extraction_testing::ReferenceFixture;
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
    {"harman74", 1}, {"harman74", 3}, {"ability", 2}, {"thurstone", 2}, {"thurstonesmall", 3},
};

TEST_F(MlTest, UniquenessesAndChiSquareMatchFactanal) {
    const auto& reference = ReferenceFixture::mlMrfa();
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

// One factor exactly identified: l3² = r13 r23 / r12 = .81/.8 > 1, so the
// uniqueness of variable 3 must go below any bound and the fit fails.
TEST_F(MlTest, HeywoodCaseFails) {
    const MlSolution ml = extractMl(fromRows({{1, .8, .9}, {.8, 1, .9}, {.9, .9, 1}}), 1);
    EXPECT_FALSE(ml.converged());
    EXPECT_FALSE(ml.uniquenesses.valid());
}

}  // namespace
}  // namespace talvex
