// Matrix operations: shapes, guards, orderings and dimension failures.
// Expected values are worked by hand from the definitions unless noted.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <random>
#include <vector>

#include "core/matrix.h"
#include "support/matrix_testing.h"

namespace talvex {
namespace {

using testing::fromRows;
using testing::MatrixNear;

using MatrixShape = testing::PoolTest;
using MatrixArithmetic = testing::PoolTest;
using MatrixReduction = testing::PoolTest;
using MatrixOrdering = testing::PoolTest;

TEST_F(MatrixShape, DiagSwitchesBetweenColumnAndDiagonalMatrix) {
    const Matrix a = fromRows({{1, 2, 3}, {4, 5, 6}, {7, 8, 9}});
    const Matrix d = a.diag();
    EXPECT_THAT(d, MatrixNear(fromRows({{1}, {5}, {9}}), 0.0));
    EXPECT_THAT(d.diag(), MatrixNear(fromRows({{1, 0, 0}, {0, 5, 0}, {0, 0, 9}}), 0.0));
    EXPECT_THAT(fromRows({{2, 3, 4}}).diag(),
                MatrixNear(fromRows({{2, 0, 0}, {0, 3, 0}, {0, 0, 4}}), 0.0));
}

TEST_F(MatrixShape, VecAndLowerTriangleGoColumnByColumn) {
    const Matrix a = fromRows({{1, 2}, {3, 4}, {5, 6}});
    EXPECT_THAT(a.vec(), MatrixNear(fromRows({{1}, {3}, {5}, {2}, {4}, {6}}), 0.0));
    Matrix b(4, 4);
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) b[i][j] = 10 * i + j;
    // (1,0), (2,0), (3,0), (2,1), (3,1), (3,2)
    EXPECT_THAT(b.lowerTriangle(), MatrixNear(fromRows({{10}, {20}, {30}, {21}, {31}, {32}}), 0.0));
    EXPECT_EQ(identity(1).lowerTriangle().rows(), 0);
}

TEST_F(MatrixShape, SubmatrixSwapsReversedBoundsAndBlocksSlice) {
    Matrix a(4, 4);
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) a[i][j] = 10 * i + j;
    EXPECT_THAT(a.submatrix(3, 2, 1, 1), MatrixNear(fromRows({{0, 1}, {10, 11}, {20, 21}}), 0.0));
    EXPECT_THAT(a.columnBlock(1, 2), MatrixNear(a.submatrix(1, 3, 4, 4), 0.0));
    EXPECT_THAT(a.rowBlock(3, 1), MatrixNear(fromRows({{30, 31, 32, 33}}), 0.0));
    const Matrix w = a.withColumnBlock(fromRows({{-1}, {-2}}), 2, 1);
    EXPECT_EQ(w[0][2], -1.0);
    EXPECT_EQ(w[1][2], -2.0);
    EXPECT_EQ(w[2][2], 22.0);
    EXPECT_EQ(a[0][2], 2.0) << "operand changed";
}

TEST_F(MatrixShape, JoinsStackAndConcatenate) {
    const Matrix a = fromRows({{1, 2}});
    const Matrix b = fromRows({{3, 4}, {5, 6}});
    EXPECT_THAT(a.joinBelow(b), MatrixNear(fromRows({{1, 2}, {3, 4}, {5, 6}}), 0.0));
    EXPECT_THAT(b.joinRight(b.transpose()),
                MatrixNear(fromRows({{3, 4, 3, 5}, {5, 6, 4, 6}}), 0.0));
    EXPECT_THAT(Matrix(0, 2).joinBelow(a), MatrixNear(a, 0.0));
}

TEST_F(MatrixArithmetic, MultiplyMatchesHandProduct) {
    const Matrix a = fromRows({{1, 2, 3}, {4, 5, 6}});
    const Matrix b = fromRows({{7, 8}, {9, 10}, {11, 12}});
    EXPECT_THAT(a.multiply(b), MatrixNear(fromRows({{58, 64}, {139, 154}}), 0.0));
    EXPECT_THAT(a.multiply(Matrix(3, 0)), MatrixNear(Matrix(2, 0), 0.0));
}

TEST_F(MatrixArithmetic, ScalarDivisionsRefuseNonPositiveDivisors) {
    const Matrix a = fromRows({{2, -4}, {6, 8}});
    EXPECT_THAT(a.divideScalar(2), MatrixNear(fromRows({{1, -2}, {3, 4}}), 0.0));
    EXPECT_THAT(a.divideScalar(-2), MatrixNear(zeros(2), 0.0));
    EXPECT_THAT(a.divideScalar(0), MatrixNear(zeros(2), 0.0));
    // divideInt only refuses zero: a negative divisor divides.
    EXPECT_THAT(a.divideInt(-2), MatrixNear(fromRows({{-1, 2}, {-3, -4}}), 0.0));
    EXPECT_THAT(a.divideInt(0), MatrixNear(zeros(2), 0.0));
    EXPECT_THAT(a.reciprocalTimes(8), MatrixNear(fromRows({{4, -2}, {8.0 / 6, 1}}), 1e-15));
    EXPECT_THAT(a.reciprocalTimes(-1), MatrixNear(zeros(2), 0.0));
}

