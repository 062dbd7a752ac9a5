#include "app/embedded_analysis.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <mutex>
#include <optional>
#include <sstream>

#include "analysis/analysis_run.h"
#include "analysis/results_json.h"
#include "analysis/run_state.h"
#include "analysis/session.h"
#include "app/analyse_command.h"
#include "app/blas_kernels.h"
#include "app/commands.h"
#include "app/script_window_system.h"
#include "app/text_util.h"
#include "core/matrix.h"
#include "core/random.h"
#include "data/dataset.h"
#include "data/output_file.h"

namespace talvex {

namespace {

// The pinned BLAS kernels (app/blas_kernels.h): this library holds its own
// OpenBLAS, whose initialisation reads the environment after this
// constructor has run. The variable is taken back at the first call, so
// that the host's child processes do not inherit it.
bool blasPinned = false;

__attribute__((constructor(101))) void pinBlasKernels() { blasPinned = pinBlasCoreType(); }

// Thrown from the progress view when the caller asks the run to stop; the
// run's scopes and its unfinished report are released on the way out.
struct RunInterrupted {};

// Keys that the data itself sets: NaN is a missing score, so the code is on.
constexpr const char* kDataKeys[] = {"dataKind",       "scoresFileName",     "matrixFileName",
                                     "participantCount", "variableCount",    "labelsEnabled",
                                     "labelsFileName", "missingCodeEnabled"};

// The script's window system, with the report and the results kept as text
// and the stages passed to the caller.
class EmbeddedWindowSystem final : public ScriptWindowSystem {
public:
    EmbeddedWindowSystem(std::vector<KeyValue> keys, std::ostream& out, std::ostream& err,
                         const EmbeddedAnalysisInput& input, std::string privateReport)
        : ScriptWindowSystem(std::move(keys), out, err, false),
          input_(input),
          privateReport_(std::move(privateReport)) {}

    std::string report;
    std::string results;

