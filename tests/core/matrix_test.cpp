// Matrix: shapes, guards, orderings and dimension failures. Expected values
// are worked by hand from the definitions unless noted.
#include "core/matrix.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <vector>

#include "support/matrix_testing.h"

namespace talvex {
namespace {

using testing::fromRows;
using testing::MatrixNear;

using MatrixShape = testing::PoolTest;
using MatrixArithmetic = testing::PoolTest;
using MatrixReduction = testing::PoolTest;

TEST_F(MatrixShape, SlicesVecAndJoins) {
    Matrix a(4, 4);  // element (i, j) = 10·i + j names its place
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) a[i][j] = 10 * i + j;
    // Reversed bounds are swapped; blocks are slices of width w.
    EXPECT_THAT(a.submatrix(3, 2, 1, 1), MatrixNear(fromRows({{0, 1}, {10, 11}, {20, 21}}), 0.0));
    EXPECT_THAT(a.columnBlock(1, 2), MatrixNear(a.submatrix(1, 3, 4, 4), 0.0));
    EXPECT_THAT(a.rowBlock(3, 1), MatrixNear(fromRows({{30, 31, 32, 33}}), 0.0));
    // vec goes column by column.
    EXPECT_THAT(a.submatrix(1, 1, 2, 2).vec(), MatrixNear(fromRows({{0}, {10}, {1}, {11}}), 0.0));
    const Matrix r = fromRows({{1, 2}}), b = fromRows({{3, 4}, {5, 6}});
    EXPECT_THAT(r.joinBelow(b), MatrixNear(fromRows({{1, 2}, {3, 4}, {5, 6}}), 0.0));
    EXPECT_THAT(b.joinRight(b.transpose()),
                MatrixNear(fromRows({{3, 4, 3, 5}, {5, 6, 4, 6}}), 0.0));
    EXPECT_THAT(Matrix(0, 2).joinBelow(r), MatrixNear(r, 0.0));
}

TEST_F(MatrixArithmetic, ProductsAndDivisionsWithTheirGuards) {
    const Matrix a = fromRows({{1, 2, 3}, {4, 5, 6}});
    EXPECT_THAT(a.multiply(fromRows({{7, 8}, {9, 10}, {11, 12}})),
                MatrixNear(fromRows({{58, 64}, {139, 154}}), 0.0));
    EXPECT_THAT(a.multiply(Matrix(3, 0)), MatrixNear(Matrix(2, 0), 0.0));
    EXPECT_THAT(fromRows({{1, 2}}).hadamard(fromRows({{3, -4}})),
                MatrixNear(fromRows({{3, -8}}), 0.0));
    // A non-positive divisor gives zeros.
    const Matrix b = fromRows({{2, -4}, {6, 8}});
    EXPECT_THAT(b.divideScalar(2), MatrixNear(fromRows({{1, -2}, {3, 4}}), 0.0));
    for (const Matrix& refused : {b.divideScalar(-2), b.divideScalar(0)})
        EXPECT_THAT(refused, MatrixNear(zeros(2), 0.0));
}

TEST_F(MatrixReduction, ReductionsOverRowsColumnsAndAll) {
    const Matrix a = fromRows({{1, -2, 3}, {-4, 5, -6}});
    EXPECT_EQ(a.trace(), 0.0) << "not square";
    EXPECT_EQ(fromRows({{1, 2}, {3, 4}}).trace(), 5.0);
    EXPECT_EQ(a.maxElement(), 5.0);
    EXPECT_EQ(a.minElement(), -6.0);
    EXPECT_EQ(a.sumOfSquares(), 91.0);
    EXPECT_EQ(minOf(2.0, -3.0), -3.0);
    EXPECT_THAT(a.columnSums().joinBelow(a.columnSumsOfSquares()),
                MatrixNear(fromRows({{-3, 3, -3}, {17, 29, 45}}), 0.0));
    EXPECT_THAT(a.columnMaxima().joinBelow(a.columnMinima()),
                MatrixNear(fromRows({{1, 5, 3}, {-4, -2, -6}}), 0.0));
    EXPECT_THAT(a.rowSums().joinRight(a.rowSumsOfSquares()),
                MatrixNear(fromRows({{2, 14}, {-5, 77}}), 0.0));
}

TEST_F(MatrixReduction, DeterminantAgainstClosedForms) {
    EXPECT_EQ(fromRows({{0, 1}, {1, 0}}).determinant(), -1.0);
    EXPECT_NEAR(fromRows({{1, 0.5, 0.3}, {0.5, 1, 0.2}, {0.3, 0.2, 1}}).determinant(),
                1 + 2 * 0.5 * 0.3 * 0.2 - 0.25 - 0.09 - 0.04, 1e-15);
    // Triangular after a row exchange: the product of the diagonal, sign flipped.
    EXPECT_NEAR(fromRows({{0, 0, 3}, {2, 1, 5}, {0, 4, 7}}).determinant(), 2 * 4 * 3, 1e-12);
    EXPECT_EQ(fromRows({{1, 2}, {2, 4}}).determinant(), 0.0);
}

TEST_F(MatrixReduction, SortsWithDuplicatesAndCarriesTheIndex) {
    const Matrix a = fromRows({{3, -1}, {1, 5}, {2, 5}, {1, -7}});
    EXPECT_THAT(a.sortColumns(), MatrixNear(fromRows({{1, -7}, {1, -1}, {2, 5}, {3, 5}}), 0.0));
    // Distinct values: with few distinct keys most small partitions hold equal
    // values and an unsorted pair would go unnoticed.
    std::mt19937 gen(3);
    std::uniform_real_distribution<double> real(-1.0, 1.0);
    for (int n : {1, 2, 3, 7, 50, 513}) {
        std::vector<double> values(n);
        for (double& v : values) v = real(gen);
        const std::vector<double> original = values;
        std::vector<int> index(n);
        std::iota(index.begin(), index.end(), 0);
        sortWithIndex(values.data(), index.data(), 0, n - 1);
        EXPECT_TRUE(std::is_sorted(values.begin(), values.end())) << n;
        for (int i = 0; i < n; ++i) EXPECT_EQ(values[i], original[index[i]]) << n;
        std::sort(index.begin(), index.end());
        for (int i = 0; i < n; ++i) ASSERT_EQ(index[i], i) << "index is not a permutation";
    }
}

// A failed dimension check ends the program with status 1 and its text.
TEST(MatrixDimensionDeathTest, MismatchedShapesEndTheProgram) {
    MatrixScope scope;
    const Matrix a(2, 3), c(3, 2);  // c: rows do not match a's for a join
    EXPECT_EXIT(a.multiply(a), ::testing::ExitedWithCode(1), "PRODUCTO DE MATRICES");
    EXPECT_EXIT(a.joinRight(c), ::testing::ExitedWithCode(1), "SUPERMATRIZ");
    EXPECT_EXIT(a.submatrix(1, 1, 3, 1), ::testing::ExitedWithCode(1), "^$");
}

}  // namespace
}  // namespace talvex
