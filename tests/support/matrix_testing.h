// Shared helpers for tests that work with Matrix: literal construction, a
// fixture that checks the pool comes back to its level, a matcher that prints
// both matrices on failure, and test data that does not touch the program's
// random stream.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <ostream>
#include <random>
#include <sstream>
#include <string>

#include "core/matrix.h"

namespace talvex {

// Lets gtest print a Matrix in full (found by argument-dependent lookup).
inline void PrintTo(const Matrix& m, std::ostream* os) {
    if (!m.valid()) {
        *os << "(no matrix)";
        return;
    }
    *os << m.rows() << " x " << m.cols() << "\n";
    char cell[32];
    for (int i = 0; i < m.rows(); ++i) {
        for (int j = 0; j < m.cols(); ++j) {
            std::snprintf(cell, sizeof cell, " %14.9g", m[i][j]);
            *os << cell;
        }
        *os << "\n";
    }
}

namespace testing {

// A matrix from literal rows; all rows must have the same length.
inline Matrix fromRows(std::initializer_list<std::initializer_list<double>> rows) {
    const int r = static_cast<int>(rows.size());
    const int c = r == 0 ? 0 : static_cast<int>(rows.begin()->size());
    Matrix m(r, c);
    int i = 0;
    for (const auto& row : rows) {
        int j = 0;
        for (double x : row) m[i][j++] = x;
        ++i;
    }
    return m;
}

inline std::string toText(const Matrix& m) {
    std::ostringstream os;
    PrintTo(m, &os);
    return os.str();
}

// Same shape and every element within `tolerance` (absolute). Non-finite
// elements match only an identical non-finite element.
class MatrixNearMatcher {
   public:
    using is_gtest_matcher = void;

    MatrixNearMatcher(Matrix expected, double tolerance)
        : expected_(expected), tolerance_(tolerance) {}

    bool MatchAndExplain(const Matrix& actual, std::ostream* os) const {
        if (actual.rows() != expected_.rows() || actual.cols() != expected_.cols()) {
            if (os) *os << "shape differs";
            return false;
        }
        for (int i = 0; i < actual.rows(); ++i) {
            for (int j = 0; j < actual.cols(); ++j) {
                const double a = actual[i][j];
                const double e = expected_[i][j];
                const bool same = std::isfinite(e) ? std::fabs(a - e) <= tolerance_
                                                   : (std::isnan(e) ? std::isnan(a) : a == e);
                if (!same) {
                    if (os)
                        *os << "first difference at (" << i << ", " << j << "): " << a << " vs "
                            << e;
                    return false;
                }
            }
        }
        return true;
    }
    void DescribeTo(std::ostream* os) const {
        *os << "is within " << tolerance_ << " of\n" << toText(expected_);
    }
    void DescribeNegationTo(std::ostream* os) const {
        *os << "is not within " << tolerance_ << " of\n" << toText(expected_);
    }

   private:
    Matrix expected_;
    double tolerance_;
};

inline MatrixNearMatcher MatrixNear(const Matrix& expected, double tolerance) {
    return MatrixNearMatcher(expected, tolerance);
}

// Opens a scope for the test body and checks on tear-down that every matrix
// the test created was released with it.
class PoolTest : public ::testing::Test {
   protected:
    void SetUp() override {
        liveBefore_ = liveCount();
        depthBefore_ = scopeDepth();
        openScope();
    }
    void TearDown() override {
        closeScope();
        EXPECT_EQ(liveCount(), liveBefore_) << "matrices leaked past the test's scope";
        EXPECT_EQ(scopeDepth(), depthBefore_) << "a scope was left open";
    }

   private:
    std::size_t liveBefore_ = 0;
    std::size_t depthBefore_ = 0;
};

// Test data from a seeded std::mt19937, so the program's stream is untouched.
inline Matrix randomMatrix(int rows, int cols, std::mt19937& gen) {
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    Matrix m(rows, cols);
    for (int i = 0; i < rows; ++i)
        for (int j = 0; j < cols; ++j) m[i][j] = u(gen);
    return m;
}

inline Matrix randomSymmetric(int n, std::mt19937& gen) {
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    Matrix m(n, n);
    for (int i = 0; i < n; ++i)
        for (int j = 0; j <= i; ++j) m[i][j] = m[j][i] = u(gen);
    return m;
}

}  // namespace testing
}  // namespace talvex
