#include "app/about_dialog.h"

#include "analysis/report_frame.h"

namespace talvex {

AboutDialog::AboutDialog(const std::string& version) : DialogModel("About TALVEX") {
    add(listControl("about", "",
                    {
                        "TALVEX version " + version,
                        "Exploratory factor analysis of tests and questionnaires",
                        "for Linux and other POSIX systems, at a terminal or from a script",
                        std::string("Released ") + kReleaseDate,
                        "Written by the TALVEX developers",
                    }));
}

}  // namespace talvex
