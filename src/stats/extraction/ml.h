// Exploratory maximum likelihood factor analysis: Newton steps on the
// logarithms of the uniquenesses, loadings from an eigen-decomposition for
// fixed uniquenesses.
#pragma once

#include "core/matrix.h"

namespace talvex {

struct MlSolution {
    Matrix loadings;          // p x r; empty on failure
    Matrix uniquenesses;      // p x 1 psi2 of the last step; empty on failure
    double discrepancy = 0.0; // F of the last step, 0 on failure
    int iterations = 0;
    bool converged() const { return loadings.valid(); }
};

// Iterations allowed, and the halvings of one step that raises F.
inline constexpr int kMlIterationLimit = 100;
inline constexpr int kMlStepHalvings = 30;
// Smallest uniqueness, relative to the variable's variance R(i, i).
inline constexpr double kMlUniquenessBound = 0.001;

// ML factors of the p x p positive definite R (correlation or covariance).
// Fails (no loadings) when a uniqueness reaches its bound (a Heywood case)
// or after 100 iterations without convergence.
MlSolution extractMl(const Matrix& r, int factors);

// tr(S Sigma^-1) - ln det(S Sigma^-1) - p with Sigma = L L' + diag(psi2).
double mlDiscrepancy(const Matrix& loadings, const Matrix& uniquenesses, const Matrix& s);

}  // namespace talvex
