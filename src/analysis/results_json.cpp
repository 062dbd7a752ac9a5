#include "analysis/results_json.h"

#include <filesystem>
#include <system_error>

#include <nlohmann/json.hpp>

#include "analysis/run_state.h"
#include "report/report_writer.h"
#include "stats/interpretation/factor_scores.h"

namespace talvex {

namespace {

using nlohmann::json;

json rowsOf(const Matrix& a) {
    json rows = json::array();
    for (int i = 0; i < a.rows(); ++i) {
        json row = json::array();
        for (int j = 0; j < a.cols(); ++j) row.push_back(a[i][j]);
        rows.push_back(std::move(row));
    }
    return rows;
}

json diagonalOf(const Matrix& a) {
    json values = json::array();
    for (int i = 0; i < a.rows(); ++i) values.push_back(a[i][i]);
    return values;
}

const char* endingName(RunEnding ending) {
    switch (ending) {
        case RunEnding::Success: return "completed";
        case RunEnding::Halt: return "halted";
        case RunEnding::Failure:
        case RunEnding::Continue: break;
    }
    return "failed";
}

const char* extractionName(ExtractionMethod method) {
    switch (method) {
        case PCA: return "PCA";
        case ULS: return "ULS";
        case ML: return "ML";
        case MRFA: return "MRFA";
    }
    return "";
}

const char* dispersionName(DispersionType type) {
    switch (type) {
        case Covariance: return "covariance";
        case PearsonCorrelation: return "pearson";
        case PolychoricCorrelation: return "polychoric";
        case UserMatrix: return "user";
        case DispersionNotChosen: break;
    }
    return "";
}

json variablesOf(const DataSet& data, int m) {
    json variables = json::array();
    const bool labelled = usesLabels(data);
    for (int i = 0; i < m; ++i) {
        const int number = data.fileNumber(i);
        json v = {{"number", number}};
        if (labelled && number >= 1 && number <= static_cast<int>(data.labels.size()))
            v["label"] = data.labels[static_cast<std::size_t>(number - 1)];
        variables.push_back(std::move(v));
    }
    return variables;
}

// The factor solution, section by section as the report printed it.
void addSolution(json& doc, const RunState& s) {
    const AnalysisSettings& settings = s.session.settings;
    const bool rotated = solutionRotated(settings, s.k);
    const bool oblique = obliqueSolution(settings, s.k);
    if ((s.detailed() || s.k == 1) && s.L.valid()) {
        doc["unrotated_loadings"] = rowsOf(s.L);
        doc["communalities"] = diagonalOf(s.common());
    }
    if (rotated && s.pattern.valid()) {
        doc["rotated_loadings"] = rowsOf(s.pattern);
        if (oblique && s.phi.valid()) {
            doc["factor_correlations"] = rowsOf(s.phi);
            if (s.detailed()) {
                MatrixScope scope;
                doc["structure"] = rowsOf(s.pattern.multiply(s.phi));
            }
        }
    }
    if (s.simplicity) {
        doc["simplicity"] = {{"bentler", s.simplicity->bentler},
                             {"bentler_percentile", s.simplicity->bentlerPercentile},
                             {"loading", s.simplicity->loading},
                             {"loading_percentile", s.simplicity->loadingPercentile}};
    }
    if (settings.saveFactorScores && s.rawData()) {
        const std::string path = scoresFileName(settings.outputFileName);
        std::error_code error;
        if (std::filesystem::is_regular_file(path, error)) doc["saved_scores"] = path;
    }
}

}  // namespace

std::string resultsJson(const RunState& s, RunEnding ending, const std::string& reportPath) {
    const AnalysisSettings& settings = s.session.settings;
    json doc;
    doc["ending"] = endingName(ending);
    doc["report"] = reportPath;
    if (ending != RunEnding::Success)
        doc["warning"] = ending == RunEnding::Halt ? std::string(kHaltWarning) : s.warning;
    doc["participants"] = s.n;
    doc["factors"] = s.k;
    doc["matrix"] = dispersionName(s.savedDispersionType);
    doc["matrix_analysed"] = dispersionName(settings.dispersionType);
    doc["extraction"] = extractionName(settings.extractionMethod);
    if (s.m > 0 && s.session.data.includedIndex.valid()) doc["variables"] = variablesOf(s.session.data, s.m);
    if (ending == RunEnding::Success && s.k > 0) addSolution(doc, s);
    return doc.dump(2) + "\n";
}

}  // namespace talvex
