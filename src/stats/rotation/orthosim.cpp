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

// One majorised step: the polar factor of Aᵀ(G + αB), G the gradient of
// log det(QᵀQ) − log det diag(QᵀQ) with respect to B (up to a factor 4),
// shifted by a multiple of B large enough for the criterion to rise.
Matrix orthosimStep(const Matrix& a, const Matrix& t) {
    const int m = t.rows();
    Matrix next(m, m);
    MatrixScope scope;
    const Matrix b = a.multiply(t);
    const Matrix q = b.hadamard(b);
    const Matrix c = q.transpose().multiply(q);
    const Matrix g = b.hadamard(q.multiply(c.inverse().subtract(inverseDiagonal(c))));
    const double bMax = largestAbsolute(b);
    const double alpha = bMax > 0 ? 2.0 * largestAbsolute(g) / bMax : 0.0;
    const Matrix target = a.transpose().multiply(g.add(b.scale(alpha)));
    Matrix u(m, m), s(m, 1), v(m, m);
    target.svd(u, s, v);
    const Matrix polar = u.multiply(v.transpose());
    for (int i = 0; i < m; ++i)
        for (int j = 0; j < m; ++j) next[i][j] = polar[i][j];
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
        if (normalize) a = a.normalizeRowsSafe();
        Matrix t = identity(m);
        StartOutcome outcome;
        for (int sweep = 0;; ++sweep) {
            if (sweep == kSweepLimit) {
                outcome.capped = true;
                break;
            }
            const Matrix next = orthosimStep(a, t);
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
    if (normalize) b = scaleRows(b, rowLengths(loadings));
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
