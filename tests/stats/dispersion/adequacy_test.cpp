#include "stats/dispersion/adequacy.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <string>
#include <utility>

#include "stats/dispersion/reference_inputs.h"

namespace talvex {
namespace {

using testing::captureReport;
using testing::formatted;
using testing::kSectionEnd;
using testing::symmetric;
using AdequacyTest = testing::PoolTest;

const std::string kHead = "ADEQUACY OF THE CORRELATION MATRIX \n\n";

// r12·3 = (r12 − r13·r23)/√((1 − r13²)(1 − r23²)), and likewise. A variable
// equal to another is swept out and its partials are 0, not a number.
TEST_F(AdequacyTest, PartialCorrelationClosedForm) {
    const double r12 = 0.6, r13 = 0.4, r23 = -0.3;
    const Matrix q = partialCorrelation(symmetric(3, {r12, r13, r23}));
    auto partial = [](double ab, double ac, double bc) {
        return (ab - ac * bc) / std::sqrt((1 - ac * ac) * (1 - bc * bc));
    };
    EXPECT_NEAR(q[0][1], partial(r12, r13, r23), 1e-14);
    EXPECT_NEAR(q[0][2], partial(r13, r12, r23), 1e-14);
    EXPECT_NEAR(q[1][2], partial(r23, r12, r13), 1e-14);
    EXPECT_NEAR(q[2][1], q[1][2], 1e-15);
    EXPECT_EQ(q[0][0], 1.0);
    const Matrix dependent = symmetric(3, {0.5, 1.0, 0.5});
    EXPECT_TRUE(std::isfinite(partialCorrelation(dependent).sumOfSquares()));
    EXPECT_TRUE(std::isfinite(kmoIndex(dependent)));
}

// A data matrix (not square) stands for its Pearson correlations: scores
// (1, 2, 3, 4) and (1, 3, 2, 4) correlate 4/5 = 0.8, and with two variables
// the partial equals r.
TEST_F(AdequacyTest, PartialCorrelationOfDataMatrix) {
    const Matrix data = testing::fromRows({{1.0, 1.0}, {2.0, 3.0}, {3.0, 2.0}, {4.0, 4.0}});
    const Matrix q = partialCorrelation(data);
    ASSERT_EQ(q.rows(), 2);
    ASSERT_EQ(q.cols(), 2);
    EXPECT_NEAR(q[0][1], 0.8, 1e-14);
    EXPECT_NEAR(q[1][0], 0.8, 1e-14);
    EXPECT_EQ(q[0][0], 1.0);
    const Matrix q2 = partialCorrelation(symmetric(2, {0.5}));
    EXPECT_NEAR(q2[0][1], 0.5, 1e-15);
}

TEST_F(AdequacyTest, KmoLabelBoundaries) {
    const std::pair<double, const char*> cases[] = {
        {1.0, "(very good)\n"}, {0.9, "(very good)\n"},   {0.8999, "(good)\n"},
        {0.8, "(good)\n"},      {0.7999, "(fair)\n"},     {0.7, "(fair)\n"},
        {0.6999, "(mediocre)\n"}, {0.6, "(mediocre)\n"},  {0.5999, "(bad)\n"},
        {0.5, "(bad)\n"},       {0.4999, "(inaceptable)\n"}, {0.0, "(inaceptable)\n"}};
    for (const auto& [kmo, label] : cases) EXPECT_STREQ(kmoLabel(kmo), label) << kmo;
}

TEST_F(AdequacyTest, BartlettStatisticClosedForms) {
    // −(N − 1 − (2m + 5)/6)·ln|R|. Upper tail with 1 df: erfc(√(x/2)); with
    // 3 df: erfc(√(x/2)) + √(2x/π)·e^(−x/2). Our tail is a 199-step integral
    // up to 0.995x, good to about two decimals with 3 df.
    const double det3 = 1 + 2 * 0.2 * 0.1 * 0.15 - 0.04 - 0.01 - 0.0225;
    const struct {
        Matrix r;
        int n;
        double det, df, pTolerance;
    } cases[] = {{symmetric(2, {0.5}), 50, 0.75, 1, 1e-6},
                 {symmetric(3, {0.2, 0.1, 0.15}), 60, det3, 3, 5e-3}};
    for (const auto& c : cases) {
        const BartlettTest t = bartlettTest(c.r, c.n);
        const double x = -(c.n - 1 - (2.0 * c.r.rows() + 5) / 6) * std::log(c.det);
        EXPECT_NEAR(t.statistic, x, 1e-12) << c.df;
        EXPECT_EQ(t.degreesOfFreedom, c.df);
        const double tail = std::erfc(std::sqrt(x / 2)) +
                            (c.df == 3 ? std::sqrt(2 * x / M_PI) * std::exp(-x / 2) : 0.0);
        EXPECT_NEAR(t.p, tail, c.pTolerance) << c.df;
    }
}

TEST_F(AdequacyTest, SectionText) {
    // Identity: determinant 1, statistic 0 with df 21 and P 1, KMO 0.
    EXPECT_EQ(captureReport([](ReportWriter& r) { writeAdequacy(r, identity(7), 100); }),
              kHead + formatted("Determinant of the matrix     = %17.15f\n", 1.0) +
                  formatted("Bartlett's statistic          = %7.1f (df = %5.0f; P = %7.6f)\n", 0.0,
                            21.0, 1.0) +
                  formatted("Kaiser-Meyer-Olkin (KMO) test = %7.5f ", 0.0) + "(inaceptable)\n\n" +
                  kSectionEnd);
    // Without a sample size the Bartlett line is left out. Two variables: the
    // partial equals r, so KMO = 2r²/(2r² + 2r² + 0.000001), which prints as
    // 0.50000 but lies below 0.5.
    const std::string expected =
        kHead + formatted("Determinant of the matrix     = %17.15f\n", 0.75) +
        formatted("Kaiser-Meyer-Olkin (KMO) test = %7.5f ", 0.5 / (1.0 + 0.000001)) +
        "(inaceptable)\n\n" + kSectionEnd;
    for (int n : {0, -5})
        EXPECT_EQ(captureReport([&](ReportWriter& w) { writeAdequacy(w, symmetric(2, {0.5}), n); }),
                  expected);
}

TEST_F(AdequacyTest, CovarianceKmoIsThatOfItsCorrelationForm) {
    const Matrix c = symmetric(3, {0.6, 0.4, -0.3});
    const double sd[3] = {2.0, 0.5, 3.0};
    Matrix cov(3, 3);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) cov[i][j] = c[i][j] * sd[i] * sd[j];
    EXPECT_THAT(correlationForm(cov), testing::MatrixNear(c, 1e-15));
    // The section prints the determinant of C (not |D|·|C| = 9·|C|) and the KMO of C.
    const std::string text = captureReport([&cov](ReportWriter& w) { writeAdequacy(w, cov, 0); });
    const double detC = 1 + 2 * 0.6 * 0.4 * -0.3 - 0.36 - 0.16 - 0.09;
    EXPECT_NE(text.find(formatted("= %17.15f\n", detC)), std::string::npos) << text;
    EXPECT_NE(text.find(formatted("test = %7.5f ", kmoIndex(c))), std::string::npos) << text;
}

// bfi25 and harman74 against tests/reference/adequacy_reference.R
// (psych::KMO, psych::cortest.bartlett, det).
TEST_F(AdequacyTest, MatchesPsychOnReferenceMatrices) {
    std::ifstream in(testing::referencePath("adequacy_reference.txt"));
    std::string line, name;
    int checked = 0;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        int n = 0, df = 0;
        double det = 0, chi = 0, p = 0, kmo = 0;
        fields >> name >> n >> det >> chi >> df >> p >> kmo;
        SCOPED_TRACE(name);
        const testing::ReferenceMatrix m = testing::referenceCorrelation(name);
        ASSERT_EQ(m.n, n);
        EXPECT_NEAR(m.r.determinant() / det, 1.0, 1e-10);
        const BartlettTest t = bartlettTest(m.r, n);
        EXPECT_NEAR(t.statistic, chi, 1e-8 * chi);
        EXPECT_EQ(t.degreesOfFreedom, df);
        // Both P values are far below the 0.00001 floor of our chi-square
        // tail (the normal CDF is clamped), so ours is that floor.
        EXPECT_NEAR(t.p, p, 1.1e-5);
        // The 0.000001 in our denominator is far below the printed digits.
        EXPECT_NEAR(kmoIndex(m.r), kmo, 1e-6);
        const std::string text = captureReport([&m](ReportWriter& w) { writeAdequacy(w, m.r, m.n); });
        EXPECT_NE(text.find(formatted("Kaiser-Meyer-Olkin (KMO) test = %7.5f (good)\n", kmo)),
                  std::string::npos) << text;
        EXPECT_NE(text.find(formatted("Bartlett's statistic          = %7.1f (df = %5.0f; P = ", chi,
                                      static_cast<double>(df))),
                  std::string::npos) << text;
        ++checked;
    }
    EXPECT_EQ(checked, 2);
}

}  // namespace
}  // namespace talvex
