// The desktop front end driven through its real widgets on the offscreen
// platform: a whole session, the red field and its focus, the enable rules,
// the move button, Browse, and the window-system calls of a run.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <fstream>
#include <regex>
#include <sstream>
#include <tuple>

#include <gtest/gtest.h>

#include "app/dialog_model.h"
#include "app/main_window.h"
#include "app/qt/qt_window_system.h"
#include "app/terminal_window_system.h"
#include "core/random.h"
#include "qt/modal_driver.h"
#include "report/settings.h"
#include "support/temp_files.h"

namespace talvex::testing {
namespace {

const std::string kSource = TALVEX_SOURCE_DIR;
const std::string kScores = kSource + "/examples/items.dat";
const std::string kLabels = kSource + "/examples/labels.txt";

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The lines that differ from run to run.
std::string masked(const std::string& report) {
    static const std::regex date(R"((^|\n)( *Date: )[^\n]*)");
    static const std::regex time(R"((^|\n)( *Time: )[^\n]*)");
    static const std::regex computing(R"((^|\n)(Computing time *: *)[^\n]*)");
    std::string s = std::regex_replace(report, date, "$1$2(masked)");
    s = std::regex_replace(s, time, "$1$2(masked)");
    return std::regex_replace(s, computing, "$1$2(masked)");
}

bool painted(const QWidget* w) { return w->styleSheet().contains("255, 0, 0"); }

struct Desktop {
    std::vector<std::string> opened;  // reports handed to the viewer
    std::vector<std::string> fileDialogs;
    std::optional<std::string> chosenFile;
    QtWindowSystem ws{
        [this](const std::string& path) { opened.push_back(path); },
        [this](QWidget*, const std::string& title, const std::string& filter) {
            fileDialogs.push_back(title + "|" + filter);
            return chosenFile;
        }};
    QtMainWindow window{ws, "test"};
    ModalDriver driver;

    Desktop() { window.show(); }
    void press(MainCommand command) { click(window.commandButton(command)); }
    std::string status(int i) const { return window.statusLine(i)->text().toStdString(); }

    // Read Data on the bundled example, typed into the Sample dialog.
    void readExample() {
        driver.expect("Sample", [](QWidget& w) {
            QtDialog& d = dialogOf(w);
            typeInto(d, "participantCount", "300");
            typeInto(d, "variableCount", "12");
            typeInto(d, "scoresFileName", kScores);
            click(qobject_cast<QCheckBox*>(d.widgetFor("labelsEnabled")));
            typeInto(d, "labelsFileName", kLabels);
            typeInto(d, "missingCode", "999");
            click(d.okButton());
        });
        press(MainCommand::ReadData);
    }
};

TEST(QtFrontEnd, WholeSessionGivesTheTerminalReport) {
    TempDir dir;
    const std::string terminalReport = dir.file("terminal.txt");
    const std::string desktopReport = dir.file("desktop.txt");
    const std::string terminalJson = dir.file("terminal.json"), desktopJson = dir.file("desktop.json");
    const std::uint32_t seed = randomState();
    {
        std::istringstream in("read\nparticipantCount = 300\nvariableCount = 12\n"
                              "scoresFileName = " + kScores + "\nlabelsEnabled = 1\n"
                              "labelsFileName = " + kLabels + "\nmissingCode = 999\nok\n"
                              "configure\nfactorCountProcedure = MAP\nfactorCount = 3\n"
                              "outputFileName = " + terminalReport + "\njsonFileName = " +
                              terminalJson + "\nok\ncompute\nexit\n");
        std::ostringstream out, progress;
        TerminalWindowSystem terminal(in, out, progress, TerminalModes{});
        MainWindow window(terminal, "test");
        runMainWindow(window, terminal);
    }
    restoreRandomState(seed);

    Desktop desktop;
    desktop.readExample();
    EXPECT_EQ(desktop.status(0), "Ready!");
    desktop.driver.expect("Configuration", [&](QWidget& w) {
        QtDialog& d = dialogOf(w);
        click(d.optionButton("factorCountProcedure", MAP));
        typeInto(d, "factorCount", "3");
        typeInto(d, "outputFileName", desktopReport);
        typeInto(d, "jsonFileName", desktopJson);
        click(d.okButton());
    });
    desktop.press(MainCommand::ConfigureAnalysis);
    desktop.press(MainCommand::Compute);

    EXPECT_TRUE(desktop.driver.finished());
    EXPECT_TRUE(desktop.driver.unexpected.empty()) << desktop.driver.unexpected.front();
    EXPECT_EQ(desktop.status(0), "Job done!");
    EXPECT_EQ(desktop.opened, std::vector<std::string>{desktopReport});
    EXPECT_EQ(desktop.ws.beeps(), 1);
    EXPECT_FALSE(desktop.ws.waitCursor());
    EXPECT_EQ(desktop.ws.progressWindow(), nullptr);
    const std::string expected = masked(readFile(terminalReport));
    ASSERT_NE(expected.find("TALVEX completed"), std::string::npos);
    EXPECT_EQ(masked(readFile(desktopReport)), expected);
    // The same JSON results but for the report's path.
    const std::string terminalDoc = readFile(terminalJson);
    std::string desktopDoc = readFile(desktopJson);
    ASSERT_NE(terminalDoc.find("\"rotated_loadings\""), std::string::npos);
    const auto path = desktopDoc.find("\"" + desktopReport + "\"");
    ASSERT_NE(path, std::string::npos);
    EXPECT_EQ(desktopDoc.replace(path + 1, desktopReport.size(), terminalReport), terminalDoc);
}

TEST(QtFrontEnd, FailedCheckPaintsTheFieldRedAndFocusesIt) {
    Desktop desktop;
    QWidget* participants = nullptr;
    QWidget* variables = nullptr;
    // Per check: participants red, variables red, the focused field.
    std::vector<std::tuple<bool, bool, QWidget*>> seen;
    desktop.driver.expect("Sample", [&](QWidget& w) {
        QtDialog& d = dialogOf(w);
        participants = d.widgetFor("participantCount");
        variables = d.widgetFor("variableCount");
        typeInto(d, "participantCount", "");
        d.cancelButton()->setFocus();
        click(d.okButton());
    });
    desktop.driver.expectBox();
    desktop.driver.expect("Sample", [&](QWidget& w) {
        QtDialog& d = dialogOf(w);
        QWidget* focused = w.focusWidget();
        typeInto(d, "participantCount", "300");  // stays red until the next check
        seen.emplace_back(painted(participants), painted(variables), focused);
        typeInto(d, "variableCount", "0");
        click(d.okButton());
    });
    desktop.driver.expectBox();
    desktop.driver.expect("Sample", [&](QWidget& w) {
        seen.emplace_back(painted(participants), painted(variables), w.focusWidget());
        click(dialogOf(w).cancelButton());
    });
    desktop.press(MainCommand::ReadData);

    EXPECT_TRUE(desktop.driver.finished());
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], std::make_tuple(true, false, participants));
    EXPECT_EQ(seen[1], std::make_tuple(false, true, variables));
    ASSERT_EQ(desktop.driver.boxes.size(), 2u);
    EXPECT_EQ(desktop.driver.icons[0], QMessageBox::Critical);
}

