// Helpers of the rotation tests: Tucker congruence after matching columns
// (rotations are unique only up to column order and sign).
#pragma once

#include <algorithm>
#include <cmath>
#include <numeric>
#include <vector>

#include "core/matrix.h"

namespace talvex::rotation_testing {

inline double congruence(const Matrix& a, int ca, const Matrix& b, int cb) {
    double ab = 0.0, aa = 0.0, bb = 0.0;
    for (int i = 0; i < a.rows(); ++i) {
        ab += a[i][ca] * b[i][cb];
        aa += a[i][ca] * a[i][ca];
        bb += b[i][cb] * b[i][cb];
    }
    return ab / std::sqrt(aa * bb);
}

// The column order of `actual` that best matches `expected` (largest total
// absolute congruence): order[j] is the column of actual that matches
// column j of expected; sign[j] is +1 or -1.
struct ColumnMatch {
    std::vector<int> order;
    std::vector<double> sign;
    double smallest = 1.0;  // smallest absolute congruence of a matched pair
};

inline ColumnMatch matchColumns(const Matrix& expected, const Matrix& actual) {
    const int m = expected.cols();
    std::vector<int> order(static_cast<std::size_t>(m));
    std::iota(order.begin(), order.end(), 0);
    ColumnMatch best;
    double bestTotal = -1.0;
    do {
        double total = 0.0, smallest = 1.0;
        for (int j = 0; j < m; ++j) {
            const double c = std::fabs(congruence(expected, j, actual, order[static_cast<std::size_t>(j)]));
            total += c;
            smallest = std::min(smallest, c);
        }
        if (total > bestTotal) {
            bestTotal = total;
            best.order = order;
            best.smallest = smallest;
        }
    } while (std::next_permutation(order.begin(), order.end()));
    best.sign.resize(static_cast<std::size_t>(m));
    for (int j = 0; j < m; ++j)
        best.sign[static_cast<std::size_t>(j)] =
            congruence(expected, j, actual, best.order[static_cast<std::size_t>(j)]) < 0 ? -1.0 : 1.0;
    return best;
}

// actual with its columns put in the matched order and sign.
inline Matrix aligned(const Matrix& actual, const ColumnMatch& match) {
    Matrix r(actual.rows(), actual.cols());
    for (int i = 0; i < actual.rows(); ++i)
        for (int j = 0; j < actual.cols(); ++j)
            r[i][j] = match.sign[static_cast<std::size_t>(j)] *
                      actual[i][match.order[static_cast<std::size_t>(j)]];
    return r;
}

// Factor correlations of `actual` in the matched order and sign.
inline Matrix alignedCorrelations(const Matrix& phi, const ColumnMatch& match) {
    const int m = phi.rows();
    Matrix r(m, m);
    for (int i = 0; i < m; ++i)
        for (int j = 0; j < m; ++j)
            r[i][j] = match.sign[static_cast<std::size_t>(i)] * match.sign[static_cast<std::size_t>(j)] *
                      phi[match.order[static_cast<std::size_t>(i)]][match.order[static_cast<std::size_t>(j)]];
    return r;
}

}  // namespace talvex::rotation_testing
