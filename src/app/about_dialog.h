// The About box: program name and version, platforms, a date line and the
// credits; only OK.
#pragma once

#include <string>

#include "app/dialog_model.h"

namespace talvex {

class AboutDialog : public DialogModel {
public:
    // The version text is set when the dialog opens (the executable knows it).
    explicit AboutDialog(const std::string& version);
};

// Date line of the About box: the release date of this version.
inline constexpr const char* kReleaseDate = "December 2026";

}  // namespace talvex
