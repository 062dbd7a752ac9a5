// Minimum Average Partial test (Velicer, 1976): the number of principal
// components whose removal leaves the smallest average squared partial
// correlation.
#pragma once

#include <vector>

#include "core/matrix.h"

namespace talvex {

class ReportWriter;

// Written in place of an average that is not a number; the column ends
// with it.
inline constexpr double kMapUndefinedAverage = 0.99999;

// Average over i < j of the squared partial correlations
// E(i, j)/√(E(i, i)·E(j, j)) of a residual matrix E, with 1/√E(i, i)
// infinite for a non-positive E(i, i). Not a number when a variable other
// than the last has a non-positive residual variance (its row of partials is
// not a number), when a partial is 0·∞, and for fewer than two variables;
// infinite when only the last variable's residual variance is non-positive
// and its residual covariances are not 0.
double averageSquaredPartial(const Matrix& residual);

// The column a_1..a_M (M <= p) of averages after partialling out 1, 2, ...
// principal components of the p x p matrix r. It ends early, with
// kMapUndefinedAverage, at the first average that is not a finite number.
Matrix mapTest(const Matrix& r);

// Advised number of dimensions for a column of averages: the largest m
// whose average is positive and equal to the smallest average; 0 when the
// smallest is not positive.
int mapAdvisedDimensions(const Matrix& averages);

// The rows of the section (the averages above 0 with their numbers of
// dimensions) and its advice.
struct MapAdvice {
    std::vector<int> dimensions;
    std::vector<double> averages;
    int advised = 0;
};

// The section MINIMUM AVERAGE PARTIAL TEST (MAP) for a column of averages;
// returns the advised number of dimensions, and what it showed in `shown`.
int writeMapAverages(ReportWriter& report, const Matrix& averages, MapAdvice* shown = nullptr);
// Fewest variables the test is computed for.
inline constexpr int kMapFewestVariables = 3;

// Runs mapTest on r and writes its section; returns the advised number. For
// fewer than kMapFewestVariables variables the section says that the test is
// not computed, 0 is returned and `shown` is left alone.
int writeMapTest(ReportWriter& report, const Matrix& r, MapAdvice* shown = nullptr);

}  // namespace talvex
