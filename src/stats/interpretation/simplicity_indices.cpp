#include "stats/interpretation/simplicity_indices.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "core/random.h"
#include "stats/rotation/orthosim.h"
#include "stats/rotation/rotation.h"

namespace talvex {

namespace {

// Offset that keeps the powers of LS defined at zero loadings.
constexpr double kOffset = 0.000001;
// Factor correlations up to this size are treated as orthogonal.
constexpr double kObliqueThreshold = 0.1;

// Centres column j of the row-major rows x m sample and scales it to unit
// length; a column without variance becomes zeros (no correlation).
void unitColumn(std::vector<double>& x, int rows, int m, int j) {
    double mean = 0.0;
    for (int i = 0; i < rows; ++i) mean += x[static_cast<std::size_t>(i * m + j)];
    mean /= rows;
    double ss = 0.0;
    for (int i = 0; i < rows; ++i) {
        double& v = x[static_cast<std::size_t>(i * m + j)];
        v -= mean;
        ss += v * v;
    }
    const double scale = ss > 0 ? 1.0 / std::sqrt(ss) : 0.0;
    for (int i = 0; i < rows; ++i) x[static_cast<std::size_t>(i * m + j)] *= scale;
}

double correlation(const std::vector<double>& z, int rows, int m, int a, int b) {
    double sum = 0.0;
    for (int i = 0; i < rows; ++i)
        sum += z[static_cast<std::size_t>(i * m + a)] * z[static_cast<std::size_t>(i * m + b)];
    return sum;
}

// The largest |r| among the columns of the sample, standardising columns
// 'ready' and above as it reaches them (columns below 'ready' are done);
// the search stops as soon as one |r| reaches `stop`, since most draws are
// rejected on their first few pairs.
double largestCorrelation(std::vector<double>& z, int rows, int m, double stop, int& ready) {
    double largest = 0.0;
    for (int a = 0; a < m; ++a) {
        if (a >= ready) {
            unitColumn(z, rows, m, a);
            ready = a + 1;
        }
        for (int b = 0; b < a; ++b) {
            largest = std::max(largest, std::fabs(correlation(z, rows, m, a, b)));
            if (largest >= stop) return largest;
        }
    }
    return largest;
}

}  // namespace

double loadingSimplicity(const Matrix& pattern) {
    const int p = pattern.rows(), m = pattern.cols();
    std::vector<double> columnSs(static_cast<std::size_t>(m), 0.0);
    for (int i = 0; i < p; ++i)
        for (int j = 0; j < m; ++j) columnSs[static_cast<std::size_t>(j)] += pattern[i][j] * pattern[i][j];
    double sum = 0.0;
    for (int i = 0; i < p; ++i) {
        double h = 0.0;
        for (int j = 0; j < m; ++j) {
            const double c = columnSs[static_cast<std::size_t>(j)];
            if (c > 0) h += pattern[i][j] * pattern[i][j] / c;
        }
        for (int j = 0; j < m; ++j) {
            const double c = columnSs[static_cast<std::size_t>(j)];
            const double b2 = h > 0 && c > 0 ? pattern[i][j] * pattern[i][j] / (h * c) : 0.0;
            sum += std::pow(b2 + kOffset, 10.0 * b2);
        }
    }
    const double mean = sum / (static_cast<double>(p) * m);
    const double e = std::pow(1.0 / m + kOffset, 10.0 / m);
    return (mean - e) / (1.0 - e);
}

double bentlerSimplicity(const Matrix& pattern) {
    // Columns whose squares are proportional make QᵀQ singular: the
    // elimination then meets a zero pivot and gives no number, or rounding
    // gives a tiny negative value, where the determinant is 0.
    const double s = orthosimCriterion(pattern);
    return std::isfinite(s) && s > 0 ? s : 0.0;
}

Matrix boundedRandomCorrelation(int m, double bound, bool& shrunk) {
    const int rows = kCorrelationSampleRows;
    // With m >= rows the centred sample has rank below m: no draw can be
    // positive definite, so the first one is shrunk at once.
    const bool fullRankPossible = m < rows;
    std::vector<double> z(static_cast<std::size_t>(rows * m));
    double largest = 0.0;
    shrunk = false;
    for (int draw = 1;; ++draw) {
        fillRandomStart(z.data(), rows, m);
        int ready = 0;
        largest = largestCorrelation(z, rows, m, bound, ready);
        if (fullRankPossible && largest < bound) break;
        if (!fullRankPossible || draw >= kCorrelationDrawLimit) {
            largest = largestCorrelation(z, rows, m, std::numeric_limits<double>::infinity(), ready);
            shrunk = true;
            break;
        }
    }
    // I + c(C − I) = (1 − c)I + cC: positive definite for 0 < c < 1 and
    // every off-diagonal element at most 0.99·bound.
    const double c = shrunk && largest > 0 ? std::min(0.99, 0.99 * bound / largest) : 1.0;
    Matrix result(m, m);
    for (int a = 0; a < m; ++a) {
        result[a][a] = 1.0;
        for (int b = 0; b < a; ++b) result[a][b] = result[b][a] = c * correlation(z, rows, m, a, b);
    }
    return result;
}

SimplicityReference simplicityReference(const Matrix& pattern, const Matrix& factorCorrelations) {
    SimplicityReference reference;
    const int m = pattern.cols();
    for (int a = 0; a < m; ++a)
        for (int b = 0; b < m; ++b)
            if (a != b) reference.delta = std::max(reference.delta, std::fabs(factorCorrelations[a][b]));
    if (reference.delta > kObliqueThreshold) {
        reference.pattern = pattern.multiply(factorCorrelations.sqrtSymmetric());
    } else {
        reference.pattern = pattern.copy();
        reference.delta = 0.0;
    }
    return reference;
}

Matrix randomTransformation(int m, double delta, bool& shrunk) {
    shrunk = false;
    if (!(delta > 0)) return randomRotationStart(m);
    Matrix t(m, m);
    MatrixScope scope;
    const Matrix cr = boundedRandomCorrelation(m, delta, shrunk);
    Matrix u(m, m), s(m, 1), v(m, m);
    cr.svd(u, s, v);
    // Bc = diag(√s)·Vᵀ gives BcᵀBc = Cr, and (Bcᵀ)⁻¹ = diag(1/√s)·Vᵀ.
    Matrix inverse(m, m);
    for (int i = 0; i < m; ++i)
        for (int j = 0; j < m; ++j) inverse[i][j] = v[j][i] / std::sqrt(s[i][0]);
    const Matrix product = randomRotationStart(m).multiply(inverse);
    for (int i = 0; i < m; ++i)
        for (int j = 0; j < m; ++j) t[i][j] = product[i][j];
    return t;
}

SimplicityIndices simplicityIndices(const Matrix& pattern, const Matrix& factorCorrelations) {
    SimplicityIndices result;
    const std::vector<int> live = columnsWithLoadings(pattern);
    if (live.empty()) return result;
    if (static_cast<int>(live.size()) < pattern.cols()) {
        // A factor without loadings has no simplicity to measure: the
        // indices describe the others.
        MatrixScope scope;
        const Matrix phi = selectColumns(selectColumns(factorCorrelations, live).transpose(), live);
        return simplicityIndices(selectColumns(pattern, live), phi);
    }
    result.loading = loadingSimplicity(pattern);
    result.bentler = bentlerSimplicity(pattern);
    MatrixScope scope;
    const SimplicityReference reference = simplicityReference(pattern, factorCorrelations);
    std::vector<double> loading(kSimplicityRotations), bentler(kSimplicityRotations);
    for (int k = 0; k < kSimplicityRotations; ++k) {
        MatrixScope rotation;
        bool shrunk = false;
        const Matrix t = randomTransformation(pattern.cols(), reference.delta, shrunk);
        if (shrunk) ++result.shrunkMatrices;
        const Matrix rotated = reference.pattern.multiply(t);
        loading[static_cast<std::size_t>(k)] = loadingSimplicity(rotated);
        bentler[static_cast<std::size_t>(k)] = bentlerSimplicity(rotated);
    }
    // The percentile is the share of random values strictly below the index.
    const auto percentile = [](std::vector<double>& values, double index) {
        std::sort(values.begin(), values.end());
        const auto below = std::lower_bound(values.begin(), values.end(), index) - values.begin();
        return 100.0 * static_cast<double>(below) / static_cast<double>(values.size());
    };
    result.loadingPercentile = percentile(loading, result.loading);
    result.bentlerPercentile = percentile(bentler, result.bentler);
    return result;
}

void writeSimplicityIndices(ReportWriter& report, const SimplicityIndices& indices) {
    report.printf("INDICES OF FACTOR SIMPLICITY\n");
    report.printf("Bentler (1977) & Varnholt (2003) \n\n");
    report.printf("Bentler's simplicity index (S) : %9.5f (Percentile %3.0f)\n", indices.bentler,
                  indices.bentlerPercentile);
    report.printf("Loading simplicity index  (LS) : %9.5f (Percentile %3.0f)\n\n", indices.loading,
                  indices.loadingPercentile);
    report.printf("       \n");
    report.separator();
}

}  // namespace talvex
