// Column statistics of a score matrix (rows are participants), Mardia's
// multivariate tests, and the descriptive sections of the report.
#pragma once

#include <vector>

#include "report/settings.h"
#include "core/kernels.h"
#include "core/matrix.h"

namespace talvex {

class ReportWriter;
struct DataSet;

// 1 x m column means (column sums divided by N).
Matrix columnMeans(const Matrix& x);
// 1 x m standard deviations with divisor N, one-pass: sqrt(Σx²/N - (Σx/N)²).
Matrix columnSds(const Matrix& x);
// 1 x m: Σ(x - mean)³ / (N - 1) / sd³, sd with divisor N.
Matrix columnSkewness(const Matrix& x);
// 1 x m: Σ(x - mean)⁴ / (N - 1) / sd⁴ - 3, sd with divisor N.
Matrix columnKurtosis(const Matrix& x);
// N x m: each element minus its column mean.
Matrix centreColumns(const Matrix& x);
// N x m: (x - mean) / sd, sd with divisor N.
Matrix standardizeColumns(const Matrix& x);

// Rows of the mardiaTest result.
enum MardiaRow : int {
    MardiaSkewness = 0,
    MardiaSkewnessStatistic = 1,
    MardiaDf = 2,
    MardiaSkewnessP = 3,
    MardiaCorrectedStatistic = 4,
    MardiaCorrectedP = 5,
    MardiaKurtosis = 6,
    MardiaKurtosisZ = 7,
    MardiaKurtosisP = 8,
};

// b1 = (1/N²) Σ over all i, j of g_ij³ and b2 = (1/N) Σ_i g_ii², with
// g_ij = (x_i - x̄)ᵀ S⁻¹ (x_j - x̄) and S the covariance with divisor N - 1.
struct MardiaSums {
    double b1 = 0.0;
    double b2 = 0.0;
};

// The sums over pairs of participants, O(N²m); its matrices stay in the
// caller's scope.
MardiaSums mardiaPairSums(const Matrix& x, KernelPath path = kernelPath());
// The same through the third-order moments m_abc = (1/N) Σ_i z_ia z_ib z_ic
// of the whitened scores z_i = L⁻¹(x_i - x̄), S = LLᵀ: b1 = Σ over all
// (a, b, c) of m_abc², O(N·m³/6) on up to two threads. False, and `sums`
// untouched, when S is not positive definite. The whitened scores are
// made and summed chunkRows rows at a time (rounded up to whole blocks of
// 256), which changes no sum: no N x m array is held.
inline constexpr int kMardiaChunkRows = 16384;
bool mardiaMomentSums(const Matrix& x, MardiaSums& sums, KernelPath path = kernelPath(),
                      int chunkRows = kMardiaChunkRows);
// Whether mardiaTest takes the moment path for n participants and m
// variables: when m² <= 2n, a third less work than the pair sums or better.
// Below 2,000 participants either path takes about a millisecond, and the
// pair sums keep the reports of small data sets as they were, down to the
// count of matrices generated.
inline bool usesThirdMoments(int n, int m) {
    return n >= 2000 && static_cast<double>(m) * m <= 2.0 * n;
}

// Mardia's (1970) multivariate skewness and kurtosis tests, 9 x 1 laid out
// as MardiaRow. Memory stays O(N·m): the N x N matrix of Mahalanobis cross
// products is never formed, its elements are consumed block by block.
Matrix mardiaTest(const Matrix& x);

// MULTIVARIATE DESCRIPTIVES from a mardiaTest result.
void writeMultivariateDescriptives(ReportWriter& report, const Matrix& mardia);

// The numbers the descriptive sections printed, unrounded.
struct PrintedDescriptives {
    // One per analysed variable: the mean with its 95% confidence limits,
    // the variance (divisor N), skewness and zero-centred kurtosis.
    std::vector<double> means, lowerLimits, upperLimits, variances, skewness, kurtosis;
    // The mardiaTest result, laid out as MardiaRow.
    std::vector<double> mardia;
};

// UNIVARIATE DESCRIPTIVES, the ordinal bar charts when `type` is polychoric,
// and MULTIVARIATE DESCRIPTIVES of the analysed scores x (N x m).
PrintedDescriptives writeDescriptives(ReportWriter& report, const DataSet& data, const Matrix& x,
                                      DispersionType type);

}  // namespace talvex
