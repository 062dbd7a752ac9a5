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
using UnrotatedTest = talvex::testing::PoolTest;

// Two variables with correlation rho: the first component has loadings
// sqrt((1 + rho)/2) and its alpha is the two-item coefficient 2 rho/(1 + rho);
// a covariance matrix is standardised first. Negative alpha (negatively
// related items) is reported as 0.
TEST_F(UnrotatedTest, ComponentAlphaOfTwoItems) {
    for (double rho : {0.3, 0.8, -0.5}) {
        const Matrix a = fromRows({{std::sqrt((1 + rho) / 2)}, {std::sqrt((1 + rho) / 2)}});
        const double alpha = std::max(0.0, 2 * rho / (1 + rho));
        EXPECT_NEAR(componentReliability(fromRows({{1.0, rho}, {rho, 1.0}}), a)[0][0], alpha, 1e-12);
        const Matrix cov = fromRows({{4.0, 6.0 * rho}, {6.0 * rho, 9.0}});
        EXPECT_NEAR(componentReliability(cov, a)[0][0], alpha, 1e-12) << rho;
    }
}

// One factor: rho = S / (1 + S) with S = sum of l²/(1 - l²); two factors on
// separate variables give the same formula factor by factor. For a covariance
// matrix the unique variances are R(i, i) - h², so scaling a variable (its
// variance and loading together) leaves the reliability as it is.
TEST_F(UnrotatedTest, FactorDeterminacyClosedForm) {
    const double s = 0.64 / 0.36 + 0.36 / 0.64 + 0.25 / 0.75;
    const Matrix one = fromRows({{0.8}, {0.6}, {0.5}});
    EXPECT_NEAR(factorReliability(identity(3), one.multiply(one.transpose()), one)[0][0], s / (1 + s), 1e-12);
    const Matrix scaled = fromRows({{1.6}, {0.6}, {1.5}});  // variables 1 and 3 scaled by 2 and 3
    const Matrix variances = fromRows({{4.0, 0, 0}, {0, 1.0, 0}, {0, 0, 9.0}});
    EXPECT_NEAR(factorReliability(variances, scaled.multiply(scaled.transpose()), scaled)[0][0], s / (1 + s),
                1e-12);
    const Matrix two = fromRows({{0.8, 0.0}, {0.6, 0.0}, {0.0, 0.7}, {0.0, 0.4}});
    const Matrix rel = factorReliability(identity(4), two.multiply(two.transpose()), two);
    const double s1 = 0.64 / 0.36 + 0.36 / 0.64, s2 = 0.49 / 0.51 + 0.16 / 0.84;
    EXPECT_NEAR(rel[0][0], s1 / (1 + s1), 1e-12);
    EXPECT_NEAR(rel[1][0], s2 / (1 + s2), 1e-12);
}

TEST_F(UnrotatedTest, EigenvalueTable) {
    // Eigenvalues of [[1, .5, 0], [.5, 1, 0], [0, 0, 1]]: 1.5, 1, 0.5 (closed form).
    const Matrix r = fromRows({{1.0, 0.5, 0.0}, {0.5, 1.0, 0.0}, {0.0, 0.0, 1.0}});
    EXPECT_EQ(captureReport([&](ReportWriter& w) { writeEigenvalueVariance(w, r, 1); }),
              "EXPLAINED VARIANCE BASED ON EIGENVALUES\n\n"
              "Variable  Eigenvalue   Proportion of   Cumulative Proportion\n"
              "                       Variance        of Variance\n\n" +
                  formatted("%4i    %9.5f    %9.5f       %9.5f  \n", 1, 1.5, 0.5, 0.5) +
                  formatted("%4i    %9.5f    %9.5f  \n", 2, 1.0, 1.0 / 3) +
                  formatted("%4i    %9.5f    %9.5f  \n", 3, 0.5, 0.5 / 3) + "       \n" + kSeparator);
}

std::string loadingLine(int number, std::initializer_list<double> loadings, double communality) {
    std::string line = formatted("V%4i      ", number);
    for (double l : loadings) line += formatted("% 7.3f  ", l);
    return line + formatted("   %7.3f\n", communality);
}
std::string reliabilityRow(double variance, const std::string& proportion, double reliability) {
    return formatted("%4i       %7.3f       ", 1, variance) + proportion + formatted("             %4.3f\n", reliability);
}

