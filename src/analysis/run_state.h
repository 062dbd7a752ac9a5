// The state of one Compute run and the pieces of the run that tests and the
// stage functions share: its start, its three endings, and the warnings the
// run itself writes into the report.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "analysis/report_frame.h"
#include "data/output_file.h"
#include "report/report_writer.h"
#include "analysis/session.h"
#include "data/data_files.h"
#include "results/text_encoding.h"
#include "core/matrix.h"
#include "stats/dimensionality/hull.h"
#include "stats/dimensionality/map.h"
#include "stats/dimensionality/parallel_analysis.h"
#include "stats/bootstrap/bootstrap.h"
#include "stats/dispersion/adequacy.h"
#include "stats/dispersion/descriptives.h"
#include "stats/extraction/fit.h"
#include "stats/extraction/unrotated_solution.h"
#include "stats/imputation/hot_deck.h"
#include "stats/imputation/imputed_analysis.h"
#include "stats/interpretation/irt.h"
#include "stats/interpretation/reliability.h"
#include "stats/interpretation/second_order.h"
#include "stats/interpretation/simplicity_indices.h"

namespace talvex {

class RunHost;

// What a stage asks of the run: go on, or end it one way or the other.
enum class RunEnding { Continue, Success, Failure, Halt };

inline constexpr const char* kMlWarning =
    "WARNING: ML extraction method could not converge. Please try ULS, MRFA or PCA.\n\n";
inline constexpr const char* kMrfaWarning =
    "WARNING: MRFA extraction method could not converge. Please try ULS or PCA.\n\n";
// Where the IRT section would be, when the polychoric matrix fell back to
// Pearson correlations.
inline constexpr const char* kIrtSwitchedOff =
    "NOTE: The IRT parameterization (and the expected a posteriori scores) are switched off for "
    "this analysis:\n"
    "      the polychoric correlations could not be computed, and Pearson correlations were "
    "analysed instead.\n\n"
    "--------------------------------------------------------------------------------\n\n";
inline constexpr const char* kHaltWarning = "WARNING: Analisys was halted by the user.\n\n";

// With the advised number of factors: the note after the procedure's
// section ("factors" or "components", the rule of parallel analysis, the
// number), and the endings when it gives none or one that fails a check.
inline constexpr const char* kAdvisedCountNote = "NOTE: This analysis extracts the advised number of %s%s: %i\n\n";
inline constexpr const char* kPercentileRule = " when the 95 percentile is considered";
inline constexpr const char* kZeroAdvised =
    "WARNING: The advised number of dimensions is 0: factors/components were not computed.\n\n";
inline constexpr const char* kNothingAdvised =
    "WARNING: No number of dimensions was advised: factors/components were not computed.\n\n";
// The advised number, then the message of the check it fails.
inline constexpr const char* kAdvisedCountRefused =
    "WARNING: The advised number of dimensions is %i.\n         %s\n\n";
// The columns of the rotation target.
inline constexpr const char* kTargetColumnsDiffer =
    "The rotation target matrix has %i columns: a target rotation needs as many Factors/Components.";

// Failure endings for data and matrices that cannot be analysed.
// Complete cases left, variables analysed, cases needed (variables + 1).
inline constexpr const char* kTooFewCases =
    "WARNING: The number of complete cases (participants without a missing value) is %i, for %i "
    "variables.\n"
    "         The analysis needs at least %i, one more than the number of variables.\n\n";
// The sample size given with a user's matrix.
inline constexpr const char* kSampleOfOne =
    "WARNING: A sample size of %i was given with the matrix; the analysis needs at least 2 "
    "participants\n"
    "         (or a sample size of 0 when it is not known).\n\n";
// One line for each variable without variance (its number in the file),
// then the advice.
inline constexpr const char* kConstantVariable =
    "WARNING: Variable %4i has the same score for every participant: it has no variance and no "
    "correlations.\n";
inline constexpr const char* kZeroVariance =
    "WARNING: Variable %4i has a variance that is not positive in the matrix given: it has no "
    "correlations.\n";
inline constexpr const char* kExcludeThem =
    "         Please exclude it (or them) from the analysis.\n\n";
// The numbers of the variables involved, as a list.
inline constexpr const char* kDependentVariables =
    "WARNING: The correlation matrix is singular: variables %s are linearly dependent\n"
    "         (a variable repeated, or one that is a sum or other combination of the others).\n"
    "         Please exclude the redundant variable(s) from the analysis.\n\n";
// The two variable numbers and their correlation.
inline constexpr const char* kCorrelationBeyondOne =
    "WARNING: Variables %i and %i have a correlation of %.7f in the matrix given; a correlation\n"
    "         must be smaller than 1 in absolute value, and the matrix cannot be analysed.\n"
    "         Please correct the matrix, or exclude one of the two variables.\n\n";
// Passes made, smallest eigenvalue before and after the last pass.
inline constexpr const char* kSmoothingFailed =
    "WARNING: Correlation matrix is not positive-definite, and the smoothing algorithm could not\n"
    "         make it so: pass %i lowered its smallest eigenvalue from %.6f to %.6f.\n"
    "         (Devlin, Gnanadesikan, & Kettenring, 1975; Devlin, Gnanadesikan, & Kettenring, 1981)\n"
    "         Please inspect the matrix for correlations that contradict each other.\n\n";

// Error boxes of the outputs, each with the file name and the system's
// reason ("No space left on device"). The report cannot be opened:
inline constexpr const char* kReportNotCreated = "The report file could not be created:\n\n%s: %s";
// A write, flush or close of the report failed: no report is put in place.
inline constexpr const char* kReportNotWritten = "The report file could not be written:\n\n%s: %s";
inline constexpr const char* kJsonNotWritten = "The results could not be written to %s: %s";
// The saved factor scores: the box, and the warning of the failure ending.
inline constexpr const char* kScoresNotSaved = "The factor scores could not be saved in %s: %s";
inline constexpr const char* kScoresNotSavedWarning =
    "WARNING: The factor scores could not be saved in %s: %s.\n\n";
// The scores file would replace one of the input files: not written, and
// the run goes on.
inline constexpr const char* kScoresFileIsInput =
    "WARNING: The factor scores could not be saved in %s.\n\n";

// The numbers of a matrix as plain vectors, which outlive its scope: the
// printed sections kept for the results file.
inline std::vector<std::vector<double>> rowsOf(const Matrix& a) {
    std::vector<std::vector<double>> rows(static_cast<std::size_t>(a.rows()));
    for (int i = 0; i < a.rows(); ++i) rows[static_cast<std::size_t>(i)].assign(a[i], a[i] + a.cols());
    return rows;
}
inline std::vector<double> firstColumnOf(const Matrix& a) {
    std::vector<double> column(static_cast<std::size_t>(a.rows()));
    for (int i = 0; i < a.rows(); ++i) column[static_cast<std::size_t>(i)] = a[i][0];
    return column;
}

// The IRT parameters as printed, copied out of the stage's matrix scope;
// one row per item.
struct IrtShown {
    int dimensions = 1;
    bool dichotomous = false;
    std::vector<std::vector<double>> a;      // discriminations, one column per dimension
    std::vector<std::vector<double>> steps;  // difficulties (one dimension) or intercepts
    std::vector<double> mdisc;               // several dimensions only
    std::vector<double> mdiff;               // several dimensions, dichotomous items only
    std::vector<int> flooredItems;           // 0-based items whose uniqueness was floored
};

// Parallel analysis as its section showed it.
struct PaShown {
    PaResult values;
    bool mrfa = false;  // percentages of common variance rather than eigenvalues
    int percentile = 95;
};

struct RunState {
    RunState(AnalysisSession& session, RunHost& host, RunClock& clock,
             FileWrites& writes = systemFileWrites())
        : session(session), host(host), clock(clock), writes(writes) {}
    RunState(const RunState&) = delete;
    RunState& operator=(const RunState&) = delete;

