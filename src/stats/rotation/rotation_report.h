// The report sections of a rotated solution: the rotated loadings with the
// explained variance and reliability of the rotated factors, the structure
// matrix and the inter-factor correlations.
#pragma once

#include "core/matrix.h"
#include "report/report_writer.h"
#include "report/settings.h"
#include "stats/extraction/unrotated_solution.h"

namespace talvex {

struct DataSet;

// ROTATED LOADING MATRIX (and the salient-only table when salientThreshold
// > 0), then EXPLAINED VARIANCE AND RELIABILITY OF ROTATED FACTORS. R is the
// analysed matrix; commonMatrix gives the common variance for MRFA. Returns
// the variance table as printed.
FactorVarianceTable writeRotatedLoadings(ReportWriter& report, const DataSet& data, const Matrix& r,
                                         const Matrix& commonMatrix, const Matrix& pattern,
                                         const Matrix& factorCorrelations,
                                         ExtractionMethod extractionMethod, RotationMethod method,
                                         float salientThreshold);

// STRUCTURE MATRIX: pattern · factor correlations.
void writeStructureMatrix(ReportWriter& report, const DataSet& data, const Matrix& structure,
                          ExtractionMethod extractionMethod);

// INTER-FACTORS CORRELATION MATRIX, lower triangle.
void writeFactorCorrelations(ReportWriter& report, const Matrix& factorCorrelations,
                             ExtractionMethod extractionMethod);

// One WARNING line for the starts that reached the sweep limit.
void writeSweepLimitWarning(ReportWriter& report, int cappedStarts);

}  // namespace talvex
