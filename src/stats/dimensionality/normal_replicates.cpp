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

// Columns per tile of the cross products; the row stride of the
// standardized sample is p rounded up to it, the extra columns held at 0.
constexpr int kTileColumns = 8;
// Rows of the sample per pass over a tile's accumulators (32 KB of rows).
constexpr int kRowBlock = 128;
// Rows per pass of the transposition (8 KB of rows of 32 variables).
constexpr int kTransposeRows = 32;


using Vec4 = double __attribute__((vector_size(4 * sizeof(double))));

int strideOf(int p) { return (p + kTileColumns - 1) / kTileColumns * kTileColumns; }

// Cross products of the rows begin .. end - 1 of z added onto acc (row-major,
// row length stride), for the upper triangle of the first p columns, by
// tiles of the variables a, a + 1 against c .. c + 7. Each sum grows row
// after row, as a plain loop over the rows adds it.
TALVEX_KERNEL_BODY void addCrossProductsBody(const double* z, int stride, int p, int begin, int end, double* acc) {
    for (int a = 0; a < p; a += 2)
        for (int c = a / kTileColumns * kTileColumns; c < p; c += kTileColumns) {
            double* top = acc + static_cast<std::size_t>(a) * stride + c;
            double* bottom = top + stride;
            Vec4 t0, t1, b0, b1;
            std::memcpy(&t0, top, sizeof t0);
            std::memcpy(&t1, top + 4, sizeof t1);
            std::memcpy(&b0, bottom, sizeof b0);
            std::memcpy(&b1, bottom + 4, sizeof b1);
            for (int i = begin; i < end; ++i) {
                const double* row = z + static_cast<std::size_t>(i) * stride;
                Vec4 x0, x1;
                std::memcpy(&x0, row + c, sizeof x0);
                std::memcpy(&x1, row + c + 4, sizeof x1);
                const double u = row[a], v = row[a + 1];
                t0 += u * x0;
                t1 += u * x1;
                b0 += v * x0;
                b1 += v * x1;
            }
            std::memcpy(top, &t0, sizeof t0);
            std::memcpy(top + 4, &t1, sizeof t1);
            std::memcpy(bottom, &b0, sizeof b0);
            std::memcpy(bottom + 4, &b1, sizeof b1);
        }
}

// The n x p sample x (column after column) into the rows of z, and the
// column sums and sums of squares, each added in row order.
TALVEX_KERNEL_BODY void transposeAndSumBody(const double* x, int n, int p, int stride, double* z, double* sums,
                                            double* squares) {
    for (int begin = 0; begin < n; begin += kTransposeRows) {
        const int end = std::min(n, begin + kTransposeRows);
        for (int j = 0; j < p; ++j) {
            const double* column = x + static_cast<std::size_t>(j) * static_cast<std::size_t>(n);
            for (int i = begin; i < end; ++i) z[static_cast<std::size_t>(i) * stride + j] = column[i];
        }
        for (int i = begin; i < end; ++i) {
            const double* row = z + static_cast<std::size_t>(i) * stride;
            for (int j = 0; j < stride; ++j) {
                sums[j] += row[j];
                squares[j] += row[j] * row[j];
            }
        }
    }
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
        addCrossProductsBody(z, stride, p, begin, end, acc);
    }};

TALVEX_AVX2 void transposeAndSumAvx2(const double* x, int n, int p, int stride, double* z, double* sums,
                                     double* squares) {
    transposeAndSumBody(x, n, p, stride, z, sums, squares);
}
TALVEX_AVX2 void standardizeRowsAvx2(double* z, int n, int stride, const double* means, const double* sds) {
    standardizeRowsBody(z, n, stride, means, sds);
}
TALVEX_AVX2 void addCrossProductsAvx2(const double* z, int stride, int p, int begin, int end, double* acc) {
    addCrossProductsBody(z, stride, p, begin, end, acc);
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

    // Cross products of the upper triangle by tiles of 2 x 8, the rows in
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
