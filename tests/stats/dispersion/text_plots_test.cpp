// Bar charts, histogram and stem-and-leaf plot byte for byte; expected lines
// are assembled from the quoted formats with snprintf.
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
using testing::formatted;
using TextPlotsTest = testing::PoolTest;

Matrix column(const std::vector<double>& values) {
    Matrix m(static_cast<int>(values.size()), 1);
    for (int i = 0; i < m.rows(); ++i) m[i][0] = values[static_cast<std::size_t>(i)];
    return m;
}

std::string stars(int n) { return std::string(static_cast<std::size_t>(n), '*'); }
std::string barLine(double value, double count, int n) {
    return formatted(" %5.0f    %4.0f  | %s\n", value, count, stars(n).c_str());
}
std::string barAxis(double top) {
    return "                +-----------+---------+---------+-----------+\n" +
           formatted("                 0        %3.1f       %3.1f       %3.1f        %3.1f\n\n",
                     top * 0.25, top * 0.5, top * 0.75, top);
}
std::string histLine(double value, double count, int n) {
    return formatted(" %9.4f    %6.0f  | %s\n", value, count, stars(n).c_str());
}
std::string histAxis(double top) {
    return "                      +-----------+---------+---------+-----------+\n" +
           formatted("                      0     %6.1f    %6.1f    %6.1f     %6.1f\n\n", top * 0.25,
                     top * 0.5, top * 0.75, top);
}
const std::string kBarHead = "\n Value     Freq\n                |\n";
const std::string kHistHead = "\n Value           Freq\n                      |\n";

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
                  kBarHead + barLine(1, 10, 5) + barLine(2, 77, 40) + barLine(3, 0, 0) +
                      barLine(4, 38, 19) + barAxis(77)},
                 {column({3, 3, 3}), 1, kBarHead + barLine(3, 3, 40) + barAxis(3)}};
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
    std::string first = "Variable    2  \n" + kBarHead, second = "Variable    7  \n" + kBarHead;
    for (int v = 1; v <= 5; ++v) first += barLine(v, 1, 40);
    for (int v = 2; v <= 4; ++v) second += barLine(v, 1, 20);
    EXPECT_EQ(captureReport([&](ReportWriter& r) { writeOrdinalBarCharts(r, data, x); }),
              "BAR CHARTS FOR ORDINAL VARIABLES\n\n" + first + barAxis(1) + second +
                  barLine(5, 2, 40) + barAxis(2) +
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
    const std::pair<Matrix, std::string> cases[] = {
        {column({-3, -1.2, -1.5, 0, 0.4, 0.5, 3}),
         kHistHead + histLine(-3, 1, 20) + histLine(-2, 0, 0) + histLine(-1, 2, 40) +
             histLine(0, 2, 40) + histLine(1, 1, 20) + histLine(2, 0, 0) + histLine(3, 1, 20) + histAxis(2)},
        {column({0.25, 0.25}), kHistHead + histLine(0.25, 2, 40) + histAxis(2)}};
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
