// Inverses, the eigen-decomposition and square roots, checked by identities
// that hold exactly in real arithmetic (A·A⁻¹ = I, V·diag(λ)·Vᵀ = A) and by
// hand-worked small cases. SVD is left to the analyses' reference values.
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
using SquareRoot = testing::PoolTest;

TEST_F(Inverse, RandomMatricesTimesTheirInverseGiveIdentity) {
    std::mt19937 gen(21);
    for (int n : {1, 2, 5, 40}) {
        const Matrix a = testing::randomMatrix(n, n, gen).add(identity(n).scale(2.0));
        EXPECT_THAT(a.multiply(a.inverse()), MatrixNear(identity(n), 1e-12)) << n;
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
    }
}

TEST_F(SquareRoot, ShortcutsClosedFormsAndNegativeEigenvalues) {
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
}

TEST(Blas, RunsOnOneThread) {
    // Determinism: results must not depend on the number of cores.
    if (openblas_get_num_threads == nullptr) GTEST_SKIP() << "BLAS is not OpenBLAS";
    useSingleThreadedBlas();
    EXPECT_EQ(openblas_get_num_threads(), 1);
}

}  // namespace
}  // namespace talvex
