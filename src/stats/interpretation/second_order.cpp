#include "stats/interpretation/second_order.h"

#include <cmath>

#include "data/dataset.h"
#include "stats/extraction/uls_pca.h"
#include "stats/rotation/orthomax.h"

namespace talvex {

namespace {

constexpr double kUlsTolerance = 0.00000001;
constexpr double kVarimaxConvergence = 0.0001;
constexpr int kVarimaxStarts = 10;

// B for two first-order factors: the square root of |φ| for both, the
// second negative when the factors correlate negatively.
Matrix equalLoadings(double phi) {
    Matrix b(2, 1);
    b[0][0] = std::sqrt(std::fabs(phi));
    b[1][0] = phi < 0 ? -b[0][0] : b[0][0];
    return b;
}

Matrix secondOrderLoadings(const Matrix& phi, int g, double sampleSize) {
    const int m = phi.rows();
    Matrix b(m, g);
    MatrixScope scope;
    Matrix fitted = extractUls(phi, g, kUlsTolerance, sampleSize).loadings;
    if (g > 1) {
        fitted = fitted.multiply(
            varimaxRotation(fitted, kVarimaxConvergence, kVarimaxStarts, true).transformation);
    } else {
        double sum = 0.0;
        for (int j = 0; j < m; ++j) sum += fitted[j][0];
        if (sum < 0) fitted = fitted.scale(-1.0);
    }
    for (int j = 0; j < m; ++j)
        for (int c = 0; c < g; ++c) b[j][c] = fitted[j][c];
    return b;
}

}  // namespace

bool secondOrderIdentified(int m, int g) {
    return g >= 1 && g < m && (m - g) * (m - g) >= m + g;
}

SchmidLeimanSolution computeSchmidLeiman(const Matrix& pattern, const Matrix& factorCorrelations,
                                         int g, double sampleSize) {
    SchmidLeimanSolution solution;
    const int m = factorCorrelations.rows();
    solution.equalLoadings = m == 2 && g == 1;
    solution.identified = solution.equalLoadings || secondOrderIdentified(m, g);
    if (!solution.identified) return solution;
    solution.secondOrder = solution.equalLoadings
                               ? equalLoadings(factorCorrelations[0][1])
                               : secondOrderLoadings(factorCorrelations, g, sampleSize);
    const Matrix& b = solution.secondOrder;
    Matrix u(m, m);
    for (int j = 0; j < m; ++j) {
        double communality = 0.0;
        for (int c = 0; c < g; ++c) communality += b[j][c] * b[j][c];
        u[j][j] = communality < 1.0 ? std::sqrt(1.0 - communality) : 0.0;
    }
    solution.residualized = pattern.multiply(u);
    solution.general = pattern.multiply(b);
    return solution;
}

void writeSchmidLeiman(ReportWriter& report, const DataSet& data,
                       const SchmidLeimanSolution& solution, int m, int g) {
    report.printf("SCHMID-LEIMAN SOLUTION \n");
    report.printf("(1957)\n\n");
    if (!solution.identified) {
        report.printf(
            "NOTE: %i second-order factors of %i first-order factors are not identified; the\n"
            "      second-order and Schmid-Leiman solutions are not computed.\n\n",
            g, m);
        report.separator();
        return;
    }
    report.printf(g < 2 ? "Second order factor solution (ULS)\n\n"
                        : "Second order factor solution (ULS and Normalized Varimax)\n\n");
    report.printf("Factor    ");
    for (int c = 1; c <= g; ++c) report.printf("   G%4i ", c);
    report.printf("\n\n");
    const Matrix& b = solution.secondOrder;
    for (int j = 0; j < m; ++j) {
        report.printf("F%4i      ", j + 1);
        for (int c = 0; c < g; ++c) report.printf("%7.3f  ", b[j][c]);
        report.printf("\n");
    }
    report.printf("\n\n");
    if (solution.equalLoadings)
        report.printf(
            "With two first-order factors both second-order loadings are set to the square root "
            "of their correlation.\n\n");

    report.printf("Schmid-Leiman solution\n\n");
    report.write(variableHeading(data));
    for (int c = 1; c <= m; ++c) report.printf("   F%4i ", c);
    report.printf(" ");
    for (int c = 1; c <= g; ++c) report.printf("   G%4i ", c);
    report.printf("\n\n");
    for (int i = 0; i < solution.residualized.rows(); ++i) {
        report.write(variableName(data, i));
        for (int c = 0; c < m; ++c) report.printf("%7.3f  ", solution.residualized[i][c]);
        report.printf("|");
        for (int c = 0; c < g; ++c) report.printf("%7.3f  ", solution.general[i][c]);
        report.printf("\n");
    }
    report.printf("\n");
    report.printf("F = First-Order Factors  \n");
    report.printf(g < 2 ? "G = Second-Order Factor  \n\n" : "G = Second-Order Factors \n\n");
    report.separator();
}

}  // namespace talvex
