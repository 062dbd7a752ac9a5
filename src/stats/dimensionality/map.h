// Minimum Average Partial test (Velicer, 1976): the number of principal
// components whose removal leaves the smallest average squared partial
// correlation.
#pragma once

#include "core/matrix.h"

namespace talvex {

class ReportWriter;

// Written in place of an average that is not a number; the column ends
// with it.
inline constexpr double kMapUndefinedAverage = 0.99999;

// Average over i < j of the squared partial correlations
// E(i, j)/√(E(i, i)·E(j, j)) of a residual matrix E. Not a number when the
// sum is not finite (a residual variance that is not positive makes its
// partials infinite or not a number) and for fewer than two variables.
double averageSquaredPartial(const Matrix& residual);

// The column a_1..a_M (M <= p) of averages after partialling out 1, 2, ...
// principal components of the p x p matrix r. It ends early, with
// kMapUndefinedAverage, at the first average that is not a number.
Matrix mapTest(const Matrix& r);

// Advised number of dimensions for a column of averages: the largest m
// whose average is positive and equal to the smallest average; 0 when the
// smallest is not positive.
int mapAdvisedDimensions(const Matrix& averages);

// The section MINIMUM AVERAGE PARTIAL TEST (MAP) for a column of averages;
// returns the advised number of dimensions.
int writeMapAverages(ReportWriter& report, const Matrix& averages);
// Runs mapTest on r and writes its section; returns the advised number.
int writeMapTest(ReportWriter& report, const Matrix& r);

}  // namespace talvex
