#include "stats/imputation/imputed_analysis.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "stats/dispersion/correlation.h"
#include "stats/extraction/uls_pca.h"
#include "stats/imputation/consensus.h"
#include "stats/imputation/hot_deck.h"
#include "stats/rotation/rotation.h"
#include "stats/rotation/rotation_testing.h"
#include "support/matrix_testing.h"
#include "support/report_testing.h"

namespace talvex {
namespace {

using rotation_testing::congruence;
using testing::fromRows;
using testing::MatrixNear;

constexpr RotationMethod kNormalizedVarimax = 5;

class ImputedAnalysisTest : public testing::PoolTest {
protected:
    ImputedAnalysisInput inputFor(int factors, const Matrix& reference) {
        ImputedAnalysisInput input;
        input.factorCount = factors;
        input.rotations = &table;
        input.reference = reference;
        return input;
    }
    // Five overlapping windows of n participants of bfi25.dat, items 1..10.
    static std::vector<Matrix> windows(int n) {
        const Matrix x = testing::readMatrix(testing::referencePath("bfi25.dat"));
        std::vector<Matrix> sets;
        for (int k = 0; k < 5; ++k) sets.push_back(x.submatrix(1 + 10 * k, 1, n + 10 * k, 10));
        return sets;
    }
    RotationParameterTable table;
};

// The first 1000 participants of the 25 personality items, five factors,
// ULS and normalized varimax: the consensus over the imputed data sets of a
// copy with cells deleted (completely at random; more often for high scores)
// stays close to the solution of the complete data, and to psych::fa on the
// pairwise-complete correlations of the copy (blocks of 25 rows of
// missing_reference.txt after the complete data).
TEST_F(ImputedAnalysisTest, ConsensusIsCloseToTheCompleteDataSolution) {
    const auto psychRows = testing::readRows(testing::referencePath("missing_reference.txt"));
    const auto psych = [&](int block) {
        return testing::toMatrix({psychRows.begin() + block * 25, psychRows.begin() + block * 25 + 25});
    };
    const Matrix complete = testing::readMatrix(testing::referencePath("bfi25.dat")).rowBlock(0, 1000);
    const Matrix reference =
        rotateWithCleverStart(extractUls(correlationOf(complete), 5, 1e-8, 1000).loadings,
                              kNormalizedVarimax, table)
            .pattern;
    for (int block : {1, 2}) {
        const Matrix x = testing::readMatrix(testing::referencePath(block == 1 ? "bfi_mcar.dat" : "bfi_mnar.dat"));
        Matrix mask(x.rows(), x.cols());
        for (int i = 0; i < x.rows(); ++i)
            for (int j = 0; j < x.cols(); ++j) mask[i][j] = x[i][j] == 999.0 ? 1.0 : 0.0;
        ImputedAnalysisInput input = inputFor(5, reference);
        input.simplicityRotation = kNormalizedVarimax;
        const ImputedAnalysis analysis = analyseImputed(imputeHotDeck(x, mask), input);
        const Matrix fromPsych = matchFactors(reference, psych(block), identity(5)).pattern;
        for (int j = 0; j < 5; ++j) {
            EXPECT_GT(std::fabs(congruence(analysis.consensusPattern, j, reference, j)), 0.98)
                << block << j;
            EXPECT_GT(std::fabs(congruence(analysis.consensusPattern, j, fromPsych, j)), 0.98)
                << block << j;
        }
        EXPECT_THAT(analysis.consensusFactorCorrelations, MatrixNear(identity(5), 1e-10));
    }
}

TEST_F(ImputedAnalysisTest, ObliqueTargetRotationsKeepTheirCorrelations) {
    // Each pattern reproduces the common part of its loadings.
    Matrix twoBlocks(10, 2);
    for (int i = 0; i < 10; ++i) twoBlocks[i][i / 5] = 1;
    ImputedAnalysisInput input = inputFor(2, twoBlocks);
    input.rotationKind = Target;
    input.targetRotation = ObliqueTarget;
    input.target = twoBlocks;
    const ImputedAnalysis target = analyseImputed(windows(400), input);
    for (const ImputedSet& set : target.sets)
        EXPECT_THAT(set.pattern.multiply(set.factorCorrelations).multiply(set.pattern.transpose()),
                    MatrixNear(set.loadings.multiply(set.loadings.transpose()), 1e-8));
    EXPECT_LT(target.consensusFactorCorrelations[0][1], 0.99);
}

// ML fails on scores with the correlations {{1, .8, .9}, {.8, 1, .9}, {.9, .9, 1}}
// (one loading above 1; lower Cholesky factor below) and falls back to ULS.
// Three 0/1 items, item 1 never 0 where item 2 or 3 is 1: tetrachorics of 1
// and about 0.5 that smoothing cannot mend (its first pass lowers the
// smallest eigenvalue), so each set is analysed with Pearson correlations.
TEST_F(ImputedAnalysisTest, FailingMethodsFallBack) {
    const Matrix c = fromRows({{1, 0, 0}, {0.8, 0.6, 0}, {0.9, 0.3, std::sqrt(0.1)}});
    std::mt19937 gen(9);
    std::normal_distribution<double> z;
    Matrix e(2000, 3);
    for (int i = 0; i < 2000; ++i)
        for (int j = 0; j < 3; ++j) e[i][j] = z(gen);
    const Matrix x = e.multiply(c.transpose());
    ImputedAnalysisInput input = inputFor(1, ones(3, 1));
    input.extractionMethod = ML;
    const Matrix uls = reflectSingleFactor(extractUls(correlationOf(x), 1, 1e-8, 2000).loadings);
    for (const ImputedSet& set : analyseImputed(std::vector<Matrix>(5, x), input).sets)
        EXPECT_THAT(set.loadings, MatrixNear(uls, 1e-12));

    const double kinds[4][3] = {{0, 0, 0}, {1, 1, 1}, {1, 0, 1}, {1, 1, 0}};
    Matrix binary(180, 3);
    for (int i = 0; i < 180; ++i)
        for (int j = 0; j < 3; ++j) binary[i][j] = kinds[i < 60 ? 0 : i < 120 ? 1 : i < 150 ? 2 : 3][j];
    input = inputFor(1, ones(3, 1));
    input.dispersionType = PolychoricCorrelation;
    input.lowestScore = 0;
    input.highestScore = 1;
    for (const ImputedSet& set : analyseImputed(std::vector<Matrix>(5, binary), input).sets) {
        EXPECT_TRUE(set.pearsonFallback);
        EXPECT_THAT(set.dispersion, MatrixNear(correlationOf(binary), 1e-15));
    }
}

}  // namespace
}  // namespace talvex
