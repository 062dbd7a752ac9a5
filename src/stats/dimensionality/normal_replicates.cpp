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

// The row stride of the standardized sample is p rounded up to a group of
// four columns, the extra columns held at 0; the cross products go by tiles
// of a few variables against eight columns (four at the end of a row when
// that is left).
constexpr int kGroup = 4;
// Rows of the sample per pass over a tile's accumulators (32 KB of rows).
constexpr int kRowBlock = 128;

// The kernels are written for a vector of doubles V: four in the AVX2
// build, two in the SSE2 one (whose registers hold two; wider vectors
// there would keep the sums in memory).
template <typename V>
constexpr int kLanes = static_cast<int>(sizeof(V) / sizeof(double));

int strideOf(int p) { return (p + kGroup - 1) / kGroup * kGroup; }

// Cross products of the rows begin .. end - 1 of z added onto acc (row-major,
// row length stride) for the variables a .. a + rows - 1 against columns
// c .. c + width - 1. Each sum grows row after row, as a plain loop over the
// rows adds it; the tile's sums are independent, so the additions of a row
// need not wait for each other.
template <typename V, int rows, int width>
TALVEX_KERNEL_BODY void addTile(const double* z, int stride, int a, int c, int begin, int end, double* acc) {
    constexpr int lanes = kLanes<V>, vectors = width / lanes;
    V sum[rows][vectors];
    for (int k = 0; k < rows; ++k)
        for (int v = 0; v < vectors; ++v)
            std::memcpy(&sum[k][v], acc + static_cast<std::size_t>(a + k) * stride + c + lanes * v, sizeof(V));
    for (int i = begin; i < end; ++i) {
        const double* row = z + static_cast<std::size_t>(i) * stride;
        V x[vectors];
        for (int v = 0; v < vectors; ++v) std::memcpy(&x[v], row + c + lanes * v, sizeof(V));
        for (int k = 0; k < rows; ++k) {
            const double u = row[a + k];
            for (int v = 0; v < vectors; ++v) sum[k][v] += u * x[v];
        }
    }
    for (int k = 0; k < rows; ++k)
        for (int v = 0; v < vectors; ++v)
            std::memcpy(acc + static_cast<std::size_t>(a + k) * stride + c + lanes * v, &sum[k][v], sizeof(V));
}

// The upper triangle of the cross products of the first p columns (and of
// some padding), rows begin .. end - 1, by tiles of `rows` variables.
template <typename V, int rows>
TALVEX_KERNEL_BODY void addCrossProductsBody(const double* z, int stride, int p, int begin, int end, double* acc) {
    for (int a = 0; a < p; a += rows) {
        int c = a / kGroup * kGroup;
        for (; c + 2 * kGroup <= stride; c += 2 * kGroup) addTile<V, rows, 2 * kGroup>(z, stride, a, c, begin, end, acc);
        if (c < stride) addTile<V, rows, kGroup>(z, stride, a, c, begin, end, acc);
    }
}

// The values of column j of the n x p sample x (column after column) from
// row i on, a vector of them; zeros for the padding columns from p on.
template <typename V>
TALVEX_KERNEL_BODY void columnPiece(const double* x, int n, int p, int j, int i, V& v) {
    v = V{};
    if (j < p) std::memcpy(&v, x + static_cast<std::size_t>(j) * static_cast<std::size_t>(n) + i, sizeof v);
}

// One row's piece into z, onto its columns' sums and sums of squares.
template <typename V>
TALVEX_KERNEL_BODY void addRow(const V& row, double* to, V& sum, V& square) {
    sum += row;
    square += row * row;
    std::memcpy(to, &row, sizeof row);
}

// Columns j0 .. j0 + width - 1 of x into the rows of z, a square of one
// vector's rows and columns at a time turned in registers, and their sums
// and sums of squares, each added in row order from zero.
template <typename V, int width>
TALVEX_KERNEL_BODY void transposeColumns(const double* x, int n, int p, int stride, int j0, double* z, double* sums,
                                         double* squares) {
    constexpr int lanes = kLanes<V>, vectors = width / lanes;
    V sum[vectors] = {}, square[vectors] = {};
    const auto at = [&](int i, int v) { return z + static_cast<std::size_t>(i) * stride + j0 + lanes * v; };
    int i = 0;
    for (; i + lanes <= n; i += lanes)
        for (int v = 0; v < vectors; ++v) {
            V column[lanes];
            for (int k = 0; k < lanes; ++k) columnPiece(x, n, p, j0 + lanes * v + k, i, column[k]);
            for (int r = 0; r < lanes; ++r) {
                V row;
                for (int k = 0; k < lanes; ++k) row[k] = column[k][r];
                addRow(row, at(i + r, v), sum[v], square[v]);
            }
        }
    for (; i < n; ++i)
        for (int v = 0; v < vectors; ++v) {
            V row{};
            for (int k = 0; k < lanes && j0 + lanes * v + k < p; ++k)
                row[k] = x[static_cast<std::size_t>(j0 + lanes * v + k) * static_cast<std::size_t>(n) + i];
            addRow(row, at(i, v), sum[v], square[v]);
        }
    for (int v = 0; v < vectors; ++v) {
        std::memcpy(sums + j0 + lanes * v, &sum[v], sizeof(V));
        std::memcpy(squares + j0 + lanes * v, &square[v], sizeof(V));
    }
}

// The n x p sample x (column after column) into the rows of z, padding
// columns 0, and the column sums and sums of squares, each added in row
// order; eight columns side by side while they last.
template <typename V>
TALVEX_KERNEL_BODY void transposeAndSumBody(const double* x, int n, int p, int stride, double* z, double* sums,
                                            double* squares) {
    int j0 = 0;
    for (; j0 + 2 * kGroup <= stride; j0 += 2 * kGroup)
        transposeColumns<V, 2 * kGroup>(x, n, p, stride, j0, z, sums, squares);
    if (j0 < stride) transposeColumns<V, kGroup>(x, n, p, stride, j0, z, sums, squares);
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
        transposeAndSumBody<Vec2>(x, n, p, stride, z, sums, squares);
    },
    [](double* z, int n, int stride, const double* means, const double* sds) {
        standardizeRowsBody(z, n, stride, means, sds);
    },
    [](const double* z, int stride, int p, int begin, int end, double* acc) {
        addCrossProductsBody<Vec2, 2>(z, stride, p, begin, end, acc);
    }};

TALVEX_AVX2 void transposeAndSumAvx2(const double* x, int n, int p, int stride, double* z, double* sums,
                                     double* squares) {
    transposeAndSumBody<Vec4>(x, n, p, stride, z, sums, squares);
}
TALVEX_AVX2 void standardizeRowsAvx2(double* z, int n, int stride, const double* means, const double* sds) {
    standardizeRowsBody(z, n, stride, means, sds);
}
TALVEX_AVX2 void addCrossProductsAvx2(const double* z, int stride, int p, int begin, int end, double* acc) {
    addCrossProductsBody<Vec4, 4>(z, stride, p, begin, end, acc);
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
