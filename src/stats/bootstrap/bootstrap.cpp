#include "stats/bootstrap/bootstrap.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "core/parallel_for.h"
#include "core/random.h"
#include "stats/bootstrap/alignment.h"
#include "stats/dispersion/correlation.h"
#include "stats/dispersion/polychoric.h"
#include "stats/dispersion/smoothing.h"
#include "stats/extraction/fit.h"
#include "stats/extraction/repeated_extraction.h"
#include "stats/extraction/uls_pca.h"
#include "stats/interpretation/reliability.h"
#include "stats/rotation/rotation.h"
#include "stats/rotation/target.h"

namespace talvex {

namespace {

// Where each statistic of a resample sits in its row of values.
struct Cells {
    int p = 0, k = 0;
    int communalities = 0, correlations = 0;
    int rmsea = -1, cfi = -1, gfi = -1, omega = -1;
    int count = 0;
};

Cells cellsOf(const BootstrapInput& in) {
    Cells c;
    c.p = in.pattern.rows();
    c.k = in.pattern.cols();
    c.communalities = c.p * c.k;
    c.correlations = c.communalities + c.p;
    c.count = c.correlations + (in.oblique ? c.k * (c.k - 1) / 2 : 0);
    if (in.rmsea) c.rmsea = c.count++;
    if (in.cfi) c.cfi = c.count++;
    if (in.gfi) c.gfi = c.count++;
    if (in.omega) c.omega = c.count++;
    return c;
}

// The category range of one data set's polychoric tables: the analysis's
// range widened to the scores the set holds (imputed cells may come from
// participants outside the complete cases).
struct Categories {
    Matrix low, high;
};

Categories categoriesOf(const Matrix& data, const BootstrapInput& in) {
    const int p = data.cols();
    int lowest = in.lowestScore, highest = in.highestScore;
    const Matrix minima = data.columnMinima(), maxima = data.columnMaxima();
    for (int j = 0; j < p; ++j) {
        lowest = std::min(lowest, static_cast<int>(minima[0][j]));
        highest = std::max(highest, static_cast<int>(maxima[0][j]));
    }
    return {constant(p, 1, lowest), constant(p, 1, highest)};
}

struct Resample {
    const Matrix* data = nullptr;
    const Categories* categories = nullptr;
    const int* rows = nullptr;  // N participants drawn
};

// The dispersion matrix of the resample, smoothed when it is not positive
// definite; empty when it cannot be had.
Matrix dispersionOf(const Matrix& x, const Resample& r, const BootstrapInput& in,
                    PolychoricBuffers& buffers) {
    Matrix d;
    switch (in.dispersionType) {
        case Covariance:
            d = covarianceOf(x);
            break;
        case PolychoricCorrelation:
            d = polychoricMatrixOnly(x, r.categories->low, r.categories->high, buffers);
            break;
        default:
            d = correlationOf(x);
            break;
    }
    if (d.valid() && needsSmoothing(d)) d = smoothBelow(d, x.rows(), 0.0).matrix;
    return d;
}

// The rotated pattern and its factor correlations; false when the rotation
// gives no solution.
bool rotate(const Matrix& l, const BootstrapInput& in, Matrix& pattern, Matrix& phi) {
    const int k = in.factorCount;
    pattern = l;
    phi = identity(k);
    if (!in.rotated) return true;
    if (in.rotationKind == Target) {
        const bool oblique = in.targetRotation == ObliqueTarget;
        const RotationParameters& p = in.rotations->target[oblique ? 1 : 0];
        const RoutineResult fit = rotateToTarget(l, in.target, oblique, p.maxIterations,
                                                 p.randomStarts, static_cast<double>(p.convergence));
        if (!fit.transformation.valid()) return false;
        pattern = l.multiply(fit.transformation);
        if (oblique) phi = fit.factorCorrelations;
        return true;
    }
    RotationMethod method = in.simplicityRotation;
    if (method == kSimplimax) method = kPromin;
    const RotatedSolution solution = rotateWithCleverStart(l, method, *in.rotations);
    if (solution.halted || !solution.pattern.valid()) return false;
    pattern = solution.pattern;
    phi = solution.factorCorrelations;
    return true;
}

// The analysis of one resample: its statistics into `out` (cells.count
// values), or why it failed.
std::optional<ResampleFailure> analyseResample(const Resample& r, const BootstrapInput& in,
                                               const Cells& cells, PolychoricBuffers& buffers,
                                               std::vector<double>& out) {
    MatrixScope scope;
    const Matrix& data = *r.data;
    const int n = data.rows();
    const int p = data.cols();
    Matrix x(n, p);
    std::vector<char> seen(static_cast<std::size_t>(n), 0);
    int distinct = 0;
    for (int i = 0; i < n; ++i) {
        const int row = r.rows[i];
        if (!seen[static_cast<std::size_t>(row)]) {
            seen[static_cast<std::size_t>(row)] = 1;
            ++distinct;
        }
        std::copy(data[row], data[row] + p, x[i]);
    }
    for (int j = 0; j < p; ++j) {
        bool varies = false;
        for (int i = 1; i < n && !varies; ++i) varies = x[i][j] != x[0][j];
        if (!varies) return ResampleFailure::ConstantItem;
    }
    if (distinct < p + 1) return ResampleFailure::TooFewParticipants;
    const Matrix d = dispersionOf(x, r, in, buffers);
    if (!d.valid()) return ResampleFailure::Dispersion;
    const RepeatedExtraction extracted = extractRepeated(d, in.factorCount, in.extractionMethod, n);
    const Matrix& l = extracted.loadings;
    const Matrix& common = extracted.common;
    if (!l.valid()) return ResampleFailure::Extraction;
    Matrix pattern, phi;
    if (!rotate(l, in, pattern, phi)) return ResampleFailure::Rotation;
    const AlignedSolution aligned =
        alignToReference(in.pattern, pattern, phi, !in.oblique);
    for (int i = 0; i < cells.p; ++i) {
        for (int f = 0; f < cells.k; ++f) out[static_cast<std::size_t>(i * cells.k + f)] = aligned.pattern[i][f];
        out[static_cast<std::size_t>(cells.communalities + i)] = common[i][i];
    }
    if (in.oblique) {
        int c = cells.correlations;
        for (int a = 1; a < cells.k; ++a)
            for (int b = 0; b < a; ++b) out[static_cast<std::size_t>(c++)] = aligned.factorCorrelations[a][b];
    }
    if (in.rmsea || in.cfi || in.gfi) {
        Matrix sigma = l.multiply(l.transpose());
        for (int i = 0; i < p; ++i) sigma[i][i] = d[i][i];
        const FitStatistics fit = in.extractionMethod == ML ? mlFitStatistics(l, d, sigma, n)
                                                            : ulsFitStatistics(l, d, sigma, n);
        if (in.rmsea) out[static_cast<std::size_t>(cells.rmsea)] = fit.rmsea;
        if (in.cfi) out[static_cast<std::size_t>(cells.cfi)] = fit.cfi;
        if (in.gfi) out[static_cast<std::size_t>(cells.gfi)] = fit.gfi;
    }
    if (in.omega)
        out[static_cast<std::size_t>(cells.omega)] =
            mcDonaldOmega(extractUls(d, 1, 1e-8, 1000).loadings, d);
    for (const double v : out)
        if (!std::isfinite(v)) return ResampleFailure::NotFinite;
    return std::nullopt;
}

// The value at quantile q of sorted values, interpolated between the order
// statistics around (n - 1)·q.
double quantile(const std::vector<double>& sorted, double q) {
    const double h = (static_cast<double>(sorted.size()) - 1.0) * q;
    const auto low = static_cast<std::size_t>(std::floor(h));
    if (low + 1 >= sorted.size()) return sorted.back();
    return sorted[low] + (h - static_cast<double>(low)) * (sorted[low + 1] - sorted[low]);
}

}  // namespace

BootstrapInterval bootstrapInterval(std::vector<double> values, int level) {
    const double n = static_cast<double>(values.size());
    double mean = 0.0;
    for (const double v : values) mean += v;
    mean /= n;
    double squares = 0.0;
    for (const double v : values) squares += (v - mean) * (v - mean);
    std::sort(values.begin(), values.end());
    const double tail = (100.0 - level) / 200.0;
    BootstrapInterval interval;
    interval.standardError = std::sqrt(squares / (n - 1.0));
    interval.lower = quantile(values, tail);
    interval.upper = quantile(values, 1.0 - tail);
    return interval;
}

BootstrapResult bootstrapSolution(const BootstrapInput& in) {
    const Cells cells = cellsOf(in);
    BootstrapResult result;
    result.requested = in.samples;
    result.level = in.level;
    result.items = cells.p;
    result.factors = cells.k;
    result.oblique = in.oblique;
    result.simplimaxByPromin =
        in.rotated && in.rotationKind == Simplicity && in.simplicityRotation == kSimplimax;
    if (in.datasets.empty() || in.samples <= 0) return result;

    std::vector<int> starts(static_cast<std::size_t>(kBootstrapStartValues));
    for (int& v : starts) v = randomNext();
    std::vector<Categories> categories;
    int widest = 0;
    for (const Matrix& data : in.datasets) {
        categories.push_back(in.dispersionType == PolychoricCorrelation ? categoriesOf(data, in)
                                                                         : Categories{});
        widest = std::max(widest, data.rows());
    }

    // The stored statistics: one array of values per cell, one slot per resample.
    const auto samples = static_cast<std::size_t>(in.samples);
    std::vector<std::vector<double>> values(static_cast<std::size_t>(cells.count),
                                            std::vector<double>(samples));
    std::vector<int> failure(samples, -1);
    std::vector<int> rows(static_cast<std::size_t>(kBootstrapBatch) * static_cast<std::size_t>(widest));
    std::vector<Resample> batch(static_cast<std::size_t>(kBootstrapBatch));
    const int sets = static_cast<int>(in.datasets.size());
    if (in.progress) in.progress(0);
    for (int first = 0; first < in.samples; first += kBootstrapBatch) {
        const int count = std::min(kBootstrapBatch, in.samples - first);
        for (int b = 0; b < count; ++b) {
            const int set = (first + b) % sets;
            const Matrix& data = in.datasets[static_cast<std::size_t>(set)];
            const std::uint64_t n = static_cast<std::uint64_t>(data.rows());
            int* drawn = rows.data() + static_cast<std::size_t>(b) * static_cast<std::size_t>(widest);
            for (std::uint64_t i = 0; i < n; ++i) {
                const auto a = static_cast<std::uint64_t>(randomNext());
                const auto c = static_cast<std::uint64_t>(randomNext());
                drawn[i] = static_cast<int>(((a * 32768u + c) * n) >> 30);
            }
            batch[static_cast<std::size_t>(b)] = {&data, &categories[static_cast<std::size_t>(set)], drawn};
        }
        std::array<int, 2> made{};
        parallelFor(count, 2, [&](int begin, int end, int slot) {
            ThreadMatrixPool pool;
            PolychoricBuffers buffers;
            std::vector<double> out(static_cast<std::size_t>(cells.count));
            for (int b = begin; b < end; ++b) {
                const auto s = static_cast<std::size_t>(first + b);
                RandomReplay replay(starts);
                const auto failed = analyseResample(batch[static_cast<std::size_t>(b)], in, cells,
                                                    buffers, out);
                if (failed) {
                    failure[s] = static_cast<int>(*failed);
                    continue;
                }
                for (std::size_t c = 0; c < out.size(); ++c) values[c][s] = out[c];
            }
            made[static_cast<std::size_t>(slot)] = pool.constructions();
        });
        countConstructions(made[0] + made[1]);
        if (in.progress) in.progress(static_cast<int>(100LL * (first + count) / in.samples));
    }

    for (std::size_t s = 0; s < samples; ++s) {
        if (failure[s] < 0) continue;
        ++result.failed;
        ++result.failures[static_cast<std::size_t>(failure[s])];
    }
    result.used = in.samples - result.failed;
    if (result.used < 2) return result;
    std::vector<BootstrapInterval> all;
    for (const std::vector<double>& cell : values) {
        std::vector<double> used;
        used.reserve(static_cast<std::size_t>(result.used));
        for (std::size_t s = 0; s < samples; ++s)
            if (failure[s] < 0) used.push_back(cell[s]);
        all.push_back(bootstrapInterval(std::move(used), in.level));
    }
    const auto at = [&all](int c) { return all[static_cast<std::size_t>(c)]; };
    result.loadings.assign(all.begin(), all.begin() + cells.communalities);
    result.communalities.assign(all.begin() + cells.communalities, all.begin() + cells.correlations);
    int end = cells.correlations + (in.oblique ? cells.k * (cells.k - 1) / 2 : 0);
    result.factorCorrelations.assign(all.begin() + cells.correlations, all.begin() + end);
    if (in.rmsea) result.rmsea = at(cells.rmsea);
    if (in.cfi) result.cfi = at(cells.cfi);
    if (in.gfi) result.gfi = at(cells.gfi);
    if (in.omega) result.omega = at(cells.omega);
    return result;
}

}  // namespace talvex
