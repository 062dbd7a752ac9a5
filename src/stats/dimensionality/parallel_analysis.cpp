#include "stats/dimensionality/parallel_analysis.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "core/random.h"
#include "report/report_writer.h"
#include "stats/dispersion/adequacy.h"
#include "stats/dispersion/correlation.h"
#include "stats/dispersion/polychoric.h"
#include "stats/dispersion/smoothing.h"
#include "core/parallel_for.h"
#include "stats/dimensionality/normal_replicates.h"
#include "stats/dimensionality/permuted_tables.h"
#include "stats/extraction/mrfa.h"

namespace talvex {

int paMethodOf(int variant) {
    switch (variant) {
        case 2:
        case 6:
            return PaPcaPearsonNormal;
        case 5:
        case 8:
        case 15:
        case 16:
        case 18:
            return variant;
        default:
            return 0;
    }
}

bool paUsesMrfa(int method) { return method >= PaMrfaPearsonPermutation; }
bool paPolychoric(int method) {
    return method == PaPcaPolychoricPermutation || method == PaMrfaPolychoricPermutation;
}
bool paPermutation(int method) { return method != PaPcaPearsonNormal && method != PaMrfaPearsonNormal; }

int paPearsonMethod(int method) {
    if (method == PaPcaPolychoricPermutation) return PaPcaPearsonPermutation;
    if (method == PaMrfaPolychoricPermutation) return PaMrfaPearsonPermutation;
    return method;
}

int paPercentileRow(int k, int percentile) { return (k - 1) * percentile / 100; }

void paColumnSummaries(const std::vector<double>& e, int k, int p, int percentile,
                       std::vector<double>& mean, std::vector<double>& pct) {
    mean.assign(static_cast<std::size_t>(p), 0.0);
    pct.assign(static_cast<std::size_t>(p), 0.0);
    if (k < 1) return;
    const int row = paPercentileRow(k, percentile);
    std::vector<double> column(static_cast<std::size_t>(k));
    for (int i = 0; i < p; ++i) {
        double sum = 0.0;
        for (int r = 0; r < k; ++r) {
            const double v = e[static_cast<std::size_t>(r) * static_cast<std::size_t>(p) +
                               static_cast<std::size_t>(i)];
            column[static_cast<std::size_t>(r)] = v;
            sum += v;
        }
        std::sort(column.begin(), column.end());
        mean[static_cast<std::size_t>(i)] = sum / k;
        pct[static_cast<std::size_t>(i)] = column[static_cast<std::size_t>(row)];
    }
}

int paCountAbove(const std::vector<double>& real, const std::vector<double>& reference) {
    int count = 0;
    for (std::size_t i = 0; i < real.size(); ++i)
        if (real[i] > reference[i]) ++count;
    return count;
}

int paLeadingRunAbove(const std::vector<double>& real, const std::vector<double>& reference) {
    int count = 0;
    while (static_cast<std::size_t>(count) < real.size() &&
           real[static_cast<std::size_t>(count)] > reference[static_cast<std::size_t>(count)])
        ++count;
    return count;
}

std::vector<int> paPcaMarks(const PaResult& r) {
    std::vector<int> marks(r.real.size(), 0);
    const bool differ = r.countMean != r.countPercentile;
    for (std::size_t i = 0; i < r.real.size(); ++i) {
        if (r.real[i] > r.percentile[i] && differ)
            marks[i] = 2;
        else if (r.real[i] > r.mean[i])
            marks[i] = 1;
    }
    return marks;
}

std::vector<int> paMrfaMarks(const PaResult& r) {
    std::vector<int> marks(r.real.size(), 0);
    const bool differ = r.countMean != r.countPercentile;
    bool leading = true;
    for (std::size_t i = 0; i < r.real.size(); ++i) {
        const bool abovePct = r.real[i] > r.percentile[i];
        const bool aboveMean = r.real[i] > r.mean[i];
        if (r.countMean >= 1 && r.countPercentile >= 1) {
            if (abovePct && differ && leading)
                marks[i] = 2;
            else if (aboveMean && leading)
                marks[i] = 1;
            else
                leading = false;
        } else if (r.countMean >= 1 && leading) {
            // No percentile count: the leading run above the mean.
            if (aboveMean)
                marks[i] = 1;
            else
                leading = false;
        } else {
            if (abovePct && differ && leading)
                marks[i] = 2;
            else
                leading = false;
        }
    }
    return marks;
}

namespace {

std::vector<double> eigenvaluesOf(const Matrix& m) {
    MatrixScope scope;
    const int p = m.rows();
    Matrix values(p, 1), vectors(p, p);
    m.eigenSymmetric(values, vectors);
    std::vector<double> out(static_cast<std::size_t>(p));
    for (int i = 0; i < p; ++i) out[static_cast<std::size_t>(i)] = values[i][0];
    return out;
}

// The matrix, smoothed when it is not positive semidefinite; empty when the
// smoothing fails.
Matrix smoothedIfNeeded(const Matrix& c, int n) {
    if (!needsSmoothing(c)) return c;
    return smoothDispersion(c, n);
}

// Random data set: a normal sample or a permutation of every column of x.
Matrix randomSample(const PaInput& in, bool permutation) {
    return permutation ? permuteColumns(in.x) : randomNormalMatrix(in.n, in.r.rows());
}

// The correlations of permuted discrete data from the pair tables drawn
// from the margins, without the N rows.
class PermutedTables {
public:
    // Nothing when the data are too few or not discrete.
    static std::optional<PermutedTables> make(const PaInput& in, bool permutation, bool polychoric) {
        if (!permutation || in.sampleCorrelation || in.n < in.tableRows || in.x.rows() != in.n) return std::nullopt;
        int lowest = 0, categories = 0;
        if (polychoric) {
            lowest = static_cast<int>(in.low.minElement());
            categories = polychoricCategoryCount(in.low, in.high);
        } else {
            const double lo = in.x.minElement(), hi = in.x.maxElement();
            if (!(hi - lo < kPaTableCategories)) return std::nullopt;
            lowest = static_cast<int>(std::floor(lo));
            categories = static_cast<int>(hi) - lowest + 1;
        }
        if (categories < 2 || categories > kPaTableCategories) return std::nullopt;
        std::optional<DiscreteMargins> margins = discreteMargins(in.x, lowest, categories);
        if (!margins) return std::nullopt;
        return PermutedTables(std::move(*margins), in.n);
    }

