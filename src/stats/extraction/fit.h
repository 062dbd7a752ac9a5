// Goodness of fit of an extracted solution: the ML and ULS fit statistics,
// the MRFA summary of common variance, and the distribution of residuals.
#pragma once

#include <optional>
#include <vector>

#include "report/report_writer.h"
#include "report/settings.h"
#include "core/matrix.h"

namespace talvex {

struct DataSet;

// Statistics shared by the ML and ULS sections. Sigma is the fitted matrix:
// A A' off the diagonal, R's diagonal on it. The chi-square family is
// filled only when N > 0.
struct FitStatistics {
    int df = 0;   // ((p - r + 1)(p - r)/2) - p
    int df0 = 0;  // p(p - 1)/2
    double chiSquare = 0.0;
    double chiSquareP = 0.0;
    double independenceChiSquare = 0.0;
    double cfi = 0.0;
    double nnfi = 0.0;
    // ML only.
    double rmsea = 0.0;
    double nonCentrality = 0.0;     // 0.0025 df (N - 1): a population RMSEA of 0.05
    double approximateFitP = 0.0;   // P of H0: RMSEA < 0.05
    // Always.
    double gfi = 0.0;
    double agfi = 0.0;
    double gfiOffDiagonal = 0.0;
    double agfiOffDiagonal = 0.0;
    Matrix reducedEigenvalues;  // p x 1, decreasing: R with diag(A A') on its diagonal
};

// Bartlett-corrected ML discrepancy chi-square with RMSEA and the test of
// approximate fit.
FitStatistics mlFitStatistics(const Matrix& loadings, const Matrix& r, const Matrix& sigma,
                              double sampleSize);
// ULS: chi-square from the log-determinants, no RMSEA.
FitStatistics ulsFitStatistics(const Matrix& loadings, const Matrix& r, const Matrix& sigma,
                               double sampleSize);

// The numbers a fit section shows: which groups of lines it printed, and
// for MRFA its common variance. Indices that are not defined are not finite.
struct PrintedFit {
    FitStatistics statistics;  // its matrix left empty: the values are below
    std::vector<double> reducedEigenvalues;
    bool rmsea = false;       // RMSEA, NCP, df and the test of approximate fit
    bool chiSquares = false;  // the two chi-squares, NNFI and CFI
    bool gfi = false;         // GFI
    bool adjusted = false;    // AGFI and both indices without the diagonal
    // MRFA: total and explained common variance (the eigenvalues are M's).
    std::optional<double> commonVariance, explainedCommonVariance;
};

// GOODNESS OF FIT STATISTICS for an ML solution.
PrintedFit writeFitStatisticsMl(ReportWriter& report, const Matrix& loadings, const Matrix& r,
                          const Matrix& sigma, double sampleSize);
// GOODNESS OF FIT STATISTICS for a ULS solution (a polychoric matrix gets the
// GFI alone).
PrintedFit writeFitStatisticsUls(ReportWriter& report, const Matrix& loadings, const Matrix& r,
                           const Matrix& sigma, double sampleSize, DispersionType type);
// OVERALL FACTOR ANALYSIS STATISTICS for an MRFA solution with reduced
// matrix M.
PrintedFit writeMrfaOverallStatistics(ReportWriter& report, const Matrix& loadings,
                                const Matrix& reduced);

// Fitted residuals R_ij - Sigma_ij below the diagonal, column by column, with
// their summaries and standardized form.
struct ResidualSummary {
    Matrix residuals;  // n x 1, n = p(p - 1)/2
    double smallest = 0.0, median = 0.0, largest = 0.0, mean = 0.0, variance = 0.0;
    double rmsr = 0.0;
    double kelley = 0.0;       // sqrt(mean of diag(R) / (N - 1)), 0 without a sample
    Matrix standardized;       // residuals / kelley; zeros when kelley is 0
    double zSmallest = 0.0, zMedian = 0.0, zLargest = 0.0, zMean = 0.0;
};

ResidualSummary summarizeResiduals(const Matrix& r, const Matrix& sigma, int sampleSize);

// A standardized residual the report lists (beyond ±2.5): the file numbers
// of its two variables and its value.
struct LargeResidual {
    int first = 0, second = 0;
    double value = 0.0;
};

// The numbers the residual section printed: the summaries of the fitted
// residuals when there are any, of the standardized ones when there is a
// sample as well.
struct PrintedResiduals {
    int count = 0;
    std::optional<ResidualSummary> fitted;  // its matrices left empty
    bool standardizedShown = false;
    std::vector<LargeResidual> large;
};

// DISTRIBUTION OF RESIDUALS; variables are named by their numbers in the data
// file (data.includedIndex).
PrintedResiduals writeResidualDistribution(ReportWriter& report, const DataSet& data,
                                           const Matrix& r, const Matrix& sigma, int sampleSize);

}  // namespace talvex
