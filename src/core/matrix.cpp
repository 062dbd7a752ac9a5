#include "core/matrix.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <vector>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace talvex {

// Each matrix is one allocation: its MatrixStorage header, the row-pointer
// array and the elements, zero-filled by calloc.
struct Pool {
    std::vector<MatrixStorage*> live;
    std::vector<MatrixStorage*> marks;
    ConstructionHook hook = nullptr;
    void* hookContext = nullptr;
};

namespace {

const char* const kProductMismatch = "MATRICES DESIGUALES EN PRODUCTO DE MATRICES .* !!!";
const char* const kJoinMismatch = "MATRICES DESIGUALES EN LA CONSTRUCCION DE LA SUPERMATRIZ!!!";

// The pool of a ThreadMatrixPool on this thread, if one lives.
thread_local Pool* threadPool = nullptr;

// Never destroyed: a failed dimension check exits with matrices still
// live, and they must stay reachable (not reported as leaks) until the end.
Pool& pool() {
    if (threadPool != nullptr) return *threadPool;
    static Pool* const p = [] {
#ifdef __GLIBC__
        // Scopes release and request blocks of the same large sizes over and
        // over. Kept in the heap, a released block serves the next request;
        // mapped afresh each time, it costs a page fault every 4 KB.
        mallopt(M_MMAP_THRESHOLD, 256 << 20);
        mallopt(M_TRIM_THRESHOLD, 512 << 20);
#endif
        return new Pool;
    }();
    return *p;
}

void countOne(void* context) { ++*static_cast<int*>(context); }

MatrixStorage* allocateStorage(int rows, int cols) {
    if (rows < 0) rows = 0;
    if (cols < 0) cols = 0;
    const std::size_t header = sizeof(MatrixStorage);
    const std::size_t pointers = sizeof(double*) * static_cast<std::size_t>(rows);
    const std::size_t elements =
        sizeof(double) * static_cast<std::size_t>(rows) * static_cast<std::size_t>(cols);
    // Pointers come right after the header; both are 8-byte aligned.
    void* block = std::calloc(1, header + pointers + elements);
    if (block == nullptr) throw std::bad_alloc();
    auto* s = static_cast<MatrixStorage*>(block);
    s->rows = rows;
    s->cols = cols;
    s->row = reinterpret_cast<double**>(static_cast<char*>(block) + header);
    double* data = reinterpret_cast<double*>(static_cast<char*>(block) + header + pointers);
    for (int i = 0; i < rows; ++i) s->row[i] = data + static_cast<std::size_t>(i) * cols;
    return s;
}

void destroyLast(Pool& p) {
    std::free(p.live.back());
    p.live.pop_back();
}

}  // namespace

void dimensionFailure(const char* text) {
    if (text != nullptr && *text != '\0') std::fprintf(stderr, "%s\n", text);
    std::exit(1);
}

void setConstructionHook(ConstructionHook hook, void* context) {
    pool().hook = hook;
    pool().hookContext = context;
}

void countConstructions(int count) {
    const Pool& p = pool();
    if (p.hook == nullptr) return;
    for (int i = 0; i < count; ++i) p.hook(p.hookContext);
}

Matrix::Matrix(int rows, int cols) {
    Pool& p = pool();
    s_ = allocateStorage(rows, cols);
    p.live.push_back(s_);
    if (p.hook != nullptr) p.hook(p.hookContext);
}


void openScope() {
    Pool& p = pool();
    const double count = static_cast<double>(p.live.size());
    Matrix mark(1, 1);
    mark[0][0] = count;
    p.marks.push_back(p.live.back());
}

void closeScope() {
    Pool& p = pool();
    if (p.marks.empty()) return;
    const auto c = static_cast<std::size_t>(p.marks.back()->row[0][0]);
    p.marks.pop_back();
    while (p.live.size() > c) destroyLast(p);
}

void releaseAll() {
    Pool& p = pool();
    while (!p.live.empty()) destroyLast(p);
}

ThreadMatrixPool::ThreadMatrixPool() : pool_(new Pool), previous_(threadPool) {
    pool_->hook = countOne;
    pool_->hookContext = &constructions_;
    threadPool = pool_;
}