    // The unsmoothed correlation matrix of one permuted data set: a failed
    // polychoric pair takes its Pearson coefficient. Draws the pairs' seed
    // from the program's stream.
    Matrix correlations(bool polychoric) {
        std::uint64_t seed = 0;
        for (int d = 0; d < 4; ++d) seed = (seed << 15) | static_cast<std::uint64_t>(randomNext());
        const int p = static_cast<int>(margins_.counts.size());
        const int k = margins_.categories;
        Matrix r = identity(p);
        parallelFor(static_cast<int>(pairs_.size()), 8, [&](int begin, int end, int slot) {
            std::vector<int> table;
            PolychoricBuffers& buffers = buffers_[static_cast<std::size_t>(slot)];
            for (int q = begin; q < end; ++q) {
                const auto [i, j] = pairs_[static_cast<std::size_t>(q)];
                TableRandom random(seed, static_cast<std::uint64_t>(q));
                permutedTable(margins_.counts[static_cast<std::size_t>(i)],
                              margins_.counts[static_cast<std::size_t>(j)], random, logFactorial_, table);
                const double pearson = tablePearson(table, k);
                r[i][j] = r[j][i] = polychoric ? polychoricFromCounts(table, k, pearson, buffers) : pearson;
            }
        });
        return r;
    }

private:
    PermutedTables(DiscreteMargins margins, int n)
        : margins_(std::move(margins)), logFactorial_(logFactorials(n)) {
        const int p = static_cast<int>(margins_.counts.size());
        for (int i = 0; i < p; ++i)
            for (int j = i + 1; j < p; ++j) pairs_.emplace_back(i, j);
    }

