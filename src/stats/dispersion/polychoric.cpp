#include "stats/dispersion/polychoric.h"

#include <algorithm>
#include <cmath>

#include "core/distributions.h"
#include "core/parallel_for.h"
#include "stats/dispersion/correlation.h"

namespace talvex {

namespace {

// Threshold stand-ins for minus and plus infinity.
constexpr double kMinusInfinity = -100.0;
constexpr double kPlusInfinity = 5.0;
constexpr double kPairTolerance = 0.00001;
// Multiplier of a proportion whose model probability is exactly 0 (the
// guarded division of the matrix library).
constexpr double kZeroProbabilityFactor = 1.0 / 0.00001;

int truncated(double v) { return static_cast<int>(v); }

// Φ₂ and the bivariate normal density at the threshold corners (c, t),
// c = 0 .. ki, t = 0 .. kj, stored at c·(kj + 1) + t. Φ₂ is the accurate
// routine: a cell of a few participants can have a model probability of
// 1e-8 or less, where an approximation good to 1e-9 moves the estimate by
// hundredths. The stand-ins are
// taken as the infinities they stand for: a corner at minus infinity has
// probability 0, one at plus infinity the other threshold's marginal, and
// neither has density. lowerA and lowerB hold Φ of each threshold, which do
// not change with rho.
void fillCorners(const double* a, const double* b, const double* lowerA, const double* lowerB, int ki, int kj,
                 double rho, double* corners, double* densities) {
    const int width = kj + 1;
    // The quadrature of Φ₂ depends on rho alone: once for all the corners.
    const BivariateNormalRho atRho = bivariateNormalRho(rho);
    for (int c = 0; c <= ki; ++c) {
        for (int t = 0; t <= kj; ++t) {
            double f = 0.0, d = 0.0;
            if (c == 0 || t == 0) {
                f = 0.0;
            } else if (c == ki && t == kj) {
                f = 1.0;
            } else if (c == ki) {
                f = lowerB[t];
            } else if (t == kj) {
                f = lowerA[c];
            } else {
                f = bivariateNormalCdf(a[c], b[t], lowerA[c], lowerB[t], atRho);
                d = bivariateNormalDensity(a[c], b[t], rho);
            }
            corners[c * width + t] = f;
            if (densities != nullptr) densities[c * width + t] = d;
        }
    }
}

// Φ of the thresholds 0 .. k (the stand-ins are not used).
void lowerTails(const double* thresholds, int k, double* lower) {
    for (int c = 0; c <= k; ++c) lower[c] = normalLowerTail(thresholds[c]);
}

// The four-corner combination for the cell (c, t) of a corner grid.
double cellOf(const double* grid, int kj, int c, int t) {
    const int w = kj + 1;
    return grid[(c + 1) * w + t + 1] - grid[c * w + t + 1] - grid[(c + 1) * w + t] +
           grid[c * w + t];
}

// Score of the log-likelihood at rho: Σ (p/π)·π' over the cells, p laid out
// kj x ki as the cell probabilities. The quotient is exact for a positive
// probability; only a probability of 0 (or a negative rounding residue)
// takes the guarded factor.
double likelihoodScore(const double* p, const double* a, const double* b, const double* lowerA,
                       const double* lowerB, int ki, int kj, double rho, double* corners, double* densities) {
    fillCorners(a, b, lowerA, lowerB, ki, kj, rho, corners, densities);
    double g = 0.0;
    for (int t = 0; t < kj; ++t) {
        const double* row = p + (kj - 1 - t) * ki;
        for (int c = 0; c < ki; ++c) {
            const double pi = cellOf(corners, kj, c, t);
            const double ratio = pi > 0.0 ? row[c] / pi : row[c] * kZeroProbabilityFactor;
            g += ratio * cellOf(densities, kj, c, t);
        }
    }
    return g;
}

// Bisection on the score from rho = 0 in the bracket [-1, 1].
double bisectPair(const double* p, const double* a, const double* b, int ki, int kj,
                  double tolerance, double* corners, double* densities) {
    std::vector<double> lowerA(static_cast<std::size_t>(ki + 1)), lowerB(static_cast<std::size_t>(kj + 1));
    lowerTails(a, ki, lowerA.data());
    lowerTails(b, kj, lowerB.data());
    double rho = 0.0, lower = -1.0, upper = 1.0;
    for (int step = 0; step < kBisectionCap; ++step) {
        const double g =
            likelihoodScore(p, a, b, lowerA.data(), lowerB.data(), ki, kj, rho, corners, densities);
        if (!std::isfinite(g)) return kPolychoricFailed;
        if (std::fabs(g) <= tolerance) return rho;
        if (g > 0.0) {
            lower = rho;
            rho += std::fabs(upper - rho) / 2.0;
        } else {
            upper = rho;
            rho -= std::fabs(lower - rho) / 2.0;
        }
    }
    return kPolychoricFailed;
}

// The tetrachoric series of AS 116 at r for the quadrant below thresholds x
// and y with marginals px and py: the probability
//   px·py + φ(x)φ(y) Σ_{n≥1} rⁿ/n! He_{n-1}(x) He_{n-1}(y)
// and the density φ(x)φ(y) Σ_{n≥0} rⁿ/n! He_n(x) He_n(y). The Hermite
// polynomials are carried divided by √n!, which keeps every term in range
// (the published algorithm rescales by 1e36 and 1e-18 instead).
void tetrachoricSeries(double x, double y, double px, double py, double r, double& probability,
                       double& density) {
    double hx0 = 1.0, hy0 = 1.0;  // normalised He_n
    double hx1 = x, hy1 = y;      // normalised He_{n+1}
    double power = 1.0;           // rⁿ
    double sumDensity = 0.0, sumProbability = 0.0;
    double previous = 1.0;
    constexpr int kMaxTerms = 1000000;
    for (int n = 0; n < kMaxTerms; ++n) {
        const double term = power * hx0 * hy0;
        sumDensity += term;
        sumProbability += term * r / (n + 1);
        if (n >= 5 && std::fabs(term) <= 1e-08 && std::fabs(previous) <= 1e-08) break;
        previous = term;
        power *= r;
        const double k = n + 1.0;
        const double hx2 = (x * hx1 - std::sqrt(k) * hx0) / std::sqrt(k + 1.0);
        const double hy2 = (y * hy1 - std::sqrt(k) * hy0) / std::sqrt(k + 1.0);
        hx0 = hx1;
        hy0 = hy1;
        hx1 = hx2;
        hy1 = hy2;
    }
    const double scale = std::exp(-(x * x + y * y) / 2.0) * 0.1591549430204534;
    probability = px * py + scale * sumProbability;
    density = scale * sumDensity;
}

// One pair: the table of the two category columns (counted into
// buffers.counts), its thresholds and the estimate. Writes the turned table
// and the thresholds when asked. Returns the estimate and sets `failed`
// when the likelihood estimate failed (the caller substitutes Pearson).
double estimatePair(const int* first, const int* second, int n, int k, int ki, int kj,
                    double pearson, PolychoricBuffers& buffers, double* turned, bool& failed) {
    std::vector<double>& t = buffers.counts;
    t.assign(static_cast<std::size_t>(k * k), 0.0);
    for (int p = 0; p < n; ++p) {
        const int c = first[p], s = second[p];
        if (c < 0 || c >= k || s < 0 || s >= k) continue;
        t[static_cast<std::size_t>((k - 1 - s) * k + c)] += 1.0;
    }
    if (*std::min_element(t.begin(), t.end()) == 0.0)
        for (double& v : t) v += 0.5;
    if (turned != nullptr)
        for (int r = 0; r < k; ++r)
            for (int c = 0; c < k; ++c) turned[c * k + (k - 1 - r)] = t[static_cast<std::size_t>(r * k + c)];

    // The four cells AS 116 takes, truncated: the 0.5 added to a table with
    // an empty cell is dropped again.
    const int cells2x2[4] = {truncated(t[k < 2 ? 0 : static_cast<std::size_t>(k)]), truncated(t[0]),
                             truncated(t[k < 2 ? 0 : static_cast<std::size_t>(k + 1)]),
                             truncated(t[k < 2 ? 0 : 1])};
    double total = 0.0;
    for (double v : t) total += v;
    for (double& v : t) v /= total;

    std::vector<double>& a = buffers.thresholdsA;
    std::vector<double>& b = buffers.thresholdsB;
    a.assign(static_cast<std::size_t>(ki + 1), 0.0);
    b.assign(static_cast<std::size_t>(kj + 1), 0.0);
    a[0] = kMinusInfinity;
    double cumulative = 0.0;
    for (int c = 1; c < ki; ++c) {
        for (int r = 0; r < k; ++r) cumulative += t[static_cast<std::size_t>(r * k + c - 1)];
        a[static_cast<std::size_t>(c)] = normalQuantile(cumulative);
    }
    a[static_cast<std::size_t>(ki)] = kPlusInfinity;
    b[0] = kMinusInfinity;
    cumulative = 0.0;
    for (int s = 1; s < kj; ++s) {
        for (int c = 0; c < k; ++c) cumulative += t[static_cast<std::size_t>((s - 1) * k + c)];
        b[static_cast<std::size_t>(kj - s)] = -normalQuantile(cumulative);
    }
    b[static_cast<std::size_t>(kj)] = kPlusInfinity;

    failed = false;
    if (ki != k || kj != k) {
        failed = true;
        return kPolychoricFailed;
    }
    const std::size_t corners = static_cast<std::size_t>((ki + 1) * (kj + 1));
    buffers.corners.resize(corners);
    buffers.densities.resize(corners);
    auto likelihood = [&] {
        return bisectPair(t.data(), a.data(), b.data(), ki, kj, kPairTolerance,
                          buffers.corners.data(), buffers.densities.data());
    };
    if (ki == 2 && kj == 2) {
        // a = T(1, 0) both low, b = T(0, 0), c = T(1, 1), d = T(0, 1) both high.
        double r = tetrachoricAs116(cells2x2[0], cells2x2[1], cells2x2[2], cells2x2[3]);
        if (r == kTetrachoricFailed) {
            r = likelihood();
            if (r == kPolychoricFailed) {
                failed = true;
                return r;
            }
        }
        r = std::fabs(r);
        return pearson < 0.0 ? -r : r;
    }
    const double r = likelihood();
    failed = r == kPolychoricFailed;
    return r;
}

struct Layout {
    int n = 0, m = 0, k = 0, lowest = 0;
    std::vector<int> itemCategories;  // K_i of each item
};

// Category of every score, column after column, and each item's K_i.
Layout categorize(const Matrix& x, const Matrix& low, const Matrix& high, std::vector<int>& out) {
    Layout layout;
    layout.n = x.rows();
    layout.m = x.cols();
    layout.k = polychoricCategoryCount(low, high);
    layout.lowest = truncated(low.minElement());
    out.resize(static_cast<std::size_t>(layout.n) * static_cast<std::size_t>(layout.m));
    for (int j = 0; j < layout.m; ++j)
        for (int p = 0; p < layout.n; ++p)
            out[static_cast<std::size_t>(j) * static_cast<std::size_t>(layout.n) +
                static_cast<std::size_t>(p)] = truncated(x[p][j]) - layout.lowest;
    for (int j = 0; j < layout.m; ++j)
        layout.itemCategories.push_back(truncated(high[j][0]) - truncated(low[j][0]) + 1);
    return layout;
}

const int* column(const std::vector<int>& categories, const Layout& layout, int j) {
    return categories.data() + static_cast<std::size_t>(j) * static_cast<std::size_t>(layout.n);
}

}  // namespace

int polychoricCategoryCount(const Matrix& low, const Matrix& high) {
    return truncated(high.maxElement()) - truncated(low.minElement()) + 1;
}

Matrix polychoricMatrix(const Matrix& x, const Matrix& low, const Matrix& high,
                        Matrix& thresholds, Matrix& tables, Matrix& failedPairs) {
    const int m = x.cols();
    Matrix r = identity(m);
    MatrixScope scope;
    const Matrix pearson = correlationOf(x);
    PolychoricBuffers buffers;
    const Layout layout = categorize(x, low, high, buffers.categories);
    const int k = layout.k;
    std::vector<double> turned(static_cast<std::size_t>(k * k));
    int q = 0;
    for (int i = 0; i < m; ++i) {
        for (int j = i + 1; j < m; ++j, ++q) {
            const int ki = layout.itemCategories[static_cast<std::size_t>(i)];
            const int kj = layout.itemCategories[static_cast<std::size_t>(j)];
            bool failed = false;
            double estimate =
                estimatePair(column(buffers.categories, layout, i),
                             column(buffers.categories, layout, j), layout.n, k, ki, kj,
                             pearson[i][j], buffers, turned.data(), failed);
            for (int c = 0; c < k; ++c)
                for (int s = 0; s < k; ++s)
                    tables[q * k + c][s] = turned[static_cast<std::size_t>(c * k + s)];
            if (failed) {
                estimate = pearson[i][j];
                const int count = static_cast<int>(failedPairs[0][0]) + 1;
                failedPairs[0][0] = count;
                failedPairs[count][0] = i;
                failedPairs[count][1] = j;
            }
            r[i][j] = r[j][i] = estimate;
            if (j == i + 1)
                for (int c = 1; c < ki; ++c)
                    thresholds[i][c - 1] = buffers.thresholdsA[static_cast<std::size_t>(c)];
            if (i == m - 2 && j == m - 1)
                for (int c = 1; c < kj; ++c)
                    thresholds[j][c - 1] = buffers.thresholdsB[static_cast<std::size_t>(c)];
        }
    }
    return r;
}

std::vector<std::pair<int, int>> failedPairList(const Matrix& failedPairs) {
    std::vector<std::pair<int, int>> pairs;
    const int count = static_cast<int>(failedPairs[0][0]);
    for (int q = 1; q <= count; ++q)
        pairs.emplace_back(static_cast<int>(failedPairs[q][0]), static_cast<int>(failedPairs[q][1]));
    return pairs;
}

Matrix polychoricMatrixOnly(const Matrix& x, const Matrix& low, const Matrix& high,
                            PolychoricBuffers& buffers) {
    const int m = x.cols();
    Matrix r = identity(m);
    MatrixScope scope;
    const Matrix pearson = correlationOf(x);
    const Layout layout = categorize(x, low, high, buffers.categories);
    std::vector<std::pair<int, int>> pairs;
    for (int i = 0; i < m; ++i)
        for (int j = i + 1; j < m; ++j) pairs.emplace_back(i, j);
    // Each pair is estimated on its own, so the pairs are shared between
    // threads; the second thread has its own working storage.
    PolychoricBuffers second;
    parallelFor(static_cast<int>(pairs.size()), 8, [&](int begin, int end, int slot) {
        PolychoricBuffers& own = slot == 0 ? buffers : second;
        for (int q = begin; q < end; ++q) {
            const auto [i, j] = pairs[static_cast<std::size_t>(q)];
            bool failed = false;
            const double estimate = estimatePair(
                column(buffers.categories, layout, i), column(buffers.categories, layout, j),
                layout.n, layout.k, layout.itemCategories[static_cast<std::size_t>(i)],
                layout.itemCategories[static_cast<std::size_t>(j)], pearson[i][j], own, nullptr,
                failed);
            r[i][j] = r[j][i] = failed ? pearson[i][j] : estimate;
        }
    });
    return r;
}

Matrix contingencyTable(const Matrix& scores, int lowest, int highest) {
    const int k = highest - lowest + 1;
    Matrix t(k, k);
    for (int p = 0; p < scores.rows(); ++p) {
        const int c = truncated(scores[p][0]) - lowest;
        const int s = truncated(scores[p][1]) - lowest;
        if (c < 0 || c >= k || s < 0 || s >= k) continue;
        t[k - 1 - s][c] += 1.0;
    }
    return t;
}

double tetrachoricAs116(int a, int b, int c, int d) {
    if (a < 0 || b < 0 || c < 0 || d < 0) return kTetrachoricFailed;
    int pattern = (a == 0 || d == 0) ? 2 : 1;
    if (b == 0 || c == 0) pattern += 2;
    if (pattern == 4) return kTetrachoricFailed;
    if (pattern == 2 && a == 0 && d == 0) return -1.0;
    if (pattern == 3 && b == 0 && c == 0) return 1.0;

    // Continuity correction of the cells next to the empty one.
    const double shift = pattern == 2 ? 0.5 : (pattern == 3 ? -0.5 : 0.0);
    const double ca = a + shift, cd = d + shift, cb = b - shift, cc = c - shift;
    const double n = ca + cb + cc + cd;
    const double determinant = ca * cd - cb * cc;
    const double pa = determinant >= 0.0 ? ca / n : cb / n;
    const double pr = determinant >= 0.0 ? (ca + cc) / n : (cb + cd) / n;
    const double pc = (ca + cb) / n;
    if (a == d && b == c) return -std::cos(6.28318531 * pa);

    const double zr = normalQuantile(pr);
    const double zc = normalQuantile(pc);
    // A table of independent items (ad = bc) starts at its answer, 0.
    double r = determinant == 0.0
                   ? 0.0
                   : std::pow(std::sqrt(ca * cd) - std::sqrt(cb * cc), 2.0) / std::fabs(determinant);
    for (int iteration = 1; iteration <= 50; ++iteration) {
        double probability = 0.0, density = 0.0;
        tetrachoricSeries(zr, zc, pr, pc, r, probability, density);
        if (std::fabs(probability - pa) <= 1e-06) return r;
        const double correction = (probability - pa) / density;
        r -= correction;
        if (iteration == 2) r += correction / 2.0;
        r = std::clamp(r, 0.0, 0.9999);
    }
    return kTetrachoricFailed;
}

Matrix cellProbabilities(const double* a, const double* b, int ki, int kj, double rho) {
    std::vector<double> corners(static_cast<std::size_t>((ki + 1) * (kj + 1)));
    std::vector<double> lowerA(static_cast<std::size_t>(ki + 1)), lowerB(static_cast<std::size_t>(kj + 1));
    lowerTails(a, ki, lowerA.data());
    lowerTails(b, kj, lowerB.data());
    fillCorners(a, b, lowerA.data(), lowerB.data(), ki, kj, rho, corners.data(), nullptr);
    Matrix pi(kj, ki);
    for (int t = 0; t < kj; ++t)
        for (int c = 0; c < ki; ++c) pi[kj - 1 - t][c] = cellOf(corners.data(), kj, c, t);
    return pi;
}

Matrix cellDerivatives(const double* a, const double* b, int ki, int kj, double rho) {
    std::vector<double> corners(static_cast<std::size_t>((ki + 1) * (kj + 1)));
    std::vector<double> densities(corners.size());
    std::vector<double> lowerA(static_cast<std::size_t>(ki + 1)), lowerB(static_cast<std::size_t>(kj + 1));
    lowerTails(a, ki, lowerA.data());
    lowerTails(b, kj, lowerB.data());
    fillCorners(a, b, lowerA.data(), lowerB.data(), ki, kj, rho, corners.data(), densities.data());
    Matrix d(kj, ki);
    for (int t = 0; t < kj; ++t)
        for (int c = 0; c < ki; ++c) d[kj - 1 - t][c] = cellOf(densities.data(), kj, c, t);
    return d;
}

double polychoricPair(const Matrix& p, const double* a, const double* b, int ki, int kj,
                      double tolerance) {
    if (p.rows() != kj || p.cols() != ki) return kPolychoricFailed;
    std::vector<double> cells(static_cast<std::size_t>(ki * kj));
    for (int r = 0; r < kj; ++r)
        for (int c = 0; c < ki; ++c) cells[static_cast<std::size_t>(r * ki + c)] = p[r][c];
    std::vector<double> corners(static_cast<std::size_t>((ki + 1) * (kj + 1)));
    std::vector<double> densities(corners.size());
    return bisectPair(cells.data(), a, b, ki, kj, tolerance, corners.data(), densities.data());
}

}  // namespace talvex
