#include "stats/imputation/imputed_scores.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "stats/dispersion/polychoric.h"
#include "stats/extraction/uls_pca.h"
#include "support/matrix_testing.h"
#include "support/report_testing.h"

namespace talvex {
namespace {

class ImputedScoresTest : public testing::PoolTest {};

// Five different samples of 150 participants of bfi25.dat (six Likert
// items, one factor) stand in for five imputed versions of one: participant
// i of each set is a different person, so the EAP scores spread between
// the sets. Pooled by Rubin's rules (1987): T = W + (1 + 1/5) B.
TEST_F(ImputedScoresTest, PooledPosteriorFollowsRubinsRules) {
    const Matrix all = testing::readMatrix(testing::referencePath("bfi25.dat"));
    ImputedAnalysis analysis;
    std::vector<EapScores> each;
    for (int k = 0; k < 5; ++k) {
        ImputedSet set;
        set.data = all.submatrix(150 * k + 1, 1, 150 * k + 150, 6);
        set.thresholds = Matrix(6, 5);
        Matrix tables(15 * 6, 6), record(16, 2);
        set.dispersion = polychoricMatrix(set.data, constant(6, 1, 1), constant(6, 1, 6),
                                          set.thresholds, tables, record);
        set.lowestScore = 1;
        set.pattern = extractUls(set.dispersion, 1, 1e-8, 150).loadings;
        set.uniqueness = zeros(6);
        for (int i = 0; i < 6; ++i) set.uniqueness[i][i] = 1 - std::pow(set.pattern[i][0], 2);
        each.push_back(eapScores(set.data, set.pattern, set.thresholds, set.uniqueness, 1));
        analysis.sets.push_back(set);
    }
    const EapScores pooled = imputedEapScores(analysis);
    for (int i = 0; i < 150; ++i) {
        double mean = 0, within = 0, between = 0;
        for (const EapScores& e : each) mean += e.eap[i][0] / 5;
        for (const EapScores& e : each)
            within += std::pow(e.posteriorSd[i][0], 2) / 5, between += std::pow(e.eap[i][0] - mean, 2) / 4;
        const double total = within + 1.2 * between;
        EXPECT_NEAR(pooled.eap[i][0], mean, 1e-12);
        EXPECT_NEAR(pooled.posteriorSd[i][0], std::sqrt(total), 1e-12);
        EXPECT_NEAR(pooled.upper[i][0] - pooled.lower[i][0], 2 * 1.96 * std::sqrt(total), 1e-12);
    }
}

}  // namespace
}  // namespace talvex
