#include "results/html_page.h"

#include <libxml/xmlwriter.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <stdexcept>
#include <utility>

#include "results/paper_table.h"
#include "results/text_encoding.h"

namespace talvex {

namespace {

using nlohmann::json;

constexpr const char* kStyle =
    "body{font-family:sans-serif;margin:1.5em;max-width:70em}"
    "table{border-collapse:collapse;margin:0.5em 0 1em}"
    "th,td{padding:0.15em 0.7em;border-bottom:1px solid #ddd}"
    "th{text-align:left;background:#eef}"
    "td.n{text-align:right;font-variant-numeric:tabular-nums;white-space:nowrap}"
    "h2{color:#37459f;border-bottom:1px solid #37459f;margin-top:1.5em}"
    ".ending{font-weight:bold;color:#a00}"
    "caption{text-align:left;font-style:italic}"
    "pre{font-size:0.85em;background:#f6f6f6;padding:0.5em;overflow-x:auto}"
    "pre.note{background:#fff6dc;white-space:pre-wrap}"
    // A browser lays out and paints a section once it comes into view.
    "section{content-visibility:auto;contain-intrinsic-size:auto 40em}";

// One cell: text, right-aligned when it is a number.
struct Cell {
    std::string text;
    bool number = false;
};

Cell num(double value, int decimals) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    return {buffer, true};
}

Cell num(const json& value, int decimals) {
    if (value.is_null()) return {"not defined", false};
    return num(value.get<double>(), decimals);
}

Cell integer(const json& value) { return {std::to_string(value.get<long long>()), true}; }

Cell text(std::string value) { return {std::move(value), false}; }

// The writer's calls; a failure (out of memory) ends the page.
class Writer {
   public:
    Writer() : buffer_(xmlBufferCreate(), xmlBufferFree) {
        writer_ = xmlNewTextWriterMemory(buffer_.get(), 0);
        if (writer_ == nullptr) throw std::runtime_error("XML writer not created");
    }
    ~Writer() {
        if (writer_ != nullptr) xmlFreeTextWriter(writer_);
    }
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    void start(const char* tag) { check(xmlTextWriterStartElement(writer_, cast(tag))); }
    void attribute(const char* name, const std::string& value) {
        check(xmlTextWriterWriteAttribute(writer_, cast(name), cast(asUtf8(value).c_str())));
    }
    // Every element gets its end tag (HTML has no empty <td/>).
    void end() { check(xmlTextWriterFullEndElement(writer_)); }
    // A void element (meta): "<meta .../>", which HTML reads as one tag.
    void endVoid() { check(xmlTextWriterEndElement(writer_)); }
    void text(const std::string& value) {
        check(xmlTextWriterWriteString(writer_, cast(asUtf8(value).c_str())));
    }
    void element(const char* tag, const std::string& value) {
        start(tag);
        text(value);
        end();
    }
    // Trusted markup of our own (the inlined SVG pictures).
    void raw(const std::string& markup) { check(xmlTextWriterWriteRaw(writer_, cast(markup.c_str()))); }
    void doctype() { check(xmlTextWriterWriteDTD(writer_, cast("html"), nullptr, nullptr, nullptr)); }

    std::string finish() {
        check(xmlTextWriterEndDocument(writer_));
        xmlFreeTextWriter(writer_);
        writer_ = nullptr;
        return std::string(reinterpret_cast<const char*>(xmlBufferContent(buffer_.get())),
                           static_cast<std::size_t>(xmlBufferLength(buffer_.get())));
    }

