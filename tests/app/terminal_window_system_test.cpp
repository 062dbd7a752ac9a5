// The terminal front end's progress window, drawn on standard error (the
// transcripts pin dialogs, refusals, messages and status lines).
#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <string>

#include "analysis/progress.h"
#include "app/terminal_window_system.h"
#include "app/window_system.h"

namespace talvex {
namespace {

struct Terminal {
    explicit Terminal(const std::string& input, TerminalModes modes = {})
        : in(input), ws(in, out, err, modes, [this] { return now; }) {}
    std::istringstream in;
    std::ostringstream out;
    std::ostringstream err;
    std::chrono::steady_clock::time_point now{};
    TerminalWindowSystem ws;
};

// Progress written to a log (stderr not a terminal): one line per new stage
// text, percentages at most every tenth, the bar never.
TEST(TerminalProgress, LogHasOneLinePerStageAndPercentEveryTenth) {
    Terminal t("");
    ProgressTicker ticker;
    t.ws.showProgress();
    ticker.attach(t.ws);
    t.ws.repaintProgress();
    t.ws.setProgressBar(500, 1);
    t.ws.setProgressText("Computing PA...");
    t.ws.repaintProgress();
    for (int i = 1; i <= 40; ++i) ticker.reportPercent(100 * i / 40);
    for (int i = 0; i < 2; ++i) {  // the same text again prints nothing
        t.ws.setProgressText("Computing loadings...");
        t.ws.repaintProgress();
    }
    ticker.detach();
    t.ws.hideProgress();
    t.ws.setProgressText("After the run");
    t.ws.repaintProgress();  // the window is gone
    std::string expected = "Computing ...\nComputing PA...\nComputing PA ...   2%\n";
    for (int p = 10; p < 100; p += 10) expected += "Computing PA ...  " + std::to_string(p) + "%\n";
    EXPECT_EQ(t.err.str(), expected + "Computing PA ... 100%\nComputing loadings...\n");
    EXPECT_EQ(t.out.str(), "");
}

// On a terminal one line is redrawn in place: a new stage at once, a moved
// bar only after the redraw interval; other output clears the line first.
TEST(TerminalProgress, TerminalLineRedrawnInPlaceAndThrottled) {
    TerminalModes modes;
    modes.progressIsTerminal = true;
    Terminal t("", modes);
    const auto drawn = [&t] {
        const std::string text = t.err.str();
        t.err.str("");
        return text;
    };
    const std::string bar3 = "[###" + std::string(27, ' ') + "]";
    t.ws.showProgress();
    t.ws.setProgressBar(0, 1);
    t.ws.repaintProgress();
    EXPECT_EQ(drawn(), "\rComputing ...  [" + std::string(30, ' ') + "]");
    t.ws.setProgressBar(100, 1);  // 3 cells of 30
    t.ws.repaintProgress();
    EXPECT_EQ(drawn(), "");  // too soon after the last draw
    t.now += std::chrono::milliseconds(200);
    t.ws.repaintProgress();
    t.ws.repaintProgress();  // nothing changed
    EXPECT_EQ(drawn(), "\rComputing ...  " + bar3);
    t.ws.setProgressText("Rotating solution...");
    t.ws.repaintProgress();  // a new stage is drawn at once
    EXPECT_EQ(drawn(), "\rRotating solution...  " + bar3);
    t.ws.setProgressText("A");
    t.ws.repaintProgress();  // shorter: the rest of the old line is blanked
    EXPECT_EQ(drawn(), "\rA  " + bar3 + std::string(19, ' '));
    t.ws.message("Simplimax needs you", MessageIcon::None);
    EXPECT_EQ(drawn(), "\r" + std::string(35, ' ') + "\r");
    t.ws.repaintProgress();  // drawn again after the message
    EXPECT_EQ(drawn(), "\rA  " + bar3);
    t.ws.hideProgress();
    EXPECT_EQ(drawn(), "\r" + std::string(35, ' ') + "\r");
}

}  // namespace
}  // namespace talvex
