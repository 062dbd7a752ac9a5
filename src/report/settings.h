// Every option of one analysis, the per-method rotation parameters, and the
// table of rotation methods that the dialogs, the details block and the
// rotation dispatcher all read.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace talvex {

enum DispersionType : std::int32_t {
    DispersionNotChosen = 0,
    Covariance = 1,
    PearsonCorrelation = 2,
    PolychoricCorrelation = 3,
    UserMatrix = 4,
};

enum ExtractionMethod : std::int32_t { PCA = 1, ULS = 2, ML = 3, MRFA = 4 };

enum FactorCountProcedure : std::int32_t { MAP = 1, ParallelAnalysis = 21, Hull = 22 };

enum HullIndex : std::int32_t { CAF = 0, CFI = 1, RMSEA = 2, Optimal = 3 };

enum RotationKind : std::int32_t { Simplicity = 0, Target = 1 };

enum TargetRotationMethod : std::int32_t { OrthogonalTarget = 0, ObliqueTarget = 1 };

// Index into kRotationMethods; 0 is no rotation, above 15 is oblique.
using RotationMethod = std::int32_t;
constexpr RotationMethod kPromax = 22;
constexpr RotationMethod kPromin = 28;
constexpr RotationMethod kSimplimax = 29;
constexpr int kRotationMethodCount = 30;

enum class CriterionParameter { None, Gamma, K };
// Whether the rotation dialog lets the user choose the clever start.
enum class CleverStartChoice { NotApplicable, Yes, No, Fixed };

// The routine a method runs.
enum class RotationRoutine { None, Orthomax, Orthosim, Oblimin, Promax, Promaj, Promin, Simplimax };
// What the routine is given as its criterion argument. Orthomax members
// receive the weight of the column variance term (0 quartimax, 1 varimax,
// m/2 equamax, the user's gamma); oblimin receives gamma; Promax its k.
enum class ArgumentRule { None, Zero, One, HalfFactorCount, Parameter };
// Raw rows, Kaiser-normalised rows, or the row weighting of the weighted
// variants; Promin and Simplimax handle this themselves.
enum class RowTreatment { Raw, Kaiser, Weighted, Own };

struct RotationMethodInfo {
    const char* name;             // dialog list and clever-start list
    const char* reportName;       // "Rotation to achieve factor simplicity" line
    const char* cleverStartName;  // "Clever rotation start" line
    CriterionParameter parameter;
    CleverStartChoice cleverStart;
    int initialCleverStart;
    RotationRoutine routine;
    ArgumentRule argument;
    RowTreatment rows;
    bool oblique;
};

extern const std::array<RotationMethodInfo, kRotationMethodCount> kRotationMethods;

// Whether the method gives correlated factors (every method above 15).
inline bool isOblique(RotationMethod method) {
    return method >= 0 && method < kRotationMethodCount &&
           kRotationMethods[static_cast<std::size_t>(method)].oblique;
}
extern const std::array<const char*, 2> kTargetRotationNames;

struct RotationParameters {
    std::int32_t maxIterations = 100;
    float convergence = 1e-5f;
    float parameter = 0.0f;
    std::int32_t randomStarts = 10;
    std::int32_t cleverStart = 0;
};

// 30 records for the simplicity methods and 2 for the target methods.
struct RotationParameterTable {
    std::array<RotationParameters, kRotationMethodCount> simplicity;
    std::array<RotationParameters, 2> target;

    RotationParameterTable() { reset(); }
    // Back to the initial values.
    void reset();
    // Initial values of one simplicity method (also the Default button,
    // apart from the clever start of the two non-weighted orthomax methods).
    static RotationParameters initialSimplicity(int method);
    static RotationParameters initialTarget();
};

