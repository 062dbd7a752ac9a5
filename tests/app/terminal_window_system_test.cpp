// The terminal front end driven through string streams: dialog rendering,
// input parsing, refusals, message boxes, file dialogs, echo, status lines
// and the progress window. Expected texts follow the terminal protocol.
#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <string>

#include "analysis/progress.h"
#include "app/dialog_model.h"
#include "app/terminal_window_system.h"
#include "app/window_system.h"

namespace talvex {
namespace {

// A small dialog with every kind of control and the usual rules: the
// choice "mode" enables "path" only for option 1 ("file"); "limit" may not
// be empty on OK; "browse path" fills "path" from a file dialog.
class FormDialog : public DialogModel {
public:
    FormDialog() : DialogModel("Form") {
        add({ControlKind::Edit, "limit", "Highest value:", "10", true, true, false, 3, {}});
        add({ControlKind::Check, "verbose", "Detailed output", "0", true, true, false, 0, {}});
        Control mode{ControlKind::Choice, "mode", "Source:", "0", true, true, false, 0, {}};
        mode.options = {{0, "memory", "From memory", true, true},
                        {1, "file", "From a file", true, true},
                        {2, "network", "Network && cloud", false, true},
                        {3, "secret", "Hidden option", true, false}};
        add(mode);
        add({ControlKind::Edit, "path", "File name:", "", false, true, false, 0, {}});
        Control notes{ControlKind::List, "notes", "Notes:", "", true, true, false, 0, {}};
        notes.options = {{0, "", "first line", true, true}, {0, "", "", true, true},
                         {0, "", "third line", true, true}};
        add(notes);
        add({ControlKind::Edit, "ghost", "Invisible:", "x", true, false, false, 0, {}});
    }

