#include "analysis/results_json.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <optional>
#include <system_error>
#include <vector>

#include <nlohmann/json.hpp>

#include "analysis/run_state.h"
#include "report/report_writer.h"
#include "results/text_encoding.h"
#include "stats/interpretation/factor_scores.h"

namespace talvex {

namespace {

using nlohmann::json;

// A statistic the report printed as not defined or not computed is null.
json numberOrNull(const std::optional<double>& value) {
    return value ? json(*value) : json(nullptr);
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
            v["label"] = asUtf8(data.labels[static_cast<std::size_t>(number - 1)]);
        variables.push_back(std::move(v));
    }
    return variables;
}

// The DETAILS OF ANALYSIS block as [label, value] pairs, as printed.
json detailsOf(const ReportRecord& record) {
    json details = json::array();
    for (const auto& [label, value] : record.details) details.push_back({asUtf8(label), asUtf8(value)});
    return details;
}

json referencesOf(const ReportRecord& record) {
    json entries = json::array();
    for (const std::string& entry : record.references) entries.push_back(asUtf8(entry));
    return entries;
}

const char* partKindName(PartKind kind) {
    switch (kind) {
        case PartKind::Section: return "section";
        case PartKind::Plot: return "plot";
        case PartKind::Note: break;
    }
    return "note";
}

// The report's parts in order: a part whose numbers the document holds names
// its member; any other keeps the text it printed. Parts that printed only
// blank lines and separators are left out.
json outlineOf(const ReportRecord& record, const json& doc) {
    json outline = json::array();
    for (const ReportRecord::Part& part : record.parts) {
        json entry = {{"kind", partKindName(part.kind)}, {"title", asUtf8(part.title)}};
        if (!part.member.empty() && doc.contains(json::json_pointer("/" + part.member))) {
            entry["member"] = part.member;
        } else {
            const bool blank = std::none_of(part.text.begin(), part.text.end(),
                                            [](char c) { return std::isalnum(static_cast<unsigned char>(c)); });
            if (blank) continue;
            entry["text"] = asUtf8(part.text);
        }
        outline.push_back(std::move(entry));
    }
    return outline;
}

// The member of the document that holds the procedure's advice.
const char* procedureName(FactorCountProcedure procedure) {
    switch (procedure) {
        case MAP: return "map";
        case ParallelAnalysis: return "parallel_analysis";
        case Hull: return "hull";
    }
    return "";
}

const char* hullIndexName(HullIndex index) {
    switch (index) {
        case CAF: return "CAF";
        case CFI: return "CFI";
        case RMSEA: return "RMSEA";
        case Optimal: return "optimal";
    }
    return "";
}

json mapOf(const MapAdvice& map) {
    return {{"dimensions", map.dimensions}, {"averages", map.averages}, {"advised", map.advised}};
}

json parallelOf(const PaShown& pa) {
    const PaResult& v = pa.values;
    return {{"based_on", pa.mrfa ? "MRFA" : "PCA"},
            {"values", pa.mrfa ? "percentages" : "eigenvalues"},
            {"percentile", pa.percentile},
            {"real", v.real},
            {"random_mean", v.mean},
            {"random_percentile", v.percentile},
            {"advised_mean", v.countMean},
            {"advised_percentile", v.countPercentile},
            {"switched_to_pearson", v.switchedToPearson}};
}

json hullOf(const HullAdvice& hull) {
    json factors = json::array(), fit = json::array(), parameters = json::array();
    for (const HullPoint& point : hull.hull) {
        factors.push_back(point.factors);
        fit.push_back(point.fit);
        parameters.push_back(point.parameters);
    }
    json solutions = {{"factors", json::array()}, {"fit", json::array()}, {"parameters", json::array()}};
    for (const HullPoint& point : hull.solutions) {
        solutions["factors"].push_back(point.factors);
        solutions["fit"].push_back(point.fit);
        solutions["parameters"].push_back(point.parameters);
    }
    return {{"index", hullIndexName(hull.index)}, {"fell_back_to_uls", hull.fellBack},
            {"factors", factors}, {"fit", fit}, {"parameters", parameters},
            {"scree", hull.scree}, {"advised", hull.advised}, {"solutions", solutions}};
}

// The groups of lines the fit section printed; an index it printed as not
// defined is null.
json fitOf(const PrintedFit& printed) {
    const FitStatistics& f = printed.statistics;
    json fit = json::object();
    if (printed.rmsea) {
        fit["rmsea"] = f.rmsea;
        fit["ncp"] = f.nonCentrality;
        fit["approximate_fit_p"] = f.approximateFitP;
    }
    if (printed.chiSquares) {
        fit["df"] = f.df;
        fit["chi_square"] = f.chiSquare;
        fit["chi_square_p"] = f.chiSquareP;
        fit["independence_df"] = f.df0;
        fit["independence_chi_square"] = f.independenceChiSquare;
        fit["nnfi"] = f.nnfi;
        fit["cfi"] = f.cfi;
    }
    if (printed.gfi) fit["gfi"] = f.gfi;
    if (printed.adjusted) {
        fit["agfi"] = f.agfi;
        fit["gfi_without_diagonal"] = f.gfiOffDiagonal;
        fit["agfi_without_diagonal"] = f.agfiOffDiagonal;
    }
    if (printed.commonVariance) fit["total_common_variance"] = *printed.commonVariance;
    if (printed.explainedCommonVariance)
        fit["explained_common_variance"] = *printed.explainedCommonVariance;
    fit["reduced_eigenvalues"] = printed.reducedEigenvalues;
    return fit;
}

json reliabilityOf(const ReliabilityEstimates& r) {
    json doc = {{"omega", r.omega}, {"alpha", r.alpha}};
    if (r.glb) {
        doc["glb"] = *r.glb;
        doc["total_observed_variance"] = r.observedVariance;
        doc["total_common_variance"] = r.commonVariance;
        doc["communalities"] = r.communalities;
    }
    return doc;
}

json descriptivesOf(const PrintedDescriptives& d) {
    const std::vector<double>& t = d.mardia;
    // Where the small-sample correction is not defined its line says so.
    const bool corrected = std::isfinite(t[MardiaCorrectedStatistic]);
    return {{"mean", d.means},
            {"mean_lower_95", d.lowerLimits},
            {"mean_upper_95", d.upperLimits},
            {"variance", d.variances},
            {"skewness", d.skewness},
            {"kurtosis", d.kurtosis},
            {"mardia",
             {{"skewness", t[MardiaSkewness]},
              {"skewness_statistic", t[MardiaSkewnessStatistic]},
              {"df", t[MardiaDf]},
              {"skewness_p", t[MardiaSkewnessP]},
              {"corrected_skewness_statistic",
               corrected ? json(t[MardiaCorrectedStatistic]) : json(nullptr)},
              {"corrected_skewness_p", corrected ? json(t[MardiaCorrectedP]) : json(nullptr)},
              {"kurtosis", t[MardiaKurtosis]},
              {"kurtosis_statistic", t[MardiaKurtosisZ]},
              {"kurtosis_p", t[MardiaKurtosisP]}}}};
}

// kmoLabel's word without its parentheses and line end.
std::string kmoWord(double kmo) {
    const std::string label = kmoLabel(kmo);
    const std::size_t open = label.find('(');
    return label.substr(open + 1, label.find(')') - open - 1);
}

json adequacyOf(const PrintedAdequacy& a) {
    json doc = {{"determinant", numberOrNull(a.determinant)}, {"kmo", numberOrNull(a.kmo)}};
    if (a.kmo) doc["kmo_label"] = kmoWord(*a.kmo);
    if (a.bartlettShown) {
        doc["bartlett"] = nullptr;
        if (a.bartlett)
            doc["bartlett"] = {{"statistic", a.bartlett->statistic},
                               {"df", a.bartlett->degreesOfFreedom},
                               {"p", a.bartlett->p}};
    }
    return doc;
}

json explainedOf(const FactorVarianceTable& t, bool rotated, bool mrfa) {
    json doc = {{"solution", rotated ? "rotated" : "unrotated"},
                {"reliability_method", t.tenBerge ? "ten_berge_hofstee" : "mislevy_bock"},
                {"variance", t.variance},
                {"reliability", t.reliability}};
    if (!t.proportion.empty()) {
        doc["proportion"] = t.proportion;
        doc["proportion_of"] = mrfa ? "common_variance" : "total_variance";
    }
    return doc;
}

json fileNumbersOf(const DataSet& data, const std::vector<int>& items) {
    json numbers = json::array();
    for (const int i : items) numbers.push_back(data.fileNumber(i));
    return numbers;
}

json irtOf(const IrtShown& irt, const DataSet& data) {
    json doc = {{"model", irt.dichotomous ? "two_parameter" : "graded_response"},
                {"dimensions", irt.dimensions}};
    if (irt.dimensions == 1) {
        json a = json::array();
        for (const auto& row : irt.a) a.push_back(row[0]);
        doc["discrimination"] = a;
        doc["difficulties"] = irt.steps;
        return doc;
    }
    doc["discrimination"] = irt.a;
    doc["mdisc"] = irt.mdisc;
    doc["intercepts"] = irt.steps;
    doc["floored_items"] = fileNumbersOf(data, irt.flooredItems);
    if (irt.dichotomous) doc["mdiff"] = irt.mdiff;
    return doc;
}

json schmidLeimanOf(const SchmidLeimanSolution& sl, int g) {
    json doc = {{"second_order_factors", g}, {"identified", sl.identified}};
    if (!sl.identified) return doc;
    doc["equal_loadings"] = sl.equalLoadings;
    doc["second_order_loadings"] = rowsOf(sl.secondOrder);
    doc["first_order"] = rowsOf(sl.residualized);
    doc["second_order"] = rowsOf(sl.general);
    return doc;
}

json residualsOf(const PrintedResiduals& r) {
    json doc = {{"count", r.count}};
    if (!r.fitted) return doc;
    const ResidualSummary& f = *r.fitted;
    doc["smallest"] = f.smallest;
    doc["median"] = f.median;
    doc["largest"] = f.largest;
    doc["mean"] = f.mean;
    doc["variance"] = f.variance;
    doc["rmsr"] = f.rmsr;
    doc["expected_rmsr"] = f.kelley;
    if (r.standardizedShown) {
        json large = json::array();
        for (const LargeResidual& e : r.large)
            large.push_back({{"variables", {e.first, e.second}}, {"value", e.value}});
        doc["standardized"] = {{"smallest", f.zSmallest},
                               {"median", f.zMedian},
                               {"largest", f.zLargest},
                               {"mean", f.zMean},
                               {"large", large}};
    }
    return doc;
}

json missingOf(const MissingSummary& m, int code) {
    json doc = {{"missing_code", code}, {"total", m.total}};
    if (m.total == 0) return doc;
    json perCase = json::array();
    for (const auto& [missing, cases] : m.perCase)
        perCase.push_back({{"missing", missing}, {"cases", cases}});
    doc["complete_cases"] = m.complete;
    doc["missing_per_case"] = perCase;
    doc["missing_per_variable"] = m.perVariable;
    return doc;
}

// Standard errors and interval ends of a list of intervals, as rows when
// there are `columns` of them a row.
json intervalsOf(const std::vector<BootstrapInterval>& intervals, int columns) {
    json se = json::array(), lower = json::array(), upper = json::array();
    json seRow = json::array(), lowerRow = json::array(), upperRow = json::array();
    for (std::size_t i = 0; i < intervals.size(); ++i) {
        seRow.push_back(intervals[i].standardError);
        lowerRow.push_back(intervals[i].lower);
        upperRow.push_back(intervals[i].upper);
        if (columns == 0) continue;
        if ((i + 1) % static_cast<std::size_t>(columns) == 0) {
            se.push_back(seRow);
            lower.push_back(lowerRow);
            upper.push_back(upperRow);
            seRow = lowerRow = upperRow = json::array();
        }
    }
    if (columns == 0) return {{"se", seRow}, {"lower", lowerRow}, {"upper", upperRow}};
    return {{"se", se}, {"lower", lower}, {"upper", upper}};
}

json bootstrapOf(const BootstrapResult& b) {
    static const char* const reasons[kResampleFailureKinds] = {
        "constant_item", "too_few_participants", "dispersion", "extraction", "rotation",
        "not_finite"};
    json failures = json::object();
    for (int f = 0; f < kResampleFailureKinds; ++f)
        failures[reasons[f]] = b.failures[static_cast<std::size_t>(f)];
    json doc = {{"level", b.level},         {"requested", b.requested}, {"used", b.used},
                {"failed", b.failed},       {"failures", failures},
                {"simplimax_by_promin", b.simplimaxByPromin}};
    if (b.loadings.empty()) return doc;
    doc["loadings"] = intervalsOf(b.loadings, b.factors);
    doc["communalities"] = intervalsOf(b.communalities, 0);
    if (!b.factorCorrelations.empty()) doc["factor_correlations"] = intervalsOf(b.factorCorrelations, 0);
    const auto single = [&doc](const char* key, const std::optional<BootstrapInterval>& i) {
        if (i) doc[key] = {{"se", i->standardError}, {"lower", i->lower}, {"upper", i->upper}};
    };
    single("rmsea", b.rmsea);
    single("cfi", b.cfi);
    single("gfi", b.gfi);
    single("omega", b.omega);
    return doc;
}

json imputationOf(const ImputedAnalysis& imputed) {
    json fallbacks = json::array();
    for (std::size_t i = 0; i < imputed.sets.size(); ++i)
        if (imputed.sets[i].pearsonFallback) fallbacks.push_back(i + 1);
    json doc = {{"imputed_sets", imputed.sets.size()},
                {"pearson_fallback_sets", fallbacks},
                {"consensus_loadings", rowsOf(imputed.consensusPattern)}};
    // The consensus factor correlations are printed for two or more factors.
    if (imputed.consensusPattern.cols() > 1)
        doc["consensus_factor_correlations"] = rowsOf(imputed.consensusFactorCorrelations);
    return doc;
}

// Every index, or with brief output the cases listed beyond the cut, with
// the range the summary prints.
json personFitOf(const RunState::PrintedPersonFit& fit) {
    json doc;
    if (!fit.lc.empty()) {
        doc["smallest"] = *std::min_element(fit.lc.begin(), fit.lc.end());
        doc["largest"] = *std::max_element(fit.lc.begin(), fit.lc.end());
    }
    json cases = json::array(), lc = json::array();
    for (std::size_t i = 0; i < fit.lc.size(); ++i) {
        if (!fit.individuals && std::fabs(fit.lc[i]) <= kLargePersonFit) continue;
        cases.push_back(fit.cases[i]);
        lc.push_back(fit.lc[i]);
    }
    doc["all_cases"] = fit.individuals;
    doc["cases"] = cases;
    doc["lc"] = lc;
    return doc;
}

// The sections of the analysis that their writers computed while printing;
// each is there exactly when its stage printed it.
void addAnalysisSections(json& doc, const RunState& s) {
    const AnalysisSettings& settings = s.session.settings;
    if (s.explained)
        doc["explained_variance"] = explainedOf(*s.explained, solutionRotated(settings, s.k),
                                                settings.extractionMethod == MRFA);
    if (s.irtShown) doc["irt"] = irtOf(*s.irtShown, s.session.data);
    if (s.schmidLeiman)
        doc["schmid_leiman"] = schmidLeimanOf(*s.schmidLeiman, settings.secondOrderCount);
    if (s.residuals) doc["residuals"] = residualsOf(*s.residuals);
    if (s.missing) doc["missing_data"] = missingOf(*s.missing, s.session.data.missingCode);
    if (s.imputed) doc["multiple_imputation"] = imputationOf(*s.imputed);
    if (s.bootstrap) doc["bootstrap"] = bootstrapOf(*s.bootstrap);
    if (s.personFit) doc["person_fit"] = personFitOf(*s.personFit);
}

// The sections before the solution whose numbers their writers computed.
void addPrintedSections(json& doc, const RunState& s) {
    if (s.descriptives) doc["descriptives"] = descriptivesOf(*s.descriptives);
    if (s.dispersion)
        doc["dispersion_matrix"] = {{"title", dispersionName(s.dispersion->title)},
                                    {"rows", s.dispersion->rows}};
    if (s.adequacy) doc["adequacy"] = adequacyOf(*s.adequacy);
    if (!s.eigenvalues.empty()) doc["eigenvalues"] = s.eigenvalues;
    if (s.map) doc["map"] = mapOf(*s.map);
    if (s.parallel) doc["parallel_analysis"] = parallelOf(*s.parallel);
    if (s.hull) doc["hull"] = hullOf(*s.hull);
    if (s.fit) doc["fit"] = fitOf(*s.fit);
    if (s.reliability) doc["reliability"] = reliabilityOf(*s.reliability);
}

// The factor solution, section by section as the report printed it.
void addSolution(json& doc, const RunState& s) {
    const AnalysisSettings& settings = s.session.settings;
    const bool rotated = solutionRotated(settings, s.k);
    const bool oblique = obliqueSolution(settings, s.k);
    if (s.L.valid()) doc["communalities"] = diagonalOf(s.common());
    if ((s.detailed() || s.k == 1) && s.L.valid()) doc["unrotated_loadings"] = rowsOf(s.L);
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
    if (s.scoresSaved) doc["saved_scores"] = scoresFileName(settings.outputFileName);
}

}  // namespace

