#include "stats/extraction/fit.h"

#include <cmath>
#include <string>
#include <string_view>

#include "core/distributions.h"
#include "data/dataset.h"
#include "report/report_writer.h"
#include "stats/dispersion/text_plots.h"

namespace talvex {

namespace {

double sumOfSquaresBelowDiagonal(const Matrix& m) {
    double s = 0.0;
    for (int j = 0; j < m.cols(); ++j)
        for (int i = j + 1; i < m.rows(); ++i) s += m[i][j] * m[i][j];
    return s;
}

// Median of a column: the middle value, or the mean of the two middle values.
double medianOf(const Matrix& column) {
    MatrixScope scope;
    const Matrix sorted = column.sortColumns();
    const int n = sorted.rows();
    if (n % 2 == 1) return sorted[n / 2][0];
    return (sorted[n / 2 - 1][0] + sorted[n / 2][0]) / 2.0;
}

double meanOf(const Matrix& column) {
    double s = 0.0;
    for (int i = 0; i < column.rows(); ++i) s += column[i][0];
    return s / column.rows();
}

// What the ML and ULS sections share: degrees of freedom, the independence
// model, the GFI family and the eigenvalues of the reduced matrix.
FitStatistics commonStatistics(const Matrix& loadings, const Matrix& r, const Matrix& sigma) {
    const double p = r.rows(), k = loadings.cols();
    FitStatistics s;
    s.df = static_cast<int>(((p - k + 1) * (p - k) / 2) - p);
    s.df0 = static_cast<int>(p * (p - 1) / 2);
    // p(p - 1), not p(p + 1): the adjustment counts the off-diagonal elements.
    const double adjustment = p * (p - 1) / (2.0 * s.df);
    s.gfi = sigma.sumOfSquares() / r.sumOfSquares();
    s.agfi = 1 - (1 - s.gfi) * adjustment;
    s.gfiOffDiagonal = sumOfSquaresBelowDiagonal(sigma) / sumOfSquaresBelowDiagonal(r);
    s.agfiOffDiagonal = 1 - (1 - s.gfiOffDiagonal) * adjustment;

    const int n = r.rows();
    s.reducedEigenvalues = Matrix(n, 1);
    MatrixScope scope;
    Matrix reduced = r.copy();
    const Matrix communalities = loadings.rowSumsOfSquares();
    for (int i = 0; i < n; ++i) reduced[i][i] = communalities[i][0];
    Matrix vectors(n, n);
    reduced.eigenSymmetric(s.reducedEigenvalues, vectors);
    return s;
}

// CFI and NNFI against the independence model, from chi2 and chi0.
void incrementalIndices(FitStatistics& s) {
    const double chi0 = s.independenceChiSquare, chi2 = s.chiSquare;
    s.cfi = std::fabs(((chi0 - s.df0) - (chi2 - s.df)) / (chi0 - s.df0));
    s.nnfi = (chi0 / s.df0 - chi2 / s.df) / (chi0 / s.df0 - 1);
}

double bartlettMultiplier(double sampleSize, double p) { return (sampleSize - 1) - (2 * p + 5) / 6; }

// One index line, "label = value" by `format` (one %-conversion, after the
// "= "), or the label and why the index does not exist when the value is
// not finite: with no degrees of freedom the adjusted and incremental
// indices divide by 0, and the independence model can fit exactly.
void writeIndex(ReportWriter& report, const char* format, double value, const FitStatistics& s) {
    if (std::isfinite(value)) {
        report.printf(format, value);
        return;
    }
    const std::string_view text(format);
    report.write(std::string(text.substr(0, text.find("= ") + 2)));
    report.write(s.df <= 0 ? "not defined: the model has no degrees of freedom\n"
                           : "not defined for this matrix and model\n");
}

void writeChiSquareLines(ReportWriter& report, const FitStatistics& s) {
    if (std::isfinite(s.chiSquare) && std::isfinite(s.chiSquareP))
        report.printf("                       Chi-Square with %i degrees of freedom = %7.3f (P = %7.6f)\n", s.df,
                      s.chiSquare, s.chiSquareP);
    else
        report.printf("                       Chi-Square with %i degrees of freedom = not defined for this "
                      "matrix and model\n",
                      s.df);
    if (std::isfinite(s.independenceChiSquare))
        report.printf("Chi-Square for independence model with %i degrees of freedom = %7.3f\n", s.df0,
                      s.independenceChiSquare);
    else
        report.printf("Chi-Square for independence model with %i degrees of freedom = not defined: the "
                      "determinant is not positive\n",
                      s.df0);
    writeIndex(report, "                 Non-Normed Fit Index (NNFI; Tucker & Lewis) = %6.2f\n", s.nnfi, s);
    writeIndex(report, "                                 Comparative Fit Index (CFI) = %6.2f\n", s.cfi, s);
}

void writeGfiLines(ReportWriter& report, const FitStatistics& s) {
    writeIndex(report, "                                 Goodness of Fit Index (GFI) = %6.2f\n", s.gfi, s);
    writeIndex(report, "                       Adjusted Goodness of Fit Index (AGFI) = %6.2f\n", s.agfi, s);
    writeIndex(report, "         Goodness of Fit Index without diagonal values (GFI) = %6.2f\n", s.gfiOffDiagonal,
               s);
    writeIndex(report, "Adjusted Goodness of Fit Index without diagonal values(AGFI) = %6.2f\n", s.agfiOffDiagonal,
               s);
    report.printf("\n");
}

void writeReducedEigenvalues(ReportWriter& report, const Matrix& values) {
    report.printf("EIGENVALUES OF THE REDUCED CORRELATION MATRIX\n\n");
    report.printf("Variable  Eigenvalue \n\n");
    for (int i = 0; i < values.rows(); ++i) report.printf("%4i    % 13.9f \n", i + 1, values[i][0]);
    report.printf("       \n");
    report.separator();
}

std::vector<double> columnValues(const Matrix& column) {
    std::vector<double> values;
    for (int i = 0; i < column.rows(); ++i) values.push_back(column[i][0]);
    return values;
}

// The statistics without their matrix, which lives in the writer's scope.
void keepStatistics(PrintedFit& printed, const FitStatistics& s) {
    printed.statistics = s;
    printed.statistics.reducedEigenvalues = Matrix();
    printed.reducedEigenvalues = columnValues(s.reducedEigenvalues);
}

}  // namespace

FitStatistics mlFitStatistics(const Matrix& loadings, const Matrix& r, const Matrix& sigma,
                              double sampleSize) {
    FitStatistics s = commonStatistics(loadings, r, sigma);
    if (!(sampleSize > 0)) return s;
    const double p = r.rows(), k = loadings.cols();
    const double c = bartlettMultiplier(sampleSize, p);
    double discrepancy;
    {
        MatrixScope scope;
        discrepancy = r.multiply(sigma.inverse()).trace() + std::log(std::fabs(sigma.determinant())) -
                      std::log(std::fabs(r.determinant())) - p;
    }
    s.chiSquare = (c - 2 * k / 3) * discrepancy;
    s.chiSquareP = chiSquareUpperTail(s.chiSquare, s.df);
    s.independenceChiSquare = -c * std::log(r.determinant());
    incrementalIndices(s);

    const double df = s.df;
    const double radicand = (s.chiSquare / (sampleSize - 1) - df / (sampleSize - 1)) / df;
    s.rmsea = radicand >= 0 ? std::sqrt(radicand) : 0.0;  // also 0 for an undefined radicand
    const double lambda = 0.0025 * df * (sampleSize - 1);
    s.nonCentrality = lambda;
    const double z = std::sqrt(2 * s.chiSquare * (df + lambda) / (df + 2 * lambda)) -
                     std::sqrt(2 * (df + lambda) * (df + lambda) / (df + 2 * lambda) - 1);
    s.approximateFitP = 1 - normalCdf(z);
    return s;
}

FitStatistics ulsFitStatistics(const Matrix& loadings, const Matrix& r, const Matrix& sigma,
                               double sampleSize) {
    FitStatistics s = commonStatistics(loadings, r, sigma);
    if (!(sampleSize > 0)) return s;
    const double chi = (std::log(sigma.determinant()) - std::log(r.determinant())) * (sampleSize - 1);
    s.chiSquare = chi < 0 ? 0.0 : chi;
    s.chiSquareP = chiSquareUpperTail(s.chiSquare, s.df);
    s.independenceChiSquare = -bartlettMultiplier(sampleSize, r.rows()) * std::log(r.determinant());
    incrementalIndices(s);
    return s;
}

PrintedFit writeFitStatisticsMl(ReportWriter& report, const Matrix& loadings, const Matrix& r,
                                const Matrix& sigma, double sampleSize) {
    PrintedFit printed;
    printed.rmsea = printed.chiSquares = sampleSize > 0;
    printed.gfi = printed.adjusted = true;
    MatrixScope scope;
    const FitStatistics s = mlFitStatistics(loadings, r, sigma, sampleSize);
    report.printf("GOODNESS OF FIT STATISTICS \n\n");
    if (sampleSize > 0) {
        report.printf("             Root Mean Square Error of Approximation (RMSEA) = %7.3f\n", s.rmsea);
        report.printf("                    Estimated Non-Centrality Parameter (NCP) = %7.3f\n", s.nonCentrality);
        report.printf("                                          Degrees of Freedom = %i\n", s.df);
        report.printf("                                     Test of Approximate Fit\n");
        report.printf("                                       H0 : RMSEA < 0.05;  P = %5.3f\n\n", s.approximateFitP);
        writeChiSquareLines(report, s);
    }
    writeGfiLines(report, s);
    writeReducedEigenvalues(report, s.reducedEigenvalues);
    keepStatistics(printed, s);
    return printed;
}

PrintedFit writeFitStatisticsUls(ReportWriter& report, const Matrix& loadings, const Matrix& r,
                                 const Matrix& sigma, double sampleSize, DispersionType type) {
    PrintedFit printed;
    printed.gfi = true;
    printed.chiSquares = type != PolychoricCorrelation && sampleSize > 0;
    printed.adjusted = type != PolychoricCorrelation;
    MatrixScope scope;
    const FitStatistics s = ulsFitStatistics(loadings, r, sigma, sampleSize);
    report.printf("GOODNESS OF FIT STATISTICS \n\n");
    if (type == PolychoricCorrelation) {
        report.printf("Goodness of Fit Index (GFI) = %6.2f\n", s.gfi);
        report.printf("\n\n");
    } else {
        if (sampleSize > 0) writeChiSquareLines(report, s);
        writeGfiLines(report, s);
    }
    writeReducedEigenvalues(report, s.reducedEigenvalues);
    keepStatistics(printed, s);
    return printed;
}

PrintedFit writeMrfaOverallStatistics(ReportWriter& report, const Matrix& loadings,
                                      const Matrix& reduced) {
    const int p = reduced.rows(), k = loadings.cols();
    MatrixScope scope;
    const double total = reduced.trace();
    const double explained = loadings.sumOfSquares();
    Matrix values(p, 1), vectors(p, p);
    reduced.eigenSymmetric(values, vectors);
    // Proportions follow the matrix division rule: zeros when T <= 0.
    const Matrix proportions = values.divideScalar(total);

    report.printf("OVERALL FACTOR ANALYSIS STATISTICS \n\n");
    report.printf("    Total observed variance = %6i\n", p);
    report.printf("      Total common variance = %9.3f\n", total);
    report.printf("  Explained common variance = %9.3f (%6.2f%%)\n", explained, 100 * explained / total);
    report.printf("Unexplained common variance = %9.3f\n", total - explained);
    report.printf("\n");
    report.printf("EIGENVALUES OF THE REDUCED CORRELATION MATRIX\n\n");
    report.printf("Variable  Eigenvalue   Proportion of     Cumulative Proportion\n");
    report.printf("                       Common Variance   of Variance\n\n");
    double cumulative = 0.0;
    for (int i = 0; i < p; ++i) {
        cumulative += proportions[i][0];
        report.printf("%4i    %9.5f    %9.5f  ", i + 1, values[i][0], proportions[i][0]);
        if (i < k)
            report.printf("       %9.5f  \n", cumulative);
        else
            report.printf("\n");
    }
    report.printf("       \n");
    report.separator();
    PrintedFit printed;
    printed.commonVariance = total;
    printed.explainedCommonVariance = explained;
    printed.reducedEigenvalues = columnValues(values);
    return printed;
}

ResidualSummary summarizeResiduals(const Matrix& r, const Matrix& sigma, int sampleSize) {
    const int p = r.rows();
    const int n = p * (p - 1) / 2;
    ResidualSummary s;
    s.residuals = Matrix(n, 1);
    s.standardized = Matrix(n, 1);
    if (n == 0) return s;
    int at = 0;
    for (int j = 0; j < p; ++j)
        for (int i = j + 1; i < p; ++i) s.residuals[at++][0] = r[i][j] - sigma[i][j];

    const Matrix& e = s.residuals;
    s.mean = meanOf(e);
    double squares = 0.0;
    for (int i = 0; i < n; ++i) squares += e[i][0] * e[i][0];
    s.variance = squares / n - s.mean * s.mean;
    s.rmsr = std::sqrt(s.mean * s.mean + s.variance);
    s.median = medianOf(e);
    s.smallest = e.minElement();
    s.largest = e.maxElement();

    // Kelley's criterion; without a sample of at least two there is none (0).
    double meanVariance = 0.0;
    for (int i = 0; i < p; ++i) meanVariance += r[i][i];
    meanVariance /= p;
    const double ratio = sampleSize > 1 ? meanVariance / (sampleSize - 1) : 0.0;
    s.kelley = ratio > 0 ? std::sqrt(ratio) : 0.0;

    if (sampleSize >= 1 && s.kelley > 0) {
        for (int i = 0; i < n; ++i) s.standardized[i][0] = e[i][0] / s.kelley;
    }
    s.zMedian = medianOf(s.standardized);
    s.zSmallest = s.standardized.minElement();
    s.zLargest = s.standardized.maxElement();
    s.zMean = meanOf(s.standardized);
    return s;
}

PrintedResiduals writeResidualDistribution(ReportWriter& report, const DataSet& data,
                                           const Matrix& r, const Matrix& sigma, int sampleSize) {
    MatrixScope scope;
    const ResidualSummary s = summarizeResiduals(r, sigma, sampleSize);
    const int n = s.residuals.rows();
    PrintedResiduals printed;
    printed.count = n;
    report.printf("DISTRIBUTION OF RESIDUALS \n\n");
    report.printf("Number of Residuals = %i\n", n);
    if (n == 0) {
        report.printf("       \n");
        report.separator();
        return printed;
    }
    // The matrices belong to this scope.
    printed.fitted = s;
    printed.fitted->residuals = Matrix();
    printed.fitted->standardized = Matrix();
    report.printf("\nSummary Statistics for Fitted Residuals\n\n");
    report.printf("Smallest Fitted Residual = % 7.4f\n", s.smallest);
    report.printf("  Median Fitted Residual = % 7.4f\n", s.median);
    report.printf(" Largest Fitted Residual = % 7.4f\n", s.largest);
    report.printf("    Mean Fitted Residual = % 7.4f\n", s.mean);
    report.printf("Variance Fitted Residual = % 7.4f\n\n", s.variance);
    report.printf("               Root Mean Square of Residuals (RMSR) = % 7.4f\n", s.rmsr);
    report.printf("Expected mean value of RMSR for an acceptable model = % 7.4f (Kelley's criterion) "
                  "(Kelley, 1935,page 146; see also Harman, 1962, page 21 of the 2nd edition)\n",
                  s.kelley);
    if (s.kelley > 0 && s.rmsr > s.kelley) {
        const ReportPart note(report, PartKind::Note, "");
        report.printf("Note: if the value of RMSR is much larger than Kelley's criterion value the model "
                      "cannot be considered as good\n\n\n");
    } else
        report.printf("\n\n");
    {
        const ReportPart plot(report, PartKind::Plot, "Histogram of the fitted residuals");
        report.printf("Histogram for fitted residuals\n\n");
        residualHistogram(report, s.residuals);
    }

    if (sampleSize >= 1) {
        printed.standardizedShown = true;
        report.printf("\nSummary Statistics for Standardized Residuals\n\n");
        report.printf("Smallest Standardized Residual = % 5.2f\n", s.zSmallest);
        report.printf("  Median Standardized Residual = % 5.2f\n", s.zMedian);
        report.printf(" Largest Standardized Residual = % 5.2f\n", s.zLargest);
        report.printf("    Mean Standardized Residual = % 5.2f\n", s.zMean);
        report.printf("       \n");
        {
            const ReportPart plot(report, PartKind::Plot, "Stem-and-leaf plot of the standardized residuals");
            report.printf("Stemleaf Plot for Standardized Residuals\n");
            stemLeafPlot(report, s.standardized);
        }

        const int p = r.rows();
        for (int side = 0; side < 2; ++side) {
            bool headed = false;
            int at = 0;
            for (int j = 0; j < p; ++j)
                for (int i = j + 1; i < p; ++i, ++at) {
                    const double z = s.standardized[at][0];
                    if (side == 0 ? !(z < -2.5) : !(z > 2.5)) continue;
                    if (!headed) {
                        report.printf(side == 0 ? "\nLargest Negative Standardized Residuals\n\n"
                                                : "\nLargest Positive Standardized Residuals\n\n");
                        headed = true;
                    }
                    report.printf("Residual for Var %3i and Var %3i    % 5.2f\n", data.fileNumber(i),
                                  data.fileNumber(j), z);
                    printed.large.push_back({data.fileNumber(i), data.fileNumber(j), z});
                }
        }
    }
    report.printf("       \n");
    report.separator();
    return printed;
}

}  // namespace talvex
