// The Simplimax dialog through its widgets (Compute, the list of function
// values, choosing a line, OK), the progress window's repaint rules with a
// hand-driven clock, and the display check of start-up.
#include <QCursor>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <cstdlib>

#include <gtest/gtest.h>

#include "app/qt/qt_window_system.h"
#include "app/simplimax_dialog.h"
#include "qt/modal_driver.h"
#include "support/matrix_testing.h"

namespace talvex::testing {
namespace {

struct QtSimplimaxTest : PoolTest {
    QtWindowSystem ws{[](const std::string&) {}};
    ModalDriver driver;
    RotationParameters parameters{100, 1e-5f, 0.0f, 100, 28};
    std::vector<double> stepped;  // weights[0][0] the final fit received

    // Criterion of z zeros: slow growth with one jump from 14 to 15 zeros,
    // so the automatic choice is the line of 14 zeros. The weights carry z.
    SimplimaxRoutines doubles() {
        SimplimaxRoutines r;
        r.rotate = [](const Matrix& l, int zeros, const RotationParameters&) {
            SimplimaxSolution s;
            s.weights = Matrix(l.rows(), l.cols());
            s.weights[0][0] = zeros;
            s.criterion = 1.0 + 0.1 * (zeros - 9) + (zeros >= 15 ? 5.0 : 0.0);
            return s;
        };
        r.step = [this](const Matrix& l, const Matrix& w, const Matrix&, const Matrix&, double) {
            stepped.push_back(w[0][0]);
            SimplimaxSolution s;
            s.transformation = identity(l.cols());
            s.factorCorrelations = identity(l.cols());
            s.weights = w;
            return s;
        };
        return r;
    }
};

TEST_F(QtSimplimaxTest, ComputeListsTheValuesAndOkFitsTheLineClicked) {
    // p = 9, m = 3: zeros from 9 to 21, the edits show 6 and 18.
    SimplimaxDialog dialog(Matrix(9, 3), parameters, doubles());
    std::string rangeTyped, autoSelected, clicked;
    bool okBefore = true, okAfter = false, computeAfter = true, editsAfter = true;
    int lines = 0;
    driver.expect("Simplimax rotation", [&](QWidget& w) {
        QtDialog& d = dialogOf(w);
        typeInto(d, "maximumSalient", "16");
        rangeTyped = qobject_cast<QLabel*>(d.widgetFor("zeroRange"))->text().toStdString();
        typeInto(d, "maximumSalient", "18");
        okBefore = d.okButton()->isEnabled();
        click(d.button("compute"));
        auto* list = qobject_cast<QListWidget*>(d.widgetFor("functionValues"));
        lines = list->count();
        autoSelected = qobject_cast<QLabel*>(d.widgetFor("selected"))->text().toStdString();
        okAfter = d.okButton()->isEnabled();
        computeAfter = d.button("compute")->isEnabled();
        editsAfter = d.widgetFor("minimumSalient")->isEnabled();
        // The line of 17 zeros.
        QListWidgetItem* item = list->item(17 - 9);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(item).center());
        clicked = qobject_cast<QLabel*>(d.widgetFor("selected"))->text().toStdString();
        click(d.okButton());
    });
    ASSERT_TRUE(ws.runDialog(dialog));
    EXPECT_EQ(rangeTyped, "11 and 21");
    EXPECT_FALSE(okBefore);
    EXPECT_EQ(lines, 13);
    EXPECT_EQ(autoSelected.rfind("Salient loadings = 13 ; Zero loadings = 14;", 0), 0u) << autoSelected;
    EXPECT_TRUE(okAfter);
    EXPECT_FALSE(computeAfter);
    EXPECT_FALSE(editsAfter);
    EXPECT_EQ(clicked.rfind("Salient loadings = 10 ; Zero loadings = 17;", 0), 0u) << clicked;
    EXPECT_EQ(dialog.selectedZeros(), 17);
    EXPECT_EQ(stepped, std::vector<double>{17.0});
    ASSERT_TRUE(dialog.chosen().has_value());
}

TEST(QtProgress, StageTextAtOnceBarAtMostEveryInterval) {
    using namespace std::chrono;
    steady_clock::time_point now{};
    QtWindowSystem ws([](const std::string&) {}, nullptr, [&now] { return now; });
    QtMainWindow window(ws, "test");
    ws.showProgress();
    ASSERT_NE(ws.progressWindow(), nullptr);
    EXPECT_EQ(ws.progressWindow()->windowTitle().toStdString(), "TALVEX is now computing");
    QLabel* stage = ws.progressWindow()->stage();
    QProgressBar* bar = ws.progressWindow()->bar();
    EXPECT_EQ(stage->text().toStdString(), "Computing ...");
    EXPECT_EQ(bar->maximum(), 1000);

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
    struct Case {
        const char* display;
        const char* wayland;
        bool available;
    };
    for (const Case& c : {Case{nullptr, nullptr, false}, Case{"", "", false},
                          Case{":0", nullptr, true}, Case{nullptr, "wayland-0", true}}) {
        if (c.display) setenv("DISPLAY", c.display, 1); else unsetenv("DISPLAY");
        if (c.wayland) setenv("WAYLAND_DISPLAY", c.wayland, 1); else unsetenv("WAYLAND_DISPLAY");
        EXPECT_EQ(displayAvailable(), c.available)
            << (c.display ? c.display : "-") << " " << (c.wayland ? c.wayland : "-");
    }
    if (display) setenv("DISPLAY", savedDisplay.c_str(), 1); else unsetenv("DISPLAY");
    if (wayland) setenv("WAYLAND_DISPLAY", savedWayland.c_str(), 1); else unsetenv("WAYLAND_DISPLAY");
}

}  // namespace
}  // namespace talvex::testing
