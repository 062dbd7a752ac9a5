// Inverses, eigen-decomposition, SVD and square root over LAPACK. Each
// wrapper copies to a column-major array, calls LAPACK and copies back.
#include <cmath>
#include <vector>

#include "core/dense_inverse.h"
#include "core/lapack.h"
#include "core/matrix.h"

extern "C" void openblas_set_num_threads(int) __attribute__((weak));

namespace talvex {

void useSingleThreadedBlas() {
    static const bool done = [] {
        if (openblas_set_num_threads != nullptr) openblas_set_num_threads(1);
        return true;
    }();
    (void)done;
}

namespace {

std::vector<double> toColumnMajor(const Matrix& a) {
    const int r = a.rows(), c = a.cols();
    std::vector<double> x(static_cast<std::size_t>(r) * static_cast<std::size_t>(c));
    for (int j = 0; j < c; ++j)
        for (int i = 0; i < r; ++i) x[static_cast<std::size_t>(i) + static_cast<std::size_t>(r) * j] = a[i][j];
    return x;
}

// dsyev on a copy of a: eigenvalues ascending in w, eigenvectors in the
// columns of the returned column-major array.
std::vector<double> lapackEigen(const Matrix& a, std::vector<double>& w) {
    useSingleThreadedBlas();
    const int n = a.rows();
    std::vector<double> x = toColumnMajor(a);
    w.assign(static_cast<std::size_t>(n), 0.0);
    const int lwork = 4 * (3 * n - 1 > 1 ? 3 * n - 1 : 1);
    std::vector<double> work(static_cast<std::size_t>(lwork));
    int info = 0;
    const int lda = n > 1 ? n : 1;
    dsyev_("V", "L", &n, x.data(), &lda, w.data(), work.data(), &lwork, &info, 1, 1);
    return x;
}

}  // namespace

// LAPACK gives eigenvalues ascending; this is the one place where they are
// turned into descending order (values and vector columns alike).
void Matrix::eigenSymmetricLeading(Matrix& values, Matrix& vectors, int k) const {
    const int n = rows();
    std::vector<double> w;
    const std::vector<double> x = lapackEigen(*this, w);
    for (int i = 0; i < k; ++i) {
        const int src = n - 1 - i;
        values[i][0] = w[static_cast<std::size_t>(src)];
        for (int r = 0; r < n; ++r)
            vectors[r][i] = x[static_cast<std::size_t>(r) + static_cast<std::size_t>(n) * src];
    }
}

void Matrix::eigenSymmetric(Matrix& values, Matrix& vectors) const {
    eigenSymmetricLeading(values, vectors, rows());
}

Matrix Matrix::inverseByEigen() const {
    const int n = rows();
    Matrix result(n, n);
    MatrixScope scope;
    Matrix values(n, 1), vectors(n, n);
    eigenSymmetric(values, vectors);
    Matrix d(n, n);
    for (int i = 0; i < n; ++i) d[i][i] = 1.0 / values[i][0];
    const Matrix inv = vectors.multiply(d).multiply(vectors.transpose());
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) result[i][j] = inv[i][j];
    return result;
}

DenseInverse::DenseInverse(int n)
    : n_(n),
      lu_(static_cast<std::size_t>(n) * static_cast<std::size_t>(n)),
      pivots_(static_cast<std::size_t>(n > 0 ? n : 1)) {
    useSingleThreadedBlas();
    const int ispec = 1, none = -1;
    int nb = ilaenv_(&ispec, "DGETRI", " ", &n_, &none, &none, &none, 6, 1);
    if (nb < 1) nb = 1;
    lwork_ = n_ * nb;
    if (lwork_ < 1) lwork_ = 1;
    work_.resize(static_cast<std::size_t>(lwork_));
}

void DenseInverse::invert(const std::vector<double>& a, std::vector<double>& result) {
    const std::size_t n = static_cast<std::size_t>(n_);
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t j = 0; j < n; ++j) lu_[i + n * j] = a[i * n + j];
    int info = 0;
    const int lda = n_ > 1 ? n_ : 1;
    dgetrf_(&n_, &n_, lu_.data(), &lda, pivots_.data(), &info);
    if (info > 0) {
        // Exactly singular U: the inverse is built from the eigenvalues of a,
        // taken as symmetric, without a guard for a zero eigenvalue.
        MatrixScope scope;
        Matrix m(n_, n_);
        for (int i = 0; i < n_; ++i)
            for (int j = 0; j < n_; ++j) m[i][j] = a[static_cast<std::size_t>(i) * n + j];
        const Matrix inv = m.inverseByEigen();
        result.resize(n * n);
        for (int i = 0; i < n_; ++i)
            for (int j = 0; j < n_; ++j) result[static_cast<std::size_t>(i) * n + j] = inv[i][j];
        return;
    }
    dgetri_(&n_, lu_.data(), &lda, pivots_.data(), work_.data(), &lwork_, &info);
    result.resize(n * n);
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t j = 0; j < n; ++j) result[i * n + j] = lu_[i + n * j];
}

