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

class TextPlotsTest : public testing::PoolTest {};

Matrix column(const std::vector<double>& values) {
    Matrix m(static_cast<int>(values.size()), 1);
    for (int i = 0; i < m.rows(); ++i) m[i][0] = values[static_cast<std::size_t>(i)];
    return m;
}

// `count` copies of each value in turn.
std::vector<double> repeated(std::initializer_list<std::pair<double, int>> groups) {
    std::vector<double> v;
    for (auto [value, count] : groups) v.insert(v.end(), static_cast<std::size_t>(count), value);
    return v;
}

std::string barLine(double value, double count, int stars) {
    return formatted(" %5.0f    %4.0f  | %s", value, count, std::string(static_cast<std::size_t>(stars), '*').c_str()) +
           "\n";
}

std::string barAxis(double largest) {
    return "                +-----------+---------+---------+-----------+\n" +
           formatted("                 0        %3.1f       %3.1f       %3.1f        %3.1f\n\n", largest * 0.25,
                     largest * 0.5, largest * 0.75, largest);
}

const std::string kBarHead = "\n Value     Freq\n                |\n";

TEST_F(TextPlotsTest, OrdinalChartScalesFullestCategoryToForty) {
    // 77 is a count for which 40/77·77 falls short of 40 in doubles.
    const Matrix v = column(repeated({{1, 10}, {2, 77}, {4, 38}}));
    int categories = 0;
    const std::string text = captureReport([&](ReportWriter& r) { categories = ordinalBarChart(r, v); });
    EXPECT_EQ(categories, 4);
    // Bars: trunc(40·10/77) = 5, 40, 0, trunc(40·38/77) = 19.
    EXPECT_EQ(text, kBarHead + barLine(1, 10, 5) + barLine(2, 77, 40) + barLine(3, 0, 0) + barLine(4, 38, 19) +
                        barAxis(77));
}

TEST_F(TextPlotsTest, OrdinalChartOfEqualValuesIsOneFullBar) {
    const Matrix v = column({3, 3, 3});
    int categories = 0;
    const std::string text = captureReport([&](ReportWriter& r) { categories = ordinalBarChart(r, v); });
    EXPECT_EQ(categories, 1);
    EXPECT_EQ(text, kBarHead + barLine(3, 3, 40) + barAxis(3));
}

TEST_F(TextPlotsTest, BarChartsWarnAboutUnusedCategories) {
    // A 1..5 scale; the second variable (file number 7) only used 2..5.
    DataSet data;
    data.includedIndex = testing::fromRows({{2}, {7}});
    const Matrix x = testing::fromRows({{1, 2}, {2, 3}, {3, 4}, {4, 5}, {5, 5}});
    const std::string text = captureReport([&](ReportWriter& r) { writeOrdinalBarCharts(r, data, x); });
    const std::string first = "Variable    2  \n" + kBarHead + barLine(1, 1, 40) + barLine(2, 1, 40) +
                              barLine(3, 1, 40) + barLine(4, 1, 40) + barLine(5, 1, 40) + barAxis(1);
    const std::string second = "Variable    7  \n" + kBarHead + barLine(2, 1, 20) + barLine(3, 1, 20) +
                               barLine(4, 1, 20) + barLine(5, 2, 40) + barAxis(2) +
                               "     Warning: Not all the categories are observed in variable    7\n"
                               "              You should consider to remove this variable from the analysis\n\n";
    EXPECT_EQ(text, "BAR CHARTS FOR ORDINAL VARIABLES\n\n" + first + second + "\n" +
                        "--------------------------------------------------------------------------------\n\n");
}

int histogramBins(const std::string& text) {
    int lines = 0;
    for (std::size_t at = text.find("  | "); at != std::string::npos; at = text.find("  | ", at + 1)) ++lines;
    return lines;
}

TEST_F(TextPlotsTest, HistogramHasSevenBinsUpToFiftyValuesThenEleven) {
    std::vector<double> values;
    for (int i = 0; i < 51; ++i) values.push_back(i * 0.01);
    const Matrix fifty = column(std::vector<double>(values.begin(), values.begin() + 50));
    const Matrix fiftyOne = column(values);
    EXPECT_EQ(histogramBins(captureReport([&](ReportWriter& r) { residualHistogram(r, fifty); })), 7);
    EXPECT_EQ(histogramBins(captureReport([&](ReportWriter& r) { residualHistogram(r, fiftyOne); })), 11);
}

std::string histLine(double value, double count, int stars) {
    return formatted(" %9.4f    %6.0f  | %s", value, count, std::string(static_cast<std::size_t>(stars), '*').c_str()) +
           "\n";
}

std::string histAxis(double largest) {
    return "                      +-----------+---------+---------+-----------+\n" +
           formatted("                      0     %6.1f    %6.1f    %6.1f     %6.1f\n\n", largest * 0.25,
                     largest * 0.5, largest * 0.75, largest);
}

const std::string kHistHead = "\n Value           Freq\n                      |\n";

TEST_F(TextPlotsTest, HistogramBinsAreCentredOnEvenlySpacedValues) {
    // lo -3, hi 3, w = 1 (exact in binary): bins [-3.5, -2.5), ..., [2.5, 3.5)
    // centred on -3 .. 3; 0.5 opens the bin of 1, -1.5 that of -1.
    const Matrix v = column({-3, -1.2, -1.5, 0, 0.4, 0.5, 3});
    const std::string text = captureReport([&](ReportWriter& r) { residualHistogram(r, v); });
    EXPECT_EQ(text, kHistHead + histLine(-3, 1, 20) + histLine(-2, 0, 0) + histLine(-1, 2, 40) + histLine(0, 2, 40) +
                        histLine(1, 1, 20) + histLine(2, 0, 0) + histLine(3, 1, 20) + histAxis(2));
}

TEST_F(TextPlotsTest, HistogramOfEqualValuesIsOneBin) {
    const Matrix v = column({0.25, 0.25});
    const std::string text = captureReport([&](ReportWriter& r) { residualHistogram(r, v); });
    EXPECT_EQ(text, kHistHead + histLine(0.25, 2, 40) + histAxis(2));
}

TEST_F(TextPlotsTest, StemLeafSplitsZeroAroundSign) {
    const Matrix v = column({1.5, -0.3, 0.4, -1.2});
    const std::string text = captureReport([&](ReportWriter& r) { stemLeafPlot(r, v); });
    EXPECT_EQ(text, "\n  -1 | 2\n  -0 | 3\n   0 | 4\n   1 | 5\n\n");
}

TEST_F(TextPlotsTest, StemLeafRoundsToOneDecimalAndKeepsEmptyStems) {
    // 0.04 rounds to 0.0, 2.26 to 2.3 and 2.21 to 2.2; stem 1 has no leaves.
    const Matrix v = column({2.26, 0.04, 2.21, 0.7});
    const std::string text = captureReport([&](ReportWriter& r) { stemLeafPlot(r, v); });
    EXPECT_EQ(text, "\n   0 | 07\n   1 | \n   2 | 23\n\n");
}

}  // namespace
}  // namespace talvex
