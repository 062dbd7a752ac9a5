#include "report/settings.h"

namespace talvex {

namespace {
using P = CriterionParameter;
using C = CleverStartChoice;
using F = RotationRoutine;
using A = ArgumentRule;
using W = RowTreatment;
}  // namespace

const std::array<RotationMethodInfo, kRotationMethodCount> kRotationMethods = {{
    {"None", "No Rotation", "No clever start", P::None, C::NotApplicable, 0, F::None, A::None,
     W::Raw, false},
    {"Raw Quartimax", "Raw Quartimax", "Raw Quartimax", P::None, C::Yes, 3, F::Orthomax, A::Zero,
     W::Raw, false},
    {"Normalized Quartimax", "Normalized Quartimax", "Normalized Quartimax", P::None, C::Yes, 3,
     F::Orthomax, A::Zero, W::Kaiser, false},
    {"Weighted Quartimax", "Weighted Quartimax", "Weighted Quartimax", P::None, C::No, 0,
     F::Orthomax, A::Zero, W::Weighted, false},
    {"Raw Varimax", "Raw Varimax", "Raw Varimax", P::None, C::Yes, 6, F::Orthomax, A::One, W::Raw,
     false},
    {"Normalized Varimax", "Normalized Varimax", "Normalized Varimax", P::None, C::Yes, 6,
     F::Orthomax, A::One, W::Kaiser, false},
    {"Weighted Varimax", "Weighted Varimax", "Weighted Varimax", P::None, C::No, 0, F::Orthomax,
     A::One, W::Weighted, false},
    {"Raw Equamax", "Raw Equamax", "Raw Equamax", P::None, C::Yes, 9, F::Orthomax,
     A::HalfFactorCount, W::Raw, false},
    {"Normalized Equamax", "Normalized Equamax", "Normalized Equamax", P::None, C::Yes, 9,
     F::Orthomax, A::HalfFactorCount, W::Kaiser, false},
    {"Weighted Equamax", "Weighted Equamax", "Weighted Equamax", P::None, C::No, 0, F::Orthomax,
     A::HalfFactorCount, W::Weighted, false},
    {"Raw Orthomax", "Raw Orthomax", "Raw Orthomax", P::Gamma, C::Yes, 12, F::Orthomax,
     A::Parameter, W::Raw, false},
    {"Normalized Orthomax", "Normalized Orthomax", "Normalized Orthomax", P::Gamma, C::Yes, 12,
     F::Orthomax, A::Parameter, W::Kaiser, false},
    {"Weighted Orthomax", "Weighted Orthomax", "Weighted Orthomax", P::Gamma, C::No, 0,
     F::Orthomax, A::Parameter, W::Weighted, false},
    {"Raw Orthosim", "Raw Orthosim (Bentler, 1977)", "Raw Orthosim", P::None, C::Yes, 15,
     F::Orthosim, A::None, W::Raw, false},
    {"Normalized Orthosim", "Normalized Orthosim (Bentler, 1977)", "Normalized Orthosim", P::None,
     C::Yes, 15, F::Orthosim, A::None, W::Kaiser, false},
    {"Weighted Orthosim", "Weighted Orthosim (Bentler, 1977)", "Weighted Orthosim", P::None, C::No,
     0, F::Orthosim, A::None, W::Weighted, false},
    {"Direct Quartimin", "Direct Quartimin", "Direct Quartimin", P::None, C::Yes, 6, F::Oblimin,
     A::Zero, W::Raw, true},
    {"Normalized Direct Quartimin", "Normalized Direct_Quartimin", "Normalized Direct_Quartimin",
     P::None, C::Yes, 6, F::Oblimin, A::Zero, W::Kaiser, true},
    {"Weighted Quartimin", "Weighted Quartimin", "Weighted Quartimin", P::None, C::No, 0,
     F::Oblimin, A::Zero, W::Weighted, true},
    {"Direct Oblimin", "Direct Oblimin", "Direct Oblimin", P::Gamma, C::Yes, 6, F::Oblimin,
     A::Parameter, W::Raw, true},
    {"Normalized Direct Oblimin", "Normalized Direct_Oblimin", "Normalized Direct Oblimin",
     P::Gamma, C::Yes, 6, F::Oblimin, A::Parameter, W::Kaiser, true},
    {"Weighted Oblimin", "Weighted Oblimin (Varnholt, 2000)", "Weighted Oblimin (Varnholt, 2000)",
     P::Gamma, C::No, 0, F::Oblimin, A::Parameter, W::Weighted, true},
    {"Promax", "Promax", "Promax", P::K, C::Fixed, 4, F::Promax, A::Parameter, W::Raw, true},
    {"Normalized Promax", "Normalized Promax", "Normalized Promax", P::K, C::Fixed, 5, F::Promax,
     A::Parameter, W::Kaiser, true},
    {"Weighted Promax", "Weighted Promax", "Weighted Promax", P::K, C::Fixed, 4, F::Promax,
     A::Parameter, W::Weighted, true},
    {"Promaj", "Promaj (Trendafilov, 1994)", "Promaj (Trendafilov, 1994)", P::None, C::Yes, 13,
     F::Promaj, A::None, W::Raw, true},
    {"Normalized Promaj", "Normalized Promaj (Trendafilov, 1994)",
     "Normalized Promaj (Trendafilov, 1994)", P::None, C::Yes, 14, F::Promaj, A::None, W::Kaiser,
     true},
    {"Weighted Promaj", "Weighted Promaj (Trendafilov, 1994)",
     "Weighted Promaj (Trendafilov, 1994)", P::None, C::Fixed, 13, F::Promaj, A::None,
     W::Weighted, true},
    {"Promin", "Promin (Varnholt, 1999)", "Promin (Varnholt, 1999)", P::None, C::Fixed, 6,
     F::Promin, A::None, W::Own, true},
    {"Simplimax", "Simplimax (Dodaz, 1994)", "Simplimax (Dodaz, 1994)", P::None, C::Yes, 28,
     F::Simplimax, A::None, W::Own, true},
}};

const std::array<const char*, 2> kTargetRotationNames = {"Orthogonal Procrustean rotation",
                                                         "Oblique Procrustean rotation"};

RotationParameters RotationParameterTable::initialSimplicity(int method) {
    RotationParameters p;
    p.maxIterations = 100;
    p.convergence = 1e-5f;
    p.parameter = (method >= 22 && method <= 24) ? 4.0f : 0.0f;
    p.randomStarts = method == kSimplimax ? 100 : 10;
    p.cleverStart = kRotationMethods[static_cast<std::size_t>(method)].initialCleverStart;
    return p;
}

RotationParameters RotationParameterTable::initialTarget() {
    RotationParameters p;
    p.maxIterations = 100;
    p.convergence = 1e-8f;
    p.parameter = 0.0f;
    p.randomStarts = 10;
    p.cleverStart = 0;
    return p;
}

void RotationParameterTable::reset() {
    for (int i = 0; i < kRotationMethodCount; ++i)
        simplicity[static_cast<std::size_t>(i)] = initialSimplicity(i);
    for (auto& t : target) t = initialTarget();
}

void deriveSettings(AnalysisSettings& s, bool irtChecked) {
    s.irtParameterization = irtChecked && s.dispersionType == PolychoricCorrelation;
    if (s.factorCountProcedure == ParallelAnalysis) {
        const bool pca = s.extractionMethod == PCA;
        const bool pearson = s.dispersionType == Covariance || s.dispersionType == PearsonCorrelation;
        if (s.paImplementation == 1)
            s.paVariant = 2;
        else if (s.dispersionType == UserMatrix)
            s.paVariant = pca ? 6 : 16;
        else if (pearson && pca)
            s.paVariant = s.paGeneration == 1 ? 5 : 6;
        else if (s.dispersionType == PolychoricCorrelation && pca)
            s.paVariant = 8;
        else if (pearson)
            s.paVariant = s.paGeneration == 1 ? 15 : 16;
        else if (s.dispersionType == PolychoricCorrelation)
            s.paVariant = 18;
    }
    if (s.factorCountProcedure == Hull)
        s.hullIndex = s.hullIndexChoice != Optimal ? s.hullIndexChoice
                      : s.extractionMethod == MRFA  ? CAF
                                                    : CFI;
}

std::optional<FactorCountProblem> factorCountProblem(const AnalysisSettings& s, int variables,
                                                     int factors) {
    // In floating point: no factors gives an infinite quotient, which passes.
    if (static_cast<double>(variables) / static_cast<double>(factors) < 3.0)
        return FactorCountProblem{kTooFewVariablesPerFactor, false};
    if (factors >= variables) return FactorCountProblem{kTooManyFactors, false};
    if (factors >= 2 && isOblique(s.simplicityRotation)) {
        if (s.secondOrderCount < 0) return FactorCountProblem{kNegativeSecondOrder, true};
        if (s.secondOrderCount >= factors) return FactorCountProblem{kTooManySecondOrder, true};
    }
    return std::nullopt;
}

bool secondOrderSolution(const AnalysisSettings& s, int factorCount) {
    return s.secondOrderCount >= 1 && obliqueSolution(s, factorCount);
}

bool solutionRotated(const AnalysisSettings& s, int factorCount) {
    return factorCount > 1 && (s.rotationKind == Target || s.simplicityRotation > 0);
}

bool obliqueSolution(const AnalysisSettings& s, int factorCount) {
    if (!solutionRotated(s, factorCount)) return false;
    return s.rotationKind == Target ? s.targetRotation == ObliqueTarget
                                    : isOblique(s.simplicityRotation);
}

}  // namespace talvex
