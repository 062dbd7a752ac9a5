#include "stats/imputation/imputed_scores.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "stats/dispersion/correlation.h"
#include "stats/dispersion/polychoric.h"
#include "stats/extraction/uls_pca.h"
#include "support/matrix_testing.h"
#include "support/report_testing.h"

namespace talvex {
namespace {

using testing::MatrixNear;

class ImputedScoresTest : public testing::PoolTest {};

// A one-factor analysis of six Likert items of bfi25.dat (rows from `first`),
// as analyseImputed leaves it: data, thresholds, loadings as pattern,
// uniquenesses.
ImputedSet oneFactorSet(int first) {
    ImputedSet set;
    set.data = testing::toMatrix(testing::readRows(testing::referencePath("bfi25.dat")))
                   .submatrix(first + 1, 1, first + 150, 6);
    const Matrix low = constant(6, 1, 1), high = constant(6, 1, 6);
    set.thresholds = Matrix(6, 5);
    Matrix tables(15 * 6, 6), record(16, 2);
    set.dispersion = polychoricMatrix(set.data, low, high, set.thresholds, tables, record);
    set.lowestScore = 1;
    set.pattern = extractUls(set.dispersion, 1, 1e-8, 150).loadings;
    set.factorCorrelations = identity(1);
    set.uniqueness = zeros(6);
    for (int i = 0; i < 6; ++i) set.uniqueness[i][i] = 1 - set.pattern[i][0] * set.pattern[i][0];
    return set;
}

TEST_F(ImputedScoresTest, IdenticalSetsPoolToTheScoresOfOne) {
    const ImputedSet one = oneFactorSet(0);
    ImputedAnalysis analysis;
    analysis.sets.assign(5, one);
    // No spread between the sets: each pooled value is the set's own.
    const EapScores single = eapScores(one.data, one.pattern, one.thresholds, one.uniqueness, 1);
    const EapScores pooled = imputedEapScores(analysis);
    EXPECT_THAT(pooled.eap, MatrixNear(single.eap, 1e-12));
    EXPECT_THAT(pooled.posteriorSd, MatrixNear(single.posteriorSd, 1e-12));
    EXPECT_THAT(pooled.reliability, MatrixNear(single.reliability, 1e-12));
    EXPECT_THAT(pooled.lower, MatrixNear(single.lower, 1e-12));
    EXPECT_THAT(pooled.upper, MatrixNear(single.upper, 1e-12));
    EXPECT_THAT(imputedFactorScores(analysis),
                MatrixNear(factorScores(one.data, one.pattern, one.factorCorrelations), 1e-12));
    EXPECT_THAT(imputedPersonFit(analysis).lc, MatrixNear(personFitOfData(one.data), 1e-12));
}

TEST_F(ImputedScoresTest, SpreadBetweenSetsWidensThePooledPosterior) {
    // Five different samples of 150 participants stand in for five imputed
    // versions of one: participant i of each set is a different person, so
    // the EAP scores spread between the sets.
    ImputedAnalysis analysis;
    for (int k = 0; k < 5; ++k) analysis.sets.push_back(oneFactorSet(150 * k));
    std::vector<EapScores> each;
    for (const ImputedSet& s : analysis.sets)
        each.push_back(eapScores(s.data, s.pattern, s.thresholds, s.uniqueness, 1));
    const EapScores pooled = imputedEapScores(analysis);
    const Matrix lc = imputedPersonFit(analysis).lc;
    for (int i = 0; i < 150; ++i) {
        double mean = 0, within = 0, lcMean = 0;
        for (int k = 0; k < 5; ++k) {
            mean += each[k].eap[i][0] / 5;
            within += std::pow(each[k].posteriorSd[i][0], 2) / 5;
            lcMean += personFitOfData(analysis.sets[k].data)[i][0] / 5;
        }
        double between = 0;
        for (int k = 0; k < 5; ++k) between += std::pow(each[k].eap[i][0] - mean, 2) / 4;
        // Rubin (1987): T = W + (1 + 1/5) B.
        const double total = within + 1.2 * between;
        EXPECT_NEAR(pooled.eap[i][0], mean, 1e-12);
        EXPECT_NEAR(pooled.posteriorSd[i][0], std::sqrt(total), 1e-12);
        EXPECT_GE(pooled.posteriorSd[i][0], std::sqrt(within));
        EXPECT_NEAR(pooled.upper[i][0] - pooled.lower[i][0], 2 * 1.96 * std::sqrt(total), 1e-12);
        EXPECT_NEAR(lc[i][0], lcMean, 1e-12);
    }
}

}  // namespace
}  // namespace talvex
