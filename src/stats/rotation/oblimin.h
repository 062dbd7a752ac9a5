// Direct oblimin (Jennrich & Sampson, 1966) by single-axis oblique steps,
// raw, Kaiser-normalised and row-weighted; gamma = 0 is direct quartimin.
#pragma once

#include <vector>

#include "core/matrix.h"
#include "stats/rotation/rotation.h"

namespace talvex {

// Σ over ordered pairs j ≠ k of [Σᵢ aᵢⱼ²aᵢₖ² − (gamma/p)·cⱼcₖ], cⱼ = Σᵢ aᵢⱼ².
double obliminCriterion(const Matrix& a, double gamma);

// The real roots of b³ + k1·b² + k2·b + k3 in closed form (Cardano, or the
// trigonometric form when there are three), ascending.
std::vector<double> realCubicRoots(double k1, double k2, double k3);

// T for L, the factor correlations and the winning criterion;
// randomStarts + 2 starts, the smallest criterion wins.
RoutineResult obliminRotation(const Matrix& loadings, double gamma, double convergence,
                              int randomStarts, bool normalize);
RoutineResult weightedOblimin(const Matrix& loadings, double gamma, double convergence,
                              int randomStarts);

}  // namespace talvex
