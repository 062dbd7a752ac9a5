#include "stats/dispersion/polychoric.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

#include "core/distributions.h"
#include "core/kernels.h"
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
// c = 0 .. ki, t = 0 .. kj, stored at c·(kj + 1) + t; `interior(c, t, f, d)`
// gives them at the corners inside the grid. The stand-ins are taken as the
// infinities they stand for: a corner at minus infinity has probability 0,
// one at plus infinity the other threshold's marginal, and neither has
// density. lowerA and lowerB hold Φ of each threshold, which do not change
// with rho.
template <class Interior>
void fillGrid(const double* lowerA, const double* lowerB, int ki, int kj, double* corners, double* densities,
              Interior interior) {
    const int width = kj + 1;
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
                interior(c, t, f, d);
            }
            corners[c * width + t] = f;
            if (densities != nullptr) densities[c * width + t] = d;
        }
    }
}

// The grid by the accurate Φ₂: a cell of a few participants can have a model
// probability of 1e-8 or less, where an approximation good to 1e-9 moves the
// estimate by hundredths.
void fillCorners(const double* a, const double* b, const double* lowerA, const double* lowerB, int ki, int kj,
                 double rho, double* corners, double* densities) {
    // The quadrature of Φ₂ depends on rho alone: once for all the corners.
    const BivariateNormalRho atRho = bivariateNormalRho(rho);
    fillGrid(lowerA, lowerB, ki, kj, corners, densities, [&](int c, int t, double& f, double& d) {
        f = bivariateNormalCdf(a[c], b[t], lowerA[c], lowerB[t], atRho);
        d = bivariateNormalDensity(a[c], b[t], rho);
    });
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

// What one step of the bisection does with the score at its rho.
enum class Step { Stop, Up, Down, Failed, Undecided };

Step stepOf(double g, double tolerance) {
    if (!std::isfinite(g)) return Step::Failed;
    if (std::fabs(g) <= tolerance) return Step::Stop;
    return g > 0.0 ? Step::Up : Step::Down;
}

constexpr double kUnit = 0x1p-53;  // unit roundoff

// Four doubles as one value (GCC's vector extension: one AVX2 register, or
// two SSE2 registers in the portable build), loaded from any address.
typedef double Lanes __attribute__((vector_size(32), aligned(8)));
typedef long long LaneMask __attribute__((vector_size(32), aligned(8)));

// (Macros rather than functions: a vector passed by value changes the ABI.)
#define TALVEX_LANES_AT(p) (*reinterpret_cast<const Lanes*>(p))
#define TALVEX_MAGNITUDE(v) ((v) < 0.0 ? -(v) : (v))

// Sums over the cells of the score's terms, of their spreads (how far each
// may lie from the exact evaluation's term) and of their sizes, in four
// lanes. `spreads` hold, for each corner, its bound plus 8u of its
// magnitude (a cell's four-corner combination rounds three times in each
// evaluation), so that a cell's spread is the sum over its corners.
// Quotient, with δπ/π below 1/2: |p/π - p/π'| <= 2|p/π|·δπ/π, and its
// roundings (3u here, u there); product: the factors' spreads and 2u. The
// cells are indexed by their lower corner, g = c·(kj + 1) + t, four at a
// time; g with t = kj, and g past the last cell, are no cells (valid 0).
// Everything is computed for every lane, then selected. Returns whether
// some cell's probability may lie on either side of 0 (or is known to less
// than half its size).
struct CellSums {
    Lanes score, spread, size;
};
TALVEX_KERNEL_BODY bool cellSumsBody(const BisectionBuffers& w, int cells, int width, CellSums& sums) {
    const double* corners = w.corners.data();
    const double* densities = w.densities.data();
    const double* cornerSpreads = w.cornerBounds.data();
    const double* densitySpreads = w.densityBounds.data();
    const Lanes zero = {0.0, 0.0, 0.0, 0.0};
    Lanes score = zero, spread = zero, size = zero;
    LaneMask undecided = {0, 0, 0, 0};
    for (int g = 0; g < cells; g += 4) {
        const int n = g + width;
        const Lanes pi = TALVEX_LANES_AT(corners + n + 1) - TALVEX_LANES_AT(corners + g + 1) - TALVEX_LANES_AT(corners + n) + TALVEX_LANES_AT(corners + g);
        const Lanes piSpread = TALVEX_LANES_AT(cornerSpreads + n + 1) + TALVEX_LANES_AT(cornerSpreads + g + 1) +
                               TALVEX_LANES_AT(cornerSpreads + n) + TALVEX_LANES_AT(cornerSpreads + g);
        const Lanes d = TALVEX_LANES_AT(densities + n + 1) - TALVEX_LANES_AT(densities + g + 1) - TALVEX_LANES_AT(densities + n) +
                        TALVEX_LANES_AT(densities + g);
        const Lanes dSpread = TALVEX_LANES_AT(densitySpreads + n + 1) + TALVEX_LANES_AT(densitySpreads + g + 1) +
                              TALVEX_LANES_AT(densitySpreads + n) + TALVEX_LANES_AT(densitySpreads + g);
        const Lanes share = TALVEX_LANES_AT(w.shares.data() + g);
        const LaneMask valid = TALVEX_LANES_AT(w.validCells.data() + g) != 0.0;
        const LaneMask positive = (pi > 2.0 * piSpread) & valid;
        undecided |= valid & ~(positive | (pi + piSpread <= 0.0));
        const Lanes inverse = 1.0 / pi;
        const Lanes ratio = positive ? share * inverse : (valid ? share * kZeroProbabilityFactor : zero);
        const Lanes ratioSize = TALVEX_MAGNITUDE(ratio);
        const Lanes ratioSpread = positive ? ratioSize * (2.0 * piSpread * inverse + 8.0 * kUnit) : zero;
        const Lanes dSize = TALVEX_MAGNITUDE(d) + dSpread;
        const Lanes termSize = (ratioSize + ratioSpread) * dSize;
        score += ratio * d;
        spread += ratioSize * dSpread + ratioSpread * dSize + 2.0 * kUnit * termSize;
        size += termSize;
    }
    sums = {score, spread, size};
    return (undecided[0] | undecided[1] | undecided[2] | undecided[3]) != 0;
}

#if TALVEX_AVX2_BUILD
TALVEX_AVX2 bool cellSumsAvx2(const BisectionBuffers& w, int cells, int width, CellSums& sums) {
    return cellSumsBody(w, cells, width, sums);
}
#endif

bool cellSumsPortable(const BisectionBuffers& w, int cells, int width, CellSums& sums) {
    return cellSumsBody(w, cells, width, sums);
}

// The step the exact score would take, decided from the bounded corners
// where their bounds allow: the terms' spreads and the sum's roundings (n in
// each evaluation, in any order), doubled against the rounding of the bound
// itself. Undecided when a cell's probability is not settled or the bound
// straddles the tolerance.
Step boundedStep(const BisectionBuffers& w, int ki, int kj, double tolerance, KernelPath path) {
    const int width = kj + 1, cells = ki * width;
    CellSums sums;
#if TALVEX_AVX2_BUILD
    const bool undecided =
        path == KernelPath::Avx2 ? cellSumsAvx2(w, cells, width, sums) : cellSumsPortable(w, cells, width, sums);
#else
    (void)path;
    const bool undecided = cellSumsPortable(w, cells, width, sums);
#endif
    if (undecided) return Step::Undecided;
    const auto total = [](const Lanes& v) { return (v[0] + v[1]) + (v[2] + v[3]); };
    const double score = total(sums.score);
    const double n = static_cast<double>(ki) * kj;
    const double bound = 2.0 * (total(sums.spread) + 2.1 * n * kUnit * total(sums.size)) + 1e-300;
    if (!std::isfinite(score) || !std::isfinite(bound)) return Step::Undecided;
    if (std::fabs(score) + bound <= tolerance) return Step::Stop;
    if (std::fabs(score) - bound > tolerance) return score > 0.0 ? Step::Up : Step::Down;
    return Step::Undecided;
}

}  // namespace