TEST_F(MatrixArithmetic, HadamardDivideGuardsTinyDivisors) {
    const Matrix a = fromRows({{3, 3, 3}});
    const Matrix b = fromRows({{2, 0.000005, -0.00001}});
    const Matrix q = a.hadamardDivide(b);
    EXPECT_EQ(q[0][0], 1.5);
    EXPECT_EQ(q[0][1], 3 * 99999.99999999999);
    EXPECT_EQ(q[0][2], 3 * 99999.99999999999) << "the guard is on the absolute value";
    EXPECT_THAT(fromRows({{1, 2}}).hadamard(fromRows({{3, -4}})),
                MatrixNear(fromRows({{3, -8}}), 0.0));
}

TEST_F(MatrixArithmetic, ElementFunctionsFollowTheirGuards) {
    const Matrix a = fromRows({{-4, 0, 4}});
    EXPECT_THAT(a.elementSqrt(), MatrixNear(fromRows({{0, 0, 2}}), 0.0));
    EXPECT_THAT(a.elementSign(), MatrixNear(fromRows({{-1, -1, 1}}), 0.0));
    EXPECT_THAT(a.elementAbs(), MatrixNear(fromRows({{4, 0, 4}}), 0.0));
    EXPECT_THAT(a.elementPow(0), MatrixNear(ones(1, 3), 0.0));
    EXPECT_THAT(fromRows({{-4, 0.5, 4}}).elementPow(-1),
                MatrixNear(fromRows({{-0.25, 2, 0.25}}), 0.0));
    EXPECT_THAT(fromRows({{-2, 3}}).elementPowInt(3), MatrixNear(fromRows({{-8, 27}}), 0.0));
    EXPECT_THAT(fromRows({{4, 9}}).elementPow(0.5), MatrixNear(fromRows({{2, 3}}), 0.0));
}

TEST_F(MatrixArithmetic, OperationsLeaveOperandsUnchangedAndReturnNewMatrices) {
    const Matrix a = fromRows({{1, 2}, {3, 4}});
    const Matrix keep = a.copy();
    EXPECT_FALSE(keep.sameAs(a));
    const std::size_t before = liveCount();
    const Matrix results[] = {a.transpose(),       a.add(a),
                              a.subtract(a),       a.scale(2),
                              a.scaleInt(3),       a.addScalar(1),
                              a.subtractScalar(1), a.multiply(a),
                              a.hadamard(a),       a.normalizeRowsSafe(),
                              a.sortColumns(),     a.orthonormalizeColumns()};
    EXPECT_EQ(liveCount(), before + std::size(results));
    for (const Matrix& r : results) EXPECT_FALSE(r.sameAs(a));
    EXPECT_THAT(a, MatrixNear(keep, 0.0));
}

TEST_F(MatrixReduction, ReductionsOverRowsColumnsAndAll) {
    const Matrix a = fromRows({{1, -2, 3}, {-4, 5, -6}});
    EXPECT_EQ(a.trace(), 0.0) << "not square";
    EXPECT_EQ(fromRows({{1, 2}, {3, 4}}).trace(), 5.0);
    EXPECT_EQ(a.maxElement(), 5.0);
    EXPECT_EQ(a.minElement(), -6.0);
    EXPECT_THAT(a.columnSums(), MatrixNear(fromRows({{-3, 3, -3}}), 0.0));
    EXPECT_THAT(a.columnSumsOfSquares(), MatrixNear(fromRows({{17, 29, 45}}), 0.0));
    EXPECT_THAT(a.rowSums(), MatrixNear(fromRows({{2}, {-5}}), 0.0));
    EXPECT_THAT(a.rowSumsOfSquares(), MatrixNear(fromRows({{14}, {77}}), 0.0));
    EXPECT_EQ(a.sumOfSquares(), 91.0);
    EXPECT_THAT(a.columnMaxima(), MatrixNear(fromRows({{1, 5, 3}}), 0.0));
    EXPECT_THAT(a.columnMinima(), MatrixNear(fromRows({{-4, -2, -6}}), 0.0));
}

TEST_F(MatrixReduction, DeterminantAgainstClosedForms) {
    EXPECT_EQ(fromRows({{0, 1}, {1, 0}}).determinant(), -1.0);
    EXPECT_NEAR(fromRows({{1, 0.5, 0.3}, {0.5, 1, 0.2}, {0.3, 0.2, 1}}).determinant(),
                1 + 2 * 0.5 * 0.3 * 0.2 - 0.25 - 0.09 - 0.04, 1e-15);
    // Triangular after a row exchange: the product of the diagonal, sign flipped.
    EXPECT_NEAR(fromRows({{0, 0, 3}, {2, 1, 5}, {0, 4, 7}}).determinant(), 2 * 4 * 3, 1e-12);
    EXPECT_EQ(fromRows({{1, 2}, {2, 4}}).determinant(), 0.0);
    // det(A·B) = det(A)·det(B) on random matrices.
    std::mt19937 gen(11);
    const Matrix a = testing::randomMatrix(6, 6, gen);
    const Matrix b = testing::randomMatrix(6, 6, gen);
    EXPECT_NEAR(a.multiply(b).determinant(), a.determinant() * b.determinant(), 1e-12);
}

