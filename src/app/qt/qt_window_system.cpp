#include "app/qt/qt_window_system.h"
#include "app/qt/qt_results_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <cstddef>

#include "app/qt/qt_dialog.h"

namespace talvex {

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }

QMessageBox::Icon boxIcon(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Error: return QMessageBox::Critical;
        case MessageIcon::Exclamation: return QMessageBox::Warning;
        case MessageIcon::Information: return QMessageBox::Information;
        case MessageIcon::Question: return QMessageBox::Question;
        case MessageIcon::None: break;
    }
    return QMessageBox::NoIcon;
}

constexpr const char* kBoxTitle = "TALVEX";

}  // namespace

// ---- progress window -------------------------------------------------------

QtProgressWindow::QtProgressWindow(QWidget* parent) : QDialog(parent) {
    setWindowTitle("TALVEX is now computing");
    setModal(false);
    auto* layout = new QVBoxLayout(this);
    stage_ = new QLabel("Computing ...", this);
    QFont f("Arial");
    f.setPixelSize(20);
    stage_->setFont(f);
    stage_->setMinimumWidth(420);
    bar_ = new QProgressBar(this);
    bar_->setRange(0, 1000);
    bar_->setTextVisible(false);
    layout->addWidget(stage_);
    layout->addWidget(bar_);
}

// ---- window system ---------------------------------------------------------

QtWindowSystem::QtWindowSystem(ReportOpener opener, FileChooser chooser, Clock clock)
    : opener_(std::move(opener)), chooser_(std::move(chooser)), clock_(std::move(clock)) {
    if (!opener_)
        opener_ = [](const std::string& path) {
            // Without a viewer openUrl fails, and the report is not shown.
            QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(qs(path)).absoluteFilePath()));
        };
    if (!chooser_)
        chooser_ = [](QWidget* parent, const std::string& title,
                      const std::string& filter) -> std::optional<std::string> {
            const QString path = QFileDialog::getOpenFileName(parent, qs(title), QString(), qs(filter));
            if (path.isEmpty()) return std::nullopt;
            return path.toStdString();
        };
    if (!clock_) clock_ = [] { return std::chrono::steady_clock::now(); };
}

QtWindowSystem::~QtWindowSystem() { setWaitCursor(false); }

QWidget* QtWindowSystem::parentWidget() const {
    if (!dialogs_.empty()) return dialogs_.back();
    return main_;
}

void QtWindowSystem::message(const std::string& text, MessageIcon icon) {
    QMessageBox box(boxIcon(icon), kBoxTitle, qs(text), QMessageBox::Ok, parentWidget());
    box.exec();
}

bool QtWindowSystem::askYesNo(const std::string& text) {
    QMessageBox box(QMessageBox::Question, kBoxTitle, qs(text),
                    QMessageBox::Yes | QMessageBox::No, parentWidget());
    return box.exec() == QMessageBox::Yes;
}

bool QtWindowSystem::runDialog(DialogModel& dialog) {
    QtDialog window(dialog, *this, parentWidget());
    dialogs_.push_back(&window);
    const int result = window.exec();
    dialogs_.pop_back();
    return result == QDialog::Accepted;
}

std::optional<std::string> QtWindowSystem::openFile(const std::string& title,
                                                    const std::string& filter) {
    return chooser_(parentWidget(), title, filter);
}

