// The platform calls of the program: everything a run needs (RunHost), plus
// modal dialogs and file-open dialogs. Implemented by the terminal front
// end, the scripted test double and the desktop front end.
#pragma once

#include <optional>
#include <string>

#include "analysis/run_host.h"
#include "app/simplimax_dialog.h"

namespace talvex {

class DialogModel;

class WindowSystem : public RunHost {
public:
    WindowSystem() : simplimax_(*this) {}
    WindowSystem(const WindowSystem&) = delete;
    WindowSystem& operator=(const WindowSystem&) = delete;

    // Shows a dialog modally until OK (true, after its accept() allowed it)
    // or Cancel (false).
    virtual bool runDialog(DialogModel& dialog) = 0;
    // A file-open dialog with a title and one filter such as "*.dat";
    // nothing when cancelled.
    virtual std::optional<std::string> openFile(const std::string& title,
                                                const std::string& filter) = 0;
    // A line added to a list of an open dialog while one of its buttons
    // works (a long computation shows its progress this way).
    virtual void listLineAdded(const DialogModel& dialog, const std::string& key,
                               const std::string& line) {
        (void)dialog;
        (void)key;
        (void)line;
    }

    // The rotation stage asks the user through the Simplimax dialog.
    SimplimaxChooser* simplimaxChooser() override { return &simplimax_; }

private:
    SimplimaxDialogChooser simplimax_;
};

}  // namespace talvex
