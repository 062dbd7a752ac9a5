#include "analysis/analysis_run.h"

#include <cstdio>
#include <filesystem>
#include <system_error>
#include <tuple>

#include "analysis/report_frame.h"
#include "analysis/results_json.h"
#include "results/result_files.h"
#include "results/text_encoding.h"
#include "results/plot_files.h"
#include "core/format_text.h"
#include "analysis/run_host.h"
#include "analysis/run_state.h"
#include "data/data_files.h"
#include "data/scores_table.h"
#include "stats/dimensionality/hull.h"
#include "stats/dimensionality/map.h"
#include "stats/dimensionality/parallel_analysis.h"
#include "stats/bootstrap/bootstrap_report.h"
#include "stats/dispersion/adequacy.h"
#include "stats/dispersion/correlation.h"
#include "stats/dispersion/degeneracy.h"
#include "stats/dispersion/descriptives.h"
#include "stats/dispersion/polychoric.h"
#include "stats/dispersion/smoothing.h"
#include "stats/extraction/fit.h"
#include "stats/extraction/ml.h"
#include "stats/extraction/mrfa.h"
#include "stats/extraction/uls_pca.h"
#include "stats/extraction/unrotated_solution.h"
#include "stats/interpretation/irt.h"
#include "stats/interpretation/reliability.h"
#include "stats/imputation/consensus.h"
#include "stats/imputation/hot_deck.h"
#include "stats/imputation/imputed_analysis.h"
#include "stats/imputation/imputed_scores.h"
#include "stats/interpretation/factor_scores.h"
#include "stats/interpretation/second_order.h"
#include "stats/interpretation/simplicity_indices.h"
#include "stats/rotation/rotation.h"
#include "stats/rotation/rotation_report.h"
#include "stats/rotation/target.h"
#include "stats/rotation/target_report.h"