ThreadMatrixPool::~ThreadMatrixPool() {
    releaseAll();
    threadPool = previous_;
    delete pool_;
}

std::size_t liveCount() { return pool().live.size(); }
std::size_t scopeDepth() { return pool().marks.size(); }

Matrix constant(int rows, int cols, double value) {
    Matrix m(rows, cols);
    for (int i = 0; i < rows; ++i)
        for (int j = 0; j < cols; ++j) m[i][j] = value;
    return m;
}

Matrix zeros(int rows, int cols) { return Matrix(rows, cols); }
Matrix zeros(int n) { return Matrix(n, n); }
Matrix ones(int rows, int cols) { return constant(rows, cols, 1.0); }

Matrix identity(int n) {
    Matrix m(n, n);
    for (int i = 0; i < n; ++i) m[i][i] = 1.0;
    return m;
}

namespace {

// Applies f to every element of a, giving a new matrix of a's shape.
template <typename F>
Matrix mapElements(const Matrix& a, F f) {
    Matrix r(a.rows(), a.cols());
    for (int i = 0; i < a.rows(); ++i)
        for (int j = 0; j < a.cols(); ++j) r[i][j] = f(a[i][j]);
    return r;
}

}  // namespace

Matrix Matrix::copy() const {
    return mapElements(*this, [](double x) { return x; });
}

Matrix Matrix::transpose() const {
    Matrix r(cols(), rows());
    for (int i = 0; i < rows(); ++i)
        for (int j = 0; j < cols(); ++j) r[j][i] = (*this)[i][j];
    return r;
}

Matrix Matrix::diag() const {
    const int r = rows(), c = cols();
    if (r == c) {
        Matrix d(r, 1);
        for (int i = 0; i < r; ++i) d[i][0] = (*this)[i][i];
        return d;
    }
    if (c < r) {
        Matrix d(r, r);
        for (int i = 0; i < r; ++i) d[i][i] = (*this)[i][0];
        return d;
    }
    Matrix d(c, c);
    for (int j = 0; j < c; ++j) d[j][j] = (*this)[0][j];
    return d;
}

Matrix Matrix::vec() const {
    Matrix v(rows() * cols(), 1);
    int k = 0;
    for (int j = 0; j < cols(); ++j)
        for (int i = 0; i < rows(); ++i) v[k++][0] = (*this)[i][j];
    return v;
}

Matrix Matrix::lowerTriangle() const {
    const int r = rows();
    Matrix v(r * (r - 1) / 2, 1);
    int k = 0;
    for (int j = 0; j < r; ++j)
        for (int i = j + 1; i < r; ++i) v[k++][0] = (*this)[i][j];
    return v;
}

Matrix Matrix::joinBelow(const Matrix& b) const {
    if (cols() != b.cols()) dimensionFailure(kJoinMismatch);
    Matrix r(rows() + b.rows(), cols());
    for (int i = 0; i < rows(); ++i)
        for (int j = 0; j < cols(); ++j) r[i][j] = (*this)[i][j];
    for (int i = 0; i < b.rows(); ++i)
        for (int j = 0; j < cols(); ++j) r[rows() + i][j] = b[i][j];
    return r;
}

Matrix Matrix::joinRight(const Matrix& b) const {
    if (rows() != b.rows()) dimensionFailure(kJoinMismatch);
    Matrix r(rows(), cols() + b.cols());
    for (int i = 0; i < rows(); ++i) {
        for (int j = 0; j < cols(); ++j) r[i][j] = (*this)[i][j];
        for (int j = 0; j < b.cols(); ++j) r[i][cols() + j] = b[i][j];
    }
    return r;
}

Matrix Matrix::submatrix(int r1, int c1, int r2, int c2) const {
    if (r1 > r2) std::swap(r1, r2);
    if (c1 > c2) std::swap(c1, c2);
    if (r1 < 1 || r2 > rows() || c1 < 1 || c2 > cols()) dimensionFailure("");
    Matrix r(r2 - r1 + 1, c2 - c1 + 1);
    for (int i = 0; i < r.rows(); ++i)
        for (int j = 0; j < r.cols(); ++j) r[i][j] = (*this)[r1 - 1 + i][c1 - 1 + j];
    return r;
}