   private:
    static const xmlChar* cast(const char* s) { return reinterpret_cast<const xmlChar*>(s); }
    static void check(int result) {
        if (result < 0) throw std::runtime_error("the HTML page could not be written");
    }
    std::unique_ptr<xmlBuffer, void (*)(xmlBufferPtr)> buffer_;
    xmlTextWriterPtr writer_ = nullptr;
};

using Table = std::vector<std::vector<Cell>>;

void table(Writer& w, const std::vector<std::string>& heads, const Table& rows) {
    w.start("table");
    bool headed = false;
    for (const std::string& head : heads) headed = headed || !head.empty();
    if (headed) {
        w.start("thead");
        w.start("tr");
        for (const std::string& head : heads) w.element("th", head);
        w.end();
        w.end();
    }
    w.start("tbody");
    for (const auto& row : rows) {
        w.start("tr");
        for (const Cell& cell : row) {
            w.start("td");
            if (cell.number) w.attribute("class", "n");
            w.text(cell.text);
            w.end();
        }
        w.end();
    }
    w.end();
    w.end();
}

// Two columns: what and its value.
void pairs(Writer& w, const Table& rows) { table(w, {"", ""}, rows); }

// Names of the analysed variables: the label, or V and the file number.
std::vector<std::string> variableNames(const json& doc) {
    std::vector<std::string> names;
    if (!doc.contains("variables")) return names;
    for (const json& v : doc["variables"])
        names.push_back(v.contains("label") ? v["label"].get<std::string>()
                                            : "V" + std::to_string(v["number"].get<int>()));
    return names;
}

std::string factorHead(const json& doc, std::size_t j) {
    return (doc.value("extraction", "") == "PCA" ? "C" : "F") + std::to_string(j + 1);
}

// A matrix with one row per variable (or factor, with rowNames).
void matrix(Writer& w, const json& doc, const json& rows, const std::vector<std::string>& rowNames,
            const char* corner, int decimals, const json* extraColumn = nullptr,
            const char* extraHead = nullptr, bool lowerTriangle = false) {
    if (rows.empty()) return;
    std::vector<std::string> heads{corner};
    const std::size_t cols = rows[0].size();
    for (std::size_t j = 0; j < cols; ++j) heads.push_back(factorHead(doc, j));
    if (extraColumn != nullptr) heads.push_back(extraHead);
    Table body;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        std::vector<Cell> row{text(i < rowNames.size() ? rowNames[i] : std::to_string(i + 1))};
        for (std::size_t j = 0; j < cols; ++j)
            if (!lowerTriangle || j <= i) row.push_back(num(rows[i][j], decimals));
        if (extraColumn != nullptr) row.push_back(num((*extraColumn)[i], decimals));
        body.push_back(std::move(row));
    }
    table(w, heads, body);
}

std::vector<std::string> factorNames(const json& doc, std::size_t k) {
    std::vector<std::string> names;
    for (std::size_t j = 0; j < k; ++j) names.push_back(factorHead(doc, j));
    return names;
}

struct Section {
    std::string id;
    std::string title;
    std::vector<std::function<void(Writer&)>> body;
};

void descriptives(Writer& w, const json& doc) {
    const json& d = doc["descriptives"];
    const auto names = variableNames(doc);
    Table rows;
    for (std::size_t i = 0; i < d["mean"].size(); ++i)
        rows.push_back({text(i < names.size() ? names[i] : ""), num(d["mean"][i], 3),
                        num(d["mean_lower_95"][i], 2), num(d["mean_upper_95"][i], 2),
                        num(d["variance"][i], 3), num(d["skewness"][i], 3), num(d["kurtosis"][i], 3)});
    table(w, {"Variable", "Mean", "95% CI lower", "95% CI upper", "Variance", "Skewness",
              "Kurtosis (zero centred)"},
          rows);
}

void mardia(Writer& w, const json& doc) {
    const json& t = doc["descriptives"]["mardia"];
    table(w, {"", "Coefficient", "Statistic", "df", "P"},
          {{text("Skewness"), num(t["skewness"], 3), num(t["skewness_statistic"], 3), num(t["df"], 0),
            num(t["skewness_p"], 4)},
           {text("Skewness corrected for small sample"), num(t["skewness"], 3),
            num(t["corrected_skewness_statistic"], 3), num(t["df"], 0), num(t["corrected_skewness_p"], 4)},
           {text("Kurtosis"), num(t["kurtosis"], 3), num(t["kurtosis_statistic"], 3), text(""),
            num(t["kurtosis_p"], 4)}});
}

void dispersion(Writer& w, const json& doc) {
    const json& rows = doc["dispersion_matrix"]["rows"];
    const auto names = variableNames(doc);
    std::vector<std::string> heads{"Variable"};
    for (std::size_t j = 0; j < rows.size(); ++j) heads.push_back(j < names.size() ? names[j] : "");
    Table body;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        std::vector<Cell> row{text(i < names.size() ? names[i] : "")};
        // A row ends at the diagonal: the cells of the upper triangle are left out.
        for (std::size_t j = 0; j <= i; ++j) row.push_back(num(rows[i][j], 3));
        body.push_back(std::move(row));
    }
    table(w, heads, body);
}

void adequacy(Writer& w, const json& doc) {
    const json& a = doc["adequacy"];
    Table rows{{text("Determinant of the matrix"), num(a["determinant"], 15)}};
    if (a.contains("bartlett")) {
        const json& b = a["bartlett"];
        if (b.is_null()) {
            rows.push_back({text("Bartlett's statistic"), text("not computed")});
        } else {
            rows.push_back({text("Bartlett's statistic"), num(b["statistic"], 1)});
            rows.push_back({text("df"), num(b["df"], 0)});
            rows.push_back({text("P"), num(b["p"], 6)});
        }
    }
    rows.push_back({text("Kaiser-Meyer-Olkin (KMO) test"), num(a["kmo"], 5)});
    if (a.contains("kmo_label")) rows.push_back({text(""), text(a["kmo_label"].get<std::string>())});
    pairs(w, rows);
}

