#include "stats/extraction/unrotated_solution.h"

#include <cmath>

#include "data/dataset.h"
#include "stats/extraction/uls_pca.h"

namespace talvex {

namespace {

double clampReliability(double value) { return value >= 0 ? value : 0.0; }

}  // namespace

std::vector<int> columnsWithLoadings(const Matrix& loadings) {
    std::vector<int> columns;
    for (int j = 0; j < loadings.cols(); ++j) {
        double ss = 0.0;
        for (int i = 0; i < loadings.rows(); ++i) ss += loadings[i][j] * loadings[i][j];
        if (!(ss < kNegligibleSquares)) columns.push_back(j);
    }
    return columns;
}

Matrix selectColumns(const Matrix& a, const std::vector<int>& columns) {
    Matrix r(a.rows(), static_cast<int>(columns.size()));
    for (int i = 0; i < a.rows(); ++i)
        for (std::size_t c = 0; c < columns.size(); ++c) r[i][static_cast<int>(c)] = a[i][columns[c]];
    return r;
}

Matrix componentReliability(const Matrix& r, const Matrix& loadings) {
    const int p = r.rows(), k = loadings.cols();
    Matrix result(k, 1);
    if (p < 2) return result;  // alpha needs two variables
    MatrixScope scope;
    Matrix scaling(p, p);
    for (int i = 0; i < p; ++i) scaling[i][i] = r[i][i] > 0 ? 1.0 / std::sqrt(r[i][i]) : 0.0;
    const Matrix standard = scaling.multiply(r).multiply(scaling);
    for (int c = 0; c < k; ++c) {
        const Matrix a = loadings.columnBlock(c, 1);
        const double own = a.transpose().multiply(a)[0][0];
        const double shared = a.transpose().multiply(standard).multiply(a)[0][0];
        const double alpha = static_cast<double>(p) / (p - 1) * (1.0 - own / shared);
        result[c][0] = clampReliability(alpha);
    }
    return result;
}

Matrix factorReliability(const Matrix& r, const Matrix& communalities, const Matrix& loadings) {
    const int p = loadings.rows(), k = loadings.cols();
    Matrix result(k, 1);
    MatrixScope scope;
    Matrix psiInverse(p, p);
    for (int i = 0; i < p; ++i) psiInverse[i][i] = 1.0 / (r[i][i] - communalities[i][i]);
    const std::vector<int> live = columnsWithLoadings(loadings);
    if (static_cast<int>(live.size()) == k) {
        const Matrix m = loadings.transpose().multiply(psiInverse).multiply(loadings).inverse();
        for (int c = 0; c < k; ++c) result[c][0] = clampReliability(1.0 / (1.0 + m[c][c]));
        return result;
    }
    if (live.empty()) return result;
    const Matrix a = selectColumns(loadings, live);
    const Matrix m = a.transpose().multiply(psiInverse).multiply(a).inverse();
    for (std::size_t c = 0; c < live.size(); ++c)
        result[live[c]][0] = clampReliability(1.0 / (1.0 + m[static_cast<int>(c)][static_cast<int>(c)]));
    return result;
}

std::vector<double> writeEigenvalueVariance(ReportWriter& report, const Matrix& r, int factors) {
    const int p = r.rows();
    MatrixScope scope;
    Matrix values(p, 1), vectors(p, p);
    r.eigenSymmetric(values, vectors);
    const double total = r.trace();
    report.printf("EXPLAINED VARIANCE BASED ON EIGENVALUES\n\n");
    report.printf("Variable  Eigenvalue   Proportion of   Cumulative Proportion\n");
    report.printf("                       Variance        of Variance\n\n");
    double cumulative = 0.0;
    std::vector<double> eigenvalues;
    for (int i = 0; i < p; ++i) {
        eigenvalues.push_back(values[i][0]);
        const double proportion = total > 0 ? values[i][0] / total : 0.0;
        cumulative += proportion;
        report.printf("%4i    %9.5f    %9.5f  ", i + 1, values[i][0], proportion);
        if (i < factors)
            report.printf("     %9.5f  \n", cumulative);
        else
            report.printf("\n");
    }
    report.printf("       \n");
    report.separator();
    return eigenvalues;
}

std::optional<FactorVarianceTable> writeUnrotatedLoadings(ReportWriter& report, const DataSet& data,
                                                          const Matrix& r, const Matrix& loadings,
                                                          ExtractionMethod method,
                                                          RotationMethod rotation,
                                                          const Matrix& mrfaReduced) {
    const int p = loadings.rows(), k = loadings.cols();
    MatrixScope scope;
    const Matrix common = loadings.multiply(loadings.transpose());
    const Matrix& communalitySource = method == MRFA ? mrfaReduced : common;
    // One factor is printed with its largest loading positive.
    const double sign = k == 1 && needsReflection(loadings) ? -1.0 : 1.0;

    report.printf("UNROTATED LOADING MATRIX \n\n");
    report.write(variableHeading(data));
    for (int c = 1; c <= k; ++c) report.printf(method == PCA ? "   C%4i " : "   F%4i ", c);
    report.printf("   Communality\n\n");
    for (int i = 0; i < p; ++i) {
        report.write(variableName(data, i));
        for (int c = 0; c < k; ++c) report.printf("% 7.3f  ", sign * loadings[i][c]);
        report.printf("   %7.3f\n", communalitySource[i][i]);
    }
    report.printf("\n");
    if (k > 1 && rotation != 0) {
        report.separator();
        return std::nullopt;
    }
    FactorVarianceTable table;
    table.tenBerge = method == PCA;

    report.printf("EXPLAINED VARIANCE AND RELIABILITY\n\n");
    const Matrix variance = loadings.columnSumsOfSquares();
    if (method == PCA) {
        const Matrix reliability = componentReliability(r, loadings);
        const double total = r.trace();
        report.printf("ten Berge & Hofstee (1999)\n\n");
        report.printf("Component   Variance    Proportion of     Reliability estimate\n");
        report.printf("                        variance               \n\n");
        for (int c = 0; c < k; ++c) {
            report.printf("%4i       ", c + 1);
            report.printf("%7.3f       %4.3f             %4.3f\n", variance[0][c], variance[0][c] / total,
                          reliability[c][0]);
            table.proportion.push_back(variance[0][c] / total);
            table.reliability.push_back(reliability[c][0]);
        }
    } else if (method == MRFA) {
        const Matrix reliability = factorReliability(r, mrfaReduced, loadings);
        const double total = mrfaReduced.trace();
        report.printf("Mislevy & Bock (1990)\n\n");
        report.printf("Factor      Variance    Proportion of     Reliability estimate\n");
        report.printf("                        common variance               \n\n");
        for (int c = 0; c < k; ++c) {
            report.printf("%4i       ", c + 1);
            report.printf("%7.3f       %4.3f             %4.3f\n", variance[0][c], variance[0][c] / total,
                          reliability[c][0]);
            table.proportion.push_back(variance[0][c] / total);
            table.reliability.push_back(reliability[c][0]);
        }
    } else {
        const Matrix reliability = factorReliability(r, common, loadings);
        report.printf("Mislevy & Bock (1990)\n\n");
        report.printf("Factor      Variance                      Reliability estimate\n");
        report.printf("                                               \n\n");
        for (int c = 0; c < k; ++c) {
            report.printf("%4i       ", c + 1);
            report.printf("%7.3f                          %4.3f\n", variance[0][c], reliability[c][0]);
            table.reliability.push_back(reliability[c][0]);
        }
    }
    for (int c = 0; c < k; ++c) table.variance.push_back(variance[0][c]);
    report.printf("\n");
    report.separator();
    return table;
}

}  // namespace talvex
