// Text plots fed with values that are not finite numbers, or spread over far
// more classes than a plot can show: they must end, stay small, print no
// "nan"/"inf", and draw the finite values exactly as a plot of those values
// alone would.
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <string>
#include <vector>

#include "data/dataset.h"
#include "stats/dispersion/text_plots.h"
#include "support/matrix_testing.h"
#include "support/nonfinite_text.h"
#include "support/report_testing.h"

namespace talvex {
namespace {

using testing::captureReport;
using testing::firstNonFiniteNumber;
using NonFinitePlotsTest = testing::PoolTest;

constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

Matrix column(const std::vector<double>& values) {
    Matrix m(static_cast<int>(values.size()), 1);
    for (int i = 0; i < m.rows(); ++i) m[i][0] = values[static_cast<std::size_t>(i)];
    return m;
}

enum class Plot { Bars, Histogram, StemLeaf };

std::string draw(Plot plot, const std::vector<double>& values) {
    return captureReport([&](ReportWriter& r) {
        const Matrix c = column(values);
        switch (plot) {
            case Plot::Bars: ordinalBarChart(r, c); break;
            case Plot::Histogram: residualHistogram(r, c); break;
            case Plot::StemLeaf: stemLeafPlot(r, c); break;
        }
    });
}

// The finite values are drawn as if alone, followed by one line that counts
// the others. The histogram's bin count follows the length of the whole
// column, so its finite part is compared with a column of the same length.
TEST_F(NonFinitePlotsTest, NonFiniteValuesAreLeftOutAndCounted) {
    const struct {
        Plot plot;
        std::vector<double> values;
        std::vector<double> finite;
        int leftOut;
    } cases[] = {
        {Plot::Bars, {1, kNan, 2, 2, kInf, 4}, {1, 2, 2, 4}, 2},
        {Plot::Bars, {-kInf, 3, 3}, {3, 3}, 1},
        {Plot::StemLeaf, {-1.2, kNan, -0.3, 0.4, kInf, 1.5, -kInf}, {-1.2, -0.3, 0.4, 1.5}, 3},
        {Plot::StemLeaf, {kNan, 0.25}, {0.25}, 1},
        {Plot::Histogram, {0.1, kNan, -0.2, 0.3, kInf}, {0.1, 0.1, -0.2, 0.3, 0.3}, 2},
    };
    for (const auto& c : cases) {
        const std::string text = draw(c.plot, c.values);
        std::string expected = draw(c.plot, c.finite);
        if (c.plot == Plot::Histogram) {
            // Same bins and edges; the duplicated values are counted once less.
            expected = draw(c.plot, {0.1, -0.2, 0.3});
            EXPECT_EQ(text.substr(0, text.find('|')), expected.substr(0, expected.find('|')));
        } else {
            EXPECT_EQ(text, expected + "(" + std::to_string(c.leftOut) +
                                " values that are not finite numbers are not shown)\n\n");
        }
        EXPECT_NE(text.find("(" + std::to_string(c.leftOut) + " values that are not finite"),
                  std::string::npos)
            << text;
        EXPECT_EQ(firstNonFiniteNumber(text), "") << text;
    }
}

// Nothing finite to draw: no chart, only the count.
TEST_F(NonFinitePlotsTest, NothingFiniteDrawsOnlyTheCount) {
    for (Plot plot : {Plot::Bars, Plot::Histogram, Plot::StemLeaf}) {
        const std::string text = draw(plot, {kNan, kInf, -kInf});
        EXPECT_NE(text.find("(3 values that are not finite numbers are not shown)"), std::string::npos)
            << text;
        EXPECT_EQ(text.find('|'), std::string::npos) << text;
        EXPECT_EQ(firstNonFiniteNumber(text), "") << text;
    }
}

// A range wider than 200 classes or stems is refused in words, with the
// range; 200 classes are still drawn.
TEST_F(NonFinitePlotsTest, RangesTooWideAreRefusedInWords) {
    const struct {
        Plot plot;
        std::vector<double> values;
        std::string words;  // empty: drawn
        std::size_t lines;  // lines of the plot when drawn
    } cases[] = {
        {Plot::Bars, {1, 3e9}, "The scores run from 1 to 3000000000: too many categories", 0},
        {Plot::Bars, {-2147483648.0, 1e30}, "The scores run from -2147483648 to 1e+30: too many", 0},
        {Plot::Bars, {1, 200}, "", 200 + 6},
        {Plot::Bars, {1, 201}, "The scores run from 1 to 201: too many categories", 0},
        {Plot::StemLeaf, {-1e300, 1e300}, "The values run from -1e+300 to 1e+300: too many stems", 0},
        {Plot::StemLeaf, {0.5, 250.5}, "The values run from 0.5 to 250.5: too many stems", 0},
        {Plot::StemLeaf, {0.5, 199.5}, "", 200 + 2},
        // A range beyond the largest double has no bin width: one class.
        {Plot::Histogram, {-1e308, 1e308}, "", 1 + 6},
    };
    for (const auto& c : cases) {
        const std::string text = draw(c.plot, c.values);
        if (c.words.empty()) {
            EXPECT_EQ(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')), c.lines) << text;
        } else {
            EXPECT_NE(text.find(c.words), std::string::npos) << text;
            EXPECT_LT(text.size(), 200u) << text;
        }
        EXPECT_EQ(firstNonFiniteNumber(text), "") << text;
    }
}

// The charts of a whole score matrix survive a non-finite score: the
// categories over the matrix come from its finite scores.
TEST_F(NonFinitePlotsTest, OrdinalChartsOfAMatrixWithANonFiniteScore) {
    DataSet data;
    data.includedIndex = testing::fromRows({{1}, {2}});
    const Matrix x = testing::fromRows({{1, 2}, {2, kNan}, {3, 3}});
    const std::string text = captureReport([&](ReportWriter& r) { writeOrdinalBarCharts(r, data, x); });
    // Variable 2 shows 2 of the 3 categories (1..3) of the matrix.
    EXPECT_NE(text.find("Not all the categories are observed in variable    2"), std::string::npos) << text;
    EXPECT_EQ(text.find("Not all the categories are observed in variable    1"), std::string::npos) << text;
    EXPECT_NE(text.find("(1 values that are not finite numbers are not shown)"), std::string::npos);
    EXPECT_EQ(firstNonFiniteNumber(text), "") << text;
}

// The finder itself: numbers printed from non-finite values are found,
// words that contain the letters are not.
TEST(NonFiniteText, FindsPrintedNonFiniteNumbersOnly) {
    const struct {
        std::string text, found;
    } cases[] = {
        {"Gnanadesikan\nDeterminant = 0.1\n(inaceptable)\ninfinite Information\n", ""},
        {"a\nKMO =    -nan (bad)\nb\n", "KMO =    -nan (bad)"},
        {"Bartlett =     inf (df = 3)", "Bartlett =     inf (df = 3)"},
        {"x = -INF", "x = -INF"},
        {"NaN", "NaN"},
    };
    for (const auto& c : cases) EXPECT_EQ(firstNonFiniteNumber(c.text), c.found) << c.text;
}

}  // namespace
}  // namespace talvex
