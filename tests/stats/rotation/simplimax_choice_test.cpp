// rotateSolution asks its chooser for Simplimax and applies the common final
// steps to the choice.
#include <gtest/gtest.h>

#include <optional>

#include "stats/rotation/rotation.h"
#include "stats/rotation/simplimax_chooser.h"
#include "support/matrix_testing.h"

namespace talvex {
namespace {

using SimplimaxChoice = testing::PoolTest;
using testing::fromRows;
using testing::MatrixNear;

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
