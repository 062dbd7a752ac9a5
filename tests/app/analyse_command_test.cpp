// `talvex analyse` end to end on the bundled example: exit statuses and
// their messages, the report of the terminal session, the JSON results.
#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/analyse_command.h"
#include "app/main_window.h"
#include "app/terminal_window_system.h"
#include "core/format_text.h"
#include "core/random.h"
#include "support/temp_files.h"

namespace talvex {
namespace {

const std::string kExamples = std::string(TALVEX_SOURCE_DIR) + "/examples/";

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) result.push_back(line);
    return result;
}

// examples/items.csv (header i1..i12, NA where items.dat holds 999);
// edit(row, fields) may change a row, numbered from 1 after the header.
template <typename Edit>
std::string itemsCsv(Edit edit) {
    const auto all = lines(slurp(kExamples + "items.csv"));
    EXPECT_EQ(all.size(), 301u);
    std::string csv;
    for (std::size_t row = 0; row < all.size(); ++row) {
        std::vector<std::string> fields;
        std::istringstream in(all[row]);
        for (std::string f; std::getline(in, f, ',');) fields.push_back(f);
        if (row > 0) edit(static_cast<int>(row), fields);
        for (std::size_t j = 0; j < fields.size(); ++j) csv += (j ? "," : "") + fields[j];
        csv += '\n';
    }
    return csv;
}

struct Outcome {
    int status;
    std::string out, err;
};

Outcome analyse(std::vector<std::string> args) {
    std::ostringstream out, err;
    const int status = runAnalyseCommand(args, out, err);
    return {status, out.str(), err.str()};
}