void eigenvalues(Writer& w, const json& doc) {
    Table rows;
    const json& values = doc["eigenvalues"];
    for (std::size_t i = 0; i < values.size(); ++i)
        rows.push_back({integer(json(i + 1)), num(values[i], 5)});
    table(w, {"", "Eigenvalue"}, rows);
}

void mapTest(Writer& w, const json& doc) {
    const json& map = doc["map"];
    Table rows;
    for (std::size_t i = 0; i < map["averages"].size(); ++i)
        rows.push_back({integer(map["dimensions"][i]), num(map["averages"][i], 5)});
    table(w, {"Dimensions", "Average partial correlation"}, rows);
    w.element("p", "Advised number of dimensions: " + std::to_string(map["advised"].get<int>()));
}

void parallel(Writer& w, const json& doc) {
    const json& pa = doc["parallel_analysis"];
    const bool percent = pa["values"] == "percentages";
    const int decimals = percent ? 1 : 5;
    const std::string unit = percent ? " % of variance" : " eigenvalue";
    const std::string pct = std::to_string(pa["percentile"].get<int>());
    Table rows;
    for (std::size_t i = 0; i < pa["real"].size(); ++i)
        rows.push_back({integer(json(i + 1)), num(pa["real"][i], decimals),
                        num(pa["random_mean"][i], decimals), num(pa["random_percentile"][i], decimals)});
    table(w, {"", "Real data" + unit, "Mean of random" + unit, pct + " percentile of random" + unit}, rows);
    w.element("p", "Advised number of dimensions when the " + pct + " percentile is considered: " +
                       std::to_string(pa["advised_percentile"].get<int>()));
    w.element("p", "Advised number of dimensions when the mean is considered: " +
                       std::to_string(pa["advised_mean"].get<int>()));
}

void hull(Writer& w, const json& doc) {
    const json& h = doc["hull"];
    Table rows;
    for (std::size_t i = 0; i < h["factors"].size(); ++i)
        rows.push_back({integer(h["factors"][i]), num(h["fit"][i], 3), num(h["parameters"][i], 0),
                        num(h["scree"][i], 3)});
    table(w, {"Factors", "Fit (" + h["index"].get<std::string>() + ")", "df", "Scree test value"}, rows);
    w.element("p", "Advised number of common factors: " + std::to_string(h["advised"].get<int>()));
}

void fit(Writer& w, const json& doc) {
    const json& f = doc["fit"];
    static const struct {
        const char* key;
        const char* name;
        int decimals;
    } kIndices[] = {{"rmsea", "Root Mean Square Error of Approximation (RMSEA)", 3},
                    {"ncp", "Estimated Non-Centrality Parameter (NCP)", 3},
                    {"approximate_fit_p", "H0: RMSEA < 0.05; P", 3},
                    {"df", "Degrees of freedom", 0},
                    {"chi_square", "Chi-Square", 3},
                    {"chi_square_p", "P", 6},
                    {"independence_df", "Degrees of freedom of the independence model", 0},
                    {"independence_chi_square", "Chi-Square for the independence model", 3},
                    {"nnfi", "Non-Normed Fit Index (NNFI; Tucker & Lewis)", 2},
                    {"cfi", "Comparative Fit Index (CFI)", 2},
                    {"gfi", "Goodness of Fit Index (GFI)", 2},
                    {"agfi", "Adjusted Goodness of Fit Index (AGFI)", 2},
                    {"gfi_without_diagonal", "GFI without diagonal values", 2},
                    {"agfi_without_diagonal", "AGFI without diagonal values", 2},
                    {"total_common_variance", "Total common variance", 3},
                    {"explained_common_variance", "Explained common variance", 3}};
    Table rows;
    for (const auto& index : kIndices)
        if (f.contains(index.key)) rows.push_back({text(index.name), num(f[index.key], index.decimals)});
    pairs(w, rows);
    w.element("h3", "Eigenvalues of the reduced correlation matrix");
    Table values;
    for (std::size_t i = 0; i < f["reduced_eigenvalues"].size(); ++i)
        values.push_back({integer(json(i + 1)), num(f["reduced_eigenvalues"][i], 9)});
    table(w, {"", "Eigenvalue"}, values);
}

void reliability(Writer& w, const json& doc) {
    const json& r = doc["reliability"];
    Table rows;
    if (r.contains("glb")) rows.push_back({text("Greatest Lower Bound to Reliability"), num(r["glb"], 6)});
    rows.push_back({text("McDonald's Omega"), num(r["omega"], 6)});
    rows.push_back({text("Standardized Cronbach's alpha"), num(r["alpha"], 6)});
    if (r.contains("glb")) {
        rows.push_back({text("Total observed variance"), num(r["total_observed_variance"], 3)});
        rows.push_back({text("Total common variance"), num(r["total_common_variance"], 3)});
    }
    pairs(w, rows);
}

