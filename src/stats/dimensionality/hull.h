// The Hull method for selecting the number of common factors (Varnholt,
// Zazadidov & Dodaz, 2011): solutions with 0, 1, 2, ... factors become points
// (free parameters, goodness of fit), and the advised number is the elbow of
// the upper convex hull of those points.
#pragma once

#include <functional>
#include <optional>
#include <vector>

#include "core/matrix.h"
#include "report/settings.h"

namespace talvex {

class ReportWriter;

// Normal samples whose mean eigenvalues bound the number of factors.
inline constexpr int kHullRandomSamples = 500;
// Fewest variables the method is computed for: with two there is only the
// zero- and the one-factor point, and no elbow.
inline constexpr int kHullFewestVariables = 3;

// One solution: k factors, its fit (larger is better: CAF or CFI, 1 − RMSEA)
// and its number of free parameters.
struct HullPoint {
    int factors = 0;
    double fit = 0.0;
    double parameters = 0.0;
};

// Free parameters of k factors of p variables: p for k = 0, otherwise
// (k + 1)p − (k − 1)k/2.
int hullParameters(int p, int k);

// Mean over `samples` draws of N x p standard normal scores of the
// eigenvalues (decreasing) of their Pearson correlation matrix; p x 1.
Matrix meanRandomEigenvalues(int n, int p, int samples);

// The number of eigenvalues of the p x p correlation matrix q that exceed the
// mean eigenvalue of the same rank over kHullRandomSamples normal samples of
// N participants.
int hullUpperBound(const Matrix& q, int n);

// True when (g2, f2) lies strictly above the line through (g1, f1) and
// (g3, f3).
bool isAboveLine(double f1, double f2, double f3, double g1, double g2, double g3);

// RMSEA of r factors of p variables from the discrepancy F of N
// participants; 0 when the model has no degrees of freedom left (it fits
// exactly) or when the estimate of the misfit is negative.
double rmseaFromDiscrepancy(int n, int p, int r, double f);

// CFI and RMSEA of the fitted matrix s (unit diagonal, k factors) for the
// correlation matrix r of N participants; the CFI's null model is the
// identity.
double hullCfi(const Matrix& s, const Matrix& r, int n, int p, int k);
double hullRmsea(const Matrix& s, const Matrix& r, int n, int p, int k);

// The loadings of k factors of r by the method (MRFA with one random start);
// an empty matrix when ML or MRFA does not converge.
Matrix hullExtraction(const Matrix& r, int factors, ExtractionMethod method);
using HullExtractor = std::function<Matrix(const Matrix& r, int factors, ExtractionMethod method)>;

// The fit of the loadings a (k >= 1 columns) of the correlation matrix r by
// the index, larger being better.
double hullFit(const Matrix& r, const Matrix& a, int n, HullIndex index);
// The fit of zero factors; q is the correlation matrix whose determinant
// gives the RMSEA's null discrepancy.
double hullZeroFactorFit(const Matrix& r, const Matrix& q, int n, HullIndex index);

struct HullCurve {
    std::vector<HullPoint> points;  // k = 0, 1, ..., K
    ExtractionMethod method = ULS;  // the method the points were computed with
    HullIndex index = CFI;          // the index the points hold
    bool fellBack = false;          // ML or MRFA did not converge: ULS with CFI
};

// The points of 0, 1, ... factors of the correlation matrix r: k stops
// growing once k > bound and the fit of k is the largest so far, or at
// k = p − 1. When ML or MRFA does not converge the curve is computed again
// from k = 1 with ULS and CFI.
HullCurve hullCurve(const Matrix& r, const Matrix& q, int n, ExtractionMethod method, HullIndex index,
                    int bound, const HullExtractor& extract = hullExtraction);

// The upper convex hull: points whose fit rises over the last one kept,
// then, pass after pass, the first interior point not strictly above the
// line joining its neighbours removed until none is.
std::vector<HullPoint> upperHull(const std::vector<HullPoint>& points);

// Scree test values of the hull points: the ratio of the slopes before and
// after each interior point; 0 for the first and the last.
std::vector<double> screeTestValues(const std::vector<HullPoint>& hull);

// The k of the interior hull point with the largest positive scree test
// value (the first on ties); 1 when there is none.
int hullAdvisedFactors(const std::vector<HullPoint>& hull, const std::vector<double>& scree);

// What the section shows: the hull points (fit in the index itself, so
// the RMSEA rather than 1 − RMSEA), their scree test values and the advice.
struct HullAdvice {
    std::vector<HullPoint> hull;
    std::vector<HullPoint> solutions;  // every point of the curve, fit as the hull's
    std::vector<double> scree;
    int advised = 0;
    HullIndex index = CFI;  // the index of the points (CFI after a fallback)
    bool fellBack = false;
};

// The section of a computed curve; `index` and `method` are those configured.
HullAdvice writeHullSection(ReportWriter& report, const HullCurve& curve, HullIndex index,
                            ExtractionMethod method);

// The Hull method for the analysed matrix r (a covariance matrix is taken in
// its correlation form) of the raw scores x (unused for a user's matrix) of
// N participants; writes its section. Fewer than kHullFewestVariables
// variables, or a sample size below 2, leave a line that says why (and no
// advice is returned).
std::optional<HullAdvice> hullMethod(const Matrix& x, const Matrix& r, int n, ExtractionMethod method,
                                     DispersionType type, HullIndex index, ReportWriter& report);

}  // namespace talvex
