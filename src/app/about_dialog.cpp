#include "app/about_dialog.h"

#include "analysis/report_frame.h"

namespace talvex {

AboutDialog::AboutDialog(const std::string& version) : DialogModel("About TALVEX") {
    Control text;
    text.kind = ControlKind::List;
    text.key = "about";
    const std::string lines[] = {
        "TALVEX version " + version,
        "Exploratory factor analysis of tests and questionnaires",
        "for Linux and other POSIX systems, at a terminal or from a script",
        std::string("Released ") + kReleaseDate,
        "Written by the TALVEX developers",
    };
    for (const std::string& line : lines) {
        ControlOption row;
        row.caption = line;
        text.options.push_back(row);
    }
    add(text);
}

}  // namespace talvex
