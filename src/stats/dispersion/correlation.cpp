#include "stats/dispersion/correlation.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <vector>

#include "report/report_writer.h"
#include "core/parallel_for.h"
#include "data/dataset.h"
#include "stats/dispersion/descriptives.h"
#include "stats/dispersion/tile_products.h"

namespace talvex {

namespace {

// Columns per panel and rows per block of the cross products: a block of
// 100 columns is 200 KB and stays in L2 while every pair of panels sweeps it.
constexpr int kLanes = kTileLanes;
constexpr int kBlockRows = 256;

// The tiles (pb, pc), pb <= pc, of AᵀA over one packed block of `rows`
// rows whose number in that order is `part` modulo `parts`, each added to
// out[r][c] in row order.
template <class Shape>
TALVEX_KERNEL_BODY void blockCrossProductsBody(const double* block, int rows, int panels, int part, int parts,
                                               double* tiles) {
    const std::size_t panelSize = static_cast<std::size_t>(kBlockRows) * kLanes;
    int number = 0;
    for (int pb = 0; pb < panels; ++pb)
        for (int pc = pb; pc < panels; ++pc, ++number) {
            if (number % parts != part) continue;
            double* tile = tiles + (static_cast<std::size_t>(pb) * panels + pc) * kLanes * kLanes;
            addTileProducts<Shape>(block + pb * panelSize, block + pc * panelSize, rows, tile);
        }
}

void blockCrossProductsPortable(const double* block, int rows, int panels, int part, int parts, double* tiles) {
    blockCrossProductsBody<PortableTile>(block, rows, panels, part, parts, tiles);
}
TALVEX_AVX2 void blockCrossProductsAvx2(const double* block, int rows, int panels, int part, int parts,
                                        double* tiles) {
    blockCrossProductsBody<Avx2Tile>(block, rows, panels, part, parts, tiles);
}

// Products per cross product from which a second thread pays for itself.
constexpr double kThreadedProducts = 4e6;

// Aᵀ·A of A = (X - shift) / scale taken row by row while the blocks are
// packed, so that no N x m copy of A is made; shift and scale (1 x m) may
// be absent. Each element of A is the same expression as in centreColumns
// and standardizeColumns, so the sums are the same bits.
Matrix shiftedCrossProduct(const Matrix& a, const Matrix* shift, const Matrix* scale, KernelPath path) {
    const int n = a.rows(), m = a.cols();
    Matrix result(m, m);
    // Blocks of rows packed by panels of kLanes columns (zero past column
    // m); each tile keeps its sums across blocks, so every element adds its
    // products in row order, as the general product does. With two threads
    // each packs every block for itself (no waiting on the other) and sums
    // every other tile; a tile is summed by the same code whichever thread
    // takes it, so the thread count changes no bit.
    const int panels = (m + kLanes - 1) / kLanes;
    const std::size_t panelSize = static_cast<std::size_t>(kBlockRows) * kLanes;
    std::vector<double> tiles(static_cast<std::size_t>(panels) * panels * kLanes * kLanes, 0.0);
    const auto blockProducts = path == KernelPath::Avx2 ? blockCrossProductsAvx2 : blockCrossProductsPortable;
    const bool threaded = static_cast<double>(n) * m * m / 2.0 >= kThreadedProducts;
    // Below that size both shares run here (parallelFor takes a second
    // thread only from `least` items on).
    parallelFor(2, threaded ? 2 : 3, [&](int begin, int end, int) {
        std::vector<double> block(static_cast<std::size_t>(panels) * panelSize, 0.0);
        for (int first = 0; first < n; first += kBlockRows) {
            const int rows = std::min(kBlockRows, n - first);
            for (int k = 0; k < rows; ++k) {
                const double* row = a[first + k];
                for (int j = 0; j < m; ++j) {
                    double v = row[j];
                    if (shift != nullptr) v = v - (*shift)[0][j];
                    if (scale != nullptr) v = v / (*scale)[0][j];
                    block[(static_cast<std::size_t>(j / kLanes) * kBlockRows + k) * kLanes + j % kLanes] = v;
                }
            }
            for (int part = begin; part < end; ++part) blockProducts(block.data(), rows, panels, part, 2, tiles.data());
        }
    });
    for (int r = 0; r < m; ++r)
        for (int c = r; c < m; ++c) {
            const double v = tiles[((static_cast<std::size_t>(r / kLanes) * panels + c / kLanes) * kLanes +
                                    r % kLanes) * kLanes + c % kLanes];
            result[r][c] = v;
            result[c][r] = v;
        }
    return result;
}

// Aᵀ·A multiplied by 1/N, A as in shiftedCrossProduct.
Matrix meanCrossProduct(const Matrix& x, const Matrix* shift, const Matrix* scale) {
    Matrix result(x.cols(), x.cols());
    MatrixScope scope;
    const Matrix product = shiftedCrossProduct(x, shift, scale, kernelPath()).scale(1.0 / x.rows());
    for (int r = 0; r < x.cols(); ++r)
        for (int c = 0; c < x.cols(); ++c) result[r][c] = product[r][c];
    return result;
}

}  // namespace

Matrix crossProduct(const Matrix& a, KernelPath path) { return shiftedCrossProduct(a, nullptr, nullptr, path); }

Matrix centredCrossProduct(const Matrix& x, const Matrix& means, KernelPath path) {
    return shiftedCrossProduct(x, &means, nullptr, path);
}

Matrix covarianceOf(const Matrix& x) {
    Matrix result(x.cols(), x.cols());
    MatrixScope scope;
    const Matrix means = columnMeans(x);
    // The centred copy not made, and its scope.
    countConstructions(kCentredCopyConstructions);
    const Matrix c = meanCrossProduct(x, &means, nullptr);
    for (int r = 0; r < x.cols(); ++r)
        for (int k = 0; k < x.cols(); ++k) result[r][k] = c[r][k];
    return result;
}

namespace {

// Matrices `make` creates from a 2 x 1 matrix, taken in a pool of its own
// (which releases them when it ends); the input is not counted.
template <class Make>
int constructionsOf(Make make) {
    ThreadMatrixPool pool;
    const Matrix x(2, 1);
    make(x);
    return pool.constructions() - 1;
}

// Matrices covarianceOf(x).diag() creates (the same for every shape).
int covarianceDiagonalConstructions() {
    static const int count = constructionsOf([](const Matrix& x) { covarianceOf(x).diag(); });
    return count;
}

}  // namespace

int correlationConstructions() {
    static const int count = constructionsOf([](const Matrix& x) { correlationOf(x); });
    return count;
}

Matrix columnVariances(const Matrix& x) {
    // The matrices of the covariance route, but for the result.
    countConstructions(covarianceDiagonalConstructions() - 1);
    const int n = x.rows(), m = x.cols();
    Matrix result(m, 1);
    std::vector<double> mean(static_cast<std::size_t>(m), 0.0), squares(static_cast<std::size_t>(m), 0.0);
    for (int i = 0; i < n; ++i) {
        const double* row = x[i];
        for (int j = 0; j < m; ++j) mean[static_cast<std::size_t>(j)] += row[j];
    }
    for (double& v : mean) v = n > 0 ? v / n : 0.0;
    for (int i = 0; i < n; ++i) {
        const double* row = x[i];
        for (int j = 0; j < m; ++j) {
            const double d = row[j] - mean[static_cast<std::size_t>(j)];
            squares[static_cast<std::size_t>(j)] += d * d;
        }
    }
    for (int j = 0; j < m; ++j) result[j][0] = squares[static_cast<std::size_t>(j)] * (1.0 / n);
    return result;
}

Matrix correlationOf(const Matrix& x) {
    Matrix result(x.cols(), x.cols());
    MatrixScope scope;
    const Matrix means = columnMeans(x);
    const Matrix sds = columnSds(x);
    countConstructions(kCentredCopyConstructions);
    const Matrix c = meanCrossProduct(x, &means, &sds);
    for (int r = 0; r < x.cols(); ++r)
        for (int k = 0; k < x.cols(); ++k) result[r][k] = c[r][k];
    return result;
}

namespace {

const char* dispersionTitle(DispersionType type) {
    switch (type) {
        case Covariance:
            return "VARIANCE / COVARIANCE MATRIX \n\n";
        case PearsonCorrelation:
            return "STANDARIZED VARIANCE / COVARIANCE MATRIX (PEARSON CORRELATION)\n\n";
        case PolychoricCorrelation:
            return "STANDARIZED VARIANCE / COVARIANCE MATRIX (POLYCHORIC CORRELATION)\n"
                   "(Polychoric algorithm: Olsson ,1979a, 1979b; Tetrachoric algorithm: AS116)\n\n";
        case UserMatrix:
            return "DISPERSION MATRIX (USER DEFINED)\n\n";
        case DispersionNotChosen:
            break;
    }
    return "";
}

}  // namespace

void writeDispersionMatrix(ReportWriter& report, const DataSet& data, const Matrix& m, DispersionType type) {
    const int n = m.rows();
    report.write(dispersionTitle(type));
    report.write(variableHeading(data));
    for (int j = 0; j < n; ++j) report.printf("%4i     ", data.fileNumber(j));
    report.printf("\n");
    for (int i = 0; i < n; ++i) {
        report.write(variableName(data, i));
        for (int j = 0; j <= i; ++j) report.printf("%7.3f  ", m[i][j]);
        report.printf("\n");
    }
    report.printf("\n");

    MatrixScope scope;
    Matrix values(n, 1);
    Matrix vectors(n, n);
    m.eigenSymmetric(values, vectors);
    // Eigenvalues come in decreasing order: the last is the smallest.
    if (n > 0 && values[n - 1][0] < 0.0)
        report.printf("\nWARNING: Matrix to be analyzed is not positive-definite.\n\n");
    report.separator();
}

}  // namespace talvex
