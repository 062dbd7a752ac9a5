// Minimum rank factor analysis: communalities that keep the reduced matrix
// (R with the communalities on its diagonal) positive semidefinite while
// the common variance that r factors leave unexplained, the sum of its
// p - r smallest eigenvalues, is as small as possible.
#pragma once

#include "core/matrix.h"

namespace talvex {

// Outer iterations of one start, sweeps of the inner solver, and the
// restarts (new random communalities) that end the whole search.
inline constexpr int kMrfaIterationLimit = 100;
inline constexpr int kMrfaSweepLimit = 1000;
inline constexpr int kMrfaRestartLimit = 5;
inline constexpr double kMrfaTolerance = 0.0001;
inline constexpr double kMrfaInnerTolerance = 0.001;

struct MrfaCommunalities {
    Matrix communalities;      // p x 1; empty on failure
    double unexplained = -1.0; // the best f, -1 on failure
    bool converged() const { return communalities.valid(); }
};

// The communalities of the best of `starts` random starts (the first start
// wins ties); r = 0 gives the greatest lower bound's communalities. Draws on
// the program's random stream.
MrfaCommunalities mrfaCommunalities(const Matrix& r, int factors, int starts,
                                    double tolerance = kMrfaTolerance,
                                    double innerTolerance = kMrfaInnerTolerance);

// For the weighted p x p matrix Aw, a diagonal d that makes Aw with d on its
// diagonal positive semidefinite (within 0.1 tolerance) while keeping it
// small; all elements -1 when the last candidate is not positive
// semidefinite, and an empty matrix when the sweeps do not converge.
Matrix solveWeightedBound(const Matrix& weighted, double tolerance);

struct MrfaSolution {
    Matrix loadings;           // p x r principal axes of the reduced matrix; empty on failure
    Matrix reduced;            // M: R with the communalities on its diagonal
    double unexplained = -1.0; // f, -1 on failure
    bool converged() const { return loadings.valid(); }
};

MrfaSolution extractMrfa(const Matrix& r, int factors, int starts);

}  // namespace talvex
