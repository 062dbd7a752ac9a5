// Second-order factors of the factor correlations and the Schmid & Leiman
// (1957) solution: every variable's loadings on the second-order factors
// and on the first-order factors with the second-order part taken out.
#pragma once

#include "core/matrix.h"
#include "report/report_writer.h"

namespace talvex {

struct DataSet;

// Whether g second-order factors of m first-order factors are identified:
// g < m and (m − g)² ≥ m + g, the count of correlations being at least the
// count of free parameters. Two first-order factors with one second-order
// factor are handled apart (equal loadings).
bool secondOrderIdentified(int m, int g);

struct SchmidLeimanSolution {
    bool identified = false;     // false: no matrices
    bool equalLoadings = false;  // m = 2, g = 1: both factors load √|φ₁₂|
    Matrix secondOrder;          // B, m x g
    Matrix residualized;         // P·U, p x m (U the second-order uniquenesses' roots)
    Matrix general;              // P·B, p x g
};

// The g-factor ULS solution B of Φ (Varimax-rotated, normalised, when g > 1;
// its column reflected to a non-negative sum when g = 1), U = diag of
// √(1 − (BBᵀ)ᵢᵢ) (0 where negative), and P·U, P·B. With m = 2 and g = 1,
// where every pair (c, φ/c) fits, B = (√φ, √φ) (opposite signs for φ < 0).
SchmidLeimanSolution computeSchmidLeiman(const Matrix& pattern, const Matrix& factorCorrelations,
                                         int g, double sampleSize);

// The SCHMID-LEIMAN SOLUTION section (a note instead of the tables when the
// second-order factors are not identified).
void writeSchmidLeiman(ReportWriter& report, const DataSet& data,
                       const SchmidLeimanSolution& solution, int m, int g);

}  // namespace talvex
