// The extraction of an analysis repeated on other data (an imputed data
// set, a bootstrap resample): the method of the main run without its report.
#pragma once

#include "core/matrix.h"
#include "report/settings.h"

namespace talvex {

// MRFA random starts, as in the main analysis.
inline constexpr int kRepeatedMrfaStarts = 10;

struct RepeatedExtraction {
    Matrix loadings;  // p x k; empty when ML or MRFA does not converge
    Matrix common;    // its diagonal holds the communalities: MRFA's reduced matrix, otherwise L·L'
};

// Loadings of `factors` factors of the dispersion matrix d by `method`
// (ULS with the main run's tolerance and sample size n); one factor
// reflected to a positive sum.
RepeatedExtraction extractRepeated(const Matrix& d, int factors, ExtractionMethod method, double n);

}  // namespace talvex
