// Typed input at the terminal: comments, case, suggestions for mistyped
// keys and options, the exit hint inside a dialog, and what Tab offers.
#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "app/dialog_model.h"
#include "app/terminal_window_system.h"
#include "app/text_util.h"

namespace talvex {
namespace {

using Words = std::vector<std::string>;

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
    EXPECT_EQ(editDistance("", "abc"), 3u);
    EXPECT_EQ(editDistance("ca", "abc"), 3u);  // no edit of a swapped pair again

    const Words keys{"factorCount", "factorCountProcedure", "secondOrderCount", "detailedOutput"};
    const struct {
        std::string typed;
        Words expected;
    } cases[] = {
        {"factorcont", {"factorCount"}},
        {"fcatorCount", {"factorCount"}},
        {"count", {"factorCount", "factorCountProcedure", "secondOrderCount"}},
        {"facto", {"factorCount", "factorCountProcedure"}},
        {"ab", {}},          // too short to contain, too far to be a slip
        {"xy", {}},
        {"detailedOutptu", {"detailedOutput"}},
        {"detailedOut99", {"detailedOutput"}},  // 2 edits in 13 characters
        {"detailOut99", {}},                     // 5 edits
        {"out", {"detailedOutput"}},
        {"detaiOutput", {"detailedOutput"}},  // 3 edits in 11 characters
        {"detaiOutpu", {}},                    // 4 edits in 10
        {"factorCount", {}},  // typed exactly: nothing to suggest
        {"", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(closestMatches(c.typed, keys), c.expected) << c.typed;
    EXPECT_EQ(closestMatches("e", Words(9, "e1")).size(), kMostSuggestions);
    EXPECT_EQ(didYouMean({"a"}), "did you mean a?");
    EXPECT_EQ(didYouMean({"a", "b", "c"}), "did you mean a, b or c?");
}

// One line typed in the dialog and what the terminal answers.
TEST(TerminalInput, DialogLinesAndTheirAnswers) {
    const struct {
        std::string line;
        std::string answer;
    } cases[] = {
        {"# factorCount = 9", ""},
        {"   #", ""},
        {"FACTORCOUNT = 4\nshow factorcount", "Form> factorCount  Factors:  4\n"},
        {"show simplicityrotation",
         "simplicityRotation  Rotation:  Promin\n      1  Raw Varimax\n      2  Normalized Varimax\n"
         "    * 3  Promin\n      4  Weighted Varimax [disabled]\n"},
        {"factorCont = 4", "[refused] no control \"factorCont\" in this dialog (did you mean factorCount?)\n"},
        {"show rotaton", "[refused] no control \"rotaton\" in this dialog\n"},
        {"show rotation",
         "[refused] no control \"rotation\" in this dialog (did you mean simplicityRotation?)\n"},
        {"simplicityRotation = varimax",
         "[refused] \"varimax\" is not an option of simplicityRotation (did you mean Raw Varimax or "
         "Normalized Varimax?)\n"},
        {"simplicityrotation = promn",
         "[refused] \"promn\" is not an option of simplicityRotation (did you mean Promin?)\n"},
        {"simplicityRotation = oblimin",
         "[refused] \"oblimin\" is not an option of simplicityRotation (show simplicityRotation "
         "lists them)\n"},
        {"SIMPLICITYROTATION = normalized varimax", "simplicityRotation  Rotation:  Normalized Varimax\n"},
        {"Exit", "[refused] exit ends the session at the talvex> prompt; cancel closes this dialog (ok "
                 "keeps its changes)\n"},
    };
    for (const auto& c : cases) {
        RotationForm form;
        std::istringstream in(c.line + "\ncancel\n");
        std::ostringstream out, err;
        TerminalWindowSystem ws(in, out, err, TerminalModes{true, false, false});
        EXPECT_FALSE(ws.runDialog(form));
        std::string text = out.str();
        const std::string head = "Form> ";
        text = text.substr(text.find(head) + head.size());          // after the first prompt
        EXPECT_EQ(text, c.answer + head) << c.line;
    }
}

// Blank and comment lines at a question are passed over, not refused.
TEST(TerminalInput, QuestionSkipsBlankAndCommentLines) {
    std::istringstream in("\n# not yet\n  \nYes\n");
    std::ostringstream out, err;
    TerminalWindowSystem ws(in, out, err, TerminalModes{});
    EXPECT_TRUE(ws.askYesNo("Go on?"));
    EXPECT_EQ(out.str(), "[question]\nGo on?\nyes/no> \nyes/no> # not yet\nyes/no> \nyes/no> Yes\n");
}

TEST(TerminalInput, ErrorBoxesAreRemembered) {
    std::istringstream in;
    std::ostringstream out, err;
    TerminalWindowSystem ws(in, out, err, TerminalModes{});
    ws.message("note", MessageIcon::Exclamation);
    EXPECT_FALSE(ws.errorShown());
    ws.message("bad", MessageIcon::Error);
    EXPECT_TRUE(ws.errorShown());
    ws.clearErrorShown();
    EXPECT_FALSE(ws.errorShown());
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
    EXPECT_EQ(inputWordStart("show  sim"), 6u);
}

}  // namespace
}  // namespace talvex
