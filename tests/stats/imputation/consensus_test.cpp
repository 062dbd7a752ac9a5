#include "stats/imputation/consensus.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "support/matrix_testing.h"

namespace talvex {
namespace {

using testing::fromRows;
using testing::MatrixNear;

class ConsensusTest : public testing::PoolTest {};

TEST_F(ConsensusTest, MatchingIsGreedyOnTheLargestCongruenceAndReflects) {
    // |congruences|: reference 0 with pattern 0 is 0.8, with pattern 1 is 1;
    // reference 1 with pattern 0 is 0.6 (negative), with pattern 1 is 0. The
    // largest pairs reference 0 with pattern 1 first, which leaves pattern 0,
    // reflected, for reference 1.
    const Matrix reference = fromRows({{1, 0}, {0, 1}, {0, 0}});
    const Matrix pattern = fromRows({{0.8, 1}, {-0.6, 0}, {0, 0}});
    const MatchedSolution matched =
        matchFactors(reference, pattern, fromRows({{1, 0.4}, {0.4, 1}}));
    EXPECT_THAT(matched.pattern, MatrixNear(fromRows({{1, -0.8}, {0, 0.6}, {0, 0}}), 1e-15));
    EXPECT_THAT(matched.factorCorrelations, MatrixNear(fromRows({{1, -0.4}, {-0.4, 1}}), 0.0));
}

TEST_F(ConsensusTest, MatchingTiesGoToTheLaterElement) {
    // Pattern 0 is equally congruent (1/sqrt 2) with both reference factors;
    // the later element (reference 1) takes it, reference 0 gets pattern 1.
    const Matrix reference = fromRows({{1, 0}, {0, 1}, {0, 0}});
    const Matrix pattern = fromRows({{1, 1}, {1, 0}, {0, 2}});
    const MatchedSolution matched = matchFactors(reference, pattern, identity(2));
    EXPECT_THAT(matched.pattern, MatrixNear(fromRows({{1, 1}, {0, 1}, {2, 0}}), 0.0));
}

TEST_F(ConsensusTest, TwoMatricesThatDifferByARotationAreAlignedExactly) {
    // One sweep over two matrices: the first is rotated onto the second
    // (T1 = Q⁻¹), the second then needs no rotation (T2 = I), loss 0.
    std::mt19937 gen(11);
    const Matrix l = testing::randomMatrix(8, 3, gen);
    const Matrix q = testing::randomMatrix(3, 3, gen).orthonormalizeColumns();
    const std::vector<Matrix> loadings = {l.multiply(q), l};
    const Matrix t = consensusRotation(loadings);
    EXPECT_THAT(t.columnBlock(0, 3), MatrixNear(q.transpose(), 1e-12));
    EXPECT_THAT(t.columnBlock(1, 3), MatrixNear(identity(3), 1e-12));
    EXPECT_NEAR(consensusLoss(loadings, t), 0.0, 1e-20);
}

TEST_F(ConsensusTest, CopiesWithReflectedColumnsAreAlignedExactly) {
    // Five copies of one matrix; the second column is reflected in two of
    // them, so the first target (the sum of the other four) has that column
    // at zero and a single sweep leaves the copies apart.
    const Matrix base = fromRows({{0.7, 0.2}, {0.6, -0.3}, {0.5, 0.4}, {0.2, 0.7}, {0.1, 0.6}});
    const Matrix reflect = fromRows({{1, 0}, {0, -1}});
    const std::vector<Matrix> loadings = {base, base.multiply(reflect), base,
                                          base.multiply(reflect), base};
    const Matrix t = consensusRotation(loadings);
    EXPECT_NEAR(consensusLoss(loadings, t), 0.0, 1e-20);
    EXPECT_THAT(consensusMean(loadings, t).multiply(consensusMean(loadings, t).transpose()),
                MatrixNear(base.multiply(base.transpose()), 1e-12));
}

}  // namespace
}  // namespace talvex
