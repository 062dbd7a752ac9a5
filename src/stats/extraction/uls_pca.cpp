#include "stats/extraction/uls_pca.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "core/dense_inverse.h"

namespace talvex {

namespace {

void copyInto(Matrix& target, const Matrix& source) {
    for (int i = 0; i < source.rows(); ++i)
        for (int j = 0; j < source.cols(); ++j) target[i][j] = source[i][j];
}

// Row-major working copies for the sweeps: the inner loops run over plain
// arrays instead of matrix handles.
struct SweepData {
    int p;
    int k;
    std::vector<double> a;   // p x k loadings
    std::vector<double> rt;  // p x p, row i holds column i of R

    SweepData(const Matrix& r, const Matrix& loadings)
        : p(loadings.rows()),
          k(loadings.cols()),
          a(static_cast<std::size_t>(p) * k),
          rt(static_cast<std::size_t>(p) * p) {
        for (int i = 0; i < p; ++i) {
            for (int c = 0; c < k; ++c) a[index(i, c, k)] = loadings[i][c];
            for (int q = 0; q < p; ++q) rt[index(i, q, p)] = r[q][i];
        }
    }
    static std::size_t index(int i, int j, int width) {
        return static_cast<std::size_t>(i) * static_cast<std::size_t>(width) + static_cast<std::size_t>(j);
    }
    const double* row(int i) const { return a.data() + index(i, 0, k); }
    double* row(int i) { return a.data() + index(i, 0, k); }
    // Element (q, i) of R.
    double rAt(int q, int i) const { return rt[index(i, q, p)]; }
};

// Sum over i != j of (R_ij - (A A')_ij)². Summed row by row in the order of the
// matrix expression sumOfSquares(R0 - A A' + diag(A A')), whose diagonal terms
// are exactly zero, so the value is the same to the last bit.
double offDiagonalLoss(const SweepData& w) {
    double f = 0.0;
    for (int i = 0; i < w.p; ++i) {
        const double* ai = w.row(i);
        for (int j = 0; j < w.p; ++j) {
            if (j == i) continue;
            const double* aj = w.row(j);
            double fitted = 0.0;
            for (int c = 0; c < w.k; ++c) fitted += ai[c] * aj[c];
            const double e = w.rAt(i, j) - fitted;
            f += e * e;
        }
    }
    return f;
}

// Row i of A replaced by the least-squares fit of column i of R off the
// diagonal on the other rows, bounded by the variable's variance R(i, i).
class RowSolver {
public:
    explicit RowSolver(int factors)
        : k_(factors),
          inverse_(factors),
          gram_(static_cast<std::size_t>(factors) * factors),
          gramInverse_(gram_.size()),
          rhs_(static_cast<std::size_t>(factors)),
          x_(static_cast<std::size_t>(factors)) {}

    void update(SweepData& w, int i) {
        const int p = w.p;
        // G = B'B and B'y, with B = A without row i and y = column i of R
        // without its diagonal element: the terms of row i are exact zeros in
        // the full products, so leaving them out changes nothing. Each element
        // is still summed over the rows in order; G is symmetric term by term.
        std::fill(gram_.begin(), gram_.end(), 0.0);
        std::fill(rhs_.begin(), rhs_.end(), 0.0);
        const double* column = w.rt.data() + SweepData::index(i, 0, p);
        for (int q = 0; q < p; ++q) {
            if (q == i) continue;
            const double* aq = w.row(q);
            for (int c = 0; c < k_; ++c) {
                const double v = aq[c];
                double* g = gram_.data() + static_cast<std::size_t>(c) * k_;
                for (int d = c; d < k_; ++d) g[d] += v * aq[d];
                rhs_[static_cast<std::size_t>(c)] += v * column[q];
            }
        }
        for (int c = 0; c < k_; ++c)
            for (int d = 0; d < c; ++d)
                gram_[static_cast<std::size_t>(c) * k_ + d] = gram_[static_cast<std::size_t>(d) * k_ + c];
        inverse_.invert(gram_, gramInverse_);
        double norm2 = 0.0;
        for (int c = 0; c < k_; ++c) {
            double s = 0.0;
            for (int d = 0; d < k_; ++d) s += gramInverse_[static_cast<std::size_t>(c) * k_ + d] * rhs_[static_cast<std::size_t>(d)];
            x_[static_cast<std::size_t>(c)] = s;
            norm2 += s * s;
        }
        spanned_.clear();
        if (!std::isfinite(norm2)) norm2 = minimumNormSolution();
        const double variance = w.rAt(i, i);
        if (norm2 > variance) {
            if (spanned_.empty()) {
                boundRow(w, i, variance);
                // A G that is singular in all but rounding passes the
                // inverse with huge values and fails the bounded solution.
                if (!finiteRow() && minimumNormSolution() > variance) boundRowInSpan(w, i, variance);
            } else {
                boundRowInSpan(w, i, variance);
            }
        }
        // Should every solution fail, the row keeps its loadings.
        if (!finiteRow()) return;
        double* ai = w.row(i);
        for (int c = 0; c < k_; ++c) ai[c] = x_[static_cast<std::size_t>(c)];
    }

private:
    bool finiteRow() const {
        for (double v : x_)
            if (!std::isfinite(v)) return false;
        return true;
    }

