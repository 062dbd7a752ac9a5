// The About box: a three-line text with the program name and version and the
// platforms it runs on, a date line (the release date the report header also
// prints) and the credits; only OK.
#pragma once

#include <string>

#include "app/dialog_model.h"

namespace talvex {

class AboutDialog : public DialogModel {
public:
    // The version text is set when the dialog opens (the executable knows it).
    explicit AboutDialog(const std::string& version);
};

}  // namespace talvex
