#include "stats/dimensionality/permuted_tables.h"

#include <algorithm>
#include <cmath>

namespace talvex {

TableRandom::TableRandom(std::uint64_t seed, std::uint64_t stream)
    : state_(seed ^ (stream * 0xD1B54A32D192ED03ULL)) {
    next();
}

std::uint64_t TableRandom::next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

double TableRandom::uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }

std::vector<double> logFactorials(int n) {
    std::vector<double> out(static_cast<std::size_t>(n) + 1, 0.0);
    for (int k = 2; k <= n; ++k) out[static_cast<std::size_t>(k)] = std::lgamma(k + 1.0);
    return out;
}

int hypergeometricDraw(int good, int bad, int draws, TableRandom& random,
                       const std::vector<double>& logFactorial) {
    const int lo = std::max(0, draws - bad), hi = std::min(draws, good);
    if (lo >= hi) return lo;
    const int total = good + bad;
    int mode = static_cast<int>((static_cast<double>(draws) + 1.0) * (good + 1.0) / (total + 2.0));
    mode = std::clamp(mode, lo, hi);
    auto lf = [&](int k) { return logFactorial[static_cast<std::size_t>(k)]; };
    const double pMode = std::exp(lf(good) - lf(mode) - lf(good - mode) + lf(bad) - lf(draws - mode) -
                                  lf(bad - draws + mode) - lf(total) + lf(draws) + lf(total - draws));
    // Inversion over the outcomes in the order of decreasing probability,
    // which the unimodal pmf gives by walking out from the mode.
    const double u = random.uniform();
    double cumulative = pMode;
    if (u < cumulative) return mode;
    int down = mode, up = mode;
    double pDown = pMode, pUp = pMode;
    auto nextDown = [&] {
        const double x = down;
        return down > lo ? pDown * x * (bad - draws + x) / ((good - x + 1.0) * (draws - x + 1.0)) : -1.0;
    };
    auto nextUp = [&] {
        const double x = up;
        return up < hi ? pUp * (good - x) * (draws - x) / ((x + 1.0) * (bad - draws + x + 1.0)) : -1.0;
    };
    double candidateDown = nextDown(), candidateUp = nextUp();
    for (;;) {
        if (candidateDown < 0.0 && candidateUp < 0.0) return mode;  // rounding left u uncovered
        if (candidateUp > candidateDown) {
            ++up;
            pUp = candidateUp;
            cumulative += pUp;
            if (u < cumulative) return up;
            candidateUp = nextUp();
        } else {
            --down;
            pDown = candidateDown;
            cumulative += pDown;
            if (u < cumulative) return down;
            candidateDown = nextDown();
        }
    }
}

void permutedTable(const std::vector<int>& first, const std::vector<int>& second, TableRandom& random,
                   const std::vector<double>& logFactorial, std::vector<int>& table) {
    const int k = static_cast<int>(first.size());
    table.assign(static_cast<std::size_t>(k * k), 0);
    std::vector<int> pool(second);
    int poolTotal = 0;
    for (int v : pool) poolTotal += v;
    for (int a = 0; a < k; ++a) {
        int size = first[static_cast<std::size_t>(a)];
        int rest = poolTotal;
        // The rows of category a take a sample of the second column's
        // remaining categories: category b's share given the later ones.
        for (int b = 0; b < k && size > 0; ++b) {
            const int here = pool[static_cast<std::size_t>(b)];
            rest -= here;
            const int h = b == k - 1 ? size : hypergeometricDraw(here, rest, size, random, logFactorial);
            table[static_cast<std::size_t>(a * k + b)] = h;
            pool[static_cast<std::size_t>(b)] -= h;
            size -= h;
        }
        poolTotal -= first[static_cast<std::size_t>(a)];
    }
}

std::optional<DiscreteMargins> discreteMargins(const Matrix& x, int lowest, int categories) {
    DiscreteMargins margins;
    margins.lowest = lowest;
    margins.categories = categories;
    for (int i = 0; i < x.rows(); ++i)
        for (int j = 0; j < x.cols(); ++j) {
            const double v = x[i][j];
            if (v != std::trunc(v) || v < lowest || v >= lowest + categories) return std::nullopt;
        }
    const std::size_t k = static_cast<std::size_t>(margins.categories);
    margins.counts.assign(static_cast<std::size_t>(x.cols()), std::vector<int>(k, 0));
    for (int i = 0; i < x.rows(); ++i)
        for (int j = 0; j < x.cols(); ++j)
            ++margins.counts[static_cast<std::size_t>(j)][static_cast<std::size_t>(x[i][j]) -
                                                          static_cast<std::size_t>(lowest)];
    return margins;
}

double tablePearson(const std::vector<int>& table, int k) {
    double n = 0.0, sa = 0.0, sb = 0.0;
    for (int a = 0; a < k; ++a)
        for (int b = 0; b < k; ++b) {
            const double c = table[static_cast<std::size_t>(a * k + b)];
            n += c;
            sa += c * a;
            sb += c * b;
        }
    const double ma = sa / n, mb = sb / n;
    double saa = 0.0, sbb = 0.0, sab = 0.0;
    for (int a = 0; a < k; ++a)
        for (int b = 0; b < k; ++b) {
            const double c = table[static_cast<std::size_t>(a * k + b)];
            saa += c * (a - ma) * (a - ma);
            sbb += c * (b - mb) * (b - mb);
            sab += c * (a - ma) * (b - mb);
        }
    return saa > 0.0 && sbb > 0.0 ? sab / std::sqrt(saa * sbb) : 0.0;
}

}  // namespace talvex
