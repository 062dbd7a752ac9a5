// Inverses, eigen-decomposition, SVD and square roots, checked by identities
// that hold exactly in real arithmetic (A·A⁻¹ = I, V·diag(λ)·Vᵀ = A, U·S·Vᵀ = A,
// sqrt(A)² = A) and by hand-worked small cases.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "core/lapack.h"
#include "core/matrix.h"
#include "support/matrix_testing.h"

extern "C" int openblas_get_num_threads() __attribute__((weak));

namespace talvex {
namespace {

using testing::fromRows;
using testing::MatrixNear;

using Inverse = testing::PoolTest;
using Eigen = testing::PoolTest;
using Svd = testing::PoolTest;
using SquareRoot = testing::PoolTest;

TEST_F(Inverse, RandomMatricesTimesTheirInverseGiveIdentity) {
    std::mt19937 gen(21);
    for (int n : {1, 2, 5, 17, 40}) {
        const Matrix a = testing::randomMatrix(n, n, gen).add(identity(n).scale(2.0));
        EXPECT_THAT(a.multiply(a.inverse()), MatrixNear(identity(n), 1e-12)) << n;
        const Matrix s = testing::randomPositiveDefinite(n, gen);
        EXPECT_THAT(s.inverseByEigen(), MatrixNear(s.inverse(), 1e-12)) << n;
        EXPECT_THAT(s.sweepInverse(), MatrixNear(s.inverse(), 1e-12)) << n;
    }
    // Exactly singular: the eigen route divides by the zero eigenvalue.
    const Matrix singular = fromRows({{1, 1}, {1, 1}}).inverse();
    EXPECT_FALSE(std::isfinite(singular.sumOfSquares())) << testing::toText(singular);
}

// det = 8: inverse [[3, -2], [-2, 4]] / 8. The tolerance 1e-9 bounds both the
// asymmetry (1e-10 passes, 2e-9 does not) and the pivots (1e-8 is inverted).
// Variable 3 the sum of 1 and 2 leaves a zero pivot: the inverse of the
// leading block bordered by zeros. Refusals are zeros.
TEST_F(Inverse, SweepGuardsAndVanishingPivots) {
    const Matrix expected = fromRows({{0.375, -0.25}, {-0.25, 0.5}});
    const struct {
        Matrix input, inverse;
        double tolerance;
    } rows[] = {
        {fromRows({{4, 2}, {2, 3}}), expected, 1e-15},
        {fromRows({{4, 2}, {2 + 1e-10, 3}}), expected, 1e-9},
        {fromRows({{4, 2}, {2 + 2e-9, 3}}), zeros(2), 0.0},
        {fromRows({{1, 2}, {2.1, 1}}), zeros(2), 0.0},
        {fromRows({{1e-8, 0}, {0, 2}}), fromRows({{1e8, 0}, {0, 0.5}}), 1e-6},
        {Matrix(2, 3), zeros(2), 0.0},
        {fromRows({{2, 1, 3}, {1, 2, 3}, {3, 3, 6}}),
         fromRows({{2.0 / 3, -1.0 / 3, 0}, {-1.0 / 3, 2.0 / 3, 0}, {0, 0, 0}}), 1e-14},
    };
    for (const auto& row : rows)
        EXPECT_THAT(row.input.sweepInverse(), MatrixNear(row.inverse, row.tolerance)) << testing::toText(row.input);
}

TEST_F(Eigen, RandomSymmetricMatricesAreReconstructedInDescendingOrder) {
    std::mt19937 gen(8);
    for (int n : {1, 2, 6, 30}) {
        const Matrix a = testing::randomSymmetric(n, gen);
        Matrix values(n, 1), vectors(n, n);
        a.eigenSymmetric(values, vectors);
        for (int i = 1; i < n; ++i) EXPECT_GE(values[i - 1][0], values[i][0]) << "not descending";
        EXPECT_THAT(vectors.transpose().multiply(vectors), MatrixNear(identity(n), 1e-13));
        EXPECT_THAT(vectors.multiply(values.diag()).multiply(vectors.transpose()),
                    MatrixNear(a, 1e-13));
        EXPECT_NEAR(values.columnSums()[0][0], a.trace(), 1e-12);
    }
}

TEST_F(Eigen, LeadingPairsOnlyAndTheRestUntouched) {
    // Equicorrelation 0.5 on 4 variables: largest eigenvalue 1 + 3·0.5 with
    // the vector (1, 1, 1, 1)/2.
    const Matrix r = constant(4, 4, 0.5).add(identity(4).scale(0.5));
    Matrix values = constant(4, 1, -9.0), vectors = constant(4, 4, -9.0);
    r.eigenSymmetricLeading(values, vectors, 1);
    EXPECT_NEAR(values[0][0], 2.5, 1e-14);
    for (int i = 0; i < 4; ++i) {
        EXPECT_NEAR(std::fabs(vectors[i][0]), 0.5, 1e-14);
        EXPECT_EQ(values[i == 0 ? 1 : i][0], -9.0);
        for (int j = 1; j < 4; ++j) EXPECT_EQ(vectors[i][j], -9.0);
    }
}

TEST_F(Svd, ReconstructsTallAndWideMatrices) {
    std::mt19937 gen(13);
    for (auto [r, c] : {std::pair{3, 2}, std::pair{2, 3}, std::pair{7, 7}, std::pair{20, 5}}) {
        const Matrix a = testing::randomMatrix(r, c, gen);
        const int m = std::min(r, c);
        Matrix u(r, m), s(m, 1), v(c, c);
        a.svd(u, s, v);
        for (int i = 1; i < m; ++i) EXPECT_GE(s[i - 1][0], s[i][0]);
        EXPECT_THAT(v.transpose().multiply(v), MatrixNear(identity(c), 1e-13));
        EXPECT_THAT(u.multiply(s.diag()).multiply(v.submatrix(1, 1, c, m).transpose()),
                    MatrixNear(a, 1e-13))
            << r << " x " << c;
    }
}

TEST_F(Svd, KnownSingularValuesAndSpectralNorm) {
    // [[3, 0], [4, 5]]: AᵀA = [[25, 20], [20, 25]] with eigenvalues 45 and 5.
    const Matrix a = fromRows({{3, 0}, {4, 5}});
    Matrix u(2, 2), s(2, 1), v(2, 2);
    a.svd(u, s, v);
    EXPECT_THAT(s, MatrixNear(fromRows({{std::sqrt(45.0)}, {std::sqrt(5.0)}}), 1e-14));
    EXPECT_NEAR(a.spectralNorm(), std::sqrt(45.0), 1e-14);
}

TEST_F(SquareRoot, ShortcutsClosedFormsAndNegativeEigenvalues) {
    EXPECT_THAT(identity(3).sqrtSymmetric(), MatrixNear(identity(3), 0.0));
    EXPECT_THAT(zeros(3).sqrtSymmetric(), MatrixNear(zeros(3), 0.0));
    // diag(4, -1) has the root diag(2, 0): the negative eigenvalue contributes 0.
    EXPECT_THAT(fromRows({{4, 0}, {0, -1}}).sqrtSymmetric(),
                MatrixNear(fromRows({{2, 0}, {0, 0}}), 1e-15));
    // [[1, -0.5], [-0.5, 1]] has eigenvalues 1.5 and 0.5 on (1, -1)/√2 and
    // (1, 1)/√2, so its root is [[p, q], [q, p]] with p = (√1.5 + √0.5)/2 and
    // q = (√0.5 - √1.5)/2.
    const double p = (std::sqrt(1.5) + std::sqrt(0.5)) / 2,
                 q = (std::sqrt(0.5) - std::sqrt(1.5)) / 2;
    EXPECT_THAT(fromRows({{1, -0.5}, {-0.5, 1}}).sqrtSymmetric(),
                MatrixNear(fromRows({{p, q}, {q, p}}), 1e-15));
    std::mt19937 gen(17);
    const Matrix s = testing::randomPositiveDefinite(15, gen);
    const Matrix root = s.sqrtSymmetric();
    EXPECT_THAT(root.multiply(root), MatrixNear(s, 1e-11));
}

TEST(Blas, RunsOnOneThread) {
    // Determinism: results must not depend on the number of cores.
    if (openblas_get_num_threads == nullptr) GTEST_SKIP() << "BLAS is not OpenBLAS";
    useSingleThreadedBlas();
    EXPECT_EQ(openblas_get_num_threads(), 1);
}

}  // namespace
}  // namespace talvex