    void setProgressText(const std::string& text) override {
        if (input_.progress) input_.progress(text);
        if (input_.cancel != nullptr && input_.cancel->load()) throw RunInterrupted{};
    }
    void openReport(const std::string& path) override {
        std::ifstream in(path, std::ios::binary);
        report.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    void runEnded(const RunState& state, RunEnding ending) override {
        ScriptWindowSystem::runEnded(state, ending);
        // A report kept only in memory has no path.
        const std::string& path = state.session.settings.outputFileName;
        const nlohmann::json doc = resultsDocument(state, ending, path == privateReport_ ? "" : path);
        results = doc.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    }

private:
    const EmbeddedAnalysisInput& input_;
    std::string privateReport_;
};

// The shortest text that reads back as the same double.
void appendNumber(std::string& text, double x) {
    char buffer[32];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, x);
    (void)error;
    text.append(buffer, end);
}

bool sameKey(const std::string& a, const std::string& b) { return lower(trim(a)) == lower(b); }

// The missing-value code the settings name, 999 by default; nothing when
// the value is not an integer.
std::optional<double> missingCodeOf(const EmbeddedAnalysisInput& input) {
    double code = DataSet{}.missingCode;
    for (const auto& [key, value] : input.settings) {
        if (!sameKey(key, "missingCode")) continue;
        const std::string v = trim(value);
        int parsed = 0;
        const auto [end, error] = std::from_chars(v.data(), v.data() + v.size(), parsed);
        if (error != std::errc() || end != v.data() + v.size()) return std::nullopt;
        code = parsed;
    }
    return code;
}

// Why the matrix cannot be handed to the reader, if it cannot.
std::optional<std::string> inputProblem(const EmbeddedAnalysisInput& input,
                                        std::optional<double> code) {
    if (!code) return "missingCode takes an integer";
    if (input.rows <= 0 || input.columns <= 0 || input.scores == nullptr)
        return "the data hold no scores";
    if (!input.labels.empty() && static_cast<int>(input.labels.size()) != input.columns)
        return "there are " + std::to_string(input.labels.size()) + " labels for " +
               std::to_string(input.columns) + " columns";
    for (const std::string& label : input.labels)
        if (label.find_first_of("\r\n") != std::string::npos)
            return "the label \"" + label + "\" spans lines";
    for (const auto& [key, value] : input.settings)
        for (const char* reserved : kDataKeys)
            if (sameKey(key, reserved)) return std::string(reserved) + " is set by the data";
    const std::size_t n = static_cast<std::size_t>(input.rows) * static_cast<std::size_t>(input.columns);
    const auto where = [&input](std::size_t i) {
        const auto columns = static_cast<std::size_t>(input.columns);
        return "the score of row " + std::to_string(i / columns + 1) + ", column " +
               std::to_string(i % columns + 1);
    };
    for (std::size_t i = 0; i < n; ++i) {
        const double x = input.scores[i];
        if (std::isinf(x)) return where(i) + " is infinite";
        if (x == *code) {
            std::string text = where(i) + " equals the missing-value code ";
            appendNumber(text, *code);
            return text + ": set missingCode to a value that no score takes";
        }
    }
    return std::nullopt;
}

// The scores as the reader takes them: one row a line, ',' between the
// fields, a missing score written as the code.
std::string scoresText(const EmbeddedAnalysisInput& input, double code) {
    std::string text;
    text.reserve(static_cast<std::size_t>(input.rows) * static_cast<std::size_t>(input.columns) * 4);
    for (int i = 0; i < input.rows; ++i) {
        const double* row = input.scores + static_cast<std::ptrdiff_t>(i) * input.columns;
        for (int j = 0; j < input.columns; ++j) {
            if (j > 0) text += ',';
            appendNumber(text, std::isnan(row[j]) ? code : row[j]);
        }
        text += '\n';
    }
    return text;
}

// Whether the settings name the number of factors themselves.
bool countGiven(const EmbeddedAnalysisInput& input, const char* key) {
    for (const auto& setting : input.settings)
        if (sameKey(setting.first, key)) return true;
    return false;
}

EmbeddedAnalysisResult run(const EmbeddedAnalysisInput& input, std::ostream& err) {
    EmbeddedAnalysisResult result;
    const std::optional<double> code = missingCodeOf(input);
    if (const auto problem = inputProblem(input, code)) {
        err << "talvex: " << *problem << '\n';
        return result;
    }
    ScratchDir scratch;
    if (!scratch.ok()) {
        err << "talvex: no temporary folder\n";
        result.status = kAnalyseFailed;
        return result;
    }
    const std::string scoresFile = scratch.file("scores.dat");
    const std::string labelsFile = scratch.file("labels.txt");
    const std::string reportFile = scratch.file("report.txt");
    std::string labels;
    for (const std::string& label : input.labels) labels += label + '\n';
    for (const auto& [path, text] : {std::pair{scoresFile, scoresText(input, *code)},
                                     std::pair{labelsFile, labels}}) {
        if (const WriteResult written = writeTextFile(path, text); !written) {
            err << "talvex: cannot write " << path << ": " << written.error << '\n';
            result.status = kAnalyseFailed;
            return result;
        }
    }

    std::vector<KeyValue> keys{{"dataKind", "scores"},
                               {"scoresFileName", scoresFile},
                               {"participantCount", std::to_string(input.rows)},
                               {"variableCount", std::to_string(input.columns)},
                               {"missingCodeEnabled", "on"},
                               {"outputFileName", reportFile}};
    if (!input.labels.empty()) {
        keys.push_back({"labelsEnabled", "on"});
        keys.push_back({"labelsFileName", labelsFile});
    }
    const bool factorsGiven = countGiven(input, "factorCount");
    if (!factorsGiven && !countGiven(input, "useAdvisedFactorCount"))
        keys.push_back({"useAdvisedFactorCount", "on"});
    for (const auto& [key, value] : input.settings) keys.push_back({key, value});

    std::ostringstream out;
    EmbeddedWindowSystem ws(std::move(keys), out, err, input, reportFile);
    AnalysisSession session;
    readDataCommand(session, ws);
    if (ws.refused() || !session.data.dataRead) return result;
    session.data.scoresFileName = input.dataName;
    if (!input.labels.empty()) session.data.labelsFileName = input.dataName;
    configureCommand(session, ws);
    if (ws.refused() || !session.configured || ws.reportUnused()) return result;

    ws.startRun();
    try {
        runAnalysis(session, ws);
    } catch (const RunInterrupted&) {
        err << kHaltWarning;
        result.status = kAnalyseFailed;
        result.halted = true;
        return result;
    }
    result.report = std::move(ws.report);
    result.results = std::move(ws.results);
    const bool completed = ws.ending() && *ws.ending() == RunEnding::Success && !ws.errorInRun();
    // No factors completes a run that asked for none, not one that forgot them.
    result.status = completed && (ws.factors() > 0 || factorsGiven) ? kAnalyseCompleted : kAnalyseFailed;
    result.halted = ws.ending() && *ws.ending() == RunEnding::Halt;
    return result;
}

}  // namespace

EmbeddedAnalysisResult analyseScores(const EmbeddedAnalysisInput& input) {
    static std::mutex oneRunAtATime;
    const std::lock_guard<std::mutex> lock(oneRunAtATime);
    if (blasPinned) {
        unsetenv("OPENBLAS_CORETYPE");
        blasPinned = false;
    }
    // Each call draws the random numbers a run of the program draws.
    restoreRandomState(kRandomStartState);
    std::ostringstream err;
    EmbeddedAnalysisResult result = run(input, err);
    // The data set's matrices live outside every scope until here.
    releaseAll();
    result.messages = err.str();
    return result;
}

}  // namespace talvex
