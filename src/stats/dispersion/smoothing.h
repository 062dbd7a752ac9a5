// Positive-definiteness test and smoothing of a dispersion matrix that has
// negative eigenvalues (Devlin, Gnanadesikan & Kettenring, 1975, 1981): the
// off-diagonal elements are shrunk toward 0 on Fisher's z scale, one fixed
// step per pass, until no eigenvalue is negative.
#pragma once

#include "core/matrix.h"

namespace talvex {

class ReportWriter;

// Smallest eigenvalue of a symmetric matrix.
double smallestEigenvalue(const Matrix& r);
// True when the symmetric matrix has a negative eigenvalue.
bool needsSmoothing(const Matrix& r);

// 0.5·(ln(1 + r) − ln(1 − r)); infinite at ±1, not a number beyond.
double fisherZ(double r);
// (e^(2z) − 1)/(e^(2z) + 1), giving ±1 where e^(2z) would overflow.
double fisherZInverse(double z);

// A new smoothed copy of the symmetric matrix r for a sample of n
// participants (step 0.25/√n on the z scale; n below 1 is taken as 1). A
// matrix that needs no smoothing comes back as an unchanged copy. A matrix
// with variances other than 1 is smoothed in its correlation form and scaled
// back, so its diagonal is kept. Returns an empty handle (valid() false) when
// smoothing fails: a pass lowered the smallest eigenvalue, or a variance is
// not positive.
Matrix smoothDispersion(const Matrix& r, int n);

struct SmoothingResult {
    Matrix matrix;        // the smoothed copy; empty when smoothing failed
    int passes = 0;       // shrinking passes made
    double before = 0.0;  // smallest eigenvalue of the correlation form, before
    double after = 0.0;   // and after the last pass
};

// smoothDispersion that also smooths a matrix whose correlation form has a
// smallest eigenvalue below `floor` (a singular or nearly singular matrix),
// passing until it reaches the floor; with a floor of 0 it is
// smoothDispersion itself. Tells how many passes were made and how the
// smallest eigenvalue moved, so that a failure can be explained.
SmoothingResult smoothBelow(const Matrix& r, int n, double floor);

// The paragraph written before the dispersion matrix when smoothing was
// applied, with the closing separator.
void writeSmoothingApplied(ReportWriter& report);

// Pairs i < j whose correlation (in the correlation form) was at least
// `least` in absolute value before smoothing and is exactly 0 after it.
int correlationsErased(const Matrix& before, const Matrix& after, double least);
// Smallest absolute correlation counted by the note below.
inline constexpr double kNotableCorrelation = 0.1;
// The note written when smoothing took `passes` passes and set `erased`
// notable correlations to 0, with the closing separator.
void writeSmoothingErased(ReportWriter& report, int passes, int erased);
}  // namespace talvex
