#include "stats/dimensionality/normal_replicates.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <semaphore>
#include <thread>

#include "core/kernels.h"
#include "core/lapack.h"
#include "core/parallel_for.h"
#include "core/random.h"

namespace talvex {

namespace {

// The row stride of the standardized sample is p rounded up to a vector of
// four, the extra columns held at 0; the cross products go by tiles of a
// few variables against eight (four at the end of a row when that is left).
constexpr int kVector = 4;
// Rows of the sample per pass over a tile's accumulators (32 KB of rows).
constexpr int kRowBlock = 128;


using Vec4 = double __attribute__((vector_size(4 * sizeof(double))));

int strideOf(int p) { return (p + kVector - 1) / kVector * kVector; }

// Cross products of the rows begin .. end - 1 of z added onto acc (row-major,
// row length stride) for the variables a .. a + 3 against c .. c + 4·vectors
// - 1. Each sum grows row after row, as a plain loop over the rows adds it;
// the tile's sums are independent, so the additions of a row need not wait
// for each other.
template <int rows, int vectors>
TALVEX_KERNEL_BODY void addTile(const double* z, int stride, int a, int c, int begin, int end, double* acc) {
    Vec4 sum[rows][vectors];
    for (int k = 0; k < rows; ++k)
        for (int v = 0; v < vectors; ++v)
            std::memcpy(&sum[k][v], acc + static_cast<std::size_t>(a + k) * stride + c + kVector * v, sizeof(Vec4));
    for (int i = begin; i < end; ++i) {
        const double* row = z + static_cast<std::size_t>(i) * stride;
        Vec4 x[vectors];
        for (int v = 0; v < vectors; ++v) std::memcpy(&x[v], row + c + kVector * v, sizeof(Vec4));
        for (int k = 0; k < rows; ++k) {
            const double u = row[a + k];
            for (int v = 0; v < vectors; ++v) sum[k][v] += u * x[v];
        }
    }
    for (int k = 0; k < rows; ++k)
        for (int v = 0; v < vectors; ++v)
            std::memcpy(acc + static_cast<std::size_t>(a + k) * stride + c + kVector * v, &sum[k][v], sizeof(Vec4));
}

// The upper triangle of the cross products of the first p columns (and of
// some padding), rows begin .. end - 1, by tiles of `rows` variables (4 or
// 2: the SSE2 build has registers for eight sums of pairs).
template <int rows>
TALVEX_KERNEL_BODY void addCrossProductsBody(const double* z, int stride, int p, int begin, int end, double* acc) {
    for (int a = 0; a < p; a += rows) {
        int c = a / kVector * kVector;
        for (; c + 2 * kVector <= stride; c += 2 * kVector) addTile<rows, 2>(z, stride, a, c, begin, end, acc);
        if (c < stride) addTile<rows, 1>(z, stride, a, c, begin, end, acc);
    }
}

// Values i .. i + 3 of column j of the n x p sample x (column after
// column); zeros for the padding columns from p on.
TALVEX_KERNEL_BODY void columnPiece(const double* x, int n, int p, int j, int i, Vec4& v) {
    v = Vec4{0.0, 0.0, 0.0, 0.0};
    if (j < p) std::memcpy(&v, x + static_cast<std::size_t>(j) * static_cast<std::size_t>(n) + i, sizeof v);
}

// One row of four values into z, onto its columns' sums and sums of squares.
TALVEX_KERNEL_BODY void addRow(const Vec4& row, double* to, Vec4& sum, Vec4& square) {
    sum += row;
    square += row * row;
    std::memcpy(to, &row, sizeof row);
}

// Columns j0 .. j0 + 4·groups - 1 of x into the rows of z, four rows at a
// time turned in registers, and their sums and sums of squares, each added
// in row order from zero.
template <int groups>
TALVEX_KERNEL_BODY void transposeColumns(const double* x, int n, int p, int stride, int j0, double* z, double* sums,
                                         double* squares) {
    Vec4 sum[groups] = {}, square[groups] = {};
    const auto at = [&](int i, int g) { return z + static_cast<std::size_t>(i) * stride + j0 + kVector * g; };
    int i = 0;
    for (; i + kVector <= n; i += kVector)
        for (int g = 0; g < groups; ++g) {
            const int j = j0 + kVector * g;
            Vec4 c0, c1, c2, c3;
            columnPiece(x, n, p, j, i, c0);
            columnPiece(x, n, p, j + 1, i, c1);
            columnPiece(x, n, p, j + 2, i, c2);
            columnPiece(x, n, p, j + 3, i, c3);
            for (int r = 0; r < kVector; ++r) addRow(Vec4{c0[r], c1[r], c2[r], c3[r]}, at(i + r, g), sum[g], square[g]);
        }
    for (; i < n; ++i)
        for (int g = 0; g < groups; ++g) {
            Vec4 row = {0.0, 0.0, 0.0, 0.0};
            for (int k = 0; k < kVector && j0 + kVector * g + k < p; ++k)
                row[k] = x[static_cast<std::size_t>(j0 + kVector * g + k) * static_cast<std::size_t>(n) + i];
            addRow(row, at(i, g), sum[g], square[g]);
        }
    for (int g = 0; g < groups; ++g) {
        std::memcpy(sums + j0 + kVector * g, &sum[g], sizeof(Vec4));
        std::memcpy(squares + j0 + kVector * g, &square[g], sizeof(Vec4));
    }
}

// The n x p sample x (column after column) into the rows of z, padding
// columns 0, and the column sums and sums of squares, each added in row
// order; eight columns side by side while they last.
TALVEX_KERNEL_BODY void transposeAndSumBody(const double* x, int n, int p, int stride, double* z, double* sums,
                                            double* squares) {
    int j0 = 0;
    for (; j0 + 2 * kVector <= stride; j0 += 2 * kVector) transposeColumns<2>(x, n, p, stride, j0, z, sums, squares);
    if (j0 < stride) transposeColumns<1>(x, n, p, stride, j0, z, sums, squares);
}

TALVEX_KERNEL_BODY void standardizeRowsBody(double* z, int n, int stride, const double* means, const double* sds) {
    for (int i = 0; i < n; ++i) {
        double* row = z + static_cast<std::size_t>(i) * stride;
        for (int j = 0; j < stride; ++j) row[j] = (row[j] - means[j]) / sds[j];
    }
}

// The three passes over a sample, in both builds.
struct SamplePasses {
    void (*transposeAndSum)(const double*, int, int, int, double*, double*, double*);
    void (*standardizeRows)(double*, int, int, const double*, const double*);
    void (*addCrossProducts)(const double*, int, int, int, int, double*);
};

constexpr SamplePasses kPortablePasses{
    [](const double* x, int n, int p, int stride, double* z, double* sums, double* squares) {
        transposeAndSumBody(x, n, p, stride, z, sums, squares);
    },
    [](double* z, int n, int stride, const double* means, const double* sds) {
        standardizeRowsBody(z, n, stride, means, sds);
    },
    [](const double* z, int stride, int p, int begin, int end, double* acc) {
        addCrossProductsBody<2>(z, stride, p, begin, end, acc);
    }};

TALVEX_AVX2 void transposeAndSumAvx2(const double* x, int n, int p, int stride, double* z, double* sums,
                                     double* squares) {
    transposeAndSumBody(x, n, p, stride, z, sums, squares);
}
TALVEX_AVX2 void standardizeRowsAvx2(double* z, int n, int stride, const double* means, const double* sds) {
    standardizeRowsBody(z, n, stride, means, sds);
}
TALVEX_AVX2 void addCrossProductsAvx2(const double* z, int stride, int p, int begin, int end, double* acc) {
    addCrossProductsBody<4>(z, stride, p, begin, end, acc);
}
constexpr SamplePasses kAvx2Passes{transposeAndSumAvx2, standardizeRowsAvx2, addCrossProductsAvx2};

}  // namespace

void pearsonOfColumns(const double* x, int n, int p, double* r, CorrelationWorkspace& w, KernelPath path) {
    const SamplePasses& passes = path == KernelPath::Avx2 ? kAvx2Passes : kPortablePasses;
    const int stride = strideOf(p);
    if (w.rows != n || w.cols != p) {
        w.z.assign(static_cast<std::size_t>(n) * static_cast<std::size_t>(stride), 0.0);
        w.rows = n;
        w.cols = p;
    }
    w.sums.assign(static_cast<std::size_t>(stride), 0.0);
    w.squares.assign(static_cast<std::size_t>(stride), 0.0);
    double* z = w.z.data();
    double* sums = w.sums.data();
    double* squares = w.squares.data();

    passes.transposeAndSum(x, n, p, stride, z, sums, squares);
    // Means and standard deviations over n (a variance a rounding error
    // below zero is zero); the padding columns stay 0.
    const double count = n;
    w.means.assign(static_cast<std::size_t>(stride), 0.0);
    w.sds.assign(static_cast<std::size_t>(stride), 1.0);
    for (int j = 0; j < p; ++j) {
        const double mean = sums[j] / count;
        w.means[static_cast<std::size_t>(j)] = mean;
        w.sds[static_cast<std::size_t>(j)] = std::sqrt(std::max(0.0, squares[j] / count - mean * mean));
    }
    const double* means = w.means.data();
    const double* sds = w.sds.data();
    passes.standardizeRows(z, n, stride, means, sds);

    // Cross products of the upper triangle by tiles, the rows in
    // blocks so a block stays in cache while every tile passes over it.
    std::vector<double>& acc = w.products;
    acc.assign(static_cast<std::size_t>(stride) * static_cast<std::size_t>(stride), 0.0);
    for (int begin = 0; begin < n; begin += kRowBlock)
        passes.addCrossProducts(z, stride, p, begin, std::min(n, begin + kRowBlock), acc.data());
    const double scale = 1.0 / n;
    for (int a = 0; a < p; ++a)
        for (int c = a; c < p; ++c)
            r[static_cast<std::size_t>(a) * p + c] = r[static_cast<std::size_t>(c) * p + a] =
                acc[static_cast<std::size_t>(a) * stride + c] * scale;
}

void symmetricEigenvalues(const double* a, int p, double* values, CorrelationWorkspace& w) {
    useSingleThreadedBlas();
    // Row-major and column-major are the same for a symmetric matrix.
    w.eigen.assign(a, a + static_cast<std::size_t>(p) * static_cast<std::size_t>(p));
    w.ascending.assign(static_cast<std::size_t>(p), 0.0);
    const int lwork = 4 * (3 * p - 1 > 1 ? 3 * p - 1 : 1);
    w.work.resize(static_cast<std::size_t>(lwork));
    int info = 0;
    const int lda = p > 1 ? p : 1;
    dsyev_("V", "L", &p, w.eigen.data(), &lda, w.ascending.data(), w.work.data(), &lwork, &info, 1, 1);
    for (int i = 0; i < p; ++i) values[i] = w.ascending[static_cast<std::size_t>(p - 1 - i)];
}

namespace {

// Samples in flight between the drawing thread and the computing one.
constexpr int kSlots = 4;

struct ReplicateState {
    int n, p;
    NormalReplicates& out;
    std::vector<char> indefinite;
    CorrelationWorkspace workspace;
    std::vector<double> correlation;

