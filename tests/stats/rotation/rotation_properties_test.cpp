// Properties every rotation of methods 1 to 21 must have, and the shared
// mechanisms of the driver: starts, best-start rule, arguments, weighting.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "core/random.h"
#include "report/settings.h"
#include "stats/rotation/oblimin.h"
#include "stats/rotation/orthomax.h"
#include "stats/rotation/orthosim.h"
#include "stats/rotation/rotation.h"
#include "support/matrix_testing.h"
#include "stats/rotation/rotation_testing.h"

namespace talvex {
namespace {

using testing::fromRows;
using testing::MatrixNear;

class RotationProperties : public testing::PoolTest {
   protected:
    // A table whose methods all rotate the given loadings directly.
    static RotationParameterTable withoutCleverStarts() {
        RotationParameterTable table;
        for (auto& p : table.simplicity) p.cleverStart = 0;
        return table;
    }
};

// Two-factor and three-factor loadings with some complexity, not aligned
// with any simple structure.
Matrix mixedLoadings3() {
    return fromRows({{0.62, 0.41, 0.12},
                     {0.58, 0.35, -0.20},
                     {0.70, 0.28, 0.05},
                     {0.45, -0.52, 0.18},
                     {0.51, -0.47, 0.30},
                     {0.40, -0.38, -0.10},
                     {0.55, 0.10, -0.48},
                     {0.48, 0.05, -0.51},
                     {0.60, -0.08, -0.40},
                     {0.30, 0.22, 0.25}});
}

TEST_F(RotationProperties, EveryMethodReproducesTheCommonPartAndReflectsItsFactors) {
    const Matrix l = mixedLoadings3();
    const Matrix common = l.multiply(l.transpose());
    RotationParameterTable table = withoutCleverStarts();
    table.simplicity[10].parameter = table.simplicity[11].parameter = 0.5f;
    table.simplicity[12].parameter = 0.5f;
    table.simplicity[19].parameter = table.simplicity[20].parameter = -0.5f;
    table.simplicity[21].parameter = 0.2f;
    for (RotationMethod method = 1; method <= 21; ++method) {
        SCOPED_TRACE(kRotationMethods[static_cast<std::size_t>(method)].name);
        MatrixScope scope;
        const RotatedSolution s = rotateSolution(l, method, table);
        ASSERT_TRUE(s.pattern.valid());
        EXPECT_EQ(s.cappedStarts, 0);
        // P·Φ·Pᵀ = L·Lᵀ and P = L·T.
        EXPECT_THAT(s.pattern.multiply(s.factorCorrelations).multiply(s.pattern.transpose()),
                    MatrixNear(common, 1e-9));
        EXPECT_THAT(l.multiply(s.transformation), MatrixNear(s.pattern, 1e-12));
        const Matrix sums = s.pattern.columnSums();
        for (int j = 0; j < 3; ++j) EXPECT_GE(sums[0][j], 0.0);
        for (int j = 0; j < 3; ++j) EXPECT_NEAR(s.factorCorrelations[j][j], 1.0, 1e-12);
        if (!isOblique(method)) {
            EXPECT_THAT(s.factorCorrelations, MatrixNear(identity(3), 1e-10));
        }
        // The rotation did something: the input is not simple.
        EXPECT_FALSE(testing::MatrixNearMatcher(l, 1e-3).MatchAndExplain(s.pattern, nullptr));
    }
}

TEST_F(RotationProperties, ObliqueMethodsGiveCorrelatedFactorsForObliqueData) {
    // Two clusters of variables whose directions are 60 degrees apart.
    const double c = std::cos(M_PI / 3), sn = std::sin(M_PI / 3);
    const Matrix l = fromRows({{0.8, 0.0}, {0.7, 0.0}, {0.6, 0.0}, {0.8 * c, 0.8 * sn},
                               {0.7 * c, 0.7 * sn}, {0.6 * c, 0.6 * sn}});
    const RotationParameterTable table = withoutCleverStarts();
    for (RotationMethod method : {16, 17, 18}) {
        SCOPED_TRACE(method);
        MatrixScope scope;
        const RotatedSolution s = rotateSolution(l, method, table);
        // Each cluster loads on one factor only; the factors correlate cos 60°.
        EXPECT_NEAR(std::fabs(s.factorCorrelations[0][1]), 0.5, 1e-4);
        int zeros = 0;
        for (int i = 0; i < 6; ++i)
            for (int j = 0; j < 2; ++j) zeros += std::fabs(s.pattern[i][j]) < 1e-4;
        EXPECT_EQ(zeros, 6);
    }
}

TEST_F(RotationProperties, AlreadySimpleSolutionComesBackUnchanged) {
    const Matrix simple = fromRows({{0.8, 0.0, 0.0},
                                    {0.7, 0.0, 0.0},
                                    {0.6, 0.0, 0.0},
                                    {0.0, 0.75, 0.0},
                                    {0.0, 0.65, 0.0},
                                    {0.0, 0.55, 0.0},
                                    {0.0, 0.0, 0.7},
                                    {0.0, 0.0, 0.6},
                                    {0.0, 0.0, 0.5}});
    const RotationParameterTable table = withoutCleverStarts();
    for (RotationMethod method = 1; method <= 21; ++method) {
        SCOPED_TRACE(kRotationMethods[static_cast<std::size_t>(method)].name);
        MatrixScope scope;
        const RotatedSolution s = rotateSolution(simple, method, table);
        const auto match = rotation_testing::matchColumns(simple, s.pattern);
        // Bentler's criterion is flat to fourth order around exact zeros, so a
        // random start of Orthosim stops within about 1e-4 of them.
        const bool orthosim = method >= 13 && method <= 15;
        EXPECT_THAT(rotation_testing::aligned(s.pattern, match),
                    MatrixNear(simple, orthosim ? 1e-4 : 1e-6));
    }
}

TEST_F(RotationProperties, ReflectingAVariableReflectsOnlyItsRow) {
    const Matrix l = mixedLoadings3();
    Matrix flipped = l.copy();
    for (int j = 0; j < 3; ++j) flipped[3][j] = -flipped[3][j];
    const RotationParameterTable table = withoutCleverStarts();
    for (RotationMethod method = 1; method <= 21; ++method) {
        SCOPED_TRACE(kRotationMethods[static_cast<std::size_t>(method)].name);
        MatrixScope scope;
        const std::uint32_t state = randomState();
        const RotatedSolution a = rotateSolution(l, method, table);
        restoreRandomState(state);
        const RotatedSolution b = rotateSolution(flipped, method, table);
        Matrix back = b.pattern.copy();
        for (int j = 0; j < 3; ++j) back[3][j] = -back[3][j];
        const auto match = rotation_testing::matchColumns(a.pattern, back);
        EXPECT_THAT(rotation_testing::aligned(back, match), MatrixNear(a.pattern, 1e-5));
    }
}

TEST_F(RotationProperties, OrthomaxWithGammaOneIsVarimaxAndZeroIsQuartimax) {
    const Matrix l = mixedLoadings3();
    RotationParameterTable table = withoutCleverStarts();
    struct Row {
        RotationMethod orthomax, same;
        float gamma;
    };
    for (const Row row : {Row{10, 4, 1.0f}, Row{11, 5, 1.0f}, Row{12, 6, 1.0f}, Row{10, 1, 0.0f},
                          Row{11, 2, 0.0f}, Row{12, 3, 0.0f}}) {
        SCOPED_TRACE(row.orthomax);
        MatrixScope scope;
        table.simplicity[static_cast<std::size_t>(row.orthomax)].parameter = row.gamma;
        const std::uint32_t state = randomState();
        const RotatedSolution a = rotateSolution(l, row.orthomax, table);
        restoreRandomState(state);
        const RotatedSolution b = rotateSolution(l, row.same, table);
        EXPECT_THAT(a.pattern, MatrixNear(b.pattern, 0.0));
    }
}

TEST_F(RotationProperties, MembersOfTheOrthomaxFamilyDiffer) {
    // Quartimax, varimax and equamax give different solutions for loadings
    // with one strong general factor.
    const Matrix l = fromRows({{0.75, 0.30, 0.10}, {0.70, 0.35, -0.05}, {0.72, 0.25, 0.02},
                               {0.68, -0.30, 0.15}, {0.66, -0.35, 0.10}, {0.70, -0.28, -0.02},
                               {0.65, 0.05, 0.40}, {0.60, -0.02, 0.45}, {0.62, 0.04, -0.38},
                               {0.58, 0.00, -0.42}});
    const RotationParameterTable table = withoutCleverStarts();
    MatrixScope scope;
    const Matrix quartimax = rotateSolution(l, 1, table).pattern;
    const Matrix varimax = rotateSolution(l, 4, table).pattern;
    const Matrix equamax = rotateSolution(l, 7, table).pattern;
    const auto qv = rotation_testing::matchColumns(varimax, quartimax);
    const auto ve = rotation_testing::matchColumns(equamax, varimax);
    EXPECT_LT(qv.smallest, 0.99);
    EXPECT_LT(ve.smallest, 0.999);
    // Each maximises its own criterion over the others' solutions.
    EXPECT_GE(orthomaxCriterion(quartimax, 0.0), orthomaxCriterion(varimax, 0.0));
    EXPECT_GE(orthomaxCriterion(varimax, 1.0), orthomaxCriterion(quartimax, 1.0));
    EXPECT_GE(orthomaxCriterion(varimax, 1.0), orthomaxCriterion(equamax, 1.0));
    EXPECT_GE(orthomaxCriterion(equamax, 1.5), orthomaxCriterion(varimax, 1.5));
}

TEST_F(RotationProperties, ArgumentsFollowTheMethodTable) {
    RotationParameters p;
    p.parameter = 0.25f;
    struct Row {
        RotationMethod method;
        double expected;
    };
    // m = 6: equamax weighs the column term by m/2 = 3.
    for (const Row row : {Row{1, 0.0}, Row{3, 0.0}, Row{4, 1.0}, Row{6, 1.0}, Row{7, 3.0},
                          Row{9, 3.0}, Row{10, 0.25}, Row{12, 0.25}, Row{13, 0.0}, Row{16, 0.0},
                          Row{18, 0.0}, Row{19, 0.25}, Row{21, 0.25}, Row{22, 0.25}}) {
        EXPECT_DOUBLE_EQ(rotationArgument(row.method, p, 6), row.expected) << row.method;
    }
}

TEST_F(RotationProperties, StartsDrawTheSpecifiedNumberOfRandomValues) {
    // Each random start draws m·m + 1 values; the orthomax family and
    // Orthosim run randomStarts random starts, oblimin one more.
    const Matrix l = mixedLoadings3();
    const auto drawsOf = [&](auto&& rotate) {
        const std::uint32_t before = randomState();
        rotate();
        const std::uint32_t after = randomState();
        restoreRandomState(before);
        int draws = 0;
        while (randomState() != after && draws < 100000) {
            randomNext();
            ++draws;
        }
        restoreRandomState(before);
        return draws;
    };
    for (int starts : {0, 1, 3}) {
        SCOPED_TRACE(starts);
        MatrixScope scope;
        EXPECT_EQ(drawsOf([&] { orthomaxRotation(l, 1.0, 1e-5, starts, false); }), starts * 10);
        EXPECT_EQ(drawsOf([&] { orthosimRotation(l, 1e-5, starts, true); }), starts * 10);
        EXPECT_EQ(drawsOf([&] { obliminRotation(l, 0.0, 1e-5, starts, false); }), (starts + 1) * 10);
        EXPECT_EQ(drawsOf([&] { weightedOblimin(l, 0.0, 1e-5, starts); }), (starts + 1) * 10);
    }
}

TEST_F(RotationProperties, RandomStartsAreOrthogonal) {
    for (int m : {2, 3, 5}) {
        MatrixScope scope;
        const Matrix s = randomRotationStart(m);
        EXPECT_THAT(s.transpose().multiply(s), MatrixNear(identity(m), 1e-12));
    }
}

TEST_F(RotationProperties, BestStartIsTheFirstOfTheBestCriteria) {
    struct Row {
        std::vector<double> criteria;
        Better better;
        int winner;
    };
    for (const Row& row : {Row{{3, 5, 5, 1}, Better::Larger, 1}, Row{{3, 5, 5, 1}, Better::Smaller, 3},
                           Row{{2, 2, 2}, Better::Larger, 0}, Row{{4, 1, 7, 1}, Better::Smaller, 1},
                           Row{{-1}, Better::Larger, 0}}) {
        MatrixScope scope;
        Matrix keep(1, 1), none;
        int index = 0;
        const BestStart best = bestOfStarts(
            2, static_cast<int>(row.criteria.size()), row.better,
            [&](const Matrix&) {
                StartOutcome o;
                o.first = constant(1, 1, index);
                o.criterion = row.criteria[static_cast<std::size_t>(index++)];
                return o;
            },
            keep, none);
        EXPECT_EQ(keep[0][0], row.winner);
        EXPECT_EQ(best.criterion, row.criteria[static_cast<std::size_t>(row.winner)]);
    }
}

TEST_F(RotationProperties, WeightsOfThePrincipalAxes) {
    // Orthogonal columns of distinct lengths are their own principal axes, so
    // each row's angle to the first axis is known. m = 2: θ₀ = 45°; rows on an
    // axis get cos²(90°) + 0.001, rows at 45° get 1.001, rows at 22.5° get
    // cos²(45°) + 0.001.
    const double a = 0.4, c = 0.6 * std::cos(M_PI / 8), s = 0.6 * std::sin(M_PI / 8);
    const Matrix l = fromRows({{1.0, 0.0}, {0.0, 0.5}, {a, a}, {a, -a}, {-c, s}, {c, s}});
    const WeightedAxes axes = weightedPrincipalAxes(l);
    const double expected[] = {0.001, 0.001, 1.001, 1.001, 0.501, 0.501};
    for (int i = 0; i < 6; ++i) {
        EXPECT_NEAR(axes.weights[i][0], expected[i], 1e-12) << i;
        // The weighted row is the unit row, reflected to a non-negative first
        // element, times its weight; undo brings back the principal axes.
        EXPECT_NEAR(std::hypot(axes.weighted[i][0], axes.weighted[i][1]), expected[i], 1e-12);
        EXPECT_GE(axes.weighted[i][0], 0.0);
        for (int j = 0; j < 2; ++j)
            EXPECT_NEAR(axes.weighted[i][j] * axes.undo[i][0], axes.axes[i][j], 1e-12);
    }
    EXPECT_THAT(axes.axes.multiply(axes.axes.transpose()),
                MatrixNear(l.multiply(l.transpose()), 1e-12));
}

TEST_F(RotationProperties, CleverStartIsPartOfTheReportedTransformation) {
    // An oblique clever start (Weighted Quartimin) before Direct Oblimin:
    // the solution must still reproduce L·Lᵀ relative to the unrotated L.
    const Matrix l = mixedLoadings3();
    RotationParameterTable table;
    table.simplicity[19].cleverStart = 18;
    table.simplicity[19].parameter = -0.2f;
    const RotatedSolution s = rotateWithCleverStart(l, 19, table);
    EXPECT_THAT(s.pattern.multiply(s.factorCorrelations).multiply(s.pattern.transpose()),
                MatrixNear(l.multiply(l.transpose()), 1e-9));
    EXPECT_THAT(l.multiply(s.transformation), MatrixNear(s.pattern, 1e-9));
}

TEST_F(RotationProperties, TargetBasedMethodsAreNotAvailableYet) {
    const RotationParameterTable table;
    for (RotationMethod method = 1; method <= 29; ++method)
        EXPECT_EQ(rotationAvailable(method, table), method <= 21) << method;
    RotationParameterTable promaxStart;
    promaxStart.simplicity[16].cleverStart = 22;
    EXPECT_FALSE(rotationAvailable(16, promaxStart));
}

TEST_F(RotationProperties, ADegeneratePairDoesNotStopTheRotation) {
    // Two zero columns give their pair no direction; from the identity start
    // the other pairs still rotate as they would without the zero columns.
    const Matrix l = mixedLoadings3().joinRight(zeros(10, 2));
    for (bool normalize : {false, true}) {
        MatrixScope scope;
        const RoutineResult wide = varimaxRotation(l, 1e-5, 0, normalize);
        const RoutineResult three = varimaxRotation(mixedLoadings3(), 1e-5, 0, normalize);
        const Matrix p = l.multiply(wide.transformation);
        const Matrix expected = mixedLoadings3().multiply(three.transformation);
        EXPECT_THAT(p.columnBlock(0, 3), MatrixNear(expected, 1e-12));
        EXPECT_THAT(p.submatrix(1, 4, 10, 5), MatrixNear(zeros(10, 2), 0.0));
        EXPECT_NEAR(wide.criterion, three.criterion, 1e-12);
    }
}

TEST_F(RotationProperties, OrthomaxStopsWhenItsCriterionIsNegative) {
    // A large gamma makes the criterion negative; the iteration must still end.
    const Matrix l = mixedLoadings3();
    const RoutineResult r = orthomaxRotation(l, 8.0, 1e-5, 2, true);
    EXPECT_LT(r.criterion, 0.0);
    EXPECT_EQ(r.cappedStarts, 0);
}

TEST_F(RotationProperties, ObliminWithLargeGammaStaysBounded) {
    // gamma above 1 can make dⱼ non-positive; those pairs are skipped and the
    // iteration ends with a valid solution.
    const Matrix l = mixedLoadings3();
    const RoutineResult r = obliminRotation(l, 5.0, 1e-5, 2, false);
    EXPECT_EQ(r.cappedStarts, 0);
    const Matrix p = l.multiply(r.transformation);
    for (int i = 0; i < p.rows(); ++i)
        for (int j = 0; j < p.cols(); ++j) EXPECT_TRUE(std::isfinite(p[i][j]));
    EXPECT_LE(r.criterion, obliminCriterion(l, 5.0) + 1e-12);
}

TEST(CubicRoots, ClosedFormRoots) {
    struct Row {
        double k1, k2, k3;
        std::vector<double> roots;
    };
    for (const Row& row : {
             Row{-6, 11, -6, {1, 2, 3}},        // (b−1)(b−2)(b−3)
             Row{2, 1, 2, {-2}},                // (b+2)(b²+1)
             Row{-3, 3, -1, {1}},               // (b−1)³
             Row{0, -3, 2, {-2, 1, 1}},         // (b−1)²(b+2)
             Row{0, 0, -8, {2}},                // b³ − 8
             Row{0, -1, 0, {-1, 0, 1}},         // b(b−1)(b+1)
             Row{-1000.001, 1.0, 0.0, {0.0, 0.001, 1000.0}},  // b(b−0.001)(b−1000)
         }) {
        const std::vector<double> roots = realCubicRoots(row.k1, row.k2, row.k3);
        ASSERT_GE(roots.size(), 1u);
        // Every root returned solves the cubic; the expected distinct roots are found.
        for (double b : roots)
            EXPECT_NEAR(((b + row.k1) * b + row.k2) * b + row.k3, 0.0,
                        1e-9 * (1 + std::fabs(row.k1) + std::fabs(row.k2) + std::fabs(row.k3)) *
                            (1 + b * b * std::fabs(b)));
        for (double expected : row.roots) {
            double nearest = 1e300;
            for (double b : roots) nearest = std::fmin(nearest, std::fabs(b - expected));
            EXPECT_LT(nearest, 1e-5) << expected;
        }
    }
}

}  // namespace
}  // namespace talvex

namespace talvex {
namespace {

TEST(SweepLimit, AStartThatNeverSettlesIsStoppedAndCounted) {
    // A negative convergence value makes every sweep look like progress:
    // each start must stop at the limit where it stands, which for these
    // loadings is the converged varimax solution.
    MatrixScope scope;
    const Matrix l = testing::fromRows({{0.62, 0.41}, {0.58, 0.35}, {0.70, 0.28}, {0.45, -0.52},
                                        {0.51, -0.47}, {0.40, -0.38}});
    const RoutineResult endless = orthomaxRotation(l, 1.0, -1.0, 1, false);
    const RoutineResult settled = orthomaxRotation(l, 1.0, 1e-5, 1, false);
    EXPECT_EQ(endless.cappedStarts, 2);
    EXPECT_EQ(settled.cappedStarts, 0);
    EXPECT_THAT(l.multiply(endless.transformation),
                testing::MatrixNear(l.multiply(settled.transformation), 1e-6));
}

}  // namespace
}  // namespace talvex
