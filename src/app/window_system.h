// The platform calls of the program: everything a run needs (RunHost), plus
// modal dialogs and file-open dialogs. Implemented by the terminal front
// end, the scripted test double and the desktop front end.
#pragma once

#include <optional>
#include <string>

#include "analysis/run_host.h"

namespace talvex {

class DialogModel;

class WindowSystem : public RunHost {
public:
    // Shows a dialog modally until OK (true, after its accept() allowed it)
    // or Cancel (false).
    virtual bool runDialog(DialogModel& dialog) = 0;
    // A file-open dialog with a title and one filter such as "*.dat";
    // nothing when cancelled.
    virtual std::optional<std::string> openFile(const std::string& title,
                                                const std::string& filter) = 0;
};

}  // namespace talvex
