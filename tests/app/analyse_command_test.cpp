// `talvex analyse` end to end on the bundled example: exit statuses and
// their messages, the report of the terminal session, the JSON results.
#include <gtest/gtest.h>

#include <bit>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/analyse_command.h"
#include "app/main_window.h"
#include "app/terminal_window_system.h"
#include "core/random.h"
#include "support/temp_files.h"

namespace talvex {
namespace {

const std::string kExamples = std::string(TALVEX_SOURCE_DIR) + "/examples/";
const std::string kExports = std::string(TALVEX_TEST_DIR) + "/data/exports/";

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
    // 32 rows of a Sylvester-Hadamard matrix, 8 of its columns as scores 1
    // and 2: every correlation is exactly 0, so no dimension beats random data.
    std::string hadamard = "a,b,c,d,e,f,g,h\n";
    for (int row = 0; row < 32; ++row)
        for (int column = 1; column <= 8; ++column)
            hadamard += std::to_string(std::popcount(static_cast<unsigned>(row & column)) % 2 ? 1 : 2) + (column < 8 ? "," : "\n");
    const std::string uncorrelated = dir.write("h.csv", hadamard);
    const std::string inputs = std::string(TALVEX_SOURCE_DIR) + "/tests/reports/inputs/";
    const std::string matrix = inputs + "covariance.dat";
    std::string columns3;  // a target of three factors for likert.dat's ten items
    for (int item = 0; item < 10; ++item) columns3 += item % 3 == 0 ? "9 0 0\n" : "0 9 0\n";
    const std::string target3 = dir.write("t3.txt", columns3);
    const struct {
        std::vector<std::string> args;
        int status;
        std::string err;  // before "|": on standard output
    } cases[] = {
        {{withNa, "--factors", "2", "--rotation", "Normalized Varimax"}, 0, ""},
        {{shortRow}, 2, "line 8: 11 values where line 2 has 12"},
        {{dir.file("none.csv")}, 2, "cannot read the data file"},
        {{kExports + "remark.dta"}, 2, "remark.dta: variable \"remark\" holds text"},
        {{kExports + "r_write.csv", "--factors", "1"}, 0,
         "r_write.csv read as CSV (by its name)\ntalvex analyse: " + kExports +
             "r_write.csv: column 1 names the rows and is left out of the analysis\n"},
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
        // The advised number by default; none is a warning unless asked for.
        {{uncorrelated}, 1, "WARNING: The advised number of dimensions is 0: factors/components"},
        {{uncorrelated, "--factors", "0"}, 0, ""},
        {{uncorrelated, "--set", "useAdvisedFactorCount=off"}, 1, "will not be computed!"},
        {{withNa, "--procedure", "MAP", "--set", "secondOrderCount=3"}, 1,
         "The advised number of dimensions is 3.\n         The number of second order"},
        // MAP advises the two factors the ten items were chosen for.
        {{inputs + "likert.dat", "--procedure", "MAP", "--target", target3}, 1,
         "The advised number of dimensions is 2.\n         The rotation target matrix has 3 columns"},
        {{matrix, "--set", "dataKind=matrix", "--participants", "200", "--factors", "2"}, 0, ""},
        {{matrix, "--input-matrix", "--set", "dataKind=scores"}, 2, "contradict each other"},
        {{withNa, "--factors", "2", "--set", "saveFactorScores=on", "--json", dir.file("out_scores.txt")},
         2, "it is the file of the saved factor scores"},
        {{withNa, "--html", withNa}, 2,
         "The HTML page cannot be written to " + withNa + ": it is the Participants' Scores file"},
        {{withNa, "--html", report}, 2, "it is the report"},
        {{withNa, "--json", dir.file("r.json"), "--html", dir.file("r.json")}, 2, "it is the JSON results file"},
        {{withNa, "--json", dir.file("loadings.csv"), "--csv", dir.file(".")}, 2,
         "The CSV tables cannot be written to " + dir.file("./loadings.csv") + ": it is the JSON results file"},
        {{withNa, "--html", dir.file("loadings.csv"), "--csv", dir.file(".")}, 2, "it is the CSV table loadings.csv"},
        {{withNa, "--csv", dir.file("."), "--plots", dir.file(".")}, 0, ""},
        {{withNa, "--html", dir.file("hull.png"), "--plots", dir.file(".")}, 2,
         "The HTML page cannot be written to " + dir.file("hull.png") + ": it is the plot hull.png"},
        {{withNa, "--set", "paperThreshold=1.5"}, 2, "Please enter a number between 0 and 1"},
        {{withNa, "--plots", "/proc"}, 2, "The plots cannot be written to the folder /proc"},
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

// The page, the tables and a UTF-8 report of one run: the report's only
// non-ASCII text, the reading list after the descriptives, is UTF-8.
TEST(AnalyseCommand, PageTablesAndUtf8Report) {
    testing::TempDir dir;
    const std::string likert = std::string(TALVEX_SOURCE_DIR) + "/tests/reports/inputs/likert.dat";
    ASSERT_EQ(analyse({likert, "--factors", "2", "--detailed",
                       "--report", dir.file("r.txt"), "--html", dir.file("r.html"), "--csv",
                       dir.file("tables"), "--report-encoding", "utf-8"})
                  .status,
              0);
    const std::string report = slurp(dir.file("r.txt"));
    EXPECT_NE(report.find("Muth\xc3\xa9n, B."), std::string::npos);
    EXPECT_EQ(report.find("Muth\xe9n"), std::string::npos);
    EXPECT_NE(slurp(dir.file("r.html")).find("<td>V10</td>"), std::string::npos);
    const auto loadings = lines(slurp(dir.file("tables/loadings.csv")));
    ASSERT_EQ(loadings.size(), 11u);
    EXPECT_EQ(loadings[0], "variable,F1,F2\r");
    EXPECT_EQ(loadings[10].substr(0, 4), "V10,");
}

// The report onto a device that is always full, from the command and from
// a piped terminal session: an error box with the system's reason, neither
// "Report written" nor "Job done!", a failed session; the device stays one.
TEST(AnalyseCommand, ReportOntoAFullDevice) {
    const std::string box = "[error]\nThe report file could not be written:\n\n/dev/full: No space left on device";
    const Outcome o = analyse({kExamples + "items.csv", "--factors", "2", "--report", "/dev/full"});
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.err.find(box), std::string::npos) << o.err;
    EXPECT_EQ(o.out.find("Report written"), std::string::npos);

    std::istringstream session("read\nparticipantCount = 300\nvariableCount = 12\nscoresFileName = " +
                               kExamples + "items.dat\nok\nconfigure\nfactorCount = 2\n"
                               "outputFileName = /dev/full\nok\ncompute\nexit\n");
    std::ostringstream out, progress;
    TerminalWindowSystem terminal(session, out, progress, TerminalModes{});
    MainWindow window(terminal, "test");
    EXPECT_FALSE(runMainWindow(window, terminal));
    EXPECT_NE(out.str().find(box), std::string::npos) << out.str();
    EXPECT_EQ(out.str().find("Report written"), std::string::npos);
    EXPECT_NE(terminal.status()[0], "Job done!");
    EXPECT_TRUE(std::filesystem::is_character_file("/dev/full"));
}

// The report and the JSON results of a piped terminal session and of the
// command with the same choices are the same but for the time of the run
// and the report's path.
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

}  // namespace
}  // namespace talvex
