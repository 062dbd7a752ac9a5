// Variance/covariance and Pearson correlation matrices (divisor N), and the
// report section that prints the dispersion matrix analysed.
#pragma once

#include "report/settings.h"
#include "core/kernels.h"
#include "core/matrix.h"

namespace talvex {

class ReportWriter;
struct DataSet;

// m x m: Xcᵀ·Xc multiplied by 1/N, Xc the column-centred scores.
Matrix covarianceOf(const Matrix& x);
// Matrices correlationOf creates (the same for every shape), counted where
// its result is not needed, so that the count of constructions does not
// depend on it.
int correlationConstructions();
// m x 1: the diagonal of covarianceOf(x), bit for bit (each column's
// centred squares added in row order and multiplied by 1/N), without the
// m x m product; counts the constructions that route makes.
Matrix columnVariances(const Matrix& x);
// m x m: Zᵀ·Z multiplied by 1/N, Z the standardized scores.
Matrix correlationOf(const Matrix& x);
// Aᵀ·A for an N x m matrix A; each element sums its N products in row
// order, as Matrix::multiply would, but only one triangle is computed.
// Either build of the kernel gives the same bits.
Matrix crossProduct(const Matrix& a, KernelPath path = kernelPath());
// XcᵀXc for Xc = X minus the 1 x m means, centred row by row as it is
// summed (no centred copy of X); the same bits as crossProduct of
// centreColumns(x) when means = columnMeans(x).
Matrix centredCrossProduct(const Matrix& x, const Matrix& means, KernelPath path = kernelPath());
// Constructions a centred or standardized copy of the scores counts (the
// copy and the scope that computes it); a pass that centres on the fly
// counts them all the same.
inline constexpr int kCentredCopyConstructions = 2;

// The dispersion matrix section: title by `type`, lower triangle with the
// diagonal, and a warning when the matrix is not positive definite.
void writeDispersionMatrix(ReportWriter& report, const DataSet& data, const Matrix& m, DispersionType type);

}  // namespace talvex