void QtWindowSystem::listLineAdded(const DialogModel& dialog, const std::string& key,
                                   const std::string& line) {
    (void)key;
    (void)line;
    // The list shows each line as the computation produces it.
    for (QtDialog* window : dialogs_) {
        if (&window->model() != &dialog) continue;
        window->sync();
        window->repaint();
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
}

void QtWindowSystem::showProgress() {
    progress_ = std::make_unique<QtProgressWindow>(main_);
    progressText_ = "Computing ...";
    barPosition_ = 0;
    textDirty_ = barDirty_ = false;
    progress_->show();
    // The window is mapped before the run starts.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    lastEvents_ = clock_();
}

void QtWindowSystem::hideProgress() {
    if (!progress_) return;
    progress_->hide();
    progress_.reset();
}

void QtWindowSystem::setProgressText(const std::string& text) {
    if (text == progressText_) return;
    progressText_ = text;
    textDirty_ = true;
}

void QtWindowSystem::setProgressBar(int position, int step) {
    (void)step;
    position = std::clamp(position, 0, 1000);
    if (position == barPosition_) return;
    barPosition_ = position;
    barDirty_ = true;
}

void QtWindowSystem::repaintProgress() {
    // Called at every matrix construction: cheap unless something is due.
    if (!progress_) return;
    const auto now = clock_();
    if (textDirty_ || (barDirty_ && now - lastPaint_ >= kBarRepaint)) {
        paintProgress();
        lastPaint_ = now;
    }
    if (now - lastEvents_ >= kWindowEvents) {
        lastEvents_ = now;
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
}

void QtWindowSystem::paintProgress() {
    progress_->stage()->setText(qs(progressText_));
    progress_->bar()->setValue(barPosition_);
    textDirty_ = barDirty_ = false;
    progress_->repaint();
}

void QtWindowSystem::setStatus(const std::string& line1, const std::string& line2,
                               const std::string& line3) {
    if (main_ != nullptr) main_->setStatus(line1, line2, line3);
}

void QtWindowSystem::setWaitCursor(bool on) {
    if (on == waitCursor_) return;
    waitCursor_ = on;
    if (on)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

void QtWindowSystem::beep() {
    ++beeps_;
    QApplication::beep();
}

void QtWindowSystem::openReport(const std::string& path) { (void)path; }

void QtWindowSystem::showResults(const std::string& page, const std::string& reportPath,
                                 const std::string& pagePath, const std::string& plotFolder) {
    if (!results_) results_ = std::make_unique<QtResultsWindow>(nullptr, opener_, nullptr);
    results_->showPage(page, reportPath, pagePath, plotFolder);
    results_->show();
    results_->raise();
}

// ---- main window -----------------------------------------------------------

QtMainWindow::QtMainWindow(QtWindowSystem& ws, const std::string& version)
    : ws_(ws), window_(ws, version) {
    setWindowTitle(MainWindow::kTitle);
    auto* layout = new QVBoxLayout(this);

    auto* banner = new QLabel(this);
    banner->setText(
        "<div style='color: rgb(55, 69, 166);'><span style='font-size: 28px; font-weight: bold;'>"
        "TALVEX</span><br><span style='font-size: 13px;'>Exploratory factor analysis of tests "
        "and questionnaires</span></div>");
    banner->setAlignment(Qt::AlignCenter);
    banner->setMargin(8);
    banner->setAutoFillBackground(true);
    QPalette palette = banner->palette();
    palette.setColor(QPalette::Window, QColor(226, 230, 244));
    banner->setPalette(palette);
    layout->addWidget(banner);

    auto* buttons = new QVBoxLayout;
    for (std::size_t i = 0; i < kMainCommands.size(); ++i) {
        const MainCommandInfo& info = kMainCommands[i];
        auto* button = new QPushButton(info.caption, this);
        button->setObjectName(info.key);
        button->setMinimumHeight(30);
        buttons->addWidget(button);
        buttons_[i] = button;
        const MainCommand command = info.command;
        connect(button, &QPushButton::clicked, this, [this, command] { run(command); });
    }
    layout->addLayout(buttons);

    auto* status = new QVBoxLayout;
    for (std::size_t i = 0; i < status_.size(); ++i) {
        status_[i] = new QLabel(this);
        status_[i]->setObjectName(QString("status%1").arg(i + 1));
        status_[i]->setFrameShape(QFrame::StyledPanel);
        status_[i]->setMinimumHeight(22);
        status->addWidget(status_[i]);
    }
    layout->addLayout(status);
    setMinimumWidth(360);
    ws_.setMainWindow(this);
}

QPushButton* QtMainWindow::commandButton(MainCommand command) const {
    for (std::size_t i = 0; i < kMainCommands.size(); ++i)
        if (kMainCommands[i].command == command) return buttons_[i];
    return nullptr;
}

void QtMainWindow::setStatus(const std::string& line1, const std::string& line2,
                             const std::string& line3) {
    const std::array<std::string, 3> lines{line1, line2, line3};
    for (std::size_t i = 0; i < status_.size(); ++i) status_[i]->setText(qs(lines[i]));
    repaint();
}

void QtMainWindow::run(MainCommand command) {
    if (running_) return;
    running_ = true;
    const bool open = window_.execute(command);
    running_ = false;
    if (!open) close();
}

void QtMainWindow::closeEvent(QCloseEvent* event) {
    // A run cannot be interrupted; otherwise closing is Exit.
    if (running_) {
        event->ignore();
        return;
    }
    window_.close();
    event->accept();
}

// ---- start-up --------------------------------------------------------------

int runDesktop(int& argc, char** argv, const std::string& version) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("TALVEX");
    QtWindowSystem ws;
    QtMainWindow window(ws, version);
    window.show();
    return QApplication::exec();
}

}  // namespace talvex
