// Orthosim: the orthogonal rotation that maximises Bentler's (1977) factor
// simplicity, the determinant of the cosine matrix of the squared-loading
// columns, by orthogonal Procrustes steps towards its gradient.
#pragma once

#include "core/matrix.h"
#include "stats/rotation/rotation.h"

namespace talvex {

// det(Δ⁻¹QᵀQΔ⁻¹) with Q = b∘b and Δ = diag(√diag(QᵀQ)); 1 for perfectly
// simple columns, 0 when two columns square to proportional vectors.
double orthosimCriterion(const Matrix& b);

// T for L (least squares from the winning rotated matrix) and the winning
// criterion; randomStarts + 1 starts, the largest criterion wins.
RoutineResult orthosimRotation(const Matrix& loadings, double convergence, int randomStarts,
                               bool normalize);
RoutineResult weightedOrthosim(const Matrix& loadings, double convergence, int randomStarts);

}  // namespace talvex