TEST(AnalyseCommand, ExitStatusesAndTheirMessages) {
    testing::TempDir dir;
    const std::string withNa = dir.write("na.csv", itemsCsv([](int row, auto& f) {
        if (row == 5) f[1] = "NA";
        if (row == 9) f[3] = "";
    }));
    const std::string shortRow =
        dir.write("short.csv", itemsCsv([](int row, auto& f) { if (row == 7) f.pop_back(); }));
    const std::string constant =
        dir.write("const.csv", itemsCsv([](int, auto& f) { f[4] = "3"; }));
    const std::string report = dir.file("out.txt");
    const struct {
        std::vector<std::string> args;
        int status;
        std::string err;  // before "|": on standard output
    } cases[] = {
        {{withNa, "--factors", "2", "--rotation", "Normalized Varimax"}, 0, ""},
        {{shortRow}, 2, "line 8: 11 values where line 2 has 12"},
        {{dir.file("none.csv")}, 2, "cannot read the data file"},
        {{withNa, "--bogus"}, 2, "--bogus"},
        {{withNa, "--set", "factorCount"}, 2, "--set takes KEY=VALUE"},
        {{withNa, "--set", "noSuchKey=1"}, 2, "[refused] no control \"noSuchKey\" in the dialogs"},
        {{withNa, "--factors", "3", "--rotation", "Nonsense"}, 2,
         "[refused] \"Nonsense\" is not an option of simplicityRotation"},
        {{withNa, "--factors", "5"}, 2,
         "[error]\nAt least three variables for each Factor/Component should be included"},
        {{withNa, "--participants", "-3"}, 2, "It cannot be a negative number"},
        {{withNa, "--report", withNa}, 2, "The report cannot be written to"},
        {{withNa, "--report", dir.file("no/r.txt")}, 1, "[error]\nThe report file could not be created"},
        {{withNa, "--json", withNa}, 2, "The JSON results cannot be written to " + withNa},
        {{withNa, "--json", dir.file("no/r.json")}, 1,
         "Report written to|[error]\nThe results could not be written to " + dir.file("no/r.json")},
        {{constant, "--factors", "2"}, 1, "Variable    5 has the same score for every participant"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = c.args;
        if (c.args.size() < 2 || c.args[1] != "--report") args.insert(args.end(), {"--report", report});
        SCOPED_TRACE(::testing::PrintToString(args));
        const Outcome o = analyse(args);
        EXPECT_EQ(o.status, c.status) << o.err;
        const auto bar = c.err.find('|');
        if (bar != std::string::npos) {
            EXPECT_NE(o.out.find(c.err.substr(0, bar)), std::string::npos) << o.out;
        }
        EXPECT_NE(o.err.find(c.err.substr(bar + 1)), std::string::npos) << o.err;
    }
    // The header named the variables, and NA and the empty field became
    // missing values that the imputation stage counted.
    // Keys in any order: the rotation waits until the factors enable it.
    EXPECT_EQ(analyse({withNa, "--set", "simplicityRotation=Promin", "--set", "factorCount=2", "--set",
                       "saveFactorScores=on", "--report", report, "--json", dir.file("r.json")})
                  .status,
              0);
    const std::string again = slurp(report);
    // Rows are numbered by their line in the file: the header is line 1.
    const auto scores = lines(slurp(dir.file("out_scores.txt")));
    ASSERT_GT(scores.size(), 2u);
    EXPECT_EQ(scores[1].substr(0, 2), "2\t");
    EXPECT_EQ(nlohmann::json::parse(slurp(dir.file("r.json")))["saved_scores"], dir.file("out_scores.txt"));
    EXPECT_NE(again.find("Variable labels file                                 : " + withNa),
              std::string::npos);
    EXPECT_NE(again.find("\ni10 "), std::string::npos);
    EXPECT_NE(again.find(" Total number of missing data :     7\n"), std::string::npos);
}

// The rows of the table that follows heading: the last `columns` numbers of
// each line up to the next empty line (a lower-triangular table gives
// `row + 1` numbers in row `row` when triangular).
std::vector<std::vector<double>> printedTable(const std::string& report, const std::string& heading,
                                              std::size_t columns, bool triangular = false) {
    std::vector<std::vector<double>> rows;
    const auto all = lines(report);
    std::size_t i = 0;
    while (i < all.size() && all[i].rfind(heading, 0) != 0) ++i;
    i += 4;  // heading, empty line, column header, empty line
    for (; i < all.size() && !all[i].empty(); ++i) {
        std::vector<std::string> words;
        std::istringstream in(all[i]);
        for (std::string w; in >> w;) words.push_back(w);
        const std::size_t n = triangular ? rows.size() + 1 : columns;
        std::vector<double> row;
        for (std::size_t j = words.size() - n; j < words.size(); ++j) row.push_back(std::stod(words[j]));
        rows.push_back(row);
    }
    return rows;
}

// A JSON matrix against the printed table, to the printed three decimals.
void expectPrinted(const nlohmann::json& values, const std::vector<std::vector<double>>& printed) {
    ASSERT_EQ(values.size(), printed.size());
    for (std::size_t i = 0; i < printed.size(); ++i)
        for (std::size_t j = 0; j < printed[i].size(); ++j)
            EXPECT_NEAR(values[i][j].get<double>(), printed[i][j], 0.0005 + 1e-9) << i << "," << j;
}

// The report and the JSON results of a piped terminal session and of the
// command with the same choices are the same but for the time of the run
// and the report's path; the JSON holds the numbers the report printed.
TEST(AnalyseCommand, ReportAndJsonEqualTheTerminalSessions) {
    testing::TempDir dir;
    const std::string viaTerminal = dir.file("terminal.txt"), viaCommand = dir.file("command.txt");
    const std::string jsonTerminal = dir.file("terminal.json"), jsonCommand = dir.file("command.json");
    std::istringstream session("read\nparticipantCount = 300\nvariableCount = 12\nscoresFileName = " +
                               kExamples + "items.dat\nlabelsEnabled = 1\nlabelsFileName = " +
                               kExamples + "labels.txt\nok\nconfigure\nfactorCount = 3\n"
                               "simplicityRotation = Promin\noutputFileName = " + viaTerminal +
                               "\njsonFileName = " + jsonTerminal + "\nok\ncompute\nexit\n");
    std::ostringstream out, progress;
    const std::uint32_t stream = randomState();  // both runs draw the same random numbers
    {
        TerminalWindowSystem terminal(session, out, progress, TerminalModes{});
        MainWindow window(terminal, "test");
        runMainWindow(window, terminal);
    }
    restoreRandomState(stream);
    ASSERT_EQ(analyse({kExamples + "items.dat", "--labels", kExamples + "labels.txt", "--factors",
                       "3", "--rotation", "Promin", "--report", viaCommand, "--json", jsonCommand})
                  .status,
              0);
    nlohmann::json terminalDoc = nlohmann::json::parse(slurp(jsonTerminal));
    nlohmann::json commandDoc = nlohmann::json::parse(slurp(jsonCommand));
    EXPECT_EQ(terminalDoc["report"], viaTerminal);
    expectPrinted(terminalDoc["rotated_loadings"], printedTable(slurp(viaTerminal), "ROTATED LOADING MATRIX", 3));
    terminalDoc.erase("report");
    commandDoc.erase("report");
    EXPECT_EQ(terminalDoc, commandDoc);
    const auto a = lines(slurp(viaTerminal)), b = lines(slurp(viaCommand));
    ASSERT_EQ(a.size(), b.size());
    ASSERT_GT(a.size(), 100u);
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].find("Date:") != std::string::npos || a[i].find("Time:") != std::string::npos ||
            a[i].find("Computing time") != std::string::npos)
            continue;
        EXPECT_EQ(a[i], b[i]) << "line " << i + 1;
    }
}

