// The Read Data command: status lines, ticker reset, Cancel, the sample size
// rule, the order of the files, and what success and each failure leave in
// the session.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "analysis/session.h"
#include "app/commands.h"
#include "data/data_files.h"
#include "support/matrix_testing.h"
#include "support/scripted_window_system.h"
#include "support/temp_files.h"

namespace talvex::testing {
namespace {

class ReadDataCommand : public PoolTest {
protected:
    // Six rows of three scores, lines numbered so every value is unique.
    std::string sixRows() const { return "1 2 3\n2 3 4\n3 4 5\n4 5 6\n5 6 7\n6 7 8\n"; }

    // A successful scores read of N = 6, m = 3.
    void readScores(std::vector<std::pair<std::string, std::string>> extra = {}) {
        std::vector<std::pair<std::string, std::string>> values = {
            {"dataKind", "scores"},
            {"participantCount", "6"},
            {"variableCount", "3"},
            {"scoresFileName", dir.write("scores.dat", sixRows())},
        };
        values.insert(values.end(), extra.begin(), extra.end());
        ws.dialogSteps.push_back(setAndOk(values));
        readDataCommand(session, ws);
    }

    void expectStatus(const std::string& line1) {
        EXPECT_EQ(ws.status[0], line1);
        EXPECT_EQ(ws.status[1], "");
        EXPECT_EQ(ws.status[2], "");
    }