// The whole section once: labels cut at 45 characters, components headed C,
// ten Berge alphas (2 rho/(1 + rho) for the first, the second negative, so 0).
TEST_F(UnrotatedTest, ComponentsWithLabels) {
    DataSet data;
    numberVariables(data, 2);
    data.labelsEnabled = true;
    data.labels = {"first item", "a label longer than forty-five characters, which is cut"};
    const Matrix r = fromRows({{1.0, 0.6}, {0.6, 1.0}});
    const double a = std::sqrt(0.8), b = std::sqrt(0.2);
    const Matrix l = fromRows({{a, b}, {a, -b}});
    EXPECT_EQ(captureReport([&](ReportWriter& w) { writeUnrotatedLoadings(w, data, r, l, PCA, 0); }),
              "UNROTATED LOADING MATRIX \n\n" + formatted("%-45s", "Variable") +
                  "   C   1    C   2    Communality\n\n" + formatted("%-45s % 7.3f  % 7.3f  ", "first item", a, b) +
                  formatted("   %7.3f\n", 1.0) + "a label longer than forty-five characters, wh " +
                  formatted("% 7.3f  % 7.3f     %7.3f\n", a, -b, 1.0) +
                  "\nEXPLAINED VARIANCE AND RELIABILITY\n\nten Berge & Hofstee (1999)\n\n"
                  "Component   Variance    Proportion of     Reliability estimate\n"
                  "                        variance               \n\n" +
                  reliabilityRow(1.6, "0.800", 1.2 / 1.6) +
                  formatted("%4i       %7.3f       %4.3f             %4.3f\n", 2, 0.4, 0.2, 0.0) + "\n" +
                  kSeparator);
}

// Further cases on the lines that differ: one factor is printed with positive
// loadings (the stored solution keeps its sign) and without a proportion;
// MRFA takes communalities from the reduced matrix and reports the proportion
// of common variance; a following rotation leaves the reliabilities out.
TEST_F(UnrotatedTest, FactorSectionsDifferInTheirLines) {
    DataSet data;
    numberVariables(data, 3, 4);
    const Matrix r3 = fromRows({{1.0, 0.48, 0.40}, {0.48, 1.0, 0.30}, {0.40, 0.30, 1.0}});
    const Matrix a = fromRows({{-0.8}, {-0.6}, {-0.5}});
    const std::string uls = captureReport([&](ReportWriter& w) { writeUnrotatedLoadings(w, data, r3, a, ULS, 0); });
    const double s = 0.64 / 0.36 + 0.36 / 0.64 + 0.25 / 0.75;
    EXPECT_NE(uls.find("Variable     F   1    Communality\n\n" + loadingLine(4, {0.8}, 0.64) +
                       loadingLine(5, {0.6}, 0.36) + loadingLine(6, {0.5}, 0.25)),
              std::string::npos) << uls;
    EXPECT_NE(uls.find("Mislevy & Bock (1990)\n\nFactor      Variance                      Reliability estimate\n"
                       "                                               \n\n" +
                       reliabilityRow(1.25, "      ", s / (1 + s)) + "\n" + kSeparator),
              std::string::npos) << uls;
    EXPECT_EQ(a[0][0], -0.8);

    numberVariables(data, 2);
    const Matrix r = fromRows({{1.0, 0.6}, {0.6, 1.0}});
    const Matrix reduced = fromRows({{0.6, 0.6}, {0.6, 0.6}});
    const std::string mrfa = captureReport(
        [&](ReportWriter& w) { writeUnrotatedLoadings(w, data, r, fromRows({{0.7}, {0.7}}), MRFA, 0, reduced); });
    const double s2 = 2 * 0.49 / 0.4;  // communalities 0.6
    EXPECT_NE(mrfa.find(loadingLine(1, {0.7}, 0.6) + loadingLine(2, {0.7}, 0.6)), std::string::npos) << mrfa;
    EXPECT_NE(mrfa.find("Factor      Variance    Proportion of     Reliability estimate\n"
                        "                        common variance               \n\n" +
                        reliabilityRow(0.98, formatted("%4.3f", 0.98 / 1.2), s2 / (1 + s2))),
              std::string::npos) << mrfa;

    const Matrix l = fromRows({{0.7, 0.1}, {0.7, -0.1}});
    EXPECT_EQ(captureReport([&](ReportWriter& w) { writeUnrotatedLoadings(w, data, r, l, ML, kPromin); }),
              "UNROTATED LOADING MATRIX \n\nVariable     F   1    F   2    Communality\n\n" +
                  loadingLine(1, {0.7, 0.1}, 0.5) + loadingLine(2, {0.7, -0.1}, 0.5) + "\n" + kSeparator);
}

}  // namespace
}  // namespace talvex
