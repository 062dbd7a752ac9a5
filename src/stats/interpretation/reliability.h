// Reliability of the total score of the analysed variables: the greatest
// lower bound (Woodhouse & Jackson, 1977; ten Berge, Snijders & Zegers,
// 1981), McDonald's omega and the standardized Cronbach's alpha.
#pragma once

#include <optional>
#include <vector>

#include "core/matrix.h"
#include "report/report_writer.h"

namespace talvex {

struct DataSet;

// Tolerances of the constrained minimum trace search.
inline constexpr double kGlbTolerance = 0.000001;
inline constexpr double kGlbInnerTolerance = 0.00001;
inline constexpr int kGlbStarts = 10;
// Below this many participants the section warns of the sampling bias.
inline constexpr int kGlbTrustedSample = 1000;
// The total score of fewer variables has no reliability worth reporting.
inline constexpr int kReliabilityMinimumVariables = 3;

struct GreatestLowerBound {
    Matrix reduced;  // Cg: S with the minimum trace communalities on its diagonal
    bool success = false;
};

// The constrained minimum trace communalities of S (MRFA with no common
// factor, 10 random starts); fails when the search fails or the
// communalities sum to 0.0001 or less. Draws on the random stream.
GreatestLowerBound greatestLowerBound(const Matrix& s, double tolerance = kGlbTolerance,
                                      double innerTolerance = kGlbInnerTolerance);

// p x 1 signs that reverse the variables keyed against the first one:
// -1 where the loading's sign is opposite to the first loading's sign.
Matrix reflectionSigns(const Matrix& loadings);

// McDonald's omega of the one-factor loadings (p x 1) of S, variables
// reflected by reflectionSigns: (Σ dᵢλᵢ)² / Σᵢⱼ dᵢdⱼSᵢⱼ. Loadings of a
// covariance matrix are on the raw scale, and so is the denominator.
double mcDonaldOmega(const Matrix& loadings, const Matrix& s);

// Standardized alpha p·r̄ / ((p − 1)·r̄ + 1), r̄ the mean correlation above the
// diagonal of S scaled to unit diagonal, after reflection by the loadings.
double standardizedAlpha(const Matrix& s, const Matrix& loadings);

// GREATEST LOWER BOUND (GLB) TO RELIABILITY of S for n participants: the
// GLB with its communalities (left out when MRFA or the GLB search fails),
// omega and alpha. With fewer than three variables a line says why
// nothing is computed, and nothing is returned.
struct ReliabilityEstimates {
    std::optional<double> glb;  // when the GLB search succeeded
    double omega = 0.0;
    double alpha = 0.0;
    // With the GLB: the traces of S and of the GLB's reduced matrix, and its
    // communalities (the diagonal of that matrix).
    double observedVariance = 0.0;
    double commonVariance = 0.0;
    std::vector<double> communalities;
};
std::optional<ReliabilityEstimates> writeReliability(ReportWriter& report, const DataSet& data,
                                                     const Matrix& s, int n);

}  // namespace talvex
