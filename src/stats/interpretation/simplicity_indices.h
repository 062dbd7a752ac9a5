// Indices of factor simplicity of a rotated pattern: Bentler's (1977) S and
// the loading simplicity index LS, each placed as a percentile among random
// rotations of the same solution whose factors correlate about as much.
#pragma once

#include "core/matrix.h"
#include "report/report_writer.h"

namespace talvex {

// Random rotations the percentiles are drawn from.
inline constexpr int kSimplicityRotations = 10000;
// Draws of a 10-row sample allowed for one random correlation matrix before
// the last draw is shrunk towards the identity.
inline constexpr int kCorrelationDrawLimit = 1000;
// Rows of the random sample whose correlations the factors receive.
inline constexpr int kCorrelationSampleRows = 10;

// LS: 1 for a pattern with one non-zero loading per row, lower the more the
// loadings of a row spread over the factors. Rows or columns of zeros count
// as perfectly simple cells.
double loadingSimplicity(const Matrix& pattern);
// S = det(Δ⁻¹QᵀQΔ⁻¹), Q the squared loadings, Δ² the diagonal of QᵀQ.
double bentlerSimplicity(const Matrix& pattern);

struct SimplicityIndices {
    double loading = 0.0;            // LS
    double loadingPercentile = 0.0;  // 0 .. 100
    double bentler = 0.0;            // S
    double bentlerPercentile = 0.0;  // 0 .. 100
    int shrunkMatrices = 0;          // random correlation matrices shrunk towards I
};

// An m x m correlation matrix whose off-diagonal elements all lie below
// `bound` in absolute value (0 < bound <= 1): the correlations of a 10 x m
// randomStartMatrix sample, drawn again until they qualify. After
// kCorrelationDrawLimit draws, or at once when the sample cannot give a
// full-rank matrix (m of 10 or more), the last draw C becomes
// I + c(C − I) with c = min(0.99, 0.99·bound / max|Cᵢⱼ|), positive definite
// and within the bound; `shrunk` then says so.
Matrix boundedRandomCorrelation(int m, double bound, bool& shrunk);

// The pattern that the random rotations turn: P·Φ^½, whose orthogonal
// factors keep the common part P·Φ·Pᵀ, with δ = the largest |Φᵢⱼ| off the
// diagonal; P itself and δ = 0 when no |Φᵢⱼ| exceeds 0.1.
struct SimplicityReference {
    Matrix pattern;
    double delta = 0.0;
};
SimplicityReference simplicityReference(const Matrix& pattern, const Matrix& factorCorrelations);

// A random m x m transformation T = O·(Bcᵀ)⁻¹, O random orthogonal and
// BcᵀBc = Cr a boundedRandomCorrelation(m, delta): the factors of P·T
// correlate as Cr. With delta = 0, T = O.
Matrix randomTransformation(int m, double delta, bool& shrunk);

// LS and S of the pattern and their percentiles among kSimplicityRotations
// random rotations of P·Φ^½ whose factors correlate below the largest
// |Φᵢⱼ| (orthogonal rotations of P when no |Φᵢⱼ| exceeds 0.1).
SimplicityIndices simplicityIndices(const Matrix& pattern, const Matrix& factorCorrelations);

// The INDICES OF FACTOR SIMPLICITY section.
void writeSimplicityIndices(ReportWriter& report, const SimplicityIndices& indices);

}  // namespace talvex
