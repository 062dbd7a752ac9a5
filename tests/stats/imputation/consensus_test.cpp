#include "stats/imputation/consensus.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "data/dataset.h"
#include "support/matrix_testing.h"
#include "support/report_testing.h"

namespace talvex {
namespace {

using testing::fromRows;
using testing::MatrixNear;

class ConsensusTest : public testing::PoolTest {};

// Column j of the result is sign[j] times column order[j] of a.
Matrix permuteAndReflect(const Matrix& a, const std::vector<int>& order,
                         const std::vector<double>& sign) {
    Matrix b(a.rows(), a.cols());
    for (int i = 0; i < a.rows(); ++i)
        for (int j = 0; j < a.cols(); ++j)
            b[i][j] = sign[static_cast<std::size_t>(j)] * a[i][order[static_cast<std::size_t>(j)]];
    return b;
}

Matrix permuteAndReflectBoth(const Matrix& phi, const std::vector<int>& order,
                             const std::vector<double>& sign) {
    Matrix b(phi.rows(), phi.cols());
    for (int i = 0; i < phi.rows(); ++i)
        for (int j = 0; j < phi.cols(); ++j)
            b[i][j] = sign[static_cast<std::size_t>(i)] * sign[static_cast<std::size_t>(j)] *
                      phi[order[static_cast<std::size_t>(i)]][order[static_cast<std::size_t>(j)]];
    return b;
}

TEST_F(ConsensusTest, MatchingUndoesAPermutationAndReflectionExactly) {
    struct Case {
        std::vector<int> order;
        std::vector<double> sign;
    };
    const std::vector<Case> cases = {
        {{0, 1, 2}, {1, 1, 1}},    {{2, 0, 1}, {1, -1, 1}}, {{1, 0, 2}, {-1, -1, -1}},
        {{2, 1, 0}, {1, 1, -1}},   {{0, 2, 1}, {-1, 1, 1}},
    };
    std::mt19937 gen(7);
    for (const Case& c : cases) {
        MatrixScope scope;
        // A clear simple structure, so that each factor has one partner.
        Matrix reference = testing::randomMatrix(9, 3, gen).scale(0.2);
        for (int i = 0; i < 9; ++i) reference[i][i / 3] += 0.7;
        const Matrix phi = fromRows({{1, 0.3, -0.2}, {0.3, 1, 0.1}, {-0.2, 0.1, 1}});
        const MatchedSolution matched =
            matchFactors(reference, permuteAndReflect(reference, c.order, c.sign),
                         permuteAndReflectBoth(phi, c.order, c.sign));
        EXPECT_THAT(matched.pattern, MatrixNear(reference, 0.0));
        EXPECT_THAT(matched.factorCorrelations, MatrixNear(phi, 0.0));
    }
}

TEST_F(ConsensusTest, MatchingIsGreedyOnTheLargestCongruence) {
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

// p x m loadings rotated by a random orthogonal matrix.
Matrix randomOrthogonal(int m, std::mt19937& gen) {
    return testing::randomMatrix(m, m, gen).orthonormalizeColumns();
}

TEST_F(ConsensusTest, TwoMatricesThatDifferByARotationAreAlignedExactly) {
    // One sweep over two matrices: the first is rotated onto the second
    // (T1 = Q⁻¹), the second then needs no rotation (T2 = I), loss 0.
    std::mt19937 gen(11);
    const Matrix l = testing::randomMatrix(8, 3, gen);
    const Matrix q = randomOrthogonal(3, gen);
    const std::vector<Matrix> loadings = {l.multiply(q), l};
    const Matrix t = consensusRotation(loadings);
    EXPECT_THAT(t.columnBlock(0, 3), MatrixNear(q.transpose(), 1e-12));
    EXPECT_THAT(t.columnBlock(1, 3), MatrixNear(identity(3), 1e-12));
    EXPECT_NEAR(consensusLoss(loadings, t), 0.0, 1e-20);
}

TEST_F(ConsensusTest, OneSweepDoesNotRaiseTheLossAndKeepsTransformationsOrthogonal) {
    std::mt19937 gen(3);
    for (int trial = 0; trial < 20; ++trial) {
        MatrixScope scope;
        const int m = 2 + trial % 4;
        const Matrix base = testing::randomMatrix(12, m, gen);
        std::vector<Matrix> loadings;
        for (int k = 0; k < 5; ++k)
            loadings.push_back(base.add(testing::randomMatrix(12, m, gen).scale(0.3))
                                   .multiply(randomOrthogonal(m, gen)));
        const Matrix t = consensusRotation(loadings);
        ASSERT_EQ(t.rows(), m);
        ASSERT_EQ(t.cols(), 5 * m);
        EXPECT_LE(consensusLoss(loadings, t), consensusLoss(loadings, Matrix()) + 1e-12);
        // Rotated towards each other, the five are much closer than before.
        EXPECT_LT(consensusLoss(loadings, t), 0.5 * consensusLoss(loadings, Matrix()));
        for (int k = 0; k < 5; ++k) {
            const Matrix tk = t.columnBlock(k, m);
            EXPECT_THAT(tk.transpose().multiply(tk), MatrixNear(identity(m), 1e-12));
        }
    }
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

TEST_F(ConsensusTest, MeanOfRotatedLoadings) {
    const std::vector<Matrix> loadings = {fromRows({{1, 0}, {0, 2}}), fromRows({{0, 1}, {2, 0}})};
    // Second matrix with its columns swapped: both become diag(1, 2).
    const Matrix t = identity(2).joinRight(fromRows({{0, 1}, {1, 0}}));
    EXPECT_THAT(consensusMean(loadings, t), MatrixNear(fromRows({{1, 0}, {0, 2}}), 0.0));
    EXPECT_DOUBLE_EQ(consensusLoss(loadings, t), 0.0);
    // Unrotated: mean {{0.5, 0.5}, {1, 1}}, squared deviations 4·0.25 + 4·1.
    EXPECT_DOUBLE_EQ(consensusLoss(loadings, Matrix()), 5.0);
}

TEST_F(ConsensusTest, SectionWithLabelsAndOneFactor) {
    DataSet data;
    data.includedIndex = fromRows({{2}, {3}});
    data.labelsEnabled = true;
    data.labels = {"first", "second item", "third item"};
    const std::string text = testing::captureReport(
        [&](ReportWriter& r) { writeConsensus(r, data, fromRows({{0.5}, {-0.25}}), identity(1)); });
    const std::string pad = std::string(45 - 11, ' ');
    EXPECT_EQ(text,
              " CONSENSUS LOADING MATRIX AMONG MULTIPLE IMPUTATED DATASETS\n\n"
              " Variable" + std::string(37, ' ') + "   F   1 \n\n"
              " second item" + pad + "   0.500  \n"
              " third item " + pad + "  -0.250  \n"
              "\n\n" + testing::kSectionEnd);
}

}  // namespace
}  // namespace talvex