void explained(Writer& w, const json& doc) {
    const json& e = doc["explained_variance"];
    const bool proportion = e.contains("proportion");
    std::vector<std::string> heads{"", "Variance"};
    if (proportion) heads.push_back("Proportion");
    heads.push_back("Reliability estimate");
    Table rows;
    for (std::size_t j = 0; j < e["variance"].size(); ++j) {
        std::vector<Cell> row{text(factorHead(doc, j)), num(e["variance"][j], 3)};
        if (proportion) row.push_back(num(e["proportion"][j], 3));
        row.push_back(num(e["reliability"][j], 3));
        rows.push_back(std::move(row));
    }
    table(w, heads, rows);
}

void simplicity(Writer& w, const json& doc) {
    const json& s = doc["simplicity"];
    pairs(w, {{text("Bentler's simplicity index (S)"), num(s["bentler"], 5)},
              {text("Percentile"), num(s["bentler_percentile"], 0)},
              {text("Loading simplicity index (LS)"), num(s["loading"], 5)},
              {text("Percentile"), num(s["loading_percentile"], 0)}});
}

// The final solution: the rotated pattern, or the unrotated loadings when
// no rotation was applied.
const json* finalLoadings(const json& doc) {
    if (doc.contains("rotated_loadings")) return &doc["rotated_loadings"];
    if (doc.contains("unrotated_loadings")) return &doc["unrotated_loadings"];
    return nullptr;
}

void publication(Writer& w, const json& doc, double threshold) {
    const json& loadings = *finalLoadings(doc);
    const PaperTable t = paperTable(loadings.get<Rows>(), threshold);
    const auto names = variableNames(doc);
    const std::size_t k = loadings[0].size();
    const bool h2 = doc.contains("communalities");
    std::vector<std::string> heads{"Variable"};
    for (std::size_t j = 0; j < k; ++j) heads.push_back(factorHead(doc, j));
    if (h2) heads.push_back("h\u00B2");
    Table rows;
    for (std::size_t r = 0; r < t.variable.size(); ++r) {
        const auto i = static_cast<std::size_t>(t.variable[r]);
        std::vector<Cell> row{text(i < names.size() ? names[i] : "")};
        for (const auto& value : t.loadings[r]) row.push_back(value ? num(*value, 3) : Cell{"", true});
        if (h2) row.push_back(num(doc["communalities"][i], 3));
        rows.push_back(std::move(row));
    }
    char note[160];
    std::snprintf(note, sizeof note,
                  "Variables sorted by the factor they load on most; loadings below %.2f in absolute value "
                  "are omitted.%s",
                  threshold, h2 ? " h\u00B2: communality." : "");
    table(w, heads, rows);
    w.element("p", note);
    if (doc.contains("factor_correlations")) {
        w.element("h3", "Factor correlations");
        const json& phi = doc["factor_correlations"];
        matrix(w, doc, phi, factorNames(doc, phi.size()), "", 3, nullptr, nullptr, true);
    }
}

void irt(Writer& w, const json& doc) {
    const json& irt = doc["irt"];
    const auto names = variableNames(doc);
    w.element("p", irt["model"] == "two_parameter" ? "Two-parameter model" : "Graded response model");
    if (irt["dimensions"] == 1) {
        Table rows;
        std::size_t steps = 0;
        for (std::size_t i = 0; i < irt["discrimination"].size(); ++i) {
            std::vector<Cell> row{text(i < names.size() ? names[i] : ""), num(irt["discrimination"][i], 3)};
            for (const json& b : irt["difficulties"][i]) row.push_back(num(b, 3));
            steps = std::max(steps, irt["difficulties"][i].size());
            rows.push_back(std::move(row));
        }
        std::vector<std::string> heads{"Item", "a"};
        for (std::size_t c = 0; c < steps; ++c) heads.push_back("b" + std::to_string(c + 1));
        table(w, heads, rows);
        return;
    }
    w.element("h3", "Discrimination (a)");
    const json& a = irt["discrimination"];
    const json* mdisc = irt.contains("mdisc") ? &irt["mdisc"] : nullptr;
    matrix(w, doc, a, names, "Item", 3, mdisc, "MDISC");
    w.element("h3", "Intercepts (d)");
    Table rows;
    for (std::size_t i = 0; i < irt["intercepts"].size(); ++i) {
        std::vector<Cell> row{text(i < names.size() ? names[i] : "")};
        for (const json& d : irt["intercepts"][i]) row.push_back(num(d, 3));
        if (irt.contains("mdiff")) row.push_back(num(irt["mdiff"][i], 3));
        rows.push_back(std::move(row));
    }
    std::vector<std::string> heads{"Item"};
    const std::size_t steps = irt["intercepts"].empty() ? 0 : irt["intercepts"][0].size();
    for (std::size_t c = 0; c < steps; ++c) heads.push_back("d" + std::to_string(c + 1));
    if (irt.contains("mdiff")) heads.push_back("MDIFF");
    table(w, heads, rows);
}