    // x = G⁺·B'y with the pseudo-inverse of G = B'B, for a G that is singular
    // (a factor with no loading outside row i, for instance, leaves a zero
    // row and column in G and its inverse is not finite). The row's loading
    // on a direction that the other rows do not span is then 0, the smallest
    // solution that fits as well as any other. Returns x'x.
    double minimumNormSolution() {
        MatrixScope scope;
        Matrix g(k_, k_), values(k_, 1), vectors(k_, k_);
        for (int c = 0; c < k_; ++c)
            for (int d = 0; d < k_; ++d) g[c][d] = gram_[static_cast<std::size_t>(c) * k_ + d];
        g.eigenSymmetric(values, vectors);
        const double largest = values[0][0];
        std::fill(x_.begin(), x_.end(), 0.0);
        spanned_.clear();
        for (int e = 0; e < k_; ++e) {
            const double value = values[e][0];
            // Eigenvalues that rounding alone keeps from 0 count as 0.
            if (!(value > largest * 1e-12) || !(value > 0)) continue;
            for (int c = 0; c < k_; ++c) spanned_.push_back(vectors[c][e]);
            double projection = 0.0;
            for (int d = 0; d < k_; ++d) projection += vectors[d][e] * rhs_[static_cast<std::size_t>(d)];
            for (int c = 0; c < k_; ++c) x_[static_cast<std::size_t>(c)] += vectors[c][e] * projection / value;
        }
        double norm2 = 0.0;
        for (double v : x_) norm2 += v * v;
        return norm2;
    }

    // Heywood row: the constrained solution with x'x = R(i, i), found as
    // sqrt(R(i, i)) times the unit-norm solution for y / sqrt(R(i, i)).
    void boundRow(const SweepData& w, int i, double variance) {
        if (!(variance > 0)) {
            for (double& v : x_) v = 0.0;
            return;
        }
        const double root = std::sqrt(variance);
        if (k_ == 1) {
            // One factor: the constraint fixes the size; the sign stays that
            // of the unconstrained loading.
            x_[0] = x_[0] < 0 ? -root : root;
            return;
        }
        MatrixScope scope;
        const int p = w.p;
        Matrix b(p, k_);
        for (int q = 0; q < p; ++q)
            for (int c = 0; c < k_; ++c) b[q][c] = q == i ? 0.0 : w.row(q)[c];
        Matrix y(p, 1);
        for (int q = 0; q < p; ++q) y[q][0] = q == i ? 0.0 : w.rAt(q, i) / root;
        const Matrix unit = solveRowUnitNorm(b, y);
        for (int c = 0; c < k_; ++c) x_[static_cast<std::size_t>(c)] = unit[c][0] * root;
    }

