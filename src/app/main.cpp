#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "app/analyse_command.h"
#include "app/blas_kernels.h"

#include "app/desktop_launch.h"
#include "app/main_window.h"
#include "app/terminal_window_system.h"

#ifndef TALVEX_VERSION
#define TALVEX_VERSION "0.0.0"
#endif

namespace {

constexpr const char* kUsage =
    "usage: talvex [--console] [--help] [--version]\n"
    "       talvex analyse DATA [options]   (talvex analyse --help lists them)\n";

void printHelp() {
    std::printf(
        "%s"
        "\n"
        "Exploratory factor analysis of test and questionnaire data: item scores\n"
        "(or a variance/covariance matrix) in plain text, one plain-text report out.\n"
        "\n"
        "Options:\n"
#ifdef TALVEX_WITH_QT
        "  --console   the terminal front end (the default without a display)\n"
#else
        "  --console   the terminal front end (the default: no desktop front end is built)\n"
#endif
        "  --help      this text\n"
        "  --version   the version\n"
        "\n"
        "The terminal front end reads commands from standard input:\n"
        "  read, configure, compute, about, exit   at the prompt \"talvex> \"\n"
        "Inside a dialog (prompt \"<dialog title>> \"):\n"
        "  key = value   set a control (check boxes: on/off; choices: code or name)\n"
        "  ok, cancel    close the dialog; end of input is cancel\n"
        "  show, help    list the controls and their options, or the accepted input\n"
        "  browse KEY    choose a file; other buttons are listed by help\n"
        "Message boxes print [error], [warning], [information], [question] or [message]\n"
        "and their text; a question waits for yes or no. Progress goes to standard error.\n"
        "Keys and commands match in any case; blank lines and lines starting with # are\n"
        "skipped. At a terminal, lines can be edited and recalled, and Tab completes.\n"
        "A session file can be piped in:  talvex --console < session.txt\n"
        "Its exit status is 0 only when its last compute completed and no [error] box\n"
        "was shown since, 1 otherwise.\n",
        kUsage);
}

// Present when the BLAS is OpenBLAS.
extern "C" char* openblas_get_corename() __attribute__((weak));

// Runs the pinned BLAS kernels (app/blas_kernels.h): a new image of the
// program once the environment names them.
void pinBlasKernels(char** argv) {
    if (openblas_get_corename == nullptr) return;
    if (std::strcmp(openblas_get_corename(), talvex::kPinnedBlasCore) == 0) return;
    if (!talvex::pinBlasCoreType()) return;
    execv("/proc/self/exe", argv);  // returns only when it failed: go on as loaded
}

#ifdef TALVEX_WITH_QT
// Where the desktop module may be: beside the program (a build tree), then
// in the library directory it is installed in.
std::vector<std::string> desktopModuleFiles() {
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    const std::filesystem::path dir = error ? std::filesystem::path(".") : program.parent_path();
    return {(dir / "talvex-desktop.so").string(), (dir / TALVEX_DESKTOP_DIR / "talvex-desktop.so").string()};
}
#endif

}  // namespace

int main(int argc, char** argv) {
    pinBlasKernels(argv);
    if (argc > 1 && std::strcmp(argv[1], "analyse") == 0) {
        const std::string codeset = talvex::terminalCodeset();
        talvex::TerminalTextBuffer outText(*std::cout.rdbuf(), codeset), errText(*std::cerr.rdbuf(), codeset);
        std::ostream out(&outText), err(&errText);
        return talvex::runAnalyseCommand(std::vector<std::string>(argv + 2, argv + argc), out, err);
    }
    bool console = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            printHelp();
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("talvex %s\n", TALVEX_VERSION);
            return 0;
        }
        if (std::strcmp(argv[i], "--console") == 0) {
            console = true;
            continue;
        }
        std::fprintf(stderr, "talvex: unknown option '%s'\n%s", argv[i], kUsage);
        return 2;
    }

#ifdef TALVEX_WITH_QT
    if (!console && talvex::displayAvailable()) {
        std::string error;
        if (const talvex::DesktopEntry run = talvex::loadDesktopEntry(desktopModuleFiles(), error))
            return run(&argc, argv, TALVEX_VERSION);
        std::fprintf(stderr, "talvex: the desktop front end could not be loaded (%s); the terminal front end runs\n",
                     error.c_str());
    }
#else
    (void)console;
#endif
    const talvex::TerminalModes modes = talvex::TerminalModes::detect();
    // What the terminal shows is in its own character set.
    const std::string codeset = talvex::terminalCodeset();
    talvex::TerminalTextBuffer outText(*std::cout.rdbuf(), codeset), progressText(*std::cerr.rdbuf(), codeset);
    std::ostream out(&outText), progress(&progressText);
    talvex::TerminalWindowSystem terminal(std::cin, out, progress, modes);
    if (modes.inputIsTerminal && modes.outputIsTerminal)
        terminal.useLineEditor(talvex::makeTerminalLineEditor());
    talvex::MainWindow window(terminal, TALVEX_VERSION);
    const bool completed = talvex::runMainWindow(window, terminal);
    // A piped session tells a script whether its last run completed.
    return modes.inputIsTerminal || completed ? 0 : 1;
}
