// Parallel analysis: the eigenvalues of principal components (Horn, 1965)
// or the percentages of common variance of minimum rank factor analysis
// (Zazadidov & Varnholt, 2011) of the real data, against the mean and a
// percentile of the same values over K random data sets of the same size:
// normal samples or column permutations of the data, with Pearson or
// polychoric correlations.
#pragma once

#include <functional>
#include <optional>
#include <vector>

#include "core/matrix.h"

namespace talvex {

class ReportWriter;

// Method codes: correlation and sampling of the random data sets.
enum PaMethod : int {
    PaPcaPearsonPermutation = 5,
    PaPcaPearsonNormal = 6,
    PaPcaPolychoricPermutation = 8,
    PaMrfaPearsonPermutation = 15,
    PaMrfaPearsonNormal = 16,
    PaMrfaPolychoricPermutation = 18,
};

// The method code of a paVariant setting (2 and 6 both take normal samples
// with Pearson correlations); 0 for a value that runs no parallel analysis.
int paMethodOf(int variant);
bool paUsesMrfa(int method);
bool paPolychoric(int method);
bool paPermutation(int method);
// The Pearson method with the same implementation and sampling (8 → 5,
// 18 → 15); a Pearson method is returned unchanged.
int paPearsonMethod(int method);

// Failed attempts for one random data set before the polychoric variant
// switches to Pearson correlations, or the MRFA-based analysis gives up.
inline constexpr int kPaAttempts = 25;
// Random starts of MRFA for the real data and for each random data set.
inline constexpr int kPaRealStarts = 10;
inline constexpr int kPaRandomStarts = 1;
// Fewest variables MRFA with p - 1 factors is run for.
inline constexpr int kPaFewestMrfaVariables = 3;

// Fewest participants for which the MRFA-based analysis replaces each
// permuted data set by its pair tables drawn from the margins (discrete
// data only). A permuted pair's table has exactly the distribution of the
// full permutation's, but the pairs of one permutation are dependent and
// the drawn tables are not: the eigenvalues of the drawn matrices are
// narrower by O(p/N) (the semicircle instead of the Marchenko-Pastur
// spread). Checked against full permutations on 14,824 complete rows x 30
// items, K = 500 (bench/pa_tables): the percentages of common variance
// agree within their Monte Carlo error (|z| <= 2.3 over 60 means and
// percentiles), while the principal components' eigenvalues, whose
// Monte Carlo error is a hundred times smaller, differ by up to 5 standard
// errors (0.002 at the extremes). So the PCA-based analysis always permutes
// the rows. Below the threshold every data set is permuted row by row.
inline constexpr int kPaTableRows = 20000;
// Most categories a Pearson variant takes the tables for.
inline constexpr int kPaTableCategories = 32;

struct PaInput {
    Matrix x;                 // N x p raw data (permutations, polychoric and the Pearson switch)
    Matrix r;                 // p x p analysed matrix, taken in its correlation form
    int method = PaPcaPearsonNormal;
    int n = 0;                // participants
    int randomMatrices = 0;   // K
    int percentile = 95;
    Matrix low, high;         // p x 1 lowest and highest scores (polychoric variants)
    // Called with trunc(100 k / K) before random data set k.
    std::function<void(int)> progress;
    // Replaces the correlations of a random data set (polychoric or not),
    // smoothed as needed; an empty matrix is a failure. For tests of the
    // attempt rules; unset, the correlations are computed.
    std::function<Matrix(const Matrix& sample, bool polychoric)> sampleCorrelation;
    // Fewest participants for the drawn tables of permutations.
    int tableRows = kPaTableRows;
};

struct PaResult {
    std::vector<double> real, mean, percentile;  // p values each
    int countMean = 0;        // real above the mean
    int countPercentile = 0;  // real above the percentile
    bool switchedToPearson = false;  // polychoric variant after 25 failed attempts
    bool converged = true;           // MRFA of the real or of the random data
    std::vector<double> random;      // K x p values of the random data sets, row after row
};

// Row of the increasingly sorted column that holds the percentile:
// trunc((K - 1)·percentile/100).
int paPercentileRow(int k, int percentile);
// Column means and percentile values of the K x p results e (row after row).
void paColumnSummaries(const std::vector<double>& e, int k, int p, int percentile,
                       std::vector<double>& mean, std::vector<double>& pct);
// Number of i with real_i > reference_i.
int paCountAbove(const std::vector<double>& real, const std::vector<double>& reference);
// Length of the leading run i = 1, 2, .. with real_i > reference_i.
int paLeadingRunAbove(const std::vector<double>& real, const std::vector<double>& reference);

// Row marks: 2 for "**", 1 for "*", 0 for none.
std::vector<int> paPcaMarks(const PaResult& result);
std::vector<int> paMrfaMarks(const PaResult& result);

// Sets the last real, mean and percentile percentages to 0 when they are
// negative (a rounding residue of 0, -0 included).
void paClampLastPercentages(PaResult& result);

// 100·λᵢ/Σλ for the eigenvalues of a symmetric matrix, decreasing.
std::vector<double> commonVariancePercentages(const Matrix& reduced);

// The values of the two implementations. They draw on the program's random
// stream in a fixed order: the real data's MRFA, then for each random data
// set its sample and (MRFA) its analysis.
PaResult parallelAnalysisPcaValues(const PaInput& input);
PaResult parallelAnalysisMrfaValues(const PaInput& input);

// The sections for computed values.
void writeParallelAnalysisPca(ReportWriter& report, const PaInput& input, const PaResult& result);
void writeParallelAnalysisMrfa(ReportWriter& report, const PaInput& input, const PaResult& result);

// Computes and writes the section; returns the values it shows, none when
// there are too few variables for the MRFA-based analysis.
PaResult parallelAnalysisPca(ReportWriter& report, const PaInput& input);
std::optional<PaResult> parallelAnalysisMrfa(ReportWriter& report, const PaInput& input);

// Written instead of the MRFA-based section for fewer than
// kPaFewestMrfaVariables variables, and instead of any section when the
// random data sets cannot be drawn (no sample size with a user's matrix).
void writePaTooFewVariables(ReportWriter& report, int variables);
void writePaNoSampleSize(ReportWriter& report);

}  // namespace talvex
