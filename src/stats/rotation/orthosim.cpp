#include "stats/rotation/orthosim.h"

#include <cmath>

namespace talvex {

namespace {

// 1/x on the diagonal of a symmetric matrix, 0 where x is 0 (a zero column).
Matrix inverseDiagonal(const Matrix& c) {
    const int m = c.rows();
    Matrix d(m, m);
    for (int j = 0; j < m; ++j) d[j][j] = c[j][j] > 0 ? 1.0 / c[j][j] : 0.0;
    return d;
}

double largestAbsolute(const Matrix& a) {
    double largest = 0.0;
    for (int i = 0; i < a.rows(); ++i)
        for (int j = 0; j < a.cols(); ++j) largest = std::fmax(largest, std::fabs(a[i][j]));
    return largest;
}

// One ascent step: the polar factor of AᵀG + αT, G the gradient of
// log det(QᵀQ) − log det diag(QᵀQ) with respect to B = A·T (up to a factor
// 4). The shift α starts at half the one the previous step needed and
// doubles (from the size of AᵀG) until the criterion does not fall, so the
// iteration never descends; T itself comes back when no step helps.
Matrix orthosimStep(const Matrix& a, const Matrix& t, double& criterion, double& shift) {
    const int m = t.rows();
    Matrix next = t.copy();
    MatrixScope scope;
    const Matrix b = a.multiply(t);
    const Matrix q = b.hadamard(b);
    const Matrix c = q.transpose().multiply(q);
    const Matrix gradient =
        a.transpose().multiply(b.hadamard(q.multiply(c.inverse().subtract(inverseDiagonal(c)))));
    const double scale = largestAbsolute(gradient);
    if (!(scale > 0)) return next;
    double alpha = 0.5 * shift;
    for (int attempt = 0; attempt < 64; ++attempt) {
        MatrixScope attemptScope;
        Matrix u(m, m), s(m, 1), v(m, m);
        gradient.add(t.scale(alpha)).svd(u, s, v);
        const Matrix polar = u.multiply(v.transpose());
        const double f = orthosimCriterion(a.multiply(polar));
        if (f >= criterion) {
            criterion = f;
            shift = alpha;
            for (int i = 0; i < m; ++i)
                for (int j = 0; j < m; ++j) next[i][j] = polar[i][j];
            break;
        }
        alpha = alpha < 0.5 * scale ? scale : 2.0 * alpha;
    }
    return next;
}

}  // namespace

double orthosimCriterion(const Matrix& b) {
    MatrixScope scope;
    const Matrix q = b.hadamard(b);
    const Matrix c = q.transpose().multiply(q);
    const int m = c.rows();
    Matrix scaling(m, m);
    for (int j = 0; j < m; ++j) scaling[j][j] = c[j][j] > 0 ? 1.0 / std::sqrt(c[j][j]) : 0.0;
    return scaling.multiply(c).multiply(scaling).determinant();
}

RoutineResult orthosimRotation(const Matrix& loadings, double convergence, int randomStarts,
                               bool normalize) {
    const int p = loadings.rows(), m = loadings.cols();
    RoutineResult result;
    result.transformation = identity(m);
    Matrix winner(p, m), none;
    const auto run = [&](const Matrix& start) {
        Matrix a = loadings.multiply(start);
        if (normalize) a = kaiserNormalize(a);
        Matrix t = identity(m);
        double f = orthosimCriterion(a), shift = 0.0;
        StartOutcome outcome;
        for (int sweep = 0;; ++sweep) {
            if (sweep == kSweepLimit) {
                outcome.capped = true;
                break;
            }
            const Matrix next = orthosimStep(a, t, f, shift);
            const double change = largestAbsolute(t.subtract(next));
            t = next;
            if (change <= convergence) break;
        }
        outcome.first = a.multiply(t);
        outcome.criterion = orthosimCriterion(outcome.first);
        return outcome;
    };
    const BestStart best = bestOfStarts(m, orthogonalStartCount(randomStarts), Better::Larger, run,
                                        winner, none);
    result.criterion = best.criterion;
    result.cappedStarts = best.cappedStarts;
    // A negative determinant is rounding of a degenerate solution: keep the input.
    if (best.criterion < 0) return result;
    MatrixScope scope;
    Matrix b = winner;
    const Matrix sums = b.columnSums();
    for (int j = 0; j < m; ++j)
        if (sums[0][j] < 0)
            for (int i = 0; i < p; ++i) b[i][j] = -b[i][j];
    if (normalize) b = scaleRows(b, kaiserLengths(loadings));
    const Matrix t = leastSquaresTransformation(loadings, b);
    for (int i = 0; i < m; ++i)
        for (int j = 0; j < m; ++j) result.transformation[i][j] = t[i][j];
    return result;
}

RoutineResult weightedOrthosim(const Matrix& loadings, double convergence, int randomStarts) {
    const int m = loadings.cols();
    RoutineResult result;
    result.transformation = Matrix(m, m);
    MatrixScope scope;
    const WeightedAxes axes = weightedPrincipalAxes(loadings);
    const RoutineResult inner = orthosimRotation(axes.weighted, convergence, randomStarts, false);
    const Matrix rotatedAxes = axes.axes.multiply(inner.transformation);
    const Matrix t = leastSquaresTransformation(loadings, rotatedAxes);
    for (int i = 0; i < m; ++i)
        for (int j = 0; j < m; ++j) result.transformation[i][j] = t[i][j];
    result.criterion = orthosimCriterion(rotatedAxes);
    result.cappedStarts = inner.cappedStarts;
    return result;
}

}  // namespace talvex