const BivariateNormalRho& BisectionBuffers::atRho(int step, double rho) {
    if (rhoCache.empty()) rhoCache.resize(kCachedSteps * kCacheWays, bivariateNormalRho(0.0));
    if (step >= kCachedSteps) step = kCachedSteps - 1;
    BivariateNormalRho* ways = rhoCache.data() + step * kCacheWays;
    for (int q = 0; q < kCacheWays; ++q)
        if (std::bit_cast<std::uint64_t>(ways[q].rho) == std::bit_cast<std::uint64_t>(rho)) return ways[q];
    // Least recently filled way out: the ways shift down, the new one first.
    for (int q = kCacheWays - 1; q > 0; --q) ways[q] = ways[q - 1];
    ways[0] = bivariateNormalRho(rho);
    return ways[0];
}

namespace {

// Bisection on the score from rho = 0 in the bracket [-1, 1].
double bisectPair(const double* p, const double* a, const double* b, int ki, int kj, double tolerance,
                  ScoreEvaluation evaluation, KernelPath path, BisectionBuffers& w) {
    const int width = kj + 1;
    w.lowerA.resize(static_cast<std::size_t>(ki + 1));
    w.lowerB.resize(static_cast<std::size_t>(kj + 1));
    // The cells are taken four at a time by their lower corner: spare corners
    // past the grid for the no-cells at the end.
    const auto cells = static_cast<std::size_t>((ki * width + 3) / 4 * 4);
    const std::size_t padded = cells + static_cast<std::size_t>(width) + 1;
    w.corners.assign(padded, 0.0);
    w.densities.assign(padded, 0.0);
    lowerTails(a, ki, w.lowerA.data());
    lowerTails(b, kj, w.lowerB.data());
    const double* lowerA = w.lowerA.data();
    const double* lowerB = w.lowerB.data();
    const bool bounded = evaluation == ScoreEvaluation::Bounded;
    if (bounded) {
        w.points.clear();
        for (int c = 1; c < ki; ++c)
            for (int t = 1; t < kj; ++t) w.points.add(a[c], b[t], lowerA[c], lowerB[t]);
        const auto n = static_cast<std::size_t>(w.points.padded());
        for (std::vector<double>* v : {&w.cdf, &w.cdfBound, &w.density, &w.densityBound}) v->resize(n);
        // The edges do not change with rho: exact values, spread by their
        // rounding in the cell combinations only.
        fillGrid(lowerA, lowerB, ki, kj, w.corners.data(), w.densities.data(), [](int, int, double&, double&) {});
        w.cornerBounds.resize(padded);
        w.densityBounds.assign(padded, 0.0);
        for (std::size_t q = 0; q < padded; ++q) w.cornerBounds[q] = 8.0 * kUnit * w.corners[q];
        w.shares.assign(cells, 0.0);
        w.validCells.assign(cells, 0.0);
        for (int c = 0; c < ki; ++c)
            for (int t = 0; t < kj; ++t) {
                w.shares[static_cast<std::size_t>(c * width + t)] = p[(kj - 1 - t) * ki + c];
                w.validCells[static_cast<std::size_t>(c * width + t)] = 1.0;
            }
    }
    // The exact evaluation writes the same edges again, so they stay.
    double rho = 0.0, lower = -1.0, upper = 1.0;
    for (int step = 0; step < kBisectionCap; ++step) {
        Step next = Step::Undecided;
        if (bounded && boundedBivariateNormal(w.points, w.atRho(step, rho), w.cdf.data(), w.cdfBound.data(),
                                              w.density.data(), w.densityBound.data(), path)) {
            std::size_t j = 0;
            for (int c = 1; c < ki; ++c) {
                for (int t = 1; t < kj; ++t, ++j) {
                    const std::size_t q = static_cast<std::size_t>(c * width + t);
                    const double f = w.cdf[j], d = w.density[j];
                    w.corners[q] = f;
                    w.densities[q] = d;
                    w.cornerBounds[q] = w.cdfBound[j] + 8.0 * kUnit * (f + w.cdfBound[j]);
                    w.densityBounds[q] = w.densityBound[j] + 8.0 * kUnit * (d + w.densityBound[j]);
                }
            }
            next = boundedStep(w, ki, kj, tolerance, path);
        }
        if (next == Step::Undecided) {
            next = stepOf(likelihoodScore(p, a, b, lowerA, lowerB, ki, kj, rho, w.corners.data(),
                                          w.densities.data()),
                          tolerance);
            ++w.exactSteps;
        } else {
            ++w.boundedSteps;
        }
        if (next == Step::Failed) return kPolychoricFailed;
        if (next == Step::Stop) return rho;
        if (next == Step::Up) {
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

// The K x K counts of one pair into t (turned as the tables are), from the
// category codes. Four tallies taken in turn (consecutive participants
// rarely wait on the same counter), each with a spare cell at K² for codes
// outside 0 .. K - 1; whole numbers, so their sum is exact.
void tallyTable(const int* first, const int* second, int n, int k, std::vector<int>& counts,
                std::vector<double>& t) {
    const auto kk = static_cast<unsigned>(k), cells = kk * kk, stride = cells + 1;
    counts.assign(4 * static_cast<std::size_t>(stride), 0);
    const auto cellOfScores = [&](int p) {
        const auto c = static_cast<unsigned>(first[p]), s = static_cast<unsigned>(second[p]);
        return c < kk && s < kk ? (kk - 1 - s) * kk + c : cells;
    };
    int p = 0;
    for (; p + 4 <= n; p += 4)
        for (unsigned q = 0; q < 4; ++q) ++counts[q * stride + cellOfScores(p + static_cast<int>(q))];
    for (; p < n; ++p) ++counts[cellOfScores(p)];
    t.resize(cells);
    for (unsigned q = 0; q < cells; ++q)
        t[q] = counts[q] + counts[stride + q] + counts[2 * stride + q] + counts[3 * stride + q];
}

// The same counts from the category masks (bit p of word c·words + p/64 set
// when participant p is in category c; codes outside 0 .. K - 1 in none):
// the count of a cell is the number of bits both items' masks share. Built
// for processors with the population count instruction (every one with
// AVX2).
#if TALVEX_AVX2_BUILD
__attribute__((target("avx2,fma,popcnt")))
#endif
void maskTable(const std::uint64_t* first, const std::uint64_t* second, int k, int words, std::vector<double>& t) {
    t.resize(static_cast<std::size_t>(k * k));
    for (int c = 0; c < k; ++c)
        for (int s = 0; s < k; ++s) {
            const std::uint64_t* a = first + static_cast<std::size_t>(c) * words;
            const std::uint64_t* b = second + static_cast<std::size_t>(s) * words;
            long count = 0;
            for (int w = 0; w < words; ++w) count += __builtin_popcountll(a[w] & b[w]);
            t[static_cast<std::size_t>((k - 1 - s) * k + c)] = static_cast<double>(count);
        }
}

// Whether maskTable runs on its fast instruction here.
bool masksCountFast() {
#if TALVEX_AVX2_BUILD
    return kernelPath() == KernelPath::Avx2 && __builtin_cpu_supports("popcnt");
#else
    return false;
#endif
}

// Category masks of every item (see maskTable), item j's K masks at
// j·K·words.
int categoryMasks(const std::vector<int>& categories, int n, int m, int k, std::vector<std::uint64_t>& masks) {
    const int words = (n + 63) / 64;
    masks.assign(static_cast<std::size_t>(m) * static_cast<std::size_t>(k) * static_cast<std::size_t>(words), 0);
    for (int j = 0; j < m; ++j) {
        const int* codes = categories.data() + static_cast<std::size_t>(j) * static_cast<std::size_t>(n);
        std::uint64_t* item = masks.data() + static_cast<std::size_t>(j) * static_cast<std::size_t>(k) * words;
        for (int p = 0; p < n; ++p)
            if (static_cast<unsigned>(codes[p]) < static_cast<unsigned>(k))
                item[static_cast<std::size_t>(codes[p]) * words + static_cast<std::size_t>(p / 64)] |=
                    std::uint64_t{1} << (p % 64);
    }
    return words;
}

// Category masks of both items of a pair, when the counts are taken from them.
struct PairMasks {
    const std::uint64_t* first = nullptr;
    const std::uint64_t* second = nullptr;
    int words = 0;
};

// One pair from its K x K table of counts in buffers.proportions (row r:
// the second item's category K - 1 - r, column c: the first item's c): its
// thresholds and the estimate. Writes the turned table and the thresholds
// when asked. Returns the estimate and sets `failed` when the likelihood
// estimate failed (the caller substitutes Pearson).
double estimateFromCounts(int k, int ki, int kj, double pearson, PolychoricBuffers& buffers, double* turned,
                          bool& failed) {
    std::vector<double>& t = buffers.proportions;
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
    auto likelihood = [&] {
        return bisectPair(t.data(), a.data(), b.data(), ki, kj, kPairTolerance, ScoreEvaluation::Bounded,
                          kernelPath(), buffers.bisection);
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

// One pair of category columns: their table counted, then estimated.
double estimatePair(const int* first, const int* second, int n, int k, int ki, int kj,
                    double pearson, PolychoricBuffers& buffers, double* turned, bool& failed,
                    const PairMasks& masks = {}) {
    if (masks.first != nullptr)
        maskTable(masks.first, masks.second, k, masks.words, buffers.proportions);
    else
        tallyTable(first, second, n, k, buffers.counts, buffers.proportions);
    return estimateFromCounts(k, ki, kj, pearson, buffers, turned, failed);
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
    const Layout layout = categorize(x, low, high, buffers.categories);
    const int words = masksCountFast() ? categoryMasks(buffers.categories, layout.n, m, layout.k, buffers.masks) : 0;
    const auto itemMasks = [&](int j) {
        return buffers.masks.data() + static_cast<std::size_t>(j) * static_cast<std::size_t>(layout.k) * words;
    };
    // Pearson's coefficients give the sign of a dichotomous pair and stand in
    // for a failed pair; without either they are not computed.
    const bool dichotomous = std::count(layout.itemCategories.begin(), layout.itemCategories.end(), 2) >= 2;
    Matrix pearson = dichotomous ? correlationOf(x) : Matrix();
    std::vector<std::pair<int, int>> pairs;
    for (int i = 0; i < m; ++i)
        for (int j = i + 1; j < m; ++j) pairs.emplace_back(i, j);
    std::vector<char> failedPairs(pairs.size(), 0);
    // Each pair is estimated on its own, so the pairs are shared between
    // threads; the second thread has its own working storage.
    PolychoricBuffers second;
    parallelFor(static_cast<int>(pairs.size()), 8, [&](int begin, int end, int slot) {
        PolychoricBuffers& own = slot == 0 ? buffers : second;
        for (int q = begin; q < end; ++q) {
            const auto [i, j] = pairs[static_cast<std::size_t>(q)];
            const int ki = layout.itemCategories[static_cast<std::size_t>(i)];
            const int kj = layout.itemCategories[static_cast<std::size_t>(j)];
            bool failed = false;
            const double estimate = estimatePair(
                column(buffers.categories, layout, i), column(buffers.categories, layout, j), layout.n,
                layout.k, ki, kj, ki == 2 && kj == 2 ? pearson[i][j] : 0.0, own, nullptr, failed,
                words > 0 ? PairMasks{itemMasks(i), itemMasks(j), words} : PairMasks{});
            r[i][j] = r[j][i] = estimate;
            failedPairs[static_cast<std::size_t>(q)] = failed;
        }
    });
    if (std::find(failedPairs.begin(), failedPairs.end(), 1) != failedPairs.end()) {
        if (!pearson.valid()) pearson = correlationOf(x);
        for (std::size_t q = 0; q < pairs.size(); ++q)
            if (failedPairs[q]) {
                const auto [i, j] = pairs[q];
                r[i][j] = r[j][i] = pearson[i][j];
            }
    } else if (!pearson.valid()) {
        countConstructions(correlationConstructions());
    }
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

namespace {

std::vector<double> cellsOf(const Matrix& p) {
    std::vector<double> cells(static_cast<std::size_t>(p.rows() * p.cols()));
    for (int r = 0; r < p.rows(); ++r)
        for (int c = 0; c < p.cols(); ++c) cells[static_cast<std::size_t>(r * p.cols() + c)] = p[r][c];
    return cells;
}

}  // namespace

double polychoricPair(const Matrix& p, const double* a, const double* b, int ki, int kj, double tolerance,
                      ScoreEvaluation evaluation, KernelPath path, BisectionBuffers* buffers) {
    if (p.rows() != kj || p.cols() != ki) return kPolychoricFailed;
    BisectionBuffers own;
    return bisectPair(cellsOf(p).data(), a, b, ki, kj, tolerance, evaluation, path,
                      buffers != nullptr ? *buffers : own);
}

double polychoricScore(const Matrix& p, const double* a, const double* b, int ki, int kj, double rho) {
    if (p.rows() != kj || p.cols() != ki) return std::nan("");
    std::vector<double> lowerA(static_cast<std::size_t>(ki + 1)), lowerB(static_cast<std::size_t>(kj + 1));
    lowerTails(a, ki, lowerA.data());
    lowerTails(b, kj, lowerB.data());
    std::vector<double> corners(static_cast<std::size_t>((ki + 1) * (kj + 1))), densities(corners.size());
    return likelihoodScore(cellsOf(p).data(), a, b, lowerA.data(), lowerB.data(), ki, kj, rho, corners.data(),
                           densities.data());
}

double polychoricFromCounts(const std::vector<int>& table, int k, double pearson, PolychoricBuffers& buffers) {
    std::vector<double>& t = buffers.proportions;
    t.assign(static_cast<std::size_t>(k) * static_cast<std::size_t>(k), 0.0);
    for (int c = 0; c < k; ++c)
        for (int s = 0; s < k; ++s)
            t[static_cast<std::size_t>((k - 1 - s) * k + c)] = table[static_cast<std::size_t>(c * k + s)];
    bool failed = false;
    const double r = estimateFromCounts(k, k, k, pearson, buffers, nullptr, failed);
    return failed ? pearson : r;
}

}  // namespace talvex