TEST(AnalyseCommand, JsonHoldsTheNumbersTheReportPrinted) {
    testing::TempDir dir;
    const std::string report = dir.file("r.txt"), results = dir.file("r.json");
    ASSERT_EQ(analyse({kExamples + "items.dat", "--labels", kExamples + "labels.txt", "--factors",
                       "3", "--rotation", "Promin", "--detailed", "--report", report, "--json",
                       results})
                  .status,
              0);
    const std::string text = slurp(report);
    const nlohmann::json doc = nlohmann::json::parse(slurp(results));
    EXPECT_EQ(doc["ending"], "completed");
    EXPECT_EQ(doc["participants"], 295);  // five rows hold the missing code
    const auto labels = lines(slurp(kExamples + "labels.txt"));
    ASSERT_EQ(doc["variables"].size(), 12u);
    EXPECT_EQ(doc["variables"][11]["label"], labels[11]);
    EXPECT_EQ(doc["variables"][11]["number"], 12);

    auto unrotated = printedTable(text, "UNROTATED LOADING MATRIX", 4);
    std::vector<std::vector<double>> communalities;
    for (auto& row : unrotated) {
        communalities.push_back({row.back()});
        row.pop_back();
    }
    expectPrinted(doc["unrotated_loadings"], unrotated);
    nlohmann::json h = nlohmann::json::array();
    for (const auto& v : doc["communalities"]) h.push_back({v});
    expectPrinted(h, communalities);
    expectPrinted(doc["rotated_loadings"], printedTable(text, "ROTATED LOADING MATRIX", 3));
    expectPrinted(doc["factor_correlations"], printedTable(text, "INTER-FACTORS CORRELATION MATRIX", 3, true));
    expectPrinted(doc["structure"], printedTable(text, "STRUCTURE MATRIX", 3));
    const auto& simplicity = doc["simplicity"];
    EXPECT_NE(text.find(formatText("(S) : %9.5f (Percentile %3.0f)", simplicity["bentler"].get<double>(),
                                   simplicity["bentler_percentile"].get<double>())),
              std::string::npos);
    EXPECT_NE(text.find(formatText("(LS) : %9.5f (Percentile %3.0f)", simplicity["loading"].get<double>(),
                                   simplicity["loading_percentile"].get<double>())),
              std::string::npos);
    EXPECT_FALSE(doc.contains("saved_scores"));

    // A run without factors writes no solution.
    ASSERT_EQ(analyse({kExamples + "items.dat", "--report", report, "--json", results}).status, 0);
    const nlohmann::json none = nlohmann::json::parse(slurp(results));
    EXPECT_EQ(none["factors"], 0);
    EXPECT_FALSE(none.contains("rotated_loadings") || none.contains("unrotated_loadings"));
}

