// The results window of the desktop front end: the run's HTML page in a
// rich-text browser (tables and pictures, text that can be selected and
// copied), a contents list of its sections, and buttons for the text
// report, saving the page and the folder of the plots.
#pragma once

#include <QWidget>
#include <functional>
#include <string>

#include "data/output_file.h"

class QListWidget;
class QPushButton;
class QTextBrowser;

namespace talvex {

class QtResultsWindow : public QWidget {
public:
    using Opener = std::function<void(const std::string& path)>;
    // Saving the page asks for a file name through this; nothing: cancelled.
    using SaveChooser = std::function<std::string(QWidget* parent)>;

    QtResultsWindow(QWidget* parent, Opener opener, SaveChooser chooser);

    // Shows a run's page; pagePath is the page's file (empty when none was
    // asked for), plotFolder the folder of the plots (empty: none drawn).
    void showPage(const std::string& page, const std::string& reportPath, const std::string& pagePath,
                  const std::string& plotFolder);

    QTextBrowser* browser() const { return browser_; }
    QListWidget* contents() const { return contents_; }
    QPushButton* openReportButton() const { return openReport_; }
    QPushButton* savePageButton() const { return savePage_; }
    QPushButton* plotsButton() const { return plots_; }

    // Writes the page to path as one output.
    WriteResult savePage(const std::string& path) const;

private:
    void fillContents();
    void jumpTo(int row);

    Opener opener_;
    SaveChooser chooser_;
    QTextBrowser* browser_;
    QListWidget* contents_;
    QPushButton* openReport_;
    QPushButton* savePage_;
    QPushButton* plots_;
    std::string page_;
    std::string reportPath_;
    std::string plotFolder_;
};

}  // namespace talvex
