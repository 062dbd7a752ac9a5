// The main window: command words and Exit releasing every matrix. Whole
// sessions through the terminal loop are compared in tests/transcripts and
// tests/reports.
#include <gtest/gtest.h>

#include <string>

#include "app/main_window.h"
#include "core/matrix.h"
#include "support/scripted_window_system.h"

namespace talvex {
namespace {

using testing::ScriptedWindowSystem;

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

}  // namespace
}  // namespace talvex
