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

// order[j]: the column of `actual` matching column j of `expected` (largest
// total absolute congruence); sign[j]: ±1; smallest: the weakest match.
struct ColumnMatch {
    std::vector<int> order;
    std::vector<double> sign;
    double smallest = 1.0;
};

inline ColumnMatch matchColumns(const Matrix& expected, const Matrix& actual) {
    std::vector<int> order(static_cast<std::size_t>(expected.cols()));
    std::iota(order.begin(), order.end(), 0);
    ColumnMatch best;
    double bestTotal = -1.0;
    do {
        double total = 0.0, smallest = 1.0;
        for (std::size_t j = 0; j < order.size(); ++j) {
            const double c = std::fabs(congruence(expected, static_cast<int>(j), actual, order[j]));
            total += c;
            smallest = std::min(smallest, c);
        }
        if (total > bestTotal) best = {order, {}, smallest}, bestTotal = total;
    } while (std::next_permutation(order.begin(), order.end()));
    for (std::size_t j = 0; j < order.size(); ++j)
        best.sign.push_back(congruence(expected, static_cast<int>(j), actual, best.order[j]) < 0 ? -1.0 : 1.0);
    return best;
}

// `actual` with its columns in the matched order and sign.
inline Matrix aligned(const Matrix& actual, const ColumnMatch& match) {
    Matrix r(actual.rows(), actual.cols());
    for (int i = 0; i < actual.rows(); ++i)
        for (int j = 0; j < actual.cols(); ++j)
            r[i][j] = match.sign[static_cast<std::size_t>(j)] *
                      actual[i][match.order[static_cast<std::size_t>(j)]];
    return r;
}

// Factor correlations in the matched order and sign.
inline Matrix alignedCorrelations(const Matrix& phi, const ColumnMatch& match) {
    Matrix r(phi.rows(), phi.cols());
    for (int i = 0; i < phi.rows(); ++i)
        for (int j = 0; j < phi.cols(); ++j) {
            const auto a = static_cast<std::size_t>(i), b = static_cast<std::size_t>(j);
            r[i][j] = match.sign[a] * match.sign[b] * phi[match.order[a]][match.order[b]];
        }
    return r;
}

}  // namespace talvex::rotation_testing
