#include "stats/dispersion/smoothing.h"

#include <cmath>
#include <vector>

#include "report/report_writer.h"

namespace talvex {

namespace {

// Elements at or beyond ±1 (possible in the correlation form of an
// indefinite covariance matrix, or in a user's matrix) have no finite z.
// They enter the first pass at this bound, z ≈ 7.25, so every element
// reaches 0 after a bounded number of passes and the loop must end.
// Elements inside (−1, 1) keep their own z, however close to ±1, unless the
// step is lost to rounding (near z ≈ 18, 0.9999999999999998 stays put and
// the loop would never end): such an element restarts from this bound too.
constexpr double kLargestCorrelation = 0.999999;

// Beyond this |z|, (e^(2z) − 1)/(e^(2z) + 1) already rounds to ±1.
constexpr double kSaturatedZ = 20.0;

double shrinkTowardZero(double r, double delta, double threshold) {
    if (std::fabs(r) <= threshold) return 0.0;
    if (r >= 1.0) r = kLargestCorrelation;
    if (r <= -1.0) r = -kLargestCorrelation;
    double z = fisherZ(r);
    double v = r < 0 ? fisherZInverse(z + delta) : fisherZInverse(z - delta);
    if (std::fabs(v) >= std::fabs(r)) {
        z = fisherZ(r < 0 ? -kLargestCorrelation : kLargestCorrelation);
        v = r < 0 ? fisherZInverse(z + delta) : fisherZInverse(z - delta);
    }
    return v;
}

}  // namespace

double smallestEigenvalue(const Matrix& r) {
    const int m = r.rows();
    MatrixScope scope;
    Matrix values(m, 1), vectors(m, m);
    r.eigenSymmetricLeading(values, vectors, m);
    return values[m - 1][0];
}

bool needsSmoothing(const Matrix& r) { return smallestEigenvalue(r) < 0; }

double fisherZ(double r) { return 0.5 * (std::log(1.0 + r) - std::log(1.0 - r)); }

double fisherZInverse(double z) {
    if (z > kSaturatedZ) return 1.0;
    if (z < -kSaturatedZ) return -1.0;
    const double e = std::exp(2.0 * z);
    return (e - 1.0) / (e + 1.0);
}

SmoothingResult smoothBelow(const Matrix& r, int n, double floor) {
    const int m = r.rows();
    SmoothingResult out;
    out.matrix = r.copy();
    MatrixScope scope;

    const double delta = 0.25 / std::sqrt(static_cast<double>(n >= 1 ? n : 1));
    const double threshold = fisherZInverse(delta);
    const double before = smallestEigenvalue(r);
    out.before = out.after = before;
    if (floor <= 0 && !(before < 0)) return out;

    // Work on the correlation form; for a correlation matrix the scale
    // factors are exactly 1 and it is r itself.
    std::vector<double> sd(static_cast<std::size_t>(m));
    bool unitDiagonal = true;
    for (int i = 0; i < m; ++i) {
        if (!(r[i][i] > 0)) {
            out.matrix = Matrix();
            return out;
        }
        sd[static_cast<std::size_t>(i)] = std::sqrt(r[i][i]);
        if (r[i][i] != 1.0) unitDiagonal = false;
    }
    Matrix c(m, m);
    for (int i = 0; i < m; ++i) {
        c[i][i] = 1.0;
        for (int j = 0; j < m; ++j)
            if (j != i) c[i][j] = r[i][j] / (sd[static_cast<std::size_t>(i)] * sd[static_cast<std::size_t>(j)]);
    }
    const double lambda0 = unitDiagonal ? before : smallestEigenvalue(c);
    out.before = out.after = lambda0;
    if (!(lambda0 < floor) && !(lambda0 < 0)) return out;

    // Each pass moves every off-diagonal element a further delta toward 0
    // on the z scale; once all are within the threshold the matrix is the
    // identity, so the loop ends.
    double lambda = lambda0;
    while (lambda < 0 || lambda < floor) {
        for (int i = 0; i < m; ++i)
            for (int j = i + 1; j < m; ++j) {
                const double v = shrinkTowardZero(c[i][j], delta, threshold);
                c[i][j] = v;
                c[j][i] = v;
            }
        ++out.passes;
        lambda = smallestEigenvalue(c);
        out.after = lambda;
        if (lambda < lambda0) {
            out.matrix = Matrix();
            return out;
        }
    }

    for (int i = 0; i < m; ++i)
        for (int j = 0; j < m; ++j)
            if (j != i) out.matrix[i][j] = c[i][j] * sd[static_cast<std::size_t>(i)] * sd[static_cast<std::size_t>(j)];
    return out;
}

Matrix smoothDispersion(const Matrix& r, int n) { return smoothBelow(r, n, 0.0).matrix; }

void writeSmoothingApplied(ReportWriter& report) {
    report.write(
        "\nWARNING: Correlation matrix is not positive-definite,\n"
        "         Smothing algorithm was applied \n"
        "         (Devlin, Gnanadesikan, & Kettenring, 1975; Devlin, Gnanadesikan, & Kettenring, 1981)\n\n\n");
    report.separator();
}

int correlationsErased(const Matrix& before, const Matrix& after, double least) {
    int erased = 0;
    for (int i = 0; i < before.rows(); ++i)
        for (int j = i + 1; j < before.cols(); ++j) {
            const double scale = std::sqrt(before[i][i] * before[j][j]);
            if (!(scale > 0)) continue;
            if (std::fabs(before[i][j] / scale) >= least && after[i][j] == 0.0) ++erased;
        }
    return erased;
}

void writeSmoothingErased(ReportWriter& report, int passes, int erased) {
    report.printf(
        "NOTE: Smoothing needed %i passes and set %i correlations of %.2f or more (in absolute value)\n"
        "      to 0: the matrix analysed differs much from the matrix given. Correlations that\n"
        "      contradict each other force the smoothing to shrink every correlation this far.\n\n",
        passes, erased, kNotableCorrelation);
    report.separator();
}

}  // namespace talvex
