// Data and matrices that cannot be analysed as they are: the checks that find
// them, smoothing of a singular matrix, a smoothing that fails, and their
// adequacy section. References: closed forms or R, as noted at each.
#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <utility>
#include <string>
#include <vector>

#include "stats/dispersion/adequacy.h"
#include "stats/dispersion/degeneracy.h"
#include "stats/dispersion/smoothing.h"
#include "stats/dispersion/reference_inputs.h"
#include "support/matrix_testing.h"
#include "support/nonfinite_text.h"
#include "support/report_testing.h"

namespace talvex {
namespace {

using testing::captureReport;
using testing::firstNonFiniteNumber;
using testing::fromRows;
using testing::symmetric;
using DegenerateMatricesTest = testing::PoolTest;
using Indices = std::vector<int>;

TEST_F(DegenerateMatricesTest, ConstantColumnsAndNonPositiveVariances) {
    EXPECT_EQ(constantColumns(fromRows({{1, 3, 2, 5}, {2, 3, 2, 5}, {3, 3, 2, 5.0000001}})), (Indices{1, 2}));
    const double nan = std::nan("");
    EXPECT_EQ(nonPositiveVariances(fromRows({{1, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, -2, 0}, {0, 0, 0, nan}})),
              (Indices{1, 2, 3}));
}

// Correlations of data sets built with a known dependency, computed by the
// test's own two-pass Pearson routine.
TEST_F(DegenerateMatricesTest, LinearlyDependentVariablesAreNamed) {
    const std::vector<std::vector<double>> base = {{1, 2, 5, 3}, {2, 1, 3, 4}, {3, 5, 1, 2}, {4, 3, 2, 5},
                                                   {5, 4, 4, 1}, {2, 2, 1, 1}, {1, 5, 3, 3}, {3, 1, 5, 4}};
    const auto with = [&](auto column) {
        std::vector<std::vector<double>> data = base;
        for (auto& row : data) row.push_back(column(row));
        return testing::pearson(data);
    };
    const struct {
        const char* name;
        Matrix r;
        Indices dependent;
    } cases[] = {
        {"independent", testing::pearson(base), {}},
        {"reversed copy of the first", with([](const auto& row) { return 6 - row[0]; }), {0, 4}},
        {"sum of the first three", with([](const auto& row) { return row[0] + row[1] + row[2]; }),
         {0, 1, 2, 4}},
        // A nearly equal copy is still a variable of its own (smallest
        // eigenvalue about 1e-4, far above the singular limit).
        {"nearly a copy", with([](const auto& row) { return row[3] + (row[0] == 1 ? 0.05 : 0.0); }), {}},
    };
    for (const auto& c : cases) EXPECT_EQ(linearlyDependentVariables(c.r), c.dependent) << c.name;
}

TEST_F(DegenerateMatricesTest, FirstPairAtOrBeyondOne) {
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

// Singular: v3 = v1 + v2, v1 and v2 uncorrelated, r13 = r23 = 1/√2 and
// eigenvalues 0, 1, 2. With the floor, one pass of δ = 0.25/√100 on Fisher's
// z makes the smallest 1 − √2·tanh(atanh(1/√2) − 0.025) = 0.017991977591213.
// Contradictory: variables 4 and 5 correlate .999 but relate differently to
// variable 1; the first pass (δ = 0.25/√200) lowers the smallest eigenvalue
// from −0.046143365265 to −0.046350342387, so smoothing fails whatever the
// floor (R: eigen of the matrix and of its elementwise tanh(atanh(r) − sign(r)·δ)).
TEST_F(DegenerateMatricesTest, SmoothingBelowAFloor) {
    const double a = 1.0 / std::sqrt(2.0);
    const Matrix singular = symmetric(3, {0.0, a, a});
    const Matrix contradictory = symmetric(5, {0.30, 0.42, 0.35, 0.44, 0.45, 0.23, 0.21, 0.53, 0.30, 0.999});
    const struct {
        Matrix r;
        int n;
        double floor;
        bool smoothed;
        double before, after;
    } cases[] = {
        {singular, 100, kSingularEigenvalue, true, 0.0, 0.017991977591213},
        {contradictory, 200, 0.0, false, -0.046143365265, -0.046350342387},
        {contradictory, 200, kSingularEigenvalue, false, -0.046143365265, -0.046350342387},
    };
    for (const auto& c : cases) {
        const SmoothingResult s = smoothBelow(c.r, c.n, c.floor);
        EXPECT_EQ(s.matrix.valid(), c.smoothed);
        EXPECT_EQ(s.passes, 1);
        EXPECT_NEAR(s.before, c.before, 1e-11);
        EXPECT_NEAR(s.after, c.after, 1e-11);
        if (c.smoothed) {
            EXPECT_NEAR(smallestEigenvalue(s.matrix), c.after, 1e-12);
        }
    }
}

// tests/reports/inputs/covariance.dat, N = 200: on its correlation form
// det = 0.1831253 and Bartlett's statistic 332.4436 with 21 df (R:
// det(cov2cor(S)), psych::cortest.bartlett); on the covariance matrix itself
// it would be 90.80213, which depends on the units.
TEST_F(DegenerateMatricesTest, AdequacyOfACovarianceMatrixIsThatOfItsCorrelationForm) {
    const Matrix s = testing::readMatrix(std::string(TALVEX_SOURCE_DIR) + "/tests/reports/inputs/covariance.dat");
    const std::string text = captureReport([&](ReportWriter& w) { writeAdequacy(w, s, 200); });
    EXPECT_NE(text.find("Determinant of the matrix     = 0.1831253"), std::string::npos) << text;
    EXPECT_NE(text.find("Bartlett's statistic          =   332.4 (df =    21; P = 0.000000)"), std::string::npos)
        << text;
}

// Statistics that do not exist are said in words, never printed as nan/inf.
TEST_F(DegenerateMatricesTest, AdequacyWordsForStatisticsThatDoNotExist) {
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
