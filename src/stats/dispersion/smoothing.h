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

// The paragraph written before the dispersion matrix when smoothing was
// applied, with the closing separator.
void writeSmoothingApplied(ReportWriter& report);
// The paragraph written when a matrix that is not positive definite could
// not be smoothed and the analysis goes on with it unchanged, with the
// closing separator.
void writeSmoothingFailed(ReportWriter& report);

}  // namespace talvex