    // The Heywood row of a singular G: outside the directions the other rows
    // span, x only adds to x'x without changing the fit, so the constrained
    // solution lies in their span V (k x q, the eigenvectors kept by
    // minimumNormSolution). It is V·z with z the constrained solution for B·V,
    // which has full column rank; for q = 1 the constraint fixes the size and
    // the sign stays that of the minimum-norm solution.
    void boundRowInSpan(const SweepData& w, int i, double variance) {
        const int q = static_cast<int>(spanned_.size()) / k_;
        if (!(variance > 0)) {
            std::fill(x_.begin(), x_.end(), 0.0);
            return;
        }
        const double root = std::sqrt(variance);
        const auto basis = [this](int c, int e) {
            return spanned_[static_cast<std::size_t>(e) * k_ + static_cast<std::size_t>(c)];
        };
        std::vector<double> z(static_cast<std::size_t>(q));
        if (q == 1) {
            double along = 0.0;
            for (int c = 0; c < k_; ++c) along += basis(c, 0) * x_[static_cast<std::size_t>(c)];
            z[0] = along < 0 ? -1.0 : 1.0;
        } else {
            MatrixScope scope;
            const int p = w.p;
            Matrix b(p, q);
            for (int r = 0; r < p; ++r)
                for (int e = 0; e < q; ++e) {
                    double v = 0.0;
                    if (r != i)
                        for (int c = 0; c < k_; ++c) v += w.row(r)[c] * basis(c, e);
                    b[r][e] = v;
                }
            Matrix y(p, 1);
            for (int r = 0; r < p; ++r) y[r][0] = r == i ? 0.0 : w.rAt(r, i) / root;
            const Matrix unit = solveRowUnitNorm(b, y);
            for (int e = 0; e < q; ++e) z[static_cast<std::size_t>(e)] = unit[e][0];
        }
        for (int c = 0; c < k_; ++c) {
            double v = 0.0;
            for (int e = 0; e < q; ++e) v += basis(c, e) * z[static_cast<std::size_t>(e)];
            x_[static_cast<std::size_t>(c)] = v * root;
        }
    }

