#include "app/qt/qt_results_window.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QTextBlock>
#include <QTextBrowser>
#include <QVBoxLayout>

#include "data/output_file.h"

namespace talvex {

QtResultsWindow::QtResultsWindow(QWidget* parent, Opener opener, SaveChooser chooser)
    : QWidget(parent, Qt::Window), opener_(std::move(opener)), chooser_(std::move(chooser)) {
    setWindowTitle("TALVEX results");
    if (!chooser_)
        chooser_ = [](QWidget* owner) {
            return QFileDialog::getSaveFileName(owner, "Save the results page", "results.html",
                                                "HTML pages (*.html)")
                .toStdString();
        };
    auto* layout = new QVBoxLayout(this);
    auto* splitter = new QSplitter(this);
    auto* side = new QWidget(splitter);
    auto* sideLayout = new QVBoxLayout(side);
    sideLayout->setContentsMargins(0, 0, 0, 0);
    sideLayout->addWidget(new QLabel("Contents", side));
    contents_ = new QListWidget(side);
    sideLayout->addWidget(contents_);
    browser_ = new QTextBrowser(splitter);
    browser_->setOpenLinks(true);
    browser_->setOpenExternalLinks(false);
    splitter->addWidget(side);
    splitter->addWidget(browser_);
    splitter->setStretchFactor(1, 4);
    layout->addWidget(splitter);

    auto* buttons = new QHBoxLayout();
    openReport_ = new QPushButton("Open text report", this);
    savePage_ = new QPushButton("Save page...", this);
    plots_ = new QPushButton("Open plots folder", this);
    auto* close = new QPushButton("Close", this);
    for (QPushButton* b : {openReport_, savePage_, plots_}) buttons->addWidget(b);
    buttons->addStretch();
    buttons->addWidget(close);
    layout->addLayout(buttons);

    connect(contents_, &QListWidget::currentRowChanged, this, [this](int row) { jumpTo(row); });
    connect(openReport_, &QPushButton::clicked, this, [this] { opener_(reportPath_); });
    connect(plots_, &QPushButton::clicked, this, [this] { opener_(plotFolder_); });
    connect(savePage_, &QPushButton::clicked, this, [this] {
        const std::string path = chooser_(this);
        if (path.empty()) return;
        if (const WriteResult written = savePage(path); !written)
            QMessageBox::critical(this, "TALVEX",
                                  QString::fromStdString("The page could not be written to " + path + ": " +
                                                         written.error));
    });
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    resize(1000, 760);
}

void QtResultsWindow::showPage(const std::string& page, const std::string& reportPath,
                               const std::string& pagePath, const std::string& plotFolder) {
    page_ = page;
    reportPath_ = reportPath;
    plotFolder_ = plotFolder;
    // Relative pictures of the page are found beside its file.
    if (!pagePath.empty())
        browser_->setSearchPaths({QFileInfo(QString::fromStdString(pagePath)).absolutePath()});
    browser_->setHtml(QString::fromStdString(page));
    plots_->setEnabled(!plotFolder.empty());
    fillContents();
}

WriteResult QtResultsWindow::savePage(const std::string& path) const {
    return writeTextFile(path, page_);
}

// The sections are the page's second-level headings.
void QtResultsWindow::fillContents() {
    contents_->clear();
    for (QTextBlock block = browser_->document()->begin(); block.isValid(); block = block.next())
        if (block.blockFormat().headingLevel() == 2 && block.text() != "Contents") {
            auto* item = new QListWidgetItem(block.text(), contents_);
            item->setData(Qt::UserRole, block.position());
        }
}

void QtResultsWindow::jumpTo(int row) {
    if (row < 0) return;
    const int position = contents_->item(row)->data(Qt::UserRole).toInt();
    QTextCursor cursor(browser_->document());
    cursor.setPosition(position);
    // The heading at the top of the view.
    browser_->verticalScrollBar()->setValue(browser_->verticalScrollBar()->maximum());
    browser_->setTextCursor(cursor);
    browser_->ensureCursorVisible();
}

}  // namespace talvex
