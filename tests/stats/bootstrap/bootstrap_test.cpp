#include "stats/bootstrap/bootstrap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numeric>
#include <random>
#include <vector>

#include "core/random.h"
#include "stats/bootstrap/alignment.h"
#include "support/matrix_testing.h"

namespace talvex {
namespace {

using testing::fromRows;
using testing::MatrixNear;

class BootstrapTest : public testing::PoolTest {};

// A two-factor pattern with a clear simple structure.
Matrix plantedPattern() {
    return fromRows({{0.8, 0.05}, {0.7, -0.1}, {0.6, 0.1}, {0.1, 0.75}, {-0.05, 0.65}, {0.0, 0.7},
                     {0.4, 0.4}});
}

TEST_F(BootstrapTest, IntervalsCutHalfTheErrorRateInEachTail) {
    // The squares 0, 1, 4, ..., 100: the 2.5 % and 97.5 % quantiles by
    // interpolation at (n - 1)·q (R's type 7) are 0.25 and 81 + .75·19;
    // their standard deviation is 34.43545 (sample divisor, as sd() in R).
    std::vector<double> squares;
    for (int i = 10; i >= 0; --i) squares.push_back(i * i);
    const BootstrapInterval i = bootstrapInterval(squares, 95);
    EXPECT_DOUBLE_EQ(i.lower, 0.25);
    EXPECT_DOUBLE_EQ(i.upper, 95.25);
    EXPECT_NEAR(i.standardError, 34.43545, 5e-6);
}

TEST_F(BootstrapTest, AssignmentIsOptimalWhereGreedyIsNot) {
    // Greedy takes 0.9 and is left with 0.1 (total 1.0); the best pairs
    // 0.8 with 0.85 (1.65).
    EXPECT_EQ(bestAssignment(fromRows({{0.9, 0.8}, {0.85, 0.1}})), (std::vector<int>{1, 0}));
    // Against every permutation of random 5 x 5 scores.
    std::mt19937 engine(7);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    for (int trial = 0; trial < 20; ++trial) {
        Matrix scores(5, 5);
        for (int i = 0; i < 5; ++i)
            for (int j = 0; j < 5; ++j) scores[i][j] = uniform(engine);
        std::vector<int> order(5);
        std::iota(order.begin(), order.end(), 0);
        double best = -1.0;
        do {
            double sum = 0.0;
            for (int i = 0; i < 5; ++i) sum += scores[i][order[static_cast<std::size_t>(i)]];
            best = std::max(best, sum);
        } while (std::next_permutation(order.begin(), order.end()));
        const std::vector<int> found = bestAssignment(scores);
        double sum = 0.0;
        for (int i = 0; i < 5; ++i) sum += scores[i][found[static_cast<std::size_t>(i)]];
        EXPECT_NEAR(sum, best, 1e-12);
    }
}

TEST_F(BootstrapTest, PermutedAndReflectedCopiesComeBackExactly) {
    const Matrix reference = plantedPattern().joinRight(
        fromRows({{0.0}, {0.1}, {0.0}, {0.05}, {0.7}, {0.6}, {0.0}}));
    const Matrix phi = fromRows({{1, 0.3, -0.2}, {0.3, 1, 0.1}, {-0.2, 0.1, 1}});
    // Copy column c of the reference into position place[c], with a sign.
    const int place[3] = {2, 0, 1};
    const double sign[3] = {-1, 1, -1};
    Matrix copy(7, 3), copyPhi(3, 3);
    for (int c = 0; c < 3; ++c) {
        for (int i = 0; i < 7; ++i) copy[i][place[c]] = sign[c] * reference[i][c];
        for (int d = 0; d < 3; ++d) copyPhi[place[c]][place[d]] = sign[c] * sign[d] * phi[c][d];
    }
    const AlignedSolution oblique = alignToReference(reference, copy, copyPhi, false);
    EXPECT_THAT(oblique.pattern, MatrixNear(reference, 0.0));
    EXPECT_THAT(oblique.factorCorrelations, MatrixNear(phi, 0.0));
    const AlignedSolution orthogonal = alignToReference(reference, copy, identity(3), true);
    EXPECT_THAT(orthogonal.pattern, MatrixNear(reference, 1e-12));
}

TEST_F(BootstrapTest, ProcrustesUndoesASmallRotationOfAnOrthogonalSolution) {
    const Matrix reference = plantedPattern();
    const double a = 0.3;
    const Matrix turn = fromRows({{std::cos(a), -std::sin(a)}, {std::sin(a), std::cos(a)}});
    const Matrix turned = reference.multiply(turn);
    EXPECT_THAT(alignToReference(reference, turned, identity(2), true).pattern,
                MatrixNear(reference, 1e-12));
    // Without the Procrustes step only order and signs change.
    EXPECT_THAT(alignToReference(reference, turned, identity(2), false).pattern,
                MatrixNear(turned, 0.0));
}

// N x p scores of a factor model with loadings `lambda` (p x k, orthogonal
// factors, unit variances), continuous or cut into five categories.
Matrix simulate(const Matrix& lambda, int n, std::mt19937& engine, bool categories) {
    std::normal_distribution<double> normal(0.0, 1.0);
    const int p = lambda.rows(), k = lambda.cols();
    Matrix x(n, p);
    std::vector<double> f(static_cast<std::size_t>(k));
    for (int i = 0; i < n; ++i) {
        for (double& v : f) v = normal(engine);
        for (int j = 0; j < p; ++j) {
            double common = 0.0, h = 0.0;
            for (int c = 0; c < k; ++c) {
                common += lambda[j][c] * f[static_cast<std::size_t>(c)];
                h += lambda[j][c] * lambda[j][c];
            }
            double v = common + std::sqrt(1.0 - h) * normal(engine);
            if (categories) v = v < -1.2 ? 1 : v < -0.4 ? 2 : v < 0.4 ? 3 : v < 1.2 ? 4 : 5;
            x[i][j] = v;
        }
    }
    return x;
}

BootstrapInput baseInput(const Matrix& data, const Matrix& pattern, int samples) {
    BootstrapInput in;
    in.datasets = {data};
    in.samples = samples;
    in.factorCount = pattern.cols();
    in.pattern = pattern;
    in.factorCorrelations = identity(pattern.cols());
    return in;
}

TEST_F(BootstrapTest, OneOrTwoThreadsGiveTheSameIntervalsAndStream) {
    std::mt19937 engine(11);
    const Matrix data = simulate(plantedPattern(), 300, engine, true);
    RotationParameterTable table;
    BootstrapInput in = baseInput(data, plantedPattern(), 12);
    in.dispersionType = PolychoricCorrelation;
    in.lowestScore = 1;
    in.highestScore = 5;
    in.rotated = true;
    in.simplicityRotation = kPromin;
    in.rotations = &table;
    in.oblique = true;
    in.factorCorrelations = fromRows({{1, 0.2}, {0.2, 1}});
    in.gfi = in.omega = true;
    const std::uint32_t state = randomState();
    const auto runWith = [&](const char* threads) {
        setenv("TALVEX_THREADS", threads, 1);
        restoreRandomState(state);
        const BootstrapResult result = bootstrapSolution(in);
        return std::make_pair(result, randomState());
    };
    const auto [one, afterOne] = runWith("1");
    const auto [two, afterTwo] = runWith("2");
    unsetenv("TALVEX_THREADS");
    EXPECT_EQ(afterOne, afterTwo);
    // Start values, then two draws a participant.
    EXPECT_NE(afterOne, state);
    ASSERT_EQ(one.used, 12);
    ASSERT_EQ(one.loadings.size(), two.loadings.size());
    for (std::size_t i = 0; i < one.loadings.size(); ++i) {
        EXPECT_EQ(one.loadings[i].standardError, two.loadings[i].standardError);
        EXPECT_EQ(one.loadings[i].lower, two.loadings[i].lower);
        EXPECT_EQ(one.loadings[i].upper, two.loadings[i].upper);
    }
    ASSERT_EQ(one.factorCorrelations.size(), 1u);
    EXPECT_EQ(one.factorCorrelations[0].upper, two.factorCorrelations[0].upper);
    EXPECT_EQ(one.omega->lower, two.omega->lower);
    EXPECT_EQ(one.gfi->upper, two.gfi->upper);
}

TEST_F(BootstrapTest, PercentileIntervalsCoverTheLoadingsOfASixItemModel) {
    // 40 samples of N = 200 from a one-factor model; 95 % intervals from 100
    // resamples each should cover the six population loadings about 95 % of
    // the time (bounds 90 % and 99 % for 240 intervals).
    const Matrix lambda = fromRows({{0.8}, {0.7}, {0.6}, {0.5}, {0.7}, {0.4}});
    std::mt19937 engine(2024);
    int covered = 0, total = 0;
    double widest = 0.0;
    for (int sample = 0; sample < 40; ++sample) {
        MatrixScope scope;
        const Matrix data = simulate(lambda, 200, engine, false);
        const BootstrapResult result = bootstrapSolution(baseInput(data, lambda, 100));
        ASSERT_EQ(result.used, 100);
        for (int j = 0; j < 6; ++j) {
            const BootstrapInterval& i = result.loadings[static_cast<std::size_t>(j)];
            covered += i.lower <= lambda[j][0] && lambda[j][0] <= i.upper;
            widest = std::max(widest, i.upper - i.lower);
            ++total;
        }
    }
    EXPECT_GE(covered, total * 90 / 100);
    EXPECT_LE(covered, total * 99 / 100);
    // An interval of N = 200 is about ±2 standard errors of 0.05 wide.
    EXPECT_LT(widest, 0.45);
}

TEST_F(BootstrapTest, DegenerateResamplesAreCountedAndLeftOut) {
    // Item 6 differs from its first score in one participant of 40: about
    // e^-1 of the resamples miss that participant and leave it constant.
    std::mt19937 engine(5);
    const Matrix lambda = fromRows({{0.8}, {0.7}, {0.6}, {0.7}, {0.8}, {0.1}});
    Matrix data = simulate(lambda, 40, engine, true);
    for (int i = 0; i < 40; ++i) data[i][5] = i == 17 ? 2 : 3;
    BootstrapInput in = baseInput(data, lambda, 100);
    in.dispersionType = PolychoricCorrelation;
    in.lowestScore = 1;
    in.highestScore = 5;
    const BootstrapResult result = bootstrapSolution(in);
    const int constant = result.failures[static_cast<std::size_t>(ResampleFailure::ConstantItem)];
    EXPECT_GT(constant, 20);
    EXPECT_LT(constant, 55);
    EXPECT_EQ(result.used + result.failed, 100);
    EXPECT_EQ(result.failed, std::accumulate(result.failures.begin(), result.failures.end(), 0));
    for (const BootstrapInterval& i : result.loadings) {
        EXPECT_TRUE(std::isfinite(i.standardError));
        EXPECT_LE(i.lower, i.upper);
    }
    // The failed resamples leave nothing behind: item 1 loads about 0.8.
    EXPECT_GT(result.loadings[0].lower, 0.2);
    // Every resample of a constant item fails: no intervals at all.
    for (int i = 0; i < 40; ++i) data[i][5] = 3;
    const BootstrapResult none = bootstrapSolution(in);
    EXPECT_EQ(none.used, 0);
    EXPECT_TRUE(none.loadings.empty());
}

TEST_F(BootstrapTest, AResampleNeedsOneDistinctParticipantMoreThanItems) {
    // Three items whose rows differ in every score: three participants never
    // give four distinct ones; four do when all are drawn (4!/4^4 of the resamples).
    const Matrix three = fromRows({{1, 2, 3}, {2, 3, 1}, {3, 1, 2}}), lambda = fromRows({{0.7}, {0.6}, {0.5}});
    const BootstrapResult few = bootstrapSolution(baseInput(three, lambda, 100));
    const int tooFew = few.failures[static_cast<std::size_t>(ResampleFailure::TooFewParticipants)];
    EXPECT_GT(tooFew, 60);
    EXPECT_EQ(tooFew + few.failures[static_cast<std::size_t>(ResampleFailure::ConstantItem)], 100);
    BootstrapInput in = baseInput(three.joinBelow(fromRows({{2, 1, 1}})), lambda, 100);
    std::vector<int> percents;  // before the first batch of 64 and after each
    in.progress = [&percents](int percent) { percents.push_back(percent); };
    const int used = bootstrapSolution(in).used;
    EXPECT_TRUE(used > 2 && used < 20) << used;
    EXPECT_EQ(percents, (std::vector<int>{0, 64, 100}));
}

}  // namespace
}  // namespace talvex
