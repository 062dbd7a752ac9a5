#include "analysis/analysis_run.h"

#include <cstdio>

#include "analysis/report_frame.h"
#include "analysis/run_host.h"
#include "analysis/run_state.h"
#include "data/data_files.h"

namespace talvex {

RunState::~RunState() {
    if (file != nullptr) std::fclose(file);
}

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

void writeSmoothingWarning(ReportWriter& report) {
    report.printf(
        "\nWARNING: Correlation matrix is not positive-definite,\n"
        "         Smothing algorithm was applied \n"
        "         (Devlin, Gnanadesikan, & Kettenring, 1975; Devlin, Gnanadesikan, & "
        "Kettenring, 1981)\n\n\n");
    report.separator();
}

namespace {

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
    s.ended = true;
}

void closeReport(RunState& s) {
    s.report.reset();
    if (s.file != nullptr) std::fclose(s.file);
    s.file = nullptr;
}

// ---------------------------------------------------------------------------
// The stages, in report order. Each returns Continue unless it ends the run.

// The header block.
void reportHeader(RunState& s) { writeHeader(s.out(), s.clock.localTime()); }

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
    s.k = settings.factorCount;
}

void detailsBlock(RunState& s) {
    writeDetails(s.out(), s.data(), s.settings(), s.session.rotations);
}

void beginComputing(RunState& s) {
    s.host.setStatus("Computing ...", "", "");
    stageText(s, "Computing dispersion matrix...");
}

// Univariate and multivariate descriptives of the analysed data (detailed
// output, raw data); not wired in yet.
void univariateDescriptives(RunState&) {}

// R by dispersion type. The user's matrix is ready; the covariance, Pearson
// and polychoric matrices (with their warnings and the Pearson fallback) are
// not wired in yet.
void dispersionMatrix(RunState& s) {
    if (s.settings().dispersionType == UserMatrix) s.R = s.data().dispersion;
}

// Positive-definiteness test and smoothing of R, which set `smoothed`; not
// wired in yet.
void smoothDispersion(RunState& s) { s.smoothed = false; }

// The smoothing warning and the dispersion matrix section (detailed output).
void dispersionSection(RunState& s) {
    if (!s.detailed()) return;
    if (s.smoothed) {
        writeSmoothingWarning(s.out());
        // The smoothed matrix is no longer a correlation matrix.
        if (s.settings().dispersionType != UserMatrix) s.settings().dispersionType = Covariance;
    }
    // The dispersion matrix section is written here once wired in.
}

// Determinant, Bartlett's statistic and KMO; not wired in yet.
void adequacy(RunState& s) { stageText(s, "Computing indices..."); }

// Eigenvalues of R and the variance they explain (detailed output); not
// wired in yet.
void explainedVariance(RunState&) {}

// MAP, Hull or parallel analysis (by paVariant); the statistics are not
// wired in yet.
void numberOfFactors(RunState& s) {
    switch (s.settings().factorCountProcedure) {
        case MAP:
            stageText(s, "Computing MAP...");
            break;
        case Hull:
            stageText(s, "Computing HULL...");
            break;
        case ParallelAnalysis:
            stageText(s, "Computing PA...");
            break;
    }
}

// Greatest lower bound and omega when no factors are extracted; not wired
// in yet.
void reliabilityWithoutFactors(RunState&) {}

// The common part, the reproduced matrix and the uniquenesses of L.
void commonParts(RunState& s) {
    if (!s.R.valid() || !s.L.valid()) return;
    s.H = s.L.multiply(s.L.transpose());
    s.reproduced = s.H.copy();
    s.uniqueness = zeros(s.m);
    for (int i = 0; i < s.m; ++i) {
        s.reproduced[i][i] = s.R[i][i];
        s.uniqueness[i][i] = s.R[i][i] - s.H[i][i];
    }
}

// ULS, PCA, ML or MRFA loadings; a non-converging ML or MRFA ends the run
// (kMlWarning, kMrfaWarning). Not wired in yet.
RunEnding extraction(RunState& s) {
    stageText(s, "Computing loadings...");
    commonParts(s);
    return RunEnding::Continue;
}

// Sign rule of a single factor; not wired in yet.
void singleFactorSign(RunState&) {}

// Goodness of fit of the extraction; not wired in yet.
void goodnessOfFit(RunState&) {}

// The unrotated loading matrix (detailed output or one factor); not wired
// in yet.
void unrotatedLoadings(RunState&) {}

// Simplicity or target rotation. A cancelled Simplimax dialog halts the run.
// The rotations themselves are not wired in yet, so the solution stays the
// unrotated one.
RunEnding rotation(RunState& s) {
    const AnalysisSettings& settings = s.settings();
    s.phi = identity(s.k);
    s.pattern = s.L;
    if (settings.rotationKind == Simplicity) {
        if (settings.simplicityRotation > 0 && s.k > 1) stageText(s, "Rotating solution...");
    } else {
        stageText(s, "Rotating solution...");
    }
    return RunEnding::Continue;
}

