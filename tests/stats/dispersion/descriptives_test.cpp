// Column statistics, covariance/correlation and Mardia's tests against closed
// forms and against base R / psych (tests/reference/dispersion_reference.R);
// the descriptive and dispersion-matrix sections byte for byte, assembled
// from the quoted formats with snprintf and from values worked out by hand.
#include "stats/dispersion/descriptives.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "data/dataset.h"
#include "stats/dispersion/correlation.h"
#include "support/matrix_testing.h"
#include "support/report_testing.h"

namespace talvex {
namespace {

using testing::captureReport;
using testing::formatted;
using testing::fromRows;
using testing::kSectionEnd;
using testing::MatrixNear;
using DescriptivesTest = testing::PoolTest;

TEST_F(DescriptivesTest, ConstantColumnHasZeroSdNotNaN) {
    // 0.1 is inexact, so the one-pass difference may fall below zero.
    const Matrix x = fromRows({{0.1, 1}, {0.1, 2}, {0.1, 4}});
    EXPECT_EQ(columnSds(x)[0][0], 0.0);
    EXPECT_THAT(centreColumns(x),
                MatrixNear(fromRows({{0, -4.0 / 3}, {0, -1.0 / 3}, {0, 5.0 / 3}}), 1e-15));
}

TEST_F(DescriptivesTest, CrossProductMatchesGeneralProductBitForBit) {
    std::mt19937 gen(11);
    const Matrix a = testing::randomMatrix(53, 6, gen);
    EXPECT_THAT(crossProduct(a), MatrixNear(a.transpose().multiply(a), 0.0));
}

// dispersion_reference.txt: per data set "set NAME N p", then labelled rows.
using ReferenceSet = std::map<std::string, std::vector<std::vector<double>>>;
const std::map<std::string, ReferenceSet>& fixture() {
    static const std::map<std::string, ReferenceSet> sets = [] {
        std::map<std::string, ReferenceSet> read;
        std::ifstream in(testing::referencePath("dispersion_reference.txt"));
        std::string line, key, name;
        while (std::getline(in, line)) {
            if (line.empty() || line[0] == '#') continue;
            std::istringstream fields(line);
            fields >> key;
            if (key == "set") fields >> name;
            std::vector<double> values;
            for (double v; fields >> v;) values.push_back(v);
            read[name][key].push_back(values);
        }
        return read;
    }();
    return sets;
}

// Compares the elements of a row or column with `expected`.
void expectNear(const Matrix& actual, const std::vector<double>& expected, double tolerance, const char* what) {
    ASSERT_EQ(actual.rows() * actual.cols(), static_cast<int>(expected.size())) << what;
    for (int j = 0; j < static_cast<int>(expected.size()); ++j)
        EXPECT_NEAR(actual.rows() == 1 ? actual[0][j] : actual[j][0], expected[j], tolerance) << what << j;
}

// bfi25 (N = 2436: several cache blocks of the Mardia pair sums, and not a
// whole number of panels) and a normal sample of 150.
class ReferenceDataTest : public DescriptivesTest, public ::testing::WithParamInterface<const char*> {
protected:
    const std::vector<double>& ref(const char* key, int row = 0) const {
        return fixture().at(GetParam()).at(key)[static_cast<std::size_t>(row)];
    }
    Matrix scores() const {
        const bool bfi = std::string(GetParam()) == "bfi25";
        return testing::readMatrix(testing::referencePath(bfi ? "bfi25.dat" : "dispersion_normal.dat"));
    }
};

// Same formulas as R up to rounding: tight tolerances.
TEST_P(ReferenceDataTest, ColumnStatisticsCovarianceAndCorrelationMatchR) {
    const Matrix x = scores();
    ASSERT_EQ(x.rows(), ref("set")[0]);
    ASSERT_EQ(x.cols(), ref("set")[1]);
    expectNear(columnMeans(x), ref("mean"), 1e-12, "mean");
    expectNear(columnSds(x), ref("sd"), 1e-10, "sd");
    expectNear(columnSkewness(x), ref("skew"), 1e-9, "skewness");
    expectNear(columnKurtosis(x), ref("kurt"), 1e-9, "kurtosis");
    const Matrix r = correlationOf(x), s = covarianceOf(x);
    for (int i = 0; i < x.cols(); ++i) {
        MatrixScope scope;
        expectNear(r.rowBlock(i, 1), ref("cor", i), 1e-12, "correlation");
        expectNear(s.rowBlock(i, 1), ref("cov", i), 1e-12, "covariance");
    }
}

// Coefficients and statistics follow the same formulas as psych::mardia
// (tight). The skewness P values follow the program's chi-square rule, which
// the fixture recomputes in R ("mardiaP"); the kurtosis P is psych's halved,
// at the printed precision since our normal probability is approximate.
TEST_P(ReferenceDataTest, MardiaMatchesPsych) {
    const std::vector<double>& m = ref("mardia");
    const Matrix t = mardiaTest(scores());
    ASSERT_EQ(t.rows(), 9);
    for (int row : {MardiaSkewness, MardiaSkewnessStatistic, MardiaCorrectedStatistic, MardiaKurtosis,
                    MardiaKurtosisZ})
        EXPECT_NEAR(t[row][0], m[row], 1e-9 * std::max(1.0, std::fabs(m[row]))) << row;
    EXPECT_EQ(t[MardiaDf][0], m[MardiaDf]);
    EXPECT_NEAR(t[MardiaSkewnessP][0], ref("mardiaP")[0], 1e-6);
    EXPECT_NEAR(t[MardiaCorrectedP][0], ref("mardiaP")[1], 1e-6);
    EXPECT_NEAR(t[MardiaKurtosisP][0], m[MardiaKurtosisP], 1e-4);
}

INSTANTIATE_TEST_SUITE_P(Fixture, ReferenceDataTest, ::testing::Values("bfi25", "normal"));

const std::string kMultivariateHead =
    "MULTIVARIATE DESCRIPTIVES \n\n"
    "Analysis of the Mardia's (1970) multivariate asymmetry skewness and kurtosis.\n\n"
    "                                            Coefficient        Statistic     df       P\n\n";

// P exactly at 0.05 is marked but adds no footnote; below 0.05 it adds one.
TEST_F(DescriptivesTest, MardiaSectionMarksSignificantP) {
    const struct {
        double p[3];
        const char* marks[3];
        const char* footnote;
    } cases[] = {{{0.05, 0.5, 0.3}, {"**", "", ""}, "\n"},
                 {{0.2, 0.6, 0.0001}, {"", "", "**"}, "\n** Significant at 0.05\n\n"}};
    for (const auto& c : cases) {
        Matrix t(9, 1);
        const double values[9] = {1.25, 20.8333, 4.0, c.p[0], 31.5, c.p[1], 7.5, -1.0625, c.p[2]};
        for (int i = 0; i < 9; ++i) t[i][0] = values[i];
        const std::string expected =
            kMultivariateHead +
            formatted("Skewness                                    % 11.3f      % 11.3f   %4.0f     %5.4f%s\n",
                      1.25, 20.8333, 4.0, c.p[0], c.marks[0]) +
            formatted("SKewness corrected for small sample         % 11.3f      % 11.3f   %4.0f     %5.4f%s\n",
                      1.25, 31.5, 4.0, c.p[1], c.marks[1]) +
            formatted("Kurtosis                                    % 11.3f      % 11.3f            %5.4f%s\n",
                      7.5, -1.0625, c.p[2], c.marks[2]) +
            c.footnote + kSectionEnd;
        EXPECT_EQ(captureReport([&](ReportWriter& r) { writeMultivariateDescriptives(r, t); }), expected);
    }
}

std::string univariateLine(const std::string& name, double mean, double half, double variance,
                           double skew, double kurt) {
    return name + formatted("% 7.3f     (% 7.2f  % 7.2f)     % 7.3f    % 7.3f      % 7.3f\n", mean,
                            mean - half, mean + half, variance, skew, kurt);
}

// Scores 1..5 in file column 9 and 2, 2, 2, 2, 7 in file column 10.
// Column 2 by hand: mean 3, deviations -1 (x4) and 4, variance 20/5 = 4,
// sd 2, skewness (-4 + 64)/4/8 = 1.875, kurtosis (4 + 256)/4/16 - 3 = 1.0625.
TEST_F(DescriptivesTest, UnivariateSectionWithAdviceAndMultivariateSection) {
    DataSet data;
    testing::numberVariables(data, 2, 9);
    const Matrix x = fromRows({{1, 2}, {2, 2}, {3, 2}, {4, 2}, {5, 7}});
    const std::string text =
        captureReport([&](ReportWriter& r) { writeDescriptives(r, data, x, PearsonCorrelation); });
    const std::string expected =
        "UNIVARIATE DESCRIPTIVES \n\n"
        "Variable     Mean       Confidence Interval     Variance   Skewness     Kurtosis\n"
        "                        (95%)                                          (Zero centered)\n\n" +
        univariateLine("V   9      ", 3.0, 1.96 * std::sqrt(2.0 / 4.0), 2.0, 0.0, -0.875) +
        univariateLine("V  10      ", 3.0, 1.96 * std::sqrt(4.0 / 4.0), 4.0, 1.875, 1.0625) + "\n";
    EXPECT_NE(text.find("(   1.61     4.39)"), std::string::npos);  // worked interval for 1..5
    ASSERT_EQ(text.substr(0, expected.size()), expected);
    const std::string rest = text.substr(expected.size());
    EXPECT_EQ(rest.rfind("Polychoric correlation is advised when the univariate distributions of ordinal "
                         "items are \nasymmetric or with excess of kurtosis. If both indices are lower "
                         "than one in absolute value, \nthen Pearson correlation is advised. You can "
                         "read more about this subject in:\n\n", 0), 0u);
    // Two references, one line each, é as the single byte 0xE9; then the
    // separator (no bar charts for Pearson) and the Mardia section.
    const std::size_t second = rest.find("\nMuth\xE9n", rest.find("Muth\xE9n"));
    ASSERT_NE(second, std::string::npos);
    EXPECT_NE(rest.find("(1985)"), std::string::npos);
    EXPECT_NE(rest.find("(1992)"), std::string::npos);
    const std::size_t end = rest.find("\n\n", second + 1);
    ASSERT_NE(end, std::string::npos);
    EXPECT_EQ(rest.find(kSectionEnd + kMultivariateHead, end), end + 2);
}

// Kurtosis of a symmetric column {-1, 0 x8, 1}: 2/9/0.04 - 3 = 2.56 with
// skewness 0 raises the advice; kurtosis alone is enough.
TEST_F(DescriptivesTest, AdviceFollowsKurtosisAloneAndStaysAwayWhenBothAreSmall) {
    DataSet data;
    testing::numberVariables(data, 1);
    auto advises = [&](const Matrix& x) {
        return captureReport([&](ReportWriter& r) { writeDescriptives(r, data, x, Covariance); })
                   .find("Polychoric correlation is advised") != std::string::npos;
    };
    EXPECT_TRUE(advises(fromRows({{-1}, {0}, {0}, {0}, {0}, {0}, {0}, {0}, {0}, {1}})));
    EXPECT_FALSE(advises(fromRows({{1}, {2}, {3}, {4}, {5}})));
}

TEST_F(DescriptivesTest, LabelsWidenTheNameColumn) {
    DataSet data;
    testing::numberVariables(data, 1, 2);
    data.labelsEnabled = true;
    data.labels = {"first", std::string(60, 'L')};
    const Matrix x = fromRows({{1}, {2}, {3}, {4}, {5}});
    const std::string text = captureReport([&](ReportWriter& r) { writeDescriptives(r, data, x, Covariance); });
    const std::string head =
        "UNIVARIATE DESCRIPTIVES \n\n"
        "Variable                                        Mean       Confidence Interval     Variance   "
        "Skewness     Kurtosis\n"
        "                                                           (95%)                                "
        "          (Zero centered)\n\n";
    EXPECT_EQ(text.substr(0, head.size() + 46), head + std::string(45, 'L') + " ");
}

TEST_F(DescriptivesTest, PolychoricInsertsBarChartsBeforeMultivariate) {
    DataSet data;
    testing::numberVariables(data, 1);
    const Matrix x = fromRows({{1}, {2}, {3}, {4}, {5}});
    const std::string text =
        captureReport([&](ReportWriter& r) { writeDescriptives(r, data, x, PolychoricCorrelation); });
    const std::size_t charts = text.find("\n\n\n\nBAR CHARTS FOR ORDINAL VARIABLES\n\n");
    const std::size_t multivariate = text.find(kSectionEnd + kMultivariateHead);
    ASSERT_NE(charts, std::string::npos);
    EXPECT_LT(charts, multivariate);
    // Only the bar charts' own separator sits between the two sections.
    EXPECT_EQ(text.find(kSectionEnd), multivariate);
}

TEST_F(DescriptivesTest, DispersionMatrixLowerTriangleTitlesAndWarning) {
    DataSet data;
    testing::numberVariables(data, 2, 4);
    auto section = [&](const Matrix& m, DispersionType type) {
        return captureReport([&](ReportWriter& r) { writeDispersionMatrix(r, data, m, type); });
    };
    const Matrix m = fromRows({{1.0, 0.25}, {0.25, 1.0}});
    const std::string body = "Variable  " + formatted("%4i     %4i     \n", 4, 5) + "V   4      " +
                             formatted("%7.3f  \n", 1.0) + "V   5      " +
                             formatted("%7.3f  %7.3f  \n\n", 0.25, 1.0) + kSectionEnd;
    const std::pair<DispersionType, std::string> titles[] = {
        {Covariance, "VARIANCE / COVARIANCE MATRIX \n\n"},
        {PearsonCorrelation, "STANDARIZED VARIANCE / COVARIANCE MATRIX (PEARSON CORRELATION)\n\n"},
        {PolychoricCorrelation,
         "STANDARIZED VARIANCE / COVARIANCE MATRIX (POLYCHORIC CORRELATION)\n"
         "(Polychoric algorithm: Olsson ,1979a, 1979b; Tetrachoric algorithm: AS116)\n\n"},
        {UserMatrix, "DISPERSION MATRIX (USER DEFINED)\n\n"}};
    for (const auto& [type, title] : titles) EXPECT_EQ(section(m, type), title + body);
    // Eigenvalues 1 ± 1.5: the smaller is negative. A singular but positive
    // semi-definite matrix (eigenvalue 0) is not flagged.
    const std::string text = section(fromRows({{1.0, 1.5}, {1.5, 1.0}}), Covariance);
    const std::string tail = "\n\nWARNING: Matrix to be analyzed is not positive-definite.\n\n" + kSectionEnd;
    ASSERT_GE(text.size(), tail.size());
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
    EXPECT_EQ(section(fromRows({{1.0, 0.0}, {0.0, 0.0}}), Covariance).find("WARNING"), std::string::npos);
}

}  // namespace
}  // namespace talvex