namespace talvex {

void stageText(RunState& s, const char* text) {
    s.host.setProgressText(text);
    s.host.repaintProgress();
}

std::string successTimeLine(std::int64_t elapsedSeconds) {
    const double minutes = static_cast<double>(elapsedSeconds) * (1.0 / 60.0);
    char buffer[96];
    if (minutes < 1.0)
        std::snprintf(buffer, sizeof buffer, "Computing time     : %10.8f minutes.\n", minutes);
    else
        std::snprintf(buffer, sizeof buffer, "Computing time     : %5.2f minutes.\n", minutes);
    return buffer;
}

void writePolychoricPairsWarning(ReportWriter& report, const DataSet& data,
                                 const std::vector<std::pair<int, int>>& failedPairs) {
    report.printf(
        "\n\nWARNING: %4i polychoric correlation coeficients did not converge. Pearson "
        "correlation coefficients\n",
        static_cast<int>(failedPairs.size()));
    report.printf("          were computed and inserted in the polychoric correlation matrix.\n\n");
    report.printf("Pairs of variables with Pearson correlation coeffcients\n\n");
    for (const auto& [a, b] : failedPairs)
        report.printf("Variable %3i  -- Variable %3i\n", data.fileNumber(a), data.fileNumber(b));
    report.printf(
        "\n\n--------------------------------------------------------------------------------"
        "\n\n\n");
}

void writePolychoricFallbackWarning(ReportWriter& report) {
    report.printf(
        "\n\nWARNING: Polychoric correlation could not converge. Pearson correlation is "
        "computed.\n");
    report.printf(
        "         You may also inspect the distribution of frequenties for ordinal "
        "variables\n");
    report.printf("         and exclude the variables with strange distributions.\n\n\n");
    report.printf(
        "\n\n--------------------------------------------------------------------------------"
        "\n\n\n");
}

namespace {

// Random starts of MRFA in the run.
constexpr int kMrfaRunStarts = 10;

void rememberDataHandles(RunState& s) {
    DataSet& d = s.data();
    for (Matrix* field : {&d.rawScores, &d.missingMask, &d.completeScores, &d.userMatrix,
                          &d.variableList, &d.includedIndex, &d.analysedScores, &d.imputationScores,
                          &d.imputationMask, &d.dispersion, &d.variableMaxima, &d.variableMinima,
                          &d.thresholds, &d.frequencies, &d.targetMatrix, &d.analysedTarget})
        s.dataHandles.emplace_back(field, *field);
}

// The run's scope destroys what the stages stored in the DataSet; clear
// those handles so that none of them dangles until the next run.
void forgetRunMatrices(RunState& s) {
    for (auto& [field, before] : s.dataHandles)
        if (!field->sameAs(before)) *field = Matrix();
    s.dataHandles.clear();
}

// What every ending does after the report is dealt with.
void releaseRun(RunState& s) {
    s.scope.reset();
    forgetRunMatrices(s);
    s.host.setWaitCursor(false);
    s.host.hideProgress();
    s.session.ticker.resetCount();
    s.session.ticker.resetBar();
    s.session.ticker.detach();
    s.settings().dispersionType = s.savedDispersionType;
    if (s.configuredCount)
        std::tie(s.settings().factorCount, s.settings().schmidLeiman) = *s.configuredCount;
    s.ended = true;
}

// Puts the finished report in place; false, with an error box, when any
// write, the flush or the close failed.
bool closeReport(RunState& s) {
    s.report.reset();
    s.reportUtf8.reset();
    OutputFile& file = *s.reportFile;
    const bool written = file.commit();
    if (!written)
        s.host.message(formatText(kReportNotWritten, file.path().c_str(), file.error().c_str()),
                       MessageIcon::Error);
    s.reportFile.reset();
    return written;
}

// ---------------------------------------------------------------------------
// The stages, in report order. Each returns Continue unless it ends the run.

// The header block.
void reportHeader(RunState& s) {
    const ReportPart part(s.out(), PartKind::Note, "TALVEX", "version");
    writeHeader(s.out(), s.clock.localTime());
}

// Complete cases (raw data) and the analysed variables; this fixes N and m.
void prepareData(RunState& s) {
    AnalysisSettings& settings = s.settings();
    DataSet& data = s.data();
    if (s.rawData()) {
        buildCompleteCases(data);
        settings.lowestScore = data.observedMin;
        settings.highestScore = data.observedMax;
    }
    const bool polychoric = settings.dispersionType == PolychoricCorrelation;
    selectVariables(data, s.rawData(), polychoric);
    if (s.rawData() && polychoric) {
        settings.lowestScore = data.observedMin;
        settings.highestScore = data.observedMax;
    }
    s.n = data.participantCount;
    s.m = data.analysedVariableCount();
    // An advised number is known after its procedure's section.
    s.k = settings.useAdvisedFactorCount ? 0 : settings.factorCount;
}

void detailsBlock(RunState& s) {
    const ReportPart part(s.out(), PartKind::Section, "Details of analysis", "details");
    writeDetails(s.out(), s.data(), s.settings(), s.session.rotations);
}

void beginComputing(RunState& s) {
    s.host.setStatus("Computing ...", "", "");
    stageText(s, "Computing dispersion matrix...");
}

// The file numbers of analysed variables (0-based indices), as "1, 4 and 6".
std::string numberList(const DataSet& data, const std::vector<int>& variables) {
    std::string text;
    for (std::size_t i = 0; i < variables.size(); ++i) {
        if (i > 0) text += i + 1 == variables.size() ? " and " : ", ";
        text += std::to_string(data.fileNumber(variables[i]));
    }
    return text;
}

// One line per variable (the text takes its file number), then the advice to
// exclude them.
std::string excludeWarning(const DataSet& data, const std::vector<int>& variables, const char* line) {
    std::string text;
    for (int j : variables) text += formatText(line, data.fileNumber(j));
    return text + kExcludeThem;
}

// Raw data that no statistic of the run can use: fewer complete cases than
// variables + 1 (every covariance matrix of them is singular, and none at
// all leaves nothing to divide by), a variable without variance, variables
// that are linear combinations of others. Each ends the run with a message
// that names the cause; the Pearson matrix computed here is the run's.
RunEnding checkAnalysedData(RunState& s) {
    if (!s.rawData()) {
        if (s.n == 1) {
            s.warning = formatText(kSampleOfOne, s.n);
            return RunEnding::Failure;
        }
        return RunEnding::Continue;
    }
    if (s.n < s.m + 1) {
        s.warning = formatText(kTooFewCases, s.n, s.m, s.m + 1);
        return RunEnding::Failure;
    }
    const DataSet& data = s.data();
    const std::vector<int> constant = constantColumns(data.analysedScores);
    if (!constant.empty()) {
        s.warning = excludeWarning(data, constant, kConstantVariable);
        return RunEnding::Failure;
    }
    s.pearson = correlationOf(data.analysedScores);
    const std::vector<int> dependent = linearlyDependentVariables(s.pearson);
    if (!dependent.empty()) {
        s.warning = formatText(kDependentVariables, numberList(data, dependent).c_str());
        return RunEnding::Failure;
    }
    return RunEnding::Continue;
}

// Univariate and multivariate descriptives of the analysed data (detailed
// output, raw data).
void univariateDescriptives(RunState& s) {
    if (!s.detailed() || !s.rawData()) return;
    s.descriptives =
        writeDescriptives(s.out(), s.data(), s.data().analysedScores, s.settings().dispersionType);
}

// The polychoric matrix with its thresholds and tables (kept in the DataSet),
// smoothed when it is not positive semidefinite; the failed pairs are
// listed. When smoothing fails the run goes on with Pearson correlations.
void polychoricDispersion(RunState& s) {
    DataSet& data = s.data();
    const int m = s.m;
    const Matrix low = constant(m, 1, s.settings().lowestScore);
    const Matrix high = constant(m, 1, s.settings().highestScore);
    const int k = polychoricCategoryCount(low, high);
    const int pairs = m * (m - 1) / 2;
    data.thresholds = Matrix(m, k - 1);
    data.frequencies = Matrix(pairs * k, k);
    Matrix record(pairs + 1, 2);
    s.R = polychoricMatrix(data.analysedScores, low, high, data.thresholds, data.frequencies,
                           record);
    if (needsSmoothing(s.R)) {
        const SmoothingResult result = smoothBelow(s.R, s.n, 0.0);
        if (result.matrix.valid()) {
            s.polychoricSmoothed = true;
            s.smoothingPasses = result.passes;
            s.correlationsErased = correlationsErased(s.R, result.matrix, kNotableCorrelation);
        }
        s.R = result.matrix;
    }
    if (record[0][0] > 0) writePolychoricPairsWarning(s.out(), data, failedPairList(record));
    if (!s.R.valid()) {
        writePolychoricFallbackWarning(s.out());
        // Thresholds of the polychoric fit do not belong to Pearson loadings.
        s.irtOff = true;
        s.settings().dispersionType = PearsonCorrelation;
        if (!s.pearson.valid()) s.pearson = correlationOf(data.analysedScores);
        s.R = s.pearson;
    }
}

// R by dispersion type.
void dispersionMatrix(RunState& s) {
    DataSet& data = s.data();
    switch (s.settings().dispersionType) {
        case Covariance:
            s.R = covarianceOf(data.analysedScores);
            break;
        case PolychoricCorrelation:
            polychoricDispersion(s);
            break;
        case PearsonCorrelation:
            if (!s.pearson.valid()) s.pearson = correlationOf(data.analysedScores);
            s.R = s.pearson;
            break;
        case UserMatrix:
            s.R = data.dispersion;
            break;
        case DispersionNotChosen:
            break;
    }
    data.dispersion = s.R;
}

// Positive-definiteness test and smoothing of R. A user's matrix is first
// checked for what smoothing cannot mend (a variance that is not positive,
// a correlation of 1 or more), and a nearly singular one is smoothed as
// well as one with a negative eigenvalue. A matrix that cannot be smoothed
// ends the run with a message that says why.
RunEnding smoothing(RunState& s) {
    // A polychoric matrix its own stage smoothed is reported as smoothed.
    s.smoothed = s.polychoricSmoothed;
    if (!s.smoothed) s.smoothingPasses = s.correlationsErased = 0;
    if (!s.R.valid()) return RunEnding::Continue;
    double floor = 0.0;
    if (!s.rawData()) {
        const DataSet& data = s.data();
        const std::vector<int> zero = nonPositiveVariances(s.R);
        if (!zero.empty()) {
            s.warning = excludeWarning(data, zero, kZeroVariance);
            return RunEnding::Failure;
        }
        MatrixScope scope;
        const Matrix c = correlationForm(s.R);
        if (const auto pair = pairAtOrBeyondOne(c)) {
            s.warning = formatText(kCorrelationBeyondOne, data.fileNumber(pair->first),
                                   data.fileNumber(pair->second), c[pair->first][pair->second]);
            return RunEnding::Failure;
        }
        floor = kSingularEigenvalue;
    }
    if (floor <= 0 && !needsSmoothing(s.R)) return RunEnding::Continue;
    const SmoothingResult result = smoothBelow(s.R, s.n, floor);
    if (result.passes == 0 && result.matrix.valid()) return RunEnding::Continue;
    if (!result.matrix.valid()) {
        s.warning = formatText(kSmoothingFailed, result.passes, result.before, result.after);
        return RunEnding::Failure;
    }
    s.smoothed = true;
    s.smoothingPasses = result.passes;
    s.correlationsErased = correlationsErased(s.R, result.matrix, kNotableCorrelation);
    s.R = result.matrix;
    s.data().dispersion = s.R;
    return RunEnding::Continue;
}

// The smoothing warning and the dispersion matrix section (detailed output).
void dispersionSection(RunState& s) {
    // A smoothing that erased correlations is reported in any case.
    const bool erased = s.smoothed && s.correlationsErased > 0;
    if (!s.detailed()) {
        if (erased) writeSmoothingErased(s.out(), s.smoothingPasses, s.correlationsErased);
        return;
    }
    DispersionType title = s.settings().dispersionType;
    if (s.smoothed) {
        writeSmoothingApplied(s.out());
        if (erased) writeSmoothingErased(s.out(), s.smoothingPasses, s.correlationsErased);
        // The smoothed matrix is no longer a correlation matrix, and its
        // section says so; what later stages compute does not depend on it.
        if (title != UserMatrix) title = Covariance;
    }
    const ReportPart part(s.out(), PartKind::Section, "Dispersion matrix", "dispersion_matrix");
    writeDispersionMatrix(s.out(), s.data(), s.R, title);
    s.dispersion = RunState::PrintedDispersion{title, rowsOf(s.R)};
}

// Determinant, Bartlett's statistic and KMO: on the Pearson correlations of
// the data whatever matrix is analysed, or on the user's matrix.
void adequacy(RunState& s) {
    stageText(s, "Computing indices...");
    const ReportPart part(s.out(), PartKind::Section, "Adequacy of the dispersion matrix", "adequacy");
    if (!s.rawData()) {
        s.adequacy = writeAdequacy(s.out(), s.R, s.n);
        return;
    }
    // The Pearson matrix of the data, before any smoothing of R.
    if (!s.pearson.valid()) s.pearson = correlationOf(s.data().analysedScores);
    s.adequacy = writeAdequacy(s.out(), s.pearson, s.n);
}

// Eigenvalues of R and the variance they explain (detailed output).
void explainedVariance(RunState& s) {
    // Before an advice every cumulative proportion is shown.
    const int rows = s.settings().useAdvisedFactorCount ? s.m : s.k;
    if (!s.detailed()) return;
    const ReportPart part(s.out(), PartKind::Section, "Explained variance based on eigenvalues",
                          "eigenvalues");
    s.eigenvalues = writeEigenvalueVariance(s.out(), s.R, rows);
}

// Parallel analysis by paVariant, on the correlation form of R. The
// correlations of the random data follow the dispersion type analysed now:
// after the run fell back from polychoric to Pearson correlations, the
// random data get Pearson correlations too.
void parallelAnalysis(RunState& s) {
    const AnalysisSettings& settings = s.settings();
    int method = paMethodOf(settings.paVariant);
    if (method == 0) return;
    if (paPolychoric(method) && settings.dispersionType != PolychoricCorrelation)
        method = paPearsonMethod(method);
    if (s.n < 2 || (!s.rawData() && paPermutation(method))) {
        writePaNoSampleSize(s.out());
        return;
    }
    PaInput input;
    input.x = s.rawData() ? s.data().analysedScores : Matrix();
    input.r = s.R;
    input.method = method;
    input.n = s.n;
    input.randomMatrices = settings.paRandomMatrices;
    input.percentile = 95;
    if (paPolychoric(method)) {
        input.low = constant(s.m, 1, settings.lowestScore);
        input.high = constant(s.m, 1, settings.highestScore);
    }
    ProgressTicker& ticker = s.session.ticker;
    input.progress = [&ticker](int percent) { ticker.reportPercent(percent); };
    PaShown shown;
    shown.percentile = input.percentile;
    shown.mrfa = paUsesMrfa(method);
    if (shown.mrfa) {
        const std::optional<PaResult> values = parallelAnalysisMrfa(s.out(), input);
        // A section that says MRFA did not converge shows no values.
        if (!values || !values->converged) return;
        shown.values = *values;
    } else {
        shown.values = parallelAnalysisPca(s.out(), input);
    }
    s.parallel = std::move(shown);
}

// MAP, Hull or parallel analysis (by paVariant).
void numberOfFactors(RunState& s) {
    switch (s.settings().factorCountProcedure) {
        case MAP: {
            stageText(s, "Computing MAP...");
            const ReportPart part(s.out(), PartKind::Section, "Minimum Average Partial (MAP) test", "map");
            if (s.R.rows() >= kMapFewestVariables) s.map.emplace();
            writeMapTest(s.out(), s.R, s.map ? &*s.map : nullptr);
            break;
        }
        case Hull: {
            stageText(s, "Computing HULL...");
            const ReportPart part(s.out(), PartKind::Section, "Hull method", "hull");
            s.hull = hullMethod(s.data().analysedScores, s.R, s.n, s.settings().extractionMethod,
                                s.settings().dispersionType, s.settings().hullIndex, s.out());
            break;
        }
        case ParallelAnalysis: {
            stageText(s, "Computing PA...");
            const ReportPart part(s.out(), PartKind::Section, "Parallel analysis", "parallel_analysis");
            parallelAnalysis(s);
            break;
        }
    }
}

// The number the procedure's section advised: MAP's minimum, the
// percentile rule of parallel analysis, Hull's elbow; none when the section
// gave no advice (too few variables, no sample size, MRFA not converging).
std::optional<int> advisedCount(const RunState& s) {
    switch (s.session.settings.factorCountProcedure) {
        case MAP:
            if (s.map) return s.map->advised;
            break;
        case ParallelAnalysis:
            if (s.parallel) return s.parallel->values.countPercentile;
            break;
        case Hull:
            if (s.hull) return s.hull->advised;
            break;
    }
    return std::nullopt;
}

// With useAdvisedFactorCount, k and the settings take the advised number,
// which must pass the configuration's checks (a failure ends the run). No
// advice, or an advice of 0, leaves k = 0 and the warning of the ending.
RunEnding takeAdvice(RunState& s) {
    AnalysisSettings& settings = s.settings();
    if (!settings.useAdvisedFactorCount) return RunEnding::Continue;
    const std::optional<int> advised = advisedCount(s);
    if (!advised) {
        s.warning = kNothingAdvised;
        return RunEnding::Continue;
    }
    s.out().printf(kAdvisedCountNote, settings.extractionMethod == PCA ? "components" : "factors",
                   settings.factorCountProcedure == ParallelAnalysis ? kPercentileRule : "",
                   *advised);
    s.out().separator();
    s.configuredCount = {settings.factorCount, settings.schmidLeiman};
    settings.factorCount = s.k = *advised;
    settings.schmidLeiman = secondOrderSolution(settings, s.k);
    if (s.k == 0) {
        s.warning = kZeroAdvised;
        return RunEnding::Continue;
    }
    std::string problem;
    const int targetColumns = s.data().analysedTarget.valid() ? s.data().analysedTarget.cols() : 0;
    if (const auto check = factorCountProblem(settings, s.m, s.k))
        problem = check->message;
    else if (solutionRotated(settings, s.k) && settings.rotationKind == Target && targetColumns != s.k)
        problem = formatText(kTargetColumnsDiffer, targetColumns);
    if (problem.empty()) return RunEnding::Continue;
    s.warning = formatText(kAdvisedCountRefused, s.k, problem.c_str());
    return RunEnding::Failure;
}

// Greatest lower bound and omega when no factors are extracted.
void reliabilityWithoutFactors(RunState& s) {
    const ReportPart part(s.out(), PartKind::Section, "Reliability", "reliability");
    s.reliability = writeReliability(s.out(), s.data(), s.R, s.n);
}

// The common part, the reproduced matrix and the uniquenesses of L (of
// MRFA's reduced matrix for MRFA).
void commonParts(RunState& s) {
    if (!s.R.valid() || !s.L.valid()) return;
    s.H = s.L.multiply(s.L.transpose());
    s.reproduced = s.H.copy();
    s.uniqueness = zeros(s.m);
    const Matrix& common = s.common();
    for (int i = 0; i < s.m; ++i) {
        s.reproduced[i][i] = s.R[i][i];
        s.uniqueness[i][i] = s.R[i][i] - common[i][i];
    }
}

// ULS, PCA, ML or MRFA loadings; a non-converging ML or MRFA ends the run
// (kMlWarning, kMrfaWarning). MRFA also keeps its reduced matrix.
RunEnding extraction(RunState& s) {
    stageText(s, "Computing loadings...");
    switch (s.settings().extractionMethod) {
        case ULS:
            s.L = extractUls(s.R, s.k, 1e-8, s.n).loadings;
            break;
        case PCA: {
            const PcaSolution pca = extractPca(s.R, s.k);
            s.L = pca.loadings;
            s.componentWeights = pca.weights;
            break;
        }
        case ML: {
            const MlSolution ml = extractMl(s.R, s.k);
            if (!ml.converged()) {
                s.warning = kMlWarning;
                return RunEnding::Failure;
            }
            s.L = ml.loadings;
            break;
        }
        case MRFA: {
            const MrfaSolution mrfa = extractMrfa(s.R, s.k, kMrfaRunStarts);
            if (!mrfa.converged()) {
                s.warning = kMrfaWarning;
                return RunEnding::Failure;
            }
            s.L = mrfa.loadings;
            s.M = mrfa.reduced;
            break;
        }
    }
    commonParts(s);
    return RunEnding::Continue;
}

void singleFactorSign(RunState& s) { s.L = reflectSingleFactor(s.L); }

// Goodness of fit of the extraction (none for principal components).
void goodnessOfFit(RunState& s) {
    const ReportPart part(s.out(), PartKind::Section, "Goodness of fit statistics", "fit");
    switch (s.settings().extractionMethod) {
        case ULS:
            s.fit = writeFitStatisticsUls(s.out(), s.L, s.R, s.reproduced, s.n,
                                          s.settings().dispersionType);
            break;
        case ML:
            s.fit = writeFitStatisticsMl(s.out(), s.L, s.R, s.reproduced, s.n);
            break;
        case MRFA:
            s.fit = writeMrfaOverallStatistics(s.out(), s.L, s.M);
            break;
        case PCA:
            break;
    }
}

// The unrotated loading matrix (detailed output or one factor).
void unrotatedLoadings(RunState& s) {
    const ReportPart part(s.out(), PartKind::Section, "Unrotated loading matrix", "unrotated_loadings");
    s.explained = writeUnrotatedLoadings(s.out(), s.data(), s.R, s.L, s.settings().extractionMethod,
                                         solutionRotated(s.settings(), s.k) ? 1 : 0, s.M);
}

// The rotated loadings with the variance they explain (rotation method
// `method`, 1 for a target).
void rotatedLoadings(RunState& s, int method) {
    const AnalysisSettings& settings = s.settings();
    const ReportPart part(s.out(), PartKind::Section, "Rotated loading matrix", "rotated_loadings");
    s.explained = writeRotatedLoadings(s.out(), s.data(), s.R, s.common(), s.pattern, s.phi,
                                       settings.extractionMethod, method, settings.salientThreshold);
}

// The factor correlations and, with detailed output, the structure matrix.
void obliqueSections(RunState& s) {
    const ExtractionMethod extraction = s.settings().extractionMethod;
    {
        const ReportPart part(s.out(), PartKind::Section, "Inter-factor correlation matrix",
                              "factor_correlations");
        writeFactorCorrelations(s.out(), s.phi, extraction);
    }
    if (!s.detailed()) return;
    const ReportPart part(s.out(), PartKind::Section, "Structure matrix", "structure");
    writeStructureMatrix(s.out(), s.data(), s.pattern.multiply(s.phi), extraction);
}

// Rotation to the user's target: orthogonal or oblique Procrustean
// rotation with the target method's parameters; the pattern is L·T.
void targetRotation(RunState& s) {
    const AnalysisSettings& settings = s.settings();
    const bool oblique = settings.targetRotation == ObliqueTarget;
    const RotationParameters& p = s.session.rotations.target[oblique ? 1 : 0];
    const Matrix& target = s.data().analysedTarget;
    s.phi = identity(s.k);
    const RoutineResult fit = rotateToTarget(s.L, target, oblique, p.maxIterations,
                                             p.randomStarts, static_cast<double>(p.convergence));
    s.pattern = s.L.multiply(fit.transformation);
    if (oblique) s.phi = fit.factorCorrelations;
    if (s.detailed()) {
        const ReportPart part(s.out(), PartKind::Section, "Target matrix");
        if (hasFreeCells(target))
            writeSemiSpecifiedTarget(s.out(), s.data(), target, kUserTarget,
                                     settings.extractionMethod, FreeCellRule::UserTarget);
        else
            writeFullTarget(s.out(), s.data(), target, kUserTarget);
    }
    rotatedLoadings(s, 1);
    writeSweepLimitWarning(s.out(), fit.cappedStarts);
    if (oblique) obliqueSections(s);
    if (s.detailed()) {
        const ReportPart part(s.out(), PartKind::Section, "Congruence with the target");
        writeTargetCongruence(s.out(), s.data(), s.pattern, target, settings.extractionMethod);
    }
}

// The target that a target-based simplicity method built: a full target
// for the Promax and Promaj families, a semi-specified one for Promin and
// Simplimax.
void builtTarget(RunState& s, RotationMethod method, const Matrix& target) {
    const ExtractionMethod extraction = s.settings().extractionMethod;
    const ReportPart part(s.out(), PartKind::Section, "Target matrix");
    if (method >= kPromax && method < kPromin)
        writeFullTarget(s.out(), s.data(), target, kPrerotationTarget);
    else if (method == kPromin || method == kSimplimax)
        writeSemiSpecifiedTarget(s.out(), s.data(), target, kPrerotationTarget, extraction,
                                 FreeCellRule::BuiltTarget);
}

// Simplicity or target rotation. A cancelled Simplimax dialog halts the run.
RunEnding rotation(RunState& s) {
    const AnalysisSettings& settings = s.settings();
    s.phi = identity(s.k);
    s.pattern = s.L;
    if (!solutionRotated(settings, s.k)) return RunEnding::Continue;
    stageText(s, "Rotating solution...");
    if (settings.rotationKind == Target) {
        targetRotation(s);
        return RunEnding::Continue;
    }
    const RotationMethod method = settings.simplicityRotation;
    const RotatedSolution solution =
        rotateWithCleverStart(s.L, method, s.session.rotations, s.host.simplimaxChooser());
    if (solution.halted) return RunEnding::Halt;
    s.pattern = solution.pattern;
    s.phi = solution.factorCorrelations;
    if (s.detailed()) builtTarget(s, method, solution.target);
    rotatedLoadings(s, method);
    writeSweepLimitWarning(s.out(), solution.cappedStarts);
    stageText(s, "Computing simplicity indices");
    s.simplicity = simplicityIndices(s.pattern, s.phi);
    {
        const ReportPart part(s.out(), PartKind::Section, "Indices of factor simplicity", "simplicity");
        writeSimplicityIndices(s.out(), *s.simplicity);
    }
    if (isOblique(method)) obliqueSections(s);
    return RunEnding::Continue;
}

// IRT parameterization (polychoric correlations only): the unidimensional
// one from L, the multidimensional one from the solution (the rotated
// pattern under a simplicity or target rotation) with the uniquenesses of
// the unrotated solution. Switched off, with a note, when the polychoric
// matrix fell back to Pearson correlations.
void irtParameterization(RunState& s) {
    if (!s.settings().irtParameterization) return;
    if (s.irtOff) {
        s.out().write(kIrtSwitchedOff);
        return;
    }
    stageText(s, "Computing TRI parameterization");
    const ReportPart part(s.out(), PartKind::Section, "IRT parameterization", "irt");
    const Matrix& thresholds = s.data().thresholds;
    IrtShown shown;
    shown.dichotomous = thresholds.cols() == 1;
    if (s.k == 1) {
        const IrtUnidimensional irt = irtUnidimensional(s.L, thresholds);
        writeIrtUnidimensional(s.out(), s.data(), irt);
        shown.a = rowsOf(irt.a);
        shown.steps = rowsOf(irt.b);
        s.irtShown = std::move(shown);
        return;
    }
    MatrixScope scope;
    Matrix psi(s.m, 1);
    for (int i = 0; i < s.m; ++i) psi[i][0] = s.uniqueness[i][i];
    const IrtMultidimensional irt = irtMultidimensional(s.pattern, thresholds, psi);
    writeIrtMultidimensional(s.out(), s.data(), irt);
    shown.dimensions = s.k;
    shown.a = rowsOf(irt.a);
    shown.steps = rowsOf(irt.d);
    shown.mdisc = firstColumnOf(irt.mdisc);
    if (irt.mdiff.valid()) shown.mdiff = firstColumnOf(irt.mdiff);
    shown.flooredItems = irt.flooredItems;
    s.irtShown = std::move(shown);
}

// Greatest lower bound and omega when the IRT parameterization is off: for
// one factor, or for several after an oblique rotation (an oblique
// simplicity method or an oblique target rotation, whichever was applied).
void reliability(RunState& s) {
    const AnalysisSettings& settings = s.settings();
    if (!settings.glbOmega || s.irt()) return;
    if (s.k == 1 || obliqueSolution(settings, s.k)) {
        stageText(s, "Computing the greatest lower bound to reliability");
        const ReportPart part(s.out(), PartKind::Section, "Reliability", "reliability");
        s.reliability = writeReliability(s.out(), s.data(), s.R, s.n);
    }
}

// Second-order factors of the factor correlations and the Schmid-Leiman
// solution, for the correlated factors of an oblique rotation.
void schmidLeimanSolution(RunState& s) {
    const int g = s.settings().secondOrderCount;
    s.schmidLeiman = computeSchmidLeiman(s.pattern, s.phi, g, s.n);
    const ReportPart part(s.out(), PartKind::Section, "Schmid-Leiman solution", "schmid_leiman");
    writeSchmidLeiman(s.out(), s.data(), *s.schmidLeiman, s.k, g);
}

// Distribution of the residuals (detailed output).
void residuals(RunState& s) {
    const ReportPart part(s.out(), PartKind::Section, "Distribution of residuals", "residuals");
    s.residuals = writeResidualDistribution(s.out(), s.data(), s.R, s.reproduced, s.n);
}

// Missing-data descriptives; with missing values, the five hot-deck
// imputed data sets analysed as the main data were and their consensus,
// matched to the main solution.
void multipleImputation(RunState& s) {
    DataSet& data = s.data();
    if (!data.missingCodeEnabled || !s.rawData() || !data.imputationMask.valid()) return;
    stageText(s, "Computing Multiple Imputation of missing data");
    {
        const ReportPart part(s.out(), PartKind::Section, "Descriptives related to missing data",
                              "missing_data");
        s.missing = writeMissingDescriptives(s.out(), data, data.imputationMask, data.missingCode);
    }
    s.missingCount = s.missing->total;
    if (s.missingCount == 0) return;
    stageText(s, "Hot-Deck multiple imputation of missing data");
    const std::vector<Matrix> sets = imputeHotDeck(data.imputationScores, data.imputationMask);
    stageText(s, "Exploratory factor analysis of five imputated datasets");
    const AnalysisSettings& settings = s.settings();
    ImputedAnalysisInput input;
    input.dispersionType = settings.dispersionType;
    input.extractionMethod = settings.extractionMethod;
    input.factorCount = s.k;
    input.rotationKind = settings.rotationKind;
    input.simplicityRotation = settings.simplicityRotation;
    input.targetRotation = settings.targetRotation;
    input.rotations = &s.session.rotations;
    input.target = data.analysedTarget;
    input.reference = s.pattern;
    input.lowestScore = settings.lowestScore;
    input.highestScore = settings.highestScore;
    s.imputed = analyseImputed(sets, input);
    writeImputedFallbacks(s.out(), *s.imputed);
    const ReportPart part(s.out(), PartKind::Section, "Multiple imputation", "multiple_imputation");
    writeConsensus(s.out(), data, s.imputed->consensusPattern,
                   s.imputed->consensusFactorCorrelations);
}

// Bootstrap standard errors and intervals of the solution, from the
// analysed data or, with imputed data sets, from those in turn.
void bootstrapIntervals(RunState& s) {
    const AnalysisSettings& settings = s.settings();
    stageText(s, "Computing bootstrap confidence intervals");
    BootstrapInput in;
    if (s.imputed)
        for (const ImputedSet& set : s.imputed->sets) in.datasets.push_back(set.data);
    else
        in.datasets.push_back(s.data().analysedScores);
    in.samples = settings.bootstrapSamples;
    in.level = settings.bootstrapLevel;
    in.dispersionType = settings.dispersionType;
    in.lowestScore = settings.lowestScore;
    in.highestScore = settings.highestScore;
    in.extractionMethod = settings.extractionMethod;
    in.factorCount = s.k;
    in.rotated = solutionRotated(settings, s.k);
    in.rotationKind = settings.rotationKind;
    in.simplicityRotation = settings.simplicityRotation;
    in.targetRotation = settings.targetRotation;
    in.rotations = &s.session.rotations;
    in.target = s.data().analysedTarget;
    in.pattern = s.pattern;
    in.factorCorrelations = s.phi;
    in.oblique = in.rotated && obliqueSolution(settings, s.k);
    BootstrapEstimates estimates;
    estimates.pattern = s.pattern;
    estimates.factorCorrelations = s.phi;
    for (int i = 0; i < s.m; ++i) estimates.communalities.push_back(s.common()[i][i]);
    if (s.fit) {
        in.rmsea = s.fit->rmsea;
        in.cfi = s.fit->chiSquares;
        in.gfi = s.fit->gfi;
        if (in.rmsea) estimates.rmsea = s.fit->statistics.rmsea;
        if (in.cfi) estimates.cfi = s.fit->statistics.cfi;
        if (in.gfi) estimates.gfi = s.fit->statistics.gfi;
    }
    if (s.reliability) {
        in.omega = true;
        estimates.omega = s.reliability->omega;
    }
    ProgressTicker& ticker = s.session.ticker;
    in.progress = [&ticker](int percent) {
        ticker.reportPercent("Computing bootstrap confidence intervals", percent);
    };
    s.bootstrap = bootstrapSolution(in);
    const ReportPart part(s.out(), PartKind::Section, "Bootstrap confidence intervals", "bootstrap");
    writeBootstrap(s.out(), s.data(), *s.bootstrap, estimates);
}

// 1-based file numbers of 0-based analysed items.
std::vector<int> itemNumbers(const DataSet& data, const std::vector<int>& items) {
    std::vector<int> numbers;
    for (const int i : items) numbers.push_back(data.fileNumber(i));
    return numbers;
}

// The scores are also saved next to the report, one row per line of the
// data file; a name that reaches an input file is only a warning, a file
// that cannot be written ends the run.
// caseNumbers: the file lines of the rows of the scores.
RunEnding saveScores(RunState& s, const std::vector<int>& caseNumbers, const Matrix& scores,
                     const Matrix& standardErrors, const std::vector<bool>& computable) {
    const DataSet& data = s.data();
    const std::string path = scoresFileName(s.settings().outputFileName);
    const auto same = [&path](const std::string& input) {
        std::error_code error;
        return !input.empty() && std::filesystem::equivalent(path, input, error);
    };
    const bool clash = same(data.scoresFileName) || same(data.labelsFileName) ||
                       same(data.targetFileName) || same(data.matrixFileName);
    if (clash) {
        s.out().printf(kScoresFileIsInput, path.c_str());
        return RunEnding::Continue;
    }
    const WriteResult saved = writeScoresFile(path, data.rowNumbers, caseNumbers, scores,
                                              standardErrors, computable, s.writes);
    if (!saved) {
        s.host.message(formatText(kScoresNotSaved, path.c_str(), saved.error.c_str()),
                       MessageIcon::Error);
        s.warning = formatText(kScoresNotSavedWarning, path.c_str(), saved.error.c_str());
        return RunEnding::Failure;
    }
    s.scoresSaved = true;
    return RunEnding::Continue;
}

// The scores of every participant read, pooled over the imputed data sets.
RunEnding imputedScores(RunState& s) {
    const DataSet& data = s.data();
    const ImputedAnalysis& imputed = *s.imputed;
    if (!s.irt()) {
        const Matrix scores = imputedFactorScores(imputed);
        const ReportPart part(s.out(), PartKind::Section, "Factor scores");
        writeFactorScores(s.out(), data.rowNumbers, scores, s.settings().extractionMethod == PCA,
                          true);
        return saveScores(s, data.rowNumbers, scores, Matrix(), {});
    }
    ProgressTicker& ticker = s.session.ticker;
    const EapScores eap = imputedEapScores(imputed, [&ticker](std::int64_t points) {
        for (std::int64_t q = 0; q < points; ++q) ticker.tick();
    });
    writeUniquenessFloorWarning(s.out(), itemNumbers(data, eap.flooredItems));
    const ReportPart part(s.out(), PartKind::Section, "Factor scores");
    writeEapScores(s.out(), data.rowNumbers, eap, s.detailed(), true);
    if (eap.skipped) return RunEnding::Continue;
    return saveScores(s, data.rowNumbers, eap.eap, eap.posteriorSd, eap.computable);
}

// Least-squares or EAP factor scores of the solution (raw data).
RunEnding factorScores(RunState& s) {
    if (!s.settings().saveFactorScores || !s.rawData()) return RunEnding::Continue;
    if (s.missingCount > 0) return imputedScores(s);
    stageText(s, "Computing factor scores");
    const DataSet& data = s.data();
    if (!s.irt()) {
        const Matrix scores = factorScores(data.analysedScores, s.pattern, s.phi);
        const ReportPart part(s.out(), PartKind::Section, "Factor scores");
        writeFactorScores(s.out(), data.completeRowNumbers, scores,
                          s.settings().extractionMethod == PCA, false);
        return saveScores(s, data.completeRowNumbers, scores, Matrix(), {});
    }
    ProgressTicker& ticker = s.session.ticker;
    const EapScores eap =
        eapScores(data.analysedScores, s.pattern, data.thresholds, s.uniqueness,
                  s.settings().lowestScore, [&ticker](std::int64_t points) {
                      for (std::int64_t q = 0; q < points; ++q) ticker.tick();
                  });
    writeUniquenessFloorWarning(s.out(), itemNumbers(data, eap.flooredItems));
    const ReportPart part(s.out(), PartKind::Section, "Factor scores");
    writeEapScores(s.out(), data.completeRowNumbers, eap, s.detailed(), false);
    if (eap.skipped) return RunEnding::Continue;
    return saveScores(s, data.completeRowNumbers, eap.eap, eap.posteriorSd, eap.computable);
}

// Person-fit indices of the one-factor model of the covariance matrix.
void personFit(RunState& s) {
    if (!s.settings().personFit) return;
    const DataSet& data = s.data();
    // With imputed data: every participant read, with the mean index over the
    // imputed sets; otherwise the complete cases.
    const bool imputed = s.missingCount > 0;
    if (!imputed) stageText(s, "Computing person-fit indices");
    const PersonFit fit =
        imputed ? imputedPersonFit(*s.imputed) : personFitWithFloors(data.analysedScores);
    writeUniquenessFloorWarning(s.out(), itemNumbers(data, fit.flooredItems));
    const std::vector<int>& cases = imputed ? data.rowNumbers : data.completeRowNumbers;
    const ReportPart part(s.out(), PartKind::Section, "Person-fit indices", "person_fit");
    writePersonFit(s.out(), cases, fit.lc, s.settings().dispersionType == Covariance, s.detailed());
    s.personFit = RunState::PrintedPersonFit{cases, firstColumnOf(fit.lc), s.detailed()};
}

void references(RunState& s) {
    const ReportPart part(s.out(), PartKind::Section, "References", "references");
    writeReferences(s.out(), s.settings(), referenceContext(s));
    s.referencesPrinted = true;
}

// Every stage from the header to the references.
RunEnding analyse(RunState& s) {
    reportHeader(s);
    prepareData(s);
    detailsBlock(s);
    beginComputing(s);
    if (const RunEnding e = checkAnalysedData(s); e != RunEnding::Continue) return e;
    univariateDescriptives(s);
    dispersionMatrix(s);
    if (const RunEnding e = smoothing(s); e != RunEnding::Continue) return e;
    dispersionSection(s);
    adequacy(s);
    explainedVariance(s);
    numberOfFactors(s);
    if (const RunEnding e = takeAdvice(s); e != RunEnding::Continue) return e;
    if (s.settings().glbOmega && s.k == 0) reliabilityWithoutFactors(s);
    if (s.k > 0) {
        if (const RunEnding e = extraction(s); e != RunEnding::Continue) return e;
        if (s.k == 1) singleFactorSign(s);
        goodnessOfFit(s);
        if (s.detailed() || s.k == 1) unrotatedLoadings(s);
        if (const RunEnding e = rotation(s); e != RunEnding::Continue) return e;
        irtParameterization(s);
        reliability(s);
        if (s.settings().schmidLeiman && obliqueSolution(s.settings(), s.k))
            schmidLeimanSolution(s);
        if (s.detailed()) residuals(s);
        multipleImputation(s);
        if (s.settings().bootstrapSamples > 0 && s.rawData()) bootstrapIntervals(s);
        if (const RunEnding e = factorScores(s); e != RunEnding::Continue) return e;
        personFit(s);
    }
    references(s);
    // Only a run without an advised number has a warning by now.
    return s.warning.empty() ? RunEnding::Success : RunEnding::Failure;
}

}  // namespace

ResultOutputs resultOutputsOf(const AnalysisSettings& settings) {
    return {settings.outputFileName, settings.jsonFileName,
            settings.saveFactorScores ? scoresFileName(settings.outputFileName) : "", settings.htmlFileName,
            settings.csvFolder, settings.plotFolder};
}

ReferenceContext referenceContext(const RunState& s) {
    const AnalysisSettings& settings = s.session.settings;
    ReferenceContext context;
    context.cleverStart =
        s.session.rotations.simplicity[static_cast<std::size_t>(settings.simplicityRotation)]
            .cleverStart;
    context.smoothed = s.smoothed;
    context.chosenDispersion = s.savedDispersionType;
    context.categoryCount = s.session.data.categoryCount;
    context.missingCodeEnabled = s.session.data.missingCodeEnabled;
    return context;
}

bool startRun(RunState& s) {
    ProgressTicker& ticker = s.session.ticker;
    ticker.resetCount();
    ticker.resetBar();
    s.smoothed = false;
    if (!s.data().dataRead) {
        s.host.message("Data must be read before the computing", MessageIcon::Error);
        return false;
    }
    if (!s.session.configured) {
        s.host.message("Analysis must be configured before the computing", MessageIcon::Error);
        return false;
    }
    // The report must never replace one of the user's input files.
    if (const auto problem = outputFileProblem(s.data(), s.settings().outputFileName)) {
        s.host.message(*problem, MessageIcon::Error);
        return false;
    }
    // Nor the JSON results: the data may have been read again since OK.
    if (const auto problem =
            jsonFileProblem(s.data(), s.settings().jsonFileName, s.settings().outputFileName)) {
        s.host.message(*problem, MessageIcon::Error);
        return false;
    }
    if (const auto problem = plotFolderProblem(s.data(), s.settings().plotFolder,
                                               s.settings().outputFileName, s.settings().jsonFileName)) {
        s.host.message(*problem, MessageIcon::Error);
        return false;
    }
    if (const auto problem = resultOutputsProblem(s.data(), resultOutputsOf(s.settings()))) {
        s.host.message(problem->message, MessageIcon::Error);
        return false;
    }

    s.savedDispersionType = s.settings().dispersionType;
    s.host.setWaitCursor(true);
    s.host.showProgress();
    ticker.attach(s.host);
    ticker.resetCount();
    ticker.resetBar();
    s.host.repaintProgress();
    ticker.resetCount();
    rememberDataHandles(s);
    s.scope.emplace();

    // Written beside its name and put in place when the run ends: an earlier
    // report stays as it was until then.
    const std::string& path = s.settings().outputFileName;
    s.reportFile.emplace(path, s.writes);
    if (!s.reportFile->open()) {
        s.host.message(formatText(kReportNotCreated, path.c_str(), s.reportFile->error().c_str()),
                       MessageIcon::Error);
        s.reportFile.reset();
        releaseRun(s);
        return false;
    }
    if (s.settings().reportUtf8) {
        s.reportUtf8.emplace(*s.reportFile);
        s.report.emplace(*s.reportUtf8, &s.record);
    } else {
        s.report.emplace(*s.reportFile, &s.record);
    }
    s.startSeconds = s.clock.calendarSeconds();
    return true;
}

namespace {

// The plots, the results as JSON, the page and the tables, when asked for,
// and the page for a host that shows it, read from the state before its
// matrices are released; false, with an error box, when one of them cannot
// be written. The report is in place by now and cannot take the failure.
bool writeResultsJson(RunState& s, RunEnding ending) {
    const AnalysisSettings& settings = s.settings();
    const std::string& path = settings.jsonFileName;
    const std::string& plots = settings.plotFolder;
    ResultFiles files{settings.htmlFileName, settings.csvFolder, {}};
    files.page.paperThreshold = settings.paperThreshold;
    const bool shown = s.host.showsResults();
    if (path.empty() && plots.empty() && files.html.empty() && files.csvFolder.empty() && !shown)
        return true;
    nlohmann::json doc = resultsDocument(s, ending, settings.outputFileName);
    bool ok = true;
    if (!plots.empty()) {
        PlotsWritten written = writePlots(doc, plots);
        doc["plots"] = std::move(written.summary);
        files.page.pictures = std::move(written.pictures);
        if (!written.error.empty()) {
            s.host.message(written.error, MessageIcon::Error);
            ok = false;
        }
    }
    if (!path.empty()) {
        const WriteResult written = writeTextFile(path, doc.dump(2) + "\n", s.writes);
        if (!written) {
            s.host.message(formatText(kJsonNotWritten, path.c_str(), written.error.c_str()), MessageIcon::Error);
            ok = false;
        }
    }
    for (const std::string& error : writeResultFiles(doc, files, s.writes)) {
        s.host.message(error, MessageIcon::Error);
        ok = false;
    }
    // The window's browser shows the plots' PNG files.
    files.page.linkedImages = true;
    if (shown) s.host.showResults(htmlPage(doc, files.page), settings.outputFileName, files.html, plots);
    return ok;
}

}  // namespace

void endRun(RunState& s, RunEnding ending) {
    const std::int64_t elapsed = s.clock.calendarSeconds() - s.startSeconds;
    const std::string path = s.settings().outputFileName;
    s.out().beginPart(PartKind::Section, "End of the run", "ending");
    if (ending == RunEnding::Success) {
        s.out().printf("TALVEX completed\n\n");
        s.out().write(successTimeLine(elapsed));
        s.out().printf("Matrices generated : %d \n",
                       static_cast<std::int32_t>(s.session.ticker.count()));
    } else {
        s.out().write(ending == RunEnding::Halt ? std::string(kHaltWarning) : s.warning);
        s.out().separator();
        s.out().printf("TALVEX completed\n");
        s.out().printf("Computing time: %20.8f minutes.\n",
                       static_cast<double>(elapsed) * (1.0 / 60.0));
    }
    // The results name the report: none are written without it.
    const bool reportWritten = closeReport(s);
    const bool written = reportWritten && writeResultsJson(s, ending);
    if (!written) ending = RunEnding::Failure;
    if (ending == RunEnding::Success) {
        s.host.setStatus("Job done!", "", "");
        s.host.beep();
        s.session.ticker.resetCount();
    } else {
        s.host.setStatus("Analysis stopped!", "", "");
    }
    if (reportWritten) s.host.openReport(path);
    s.host.runEnded(s, ending);
    releaseRun(s);
}

void runAnalysis(AnalysisSession& session, RunHost& host, RunClock& clock, FileWrites& writes) {
    RunState state(session, host, clock, writes);
    if (!startRun(state)) return;
    endRun(state, analyse(state));
}

void runAnalysis(AnalysisSession& session, RunHost& host) {
    runAnalysis(session, host, systemClock());
}

}  // namespace talvex
