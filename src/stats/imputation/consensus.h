// The consensus of several factor solutions of the same variables: a common
// orientation by generalized orthogonal Procrustes rotation, the matching of
// a solution's factors to a reference (order and sign), and the report
// section of the consensus matrices.
#pragma once

#include <vector>

#include "core/matrix.h"
#include "report/report_writer.h"

namespace talvex {

struct DataSet;

// Sweeps of generalized orthogonal Procrustes rotation stop when one lowers
// the loss by less than this fraction, or after the limit.
inline constexpr double kConsensusTolerance = 1e-10;
inline constexpr int kConsensusSweepLimit = 100;

// Generalized orthogonal Procrustes rotation of the p x m loading matrices:
// in each sweep every matrix in turn is rotated towards the sum of the others
// as rotated so far; sweeps are repeated while they lower the loss. The
// orthogonal transformations side by side (m x m·count).
Matrix consensusRotation(const std::vector<Matrix>& loadings);

// Σₖ ‖Lₖ Tₖ − M‖², M the mean of the Lₖ Tₖ; transformations as
// consensusRotation returns them (or empty for the identities).
double consensusLoss(const std::vector<Matrix>& loadings, const Matrix& transformations);

// Mean of the rotated loadings, (1/count) Σₖ Lₖ Tₖ.
Matrix consensusMean(const std::vector<Matrix>& loadings, const Matrix& transformations);

struct MatchedSolution {
    Matrix pattern;             // p x m, in the reference's factor order and sign
    Matrix factorCorrelations;  // m x m, reordered and reflected alike
};

// Pairs factors of `pattern` with those of `reference` by the largest
// absolute Tucker congruence (greedy; later elements win ties), reorders
// them to the reference order and reflects those with negative congruence.
MatchedSolution matchFactors(const Matrix& reference, const Matrix& pattern,
                             const Matrix& factorCorrelations);

// The consensus loading matrix and, for more than one factor, the lower
// triangle of the consensus factor correlations.
void writeConsensus(ReportWriter& report, const DataSet& data, const Matrix& pattern,
                    const Matrix& factorCorrelations);

}  // namespace talvex
