#include "stats/dimensionality/hull.h"

#include <cmath>

#include "core/random.h"
#include "report/report_writer.h"
#include "stats/dispersion/adequacy.h"
#include "stats/dispersion/correlation.h"
#include "stats/extraction/ml.h"
#include "stats/extraction/mrfa.h"
#include "stats/extraction/uls_pca.h"

namespace talvex {

namespace {

constexpr double kUlsTolerance = 1e-8;

// Eigenvalues of a symmetric matrix, decreasing.
std::vector<double> eigenvaluesOf(const Matrix& m) {
    const int p = m.rows();
    MatrixScope scope;
    Matrix values(p, 1), vectors(p, p);
    m.eigenSymmetric(values, vectors);
    std::vector<double> result(static_cast<std::size_t>(p));
    for (int i = 0; i < p; ++i) result[static_cast<std::size_t>(i)] = values[i][0];
    return result;
}

// tr(R S⁻¹) + ln|S| − ln|R| − p.
double discrepancy(const Matrix& s, const Matrix& r, int p) {
    MatrixScope scope;
    const double trace = r.multiply(s.inverse()).trace();
    return trace + std::log(std::fabs(s.determinant())) - std::log(std::fabs(r.determinant())) - p;
}

// Bartlett's multiplier of a k-factor chi-square, (N − 1) − (2p + 5)/6 − 2k/3.
double chiSquareMultiplier(int n, int p, int k) {
    return (n - 1.0) - (2.0 * p + 5.0) / 6.0 - 2.0 * k / 3.0;
}

// Degrees of freedom of k factors of p variables.
int degreesOfFreedom(int p, int k) { return (p - k + 1) * (p - k) / 2 - p; }

const char* indexLine(HullIndex index) {
    switch (index) {
        case CAF:
            return "\tGoodness-of-fit index:                  CAF (Common part Accounted For).\n";
        case RMSEA:
            return "\tGoodness-of-fit index:                  RMSEA (Root Mean Square Error of Approximation).\n";
        case CFI:
        case Optimal:
            break;
    }
    return "\tGoodness-of-fit index:                  CFI (Comparative Fit Index).\n";
}

const char* methodName(ExtractionMethod method) {
    switch (method) {
        case PCA:
            return "PCA";
        case ML:
            return "ML";
        case MRFA:
            return "MRFA";
        case ULS:
            break;
    }
    return "ULS";
}

void writeTitle(ReportWriter& report) {
    report.write("HULL METHOD FOR SELECTING THE NUMBER OF COMMON FACTORS (HULL)\n");
    report.write("Varnholt, Zazadidov, Dodaz (2011)\n\n");
}

}  // namespace

int hullParameters(int p, int k) { return k == 0 ? p : (k + 1) * p - (k - 1) * k / 2; }

Matrix meanRandomEigenvalues(int n, int p, int samples) {
    Matrix means(p, 1);
    std::vector<double> sums(static_cast<std::size_t>(p), 0.0);
    // Each sample is drawn in turn from the one stream; only its eigenvalues
    // outlive it.
    for (int s = 0; s < samples; ++s) {
        MatrixScope scope;
        const std::vector<double> values = eigenvaluesOf(correlationOf(randomNormalMatrix(n, p)));
        for (int i = 0; i < p; ++i) sums[static_cast<std::size_t>(i)] += values[static_cast<std::size_t>(i)];
    }
    for (int i = 0; i < p; ++i) means[i][0] = sums[static_cast<std::size_t>(i)] / samples;
    return means;
}

int hullUpperBound(const Matrix& q, int n) {
    const int p = q.rows();
    MatrixScope scope;
    const std::vector<double> real = eigenvaluesOf(q);
    const Matrix means = meanRandomEigenvalues(n, p, kHullRandomSamples);
    int bound = 0;
    for (int i = 0; i < p; ++i)
        if (real[static_cast<std::size_t>(i)] > means[i][0]) ++bound;
    return bound;
}

bool isAboveLine(double f1, double f2, double f3, double g1, double g2, double g3) {
    return f2 > f1 + (f3 - f1) * (g2 - g1) / (g3 - g1);
}

double rmseaFromDiscrepancy(int n, int p, int r, double f) {
    const double chiSquare = f * chiSquareMultiplier(n, p, r);
    const int df = degreesOfFreedom(p, r);
    // A saturated (or over-saturated) model reproduces R exactly; dividing
    // by its degrees of freedom would give an infinite RMSEA.
    if (df <= 0) return 0.0;
    const double radicand = (chiSquare / (n - 1.0) - df / (n - 1.0)) / df;
    return radicand < 0 ? 0.0 : std::sqrt(radicand);
}

double hullCfi(const Matrix& s, const Matrix& r, int n, int p, int k) {
    const double chiSquare = discrepancy(s, r, p) * chiSquareMultiplier(n, p, k);
    const double nullChiSquare = -std::log(r.determinant()) * chiSquareMultiplier(n, p, 0);
    const double df = degreesOfFreedom(p, k);
    const double nullDf = p * (p - 1) / 2;
    return std::fabs(((nullChiSquare - nullDf) - (chiSquare - df)) / (nullChiSquare - nullDf));
}

double hullRmsea(const Matrix& s, const Matrix& r, int n, int p, int k) {
    return rmseaFromDiscrepancy(n, p, k, discrepancy(s, r, p));
}

Matrix hullExtraction(const Matrix& r, int factors, ExtractionMethod method) {
    switch (method) {
        case PCA:
            return extractPca(r, factors).loadings;
        case ML:
            return extractMl(r, factors).loadings;
        case MRFA:
            return extractMrfa(r, factors, 1).loadings;
        case ULS:
            break;
    }
    // The chi-square of ULS is not used here (a sample size of 0 skips it).
    return extractUls(r, factors, kUlsTolerance, 0.0).loadings;
}

double hullFit(const Matrix& r, const Matrix& a, int n, HullIndex index) {
    const int p = r.rows();
    MatrixScope scope;
    Matrix s = a.multiply(a.transpose());
    if (index == CAF) {
        Matrix e = r.subtract(s);
        for (int i = 0; i < p; ++i) e[i][i] = 1.0;
        return 1.0 - kmoIndex(e);
    }
    for (int i = 0; i < p; ++i) s[i][i] = r[i][i];
    if (index == RMSEA) return 1.0 - hullRmsea(s, r, n, p, a.cols());
    return hullCfi(s, r, n, p, a.cols());
}

double hullZeroFactorFit(const Matrix& r, const Matrix& q, int n, HullIndex index) {
    const int p = r.rows();
    if (index == CAF) return 1.0 - kmoIndex(r);
    if (index == RMSEA) {
        const double f = r.trace() - std::log(q.determinant()) - p;
        return 1.0 - rmseaFromDiscrepancy(n, p, 0, f);
    }
    return 0.0;
}

HullCurve hullCurve(const Matrix& r, const Matrix& q, int n, ExtractionMethod method, HullIndex index,
                    int bound, const HullExtractor& extract) {
    const int p = r.rows();
    HullCurve curve;
    curve.method = method;
    curve.index = index;
    for (;;) {
        curve.points.assign(1, HullPoint{0, hullZeroFactorFit(r, q, n, curve.index), double(p)});
        double best = curve.points.front().fit;
        bool failed = false;
        for (int k = 1;; ++k) {
            double fit = 0.0;
            {
                MatrixScope scope;
                const Matrix a = extract(r, k, curve.method);
                if (!a.valid()) {
                    failed = true;
                    break;
                }
                fit = hullFit(r, a, n, curve.index);
            }
            curve.points.push_back(HullPoint{k, fit, double(hullParameters(p, k))});
            if (fit > best) best = fit;
            if ((k > bound && fit == best) || k >= p - 1) break;
        }
        // ML or MRFA that does not converge: the whole curve again with ULS
        // and CFI (ULS always gives loadings).
        if (!failed || curve.fellBack) return curve;
        curve.method = ULS;
        curve.index = CFI;
        curve.fellBack = true;
    }
}

std::vector<HullPoint> upperHull(const std::vector<HullPoint>& points) {
    std::vector<HullPoint> hull;
    for (const HullPoint& point : points)
        if (hull.empty() || point.fit > hull.back().fit) hull.push_back(point);
    for (bool removed = true; removed;) {
        removed = false;
        for (std::size_t j = 1; j + 1 < hull.size(); ++j) {
            const HullPoint &a = hull[j - 1], &b = hull[j], &c = hull[j + 1];
            if (!isAboveLine(a.fit, b.fit, c.fit, a.parameters, b.parameters, c.parameters)) {
                hull.erase(hull.begin() + static_cast<std::ptrdiff_t>(j));
                removed = true;
                break;
            }
        }
    }
    return hull;
}

std::vector<double> screeTestValues(const std::vector<HullPoint>& hull) {
    std::vector<double> scree(hull.size(), 0.0);
    for (std::size_t i = 1; i + 1 < hull.size(); ++i) {
        const HullPoint &a = hull[i - 1], &b = hull[i], &c = hull[i + 1];
        scree[i] = ((b.fit - a.fit) / (b.parameters - a.parameters)) /
                   ((c.fit - b.fit) / (c.parameters - b.parameters));
    }
    return scree;
}

int hullAdvisedFactors(const std::vector<HullPoint>& hull, const std::vector<double>& scree) {
    int advised = 0;
    double largest = 0.0;
    for (std::size_t i = 1; i + 1 < hull.size(); ++i)
        if (scree[i] > largest) {
            largest = scree[i];
            advised = hull[i].factors;
        }
    return advised < 1 ? 1 : advised;
}

HullAdvice writeHullSection(ReportWriter& report, const HullCurve& curve, HullIndex index,
                            ExtractionMethod method) {
    writeTitle(report);
    report.write("Implementation details:\n\n");
    report.write(indexLine(index));
    report.printf("\tMethod for dimensions extraction:       %s.\n\n\n", methodName(method));
    if (curve.fellBack) {
        report.printf("WARNING: Hull based on %s could not converge. It has been computed based on ULS.\n",
                      methodName(method));
        report.write(index == CFI ? "\n\n" : "         The goodness-of-fit index used is CFI.\n\n\n");
    }
    report.write("Number of   Goodness-of-fit      Degrees of      Scree test   \n");
    report.write("factors     values               freedom         values       \n\n");
    HullAdvice advice;
    advice.hull = upperHull(curve.points);
    advice.scree = screeTestValues(advice.hull);
    advice.advised = hullAdvisedFactors(advice.hull, advice.scree);
    advice.index = curve.index;
    advice.fellBack = curve.fellBack;
    advice.solutions = curve.points;
    if (curve.index == RMSEA)
        for (HullPoint& point : advice.solutions) point.fit = 1.0 - point.fit;
    const int advised = advice.advised;
    for (std::size_t i = 0; i < advice.hull.size(); ++i) {
        HullPoint& point = advice.hull[i];
        // The fit column shows the index itself, so the RMSEA, not 1 − RMSEA.
        if (curve.index == RMSEA) point.fit = 1.0 - point.fit;
        report.printf(point.factors == advised ? "%4.0f         %4.3f               %4.0f              %6.3f*\n"
                                               : "%4.0f         %4.3f               %4.0f              %6.3f\n",
                      double(point.factors), point.fit, point.parameters, advice.scree[i]);
    }
    report.write("       \n");
    report.printf("\n*  Advised number of common factors: %4i", advised);
    report.write("\n\n");
    report.separator();
    return advice;
}

std::optional<HullAdvice> hullMethod(const Matrix& x, const Matrix& r, int n, ExtractionMethod method,
                                     DispersionType type, HullIndex index, ReportWriter& report) {
    const int p = r.rows();
    if (p < kHullFewestVariables) {
        // One factor is then already the saturated model: there is no curve
        // whose elbow could be found.
        writeTitle(report);
        report.printf("Not computed: the method needs at least %i variables, and %i %s analysed.\n\n",
                      kHullFewestVariables, p, p == 1 ? "is" : "are");
        report.separator();
        return std::nullopt;
    }
    if (n < 2) {
        // Neither the random samples of the bound nor the chi-squares exist.
        writeTitle(report);
        report.printf("Not computed: the method needs a sample of at least 2 participants, and the "
                      "sample size is %i.\n\n",
                      n);
        report.separator();
        return std::nullopt;
    }
    MatrixScope scope;
    // Every index compares R with the identity as its null model, so a
    // covariance matrix is analysed as the correlations it implies.
    const Matrix correlations = correlationForm(r);
    const Matrix q = type == UserMatrix ? correlations : correlationOf(x);
    const int bound = hullUpperBound(q, n);
    const HullCurve curve = hullCurve(correlations, q, n, method, index, bound);
    return writeHullSection(report, curve, index, method);
}

}  // namespace talvex
