#include "stats/dispersion/text_plots.h"

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "report/report_writer.h"
#include "core/distributions.h"
#include "data/dataset.h"

namespace talvex {

namespace {

struct Frequencies {
    std::vector<double> values;  // midpoint of each category
    std::vector<double> counts;
    double largest = 0.0;
};

// Counts the values of `column` in `categories` classes of equal width whose
// midpoints run from the smallest to the largest value. When the width is
// undefined (one class, or all values equal) every value goes into a single
// class centred on the range.
Frequencies countCategories(const Matrix& column, int categories) {
    Frequencies f;
    const int n = column.rows();
    const double lo = column.minElement();
    const double hi = column.maxElement();
    if (categories <= 1 || !(hi > lo)) {
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
        for (int i = 0; i < n; ++i) {
            const double v = column[i][0];
            if (low <= v && v < up) count += 1.0;
        }
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
    if (column.rows() == 0) return 0;
    const int categories = static_cast<int>(std::trunc(column.maxElement())) -
                           static_cast<int>(std::trunc(column.minElement())) + 1;
    const Frequencies f = countCategories(column, categories);
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
    return categories;
}

void residualHistogram(ReportWriter& report, const Matrix& column) {
    if (column.rows() == 0) return;
    const int bins = column.rows() < 51 ? 7 : 11;
    const Frequencies f = countCategories(column, bins);
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
}

void writeOrdinalBarCharts(ReportWriter& report, const DataSet& data, const Matrix& x) {
    report.printf("BAR CHARTS FOR ORDINAL VARIABLES\n\n");
    const int all = static_cast<int>(std::trunc(x.maxElement())) - static_cast<int>(std::trunc(x.minElement())) + 1;
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
    if (column.rows() > 0) {
        MatrixScope scope;
        const Matrix sorted = roundToDecimals(column.sortColumns(), 1);
        const int n = sorted.rows();
        const double mn = sorted[0][0];
        const double mx = sorted[n - 1][0];
        const bool split = mn < 0.0 && 0.0 < mx;

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
    report.printf("\n");
}

}  // namespace talvex
