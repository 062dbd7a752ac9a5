// Bar charts, histogram and stem-and-leaf plot byte for byte: bar lengths,
// bin centres and axis marks are worked out by hand.
#include "stats/dispersion/text_plots.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "data/dataset.h"
#include "support/matrix_testing.h"
#include "support/report_testing.h"

namespace talvex {
namespace {

using testing::captureReport;
using TextPlotsTest = testing::PoolTest;

Matrix column(const std::vector<double>& values) {
    Matrix m(static_cast<int>(values.size()), 1);
    for (int i = 0; i < m.rows(); ++i) m[i][0] = values[static_cast<std::size_t>(i)];
    return m;
}

const std::string kBarHead = "\n Value     Freq\n                |\n";
const std::string kBarRule = "                +-----------+---------+---------+-----------+\n";
const std::string kHistHead = "\n Value           Freq\n                      |\n";
const std::string kHistRule = "                      +-----------+---------+---------+-----------+\n";
const std::string kFull = "****************************************\n", kHalf = "********************\n";

TEST_F(TextPlotsTest, OrdinalChartScalesFullestCategoryToForty) {
    std::vector<double> v(10, 1.0);  // 10 ones, 77 twos, 38 fours
    v.insert(v.end(), 77, 2.0);
    v.insert(v.end(), 38, 4.0);
    // 77 is a count for which 40/77·77 falls short of 40 in doubles. Bars:
    // trunc(40·10/77) = 5, 40, 0, trunc(40·38/77) = 19. Equal values: one full bar.
    const struct {
        Matrix values;
        int categories;
        std::string text;
    } cases[] = {{column(v), 4,
                  kBarHead + "     1      10  | *****\n     2      77  | " + kFull +
                      "     3       0  | \n     4      38  | *******************\n" + kBarRule +
                      "                 0        19.2       38.5       57.8        77.0\n\n"},
                 {column({3, 3, 3}), 1,
                  kBarHead + "     3       3  | " + kFull + kBarRule +
                      "                 0        0.8       1.5       2.2        3.0\n\n"}};
    for (const auto& c : cases) {
        int categories = 0;
        EXPECT_EQ(captureReport([&](ReportWriter& r) { categories = ordinalBarChart(r, c.values); }),
                  c.text);
        EXPECT_EQ(categories, c.categories);
    }
}

TEST_F(TextPlotsTest, BarChartsWarnAboutUnusedCategories) {
    // A 1..5 scale; the second variable (file number 7) only used 2..5.
    DataSet data;
    data.includedIndex = testing::fromRows({{2}, {7}});
    const Matrix x = testing::fromRows({{1, 2}, {2, 3}, {3, 4}, {4, 5}, {5, 5}});
    EXPECT_EQ(captureReport([&](ReportWriter& r) { writeOrdinalBarCharts(r, data, x); }),
              "BAR CHARTS FOR ORDINAL VARIABLES\n\nVariable    2  \n" + kBarHead + "     1       1  | " +
                  kFull + "     2       1  | " + kFull + "     3       1  | " + kFull + "     4       1  | " +
                  kFull + "     5       1  | " + kFull + kBarRule +
                  "                 0        0.2       0.5       0.8        1.0\n\n"
                  "Variable    7  \n" + kBarHead + "     2       1  | " + kHalf + "     3       1  | " + kHalf +
                  "     4       1  | " + kHalf + "     5       2  | " + kFull + kBarRule +
                  "                 0        0.5       1.0       1.5        2.0\n\n"
                  "     Warning: Not all the categories are observed in variable    7\n"
                  "              You should consider to remove this variable from the analysis\n\n\n" +
                  testing::kSectionEnd);
}

TEST_F(TextPlotsTest, HistogramHasSevenBinsUpToFiftyValuesThenEleven) {
    for (int n : {50, 51}) {
        std::vector<double> values;
        for (int i = 0; i < n; ++i) values.push_back(i * 0.01);
        const std::string text = captureReport([&](ReportWriter& r) { residualHistogram(r, column(values)); });
        int bins = 0;
        for (std::size_t at = text.find("  | "); at != std::string::npos; at = text.find("  | ", at + 1)) ++bins;
        EXPECT_EQ(bins, n == 50 ? 7 : 11);
    }
}

TEST_F(TextPlotsTest, HistogramBinsAreCentredOnEvenlySpacedValues) {
    // lo -3, hi 3, w = 1 (exact in binary): bins [-3.5, -2.5), ..., [2.5, 3.5)
    // centred on -3 .. 3; 0.5 opens the bin of 1, -1.5 that of -1. Equal values: one bin.
    const std::string axis = kHistRule + "                      0        0.5       1.0       1.5        2.0\n\n";
    const std::pair<Matrix, std::string> cases[] = {
        {column({-3, -1.2, -1.5, 0, 0.4, 0.5, 3}),
         kHistHead + "   -3.0000         1  | " + kHalf + "   -2.0000         0  | \n   -1.0000         2  | " +
             kFull + "    0.0000         2  | " + kFull + "    1.0000         1  | " + kHalf +
             "    2.0000         0  | \n    3.0000         1  | " + kHalf + axis},
        {column({0.25, 0.25}), kHistHead + "    0.2500         2  | " + kFull + axis}};
    for (const auto& [values, text] : cases)
        EXPECT_EQ(captureReport([&](ReportWriter& r) { residualHistogram(r, values); }), text);
}

TEST_F(TextPlotsTest, StemLeafSplitsZeroRoundsAndKeepsEmptyStems) {
    // Zero splits around the sign; 0.04 rounds to 0.0, 2.26 to 2.3 and 2.21 to
    // 2.2; stem 1 has no leaves.
    const std::pair<Matrix, std::string> cases[] = {
        {column({1.5, -0.3, 0.4, -1.2}), "\n  -1 | 2\n  -0 | 3\n   0 | 4\n   1 | 5\n\n"},
        {column({2.26, 0.04, 2.21, 0.7}), "\n   0 | 07\n   1 | \n   2 | 23\n\n"}};
    for (const auto& [values, text] : cases)
        EXPECT_EQ(captureReport([&](ReportWriter& r) { stemLeafPlot(r, values); }), text);
}

}  // namespace
}  // namespace talvex
