#include "stats/dimensionality/map.h"

#include <cmath>
#include <utility>
#include <vector>

#include "report/report_writer.h"

namespace talvex {

double averageSquaredPartial(const Matrix& residual) {
    const int p = residual.rows();
    // 1/√E(i, i), infinite for a non-positive variance.
    std::vector<double> scale(static_cast<std::size_t>(p));
    for (int i = 0; i < p; ++i) {
        const double root = residual[i][i] > 0 ? std::sqrt(residual[i][i]) : 0.0;
        scale[static_cast<std::size_t>(i)] = 1.0 / root;
    }
    const double pairs = p * (p - 1.0) / 2.0;
    if (pairs <= 0) return std::nan("");
    // The partials are D·E·D with D = diag(scale). An infinite scale makes
    // every element of its row of D·E infinite or not a number, and each of
    // them meets a zero of D in the second product: the whole row of
    // partials is not a number. Only the last row has no element above the
    // diagonal, so an infinite scale there leaves just its column, whose
    // partials are ±∞ (or not a number where the residual is 0).
    for (int i = 0; i + 1 < p; ++i)
        if (std::isinf(scale[static_cast<std::size_t>(i)])) return std::nan("");
    double s = 0.0;
    for (int i = 0; i < p; ++i)
        for (int j = i + 1; j < p; ++j) {
            const double partial = scale[static_cast<std::size_t>(i)] * residual[i][j] * scale[static_cast<std::size_t>(j)];
            s += partial * partial;
        }
    // A sum of squares is never negative; not a number ends the test, an
    // infinite sum gives an infinite average.
    return s / pairs;
}

Matrix mapTest(const Matrix& r) {
    const int p = r.rows();
    std::vector<double> averages;
    {
        MatrixScope scope;
        // The PCA loadings with m components are the first m columns of
        // U·D^(1/2) from one decomposition of r; it is taken once for all m.
        Matrix u(p, p), d(p, 1), v(p, p);
        r.svd(u, d, v);
        const Matrix loadings = u.multiply(d.elementSqrt().diag());
        // The reproduced correlations Σ over k < m of a_ik·a_jk grow by one
        // term per m, in the order of k in which the product A·Aᵀ would add
        // them, so each residual has the bits of R - A·Aᵀ. Only the upper
        // triangle and the diagonal are kept: the partials read nothing else.
        std::vector<double> reproduced(static_cast<std::size_t>(p) * p, 0.0);
        std::vector<double> column(static_cast<std::size_t>(p));
        Matrix residual;
        for (int m = 1; m <= p; ++m) {
            // "Matrices generated" counts what each m made as R - A·Aᵀ: a
            // scope, the column block, its transpose, the product and the
            // difference; the one residual stands for the first difference.
            countConstructions(m == 1 ? 4 : 5);
            if (m == 1) residual = Matrix(p, p);
            for (int j = 0; j < p; ++j) column[static_cast<std::size_t>(j)] = loadings[j][m - 1];
            for (int i = 0; i < p; ++i) {
                const double aik = column[static_cast<std::size_t>(i)];
                double* sums = reproduced.data() + static_cast<std::size_t>(i) * p;
                const double* ri = r[i];
                double* ei = residual[i];
                for (int j = i; j < p; ++j) {
                    sums[j] += aik * column[static_cast<std::size_t>(j)];
                    ei[j] = ri[j] - sums[j];
                }
            }
            const double average = averageSquaredPartial(residual);
            // An infinite average (only the last variable left without
            // residual variance) has no more meaning than one that is not a
            // number, and would print as "inf": both end the column.
            if (!std::isfinite(average)) {
                averages.push_back(kMapUndefinedAverage);
                break;
            }
            averages.push_back(average);
        }
    }
    Matrix column(static_cast<int>(averages.size()), 1);
    for (std::size_t i = 0; i < averages.size(); ++i) column[static_cast<int>(i)][0] = averages[i];
    return column;
}

int mapAdvisedDimensions(const Matrix& averages) {
    const double smallest = averages.minElement();
    int advised = 0;
    for (int m = 1; m <= averages.rows(); ++m) {
        const double a = averages[m - 1][0];
        if (a > 0 && a == smallest) advised = m;
    }
    return advised;
}

int writeMapAverages(ReportWriter& report, const Matrix& averages, MapAdvice* shown) {
    report.write("MINIMUM AVERAGE PARTIAL TEST (MAP)\n");
    report.write("Velicer (1976)\n\n");
    report.write("Dimensions    Averaged Partial\n\n");
    const double smallest = averages.minElement();
    MapAdvice advice;
    for (int m = 1; m <= averages.rows(); ++m) {
        const double a = averages[m - 1][0];
        if (!(a > 0)) continue;
        advice.dimensions.push_back(m);
        advice.averages.push_back(a);
        if (a == smallest)
            report.printf("%4i      %7.5f* \n", m, a);
        else
            report.printf("%4i      %7.5f  \n", m, a);
    }
    const int advised = mapAdvisedDimensions(averages);
    report.printf("\n* Advised number of dimensions: %4i", advised);
    report.write("\n\n");
    report.separator();
    advice.advised = advised;
    if (shown) *shown = std::move(advice);
    return advised;
}

int writeMapTest(ReportWriter& report, const Matrix& r, MapAdvice* shown) {
    if (r.rows() < kMapFewestVariables) {
        // With two variables the one partial correlation left by the first
        // component is always ±1, and with one there is none: the test
        // cannot tell anything, so it says why instead of dividing 0 by 0.
        report.write("MINIMUM AVERAGE PARTIAL TEST (MAP)\n");
        report.write("Velicer (1976)\n\n");
        report.printf("Not computed: the test needs at least %i variables, and %i %s analysed.\n\n",
                      kMapFewestVariables, r.rows(), r.rows() == 1 ? "is" : "are");
        report.separator();
        return 0;
    }
    MatrixScope scope;
    return writeMapAverages(report, mapTest(r), shown);
}

}  // namespace talvex
