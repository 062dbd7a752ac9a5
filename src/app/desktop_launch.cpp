#include "app/desktop_launch.h"

#include <dlfcn.h>

#include <cstdlib>

namespace talvex {

bool displayAvailable() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') return true;
    }
    return false;
}

DesktopEntry loadDesktopEntry(const std::vector<std::string>& files, std::string& error) {
    error = "no module file";
    for (const std::string& file : files) {
        // Bound now: a module that misses a symbol fails here, not midway.
        void* module = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (module == nullptr) {
            const char* why = dlerror();
            error = why != nullptr ? why : file + ": not loaded";
            continue;
        }
        if (void* entry = dlsym(module, kDesktopEntryName)) return reinterpret_cast<DesktopEntry>(entry);
        error = file + ": no entry " + kDesktopEntryName;
        dlclose(module);
    }
    return nullptr;
}

}  // namespace talvex
