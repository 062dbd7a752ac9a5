// Target rotations on constructed cases whose answers are known without our
// code: targets worked by hand, loadings made from a planted pattern, and
// the orthogonal Procrustes solution (Schönemann, 1966) for full targets.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "stats/rotation/rotation.h"
#include "stats/rotation/target.h"
#include "support/matrix_testing.h"

namespace talvex {
namespace {

using testing::fromRows;
using testing::MatrixNear;

using TargetRotation = testing::PoolTest;

TEST_F(TargetRotation, PromajTargetColumnCutsAtTheLargestSquareBelowTheMean) {
    // Squares .01 .64 .09 .36, mean .275: τ = .09, cells sqrt(s − τ) above it.
    EXPECT_THAT(promajTargetColumn(fromRows({{0.1}, {0.8}, {0.3}, {-0.6}})),
                MatrixNear(fromRows({{0.0}, {std::sqrt(0.55)}, {0.0}, {std::sqrt(0.27)}}), 1e-12));
    // Squares 1/64, 25/64, 49/64 (exact): the mean is the middle square,
    // which is not below it, so τ = 1/64.
    EXPECT_THAT(promajTargetColumn(fromRows({{0.125}, {-0.625}, {0.875}})),
                MatrixNear(fromRows({{0.0}, {std::sqrt(0.375)}, {std::sqrt(0.75)}}), 1e-12));
}

TEST_F(TargetRotation, ProminFreesOnlyTheCellsAboveTheColumnCut) {
    // Squares .9 .49 .1 .1 (rows of unit length): mean .3975, population
    // sd .33094, cut .48023, so .49 is free (with the sample sd the cut
    // would be .49303). Column 1 (.1 .51 .9 .9): cut .68523.
    const Matrix rows = fromRows({{std::sqrt(0.9), std::sqrt(0.1)},
                                  {std::sqrt(0.49), std::sqrt(0.51)},
                                  {std::sqrt(0.1), std::sqrt(0.9)},
                                  {std::sqrt(0.1), std::sqrt(0.9)}});
    EXPECT_THAT(prominTarget(rows), MatrixNear(fromRows({{9, 0}, {9, 0}, {0, 9}, {0, 9}}), 0.0));
    // Equal squares in a column sit exactly at the cut (sd 0): all free;
    // a column of zeros stays specified (below 1e-4).
    const Matrix flat = fromRows({{0.6, 0.0}, {0.6, 0.0}, {-0.6, 0.0}});
    EXPECT_THAT(prominTarget(flat), MatrixNear(fromRows({{9, 0}, {9, 0}, {9, 0}}), 0.0));
}

// A pattern of unit-variance factors with exact zeros and its unrotated
// loadings L = P·M (M with unit rows, so the factor correlations are M·Mᵀ).
Matrix plantedPattern() {
    return fromRows({{0.80, 0.00, 0.00},
                     {0.70, 0.10, 0.00},
                     {0.00, 0.75, 0.00},
                     {0.00, 0.65, -0.15},
                     {0.00, 0.00, 0.70},
                     {0.20, 0.00, 0.60},
                     {0.40, 0.45, 0.00},
                     {0.00, -0.30, 0.50}});
}
Matrix mixing() {
    return fromRows({{0.9, 0.3, -0.2}, {0.2, 0.8, 0.4}, {-0.3, 0.1, 0.85}}).normalizeRows();
}

// Target for the planted pattern with its columns turned by `shift`: the
// planted values (`full`), or 0 where the planted cell is 0 and free
// elsewhere (9, or −9 for a negative one).
Matrix plantedTarget(const Matrix& planted, int shift, bool full) {
    const int m = planted.cols();
    Matrix t(planted.rows(), m);
    for (int i = 0; i < t.rows(); ++i)
        for (int j = 0; j < m; ++j) {
            const double x = planted[i][(j + shift) % m];
            t[i][j] = full || x == 0.0 ? x : (x < 0 ? -9.0 : 9.0);
        }
    return t;
}

// The planted rows repeated `copies` times: with more rows every distance
// between a loading column and a target column of zeros exceeds 1, and the
// column matching rests on its exchange phase alone.
Matrix repeatedRows(const Matrix& a, int copies) {
    Matrix r(a.rows() * copies, a.cols());
    for (int i = 0; i < r.rows(); ++i)
        for (int j = 0; j < a.cols(); ++j) r[i][j] = a[i % a.rows()][j];
    return r;
}

TEST_F(TargetRotation, ObliqueRotationRecoversAPlantedPatternFromItsTarget) {
    const Matrix phi = mixing().multiply(mixing().transpose());
    for (const bool full : {true, false})
    for (const int shift : {0, 1})
    for (const int copies : {1, 4}) {
        SCOPED_TRACE(std::to_string(full) + std::to_string(shift) + " x" + std::to_string(copies));
        MatrixScope scope;
        const Matrix planted = repeatedRows(plantedPattern(), copies);
        const Matrix l = planted.multiply(mixing());
        const Matrix target = plantedTarget(planted, shift, full);
        // Target column j asks for planted column j + shift.
        Matrix expected(planted.rows(), 3), expectedPhi(3, 3);
        for (int j = 0; j < 3; ++j) {
            for (int i = 0; i < planted.rows(); ++i) expected[i][j] = planted[i][(j + shift) % 3];
            for (int k = 0; k < 3; ++k) expectedPhi[j][k] = phi[(j + shift) % 3][(k + shift) % 3];
        }
        for (const int starts : {0, 3}) {
            const RoutineResult r = rotateToTarget(l, target, true, 100, starts, 1e-8);
            // The sweeps stop once no step turns a factor by more than about
            // √(2·1e-8) radians, which leaves a residual of this order.
            EXPECT_LT(r.criterion, 1e-5);
            EXPECT_THAT(l.multiply(r.transformation), MatrixNear(expected, 1e-4));
            EXPECT_THAT(r.factorCorrelations, MatrixNear(expectedPhi, 1e-4));
        }
        // One start from L itself: the column matching alone has to put the
        // loading columns in the target's order.
        EXPECT_LT(obliqueTargetRotation(l, target, 100, 1e-8).criterion, 1e-5);
    }
}

// The orthogonal T minimising ‖A·T − B‖² over all cells is U·Vᵀ from the
// singular value decomposition AᵀB = U·S·Vᵀ.
double procrustesResidual(const Matrix& a, const Matrix& b) {
    const int m = a.cols();
    Matrix u(m, m), s(m, 1), v(m, m);
    a.transpose().multiply(b).svd(u, s, v);
    return a.multiply(u.multiply(v.transpose())).subtract(b).sumOfSquares();
}

TEST_F(TargetRotation, OrthogonalRotationToAFullTargetReachesTheProcrustesMinimum) {
    std::mt19937 gen(11);
    for (const int m : {2, 3, 4}) {
        for (int trial = 0; trial < 4; ++trial) {
            SCOPED_TRACE(m * 10 + trial);
            MatrixScope scope;
            const Matrix l = testing::randomMatrix(9, m, gen).scale(0.7);
            const Matrix target = testing::randomMatrix(9, m, gen).scale(0.9);
            const RoutineResult r = rotateToTarget(l, target, false, 100, 4, 1e-8);
            // Sweeps end once no pair turns by more than a minute of arc.
            const double best = procrustesResidual(l, target);
            EXPECT_GE(r.criterion, best - 1e-10);
            EXPECT_LE(r.criterion, best * (1.0 + 1e-6));
            EXPECT_THAT(r.transformation.transpose().multiply(r.transformation),
                        MatrixNear(identity(m), 1e-10));
            EXPECT_NEAR(l.multiply(r.transformation).subtract(target).sumOfSquares(),
                        r.criterion, 1e-9);
        }
    }
}

TEST_F(TargetRotation, OrthogonalRotationTreatsCellsBeyondOneAsFree) {
    // An orthogonal rotation of a pattern with planted zeros: only the zeros
    // are specified (cells of 2, 9 and −9 are all free), and the rotation
    // brings them back exactly.
    const Matrix planted = fromRows({{0.8, 0.0}, {0.7, 0.0}, {0.0, 0.6}, {0.0, -0.7}, {0.5, 0.4}});
    const double angle = 0.5;
    const Matrix turn = fromRows({{std::cos(angle), std::sin(angle)},
                                  {-std::sin(angle), std::cos(angle)}});
    const Matrix l = planted.multiply(turn);
    const Matrix target = fromRows({{2.0, 0.0}, {9.0, 0.0}, {0.0, -9.0}, {0.0, 9.0}, {9.0, 2.5}});
    const RoutineResult r = rotateToTarget(l, target, false, 100, 0, 1e-8);
    EXPECT_LT(r.criterion, 1e-12);
    const Matrix pattern = l.multiply(r.transformation);
    // Column 1 has no non-zero specified cell, so its sign follows its sum.
    EXPECT_THAT(pattern, MatrixNear(planted, 1e-6));
}

}  // namespace
}  // namespace talvex
