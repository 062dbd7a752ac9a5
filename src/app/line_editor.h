// Line editing at a terminal: the line can be edited, earlier lines recalled
// and words completed with Tab. Used only when standard input and output are
// both terminals; piped input is read from the stream as it comes.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace talvex {

// The words that may replace the word being typed at the end of before (the
// line up to the cursor; the word starts at inputWordStart), or nothing to
// complete file names instead.
using Completer = std::function<std::optional<std::vector<std::string>>(const std::string& before)>;

class LineEditor {
public:
    virtual ~LineEditor() = default;
    // Shows the prompt and reads one edited line (kept in the history when
    // not blank); nothing at end of input.
    virtual std::optional<std::string> read(const std::string& prompt, const Completer& completer) = 0;
};

// The line editor of the process's terminal; none when the program was
// built without one.
std::unique_ptr<LineEditor> makeTerminalLineEditor();

}  // namespace talvex
