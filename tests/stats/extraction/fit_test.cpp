#include <gtest/gtest.h>

#include <cmath>

#include "extraction_fixture.h"
#include "stats/dispersion/text_plots.h"
#include "stats/extraction/fit.h"

namespace talvex {
namespace {

using extraction_testing::ReferenceFixture;
using talvex::testing::captureReport;
using talvex::testing::formatted;
using talvex::testing::fromRows;
using talvex::testing::numberVariables;
using FitTest = talvex::testing::PoolTest;

Matrix fittedMatrix(const Matrix& r, const Matrix& loadings) {
    Matrix sigma = loadings.multiply(loadings.transpose());
    for (int i = 0; i < r.rows(); ++i) sigma[i][i] = r[i][i];
    return sigma;
}

const std::string kEnd = "       \n" + std::string(kSeparator);

// Reference: psych::fa(fm = "ml") on Harman74 (N = 145) and base R; see the
// fixture header for which values are psych's and which are our formulas in R.
TEST_F(FitTest, MaximumLikelihoodStatisticsMatchR) {
    const auto& fixture = ReferenceFixture::instance();
    int n = 0;
    const Matrix r = fixture.matrix("harman74", &n);
    for (int k = 2; k <= 4; ++k) {
        SCOPED_TRACE("k=" + std::to_string(k));
        MatrixScope scope;
        const Matrix loadings = fixture.block("ml harman74 " + std::to_string(k), r.rows(), k);
        const Matrix sigma = fittedMatrix(r, loadings);
        const FitStatistics s = mlFitStatistics(loadings, r, sigma, n);
        const std::vector<double>& v = fixture.values("mlfit harman74 " + std::to_string(k));
        EXPECT_NEAR(s.chiSquare, v[0], 1e-8 * v[0]);
        EXPECT_EQ(s.df, static_cast<int>(v[1]));
        EXPECT_NEAR(s.chiSquareP, v[2], 5e-5);  // our chi-square tail is floored at 1e-5
        EXPECT_NEAR(s.independenceChiSquare, v[3], 1e-8 * v[3]);
        EXPECT_NEAR(s.cfi, v[4], 1e-9);
        EXPECT_NEAR(s.nnfi, v[5], 1e-9);
        EXPECT_NEAR(s.rmsea, v[6], 1e-9);
        EXPECT_NEAR(s.nonCentrality, v[7], 1e-9);
        EXPECT_NEAR(s.approximateFitP, v[8], 1e-4);  // our normal CDF bisects on the quantile
        EXPECT_NEAR(s.gfi, v[9], 1e-12);
        EXPECT_NEAR(s.agfi, v[10], 1e-12);
        EXPECT_NEAR(s.gfiOffDiagonal, v[11], 1e-12);
        EXPECT_NEAR(s.agfiOffDiagonal, v[12], 1e-12);
        EXPECT_NEAR(summarizeResiduals(r, sigma, n).rmsr, v[13], 1e-12);
    }
}

// R = [[1, .5], [.5, 1]], one loading pair .6: closed forms GFI = 2.2592/2.5,
// df = -1 so k = -1 and AGFI = 2 - GFI; off the diagonal .1296/.25; reduced
// matrix [[.36, .5], [.5, .36]] has eigenvalues .86 and -.14. Without a
// sample ML and ULS print the same; a polychoric matrix gets the GFI alone.
TEST_F(FitTest, WithoutSampleOnlyTheFitIndicesAndEigenvalues) {
    const Matrix r = fromRows({{1.0, 0.5}, {0.5, 1.0}}), l = fromRows({{0.6}, {0.6}});
    const Matrix sigma = fittedMatrix(r, l);
    const double gfi = 2.2592 / 2.5, gfiOff = 0.1296 / 0.25;
    const std::string eigenvalues = "\nEIGENVALUES OF THE REDUCED CORRELATION MATRIX\n\nVariable  Eigenvalue \n\n" +
                                    formatted("%4i    % 13.9f \n%4i    % 13.9f \n", 1, 0.86, 2, -0.14) + kEnd;
    const std::string expected =
        "GOODNESS OF FIT STATISTICS \n\n" +
        formatted("                                 Goodness of Fit Index (GFI) = %6.2f\n", gfi) +
        formatted("                       Adjusted Goodness of Fit Index (AGFI) = %6.2f\n", 2 - gfi) +
        formatted("         Goodness of Fit Index without diagonal values (GFI) = %6.2f\n", gfiOff) +
        formatted("Adjusted Goodness of Fit Index without diagonal values(AGFI) = %6.2f\n", 2 - gfiOff) +
        eigenvalues;
    EXPECT_EQ(captureReport([&](ReportWriter& w) { writeFitStatisticsMl(w, l, r, sigma, 0); }), expected);
    EXPECT_EQ(captureReport([&](ReportWriter& w) { writeFitStatisticsUls(w, l, r, sigma, 0, PearsonCorrelation); }),
              expected);
    EXPECT_EQ(
        captureReport([&](ReportWriter& w) { writeFitStatisticsUls(w, l, r, sigma, 200, PolychoricCorrelation); }),
        "GOODNESS OF FIT STATISTICS \n\n" + formatted("Goodness of Fit Index (GFI) = %6.2f\n\n", gfi) +
            eigenvalues);
}

// A fitted determinant below that of R would give a negative ULS chi-square:
// it is printed as 0 with P = 1 (closed form for 2 degrees of freedom: e^0).
TEST_F(FitTest, NegativeUlsChiSquareIsZero) {
    Matrix r = identity(4);
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            if (i != j) r[i][j] = 0.1;
    const Matrix l = fromRows({{0.7}, {0.7}, {0.7}, {0.7}});
    const Matrix sigma = fittedMatrix(r, l);
    ASSERT_LT(sigma.determinant(), r.determinant());
    const std::string text =
        captureReport([&](ReportWriter& w) { writeFitStatisticsUls(w, l, r, sigma, 100, Covariance); });
    EXPECT_NE(text.find(formatted("                       Chi-Square with %i degrees of freedom = %7.3f (P = %7.6f)\n",
                                  2, 0.0, 1.0)),
              std::string::npos) << text;
    EXPECT_NE(text.find("Chi-Square for independence model with 6 degrees of freedom ="), std::string::npos);
    EXPECT_EQ(text.find("RMSEA"), std::string::npos);
}

// M = [[.6, .6], [.6, .6]]: T = 1.2, E = .98, eigenvalues 1.2 and 0.
TEST_F(FitTest, MrfaOverallStatistics) {
    const Matrix l = fromRows({{0.7}, {0.7}}), m = fromRows({{0.6, 0.6}, {0.6, 0.6}});
    EXPECT_EQ(captureReport([&](ReportWriter& w) { writeMrfaOverallStatistics(w, l, m); }),
              "OVERALL FACTOR ANALYSIS STATISTICS \n\n" + formatted("    Total observed variance = %6i\n", 2) +
                  formatted("      Total common variance = %9.3f\n", 1.2) +
                  formatted("  Explained common variance = %9.3f (%6.2f%%)\n", 0.98, 98 / 1.2) +
                  formatted("Unexplained common variance = %9.3f\n", 0.22) +
                  "\nEIGENVALUES OF THE REDUCED CORRELATION MATRIX\n\n"
                  "Variable  Eigenvalue   Proportion of     Cumulative Proportion\n"
                  "                       Common Variance   of Variance\n\n" +
                  formatted("%4i    %9.5f    %9.5f         %9.5f  \n", 1, 1.2, 1.0, 1.0) +
                  formatted("%4i    %9.5f    %9.5f  \n", 2, 0.0, 0.0) + kEnd);
}

// R with the residuals themselves off the diagonal (column order) and Sigma = I.
Matrix withResiduals(int p, std::initializer_list<double> columnOrder) {
    Matrix r = identity(p);
    auto it = columnOrder.begin();
    for (int j = 0; j < p; ++j)
        for (int i = j + 1; i < p; ++i) r[i][j] = r[j][i] = *it++;
    return r;
}

// The median of an odd count is the middle residual (an even count is in the
// section below).
TEST_F(FitTest, ResidualMedianOfAnOddCount) {
    EXPECT_DOUBLE_EQ(summarizeResiduals(withResiduals(3, {0.1, -0.2, 0.3}), identity(3), 101).median, 0.1);
}

// N = 17 gives Kelley's criterion sqrt(1/16) = 0.25 exactly, so residuals of
// ±0.625 standardize to exactly ±2.5, which are not listed.
TEST_F(FitTest, ResidualSectionWithListsAndBoundaries) {
    DataSet data;
    numberVariables(data, 4, 5);
    const Matrix r = withResiduals(4, {0.625, -0.7, -0.625, 0.25, 0.75, -0.1});
    const Matrix sigma = identity(4);
    const std::string out = captureReport([&](ReportWriter& w) { writeResidualDistribution(w, data, r, sigma, 17); });
    const ResidualSummary s = summarizeResiduals(r, sigma, 17);
    const double mean = 0.2 / 6, squares = (0.390625 * 2 + 0.49 + 0.0625 + 0.5625 + 0.01) / 6;
    // Pairs in column order: (2,1) .625, (3,1) -.7, (4,1) -.625, (3,2) .25, (4,2) .75, (4,3) -.1.
    const std::string expected =
        "DISTRIBUTION OF RESIDUALS \n\nNumber of Residuals = 6\n\nSummary Statistics for Fitted Residuals\n\n" +
        formatted("Smallest Fitted Residual = % 7.4f\n", -0.7) +
        formatted("  Median Fitted Residual = % 7.4f\n", (-0.1 + 0.25) / 2) +
        formatted(" Largest Fitted Residual = % 7.4f\n", 0.75) +
        formatted("    Mean Fitted Residual = % 7.4f\n", mean) +
        formatted("Variance Fitted Residual = % 7.4f\n\n", squares - mean * mean) +
        formatted("               Root Mean Square of Residuals (RMSR) = % 7.4f\n", std::sqrt(squares)) +
        formatted("Expected mean value of RMSR for an acceptable model = % 7.4f (Kelley's criterion) (Kelley, "
                  "1935,page 146; see also Harman, 1962, page 21 of the 2nd edition)\n", 0.25) +
        "Note: if the value of RMSR is much larger than Kelley's criterion value the model cannot be "
        "considered as good\n\n\nHistogram for fitted residuals\n\n" +
        captureReport([&](ReportWriter& w) { residualHistogram(w, s.residuals); }) +
        "\nSummary Statistics for Standardized Residuals\n\n" +
        formatted("Smallest Standardized Residual = % 5.2f\n", -2.8) +
        formatted("  Median Standardized Residual = % 5.2f\n", 0.3) +
        formatted(" Largest Standardized Residual = % 5.2f\n", 3.0) +
        formatted("    Mean Standardized Residual = % 5.2f\n", mean * 4) +
        "       \nStemleaf Plot for Standardized Residuals\n" +
        captureReport([&](ReportWriter& w) { stemLeafPlot(w, s.standardized); }) +
        "\nLargest Negative Standardized Residuals\n\n" +
        formatted("Residual for Var %3i and Var %3i    % 5.2f\n", 7, 5, -2.8) +
        "\nLargest Positive Standardized Residuals\n\n" +
        formatted("Residual for Var %3i and Var %3i    % 5.2f\n", 8, 6, 3.0) + kEnd;
    EXPECT_EQ(out, expected);
}

// Every residual 0.25 = K: RMSR equals the criterion, so no note. Without a
// sample nothing is standardized and the criterion prints as 0.
TEST_F(FitTest, NoNoteAtKelleysCriterionAndNoStandardizingWithoutSample) {
    DataSet data;
    numberVariables(data, 3);
    const Matrix r = withResiduals(3, {0.25, 0.25, 0.25});
    const std::string text =
        captureReport([&](ReportWriter& w) { writeResidualDistribution(w, data, r, identity(3), 17); });
    EXPECT_EQ(text.find("Note:"), std::string::npos);
    EXPECT_NE(text.find("Stemleaf Plot for Standardized Residuals\n"), std::string::npos);
    const std::string noSample =
        captureReport([&](ReportWriter& w) { writeResidualDistribution(w, data, r, identity(3), 0); });
    EXPECT_EQ(noSample.find("Standardized"), std::string::npos);
    EXPECT_EQ(noSample.find("Note:"), std::string::npos);
    EXPECT_NE(noSample.find(formatted("= % 7.4f (Kelley's criterion)", 0.0)), std::string::npos);
    EXPECT_EQ(noSample.substr(noSample.size() - kEnd.size()), kEnd);
}

}  // namespace
}  // namespace talvex
