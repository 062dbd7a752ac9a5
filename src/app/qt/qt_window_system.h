// The desktop front end: the WindowSystem over Qt 6 Widgets, the main
// window "Talvex" and the progress window "TALVEX is now computing".
//
// A run executes on the GUI thread and pumps no input events. The progress
// window is repainted synchronously (QWidget::repaint) when its stage text
// changes and, for the bar, at most every kBarRepaint; at most every
// kWindowEvents the run also lets Qt handle the window system's non-input
// events (QEventLoop::ExcludeUserInputEvents), so exposed windows are
// painted again while a long parallel analysis runs. Mouse and key input
// waits until the run ends; closing the main window meanwhile is refused.
#pragma once

#include <QDialog>
#include <QWidget>
#include <array>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "app/window_system.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace talvex {

class QtDialog;
class QtMainWindow;
class QtResultsWindow;

class QtProgressWindow : public QDialog {
public:
    explicit QtProgressWindow(QWidget* parent);
    QLabel* stage() const { return stage_; }
    QProgressBar* bar() const { return bar_; }

private:
    QLabel* stage_;
    QProgressBar* bar_;
};

class QtWindowSystem : public WindowSystem {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    // Opens the finished report; by default the desktop's viewer
    // (QDesktopServices), which starts it without waiting.
    using ReportOpener = std::function<void(const std::string& path)>;
    // A file-open dialog; by default QFileDialog.
    using FileChooser = std::function<std::optional<std::string>(
        QWidget* parent, const std::string& title, const std::string& filter)>;

    explicit QtWindowSystem(ReportOpener opener = nullptr, FileChooser chooser = nullptr,
                            Clock clock = nullptr);
    ~QtWindowSystem() override;

    // The window dialogs and message boxes belong to.
    void setMainWindow(QtMainWindow* window) { main_ = window; }
    // The dialogs open now, innermost last.
    const std::vector<QtDialog*>& openDialogs() const { return dialogs_; }
    QtProgressWindow* progressWindow() const { return progress_.get(); }
    bool waitCursor() const { return waitCursor_; }
    int beeps() const { return beeps_; }

    // Messenger.
    void message(const std::string& text, MessageIcon icon) override;
    bool askYesNo(const std::string& text) override;

    // WindowSystem.
    bool runDialog(DialogModel& dialog) override;
    std::optional<std::string> openFile(const std::string& title,
                                        const std::string& filter) override;
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
    void setWaitCursor(bool on) override;
    void beep() override;
    // The report is opened from the results window, which a run opens.
    void openReport(const std::string& path) override;
    bool showsResults() const override { return true; }
    void showResults(const std::string& page, const std::string& reportPath, const std::string& pagePath,
                     const std::string& plotFolder) override;
    // The results window of the last run; nothing before the first.
    QtResultsWindow* resultsWindow() const { return results_.get(); }

    static constexpr std::chrono::milliseconds kBarRepaint{40};
    static constexpr std::chrono::milliseconds kWindowEvents{100};

private:
    QWidget* parentWidget() const;
    void paintProgress();

    ReportOpener opener_;
    FileChooser chooser_;
    Clock clock_;
    QtMainWindow* main_ = nullptr;
    std::vector<QtDialog*> dialogs_;
    std::unique_ptr<QtProgressWindow> progress_;
    std::unique_ptr<QtResultsWindow> results_;
    std::string progressText_;
    int barPosition_ = 0;
    bool textDirty_ = false;
    bool barDirty_ = false;
    std::chrono::steady_clock::time_point lastPaint_{};
    std::chrono::steady_clock::time_point lastEvents_{};
    bool waitCursor_ = false;
    int beeps_ = 0;
};

// The main window: banner, the five command buttons and the three status
// lines; its commands run on the MainWindow model.
class QtMainWindow : public QWidget {
public:
    QtMainWindow(QtWindowSystem& ws, const std::string& version);

    MainWindow& model() { return window_; }
    QPushButton* commandButton(MainCommand command) const;
    QLabel* statusLine(int index) const { return status_[static_cast<std::size_t>(index)]; }
    void setStatus(const std::string& line1, const std::string& line2, const std::string& line3);
    bool running() const { return running_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void run(MainCommand command);

    QtWindowSystem& ws_;
    MainWindow window_;
    std::array<QPushButton*, kMainCommands.size()> buttons_{};
    std::array<QLabel*, 3> status_{};
    bool running_ = false;
};

// Runs the desktop front end until the main window closes; the exit status.
int runDesktop(int& argc, char** argv, const std::string& version);

}  // namespace talvex