// IRT parameterization (polychoric correlations only); not wired in yet.
void irtParameterization(RunState& s) {
    if (s.settings().irtParameterization) stageText(s, "Computing TRI parameterization");
}

// Greatest lower bound and omega for one factor or an oblique solution; not
// wired in yet.
void reliability(RunState& s) {
    const AnalysisSettings& settings = s.settings();
    if (!settings.glbOmega || settings.irtParameterization) return;
    if (s.k == 1 || (isOblique(settings.simplicityRotation) && s.k > 1))
        stageText(s, "Computing the greatest lower bound to reliability");
}

// Second-order factors and the Schmid-Leiman solution; not wired in yet.
void schmidLeimanSolution(RunState&) {}

// Distribution of the residuals (detailed output); not wired in yet.
void residuals(RunState&) {}

// Missing-data descriptives, hot-deck imputation and the consensus over the
// imputed data sets; not wired in yet, so the missing count stays 0.
void multipleImputation(RunState& s) {
    if (!s.data().missingCodeEnabled) return;
    stageText(s, "Computing Multiple Imputation of missing data");
}

// Least-squares or EAP factor scores (raw data); not wired in yet.
void factorScores(RunState& s) {
    if (!s.settings().saveFactorScores || !s.rawData()) return;
    if (s.missingCount == 0) stageText(s, "Computing factor scores");
}

// Person-fit indices of the one-factor model; not wired in yet.
void personFit(RunState& s) {
    if (!s.settings().personFit) return;
    if (s.missingCount == 0) stageText(s, "Computing person-fit indices");
}

void references(RunState& s) {
    const AnalysisSettings& settings = s.settings();
    ReferenceContext context;
    context.cleverStart =
        s.session.rotations.simplicity[static_cast<std::size_t>(settings.simplicityRotation)]
            .cleverStart;
    context.smoothed = s.smoothed;
    context.chosenDispersion = s.savedDispersionType;
    context.categoryCount = s.data().categoryCount;
    context.missingCodeEnabled = s.data().missingCodeEnabled;
    writeReferences(s.out(), settings, context);
}

// Every stage from the header to the references.
RunEnding analyse(RunState& s) {
    reportHeader(s);
    prepareData(s);
    detailsBlock(s);
    beginComputing(s);
    univariateDescriptives(s);
    dispersionMatrix(s);
    smoothDispersion(s);
    dispersionSection(s);
    adequacy(s);
    explainedVariance(s);
    numberOfFactors(s);
    if (s.settings().glbOmega && s.k == 0) reliabilityWithoutFactors(s);
    if (s.k > 0) {
        if (const RunEnding e = extraction(s); e != RunEnding::Continue) return e;
        if (s.k == 1) singleFactorSign(s);
        goodnessOfFit(s);
        if (s.detailed() || s.k == 1) unrotatedLoadings(s);
        if (const RunEnding e = rotation(s); e != RunEnding::Continue) return e;
        irtParameterization(s);
        reliability(s);
        if (s.settings().schmidLeiman) schmidLeimanSolution(s);
        if (s.detailed()) residuals(s);
        multipleImputation(s);
        factorScores(s);
        personFit(s);
    }
    references(s);
    return RunEnding::Success;
}

}  // namespace

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

    // Text mode is binary mode here; "w" truncates an existing report.
    const std::string& path = s.settings().outputFileName;
    s.file = std::fopen(path.c_str(), "w");
    if (s.file == nullptr) {
        char text[4096];
        std::snprintf(text, sizeof text, kReportNotCreated, path.c_str());
        s.host.message(text, MessageIcon::Error);
        releaseRun(s);
        return false;
    }
    s.report.emplace(s.file);
    s.startSeconds = s.clock.calendarSeconds();
    return true;
}

void endRun(RunState& s, RunEnding ending) {
    const std::int64_t elapsed = s.clock.calendarSeconds() - s.startSeconds;
    const std::string path = s.settings().outputFileName;
    if (ending == RunEnding::Success) {
        s.host.setStatus("Job done!", "", "");
        s.out().printf("TALVEX completed\n\n");
        s.out().write(successTimeLine(elapsed));
        s.out().printf("Matrices generated : %d \n",
                       static_cast<std::int32_t>(s.session.ticker.count()));
        closeReport(s);
        s.host.beep();
        s.session.ticker.resetCount();
        s.host.openReport(path);
    } else {
        s.host.setStatus("Analysis stopped!", "", "");
        s.out().write(ending == RunEnding::Halt ? std::string(kHaltWarning) : s.warning);
        s.out().separator();
        s.out().printf("TALVEX completed\n");
        s.out().printf("Computing time: %20.8f minutes.\n",
                       static_cast<double>(elapsed) * (1.0 / 60.0));
        closeReport(s);
        s.host.openReport(path);
    }
    releaseRun(s);
}

void runAnalysis(AnalysisSession& session, RunHost& host, RunClock& clock) {
    RunState state(session, host, clock);
    if (!startRun(state)) return;
    endRun(state, analyse(state));
}

void runAnalysis(AnalysisSession& session, RunHost& host) {
    runAnalysis(session, host, systemClock());
}

}  // namespace talvex