Matrix Matrix::columnBlock(int k, int w) const { return submatrix(1, k * w + 1, rows(), (k + 1) * w); }

Matrix Matrix::rowBlock(int k, int w) const { return submatrix(k * w + 1, 1, (k + 1) * w, cols()); }

Matrix Matrix::withColumnBlock(const Matrix& b, int k, int w) const {
    Matrix r = copy();
    for (int i = 0; i < b.rows(); ++i)
        for (int j = 0; j < b.cols(); ++j) r[i][k * w + j] = b[i][j];
    return r;
}

Matrix Matrix::multiply(const Matrix& b) const {
    if (cols() != b.rows()) dimensionFailure(kProductMismatch);
    const int n = rows(), q = b.cols(), inner = cols();
    Matrix r(n, q);
    // Row i of the result accumulates A(i,k)·B(k,·) for k = 0, 1, ...: each
    // element still sums its products from 0.0 in order of k, and the inner
    // loop runs along contiguous rows.
    for (int i = 0; i < n; ++i) {
        double* out = r[i];
        const double* ai = (*this)[i];
        for (int k = 0; k < inner; ++k) {
            const double aik = ai[k];
            const double* bk = b[k];
            for (int j = 0; j < q; ++j) out[j] += aik * bk[j];
        }
    }
    return r;
}

Matrix Matrix::add(const Matrix& b) const {
    Matrix r(rows(), cols());
    for (int i = 0; i < rows(); ++i)
        for (int j = 0; j < cols(); ++j) r[i][j] = (*this)[i][j] + b[i][j];
    return r;
}

Matrix Matrix::subtract(const Matrix& b) const {
    Matrix r(rows(), cols());
    for (int i = 0; i < rows(); ++i)
        for (int j = 0; j < cols(); ++j) r[i][j] = (*this)[i][j] - b[i][j];
    return r;
}

Matrix Matrix::hadamard(const Matrix& b) const {
    if (rows() != b.rows() || cols() != b.cols()) dimensionFailure(kProductMismatch);
    Matrix r(rows(), cols());
    for (int i = 0; i < rows(); ++i)
        for (int j = 0; j < cols(); ++j) r[i][j] = (*this)[i][j] * b[i][j];
    return r;
}

Matrix Matrix::hadamardDivide(const Matrix& b) const {
    if (rows() != b.rows() || cols() != b.cols()) dimensionFailure(kProductMismatch);
    // 1/0.00001 as computed in double precision.
    const double huge = 1.0 / 0.00001;
    Matrix r(rows(), cols());
    for (int i = 0; i < rows(); ++i)
        for (int j = 0; j < cols(); ++j) {
            const double d = b[i][j];
            r[i][j] = std::fabs(d) > 0.00001 ? (*this)[i][j] / d : (*this)[i][j] * huge;
        }
    return r;
}

Matrix Matrix::addScalar(double s) const {
    return mapElements(*this, [s](double x) { return x + s; });
}
Matrix Matrix::subtractScalar(double s) const {
    return mapElements(*this, [s](double x) { return x - s; });
}
Matrix Matrix::scale(double s) const {
    return mapElements(*this, [s](double x) { return x * s; });
}
Matrix Matrix::scaleInt(int n) const {
    const double s = n;
    return mapElements(*this, [s](double x) { return x * s; });
}

Matrix Matrix::divideScalar(double s) const {
    if (s <= 0) return Matrix(rows(), cols());
    return mapElements(*this, [s](double x) { return x / s; });
}

Matrix Matrix::divideInt(int n) const {
    if (n == 0) return Matrix(rows(), cols());
    const double d = n;
    return mapElements(*this, [d](double x) { return x / d; });
}

Matrix Matrix::reciprocalTimes(double s) const {
    if (s <= 0) return Matrix(rows(), cols());
    return mapElements(*this, [s](double x) { return s / x; });
}

Matrix Matrix::elementSqrt() const {
    return mapElements(*this, [](double x) { return x > 0 ? std::sqrt(x) : 0.0; });
}
Matrix Matrix::elementLog() const {
    return mapElements(*this, [](double x) { return std::log(x); });
}
Matrix Matrix::elementExp() const {
    return mapElements(*this, [](double x) { return std::exp(x); });
}

