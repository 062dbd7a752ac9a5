#include "stats/imputation/imputed_analysis.h"

#include <algorithm>

#include "stats/dispersion/correlation.h"
#include "stats/dispersion/polychoric.h"
#include "stats/dispersion/smoothing.h"
#include "stats/extraction/repeated_extraction.h"
#include "stats/extraction/uls_pca.h"
#include "stats/imputation/consensus.h"
#include "stats/rotation/rotation.h"
#include "stats/rotation/target.h"

namespace talvex {

namespace {

void polychoricDispersion(ImputedSet& set, const ImputedAnalysisInput& input) {
    const int p = set.data.cols();
    // Imputed cells hold scores observed in rows left out of the main
    // analysis, so the categories may reach beyond its range.
    const Matrix lowest = set.data.columnMinima();
    const Matrix highest = set.data.columnMaxima();
    set.lowestScore = input.lowestScore;
    int highestScore = input.highestScore;
    for (int j = 0; j < p; ++j) {
        set.lowestScore = std::min(set.lowestScore, static_cast<int>(lowest[0][j]));
        highestScore = std::max(highestScore, static_cast<int>(highest[0][j]));
    }
    const Matrix low = constant(p, 1, set.lowestScore);
    const Matrix high = constant(p, 1, highestScore);
    const int k = polychoricCategoryCount(low, high);
    const int pairs = p * (p - 1) / 2;
    set.thresholds = Matrix(p, k - 1);
    Matrix tables(pairs * k, k);
    Matrix record(pairs + 1, 2);
    Matrix r = polychoricMatrix(set.data, low, high, set.thresholds, tables, record);
    if (needsSmoothing(r)) r = smoothDispersion(r, set.data.rows());
    if (!r.valid()) {
        set.pearsonFallback = true;
        r = correlationOf(set.data);
    }
    set.dispersion = r;
}

void dispersion(ImputedSet& set, const ImputedAnalysisInput& input) {
    switch (input.dispersionType) {
        case Covariance:
            set.dispersion = covarianceOf(set.data);
            break;
        case PolychoricCorrelation:
            polychoricDispersion(set, input);
            break;
        default:
            set.dispersion = correlationOf(set.data);
            break;
    }
}

// Loadings and uniquenesses; ML and MRFA fall back to ULS without a message.
void extraction(ImputedSet& set, const ImputedAnalysisInput& input) {
    const Matrix& r = set.dispersion;
    const double n = set.data.rows();
    RepeatedExtraction extracted = extractRepeated(r, input.factorCount, input.extractionMethod, n);
    if (!extracted.loadings.valid()) extracted = extractRepeated(r, input.factorCount, ULS, n);
    set.loadings = extracted.loadings;
    const int p = r.rows();
    set.uniqueness = zeros(p);
    for (int i = 0; i < p; ++i) set.uniqueness[i][i] = r[i][i] - extracted.common[i][i];
}

std::vector<Matrix> allLoadings(const ImputedAnalysis& analysis) {
    std::vector<Matrix> loadings;
    for (const ImputedSet& set : analysis.sets) loadings.push_back(set.loadings);
    return loadings;
}

void matchToReference(ImputedSet& set, const Matrix& reference, const Matrix& pattern,
                      const Matrix& phi) {
    const MatchedSolution matched = matchFactors(reference, pattern, phi);
    set.pattern = matched.pattern;
    set.factorCorrelations = matched.factorCorrelations;
}

// Simplicity rotation of the Procrustes mean; each data set's own solution
// is the least-squares fit of its loadings to the consensus pattern.
void simplicityConsensus(ImputedAnalysis& analysis, const ImputedAnalysisInput& input) {
    const std::vector<Matrix> loadings = allLoadings(analysis);
    const Matrix mean = consensusMean(loadings, consensusRotation(loadings));
    // Simplimax needs the user's choice of zeros; Promin serves instead.
    RotationMethod method = input.simplicityRotation;
    if (method == kSimplimax) method = kPromin;
    const RotatedSolution rotated = rotateWithCleverStart(mean, method, *input.rotations);
    const MatchedSolution consensus =
        matchFactors(input.reference, rotated.pattern, rotated.factorCorrelations);
    analysis.consensusPattern = consensus.pattern;
    analysis.consensusFactorCorrelations = consensus.factorCorrelations;
    for (ImputedSet& set : analysis.sets) {
        const Matrix fit =
            set.loadings.multiply(leastSquaresTransformation(set.loadings, consensus.pattern));
        matchToReference(set, input.reference, fit, identity(input.factorCount));
        set.factorCorrelations = consensus.factorCorrelations;
    }
}

// Each data set rotated to the user's target; the consensus is the mean.
void targetConsensus(ImputedAnalysis& analysis, const ImputedAnalysisInput& input) {
    const bool oblique = input.targetRotation == ObliqueTarget;
    const RotationParameters& parameters = input.rotations->target[oblique ? 1 : 0];
    const int p = input.reference.rows();
    const int k = input.factorCount;
    analysis.consensusPattern = zeros(p, k);
    analysis.consensusFactorCorrelations = zeros(k, k);
    for (ImputedSet& set : analysis.sets) {
        const RoutineResult fit =
            rotateToTarget(set.loadings, input.target, oblique, parameters.maxIterations,
                           parameters.randomStarts, static_cast<double>(parameters.convergence));
        const Matrix phi = oblique ? fit.factorCorrelations : identity(k);
        matchToReference(set, input.reference, set.loadings.multiply(fit.transformation), phi);
        analysis.consensusPattern = analysis.consensusPattern.add(set.pattern);
        analysis.consensusFactorCorrelations =
            analysis.consensusFactorCorrelations.add(set.factorCorrelations);
    }
    const double count = static_cast<double>(analysis.sets.size());
    analysis.consensusPattern = analysis.consensusPattern.divideScalar(count);
    analysis.consensusFactorCorrelations = analysis.consensusFactorCorrelations.divideScalar(count);
}

// No rotation: the Procrustes mean; each data set keeps its rotated loadings.
void unrotatedConsensus(ImputedAnalysis& analysis, const ImputedAnalysisInput& input) {
    const std::vector<Matrix> loadings = allLoadings(analysis);
    const Matrix transformations = consensusRotation(loadings);
    const int k = input.factorCount;
    const MatchedSolution consensus = matchFactors(
        input.reference, consensusMean(loadings, transformations), identity(k));
    analysis.consensusPattern = consensus.pattern;
    analysis.consensusFactorCorrelations = consensus.factorCorrelations;
    for (std::size_t s = 0; s < analysis.sets.size(); ++s) {
        ImputedSet& set = analysis.sets[s];
        const Matrix t = transformations.columnBlock(static_cast<int>(s), k);
        matchToReference(set, input.reference, set.loadings.multiply(t), identity(k));
    }
}

// One factor: the mean of the loading vectors.
void singleFactorConsensus(ImputedAnalysis& analysis, const ImputedAnalysisInput& input) {
    const int p = input.reference.rows();
    analysis.consensusPattern = zeros(p, 1);
    for (ImputedSet& set : analysis.sets) {
        set.pattern = set.loadings;
        set.factorCorrelations = identity(1);
        analysis.consensusPattern = analysis.consensusPattern.add(set.loadings);
    }
    analysis.consensusPattern =
        analysis.consensusPattern.divideScalar(static_cast<double>(analysis.sets.size()));
    analysis.consensusFactorCorrelations = identity(1);
}

}  // namespace

ImputedAnalysis analyseImputed(const std::vector<Matrix>& datasets,
                               const ImputedAnalysisInput& input) {
    ImputedAnalysis analysis;
    for (const Matrix& data : datasets) {
        ImputedSet set;
        set.data = data;
        dispersion(set, input);
        extraction(set, input);
        analysis.sets.push_back(set);
    }
    if (input.factorCount == 1)
        singleFactorConsensus(analysis, input);
    else if (input.rotationKind == Target)
        targetConsensus(analysis, input);
    else if (input.simplicityRotation > 0)
        simplicityConsensus(analysis, input);
    else
        unrotatedConsensus(analysis, input);
    return analysis;
}

void writeImputedFallbacks(ReportWriter& report, const ImputedAnalysis& analysis) {
    for (std::size_t s = 0; s < analysis.sets.size(); ++s)
        if (analysis.sets[s].pearsonFallback)
            report.printf(
                "WARNING: The polychoric correlation matrix of imputated dataset %i could not be "
                "smoothed; its Pearson correlation matrix is analysed.\n\n",
                static_cast<int>(s) + 1);
}

}  // namespace talvex
