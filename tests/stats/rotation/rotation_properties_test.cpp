// Properties every rotation of methods 1 to 21 must have, and the shared
// mechanisms of the driver: arguments and weighting. Clever starts are
// pinned by the golden reports (Weighted Varimax before Direct Oblimin).
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "core/random.h"
#include "report/settings.h"
#include "stats/rotation/oblimin.h"
#include "stats/rotation/rotation.h"
#include "stats/rotation/rotation_testing.h"
#include "support/matrix_testing.h"

namespace talvex {
namespace {

using rotation_testing::aligned;
using rotation_testing::matchColumns;
using testing::fromRows;
using testing::MatrixNear;

using RotationProperties = testing::PoolTest;

// A table whose methods all rotate the given loadings directly.
RotationParameterTable withoutCleverStarts() {
    RotationParameterTable table;
    for (auto& p : table.simplicity) p.cleverStart = 0;
    return table;
}

// Three factors with some complexity, not aligned with any simple structure.
Matrix mixedLoadings3() {
    return fromRows({{0.62, 0.41, 0.12}, {0.58, 0.35, -0.20}, {0.70, 0.28, 0.05},
                     {0.45, -0.52, 0.18}, {0.51, -0.47, 0.30}, {0.40, -0.38, -0.10},
                     {0.55, 0.10, -0.48}, {0.48, 0.05, -0.51}, {0.60, -0.08, -0.40},
                     {0.30, 0.22, 0.25}});
}

TEST_F(RotationProperties, RowsAndFactorsWithoutLoadingsDoNotSteerTheRotation) {
    const Matrix l = mixedLoadings3();
    // An eleventh variable of negligible communality (3·(3e-7)² < 1e-12),
    // or exactly none: the other rows rotate alike.
    const Matrix tiny = l.joinBelow(fromRows({{3e-7, 3e-7, 3e-7}}));
    const Matrix zero = l.joinBelow(fromRows({{0.0, 0.0, 0.0}}));
    // A fourth factor of negligible loadings (10·(3e-7)² < 1e-12): the
    // other three rotate as alone, and it stays as it is.
    const Matrix faint = constant(10, 1, 3e-7);
    const Matrix wide = l.joinRight(faint);
    const RotationParameterTable table = withoutCleverStarts();
    for (RotationMethod method = 1; method <= 28; ++method) {
        SCOPED_TRACE(kRotationMethods[static_cast<std::size_t>(method)].name);
        MatrixScope scope;
        const std::uint32_t state = randomState();
        const RotatedSolution a = rotateSolution(tiny, method, table);
        restoreRandomState(state);
        const RotatedSolution b = rotateSolution(zero, method, table);
        restoreRandomState(state);
        const RotatedSolution alone = rotateSolution(l, method, table);
        restoreRandomState(state);
        const RotatedSolution w = rotateSolution(wide, method, table);
        EXPECT_THAT(a.pattern.submatrix(1, 1, 10, 3), MatrixNear(b.pattern.submatrix(1, 1, 10, 3), 1e-6));
        EXPECT_THAT(w.pattern.submatrix(1, 1, 10, 3), MatrixNear(alone.pattern, 1e-9));
        EXPECT_THAT(w.pattern.columnBlock(3, 1), MatrixNear(faint, 0.0));
        EXPECT_THAT(w.factorCorrelations.submatrix(1, 1, 3, 3), MatrixNear(alone.factorCorrelations, 1e-9));
        EXPECT_THAT(w.factorCorrelations.columnBlock(3, 1), MatrixNear(fromRows({{0}, {0}, {0}, {1}}), 0.0));
    }
}

TEST_F(RotationProperties, EveryMethodKeepsTheCommonPartAndIgnoresVariableSigns) {
    const Matrix l = mixedLoadings3();
    Matrix flipped = l.copy();
    for (int j = 0; j < 3; ++j) flipped[3][j] = -flipped[3][j];
    RotationParameterTable table = withoutCleverStarts();
    table.simplicity[10].parameter = table.simplicity[11].parameter = 0.5f;
    table.simplicity[12].parameter = 0.5f;
    table.simplicity[19].parameter = table.simplicity[20].parameter = -0.5f;
    table.simplicity[21].parameter = 0.2f;
    for (RotationMethod method = 1; method <= 21; ++method) {
        SCOPED_TRACE(kRotationMethods[static_cast<std::size_t>(method)].name);
        MatrixScope scope;
        const std::uint32_t state = randomState();
        const RotatedSolution s = rotateSolution(l, method, table);
        restoreRandomState(state);
        const RotatedSolution f = rotateSolution(flipped, method, table);
        ASSERT_TRUE(s.pattern.valid());
        EXPECT_EQ(s.cappedStarts, 0);
        // P·Φ·Pᵀ = L·Lᵀ, P = L·T, unit diagonal of Φ, Φ = I when orthogonal.
        EXPECT_THAT(s.pattern.multiply(s.factorCorrelations).multiply(s.pattern.transpose()),
                    MatrixNear(l.multiply(l.transpose()), 1e-9));
        EXPECT_THAT(l.multiply(s.transformation), MatrixNear(s.pattern, 1e-12));
        for (int j = 0; j < 3; ++j) EXPECT_NEAR(s.factorCorrelations[j][j], 1.0, 1e-12);
        if (!isOblique(method)) {
            EXPECT_THAT(s.factorCorrelations, MatrixNear(identity(3), 1e-10));
        }
        const Matrix sums = s.pattern.columnSums();
        for (int j = 0; j < 3; ++j) EXPECT_GE(sums[0][j], 0.0);
        EXPECT_FALSE(testing::MatrixNearMatcher(l, 1e-3).MatchAndExplain(s.pattern, nullptr));
        // Reflecting a variable reflects only its row of the solution.
        Matrix back = f.pattern.copy();
        for (int j = 0; j < 3; ++j) back[3][j] = -back[3][j];
        EXPECT_THAT(aligned(back, matchColumns(s.pattern, back)), MatrixNear(s.pattern, 1e-5));
    }
}

TEST_F(RotationProperties, ArgumentsFollowTheMethodTable) {
    RotationParameters p;
    p.parameter = 0.25f;
    // m = 6: equamax weighs the column term by m/2 = 3.
    const std::vector<std::pair<RotationMethod, double>> rows = {
        {1, 0.0},   {3, 0.0},   {4, 1.0},   {6, 1.0},   {7, 3.0},   {8, 3.0},  {9, 3.0},
        {10, 0.25}, {12, 0.25}, {13, 0.0},  {16, 0.0},  {18, 0.0},  {19, 0.25}, {21, 0.25},
        {22, 0.25}};
    for (const auto& [method, expected] : rows)
        EXPECT_DOUBLE_EQ(rotationArgument(method, p, 6), expected) << method;
    // Methods 1 to 15 keep the factors uncorrelated; 16 to 29 correlate them.
    for (RotationMethod method = 1; method <= 29; ++method)
        EXPECT_EQ(isOblique(method), method >= 16) << method;
}

TEST_F(RotationProperties, WeightsOfThePrincipalAxes) {
    // Orthogonal columns of distinct lengths are their own principal axes.
    // m = 2, θ₀ = 45°: rows on an axis weigh cos²(90°) + 0.001, rows at 45°
    // 1.001, rows at 22.5° cos²(45°) + 0.001.
    const double a = 0.4, c = 0.6 * std::cos(M_PI / 8), s = 0.6 * std::sin(M_PI / 8);
    const Matrix l = fromRows({{1.0, 0.0}, {0.0, 0.5}, {a, a}, {a, -a}, {-c, s}, {c, s}});
    const WeightedAxes axes = weightedPrincipalAxes(l);
    const double expected[] = {0.001, 0.001, 1.001, 1.001, 0.501, 0.501};
    for (int i = 0; i < 6; ++i) {
        EXPECT_NEAR(axes.weights[i][0], expected[i], 1e-12) << i;
        // The weighted row is the unit row with a non-negative first element
        // times its weight; undo brings back the principal axes.
        EXPECT_NEAR(std::hypot(axes.weighted[i][0], axes.weighted[i][1]), expected[i], 1e-12);
        EXPECT_GE(axes.weighted[i][0], 0.0);
        for (int j = 0; j < 2; ++j)
            EXPECT_NEAR(axes.weighted[i][j] * axes.undo[i][0], axes.axes[i][j], 1e-12);
    }
    EXPECT_THAT(axes.axes.multiply(axes.axes.transpose()),
                MatrixNear(l.multiply(l.transpose()), 1e-12));
}

TEST(CubicRoots, ClosedFormRoots) {
    struct Row {
        double k1, k2, k3;
        std::vector<double> roots;
    };
    for (const Row& row : {
             Row{-6, 11, -6, {1, 2, 3}},                      // (b−1)(b−2)(b−3)
             Row{2, 1, 2, {-2}},                              // (b+2)(b²+1)
             Row{-3, 3, -1, {1}},                             // (b−1)³
             Row{0, -3, 2, {-2, 1, 1}},                       // (b−1)²(b+2)
             Row{0, 0, -8, {2}},                              // b³ − 8
             Row{0, -1, 0, {-1, 0, 1}},                       // b(b−1)(b+1)
             Row{-1000.001, 1.0, 0.0, {0.0, 0.001, 1000.0}},  // b(b−0.001)(b−1000)
         }) {
        const std::vector<double> roots = realCubicRoots(row.k1, row.k2, row.k3);
        ASSERT_GE(roots.size(), 1u);
        const double size = 1 + std::fabs(row.k1) + std::fabs(row.k2) + std::fabs(row.k3);
        for (double b : roots)
            EXPECT_NEAR(((b + row.k1) * b + row.k2) * b + row.k3, 0.0,
                        1e-9 * size * (1 + b * b * std::fabs(b)));
        for (double expected : row.roots) {
            double nearest = 1e300;
            for (double b : roots) nearest = std::fmin(nearest, std::fabs(b - expected));
            EXPECT_LT(nearest, 1e-5) << expected;
        }
    }
}

}  // namespace
}  // namespace talvex
