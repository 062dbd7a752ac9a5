// Dense row-major matrix of doubles with scope-based lifetime.
//
// Every matrix lives in one process-wide pool and is destroyed only when the
// scope open at its creation closes (closeScope) or by releaseAll. `Matrix`
// is a handle: copying it copies the reference, not the elements (use
// copy() for a deep copy). A handle to a matrix of a closed scope dangles.
//
// Every operation returns a new matrix and leaves its operands unchanged.
#pragma once

#include <cstddef>
#include <cstdint>

namespace talvex {

// A matrix's shape and row pointers (the pool owns the block they point into).
struct MatrixStorage {
    int rows;
    int cols;
    double** row;
};

class Matrix {
public:
    // An empty handle that refers to no matrix.
    Matrix() = default;
    // A new rows x cols matrix of zeros, registered in the pool.
    Matrix(int rows, int cols);

    bool valid() const { return s_ != nullptr; }
    int rows() const { return s_->rows; }
    int cols() const { return s_->cols; }
    double* operator[](int i) { return s_->row[i]; }
    const double* operator[](int i) const { return s_->row[i]; }
    // Same underlying matrix (identity, not equality of elements).
    bool sameAs(const Matrix& other) const { return s_ == other.s_; }

    Matrix copy() const;

    // Shape and structure.
    Matrix transpose() const;
    Matrix diag() const;
    Matrix vec() const;
    Matrix lowerTriangle() const;
    Matrix joinBelow(const Matrix& b) const;
    Matrix joinRight(const Matrix& b) const;
    // 1-based inclusive bounds; reversed bounds are swapped.
    Matrix submatrix(int r1, int c1, int r2, int c2) const;
    Matrix columnBlock(int k, int w) const;
    Matrix rowBlock(int k, int w) const;
    Matrix withColumnBlock(const Matrix& b, int k, int w) const;

    // Arithmetic.
    Matrix multiply(const Matrix& b) const;
    Matrix add(const Matrix& b) const;
    Matrix subtract(const Matrix& b) const;
    Matrix hadamard(const Matrix& b) const;
    Matrix hadamardDivide(const Matrix& b) const;
    Matrix addScalar(double s) const;
    Matrix subtractScalar(double s) const;
    Matrix scale(double s) const;
    Matrix scaleInt(int n) const;
    Matrix divideScalar(double s) const;
    Matrix divideInt(int n) const;
    Matrix reciprocalTimes(double s) const;

    // Element-wise functions.
    Matrix elementSqrt() const;
    Matrix elementLog() const;
    Matrix elementExp() const;
    Matrix elementPow(double p) const;
    Matrix elementPowInt(int n) const;
    Matrix elementAbs() const;
    Matrix elementSign() const;

    // Reductions.
    double trace() const;
    double maxElement() const;
    double minElement() const;
    Matrix columnSums() const;
    Matrix columnSumsOfSquares() const;
    Matrix rowSums() const;
    Matrix rowSumsOfSquares() const;
    double sumOfSquares() const;
    Matrix columnMaxima() const;
    Matrix columnMinima() const;

    // Normalisation, ordering, determinant.
    Matrix normalizeRows() const;
    Matrix normalizeColumns() const;
    Matrix normalizeRowsSafe() const;
    Matrix orthonormalizeColumns() const;
    Matrix sortColumns() const;
    double determinant() const;

    // Linear algebra over LAPACK (linalg.cpp).
    Matrix inverse() const;
    Matrix inverseByEigen() const;
    Matrix sweepInverse() const;
    // Fills caller-created values (n x 1) and vectors (n x n), eigenvalues
    // in descending order.
    void eigenSymmetric(Matrix& values, Matrix& vectors) const;
    // Only the first k values and vector columns are written.
    void eigenSymmetricLeading(Matrix& values, Matrix& vectors, int k) const;
    // S: singular values descending (column); U: leading left vectors as
    // many as U has columns; V: right singular vectors as columns.
    void svd(Matrix& u, Matrix& s, Matrix& v) const;
    double spectralNorm() const;
    Matrix sqrtSymmetric() const;

private:
    explicit Matrix(MatrixStorage* s) : s_(s) {}
    MatrixStorage* s_ = nullptr;
};

Matrix constant(int rows, int cols, double value);
Matrix zeros(int rows, int cols);
Matrix zeros(int n);
Matrix ones(int rows, int cols);
Matrix identity(int n);

// Pool operations.
void openScope();
void closeScope();
void releaseAll();
// Number of live matrices (marks included).
std::size_t liveCount();
// Number of open scopes.
std::size_t scopeDepth();

// Opens a scope on construction and closes it on destruction, so no return
// path can leave it open.
class MatrixScope {
public:
    MatrixScope() { openScope(); }
    ~MatrixScope() { closeScope(); }
    MatrixScope(const MatrixScope&) = delete;
    MatrixScope& operator=(const MatrixScope&) = delete;
};

// Called at every matrix construction while set; the progress ticker
// installs itself here while the progress window is shown.
using ConstructionHook = void (*)(void* context);
void setConstructionHook(ConstructionHook hook, void* context);
// Calls the hook as `count` constructions would, for work that computes
// what matrices would hold without creating them (so the count of
// constructions does not depend on how the numbers were obtained).
void countConstructions(int count);

// While it lives, the matrices the calling thread creates belong to a pool
// of its own (released when it ends), so that a worker thread may run
// routines that create matrices. Constructions are counted instead of
// reaching the hook; the main thread reports the count with
// countConstructions, so the total does not depend on the thread count.
struct Pool;
class ThreadMatrixPool {
public:
    ThreadMatrixPool();
    ~ThreadMatrixPool();
    ThreadMatrixPool(const ThreadMatrixPool&) = delete;
    ThreadMatrixPool& operator=(const ThreadMatrixPool&) = delete;
    int constructions() const { return constructions_; }

private:
    Pool* pool_;
    Pool* previous_;
    int constructions_ = 0;
};

// Scalar helpers.
double maxAbs(double a, double b);
double minAbs(double a, double b);
double maxOf(double a, double b);
double minOf(double a, double b);
double signTransfer(double a, double b);

// Quicksort of values[lo..hi] ascending, applying each exchange to index as
// well. Not stable.
void sortWithIndex(double* values, int* index, int lo, int hi);

// Ends the program with status 1 after printing the diagnostic text; used by
// failed dimension checks.
[[noreturn]] void dimensionFailure(const char* text);

}  // namespace talvex
