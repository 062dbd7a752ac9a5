// The desktop front end's module: everything it needs is linked in and
// hidden, and only its entry point is exported.
#include "app/desktop_launch.h"
#include "app/qt/qt_window_system.h"

extern "C" __attribute__((visibility("default"))) int talvexRunDesktop(int* argc, char** argv,
                                                                        const char* version) {
    return talvex::runDesktop(*argc, argv, version);
}
