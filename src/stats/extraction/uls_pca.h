// Unrotated solutions: principal components and unweighted least squares
// (row-wise minimum residuals), and the one-factor sign rule.
#pragma once

#include <optional>

#include "core/matrix.h"

namespace talvex {

struct PcaSolution {
    Matrix loadings;   // p x r, U_r D_r^(1/2)
    Matrix weights;    // p x r score weights, U_r D_r^(-1/2)
    double explained;  // sum of the r largest eigenvalues
};

// Principal components of the symmetric p x p matrix R, r components.
PcaSolution extractPca(const Matrix& r, int factors);

struct UlsSolution {
    Matrix loadings;  // p x r, principal axes (orthogonal columns, decreasing sums of squares)
    // (ln det S - ln det R)(N - 1), S the fitted matrix with R's diagonal;
    // only computed when N >= 1.
    std::optional<double> chiSquare;
    int sweeps = 0;  // sweeps made (0 when the start already fitted)
};

// Sweeps end when one changes the loss by no more than the tolerance, or after
// the 1001st.
inline constexpr int kUlsSweepLimit = 1000;

// Unweighted least squares factors of R (covariance or correlation), started
// from the principal components. A row whose least-squares communality would
// exceed the variable's variance R(i, i) is held at communality R(i, i).
UlsSolution extractUls(const Matrix& r, int factors, double tolerance, double sampleSize);

// Minimises ||B x - y||² subject to x'x = 1 (B p x r, y p x 1); r x 1.
// With one column the constraint alone fixes x = 1.
Matrix solveRowUnitNorm(const Matrix& b, const Matrix& y);

// A one-column loading matrix, multiplied by -1 when its largest (maximum)
// loading is negative, i.e. when every loading is negative.
Matrix reflectSingleFactor(const Matrix& loadings);
// True when reflectSingleFactor would change the sign of the column.
bool needsReflection(const Matrix& loadings);

}  // namespace talvex
