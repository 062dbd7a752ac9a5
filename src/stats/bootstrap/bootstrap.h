// Bootstrap standard errors and percentile intervals of a factor solution:
// participants resampled with replacement, the whole analysis repeated on
// each resample (dispersion matrix, extraction, rotation), each resampled
// solution aligned to the full-sample one before it is summarised.
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <vector>

#include "core/matrix.h"
#include "report/settings.h"

namespace talvex {

inline constexpr int kBootstrapDefaultSamples = 500;
inline constexpr int kBootstrapMinimumSamples = 100;
inline constexpr int kBootstrapMaximumSamples = 10000;
inline constexpr int kBootstrapDefaultLevel = 95;
// Values drawn once from the stream for the random starts of every
// resample's MRFA and rotation (read again from the first when exhausted).
inline constexpr int kBootstrapStartValues = 65536;
// Resamples drawn before each parallel computation.
inline constexpr int kBootstrapBatch = 64;

// Why a resample was left out.
enum class ResampleFailure {
    ConstantItem,         // an item with one score only in the resample
    TooFewParticipants,   // fewer distinct participants than items + 1
    Dispersion,           // the matrix could not be computed or smoothed
    Extraction,           // ML or MRFA did not converge
    Rotation,             // the rotation gave no solution
    NotFinite,            // a statistic was not a finite number
};
inline constexpr int kResampleFailureKinds = 6;

// What is analysed and how, as in the full-sample run.
struct BootstrapInput {
    // N x p data sets: the analysed data, or the imputed data sets, which
    // the resamples take in turn.
    std::vector<Matrix> datasets;
    int samples = kBootstrapDefaultSamples;
    int level = kBootstrapDefaultLevel;  // percent
    DispersionType dispersionType = PearsonCorrelation;
    int lowestScore = 0;  // category range of the polychoric tables
    int highestScore = 0;
    ExtractionMethod extractionMethod = ULS;
    int factorCount = 1;
    bool rotated = false;  // a simplicity or target rotation is applied
    RotationKind rotationKind = Simplicity;
    RotationMethod simplicityRotation = 0;
    TargetRotationMethod targetRotation = ObliqueTarget;
    const RotationParameterTable* rotations = nullptr;
    Matrix target;             // user target (target rotation only)
    Matrix pattern;            // p x k full-sample solution
    Matrix factorCorrelations;  // k x k
    bool oblique = false;      // the solution's factors are correlated
    // The fit indices and reliability the run reported.
    bool rmsea = false, cfi = false, gfi = false, omega = false;
    // Percent of the resamples analysed, called on the calling thread
    // before the first batch and after each batch.
    std::function<void(int)> progress;
};

// Bootstrap standard error (standard deviation over the resamples used,
// divisor B - 1) and percentile interval (quantiles interpolated between
// order statistics at (n - 1)·q).
struct BootstrapInterval {
    double standardError = 0.0;
    double lower = 0.0;
    double upper = 0.0;
};

// The interval of `values` (two or more) at `level` percent.
BootstrapInterval bootstrapInterval(std::vector<double> values, int level);

struct BootstrapResult {
    int requested = 0;
    int used = 0;
    int failed = 0;
    std::array<int, kResampleFailureKinds> failures{};  // by ResampleFailure
    int level = kBootstrapDefaultLevel;
    int items = 0;
    int factors = 0;
    bool oblique = false;
    bool simplimaxByPromin = false;  // Simplimax needs a user's choice: Promin serves
    // Empty when fewer than two resamples were used.
    std::vector<BootstrapInterval> loadings;            // p·k, row after row
    std::vector<BootstrapInterval> communalities;       // p
    std::vector<BootstrapInterval> factorCorrelations;  // lower triangle, row after row
    std::optional<BootstrapInterval> rmsea, cfi, gfi, omega;
};

// The resamples and their summaries. The random stream is drawn on the
// calling thread in this order: kBootstrapStartValues values for the
// starts, then for each resample in turn its N participants (two draws
// each, a = first and b = second, participant ⌊(32768·a + b)·N / 2³⁰⌋) from
// data set (resample number mod number of data sets). The computations run
// on up to two threads after each batch is drawn and give the same numbers
// with one thread or two.
BootstrapResult bootstrapSolution(const BootstrapInput& input);

}  // namespace talvex
