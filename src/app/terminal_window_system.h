// The terminal front end: a line-based form interface over an input and an
// output stream, with the progress window on a third stream (stderr).
//
// Dialogs are rendered generically from their DialogModel: the title, one
// line per visible control ("key  caption  value [disabled]"), then the
// prompt "<title>> ". Input lines are "key = value", ok, cancel, show, help
// or one of the dialog's buttons with blank-separated arguments; end of
// input inside a dialog is cancel. When the input is not a terminal every
// line read is echoed after its prompt, so a transcript reads like a session.
// Lines whose first non-blank character is '#' are comments, skipped at
// every prompt. At a terminal a line editor (when built with one) reads the
// lines, with history and Tab completion.
#pragma once

#include <array>
#include <chrono>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <streambuf>
#include <string>
#include <string_view>
#include <vector>

#include "app/line_editor.h"
#include "app/window_system.h"

namespace talvex {

struct Control;

// Which of the three streams are terminals; decides echo, in-place progress
// and the audible beep.
struct TerminalModes {
    bool inputIsTerminal = false;     // no echo of the lines read
    bool outputIsTerminal = false;    // beep writes "\a"
    bool progressIsTerminal = false;  // one progress line redrawn in place

    // The modes of the process's stdin, stdout and stderr.
    static TerminalModes detect();
};

// The character set of the terminal as the environment's locale (LC_ALL,
// LC_CTYPE, LANG) names it, e.g. "UTF-8" or "ANSI_X3.4-1968"; the
// process's own locale is left as it is.
std::string terminalCodeset();

// The program's text (Windows-1252, or UTF-8 where it comes from a user's
// UTF-8 file) in the terminal's character set. An ASCII (C locale) or
// Windows-1252 terminal gets the bytes as they are.
std::string textForTerminal(std::string_view text, const std::string& codeset);

// A stream buffer that passes every line on in the terminal's character set.
class TerminalTextBuffer final : public std::streambuf {
public:
    TerminalTextBuffer(std::streambuf& target, std::string codeset)
        : target_(target), codeset_(std::move(codeset)) {}
    ~TerminalTextBuffer() override { flushLine(); }

protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* s, std::streamsize n) override;
    int sync() override;

private:
    void flushLine();
    std::streambuf& target_;
    std::string codeset_;
    std::string line_;
};

class TerminalWindowSystem : public WindowSystem {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    TerminalWindowSystem(std::istream& in, std::ostream& out, std::ostream& progress,
                         TerminalModes modes, Clock clock = nullptr);

    // Reads the lines through editor from now on instead of the input
    // stream (which it then leaves alone).
    void useLineEditor(std::unique_ptr<LineEditor> editor) { editor_ = std::move(editor); }

    // Prints the prompt and reads one line (echoed when the input is not a
    // terminal), skipping comment lines; nothing at end of input. Trailing
    // CR/blanks are removed. completer serves Tab in the line editor.
    std::optional<std::string> readLine(const std::string& prompt, const Completer& completer = {});
    // Whether an error box was shown since clearErrorShown().
    bool errorShown() const { return errorShown_; }
    void clearErrorShown() { errorShown_ = false; }
    std::ostream& out() { return out_; }
    // The three status lines as last set.
    const std::array<std::string, 3>& status() const { return status_; }
    // Prints the status lines in the main window's layout: all three, or
    // only the non-empty ones.
    void printStatus(bool all);

    // Messenger.
    void message(const std::string& text, MessageIcon icon) override;
    bool askYesNo(const std::string& text) override;

    // WindowSystem.
    bool runDialog(DialogModel& dialog) override;
    std::optional<std::string> openFile(const std::string& title,
                                        const std::string& filter) override;
    // Prints the line at once, as the dialog shows it.
    void listLineAdded(const DialogModel& dialog, const std::string& key,
                       const std::string& line) override;

    // ProgressView.
    void showProgress() override;
    void hideProgress() override;
    void setProgressText(const std::string& text) override;
    void setProgressBar(int position, int step) override;
    void repaintProgress() override;

    // RunHost.
    void setStatus(const std::string& line1, const std::string& line2,
                   const std::string& line3) override;
    void setWaitCursor(bool on) override { (void)on; }
    void beep() override;
    void openReport(const std::string& path) override;

    // Cells of the progress bar drawn on a terminal.
    static constexpr int kBarCells = 30;
    // Least time between two in-place redraws that only move the bar.
    static constexpr std::chrono::milliseconds kRedrawInterval{125};

private:
    void renderDialog(const DialogModel& dialog, bool withOptions);
    void renderControl(const Control& control, bool withOptions);
    void printDialogHelp(const DialogModel& dialog);
    // Handles one non-empty input line of a dialog; true when it closes
    // the dialog, with accepted telling OK from Cancel.
    bool handleDialogLine(DialogModel& dialog, const std::string& line, bool& accepted);
    // "[refused] no control ..." with the keys it may have meant.
    void refuseUnknownKey(const DialogModel& dialog, const std::string& key);
    void printChanges(const DialogModel& dialog, const std::vector<std::string>& before);
    void drawProgressLine();
    void printProgressLine();
    void suspendProgressLine();

    std::istream& in_;
    std::ostream& out_;
    std::ostream& progress_;
    TerminalModes modes_;
    Clock clock_;
    std::unique_ptr<LineEditor> editor_;
    bool errorShown_ = false;

    std::array<std::string, 3> status_;
    bool streamedLines_ = false;  // a button printed list lines as they came

    // Progress window state: what is set, and what was last drawn.
    bool progressShown_ = false;
    bool progressDirty_ = false;
    std::string progressText_ = "Computing ...";
    int barCell_ = 0;
    std::string drawnText_;
    bool drawnOnce_ = false;
    int printedPercentDecile_ = -1;
    std::size_t drawnWidth_ = 0;
    std::chrono::steady_clock::time_point lastDraw_{};
};

// The rendered line of a control ("key  caption  value [disabled]"), as the
// terminal prints it.
std::string renderControlLine(const Control& control);

}  // namespace talvex
