// Alignment of a resampled factor solution to a reference solution: columns
// matched by Tucker's congruence with an optimal assignment, reflected to
// agree in sign, and for orthogonal solutions rotated by an orthogonal
// Procrustes step; factor correlations follow the matching.
#pragma once

#include <vector>

#include "core/matrix.h"

namespace talvex {

// Tucker's congruence of every column of a (rows) with every column of b
// (columns): Σ aᵢbᵢ / √(Σ aᵢ² Σ bᵢ²), 0 when either column is all zeros.
Matrix congruenceMatrix(const Matrix& a, const Matrix& b);

// The assignment of columns to rows of a square score matrix that makes the
// sum of the chosen scores largest (Hungarian method, O(k³)): element r is
// the column given to row r.
std::vector<int> bestAssignment(const Matrix& scores);

struct AlignedSolution {
    Matrix pattern;             // p x k, in the reference's order and signs
    Matrix factorCorrelations;  // k x k, permuted and reflected alike
};

// Column r of the result is ±column order[r] of pattern, where order
// maximises the sum of absolute congruences with the reference and the
// sign makes each congruence non-negative; Φ becomes D·PᵀΦP·D. With
// `orthogonal`, the reordered pattern is then rotated by the orthogonal
// matrix T that minimises ‖pattern·T − reference‖ (T = UVᵀ from the singular
// value decomposition patternᵀ·reference = U·S·Vᵀ); Φ stays as it is.
AlignedSolution alignToReference(const Matrix& reference, const Matrix& pattern,
                                 const Matrix& factorCorrelations, bool orthogonal);

}  // namespace talvex