    DiscreteMargins margins_;
    std::vector<double> logFactorial_;
    std::vector<std::pair<int, int>> pairs_;
    PolychoricBuffers buffers_[2];  // working storage of each thread
};

// The Pearson matrix of the real data, smoothed when needed (unsmoothed when
// the smoothing fails: it is the data's own matrix).
Matrix realPearson(const PaInput& in) {
    const Matrix c = correlationOf(in.x);
    const Matrix s = smoothedIfNeeded(c, in.n);
    return s.valid() ? s : c;
}

void storeRow(std::vector<double>& e, int row, const std::vector<double>& values) {
    std::copy(values.begin(), values.end(),
              e.begin() + static_cast<std::ptrdiff_t>(row) * static_cast<std::ptrdiff_t>(values.size()));
}

void reportProgress(const PaInput& in, int k) {
    if (in.progress) in.progress(static_cast<int>(100LL * k / in.randomMatrices));
}

// Matrices the plain computation of one normal sample's eigenvalues
// creates when its correlation matrix needs no smoothing: a scope, the
// sample, 16 for the correlations, 3 for the check of the smallest
// eigenvalue and 3 for the eigenvalues. The matrix-free computation counts
// them, so the report's count of matrices does not change.
constexpr int kPlainReplicateMatrices = 24;

// The K x p eigenvalues of normal samples with Pearson correlations. A
// sample whose correlation matrix has a negative eigenvalue goes through
// the plain computation again: smoothed, or kept as it is when the
// smoothing fails.
std::vector<double> normalPcaEigenvalues(const PaInput& in) {
    const int n = in.n, p = in.r.rows();
    NormalReplicates replicates = normalReplicateEigenvalues(
        n, p, in.randomMatrices, [&in](int s) { reportProgress(in, s); },
        [](int, bool indefinite) {
            if (!indefinite) countConstructions(kPlainReplicateMatrices);
        });
    for (std::size_t i = 0; i < replicates.indefinite.size(); ++i) {
        MatrixScope scope;
        Matrix sample(n, p);
        const std::vector<double>& x = replicates.indefiniteSamples[i];
        for (int j = 0; j < p; ++j)
            for (int row = 0; row < n; ++row)
                sample[row][j] = x[static_cast<std::size_t>(j) * static_cast<std::size_t>(n) +
                                   static_cast<std::size_t>(row)];
        const Matrix c = correlationOf(sample);
        const Matrix s = smoothedIfNeeded(c, n);
        storeRow(replicates.eigenvalues, replicates.indefinite[i], eigenvaluesOf(s.valid() ? s : c));
    }
    return std::move(replicates.eigenvalues);
}

void summarize(PaResult& result, const std::vector<double>& e, const PaInput& in) {
    const int p = static_cast<int>(result.real.size());
    paColumnSummaries(e, in.randomMatrices, p, in.percentile, result.mean, result.percentile);
    result.random = e;
}

// Principal components count every real eigenvalue above its random one.
PaResult countedOverAll(PaResult result, const std::vector<double>& e, const PaInput& in) {
    summarize(result, e, in);
    result.countMean = paCountAbove(result.real, result.mean);
    result.countPercentile = paCountAbove(result.real, result.percentile);
    return result;
}

}  // namespace

void paClampLastPercentages(PaResult& result) {
    for (std::vector<double>* v : {&result.real, &result.mean, &result.percentile})
        if (!v->empty() && std::signbit(v->back())) v->back() = 0.0;
}

std::vector<double> commonVariancePercentages(const Matrix& reduced) {
    std::vector<double> values = eigenvaluesOf(reduced);
    double sum = 0.0;
    for (double v : values) sum += v;
    for (double& v : values) v = 100.0 * v / sum;
    return values;
}

PaResult parallelAnalysisPcaValues(const PaInput& in) {
    PaResult result;
    const int p = in.r.rows();
    const int k = in.randomMatrices;
    {
        MatrixScope scope;
        result.real = eigenvaluesOf(correlationForm(in.r));
    }
    bool polychoric = paPolychoric(in.method);
    const bool permutation = paPermutation(in.method);
    if (!polychoric && !permutation && !in.sampleCorrelation && in.n >= 1 && p >= 1) {
        return countedOverAll(std::move(result), normalPcaEigenvalues(in), in);
    }
    std::vector<double> e(static_cast<std::size_t>(k) * static_cast<std::size_t>(p));
    PolychoricBuffers buffers;
    for (int replicate = 0; replicate < k; ++replicate) {
        reportProgress(in, replicate);
        int failures = 0;
        for (;;) {
            MatrixScope scope;
            const Matrix sample = randomSample(in, permutation);
            if (polychoric && failures == kPaAttempts) {
                // The 26th data set is drawn and discarded; every replicate
                // is made again with Pearson correlations, so that all rows
                // compare like with like.
                polychoric = false;
                result.switchedToPearson = true;
                result.real = eigenvaluesOf(realPearson(in));
                replicate = -1;
                break;
            }
            if (polychoric) {
                const Matrix c = in.sampleCorrelation
                                     ? in.sampleCorrelation(sample, true)
                                     : smoothedIfNeeded(polychoricMatrixOnly(sample, in.low, in.high, buffers), in.n);
                if (!c.valid()) {
                    ++failures;
                    continue;
                }
                storeRow(e, replicate, eigenvaluesOf(c));
            } else {
                // Principal components need no positive definiteness: a
                // matrix that cannot be smoothed gives its own eigenvalues.
                const Matrix c = correlationOf(sample);
                const Matrix s = smoothedIfNeeded(c, in.n);
                storeRow(e, replicate, eigenvaluesOf(s.valid() ? s : c));
            }
            break;
        }
    }
    return countedOverAll(std::move(result), e, in);
}

namespace {

// MRFA of a correlation matrix with p - 1 factors: the percentages of common
// variance, or nothing when it does not converge.
bool mrfaPercentages(const Matrix& c, int starts, std::vector<double>& out) {
    MatrixScope scope;
    const MrfaSolution solution = extractMrfa(c, c.rows() - 1, starts);
    if (!solution.converged()) return false;
    out = commonVariancePercentages(solution.reduced);
    return true;
}

}  // namespace

PaResult parallelAnalysisMrfaValues(const PaInput& in) {
    PaResult result;
    const int p = in.r.rows();
    const int k = in.randomMatrices;
    {
        MatrixScope scope;
        if (!mrfaPercentages(correlationForm(in.r), kPaRealStarts, result.real)) {
            result.converged = false;
            return result;
        }
    }
    bool polychoric = paPolychoric(in.method);
    const bool permutation = paPermutation(in.method);
    std::vector<double> e(static_cast<std::size_t>(k) * static_cast<std::size_t>(p));
    std::vector<double> row;
    PolychoricBuffers buffers;
    std::optional<PermutedTables> tables = PermutedTables::make(in, permutation, polychoric);
    for (int replicate = 0; replicate < k; ++replicate) {
        reportProgress(in, replicate);
        int polychoricFailures = 0, mrfaFailures = 0;
        for (;;) {
            MatrixScope scope;
            const Matrix sample = tables ? Matrix() : randomSample(in, permutation);
            if (polychoric && polychoricFailures == kPaAttempts) {
                polychoric = false;
                result.switchedToPearson = true;
                if (!mrfaPercentages(realPearson(in), kPaRealStarts, result.real)) {
                    result.converged = false;
                    return result;
                }
                replicate = -1;
                break;
            }
            const Matrix c =
                in.sampleCorrelation
                    ? in.sampleCorrelation(sample, polychoric)
                    : smoothedIfNeeded(tables       ? tables->correlations(polychoric)
                                       : polychoric ? polychoricMatrixOnly(sample, in.low, in.high, buffers)
                                                    : correlationOf(sample),
                                       in.n);
            if (mrfaFailures == kPaAttempts) {
                // The 26th data set is analysed and its result discarded.
                if (c.valid()) mrfaPercentages(c, kPaRandomStarts, row);
                result.converged = false;
                return result;
            }
            if (!c.valid()) {
                ++(polychoric ? polychoricFailures : mrfaFailures);
                continue;
            }
            if (!mrfaPercentages(c, kPaRandomStarts, row)) {
                ++mrfaFailures;
                continue;
            }
            storeRow(e, replicate, row);
            break;
        }
    }
    summarize(result, e, in);
    result.countMean = paLeadingRunAbove(result.real, result.mean);
    result.countPercentile = paLeadingRunAbove(result.real, result.percentile);
    paClampLastPercentages(result);
    return result;
}

namespace {

void writeImplementationDetails(ReportWriter& report, const PaInput& in, const PaResult& result) {
    report.printf("Implementation details:\n\n");
    if (paPolychoric(in.method))
        report.printf("\tCorrelation matrices analized:                Polychoric correlation matrices\n");
    else
        report.printf("\tCorrelation matrices analized:                Pearson correlation matrices\n");
    report.printf("\tNumber of random correlation matrices:        %i\n", in.randomMatrices);
    if (paPermutation(in.method))
        report.printf(
            "\tMethod to obtain random correlation matrices: Permutation of the raw data (Buja & "
            "Eyuboglu, 1992)\n\n\n");
    else
        report.printf(
            "\tMethod to obtain random correlation matrices: Random samples from normal "
            "distribution (Horn, 1965)\n\n\n");
    if (result.switchedToPearson) {
        report.printf("WARNING: Parallel analysis based on polychoric correlation could not converge.\n");
        report.printf("         It has been computed based on Pearson correlations\n\n");
    }
}

const char* markText(int mark) { return mark == 2 ? "**" : mark == 1 ? "* " : "  "; }

void writeMrfaFailure(ReportWriter& report, const PaInput& in) {
    report.printf("PARALLEL ANALYSIS (PA) BASED ON FACTOR ANALYSIS (MRFA)\n");
    report.printf(
        "(POLYCHORIC CORRELATION - RANDOM SAMPLES OBTAINED AS PERMUTATIONS OF THE ORIGINAL "
        "DATA)\n");
    report.printf("Horn (1965)\n\n");
    report.printf(
        "%sWARNING: Parallel analysis could not converge. Please try an implementation of "
        "Parallel Analysis based on Principal Components \n\n",
        paPolychoric(in.method) ? "\n" : "");
    report.separator();
}

}  // namespace

void writeParallelAnalysisPca(ReportWriter& report, const PaInput& in, const PaResult& result) {
    report.printf("PARALLEL ANALYSIS (PA) BASED ON PRINCIPAL COMPONENT ANALYSIS\n");
    report.printf("(Horn, 1965)\n\n");
    writeImplementationDetails(report, in, result);
    report.printf("Variable  Real-data      Mean of random   %i percentile of random\n", in.percentile);
    report.printf("          eigenvalues    eigenvalues      eigenvalues\n\n");
    const std::vector<int> marks = paPcaMarks(result);
    for (std::size_t i = 0; i < result.real.size(); ++i)
        report.printf("%4i    %9.5f%s    %9.5f        %9.5f\n", static_cast<int>(i) + 1,
                      result.real[i], markText(marks[i]), result.mean[i], result.percentile[i]);
    report.printf("       \n");
    if (result.countMean != result.countPercentile) {
        report.printf("\n** Advised number of dimensions when %i percentile is considered: %4i",
                      in.percentile, result.countPercentile);
        report.printf("\n*  Advised number of dimensions when mean is considered:          %4i",
                      result.countMean);
    } else {
        report.printf("\n*  Advised number of dimensions: %4i", result.countMean);
    }
    report.printf("\n\n");
    report.separator();
}

void writeParallelAnalysisMrfa(ReportWriter& report, const PaInput& in, const PaResult& result) {
    if (!result.converged) {
        writeMrfaFailure(report, in);
        return;
    }
    report.printf("PARALLEL ANALYSIS (PA) BASED ON MINIMUM RANK FACTOR ANALYSIS\n");
    report.printf("(Zazadidov & Varnholt, 2011)\n\n");
    writeImplementationDetails(report, in, result);
    report.printf("Variable  Real-data      Mean of random   %i percentile of random\n", in.percentile);
    report.printf("          %% of variance  %% of variance    %% of variance\n\n");
    const std::vector<int> marks = paMrfaMarks(result);
    for (std::size_t i = 0; i < result.real.size(); ++i)
        report.printf("%4i      %5.1f%s        %5.1f            %5.1f\n", static_cast<int>(i) + 1,
                      result.real[i], markText(marks[i]), result.mean[i], result.percentile[i]);
    report.printf("       \n");
    const int cMean = result.countMean, cPct = result.countPercentile;
    if (cMean == cPct) {
        if (cMean >= 1)
            report.printf("\n*  Advised number of dimensions: %4i", cMean);
        else
            report.printf("\n   Advised number of dimensions: %4i", cMean);
    } else {
        if (cPct >= 1)
            report.printf("\n** Advised number of dimensions when %i percentile is considered: %4i",
                          in.percentile, cPct);
        if (cMean >= 1)
            report.printf("\n*  Advised number of dimensions when mean is considered:          %4i",
                          cMean);
    }
    report.printf("\n\n");
    report.separator();
}

PaResult parallelAnalysisPca(ReportWriter& report, const PaInput& input) {
    PaResult result = parallelAnalysisPcaValues(input);
    writeParallelAnalysisPca(report, input, result);
    return result;
}

std::optional<PaResult> parallelAnalysisMrfa(ReportWriter& report, const PaInput& input) {
    if (input.r.rows() < kPaFewestMrfaVariables) {
        writePaTooFewVariables(report, input.r.rows());
        return std::nullopt;
    }
    PaResult result = parallelAnalysisMrfaValues(input);
    writeParallelAnalysisMrfa(report, input, result);
    return result;
}

void writePaTooFewVariables(ReportWriter& report, int variables) {
    report.printf("PARALLEL ANALYSIS (PA) BASED ON MINIMUM RANK FACTOR ANALYSIS\n");
    report.printf("(Zazadidov & Varnholt, 2011)\n\n");
    report.printf(
        "NOTE: Minimum rank factor analysis with one factor less than the number of variables\n"
        "      needs at least %i variables; with %i, parallel analysis is not computed.\n\n",
        kPaFewestMrfaVariables, variables);
    report.separator();
}

void writePaNoSampleSize(ReportWriter& report) {
    report.printf(
        "NOTE: Parallel analysis needs the number of participants to generate random data;\n"
        "      none was given with the matrix, so no number of dimensions is advised.\n\n");
    report.separator();
}

}  // namespace talvex
