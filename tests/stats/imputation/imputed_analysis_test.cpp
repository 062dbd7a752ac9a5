#include "stats/imputation/imputed_analysis.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "stats/dispersion/correlation.h"
#include "stats/extraction/uls_pca.h"
#include "stats/imputation/consensus.h"
#include "stats/imputation/hot_deck.h"
#include "stats/rotation/rotation.h"
#include "support/matrix_testing.h"
#include "support/report_testing.h"

namespace talvex {
namespace {

using testing::fromRows;
using testing::MatrixNear;

constexpr RotationMethod kNormalizedVarimax = 5;

class ImputedAnalysisTest : public testing::PoolTest {};

Matrix readData(const std::string& name) {
    return testing::toMatrix(testing::readRows(testing::referencePath(name)));
}

Matrix maskOf(const Matrix& x) {
    Matrix mask(x.rows(), x.cols());
    for (int i = 0; i < x.rows(); ++i)
        for (int j = 0; j < x.cols(); ++j) mask[i][j] = x[i][j] == 999.0 ? 1.0 : 0.0;
    return mask;
}

// Absolute Tucker congruence of column j of a and b.
double congruence(const Matrix& a, const Matrix& b, int j) {
    double ab = 0, aa = 0, bb = 0;
    for (int i = 0; i < a.rows(); ++i) {
        ab += a[i][j] * b[i][j];
        aa += a[i][j] * a[i][j];
        bb += b[i][j] * b[i][j];
    }
    return std::fabs(ab) / std::sqrt(aa * bb);
}

// Rows [from, from + 25) of missing_reference.txt: psych::fa loadings.
Matrix psychLoadings(int block) {
    const auto rows = testing::readRows(testing::referencePath("missing_reference.txt"));
    return testing::toMatrix({rows.begin() + block * 25, rows.begin() + block * 25 + 25});
}

struct VerificationCase {
    const char* file;
    int psychBlock;  // 1 completely at random, 2 more often for high scores
};

// The first 1000 participants of the 25 personality items, five factors,
// ULS and normalized varimax: the consensus over the imputed data sets of a
// copy with cells deleted stays close to the solution of the complete data,
// and to psych::fa on the pairwise-complete correlations of the copy.
TEST_F(ImputedAnalysisTest, ConsensusIsCloseToTheCompleteDataSolution) {
    const Matrix complete = readData("bfi25.dat").rowBlock(0, 1000);
    RotationParameterTable table;
    const Matrix reference =
        rotateWithCleverStart(extractUls(correlationOf(complete), 5, 1e-8, 1000).loadings,
                              kNormalizedVarimax, table)
            .pattern;
    // Our complete-data solution agrees with psych::fa on the complete data.
    const MatchedSolution psychComplete = matchFactors(reference, psychLoadings(0), identity(5));
    for (int j = 0; j < 5; ++j) EXPECT_GT(congruence(reference, psychComplete.pattern, j), 0.99);

    for (const VerificationCase& c : {VerificationCase{"bfi_mcar.dat", 1},
                                      VerificationCase{"bfi_mnar.dat", 2}}) {
        SCOPED_TRACE(c.file);
        const Matrix x = readData(c.file);
        const Matrix mask = maskOf(x);
        const std::vector<Matrix> sets = imputeHotDeck(x, mask);
        // No imputed cell outside the observed range of its variable.
        for (int j = 0; j < x.cols(); ++j) {
            double lo = 1e9, hi = -1e9;
            for (int i = 0; i < x.rows(); ++i)
                if (mask[i][j] == 0.0) lo = std::min(lo, x[i][j]), hi = std::max(hi, x[i][j]);
            for (const Matrix& set : sets)
                for (int i = 0; i < x.rows(); ++i) {
                    EXPECT_GE(set[i][j], lo);
                    EXPECT_LE(set[i][j], hi);
                }
        }
        ImputedAnalysisInput input;
        input.dispersionType = PearsonCorrelation;
        input.extractionMethod = ULS;
        input.factorCount = 5;
        input.simplicityRotation = kNormalizedVarimax;
        input.rotations = &table;
        input.reference = reference;
        const ImputedAnalysis analysis = analyseImputed(sets, input);
        ASSERT_EQ(analysis.sets.size(), 5u);
        const MatchedSolution psych =
            matchFactors(reference, psychLoadings(c.psychBlock), identity(5));
        for (int j = 0; j < 5; ++j) {
            EXPECT_GT(congruence(analysis.consensusPattern, reference, j), 0.98) << "factor " << j;
            EXPECT_GT(congruence(analysis.consensusPattern, psych.pattern, j), 0.98)
                << "factor " << j;
            // Each set's own solution is matched to the reference as well.
            for (const ImputedSet& set : analysis.sets)
                EXPECT_GT(congruence(set.pattern, reference, j), 0.95);
        }
        // An orthogonal method: uncorrelated consensus factors.
        EXPECT_THAT(analysis.consensusFactorCorrelations, MatrixNear(identity(5), 1e-10));
    }
}

// Five data sets that differ in a few cells.
std::vector<Matrix> perturbedCopies(const Matrix& x, int cells) {
    std::mt19937 gen(5);
    std::vector<Matrix> sets;
    for (int k = 0; k < 5; ++k) {
        Matrix set = x.copy();
        for (int c = 0; c < cells; ++c) {
            const int i = static_cast<int>(gen() % static_cast<unsigned>(x.rows()));
            const int j = static_cast<int>(gen() % static_cast<unsigned>(x.cols()));
            set[i][j] = 1 + static_cast<int>(gen() % 6);
        }
        sets.push_back(set);
    }
    return sets;
}

TEST_F(ImputedAnalysisTest, OneFactorConsensusIsTheMeanOfTheReflectedLoadings) {
    const Matrix x = readData("bfi25.dat").submatrix(1, 1, 300, 5);
    const std::vector<Matrix> sets = perturbedCopies(x, 60);
    RotationParameterTable table;
    ImputedAnalysisInput input;
    input.factorCount = 1;
    input.rotations = &table;
    input.reference = ones(5, 1);
    const ImputedAnalysis analysis = analyseImputed(sets, input);
    Matrix mean = zeros(5, 1);
    for (std::size_t k = 0; k < sets.size(); ++k) {
        const Matrix l = reflectSingleFactor(extractUls(correlationOf(sets[k]), 1, 1e-8, 300).loadings);
        EXPECT_THAT(analysis.sets[k].loadings, MatrixNear(l, 1e-12));
        mean = mean.add(l.divideScalar(5));
    }
    EXPECT_THAT(analysis.consensusPattern, MatrixNear(mean, 1e-12));
    EXPECT_THAT(analysis.consensusFactorCorrelations, MatrixNear(identity(1), 0.0));
}

// Raw scores whose correlations are those of tests/reports/inputs/heywood.dat
// (one factor fits them only with a loading above 1): maximum likelihood
// fails on them and the analysis falls back to ULS, as it does for MRFA.
Matrix heywoodScores() {
    const Matrix r = fromRows({{1, 0.8, 0.9}, {0.8, 1, 0.9}, {0.9, 0.9, 1}});
    // Lower Cholesky factor of r.
    Matrix c = zeros(3, 3);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j <= i; ++j) {
            double s = r[i][j];
            for (int k = 0; k < j; ++k) s -= c[i][k] * c[j][k];
            c[i][j] = i == j ? std::sqrt(s) : s / c[j][j];
        }
    std::mt19937 gen(9);
    std::normal_distribution<double> z;
    Matrix x(2000, 3);
    for (int i = 0; i < 2000; ++i) {
        const double e[3] = {z(gen), z(gen), z(gen)};
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k <= j; ++k) x[i][j] += c[j][k] * e[k];
    }
    return x;
}