    // Correlations and eigenvalues of sample s (drawn into x).
    void analyse(int s, const double* x) {
        correlation.resize(static_cast<std::size_t>(p) * static_cast<std::size_t>(p));
        pearsonOfColumns(x, n, p, correlation.data(), workspace);
        double* values = out.eigenvalues.data() + static_cast<std::size_t>(s) * static_cast<std::size_t>(p);
        symmetricEigenvalues(correlation.data(), p, values, workspace);
        if (values[p - 1] < 0) {
            indefinite[static_cast<std::size_t>(s)] = 1;
            out.indefinite.push_back(s);
            out.indefiniteSamples.emplace_back(x, x + static_cast<std::size_t>(n) * static_cast<std::size_t>(p));
        }
    }
};

}  // namespace

NormalReplicates normalReplicateEigenvalues(int n, int p, int k, const std::function<void(int)>& progress,
                                            const std::function<void(int, bool)>& analysed) {
    NormalReplicates out;
    if (k <= 0) return out;
    out.eigenvalues.assign(static_cast<std::size_t>(k) * static_cast<std::size_t>(p), 0.0);
    const std::size_t cells = static_cast<std::size_t>(n) * static_cast<std::size_t>(p);
    ReplicateState state{n, p, out, std::vector<char>(static_cast<std::size_t>(k), 0), {}, {}};
    const auto report = [&](int s) {
        if (analysed) analysed(s, state.indefinite[static_cast<std::size_t>(s)] != 0);
    };
    if (parallelThreads() < 2 || k < 2) {
        std::vector<double> x(cells);
        for (int s = 0; s < k; ++s) {
            if (progress) progress(s);
            fillRandomNormal(x.data(), cells);
            state.analyse(s, x.data());
            report(s);
        }
        return out;
    }
    // Sample s goes to slot s mod kSlots: drawn here in order, analysed in
    // order on the second thread. Taking a free slot for sample s means
    // sample s - kSlots has been analysed.
    std::vector<std::vector<double>> slots(kSlots, std::vector<double>(cells));
    std::counting_semaphore<kSlots> free(kSlots), drawn(0);
    std::thread second([&] {
        for (int s = 0; s < k; ++s) {
            drawn.acquire();
            state.analyse(s, slots[static_cast<std::size_t>(s % kSlots)].data());
            free.release();
        }
    });
    for (int s = 0; s < k; ++s) {
        if (progress) progress(s);
        free.acquire();
        if (s >= kSlots) report(s - kSlots);
        fillRandomNormal(slots[static_cast<std::size_t>(s % kSlots)].data(), cells);
        drawn.release();
    }
    second.join();
    for (int s = std::max(0, k - kSlots); s < k; ++s) report(s);
    return out;
}

}  // namespace talvex
