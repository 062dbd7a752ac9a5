// What a run needs of the window system: messages, the progress window, the
// main window's status lines, the wait cursor, the beep and the viewer.
#pragma once

#include <string>

#include "analysis/progress.h"
#include "data/messages.h"

namespace talvex {

class SimplimaxChooser;
struct RunState;
enum class RunEnding;

class RunHost : public Messenger, public ProgressView {
public:
    // Sets the three status lines of the main window and repaints it.
    virtual void setStatus(const std::string& line1, const std::string& line2,
                           const std::string& line3) = 0;
    virtual void setWaitCursor(bool on) = 0;
    virtual void beep() = 0;
    // Shows the finished report (an editor on the desktop, a line on the
    // terminal); the result is ignored.
    virtual void openReport(const std::string& path) = 0;
    // Who lets the user choose the Simplimax solution of the rotation
    // stage; a host that cannot ask gives none, and the run is halted.
    virtual SimplimaxChooser* simplimaxChooser() { return nullptr; }
    // Whether the host shows the results page itself (a results window).
    virtual bool showsResults() const { return false; }
    // With showsResults: the page of the run that has just ended, the report,
    // the page's file and the plots' folder (each empty when not asked for).
    virtual void showResults(const std::string& page, const std::string& reportPath,
                             const std::string& pagePath, const std::string& plotFolder) {
        (void)page;
        (void)reportPath;
        (void)pagePath;
        (void)plotFolder;
    }
    // Called once when a run that opened its report ends, after the report
    // is closed and before the run's matrices are released: what the report
    // printed can still be read from the state.
    virtual void runEnded(const RunState& state, RunEnding ending) {
        (void)state;
        (void)ending;
    }
};

}  // namespace talvex
