// Factor scores, EAP scores and person fit against tests/reference/
// scores_reference.R (base R transcriptions and psych), closed forms and
// hand calculations.
#include "stats/interpretation/factor_scores.h"

#include <cmath>
#include <fstream>
#include <numeric>
#include <sstream>
#include <string>

#include "stats/dispersion/correlation.h"
#include "support/matrix_testing.h"
#include "support/report_testing.h"

namespace talvex {
namespace {

using testing::fromRows;
using testing::MatrixNear;

// The matrix NAME of scores_reference.txt ('matrix NAME ROWS COLS', then its rows).
Matrix reference(const std::string& name) {
    std::ifstream in(testing::referencePath("scores_reference.txt"));
    std::string line, word, key;
    int rows = 0, cols = 0;
    while (std::getline(in, line)) {
        std::istringstream head(line);
        if (!(head >> word >> key >> rows >> cols) || word != "matrix" || key != name) continue;
        Matrix m(rows, cols);
        for (int i = 0; i < rows; ++i)
            for (int j = 0; j < cols; ++j) in >> m[i][j];
        return m;
    }
    ADD_FAILURE() << "no reference matrix " << name;
    return Matrix();
}

class FactorScoresTest : public testing::PoolTest {};

TEST_F(FactorScoresTest, MatchesTheTranscriptionAndPreservesTheFactorCorrelations) {
    const Matrix phi = reference("ls_phi");
    const Matrix f = factorScores(reference("ls_x"), reference("ls_pattern"), phi);
    EXPECT_THAT(f, MatrixNear(reference("ls_scores"), 1e-9));
    EXPECT_THAT(covarianceOf(f), MatrixNear(phi, 1e-10));  // divisor N
    // A factor without loadings scores 0 and leaves the others as they were.
    const Matrix pattern = reference("ls_pattern");
    const int k = phi.rows();
    Matrix wider = identity(k + 1);
    for (int i = 0; i < k; ++i)
        for (int j = 0; j < k; ++j) wider[i][j] = phi[i][j];
    const Matrix g = factorScores(reference("ls_x"), pattern.joinRight(Matrix(pattern.rows(), 1)), wider);
    EXPECT_THAT(g.columnBlock(0, k), MatrixNear(f, 1e-9));
    EXPECT_THAT(g.columnBlock(k, 1), MatrixNear(Matrix(f.rows(), 1), 0.0));
}

TEST_F(FactorScoresTest, QuadratureNodeCountsAndWeights) {
    for (const auto& [factors, nodes] : {std::pair{2, 20}, {3, 15}, {4, 10}, {6, 10}, {7, 10}}) {
        const EapQuadrature g = eapQuadrature(factors);
        EXPECT_EQ(static_cast<int>(g.nodes.size()), nodes) << factors;
        EXPECT_EQ(g.points() > kEapMaxGridPoints, factors == 7) << factors;
        // A Riemann sum of the normal density: close to 1.
        EXPECT_NEAR(std::accumulate(g.weights.begin(), g.weights.end(), 0.0), 1.0, 2e-3) << factors;
    }
}

TEST_F(FactorScoresTest, EapMatchesTheTranscriptionForOneTwoAndThreeFactors) {
    for (int m = 1; m <= 3; ++m) {
        SCOPED_TRACE(m);
        const std::string key = "eap" + std::to_string(m) + "_";
        // The responses shifted to a scale starting at m: recoded from the
        // common lowest score, not from each item's own minimum.
        const Matrix x = reference(key + "x").addScalar(m - 1);
        const Matrix expected = reference(key + "result");
        const EapScores s = eapScores(x, reference(key + "pattern"),
                                      reference(key + "thresholds"), reference(key + "psi"), m);
        ASSERT_FALSE(s.skipped);
        EXPECT_THAT(s.eap, MatrixNear(expected.columnBlock(0, m), 1e-9));
        EXPECT_THAT(s.posteriorSd, MatrixNear(expected.columnBlock(1, m), 1e-9));
        EXPECT_THAT(s.reliability, MatrixNear(expected.columnBlock(2, m), 1e-9));
    }
}

TEST_F(FactorScoresTest, LongResponseVectorsDoNotUnderflow) {
    // 1,500 items: the plain product of the probabilities is 0 at every node.
    const int p = 1500;
    Matrix x(1, p), tau(p, 3);
    for (int i = 0; i < p; ++i) {
        x[0][i] = i % 4;
        tau[i][0] = -1.0;
        tau[i][2] = 1.0;
    }
    const EapScores s = eapScores(x, zeros(p, 1).addScalar(0.6), tau, identity(p).scale(0.64), 0);
    ASSERT_TRUE(s.computable[0]);
    EXPECT_THAT(s.eap.joinRight(s.posteriorSd).joinRight(s.reliability),
                MatrixNear(reference("eap_long_result"), 1e-8));
}

TEST_F(FactorScoresTest, UniquenessBelowTheFloorIsRaisedAndNamed) {
    const Matrix x = fromRows({{0, 1}, {1, 0}, {1, 1}});
    const Matrix pattern = fromRows({{1.0}, {0.6}});
    const Matrix tau = fromRows({{0.0}, {0.2}});
    const auto eap = [&](double psi) {
        return eapScores(x, pattern, tau, fromRows({{psi, 0}, {0, 0.64}}), 0);
    };
    const EapScores atFloor = eap(kUniquenessFloor);
    EXPECT_TRUE(atFloor.flooredItems.empty());
    for (const double psi : {-0.02, 0.0, 0.001}) {
        const EapScores raised = eap(psi);
        EXPECT_EQ(raised.flooredItems, std::vector<int>{0}) << psi;
        EXPECT_THAT(raised.eap, MatrixNear(atFloor.eap, 0.0)) << psi;
    }
}

TEST_F(FactorScoresTest, GridsBeyondAMillionPointsAreSkipped) {
    const EapScores s = eapScores(zeros(2, 3), zeros(3, 7), zeros(3, 1), identity(3), 0);
    EXPECT_TRUE(s.skipped);
    // Six factors: 10 nodes each, exactly a million points, still computed.
    Matrix pattern6(2, 6), tau6(2, 1);
    pattern6[0][0] = pattern6[1][5] = 0.6;
    const EapScores six = eapScores(fromRows({{1, 0}}), pattern6, tau6, identity(2), 0);
    ASSERT_FALSE(six.skipped);
    EXPECT_GT(six.eap[0][0], 0.0);
    EXPECT_LT(six.eap[0][5], 0.0);
}

TEST_F(FactorScoresTest, LcWeighsResidualsByTheUniqueVariances) {
    // Hand calculation, p = 3: means (1, 2, 3); participant 1 has centred
    // scores (1, 0, -2), f = 0.5, λ = (1, 2, 2): r = (0.5, -1, -3); d =
    // (0.5, 1, 2): Q = 0.25/0.25 + 1/1 + 9/4 = 4.25, lc = √8.5 − √3.
    // Participant 2 mirrors participant 1.
    const Matrix lc =
        personFitLc(fromRows({{2, 2, 1}, {0, 2, 5}}), fromRows({{0.5, 0, 0}, {0, 1, 0}, {0, 0, 2}}),
                    fromRows({{1}, {2}, {2}}), fromRows({{0.5}, {-0.5}}));
    const double expected = std::sqrt(8.5) - std::sqrt(3.0);
    EXPECT_THAT(lc, MatrixNear(fromRows({{expected}, {expected}}), 1e-12));
}

TEST_F(FactorScoresTest, PersonFitOfDataMatchesTheReference) {
    const PersonFit fit = personFitWithFloors(reference("fit_x"));
    EXPECT_TRUE(fit.flooredItems.empty());
    EXPECT_THAT(fit.lc, MatrixNear(reference("fit_lc"), 2e-4));
}

TEST_F(FactorScoresTest, AHeywoodItemInPersonFitIsFlooredAtItsScale) {
    // Item 3 is item 1 plus a tiny perturbation: one factor leaves it (almost)
    // no unique variance.
    std::mt19937 gen(7);
    std::normal_distribution<double> normal;
    Matrix x(60, 4);
    for (int i = 0; i < 60; ++i) {
        const double f = normal(gen);
        x[i][0] = 10.0 * (f + 0.05 * normal(gen));
        x[i][1] = 10.0 * (0.6 * f + 0.8 * normal(gen));
        x[i][2] = x[i][0] + 1e-9 * normal(gen);
        x[i][3] = 10.0 * (0.5 * f + 0.85 * normal(gen));
    }
    const PersonFit fit = personFitWithFloors(x);
    EXPECT_FALSE(fit.flooredItems.empty());
    for (int i = 0; i < 60; ++i) EXPECT_TRUE(std::isfinite(fit.lc[i][0])) << i;
    // The floor is relative to the item's variance: a change of unit leaves
    // the indices as they are.
    const PersonFit small = personFitWithFloors(x.scale(0.01));
    EXPECT_EQ(small.flooredItems, fit.flooredItems);
    EXPECT_THAT(small.lc, MatrixNear(fit.lc, 1e-4));
}

}  // namespace
}  // namespace talvex
