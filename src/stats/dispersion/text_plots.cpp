#include "stats/dispersion/text_plots.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "report/report_writer.h"
#include "core/distributions.h"
#include "data/dataset.h"

namespace talvex {

namespace {

// Charts and plots wider than this many classes or stems are not drawn: a
// value far from the others (or a corrupt one) would otherwise ask for
// millions of lines.
constexpr double kMostClasses = 200.0;

// The finite values of an n x 1 column, in their order.
std::vector<double> finiteValues(const Matrix& column) {
    std::vector<double> values;
    values.reserve(static_cast<std::size_t>(column.rows()));
    for (int i = 0; i < column.rows(); ++i)
        if (std::isfinite(column[i][0])) values.push_back(column[i][0]);
    return values;
}

// The line that says how many values a plot leaves out as not finite.
void writeLeftOut(ReportWriter& report, std::size_t kept, int all) {
    const int left = all - static_cast<int>(kept);
    if (left > 0) report.printf("(%i values that are not finite numbers are not shown)\n\n", left);
}

// trunc(hi) − trunc(lo) + 1 for finite bounds, or 0 when that exceeds the
// largest chart drawn.
int classesBetween(double lo, double hi) {
    const double count = std::trunc(hi) - std::trunc(lo) + 1.0;
    return count > kMostClasses ? 0 : static_cast<int>(count);
}

struct Frequencies {
    std::vector<double> values;  // midpoint of each category
    std::vector<double> counts;
    double largest = 0.0;
};

// Counts `values` in `categories` classes of equal width whose
// midpoints run from the smallest to the largest value. When the width is
// undefined (one class, or all values equal) every value goes into a single
// class centred on the range.
Frequencies countCategories(const std::vector<double>& values, int categories) {
    Frequencies f;
    const int n = static_cast<int>(values.size());
    double lo = values.front(), hi = values.front();
    for (double v : values) {
        if (v < lo) lo = v;
        if (v > hi) hi = v;
    }
    // A range beyond the largest double has no finite width either.
    if (categories <= 1 || !(hi > lo) || !std::isfinite(hi - lo)) {
        f.values.push_back((lo + hi) / 2.0);
        f.counts.push_back(n);
        f.largest = n;
        return f;
    }
    const double w = (hi - lo) / (categories - 1);
    std::vector<double> lower(static_cast<std::size_t>(categories));
    double edge = lo - w / 2.0;
    for (int c = 0; c < categories; ++c, edge += w) lower[static_cast<std::size_t>(c)] = edge;
    f.counts.assign(static_cast<std::size_t>(categories), 0.0);
    for (int c = 0; c < categories; ++c) {
        const double low = lower[static_cast<std::size_t>(c)];
        const double up = low + w;
        f.values.push_back((low + up) / 2.0);
        double count = 0.0;
        for (double v : values)
            if (low <= v && v < up) count += 1.0;
        f.counts[static_cast<std::size_t>(c)] = count;
        if (count > f.largest) f.largest = count;
    }
    return f;
}

// A bar of 40 asterisks for the largest count and proportionally fewer for
// the others. 40·count/largest rather than (40/largest)·count: the latter
// falls just short of 40 for some counts (77, for one) and would lose the
// fullest bar's last asterisk.
std::string bar(double count, double largest) {
    if (largest <= 0.0) return {};
    return std::string(static_cast<std::size_t>(std::trunc(40.0 * count / largest)), '*');
}

// Formats one chart line; the bar can be long, so the buffer is sized for it.
template <typename... Args>
std::string line(const char* format, Args... args) {
    const int size = std::snprintf(nullptr, 0, format, args...);
    std::string text(static_cast<std::size_t>(size) + 1, '\0');
    std::snprintf(text.data(), text.size(), format, args...);
    text.resize(static_cast<std::size_t>(size));
    return text;
}

}  // namespace

int ordinalBarChart(ReportWriter& report, const Matrix& column) {
    const std::vector<double> values = finiteValues(column);
    if (values.empty()) {
        if (column.rows() > 0) {
            report.printf("\n");
            writeLeftOut(report, 0, column.rows());
        }
        return 0;
    }
    const auto [lo, hi] = std::minmax_element(values.begin(), values.end());
    const int categories = classesBetween(*lo, *hi);
    if (categories == 0) {
        report.printf("\nThe scores run from %.10g to %.10g: too many categories for a bar chart.\n\n", *lo,
                      *hi);
        writeLeftOut(report, values.size(), column.rows());
        return 0;
    }
    const Frequencies f = countCategories(values, categories);
    report.printf("\n Value     Freq\n");
    report.printf("                |\n");
    for (std::size_t c = 0; c < f.counts.size(); ++c) {
        const std::string text =
            line(" %5.0f    %4.0f  | %s", f.values[c], f.counts[c], bar(f.counts[c], f.largest).c_str());
        report.printf("%s\n", text.c_str());
    }
    report.printf("                +-----------+---------+---------+-----------+\n");
    report.printf("                 0        %3.1f       %3.1f       %3.1f        %3.1f\n\n", f.largest * 0.25,
                  f.largest * 0.5, f.largest * 0.75, f.largest);
    writeLeftOut(report, values.size(), column.rows());
    return categories;
}

void residualHistogram(ReportWriter& report, const Matrix& column) {
    if (column.rows() == 0) return;
    const std::vector<double> values = finiteValues(column);
    if (values.empty()) {
        report.printf("\n");
        writeLeftOut(report, 0, column.rows());
        return;
    }
    const int bins = column.rows() < 51 ? 7 : 11;
    const Frequencies f = countCategories(values, bins);
    report.printf("\n Value           Freq\n");
    report.printf("                      |\n");
    for (std::size_t c = 0; c < f.counts.size(); ++c) {
        const std::string text =
            line(" %9.4f    %6.0f  | %s", f.values[c], f.counts[c], bar(f.counts[c], f.largest).c_str());
        report.printf("%s\n", text.c_str());
    }
    report.printf("                      +-----------+---------+---------+-----------+\n");
    report.printf("                      0     %6.1f    %6.1f    %6.1f     %6.1f\n\n", f.largest * 0.25,
                  f.largest * 0.5, f.largest * 0.75, f.largest);
    writeLeftOut(report, values.size(), column.rows());
}

void writeOrdinalBarCharts(ReportWriter& report, const DataSet& data, const Matrix& x) {
    report.printf("BAR CHARTS FOR ORDINAL VARIABLES\n\n");
    // Categories over the whole matrix, from its finite scores.
    double lo = std::numeric_limits<double>::infinity(), hi = -lo;
    for (int i = 0; i < x.rows(); ++i)
        for (int j = 0; j < x.cols(); ++j)
            if (std::isfinite(x[i][j])) {
                lo = std::min(lo, x[i][j]);
                hi = std::max(hi, x[i][j]);
            }
    const int all = lo <= hi ? classesBetween(lo, hi) : 0;
    for (int j = 0; j < x.cols(); ++j) {
        MatrixScope scope;
        const int number = data.fileNumber(j);
        report.printf("Variable %4i  ", number);
        report.printf("\n");
        const int categories = ordinalBarChart(report, x.columnBlock(j, 1));
        if (categories < all) {
            report.printf("     Warning: Not all the categories are observed in variable %4i\n", number);
            report.printf("              You should consider to remove this variable from the analysis\n\n");
        }
    }
    report.printf("\n");
    report.separator();
}

namespace {

// Stem between -1 and 0 for negative values that truncate to zero; printed
// by "%4.0f" as "  -0".
constexpr double kNegativeZeroStem = -0.000001;

}  // namespace

void stemLeafPlot(ReportWriter& report, const Matrix& column) {
    report.printf("\n");
    const std::vector<double> finite = finiteValues(column);
    if (!finite.empty()) {
        MatrixScope scope;
        Matrix values = column;
        if (finite.size() < static_cast<std::size_t>(column.rows())) {
            values = Matrix(static_cast<int>(finite.size()), 1);
            for (std::size_t i = 0; i < finite.size(); ++i) values[static_cast<int>(i)][0] = finite[i];
        }
        const Matrix sorted = roundToDecimals(values.sortColumns(), 1);
        const int n = sorted.rows();
        const double mn = sorted[0][0];
        const double mx = sorted[n - 1][0];
        const bool split = mn < 0.0 && 0.0 < mx;

        if (!std::isfinite(mn) || !std::isfinite(mx) || classesBetween(mn, mx) == 0) {
            report.printf("The values run from %.10g to %.10g: too many stems for a stem-and-leaf plot.\n",
                          *std::min_element(finite.begin(), finite.end()),
                          *std::max_element(finite.begin(), finite.end()));
        } else {
            std::vector<double> stems;
            const int first = static_cast<int>(std::trunc(mn));
            const int last = static_cast<int>(std::trunc(mx));
            for (int s = first; s <= last; ++s) {
                if (split && s == 0) stems.push_back(kNegativeZeroStem);
                stems.push_back(s);
            }
            // Stems ascend and so do the sorted values, so one walk assigns them.
            std::vector<std::string> leaves(stems.size());
            std::size_t s = 0;
            for (int i = 0; i < n; ++i) {
                const double v = sorted[i][0];
                const double t = std::trunc(v);
                const double stem = split && v < 0.0 && t == 0.0 ? kNegativeZeroStem : t;
                while (s < stems.size() && stems[s] != stem) ++s;
                if (s == stems.size()) break;
                char leaf[320];
                std::snprintf(leaf, sizeof leaf, "%1.0f", std::fabs(v - stem) * 10.0);
                leaves[s] += leaf;
            }
            for (std::size_t k = 0; k < stems.size(); ++k) {
                report.printf("%4.0f | ", stems[k]);
                report.write(leaves[k]);
                report.printf("\n");
            }
        }
    }
    report.printf("\n");
    writeLeftOut(report, finite.size(), column.rows());
}

}  // namespace talvex
