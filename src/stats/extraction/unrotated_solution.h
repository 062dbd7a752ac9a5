// Reliabilities of an unrotated solution and the report sections that
// describe it: the eigenvalue table and the unrotated loading matrix.
#pragma once

#include <optional>
#include <vector>

#include "report/report_writer.h"
#include "report/settings.h"
#include "core/matrix.h"

namespace talvex {

struct DataSet;

// A sum of squares below this is taken as zero: the row of a variable
// without common variance, or the column of a factor without loadings
// (an extraction can leave one when the matrix supports fewer factors).
inline constexpr double kNegligibleSquares = 1e-12;

// The columns of `loadings` whose sum of squares is not negligible.
std::vector<int> columnsWithLoadings(const Matrix& loadings);
// The columns of `a` listed in `columns`, in that order.
Matrix selectColumns(const Matrix& a, const std::vector<int>& columns);

// ten Berge & Hofstee (1999): alpha of each component of A on the
// standardised R; r x 1, negative values as 0.
Matrix componentReliability(const Matrix& r, const Matrix& loadings);

// Mislevy & Bock (1990): 1 / (1 + M_kk), M = (A' Psi^-1 A)^-1 with
// Psi = diag(R) - diag(K), the unique variances; only the diagonals of R
// and K (the communalities) are read. For a correlation matrix Psi is
// I - diag(K). r x 1; negative or undefined values as 0. A factor without
// loadings carries no information: its reliability is 0 and it is left out
// of M.
Matrix factorReliability(const Matrix& r, const Matrix& communalities, const Matrix& loadings);

// EXPLAINED VARIANCE BASED ON EIGENVALUES of R; the cumulative proportion is
// printed for the first `factors` rows. Returns the eigenvalues, decreasing.
std::vector<double> writeEigenvalueVariance(ReportWriter& report, const Matrix& r, int factors);

// A table of explained variance and reliability, one entry per factor or
// component, as printed.
struct FactorVarianceTable {
    bool tenBerge = false;  // component alphas (ten Berge & Hofstee), else Mislevy & Bock
    std::vector<double> variance;
    // Of the total variance (PCA) or of the common variance (MRFA); the
    // other methods print no proportion and leave it empty.
    std::vector<double> proportion;
    std::vector<double> reliability;
};

// UNROTATED LOADING MATRIX, followed by EXPLAINED VARIANCE AND RELIABILITY
// unless a rotation of more than one factor follows. `mrfaReduced` is the
// reduced matrix of an MRFA solution (its diagonal holds the communalities);
// the other methods leave it empty. Returns the variance table when printed.
std::optional<FactorVarianceTable> writeUnrotatedLoadings(ReportWriter& report, const DataSet& data,
                                                          const Matrix& r, const Matrix& loadings,
                                                          ExtractionMethod method,
                                                          RotationMethod rotation,
                                                          const Matrix& mrfaReduced = Matrix());

}  // namespace talvex
