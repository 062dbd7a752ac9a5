#include "core/random.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "core/distributions.h"

namespace talvex {

namespace {
// The one generator state of the program (never reseeded).
std::uint32_t generatorState = 1;
constexpr double kInverse32767 = 3.051850947599719e-5;
}  // namespace

int randomNext() {
    generatorState = generatorState * 214013u + 2531011u;  // wraps mod 2^32
    return static_cast<int>((generatorState >> 16) & 0x7FFFu);
}

std::uint32_t randomState() { return generatorState; }

void restoreRandomState(std::uint32_t state) { generatorState = state; }

Matrix randomUniform(int rows, int cols) {
    Matrix u(rows, cols);
    for (int i = 0; i < rows; ++i)
        for (int j = 0; j < cols; ++j) u[i][j] = randomNext() * kInverse32767;
    return u;
}

Matrix randomUniformRange(int lo, int hi, int rows, int cols) {
    if (hi < lo) std::swap(lo, hi);
    Matrix u(rows, cols);
    const double width = static_cast<double>(hi - lo);
    for (int i = 0; i < rows; ++i)
        for (int j = 0; j < cols; ++j) u[i][j] = width * (randomNext() / 32767.0) + lo;
    return u;
}

void fillRandomStart(double* values, int rows, int cols) {
    // One draw ahead: each element uses the value drawn before it, and a
    // fresh value is drawn after every element (so rows·cols + 1 draws).
    int r = randomNext() % 1000;
    for (int i = 0; i < rows * cols; ++i) {
        values[i] = 2.0 * ((121 * r + 567) * 0.001 - 0.5);
        r = randomNext() % 1000;
    }
}

Matrix randomStartMatrix(int rows, int cols) {
    Matrix m(rows, cols);
    if (rows > 0 && cols > 0) fillRandomStart(m[0], rows, cols);
    return m;
}

Matrix randomNormalMatrix(int rows, int cols) {
    Matrix m(rows, cols);
    // Rejection from the uniform on [-4, 4]: the acceptance ratio is the
    // unnormalised density exp(-x²/2), obtained through the scaled density.
    const double scale = 0.0001 / std::sqrt(6.283185307179586);
    for (int j = 0; j < cols; ++j) {
        for (int i = 0; i < rows; ++i) {
            for (;;) {
                const double x = 8.0 * (randomNext() / 32767.0) - 4.0;
                const double e = normalDensityScaled(x, 0.0001) / scale;
                const double u = randomNext() / 32767.0;
                if (u <= e) {
                    m[i][j] = x;
                    break;
                }
            }
        }
    }
    return m;
}

Matrix permuteColumns(const Matrix& x) {
    const int r = x.rows();
    const int c = x.cols();
    Matrix result(r, c);
    // One uniform key per cell, drawn row by row; the key is the 15-bit
    // value itself (the uniform is that value divided by 32767).
    std::vector<int> keys(static_cast<std::size_t>(r) * static_cast<std::size_t>(c));
    for (int& key : keys) key = randomNext();
    // Each column's rows in increasing order of their keys, tied keys in row
    // order (so every row is used exactly once: a true permutation), by two
    // stable counting passes over the low and the high byte of the key.
    std::vector<int> order(static_cast<std::size_t>(r)), swap(static_cast<std::size_t>(r));
    std::vector<int> column(static_cast<std::size_t>(r));
    for (int j = 0; j < c; ++j) {
        for (int i = 0; i < r; ++i)
            column[static_cast<std::size_t>(i)] =
                keys[static_cast<std::size_t>(i) * static_cast<std::size_t>(c) + static_cast<std::size_t>(j)];
        for (int i = 0; i < r; ++i) swap[static_cast<std::size_t>(i)] = i;
        for (int shift : {0, 8}) {
            std::size_t counts[257] = {};
            for (int row : swap) ++counts[((column[static_cast<std::size_t>(row)] >> shift) & 0xFF) + 1];
            for (int b = 0; b < 256; ++b) counts[b + 1] += counts[b];
            for (int row : swap) order[counts[(column[static_cast<std::size_t>(row)] >> shift) & 0xFF]++] = row;
            std::swap(order, swap);
        }
        for (int i = 0; i < r; ++i) result[i][j] = x[swap[static_cast<std::size_t>(i)]][j];
    }
    return result;
}

}  // namespace talvex
