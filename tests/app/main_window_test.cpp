// The main window's command words and its Read Data command: Cancel, the
// order of the side files, and what a later read leaves in the session.
// Whole sessions through the terminal loop are compared in tests/transcripts
// and tests/reports.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "analysis/session.h"
#include "app/commands.h"
#include "app/main_window.h"
#include "core/matrix.h"
#include "data/data_files.h"
#include "support/matrix_testing.h"
#include "support/scripted_window_system.h"
#include "support/temp_files.h"

namespace talvex::testing {
namespace {

TEST(MainWindow, CommandWordsAndCaptionsInAnyCase) {
    // (The transcripts type the short words.)
    const std::pair<const char*, MainCommand> words[] = {
        {"  Read Data \r", MainCommand::ReadData}, {"CONFIGURE", MainCommand::ConfigureAnalysis},
        {"configure analysis", MainCommand::ConfigureAnalysis}, {"About TALVEX", MainCommand::About}};
    for (const auto& [text, command] : words) EXPECT_EQ(parseMainCommand(text), command) << text;
    for (const char* text : {"", "rea", "read data now"})
        EXPECT_FALSE(parseMainCommand(text).has_value()) << text;
}

using Values = std::vector<std::pair<std::string, std::string>>;

class ReadDataCommand : public PoolTest {
protected:
    // Reads six rows of three scores (every value unique per line) with
    // `extra` set after the sample values.
    void readScores(const Values& extra = {}) {
        Values values = {{"dataKind", "scores"},
                         {"participantCount", "6"},
                         {"variableCount", "3"},
                         {"scoresFileName", dir.write("scores.dat", kSixRows)}};
        values.insert(values.end(), extra.begin(), extra.end());
        ws.dialogSteps.push_back(setAndOk(values));
        // The target information, when shown: its counts are recorded.
        ws.dialogSteps.push_back([this](DialogModel& d, ScriptedWindowSystem&) {
            for (const char* key : {"columns", "positiveFree", "negativeFree", "specified"})
                targetCounts += d.find(key)->value + " ";
            return DialogAnswer::Ok;
        });
        readDataCommand(session, ws);
        ws.dialogSteps.clear();
    }
    void expectStatus(const std::string& line1) {
        EXPECT_EQ(ws.status[0], line1);
        EXPECT_EQ(ws.status[1] + ws.status[2], "");
    }

    std::string targetCounts;
    const std::string kSixRows = "1 2 3\n2 3 4\n3 4 5\n4 5 6\n5 6 7\n6 7 8\n";
    TempDir dir;
    AnalysisSession session;
    ScriptedWindowSystem ws;
};

TEST_F(ReadDataCommand, CancelChangesNothingButResetsTheTickerAndStatus) {
    readScores();
    const Matrix scores = session.data.rawScores;
    session.ticker.attach(ws);
    for (int k = 0; k < 600; ++k) session.ticker.tick();
    session.ticker.detach();
    ASSERT_EQ(session.ticker.position(), 1);
    ws.status[0] = "Job done!";
    ws.dialogSteps.push_back([](DialogModel& d, ScriptedWindowSystem& w) {
        EXPECT_EQ(w.status[0], "");
        d.set("variableCount", "5");
        return DialogAnswer::Cancel;
    });
    readDataCommand(session, ws);
    EXPECT_EQ(session.ticker.count(), 0u);
    EXPECT_EQ(session.ticker.position(), 0);
    EXPECT_EQ(session.ticker.direction(), 1);
    expectStatus("");
    EXPECT_EQ(session.data.variableCount, 3);
    EXPECT_TRUE(session.data.rawScores.sameAs(scores));
}

TEST_F(ReadDataCommand, TargetThenLabelsAndALaterReadForgetsThem) {
    readScores({{"targetEnabled", "1"},
                {"targetFileName", dir.write("target.dat", "9 0 0\n0 -9 12\n0 0 0.4\n")},
                {"labelsEnabled", "1"},
                {"labelsFileName", dir.write("labels.txt", "first\nsecond\nthird\n")}});
    EXPECT_EQ(ws.dialogTitles, (std::vector<std::string>{"Sample", "User provided target matrix"}));
    EXPECT_EQ(targetCounts, "3 1 1 6 ");  // 12 is free but neither +9 nor -9
    expectStatus("Ready!");
    EXPECT_EQ(session.settings.factorCount, 3);
    EXPECT_EQ(session.settings.rotationKind, Target);
    EXPECT_EQ(session.data.labels, (std::vector<std::string>{"first", "second", "third"}));

    readScores({{"targetEnabled", "0"}, {"labelsEnabled", "0"}});
    EXPECT_TRUE(session.data.dataRead);
    EXPECT_FALSE(session.data.targetMatrix.valid());
    EXPECT_TRUE(session.data.labels.empty());
}

}  // namespace
}  // namespace talvex::testing