Matrix Matrix::inverse() const {
    const int n = rows();
    const std::size_t size = static_cast<std::size_t>(n);
    std::vector<double> a(size * size);
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) a[static_cast<std::size_t>(i) * size + j] = (*this)[i][j];
    DenseInverse(n).invert(a, a);
    Matrix r(n, n);
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) r[i][j] = a[static_cast<std::size_t>(i) * size + j];
    return r;
}

Matrix Matrix::sweepInverse() const {
    const double tol = 0.000000001;
    const int n = rows();
    Matrix r(n, n);
    if (rows() != cols()) return r;
    double asym = 0.0;
    bool first = true;
    // Largest element of A - Aᵀ: since that matrix is antisymmetric, its
    // maximum is also the largest absolute asymmetry.
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            const double d = (*this)[i][j] - (*this)[j][i];
            if (first || d > asym) asym = d;
            first = false;
        }
    if (asym > tol) return r;
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) r[i][j] = (*this)[i][j];
    std::vector<double> kept(static_cast<std::size_t>(n));
    for (int k = 0; k < n; ++k) {
        const double d = r[k][k];
        if (std::fabs(d) >= tol) {
            for (int j = 0; j < n; ++j) r[k][j] /= d;
            for (int j = 0; j < n; ++j) kept[static_cast<std::size_t>(j)] = r[k][j];
            for (int i = 0; i < n; ++i) {
                if (i == k) continue;
                const double b = r[i][k];
                for (int j = 0; j < n; ++j) r[i][j] -= b * kept[static_cast<std::size_t>(j)];
                r[i][k] = -b / d;
            }
            r[k][k] = 1.0 / d;
        } else {
            for (int j = 0; j < n; ++j) {
                r[k][j] = 0.0;
                r[j][k] = 0.0;
            }
        }
    }
    return r;
}

void Matrix::svd(Matrix& u, Matrix& s, Matrix& v) const {
    useSingleThreadedBlas();
    const int m = rows(), n = cols();
    std::vector<double> x = toColumnMajor(*this);
    const int mn = m < n ? m : n;
    std::vector<double> sv(static_cast<std::size_t>(mn > 0 ? mn : 1));
    std::vector<double> uu(static_cast<std::size_t>(m) * m > 0 ? static_cast<std::size_t>(m) * m : 1);
    std::vector<double> vt(static_cast<std::size_t>(n) * n > 0 ? static_cast<std::size_t>(n) * n : 1);
    const int lda = m > 1 ? m : 1, ldu = m > 1 ? m : 1, ldvt = n > 1 ? n : 1;
    int info = 0;
    int lwork = -1;
    double query = 0.0;
    dgesvd_("A", "A", &m, &n, x.data(), &lda, sv.data(), uu.data(), &ldu, vt.data(), &ldvt, &query,
            &lwork, &info, 1, 1);
    lwork = static_cast<int>(query);
    if (lwork < 1) lwork = 1;
    std::vector<double> work(static_cast<std::size_t>(lwork));
    dgesvd_("A", "A", &m, &n, x.data(), &lda, sv.data(), uu.data(), &ldu, vt.data(), &ldvt,
            work.data(), &lwork, &info, 1, 1);
    for (int i = 0; i < mn && i < s.rows(); ++i) s[i][0] = sv[static_cast<std::size_t>(i)];
    for (int i = 0; i < u.rows() && i < m; ++i)
        for (int j = 0; j < u.cols() && j < m; ++j) u[i][j] = uu[static_cast<std::size_t>(i) + static_cast<std::size_t>(m) * j];
    for (int i = 0; i < v.rows() && i < n; ++i)
        for (int j = 0; j < v.cols() && j < n; ++j) v[i][j] = vt[static_cast<std::size_t>(j) + static_cast<std::size_t>(n) * i];
}

double Matrix::spectralNorm() const {
    MatrixScope scope;
    const int mn = rows() < cols() ? rows() : cols();
    Matrix u(rows(), cols()), s(mn, 1), v(cols(), cols());
    svd(u, s, v);
    return s.maxElement();
}

Matrix Matrix::sqrtSymmetric() const {
    const int n = rows();
    Matrix result(n, n);
    bool isIdentity = true, isZero = true;
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            const double x = (*this)[i][j];
            if (x - (i == j ? 1.0 : 0.0) != 0.0) isIdentity = false;
            if (x != 0.0) isZero = false;
        }
    if (isIdentity) {
        for (int i = 0; i < n; ++i) result[i][i] = 1.0;
        return result;
    }
    if (isZero) return result;
    MatrixScope scope;
    Matrix values(n, 1), vectors(n, n);
    eigenSymmetric(values, vectors);
    const Matrix root = vectors.multiply(values.elementSqrt().diag()).multiply(vectors.transpose());
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) result[i][j] = root[i][j];
    return result;
}

}  // namespace talvex