void schmidLeiman(Writer& w, const json& doc) {
    const json& sl = doc["schmid_leiman"];
    if (!sl["identified"].get<bool>()) {
        w.element("p", "The second-order solution is not identified.");
        return;
    }
    w.element("h3", "Second-order loadings");
    const json& second = sl["second_order_loadings"];
    matrix(w, doc, second, factorNames(doc, second.size()), "", 3);
    const auto names = variableNames(doc);
    Table rows;
    std::size_t g = 0, k = 0;
    for (std::size_t i = 0; i < sl["first_order"].size(); ++i) {
        std::vector<Cell> row{text(i < names.size() ? names[i] : "")};
        for (const json& v : sl["second_order"][i]) row.push_back(num(v, 3));
        for (const json& v : sl["first_order"][i]) row.push_back(num(v, 3));
        g = sl["second_order"][i].size();
        k = sl["first_order"][i].size();
        rows.push_back(std::move(row));
    }
    std::vector<std::string> heads{"Variable"};
    for (std::size_t j = 0; j < g; ++j) heads.push_back("G" + std::to_string(j + 1));
    for (std::size_t j = 0; j < k; ++j) heads.push_back(factorHead(doc, j));
    w.element("h3", "Schmid-Leiman loadings");
    table(w, heads, rows);
}

void residuals(Writer& w, const json& doc) {
    const json& r = doc["residuals"];
    Table rows{{text("Number of residuals"), integer(r["count"])}};
    if (r.contains("smallest")) {
        rows.push_back({text("Smallest fitted residual"), num(r["smallest"], 4)});
        rows.push_back({text("Median fitted residual"), num(r["median"], 4)});
        rows.push_back({text("Largest fitted residual"), num(r["largest"], 4)});
        rows.push_back({text("Mean fitted residual"), num(r["mean"], 4)});
        rows.push_back({text("Variance of the fitted residuals"), num(r["variance"], 4)});
        rows.push_back({text("Root Mean Square of Residuals (RMSR)"), num(r["rmsr"], 4)});
        rows.push_back({text("Expected RMSR for an acceptable model (Kelley)"), num(r["expected_rmsr"], 4)});
    }
    if (r.contains("standardized")) {
        const json& z = r["standardized"];
        rows.push_back({text("Smallest standardized residual"), num(z["smallest"], 2)});
        rows.push_back({text("Median standardized residual"), num(z["median"], 2)});
        rows.push_back({text("Largest standardized residual"), num(z["largest"], 2)});
        rows.push_back({text("Mean standardized residual"), num(z["mean"], 2)});
    }
    pairs(w, rows);
    if (r.contains("standardized") && !r["standardized"]["large"].empty()) {
        w.element("h3", "Large standardized residuals");
        Table large;
        for (const json& e : r["standardized"]["large"])
            large.push_back({integer(e["variables"][0]), integer(e["variables"][1]), num(e["value"], 2)});
        table(w, {"Variable", "Variable", "Residual"}, large);
    }
}

void missing(Writer& w, const json& doc) {
    const json& m = doc["missing_data"];
    Table rows{{text("Missing value code"), integer(m["missing_code"])},
               {text("Missing values"), integer(m["total"])}};
    if (m.contains("complete_cases")) rows.push_back({text("Complete cases"), integer(m["complete_cases"])});
    pairs(w, rows);
    if (!m.contains("missing_per_case")) return;
    Table perCase;
    for (const json& c : m["missing_per_case"]) perCase.push_back({integer(c["missing"]), integer(c["cases"])});
    table(w, {"Variables missing", "Participants"}, perCase);
    const auto names = variableNames(doc);
    Table perVariable;
    for (std::size_t i = 0; i < m["missing_per_variable"].size(); ++i)
        perVariable.push_back({text(i < names.size() ? names[i] : ""), integer(m["missing_per_variable"][i])});
    table(w, {"Variable", "Missing values"}, perVariable);
}

void imputation(Writer& w, const json& doc) {
    const json& mi = doc["multiple_imputation"];
    w.element("p", "Imputed data sets: " + std::to_string(mi["imputed_sets"].get<int>()));
    w.element("h3", "Consensus loadings");
    matrix(w, doc, mi["consensus_loadings"], variableNames(doc), "Variable", 3);
    if (mi.contains("consensus_factor_correlations")) {
        w.element("h3", "Consensus factor correlations");
        const json& phi = mi["consensus_factor_correlations"];
        matrix(w, doc, phi, factorNames(doc, phi.size()), "", 3, nullptr, nullptr, true);
    }
}

