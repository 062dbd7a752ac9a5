// The main window: the five commands, the three status lines, and the
// session (settings, data, rotation parameters, progress ticker) that lives
// as long as the window.
#pragma once

#include <array>
#include <optional>
#include <string>

#include "analysis/session.h"

namespace talvex {

class WindowSystem;
class TerminalWindowSystem;

enum class MainCommand { ReadData, ConfigureAnalysis, Compute, About, Exit };

struct MainCommandInfo {
    MainCommand command;
    const char* key;      // what the terminal accepts
    const char* caption;  // the button's caption
};

// In the order the window lists them.
inline constexpr std::array<MainCommandInfo, 5> kMainCommands{{
    {MainCommand::ReadData, "read", "Read Data"},
    {MainCommand::ConfigureAnalysis, "configure", "Configure Analysis"},
    {MainCommand::Compute, "compute", "Compute"},
    {MainCommand::About, "about", "About TALVEX"},
    {MainCommand::Exit, "exit", "Exit"},
}};

// A command from its key or its caption, case-insensitive and trimmed.
std::optional<MainCommand> parseMainCommand(const std::string& text);

class MainWindow {
public:
    static constexpr const char* kTitle = "Talvex";

    // The settings and the data start with their defaults.
    MainWindow(WindowSystem& ws, std::string version);
    ~MainWindow();
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    AnalysisSession& session() { return session_; }
    // Runs one command; false once Exit has closed the window.
    bool execute(MainCommand command);
    // Exit: closes the window and releases every matrix still alive.
    void close();
    bool closed() const { return closed_; }

private:
    WindowSystem& ws_;
    std::string version_;
    AnalysisSession session_;
    bool closed_ = false;
};

// Prints the window (title, commands, status lines).
void printMainWindow(TerminalWindowSystem& terminal);

// The terminal loop: the window, then one command per line at "talvex> "
// until exit or end of input; an unknown command gets a one-line hint.
// True when the session ended well: its last compute completed (the run
// ended with "Job done!") and no error box was shown since.
bool runMainWindow(MainWindow& window, TerminalWindowSystem& terminal);

}  // namespace talvex