    int k_;
    DenseInverse inverse_;
    std::vector<double> gram_, gramInverse_, rhs_, x_;
    std::vector<double> spanned_;  // columns of V, one after the other; empty when G is regular
};

}  // namespace

PcaSolution extractPca(const Matrix& r, int factors) {
    const int p = r.rows();
    PcaSolution result{Matrix(p, factors), Matrix(p, factors), 0.0};
    MatrixScope scope;
    Matrix u(p, factors), s(p, 1), v(p, p);
    r.svd(u, s, v);
    Matrix w(p, factors);
    for (int k = 0; k < factors; ++k) {
        // D^(-1/2): a non-positive value is left at 0 rather than inverted.
        const double d = s[k][0];
        const double f = d > 0 ? 1.0 / std::sqrt(d) : 0.0;
        for (int i = 0; i < p; ++i) w[i][k] = u[i][k] * f;
    }
    const Matrix rw = r.multiply(w);
    const Matrix inner = w.transpose().multiply(rw).inverse();
    copyInto(result.loadings, rw.multiply(inner));
    copyInto(result.weights, w);
    result.explained = rw.transpose().multiply(rw).multiply(inner).trace();
    return result;
}

UlsSolution extractUls(const Matrix& r, int factors, double tolerance, double sampleSize) {
    const int p = r.rows();
    UlsSolution result{Matrix(p, factors), std::nullopt, 0};
    MatrixScope scope;
    Matrix a = extractPca(r, factors).loadings;
    SweepData work(r, a);

    double f = offDiagonalLoss(work);
    double fPrevious = 2.0 * f;
    if (fPrevious - f > tolerance) {
        RowSolver solver(factors);
        do {
            ++result.sweeps;
            fPrevious = f;
            for (int i = 0; i < p; ++i) solver.update(work, i);
            f = offDiagonalLoss(work);
        } while (result.sweeps <= kUlsSweepLimit && fPrevious - f > tolerance);
    }
    for (int i = 0; i < p; ++i)
        for (int c = 0; c < factors; ++c) a[i][c] = work.row(i)[c];

    // Principal axes: rotate by the eigenvectors of A'A.
    Matrix values(factors, 1), vectors(factors, factors);
    a.transpose().multiply(a).eigenSymmetric(values, vectors);
    const Matrix axes = a.multiply(vectors);
    copyInto(result.loadings, axes);

    if (sampleSize >= 1) {
        // The fitted matrix carries R's own diagonal (1 for a correlation
        // matrix), so the statistic also holds for covariances.
        Matrix fitted = axes.multiply(axes.transpose());
        for (int i = 0; i < p; ++i) fitted[i][i] = r[i][i];
        const double chi = (std::log(fitted.determinant()) - std::log(r.determinant())) * (sampleSize - 1);
        result.chiSquare = chi < 0 ? 0.0 : chi;
    }
    return result;
}

Matrix solveRowUnitNorm(const Matrix& b, const Matrix& y) {
    const int k = b.cols();
    Matrix x(k, 1);
    if (k == 1) {
        x[0][0] = 1.0;
        return x;
    }
    MatrixScope scope;
    const Matrix bt = b.transpose();
    const Matrix gram = bt.multiply(b);
    Matrix u(k, k), dm(k, 1), v(k, k);
    gram.svd(u, dm, v);
    const Matrix c = v.transpose().multiply(bt.multiply(y));

    std::vector<double> d(static_cast<std::size_t>(k)), cc(static_cast<std::size_t>(k));
    for (int j = 0; j < k; ++j) {
        d[static_cast<std::size_t>(j)] = dm[j][0];
        cc[static_cast<std::size_t>(j)] = c[j][0];
    }
    const double dr = d.back();
    int smallest = 0;
    for (double dj : d)
        if (dj == dr) ++smallest;
    const int q = k - smallest;

    double tail = 0.0, cdc = 0.0;
    for (int j = 0; j < k; ++j) {
        if (j >= q) tail += cc[static_cast<std::size_t>(j)] * cc[static_cast<std::size_t>(j)];
        cdc += cc[static_cast<std::size_t>(j)] * cc[static_cast<std::size_t>(j)] / d[static_cast<std::size_t>(j)];
    }
    cdc = std::fabs(cdc);

    std::vector<double> z(static_cast<std::size_t>(k), 0.0);
    // Hard case: y has no component on the smallest singular directions.
    const bool hard = tail <= 0;
    double lambda = 0.0, h = 0.0;
    if (hard) {
        double s = 0.0;
        for (int j = 0; j < q; ++j) {
            const double t = cc[static_cast<std::size_t>(j)] / (d[static_cast<std::size_t>(j)] - dr);
            s += t * t;
        }
        if (1.0 - s >= 0) {
            for (int j = 0; j < q; ++j) z[static_cast<std::size_t>(j)] = cc[static_cast<std::size_t>(j)] / (d[static_cast<std::size_t>(j)] - dr);
            z[static_cast<std::size_t>(q)] = std::sqrt(1.0 - s);
            const Matrix zm = [&] {
                Matrix m(k, 1);
                for (int j = 0; j < k; ++j) m[j][0] = z[static_cast<std::size_t>(j)];
                return m;
            }();
            copyInto(x, v.multiply(zm));
            return x;
        }
        lambda = dr;
        h = cdc + dr;
    } else {
        double nu = 0.0;
        for (int j = 0; j < k; ++j) {
            const double t = cc[static_cast<std::size_t>(j)] / d[static_cast<std::size_t>(j)];
            nu += t * t;
        }
        double a1 = std::numeric_limits<double>::infinity();
        for (int j = 0; j < q; ++j) a1 = std::min(a1, d[static_cast<std::size_t>(j)] - std::fabs(cc[static_cast<std::size_t>(j)]));
        const double a2 = dr - std::sqrt(tail);
        lambda = std::min(a1, a2);
        if (1.0 - nu <= 0) lambda = std::min(0.0, lambda);
        h = cdc + lambda;
    }

    // Halving search for the multiplier that puts x on the unit sphere.
    const int terms = hard ? q : k;
    for (int step = 0; step < 50; ++step) {
        double g = 1.0;
        for (int j = 0; j < terms; ++j) {
            const double t = cc[static_cast<std::size_t>(j)] / (d[static_cast<std::size_t>(j)] - lambda);
            g -= t * t;
        }
        if (g < 0)
            lambda -= h;
        else
            lambda += h;
        h /= 2.0;
    }

    Matrix zm(k, 1);
    for (int j = 0; j < k; ++j) {
        // A zero component stays zero even if lambda lands on its value.
        const double cj = cc[static_cast<std::size_t>(j)];
        zm[j][0] = cj == 0.0 ? 0.0 : cj / (d[static_cast<std::size_t>(j)] - lambda);
    }
    copyInto(x, v.multiply(zm));
    return x;
}

bool needsReflection(const Matrix& loadings) { return loadings.maxElement() < 0; }

Matrix reflectSingleFactor(const Matrix& loadings) {
    return loadings.scale(needsReflection(loadings) ? -1.0 : 1.0);
}

}  // namespace talvex
