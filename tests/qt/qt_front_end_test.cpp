// The desktop front end driven through its real widgets on the offscreen
// platform: what only the widgets show (a whole run, the red field and its
// focus, enabled states and ticks mirroring the model, the move button,
// Browse, message boxes, the Simplimax list), the progress window's repaint
// rules with a hand-driven clock, and the display check of start-up. The
// dialog rules are tested on the models.
#include <QCheckBox>
#include <QComboBox>
#include <QCursor>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextFrame>
#include <QTextTable>
#include <cstdlib>
#include <tuple>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/desktop_launch.h"
#include "app/dialog_model.h"
#include "app/main_window.h"
#include "app/qt/qt_results_window.h"
#include "app/qt/qt_window_system.h"
#include "app/simplimax_doubles.h"
#include "qt/modal_driver.h"
#include "report/settings.h"
#include "support/matrix_testing.h"
#include "support/report_testing.h"
#include "support/temp_files.h"

namespace talvex::testing {
namespace {

const std::string kSource = TALVEX_SOURCE_DIR;
const std::string kScores = kSource + "/examples/items.dat";
const std::string kLabels = kSource + "/examples/labels.txt";

bool painted(const QWidget* w) { return w->styleSheet().contains("255, 0, 0"); }

struct Desktop {
    std::vector<std::string> opened;  // reports handed to the viewer
    std::optional<std::string> chosenFile;
    QtWindowSystem ws{
        [this](const std::string& path) { opened.push_back(path); },
        [this](QWidget*, const std::string&, const std::string&) { return chosenFile; }};
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

// A whole run through the widgets: the report is written, the results
// window shows the page with its contents list and tables, its button hands
// the report to the viewer, the run's cursor, progress window and beep come
// and go, and Exit closes the window. The numbers are the golden reports'.
TEST(QtFrontEnd, WholeSessionShowsTheResultsAndExitCloses) {
    TempDir dir;
    const std::string report = dir.file("desktop.txt");
    Desktop desktop;
    desktop.readExample();
    desktop.driver.expect("Configuration", [&](QWidget& w) {
        QtDialog& d = dialogOf(w);
        click(d.optionButton("factorCountProcedure", MAP));
        typeInto(d, "factorCount", "3");
        typeInto(d, "outputFileName", report);
        typeInto(d, "plotFolder", dir.file("plots"));
        click(d.okButton());
    });
    desktop.press(MainCommand::ConfigureAnalysis);
    desktop.press(MainCommand::Compute);

    EXPECT_TRUE(desktop.driver.finished());
    EXPECT_TRUE(desktop.driver.unexpected.empty()) << desktop.driver.unexpected.front();
    EXPECT_EQ(desktop.status(0), "Job done!");
    EXPECT_EQ(desktop.ws.beeps(), 1);
    EXPECT_FALSE(desktop.ws.waitCursor());
    EXPECT_EQ(desktop.ws.progressWindow(), nullptr);

    QtResultsWindow* results = desktop.ws.resultsWindow();
    ASSERT_NE(results, nullptr);
    EXPECT_TRUE(results->isVisible());
    std::vector<std::string> sections;
    for (int i = 0; i < results->contents()->count(); ++i)
        sections.push_back(results->contents()->item(i)->text().toStdString());
    EXPECT_THAT(sections, ::testing::IsSupersetOf({"Details of analysis", "Rotated loading matrix",
                                                   "Loading table for publication", "References"}));
    // The rotated loadings are a table of the document (12 rows, 3 factors).
    bool loadingTable = false;
    for (QTextFrame* frame : results->browser()->document()->rootFrame()->childFrames())
        if (auto* table = qobject_cast<QTextTable*>(frame))
            loadingTable = loadingTable || (table->rows() == 13 && table->columns() == 4);
    EXPECT_TRUE(loadingTable);
    // Choosing a section moves the view to it.
    results->contents()->setCurrentRow(static_cast<int>(sections.size()) - 1);
    EXPECT_EQ(results->browser()->textCursor().block().text().toStdString(), sections.back());

    EXPECT_TRUE(desktop.opened.empty());
    click(results->openReportButton());
    EXPECT_EQ(desktop.opened, std::vector<std::string>{report});
    // The plots are pictures of the page, their folder a button away.
    int pictures = 0;
    for (QTextBlock block = results->browser()->document()->begin(); block.isValid(); block = block.next())
        for (auto fragment = block.begin(); !fragment.atEnd(); ++fragment)
            if (fragment.fragment().charFormat().isImageFormat()) ++pictures;
    EXPECT_GE(pictures, 2);
    click(results->plotsButton());
    EXPECT_EQ(desktop.opened.back(), dir.file("plots"));
    const std::string saved = dir.file("saved.html");
    ASSERT_TRUE(results->savePage(saved));
    EXPECT_EQ(readWholeFile(saved).rfind("<!DOCTYPE html>", 0), 0u);

    desktop.press(MainCommand::Exit);
    EXPECT_TRUE(desktop.window.model().closed());
    EXPECT_FALSE(desktop.window.isVisible());
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

// One Configuration dialog: the widgets' enabled states follow the model as
// the number of factors changes, a rule that changes a choice moves the tick,
// and the move button follows the list that last had the focus.
TEST(QtFrontEnd, ConfigurationWidgetsFollowTheModel) {
    Desktop desktop;
    desktop.readExample();
    ASSERT_EQ(desktop.status(0), "Ready!");
    std::vector<std::vector<std::string>> wrong;
    std::vector<bool> ticks;  // Hull; then Hull and parallel analysis
    std::vector<std::string> captions;
    std::vector<int> excludedCounts;
    desktop.driver.expect("Configuration", [&](QWidget& w) {
        QtDialog& d = dialogOf(w);
        typeInto(d, "factorCount", "3");
        click(d.optionButton("factorCountProcedure", Hull));
        ticks.push_back(d.optionButton("factorCountProcedure", Hull)->isChecked());
        // Components cannot go with the Hull method: parallel analysis instead.
        click(d.optionButton("extractionMethod", PCA));
        ticks.push_back(d.optionButton("factorCountProcedure", Hull)->isChecked());
        ticks.push_back(d.optionButton("factorCountProcedure", ParallelAnalysis)->isChecked());

        for (const char* factors : {"1", "2", "0"}) {
            typeInto(d, "factorCount", factors);
            wrong.push_back(notMirrored(d));
        }
        click(d.optionButton("dispersionType", PolychoricCorrelation));
        typeInto(d, "factorCount", "3");
        wrong.push_back(notMirrored(d));

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
        if (excluded->count() > 0) excluded->item(0)->setSelected(true);
        click(d.moveButton());
        excludedCounts.push_back(excluded->count());
        if (excluded->count() == 1) captions.push_back(excluded->item(0)->text().toStdString());
        click(d.cancelButton());
    });
    desktop.press(MainCommand::ConfigureAnalysis);
    EXPECT_EQ(wrong, std::vector<std::vector<std::string>>(4));
    EXPECT_EQ(ticks, (std::vector<bool>{true, false, true}));
    EXPECT_EQ(captions, (std::vector<std::string>{">", ">", "<", "V3"}));
    EXPECT_EQ(excludedCounts, (std::vector<int>{2, 1}));
}

TEST(QtFrontEnd, BrowseFillsTheEditBesideIt) {
    Desktop desktop;
    desktop.chosenFile = "/data/labels.txt";
    std::string typed;
    desktop.driver.expect("Sample", [&](QWidget& w) {
        QtDialog& d = dialogOf(w);
        click(qobject_cast<QCheckBox*>(d.widgetFor("labelsEnabled")));
        click(d.button("browse", "labelsFileName"));
        typed = qobject_cast<QLineEdit*>(d.widgetFor("labelsFileName"))->text().toStdString();
        click(d.cancelButton());
    });
    desktop.press(MainCommand::ReadData);
    EXPECT_EQ(typed, "/data/labels.txt");
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

struct QtSimplimaxTest : PoolTest, SimplimaxDoubles {
    QtWindowSystem ws{[](const std::string&) {}};
    ModalDriver driver;
};

TEST_F(QtSimplimaxTest, ComputeListsTheValuesAndOkFitsTheLineClicked) {
    // p = 9, m = 3: zeros 9 to 21 (the range and the choice are the model's).
    SimplimaxDialog dialog = open(9, 3);
    std::string clicked;
    bool okBefore = true, okAfter = false, computeAfter = true;
    int lines = 0;
    driver.expect("Simplimax rotation", [&](QWidget& w) {
        QtDialog& d = dialogOf(w);
        okBefore = d.okButton()->isEnabled();
        click(d.button("compute"));
        auto* list = qobject_cast<QListWidget*>(d.widgetFor("functionValues"));
        lines = list->count();
        okAfter = d.okButton()->isEnabled();
        computeAfter = d.button("compute")->isEnabled();
        // The line of 17 zeros.
        QListWidgetItem* item = list->item(17 - 9);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(item).center());
        clicked = qobject_cast<QLabel*>(d.widgetFor("selected"))->text().toStdString();
        click(d.okButton());
    });
    ASSERT_TRUE(ws.runDialog(dialog));
    EXPECT_FALSE(okBefore);
    EXPECT_EQ(lines, 13);
    EXPECT_TRUE(okAfter);
    EXPECT_FALSE(computeAfter);
    EXPECT_EQ(clicked.rfind("Salient loadings = 10 ; Zero loadings = 17;", 0), 0u) << clicked;
    EXPECT_EQ(dialog.selectedZeros(), 17);
    EXPECT_EQ(weightsStepped, std::vector<double>{17.0});
    ASSERT_TRUE(dialog.chosen().has_value());
}

TEST(QtProgress, StageTextAtOnceBarAtMostEveryInterval) {
    using namespace std::chrono;
    steady_clock::time_point now{};
    QtWindowSystem ws([](const std::string&) {}, nullptr, [&now] { return now; });
    QtMainWindow window(ws, "test");
    ws.showProgress();
    ASSERT_NE(ws.progressWindow(), nullptr);
    QLabel* stage = ws.progressWindow()->stage();
    QProgressBar* bar = ws.progressWindow()->bar();

    now += milliseconds(1);
    ws.setProgressText("Computing dispersion matrix...");
    ws.repaintProgress();
    EXPECT_EQ(stage->text().toStdString(), "Computing dispersion matrix...");
    // The bar alone waits for the interval since the last paint.
    ws.setProgressBar(3, 1);
    ws.repaintProgress();
    EXPECT_EQ(bar->value(), 0);
    now += QtWindowSystem::kBarRepaint - milliseconds(1);
    ws.repaintProgress();
    EXPECT_EQ(bar->value(), 0);
    now += milliseconds(1);
    ws.repaintProgress();
    EXPECT_EQ(bar->value(), 3);

    // A new stage text is painted at once, with the bar as it stands.
    ws.setProgressBar(7, 1);
    ws.setProgressText("Computing PA ...  10%");
    ws.repaintProgress();
    EXPECT_EQ(stage->text().toStdString(), "Computing PA ...  10%");
    EXPECT_EQ(bar->value(), 7);

    ws.hideProgress();
    EXPECT_EQ(ws.progressWindow(), nullptr);
    ws.repaintProgress();  // after the run: nothing to paint
}

TEST(QtProgress, WaitCursorIsSetOnceAndRestored) {
    QtWindowSystem ws([](const std::string&) {});
    ws.setWaitCursor(true);
    ws.setWaitCursor(true);
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    ws.setWaitCursor(false);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(QtStartUp, ADisplayIsEitherVariable) {
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    const std::string savedDisplay = display ? display : "";
    const std::string savedWayland = wayland ? wayland : "";
    const std::tuple<const char*, const char*, bool> cases[] = {
        {nullptr, nullptr, false}, {"", "", false}, {":0", nullptr, true}, {nullptr, "wayland-0", true}};
    for (const auto& [x11, way, available] : cases) {
        if (x11) setenv("DISPLAY", x11, 1); else unsetenv("DISPLAY");
        if (way) setenv("WAYLAND_DISPLAY", way, 1); else unsetenv("WAYLAND_DISPLAY");
        EXPECT_EQ(displayAvailable(), available) << (x11 ? x11 : "-") << " " << (way ? way : "-");
    }
    if (display) setenv("DISPLAY", savedDisplay.c_str(), 1); else unsetenv("DISPLAY");
    if (wayland) setenv("WAYLAND_DISPLAY", savedWayland.c_str(), 1); else unsetenv("WAYLAND_DISPLAY");
}

// The program finds the desktop front end in its module: the first file
// that loads with every symbol bound and has the entry; a missing file
// says why.
TEST(QtStartUp, TheDesktopModuleLoadsWithItsEntry) {
    std::string error;
    EXPECT_NE(loadDesktopEntry({"/nonexistent/talvex-desktop.so", TALVEX_DESKTOP_MODULE}, error), nullptr) << error;
    EXPECT_EQ(loadDesktopEntry({"/nonexistent/talvex-desktop.so"}, error), nullptr);
    EXPECT_THAT(error, ::testing::HasSubstr("/nonexistent/talvex-desktop.so"));
    // A library without the entry point is passed over.
    EXPECT_EQ(loadDesktopEntry({"libz.so.1"}, error), nullptr);
    EXPECT_THAT(error, ::testing::HasSubstr("talvexRunDesktop"));
}

}  // namespace
}  // namespace talvex::testing
