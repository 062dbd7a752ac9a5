// Start-up of the desktop front end. It lives in a module of its own
// (talvex-desktop.so), loaded only when a desktop session opens, so that the
// terminal front end and `talvex analyse` start without loading Qt.
#pragma once

#include <string>
#include <vector>

namespace talvex {

// Whether a desktop session can be opened: DISPLAY or WAYLAND_DISPLAY set.
bool displayAvailable();

// The module's entry point: runs the desktop front end until its main
// window closes and returns the exit status.
using DesktopEntry = int (*)(int* argc, char** argv, const char* version);
inline constexpr const char* kDesktopEntryName = "talvexRunDesktop";

// The entry of the first of the module files that loads, or null with what
// went wrong in `error` (the loader's message for the last file tried).
DesktopEntry loadDesktopEntry(const std::vector<std::string>& files, std::string& error);

}  // namespace talvex