struct AnalysisSettings {
    DispersionType dispersionType = PearsonCorrelation;
    std::int32_t lowestScore = 0;   // set from the data
    std::int32_t highestScore = 0;  // set from the data
    std::int32_t factorCount = 0;   // 0: no factors are extracted
    // The run extracts the number that factorCountProcedure advises, and
    // factorCount is not used.
    bool useAdvisedFactorCount = false;
    ExtractionMethod extractionMethod = ULS;
    FactorCountProcedure factorCountProcedure = ParallelAnalysis;
    std::int32_t paImplementation = 0;  // 0 optimal, 1 classical
    std::int32_t paRandomMatrices = 500;
    std::int32_t paGeneration = 1;  // 0 normal distribution, 1 permutation
    std::int32_t paVariant = 15;    // derived on OK
    HullIndex hullIndexChoice = Optimal;
    HullIndex hullIndex = CFI;  // derived on OK
    RotationKind rotationKind = Simplicity;
    RotationMethod simplicityRotation = kPromin;
    TargetRotationMethod targetRotation = ObliqueTarget;
    float salientThreshold = 0.3f;
    std::int32_t secondOrderCount = 0;
    bool schmidLeiman = false;  // derived on OK
    bool detailedOutput = true;
    bool saveFactorScores = false;
    bool personFit = false;
    bool glbOmega = false;
    bool irtParameterization = false;
    std::string outputFileName = "output.txt";
    std::string jsonFileName;  // the results as JSON; empty: none
    std::string htmlFileName;  // the results as one HTML page; empty: none
    std::string csvFolder;     // the main tables as CSV files there; empty: none
    float paperThreshold = 0.3f;  // loadings blanked below it in the page's publication table
    bool reportUtf8 = false;      // the report in UTF-8 instead of Windows-1252
    std::string plotFolder;    // the plots as SVG and PNG files; empty: none
    std::int32_t bootstrapSamples = 0;  // resamples for bootstrap intervals; 0: none
    std::int32_t bootstrapLevel = 95;   // confidence level of the intervals, percent
};

// Limits and messages of the bootstrap options (0 resamples: none).
inline constexpr int kBootstrapLowestLevel = 50;
inline constexpr int kBootstrapHighestLevel = 99;
inline constexpr const char* kBootstrapSamplesRange =
    "The number of bootstrap resamples must be 0 (none) or between 100 and 10000";
inline constexpr const char* kBootstrapLevelRange =
    "The confidence level of the bootstrap intervals must be between 50 and 99 percent";
inline constexpr const char* kBootstrapNeedsScores =
    "Bootstrap intervals resample the participants: they need a file of scores, not a "
    "variance/covariance matrix";

// The values derived when the configuration is accepted: paVariant (only
// with parallel analysis), hullIndex (only with Hull), irtParameterization
// (kept only with polychoric correlation). irtChecked is the check box.
void deriveSettings(AnalysisSettings& settings, bool irtChecked);

// Messages of the checks on the numbers of factors, which OK makes on the
// typed number and the run on an advised one.
inline constexpr const char* kTooFewVariablesPerFactor =
    "At least three variables for each Factor/Component should be included in the analisys";
inline constexpr const char* kTooManyFactors =
    "The number of Factors/Components should be smaller than the number of variables analized";
inline constexpr const char* kNegativeSecondOrder =
    "The number of second order Factors/Components cannot be a negative value";
inline constexpr const char* kTooManySecondOrder =
    "The number of second order Factors/Components should be lower than the number of primary "
    "Factors/Components";

struct FactorCountProblem {
    const char* message;
    bool secondOrder;  // about secondOrderCount rather than the factors
};

// The first check that `factors` factors of `variables` analysed variables
// fail: three variables a factor, fewer factors than variables, and, for
// two or more factors under an oblique simplicity method, a second-order
// count from 0 to factors - 1. No factors pass (the caller says that none
// will be computed).
std::optional<FactorCountProblem> factorCountProblem(const AnalysisSettings& settings,
                                                     int variables, int factors);

// Whether the second-order and Schmid-Leiman solution is computed for
// `factorCount` factors: a second-order count of 1 or more and correlated
// factors from the rotation.
bool secondOrderSolution(const AnalysisSettings& settings, int factorCount);

// Whether an analysis with `factorCount` factors reports a rotated solution:
// more than one factor and a target rotation or a simplicity method. Every
// stage that uses the solution asks this one rule.
bool solutionRotated(const AnalysisSettings& settings, int factorCount);
// Whether the rotation that the run applies gives correlated factors: an
// oblique simplicity method, or the oblique target rotation.
bool obliqueSolution(const AnalysisSettings& settings, int factorCount);

}  // namespace talvex
