#include "stats/extraction/ml.h"

#include <cmath>
#include <cstddef>
#include <utility>
#include <vector>

namespace talvex {

namespace {

std::size_t at(int i, int j, int width) {
    return static_cast<std::size_t>(i) * static_cast<std::size_t>(width) + static_cast<std::size_t>(j);
}

// The loadings that maximise the likelihood for fixed uniquenesses psi2:
// from the r smallest eigenvalues gamma_j of Psi R^-1 Psi (Psi = diag of the
// square roots of psi2) and their eigenvectors Omega, L = Psi Omega
// diag(sqrt(c_j - 1)) with c_j = 1/gamma_j (1.01 when below 1).
struct Decomposition {
    std::vector<double> omega;     // p x r, smallest eigenvalue first
    std::vector<double> c;         // r
    std::vector<double> loadings;  // p x r
};

Decomposition decompose(const Matrix& rInverse, const std::vector<double>& psi2, int factors) {
    const int p = rInverse.rows();
    Decomposition d{std::vector<double>(at(p, 0, factors)), std::vector<double>(static_cast<std::size_t>(factors)),
                    std::vector<double>(at(p, 0, factors))};
    MatrixScope scope;
    std::vector<double> root(static_cast<std::size_t>(p));
    for (int i = 0; i < p; ++i) root[static_cast<std::size_t>(i)] = std::sqrt(psi2[static_cast<std::size_t>(i)]);
    Matrix scaled(p, p);
    for (int i = 0; i < p; ++i)
        for (int k = 0; k < p; ++k)
            scaled[i][k] = root[static_cast<std::size_t>(i)] * rInverse[i][k] * root[static_cast<std::size_t>(k)];
    Matrix values(p, 1), vectors(p, p);
    scaled.eigenSymmetric(values, vectors);
    for (int j = 0; j < factors; ++j) {
        const int column = p - 1 - j;  // eigenvalues come in decreasing order
        double c = 1.0 / values[column][0];
        if (c < 1) c = 1.01;
        d.c[static_cast<std::size_t>(j)] = c;
        const double weight = std::sqrt(c - 1);
        for (int i = 0; i < p; ++i) {
            d.omega[at(i, j, factors)] = vectors[i][column];
            d.loadings[at(i, j, factors)] = root[static_cast<std::size_t>(i)] * vectors[i][column] * weight;
        }
    }
    return d;
}

Matrix toMatrix(const std::vector<double>& v, int rows, int cols) {
    Matrix m(rows, cols);
    for (int i = 0; i < rows; ++i)
        for (int j = 0; j < cols; ++j) m[i][j] = v[at(i, j, cols)];
    return m;
}

double discrepancy(const std::vector<double>& loadings, const std::vector<double>& psi2, const Matrix& s,
                   int factors) {
    MatrixScope scope;
    const int p = s.rows();
    Matrix column(p, 1);
    for (int i = 0; i < p; ++i) column[i][0] = psi2[static_cast<std::size_t>(i)];
    return mlDiscrepancy(toMatrix(loadings, p, factors), column, s);
}

}  // namespace

double mlDiscrepancy(const Matrix& loadings, const Matrix& uniquenesses, const Matrix& s) {
    MatrixScope scope;
    const int p = s.rows();
    Matrix sigma = loadings.multiply(loadings.transpose());
    for (int i = 0; i < p; ++i) sigma[i][i] += uniquenesses[i][0];
    const Matrix product = s.multiply(sigma.inverse());
    return product.trace() - std::log(product.determinant()) - p;
}

MlSolution extractMl(const Matrix& r, int factors) {
    const int p = r.rows();
    const std::size_t n = static_cast<std::size_t>(p);
    MlSolution result;
    Matrix loadingsOut(p, factors), uniquenessesOut(p, 1);
    MatrixScope scope;
    const Matrix rInverse = r.inverse();

    std::vector<double> theta(n), psi2(n), bound(n), free(n, 1.0);
    for (int i = 0; i < p; ++i) {
        const std::size_t u = static_cast<std::size_t>(i);
        psi2[u] = (1.0 - factors / (2.0 * p)) / rInverse[i][i];
        theta[u] = std::log(psi2[u]);
        // Relative to the variance, so that the scale of the scores does not
        // decide between a solution and a Heywood case.
        bound[u] = std::log(kMlUniquenessBound * r[i][i]);
    }
    std::vector<double> previousLoadings(at(p, 0, factors), 0.0), previousPsi2 = psi2;
    double previousF = discrepancy(previousLoadings, psi2, r, factors);

    Decomposition current = decompose(rInverse, psi2, factors);
    double currentF = discrepancy(current.loadings, psi2, r, factors);
    std::vector<double> trialTheta(n), trialFree(n), trialPsi2(n);
    for (int iteration = 1; iteration <= kMlIterationLimit; ++iteration) {
        MatrixScope iterationScope;
        const std::vector<double>& loadings = current.loadings;
        const std::vector<double>& omega = current.omega;

        std::vector<double> gradient(n);
        for (int i = 0; i < p; ++i) {
            double s = 0.0;
            for (int j = 0; j < factors; ++j) {
                const double w = omega[at(i, j, factors)];
                s += (current.c[static_cast<std::size_t>(j)] - 1) * w * w;
            }
            gradient[static_cast<std::size_t>(i)] = 1 + s - r[i][i] / psi2[static_cast<std::size_t>(i)];
        }
        Matrix hessian(p, p);
        for (int i = 0; i < p; ++i)
            for (int k = 0; k < p; ++k) {
                double s = 0.0;
                for (int j = 0; j < factors; ++j) s += omega[at(i, j, factors)] * omega[at(k, j, factors)];
                double h = (i == k ? 1.0 : 0.0) - s;
                h *= h;
                if (i == k) h += gradient[static_cast<std::size_t>(i)];
                hessian[i][k] = h * free[static_cast<std::size_t>(i)] * free[static_cast<std::size_t>(k)];
            }
        const Matrix inverse = hessian.sweepInverse();
        std::vector<double> step(n, 0.0);
        for (int i = 0; i < p; ++i) {
            double s = 0.0;
            for (int k = 0; k < p; ++k) s += inverse[i][k] * gradient[static_cast<std::size_t>(k)];
            step[static_cast<std::size_t>(i)] = s;
        }

        // The Newton step, halved while it raises the discrepancy of the
        // solution it leads to (the last halving is taken whatever F is).
        Decomposition trial;
        double trialF = 0.0;
        double scale = 1.0;
        for (int halving = 0;; ++halving) {
            for (std::size_t i = 0; i < n; ++i) {
                const double t = theta[i] - scale * step[i];
                trialFree[i] = t > bound[i] ? 1.0 : 0.0;
                trialTheta[i] = trialFree[i] != 0.0 ? t : bound[i];
                trialPsi2[i] = std::exp(trialTheta[i]);
            }
            trial = decompose(rInverse, trialPsi2, factors);
            trialF = discrepancy(trial.loadings, trialPsi2, r, factors);
            if (trialF <= currentF || halving == kMlStepHalvings) break;
            scale /= 2;
        }
        theta = trialTheta;
        free = trialFree;
        psi2 = trialPsi2;

        const double f = discrepancy(loadings, psi2, r, factors);
        double change = 0.0;
        for (std::size_t e = 0; e < loadings.size(); ++e) {
            const double d = loadings[e] - previousLoadings[e];
            change += d * d;
        }
        for (std::size_t i = 0; i < n; ++i) {
            const double d = psi2[i] - previousPsi2[i];
            change += d * d;
        }
        const bool converged = std::sqrt(change) < 1e-5 && std::fabs(f - previousF) < 1e-5;
        for (std::size_t i = 0; i < n; ++i)
            if (free[i] == 0.0) {
                result.iterations = iteration;
                return result;  // a uniqueness at its bound
            }
        result.iterations = iteration;
        if (converged) {
            for (int i = 0; i < p; ++i) {
                for (int j = 0; j < factors; ++j) loadingsOut[i][j] = loadings[at(i, j, factors)];
                uniquenessesOut[i][0] = psi2[static_cast<std::size_t>(i)];
            }
            result.loadings = loadingsOut;
            result.uniquenesses = uniquenessesOut;
            result.discrepancy = f;
            return result;
        }
        previousLoadings = loadings;
        previousPsi2 = psi2;
        previousF = f;
        current = std::move(trial);
        currentF = trialF;
    }
    return result;
}

}  // namespace talvex