TEST_F(ImputedAnalysisTest, FailingMaximumLikelihoodFallsBackToUls) {
    const Matrix x = heywoodScores();
    const std::vector<Matrix> sets(5, x);
    RotationParameterTable table;
    ImputedAnalysisInput input;
    input.extractionMethod = ML;
    input.factorCount = 1;
    input.rotations = &table;
    input.reference = ones(3, 1);
    const ImputedAnalysis analysis = analyseImputed(sets, input);
    const Matrix uls = reflectSingleFactor(extractUls(correlationOf(x), 1, 1e-8, 2000).loadings);
    for (const ImputedSet& set : analysis.sets) EXPECT_THAT(set.loadings, MatrixNear(uls, 1e-12));
    // The uniquenesses are those of the loadings used.
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(analysis.sets[0].uniqueness[i][i], 1 - uls[i][0] * uls[i][0], 1e-12);
}

TEST_F(ImputedAnalysisTest, TargetConsensusIsTheMeanOfTheTargetRotations) {
    const Matrix x = readData("bfi25.dat").submatrix(1, 1, 400, 10);
    const std::vector<Matrix> sets = perturbedCopies(x, 200);
    RotationParameterTable table;
    Matrix target(10, 2);
    for (int i = 0; i < 10; ++i) target[i][i / 5] = 1;
    ImputedAnalysisInput input;
    input.factorCount = 2;
    input.rotationKind = Target;
    input.targetRotation = ObliqueTarget;
    input.rotations = &table;
    input.target = target;
    input.reference = target;
    const ImputedAnalysis analysis = analyseImputed(sets, input);
    Matrix pattern = zeros(10, 2), phi = zeros(2, 2);
    for (const ImputedSet& set : analysis.sets) {
        // Oblique: the pattern reproduces the common part of the loadings.
        EXPECT_THAT(set.pattern.multiply(set.factorCorrelations).multiply(set.pattern.transpose()),
                    MatrixNear(set.loadings.multiply(set.loadings.transpose()), 1e-8));
        pattern = pattern.add(set.pattern.divideScalar(5));
        phi = phi.add(set.factorCorrelations.divideScalar(5));
    }
    EXPECT_THAT(analysis.consensusPattern, MatrixNear(pattern, 1e-12));
    EXPECT_THAT(analysis.consensusFactorCorrelations, MatrixNear(phi, 1e-12));
    EXPECT_LT(analysis.consensusFactorCorrelations[0][1], 0.99);
}

