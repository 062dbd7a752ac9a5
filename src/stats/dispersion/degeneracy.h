// Data and matrices that no factor analysis can use as they are: variables
// without variance, variables that are linear combinations of others, and
// correlations of 1 or more in absolute value. Each test names the variables
// (0-based columns) so that the user can be told which to exclude.
#pragma once

#include <optional>
#include <utility>
#include <vector>

#include "core/matrix.h"

namespace talvex {

// Smallest eigenvalue, relative to a unit diagonal, below which a
// correlation matrix is taken as singular.
inline constexpr double kSingularEigenvalue = 1e-9;

// Columns of the N x m scores whose values are all equal.
std::vector<int> constantColumns(const Matrix& x);

// Diagonal elements of a square dispersion matrix that are not positive
// finite variances.
std::vector<int> nonPositiveVariances(const Matrix& s);

// The variables of a correlation matrix that take part in a linear
// dependency: those with a weight of at least 0.001 in an eigenvector whose
// eigenvalue is below kSingularEigenvalue. Empty when the matrix is not
// singular.
std::vector<int> linearlyDependentVariables(const Matrix& correlation);

// The correlation form of two equal covariances comes out a few ulps below
// 1 (2/(√2·√2) = 0.9999999999999998): within this distance it is 1.
inline constexpr double kUnitCorrelation = 1.0 - 1e-12;

// The first pair i < j (row by row) whose correlation is 1 or more in
// absolute value (to rounding), or not a number.
std::optional<std::pair<int, int>> pairAtOrBeyondOne(const Matrix& correlation);

}  // namespace talvex
