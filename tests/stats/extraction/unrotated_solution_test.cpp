#include <gtest/gtest.h>

#include <cmath>

#include "extraction_fixture.h"
#include "stats/extraction/unrotated_solution.h"

namespace talvex {
namespace {

using talvex::testing::captureReport;
using talvex::testing::formatted;
using talvex::testing::fromRows;
using talvex::testing::numberVariables;
using talvex::testing::PoolTest;

class ReliabilityTest : public PoolTest {};
class UnrotatedSectionTest : public PoolTest {};

// Two variables with correlation rho: the first component has loadings
// sqrt((1 + rho)/2) and its alpha is the two-item coefficient 2 rho/(1 + rho).
TEST_F(ReliabilityTest, ComponentAlphaOfTwoItems) {
    for (double rho : {0.3, 0.8}) {
        const Matrix r = fromRows({{1.0, rho}, {rho, 1.0}});
        const double a = std::sqrt((1 + rho) / 2);
        EXPECT_NEAR(componentReliability(r, fromRows({{a}, {a}}))[0][0], 2 * rho / (1 + rho), 1e-12);
        // A covariance matrix is standardised first: the same alpha.
        const Matrix cov = fromRows({{4.0, 2.0 * 3.0 * rho}, {2.0 * 3.0 * rho, 9.0}});
        EXPECT_NEAR(componentReliability(cov, fromRows({{a}, {a}}))[0][0], 2 * rho / (1 + rho), 1e-12);
    }
    // Negative alpha (negatively related items) is reported as 0.
    const Matrix r = fromRows({{1.0, -0.5}, {-0.5, 1.0}});
    const double a = std::sqrt(0.25);
    EXPECT_EQ(componentReliability(r, fromRows({{a}, {a}}))[0][0], 0.0);
}

// One factor: rho = S / (1 + S) with S = sum of l²/(1 - l²); two factors on
// separate variables give the same formula factor by factor.
TEST_F(ReliabilityTest, FactorDeterminacyClosedForm) {
    const Matrix one = fromRows({{0.8}, {0.6}, {0.5}});
    const double s = 0.64 / 0.36 + 0.36 / 0.64 + 0.25 / 0.75;
    const Matrix k1 = one.multiply(one.transpose());
    EXPECT_NEAR(factorReliability(identity(3), k1, one)[0][0], s / (1 + s), 1e-12);

    const Matrix two = fromRows({{0.8, 0.0}, {0.6, 0.0}, {0.0, 0.7}, {0.0, 0.4}});
    const Matrix rel = factorReliability(identity(4), two.multiply(two.transpose()), two);
    const double s2 = 0.49 / 0.51 + 0.16 / 0.84;
    EXPECT_NEAR(rel[0][0], (0.64 / 0.36 + 0.36 / 0.64) / (1 + 0.64 / 0.36 + 0.36 / 0.64), 1e-12);
    EXPECT_NEAR(rel[1][0], s2 / (1 + s2), 1e-12);
}

// A covariance matrix: the unique variances are R(i, i) - h², so scaling a
// variable (its variance and loading together) leaves the reliability as it
// is for the correlation form.
TEST_F(ReliabilityTest, FactorDeterminacyUsesUniqueVariancesOfACovarianceMatrix) {
    const Matrix one = fromRows({{0.8}, {0.6}, {0.5}});
    const Matrix scaled = fromRows({{1.6}, {0.6}, {1.5}});  // variables 1 and 3 scaled by 2 and 3
    const Matrix variances = fromRows({{4.0, 0, 0}, {0, 1.0, 0}, {0, 0, 9.0}});
    const double expected = factorReliability(identity(3), one.multiply(one.transpose()), one)[0][0];
    EXPECT_NEAR(factorReliability(variances, scaled.multiply(scaled.transpose()), scaled)[0][0],
                expected, 1e-12);
}

TEST_F(UnrotatedSectionTest, EigenvalueTable) {
    // Eigenvalues of [[1, .5, 0], [.5, 1, 0], [0, 0, 1]]: 1.5, 1, 0.5 (closed form).
    const Matrix r = fromRows({{1.0, 0.5, 0.0}, {0.5, 1.0, 0.0}, {0.0, 0.0, 1.0}});
    const std::string out = captureReport([&](ReportWriter& w) { writeEigenvalueVariance(w, r, 1); });
    std::string expected =
        "EXPLAINED VARIANCE BASED ON EIGENVALUES\n\n"
        "Variable  Eigenvalue   Proportion of   Cumulative Proportion\n"
        "                       Variance        of Variance\n\n";
    expected += formatted("%4i    %9.5f    %9.5f  ", 1, 1.5, 0.5) + formatted("     %9.5f  \n", 0.5);
    expected += formatted("%4i    %9.5f    %9.5f  ", 2, 1.0, 1.0 / 3) + "\n";
    expected += formatted("%4i    %9.5f    %9.5f  ", 3, 0.5, 0.5 / 3) + "\n";
    expected += "       \n" + std::string(kSeparator);
    EXPECT_EQ(out, expected);
}

std::string loadingLine(int number, std::initializer_list<double> loadings, double communality) {
    std::string line = formatted("V%4i      ", number);
    for (double l : loadings) line += formatted("% 7.3f  ", l);
    return line + formatted("   %7.3f\n", communality);
}

TEST_F(UnrotatedSectionTest, OneFactorIsPrintedWithPositiveLoadings) {
    DataSet data;
    numberVariables(data, 3, 4);
    const Matrix r = fromRows({{1.0, 0.48, 0.40}, {0.48, 1.0, 0.30}, {0.40, 0.30, 1.0}});
    const Matrix a = fromRows({{-0.8}, {-0.6}, {-0.5}});
    const std::string out = captureReport([&](ReportWriter& w) { writeUnrotatedLoadings(w, data, r, a, ULS, 0); });
    const double s = 0.64 / 0.36 + 0.36 / 0.64 + 0.25 / 0.75;
    std::string expected = "UNROTATED LOADING MATRIX \n\nVariable     F   1    Communality\n\n";
    expected += loadingLine(4, {0.8}, 0.64) + loadingLine(5, {0.6}, 0.36) + loadingLine(6, {0.5}, 0.25);
    expected += "\nEXPLAINED VARIANCE AND RELIABILITY\n\nMislevy & Bock (1990)\n\n"
                "Factor      Variance                      Reliability estimate\n"
                "                                               \n\n";
    expected += formatted("%4i       ", 1) + formatted("%7.3f                          %4.3f\n", 1.25, s / (1 + s));
    expected += "\n" + std::string(kSeparator);
    EXPECT_EQ(out, expected);
    EXPECT_EQ(a[0][0], -0.8);  // the stored solution keeps its sign
}

TEST_F(UnrotatedSectionTest, ComponentsWithLabels) {
    DataSet data;
    numberVariables(data, 2);
    data.labelsEnabled = true;
    data.labels = {"first item", "a label longer than forty-five characters, which is cut"};
    const double rho = 0.6;
    const Matrix r = fromRows({{1.0, rho}, {rho, 1.0}});
    const double a = std::sqrt(0.8), b = std::sqrt(0.2);
    const Matrix l = fromRows({{a, b}, {a, -b}});
    const std::string out = captureReport([&](ReportWriter& w) { writeUnrotatedLoadings(w, data, r, l, PCA, 0); });
    std::string expected = "UNROTATED LOADING MATRIX \n\n" + formatted("%-45s", "Variable") +
                           "   C   1    C   2    Communality\n\n";
    expected += formatted("%-45s ", "first item") + formatted("% 7.3f  % 7.3f  ", a, b) + formatted("   %7.3f\n", 1.0);
    expected += std::string("a label longer than forty-five characters, wh ") + formatted("% 7.3f  % 7.3f  ", a, -b) +
                formatted("   %7.3f\n", 1.0);
    expected += "\nEXPLAINED VARIANCE AND RELIABILITY\n\nten Berge & Hofstee (1999)\n\n"
                "Component   Variance    Proportion of     Reliability estimate\n"
                "                        variance               \n\n";
    // Alphas: 2 rho/(1 + rho) for the first component; the second is negative, so 0.
    expected += formatted("%4i       ", 1) + formatted("%7.3f       %4.3f             %4.3f\n", 1.6, 0.8, 2 * rho / (1 + rho));
    expected += formatted("%4i       ", 2) + formatted("%7.3f       %4.3f             %4.3f\n", 0.4, 0.2, 0.0);
    expected += "\n" + std::string(kSeparator);
    EXPECT_EQ(out, expected);
}

TEST_F(UnrotatedSectionTest, RotationFollowsSoReliabilitiesWait) {
    DataSet data;
    numberVariables(data, 2);
    const Matrix r = fromRows({{1.0, 0.6}, {0.6, 1.0}});
    const Matrix l = fromRows({{0.7, 0.1}, {0.7, -0.1}});
    const std::string out = captureReport([&](ReportWriter& w) { writeUnrotatedLoadings(w, data, r, l, ML, kPromin); });
    const std::string expected = "UNROTATED LOADING MATRIX \n\nVariable     F   1    F   2    Communality\n\n" +
                                 loadingLine(1, {0.7, 0.1}, 0.5) + loadingLine(2, {0.7, -0.1}, 0.5) + "\n" +
                                 kSeparator;
    EXPECT_EQ(out, expected);
}

TEST_F(UnrotatedSectionTest, MrfaUsesTheReducedMatrix) {
    DataSet data;
    numberVariables(data, 2);
    const Matrix r = fromRows({{1.0, 0.6}, {0.6, 1.0}});
    const Matrix l = fromRows({{0.7}, {0.7}});
    const Matrix reduced = fromRows({{0.6, 0.6}, {0.6, 0.6}});
    const std::string out =
        captureReport([&](ReportWriter& w) { writeUnrotatedLoadings(w, data, r, l, MRFA, 0, reduced); });
    // Reliability with communalities 0.6: S = 2·0.49/0.4.
    const double s = 2 * 0.49 / 0.4;
    std::string expected = "UNROTATED LOADING MATRIX \n\nVariable     F   1    Communality\n\n" +
                           loadingLine(1, {0.7}, 0.6) + loadingLine(2, {0.7}, 0.6) +
                           "\nEXPLAINED VARIANCE AND RELIABILITY\n\nMislevy & Bock (1990)\n\n"
                           "Factor      Variance    Proportion of     Reliability estimate\n"
                           "                        common variance               \n\n";
    expected += formatted("%4i       ", 1) + formatted("%7.3f       %4.3f             %4.3f\n", 0.98, 0.98 / 1.2, s / (1 + s));
    expected += "\n" + std::string(kSeparator);
    EXPECT_EQ(out, expected);
}

}  // namespace
}  // namespace talvex
