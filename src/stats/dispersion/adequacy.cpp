#include "stats/dispersion/adequacy.h"

#include <cmath>
#include <vector>

#include "report/report_writer.h"
#include "core/distributions.h"
#include "stats/dispersion/correlation.h"
#include "stats/dispersion/degeneracy.h"
#include "stats/dispersion/smoothing.h"

namespace talvex {

namespace {

// 1/√x, and 0 where x is not positive (no finite scale exists).
std::vector<double> inverseRootsOfDiagonal(const Matrix& a) {
    std::vector<double> d(static_cast<std::size_t>(a.rows()));
    for (int i = 0; i < a.rows(); ++i) d[static_cast<std::size_t>(i)] = a[i][i] > 0 ? 1.0 / std::sqrt(a[i][i]) : 0.0;
    return d;
}

}  // namespace

Matrix partialCorrelation(const Matrix& s) {
    const int m = s.cols();
    Matrix q(m, m);
    MatrixScope scope;
    // A data matrix (participants by variables) stands for its Pearson
    // correlations.
    const Matrix p = (s.rows() == s.cols() ? s : correlationOf(s)).sweepInverse();
    const std::vector<double> d = inverseRootsOfDiagonal(p);
    for (int i = 0; i < m; ++i)
        for (int j = 0; j < m; ++j)
            q[i][j] = i == j ? 1.0 : -(d[static_cast<std::size_t>(i)] * p[i][j]) * d[static_cast<std::size_t>(j)];
    return q;
}

Matrix correlationForm(const Matrix& m) {
    const int n = m.rows();
    Matrix c(n, n);
    const std::vector<double> d = inverseRootsOfDiagonal(m);
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) c[i][j] = d[static_cast<std::size_t>(i)] * m[i][j] * d[static_cast<std::size_t>(j)];
    return c;
}

double bartlettStatistic(const Matrix& r, int n) {
    const double m = r.rows();
    // Adding 0.0 turns the −0.0 of a unit determinant into 0.0.
    return -(n - 1 - (2.0 * m + 5.0) / 6.0) * std::log(r.determinant()) + 0.0;
}

BartlettTest bartlettTest(const Matrix& r, int n) {
    BartlettTest t;
    const double m = r.rows();
    t.statistic = bartlettStatistic(r, n);
    t.degreesOfFreedom = m * (m - 1.0) / 2.0;
    t.p = chiSquareUpperTail(t.statistic, static_cast<int>(t.degreesOfFreedom));
    return t;
}

double kmoIndex(const Matrix& r) {
    const int m = r.rows();
    MatrixScope scope;
    const Matrix q = partialCorrelation(r);
    double a = 0.0, b = 0.0;
    for (int i = 0; i < m; ++i)
        for (int j = 0; j < m; ++j) {
            if (i == j) continue;
            a += r[i][j] * r[i][j];
            b += q[i][j] * q[i][j];
        }
    // The small constant keeps an identity matrix (a = b = 0) defined.
    return a / (a + b + 0.000001);
}

const char* kmoLabel(double kmo) {
    if (kmo >= 0.9) return "(very good)\n";
    if (kmo >= 0.8) return "(good)\n";
    if (kmo >= 0.7) return "(fair)\n";
    if (kmo >= 0.6) return "(mediocre)\n";
    if (kmo >= 0.5) return "(bad)\n";
    return "(inaceptable)\n";
}

PrintedAdequacy writeAdequacy(ReportWriter& report, const Matrix& m, int n) {
    MatrixScope scope;
    PrintedAdequacy printed;
    printed.bartlettShown = n > 0;
    report.write("ADEQUACY OF THE CORRELATION MATRIX \n\n");
    if (!nonPositiveVariances(m).empty()) {
        // No correlation form exists.
        const char* why = "not computed: a variance is not positive\n";
        report.printf("Determinant of the matrix     = %s", why);
        if (n > 0) report.printf("Bartlett's statistic          = %s", why);
        report.printf("Kaiser-Meyer-Olkin (KMO) test = %s", why);
        report.write("\n");
        report.separator();
        return printed;
    }
    // Every statistic of the section is taken on the correlation form, so
    // that none depends on the units of measurement.
    const Matrix c = correlationForm(m);
    const double determinant = c.determinant();
    // A singular matrix (a variable that is a combination of others) has no
    // Bartlett statistic, and its KMO would come from partial correlations
    // of ±1; rounding may still leave its determinant just above 0, so the
    // smallest eigenvalue decides.
    const bool finite = std::isfinite(determinant);
    const bool singular = finite && !(smallestEigenvalue(c) >= kSingularEigenvalue);
    const double kmo = kmoIndex(c);
    // A single variable has no correlation to test.
    const bool alone = c.rows() < 2;
    const char* aloneWhy = "not computed: a single variable has no correlations\n";
    if (finite) {
        report.printf("Determinant of the matrix     = %17.15f\n", determinant);
        printed.determinant = determinant;
    } else {
        report.write("Determinant of the matrix     = not computed: the matrix holds values that are not numbers\n");
    }
    if (n > 0) {
        const double dimension = c.rows();
        if (alone) {
            report.printf("Bartlett's statistic          = %s", aloneWhy);
        } else if (!finite) {
            report.write("Bartlett's statistic          = not computed: the matrix holds values that are not "
                         "numbers\n");
        } else if (singular) {
            report.write("Bartlett's statistic          = not computed: the matrix is singular\n");
        } else if (!(n - 1 - (2.0 * dimension + 5.0) / 6.0 > 0)) {
            report.write("Bartlett's statistic          = not computed: too few participants for the number "
                         "of variables\n");
        } else {
            const BartlettTest t = bartlettTest(c, n);
            printed.bartlett = t;
            report.printf("Bartlett's statistic          = %7.1f (df = %5.0f; P = %7.6f)\n", t.statistic,
                          t.degreesOfFreedom, t.p);
        }
    }
    if (alone) {
        report.printf("Kaiser-Meyer-Olkin (KMO) test = %s", aloneWhy);
    } else if (singular) {
        report.write("Kaiser-Meyer-Olkin (KMO) test = not computed: the matrix is singular\n");
    } else if (std::isfinite(kmo)) {
        report.printf("Kaiser-Meyer-Olkin (KMO) test = %7.5f %s", kmo, kmoLabel(kmo));
        printed.kmo = kmo;
    } else {
        report.write("Kaiser-Meyer-Olkin (KMO) test = not computed: the partial correlations are not numbers\n");
    }
    report.write("\n");
    report.separator();
    return printed;
}

}  // namespace talvex
