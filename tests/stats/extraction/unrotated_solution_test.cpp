#include <gtest/gtest.h>

#include <cmath>

#include "extraction_fixture.h"
#include "stats/extraction/unrotated_solution.h"

namespace talvex {
namespace {

using talvex::testing::captureReport;
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

// The whole section once: labels cut at 45 characters, components headed C,
// ten Berge alphas (2 rho/(1 + rho) = 0.75 for the first, the second
// negative, so 0); loadings √0.8 and √0.2.
TEST_F(UnrotatedTest, ComponentsWithLabels) {
    DataSet data;
    numberVariables(data, 2);
    data.labelsEnabled = true;
    data.labels = {"first item", "a label longer than forty-five characters, which is cut"};
    const Matrix r = fromRows({{1.0, 0.6}, {0.6, 1.0}});
    const double a = std::sqrt(0.8), b = std::sqrt(0.2);
    const Matrix l = fromRows({{a, b}, {a, -b}});
    EXPECT_EQ(captureReport([&](ReportWriter& w) { writeUnrotatedLoadings(w, data, r, l, PCA, 0); }),
              "UNROTATED LOADING MATRIX \n\n"
              "Variable                                        C   1    C   2    Communality\n\n"
              "first item                                      0.894    0.447       1.000\n"
              "a label longer than forty-five characters, wh   0.894   -0.447       1.000\n"
              "\nEXPLAINED VARIANCE AND RELIABILITY\n\nten Berge & Hofstee (1999)\n\n"
              "Component   Variance    Proportion of     Reliability estimate\n"
              "                        variance               \n\n"
              "   1         1.600       0.800             0.750\n"
              "   2         0.400       0.200             0.000\n\n" + std::string(kSeparator));
}

// Further cases on the lines that differ: one factor is printed with positive
// loadings (the stored solution keeps its sign) and without a proportion;
// MRFA takes communalities from the reduced matrix and reports the proportion
// of common variance (0.98/1.2); a following rotation leaves the
// reliabilities out. Reliabilities S/(1 + S) by hand as above.
TEST_F(UnrotatedTest, FactorSectionsDifferInTheirLines) {
    DataSet data;
    numberVariables(data, 3, 4);
    const Matrix r3 = fromRows({{1.0, 0.48, 0.40}, {0.48, 1.0, 0.30}, {0.40, 0.30, 1.0}});
    const Matrix a = fromRows({{-0.8}, {-0.6}, {-0.5}});
    const std::string uls = captureReport([&](ReportWriter& w) { writeUnrotatedLoadings(w, data, r3, a, ULS, 0); });
    EXPECT_NE(uls.find("Variable     F   1    Communality\n\n"
                       "V   4        0.800       0.640\nV   5        0.600       0.360\nV   6        0.500       0.250\n"),
              std::string::npos) << uls;
    EXPECT_NE(uls.find("Mislevy & Bock (1990)\n\nFactor      Variance                      Reliability estimate\n"
                       "                                               \n\n"
                       "   1         1.250                          0.728\n\n" + std::string(kSeparator)),
              std::string::npos) << uls;
    EXPECT_EQ(a[0][0], -0.8);

    numberVariables(data, 2);
    const Matrix r = fromRows({{1.0, 0.6}, {0.6, 1.0}});
    const Matrix reduced = fromRows({{0.6, 0.6}, {0.6, 0.6}});
    const std::string mrfa = captureReport(
        [&](ReportWriter& w) { writeUnrotatedLoadings(w, data, r, fromRows({{0.7}, {0.7}}), MRFA, 0, reduced); });
    EXPECT_NE(mrfa.find("V   1        0.700       0.600\nV   2        0.700       0.600\n"), std::string::npos)
        << mrfa;
    EXPECT_NE(mrfa.find("Factor      Variance    Proportion of     Reliability estimate\n"
                        "                        common variance               \n\n"
                        "   1         0.980       0.817             0.710\n"),
              std::string::npos) << mrfa;

    const Matrix l = fromRows({{0.7, 0.1}, {0.7, -0.1}});
    EXPECT_EQ(captureReport([&](ReportWriter& w) { writeUnrotatedLoadings(w, data, r, l, ML, kPromin); }),
              "UNROTATED LOADING MATRIX \n\nVariable     F   1    F   2    Communality\n\n"
              "V   1        0.700    0.100       0.500\nV   2        0.700   -0.100       0.500\n\n" +
                  std::string(kSeparator));
}

}  // namespace
}  // namespace talvex
