#include "stats/dispersion/descriptives.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <vector>

#include "report/report_writer.h"
#include "core/distributions.h"
#include "data/dataset.h"
#include "stats/dispersion/correlation.h"
#include "stats/dispersion/text_plots.h"

namespace talvex {

Matrix columnMeans(const Matrix& x) {
    Matrix result(1, x.cols());
    MatrixScope scope;
    const Matrix means = x.columnSums().divideScalar(x.rows());
    for (int j = 0; j < x.cols(); ++j) result[0][j] = means[0][j];
    return result;
}

Matrix columnSds(const Matrix& x) {
    Matrix result(1, x.cols());
    MatrixScope scope;
    const double n = x.rows();
    const Matrix sums = x.columnSums();
    const Matrix squares = x.columnSumsOfSquares();
    for (int j = 0; j < x.cols(); ++j) {
        const double mean = sums[0][j] / n;
        // The one-pass difference can fall a rounding error below zero for a
        // constant column; that is a zero variance, not a NaN.
        result[0][j] = std::sqrt(std::max(0.0, squares[0][j] / n - mean * mean));
    }
    return result;
}

namespace {

// Σ(x - mean)^power / (N - 1) / sd^power for each column.
Matrix standardizedMoment(const Matrix& x, int power) {
    Matrix result(1, x.cols());
    MatrixScope scope;
    const Matrix means = columnMeans(x);
    const Matrix sds = columnSds(x);
    const int n = x.rows(), m = x.cols();
    std::vector<double> sums(static_cast<std::size_t>(m), 0.0);
    for (int i = 0; i < n; ++i) {
        const double* row = x[i];
        for (int j = 0; j < m; ++j) {
            const double d = row[j] - means[0][j];
            const double d2 = d * d;
            sums[static_cast<std::size_t>(j)] += power == 3 ? d2 * d : d2 * d2;
        }
    }
    for (int j = 0; j < m; ++j) {
        const double sd = sds[0][j];
        const double scale = power == 3 ? sd * sd * sd : sd * sd * sd * sd;
        result[0][j] = sums[static_cast<std::size_t>(j)] / (n - 1) / scale;
    }
    return result;
}

}  // namespace

Matrix columnSkewness(const Matrix& x) { return standardizedMoment(x, 3); }

Matrix columnKurtosis(const Matrix& x) {
    Matrix result = standardizedMoment(x, 4);
    for (int j = 0; j < x.cols(); ++j) result[0][j] -= 3.0;
    return result;
}

Matrix centreColumns(const Matrix& x) {
    Matrix result(x.rows(), x.cols());
    MatrixScope scope;
    const Matrix means = columnMeans(x);
    for (int i = 0; i < x.rows(); ++i)
        for (int j = 0; j < x.cols(); ++j) result[i][j] = x[i][j] - means[0][j];
    return result;
}

Matrix standardizeColumns(const Matrix& x) {
    Matrix result(x.rows(), x.cols());
    MatrixScope scope;
    const Matrix means = columnMeans(x);
    const Matrix sds = columnSds(x);
    for (int i = 0; i < x.rows(); ++i)
        for (int j = 0; j < x.cols(); ++j) result[i][j] = (x[i][j] - means[0][j]) / sds[0][j];
    return result;
}

namespace {

// Rows per micro-panel of the pair sums, and micro-panels per cache block:
// a block of 128 panels of 100 variables is 400 KB and stays in L2 while
// every earlier row panel streams past it.
constexpr int kPanel = 8;
constexpr int kBlockPanels = 64;

// Rows of a (n x p) packed in panels of kPanel rows, variable-major inside a
// panel so the micro-kernel reads both operands contiguously. Rows past n
// are zero, so their cross products are zero and add nothing.
std::vector<double> packPanels(const Matrix& a, int panels) {
    const int n = a.rows(), p = a.cols();
    std::vector<double> packed(static_cast<std::size_t>(panels) * p * kPanel, 0.0);
    for (int i = 0; i < n; ++i) {
        double* panel = packed.data() + static_cast<std::size_t>(i / kPanel) * p * kPanel;
        const double* row = a[i];
        for (int k = 0; k < p; ++k) panel[k * kPanel + i % kPanel] = row[k];
    }
    return packed;
}

// One kPanel x kPanel tile of G = Y·Xcᵀ: row r of the tile is one vector
// accumulator, so the tile stays in registers for the whole sum over k.
using TileRow = double __attribute__((vector_size(kPanel * sizeof(double))));

inline void tileProducts(const double* __restrict y, const double* __restrict x, int p,
                         double* __restrict g) {
    TileRow acc[kPanel] = {};
    for (int k = 0; k < p; ++k) {
        TileRow xk;
        std::memcpy(&xk, x + k * kPanel, sizeof xk);
        const double* yk = y + k * kPanel;
        for (int r = 0; r < kPanel; ++r) acc[r] += yk[r] * xk;
    }
    std::memcpy(g, acc, sizeof acc);
}

struct PairSums {
    double cubes = 0.0;            // Σ over all i, j of g_ij³
    double diagonalSquares = 0.0;  // Σ over i of g_ii²
};

// g_ij = (x_i - x̄)ᵀ S⁻¹ (x_j - x̄) is symmetric in i and j, so each pair of
// distinct participants is visited once and counted twice.
// Cloned for wider vector units. Contraction into fused multiply-adds is
// switched off and each element adds its products in the same order, so
// every clone gives the same bits on every machine.
__attribute__((target_clones("avx512f", "avx2", "default"), optimize("fp-contract=off")))
PairSums mahalanobisPairSums(const Matrix& y, const Matrix& xc) {
    const int n = y.rows(), p = y.cols();
    const int panels = (n + kPanel - 1) / kPanel;
    const std::vector<double> yp = packPanels(y, panels);
    const std::vector<double> xp = packPanels(xc, panels);
    const std::size_t stride = static_cast<std::size_t>(p) * kPanel;
    PairSums sums;
    double g[kPanel * kPanel];
    for (int jb = 0; jb < panels; jb += kBlockPanels) {
        const int jEnd = std::min(panels, jb + kBlockPanels);
        double blockCubes = 0.0;
        for (int ip = 0; ip < jEnd; ++ip) {
            const double* yPanel = yp.data() + ip * stride;
            for (int jp = std::max(jb, ip); jp < jEnd; ++jp) {
                tileProducts(yPanel, xp.data() + jp * stride, p, g);
                double tile = 0.0;
                if (jp != ip) {
                    for (double v : g) tile += v * v * v;
                    blockCubes += 2.0 * tile;
                    continue;
                }
                for (int r = 0; r < kPanel; ++r) {
                    const double d = g[r * kPanel + r];
                    tile += d * d * d;
                    sums.diagonalSquares += d * d;
                    for (int c = r + 1; c < kPanel; ++c) {
                        const double v = g[r * kPanel + c];
                        tile += 2.0 * v * v * v;
                    }
                }
                blockCubes += tile;
            }
        }
        sums.cubes += blockCubes;
    }
    return sums;
}

}  // namespace

Matrix mardiaTest(const Matrix& x) {
    Matrix result(9, 1);
    MatrixScope scope;
    const double n = x.rows();
    const double p = x.cols();
    const Matrix xc = centreColumns(x);
    const Matrix s = covarianceOf(x).scale(n / (n - 1.0));
    const Matrix y = xc.multiply(s.inverse());
    const PairSums sums = mahalanobisPairSums(y, xc);

    const double b1 = sums.cubes / (n * n);
    const double b2 = sums.diagonalSquares / n;
    const double df = p * (p + 1.0) * (p + 2.0) / 6.0;
    const int dfInt = static_cast<int>(df);
    const double statistic = n * b1 / 6.0;
    const double k = (n + 3.0) * (n + 1.0) * (p + 1.0) / (n * ((n + 1.0) * (p + 1.0) - 6.0));
    const double corrected = n * k * b1 / 6.0;
    const double z = (b2 - p * (p + 2.0)) / std::sqrt(8.0 * p * (p + 2.0) / n);

    result[MardiaSkewness][0] = b1;
    result[MardiaSkewnessStatistic][0] = statistic;
    result[MardiaDf][0] = df;
    result[MardiaSkewnessP][0] = chiSquareUpperTail(statistic, dfInt);
    result[MardiaCorrectedStatistic][0] = corrected;
    result[MardiaCorrectedP][0] = chiSquareUpperTail(corrected, dfInt);
    result[MardiaKurtosis][0] = b2;
    result[MardiaKurtosisZ][0] = z;
    // One-sided.
    result[MardiaKurtosisP][0] = 1.0 - normalCdf(std::fabs(z));
    return result;
}

namespace {

void writeUnivariate(ReportWriter& report, const DataSet& data, const Matrix& x) {
    MatrixScope scope;
    const int n = x.rows(), m = x.cols();
    const Matrix means = columnMeans(x);
    const Matrix variances = covarianceOf(x).diag();
    const Matrix skewness = columnSkewness(x);
    const Matrix kurtosis = columnKurtosis(x);

    report.printf("UNIVARIATE DESCRIPTIVES \n\n");
    if (usesLabels(data)) {
        report.printf(
            "Variable                                        Mean       Confidence Interval     "
            "Variance   Skewness     Kurtosis\n");
        report.printf(
            "                                                           (95%%)                  "
            "                        (Zero centered)\n\n");
    } else {
        report.printf("Variable     Mean       Confidence Interval     Variance   Skewness     Kurtosis\n");
        report.printf("                        (95%%)                                          (Zero centered)\n\n");
    }

    bool advise = false;
    for (int j = 0; j < m; ++j) {
        const double mean = means[0][j];
        const double variance = variances[j][0];
        // sqrt(variance / (N - 1)) is the standard error of the mean when the
        // variance has divisor N.
        const double half = 1.96 * std::sqrt(variance / (n - 1));
        report.write(variableName(data, j));
        report.printf("% 7.3f     ", mean);
        report.printf("(% 7.2f  % 7.2f)", mean - half, mean + half);
        report.printf("     % 7.3f", variance);
        report.printf("    % 7.3f      % 7.3f", skewness[0][j], kurtosis[0][j]);
        report.printf("\n");
        if (std::fabs(skewness[0][j]) > 1.0 || std::fabs(kurtosis[0][j]) > 1.0) advise = true;
    }

    report.printf("\n");
    if (advise) {
        report.printf(
            "Polychoric correlation is advised when the univariate distributions of ordinal items are "
            "\nasymmetric or with excess of kurtosis. If both indices are lower than one in absolute value, "
            "\nthen Pearson correlation is advised. You can read more about this subject in:\n\n");
        report.printf(
            "Muth\xE9n, B., & Kaplan, D. (1985). A comparison of some methodologies for the factor analysis "
            "of non-normal Likert variables. British Journal of Mathematical and Statistical Psychology, "
            "38, 171-189.\n");
        report.printf(
            "Muth\xE9n, B., & Kaplan, D. (1992). A comparison of some methodologies for the factor analysis "
            "of non-normal Likert variables: A note on the size of the model. British Journal of "
            "Mathematical and Statistical Psychology, 45, 19-30.\n\n");
    }
}

}  // namespace

void writeMultivariateDescriptives(ReportWriter& report, const Matrix& t) {
    const double skewP = t[MardiaSkewnessP][0];
    const double correctedP = t[MardiaCorrectedP][0];
    const double kurtosisP = t[MardiaKurtosisP][0];

    report.printf("MULTIVARIATE DESCRIPTIVES \n\n");
    report.printf("Analysis of the Mardia's (1970) multivariate asymmetry skewness and kurtosis.\n\n");
    report.printf("                                            Coefficient        Statistic     df       P\n\n");
    if (skewP <= 0.05)
        report.printf("Skewness                                    % 11.3f      % 11.3f   %4.0f     %5.4f**\n",
                      t[MardiaSkewness][0], t[MardiaSkewnessStatistic][0], t[MardiaDf][0], skewP);
    else
        report.printf("Skewness                                    % 11.3f      % 11.3f   %4.0f     %5.4f\n",
                      t[MardiaSkewness][0], t[MardiaSkewnessStatistic][0], t[MardiaDf][0], skewP);
    // The correction's denominator N((N + 1)(p + 1) - 6) vanishes for two
    // participants and one variable: that statistic does not exist.
    if (!std::isfinite(t[MardiaCorrectedStatistic][0]))
        report.printf("SKewness corrected for small sample         % 11.3f      not defined for so few participants\n",
                      t[MardiaSkewness][0]);
    else if (correctedP <= 0.05)
        report.printf("SKewness corrected for small sample         % 11.3f      % 11.3f   %4.0f     %5.4f**\n",
                      t[MardiaSkewness][0], t[MardiaCorrectedStatistic][0], t[MardiaDf][0], correctedP);
    else
        report.printf("SKewness corrected for small sample         % 11.3f      % 11.3f   %4.0f     %5.4f\n",
                      t[MardiaSkewness][0], t[MardiaCorrectedStatistic][0], t[MardiaDf][0], correctedP);
    if (kurtosisP <= 0.05)
        report.printf("Kurtosis                                    % 11.3f      % 11.3f            %5.4f**\n",
                      t[MardiaKurtosis][0], t[MardiaKurtosisZ][0], kurtosisP);
    else
        report.printf("Kurtosis                                    % 11.3f      % 11.3f            %5.4f\n",
                      t[MardiaKurtosis][0], t[MardiaKurtosisZ][0], kurtosisP);
    // The mark above is inclusive; the footnote needs a strictly smaller P.
    if (skewP < 0.05 || correctedP < 0.05 || kurtosisP < 0.05) report.printf("\n** Significant at 0.05\n");
    report.printf("\n");
    report.separator();
}

void writeDescriptives(ReportWriter& report, const DataSet& data, const Matrix& x, DispersionType type) {
    writeUnivariate(report, data, x);
    if (type == PolychoricCorrelation) {
        report.printf("\n\n");
        writeOrdinalBarCharts(report, data, x);
    } else {
        report.separator();
    }
    MatrixScope scope;
    writeMultivariateDescriptives(report, mardiaTest(x));
}

}  // namespace talvex
