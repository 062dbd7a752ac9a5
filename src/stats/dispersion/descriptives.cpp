#include "stats/dispersion/descriptives.h"

#include <algorithm>
#include <iterator>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <vector>

#include "report/report_writer.h"
#include "core/distributions.h"
#include "core/kernels.h"
#include "data/dataset.h"
#include "core/parallel_for.h"
#include "stats/dispersion/correlation.h"
#include "stats/dispersion/text_plots.h"
#include "stats/dispersion/tile_products.h"

namespace talvex {

Matrix columnMeans(const Matrix& x) {
    Matrix result(1, x.cols());
    MatrixScope scope;
    const Matrix means = x.columnSums().divideScalar(x.rows());
    for (int j = 0; j < x.cols(); ++j) result[0][j] = means[0][j];
    return result;
}

Matrix columnSds(const Matrix& x) {
    Matrix result(1, x.cols());
    MatrixScope scope;
    const double n = x.rows();
    const Matrix sums = x.columnSums();
    const Matrix squares = x.columnSumsOfSquares();
    for (int j = 0; j < x.cols(); ++j) {
        const double mean = sums[0][j] / n;
        // The one-pass difference can fall a rounding error below zero for a
        // constant column; that is a zero variance, not a NaN.
        result[0][j] = std::sqrt(std::max(0.0, squares[0][j] / n - mean * mean));
    }
    return result;
}

namespace {

// Σ(x - mean)^power / (N - 1) / sd^power for each column.
Matrix standardizedMoment(const Matrix& x, int power) {
    Matrix result(1, x.cols());
    MatrixScope scope;
    const Matrix means = columnMeans(x);
    const Matrix sds = columnSds(x);
    const int n = x.rows(), m = x.cols();
    std::vector<double> sums(static_cast<std::size_t>(m), 0.0);
    const double* mean = means[0];
    for (int i = 0; i < n; ++i) {
        const double* row = x[i];
        for (int j = 0; j < m; ++j) {
            const double d = row[j] - mean[j];
            const double d2 = d * d;
            sums[static_cast<std::size_t>(j)] += power == 3 ? d2 * d : d2 * d2;
        }
    }
    for (int j = 0; j < m; ++j) {
        const double sd = sds[0][j];
        const double scale = power == 3 ? sd * sd * sd : sd * sd * sd * sd;
        result[0][j] = sums[static_cast<std::size_t>(j)] / (n - 1) / scale;
    }
    return result;
}

}  // namespace

Matrix columnSkewness(const Matrix& x) { return standardizedMoment(x, 3); }

Matrix columnKurtosis(const Matrix& x) {
    Matrix result = standardizedMoment(x, 4);
    for (int j = 0; j < x.cols(); ++j) result[0][j] -= 3.0;
    return result;
}

Matrix centreColumns(const Matrix& x) {
    Matrix result(x.rows(), x.cols());
    MatrixScope scope;
    const Matrix means = columnMeans(x);
    for (int i = 0; i < x.rows(); ++i)
        for (int j = 0; j < x.cols(); ++j) result[i][j] = x[i][j] - means[0][j];
    return result;
}

Matrix standardizeColumns(const Matrix& x) {
    Matrix result(x.rows(), x.cols());
    MatrixScope scope;
    const Matrix means = columnMeans(x);
    const Matrix sds = columnSds(x);
    for (int i = 0; i < x.rows(); ++i)
        for (int j = 0; j < x.cols(); ++j) result[i][j] = (x[i][j] - means[0][j]) / sds[0][j];
    return result;
}

namespace {

// Rows per micro-panel of the pair sums, and micro-panels per cache block:
// a block of 128 panels of 100 variables is 400 KB and stays in L2 while
// every earlier row panel streams past it.
constexpr int kPanel = kTileLanes;
constexpr int kBlockPanels = 64;

// Rows of a (n x p) packed in panels of kPanel rows, variable-major inside a
// panel so the micro-kernel reads both operands contiguously. Rows past n
// are zero, so their cross products are zero and add nothing.
std::vector<double> packPanels(const Matrix& a, int panels) {
    const int n = a.rows(), p = a.cols();
    std::vector<double> packed(static_cast<std::size_t>(panels) * p * kPanel, 0.0);
    for (int i = 0; i < n; ++i) {
        double* panel = packed.data() + static_cast<std::size_t>(i / kPanel) * p * kPanel;
        const double* row = a[i];
        for (int k = 0; k < p; ++k) panel[k * kPanel + i % kPanel] = row[k];
    }
    return packed;
}

// g_ij = (x_i - x̄)ᵀ S⁻¹ (x_j - x̄) is symmetric in i and j, so each pair of
// distinct participants is visited once and counted twice.
// Each element adds its products in the same order in both builds.
template <class Shape>
TALVEX_KERNEL_BODY MardiaSums mahalanobisPairSumsBody(const Matrix& y, const Matrix& xc) {
    const int n = y.rows(), p = y.cols();
    const int panels = (n + kPanel - 1) / kPanel;
    const std::vector<double> yp = packPanels(y, panels);
    const std::vector<double> xp = packPanels(xc, panels);
    const std::size_t stride = static_cast<std::size_t>(p) * kPanel;
    double cubes = 0.0, diagonalSquares = 0.0;
    double g[kPanel * kPanel];
    for (int jb = 0; jb < panels; jb += kBlockPanels) {
        const int jEnd = std::min(panels, jb + kBlockPanels);
        double blockCubes = 0.0;
        for (int ip = 0; ip < jEnd; ++ip) {
            const double* yPanel = yp.data() + ip * stride;
            for (int jp = std::max(jb, ip); jp < jEnd; ++jp) {
                std::fill(std::begin(g), std::end(g), 0.0);
                addTileProducts<Shape>(yPanel, xp.data() + jp * stride, p, g);
                double tile = 0.0;
                if (jp != ip) {
                    for (double v : g) tile += v * v * v;
                    blockCubes += 2.0 * tile;
                    continue;
                }
                for (int r = 0; r < kPanel; ++r) {
                    const double d = g[r * kPanel + r];
                    tile += d * d * d;
                    diagonalSquares += d * d;
                    for (int c = r + 1; c < kPanel; ++c) {
                        const double v = g[r * kPanel + c];
                        tile += 2.0 * v * v * v;
                    }
                }
                blockCubes += tile;
            }
        }
        cubes += blockCubes;
    }
    return {cubes / (static_cast<double>(n) * n), diagonalSquares / n};
}

MardiaSums mahalanobisPairSumsPortable(const Matrix& y, const Matrix& xc) {
    return mahalanobisPairSumsBody<PortableTile>(y, xc);
}
TALVEX_AVX2 MardiaSums mahalanobisPairSumsAvx2(const Matrix& y, const Matrix& xc) {
    return mahalanobisPairSumsBody<Avx2Tile>(y, xc);
}

// Lower Cholesky factor of a symmetric p x p matrix, row-major; false when a
// pivot is not positive (a singular or indefinite covariance).
bool choleskyLower(const Matrix& s, std::vector<double>& l) {
    const int p = s.rows();
    l.assign(static_cast<std::size_t>(p) * p, 0.0);
    for (int j = 0; j < p; ++j) {
        double* lj = l.data() + static_cast<std::size_t>(j) * p;
        double d = s[j][j];
        for (int k = 0; k < j; ++k) d -= lj[k] * lj[k];
        if (!(d > 0.0)) return false;
        lj[j] = std::sqrt(d);
        for (int i = j + 1; i < p; ++i) {
            double* li = l.data() + static_cast<std::size_t>(i) * p;
            double v = s[i][j];
            for (int k = 0; k < j; ++k) v -= li[k] * lj[k];
            li[j] = v / lj[j];
        }
    }
    return true;
}

// Rows per block of the third-moment sums: a block of 100 variables is
// 200 KB and stays in L2 while every variable a sweeps over it.
constexpr int kMomentRows = 256;

// Rows whitened together: four independent chains of four lanes hide the
// latency of each row's running difference.
constexpr int kWhitenRows = 16;

// Forward substitution L z = x_i - x̄ for kWhitenRows rows at once:
// z[kWhitenRows·v + r] is row r's z_v (each row's operations in its own
// order, so the bits of a row solved alone).
TALVEX_KERNEL_BODY void whitenRowsBody(const double* const* row, const double* mean, const double* l, int p,
                                       double* z) {
    constexpr int kChains = kWhitenRows / 4;
    for (int v = 0; v < p; ++v) {
        const double* lv = l + static_cast<std::size_t>(v) * p;
        Vec4 t[kChains];
        for (int c = 0; c < kChains; ++c)
            for (int r = 0; r < 4; ++r) t[c][r] = row[4 * c + r][v] - mean[v];
        for (int k = 0; k < v; ++k)
            for (int c = 0; c < kChains; ++c) {
                Vec4 zk;
                std::memcpy(&zk, z + kWhitenRows * k + 4 * c, sizeof zk);
                t[c] -= lv[k] * zk;
            }
        for (int c = 0; c < kChains; ++c) {
            t[c] /= lv[v];
            std::memcpy(z + kWhitenRows * v + 4 * c, &t[c], sizeof t[c]);
        }
    }
}

void whitenRowsPortable(const double* const* row, const double* mean, const double* l, int p, double* z) {
    whitenRowsBody(row, mean, l, p, z);
}
TALVEX_AVX2 void whitenRowsAvx2(const double* const* row, const double* mean, const double* l, int p, double* z) {
    whitenRowsBody(row, mean, l, p, z);
}

// Whitened scores z_i = L⁻¹(x_i - x̄) of rows [first, first + count)
// (first a multiple of kMomentRows) packed by blocks of kMomentRows rows,
// then by panels of kPanel variables, row-major inside a panel: element
// (i, v) sits at ((block·panels + v / kPanel)·kMomentRows + i % kMomentRows)·kPanel + v % kPanel,
// blocks counted from the first row. Padding rows and variables are zero
// and add nothing to any moment.
void packWhitened(const Matrix& x, const Matrix& means, const std::vector<double>& l, int panels,
                  int first, int count, std::vector<double>& packed, KernelPath path) {
    const int p = x.cols();
    const int blocks = (count + kMomentRows - 1) / kMomentRows;
    packed.assign(static_cast<std::size_t>(blocks) * panels * kMomentRows * kPanel, 0.0);
    const double* mean = means[0];
    // Rows are independent: each thread takes a share of whole blocks.
    constexpr int kTogether = kWhitenRows;
    parallelFor(blocks, 2, [&](int blockBegin, int blockEnd, int) {
        const int begin = blockBegin * kMomentRows, end = std::min(count, blockEnd * kMomentRows);
        std::vector<double> z(static_cast<std::size_t>(kTogether) * p);
        const double* row[kTogether];
        for (int i0 = begin; i0 < end; i0 += kTogether) {
            const int together = std::min(kTogether, end - i0);
            // A short last group repeats its first row in the unused lanes.
            for (int r = 0; r < kTogether; ++r) row[r] = x[first + i0 + (r < together ? r : 0)];
            (path == KernelPath::Avx2 ? whitenRowsAvx2 : whitenRowsPortable)(row, mean, l.data(), p, z.data());
            for (int r = 0; r < together; ++r) {
                const int i = i0 + r;
                double* block = packed.data() + static_cast<std::size_t>(i / kMomentRows) * panels * kMomentRows * kPanel;
                for (int v = 0; v < p; ++v)
                    block[(static_cast<std::size_t>(v / kPanel) * kMomentRows + i % kMomentRows) * kPanel + v % kPanel] =
                        z[static_cast<std::size_t>(kTogether) * v + r];
            }
        }
    });
}

// Tiles (pb, pc), pa <= pb <= pc, of variable a's moments m_abc.
inline int tilesFrom(int pa, int panels) { return (panels - pa) * (panels - pa + 1) / 2; }

// Start of each variable's tile sums, and their total size at the end.
std::vector<std::size_t> momentOffsets(int p) {
    const int panels = (p + kPanel - 1) / kPanel;
    std::vector<std::size_t> offset(static_cast<std::size_t>(p) + 1, 0);
    for (int a = 0; a < p; ++a)
        offset[static_cast<std::size_t>(a) + 1] =
            offset[static_cast<std::size_t>(a)] + static_cast<std::size_t>(tilesFrom(a / kPanel, panels)) * kPanel * kPanel;
    return offset;
}

// One pass of a moment tile: rows First .. First + kRows - 1 of
// tile[r·8 + c] += Σ over k < rows of y[k·8 + r]·wx[k·8 + c], the sums
// started from 0 and added to the tile at the end, in order of k. Low and
// High say which halves of the columns (0-3, 4-7) are wanted; the others
// are left as they are.
template <class Shape, int First, bool Low, bool High>
TALVEX_KERNEL_BODY void addMomentPass(const double* __restrict y, const double* __restrict wx, int rows,
                                      double* __restrict tile) {
    using Vec = typename Shape::Vec;
    constexpr int kWidth = sizeof(Vec) / sizeof(double);
    constexpr int kParts = kTileLanes / kWidth;
    constexpr int kBegin = Low ? 0 : kParts / 2, kEnd = High ? kParts : kParts / 2;
    Vec acc[Shape::kRows][kParts] = {};
    for (int k = 0; k < rows; ++k) {
        Vec x[kParts];
        for (int q = kBegin; q < kEnd; ++q) std::memcpy(&x[q], wx + k * kTileLanes + q * kWidth, sizeof x[q]);
        const double* yk = y + k * kTileLanes + First;
        for (int r = 0; r < Shape::kRows; ++r)
            for (int q = kBegin; q < kEnd; ++q) acc[r][q] += yk[r] * x[q];
    }
    for (int r = 0; r < Shape::kRows; ++r)
        for (int q = kBegin; q < kEnd; ++q) {
            double* to = tile + (First + r) * kTileLanes + q * kWidth;
            Vec sum;
            std::memcpy(&sum, to, sizeof sum);
            sum += acc[r][q];
            std::memcpy(to, &sum, sizeof sum);
        }
}

// The passes of tile (pb, pc) that hold a wanted moment: rows from
// rowBegin to rowEnd, columns below colEnd, and on the diagonal (pb = pc)
// no column left of its row. Unwanted elements are never read.
template <class Shape, int First = 0>
TALVEX_KERNEL_BODY void addMomentTile(const double* y, const double* wx, int rows, int rowBegin, int rowEnd,
                                      int colEnd, bool diagonal, double* tile) {
    if constexpr (First < kTileLanes) {
        constexpr int kHalf = kTileLanes / 2;
        if (First + Shape::kRows > rowBegin && First < rowEnd) {
            const bool low = !(diagonal && First >= kHalf), high = colEnd > kHalf;
            if (low && high)
                addMomentPass<Shape, First, true, true>(y, wx, rows, tile);
            else if (low)
                addMomentPass<Shape, First, true, false>(y, wx, rows, tile);
            else if (high)
                addMomentPass<Shape, First, false, true>(y, wx, rows, tile);
        }
        addMomentTile<Shape, First + Shape::kRows>(y, wx, rows, rowBegin, rowEnd, colEnd, diagonal, tile);
    }
}

// For each of the variables a, adds the products z_b·(z_a·z_c)
// of the n packed rows z to the tile sums of a (a <= b <= c, by panels):
// z_a·z_c is formed once per panel pc and serves every pb <= pc. The
// blocks are added in order, so the sums of a file taken chunk after chunk
// are the sums of the whole; each a is summed by the same code in the same
// order whichever thread runs it.
template <class Shape>
TALVEX_KERNEL_BODY void momentSquaresBody(const std::vector<double>& z, int n, int p, const std::vector<int>& variables,
                                          const std::vector<std::size_t>& offset, double* sums) {
    using Vec = typename Shape::Vec;
    constexpr int kWidth = sizeof(Vec) / sizeof(double);
    const int panels = (p + kPanel - 1) / kPanel;
    const int blocks = (n + kMomentRows - 1) / kMomentRows;
    const std::size_t panelSize = static_cast<std::size_t>(kMomentRows) * kPanel;
    alignas(32) double wx[kMomentRows * kPanel];
    for (int blk = 0; blk < blocks; ++blk) {
        const double* block = z.data() + static_cast<std::size_t>(blk) * panels * panelSize;
        const int rows = std::min(kMomentRows, n - blk * kMomentRows);
        for (int a : variables) {
            const int pa = a / kPanel;
            const double* w = block + pa * panelSize + a % kPanel;
            double* t = sums + offset[static_cast<std::size_t>(a)];
            for (int pc = pa; pc < panels; ++pc) {
                const double* x = block + pc * panelSize;
                for (int k = 0; k < rows; ++k)
                    for (int q = 0; q < kPanel; q += kWidth) {
                        Vec v;
                        std::memcpy(&v, x + k * kPanel + q, sizeof v);
                        v *= w[k * kPanel];
                        std::memcpy(wx + k * kPanel + q, &v, sizeof v);
                    }
                for (int pb = pa; pb <= pc; ++pb) {
                    // Tiles are stored by pb, then pc >= pb.
                    const int before = (pb - pa) * panels - (pb - pa) * (pa + pb - 1) / 2;
                    double* tile = t + static_cast<std::size_t>(before + pc - pb) * kPanel * kPanel;
                    addMomentTile<Shape>(block + pb * panelSize, wx, rows, pb == pa ? a % kPanel : 0,
                                         std::min(kPanel, p - pb * kPanel), std::min(kPanel, p - pc * kPanel),
                                         pb == pc, tile);
                }
            }
        }
    }
}

void momentSquaresPortable(const std::vector<double>& z, int n, int p, const std::vector<int>& variables,
                           const std::vector<std::size_t>& offset, double* sums) {
    momentSquaresBody<PortableTile>(z, n, p, variables, offset, sums);
}
TALVEX_AVX2 void momentSquaresAvx2(const std::vector<double>& z, int n, int p, const std::vector<int>& variables,
                                   const std::vector<std::size_t>& offset, double* sums) {
    momentSquaresBody<Avx2Tile>(z, n, p, variables, offset, sums);
}

// n² Σ over b, c of m_abc² for each a, restricted to
// a <= b <= c and weighted by the number of orderings of (a, b, c), into
// out[a].
void momentSquareTotals(const double* sums, const std::vector<std::size_t>& offset, int p, double* out) {
    const int panels = (p + kPanel - 1) / kPanel;
    for (int a = 0; a < p; ++a) {
        const int pa = a / kPanel;
        const double* t = sums + offset[static_cast<std::size_t>(a)];
        double total = 0.0;
        for (int pb = pa; pb < panels; ++pb)
            for (int pc = pb; pc < panels; ++pc, t += kPanel * kPanel)
                for (int r = 0; r < kPanel; ++r) {
                    const int b = pb * kPanel + r;
                    if (b < a || b >= p) continue;
                    for (int col = 0; col < kPanel; ++col) {
                        const int c = pc * kPanel + col;
                        if (c < b || c >= p) continue;
                        // Orderings of the multiset {a, b, c}.
                        const double orderings = a == c ? 1.0 : (a == b || b == c) ? 3.0 : 6.0;
                        const double m = t[r * kPanel + col];
                        total += orderings * m * m;
                    }
                }
        out[a] = total;
    }
}

}  // namespace

MardiaSums mardiaPairSums(const Matrix& x, KernelPath path) {
    const double n = x.rows();
    const Matrix xc = centreColumns(x);
    const Matrix s = covarianceOf(x).scale(n / (n - 1.0));
    const Matrix y = xc.multiply(s.inverse());
    return path == KernelPath::Avx2 ? mahalanobisPairSumsAvx2(y, xc) : mahalanobisPairSumsPortable(y, xc);
}

bool mardiaMomentSums(const Matrix& x, MardiaSums& sums, KernelPath path, int chunkRows) {
    MatrixScope scope;
    const int n = x.rows(), p = x.cols();
    // Centred and whitened row by row, a chunk at a time: no N x p copy.
    const Matrix means = columnMeans(x);
    countConstructions(kCentredCopyConstructions);
    const Matrix s = centredCrossProduct(x, means, path).scale(1.0 / n).scale(n / (n - 1.0));
    std::vector<double> l;
    if (!choleskyLower(s, l)) return false;
    const int panels = (p + kPanel - 1) / kPanel;

    // A variable's work falls as a grows (fewer tiles from its panel on):
    // the threads take them in the pattern ABBA ABBA ..., which gives each
    // the same share of large and small ones.
    std::vector<int> variables[2];
    for (int a = 0; a < p; ++a) variables[a % 4 == 0 || a % 4 == 3 ? 0 : 1].push_back(a);
    const std::vector<std::size_t> offsets = momentOffsets(p);
    std::vector<double> tileSums(offsets.back(), 0.0);

    // The whitened rows are packed and summed a chunk of blocks at a time,
    // so that no N x p array is held: the same blocks in the same order as
    // one pass over a whole packed array, so the same sums. g_ii = |z_i|².
    const int chunk = std::max(1, (chunkRows + kMomentRows - 1) / kMomentRows) * kMomentRows;
    double diagonalSquares = 0.0;
    std::vector<double> z;
    for (int first = 0; first < n; first += chunk) {
        const int count = std::min(chunk, n - first);
        packWhitened(x, means, l, panels, first, count, z, path);
        parallelFor(2, 2, [&](int begin, int end, int) {
            for (int item = begin; item < end; ++item)
                (path == KernelPath::Avx2 ? momentSquaresAvx2 : momentSquaresPortable)(
                    z, count, p, variables[item], offsets, tileSums.data());
        });
        const int blocks = (count + kMomentRows - 1) / kMomentRows;
        for (int blk = 0; blk < blocks; ++blk) {
            const int rows = std::min(kMomentRows, count - blk * kMomentRows);
            const double* block = z.data() + static_cast<std::size_t>(blk) * panels * kMomentRows * kPanel;
            for (int i = 0; i < rows; ++i) {
                double g = 0.0;
                for (int pv = 0; pv < panels; ++pv)
                    for (int r = 0; r < kPanel; ++r) {
                        const double v = block[(static_cast<std::size_t>(pv) * kMomentRows + i) * kPanel + r];
                        g += v * v;
                    }
                diagonalSquares += g * g;
            }
        }
    }
    std::vector<double> perVariable(static_cast<std::size_t>(p), 0.0);
    momentSquareTotals(tileSums.data(), offsets, p, perVariable.data());
    double cubes = 0.0;
    for (double v : perVariable) cubes += v;

    const double nn = static_cast<double>(n);
    sums = {cubes / (nn * nn), diagonalSquares / nn};
    return true;
}

Matrix mardiaTest(const Matrix& x) {
    Matrix result(9, 1);
    MatrixScope scope;
    const double n = x.rows();
    const double p = x.cols();
    // The pair sums cost N²p/2 products, the moments Np³/6 plus their
    // partial tiles.
    MardiaSums sums;
    if (!(usesThirdMoments(x.rows(), x.cols()) && mardiaMomentSums(x, sums))) sums = mardiaPairSums(x);
    const double b1 = sums.b1;
    const double b2 = sums.b2;
    const double df = p * (p + 1.0) * (p + 2.0) / 6.0;
    const int dfInt = static_cast<int>(df);
    const double statistic = n * b1 / 6.0;
    const double k = (n + 3.0) * (n + 1.0) * (p + 1.0) / (n * ((n + 1.0) * (p + 1.0) - 6.0));
    const double corrected = n * k * b1 / 6.0;
    const double z = (b2 - p * (p + 2.0)) / std::sqrt(8.0 * p * (p + 2.0) / n);

    result[MardiaSkewness][0] = b1;
    result[MardiaSkewnessStatistic][0] = statistic;
    result[MardiaDf][0] = df;
    result[MardiaSkewnessP][0] = chiSquareUpperTail(statistic, dfInt);
    result[MardiaCorrectedStatistic][0] = corrected;
    result[MardiaCorrectedP][0] = chiSquareUpperTail(corrected, dfInt);
    result[MardiaKurtosis][0] = b2;
    result[MardiaKurtosisZ][0] = z;
    // One-sided.
    result[MardiaKurtosisP][0] = 1.0 - normalCdf(std::fabs(z));
    return result;
}

namespace {

void writeUnivariate(ReportWriter& report, const DataSet& data, const Matrix& x,
                     PrintedDescriptives& printed) {
    MatrixScope scope;
    const int n = x.rows(), m = x.cols();
    const Matrix means = columnMeans(x);
    const Matrix variances = columnVariances(x);
    const Matrix skewness = columnSkewness(x);
    const Matrix kurtosis = columnKurtosis(x);

    report.printf("UNIVARIATE DESCRIPTIVES \n\n");
    if (usesLabels(data)) {
        report.printf(
            "Variable                                        Mean       Confidence Interval     "
            "Variance   Skewness     Kurtosis\n");
        report.printf(
            "                                                           (95%%)                  "
            "                        (Zero centered)\n\n");
    } else {
        report.printf("Variable     Mean       Confidence Interval     Variance   Skewness     Kurtosis\n");
        report.printf("                        (95%%)                                          (Zero centered)\n\n");
    }

    bool advise = false;
    for (int j = 0; j < m; ++j) {
        const double mean = means[0][j];
        const double variance = variances[j][0];
        // sqrt(variance / (N - 1)) is the standard error of the mean when the
        // variance has divisor N.
        const double half = 1.96 * std::sqrt(variance / (n - 1));
        report.write(variableName(data, j));
        report.printf("% 7.3f     ", mean);
        report.printf("(% 7.2f  % 7.2f)", mean - half, mean + half);
        report.printf("     % 7.3f", variance);
        report.printf("    % 7.3f      % 7.3f", skewness[0][j], kurtosis[0][j]);
        report.printf("\n");
        printed.means.push_back(mean);
        printed.lowerLimits.push_back(mean - half);
        printed.upperLimits.push_back(mean + half);
        printed.variances.push_back(variance);
        printed.skewness.push_back(skewness[0][j]);
        printed.kurtosis.push_back(kurtosis[0][j]);
        if (std::fabs(skewness[0][j]) > 1.0 || std::fabs(kurtosis[0][j]) > 1.0) advise = true;
    }

    report.printf("\n");
    if (advise) {
        const ReportPart note(report, PartKind::Note, "");
        report.printf(
            "Polychoric correlation is advised when the univariate distributions of ordinal items are "
            "\nasymmetric or with excess of kurtosis. If both indices are lower than one in absolute value, "
            "\nthen Pearson correlation is advised. You can read more about this subject in:\n\n");
        report.printf(
            "Muth\xE9n, B., & Kaplan, D. (1985). A comparison of some methodologies for the factor analysis "
            "of non-normal Likert variables. British Journal of Mathematical and Statistical Psychology, "
            "38, 171-189.\n");
        report.printf(
            "Muth\xE9n, B., & Kaplan, D. (1992). A comparison of some methodologies for the factor analysis "
            "of non-normal Likert variables: A note on the size of the model. British Journal of "
            "Mathematical and Statistical Psychology, 45, 19-30.\n\n");
    }
}

}  // namespace

void writeMultivariateDescriptives(ReportWriter& report, const Matrix& t) {
    const double skewP = t[MardiaSkewnessP][0];
    const double correctedP = t[MardiaCorrectedP][0];
    const double kurtosisP = t[MardiaKurtosisP][0];

    report.printf("MULTIVARIATE DESCRIPTIVES \n\n");
    report.printf("Analysis of the Mardia's (1970) multivariate asymmetry skewness and kurtosis.\n\n");
    report.printf("                                            Coefficient        Statistic     df       P\n\n");
    if (skewP <= 0.05)
        report.printf("Skewness                                    % 11.3f      % 11.3f   %4.0f     %5.4f**\n",
                      t[MardiaSkewness][0], t[MardiaSkewnessStatistic][0], t[MardiaDf][0], skewP);
    else
        report.printf("Skewness                                    % 11.3f      % 11.3f   %4.0f     %5.4f\n",
                      t[MardiaSkewness][0], t[MardiaSkewnessStatistic][0], t[MardiaDf][0], skewP);
    // The correction's denominator N((N + 1)(p + 1) - 6) vanishes for two
    // participants and one variable: that statistic does not exist.
    if (!std::isfinite(t[MardiaCorrectedStatistic][0]))
        report.printf("SKewness corrected for small sample         % 11.3f      not defined for so few participants\n",
                      t[MardiaSkewness][0]);
    else if (correctedP <= 0.05)
        report.printf("SKewness corrected for small sample         % 11.3f      % 11.3f   %4.0f     %5.4f**\n",
                      t[MardiaSkewness][0], t[MardiaCorrectedStatistic][0], t[MardiaDf][0], correctedP);
    else
        report.printf("SKewness corrected for small sample         % 11.3f      % 11.3f   %4.0f     %5.4f\n",
                      t[MardiaSkewness][0], t[MardiaCorrectedStatistic][0], t[MardiaDf][0], correctedP);
    if (kurtosisP <= 0.05)
        report.printf("Kurtosis                                    % 11.3f      % 11.3f            %5.4f**\n",
                      t[MardiaKurtosis][0], t[MardiaKurtosisZ][0], kurtosisP);
    else
        report.printf("Kurtosis                                    % 11.3f      % 11.3f            %5.4f\n",
                      t[MardiaKurtosis][0], t[MardiaKurtosisZ][0], kurtosisP);
    // The mark above is inclusive; the footnote needs a strictly smaller P.
    if (skewP < 0.05 || correctedP < 0.05 || kurtosisP < 0.05) report.printf("\n** Significant at 0.05\n");
    report.printf("\n");
    report.separator();
}

PrintedDescriptives writeDescriptives(ReportWriter& report, const DataSet& data, const Matrix& x,
                                      DispersionType type) {
    PrintedDescriptives printed;
    {
        const ReportPart part(report, PartKind::Section, "Univariate descriptives", "descriptives");
        writeUnivariate(report, data, x, printed);
        if (type == PolychoricCorrelation) {
            report.printf("\n\n");
            const ReportPart plot(report, PartKind::Plot, "Bar charts for ordinal variables");
            writeOrdinalBarCharts(report, data, x);
        } else {
            report.separator();
        }
    }
    const ReportPart part(report, PartKind::Section, "Multivariate descriptives (Mardia, 1970)",
                          "descriptives/mardia");
    MatrixScope scope;
    const Matrix mardia = mardiaTest(x);
    writeMultivariateDescriptives(report, mardia);
    for (int row = 0; row < mardia.rows(); ++row) printed.mardia.push_back(mardia[row][0]);
    return printed;
}

}  // namespace talvex
