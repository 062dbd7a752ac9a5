#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "extraction_fixture.h"
#include "stats/extraction/mrfa.h"
#include "support/matrix_testing.h"

namespace talvex {
namespace {

using extraction_testing::ReferenceFixture;
using talvex::testing::fromRows;
using MrfaTest = talvex::testing::PoolTest;

double smallestEigenvalue(const Matrix& m) {
    MatrixScope scope;
    Matrix values(m.rows(), 1), vectors(m.rows(), m.rows());
    m.eigenSymmetric(values, vectors);
    return values[m.rows() - 1][0];
}

struct MrfaCase {
    const char* set;
    int factors;
};

const MrfaCase kMrfaCases[] = {
    {"thurstone", 3}, {"ability", 2}, {"harman74", 1}, {"harman74", 3},
};

// No other program computes MRFA, so the solution is checked by what
// defines it: the reduced matrix is R with the communalities on its
// diagonal, positive semidefinite, the unexplained common variance is the
// sum of its p - r smallest eigenvalues and its trace minus the explained
// part, and it is not larger than that of feasible points found in R (the
// ULS communalities raised to positive semidefiniteness, and a direct
// numerical minimisation from there with communalities within the
// variances; optimisers stop near, not at, the minimum, hence the
// allowance of 0.002 of the mean variance).
TEST_F(MrfaTest, SolutionHasTheDefiningProperties) {
    const auto& reference = ReferenceFixture::mlMrfa();
    for (const MrfaCase& c : kMrfaCases) {
        const std::string key = std::string(c.set) + " " + std::to_string(c.factors);
        SCOPED_TRACE(key);
        MatrixScope scope;
        const Matrix r = reference.matrix(c.set);
        const int p = r.rows();
        const MrfaSolution mrfa = extractMrfa(r, c.factors, 10);
        ASSERT_TRUE(mrfa.converged());
        const Matrix& m = mrfa.reduced;
        for (int i = 0; i < p; ++i)
            for (int j = 0; j < p; ++j) {
                if (i == j) continue;
                ASSERT_EQ(m[i][j], r[i][j]);
            }
        const double scale = r.trace() / p;
        EXPECT_GE(smallestEigenvalue(m), -1e-10 * scale);

        Matrix values(p, 1), vectors(p, p);
        m.eigenSymmetric(values, vectors);
        double smallest = 0.0;
        for (int i = c.factors; i < p; ++i) smallest += values[i][0];
        EXPECT_NEAR(mrfa.unexplained, smallest, 1e-9 * scale);
        EXPECT_NEAR(m.trace() - mrfa.loadings.sumOfSquares(), mrfa.unexplained, 1e-9 * scale);
        // The loadings are the principal axes: L'L holds the r largest
        // eigenvalues.
        const Matrix gram = mrfa.loadings.transpose().multiply(mrfa.loadings);
        for (int k = 0; k < c.factors; ++k) EXPECT_NEAR(gram[k][k], values[k][0], 1e-9 * scale);

        const std::vector<double>& bound = reference.values("mrfabound " + key);
        EXPECT_LE(mrfa.unexplained, bound[0]);
        EXPECT_LE(mrfa.unexplained, bound[1] + 0.002 * scale);
    }
}

// A variable uncorrelated with all others gets weight 0 when its
// eigenvector lies among the r largest; the search must still succeed.
TEST_F(MrfaTest, UncorrelatedVariableDoesNotStopTheSearch) {
    const Matrix thurstone = ReferenceFixture::mlMrfa().matrix("thurstone");
    const int p = 6;
    Matrix r = zeros(p, p);
    for (int i = 0; i < p - 1; ++i)
        for (int j = 0; j < p - 1; ++j) r[i][j] = thurstone[i][j];
    r[p - 1][p - 1] = 1.0;
    for (int factors = 1; factors <= 2; ++factors) {
        SCOPED_TRACE(factors);
        MatrixScope scope;
        const MrfaSolution mrfa = extractMrfa(r, factors, 3);
        ASSERT_TRUE(mrfa.converged());
        for (int i = 0; i < p; ++i) {
            EXPECT_TRUE(std::isfinite(mrfa.reduced[i][i]));
            for (int k = 0; k < factors; ++k) EXPECT_TRUE(std::isfinite(mrfa.loadings[i][k]));
        }
        EXPECT_GE(smallestEigenvalue(mrfa.reduced), -1e-10);
    }
}

// Weighted lower bound in closed form: the smallest trace of a diagonal
// that makes the matrix positive semidefinite is 2|r| for [[a, r], [r, b]]
// (d1 d2 >= r² at d1 = d2 = |r|), and p·rho for p variables with equal
// correlations rho > 0 (the rank-one matrix rho·11').
TEST_F(MrfaTest, WeightedBoundClosedForms) {
    struct Case {
        const char* what;
        Matrix aw;
        double trace;
    };
    const Case cases[] = {
        {"2 x 2, r = -.3, unequal diagonal", fromRows({{2, -.3}, {-.3, .5}}), 0.6},
        {"4 x 4, rho = .2",
         fromRows({{1, .2, .2, .2}, {.2, 1, .2, .2}, {.2, .2, 1, .2}, {.2, .2, .2, 1}}), 0.8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MatrixScope scope;
        const Matrix d = solveWeightedBound(c.aw, 0.001);
        ASSERT_TRUE(d.valid());
        Matrix bounded = c.aw.copy();
        double trace = 0.0;
        for (int i = 0; i < d.rows(); ++i) {
            bounded[i][i] = d[i][0];
            trace += d[i][0];
        }
        EXPECT_GE(smallestEigenvalue(bounded), -0.0001);
        EXPECT_NEAR(trace, c.trace, 0.01);
    }
}

}  // namespace
}  // namespace talvex