// The rows of the first table after heading: lines that start with a row
// number (or "V" and a number), split into numbers (a trailing mark such as
// "*" is ignored).
std::vector<std::vector<double>> numberedRows(const std::string& report, const std::string& heading) {
    std::vector<std::vector<double>> rows;
    const auto all = lines(report.substr(report.find(heading)));
    for (const std::string& line : all) {
        std::istringstream in(line);
        std::string first;
        if ((in >> first) && first == "V") in >> first;
        const bool numbered = !first.empty() && std::isdigit(static_cast<unsigned char>(first[0])) &&
                              first.find('.') == std::string::npos;
        if (!numbered && !rows.empty()) break;
        if (!numbered) continue;
        std::vector<double> row{std::stod(first)};
        for (std::string w; in >> w;) row.push_back(std::stod(w));
        rows.push_back(row);
    }
    return rows;
}

// The number after "label ... =" or "label ... :" in the report; NaN when
// the label is not there.
double printedValue(const std::string& report, const std::string& label) {
    const std::size_t at = report.find(label);
    if (at == std::string::npos) return std::nan("");
    return std::stod(report.substr(report.find_first_of("=:", at + label.size()) + 1));
}

// The numbers after label on its line ("0.0000**" reads as 0).
std::vector<double> numbersOn(const std::string& report, const std::string& label) {
    const std::size_t at = report.find(label);
    if (at == std::string::npos) return {};
    const std::size_t from = at + label.size();
    std::istringstream in(report.substr(from, report.find('\n', from) - from));
    std::vector<double> values;
    for (std::string w; in >> w;) values.push_back(std::stod(w));
    return values;
}

// The report with the marks that split table rows blanked: parentheses,
// the "(95%)" of a heading and the bar before a second block of columns.
std::string tableText(std::string report) {
    for (std::size_t at; (at = report.find("(95%)")) != std::string::npos;)
        report.replace(at, 5, "     ");
    for (char& c : report)
        if (c == '(' || c == ')' || c == '|') c = ' ';
    return report;
}