    TempDir dir;
    AnalysisSession session;
    ScriptedWindowSystem ws;
};

TEST_F(ReadDataCommand, ScoresSuccess) {
    session.configured = true;
    session.settings.dispersionType = PearsonCorrelation;
    session.rotations.simplicity[kPromin].randomStarts = 77;
    readScores({{"missingCode", "7"}});

    EXPECT_EQ(ws.dialogTitles, std::vector<std::string>{"Sample"});
    EXPECT_TRUE(ws.messages.empty());
    expectStatus("Ready!");
    EXPECT_TRUE(session.data.dataRead);
    EXPECT_FALSE(session.configured);
    EXPECT_EQ(session.rotations.simplicity[kPromin].randomStarts, 10);
    EXPECT_EQ(session.settings.dispersionType, DispersionNotChosen);
    EXPECT_EQ(session.settings.factorCountProcedure, ParallelAnalysis);
    EXPECT_EQ(session.data.participantCount, 6);
    EXPECT_EQ(session.data.variableCount, 3);
    EXPECT_TRUE(session.data.missingCodeEnabled);
    EXPECT_EQ(session.data.missingCode, 7);
    // The 7 of the last row is the missing code.
    EXPECT_EQ(session.data.missingMask[5][1], 1.0);
    EXPECT_EQ(session.settings.lowestScore, 1);
    EXPECT_EQ(session.settings.highestScore, 8);
    ASSERT_EQ(session.data.variableList.rows(), 3);
    for (int j = 0; j < 3; ++j) {
        EXPECT_EQ(session.data.variableList[j][0], j);
        EXPECT_EQ(session.data.variableList[j][1], 1.0);
    }
}

TEST_F(ReadDataCommand, CancelChangesNothingButClearsTheStatus) {
    readScores();
    const Matrix scores = session.data.rawScores;
    session.settings.factorCount = 4;
    session.configured = true;
    session.rotations.simplicity[kPromin].randomStarts = 77;
    session.ticker.attach(ws);
    for (int k = 0; k < 600; ++k) session.ticker.tick();
    session.ticker.detach();
    ASSERT_EQ(session.ticker.position(), 1);

    ws.status[0] = "Job done!";
    ws.dialogSteps.push_back([](DialogModel& d, ScriptedWindowSystem& w) {
        EXPECT_EQ(w.status[0], "");
        // Pre-filled from the last read.
        EXPECT_EQ(d.find("participantCount")->value, "6");
        EXPECT_EQ(d.find("variableCount")->value, "3");
        d.set("variableCount", "5");
        return DialogAnswer::Cancel;
    });
    readDataCommand(session, ws);

    EXPECT_EQ(session.ticker.count(), 0u);
    EXPECT_EQ(session.ticker.position(), 0);
    EXPECT_EQ(session.ticker.direction(), 1);
    expectStatus("");
    EXPECT_TRUE(session.data.dataRead);
    EXPECT_TRUE(session.configured);
    EXPECT_EQ(session.data.variableCount, 3);
    EXPECT_TRUE(session.data.rawScores.sameAs(scores));
    EXPECT_EQ(session.settings.factorCount, 4);
    EXPECT_EQ(session.rotations.simplicity[kPromin].randomStarts, 77);
}

TEST_F(ReadDataCommand, MatrixWithoutSampleSizeSelectsMap) {
    ws.dialogSteps.push_back(setAndOk({
        {"dataKind", "matrix"},
        {"participantCount", "0"},
        {"variableCount", "2"},
        {"matrixFileName", dir.write("cov.dat", "2 1\n1 3\n")},
    }));
    readDataCommand(session, ws);
    expectStatus("Ready!");
    EXPECT_EQ(session.settings.factorCountProcedure, MAP);
    EXPECT_EQ(session.settings.dispersionType, UserMatrix);
    EXPECT_EQ(session.settings.lowestScore, 0);
    EXPECT_EQ(session.settings.highestScore, 0);
    EXPECT_EQ(session.data.participantCount, 0);
    EXPECT_FALSE(session.data.missingCodeEnabled);
    EXPECT_EQ(session.data.userMatrix[1][1], 3.0);

    // The next Read Data opens on the matrix file.
    ws.dialogSteps.push_back([](DialogModel& d, ScriptedWindowSystem&) {
        EXPECT_EQ(d.find("dataKind")->value, "1");
        EXPECT_FALSE(d.find("missingCode")->enabled);
        return DialogAnswer::Cancel;
    });
    readDataCommand(session, ws);
}

TEST_F(ReadDataCommand, TargetThenLabels) {
    TargetCounts shown;
    ws.dialogSteps.push_back(setAndOk({
        {"participantCount", "6"},
        {"variableCount", "3"},
        {"scoresFileName", dir.write("scores.dat", sixRows())},
        {"targetEnabled", "1"},
        {"targetFileName", dir.write("target.dat", "9 0 0\n0 -9 12\n0 0 0.4\n")},
        {"labelsEnabled", "1"},
        {"labelsFileName", dir.write("labels.txt", "first\nsecond\nthird\n")},
    }));
    ws.dialogSteps.push_back([&](DialogModel& d, ScriptedWindowSystem&) {
        shown.columns = std::stoi(d.find("columns")->value);
        shown.positiveFree = std::stoi(d.find("positiveFree")->value);
        shown.negativeFree = std::stoi(d.find("negativeFree")->value);
        shown.specified = std::stoi(d.find("specified")->value);
        EXPECT_FALSE(d.find("explanation")->options.empty());
        return DialogAnswer::Ok;
    });
    readDataCommand(session, ws);

    EXPECT_EQ(ws.dialogTitles,
              (std::vector<std::string>{"Sample", "User provided target matrix"}));
    EXPECT_EQ(shown.columns, 3);
    EXPECT_EQ(shown.positiveFree, 1);
    EXPECT_EQ(shown.negativeFree, 1);
    EXPECT_EQ(shown.specified, 6);  // 12 is free but neither +9 nor -9
    EXPECT_EQ(session.settings.factorCount, 3);
    EXPECT_EQ(session.settings.rotationKind, Target);
    EXPECT_EQ(session.data.labels, (std::vector<std::string>{"first", "second", "third"}));
    expectStatus("Ready!");
    EXPECT_TRUE(session.data.dataRead);

    // A later read without side files forgets them.
    readScores({{"targetEnabled", "0"}, {"labelsEnabled", "0"}});
    EXPECT_TRUE(session.data.dataRead);
    EXPECT_FALSE(session.data.targetMatrix.valid());
    EXPECT_TRUE(session.data.labels.empty());
}

TEST_F(ReadDataCommand, EachFailureClearsDataReadAndSetsItsStatus) {
    struct Case {
        const char* name;
        std::vector<std::pair<std::string, std::string>> values;
        std::string status;
        std::size_t messages;
    };
    const std::string badScores = dir.write("bad.dat", "1 2 3\n");
    const std::string bigTarget = dir.write("short_target.dat", "0 9\n0 0\n");
    const std::string shortLabels = dir.write("short_labels.txt", "one\n");
    const std::string goodTarget = dir.write("target.dat", "0 9\n0 0\n9 0\n");
    const std::vector<Case> cases = {
        {"short scores file", {{"scoresFileName", badScores}}, "Error in data file!", 1},
        {"short matrix",
         {{"dataKind", "matrix"}, {"matrixFileName", dir.write("cov.dat", "1 0 0\n0 1 0\n")}},
         "Error in data file!",
         1},
        // The target fails first, so the labels file is never read.
        {"short target",
         {{"targetEnabled", "1"},
          {"targetFileName", bigTarget},
          {"labelsEnabled", "1"},
          {"labelsFileName", shortLabels}},
         "Error in rotation target file!",
         1},
        {"short labels",
         {{"targetEnabled", "1"},
          {"targetFileName", goodTarget},
          {"labelsEnabled", "1"},
          {"labelsFileName", shortLabels}},
         "Error in variable labels file!",
         1},
    };
    for (const Case& c : cases) {
        // The side files of the previous case are remembered: untick them.
        readScores({{"targetEnabled", "0"}, {"labelsEnabled", "0"}});
        ASSERT_TRUE(session.data.dataRead) << c.name;
        ws.messages.clear();
        std::vector<std::pair<std::string, std::string>> values = {
            {"participantCount", "6"},
            {"variableCount", "3"},
            {"scoresFileName", dir.write("scores.dat", sixRows())},
        };
        values.insert(values.end(), c.values.begin(), c.values.end());
        ws.dialogSteps.push_back(setAndOk(values));
        ws.dialogSteps.push_back(setAndOk({}));  // the target information, when shown
        readDataCommand(session, ws);
        ws.dialogSteps.clear();
        EXPECT_FALSE(session.data.dataRead) << c.name;
        expectStatus(c.status);
        EXPECT_EQ(ws.messages.size(), c.messages) << c.name;
    }
}

TEST_F(ReadDataCommand, RefusingToGoOnAfterDroppedRows) {
    readScores();
    std::string content;
    for (int r = 0; r < 6; ++r) content += "1 2\n";
    ws.yesNoAnswers = {false};
    ws.dialogSteps.push_back(setAndOk({
        {"participantCount", "10"},
        {"scoresFileName", dir.write("gaps.dat", content + sixRows())},
    }));
    readDataCommand(session, ws);
    EXPECT_FALSE(session.data.dataRead);
    expectStatus("Too many missing values!");
    ASSERT_EQ(ws.messages.size(), 7u);
    EXPECT_EQ(ws.messages.back().icon, MessageIcon::Question);
}

}  // namespace
}  // namespace talvex::testing
