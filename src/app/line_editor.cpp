#include "app/line_editor.h"

#ifdef TALVEX_WITH_READLINE

#include <cstdio>
#include <cstdlib>
#include <cstring>
// The readline headers need stdio's FILE declared first.
#include <readline/history.h>
#include <readline/readline.h>

#include "app/text_util.h"

namespace talvex {

namespace {

// readline calls plain functions: the completer of the line being read.
const Completer* activeCompleter = nullptr;
std::vector<std::string> pendingWords;
std::size_t nextWord = 0;

std::string lineBeforeCursor() { return std::string(rl_line_buffer, static_cast<std::size_t>(rl_point)); }

// Breaks words at blanks, except in a value after '=' that already holds a
// blank (an option name such as "Normalized Varimax"): the word is then the
// whole value, with the blanks before it.
char* wordBreaks() {
    static char plain[] = " \t=";
    static char value[] = "=";
    const std::string before = lineBeforeCursor();
    const auto eq = before.rfind('=');
    if (eq == std::string::npos) return plain;
    return trim(before.substr(eq + 1)).find_first_of(" \t") == std::string::npos ? plain : value;
}

char* nextMatch(const char* text, int state) {
    (void)text;
    if (state == 0) nextWord = 0;
    if (nextWord >= pendingWords.size()) return nullptr;
    return ::strdup(pendingWords[nextWord++].c_str());
}

char** complete(const char* text, int start, int end) {
    (void)start;
    (void)end;
    if (activeCompleter == nullptr || !*activeCompleter) return nullptr;
    const auto words = (*activeCompleter)(lineBeforeCursor());
    if (!words) return nullptr;  // file names
    rl_attempted_completion_over = 1;
    const std::string typed = text;
    const std::string lead = typed.substr(0, typed.find_first_not_of(" \t") == std::string::npos
                                                 ? typed.size()
                                                 : typed.find_first_not_of(" \t"));
    pendingWords.clear();
    for (const std::string& w : *words) pendingWords.push_back(lead + w);
    return rl_completion_matches(text, nextMatch);
}

class ReadlineEditor : public LineEditor {
public:
    ReadlineEditor() {
        rl_readline_name = "talvex";
        rl_attempted_completion_function = complete;
        rl_completion_word_break_hook = wordBreaks;
        rl_variable_bind("completion-ignore-case", "on");
    }

    std::optional<std::string> read(const std::string& prompt, const Completer& completer) override {
        activeCompleter = &completer;
        char* raw = ::readline(prompt.c_str());
        activeCompleter = nullptr;
        if (raw == nullptr) return std::nullopt;
        std::string line = raw;
        std::free(raw);
        if (!trim(line).empty()) {
            const HIST_ENTRY* last = history_length > 0 ? history_get(history_base + history_length - 1) : nullptr;
            if (last == nullptr || line != last->line) add_history(line.c_str());
        }
        return line;
    }
};

}  // namespace

std::unique_ptr<LineEditor> makeTerminalLineEditor() { return std::make_unique<ReadlineEditor>(); }

}  // namespace talvex

#else

namespace talvex {

std::unique_ptr<LineEditor> makeTerminalLineEditor() { return nullptr; }

}  // namespace talvex

#endif
