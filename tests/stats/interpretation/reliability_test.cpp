#include "stats/interpretation/reliability.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "data/dataset.h"
#include "interpretation_reference.h"
#include "stats/extraction/uls_pca.h"
#include "support/matrix_testing.h"
#include "support/report_testing.h"

namespace talvex {
namespace {

using interpretation_testing::ReliabilityIrtReference;
using talvex::testing::fromRows;
using ReliabilityTest = talvex::testing::PoolTest;

Matrix equalCorrelations(int p, double r) {
    Matrix m = constant(p, p, r);
    for (int i = 0; i < p; ++i) m[i][i] = 1.0;
    return m;
}

// D S D for signs d (p x 1).
Matrix reflected(const Matrix& s, const Matrix& d) {
    Matrix out = s.copy();
    for (int i = 0; i < s.rows(); ++i)
        for (int j = 0; j < s.cols(); ++j) out[i][j] *= d[i][0] * d[j][0];
    return out;
}

Matrix ulsLoadings(const Matrix& s) { return extractUls(s, 1, 1e-8, 1000).loadings; }

double reflectedSum(const Matrix& s, const Matrix& d) {
    double sum = 0.0;
    for (int i = 0; i < s.rows(); ++i)
        for (int j = 0; j < s.cols(); ++j) sum += d[i][0] * d[j][0] * s[i][j];
    return sum;
}

const char* const kSets[] = {"harman74", "bfi25", "bfi25cov", "ability"};

// Omega against psych::omega (minres and our ULS minimise the same loss, so
// the loadings agree to the optimisers' precision), standardized alpha
// against psych::alpha with the same items reversed, the reflection signs
// against the signs of psych's loadings.
TEST_F(ReliabilityTest, OmegaAlphaAndSignsMatchPsych) {
    const auto& ref = ReliabilityIrtReference::instance();
    for (const char* name : kSets) {
        SCOPED_TRACE(name);
        MatrixScope scope;
        const Matrix s = ref.matrix(name);
        const Matrix loadings = ulsLoadings(s);
        const Matrix d = reflectionSigns(loadings);
        const std::vector<double>& keys = ref.values(std::string("keys ") + name);
        for (int i = 0; i < s.rows(); ++i) EXPECT_EQ(d[i][0], keys[static_cast<std::size_t>(i)]) << i;
        EXPECT_NEAR(mcDonaldOmega(loadings, s), ref.value(std::string("omega ") + name), 2e-6);
        EXPECT_NEAR(standardizedAlpha(s, loadings), ref.value(std::string("alpha ") + name), 1e-12);
    }
}

// The greatest lower bound against a log-barrier interior-point solution of
// the same convex problem (max trace of error variances with S − Ψ positive
// semidefinite), and loosely against psych's glb.fa approximation for the
// correlation matrices.
TEST_F(ReliabilityTest, GreatestLowerBoundMatchesAnInteriorPointSolution) {
    const auto& ref = ReliabilityIrtReference::instance();
    for (const char* name : kSets) {
        SCOPED_TRACE(name);
        MatrixScope scope;
        const Matrix s = ref.matrix(name);
        const int p = s.rows();
        const GreatestLowerBound glb = greatestLowerBound(s);
        ASSERT_TRUE(glb.success);
        const std::vector<double>& barrier = ref.values(std::string("glb ") + name);
        const double scale = s.trace();
        EXPECT_NEAR(glb.reduced.trace(), barrier[1], 1e-5 * scale);
        for (int i = 0; i < p; ++i) {
            EXPECT_NEAR(glb.reduced[i][i], barrier[static_cast<std::size_t>(2 + i)],
                        2e-3 * s[i][i])
                << i;
            for (int j = 0; j < p; ++j)
                if (i != j) {
                    ASSERT_EQ(glb.reduced[i][j], s[i][j]);
                }
        }
        Matrix values(p, 1), vectors(p, p);
        glb.reduced.eigenSymmetric(values, vectors);
        EXPECT_GE(values[p - 1][0], -1e-8 * scale);
        const Matrix d = reflectionSigns(ulsLoadings(s));
        EXPECT_NEAR(reflectedSum(glb.reduced, d) / reflectedSum(s, d), barrier[0], 1e-6);
        if (std::string(name) == "harman74" || std::string(name) == "bfi25") {
            EXPECT_NEAR(barrier[0], ref.value(std::string("glbfa ") + name), 0.025);
        }
    }
}

// p variables with one common correlation r: one factor with loadings √r fits
// exactly, so omega = alpha = p·r / ((p − 1)·r + 1); the minimum trace
// communalities are all r (R − ψI stays positive semidefinite up to
// ψ = 1 − r, its smallest eigenvalue), and the GLB equals alpha as well.
TEST_F(ReliabilityTest, EqualCorrelationsGiveTheClosedForms) {
    struct Case {
        int p;
        double r;
    };
    const Case cases[] = {{3, 0.2}, {5, 0.3}, {8, 0.55}, {12, 0.1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.p);
        MatrixScope scope;
        const Matrix s = equalCorrelations(c.p, c.r);
        const double expected = c.p * c.r / ((c.p - 1) * c.r + 1.0);
        const Matrix loadings = ulsLoadings(s);
        EXPECT_NEAR(standardizedAlpha(s, loadings), expected, 1e-12);
        // ULS stops on a change of the loss below 1e-8, which leaves the
        // loadings, and omega, uncertain in the fifth decimal.
        EXPECT_NEAR(mcDonaldOmega(loadings, s), expected, 2e-5);
        const GreatestLowerBound glb = greatestLowerBound(s);
        ASSERT_TRUE(glb.success);
        for (int i = 0; i < c.p; ++i) EXPECT_NEAR(glb.reduced[i][i], c.r, 1e-4);
        const Matrix all = ones(c.p, 1);
        EXPECT_NEAR(reflectedSum(glb.reduced, all) / reflectedSum(s, all), expected, 1e-5);
    }
}

// A variable that loads against the first one is reversed: flipping any
// variable's sign in the data (D S D) changes none of the three
// coefficients, and neither does a change of unit of all scores (c² S).
TEST_F(ReliabilityTest, CoefficientsIgnoreReversedVariablesAndTheUnit) {
    const auto& ref = ReliabilityIrtReference::instance();
    MatrixScope scope;
    const Matrix s = ref.matrix("ability");
    const Matrix flip = fromRows({{1}, {-1}, {1}, {1}, {-1}, {1}});
    const Matrix flipFirst = fromRows({{-1}, {1}, {1}, {1}, {1}, {1}});
    const double omega = mcDonaldOmega(ulsLoadings(s), s);
    const double alpha = standardizedAlpha(s, ulsLoadings(s));
    for (const Matrix& other : {reflected(s, flip), reflected(s, flipFirst), s.scale(100.0)}) {
        const Matrix loadings = ulsLoadings(other);
        EXPECT_NEAR(mcDonaldOmega(loadings, other), omega, 1e-7);
        EXPECT_NEAR(standardizedAlpha(other, loadings), alpha, 1e-12);
    }
    const GreatestLowerBound a = greatestLowerBound(s);
    const GreatestLowerBound b = greatestLowerBound(reflected(s, flip));
    ASSERT_TRUE(a.success && b.success);
    EXPECT_NEAR(a.reduced.trace(), b.reduced.trace(), 1e-5 * s.trace());
}

std::string reliabilitySection(const Matrix& s, int n, bool labels = false) {
    DataSet data;
    testing::numberVariables(data, s.rows(), 3);
    if (labels)
        for (int i = 0; i < s.rows() + 2; ++i) data.labels.push_back("item label " + std::to_string(i));
    data.labelsEnabled = labels;
    return testing::captureReport([&](ReportWriter& r) { writeReliability(r, data, s, n); });
}

const char* const kSampleWarning = "WARNING: The GLB and Omega can only be trusted in large samples";

TEST_F(ReliabilityTest, SampleWarningBelowAThousandParticipants) {
    MatrixScope scope;
    const Matrix s = equalCorrelations(4, 0.4);
    EXPECT_NE(reliabilitySection(s, 999).find(kSampleWarning), std::string::npos);
    EXPECT_EQ(reliabilitySection(s, 1000).find(kSampleWarning), std::string::npos);
}

// One row per variable with its file number and communality, and the three
// coefficients of the closed form.
TEST_F(ReliabilityTest, SectionReportsTheCoefficientsAndCommunalities) {
    MatrixScope scope;
    const Matrix s = equalCorrelations(4, 0.4);  // alpha = 1.6 / 2.2
    const std::string text = reliabilitySection(s, 2000);
    EXPECT_NE(text.find("Greatest Lower Bound to Reliability =   0.727273"), std::string::npos);
    EXPECT_NE(text.find("McDonald's Omega =   0.7272"), std::string::npos);
    EXPECT_NE(text.find("Standardized Cronbach's alpha =   0.727273"), std::string::npos);
    EXPECT_NE(text.find("Total observed variance =   4.000"), std::string::npos);
    EXPECT_NE(text.find("Total Common Variance =   1.600"), std::string::npos);
    EXPECT_NE(text.find("V   6        0.400000  \n"), std::string::npos);
    EXPECT_EQ(text.find("V   7"), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - testing::kSectionEnd.size()), testing::kSectionEnd);
    const std::string labelled = reliabilitySection(s, 2000, true);
    EXPECT_NE(labelled.find(std::string("item label 5") + std::string(33, ' ') + " " + "  0.400000"),
              std::string::npos);
}

// The total score of one or two variables: a line says why nothing is
// computed, and no coefficient is written.
TEST_F(ReliabilityTest, FewerThanThreeVariablesAreNotComputed) {
    for (int p : {1, 2}) {
        MatrixScope scope;
        const std::string text = reliabilitySection(equalCorrelations(p, 0.5), 5000);
        EXPECT_NE(text.find("not computed: it needs at least 3 variables"), std::string::npos);
        EXPECT_EQ(text.find("Omega ="), std::string::npos);
        EXPECT_EQ(text.substr(text.size() - testing::kSectionEnd.size()), testing::kSectionEnd);
    }
    MatrixScope scope;
    EXPECT_EQ(reliabilitySection(equalCorrelations(3, 0.5), 5000).find("not computed"),
              std::string::npos);
}

}  // namespace
}  // namespace talvex
