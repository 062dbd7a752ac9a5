#include "stats/extraction/mrfa.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

#include "core/random.h"

namespace talvex {

namespace {

std::size_t at(int i, int j, int width) {
    return static_cast<std::size_t>(i) * static_cast<std::size_t>(width) + static_cast<std::size_t>(j);
}

// The inner solver's state. T is kept by columns (t[j] is column j of T) and
// A0 = Aw without its diagonal; Aw is symmetric, so its columns are its rows.
class WeightedBound {
public:
    WeightedBound(const Matrix& weighted, double tolerance)
        : p_(weighted.rows()),
          tolerance_(tolerance),
          aw_(at(p_, 0, p_)),
          t_(at(p_, 0, p_)),
          u_(static_cast<std::size_t>(p_)),
          d_(static_cast<std::size_t>(p_)) {
        for (int i = 0; i < p_; ++i)
            for (int j = 0; j < p_; ++j) aw_[at(i, j, p_)] = weighted[i][j];
        MatrixScope scope;
        const Matrix start = randomUniformRange(-1, 1, p_, p_);
        for (int j = 0; j < p_; ++j) {
            double ss = 0.0;
            for (int i = 0; i < p_; ++i) ss += start[i][j] * start[i][j];
            const double norm = std::sqrt(ss);
            for (int i = 0; i < p_; ++i) t_[at(j, i, p_)] = start[i][j] / norm;
        }
    }

    Matrix solve() {
        double g = criterion();
        double gPrevious = g + 2 * tolerance_;
        minEigenvalue_ = -10000;
        const double bound = -0.1 * tolerance_;
        int iteration = 0, k = 0;
        bool flag = false;
        while (!(gPrevious - g <= tolerance_ && minEigenvalue_ >= bound)) {
            gPrevious = g;
            ++iteration;
            ++k;
            sweep();
            g = criterion();
            bool fresh = false;  // the candidate belongs to the current T
            if (gPrevious - g <= tolerance_ && !flag) {
                candidate();
                fresh = true;
                if (minEigenvalue_ < bound) {
                    flag = true;
                    k = 0;
                }
            }
            // While the candidate is not positive semidefinite, it is looked
            // at in six sweeps of every ten.
            if (flag && !fresh && (k + 1) % 10 <= 5) candidate();
            if (iteration > kMrfaSweepLimit) return Matrix();
        }
        candidate();
        Matrix d(p_, 1);
        for (int j = 0; j < p_; ++j) d[j][0] = minEigenvalue_ >= bound ? d_[static_cast<std::size_t>(j)] : -1.0;
        return d;
    }

private:
    double awAt(int i, int j) const { return aw_[at(i, j, p_)]; }
    double* column(int j) { return t_.data() + at(j, 0, p_); }
    const double* column(int j) const { return t_.data() + at(j, 0, p_); }

    // u = T a_j, a_j column j of A0.
    void project(int j) {
        std::fill(u_.begin(), u_.end(), 0.0);
        for (int b = 0; b < p_; ++b) {
            if (b == j) continue;
            const double w = awAt(b, j);
            if (w == 0.0) continue;
            const double* tb = column(b);
            for (int i = 0; i < p_; ++i) u_[static_cast<std::size_t>(i)] += w * tb[i];
        }
    }

    double normOfU() const {
        double ss = 0.0;
        for (double x : u_) ss += x * x;
        return std::sqrt(ss);
    }

    void sweep() {
        for (int j = 0; j < p_; ++j) {
            project(j);
            const double s = normOfU();
            double* tj = column(j);
            const double diagonal = awAt(j, j);
            if (s == 0) {
                // Only the signs are left (an element 0 counts as positive).
                for (int i = 0; i < p_; ++i) tj[i] = tj[i] < 0 ? -1.0 : 1.0;
            } else if (s < diagonal) {
                for (int i = 0; i < p_; ++i) tj[i] = -u_[static_cast<std::size_t>(i)] / s;
            } else {
                for (int i = 0; i < p_; ++i) tj[i] = -u_[static_cast<std::size_t>(i)] / diagonal;
            }
        }
    }

    // tr(T Aw T') = sum over a, b of Aw_ab (t_a . t_b).
    double criterion() const {
        double g = 0.0;
        for (int a = 0; a < p_; ++a) {
            const double* ta = column(a);
            for (int b = a; b < p_; ++b) {
                const double w = awAt(a, b);
                if (w == 0.0) continue;
                const double* tb = column(b);
                double dot = 0.0;
                for (int i = 0; i < p_; ++i) dot += ta[i] * tb[i];
                g += (a == b ? 1.0 : 2.0) * w * dot;
            }
        }
        return g;
    }

    // The diagonal d_j = ||T a_j|| (Aw_jj for a column of T longer than 1)
    // and the smallest eigenvalue of A0 + diag(d).
    void candidate() {
        MatrixScope scope;
        Matrix m(p_, p_);
        for (int j = 0; j < p_; ++j) {
            const double* tj = column(j);
            double n = 0.0;
            for (int i = 0; i < p_; ++i) n += tj[i] * tj[i];
            double dj = awAt(j, j);
            if (n <= 1.0000000001) {
                project(j);
                dj = normOfU();
            }
            d_[static_cast<std::size_t>(j)] = dj;
            for (int i = 0; i < p_; ++i) m[i][j] = i == j ? dj : awAt(i, j);
        }
        Matrix values(p_, 1), vectors(p_, p_);
        m.eigenSymmetric(values, vectors);
        minEigenvalue_ = values[p_ - 1][0];
    }

