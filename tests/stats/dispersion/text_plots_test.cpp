// Histogram bins worked out by hand, and plots fed with values that are not
// finite numbers or spread over far more classes than a plot can show. The
// ordinary bar charts and stem-and-leaf plots are pinned by the golden reports.
#include "stats/dispersion/text_plots.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <string>
#include <vector>

#include "support/matrix_testing.h"
#include "support/nonfinite_text.h"
#include "support/report_testing.h"

namespace talvex {
namespace {

using testing::captureReport;
using TextPlotsTest = testing::PoolTest;

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

const std::string kHistHead = "\n Value           Freq\n                      |\n";
const std::string kFull = "****************************************\n", kHalf = "********************\n";

TEST_F(TextPlotsTest, HistogramHasSevenBinsUpToFiftyValuesThenEleven) {
    for (int n : {50, 51}) {
        std::vector<double> values;
        for (int i = 0; i < n; ++i) values.push_back(i * 0.01);
        const std::string text = draw(Plot::Histogram, values);
        int bins = 0;
        for (std::size_t at = text.find("  | "); at != std::string::npos; at = text.find("  | ", at + 1)) ++bins;
        EXPECT_EQ(bins, n == 50 ? 7 : 11);
    }
}

TEST_F(TextPlotsTest, HistogramBinsAreCentredOnEvenlySpacedValues) {
    // lo -3, hi 3, w = 1 (exact in binary): bins [-3.5, -2.5), ..., [2.5, 3.5)
    // centred on -3 .. 3; 0.5 opens the bin of 1, -1.5 that of -1. Equal values: one bin.
    const std::string axis = "                      +-----------+---------+---------+-----------+\n"
                             "                      0        0.5       1.0       1.5        2.0\n\n";
    const std::pair<std::vector<double>, std::string> cases[] = {
        {{-3, -1.2, -1.5, 0, 0.4, 0.5, 3},
         kHistHead + "   -3.0000         1  | " + kHalf + "   -2.0000         0  | \n   -1.0000         2  | " +
             kFull + "    0.0000         2  | " + kFull + "    1.0000         1  | " + kHalf +
             "    2.0000         0  | \n    3.0000         1  | " + kHalf + axis},
        {{0.25, 0.25}, kHistHead + "    0.2500         2  | " + kFull + axis}};
    for (const auto& [values, text] : cases) EXPECT_EQ(draw(Plot::Histogram, values), text);
}

std::string leftOut(int n) {
    return "(" + std::to_string(n) + " values that are not finite numbers are not shown)\n\n";
}

// The finite values are drawn as if alone, followed by the count of the others;
// with nothing finite only the count is left.
TEST_F(TextPlotsTest, NonFiniteValuesAreLeftOutAndCounted) {
    const struct {
        Plot plot;
        std::vector<double> values, finite;
        int left;
    } cases[] = {
        {Plot::Bars, {1, kNan, 2, 2, 4}, {1, 2, 2, 4}, 1},
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
TEST_F(TextPlotsTest, RangesTooWideAreRefusedInWords) {
    const struct {
        Plot plot;
        std::vector<double> values;
        std::string words;  // empty: drawn
        std::size_t lines;  // lines of the plot when drawn
    } cases[] = {
        {Plot::Bars, {1, 200}, "", 200 + 6},
        {Plot::Bars, {1, 201}, "The scores run from 1 to 201: too many categories", 0},
        {Plot::StemLeaf, {0.5, 250.5}, "The values run from 0.5 to 250.5: too many stems", 0},
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
        EXPECT_EQ(testing::firstNonFiniteNumber(text), "") << text;
    }
}

}  // namespace
}  // namespace talvex
