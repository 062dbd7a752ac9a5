// Target rotations on constructed cases whose answers are known without our
// code: targets worked by hand, loadings made from a planted pattern, and
// the orthogonal Procrustes solution (Schönemann, 1966) for full targets.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "report/settings.h"
#include "stats/rotation/rotation.h"
#include "stats/rotation/target.h"
#include "support/matrix_testing.h"

namespace talvex {
namespace {

using testing::fromRows;
using testing::MatrixNear;

using TargetRotation = testing::PoolTest;

// Rows (0.6, 0.8) twice over, so column 1 reaches its largest normalised
// value 0.8 on two variables; one negative loading; one zero.
Matrix tiedLoadings() {
    return fromRows({{0.6, 0.8}, {0.3, 0.4}, {0.8, 0.6}, {0.5, 0.0}, {-0.6, 0.8}});
}

struct PromaxCase {
    double k;
    std::vector<double> target;  // row-major, worked by hand from tiedLoadings
};

TEST_F(TargetRotation, PromaxTargetPowersTheScaledLoadings) {
    // Normalised rows: (.6,.8) (.6,.8) (.8,.6) (1,0) (−.6,.8); column maxima
    // 1 and .8, so c = (.6,1) (.6,1) (.8,.75) (1,0) (−.6,1).
    const std::vector<PromaxCase> cases = {
        {1.0, {0.6, 1.0, 0.6, 1.0, 0.8, 0.75, 1.0, 0.0, -0.6, 1.0}},
        {2.0, {0.36, 1.0, 0.36, 1.0, 0.64, 0.5625, 1.0, 0.0, -0.36, 1.0}},
        {4.0, {0.1296, 1.0, 0.1296, 1.0, 0.4096, 0.31640625, 1.0, 0.0, -0.1296, 1.0}},
    };
    for (const PromaxCase& c : cases) {
        SCOPED_TRACE(c.k);
        MatrixScope scope;
        Matrix expected(5, 2);
        for (int i = 0; i < 10; ++i) expected[i / 2][i % 2] = c.target[static_cast<std::size_t>(i)];
        EXPECT_THAT(promaxTarget(tiedLoadings(), c.k), MatrixNear(expected, 1e-12));
    }
}

struct PromajCase {
    std::string name;
    std::vector<double> column, target;
};

TEST_F(TargetRotation, PromajTargetColumnCutsAtTheLargestSquareBelowTheMean) {
    const std::vector<PromajCase> cases = {
        // Squares .64 .36 .09 .01, mean .275: τ = .09.
        {"ordered", {0.8, -0.6, 0.3, 0.1}, {std::sqrt(0.55), std::sqrt(0.27), 0.0, 0.0}},
        // Same squares in another order: the target follows the variables.
        {"shuffled", {0.1, 0.8, 0.3, -0.6}, {0.0, std::sqrt(0.55), 0.0, std::sqrt(0.27)}},
        // All squares equal: τ is that square and the whole column is 0.
        {"constant", {0.5, -0.5, 0.5, 0.5}, {0.0, 0.0, 0.0, 0.0}},
        // One large square, three equal small ones (.04, mean .19): τ = .04.
        {"one large", {0.2, 0.2, -0.2, 0.7}, {0.0, 0.0, 0.0, std::sqrt(0.45)}},
        // Squares 1/64, 25/64, 49/64 (exact): the mean is the middle square,
        // which is not below it, so τ = 1/64.
        {"square at the mean", {0.125, -0.625, 0.875}, {0.0, std::sqrt(0.375), std::sqrt(0.75)}},
    };
    for (const PromajCase& c : cases) {
        SCOPED_TRACE(c.name);
        MatrixScope scope;
        const int p = static_cast<int>(c.column.size());
        Matrix x(p, 1), expected(p, 1);
        for (int i = 0; i < p; ++i) {
            x[i][0] = c.column[static_cast<std::size_t>(i)];
            expected[i][0] = c.target[static_cast<std::size_t>(i)];
        }
        EXPECT_THAT(promajTargetColumn(x), MatrixNear(expected, 1e-12));
    }
}

TEST_F(TargetRotation, ProminFreesOnlyTheCellsAboveTheColumnCut) {
    // Column 0: one dominant loading. Squared normalised loadings of the
    // rows: row 0 (1, 0); rows 1-4 (.01/.82 .. ) small. Column 1 holds the
    // rest of each row.
    const Matrix a = fromRows({{0.9, 0.0}, {0.1, 0.9}, {0.1, 0.8}, {0.1, 0.7}, {0.1, 0.6}});
    // Column 0 squares: 1, .012195, .015385, .020, .027027: mean .21492,
    // population sd .39255, cut .31306: only row 0 is free.
    // Column 1 squares: 0, .98780, .98462, .98, .97297: mean .78508,
    // cut .78508 + .39255/4 = .88322: rows 1-4 free.
    const Matrix expected = fromRows({{9, 0}, {0, 9}, {0, 9}, {0, 9}, {0, 9}});
    EXPECT_THAT(prominTarget(a), MatrixNear(expected, 0.0));
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

// Target cells: "value" specifies the planted loading, "free" is 9 (or −9
// for a negative loading), "zero" specifies 0 where the planted cell is 0.
enum class Cells { FullValues, ZerosOnly, ZerosWithMinusNine, PermutedColumns };

Matrix targetFor(const Matrix& planted, Cells cells) {
    Matrix t(planted.rows(), planted.cols());
    for (int i = 0; i < t.rows(); ++i)
        for (int j = 0; j < t.cols(); ++j) {
            const int from = cells == Cells::PermutedColumns ? (j + 1) % t.cols() : j;
            const double x = planted[i][from];
            switch (cells) {
                case Cells::FullValues:
                    t[i][j] = x;
                    break;
                case Cells::ZerosOnly:
                case Cells::PermutedColumns:
                    t[i][j] = x == 0.0 ? 0.0 : 9.0;
                    break;
                case Cells::ZerosWithMinusNine:
                    t[i][j] = x == 0.0 ? 0.0 : (x < 0 ? -9.0 : 9.0);
                    break;
            }
        }
    return t;
}

struct PlantedCase {
    std::string name;
    Cells cells;
};

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
    const std::vector<PlantedCase> cases = {
        {"full", Cells::FullValues},
        {"zeros, free 9", Cells::ZerosOnly},
        {"zeros, free -9 and 9", Cells::ZerosWithMinusNine},
        {"columns in another order", Cells::PermutedColumns},
    };
    for (const PlantedCase& c : cases)
    for (const int copies : {1, 4}) {
        SCOPED_TRACE(c.name + " x" + std::to_string(copies));
        MatrixScope scope;
        const Matrix planted = repeatedRows(plantedPattern(), copies);
        const Matrix l = planted.multiply(mixing());
        const Matrix target = targetFor(planted, c.cells);
        for (const int starts : {0, 3}) {
            const RoutineResult r = rotateToTarget(l, target, true, 100, starts, 1e-8);
            // The sweeps stop once no step turns a factor by more than about
            // √(2·1e-8) radians, which leaves a residual of this order.
            EXPECT_LT(r.criterion, 1e-5);
            const Matrix pattern = l.multiply(r.transformation);
            Matrix expected = planted;
            Matrix expectedPhi = phi;
            if (c.cells == Cells::PermutedColumns) {
                // Target column j asks for planted column j + 1.
                expected = Matrix(planted.rows(), 3);
                expectedPhi = Matrix(3, 3);
                for (int j = 0; j < 3; ++j) {
                    for (int i = 0; i < planted.rows(); ++i) expected[i][j] = planted[i][(j + 1) % 3];
                    for (int k = 0; k < 3; ++k) expectedPhi[j][k] = phi[(j + 1) % 3][(k + 1) % 3];
                }
            }
            EXPECT_THAT(pattern, MatrixNear(expected, 1e-4));
            EXPECT_THAT(r.factorCorrelations, MatrixNear(expectedPhi, 1e-4));
        }
        // One start from L itself: the column matching alone has to put the
        // loading columns in the target's order.
        const RoutineResult one = obliqueTargetRotation(l, target, 100, 1e-8);
        EXPECT_LT(one.criterion, 1e-5);
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

TEST_F(TargetRotation, RotateSolutionReturnsTheBuiltTargetAsBuilt) {
    RotationParameterTable table;
    for (auto& p : table.simplicity) p.cleverStart = 0;
    const Matrix l = plantedPattern().multiply(mixing());
    for (const RotationMethod method : {22, 23, 24, 25, 26, 27, 28}) {
        SCOPED_TRACE(method);
        MatrixScope scope;
        const RotatedSolution s = rotateSolution(l, method, table);
        ASSERT_TRUE(s.pattern.valid());
        double magnitude = 0.0;
        for (int i = 0; i < 8; ++i)
            for (int j = 0; j < 3; ++j) magnitude += std::fabs(s.target[i][j]);
        EXPECT_GT(magnitude, 1.0);
        EXPECT_THAT(l.multiply(s.transformation), MatrixNear(s.pattern, 1e-10));
        // Every factor has a non-negative sum and the common part is kept.
        const Matrix sums = s.pattern.columnSums();
        for (int j = 0; j < 3; ++j) EXPECT_GE(sums[0][j], 0.0);
        EXPECT_THAT(s.pattern.multiply(s.factorCorrelations).multiply(s.pattern.transpose()),
                    MatrixNear(l.multiply(l.transpose()), 1e-8));
    }
}

}  // namespace
}  // namespace talvex
