// The orthomax family (quartimax, varimax, equamax, orthomax) by pairwise
// planar rotations, raw, Kaiser-normalised and row-weighted.
//
// gamma is the weight of the column-variance term of the criterion
//   Σⱼ [ Σᵢ aᵢⱼ⁴ − (gamma/p)(Σᵢ aᵢⱼ²)² ]
// (0 quartimax, 1 varimax, m/2 equamax), used in the pair angle, in the
// convergence test and in the choice among starts.
#pragma once

#include "core/matrix.h"
#include "stats/rotation/rotation.h"

namespace talvex {

// The criterion above for the rotated matrix a.
double orthomaxCriterion(const Matrix& a, double gamma);

// Kaiser (1958), Harman (1976): orthogonal T for L with its criterion;
// randomStarts + 1 starts, the largest criterion wins.
RoutineResult orthomaxRotation(const Matrix& loadings, double gamma, double convergence,
                               int randomStarts, bool normalize);
RoutineResult varimaxRotation(const Matrix& loadings, double convergence, int randomStarts,
                              bool normalize);

// The same on the weighted principal axes; T by least squares and the
// criterion of the rotated axes.
RoutineResult weightedOrthomax(const Matrix& loadings, double gamma, double convergence,
                               int randomStarts);
RoutineResult weightedVarimax(const Matrix& loadings, double convergence, int randomStarts);

}  // namespace talvex
