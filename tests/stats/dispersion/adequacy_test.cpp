// Partial correlations, KMO and Bartlett's test against closed forms and R,
// the checks that find matrices that cannot be analysed as they are, and the
// words of the adequacy section for statistics that do not exist.
#include "stats/dispersion/adequacy.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "stats/dispersion/degeneracy.h"
#include "stats/dispersion/reference_inputs.h"
#include "support/nonfinite_text.h"

namespace talvex {
namespace {

using testing::captureReport;
using testing::firstNonFiniteNumber;
using testing::fromRows;
using testing::kSectionEnd;
using testing::symmetric;
using AdequacyTest = testing::PoolTest;
using Indices = std::vector<int>;

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

TEST_F(AdequacyTest, ConstantColumnsAndNonPositiveVariances) {
    EXPECT_EQ(constantColumns(fromRows({{1, 3, 2, 5}, {2, 3, 2, 5}, {3, 3, 2, 5.0000001}})), (Indices{1, 2}));
    const double nan = std::nan("");
    EXPECT_EQ(nonPositiveVariances(fromRows({{1, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, -2, 0}, {0, 0, 0, nan}})),
              (Indices{1, 2, 3}));
}

TEST_F(AdequacyTest, FirstPairAtOrBeyondOne) {
    const struct {
        Matrix r;
        std::optional<std::pair<int, int>> pair;
    } cases[] = {
        {symmetric(3, {0.5, 0.999999, 0.2}), std::nullopt},
        {symmetric(3, {0.5, 0.2, 1.0000001}), std::make_pair(1, 2)},
        {symmetric(3, {0.5, -1.0, -1.0}), std::make_pair(0, 2)},
        {symmetric(3, {std::nan(""), 0.1, 0.1}), std::make_pair(0, 1)},
    };
    for (const auto& c : cases) EXPECT_EQ(pairAtOrBeyondOne(c.r), c.pair);
}

// Statistics that do not exist are said in words, never printed as nan/inf.
TEST_F(AdequacyTest, AdequacyWordsForStatisticsThatDoNotExist) {
    const std::string singular = "Bartlett's statistic          = not computed: the matrix is singular\n";
    const std::string noKmo = "Kaiser-Meyer-Olkin (KMO) test = not computed: the matrix is singular\n";
    const std::string tooFew =
        "Bartlett's statistic          = not computed: too few participants for the number of variables\n";
    const double a = 1.0 / std::sqrt(2.0);
    const struct {
        const char* name;
        Matrix m;
        int n;
        std::string line;  // expected in the section
    } cases[] = {
        // Its KMO would be 1, "very good", from partial correlations of ±1.
        {"singular", symmetric(3, {0.0, a, a}), 100, singular + noKmo},
        {"indefinite", symmetric(3, {0.9, 0.9, -0.9}), 100, singular},
        {"zero variance", fromRows({{1, 0, 0}, {0, 0, 0}, {0, 0, 1}}), 100,
         "Bartlett's statistic          = not computed: a variance is not positive\n"},
        {"negative variance", fromRows({{1, 0}, {0, -1}}), 0,
         "Determinant of the matrix     = not computed: a variance is not positive\n"
         "Kaiser-Meyer-Olkin (KMO) test = not computed: a variance is not positive\n"},
        // Multiplier N − 1 − (2·5 + 5)/6 = 2 − 2.5 is negative for N = 3.
        {"three participants, five variables", identity(5), 3, tooFew},
        {"one variable", identity(1), 100,
         "Bartlett's statistic          = not computed: a single variable has no correlations\n"
         "Kaiser-Meyer-Olkin (KMO) test = not computed: a single variable has no correlations\n"},
        {"not a number", symmetric(3, {std::nan(""), 0.1, 0.1}), 100,
         "Determinant of the matrix     = not computed: the matrix holds values that are not numbers\n"
         "Bartlett's statistic          = not computed: the matrix holds values that are not numbers\n"
         "Kaiser-Meyer-Olkin (KMO) test = not computed: the partial correlations are not numbers\n"},
        // Four participants are enough for five variables: 3 − 2.5 > 0.
        {"four participants, five variables", identity(5), 4,
         "Bartlett's statistic          =     0.0 (df =    10; P = 1.000000)\n"},
    };
    for (const auto& c : cases) {
        const std::string text = captureReport([&](ReportWriter& w) { writeAdequacy(w, c.m, c.n); });
        EXPECT_NE(text.find(c.line), std::string::npos) << c.name << "\n" << text;
        EXPECT_EQ(firstNonFiniteNumber(text), "") << c.name << "\n" << text;
    }
}

}  // namespace
}  // namespace talvex
