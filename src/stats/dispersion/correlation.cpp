#include "stats/dispersion/correlation.h"

#include "report/report_writer.h"
#include "data/dataset.h"
#include "stats/dispersion/descriptives.h"

namespace talvex {

Matrix crossProduct(const Matrix& a) {
    const int n = a.rows(), m = a.cols();
    Matrix result(m, m);
    // Upper triangle, one participant at a time: every element adds its
    // products in row order, as the general product does.
    for (int i = 0; i < n; ++i) {
        const double* row = a[i];
        for (int r = 0; r < m; ++r) {
            const double v = row[r];
            double* out = result[r];
            for (int c = r; c < m; ++c) out[c] += v * row[c];
        }
    }
    for (int r = 0; r < m; ++r)
        for (int c = 0; c < r; ++c) result[r][c] = result[c][r];
    return result;
}

namespace {

// Aᵀ·A multiplied by 1/N.
Matrix meanCrossProduct(const Matrix& a) {
    Matrix result(a.cols(), a.cols());
    MatrixScope scope;
    const Matrix product = crossProduct(a).scale(1.0 / a.rows());
    for (int r = 0; r < a.cols(); ++r)
        for (int c = 0; c < a.cols(); ++c) result[r][c] = product[r][c];
    return result;
}

}  // namespace

Matrix covarianceOf(const Matrix& x) {
    Matrix result(x.cols(), x.cols());
    MatrixScope scope;
    const Matrix c = meanCrossProduct(centreColumns(x));
    for (int r = 0; r < x.cols(); ++r)
        for (int k = 0; k < x.cols(); ++k) result[r][k] = c[r][k];
    return result;
}

Matrix correlationOf(const Matrix& x) {
    Matrix result(x.cols(), x.cols());
    MatrixScope scope;
    const Matrix c = meanCrossProduct(standardizeColumns(x));
    for (int r = 0; r < x.cols(); ++r)
        for (int k = 0; k < x.cols(); ++k) result[r][k] = c[r][k];
    return result;
}

namespace {

const char* dispersionTitle(DispersionType type) {
    switch (type) {
        case Covariance:
            return "VARIANCE / COVARIANCE MATRIX \n\n";
        case PearsonCorrelation:
            return "STANDARIZED VARIANCE / COVARIANCE MATRIX (PEARSON CORRELATION)\n\n";
        case PolychoricCorrelation:
            return "STANDARIZED VARIANCE / COVARIANCE MATRIX (POLYCHORIC CORRELATION)\n"
                   "(Polychoric algorithm: Olsson ,1979a, 1979b; Tetrachoric algorithm: AS116)\n\n";
        case UserMatrix:
            return "DISPERSION MATRIX (USER DEFINED)\n\n";
        case DispersionNotChosen:
            break;
    }
    return "";
}

}  // namespace

void writeDispersionMatrix(ReportWriter& report, const DataSet& data, const Matrix& m, DispersionType type) {
    const int n = m.rows();
    report.write(dispersionTitle(type));
    report.write(variableHeading(data));
    for (int j = 0; j < n; ++j) report.printf("%4i     ", data.fileNumber(j));
    report.printf("\n");
    for (int i = 0; i < n; ++i) {
        report.write(variableName(data, i));
        for (int j = 0; j <= i; ++j) report.printf("%7.3f  ", m[i][j]);
        report.printf("\n");
    }
    report.printf("\n");

    MatrixScope scope;
    Matrix values(n, 1);
    Matrix vectors(n, n);
    m.eigenSymmetric(values, vectors);
    // Eigenvalues come in decreasing order: the last is the smallest.
    if (n > 0 && values[n - 1][0] < 0.0)
        report.printf("\nWARNING: Matrix to be analyzed is not positive-definite.\n\n");
    report.separator();
}

}  // namespace talvex