Matrix Matrix::elementPow(double p) const {
    if (p == 0) return mapElements(*this, [](double) { return 1.0; });
    if (p > 0) return mapElements(*this, [p](double x) { return std::pow(x, p); });
    return mapElements(*this, [p](double x) { return 1.0 / std::pow(x, -p); });
}

Matrix Matrix::elementPowInt(int n) const { return elementPow(static_cast<double>(n)); }

Matrix Matrix::elementAbs() const {
    return mapElements(*this, [](double x) { return std::fabs(x); });
}
Matrix Matrix::elementSign() const {
    return mapElements(*this, [](double x) { return x > 0 ? 1.0 : -1.0; });
}

double Matrix::trace() const {
    if (rows() != cols()) return 0.0;
    double t = 0.0;
    for (int i = 0; i < rows(); ++i) t += (*this)[i][i];
    return t;
}

double Matrix::maxElement() const {
    double m = (*this)[0][0];
    for (int i = 0; i < rows(); ++i)
        for (int j = 0; j < cols(); ++j)
            if ((*this)[i][j] > m) m = (*this)[i][j];
    return m;
}

double Matrix::minElement() const {
    double m = (*this)[0][0];
    for (int i = 0; i < rows(); ++i)
        for (int j = 0; j < cols(); ++j)
            if ((*this)[i][j] < m) m = (*this)[i][j];
    return m;
}

// Each column summed from the first row down; the row pointers are taken
// once per row, so a long matrix is read at memory speed.
Matrix Matrix::columnSums() const {
    Matrix r(1, cols());
    double* sum = r[0];
    const int c = cols();
    for (int i = 0; i < rows(); ++i) {
        const double* row = (*this)[i];
        for (int j = 0; j < c; ++j) sum[j] += row[j];
    }
    return r;
}

Matrix Matrix::columnSumsOfSquares() const {
    Matrix r(1, cols());
    double* sum = r[0];
    const int c = cols();
    for (int i = 0; i < rows(); ++i) {
        const double* row = (*this)[i];
        for (int j = 0; j < c; ++j) sum[j] += row[j] * row[j];
    }
    return r;
}

Matrix Matrix::rowSums() const {
    Matrix r(rows(), 1);
    for (int i = 0; i < rows(); ++i)
        for (int j = 0; j < cols(); ++j) r[i][0] += (*this)[i][j];
    return r;
}

Matrix Matrix::rowSumsOfSquares() const {
    Matrix r(rows(), 1);
    for (int i = 0; i < rows(); ++i)
        for (int j = 0; j < cols(); ++j) r[i][0] += (*this)[i][j] * (*this)[i][j];
    return r;
}

double Matrix::sumOfSquares() const {
    double s = 0.0;
    for (int i = 0; i < rows(); ++i)
        for (int j = 0; j < cols(); ++j) s += (*this)[i][j] * (*this)[i][j];
    return s;
}

Matrix Matrix::columnMaxima() const {
    Matrix r(1, cols());
    for (int j = 0; j < cols(); ++j) {
        double m = (*this)[0][j];
        for (int i = 1; i < rows(); ++i)
            if ((*this)[i][j] > m) m = (*this)[i][j];
        r[0][j] = m;
    }
    return r;
}

Matrix Matrix::columnMinima() const {
    Matrix r(1, cols());
    for (int j = 0; j < cols(); ++j) {
        double m = (*this)[0][j];
        for (int i = 1; i < rows(); ++i)
            if ((*this)[i][j] < m) m = (*this)[i][j];
        r[0][j] = m;
    }
    return r;
}

Matrix Matrix::normalizeRows() const {
    Matrix result(rows(), cols());
    MatrixScope scope;
    const Matrix scaled =
        multiply(transpose()).diag().diag().inverse().elementSqrt().multiply(*this);
    for (int i = 0; i < rows(); ++i)
        for (int j = 0; j < cols(); ++j) result[i][j] = scaled[i][j];
    return result;
}

Matrix Matrix::normalizeColumns() const {
    Matrix result(rows(), cols());
    MatrixScope scope;
    const Matrix scaled =
        multiply(transpose().multiply(*this).diag().diag().inverse().elementSqrt());
    for (int i = 0; i < rows(); ++i)
        for (int j = 0; j < cols(); ++j) result[i][j] = scaled[i][j];
    return result;
}