TEST_F(MatrixReduction, NormalisationsGiveUnitLengths) {
    std::mt19937 gen(5);
    const Matrix a = testing::randomMatrix(5, 3, gen);
    EXPECT_THAT(a.normalizeRows().rowSumsOfSquares(), MatrixNear(ones(5, 1), 1e-14));
    EXPECT_THAT(a.normalizeColumns().columnSumsOfSquares(), MatrixNear(ones(1, 3), 1e-14));
    EXPECT_THAT(a.normalizeRowsSafe(), MatrixNear(a.normalizeRows(), 1e-15));
    const Matrix withZeroRow = fromRows({{3, 4}, {0, 0}});
    EXPECT_THAT(withZeroRow.normalizeRowsSafe(), MatrixNear(fromRows({{0.6, 0.8}, {0, 0}}), 1e-15));
}

TEST_F(MatrixReduction, GramSchmidtIsOrthonormalAndTriangular) {
    std::mt19937 gen(9);
    const Matrix a = testing::randomMatrix(6, 4, gen);
    const Matrix q = a.orthonormalizeColumns();
    EXPECT_THAT(q.transpose().multiply(q), MatrixNear(identity(4), 1e-14));
    // Column j of Q lies in the span of columns 0..j of A, so QᵀA is upper
    // triangular; and the first column is only rescaled.
    const Matrix r = q.transpose().multiply(a);
    for (int i = 1; i < 4; ++i)
        for (int j = 0; j < i; ++j) EXPECT_NEAR(r[i][j], 0.0, 1e-14) << i << "," << j;
    const double len = std::sqrt(a.columnSumsOfSquares()[0][0]);
    for (int i = 0; i < 6; ++i) EXPECT_NEAR(q[i][0], a[i][0] / len, 1e-15);
}

TEST_F(MatrixOrdering, SortColumnsSortsEachColumnIndependently) {
    const Matrix a = fromRows({{3, -1}, {1, 5}, {2, 5}, {1, -7}});
    EXPECT_THAT(a.sortColumns(), MatrixNear(fromRows({{1, -7}, {1, -1}, {2, 5}, {3, 5}}), 0.0));
}

TEST(SortWithIndex, SortsAndCarriesTheIndexOnRandomInputsWithDuplicates) {
    std::mt19937 gen(3);
    std::uniform_int_distribution<int> small(0, 9);
    for (int n : {1, 2, 3, 7, 50, 513}) {
        std::vector<double> values(static_cast<std::size_t>(n));
        for (double& v : values) v = small(gen);
        const std::vector<double> original = values;
        std::vector<int> index(static_cast<std::size_t>(n));
        std::iota(index.begin(), index.end(), 0);
        sortWithIndex(values.data(), index.data(), 0, n - 1);
        EXPECT_TRUE(std::is_sorted(values.begin(), values.end())) << n;
        std::vector<int> seen = index;
        std::sort(seen.begin(), seen.end());
        for (int i = 0; i < n; ++i) {
            EXPECT_EQ(seen[static_cast<std::size_t>(i)], i) << "index is not a permutation";
            EXPECT_EQ(values[static_cast<std::size_t>(i)],
                      original[static_cast<std::size_t>(index[static_cast<std::size_t>(i)])]);
        }
    }
}

// A failed dimension check ends the program with status 1 and its text.
TEST(MatrixDimensionDeathTest, MismatchedShapesEndTheProgram) {
    const auto product = "MATRICES DESIGUALES EN PRODUCTO DE MATRICES \\.\\* !!!";
    const auto join = "MATRICES DESIGUALES EN LA CONSTRUCCION DE LA SUPERMATRIZ!!!";
    MatrixScope scope;
    const Matrix a(2, 3), b(2, 3), c(3, 2);
    EXPECT_EXIT(a.multiply(b), ::testing::ExitedWithCode(1), product);
    EXPECT_EXIT(a.hadamard(c), ::testing::ExitedWithCode(1), product);
    EXPECT_EXIT(a.hadamardDivide(c), ::testing::ExitedWithCode(1), product);
    EXPECT_EXIT(a.joinBelow(c), ::testing::ExitedWithCode(1), join);
    EXPECT_EXIT(a.joinRight(c), ::testing::ExitedWithCode(1), join);
    EXPECT_EXIT(a.submatrix(1, 1, 3, 1), ::testing::ExitedWithCode(1), "^$");
    EXPECT_EXIT(a.submatrix(0, 1, 1, 1), ::testing::ExitedWithCode(1), "^$");
}

}  // namespace
}  // namespace talvex