TEST_F(ImputedAnalysisTest, SetsFitTheConsensusPatternByLeastSquares) {
    // Oblique simplicity rotation: each set's pattern is its loadings times
    // the transformation that carries them closest to the consensus, so it
    // reproduces the set's own common part with the consensus correlations
    // only approximately, but spans the same factor space as its loadings.
    const Matrix x = readData("bfi25.dat").submatrix(1, 1, 500, 10);
    const std::vector<Matrix> sets = perturbedCopies(x, 100);
    RotationParameterTable table;
    ImputedAnalysisInput input;
    input.factorCount = 2;
    input.simplicityRotation = kPromin;
    input.rotations = &table;
    Matrix reference(10, 2);
    for (int i = 0; i < 10; ++i) reference[i][i / 5] = 1;
    input.reference = reference;
    const ImputedAnalysis analysis = analyseImputed(sets, input);
    for (const ImputedSet& set : analysis.sets) {
        // The residual of the least-squares fit is orthogonal to the loadings.
        const Matrix residual = analysis.consensusPattern.subtract(set.pattern);
        EXPECT_THAT(set.loadings.transpose().multiply(residual), MatrixNear(zeros(2, 2), 1e-10));
        EXPECT_THAT(set.factorCorrelations, MatrixNear(analysis.consensusFactorCorrelations, 0.0));
    }
    // Agreeableness items load the first factor, conscientiousness the second
    // (A1, the weakest item, left out).
    for (int i = 1; i < 10; ++i)
        EXPECT_GT(std::fabs(analysis.consensusPattern[i][i / 5]),
                  std::fabs(analysis.consensusPattern[i][1 - i / 5]))
            << "item " << i;
}

// Three 0/1 items, item 1 never 0 where item 2 or item 3 is 1: both of its
// tetrachoric coefficients are 1 while items 2 and 3 correlate about 0.5.
// Smoothing cannot mend that matrix (its first pass lowers the smallest
// eigenvalue), so each set is analysed with its Pearson correlations.
TEST_F(ImputedAnalysisTest, PolychoricMatrixThatCannotBeSmoothedFallsBackToPearson) {
    Matrix x(180, 3);
    for (int i = 0; i < 180; ++i) {
        const int kind = i < 60 ? 0 : i < 120 ? 1 : i < 150 ? 2 : 3;
        const double rows[4][3] = {{0, 0, 0}, {1, 1, 1}, {1, 0, 1}, {1, 1, 0}};
        for (int j = 0; j < 3; ++j) x[i][j] = rows[kind][j];
    }
    RotationParameterTable table;
    ImputedAnalysisInput input;
    input.dispersionType = PolychoricCorrelation;
    input.factorCount = 1;
    input.rotations = &table;
    input.reference = ones(3, 1);
    input.lowestScore = 0;
    input.highestScore = 1;
    const std::vector<Matrix> sets(5, x);
    const ImputedAnalysis analysis = analyseImputed(sets, input);
    for (const ImputedSet& set : analysis.sets) {
        EXPECT_TRUE(set.pearsonFallback);
        EXPECT_THAT(set.dispersion, MatrixNear(correlationOf(x), 1e-15));
    }
    const std::string text =
        testing::captureReport([&](ReportWriter& r) { writeImputedFallbacks(r, analysis); });
    EXPECT_NE(text.find("imputated dataset 1 could not"), std::string::npos) << text;
    EXPECT_NE(text.find("imputated dataset 5 could not"), std::string::npos) << text;
}


}  // namespace
}  // namespace talvex
