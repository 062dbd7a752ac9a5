// Factor scores, EAP scores and person fit against tests/reference/
// scores_reference.R (base R transcriptions and psych), closed forms and
// hand calculations.
#include "stats/interpretation/factor_scores.h"

#include <cmath>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "stats/dispersion/correlation.h"
#include "support/matrix_testing.h"
#include "support/report_testing.h"

namespace talvex {
namespace {

using testing::MatrixNear;
using testing::fromRows;

// The named matrices of scores_reference.txt ('matrix NAME ROWS COLS').
class ScoresReference {
public:
    static const ScoresReference& get() {
        static const ScoresReference instance;
        return instance;
    }
    // A new matrix in the caller's scope.
    Matrix operator()(const std::string& name) const {
        const auto& rows = blocks_.at(name);
        return testing::toMatrix(rows);
    }

private:
    ScoresReference() {
        std::ifstream in(testing::referencePath("scores_reference.txt"));
        std::string line, name;
        int remaining = 0;
        while (std::getline(in, line)) {
            if (line.rfind("matrix ", 0) == 0) {
                std::istringstream head(line.substr(7));
                int cols = 0;
                head >> name >> remaining >> cols;
                blocks_[name];
                continue;
            }
            if (remaining == 0 || line.empty() || line[0] == '#') continue;
            std::istringstream fields(line);
            std::vector<double> row;
            double v;
            while (fields >> v) row.push_back(v);
            blocks_[name].push_back(row);
            --remaining;
        }
    }
    std::map<std::string, std::vector<std::vector<double>>> blocks_;
};

class FactorScoresTest : public testing::PoolTest {};

TEST_F(FactorScoresTest, MatchesTheTranscriptionAndPreservesTheFactorCorrelations) {
    const ScoresReference& ref = ScoresReference::get();
    const Matrix phi = ref("ls_phi");
    const Matrix f = factorScores(ref("ls_x"), ref("ls_pattern"), phi);
    EXPECT_THAT(f, MatrixNear(ref("ls_scores"), 1e-9));
    // Mean 0 and covariance (divisor N) equal to Φ.
    EXPECT_THAT(covarianceOf(f), MatrixNear(phi, 1e-10));
    const Matrix means = f.columnSums().divideInt(f.rows());
    EXPECT_THAT(means, MatrixNear(zeros(1, 2), 1e-12));
}

// psych's tenBerge weights premultiply the pattern by R^-1 (regression-type
// weights made correlation preserving); ours weight the standardized items
// by the pattern itself. Both give covariance Φ, and the scores agree
// closely without being equal (see the correlations noted in the reference
// file).
TEST_F(FactorScoresTest, StaysCloseToTenBergeScoresOfPsychWithoutEqualingThem) {
    const ScoresReference& ref = ScoresReference::get();
    const Matrix f = factorScores(ref("ls_x"), ref("ls_pattern"), ref("ls_phi"));
    const Matrix tb = ref("ls_tenberge");
    const Matrix both = f.joinRight(tb);
    const Matrix r = correlationOf(both);
    EXPECT_GT(r[0][2], 0.98);
    EXPECT_GT(r[1][3], 0.99);
    EXPECT_GT(f.subtract(tb).elementAbs().maxElement(), 0.1);
}

TEST_F(FactorScoresTest, OneFactorIsTheStandardizedCompositeOverItsSd) {
    // Hand calculation: x has standardized columns z1 = (-1, 1, -1, 1),
    // z2 = (-1, -1, 1, 1) (r12 = 0), so λᵀRλ = 0.8² + 0.6² = 1 and f = Zλ.
    const Matrix x = fromRows({{1, 10}, {3, 10}, {1, 20}, {3, 20}});
    const Matrix f = factorScores(x, fromRows({{0.8}, {0.6}}), identity(1));
    EXPECT_THAT(f, MatrixNear(fromRows({{-1.4}, {0.2}, {-0.2}, {1.4}}), 1e-12));
    // Doubling the loadings leaves the scores unchanged.
    EXPECT_THAT(factorScores(x, fromRows({{1.6}, {1.2}}), identity(1)),
                MatrixNear(f, 1e-12));
}

// ---------------------------------------------------------------------------
// EAP

TEST_F(FactorScoresTest, QuadratureNodeCountsAndWeights) {
    struct Case {
        int factors, nodes;
        bool skipped;
    };
    for (const Case c : {Case{1, 20, false}, Case{2, 20, false}, Case{3, 15, false},
                         Case{4, 10, false}, Case{5, 10, false}, Case{6, 10, false},
                         Case{7, 10, true}}) {
        SCOPED_TRACE(c.factors);
        const EapQuadrature g = eapQuadrature(c.factors);
        ASSERT_EQ(static_cast<int>(g.nodes.size()), c.nodes);
        EXPECT_DOUBLE_EQ(g.nodes.front(), -4.0);
        EXPECT_NEAR(g.nodes.back(), 4.0, 1e-12);
        EXPECT_EQ(g.points() > kEapMaxGridPoints, c.skipped);
        // The weights are a Riemann sum of the normal density: close to 1.
        double sum = 0.0;
        for (const double w : g.weights) sum += w;
        EXPECT_NEAR(sum, 1.0, 2e-3);
    }
}

TEST_F(FactorScoresTest, EapMatchesTheTranscriptionForOneTwoAndThreeFactors) {
    const ScoresReference& ref = ScoresReference::get();
    for (int m = 1; m <= 3; ++m) {
        SCOPED_TRACE(m);
        const std::string key = "eap" + std::to_string(m) + "_";
        const Matrix x = ref(key + "x");
        const Matrix pattern = ref(key + "pattern");
        const Matrix tau = ref(key + "thresholds");
        const Matrix expected = ref(key + "result");
        std::int64_t ticked = 0;
        const EapScores s = eapScores(x, pattern, tau, ref(key + "psi"), 1,
                                      [&](std::int64_t points) { ticked += points; });
        ASSERT_FALSE(s.skipped);
        EXPECT_TRUE(s.flooredItems.empty());
        EXPECT_EQ(ticked, x.rows() * static_cast<std::int64_t>(eapQuadrature(m).points()));
        EXPECT_THAT(s.eap, MatrixNear(expected.columnBlock(0, m), 1e-9));
        EXPECT_THAT(s.posteriorSd, MatrixNear(expected.columnBlock(1, m), 1e-9));
        EXPECT_THAT(s.reliability, MatrixNear(expected.columnBlock(2, m), 1e-9));
        EXPECT_THAT(s.lower, MatrixNear(s.eap.subtract(s.posteriorSd.scale(1.96)), 1e-12));
        EXPECT_THAT(s.upper, MatrixNear(s.eap.add(s.posteriorSd.scale(1.96)), 1e-12));
        for (int i = 0; i < x.rows(); ++i) EXPECT_TRUE(s.computable[static_cast<std::size_t>(i)]);
        // Participant 1 answers the lowest score everywhere: below 0 on every
        // factor with positive loadings (the first).
        EXPECT_LT(s.eap[0][0], 0.0);
        EXPECT_GT(s.eap[1][0], 0.0);
    }
}

TEST_F(FactorScoresTest, EapPosteriorOfOneParticipantAgreesWithTheTable) {
    const ScoresReference& ref = ScoresReference::get();
    const Matrix x = ref("eap2_x");
    const Matrix psi = ref("eap2_psi");
    const Matrix expected = ref("eap2_result");
    std::vector<double> sigma;
    for (int i = 0; i < psi.rows(); ++i) sigma.push_back(std::sqrt(psi[i][i]));
    for (int s = 0; s < x.rows(); ++s) {
        std::vector<int> responses;
        for (int i = 0; i < x.cols(); ++i) responses.push_back(static_cast<int>(x[s][i]) - 1);
        const EapPosterior p = eapPosterior(responses, ref("eap2_pattern"), ref("eap2_thresholds"),
                                            sigma, eapQuadrature(2));
        ASSERT_TRUE(p.computable);
        for (int k = 0; k < 2; ++k) {
            EXPECT_NEAR(p.eap[static_cast<std::size_t>(k)], expected[s][k], 1e-9);
            EXPECT_NEAR(p.sd[static_cast<std::size_t>(k)], expected[s][2 + k], 1e-9);
            EXPECT_NEAR(p.reliability[static_cast<std::size_t>(k)], expected[s][4 + k], 1e-9);
        }
    }
}

TEST_F(FactorScoresTest, EapRecodesFromTheCommonLowestScore) {
    // The same responses written on a scale that starts at 3 give the same
    // scores when the common lowest score is 3; item 6 never uses the
    // lowest score and must not be shifted down by its own minimum.
    const ScoresReference& ref = ScoresReference::get();
    const Matrix x = ref("eap1_x").addScalar(2.0);
    const EapScores s =
        eapScores(x, ref("eap1_pattern"), ref("eap1_thresholds"), ref("eap1_psi"), 3);
    EXPECT_THAT(s.eap, MatrixNear(ref("eap1_result").columnBlock(0, 1), 1e-9));
}

TEST_F(FactorScoresTest, LongResponseVectorsDoNotUnderflow) {
    // 1,500 items: the plain product of the probabilities is 0 at every node.
    const int p = 1500;
    Matrix x(1, p), pattern(p, 1), tau(p, 3), psi(p, p);
    for (int i = 0; i < p; ++i) {
        x[0][i] = i % 4;
        pattern[i][0] = 0.6;
        tau[i][0] = -1.0;
        tau[i][1] = 0.0;
        tau[i][2] = 1.0;
        psi[i][i] = 1.0 - 0.36;
    }
    const EapScores s = eapScores(x, pattern, tau, psi, 0);
    ASSERT_TRUE(s.computable[0]);
    const Matrix expected = ScoresReference::get()("eap_long_result");
    EXPECT_NEAR(s.eap[0][0], expected[0][0], 1e-8);
    EXPECT_NEAR(s.posteriorSd[0][0], expected[0][1], 1e-8);
    EXPECT_NEAR(s.reliability[0][0], expected[0][2], 1e-8);
}

TEST_F(FactorScoresTest, AResponseInACategoryWithoutWidthIsNotComputable) {
    // Item 1's second and third thresholds coincide: its category 2 has
    // probability 0 everywhere, so participant 2's weights vanish.
    const Matrix x = fromRows({{0, 1}, {2, 1}, {3, 3}});
    const Matrix pattern = fromRows({{0.7}, {0.6}});
    const Matrix tau = fromRows({{-1, 0.5, 0.5}, {-1, 0, 1}});
    const Matrix psi = fromRows({{0.51, 0}, {0, 0.64}});
    const EapScores s = eapScores(x, pattern, tau, psi, 0);
    EXPECT_TRUE(s.computable[0]);
    EXPECT_FALSE(s.computable[1]);
    EXPECT_TRUE(s.computable[2]);
    const std::string text = testing::captureReport(
        [&](ReportWriter& r) { writeEapScores(r, {4, 7, 9}, s, true, false); });
    EXPECT_EQ(text.find("nan"), std::string::npos);
    // Once in the scores and once in the precision table of the factor.
    std::size_t count = 0;
    for (std::size_t at = text.find("   7        "); at != std::string::npos;
         at = text.find("   7        ", at + 1)) {
        EXPECT_EQ(text.compare(at + 12, 16, "  not computable"), 0);
        ++count;
    }
    EXPECT_EQ(count, 2u);
}

TEST_F(FactorScoresTest, NonPositiveUniquenessIsFlooredAndNamed) {
    const Matrix x = fromRows({{0, 1}, {1, 0}, {1, 1}});
    const Matrix pattern = fromRows({{1.0}, {0.6}});
    const Matrix tau = fromRows({{0.0}, {0.2}});
    const EapScores negative = eapScores(x, pattern, tau, fromRows({{-0.02, 0}, {0, 0.64}}), 0);
    const EapScores atFloor =
        eapScores(x, pattern, tau, fromRows({{kUniquenessFloor, 0}, {0, 0.64}}), 0);
    EXPECT_EQ(negative.flooredItems, std::vector<int>{0});
    EXPECT_TRUE(atFloor.flooredItems.empty());
    EXPECT_THAT(negative.eap, MatrixNear(atFloor.eap, 0.0));
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(std::isfinite(negative.eap[i][0]));
    // A uniqueness of exactly 0, or a positive one below the floor, is raised too.
    for (const double psi : {0.0, 0.001}) {
        const EapScores raised = eapScores(x, pattern, tau, fromRows({{psi, 0}, {0, 0.64}}), 0);
        EXPECT_EQ(raised.flooredItems, std::vector<int>{0}) << psi;
        EXPECT_THAT(raised.eap, MatrixNear(atFloor.eap, 0.0)) << psi;
    }
}

TEST_F(FactorScoresTest, GridsBeyondAMillionPointsAreSkippedWithAWarning) {
    const int m = 7;
    Matrix pattern(3, m), tau(3, 1), psi = identity(3);
    for (int i = 0; i < 3; ++i) pattern[i][i] = 0.5;
    const EapScores s = eapScores(zeros(2, 3), pattern, tau, psi, 0);
    EXPECT_TRUE(s.skipped);
    EXPECT_FALSE(s.eap.valid());
    const std::string text = testing::captureReport(
        [&](ReportWriter& r) { writeEapScores(r, {1, 2}, s, true, false); });
    EXPECT_NE(text.find("WARNING: EAP scores are not computed: with 7 factors"), std::string::npos);
    EXPECT_NE(text.find("10000000 points"), std::string::npos);
    EXPECT_EQ(text.find("PRECISION"), std::string::npos);
    // Six factors: 10 nodes each, exactly a million points, still computed.
    Matrix pattern6(2, 6), tau6(2, 1);
    pattern6[0][0] = 0.6;
    pattern6[1][5] = 0.6;
    const EapScores six = eapScores(fromRows({{1, 0}}), pattern6, tau6, identity(2), 0);
    ASSERT_FALSE(six.skipped);
    EXPECT_TRUE(six.computable[0]);
    EXPECT_GT(six.eap[0][0], 0.0);
    EXPECT_LT(six.eap[0][5], 0.0);
    EXPECT_NEAR(six.eap[0][2], 0.0, 1e-12);
}

// ---------------------------------------------------------------------------
// Person fit

TEST_F(FactorScoresTest, LcWeighsResidualsByTheUniqueVariances) {
    // Hand calculation, p = 3: means (1, 2, 3); participant 1 has centred
    // scores (1, 0, -2), f = 0.5, λ = (1, 2, 2): r = (0.5, -1, -3); d =
    // (0.5, 1, 2): Q = 0.25/0.25 + 1/1 + 9/4 = 4.25, lc = √8.5 − √3.
    const Matrix x = fromRows({{2, 2, 1}, {0, 2, 5}});
    const Matrix d = fromRows({{0.5, 0, 0}, {0, 1, 0}, {0, 0, 2}});
    const Matrix lambda = fromRows({{1}, {2}, {2}});
    const Matrix f = fromRows({{0.5}, {-0.5}});
    const Matrix lc = personFitLc(x, d, lambda, f);
    EXPECT_NEAR(lc[0][0], std::sqrt(8.5) - std::sqrt(3.0), 1e-12);
    // Participant 2: centred (-1, 0, 2), r = (-0.5, 1, 3), the same Q.
    EXPECT_NEAR(lc[1][0], std::sqrt(8.5) - std::sqrt(3.0), 1e-12);
}

TEST_F(FactorScoresTest, PersonFitOfDataMatchesTheReference) {
    const ScoresReference& ref = ScoresReference::get();
    const PersonFit fit = personFitWithFloors(ref("fit_x"));
    EXPECT_TRUE(fit.flooredItems.empty());
    EXPECT_THAT(fit.lc, MatrixNear(ref("fit_lc"), 2e-4));
    EXPECT_THAT(personFitOfData(ref("fit_x")), MatrixNear(fit.lc, 0.0));
}

TEST_F(FactorScoresTest, PersonFitDoesNotDependOnTheUnitOfTheScores) {
    const ScoresReference& ref = ScoresReference::get();
    const Matrix x = ref("fit_x");
    EXPECT_THAT(personFitOfData(x.scale(10.0).addScalar(-3.0)),
                MatrixNear(personFitOfData(x), 1e-4));
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
