// The factor analysis repeated on each imputed data set, and the consensus
// loading and factor correlation matrices over them.
#pragma once

#include <vector>

#include "core/matrix.h"
#include "report/report_writer.h"
#include "report/settings.h"

namespace talvex {

// One imputed data set and its analysis.
struct ImputedSet {
    Matrix data;                // N x p
    Matrix dispersion;          // p x p, the matrix analysed
    Matrix thresholds;          // p x (K - 1), polychoric correlations only
    int lowestScore = 0;        // the score of the first polychoric category
    Matrix loadings;            // p x m, unrotated
    Matrix uniqueness;          // p x p diagonal: R(i, i) minus the communality
    Matrix pattern;             // p x m, its own solution matched to the reference
    Matrix factorCorrelations;  // m x m
    bool pearsonFallback = false;  // polychoric smoothing failed: Pearson analysed
};

struct ImputedAnalysis {
    std::vector<ImputedSet> sets;
    Matrix consensusPattern;             // p x m
    Matrix consensusFactorCorrelations;  // m x m
};

// What the imputed analyses share with the main one.
struct ImputedAnalysisInput {
    DispersionType dispersionType = PearsonCorrelation;
    ExtractionMethod extractionMethod = ULS;
    int factorCount = 1;
    RotationKind rotationKind = Simplicity;
    RotationMethod simplicityRotation = 0;
    TargetRotationMethod targetRotation = ObliqueTarget;
    const RotationParameterTable* rotations = nullptr;
    Matrix target;     // p x m user target (target rotation only)
    Matrix reference;  // p x m: the main solution whose factor order and signs are kept
    int lowestScore = 0;   // category range of the polychoric tables
    int highestScore = 0;
};

// Dispersion matrix, extraction (ML and MRFA fall back to ULS when they
// fail) and rotation of each data set, and the consensus: the mean of the
// loadings for one factor; for more factors the generalized Procrustes mean
// rotated with the chosen method (Simplimax by Promin), or the mean of the
// target rotations, or the unrotated mean, matched to the reference.
ImputedAnalysis analyseImputed(const std::vector<Matrix>& datasets,
                               const ImputedAnalysisInput& input);

// One line for each data set whose polychoric matrix could not be smoothed.
void writeImputedFallbacks(ReportWriter& report, const ImputedAnalysis& analysis);

}  // namespace talvex
