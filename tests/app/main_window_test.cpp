// The main window: command words, dispatch to the commands, the About box,
// Exit releasing every matrix, and the terminal loop around it.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "app/main_window.h"
#include "app/terminal_window_system.h"
#include "core/matrix.h"
#include "support/scripted_window_system.h"

namespace talvex {
namespace {

using testing::cancel;
using testing::DialogAnswer;
using testing::ScriptedWindowSystem;
using testing::setAndOk;

TEST(MainCommands, WordsAndCaptionsInAnyCase) {
    EXPECT_EQ(parseMainCommand("read"), MainCommand::ReadData);
    EXPECT_EQ(parseMainCommand("  Read Data \r"), MainCommand::ReadData);
    EXPECT_EQ(parseMainCommand("CONFIGURE"), MainCommand::ConfigureAnalysis);
    EXPECT_EQ(parseMainCommand("configure analysis"), MainCommand::ConfigureAnalysis);
    EXPECT_EQ(parseMainCommand("compute"), MainCommand::Compute);
    EXPECT_EQ(parseMainCommand("About TALVEX"), MainCommand::About);
    EXPECT_EQ(parseMainCommand("exit"), MainCommand::Exit);
    EXPECT_FALSE(parseMainCommand("").has_value());
    EXPECT_FALSE(parseMainCommand("rea").has_value());
    EXPECT_FALSE(parseMainCommand("read data now").has_value());
}

TEST(MainWindowDispatch, CommandsBeforeReadDataShowTheirErrorsAndNoDialog) {
    ScriptedWindowSystem ws;
    MainWindow window(ws, "1.2.3");
    EXPECT_TRUE(window.execute(MainCommand::Compute));
    EXPECT_TRUE(window.execute(MainCommand::ConfigureAnalysis));
    ASSERT_EQ(ws.messages.size(), 2u);
    EXPECT_EQ(ws.messages[0].text, "Data must be read before the computing");
    EXPECT_EQ(ws.messages[0].icon, MessageIcon::Error);
    EXPECT_EQ(ws.messages[1].text, "Data must be read before the definition of the analysis");
    EXPECT_EQ(ws.messages[1].icon, MessageIcon::Error);
    EXPECT_TRUE(ws.dialogTitles.empty());
    EXPECT_FALSE(ws.progressVisible);
}

TEST(MainWindowDispatch, ReadDataOpensTheSampleDialog) {
    ScriptedWindowSystem ws;
    ws.dialogSteps.push_back(cancel());
    MainWindow window(ws, "1.2.3");
    EXPECT_TRUE(window.execute(MainCommand::ReadData));
    ASSERT_EQ(ws.dialogTitles.size(), 1u);
    EXPECT_EQ(ws.dialogTitles[0], "Sample");
    EXPECT_FALSE(window.session().data.dataRead);
}

TEST(MainWindowDispatch, AboutShowsVersionWithOnlyOk) {
    ScriptedWindowSystem ws;
    std::string text;
    std::size_t buttons = 99;
    ws.dialogSteps.push_back([&](DialogModel& d, ScriptedWindowSystem&) {
        for (const Control& c : d.controls()) {
            EXPECT_EQ(d.set(c.key, "x"), SetResult::Disabled);  // nothing to edit
            for (const ControlOption& o : c.options) text += o.caption + "\n";
        }
        buttons = d.buttons().size();
        return DialogAnswer::Ok;
    });
    MainWindow window(ws, "4.5.6");
    EXPECT_TRUE(window.execute(MainCommand::About));
    ASSERT_EQ(ws.dialogTitles.size(), 1u);
    EXPECT_EQ(ws.dialogTitles[0], "About TALVEX");
    EXPECT_NE(text.find("TALVEX 4.5.6"), std::string::npos) << text;
    EXPECT_NE(text.find("Released "), std::string::npos) << text;
    EXPECT_EQ(buttons, 0u);
    EXPECT_TRUE(ws.messages.empty());
}

TEST(MainWindowDispatch, ExitReleasesEveryMatrixAndClosesTheWindow) {
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

// Read Data, Configure Analysis and Compute in a row reach the report.
TEST(MainWindowDispatch, ReadConfigureComputeWritesTheReport) {
    const auto dir = std::filesystem::temp_directory_path() / "talvex_main_window_test";
    std::filesystem::create_directories(dir);
    const auto data = dir / "items.dat";
    const auto report = dir / "report.txt";
    std::filesystem::remove(report);
    {
        std::ofstream f(data);
        // 8 participants, 3 items on 1..4 (no missing values).
        f << "1 2 1\n2 2 3\n3 4 3\n4 3 4\n2 1 2\n3 3 2\n4 4 4\n1 1 2\n";
    }
    ScriptedWindowSystem ws;
    ws.dialogSteps.push_back(setAndOk({{"participantCount", "8"},
                                       {"variableCount", "3"},
                                       {"dataKind", "scores"},
                                       {"scoresFileName", data.string()},
                                       {"missingCodeEnabled", "0"}}));
    ws.dialogSteps.push_back(setAndOk({{"factorCountProcedure", "MAP"},
                                       {"factorCount", "1"},
                                       {"outputFileName", report.string()}}));
    MainWindow window(ws, "1.2.3");
    window.execute(MainCommand::ReadData);
    ASSERT_TRUE(window.session().data.dataRead) << ::testing::PrintToString(ws.messageTexts());
    EXPECT_EQ(ws.status[0], "Ready!");
    window.execute(MainCommand::ConfigureAnalysis);
    ASSERT_TRUE(window.session().configured) << ::testing::PrintToString(ws.messageTexts());
    window.execute(MainCommand::Compute);
    EXPECT_EQ(ws.dialogTitles, (std::vector<std::string>{"Sample", "Configuration"}));
    ASSERT_EQ(ws.openedReports.size(), 1u);
    EXPECT_EQ(ws.openedReports[0], report.string());
    EXPECT_TRUE(std::filesystem::exists(report));
    EXPECT_EQ(ws.status[0], "Job done!");
    EXPECT_FALSE(ws.progressVisible);
    std::filesystem::remove_all(dir);
}

// The terminal loop: the window, one command per line, a hint for an
// unknown command, help reprinting the window, end of input as exit.
TEST(MainWindowTerminal, LoopPrintsTheWindowAndDispatches) {
    std::istringstream in("\nfly\nhelp\nabout\nok\nCompute\n");
    std::ostringstream out;
    std::ostringstream err;
    TerminalWindowSystem terminal(in, out, err, TerminalModes{});
    MainWindow window(terminal, "0.1.0");
    runMainWindow(window, terminal);
    EXPECT_TRUE(window.closed());
    const std::string menu =
        "Talvex\n"
        "  read       Read Data\n"
        "  configure  Configure Analysis\n"
        "  compute    Compute\n"
        "  about      About TALVEX\n"
        "  exit       Exit\n"
        "  status 1\n"
        "  status 2\n"
        "  status 3\n";
    const std::string expected =
        menu +
        "talvex> \n"
        "talvex> fly\n"
        "Unknown command \"fly\"; the commands are read, configure, compute, about and exit.\n"
        "talvex> help\n" +
        menu +
        "talvex> about\n"
        "About TALVEX\n"
        "    TALVEX 0.1.0 - exploratory factor analysis of tests and questionnaires\n"
        "    Runs on Linux and other POSIX systems, at a terminal or from a script\n"
        "    Released December 2026\n"
        "    Written by the TALVEX developers\n"
        "About TALVEX> ok\n"
        "talvex> Compute\n"
        "[error]\nData must be read before the computing\n"
        "talvex> \n";
    EXPECT_EQ(out.str(), expected);
    EXPECT_EQ(err.str(), "");
}

TEST(MainWindowTerminal, ExitStopsReadingInput) {
    std::istringstream in("exit\nabout\n");
    std::ostringstream out;
    std::ostringstream err;
    TerminalWindowSystem terminal(in, out, err, TerminalModes{});
    MainWindow window(terminal, "0.1.0");
    runMainWindow(window, terminal);
    const std::string text = out.str();
    EXPECT_NE(text.find("talvex> exit\n"), std::string::npos);
    EXPECT_EQ(text.find("about\n"), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 13), "talvex> exit\n");
}

}  // namespace
}  // namespace talvex
