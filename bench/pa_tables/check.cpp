// The MRFA-based permutation parallel analysis with full permutations of the
// rows against the pair tables drawn from the margins, on one discrete data
// file: for each percentage of common variance, the mean and the 95th
// percentile of the K random values by each method, their Monte Carlo
// standard errors and the difference in standard errors.
//
// Usage: bench_pa_tables FILE [K] [lowest highest]
// FILE: whitespace-separated integer scores, one participant a line; rows
// with the code 999 are left out (complete cases). Default K = 500, scores
// 1 .. 6.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/matrix.h"
#include "stats/dimensionality/parallel_analysis.h"
#include "stats/dispersion/correlation.h"

namespace talvex {
namespace {

struct Summary {
    double mean = 0.0, meanError = 0.0, percentile = 0.0, percentileError = 0.0;
};

// Mean with its standard error; the 95th percentile as the analysis takes
// it, with the error from the order statistics of a binomial 95 % interval
// of its rank.
std::vector<Summary> summaries(const std::vector<double>& e, int k, int p) {
    std::vector<Summary> out(static_cast<std::size_t>(p));
    std::vector<double> column(static_cast<std::size_t>(k));
    const int row = paPercentileRow(k, 95);
    const int spread = static_cast<int>(std::ceil(1.96 * std::sqrt(k * 0.95 * 0.05)));
    for (int i = 0; i < p; ++i) {
        double sum = 0.0, squares = 0.0;
        for (int r = 0; r < k; ++r) {
            const double v = e[static_cast<std::size_t>(r * p + i)];
            column[static_cast<std::size_t>(r)] = v;
            sum += v;
        }
        const double mean = sum / k;
        for (double v : column) squares += (v - mean) * (v - mean);
        std::sort(column.begin(), column.end());
        Summary& s = out[static_cast<std::size_t>(i)];
        s.mean = mean;
        s.meanError = std::sqrt(squares / (k - 1) / k);
        s.percentile = column[static_cast<std::size_t>(row)];
        const int lo = std::max(0, row - spread), hi = std::min(k - 1, row + spread);
        s.percentileError = (column[static_cast<std::size_t>(hi)] - column[static_cast<std::size_t>(lo)]) / (2 * 1.96);
    }
    return out;
}

int run(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE [K] [lowest highest]\n", argv[0]);
        return 2;
    }
    const int k = argc > 2 ? std::atoi(argv[2]) : 500;
    const int lowest = argc > 4 ? std::atoi(argv[3]) : 1, highest = argc > 4 ? std::atoi(argv[4]) : 6;
    std::ifstream file(argv[1]);
    std::vector<std::vector<double>> rows;
    for (std::string line; std::getline(file, line);) {
        std::istringstream fields(line);
        std::vector<double> row;
        bool complete = true;
        for (double v; fields >> v;) {
            complete = complete && v != 999.0;
            row.push_back(v);
        }
        if (complete && !row.empty()) rows.push_back(std::move(row));
    }
    const int n = static_cast<int>(rows.size()), p = static_cast<int>(rows.at(0).size());
    MatrixScope scope;
    Matrix x(n, p);
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < p; ++j) x[i][j] = rows[static_cast<std::size_t>(i)][static_cast<std::size_t>(j)];
    std::printf("%s: %i complete rows x %i items, K = %i\n", argv[1], n, p, k);
    for (const int method : {PaMrfaPolychoricPermutation}) {
        PaInput in;
        in.x = x;
        in.r = correlationOf(x);
        in.method = method;
        in.n = n;
        in.randomMatrices = k;
        in.low = constant(p, 1, lowest);
        in.high = constant(p, 1, highest);
        std::vector<Summary> both[2];
        for (int tables = 0; tables < 2; ++tables) {
            in.tableRows = tables ? 0 : INT_MAX;
            const PaResult r = paUsesMrfa(method) ? parallelAnalysisMrfaValues(in) : parallelAnalysisPcaValues(in);
            both[tables] = summaries(r.random, k, p);
        }
        std::printf("\n%s, polychoric: full permutations | drawn tables | difference / its error\n",
                    paUsesMrfa(method) ? "MRFA % of common variance" : "PCA eigenvalues");
        std::printf("  i   mean (se)            95th (se)          | mean (se)            95th (se)          | z mean  z 95th\n");
        for (int i = 0; i < p; ++i) {
            const Summary& a = both[0][static_cast<std::size_t>(i)];
            const Summary& b = both[1][static_cast<std::size_t>(i)];
            const double zm = (b.mean - a.mean) / std::hypot(a.meanError, b.meanError);
            const double zp = (b.percentile - a.percentile) / std::hypot(a.percentileError, b.percentileError);
            std::printf("%3i  %9.5f (%7.5f)  %9.5f (%7.5f) | %9.5f (%7.5f)  %9.5f (%7.5f) | %6.2f  %6.2f\n", i + 1,
                        a.mean, a.meanError, a.percentile, a.percentileError, b.mean, b.meanError, b.percentile,
                        b.percentileError, zm, zp);
        }
    }
    return 0;
}

}  // namespace
}  // namespace talvex

int main(int argc, char** argv) { return talvex::run(argc, argv); }