// The controls whose widgets are not enabled as the model says (a radio
// option is enabled when its choice and the option both are).
std::vector<std::string> notMirrored(QtDialog& d) {
    std::vector<std::string> wrong;
    for (const Control& c : d.model().controls()) {
        if (c.kind == ControlKind::Choice && !c.dropDown) {
            for (const ControlOption& o : c.options)
                if (QRadioButton* b = d.optionButton(c.key, o.code);
                    b != nullptr && b->isEnabled() != (c.enabled && o.enabled))
                    wrong.push_back(c.key + ":" + std::to_string(o.code));
        } else if (QWidget* w = d.widgetFor(c.key); w != nullptr && w->isEnabled() != c.enabled) {
            wrong.push_back(c.key);
        }
    }
    for (const DialogButton& b : d.model().widgetButtons())
        if (QPushButton* w = d.button(b.name, b.args.empty() ? "" : b.args[0]);
            w != nullptr && w->isEnabled() != b.enabled)
            wrong.push_back(b.name);
    return wrong;
}

TEST(QtFrontEnd, NumberOfFactorsDrivesTheEnableRules) {
    Desktop desktop;
    desktop.readExample();
    ASSERT_EQ(desktop.status(0), "Ready!");
    std::vector<std::vector<std::string>> wrong;
    std::vector<bool> rotation, irt;
    desktop.driver.expect("Configuration", [&](QWidget& w) {
        QtDialog& d = dialogOf(w);
        auto record = [&] {
            wrong.push_back(notMirrored(d));
            rotation.push_back(d.widgetFor("simplicityRotation")->isEnabled());
            irt.push_back(d.widgetFor("irtParameterization")->isEnabled());
        };
        for (const char* factors : {"1", "2", "0"}) {
            typeInto(d, "factorCount", factors);
            record();
        }
        click(d.optionButton("dispersionType", PolychoricCorrelation));
        typeInto(d, "factorCount", "3");
        record();
        click(d.cancelButton());
    });
    desktop.press(MainCommand::ConfigureAnalysis);
    EXPECT_EQ(wrong, std::vector<std::vector<std::string>>(4));
    EXPECT_EQ(rotation, (std::vector<bool>{false, true, false, true}));
    EXPECT_EQ(irt, (std::vector<bool>{false, false, false, true}));
}