void personFit(Writer& w, const json& doc) {
    const json& p = doc["person_fit"];
    Table summary;
    if (p.contains("smallest")) {
        summary.push_back({text("Smallest index"), num(p["smallest"], 3)});
        summary.push_back({text("Largest index"), num(p["largest"], 3)});
    }
    pairs(w, summary);
    Table rows;
    for (std::size_t i = 0; i < p["cases"].size(); ++i) rows.push_back({integer(p["cases"][i]), num(p["lc"][i], 3)});
    table(w, {"Case", "Lc"}, rows);
}

// An interval that does not hold 0.
bool excludesZero(const json& lower, const json& upper) {
    return lower.get<double>() > 0.0 || upper.get<double>() < 0.0;
}

// Estimate, standard error, interval and the mark of an interval without 0.
std::vector<Cell> intervalCells(std::vector<Cell> row, const json* estimate, const json& se,
                                const json& lower, const json& upper) {
    row.push_back(estimate != nullptr ? num(*estimate, 3) : text(""));
    row.push_back(num(se, 3));
    row.push_back(num(lower, 3));
    row.push_back(num(upper, 3));
    row.push_back(text(excludesZero(lower, upper) ? "*" : ""));
    return row;
}

const std::vector<std::string> kIntervalHeads{"Estimate", "SE", "Lower", "Upper", "Excludes 0"};

std::vector<std::string> headed(std::vector<std::string> first) {
    first.insert(first.end(), kIntervalHeads.begin(), kIntervalHeads.end());
    return first;
}

const json* finalLoadings(const json& doc);

void bootstrapTables(Writer& w, const json& doc) {
    const json& b = doc["bootstrap"];
    Table counts{{text("Resamples requested"), integer(b["requested"])},
                 {text("Resamples used"), integer(b["used"])},
                 {text("Resamples failed"), integer(b["failed"])}};
    pairs(w, counts);
    if (b.value("simplimax_by_promin", false))
        w.element("p", "Simplimax needs the user's choice of zero loadings; the resamples are rotated by Promin.");
    if (!b.contains("loadings")) {
        w.element("p", "Fewer than two resamples could be analysed: no standard errors or intervals.");
        return;
    }
    w.element("p", std::to_string(b["level"].get<int>()) +
                       "% percentile intervals; * marks an interval that excludes 0.");
    const auto names = variableNames(doc);
    const json* pattern = finalLoadings(doc);
    const json& l = b["loadings"];
    Table rows;
    for (std::size_t i = 0; i < l["se"].size(); ++i)
        for (std::size_t f = 0; f < l["se"][i].size(); ++f) {
            const json* estimate = pattern != nullptr && i < pattern->size() ? &(*pattern)[i][f] : nullptr;
            rows.push_back(intervalCells({text(i < names.size() ? names[i] : ""), text(factorHead(doc, f))},
                                         estimate, l["se"][i][f], l["lower"][i][f], l["upper"][i][f]));
        }
    w.element("h3", "Loadings");
    table(w, headed({"Variable", "Factor"}), rows);
    const json& h = b["communalities"];
    rows.clear();
    for (std::size_t i = 0; i < h["se"].size(); ++i) {
        const json* estimate = doc.contains("communalities") ? &doc["communalities"][i] : nullptr;
        rows.push_back(intervalCells({text(i < names.size() ? names[i] : "")}, estimate, h["se"][i],
                                     h["lower"][i], h["upper"][i]));
    }
    w.element("h3", "Communalities");
    table(w, headed({"Variable"}), rows);
    if (b.contains("factor_correlations")) {
        const json& c = b["factor_correlations"];
        const json* phi = doc.contains("factor_correlations") ? &doc["factor_correlations"] : nullptr;
        rows.clear();
        std::size_t at = 0;
        // The lower triangle, row after row.
        for (std::size_t a = 1; at < c["se"].size(); ++a)
            for (std::size_t f = 0; f < a && at < c["se"].size(); ++f, ++at)
                rows.push_back(intervalCells({text(factorHead(doc, a) + " \u2013 " + factorHead(doc, f))},
                                             phi != nullptr ? &(*phi)[a][f] : nullptr, c["se"][at],
                                             c["lower"][at], c["upper"][at]));
        w.element("h3", "Factor correlations");
        table(w, headed({"Factors"}), rows);
    }
    static const struct {
        const char* key;
        const char* name;
        const char* estimate;  // JSON pointer of the estimate
    } kSingles[] = {{"rmsea", "RMSEA", "/fit/rmsea"},
                    {"cfi", "CFI", "/fit/cfi"},
                    {"gfi", "GFI", "/fit/gfi"},
                    {"omega", "McDonald's Omega", "/reliability/omega"}};
    rows.clear();
    for (const auto& single : kSingles) {
        if (!b.contains(single.key)) continue;
        const json::json_pointer at(single.estimate);
        const json& i = b[single.key];
        rows.push_back(intervalCells({text(single.name)}, doc.contains(at) ? &doc[at] : nullptr, i["se"],
                                     i["lower"], i["upper"]));
    }
    if (rows.empty()) return;
    w.element("h3", "Fit and reliability");
    table(w, headed({"Index"}), rows);
}

