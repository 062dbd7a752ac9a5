// Reference inputs shared by the dispersion and dimensionality tests: the
// committed data sets under tests/reference/, read with the shared helpers,
// and a thread count set for the life of an object.
#pragma once

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/kernels.h"
#include "core/matrix.h"
#include "support/kernel_paths.h"
#include "support/matrix_testing.h"
#include "support/report_testing.h"

namespace talvex::testing {

// Unit-diagonal symmetric matrix from its upper triangle, row by row.
inline Matrix symmetric(int p, const std::vector<double>& upper) {
    Matrix m = identity(p);
    std::size_t k = 0;
    for (int i = 0; i < p; ++i)
        for (int j = i + 1; j < p; ++j) m[i][j] = m[j][i] = upper[k++];
    return m;
}

// Pearson correlations of the columns, two-pass, computed here so the tests
// do not depend on the library's own correlation routine.
inline Matrix pearson(const std::vector<std::vector<double>>& data) {
    const int n = static_cast<int>(data.size()), p = static_cast<int>(data.front().size());
    std::vector<double> mean(static_cast<std::size_t>(p), 0.0);
    for (const auto& row : data)
        for (int j = 0; j < p; ++j) mean[j] += row[j] / n;
    Matrix c(p, p);
    for (const auto& row : data)
        for (int i = 0; i < p; ++i)
            for (int j = 0; j < p; ++j) c[i][j] += (row[i] - mean[i]) * (row[j] - mean[j]);
    Matrix r(p, p);
    for (int i = 0; i < p; ++i)
        for (int j = 0; j < p; ++j) r[i][j] = c[i][j] / std::sqrt(c[i][i] * c[j][j]);
    return r;
}

// bfi25: Pearson matrix of the 2436 complete cases; harman74: 24 x 24, N = 145.
struct ReferenceMatrix {
    Matrix r;
    int n = 0;
};
inline ReferenceMatrix referenceCorrelation(const std::string& name) {
    if (name != "bfi25") return {readMatrix(referencePath("harman74.cor")), 145};
    const auto data = readRows(referencePath("bfi25.dat"));
    return {pearson(data), static_cast<int>(data.size())};
}

// TALVEX_THREADS set for the life of the object.
class ThreadCount {
public:
    explicit ThreadCount(const char* threads) {
        const char* old = std::getenv("TALVEX_THREADS");
        had_ = old != nullptr;
        if (had_) old_ = old;
        setenv("TALVEX_THREADS", threads, 1);
    }
    ~ThreadCount() { had_ ? setenv("TALVEX_THREADS", old_.c_str(), 1) : unsetenv("TALVEX_THREADS"); }
    ThreadCount(const ThreadCount&) = delete;
    ThreadCount& operator=(const ThreadCount&) = delete;

private:
    bool had_ = false;
    std::string old_;
};

}  // namespace talvex::testing
