// Simplimax on loadings built from an exact oblique simple structure: the
// planted zeros are reachable, so the criterion must come down to (nearly)
// zero and the planted pattern must come back up to column order and sign.
// rotateSolution asks its chooser for Simplimax and applies the common final
// steps to the choice.
#include <gtest/gtest.h>

#include <optional>

#include "stats/rotation/rotation.h"
#include "stats/rotation/rotation_testing.h"
#include "stats/rotation/simplimax.h"
#include "stats/rotation/simplimax_chooser.h"
#include "support/matrix_testing.h"

namespace talvex {
namespace {

using rotation_testing::aligned;
using rotation_testing::matchColumns;
using testing::fromRows;
using testing::MatrixNear;

using Simplimax = testing::PoolTest;
using SimplimaxChoice = testing::PoolTest;

// Pattern with 13 exact zeros (of 21 cells) and one complex variable.
Matrix plantedPattern() {
    return fromRows({{0.80, 0.00, 0.00},
                     {0.70, 0.00, 0.00},
                     {0.00, 0.75, 0.00},
                     {0.00, 0.65, 0.00},
                     {0.00, 0.00, 0.70},
                     {0.00, 0.00, 0.60},
                     {0.40, 0.45, 0.00}});
}

// Unrotated loadings L = P·M for an invertible M with unit rows, so that
// P is the pattern of factors of unit variance with correlations M·Mᵀ.
Matrix mixing() {
    return fromRows({{0.9, 0.3, -0.2}, {0.2, 0.8, 0.4}, {-0.3, 0.1, 0.85}}).normalizeRows();
}

TEST_F(Simplimax, StepFromTheIdentityReachesAPlantedZeroPattern) {
    const Matrix planted = plantedPattern();
    const Matrix l = planted.multiply(mixing());
    Matrix w(planted.rows(), planted.cols());
    for (int i = 0; i < w.rows(); ++i)
        for (int j = 0; j < w.cols(); ++j) w[i][j] = planted[i][j] != 0.0 ? 1.0 : 0.0;
    const SimplimaxSolution s = simplimaxStep(l, w, identity(3), identity(3), 1e-12);
    EXPECT_LT(s.criterion, 1e-8);
    // With the zero cells fixed the pattern is determined up to column scale,
    // and unit factor variances fix the scale: the planted pattern comes back,
    // its columns not reflected.
    EXPECT_THAT(s.pattern, MatrixNear(planted, 1e-4));
}

TEST_F(Simplimax, RotationFindsThePlantedZerosFromEveryCleverStart) {
    const Matrix planted = plantedPattern();
    const Matrix l = planted.multiply(mixing());
    const int zeros = 13;
    for (const int clever : {0, 4, 16, 28}) {
        SCOPED_TRACE(clever);
        MatrixScope scope;
        const SimplimaxSolution s = simplimaxRotation(l, zeros, 100, 1e-8, 5, clever);
        EXPECT_LT(s.criterion, 1e-6);
        const auto match = matchColumns(planted, s.pattern);
        EXPECT_THAT(aligned(s.pattern, match), MatrixNear(planted, 1e-3));
        EXPECT_EQ(s.weights.sumOfSquares(), 21 - zeros);  // 0/1 weights
    }
}

struct FixedChooser : SimplimaxChooser {
    std::optional<SimplimaxSolution> answer;
    int calls = 0;
    RotationParameters seen;
    std::optional<SimplimaxSolution> choose(const Matrix&, const RotationParameters& p) override {
        ++calls;
        seen = p;
        return answer;
    }
};

TEST_F(SimplimaxChoice, TheChoiceIsReflectedLikeAnyRotation) {
    // T = [[1, 0.2], [0, -1]]: the second factor's loadings sum below zero,
    // so it is reflected with its column of T and of the 0/1 target.
    const Matrix l = fromRows({{0.8, 0.1}, {0.7, 0.2}, {0.1, 0.6}, {0.0, 0.7}});
    FixedChooser chooser;
    chooser.answer = SimplimaxSolution{};
    chooser.answer->transformation = fromRows({{1.0, 0.2}, {0.0, -1.0}});
    chooser.answer->weights = fromRows({{1, 0}, {1, 0}, {0, 1}, {0, 1}});
    RotationParameterTable table;
    table.simplicity[kSimplimax].randomStarts = 7;
    const RotatedSolution s = rotateWithCleverStart(l, kSimplimax, table, &chooser);
    ASSERT_FALSE(s.halted);
    EXPECT_EQ(chooser.calls, 1);
    EXPECT_EQ(chooser.seen.randomStarts, 7);
    const Matrix t = fromRows({{1.0, -0.2}, {0.0, 1.0}});
    EXPECT_THAT(s.transformation, MatrixNear(t, 1e-15));
    EXPECT_THAT(s.pattern, MatrixNear(l.multiply(t), 1e-15));
    EXPECT_THAT(s.target, MatrixNear(fromRows({{1, 0}, {1, 0}, {0, -1}, {0, -1}}), 0.0));
    // T⁻¹ = [[1, 0.2], [0, 1]]: Φ = T⁻¹T⁻ᵀ = [[1.04, 0.2], [0.2, 1]].
    EXPECT_THAT(s.factorCorrelations, MatrixNear(fromRows({{1.04, 0.2}, {0.2, 1.0}}), 1e-15));
}

}  // namespace
}  // namespace talvex
