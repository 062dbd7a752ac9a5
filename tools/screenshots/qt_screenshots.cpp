// Takes the screenshots of the desktop front end shown in README.md: the
// main window, the Sample and Configuration dialogs filled in for the
// bundled example, the progress window during parallel analysis and the
// results window after the run.
// Run under a display (make screenshots starts Xvfb):
//   qt_screenshots SOURCE_DIR OUTPUT_DIR
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QtTest/QTest>
#include <cstdio>
#include <functional>
#include <string>

#include "app/qt/qt_dialog.h"
#include "app/qt/qt_results_window.h"
#include "app/qt/qt_window_system.h"
#include "report/settings.h"

namespace {

using talvex::QtDialog;

void type(QtDialog& d, const std::string& key, const std::string& text) {
    auto* edit = qobject_cast<QLineEdit*>(d.widgetFor(key));
    if (edit == nullptr) return;
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, QString::fromStdString(text));
}

bool save(QWidget* w, const std::string& path) {
    if (!w->grab().save(QString::fromStdString(path))) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return false;
    }
    std::printf("wrote %s\n", path.c_str());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: qt_screenshots SOURCE_DIR OUTPUT_DIR\n");
        return 2;
    }
    const std::string source = argv[1];
    const std::string out = QDir(argv[2]).absolutePath().toStdString();
    // The example's files by the names a user would type; the report goes
    // to a scratch directory.
    const QString scratch = QDir::tempPath() + "/talvex-screenshots";
    QDir().mkpath(scratch);
    QFile::remove(scratch + "/examples");
    QFile::link(QDir(QString::fromStdString(source)).absoluteFilePath("examples"), scratch + "/examples");
    QDir::setCurrent(scratch);
    bool ok = true;

    talvex::QtWindowSystem ws([](const std::string&) {});
    talvex::QtMainWindow window(ws, "0.1.0");
    window.show();

    // Answers the modal windows as they open.
    std::function<void(QWidget*)> act;
    bool progressTaken = false;
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto* progress = ws.progressWindow(); progress != nullptr && !progressTaken &&
                                                  progress->stage()->text().contains("Computing PA")) {
            progressTaken = true;
            ok = save(progress, out + "/qt-progress.png") && ok;
        }
        QWidget* modal = QApplication::activeModalWidget();
        // Each window is acted on once.
        if (modal == nullptr || modal->property("acted").isValid()) return;
        modal->setProperty("acted", true);
        // Acted on from a fresh timer, so that this one stays free to answer
        // a window the action opens.
        QTimer::singleShot(0, [&act, modal] { act(modal); });
    });

    act = [&](QWidget* modal) {
        auto* d = dynamic_cast<QtDialog*>(modal);
        if (d == nullptr) {  // a message box: no screenshot needed
            if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->accept();
            return;
        }
        const std::string title = modal->windowTitle().toStdString();
        if (title == "Sample") {
            type(*d, "participantCount", "300");
            type(*d, "variableCount", "12");
            type(*d, "scoresFileName", "examples/items.dat");
            qobject_cast<QCheckBox*>(d->widgetFor("labelsEnabled"))->click();
            type(*d, "labelsFileName", "examples/labels.txt");
            type(*d, "missingCode", "999");
            d->okButton()->setFocus();
            QApplication::processEvents();
            ok = save(d, out + "/qt-sample.png") && ok;
            d->okButton()->click();
        } else if (title == "Configuration") {
            d->optionButton("factorCountProcedure", talvex::ParallelAnalysis)->click();
            type(*d, "factorCount", "3");
            type(*d, "outputFileName", "screenshot-report.txt");
            type(*d, "jsonFileName", "screenshot-results.json");
            type(*d, "plotFolder", "screenshot-plots");
            type(*d, "htmlFileName", "screenshot-results.html");
            d->button("configureParallelAnalysis")->click();
            d->okButton()->setFocus();
            QApplication::processEvents();
            ok = save(d, out + "/qt-configuration.png") && ok;
            d->okButton()->click();
        } else if (title == "Configuration of Parallel Analysis") {
            // Enough random matrices for the progress window to be seen.
            type(*d, "paRandomMatrices", "3000");
            d->okButton()->setFocus();
            QApplication::processEvents();
            ok = save(d, out + "/qt-parallel-analysis.png") && ok;
            d->okButton()->click();
        } else {
            d->reject();
        }
    };
    poll.start();

    QTimer::singleShot(200, [&] {
        window.commandButton(talvex::MainCommand::ReadData)->click();
        window.commandButton(talvex::MainCommand::ConfigureAnalysis)->click();
        window.commandButton(talvex::MainCommand::Compute)->click();
        QApplication::processEvents();
        ok = save(&window, out + "/qt-main.png") && ok;
        if (auto* results = ws.resultsWindow()) {
            // The publication table chosen in the contents list.
            const auto found = results->contents()->findItems("Loading table for publication", Qt::MatchExactly);
            if (!found.isEmpty()) results->contents()->setCurrentItem(found.front());
            QApplication::processEvents();
            ok = save(results, out + "/qt-results.png") && ok;
        } else {
            std::fprintf(stderr, "the results window was not opened\n");
            ok = false;
        }
        if (!progressTaken) {
            std::fprintf(stderr, "the progress window was not seen during parallel analysis\n");
            ok = false;
        }
        QApplication::exit(ok ? 0 : 1);
    });
    return QApplication::exec();
}
