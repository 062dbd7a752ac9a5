#include "stats/dimensionality/map.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "stats/dispersion/reference_inputs.h"

namespace talvex {
namespace {

using testing::captureReport;
using MapTest = testing::PoolTest;

TEST_F(MapTest, AverageSquaredPartialAndItsUndefinedCases) {
    // Partials −1/(2·1) = −0.5, 1.2/(2·3) = 0.2 and 0 → (0.25 + 0.04 + 0)/3.
    Matrix e = testing::fromRows({{4.0, -1.0, 1.2}, {-1.0, 1.0, 0.0}, {1.2, 0.0, 9.0}});
    EXPECT_NEAR(averageSquaredPartial(e), (0.25 + 0.04) / 3.0, 1e-15);
    // Zero residual variance: 0·∞ partials, then infinite ones; one variable has no pairs.
    e = testing::fromRows({{0.0, 0.0, 0.0}, {0.0, 1.0, 0.3}, {0.0, 0.3, 1.0}});
    EXPECT_TRUE(std::isnan(averageSquaredPartial(e)));
    e[0][1] = e[1][0] = 1e-17;
    EXPECT_TRUE(std::isnan(averageSquaredPartial(e)));
    EXPECT_TRUE(std::isnan(averageSquaredPartial(identity(1))));
    // Any variable but the last with a non-positive residual variance: its
    // whole row of D·E·D is not a number, whatever its covariances.
    e = testing::fromRows({{1.0, 0.3, 0.2}, {0.3, -1e-17, 0.1}, {0.2, 0.1, 1.0}});
    EXPECT_TRUE(std::isnan(averageSquaredPartial(e)));
    // Only the last one: its column of partials is ±∞, so the average is
    // infinite (a number, the test goes on); a 0 covariance there gives 0·∞.
    e = testing::fromRows({{1.0, 0.3, 0.2}, {0.3, 1.0, -0.1}, {0.2, -0.1, 0.0}});
    EXPECT_EQ(averageSquaredPartial(e), HUGE_VAL);
    e[1][2] = e[2][1] = 0.0;
    EXPECT_TRUE(std::isnan(averageSquaredPartial(e)));
}

TEST_F(MapTest, AveragesOfClosedFormMatrices) {
    // Removing the first component of p variables correlated r leaves
    // partials −1/(p − 1), so a_1 = 1/(p − 1)².
    for (int p : {3, 4, 6}) {
        Matrix r(p, p);
        for (int i = 0; i < p; ++i)
            for (int j = 0; j < p; ++j) r[i][j] = i == j ? 1.0 : 0.3;
        const Matrix a = mapTest(r);
        ASSERT_GE(a.rows(), 1);
        EXPECT_NEAR(a[0][0], 1.0 / ((p - 1.0) * (p - 1.0)), 1e-12) << p;
    }
    // Uncorrelated variables with distinct variances: the first component is
    // the first variable alone, whose residual variance is then 0, and the
    // column ends at that first undefined average.
    const Matrix a = mapTest(testing::fromRows({{4.0, 0.0, 0.0}, {0.0, 2.0, 0.0}, {0.0, 0.0, 1.0}}));
    ASSERT_EQ(a.rows(), 1);
    EXPECT_EQ(a[0][0], kMapUndefinedAverage);
}

// A unique minimum; tied minima advise the larger number; a zero average is
// the minimum but is neither advised nor printed. The rows are pinned by the
// golden reports.
TEST_F(MapTest, AdvisedMinimum) {
    const std::pair<Matrix, int> cases[] = {{testing::fromRows({{0.03}, {0.012}, {0.02}, {0.99999}}), 2},
                                            {testing::fromRows({{0.05}, {0.01}, {0.01}, {0.04}}), 3},
                                            {testing::fromRows({{0.2}, {0.0}, {0.1}}), 0}};
    for (const auto& [averages, expected] : cases) {
        int advised = -1;
        const std::string text =
            captureReport([&](ReportWriter& w) { advised = writeMapAverages(w, averages); });
        EXPECT_EQ(advised, expected);
        EXPECT_EQ(mapAdvisedDimensions(averages), expected);
        EXPECT_NE(text.find("* Advised number of dimensions:    " + std::to_string(expected) + "\n"),
                  std::string::npos) << text;
        EXPECT_EQ(text.find("   2      0.00000"), std::string::npos) << text;
    }
}

// With one variable there is no partial correlation, with two the single
// partial left by the first component is always ±1: no test, no advice.
TEST_F(MapTest, FewerThanThreeVariablesAreNotTested) {
    for (int p : {1, 2}) {
        int advised = -1;
        const std::string text = captureReport([&](ReportWriter& w) { advised = writeMapTest(w, identity(p)); });
        EXPECT_NE(text.find("Not computed: the test needs at least 3 variables, and " + std::to_string(p) +
                            (p == 1 ? " is" : " are") + " analysed.\n"),
                  std::string::npos) << text;
        EXPECT_EQ(advised, 0);
    }
}

// bfi25 and harman74 against tests/reference/map_reference.R
// (psych::VSS(..., fm = "pc")$map and a base-R computation). Per matrix the
// file has "NAME P ADVISED", then "psych" and "base" rows of averages.
TEST_F(MapTest, MatchesPsychOnReferenceMatrices) {
    std::ifstream in(testing::referencePath("map_reference.txt"));
    std::string line, word, name;
    int p = 0, advised = 0, checked = 0;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        fields >> word;
        if (word != "psych" && word != "base") {
            name = word;
            fields >> p >> advised;
            continue;
        }
        std::vector<double> expected;
        for (double x; fields >> x;) expected.push_back(x);
        SCOPED_TRACE(name + " " + word);
        MatrixScope scope;
        const testing::ReferenceMatrix m = testing::referenceCorrelation(name);
        ASSERT_EQ(m.r.rows(), p);
        const Matrix a = mapTest(m.r);
        // Every m up to p − 1 is defined for these full-rank matrices; the
        // average at m = p is rounding noise and is not compared. m = p − 1
        // leaves a rank-one residual whose partials are ±1 up to rounding,
        // the least accurate row.
        ASSERT_GE(a.rows(), p - 1);
        ASSERT_EQ(expected.size(), word == "psych" ? 8u : static_cast<std::size_t>(p - 1));
        for (int k = 0; k < static_cast<int>(expected.size()); ++k)
            EXPECT_NEAR(a[k][0], expected[k], word == "psych" ? 1e-12 : 1e-7) << "m = " << k + 1;
        EXPECT_EQ(mapAdvisedDimensions(a), advised);
        const std::string text = captureReport([&m](ReportWriter& w) { writeMapTest(w, m.r); });
        EXPECT_NE(text.find("* Advised number of dimensions:    " + std::to_string(advised) + "\n"),
                  std::string::npos) << text;
        ++checked;
    }
    EXPECT_EQ(checked, 4);
}

}  // namespace
}  // namespace talvex