json resultsDocument(const RunState& s, RunEnding ending, const std::string& reportPath) {
    const AnalysisSettings& settings = s.session.settings;
    json doc;
    doc["ending"] = endingName(ending);
    doc["version"] = kReleaseVersion;
    doc["report"] = asUtf8(reportPath);
    doc["details"] = detailsOf(s.record);
    if (ending != RunEnding::Success)
        doc["warning"] = asUtf8(ending == RunEnding::Halt ? std::string(kHaltWarning) : s.warning);
    doc["participants"] = s.n;
    doc["factors"] = s.k;
    if (settings.useAdvisedFactorCount)
        doc["factors_advised_by"] = procedureName(settings.factorCountProcedure);
    doc["matrix"] = dispersionName(s.savedDispersionType);
    doc["matrix_analysed"] = dispersionName(settings.dispersionType);
    doc["extraction"] = extractionName(settings.extractionMethod);
    if (s.m > 0 && s.session.data.includedIndex.valid()) doc["variables"] = variablesOf(s.session.data, s.m);
    addPrintedSections(doc, s);
    if (ending == RunEnding::Success && s.k > 0) addSolution(doc, s);
    addAnalysisSections(doc, s);
    // The References section is printed only by a run that got to its end.
    if (s.referencesPrinted) doc["references"] = referencesOf(s.record);
    doc["outline"] = outlineOf(s.record, doc);
    return doc;
}

std::string resultsJson(const RunState& s, RunEnding ending, const std::string& reportPath) {
    return resultsDocument(s, ending, reportPath).dump(2) + "\n";
}

}  // namespace talvex
