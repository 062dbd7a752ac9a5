#include "app/analyse_command.h"

#include <optional>
#include <ostream>

#include <CLI/CLI.hpp>

#include "analysis/analysis_run.h"
#include "analysis/run_state.h"
#include "analysis/session.h"
#include "app/commands.h"
#include "app/dialog_model.h"
#include "app/sample_dialog.h"
#include "app/text_util.h"
#include "app/script_window_system.h"
#include "core/matrix.h"
#include "data/output_file.h"
#include "data/scores_table.h"

namespace talvex {

namespace {

// What the command line asks for.
struct AnalyseOptions {
    std::string data;
    bool inputMatrix = false;
    std::optional<int> participants;
    std::optional<int> variables;
    std::string labels;
    std::string target;
    std::optional<int> missingCode;
    bool noMissing = false;
    std::string missingToken = "NA";
    std::string idColumn;
    std::string factors;  // a number, "auto", or empty (auto unless --set names the count)
    std::string procedure;
    std::string matrix;
    std::string extraction;
    std::string rotation;
    bool detailed = false;
    std::string report;
    std::string json;
    std::string html;
    std::string csv;
    std::string reportEncoding;
    std::string plots;
    std::string bootstrap;  // resamples: a number, "on" (500) or "off"
    std::string bootstrapLevel;
    bool progress = false;
    std::vector<std::string> sets;
};


void addOptions(CLI::App& app, AnalyseOptions& o) {
    app.add_option("data", o.data, "the participants' scores (or, with --input-matrix, the "
                                   "variance/covariance matrix)")
        ->required();
    app.add_flag("--input-matrix", o.inputMatrix, "DATA is a variance/covariance matrix");
    app.add_option("--participants", o.participants, "participantCount (default: the rows of DATA)");
    app.add_option("--variables", o.variables, "variableCount (default: the values of its first row)");
    app.add_option("--labels", o.labels, "variable labels file (default: DATA's header line)");
    app.add_option("--target", o.target, "rotation target matrix file");
    app.add_option("--missing", o.missingCode, "missingCode (default 999)");
    app.add_flag("--no-missing", o.noMissing, "no missing value code");
    app.add_option("--na", o.missingToken, "token of a missing score in DATA (default NA)");
    app.add_option("--id-column", o.idColumn,
                   "label of DATA's column of row names, left out of the analysis (default: a "
                   "first column with an empty label or of distinct non-numeric names)");
    app.add_option("--factors", o.factors,
                   "factorCount, or auto: the number the procedure advises (the default)");
    app.add_option("--procedure", o.procedure, "factorCountProcedure: MAP, PA or Hull");
    app.add_option("--matrix", o.matrix, "dispersionType: pearson, polychoric or covariance");
    app.add_option("--extraction", o.extraction, "extractionMethod: ULS, ML, MRFA or PCA");
    app.add_option("--rotation", o.rotation, "simplicityRotation");
    app.add_flag("--detailed", o.detailed, "detailedOutput = on");
    app.add_option("--report", o.report, "outputFileName (default output.txt)");
    app.add_option("--json", o.json, "jsonFileName: write the results as JSON to this file");
    app.add_option("--html", o.html, "htmlFileName: write the results as one HTML page to this file");
    app.add_option("--csv", o.csv, "csvFolder: write the main tables as CSV files into this folder");
    app.add_option("--report-encoding", o.reportEncoding, "reportEncoding: windows-1252 (default) or utf-8");
    app.add_option("--plots", o.plots, "plotFolder: write the plots (SVG and PNG) into this folder");
    app.add_option("--bootstrap", o.bootstrap,
                   "bootstrapSamples: N resamples (100..10000) for bootstrap intervals of the "
                   "solution; scores only");
    app.add_option("--bootstrap-level", o.bootstrapLevel,
                   "bootstrapLevel: confidence level of the intervals in percent (default 95)");
    app.add_flag("--progress", o.progress, "the reading of DATA and the stages of the run on standard error");
    app.add_option("--set", o.sets, "KEY=VALUE: any control of the dialogs, repeatable")
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
}

// The keys in the order the dialogs are filled: short forms first, then
// --set in the order given.
std::optional<std::vector<KeyValue>> pendingKeys(const AnalyseOptions& o, int rows, int columns,
                                                 const std::string& dataFile,
                                                 const std::string& labelsFile, std::ostream& err) {
    std::vector<KeyValue> keys;
    const auto add = [&keys](const std::string& key, const std::string& value) {
        keys.push_back({key, value});
    };
    add("dataKind", o.inputMatrix ? "matrix" : "scores");
    add(o.inputMatrix ? "matrixFileName" : "scoresFileName", dataFile);
    // A matrix's rows are variables: its sample size is unknown unless given.
    add("participantCount", std::to_string(o.participants.value_or(o.inputMatrix ? 0 : rows)));
    add("variableCount", std::to_string(o.variables.value_or(columns)));
    if (!labelsFile.empty()) {
        add("labelsEnabled", "on");
        add("labelsFileName", labelsFile);
    }
    if (!o.target.empty()) {
        add("targetEnabled", "on");
        add("targetFileName", o.target);
    }
    if (!o.inputMatrix) {
        add("missingCodeEnabled", o.noMissing ? "off" : "on");
        if (o.missingCode) add("missingCode", std::to_string(*o.missingCode));
    }
    if (!o.matrix.empty()) add("dispersionType", o.matrix);
    if (!o.procedure.empty()) add("factorCountProcedure", o.procedure);
    if (o.factors == "auto")
        add("useAdvisedFactorCount", "on");
    else if (!o.factors.empty())
        add("factorCount", o.factors);
    if (!o.extraction.empty()) add("extractionMethod", o.extraction);
    if (!o.rotation.empty()) add("simplicityRotation", o.rotation);
    if (o.detailed) add("detailedOutput", "on");
    if (!o.report.empty()) add("outputFileName", o.report);
    if (!o.json.empty()) add("jsonFileName", o.json);
    if (!o.html.empty()) add("htmlFileName", o.html);
    if (!o.csv.empty()) add("csvFolder", o.csv);
    if (!o.reportEncoding.empty()) add("reportEncoding", o.reportEncoding);
    if (!o.plots.empty()) add("plotFolder", o.plots);
    if (!o.bootstrap.empty()) add("bootstrapSamples", o.bootstrap);
    if (!o.bootstrapLevel.empty()) add("bootstrapLevel", o.bootstrapLevel);
    for (const std::string& set : o.sets) {
        const auto eq = set.find('=');
        if (eq == std::string::npos || eq == 0) {
            err << "talvex analyse: --set takes KEY=VALUE, not \"" << set << "\"\n";
            return std::nullopt;
        }
        add(set.substr(0, eq), set.substr(eq + 1));
    }
    return keys;
}

// The value of the last --set KEY=VALUE with this key (any case), if any.
std::optional<std::string> setValue(const AnalyseOptions& o, const std::string& key) {
    std::optional<std::string> value;
    for (const std::string& set : o.sets) {
        const auto eq = set.find('=');
        if (eq != std::string::npos && lower(trim(set.substr(0, eq))) == lower(key))
            value = lower(trim(set.substr(eq + 1)));
    }
    return value;
}

// The options as the dialogs take them: --set dataKind names the kind of
// DATA as --input-matrix does, and without --factors or a count in --set
// the advised number of factors is used. Nothing when they contradict.
std::optional<AnalyseOptions> resolved(AnalyseOptions o, std::ostream& err) {
    if (const auto kind = setValue(o, "dataKind")) {
        const bool matrix = *kind == "matrix" || *kind == std::to_string(MatrixFile);
        const bool scores = *kind == "scores" || *kind == std::to_string(ScoresFile);
        if (o.inputMatrix && scores) {
            err << "talvex analyse: --input-matrix and --set dataKind=" << *kind
                << " contradict each other\n";
            return std::nullopt;
        }
        o.inputMatrix = o.inputMatrix || matrix;
    }
    if (o.factors.empty() && !setValue(o, "factorCount") && !setValue(o, "useAdvisedFactorCount"))
        o.factors = "auto";
    if (lower(o.factors) == "auto") o.factors = "auto";
    return o;
}

int analyse(const AnalyseOptions& given, std::ostream& out, std::ostream& err) {
    const std::optional<AnalyseOptions> options = resolved(given, err);
    if (!options) return kAnalyseRefused;
    const AnalyseOptions& o = *options;
    if (o.missingCode && o.noMissing) {
        err << "talvex analyse: --missing and --no-missing exclude each other\n";
        return kAnalyseRefused;
    }
    ScoresTableOptions tableOptions;
    tableOptions.missingToken = o.missingToken;
    tableOptions.idColumn = o.idColumn;
    if (!o.inputMatrix && !o.noMissing) tableOptions.missingCode = o.missingCode.value_or(DataSet{}.missingCode);
    if (o.progress)
        tableOptions.progress = [&err, &o](int percent) {
            err << "Reading " << o.data << ": " << percent << " %\n" << std::flush;
        };
    ScoresTableResult read = readScoresTable(o.data, tableOptions);
    if (!read.table) {
        err << "talvex analyse: " << read.error << '\n';
        return kAnalyseRefused;
    }
    const ScoresTable& table = *read.table;
    err << "talvex analyse: " << o.data << " read as " << tableFormatName(table.format.format)
        << (table.format.byName ? " (by its name)\n" : " (by its first line)\n");
    if (table.idColumn >= 0) {
        err << "talvex analyse: " << o.data << ": column " << table.idColumn + 1;
        if (!table.idLabel.empty()) err << " (\"" << table.idLabel << "\")";
        err << " names the rows and is left out of the analysis\n";
    }

    // The reader takes the checked rows from a scratch copy; the header's
    // labels become a labels file unless one is given.
    ScratchDir scratch;
    if (!scratch.ok()) {
        err << "talvex analyse: no temporary folder\n";
        return kAnalyseFailed;
    }
    std::string dataFile = o.data;
    if (!o.inputMatrix) {
        dataFile = scratch.file("scores.dat");
        if (!writeTextFile(dataFile, table.text)) {
            err << "talvex analyse: cannot write " << dataFile << '\n';
            return kAnalyseFailed;
        }
        // The reader takes the copy; the run does not need the text.
        std::string().swap(read.table->text);
    }
    std::string labelsFile = o.labels;
    const bool headerLabels = labelsFile.empty() && !table.labels.empty() && !o.inputMatrix;
    if (headerLabels) {
        std::string text;
        for (const std::string& label : table.labels) text += label + '\n';
        labelsFile = scratch.file("labels.txt");
        if (!writeTextFile(labelsFile, text)) {
            err << "talvex analyse: cannot write " << labelsFile << '\n';
            return kAnalyseFailed;
        }
    }

    const auto keys = pendingKeys(o, table.rows, table.columns, dataFile, labelsFile, err);
    if (!keys) return kAnalyseRefused;
    ScriptWindowSystem ws(*keys, out, err, o.progress);
    AnalysisSession session;

    readDataCommand(session, ws);
    if (ws.refused() || !session.data.dataRead) return kAnalyseRefused;
    // The report names the user's files, and the rows their lines in DATA.
    DataSet& data = session.data;
    if (!o.inputMatrix) data.scoresFileName = o.data;
    if (headerLabels) data.labelsFileName = o.data;
    for (int& line : data.rowNumbers)
        if (line >= 1 && line <= table.rows) line = table.rowLines[static_cast<std::size_t>(line - 1)];

    configureCommand(session, ws);
    if (ws.refused() || !session.configured) return kAnalyseRefused;
    if (ws.reportUnused()) return kAnalyseRefused;

    ws.startRun();
    runAnalysis(session, ws);
    if (!ws.ending() || *ws.ending() != RunEnding::Success || ws.errorInRun()) return kAnalyseFailed;
    // No factors completes a run that asked for none, not one that forgot them.
    const bool countGiven = (!o.factors.empty() && o.factors != "auto") || setValue(o, "factorCount");
    if (ws.factors() == 0 && !countGiven) return kAnalyseFailed;
    return kAnalyseCompleted;
}

}  // namespace

int runAnalyseCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    CLI::App app("Reads DATA, configures and computes the analysis, and writes the report.\n"
                 "Exit status: 0 completed, 1 the run failed or was halted, 2 bad options or "
                 "unreadable input.",
                 "talvex analyse");
    AnalyseOptions options;
    addOptions(app, options);
    try {
        std::vector<std::string> reversed(args.rbegin(), args.rend());
        app.parse(reversed);
    } catch (const CLI::ParseError& e) {
        return app.exit(e, out, err) == 0 ? kAnalyseCompleted : kAnalyseRefused;
    }
    const int status = analyse(options, out, err);
    // The data set's matrices live outside every scope until here.
    releaseAll();
    return status;
}

}  // namespace talvex
