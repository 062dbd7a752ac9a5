#include "stats/rotation/rotation_report.h"

#include <cmath>

#include "data/dataset.h"
#include "stats/extraction/unrotated_solution.h"
#include "stats/rotation/rotation.h"

namespace talvex {

namespace {

void writeColumnHeader(ReportWriter& report, const DataSet& data, int factors, bool pca) {
    report.write(variableHeading(data));
    for (int c = 1; c <= factors; ++c) report.printf(pca ? "   C%4i " : "   F%4i ", c);
    report.printf("\n\n");
}

// One row per variable; cells below `threshold` in absolute value are blank.
void writeLoadingRows(ReportWriter& report, const DataSet& data, const Matrix& a,
                      double threshold) {
    for (int i = 0; i < a.rows(); ++i) {
        report.write(variableName(data, i));
        for (int c = 0; c < a.cols(); ++c) {
            if (std::fabs(a[i][c]) < threshold)
                report.printf("         ");
            else
                report.printf("%7.3f  ", a[i][c]);
        }
        report.printf("\n");
    }
    report.printf("\n");
}

}  // namespace

FactorVarianceTable writeRotatedLoadings(ReportWriter& report, const DataSet& data, const Matrix& r,
                                         const Matrix& commonMatrix, const Matrix& pattern,
                                         const Matrix& factorCorrelations,
                                         ExtractionMethod extractionMethod, RotationMethod method,
                                         float salientThreshold) {
    const int k = pattern.cols();
    const bool pca = extractionMethod == PCA;
    MatrixScope scope;
    report.printf("ROTATED LOADING MATRIX \n\n");
    writeColumnHeader(report, data, k, pca);
    writeLoadingRows(report, data, pattern, 0.0);
    if (salientThreshold > 0) {
        const double threshold = static_cast<double>(salientThreshold);
        report.printf("ROTATED LOADING MATRIX \n(loadings lower than absolute %7.3f omitted)\n\n",
                      threshold);
        writeColumnHeader(report, data, k, pca);
        writeLoadingRows(report, data, pattern, threshold);
        report.printf("\n");
    }
    report.printf(pca ? "EXPLAINED VARIANCE AND RELIABILITY OF ROTATED COMPONENTS\n"
                      : "EXPLAINED VARIANCE AND RELIABILITY OF ROTATED FACTORS\n");
    const Matrix structure = pattern.multiply(factorCorrelations);
    Matrix reliability;
    FactorVarianceTable table;
    table.tenBerge = pca && !isOblique(method);
    if (table.tenBerge) {
        reliability = componentReliability(r, pattern);
        report.printf("ten Berge & Hofstee (1999)\n\n");
    } else {
        reliability = factorReliability(r, structure.multiply(pattern.transpose()), pattern);
        report.printf("Mislevy & Bock (1990)\n\n");
    }
    // Variance of factor j: the sum over variables of pattern times structure loading.
    const Matrix variance = pattern.transpose().multiply(structure);
    const double total = extractionMethod == MRFA ? commonMatrix.trace() : r.trace();
    switch (extractionMethod) {
        case ULS:
        case ML:
            report.printf("Factor      Variance                      Reliability estimate\n");
            report.printf("                                               \n\n");
            for (int c = 0; c < k; ++c) {
                report.printf("%4i       ", c + 1);
                report.printf("%7.3f                          %4.3f\n", variance[c][c],
                              reliability[c][0]);
            }
            break;
        case MRFA:
        case PCA:
            report.printf(pca ? "Component   Variance    Proportion of     Reliability estimate\n"
                              : "Factor      Variance    Proportion of     Reliability estimate\n");
            report.printf(pca ? "                        variance               \n\n"
                              : "                        common variance               \n\n");
            for (int c = 0; c < k; ++c) {
                report.printf("%4i      ", c + 1);
                report.printf("%7.3f       %4.3f             %4.3f\n", variance[c][c],
                              variance[c][c] / total, reliability[c][0]);
                table.proportion.push_back(variance[c][c] / total);
            }
            break;
    }
    for (int c = 0; c < k; ++c) {
        table.variance.push_back(variance[c][c]);
        table.reliability.push_back(reliability[c][0]);
    }
    report.printf("\n");
    report.separator();
    return table;
}

void writeStructureMatrix(ReportWriter& report, const DataSet& data, const Matrix& structure,
                          ExtractionMethod extractionMethod) {
    report.printf("STRUCTURE MATRIX \n\n");
    writeColumnHeader(report, data, structure.cols(), extractionMethod == PCA);
    writeLoadingRows(report, data, structure, 0.0);
    report.printf("\n");
    report.separator();
}

void writeFactorCorrelations(ReportWriter& report, const Matrix& factorCorrelations,
                             ExtractionMethod extractionMethod) {
    const bool pca = extractionMethod == PCA;
    const int k = factorCorrelations.rows();
    report.printf("INTER-FACTORS CORRELATION MATRIX\n\n");
    report.printf(pca ? "Component " : "Factor    ");
    for (int c = 1; c <= k; ++c) report.printf(pca ? "   C%4i " : "   F%4i ", c);
    report.printf("\n\n");
    for (int i = 0; i < k; ++i) {
        report.printf(pca ? "C%4i      " : "F%4i      ", i + 1);
        for (int j = 0; j <= i; ++j) report.printf("%7.3f  ", factorCorrelations[i][j]);
        report.printf("\n");
    }
    report.printf("\n");
    report.separator();
}

void writeSweepLimitWarning(ReportWriter& report, int cappedStarts) {
    if (cappedStarts <= 0) return;
    report.printf(
        "WARNING: %i rotation start(s) stopped at the limit of %i iterations without "
        "converging.\n\n",
        cappedStarts, kSweepLimit);
}

}  // namespace talvex
