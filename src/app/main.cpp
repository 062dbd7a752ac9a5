#include <cstdio>
#include <cstring>

#ifndef TALVEX_VERSION
#define TALVEX_VERSION "0.0.0"
#endif

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("talvex %s\n", TALVEX_VERSION);
            return 0;
        }
    }
    return 0;
}
