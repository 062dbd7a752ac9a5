#include "app/main_window.h"

#include <ostream>

#include "analysis/analysis_run.h"
#include "app/about_dialog.h"
#include "app/commands.h"
#include "app/line_editor.h"
#include "app/terminal_window_system.h"
#include "app/text_util.h"
#include "core/matrix.h"

namespace talvex {

namespace {

std::string normalized(const std::string& text) { return lower(trim(text)); }

// Status line 1 after a run that completed.
constexpr const char* kRunCompleted = "Job done!";

}  // namespace

std::optional<MainCommand> parseMainCommand(const std::string& text) {
    const std::string word = normalized(text);
    for (const MainCommandInfo& info : kMainCommands)
        if (word == info.key || word == normalized(info.caption)) return info.command;
    return std::nullopt;
}

MainWindow::MainWindow(WindowSystem& ws, std::string version)
    : ws_(ws), version_(std::move(version)) {}

MainWindow::~MainWindow() { close(); }

bool MainWindow::execute(MainCommand command) {
    if (closed_) return false;
    switch (command) {
        case MainCommand::ReadData:
            readDataCommand(session_, ws_);
            break;
        case MainCommand::ConfigureAnalysis:
            configureCommand(session_, ws_);
            break;
        case MainCommand::Compute:
            runAnalysis(session_, ws_);
            break;
        case MainCommand::About: {
            AboutDialog about(version_);
            ws_.runDialog(about);
            break;
        }
        case MainCommand::Exit:
            close();
            break;
    }
    return !closed_;
}

void MainWindow::close() {
    if (closed_) return;
    closed_ = true;
    // The data set's matrices live outside every scope until the window
    // closes.
    releaseAll();
}

void printMainWindow(TerminalWindowSystem& terminal) {
    std::ostream& out = terminal.out();
    out << MainWindow::kTitle << '\n';
    for (const MainCommandInfo& info : kMainCommands) {
        const std::string key = info.key;
        out << "  " << key << std::string(11 - key.size(), ' ') << info.caption << '\n';
    }
    terminal.printStatus(true);
}

bool runMainWindow(MainWindow& window, TerminalWindowSystem& terminal) {
    printMainWindow(terminal);
    const Completer completer = [](const std::string& before) {
        const std::size_t start = inputWordStart(before);
        std::vector<std::string> words{"help", "show"};
        for (const MainCommandInfo& info : kMainCommands) words.emplace_back(info.key);
        if (!trim(before.substr(0, start)).empty()) words.clear();  // commands take no arguments
        return std::optional(withPrefix(before.substr(start), words));
    };
    bool completed = false;
    while (!window.closed()) {
        const auto line = terminal.readLine("talvex> ", completer);
        if (!line) {  // end of input is Exit
            window.close();
            break;
        }
        const std::string word = normalized(*line);
        if (word.empty()) continue;
        if (word == "help" || word == "show") {
            printMainWindow(terminal);
            continue;
        }
        if (const auto command = parseMainCommand(word)) {
            if (*command == MainCommand::Compute) terminal.clearErrorShown();
            window.execute(*command);
            // Only a completed run sets this status line; an earlier run's
            // line left in place means the run did not start, with an error box.
            if (*command == MainCommand::Compute) completed = terminal.status()[0] == kRunCompleted;
        } else {
            terminal.out() << "Unknown command \"" << *line
                           << "\"; the commands are read, configure, compute, about and exit.\n";
        }
    }
    return completed && !terminal.errorShown();
}

}  // namespace talvex
