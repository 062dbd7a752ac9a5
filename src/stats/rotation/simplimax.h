// Simplimax (Kiers, 1994): the oblique rotation that minimises the sum of
// squares of the z smallest loadings, alternating between the choice of the
// zero cells and an oblique fit of those cells to zero.
#pragma once

#include "core/matrix.h"
#include "report/settings.h"

namespace talvex {

struct SimplimaxSolution {
    Matrix pattern;             // p x m
    Matrix transformation;      // m x m, pattern = loadings · transformation
    Matrix factorCorrelations;  // m x m
    Matrix weights;             // p x m: 1 salient, 0 zero (the method's target)
    double criterion = 0.0;     // sum of squares of the zero cells
};

// The best of the clever start (`cleverStart`, 0 the identity) and
// `randomStarts` random starts for z zero loadings.
SimplimaxSolution simplimaxRotation(const Matrix& loadings, int zeros, int maxIterations,
                                    double convergence, int randomStarts, int cleverStart);

// One oblique fit for fixed weights, from the transformation and factor
// correlations given (the identity when the chosen solution is recomputed).
SimplimaxSolution simplimaxStep(const Matrix& loadings, const Matrix& weights,
                                const Matrix& transformation, const Matrix& factorCorrelations,
                                double convergence);

}  // namespace talvex
