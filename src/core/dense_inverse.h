// The general inverse on plain row-major arrays with reusable buffers: LU by
// LAPACK, and the eigen route for an exactly singular matrix. Matrix::inverse
// is built on it; loops that invert many small matrices use it directly so
// that the pool does not see every intermediate.
#pragma once

#include <vector>

namespace talvex {

class DenseInverse {
public:
    explicit DenseInverse(int n);
    // a and result are row-major n x n; they may be the same vector.
    void invert(const std::vector<double>& a, std::vector<double>& result);

private:
    int n_;
    int lwork_ = 1;
    std::vector<double> lu_;
    std::vector<int> pivots_;
    std::vector<double> work_;
};

}  // namespace talvex