    AnalysisSession& session;
    RunHost& host;
    RunClock& clock;
    FileWrites& writes;  // of every file the run writes

    std::optional<OutputFile> reportFile;
    std::optional<Utf8Sink> reportUtf8;  // between the writer and the file with reportUtf8
    std::optional<ReportWriter> report;
    ReportRecord record;  // what the report printed, for the results document
    std::optional<MatrixScope> scope;  // every matrix of the run
    std::int64_t startSeconds = 0;
    DispersionType savedDispersionType = PearsonCorrelation;
    // factorCount and schmidLeiman as configured, while the settings hold
    // the advised number; put back when the run ends.
    std::optional<std::pair<int, bool>> configuredCount;
    bool smoothed = false;
    bool referencesPrinted = false;  // the run got to its References section
    bool polychoricSmoothed = false;  // the polychoric stage smoothed R itself
    int smoothingPasses = 0;     // passes the smoothing made
    int correlationsErased = 0;  // notable correlations it set to 0
    bool ended = false;

    int n = 0;                // participants (complete cases)
    int m = 0;                // variables analysed
    int k = 0;                // factors
    Matrix R;                 // dispersion matrix analysed
    Matrix pearson;           // Pearson correlations of the analysed data, once computed
    Matrix L;                 // unrotated loadings, m x k
    Matrix componentWeights;  // PCA only, m x k
    Matrix H;                 // L·Lᵀ
    Matrix M;                 // MRFA only: R with the MRFA communalities on its diagonal
    Matrix reproduced;        // H with the diagonal of R
    Matrix uniqueness;        // diagonal R(i, i) − H(i, i)
    Matrix pattern;           // the solution: rotated pattern, or L
    Matrix phi;               // factor correlations of the solution
    int missingCount = 0;     // missing values in the analysed data
    bool scoresSaved = false; // the factor scores file was written
    // IRT switched off for this run (the polychoric matrix fell back to Pearson).
    bool irtOff = false;
    std::string warning;      // the report text of a failure ending
    // The simplicity indices of a simplicity rotation, as printed.
    std::optional<SimplicityIndices> simplicity;
    // The analyses of the imputed data sets (missing count above 0), which
    // the scores and person-fit stages use.
    std::optional<ImputedAnalysis> imputed;
    // Bootstrap intervals of the solution (bootstrapSamples above 0).
    std::optional<BootstrapResult> bootstrap;

