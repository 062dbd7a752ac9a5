#include "stats/rotation/orthomax.h"

#include <cmath>
#include <vector>

namespace talvex {

namespace {

// Rotates columns j and k of a (and of t) by the planar angle that maximises
// the criterion for that pair.
void rotatePair(Matrix& a, Matrix& t, int j, int k, double gamma) {
    const int p = a.rows(), m = t.rows();
    std::vector<double> u(static_cast<std::size_t>(p)), v(static_cast<std::size_t>(p));
    double sumU = 0.0, sumV = 0.0;
    for (int i = 0; i < p; ++i) {
        const double x = a[i][j], y = a[i][k];
        u[static_cast<std::size_t>(i)] = x * x - y * y;
        v[static_cast<std::size_t>(i)] = 2.0 * x * y;
        sumU += u[static_cast<std::size_t>(i)];
        sumV += v[static_cast<std::size_t>(i)];
    }
    const double meanU = sumU / p, meanV = sumV / p;
    double suu = 0.0, svv = 0.0, suv = 0.0;
    for (int i = 0; i < p; ++i) {
        const double cu = u[static_cast<std::size_t>(i)] - meanU;
        const double cv = v[static_cast<std::size_t>(i)] - meanV;
        suu += cu * cu;
        svv += cv * cv;
        suv += cu * cv;
    }
    // The centred sums are the varimax statistics; the criterion with weight
    // gamma adds (1 − gamma)/p times the products of the plain sums.
    if (gamma != 1.0) {
        const double w = (1.0 - gamma) / p;
        suu += w * sumU * sumU;
        svv += w * sumV * sumV;
        suv += w * sumU * sumV;
    }
    const double n = suu - svv;
    const double e = -suv;
    const double r = std::sqrt(n * n + 4.0 * e * e);
    // No direction improves this pair (a pair of zero columns, or a flat
    // criterion): leave it as it stands.
    if (!(r > 1e-11 * (std::fabs(suu) + std::fabs(svv)))) return;
    double q = std::sqrt((r + n) / (2.0 * r));
    if (e < 0) q = -q;
    const double s = std::sqrt(0.5 - 0.5 * q);
    const double c = std::sqrt(0.5 * (q + 1.0));
    const int first = q >= 0 ? j : k;
    const int second = q >= 0 ? k : j;
    for (int i = 0; i < p; ++i) {
        const double x = a[i][j], y = a[i][k];
        a[i][first] = c * x - s * y;
        a[i][second] = s * x + c * y;
    }
    for (int i = 0; i < m; ++i) {
        const double x = t[i][j], y = t[i][k];
        t[i][first] = c * x - s * y;
        t[i][second] = s * x + c * y;
    }
}

}  // namespace

double orthomaxCriterion(const Matrix& a, double gamma) {
    const int p = a.rows();
    double f = 0.0;
    for (int j = 0; j < a.cols(); ++j) {
        double sum = 0.0;
        for (int i = 0; i < p; ++i) sum += a[i][j] * a[i][j];
        const double mean = sum / p;
        double column = 0.0;
        for (int i = 0; i < p; ++i) {
            const double d = a[i][j] * a[i][j] - mean;
            column += d * d;
        }
        // Σ(a² − mean)² = Σa⁴ − (Σa²)²/p; other weights add (1 − gamma)/p·(Σa²)².
        if (gamma != 1.0) column += (1.0 - gamma) * sum * mean;
        f += column;
    }
    return f;
}

RoutineResult orthomaxRotation(const Matrix& loadings, double gamma, double convergence,
                               int randomStarts, bool normalize) {
    const int m = loadings.cols();
    RoutineResult result;
    result.transformation = Matrix(m, m);
    Matrix none;
    const auto run = [&](const Matrix& start) {
        Matrix a = loadings.multiply(start);
        if (normalize) a = kaiserNormalize(a);
        Matrix t = start.copy();
        double f = orthomaxCriterion(a, gamma);
        StartOutcome outcome;
        for (int sweep = 0;; ++sweep) {
            if (sweep == kSweepLimit) {
                outcome.capped = true;
                break;
            }
            for (int j = 0; j < m - 1; ++j)
                for (int k = j + 1; k < m; ++k) rotatePair(a, t, j, k, gamma);
            const double previous = f;
            f = orthomaxCriterion(a, gamma);
            if (!(f - previous > convergence * std::fabs(f))) break;
        }
        outcome.first = t;
        outcome.criterion = f;
        return outcome;
    };
    const BestStart best = bestOfStarts(m, orthogonalStartCount(randomStarts), Better::Larger, run,
                                        result.transformation, none);
    result.criterion = best.criterion;
    result.cappedStarts = best.cappedStarts;
    // Reflect the factors whose loadings sum to a negative value.
    MatrixScope scope;
    const Matrix sums = loadings.multiply(result.transformation).columnSums();
    for (int j = 0; j < m; ++j)
        if (sums[0][j] < 0)
            for (int i = 0; i < m; ++i) result.transformation[i][j] = -result.transformation[i][j];
    return result;
}

RoutineResult varimaxRotation(const Matrix& loadings, double convergence, int randomStarts,
                              bool normalize) {
    return orthomaxRotation(loadings, 1.0, convergence, randomStarts, normalize);
}

RoutineResult weightedOrthomax(const Matrix& loadings, double gamma, double convergence,
                               int randomStarts) {
    const int m = loadings.cols();
    RoutineResult result;
    result.transformation = Matrix(m, m);
    MatrixScope scope;
    const WeightedAxes axes = weightedPrincipalAxes(loadings);
    const RoutineResult inner = orthomaxRotation(axes.weighted, gamma, convergence, randomStarts,
                                                 false);
    const Matrix rotatedAxes = axes.axes.multiply(inner.transformation);
    const Matrix t = leastSquaresTransformation(loadings, rotatedAxes);
    for (int i = 0; i < m; ++i)
        for (int j = 0; j < m; ++j) result.transformation[i][j] = t[i][j];
    result.criterion = orthomaxCriterion(rotatedAxes, gamma);
    result.cappedStarts = inner.cappedStarts;
    return result;
}

RoutineResult weightedVarimax(const Matrix& loadings, double convergence, int randomStarts) {
    return weightedOrthomax(loadings, 1.0, convergence, randomStarts);
}

}  // namespace talvex
