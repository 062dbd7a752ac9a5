// A run with Simplimax asks the user through the Simplimax dialog: Cancel
// (or the end of the script) halts the run, OK rotates with the choice.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "analysis/analysis_run.h"
#include "analysis/run_state.h"
#include "analysis/session.h"
#include "support/report_testing.h"
#include "support/scripted_window_system.h"
#include "support/temp_files.h"

namespace talvex::testing {
namespace {

// 150 participants, 6 variables in two clusters of three; two factors.
void twoClusters(AnalysisSession& session, const std::string& output) {
    DataSet& d = session.data;
    d.scoresFileName = "scores.dat";
    d.variableCount = 6;
    d.participantCount = d.rowsRead = 150;
    d.rawScores = Matrix(150, 6);
    d.missingMask = Matrix(150, 6);
    d.variableList = Matrix(6, 2);
    std::mt19937 gen(11);
    std::normal_distribution<double> z;
    for (int i = 0; i < 150; ++i) {
        d.rowNumbers.push_back(i + 1);
        const double f1 = z(gen), f2 = 0.3 * f1 + 0.95 * z(gen);
        for (int j = 0; j < 6; ++j) d.rawScores[i][j] = (j < 3 ? f1 : f2) + 0.7 * z(gen);
    }
    for (int j = 0; j < 6; ++j) {
        d.variableList[j][0] = j;
        d.variableList[j][1] = 1;
    }
    d.dataRead = true;
    session.settings.factorCountProcedure = MAP;
    session.settings.factorCount = 2;
    session.settings.simplicityRotation = kSimplimax;
    session.settings.outputFileName = output;
    session.configured = true;
}

struct FixedClock : RunClock {
    ClockTime localTime() override { return {}; }
    std::int64_t calendarSeconds() override { return 0; }
};

// 12 cells: the offered range (6 to 8 zeros) is too small to run, so the
// user widens it to 6..9 zeros first.
DialogAnswer computeSelectOk(DialogModel& d, ScriptedWindowSystem& ws) {
    EXPECT_TRUE(d.press("compute", {}, ws));
    EXPECT_EQ(ws.messageTexts(),
              std::vector<std::string>{"The interval of number of zeros is too small"});
    d.set("minimumSalient", "3");
    EXPECT_TRUE(d.press("compute", {}, ws));
    EXPECT_TRUE(d.press("select", {"6"}, ws));
    return DialogAnswer::Ok;
}

TEST(SimplimaxRun, TheDialogDecidesBetweenHaltAndRotation) {
    const std::string halt = "WARNING: Analisys was halted by the user.\n\n" + kSectionEnd +
                             "TALVEX completed\nComputing time: ";
    const std::string target =
        "SEMI-SPECIFIED TARGET LOADING MATRIX\nObtained from prerotation of the loading matrix\n";
    const std::string rotated = "\nROTATED LOADING MATRIX \n";
    struct Row {
        const char* name;
        std::vector<ScriptedWindowSystem::DialogStep> steps;
        bool halted;
    };
    const Row rows[] = {
        {"cancel", {cancel()}, true},
        {"end of input", {}, true},
        {"compute, select, ok", {computeSelectOk}, false},
    };
    TempDir dir;
    FixedClock clock;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedWindowSystem ws;
        for (const auto& step : row.steps) ws.dialogSteps.push_back(step);
        AnalysisSession session;
        twoClusters(session, dir.file("report.txt"));
        runAnalysis(session, ws, clock);
        const std::string report = readWholeFile(session.settings.outputFileName);
        EXPECT_EQ(ws.dialogTitles, std::vector<std::string>{"Simplimax rotation"});
        EXPECT_EQ(report.find(halt) != std::string::npos, row.halted);
        EXPECT_EQ(report.find(rotated) != std::string::npos, !row.halted);
        EXPECT_EQ(report.find(target) != std::string::npos, !row.halted);
        EXPECT_EQ(ws.status[0], row.halted ? "Analysis stopped!" : "Job done!");
        EXPECT_EQ(ws.openedReports.size(), 1u);
        EXPECT_FALSE(ws.progressVisible);
    }
}

}  // namespace
}  // namespace talvex::testing