    // DataSet handles as they were before the run: those replaced during the
    // run refer to matrices of the run's scope and are cleared when it closes.
    std::vector<std::pair<Matrix*, Matrix>> dataHandles;

    // The numbers of sections that the writers compute for themselves, as
    // printed, for the results file; each is set by the stage that writes
    // the section and stays empty when the run skipped it.
    std::vector<double> eigenvalues;  // explained variance (detailed output)
    std::optional<MapAdvice> map;
    std::optional<PaShown> parallel;
    std::optional<HullAdvice> hull;
    std::optional<PrintedFit> fit;
    std::optional<ReliabilityEstimates> reliability;
    std::optional<PrintedDescriptives> descriptives;
    std::optional<PrintedAdequacy> adequacy;
    // Of the unrotated solution, or of the rotated one when it was rotated.
    std::optional<FactorVarianceTable> explained;
    std::optional<IrtShown> irtShown;
    std::optional<SchmidLeimanSolution> schmidLeiman;
    std::optional<PrintedResiduals> residuals;
    std::optional<MissingSummary> missing;
    // The dispersion matrix section (detailed output): its title and rows.
    struct PrintedDispersion {
        DispersionType title;
        std::vector<std::vector<double>> rows;
    };
    std::optional<PrintedDispersion> dispersion;
    // The person-fit section: one index per participant listed, and whether
    // the report listed every participant (detailed output) or only those
    // beyond ±2.99.
    struct PrintedPersonFit {
        std::vector<int> cases;
        std::vector<double> lc;
        bool individuals = false;
    };
    std::optional<PrintedPersonFit> personFit;

    ReportWriter& out() { return *report; }
    AnalysisSettings& settings() { return session.settings; }
    DataSet& data() { return session.data; }
    bool rawData() const { return session.settings.dispersionType != UserMatrix; }
    bool detailed() const { return session.settings.detailedOutput; }
    // The IRT parameterization and EAP scores are computed in this run.
    bool irt() const { return session.settings.irtParameterization && !irtOff; }
    // The common part whose diagonal holds the communalities: MRFA's reduced
    // matrix, otherwise L·Lᵀ.
    const Matrix& common() const { return M.valid() ? M : H; }
};

// Runs with the given clock and file system calls (the two-argument form
// uses the system's).
void runAnalysis(AnalysisSession& session, RunHost& host, RunClock& clock,
                 FileWrites& writes = systemFileWrites());

// The preconditions, the progress window, the run's scope and the report
// file. False when the run is over already: a missing precondition (nothing
// written) or a report that could not be created (reported, everything
// restored).
bool startRun(RunState& state);

// The success, failure (state.warning) or halt ending: the closing lines,
// the report put in place and opened for the user, the JSON results, the
// status lines, the scope closed, the progress window gone and the user's
// dispersion type back. A report or results file that cannot be written is
// an error box and makes the run a failure.
void endRun(RunState& state, RunEnding ending);

// The outputs of a run beside the report, as the settings name them.
ResultOutputs resultOutputsOf(const AnalysisSettings& settings);

// What the References section of this run depends on beyond the settings.
ReferenceContext referenceContext(const RunState& state);

// Sets the progress window's stage text and repaints it at once.
void stageText(RunState& state, const char* text);

// Computing time in minutes as the success ending prints it.
std::string successTimeLine(std::int64_t elapsedSeconds);

// Warnings the run writes about its dispersion matrix. Pairs are 0-based
// indices of analysed variables; the report shows their file numbers.
void writePolychoricPairsWarning(ReportWriter& report, const DataSet& data,
                                 const std::vector<std::pair<int, int>>& failedPairs);
void writePolychoricFallbackWarning(ReportWriter& report);

}  // namespace talvex