TEST(QtFrontEnd, ARuleThatChangesAChoiceMovesTheTick) {
    Desktop desktop;
    desktop.readExample();
    bool hullBefore = false, hullAfter = true, paAfter = false, hullOffered = true;
    desktop.driver.expect("Configuration", [&](QWidget& w) {
        QtDialog& d = dialogOf(w);
        typeInto(d, "factorCount", "3");
        click(d.optionButton("factorCountProcedure", Hull));
        hullBefore = d.optionButton("factorCountProcedure", Hull)->isChecked();
        // Components cannot go with the Hull method: parallel analysis instead.
        click(d.optionButton("extractionMethod", PCA));
        hullAfter = d.optionButton("factorCountProcedure", Hull)->isChecked();
        paAfter = d.optionButton("factorCountProcedure", ParallelAnalysis)->isChecked();
        hullOffered = d.optionButton("factorCountProcedure", Hull)->isEnabled();
        click(d.cancelButton());
    });
    desktop.press(MainCommand::ConfigureAnalysis);
    EXPECT_TRUE(hullBefore);
    EXPECT_FALSE(hullAfter);
    EXPECT_TRUE(paAfter);
    EXPECT_FALSE(hullOffered);
}

TEST(QtFrontEnd, MoveButtonFollowsTheListThatLastHadTheFocus) {
    Desktop desktop;
    desktop.readExample();
    std::vector<std::string> captions;
    std::vector<int> excludedCounts;
    desktop.driver.expect("Configuration", [&](QWidget& w) {
        QtDialog& d = dialogOf(w);
        auto* included = qobject_cast<QListWidget*>(d.widgetFor("included"));
        auto* excluded = qobject_cast<QListWidget*>(d.widgetFor("excluded"));
        captions.push_back(d.moveButton()->text().toStdString());
        included->setFocus();
        included->item(1)->setSelected(true);
        included->item(2)->setSelected(true);
        click(d.moveButton());
        excludedCounts.push_back(excluded->count());
        captions.push_back(d.moveButton()->text().toStdString());
        excluded->setFocus();
        captions.push_back(d.moveButton()->text().toStdString());
        excluded->item(0)->setSelected(true);
        click(d.moveButton());
        excludedCounts.push_back(excluded->count());
        if (excluded->count() == 1) captions.push_back(excluded->item(0)->text().toStdString());
        click(d.cancelButton());
    });
    desktop.press(MainCommand::ConfigureAnalysis);
    EXPECT_EQ(captions, (std::vector<std::string>{">", ">", "<", "V3"}));
    EXPECT_EQ(excludedCounts, (std::vector<int>{2, 1}));
}

TEST(QtFrontEnd, BrowseFillsTheEditBesideIt) {
    Desktop desktop;
    desktop.chosenFile = "/data/labels.txt";
    bool browseOffWhileUnticked = false;
    std::string typed;
    desktop.driver.expect("Sample", [&](QWidget& w) {
        QtDialog& d = dialogOf(w);
        browseOffWhileUnticked = !d.button("browse", "labelsFileName")->isEnabled();
        click(qobject_cast<QCheckBox*>(d.widgetFor("labelsEnabled")));
        click(d.button("browse", "labelsFileName"));
        typed = qobject_cast<QLineEdit*>(d.widgetFor("labelsFileName"))->text().toStdString();
        click(d.cancelButton());
    });
    desktop.press(MainCommand::ReadData);
    EXPECT_TRUE(browseOffWhileUnticked);
    EXPECT_EQ(typed, "/data/labels.txt");
    EXPECT_EQ(desktop.fileDialogs,
              std::vector<std::string>{"VARIABLE LABELS: Choose your input file|*.txt"});
}

TEST(QtFrontEnd, MessageBoxesCarryTheirIconsAndQuestionsTheAnswer) {
    Desktop desktop;
    desktop.driver.expectBox();
    desktop.driver.expect("TALVEX", [](QWidget& w) {
        dynamic_cast<QMessageBox&>(w).button(QMessageBox::No)->click();
    });
    desktop.driver.expect("TALVEX", [](QWidget& w) {
        dynamic_cast<QMessageBox&>(w).button(QMessageBox::Yes)->click();
    });
    desktop.ws.message("careful", MessageIcon::Exclamation);
    EXPECT_FALSE(desktop.ws.askYesNo("go on?"));
    EXPECT_TRUE(desktop.ws.askYesNo("go on?"));
    EXPECT_EQ(desktop.driver.icons, std::vector<QMessageBox::Icon>{QMessageBox::Warning});
}

TEST(QtFrontEnd, ExitClosesTheWindow) {
    Desktop desktop;
    ASSERT_TRUE(desktop.window.isVisible());
    desktop.press(MainCommand::Exit);
    EXPECT_TRUE(desktop.window.model().closed());
    EXPECT_FALSE(desktop.window.isVisible());
}

}  // namespace
}  // namespace talvex::testing
