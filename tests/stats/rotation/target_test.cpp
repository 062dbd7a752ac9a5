// Target rotations on constructed cases whose answers are known without our
// code: targets worked by hand and planted patterns. Other targets are
// checked against GPArotation in target_reference_test.cpp.
#include <gtest/gtest.h>

#include <cmath>

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

// A full target equal to a planted pattern P of unit-variance factors, from
// loadings L = P·M (M with unit rows, so the factor correlations are M·Mᵀ).
TEST_F(TargetRotation, ObliqueRotationRecoversAPlantedPatternFromItsFullTarget) {
    const Matrix planted = fromRows({{0.8, 0, 0}, {0.7, 0.1, 0}, {0, 0.75, 0}, {0, 0.65, -0.15},
                                     {0, 0, 0.7}, {0.2, 0, 0.6}, {0.4, 0.45, 0}, {0, -0.3, 0.5}});
    const Matrix mixing =
        fromRows({{0.9, 0.3, -0.2}, {0.2, 0.8, 0.4}, {-0.3, 0.1, 0.85}}).normalizeRows();
    const Matrix l = planted.multiply(mixing);
    const RoutineResult r = rotateToTarget(l, planted, true, 100, 0, 1e-8);
    // The sweeps stop once no step turns a factor by more than about
    // √(2·1e-8) radians, which leaves a residual of this order.
    EXPECT_LT(r.criterion, 1e-5);
    EXPECT_THAT(l.multiply(r.transformation), MatrixNear(planted, 1e-4));
    EXPECT_THAT(r.factorCorrelations, MatrixNear(mixing.multiply(mixing.transpose()), 1e-4));
}

// Orthogonal rotations of planted patterns, turned by 0.5 rad: only cells
// within [−1, 1] are specified (2, 2.5, 9 and −9 are free), and the rotation
// brings the pattern back exactly. In the first only zeros are specified and
// column 1, with no non-zero specified cell, takes the sign of its sum. In the
// second only a 1 and a −1 on rows of length 1 are: they fix the rotation, and
// as both columns sum below 0, freeing either cell would reflect its column.
TEST_F(TargetRotation, OrthogonalRotationSpecifiesOnlyCellsWithinOne) {
    const Matrix planted[] = {
        fromRows({{0.8, 0.0}, {0.7, 0.0}, {0.0, 0.6}, {0.0, -0.7}, {0.5, 0.4}}),
        fromRows({{1.0, 0.0}, {-0.8, 0.3}, {0.0, -1.0}, {-0.5, 0.4}, {0.2, 0.2}})};
    const Matrix targets[] = {
        fromRows({{2.0, 0.0}, {9.0, 0.0}, {0.0, -9.0}, {0.0, 9.0}, {9.0, 2.5}}),
        fromRows({{1.0, 9.0}, {2.0, 9.0}, {9.0, -1.0}, {-9.0, 2.5}, {9.0, 9.0}})};
    const Matrix turn = fromRows({{std::cos(0.5), std::sin(0.5)}, {-std::sin(0.5), std::cos(0.5)}});
    for (int c = 0; c < 2; ++c) {
        const Matrix l = planted[c].multiply(turn);
        const RoutineResult r = rotateToTarget(l, targets[c], false, 100, 0, 1e-8);
        EXPECT_LT(r.criterion, 1e-12) << c;
        EXPECT_THAT(l.multiply(r.transformation), MatrixNear(planted[c], 1e-6)) << c;
    }
}

}  // namespace
}  // namespace talvex