// A member of the document as a section of the page: its anchor, the title
// it has when the outline gives none, and how it is shown.
struct MemberView {
    const char* member;
    const char* id;
    const char* title;
    void (*body)(Writer&, const json&);
};

void detailsTable(Writer& w, const json& doc) {
    Table rows;
    for (const json& line : doc["details"])
        rows.push_back({text(line[0].get<std::string>()), text(line[1].get<std::string>())});
    pairs(w, rows);
}

void loadingsOf(Writer& w, const json& doc, const char* key, const char* extraKey, const char* extraHead) {
    const json* extra = extraKey != nullptr && doc.contains(extraKey) ? &doc[extraKey] : nullptr;
    matrix(w, doc, doc[key], variableNames(doc), "Variable", 3, extra, extraHead);
}

void referenceList(Writer& w, const json& doc) {
    w.start("ul");
    for (const json& entry : doc["references"]) w.element("li", entry.get<std::string>());
    w.end();
}

void endingLines(Writer& w, const json& doc) {
    const std::string ending = doc.value("ending", "");
    if (ending == "completed") {
        w.element("p", "The run completed.");
    } else {
        w.start("p");
        w.attribute("class", "ending");
        w.text(std::string(ending == "halted" ? "The run was halted: " : "The run ended early: ") +
               doc.value("warning", ""));
        w.end();
    }
    if (doc.contains("saved_scores"))
        w.element("p", "Factor scores saved to " + doc["saved_scores"].get<std::string>());
}

// In the order of a report written before the document had an outline.
constexpr MemberView kMembers[] = {
    {"version", "", "", nullptr},
    {"details", "details", "Details of analysis", detailsTable},
    {"descriptives", "univariate", "Univariate descriptives", descriptives},
    {"descriptives/mardia", "multivariate", "Multivariate descriptives (Mardia, 1970)", mardia},
    {"dispersion_matrix", "matrix", "Dispersion matrix", dispersion},
    {"adequacy", "adequacy", "Adequacy of the correlation matrix", adequacy},
    {"eigenvalues", "eigenvalues", "Explained variance based on eigenvalues", eigenvalues},
    {"map", "map", "Minimum Average Partial (MAP) test", mapTest},
    {"parallel_analysis", "parallel-analysis", "Parallel analysis", parallel},
    {"hull", "hull", "Hull method", hull},
    {"fit", "fit", "Goodness of fit statistics", fit},
    {"unrotated_loadings", "unrotated", "Unrotated loading matrix",
     [](Writer& w, const json& doc) { loadingsOf(w, doc, "unrotated_loadings", "communalities", "Communality"); }},
    {"rotated_loadings", "rotated", "Rotated loading matrix",
     [](Writer& w, const json& doc) { loadingsOf(w, doc, "rotated_loadings", nullptr, nullptr); }},
    {"simplicity", "simplicity", "Indices of factor simplicity", simplicity},
    {"factor_correlations", "factor-correlations", "Inter-factor correlation matrix",
     [](Writer& w, const json& doc) {
         const json& phi = doc["factor_correlations"];
         matrix(w, doc, phi, factorNames(doc, phi.size()), "Factor", 3, nullptr, nullptr, true);
     }},
    {"structure", "structure", "Structure matrix",
     [](Writer& w, const json& doc) { loadingsOf(w, doc, "structure", nullptr, nullptr); }},
    {"irt", "irt", "IRT parameterization", irt},
    {"reliability", "reliability", "Reliability", reliability},
    {"schmid_leiman", "schmid-leiman", "Schmid-Leiman solution", schmidLeiman},
    {"residuals", "residuals", "Distribution of residuals", residuals},
    {"missing_data", "missing", "Descriptives related to missing data", missing},
    {"multiple_imputation", "imputation", "Multiple imputation", imputation},
    {"bootstrap", "bootstrap", "Bootstrap confidence intervals", bootstrapTables},
    {"person_fit", "person-fit", "Person-fit indices", personFit},
    {"references", "references", "References", referenceList},
    {"ending", "ending", "End of the run", endingLines},
};

const MemberView* viewOf(const std::string& member) {
    for (const MemberView& view : kMembers)
        if (member == view.member) return &view;
    return nullptr;
}

// The outline of a document that has none: its members in the fixed order.
json defaultOutline(const json& doc) {
    json outline = json::array();
    for (const MemberView& view : kMembers)
        if (view.member == std::string("ending") || doc.contains(json::json_pointer(std::string("/") + view.member)))
            outline.push_back({{"kind", "section"}, {"title", view.title}, {"member", view.member}});
    return outline;
}