Matrix Matrix::normalizeRowsSafe() const {
    // Row by row into one result: the same values as scaling each row and
    // stacking the rows.
    Matrix r(rows(), cols());
    for (int i = 0; i < rows(); ++i) {
        double ss = 0.0;
        for (int j = 0; j < cols(); ++j) ss += (*this)[i][j] * (*this)[i][j];
        if (ss <= 0) continue;
        const double f = 1.0 / std::sqrt(ss);
        for (int j = 0; j < cols(); ++j) r[i][j] = (*this)[i][j] * f;
    }
    return r;
}

Matrix Matrix::orthonormalizeColumns() const {
    Matrix q = copy();
    const int n = rows();
    for (int j = 0; j < cols(); ++j) {
        for (int k = 0; k < j; ++k) {
            double dot = 0.0;
            for (int i = 0; i < n; ++i) dot += q[i][j] * q[i][k];
            for (int i = 0; i < n; ++i) q[i][j] -= dot * q[i][k];
        }
        double ss = 0.0;
        for (int i = 0; i < n; ++i) ss += q[i][j] * q[i][j];
        const double len = std::sqrt(ss);
        for (int i = 0; i < n; ++i) q[i][j] /= len;
    }
    return q;
}

Matrix Matrix::sortColumns() const {
    Matrix r = copy();
    const int n = rows();
    if (n == 0) return r;
    std::vector<double> values(static_cast<std::size_t>(n));
    std::vector<int> index(static_cast<std::size_t>(n));
    for (int j = 0; j < cols(); ++j) {
        for (int i = 0; i < n; ++i) {
            values[static_cast<std::size_t>(i)] = r[i][j];
            index[static_cast<std::size_t>(i)] = i;
        }
        sortWithIndex(values.data(), index.data(), 0, n - 1);
        for (int i = 0; i < n; ++i) r[i][j] = values[static_cast<std::size_t>(i)];
    }
    return r;
}

double Matrix::determinant() const {
    const int n = rows();
    std::vector<double> w(static_cast<std::size_t>(n) * n);
    auto at = [&w, n](int i, int j) -> double& { return w[static_cast<std::size_t>(i) * n + j]; };
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) at(i, j) = (*this)[i][j];
    double d = 1.0;
    for (int k = 0; k < n; ++k) {
        int pivot = k;
        for (int i = k + 1; i < n; ++i)
            if (std::fabs(at(i, k)) > std::fabs(at(pivot, k))) pivot = i;
        if (pivot != k) {
            for (int j = k; j < n; ++j) std::swap(at(k, j), at(pivot, j));
            d = -d;
        }
        const double p = at(k, k);
        d *= p;
        for (int j = 0; j < n; ++j) at(k, j) /= p;
        for (int i = 0; i < n; ++i) {
            if (i == k) continue;
            const double f = at(i, k);
            for (int j = 0; j < n; ++j) at(i, j) -= f * at(k, j);
        }
    }
    return d;
}

double maxAbs(double a, double b) { return std::fabs(a) > std::fabs(b) ? std::fabs(a) : std::fabs(b); }
double minAbs(double a, double b) { return std::fabs(a) < std::fabs(b) ? std::fabs(a) : std::fabs(b); }
double maxOf(double a, double b) { return a > b ? a : b; }
double minOf(double a, double b) { return a < b ? a : b; }
double signTransfer(double a, double b) { return b >= 0 ? std::fabs(a) : -std::fabs(a); }

void sortWithIndex(double* values, int* index, int lo, int hi) {
    while (lo < hi) {
        const double pivot = values[(lo + hi) / 2];
        int left = lo, right = hi;
        while (left <= right) {
            while (values[left] < pivot) ++left;
            while (values[right] > pivot) --right;
            if (left < right) {
                std::swap(values[left], values[right]);
                std::swap(index[left], index[right]);
                ++left;
                --right;
            } else if (left == right) {
                ++left;
            }
        }
        if (lo < right) sortWithIndex(values, index, lo, right);
        lo = left;
    }
}

}  // namespace talvex
