#include "stats/rotation/oblimin.h"

#include <algorithm>
#include <cmath>

namespace talvex {

namespace {

constexpr double kPi = 3.14159265358979323846;

using Vector = std::vector<double>;

double& at(Vector& v, int i) { return v[static_cast<std::size_t>(i)]; }

// The working state of one start: pattern, factor correlations, and the
// column sums c, fourth-power terms d and row sums h kept up to date.
struct Working {
    Matrix a;
    Matrix phi;
    Vector c, d, h;
    double w;  // gamma / p

    void refreshColumn(int j) {
        double sum2 = 0.0, sum4 = 0.0;
        for (int i = 0; i < a.rows(); ++i) {
            const double s = a[i][j] * a[i][j];
            sum2 += s;
            sum4 += s * s;
        }
        at(c, j) = sum2;
        at(d, j) = sum4 - w * sum2 * sum2;
    }
};

// Q(b) = d·(b⁴/4 + k1·b³/3 + k2·b²/2 + k3·b): the change of the criterion
// (up to a positive factor) when the step with multiple b is taken.
double quartic(double d, double k1, double k2, double k3, double b) {
    return d * (b * b * b * b / 4.0 + k1 * b * b * b / 3.0 + k2 * b * b / 2.0 + k3 * b);
}

// One single-axis step for the ordered pair (j, k); true when it was applied.
bool obliminStep(Working& s, int j, int k, double threshold) {
    const int p = s.a.rows(), m = s.a.cols();
    const double dj = s.d[static_cast<std::size_t>(j)];
    // With dⱼ ≤ 0 the stationary points do not lower the criterion.
    if (!(dj > 0)) return false;
    double totalC = 0.0;
    for (int l = 0; l < m; ++l) totalC += s.c[static_cast<std::size_t>(l)];
    const double cj = s.c[static_cast<std::size_t>(j)], ck = s.c[static_cast<std::size_t>(k)];
    const double rest = totalC - cj - ck;
    double s1 = 0.0, xy2 = 0.0, x3y = 0.0, x2h = 0.0, xyh = 0.0;
    for (int i = 0; i < p; ++i) {
        const double x = s.a[i][j], y = s.a[i][k];
        const double hOther = s.h[static_cast<std::size_t>(i)] - x * x - y * y;
        s1 += x * y;
        xy2 += x * x * y * y;
        x3y += x * x * x * y;
        x2h += x * x * hOther;
        xyh += x * y * hOther;
    }
    const double w = s.w;
    const double s2 = xy2 - w * cj * ck;
    const double s3 = x3y - w * cj * s1;
    const double s4 = x2h - w * cj * rest;
    const double s5 = xyh - w * s1 * rest;
    const double phi = s.phi[j][k];
    const double k1 = 1.5 * (phi - s3 / dj);
    const double k2 = 0.5 * (dj - 4.0 * phi * s3 + 2.0 * s4 + s2) / dj;
    const double k3 = 0.5 * ((s4 + s2) * phi - s3 - s5) / dj;

    // The real root with the smallest Q, taken only when it lowers Q below 0.
    double b = 0.0, best = 0.0;
    for (const double root : realCubicRoots(k1, k2, k3)) {
        const double q = quartic(dj, k1, k2, k3, root);
        if (q < best) {
            best = q;
            b = root;
        }
    }
    if (b == 0.0) return false;
    const double scale = std::sqrt(std::fabs(b * b + 2.0 * b * phi + 1.0));
    if (!(std::fabs((1.0 + b * phi) / scale) <= threshold)) return false;

    for (int i = 0; i < p; ++i) {
        const double x = s.a[i][j], y = s.a[i][k];
        const double hOther = s.h[static_cast<std::size_t>(i)] - x * x - y * y;
        const double nx = scale * x, ny = y - b * x;
        s.a[i][j] = nx;
        s.a[i][k] = ny;
        s.h[static_cast<std::size_t>(i)] = hOther + nx * nx + ny * ny;
    }
    s.refreshColumn(j);
    s.refreshColumn(k);
    for (int r = 0; r < m; ++r) s.phi[r][j] = (b / scale) * s.phi[r][k] + s.phi[r][j] / scale;
    for (int r = 0; r < m; ++r) s.phi[j][r] = s.phi[r][j];
    s.phi[j][j] = 1.0;
    return true;
}

}  // namespace

double obliminCriterion(const Matrix& a, double gamma) {
    const int p = a.rows(), m = a.cols();
    const double w = gamma / p;
    double f = 0.0;
    for (int j = 0; j < m; ++j)
        for (int k = 0; k < m; ++k) {
            if (j == k) continue;
            double cross = 0.0, cj = 0.0, ck = 0.0;
            for (int i = 0; i < p; ++i) {
                const double x = a[i][j] * a[i][j], y = a[i][k] * a[i][k];
                cross += x * y;
                cj += x;
                ck += y;
            }
            f += cross - w * cj * ck;
        }
    return f;
}

std::vector<double> realCubicRoots(double k1, double k2, double k3) {
    // b = t − k1/3 turns the cubic into t³ + P·t + R.
    const double shift = k1 / 3.0;
    const double pp = k2 - k1 * shift;
    const double rr = 2.0 * shift * shift * shift - shift * k2 + k3;
    const double disc = 0.25 * rr * rr + pp * pp * pp / 27.0;
    std::vector<double> roots;
    if (disc > 0) {
        // One real root; the sum of cube roots in the form that avoids
        // cancellation.
        const double u = std::cbrt(-0.5 * rr - std::copysign(std::sqrt(disc), rr));
        const double t = u != 0.0 ? u - pp / (3.0 * u) : 0.0;
        roots.push_back(t - shift);
    } else if (pp == 0.0) {
        roots.push_back(-shift);  // a triple root
    } else {
        const double radius = 2.0 * std::sqrt(-pp / 3.0);
        const double cosine = std::clamp(1.5 * rr / pp * std::sqrt(-3.0 / pp), -1.0, 1.0);
        const double angle = std::acos(cosine) / 3.0;
        for (int n = 0; n < 3; ++n)
            roots.push_back(radius * std::cos(angle - 2.0 * kPi * n / 3.0) - shift);
        std::sort(roots.begin(), roots.end());
    }
    return roots;
}

RoutineResult obliminRotation(const Matrix& loadings, double gamma, double convergence,
                              int randomStarts, bool normalize) {
    const int p = loadings.rows(), m = loadings.cols();
    RoutineResult result;
    result.transformation = Matrix(m, m);
    result.factorCorrelations = Matrix(m, m);
    Matrix winner(p, m);
    // A step turns factor j by the angle whose cosine is (1 + bφ)/s; smaller
    // turns than this count as converged.
    const double threshold = 1.0 - convergence * convergence;
    const auto run = [&](const Matrix& start) {
        Working s;
        s.a = loadings.multiply(start);
        if (normalize) s.a = kaiserNormalize(s.a);
        s.phi = identity(m);
        s.w = gamma / p;
        s.c.assign(static_cast<std::size_t>(m), 0.0);
        s.d.assign(static_cast<std::size_t>(m), 0.0);
        s.h.assign(static_cast<std::size_t>(p), 0.0);
        for (int j = 0; j < m; ++j) s.refreshColumn(j);
        for (int i = 0; i < p; ++i)
            for (int j = 0; j < m; ++j) at(s.h, i) += s.a[i][j] * s.a[i][j];
        StartOutcome outcome;
        for (int sweep = 0;; ++sweep) {
            if (sweep == kSweepLimit) {
                outcome.capped = true;
                break;
            }
            int applied = 0;
            for (int j = 0; j < m; ++j)
                for (int k = 0; k < m; ++k)
                    if (k != j && obliminStep(s, j, k, threshold)) ++applied;
            if (applied == 0) break;
        }
        const Matrix sums = s.a.columnSums();
        for (int j = 0; j < m; ++j) {
            if (!(sums[0][j] < 0)) continue;
            for (int i = 0; i < p; ++i) s.a[i][j] = -s.a[i][j];
            for (int r = 0; r < m; ++r) {
                s.phi[r][j] = -s.phi[r][j];
                s.phi[j][r] = -s.phi[j][r];
            }
        }
        outcome.first = s.a;
        outcome.second = s.phi;
        outcome.criterion = obliminCriterion(s.a, gamma);
        return outcome;
    };
    const BestStart best = bestOfStarts(m, obliqueStartCount(randomStarts), Better::Smaller, run,
                                        winner, result.factorCorrelations);
    result.criterion = best.criterion;
    result.cappedStarts = best.cappedStarts;
    MatrixScope scope;
    const Matrix pattern = normalize ? scaleRows(winner, kaiserLengths(loadings)) : winner;
    const Matrix t = leastSquaresTransformation(loadings, pattern);
    for (int i = 0; i < m; ++i)
        for (int j = 0; j < m; ++j) result.transformation[i][j] = t[i][j];
    return result;
}

RoutineResult weightedOblimin(const Matrix& loadings, double gamma, double convergence,
                              int randomStarts) {
    const int m = loadings.cols();
    RoutineResult result;
    result.transformation = Matrix(m, m);
    result.factorCorrelations = Matrix(m, m);
    MatrixScope scope;
    const WeightedAxes axes = weightedPrincipalAxes(loadings);
    const RoutineResult inner = obliminRotation(axes.weighted, gamma, convergence, randomStarts,
                                                false);
    const Matrix rotated = scaleRows(axes.weighted.multiply(inner.transformation), axes.undo);
    const Matrix t = leastSquaresTransformation(loadings, rotated);
    const Matrix phi = transformationCorrelations(t);
    for (int i = 0; i < m; ++i)
        for (int j = 0; j < m; ++j) {
            result.transformation[i][j] = t[i][j];
            result.factorCorrelations[i][j] = phi[i][j];
        }
    result.criterion = obliminCriterion(rotated, gamma);
    result.cappedStarts = inner.cappedStarts;
    return result;
}

}  // namespace talvex
