// The main window: command words, dispatch to the commands, Exit releasing
// every matrix, and Exit ending the terminal loop. The terminal loop's
// window, hints, About box and the refusals before Read Data are compared
// in tests/transcripts.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>

#include "app/main_window.h"
#include "app/terminal_window_system.h"
#include "core/matrix.h"
#include "support/scripted_window_system.h"
#include "support/temp_files.h"

namespace talvex {
namespace {

using testing::ScriptedWindowSystem;
using testing::setAndOk;

TEST(MainWindow, CommandWordsAndCaptionsInAnyCase) {
    const std::pair<const char*, MainCommand> words[] = {
        {"read", MainCommand::ReadData},     {"  Read Data \r", MainCommand::ReadData},
        {"CONFIGURE", MainCommand::ConfigureAnalysis},
        {"configure analysis", MainCommand::ConfigureAnalysis},
        {"compute", MainCommand::Compute},   {"About TALVEX", MainCommand::About},
        {"exit", MainCommand::Exit}};
    for (const auto& [text, command] : words) EXPECT_EQ(parseMainCommand(text), command) << text;
    for (const char* text : {"", "rea", "read data now"})
        EXPECT_FALSE(parseMainCommand(text).has_value()) << text;
}

TEST(MainWindow, ExitReleasesEveryMatrixAndClosesTheWindow) {
    ScriptedWindowSystem ws;
    MainWindow window(ws, "1.2.3");
    window.session().data.rawScores = Matrix(4, 3);  // outside every scope
    Matrix other(2, 2);
    ASSERT_GE(liveCount(), 2u);
    EXPECT_FALSE(window.execute(MainCommand::Exit));
    EXPECT_TRUE(window.closed());
    EXPECT_EQ(liveCount(), 0u);
    EXPECT_FALSE(window.execute(MainCommand::About));  // a closed window does nothing
    EXPECT_TRUE(ws.dialogTitles.empty());
}

TEST(MainWindow, ReadConfigureComputeWritesTheReport) {
    testing::TempDir dir;
    const std::string report = dir.file("report.txt");
    ScriptedWindowSystem ws;
    // 8 participants, 3 items on 1..4 (no missing values).
    ws.dialogSteps.push_back(setAndOk(
        {{"participantCount", "8"}, {"variableCount", "3"}, {"missingCodeEnabled", "0"},
         {"scoresFileName",
          dir.write("items.dat", "1 2 1\n2 2 3\n3 4 3\n4 3 4\n2 1 2\n3 3 2\n4 4 4\n1 1 2\n")}}));
    ws.dialogSteps.push_back(setAndOk(
        {{"factorCountProcedure", "MAP"}, {"factorCount", "1"}, {"outputFileName", report}}));
    MainWindow window(ws, "1.2.3");
    window.execute(MainCommand::ReadData);
    ASSERT_TRUE(window.session().data.dataRead) << ::testing::PrintToString(ws.messageTexts());
    window.execute(MainCommand::ConfigureAnalysis);
    ASSERT_TRUE(window.session().configured) << ::testing::PrintToString(ws.messageTexts());
    window.execute(MainCommand::Compute);
    EXPECT_EQ(ws.dialogTitles, (std::vector<std::string>{"Sample", "Configuration"}));
    EXPECT_EQ(ws.openedReports, std::vector<std::string>{report});
    EXPECT_TRUE(std::filesystem::exists(report));
    EXPECT_EQ(ws.status[0], "Job done!");
    EXPECT_FALSE(ws.progressVisible);
}

TEST(MainWindow, TerminalLoopStopsReadingAtExit) {
    std::istringstream in("exit\nabout\n");
    std::ostringstream out, err;
    TerminalWindowSystem terminal(in, out, err, TerminalModes{});
    MainWindow window(terminal, "0.1.0");
    runMainWindow(window, terminal);
    const std::string text = out.str();
    EXPECT_EQ(text.substr(text.size() - 13), "talvex> exit\n");
    EXPECT_EQ(text.find("about\n"), std::string::npos);
}

}  // namespace
}  // namespace talvex