    int p_;
    double tolerance_;
    std::vector<double> aw_;
    std::vector<double> t_;
    std::vector<double> u_;
    std::vector<double> d_;
    double minEigenvalue_ = -10000;
};

// Eigen-decomposition of R with h on its diagonal, shifted up by the
// smallest eigenvalue when that is negative (h too); returns the sum of the
// p - r smallest eigenvalues.
double reduce(const Matrix& r, std::vector<double>& h, int factors, Matrix& values, Matrix& vectors) {
    const int p = r.rows();
    {
        MatrixScope scope;
        Matrix s = r.copy();
        for (int i = 0; i < p; ++i) s[i][i] = h[static_cast<std::size_t>(i)];
        s.eigenSymmetric(values, vectors);
    }
    const double smallest = values[p - 1][0];
    if (smallest < 0) {
        for (double& x : h) x -= smallest;
        for (int i = 0; i < p; ++i) values[i][0] -= smallest;
    }
    double f = 0.0;
    for (int i = factors; i < p; ++i) f += values[i][0];
    return f;
}

void drawCommunalities(std::vector<double>& h) {
    MatrixScope scope;
    const Matrix u = randomUniform(static_cast<int>(h.size()), 1);
    for (std::size_t i = 0; i < h.size(); ++i) h[i] = u[static_cast<int>(i)][0];
}

}  // namespace

Matrix solveWeightedBound(const Matrix& weighted, double tolerance) {
    WeightedBound solver(weighted, tolerance);
    return solver.solve();
}

MrfaCommunalities mrfaCommunalities(const Matrix& r, int factors, int starts, double tolerance,
                                    double innerTolerance) {
    const int p = r.rows();
    const std::size_t n = static_cast<std::size_t>(p);
    MrfaCommunalities result;
    Matrix kept(p, 1);
    MatrixScope scope;
    Matrix values(p, 1), vectors(p, p);
    std::vector<double> h(n), v(n), best(n);
    double bestF = 0.0;
    for (int start = 1; start <= starts; ++start) {
        drawCommunalities(h);
        double f = 0.0;
        {
            // The start's f is that of the unshifted matrix.
            MatrixScope startScope;
            Matrix s = r.copy();
            for (int i = 0; i < p; ++i) s[i][i] = h[static_cast<std::size_t>(i)];
            s.eigenSymmetric(values, vectors);
            for (int i = factors; i < p; ++i) f += values[i][0];
        }
        double fPrevious = (1 + 2 * tolerance) * f;
        int iteration = 0, restarts = 0;
        while (!(iteration >= 2 && (fPrevious - f <= tolerance * f || f <= 0.01 * tolerance))) {
            fPrevious = f;
            ++iteration;
            MatrixScope iterationScope;
            // Weights: the lengths of the rows of the eigenvectors of the
            // p - r smallest eigenvalues.
            for (int i = 0; i < p; ++i) {
                double ss = 0.0;
                for (int j = factors; j < p; ++j) ss += vectors[i][j] * vectors[i][j];
                v[static_cast<std::size_t>(i)] = std::sqrt(ss);
            }
            Matrix weighted(p, p);
            for (int i = 0; i < p; ++i)
                for (int j = 0; j < p; ++j)
                    weighted[i][j] = v[static_cast<std::size_t>(i)] * v[static_cast<std::size_t>(j)] * r[i][j];
            const Matrix d = solveWeightedBound(weighted, innerTolerance);
            if (!d.valid() || iteration > kMrfaIterationLimit) {
                drawCommunalities(h);
                fPrevious = 2 * f;
                iteration = 0;
                ++restarts;
            } else {
                for (int i = 0; i < p; ++i) {
                    const double w = v[static_cast<std::size_t>(i)] * v[static_cast<std::size_t>(i)];
                    // A variable with weight 0 leaves f unchanged whatever
                    // its communality: keep the one it has.
                    if (w >= 1e-12) h[static_cast<std::size_t>(i)] = d[i][0] / w;
                }
            }
            f = reduce(r, h, factors, values, vectors);
            if (restarts >= kMrfaRestartLimit) return result;
        }
        if (start == 1 || f < bestF) {
            bestF = f;
            best = h;
        }
    }
    for (int i = 0; i < p; ++i) kept[i][0] = best[static_cast<std::size_t>(i)];
    result.communalities = kept;
    result.unexplained = bestF;
    return result;
}

MrfaSolution extractMrfa(const Matrix& r, int factors, int starts) {
    const int p = r.rows();
    MrfaSolution result;
    Matrix loadings(p, factors), reduced(p, p);
    MatrixScope scope;
    const MrfaCommunalities c = mrfaCommunalities(r, factors, starts, kMrfaTolerance, kMrfaInnerTolerance);
    if (!c.converged()) return result;
    double sum = 0.0;
    for (int i = 0; i < p; ++i) sum += c.communalities[i][0];
    if (!(sum > 0.0001)) return result;
    for (int i = 0; i < p; ++i)
        for (int j = 0; j < p; ++j) reduced[i][j] = i == j ? c.communalities[i][0] : r[i][j];
    Matrix values(p, 1), vectors(p, p);
    reduced.eigenSymmetric(values, vectors);
    for (int k = 0; k < factors; ++k) {
        const double root = values[k][0] > 0 ? std::sqrt(values[k][0]) : 0.0;
        for (int i = 0; i < p; ++i) loadings[i][k] = vectors[i][k] * root;
    }
    result.loadings = loadings;
    result.reduced = reduced;
    result.unexplained = c.unexplained;
    return result;
}

}  // namespace talvex
