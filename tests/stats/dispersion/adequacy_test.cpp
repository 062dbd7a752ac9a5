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
using testing::kSectionEnd;
using testing::symmetric;
using AdequacyTest = testing::PoolTest;

// Partials from r12·3 = (r12 − r13·r23)/√((1 − r13²)(1 − r23²)), worked out by
// hand; a data matrix (not square) stands for its Pearson correlations, and
// scores (1, 2, 3, 4), (1, 3, 2, 4) correlate 0.8, which with two variables is
// also the partial.
TEST_F(AdequacyTest, PartialCorrelations) {
    const struct {
        Matrix input;
        double q12, q13, q23;
    } rows[] = {
        {symmetric(3, {0.6, 0.4, -0.3}), 0.8235162195690195, 0.7600065066233909, -0.7364853795464743},
        {symmetric(3, {0.5, 0.5, 0.5}), 1.0 / 3, 1.0 / 3, 1.0 / 3},
        {testing::fromRows({{1.0, 1.0}, {2.0, 3.0}, {3.0, 2.0}, {4.0, 4.0}}), 0.8, 0, 0},
        {symmetric(2, {-0.5}), -0.5, 0, 0},
    };
    for (const auto& row : rows) {
        const Matrix q = partialCorrelation(row.input);
        const int p = q.rows();
        ASSERT_EQ(q.cols(), p);
        EXPECT_NEAR(q[0][1], row.q12, 1e-14);
        EXPECT_NEAR(q[1][0], row.q12, 1e-14);
        EXPECT_EQ(q[0][0], 1.0);
        if (p == 3) {
            EXPECT_NEAR(q[0][2], row.q13, 1e-14);
            EXPECT_NEAR(q[2][1], row.q23, 1e-14);
        }
    }
    // A variable equal to another is swept out: numbers, not NaN.
    const Matrix dependent = symmetric(3, {0.5, 1.0, 0.5});
    EXPECT_TRUE(std::isfinite(partialCorrelation(dependent).sumOfSquares()));
    EXPECT_TRUE(std::isfinite(kmoIndex(dependent)));
}

TEST_F(AdequacyTest, KmoLabelBoundaries) {
    const std::pair<double, const char*> cases[] = {
        {1.0, "(very good)\n"}, {0.9, "(very good)\n"},   {0.8999, "(good)\n"},
        {0.8, "(good)\n"},      {0.7999, "(fair)\n"},     {0.7, "(fair)\n"},
        {0.6999, "(mediocre)\n"}, {0.6, "(mediocre)\n"},  {0.5999, "(bad)\n"},
        {0.5, "(bad)\n"},       {0.4999, "(inaceptable)\n"}, {0.0, "(inaceptable)\n"}};
    for (const auto& [kmo, label] : cases) EXPECT_STREQ(kmoLabel(kmo), label) << kmo;
}

// Statistics worked out by hand from −(N − 1 − (2m + 5)/6)·ln|R|; P from the
// closed-form upper tails erfc(√(x/2)) (1 df) and erfc(√(x/2)) + √(2x/π)·e^(−x/2)
// (3 df). Our tail is a 199-step integral, good to about two decimals with 3 df.
TEST_F(AdequacyTest, BartlettStatisticClosedForms) {
    const struct {
        Matrix r;
        int n;
        double statistic, df, p, pTolerance;
    } cases[] = {{symmetric(2, {0.5}), 50, 13.664898441459593, 1, 0.0002185007570082538, 1e-6},
                 {symmetric(3, {0.2, 0.1, 0.15}), 60, 3.9338850646872325, 3, 0.26869241914587866, 5e-3}};
    for (const auto& c : cases) {
        const BartlettTest t = bartlettTest(c.r, c.n);
        EXPECT_NEAR(t.statistic, c.statistic, 1e-12) << c.df;
        EXPECT_EQ(t.degreesOfFreedom, c.df);
        EXPECT_NEAR(t.p, c.p, c.pTolerance) << c.df;
    }
}

// Without a sample size the Bartlett line is left out; two variables give
// KMO = 2r²/(4r² + 0.000001), printed as 0.50000 but below 0.5. The rest of
// the section is pinned by the golden reports.
TEST_F(AdequacyTest, SectionWithoutSampleAndAKmoJustBelowItsLabelBound) {
    for (int n : {0, -5})
        EXPECT_EQ(captureReport([&](ReportWriter& w) { writeAdequacy(w, symmetric(2, {0.5}), n); }),
                  "ADEQUACY OF THE CORRELATION MATRIX \n\n"
                  "Determinant of the matrix     = 0.750000000000000\n"
                  "Kaiser-Meyer-Olkin (KMO) test = 0.50000 (inaceptable)\n\n" +
                      kSectionEnd);
}

// A covariance matrix prints the determinant of its correlations C, |C| =
// 0.246 (not its own, |D|·|C| = 9·|C| = 2.214), and the KMO of C,
// Σr²/(Σr² + Σq²) = 0.253301 by hand.
TEST_F(AdequacyTest, CovarianceKmoIsThatOfItsCorrelationForm) {
    const Matrix c = symmetric(3, {0.6, 0.4, -0.3});
    const double sd[3] = {2.0, 0.5, 3.0};
    Matrix cov(3, 3);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) cov[i][j] = c[i][j] * sd[i] * sd[j];
    EXPECT_THAT(correlationForm(cov), testing::MatrixNear(c, 1e-15));
    EXPECT_NEAR(kmoIndex(c), 0.25330126623743043, 1e-5);
    const std::string text = captureReport([&cov](ReportWriter& w) { writeAdequacy(w, cov, 0); });
    EXPECT_NE(text.find("= 0.246000000000000\nKaiser-Meyer-Olkin (KMO) test = 0.25330 (inaceptable)\n"),
              std::string::npos)
        << text;
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
        // Both P values lie far below the 0.00001 floor of our chi-square tail.
        EXPECT_NEAR(t.p, p, 1.1e-5);
        EXPECT_NEAR(kmoIndex(m.r), kmo, 1e-6);
        ++checked;
    }
    EXPECT_EQ(checked, 2);
}

}  // namespace
}  // namespace talvex
