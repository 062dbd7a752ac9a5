// The terminal front end: typed input (comments, case, suggestions for
// mistyped keys and options, the exit hint inside a dialog, what Tab
// offers) and the progress window drawn on standard error. The transcripts
// pin dialogs, refusals, messages and status lines.
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/progress.h"
#include "app/dialog_model.h"
#include "app/terminal_window_system.h"
#include "app/text_util.h"
#include "app/window_system.h"

namespace talvex {
namespace {

using Words = std::vector<std::string>;

struct Terminal {
    explicit Terminal(TerminalModes modes = {}) : ws(in, out, err, modes, [this] { return now; }) {}
    // What was drawn since the last call.
    std::string drawn() {
        const std::string text = err.str();
        err.str("");
        return text;
    }
    std::istringstream in;
    std::ostringstream out, err;
    std::chrono::steady_clock::time_point now{};
    TerminalWindowSystem ws;
};

class RotationForm : public DialogModel {
public:
    RotationForm() : DialogModel("Form") {
        add(editControl("factorCount", "Factors:", "3"));
        add(editControl("scoresFileName", "Scores:", ""));
        add(checkControl("saveFactorScores", "Save scores", false));
        add(choiceControl("simplicityRotation", "Rotation:",
                          {{1, "Raw Varimax", ""}, {2, "Normalized Varimax", ""},
                           {3, "Promin", ""}, {4, "Weighted Varimax", "", false}},
                          3));
        add(choiceControl("factorCountProcedure", "Procedure:", {{1, "MAP", ""}, {2, "PA", ""}}, 1));
    }
    std::vector<DialogButton> buttons() const override {
        return {{"browse", "browse KEY: choose the file of KEY (scoresFileName)"}, {"default", ""}};
    }
};

// Edit distances counted by hand (a swap of neighbours is one edit).
TEST(Suggestions, EditDistanceAndClosestMatches) {
    EXPECT_EQ(editDistance("kitten", "sitting"), 3u);
    EXPECT_EQ(editDistance("facotrCount", "FACTORCOUNT"), 1u);
    EXPECT_EQ(editDistance("ca", "abc"), 3u);  // no edit of a swapped pair again

    const Words keys{"factorCount", "factorCountProcedure", "secondOrderCount", "detailedOutput"};
    const struct {
        std::string typed;
        Words expected;
    } cases[] = {
        {"factorcont", {"factorCount"}},
        {"fcatorCount", {"factorCount"}},
        {"count", {"factorCount", "factorCountProcedure", "secondOrderCount"}},
        {"ab", {}},          // too short to contain, too far to be a slip
        {"out", {"detailedOutput"}},
        {"detaiOutput", {"detailedOutput"}},  // 3 edits in 11 characters
        {"detaiOutpu", {}},                    // 4 edits in 10
        {"factorCount", {}},  // typed exactly: nothing to suggest
    };
    for (const auto& c : cases) EXPECT_EQ(closestMatches(c.typed, keys), c.expected) << c.typed;
    EXPECT_EQ(closestMatches("e", Words(9, "e1")).size(), kMostSuggestions);
}

// One line typed in the dialog and what the terminal answers (transcripts
// pin comments, case, a mistyped key, the exit hint, bare refusals).
TEST(TerminalInput, DialogLinesAndTheirAnswers) {
    const struct {
        std::string line;
        std::string answer;
    } cases[] = {
        {"show simplicityrotation",
         "simplicityRotation  Rotation:  Promin\n      1  Raw Varimax\n      2  Normalized Varimax\n"
         "    * 3  Promin\n      4  Weighted Varimax [disabled]\n"},
        {"show rotation",
         "[refused] no control \"rotation\" in this dialog (did you mean simplicityRotation?)\n"},
        {"simplicityRotation = varimax",
         "[refused] \"varimax\" is not an option of simplicityRotation (did you mean Raw Varimax or "
         "Normalized Varimax?)\n"},
    };
    for (const auto& c : cases) {
        RotationForm form;
        Terminal t(TerminalModes{true, false, false});
        t.in.str(c.line + "\ncancel\n");
        EXPECT_FALSE(t.ws.runDialog(form));
        std::string text = t.out.str();
        const std::string head = "Form> ";
        text = text.substr(text.find(head) + head.size());          // after the first prompt
        EXPECT_EQ(text, c.answer + head) << c.line;
    }
}

// Blank and comment lines at a question are passed over, not refused.
TEST(TerminalInput, QuestionSkipsBlankAndCommentLines) {
    Terminal t;
    t.in.str("\n# not yet\n  \nYes\n");
    EXPECT_TRUE(t.ws.askYesNo("Go on?"));
    EXPECT_EQ(t.out.str(), "[question]\nGo on?\nyes/no> \nyes/no> # not yet\nyes/no> \nyes/no> Yes\n");
}

TEST(TerminalInput, ErrorBoxesAreRemembered) {
    Terminal t;
    t.ws.message("note", MessageIcon::Exclamation);
    EXPECT_FALSE(t.ws.errorShown());
    t.ws.message("bad", MessageIcon::Error);
    EXPECT_TRUE(t.ws.errorShown());
    t.ws.clearErrorShown();
    EXPECT_FALSE(t.ws.errorShown());
}

// What Tab offers for the text before the cursor; nothing (file names) for
// the value of an edit.
TEST(TerminalInput, CompletionOfKeysCommandsAndOptions) {
    const RotationForm form;
    const struct {
        std::string before;
        std::optional<Words> expected;
    } cases[] = {
        {"fac", Words{"factorCount", "factorCountProcedure"}},
        {"  S", Words{"scoresFileName", "saveFactorScores", "simplicityRotation", "show"}},
        {"b", Words{"browse"}},
        {"browse ", Words{"scoresFileName"}},
        {"SHOW sim", Words{"simplicityRotation"}},
        {"default x", Words{}},
        {"simplicityRotation = ", Words{"Raw Varimax", "Normalized Varimax", "Promin"}},
        {"simplicityRotation =norm", Words{"Normalized Varimax"}},
        {"simplicityRotation = Normalized V", Words{"Normalized Varimax"}},
        {"saveFactorScores = o", Words{"on", "off"}},
        {"scoresFileName = da", std::nullopt},
        {"unknown = x", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(completeDialogInput(form, c.before), c.expected) << c.before;
    EXPECT_EQ(inputWordStart("simplicityRotation =  Normalized V"), 22u);
}

// Progress written to a log (stderr not a terminal): one line per new stage
// text, percentages at most every tenth, the bar never.
// The program's Windows-1252 text and a user's UTF-8 label, line by line,
// in the terminal's character set; a C locale gets the bytes unchanged.
TEST(TerminalText, LinesInTheTerminalsCharacterSet) {
    const std::string program = "Muth\xe9n\n", label = "Muth\xc3\xa9n \xe2\x82\xac\n";
    EXPECT_EQ(textForTerminal(program, "UTF-8"), "Muth\xc3\xa9n\n");
    EXPECT_EQ(textForTerminal(label, "UTF-8"), label);
    EXPECT_EQ(textForTerminal(label, "ISO-8859-1"), "Muth\xe9n EUR\n");
    EXPECT_EQ(textForTerminal("\xe4\xb8\xad \xe4\xb8\xad\n", "ISO-8859-1"), "? ?\n");
    EXPECT_EQ(textForTerminal(label, "ANSI_X3.4-1968"), label);
    std::ostringstream target;
    {
        TerminalTextBuffer buffer(*target.rdbuf(), "UTF-8");
        std::ostream out(&buffer);
        out << "a " << label << "b Muth\xe9n\n" << "prompt \xe9> " << std::flush;
        EXPECT_EQ(target.str(), "a " + label + "b Muth\xc3\xa9n\nprompt \xc3\xa9> ");
        out << "\xe9";
    }
    EXPECT_EQ(target.str().substr(target.str().size() - 2), "\xc3\xa9");
}

TEST(TerminalProgress, LogHasOneLinePerStageAndPercentEveryTenth) {
    Terminal t;
    ProgressTicker ticker;
    t.ws.showProgress();
    ticker.attach(t.ws);
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
    std::string expected = "Computing PA...\nComputing PA ...   2%\n";
    for (int p = 10; p < 100; p += 10) expected += "Computing PA ...  " + std::to_string(p) + "%\n";
    EXPECT_EQ(t.drawn(), expected + "Computing PA ... 100%\nComputing loadings...\n");
    EXPECT_EQ(t.out.str(), "");
}

// On a terminal one line is redrawn in place: a new stage at once, a moved
// bar only after the redraw interval; other output clears the line first.
TEST(TerminalProgress, TerminalLineRedrawnInPlaceAndThrottled) {
    TerminalModes modes;
    modes.progressIsTerminal = true;
    Terminal t(modes);
    const std::string bar3 = "[###" + std::string(27, ' ') + "]";
    t.ws.showProgress();
    t.ws.repaintProgress();
    t.ws.setProgressBar(100, 1);  // 3 cells of 30
    t.ws.repaintProgress();       // too soon after the first draw
    EXPECT_EQ(t.drawn(), "\rComputing ...  [" + std::string(30, ' ') + "]");
    t.now += std::chrono::milliseconds(200);
    t.ws.repaintProgress();
    EXPECT_EQ(t.drawn(), "\rComputing ...  " + bar3);
    t.ws.setProgressText("A");
    t.ws.repaintProgress();  // a new stage at once; the rest of the old line blanked
    EXPECT_EQ(t.drawn(), "\rA  " + bar3 + std::string(12, ' '));
    t.ws.message("Simplimax needs you", MessageIcon::None);
    t.ws.repaintProgress();  // drawn again after the message
    EXPECT_EQ(t.drawn(), "\r" + std::string(35, ' ') + "\r\rA  " + bar3);
}

}  // namespace
}  // namespace talvex
