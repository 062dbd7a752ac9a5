// Polychoric and tetrachoric correlation: the correlation of the bivariate
// normal variables underlying two ordinal items. Two dichotomous items take
// Brown's AS 116 (1977); larger tables the maximum-likelihood estimate with
// the thresholds fixed at their marginal values (Olsson's two-step method,
// 1979), found by bisection on the score.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "core/distributions.h"
#include "core/kernels.h"
#include "core/matrix.h"

namespace talvex {

// Failure values of the pair estimates.
inline constexpr double kTetrachoricFailed = -10.0;
inline constexpr double kPolychoricFailed = -2.0;
// Score evaluations after which the bisection counts as failed. It halves
// the bracket at every step, so by 100 steps it has long reached the
// resolution of a double.
inline constexpr int kBisectionCap = 100;

// Categories of the K x K tables, K = trunc(max high) - trunc(min low) + 1
// (low, high: m x 1 lowest and highest possible scores).
int polychoricCategoryCount(const Matrix& low, const Matrix& high);

// The m x m polychoric matrix of the N x m scores x (unit diagonal). Fills
// the caller-created thresholds (m x (K - 1)), tables (m(m-1)/2·K x K:
// pair q = (i, j) in the order (0,1), (0,2), .., (1,2), .. at rows q·K ..,
// the first item's categories down, the second's across, lowest first) and
// the failed-pair record ((m(m-1)/2 + 1) x 2 of zeros: (0, 0) counts the
// pairs whose estimate failed and took their Pearson coefficient; rows 1 ..
// count hold their 0-based item indices).
Matrix polychoricMatrix(const Matrix& x, const Matrix& low, const Matrix& high,
                        Matrix& thresholds, Matrix& tables, Matrix& failedPairs);

// The failed pairs of a record filled by polychoricMatrix.
std::vector<std::pair<int, int>> failedPairList(const Matrix& failedPairs);

// How the bisection evaluates the score. Bounded: through boundedExp, with
// a bound on the distance from the exact evaluation; whenever the bound
// cannot settle the stopping test or the sign, the exact evaluation decides.
// Both take the same steps and return the same estimate, bit for bit.
enum class ScoreEvaluation { Bounded, Exact };

// Working storage of the bisection of one pair.
struct BisectionBuffers {
    std::vector<double> lowerA, lowerB, corners, densities;
    BivariatePoints points;
    std::vector<double> cdf, cdfBound, density, densityBound;
    std::vector<double> cornerBounds, densityBounds, shares, validCells;
    // The quadrature's values at the rhos of recent bisections, by step: the
    // pairs of one matrix share the first steps of their paths.
    static constexpr int kCachedSteps = 24, kCacheWays = 4;
    std::vector<BivariateNormalRho> rhoCache;
    const BivariateNormalRho& atRho(int step, double rho);
    // Steps decided by the bounded evaluation and by the exact one.
    long boundedSteps = 0, exactSteps = 0;
};

// Working storage of the repeated computation, kept between calls.
struct PolychoricBuffers {
    std::vector<int> categories;     // N x m, column after column
    std::vector<int> counts;         // 4 x (K x K + 1)
    std::vector<std::uint64_t> masks;  // m x K x ⌈N/64⌉
    std::vector<double> proportions; // K x K
    std::vector<double> thresholdsA, thresholdsB;
    BisectionBuffers bisection;
};

// The estimate of one pair from its K x K table of counts (entry c·K + s:
// the first item's category c, the second's s), as the matrix routines
// make it: 0.5 added to every cell of a table with an empty cell,
// thresholds from the margins, AS 116 for two categories, otherwise the
// maximum-likelihood bisection; `pearson` when the estimate fails.
double polychoricFromCounts(const std::vector<int>& table, int k, double pearson, PolychoricBuffers& buffers);

// The same matrix without thresholds, tables or record (a failed pair takes
// its Pearson coefficient), for repeated use on generated data.
Matrix polychoricMatrixOnly(const Matrix& x, const Matrix& low, const Matrix& high,
                            PolychoricBuffers& buffers);

// K x K counts of two columns of scores (N x 2): row r is the second item's
// category K - 1 - r, column c the first item's category c, where the
// category of a score s is trunc(s) - lowest and K = highest - lowest + 1.
// Scores outside the categories are not counted.
Matrix contingencyTable(const Matrix& scores, int lowest, int highest);

// AS 116 for the counts a (both low), b (first low, second high), c (first
// high, second low), d (both high): r in [0, 0.9999], 1 or -1 for the
// tables with a zero diagonal, or kTetrachoricFailed.
double tetrachoricAs116(int a, int b, int c, int d);

// Bivariate normal cell probabilities (kj x ki) for thresholds a (ki + 1
// values, a₀ and a_ki standing for minus and plus infinity) and b (kj + 1):
// the first item's category c in column c, the second item's category t in
// row kj - 1 - t.
Matrix cellProbabilities(const double* a, const double* b, int ki, int kj, double rho);
// Their derivatives with respect to rho (the bivariate normal density at the
// four corners).
Matrix cellDerivatives(const double* a, const double* b, int ki, int kj, double rho);

// Maximum-likelihood rho of the proportion table p (laid out as the cell
// probabilities) with fixed thresholds a and b, by bisection until the score
// is within `tolerance` of 0; kPolychoricFailed when the shapes differ or the
// bisection reaches kBisectionCap.
double polychoricPair(const Matrix& p, const double* a, const double* b, int ki, int kj,
                      double tolerance, ScoreEvaluation evaluation = ScoreEvaluation::Bounded,
                      KernelPath path = kernelPath(), BisectionBuffers* buffers = nullptr);
// The score the bisection takes at rho (exact evaluation).
double polychoricScore(const Matrix& p, const double* a, const double* b, int ki, int kj, double rho);

}  // namespace talvex
