// Rotation to a target: Procrustean rotation to a fully or partially
// specified target (cells of absolute value 9 or more are free), and the
// simplicity methods that build their target from a prerotation: Promax,
// Promaj and Promin. Every routine returns the transformation for its input
// loadings, as rotateSolution expects.
#pragma once

#include "core/matrix.h"
#include "stats/rotation/rotation.h"

namespace talvex {

// Browne (1972a, b): randomStarts + 2 starts (the identity first), the
// smallest criterion wins; T by least squares from the winning pattern,
// factor correlations T⁻¹T⁻ᵀ when oblique.
RoutineResult rotateToTarget(const Matrix& loadings, const Matrix& target, bool oblique,
                             int maxIterations, int randomStarts, double convergence);

// One start each. The oblique criterion is the root mean square residual
// over the specified cells; the orthogonal one the plain sum of squares.
RoutineResult obliqueTargetRotation(const Matrix& a, const Matrix& target, int maxIterations,
                                    double convergence);
RoutineResult orthogonalTargetRotation(const Matrix& a, const Matrix& target, int maxIterations,
                                       double convergence);

// Hendrickson & White (1964): varimax, then a least-squares fit to the
// powered target. k is the method's parameter.
RoutineResult promaxRotation(const Matrix& loadings, double k, double convergence,
                             int randomStarts, bool normalize);
RoutineResult weightedPromax(const Matrix& loadings, double k, double convergence,
                             int randomStarts);

// Trendafilov (1994): a target from each column's squared loadings above
// their mean, fitted by the oblique target rotation.
RoutineResult promajRotation(const Matrix& loadings, double convergence, bool normalize);
RoutineResult weightedPromaj(const Matrix& loadings, double convergence, int randomStarts);

// Promin: weighted varimax, a semi-specified target of zeros for the small
// normalised loadings, then rotateToTarget from L. The returned target is
// the 0/1 indicator of the free cells.
RoutineResult prominRotation(const Matrix& loadings, int maxIterations, double convergence,
                             int randomStarts);

// The targets the methods build from their prerotated loadings a (p x m).
// Promax: sign(c)·|c|^k of the rows scaled to unit length and the columns
// to a largest absolute value of 1 (0 where c is 0).
Matrix promaxTarget(const Matrix& a, double k);
// Promaj, one column x (p x 1): √(xᵢ² − τ) above the threshold τ, the
// largest square below the mean square (the smallest when none is below).
Matrix promajTargetColumn(const Matrix& x);
// Promin: 9 (free) where the squared row-normalised loading reaches its
// column's mean + sd/4 and 1e-4, 0 (specified) elsewhere.
Matrix prominTarget(const Matrix& a);

}  // namespace talvex