// A JSON array against a column of printed rows, to the printed decimals.
void expectColumn(const nlohmann::json& values, const std::vector<std::vector<double>>& rows,
                  std::size_t column, double halfUnit) {
    ASSERT_FALSE(rows.empty());
    ASSERT_EQ(values.size(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i)
        EXPECT_NEAR(values[i].get<double>(), rows[i][column], halfUnit + 1e-9) << "row " << i;
}

TEST(AnalyseCommand, JsonHoldsTheAdviceFitAndReliabilityPrinted) {
    testing::TempDir dir;
    const std::string report = dir.file("r.txt"), results = dir.file("r.json");
    const std::string items = kExamples + "items.dat";
    const auto run = [&](std::vector<std::string> args) {
        args.insert(args.begin(), items);
        args.insert(args.end(), {"--set", "glbOmega=on", "--report", report, "--json", results});
        EXPECT_EQ(analyse(args).status, 0);
        return std::make_pair(slurp(report), nlohmann::json::parse(slurp(results)));
    };

    // Parallel analysis on MRFA, ULS fit, reliability after an oblique rotation.
    auto [pa, paDoc] = run({"--factors", "3", "--rotation", "Promin"});
    expectColumn(paDoc["eigenvalues"], numberedRows(pa, "EXPLAINED VARIANCE BASED ON EIGENVALUES"), 1,
                 5e-6);
    const auto paRows = numberedRows(pa, "PARALLEL ANALYSIS (PA)");
    const nlohmann::json& p = paDoc["parallel_analysis"];
    EXPECT_EQ(p["based_on"], "MRFA");
    expectColumn(p["real"], paRows, 1, 0.05);
    expectColumn(p["random_mean"], paRows, 2, 0.05);
    expectColumn(p["random_percentile"], paRows, 3, 0.05);
    // One advice line when the mean and the percentile agree.
    const bool agree = pa.find("percentile is considered") == std::string::npos;
    EXPECT_EQ(p["advised_percentile"].get<double>(),
              printedValue(pa, agree ? "Advised number of dimensions" : "percentile is considered"));
    EXPECT_EQ(p["advised_mean"].get<double>(),
              printedValue(pa, agree ? "Advised number of dimensions" : "mean is considered"));
    const nlohmann::json& fit = paDoc["fit"];
    EXPECT_NEAR(fit["chi_square"].get<double>(), printedValue(pa, "Chi-Square with"), 5e-4);
    EXPECT_NEAR(fit["cfi"].get<double>(), printedValue(pa, "(CFI)"), 5e-3);
    EXPECT_NEAR(fit["agfi"].get<double>(), printedValue(pa, "(AGFI)"), 5e-3);
    EXPECT_FALSE(fit.contains("rmsea"));  // ULS prints none
    expectColumn(fit["reduced_eigenvalues"], numberedRows(pa, "EIGENVALUES OF THE REDUCED"), 1,
                 5e-10);
    const nlohmann::json& rel = paDoc["reliability"];
    EXPECT_NEAR(rel["omega"].get<double>(), printedValue(pa, "McDonald's Omega"), 5e-7);
    EXPECT_NEAR(rel["alpha"].get<double>(), printedValue(pa, "Cronbach's alpha"), 5e-7);
    EXPECT_NEAR(rel["glb"].get<double>(), printedValue(pa, "Greatest Lower Bound to Reliability"), 5e-7);
    expectColumn(rel["communalities"], numberedRows(pa, "ASSOCIATED COMMUNALITIES"), 1, 5e-7);
    EXPECT_FALSE(paDoc.contains("map") || paDoc.contains("hull"));

    // Hull with ML: the hull's points and the ML fit.
    auto [hull, hullDoc] =
        run({"--factors", "3", "--extraction", "ML", "--set", "factorCountProcedure=Hull"});
    const auto hullRows = numberedRows(hull, "Number of   Goodness-of-fit");
    const nlohmann::json& h = hullDoc["hull"];
    expectColumn(h["factors"], hullRows, 0, 0);
    expectColumn(h["fit"], hullRows, 1, 5e-4);
    expectColumn(h["parameters"], hullRows, 2, 0.5);
    expectColumn(h["scree"], hullRows, 3, 5e-4);
    EXPECT_EQ(h["advised"].get<double>(), printedValue(hull, "Advised number of common factors"));
    EXPECT_NEAR(hullDoc["fit"]["rmsea"].get<double>(), printedValue(hull, "(RMSEA)"), 5e-4);
    EXPECT_NEAR(hullDoc["fit"]["approximate_fit_p"].get<double>(),
                printedValue(hull, "RMSEA < 0.05;  P"), 5e-4);
    EXPECT_FALSE(hullDoc.contains("map") || hullDoc.contains("parallel_analysis"));

    // MAP without factors or detail: no fit, no eigenvalues, the reliability
    // of the total score.
    auto [map, mapDoc] = run({"--set", "factorCountProcedure=MAP", "--set", "detailedOutput=off"});
    const auto mapRows = numberedRows(map, "MINIMUM AVERAGE PARTIAL TEST");
    expectColumn(mapDoc["map"]["dimensions"], mapRows, 0, 0);
    expectColumn(mapDoc["map"]["averages"], mapRows, 1, 5e-6);
    EXPECT_EQ(mapDoc["map"]["advised"].get<double>(), printedValue(map, "Advised number of dimensions"));
    EXPECT_NEAR(mapDoc["reliability"]["omega"].get<double>(), printedValue(map, "McDonald's Omega"), 5e-7);
    EXPECT_FALSE(mapDoc.contains("fit") || mapDoc.contains("eigenvalues"));
    // Skipped sections: no detail, no factors, no IRT or second order.
    for (const char* skipped : {"descriptives", "residuals", "explained_variance", "irt",
                                "schmid_leiman", "missing_data", "multiple_imputation"})
        EXPECT_FALSE(mapDoc.contains(skipped)) << skipped;
    EXPECT_NEAR(mapDoc["adequacy"]["kmo"].get<double>(), printedValue(map, "(KMO) test"), 5e-6);

    // One principal component: its unrotated variance table.
    auto [pca, pcaDoc] = run({"--factors", "1", "--extraction", "PCA"});
    const nlohmann::json& pv = pcaDoc.at("explained_variance");
    const auto pcaRows = numberedRows(pca, "ten Berge & Hofstee");
    EXPECT_EQ(pv["solution"], "unrotated");
    EXPECT_EQ(pv["proportion_of"], "total_variance");
    expectColumn(pv["variance"], pcaRows, 1, 5e-4);
    expectColumn(pv["proportion"], pcaRows, 2, 5e-4);
    expectColumn(pv["reliability"], pcaRows, 3, 5e-4);
}

TEST(AnalyseCommand, JsonHoldsTheDetailedSectionsPrinted) {
    testing::TempDir dir;
    const std::string report = dir.file("r.txt"), results = dir.file("r.json");
    ASSERT_EQ(analyse({kExamples + "items.dat", "--factors", "2", "--matrix", "polychoric",
                       "--rotation", "Promin", "--detailed", "--set", "irtParameterization=on",
                       "--set", "secondOrderCount=1", "--set", "personFit=on", "--report", report,
                       "--json", results})
                  .status,
              0);
    const std::string text = slurp(report), table = tableText(text);
    const nlohmann::json doc = nlohmann::json::parse(slurp(results));

    const nlohmann::json& d = doc.at("descriptives");
    const auto univariate = numberedRows(table, "UNIVARIATE DESCRIPTIVES");
    for (const auto& [name, column, half] : {std::tuple{"mean", 1, 5e-4},
                                             {"mean_lower_95", 2, 5e-3},
                                             {"mean_upper_95", 3, 5e-3},
                                             {"variance", 4, 5e-4},
                                             {"skewness", 5, 5e-4},
                                             {"kurtosis", 6, 5e-4}})
        expectColumn(d[name], univariate, static_cast<std::size_t>(column), half);
    const auto skewness = numbersOn(text, "\nSkewness "), kurtosis = numbersOn(text, "\nKurtosis ");
    ASSERT_EQ(skewness.size(), 4u);
    ASSERT_EQ(kurtosis.size(), 3u);
    EXPECT_NEAR(d["mardia"]["skewness_statistic"].get<double>(), skewness[1], 5e-4);
    EXPECT_EQ(d["mardia"]["df"].get<double>(), skewness[2]);
    EXPECT_NEAR(d["mardia"]["corrected_skewness_statistic"].get<double>(),
                numbersOn(text, "small sample ").at(1), 5e-4);
    EXPECT_NEAR(d["mardia"]["kurtosis"].get<double>(), kurtosis[0], 5e-4);
    EXPECT_NEAR(d["mardia"]["kurtosis_statistic"].get<double>(), kurtosis[1], 5e-4);

    const nlohmann::json& a = doc.at("adequacy");
    EXPECT_NEAR(a["determinant"].get<double>(), printedValue(text, "Determinant of the matrix"),
                1e-15);
    EXPECT_NEAR(a.at("bartlett")["statistic"].get<double>(),
                printedValue(text, "Bartlett's statistic"), 0.05);
    EXPECT_NE(text.find(formatText("= %7.5f (%s)", a["kmo"].get<double>(),
                                   a["kmo_label"].get<std::string>().c_str())),
              std::string::npos);

    const nlohmann::json& v = doc.at("explained_variance");
    const auto varianceRows = numberedRows(text, "RELIABILITY OF ROTATED FACTORS");
    EXPECT_EQ(v["solution"], "rotated");
    EXPECT_FALSE(v.contains("proportion"));  // ULS prints none
    expectColumn(v["variance"], varianceRows, 1, 5e-4);
    expectColumn(v["reliability"], varianceRows, 2, 5e-4);

    const nlohmann::json& irt = doc.at("irt");
    EXPECT_EQ(irt["model"], "graded_response");
    const auto discriminations = numberedRows(text, "PATTERN OF ITEM DISCRIMINATIONS");
    expectColumn(irt["mdisc"], discriminations, 3, 5e-4);
    EXPECT_NEAR(irt["discrimination"][11][1].get<double>(), discriminations[11][2], 5e-4);
    const auto intercepts = numberedRows(text, "CATEGORY INTERCEPTS");
    ASSERT_EQ(irt["intercepts"].size(), intercepts.size());
    EXPECT_NEAR(irt["intercepts"][0][3].get<double>(), intercepts[0][4], 5e-4);

    const nlohmann::json& sl = doc.at("schmid_leiman");
    EXPECT_TRUE(sl["identified"].get<bool>() && sl["equal_loadings"].get<bool>());
    const auto slRows = numberedRows(table, "Schmid-Leiman solution");
    nlohmann::json first = nlohmann::json::array(), second = nlohmann::json::array();
    for (std::size_t i = 0; i < sl["first_order"].size(); ++i) {
        first.push_back(sl["first_order"][i][1]);
        second.push_back(sl["second_order"][i][0]);
    }
    expectColumn(first, slRows, 2, 5e-4);
    expectColumn(second, slRows, 3, 5e-4);

    const nlohmann::json& res = doc.at("residuals");
    EXPECT_EQ(res["count"].get<double>(), printedValue(text, "Number of Residuals"));
    EXPECT_NEAR(res["rmsr"].get<double>(), printedValue(text, "(RMSR)"), 5e-5);
    EXPECT_NEAR(res["expected_rmsr"].get<double>(), printedValue(text, "acceptable model"), 5e-5);
    EXPECT_NEAR(res["median"].get<double>(), printedValue(text, "Median Fitted Residual"), 5e-5);
    EXPECT_NEAR(res.at("standardized")["largest"].get<double>(),
                printedValue(text, "Largest Standardized Residual"), 5e-3);

    const nlohmann::json& missing = doc.at("missing_data");
    EXPECT_EQ(missing["total"].get<double>(), printedValue(text, "Total number of missing data"));
    expectColumn(missing["missing_per_variable"],
                 numberedRows(text, "NUMBER OF CASES MISSING PER VARIABLE"), 1, 0);
    const auto perCase = numberedRows(table, "NUMBER OF VARIABLES MISSING PER CASE");
    ASSERT_EQ(missing["missing_per_case"].size(), perCase.size());
    EXPECT_EQ(missing["missing_per_case"][1]["missing"].get<double>(), perCase[1][0]);
    EXPECT_EQ(missing["missing_per_case"][1]["cases"].get<double>(), perCase[1][1]);
    EXPECT_EQ(missing["complete_cases"], doc["participants"]);

    const nlohmann::json& mi = doc.at("multiple_imputation");
    const auto consensus = numberedRows(text, "CONSENSUS LOADING MATRIX");
    nlohmann::json column = nlohmann::json::array();
    for (const auto& row : mi["consensus_loadings"]) column.push_back(row[1]);
    expectColumn(column, consensus, 2, 5e-4);
    EXPECT_NEAR(mi.at("consensus_factor_correlations")[1][0].get<double>(),
                numbersOn(text, "\n F   2").at(0), 5e-4);

    const nlohmann::json& r = doc.at("dispersion_matrix");
    EXPECT_EQ(r["title"], "polychoric");
    const auto matrix = numberedRows(text, "STANDARIZED VARIANCE / COVARIANCE MATRIX");
    ASSERT_EQ(matrix.size(), 12u);
    for (std::size_t i = 0; i < matrix.size(); ++i)
        for (std::size_t j = 0; j <= i; ++j)
            EXPECT_NEAR(r["rows"][i][j].get<double>(), matrix[i][j + 1], 5e-4) << i << "," << j;

    // Every participant with detailed output; only those beyond the cut
    // without it.
    const auto personFit = [](const nlohmann::json& fit, const std::vector<std::vector<double>>& rows) {
        ASSERT_EQ(fit["cases"].size(), rows.size());
        for (std::size_t i = 0; i < rows.size(); ++i) {
            EXPECT_EQ(fit["cases"][i].get<double>(), rows[i][0]);
            EXPECT_NEAR(fit["lc"][i].get<double>(), rows[i][1], 5e-4);
        }
    };
    const nlohmann::json& fit = doc.at("person_fit");
    EXPECT_TRUE(fit["all_cases"].get<bool>());
    personFit(fit, numberedRows(text, "Person-Fit Indices for individuals"));
    EXPECT_NEAR(fit["smallest"].get<double>(), numbersOn(text, "\nSmallest = ").at(0), 5e-5);
    ASSERT_EQ(analyse({kExamples + "items.dat", "--factors", "2", "--set", "personFit=on", "--set",
                       "detailedOutput=off", "--report", report, "--json", results})
                  .status,
              0);
    const nlohmann::json brief = nlohmann::json::parse(slurp(results));
    EXPECT_FALSE(brief.contains("dispersion_matrix"));
    EXPECT_FALSE(brief.at("person_fit")["all_cases"].get<bool>());
    personFit(brief["person_fit"], numberedRows(slurp(report), "Cases with large Person-Fit"));
}

}  // namespace
}  // namespace talvex