// Text as the report printed it: a plot, a note, a section the document has
// no numbers for.
void printedText(Writer& w, const json& part) {
    w.start("pre");
    if (part.value("kind", "") == "note") w.attribute("class", "note");
    w.text(part.value("text", ""));
    w.end();
}

// The sections of the page in the order of the report's outline; plots and
// notes join the section they were printed in. The publication table
// follows the last part of the final solution, the pictures precede the
// ending.
std::vector<Section> sectionsOf(const json& doc, const HtmlOptions& options) {
    const json outline = doc.contains("outline") ? doc["outline"] : defaultOutline(doc);
    const std::string explainedSolution =
        doc.contains("explained_variance") ? doc["explained_variance"].value("solution", "") : "";
    std::size_t lastOfSolution = outline.size();
    for (std::size_t i = 0; i < outline.size(); ++i) {
        const std::string member = outline[i].value("member", "");
        const std::string title = outline[i].value("title", "");
        if (member == "unrotated_loadings" || member == "rotated_loadings" || member == "simplicity" ||
            member == "factor_correlations" || member == "structure" || title == "Congruence with the target")
            lastOfSolution = i;
    }
    std::vector<Section> s;
    std::vector<std::function<void(Writer&)>>* body = nullptr;
    auto open = [&s, &body](std::string id, std::string title) {
        s.push_back({std::move(id), std::move(title), {}});
        body = &s.back().body;
    };
    auto pictures = [&] {
        for (std::size_t i = 0; i < options.pictures.size(); ++i) {
            const HtmlOptions::Picture& picture = options.pictures[i];
            if (options.linkedImages && picture.png.empty()) continue;
            open("plot-" + std::to_string(i + 1), picture.title);
            body->push_back([&picture, &options](Writer& w) {
                if (!options.linkedImages) {
                    w.raw(picture.svg);
                    return;
                }
                w.start("img");
                w.attribute("src", picture.png);
                w.attribute("alt", picture.title);
                w.endVoid();
            });
        }
    };
    bool picturesShown = false;
    for (std::size_t i = 0; i < outline.size(); ++i) {
        const json& part = outline[i];
        const std::string kind = part.value("kind", "section");
        const std::string title = part.value("title", "");
        const std::string member = part.value("member", "");
        if (member == "ending" && !picturesShown) {
            pictures();
            picturesShown = true;
        }
        if (const MemberView* view = viewOf(member); view != nullptr) {
            if (view->body == nullptr) continue;
            open(view->id, title.empty() ? view->title : title);
            body->push_back([&doc, view](Writer& w) { view->body(w, doc); });
            const bool rotated = member == "rotated_loadings";
            if ((rotated && explainedSolution == "rotated") ||
                (member == "unrotated_loadings" && explainedSolution == "unrotated")) {
                open("explained", rotated ? "Explained variance and reliability of rotated factors"
                                          : "Explained variance and reliability of factors");
                body->push_back([&doc](Writer& w) { explained(w, doc); });
            }
        } else if (kind == "section" || body == nullptr) {
            open("part-" + std::to_string(i + 1), title.empty() ? "Note" : title);
            body->push_back([part](Writer& w) { printedText(w, part); });
        } else {
            body->push_back([part, title](Writer& w) {
                if (!title.empty()) w.element("h3", title);
                printedText(w, part);
            });
        }
        if (i == lastOfSolution && finalLoadings(doc) != nullptr && !finalLoadings(doc)->empty()) {
            open("publication", "Loading table for publication");
            body->push_back([&doc, &options](Writer& w) { publication(w, doc, options.paperThreshold); });
        }
    }
    if (!picturesShown) pictures();
    return s;
}

}  // namespace

std::string htmlPage(const json& doc, const HtmlOptions& options) {
    const std::vector<Section> sections = sectionsOf(doc, options);
    Writer w;
    w.doctype();
    w.start("html");
    w.attribute("lang", "en");
    w.start("head");
    w.start("meta");
    w.attribute("charset", "utf-8");
    w.endVoid();
    w.element("title", "TALVEX results");
    w.element("style", kStyle);
    w.end();
    w.start("body");
    w.element("h1", "TALVEX results");
    if (doc.contains("report")) w.element("p", "Report: " + doc["report"].get<std::string>());
    w.start("nav");
    w.element("h2", "Contents");
    w.start("ol");
    for (const Section& section : sections) {
        w.start("li");
        w.start("a");
        w.attribute("href", "#" + section.id);
        w.text(section.title);
        w.end();
        w.end();
    }
    w.end();
    w.end();
    for (const Section& section : sections) {
        w.start("section");
        w.attribute("id", section.id);
        w.element("h2", section.title);
        for (const auto& piece : section.body) piece(w);
        w.end();
    }
    w.end();
    w.end();
    return w.finish();
}

}  // namespace talvex
