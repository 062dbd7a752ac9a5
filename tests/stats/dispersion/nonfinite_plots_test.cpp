// Text plots fed with values that are not finite numbers, or spread over far
// more classes than a plot can show: they end, stay small, print no
// "nan"/"inf", and draw the finite values as a plot of those alone would.
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

enum class Plot { Bars, Histogram, StemLeaf };

std::string draw(Plot plot, const std::vector<double>& values) {
    return captureReport([&](ReportWriter& r) {
        Matrix c(static_cast<int>(values.size()), 1);
        for (int i = 0; i < c.rows(); ++i) c[i][0] = values[static_cast<std::size_t>(i)];
        switch (plot) {
            case Plot::Bars: ordinalBarChart(r, c); break;
            case Plot::Histogram: residualHistogram(r, c); break;
            case Plot::StemLeaf: stemLeafPlot(r, c); break;
        }
    });
}

std::string leftOut(int n) {
    return "(" + std::to_string(n) + " values that are not finite numbers are not shown)\n\n";
}

// The finite values are drawn as if alone, followed by the count of the others;
// with nothing finite only the count is left.
TEST_F(NonFinitePlotsTest, NonFiniteValuesAreLeftOutAndCounted) {
    const struct {
        Plot plot;
        std::vector<double> values, finite;
        int left;
    } cases[] = {
        {Plot::Bars, {1, kNan, 2, 2, kInf, 4}, {1, 2, 2, 4}, 2},
        {Plot::StemLeaf, {-1.2, kNan, -0.3, 0.4, kInf, 1.5, -kInf}, {-1.2, -0.3, 0.4, 1.5}, 3},
    };
    for (const auto& c : cases) EXPECT_EQ(draw(c.plot, c.values), draw(c.plot, c.finite) + leftOut(c.left));
    for (Plot plot : {Plot::Bars, Plot::Histogram, Plot::StemLeaf}) {
        const std::string text = draw(plot, {kNan, kInf, -kInf});
        EXPECT_NE(text.find(leftOut(3)), std::string::npos) << text;
        EXPECT_EQ(text.find('|'), std::string::npos) << text;
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
        {Plot::Bars, {-2147483648.0, 1e30}, "The scores run from -2147483648 to 1e+30: too many", 0},
        {Plot::Bars, {1, 200}, "", 200 + 6},
        {Plot::Bars, {1, 201}, "The scores run from 1 to 201: too many categories", 0},
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

// The categories over a whole score matrix come from its finite scores.
TEST_F(NonFinitePlotsTest, OrdinalChartsOfAMatrixWithANonFiniteScore) {
    DataSet data;
    data.includedIndex = testing::fromRows({{1}, {2}});
    const Matrix x = testing::fromRows({{1, 2}, {2, kNan}, {3, 3}});
    const std::string text = captureReport([&](ReportWriter& r) { writeOrdinalBarCharts(r, data, x); });
    // Variable 2 shows 2 of the 3 categories (1..3) of the matrix.
    EXPECT_NE(text.find("Not all the categories are observed in variable    2"), std::string::npos) << text;
    EXPECT_EQ(text.find("Not all the categories are observed in variable    1"), std::string::npos) << text;
    EXPECT_NE(text.find(leftOut(1)), std::string::npos) << text;
}

// The finder the tests rely on: printed non-finite numbers, not words.
TEST(NonFiniteText, FindsPrintedNonFiniteNumbersOnly) {
    const struct {
        std::string text, found;
    } cases[] = {
        {"Gnanadesikan\nDeterminant = 0.1\n(inaceptable)\ninfinite Information\n", ""},
        {"a\nKMO =    -nan (bad)\nb\n", "KMO =    -nan (bad)"},
        {"x = -INF", "x = -INF"},
    };
    for (const auto& c : cases) EXPECT_EQ(firstNonFiniteNumber(c.text), c.found) << c.text;
}

}  // namespace
}  // namespace talvex
