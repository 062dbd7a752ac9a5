// The descriptive and dispersion-matrix sections byte for byte: expected
// text is assembled from the quoted formats with snprintf and from values
// worked out by hand, never copied from our own output.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "data/dataset.h"
#include "stats/dispersion/correlation.h"
#include "stats/dispersion/descriptives.h"
#include "support/matrix_testing.h"
#include "support/report_testing.h"

namespace talvex {
namespace {

using testing::captureReport;
using testing::formatted;
using testing::fromRows;
using testing::kSectionEnd;

const std::string kMultivariateHead =
    "MULTIVARIATE DESCRIPTIVES \n\n"
    "Analysis of the Mardia's (1970) multivariate asymmetry skewness and kurtosis.\n\n"
    "                                            Coefficient        Statistic     df       P\n\n";

class DispersionReportTest : public testing::PoolTest {
protected:
    // Variables numbered by `numbers` in the data file.
    DataSet dataWithNumbers(std::initializer_list<double> numbers) {
        DataSet data;
        data.includedIndex = Matrix(static_cast<int>(numbers.size()), 1);
        int i = 0;
        for (double v : numbers) data.includedIndex[i++][0] = v;
        return data;
    }
};

Matrix mardiaResult(double skewP, double correctedP, double kurtosisP) {
    Matrix t(9, 1);
    t[MardiaSkewness][0] = 1.25;
    t[MardiaSkewnessStatistic][0] = 20.8333;
    t[MardiaDf][0] = 4.0;
    t[MardiaSkewnessP][0] = skewP;
    t[MardiaCorrectedStatistic][0] = 31.5;
    t[MardiaCorrectedP][0] = correctedP;
    t[MardiaKurtosis][0] = 7.5;
    t[MardiaKurtosisZ][0] = -1.0625;
    t[MardiaKurtosisP][0] = kurtosisP;
    return t;
}

std::string mardiaLines(const char* skewMark, const char* correctedMark, const char* kurtosisMark, double skewP,
                        double correctedP, double kurtosisP) {
    return formatted("Skewness                                    % 11.3f      % 11.3f   %4.0f     %5.4f", 1.25,
                     20.8333, 4.0, skewP) +
           skewMark + "\n" +
           formatted("SKewness corrected for small sample         % 11.3f      % 11.3f   %4.0f     %5.4f", 1.25, 31.5,
                     4.0, correctedP) +
           correctedMark + "\n" +
           formatted("Kurtosis                                    % 11.3f      % 11.3f            %5.4f", 7.5, -1.0625,
                     kurtosisP) +
           kurtosisMark + "\n";
}

TEST_F(DispersionReportTest, PExactlyAtFivePercentIsMarkedWithoutFootnote) {
    const std::string text =
        captureReport([&](ReportWriter& r) { writeMultivariateDescriptives(r, mardiaResult(0.05, 0.5, 0.3)); });
    EXPECT_EQ(text, kMultivariateHead + mardiaLines("**", "", "", 0.05, 0.5, 0.3) + "\n" + kSectionEnd);
}

TEST_F(DispersionReportTest, PBelowFivePercentAddsFootnote) {
    const std::string text =
        captureReport([&](ReportWriter& r) { writeMultivariateDescriptives(r, mardiaResult(0.2, 0.6, 0.0001)); });
    EXPECT_EQ(text, kMultivariateHead + mardiaLines("", "", "**", 0.2, 0.6, 0.0001) +
                        "\n** Significant at 0.05\n\n" + kSectionEnd);
}

std::string univariateLine(const std::string& name, double mean, double half, double variance, double skew,
                           double kurt) {
    return name + formatted("% 7.3f     ", mean) + formatted("(% 7.2f  % 7.2f)", mean - half, mean + half) +
           formatted("     % 7.3f", variance) + formatted("    % 7.3f      % 7.3f", skew, kurt) + "\n";
}

// Scores 1..5 in file column 3 and 2, 2, 2, 2, 7 in file column 12.
// Column 2 by hand: mean 3, deviations -1 (x4) and 4, variance 20/5 = 4,
// sd 2, skewness (-4 + 64)/4/8 = 1.875, kurtosis (4 + 256)/4/16 - 3 = 1.0625.
TEST_F(DispersionReportTest, UnivariateSectionWithAdviceAndMultivariateSection) {
    DataSet data = dataWithNumbers({3, 12});
    const Matrix x = fromRows({{1, 2}, {2, 2}, {3, 2}, {4, 2}, {5, 7}});
    const std::string text = captureReport([&](ReportWriter& r) { writeDescriptives(r, data, x, PearsonCorrelation); });

    std::string expected =
        "UNIVARIATE DESCRIPTIVES \n\n"
        "Variable     Mean       Confidence Interval     Variance   Skewness     Kurtosis\n"
        "                        (95%)                                          (Zero centered)\n\n";
    expected += univariateLine("V   3      ", 3.0, 1.96 * std::sqrt(2.0 / 4.0), 2.0, 0.0, -0.875);
    expected += univariateLine("V  12      ", 3.0, 1.96 * std::sqrt(4.0 / 4.0), 4.0, 1.875, 1.0625);
    expected += "\n";
    // The worked example of the interval for 1..5.
    EXPECT_NE(text.find("(   1.61     4.39)"), std::string::npos);
    ASSERT_EQ(text.substr(0, expected.size()), expected);

    const std::string rest = text.substr(expected.size());
    EXPECT_EQ(rest.rfind("Polychoric correlation is advised when the univariate distributions of ordinal items are \n"
                         "asymmetric or with excess of kurtosis. If both indices are lower than one in absolute value, \n"
                         "then Pearson correlation is advised. You can read more about this subject in:\n\n",
                         0),
              0u);
    // Two references, one line each, é as the single byte 0xE9.
    const std::size_t refs = rest.find("Muth\xE9n");
    ASSERT_NE(refs, std::string::npos);
    const std::size_t second = rest.find("\nMuth\xE9n", refs);
    ASSERT_NE(second, std::string::npos);
    const std::size_t end = rest.find("\n\n", second + 1);
    ASSERT_NE(end, std::string::npos);
    EXPECT_NE(rest.find("(1985)"), std::string::npos);
    EXPECT_NE(rest.find("(1992)"), std::string::npos);
    // Then the separator (no bar charts for Pearson) and the Mardia section.
    EXPECT_EQ(rest.substr(end + 2, kSectionEnd.size() + kMultivariateHead.size()), kSectionEnd + kMultivariateHead);
}

// Kurtosis of a symmetric column {-1, 0 x8, 1}: 2/9/0.04 - 3 = 2.56 with
// skewness 0 raises the advice; kurtosis alone is enough.
TEST_F(DispersionReportTest, AdviceFollowsKurtosisAloneAndStaysAwayWhenBothAreSmall) {
    DataSet data = dataWithNumbers({1});
    const Matrix peaked = fromRows({{-1}, {0}, {0}, {0}, {0}, {0}, {0}, {0}, {0}, {1}});
    const Matrix flat = fromRows({{1}, {2}, {3}, {4}, {5}});
    auto advises = [&](const Matrix& x) {
        return captureReport([&](ReportWriter& r) { writeDescriptives(r, data, x, Covariance); })
                   .find("Polychoric correlation is advised") != std::string::npos;
    };
    EXPECT_TRUE(advises(peaked));
    EXPECT_FALSE(advises(flat));
}

TEST_F(DispersionReportTest, LabelsWidenTheNameColumn) {
    DataSet data = dataWithNumbers({2});
    data.labelsEnabled = true;
    data.labels = {"first", std::string(60, 'L')};
    const Matrix x = fromRows({{1}, {2}, {3}, {4}, {5}});
    const std::string text = captureReport([&](ReportWriter& r) { writeDescriptives(r, data, x, Covariance); });
    const std::string head =
        "UNIVARIATE DESCRIPTIVES \n\n"
        "Variable                                        Mean       Confidence Interval     Variance   Skewness     "
        "Kurtosis\n"
        "                                                           (95%)                                          "
        "(Zero centered)\n\n";
    EXPECT_EQ(text.substr(0, head.size() + 46), head + std::string(45, 'L') + " ");
}

TEST_F(DispersionReportTest, PolychoricInsertsBarChartsBeforeMultivariate) {
    DataSet data = dataWithNumbers({1});
    const Matrix x = fromRows({{1}, {2}, {3}, {4}, {5}});
    const std::string text =
        captureReport([&](ReportWriter& r) { writeDescriptives(r, data, x, PolychoricCorrelation); });
    const std::size_t charts = text.find("\n\n\n\nBAR CHARTS FOR ORDINAL VARIABLES\n\n");
    ASSERT_NE(charts, std::string::npos);
    const std::size_t multivariate = text.find(kSectionEnd + kMultivariateHead);
    ASSERT_NE(multivariate, std::string::npos);
    EXPECT_LT(charts, multivariate);
    // Only the bar charts' own separator sits between the two sections.
    EXPECT_EQ(text.find(kSectionEnd), multivariate);
}

TEST_F(DispersionReportTest, DispersionMatrixLowerTriangleAndTitles) {
    DataSet data = dataWithNumbers({4, 9});
    const Matrix m = fromRows({{1.0, 0.25}, {0.25, 1.0}});
    const std::string body = "Variable  " + formatted("%4i     ", 4) + formatted("%4i     ", 9) + "\n" + "V   4      " +
                             formatted("%7.3f  ", 1.0) + "\n" + "V   9      " + formatted("%7.3f  ", 0.25) +
                             formatted("%7.3f  ", 1.0) + "\n\n" + kSectionEnd;
    auto section = [&](DispersionType type) {
        return captureReport([&](ReportWriter& r) { writeDispersionMatrix(r, data, m, type); });
    };
    EXPECT_EQ(section(Covariance), "VARIANCE / COVARIANCE MATRIX \n\n" + body);
    EXPECT_EQ(section(PearsonCorrelation),
              "STANDARIZED VARIANCE / COVARIANCE MATRIX (PEARSON CORRELATION)\n\n" + body);
    EXPECT_EQ(section(PolychoricCorrelation),
              "STANDARIZED VARIANCE / COVARIANCE MATRIX (POLYCHORIC CORRELATION)\n"
              "(Polychoric algorithm: Olsson ,1979a, 1979b; Tetrachoric algorithm: AS116)\n\n" +
                  body);
    EXPECT_EQ(section(UserMatrix), "DISPERSION MATRIX (USER DEFINED)\n\n" + body);
}

TEST_F(DispersionReportTest, NonPositiveDefiniteMatrixIsFlagged) {
    DataSet data = dataWithNumbers({1, 2});
    // Eigenvalues 1 ± 1.5: the smaller is negative.
    const Matrix m = fromRows({{1.0, 1.5}, {1.5, 1.0}});
    const std::string text = captureReport([&](ReportWriter& r) { writeDispersionMatrix(r, data, m, Covariance); });
    const std::string tail = "\n\nWARNING: Matrix to be analyzed is not positive-definite.\n\n" + kSectionEnd;
    ASSERT_GE(text.size(), tail.size());
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
    // A singular but positive semi-definite matrix (eigenvalue 0) is not flagged.
    const Matrix singular = fromRows({{1.0, 0.0}, {0.0, 0.0}});
    const std::string psd =
        captureReport([&](ReportWriter& r) { writeDispersionMatrix(r, data, singular, Covariance); });
    EXPECT_EQ(psd.find("WARNING"), std::string::npos);
}

}  // namespace
}  // namespace talvex