    std::vector<DialogButton> buttons() const override {
        return {{"browse", "browse KEY: choose the file of KEY", true},
                {"reset", "reset: start again", false}};
    }
    bool press(const std::string& button, const std::vector<std::string>& args,
               WindowSystem& ws) override {
        ++presses;
        if (button != "browse" || args.size() != 1 || args[0] != "path") return false;
        if (!find("path")->enabled) return false;
        if (auto file = ws.openFile("Open data file", "*.dat")) setValue("path", *file);
        return true;
    }
    bool accept(Messenger& messenger) override {
        clearFlags();
        if (find("limit")->value.empty()) {
            messenger.message("Please type the highest value!", MessageIcon::Error);
            flag("limit");
            return false;
        }
        return true;
    }
    int presses = 0;

protected:
    void onChanged(const std::string& key) override {
        if (key == "mode") setEnabled("path", choice("mode") == 1);
    }
};

struct Terminal {
    explicit Terminal(const std::string& input, TerminalModes modes = {})
        : in(input), ws(in, out, err, modes, [this] { return now; }) {}
    std::istringstream in;
    std::ostringstream out;
    std::ostringstream err;
    std::chrono::steady_clock::time_point now{};
    TerminalWindowSystem ws;
};

const std::string kFormHeader =
    "Form\n"
    "limit  Highest value:  10\n"
    "verbose  Detailed output  off\n"
    "mode  Source:  From memory\n"
    "path  File name: [disabled]\n"
    "notes  Notes:\n"
    "    first line\n"
    "\n"
    "    third line\n";

TEST(TerminalDialog, SetsControlsAndShowsWhatTheRulesAndChecksChanged) {
    Terminal t("limit =\nOK\nlimit = 1234\nverbose = yes\nmode = FILE\npath =  data/items.dat  \nok\n");
    FormDialog form;
    ASSERT_TRUE(t.ws.runDialog(form));
    EXPECT_EQ(form.find("limit")->value, "1234");  // kept whole; the width is checked on OK
    EXPECT_EQ(form.find("verbose")->value, "1");
    EXPECT_EQ(form.find("path")->value, "data/items.dat");
    // A refused OK shows the message and the field in error; an edit or a
    // check box shows nothing more; a choice shows the option taken, and
    // the edit it enabled appears without its marker.
    EXPECT_EQ(t.out.str(), kFormHeader +
                               "Form> limit =\nForm> OK\n"
                               "[error]\nPlease type the highest value!\n"
                               "limit  Highest value: [in error]\n"
                               "Form> limit = 1234\nForm> verbose = yes\nForm> mode = FILE\n"
                               "mode  Source:  From a file\n"
                               "path  File name:\n"
                               "Form> path =  data/items.dat\nForm> ok\n");
}

TEST(TerminalDialog, RefusesWithOneLineAndChangesNothing) {
    // The refusals of unknown and disabled controls, bad switch values, unknown
    // options and inputs are pinned by the refusals transcript.
    const std::pair<const char*, const char*> cases[] = {
        {"mode = network", "option \"network\" of mode is disabled"},
        {"mode = secret", "\"secret\" is not an option of mode (show mode lists them)"},
        {"notes = text", "notes is read-only"},
        {"ghost = y", "no control \"ghost\" in this dialog"},
        {"reset", "reset is disabled"},
    };
    std::string input, expected = kFormHeader;
    for (const auto& [line, refusal] : cases) {
        input += std::string(line) + "\n";
        expected += "Form> " + std::string(line) + "\n[refused] " + refusal + "\n";
    }
    Terminal t(input + "cancel\n");
    FormDialog form;
    EXPECT_FALSE(t.ws.runDialog(form));
    EXPECT_EQ(t.out.str(), expected + "Form> cancel\n");
    EXPECT_EQ(form.find("mode")->value, "0");
    EXPECT_EQ(form.find("ghost")->value, "x");
    EXPECT_EQ(form.presses, 0);  // the disabled button never reaches the model
}

TEST(TerminalDialog, EndOfInputCancelsAndBlankLinesAreSkipped) {
    Terminal t("limit = 5\n\n   \nverbose = 1");  // last line without a newline
    FormDialog form;
    EXPECT_FALSE(t.ws.runDialog(form));
    EXPECT_EQ(t.out.str(), kFormHeader + "Form> limit = 5\nForm> \nForm> \nForm> verbose = 1\nForm> \n");
}

TEST(TerminalDialog, ShowHelpAndBrowse) {
    Terminal t("show mode\nshow nope\nhelp\nmode = 1\nbrowse path\n  /tmp/my data.dat \n"
               "browse path\n\nok\n");
    FormDialog form;
    ASSERT_TRUE(t.ws.runDialog(form));
    EXPECT_EQ(form.find("path")->value, "/tmp/my data.dat");
    const std::string out = t.out.str();
    const char* const parts[] = {
        "Form> show mode\n"
        "mode  Source:  From memory\n"
        "    * 0  memory  From memory\n"
        "      1  file  From a file\n"
        "      2  network  Network & cloud [disabled]\n"
        "Form> show nope\n"
        "[refused] no control \"nope\" in this dialog\n",
        "  key = value",
        "  browse KEY: choose the file of KEY\n  reset: start again [disabled]\n",
        "Form> browse path\n"
        "[file] Open data file  (*.dat)\n"
        "path>   /tmp/my data.dat\n"
        "path  File name:  /tmp/my data.dat\n"
        "Form> browse path\n"
        "[file] Open data file  (*.dat)\n"
        "path> \n"
        "Form> ok\n"};
    for (const char* part : parts) EXPECT_NE(out.find(part), std::string::npos) << part << out;
    EXPECT_EQ(out.find("secret"), std::string::npos);  // invisible options stay hidden
}

TEST(TerminalDialog, NoEchoWhenTheInputIsATerminal) {
    TerminalModes modes;
    modes.inputIsTerminal = true;
    Terminal t("limit = 7\nok\n", modes);
    FormDialog form;
    ASSERT_TRUE(t.ws.runDialog(form));
    EXPECT_EQ(t.out.str(), kFormHeader + "Form> Form> ");
}

TEST(TerminalMessages, IconTagsQuestionsAndFileDialogs) {
    Terminal t("maybe\nYES\nn\n\n");
    t.ws.message("Bad file!\n\nPlease check.", MessageIcon::Error);
    t.ws.message("Adjusted.\n\n", MessageIcon::Exclamation);
    t.ws.message("Done", MessageIcon::Information);
    t.ws.message("Plain", MessageIcon::None);
    EXPECT_TRUE(t.ws.askYesNo("Continue?"));
    EXPECT_FALSE(t.ws.askYesNo("Really?"));
    // A file dialog is cancelled by an empty line or the end of input, as a
    // question is answered no there.
    EXPECT_FALSE(t.ws.openFile("Target", "*.txt").has_value());
    EXPECT_FALSE(t.ws.openFile("Target", "*.txt").has_value());
    EXPECT_FALSE(t.ws.askYesNo("At end of input?"));
    EXPECT_EQ(t.out.str(),
              "[error]\nBad file!\n\nPlease check.\n"
              "[warning]\nAdjusted.\n"
              "[information]\nDone\n"
              "[message]\nPlain\n"
              "[question]\nContinue?\n"
              "yes/no> maybe\n[refused] answer yes or no\n"
              "yes/no> YES\n"
              "[question]\nReally?\n"
              "yes/no> n\n"
              "[file] Target  (*.txt)\npath> \n[file] Target  (*.txt)\npath> \n"
              "[question]\nAt end of input?\n"
              "yes/no> \n");
}

TEST(TerminalHost, StatusLinesOnlyWhenTheyChangeReportLineAndBeep) {
    Terminal t("");
    t.ws.setStatus("", "", "");  // the initial state: no change
    t.ws.setStatus("Ready!", "", "");
    t.ws.setStatus("Ready!", "", "");
    t.ws.setStatus("", "", "");
    t.ws.setStatus("Job done!", "", "third");
    t.ws.openReport("out/report.txt");
    t.ws.beep();  // silent when the output is no terminal
    t.ws.setWaitCursor(true);
    EXPECT_EQ(t.out.str(), "  status 1   Ready!\n  status 1   Job done!\n  status 3   third\n"
                           "Report written to out/report.txt\n");
    t.out.str("");
    t.ws.printStatus(true);
    EXPECT_EQ(t.out.str(), "  status 1   Job done!\n  status 2\n  status 3   third\n");

    TerminalModes modes;
    modes.outputIsTerminal = true;
    Terminal tty("", modes);
    tty.ws.beep();
    EXPECT_EQ(tty.out.str(), "\a");
}

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

TEST(TerminalRendering, ControlLineFormat) {
    Control c{ControlKind::Choice, "kind", "Kind:  ", "2", false, true, true, 0, {}};
    c.options = {{1, "a", "Alpha", true, true}, {2, "b", "Beta && Gamma", true, true}};
    EXPECT_EQ(renderControlLine(c), "kind  Kind:  Beta & Gamma [disabled] [in error]");
    c.value = "";
    c.enabled = true;
    c.highlighted = false;
    EXPECT_EQ(renderControlLine(c), "kind  Kind:");
    Control check{ControlKind::Check, "on", "", "1", true, true, false, 0, {}};
    EXPECT_EQ(renderControlLine(check), "on  on");
}

}  // namespace
}  // namespace talvex
