#include "stats/rotation/simplimax.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <vector>

#include "stats/rotation/rotation.h"

namespace talvex {

namespace {

// Iterations of the alternation between weights and fit, and sweeps of one
// fit for fixed weights.
constexpr int kSimplimaxIterations = 49;
constexpr int kStepSweeps = 51;

void copyElements(Matrix& to, const Matrix& from) {
    for (int i = 0; i < to.rows(); ++i)
        for (int j = 0; j < to.cols(); ++j) to[i][j] = from[i][j];
}

// Weight 1 for the `salient` largest squared loadings, 0 elsewhere. Equal
// squares are taken in row-major order, as repeated searches for the largest
// remaining square would take them.
Matrix salientWeights(const Matrix& a, int salient) {
    const int p = a.rows(), m = a.cols();
    std::vector<int> cells(static_cast<std::size_t>(p * m));
    std::iota(cells.begin(), cells.end(), 0);
    const auto square = [&](int cell) {
        const double x = a[cell / m][cell % m];
        return x * x;
    };
    std::stable_sort(cells.begin(), cells.end(),
                     [&](int x, int y) { return square(x) > square(y); });
    Matrix w(p, m);
    const int count = std::clamp(salient, 0, p * m);
    for (int n = 0; n < count; ++n) {
        const int cell = cells[static_cast<std::size_t>(n)];
        w[cell / m][cell % m] = 1.0;
    }
    return w;
}

// Σ over the cells of weight 0 of aᵢⱼ².
double zeroCellSquares(const Matrix& a, const Matrix& w) {
    double f = 0.0;
    for (int i = 0; i < a.rows(); ++i)
        for (int j = 0; j < a.cols(); ++j)
            if (w[i][j] == 0.0) f += a[i][j] * a[i][j];
    return f;
}

// The transformation of the clever start: the method run on L with its
// argument fixed (gamma 0 for the orthomax and oblimin members, k = 4 for
// Promax) and Simplimax's own iterations, convergence and random starts.
Matrix cleverStartTransformation(const Matrix& loadings, int cleverStart, int maxIterations,
                                 double convergence, int randomStarts) {
    const int m = loadings.cols();
    RotationMethod method = cleverStart;
    if (method == 10 || method == 11 || method == 12) method -= 9;
    if (method == 19 || method == 20 || method == 21) method -= 3;
    if (method <= 0 || method >= kSimplimax) return identity(m);
    RotationParameterTable table;
    RotationParameters& p = table.simplicity[static_cast<std::size_t>(method)];
    p.maxIterations = maxIterations;
    p.convergence = static_cast<float>(convergence);
    p.randomStarts = randomStarts;
    p.parameter = kRotationMethods[static_cast<std::size_t>(method)].routine ==
                          RotationRoutine::Promax
                      ? 4.0f
                      : 0.0f;
    const RotatedSolution clever = rotateSolution(loadings, method, table);
    return clever.transformation.valid() ? clever.transformation : identity(m);
}

}  // namespace

SimplimaxSolution simplimaxStep(const Matrix& loadings, const Matrix& weights,
                                const Matrix& transformation, const Matrix& factorCorrelations,
                                double convergence) {
    const int p = loadings.rows(), m = loadings.cols();
    SimplimaxSolution result{Matrix(p, m), Matrix(m, m), Matrix(m, m), Matrix(p, m), 0.0};
    MatrixScope scope;
    Matrix a = loadings.multiply(transformation);
    Matrix t = transformation.copy();
    Matrix phi = factorCorrelations.copy();
    double f = zeroCellSquares(a, weights);
    for (int sweep = 0; sweep < kStepSweeps; ++sweep) {
        for (int j = 0; j < m; ++j)
            for (int k = 0; k < m; ++k) {
                if (k == j) continue;
                double aj = 0.0, bk = 0.0, dk = 0.0;
                for (int i = 0; i < p; ++i) {
                    const double x = a[i][j];
                    const double freeJ = 1.0 - weights[i][j], freeK = 1.0 - weights[i][k];
                    aj += freeJ * x * x;
                    bk += freeK * x * x;
                    dk += freeK * a[i][k] * x;
                }
                // No zero cell meets column j: the criterion does not depend on b.
                if (!(aj + bk > 0)) continue;
                const double rho = phi[j][k];
                const double b = (dk - rho * aj) / (bk + aj);
                const double s = std::sqrt(b * b + 2.0 * b * rho + 1.0);
                if (!(s > 0)) continue;
                for (int i = 0; i < p; ++i) {
                    a[i][k] -= b * a[i][j];
                    a[i][j] *= s;
                }
                for (int r = 0; r < m; ++r) {
                    t[r][k] -= b * t[r][j];
                    t[r][j] *= s;
                }
                for (int r = 0; r < m; ++r)
                    if (r != j) phi[j][r] = (b * phi[k][r] + phi[j][r]) / s;
                for (int r = 0; r < m; ++r) phi[r][j] = phi[j][r];
                phi[j][j] = 1.0;
            }
        const double next = zeroCellSquares(a, weights);
        const double change = std::fabs(f - next);
        f = next;
        if (f < 0.1 * convergence || change < convergence) break;
    }
    const Matrix sums = a.columnSums();
    for (int j = 0; j < m; ++j) {
        if (!(sums[0][j] < 0)) continue;
        for (int i = 0; i < p; ++i) a[i][j] = -a[i][j];
        for (int r = 0; r < m; ++r) t[r][j] = -t[r][j];
    }
    copyElements(result.pattern, a);
    copyElements(result.transformation, t);
    copyElements(result.factorCorrelations, transformationCorrelations(t));
    copyElements(result.weights, weights);
    result.criterion = zeroCellSquares(a, weights);
    return result;
}

SimplimaxSolution simplimaxRotation(const Matrix& loadings, int zeros, int maxIterations,
                                    double convergence, int randomStarts, int cleverStart) {
    const int p = loadings.rows(), m = loadings.cols();
    const int salient = p * m - zeros;
    SimplimaxSolution result{Matrix(p, m), Matrix(m, m), Matrix(m, m), Matrix(p, m), 0.0};
    Matrix keepT(m, m), keepW(p, m);
    MatrixScope scope;
    const Matrix clever =
        cleverStartTransformation(loadings, cleverStart, maxIterations, convergence, randomStarts);
    int startIndex = 0;
    const auto run = [&](const Matrix& randomStart) {
        const Matrix start = startIndex++ == 0 ? clever : randomStart;
        Matrix t = start;
        Matrix phi = transformationCorrelations(start);
        Matrix w = salientWeights(loadings.multiply(start), salient);
        double f = zeroCellSquares(loadings.multiply(start), w);
        for (int iteration = 0; iteration < kSimplimaxIterations; ++iteration) {
            const SimplimaxSolution step = simplimaxStep(loadings, w, t, phi, convergence);
            t = step.transformation;
            phi = step.factorCorrelations;
            w = salientWeights(step.pattern, salient);
            const double previous = f;
            f = zeroCellSquares(step.pattern, w);
            if (std::fabs(previous - f) <= convergence * previous) break;
        }
        StartOutcome outcome;
        outcome.first = t;
        outcome.second = w;
        outcome.criterion = f;
        return outcome;
    };
    const int starts = (randomStarts > 0 ? randomStarts : 0) + 1;
    const BestStart best = bestOfStarts(m, starts, Better::Smaller, run, keepT, keepW);
    copyElements(result.transformation, keepT);
    copyElements(result.pattern, loadings.multiply(keepT));
    copyElements(result.factorCorrelations, transformationCorrelations(keepT));
    copyElements(result.weights, keepW);
    result.criterion = best.criterion;
    return result;
}

}  // namespace talvex
