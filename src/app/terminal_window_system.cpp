#include "app/terminal_window_system.h"

#include <langinfo.h>
#include <locale.h>
#include <unistd.h>

#include <istream>
#include <ostream>
#include <sstream>

#include "app/dialog_model.h"
#include "app/text_util.h"
#include "results/text_encoding.h"

namespace talvex {

namespace {

std::string trimRight(const std::string& s) {
    const auto e = s.find_last_not_of(kWhiteSpace);
    return e == std::string::npos ? std::string() : s.substr(0, e + 1);
}

std::vector<std::string> splitBlanks(const std::string& s) {
    std::vector<std::string> words;
    std::istringstream stream(s);
    for (std::string w; stream >> w;) words.push_back(w);
    return words;
}

// Dialog captions keep the resource convention of "&&" for a literal "&".
std::string displayText(const std::string& caption) {
    std::string out;
    for (std::size_t i = 0; i < caption.size(); ++i) {
        out += caption[i];
        if (caption[i] == '&' && i + 1 < caption.size() && caption[i + 1] == '&') ++i;
    }
    return trimRight(out);
}

std::string optionText(const ControlOption& option) {
    return displayText(option.caption.empty() ? option.name : option.caption);
}

const ControlOption* chosenOption(const Control& c) {
    if (c.value.empty()) return nullptr;
    const int code = leadingInteger(c.value);
    for (const ControlOption& o : c.options)
        if (o.code == code && o.visible) return &o;
    return nullptr;
}

std::string valueText(const Control& c) {
    switch (c.kind) {
        case ControlKind::Check:
            return c.value == "1" ? "on" : "off";
        case ControlKind::Choice: {
            const ControlOption* o = chosenOption(c);
            return o != nullptr ? optionText(*o) : std::string();
        }
        case ControlKind::List:
            return "";
        case ControlKind::Edit:
        case ControlKind::Display:
            break;
    }
    return c.value;
}

// Ends text with exactly one newline.
std::string asParagraph(const std::string& text) {
    std::string t = text;
    while (!t.empty() && (t.back() == '\n' || t.back() == '\r')) t.pop_back();
    return t + "\n";
}

const std::string kPercentPrefix = "Computing PA ... ";

// Percentage of a parallel-analysis progress text, or -1 for a stage text.
int percentOf(const std::string& text) {
    if (text.rfind(kPercentPrefix, 0) != 0) return -1;
    return leadingInteger(text.substr(kPercentPrefix.size()));
}

std::string firstWord(const std::string& s) {
    const auto words = splitBlanks(s);
    return words.empty() ? std::string() : words.front();
}

// What a person sees of a control: its line, and the lines of a list.
std::string fingerprint(const Control& c) {
    if (!c.visible) return "";
    std::string s = renderControlLine(c);
    if (c.kind == ControlKind::List)
        for (const ControlOption& o : c.options) s += "\n" + o.caption + o.name;
    return s;
}

std::vector<std::string> snapshot(const DialogModel& dialog) {
    std::vector<std::string> lines;
    for (const Control& c : dialog.controls()) lines.push_back(fingerprint(c));
    return lines;
}

}  // namespace

std::string terminalCodeset() {
    const locale_t locale = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(nullptr));
    if (locale == static_cast<locale_t>(nullptr)) return "ANSI_X3.4-1968";
    std::string codeset = nl_langinfo_l(CODESET, locale);
    freelocale(locale);
    return codeset;
}

std::string textForTerminal(std::string_view text, const std::string& codeset) {
    if (codeset == "ANSI_X3.4-1968" || codeset == "CP1252" || codeset == "WINDOWS-1252")
        return std::string(text);
    const std::string utf8 = asUtf8(text);
    return codeset == "UTF-8" ? utf8 : utf8To(utf8, codeset);
}

TerminalTextBuffer::int_type TerminalTextBuffer::overflow(int_type c) {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    line_ += traits_type::to_char_type(c);
    if (c == '\n') flushLine();
    return c;
}

std::streamsize TerminalTextBuffer::xsputn(const char* s, std::streamsize n) {
    for (std::streamsize i = 0; i < n; ++i) overflow(traits_type::to_int_type(s[i]));
    return n;
}

int TerminalTextBuffer::sync() {
    flushLine();
    return target_.pubsync();
}

// A line, or the end of one written before a flush (a prompt), is converted
// as a whole: a label in UTF-8 is told from program text by the line it is in.
void TerminalTextBuffer::flushLine() {
    if (line_.empty()) return;
    const std::string text = textForTerminal(line_, codeset_);
    target_.sputn(text.data(), static_cast<std::streamsize>(text.size()));
    line_.clear();
}

TerminalModes TerminalModes::detect() {
    TerminalModes m;
    m.inputIsTerminal = ::isatty(STDIN_FILENO) != 0;
    m.outputIsTerminal = ::isatty(STDOUT_FILENO) != 0;
    m.progressIsTerminal = ::isatty(STDERR_FILENO) != 0;
    return m;
}

std::string renderControlLine(const Control& c) {
    std::string line = c.key;
    const std::string caption = displayText(c.caption);
    if (!caption.empty()) line += "  " + caption;
    const std::string value = valueText(c);
    if (!value.empty()) line += "  " + value;
    if (!c.enabled) line += " [disabled]";
    if (c.highlighted) line += " [in error]";
    return line;
}

TerminalWindowSystem::TerminalWindowSystem(std::istream& in, std::ostream& out,
                                           std::ostream& progress, TerminalModes modes,
                                           Clock clock)
    : in_(in), out_(out), progress_(progress), modes_(modes), clock_(std::move(clock)) {
    if (!clock_) clock_ = [] { return std::chrono::steady_clock::now(); };
}

std::optional<std::string> TerminalWindowSystem::readLine(const std::string& prompt,
                                                          const Completer& completer) {
    suspendProgressLine();
    for (;;) {
        std::string line;
        if (editor_) {
            out_ << std::flush;
            auto edited = editor_->read(prompt, completer);
            if (!edited) {
                out_ << '\n' << std::flush;
                return std::nullopt;
            }
            line = std::move(*edited);
        } else {
            out_ << prompt << std::flush;
            if (!std::getline(in_, line)) {
                out_ << '\n' << std::flush;
                return std::nullopt;
            }
        }
        line = trimRight(line);
        if (!modes_.inputIsTerminal) out_ << line << '\n' << std::flush;
        const auto first = line.find_first_not_of(kWhiteSpace);
        if (first == std::string::npos || line[first] != '#') return line;
    }
}

void TerminalWindowSystem::printStatus(bool all) {
    for (int i = 0; i < 3; ++i) {
        const std::string& text = status_[static_cast<std::size_t>(i)];
        if (text.empty() && !all) continue;
        out_ << "  status " << (i + 1);
        if (!text.empty()) out_ << "   " << text;
        out_ << '\n';
    }
    out_ << std::flush;
}

// ---- messages --------------------------------------------------------------

void TerminalWindowSystem::message(const std::string& text, MessageIcon icon) {
    suspendProgressLine();
    if (icon == MessageIcon::Error) errorShown_ = true;
    out_ << messageTag(icon) << '\n' << asParagraph(text) << std::flush;
}

bool TerminalWindowSystem::askYesNo(const std::string& text) {
    suspendProgressLine();
    out_ << messageTag(MessageIcon::Question) << '\n' << asParagraph(text);
    for (;;) {
        const auto line = readLine("yes/no> ", [](const std::string&) {
            return std::optional<std::vector<std::string>>({"yes", "no"});
        });
        if (!line) return false;  // end of input closes the box: No
        const std::string answer = lower(trim(*line));
        if (answer.empty()) continue;
        if (answer == "yes" || answer == "y") return true;
        if (answer == "no" || answer == "n") return false;
        out_ << "[refused] answer yes or no\n";
    }
}

std::optional<std::string> TerminalWindowSystem::openFile(const std::string& title,
                                                          const std::string& filter) {
    suspendProgressLine();
    out_ << "[file] " << title << "  (" << filter << ")\n";
    const auto line = readLine("path> ");
    if (!line) return std::nullopt;
    const std::string path = trim(*line);
    if (path.empty()) return std::nullopt;  // an empty line cancels
    return path;
}

// ---- dialogs ---------------------------------------------------------------

void TerminalWindowSystem::renderControl(const Control& c, bool withOptions) {
    // A list without a caption is a block of read-only text: only its lines.
    if (c.kind != ControlKind::List || !displayText(c.caption).empty() || !c.enabled)
        out_ << renderControlLine(c) << '\n';
    if (c.kind == ControlKind::List) {
        for (const ControlOption& o : c.options) {
            const std::string text = trimRight(o.caption.empty() ? o.name : o.caption);
            if (text.empty())
                out_ << '\n';
            else
                out_ << "    " << text << '\n';
        }
    } else if (c.kind == ControlKind::Choice && withOptions) {
        const ControlOption* chosen = chosenOption(c);
        for (const ControlOption& o : c.options) {
            if (!o.visible) continue;
            out_ << (&o == chosen ? "    * " : "      ") << o.code;
            const std::string caption = optionText(o);
            if (!o.name.empty() && lower(o.name) != lower(caption)) out_ << "  " << o.name;
            out_ << "  " << caption;
            if (!o.enabled) out_ << " [disabled]";
            out_ << '\n';
        }
    }
}

void TerminalWindowSystem::renderDialog(const DialogModel& dialog, bool withOptions) {
    out_ << dialog.title() << '\n';
    for (const Control& c : dialog.controls())
        if (c.visible) renderControl(c, withOptions);
    out_ << std::flush;
}

void TerminalWindowSystem::printDialogHelp(const DialogModel& dialog) {
    out_ << "  key = value   set a control (check boxes: on/off; choices: code or name)\n"
            "  show [key]    show the dialog again, with the options of its choices\n"
            "  ok            accept the dialog"
         << (dialog.okEnabled() ? "" : " [disabled]")
         << "\n"
            "  cancel        close the dialog without changes\n"
            "  help          this list\n";
    for (const DialogButton& b : dialog.buttons()) {
        out_ << "  " << (b.help.empty() ? b.name : b.help);
        if (!b.enabled) out_ << " [disabled]";
        out_ << '\n';
    }
    out_ << std::flush;
}

void TerminalWindowSystem::printChanges(const DialogModel& dialog,
                                        const std::vector<std::string>& before) {
    const auto& controls = dialog.controls();
    if (controls.size() != before.size()) {
        renderDialog(dialog, false);
        return;
    }
    for (std::size_t i = 0; i < controls.size(); ++i) {
        const Control& c = controls[i];
        if (fingerprint(c) == before[i]) continue;
        if (c.visible)
            renderControl(c, false);
        else
            out_ << c.key << " [hidden]\n";
    }
    out_ << std::flush;
}

bool TerminalWindowSystem::handleDialogLine(DialogModel& dialog, const std::string& line,
                                            bool& accepted) {
    const std::string command = lower(line);
    if (command == "ok") {
        if (!dialog.okEnabled()) {
            out_ << "[refused] ok is disabled\n" << std::flush;
            return false;
        }
        if (dialog.accept(*this)) {
            accepted = true;
            return true;
        }
        // The fields in error, as the dialog now paints them.
        for (const Control& c : dialog.controls())
            if (c.visible && c.highlighted) renderControl(c, false);
        out_ << std::flush;
        return false;
    }
    if (command == "cancel") {
        accepted = false;
        return true;
    }
    if (command == "help") {
        printDialogHelp(dialog);
        return false;
    }

    if (command == "exit") {
        out_ << "[refused] exit ends the session at the talvex> prompt; cancel closes this dialog "
                "(ok keeps its changes)\n"
             << std::flush;
        return false;
    }

    const auto eq = line.find('=');
    if (eq != std::string::npos) {
        const std::string typed = trim(line.substr(0, eq));
        const std::string value = trim(line.substr(eq + 1));
        const std::vector<std::string> before = snapshot(dialog);
        const SetResult result = dialog.set(typed, value);
        const Control* c = dialog.find(typed);  // after set(): its rules may add controls
        const std::string key = c != nullptr ? c->key : typed;
        switch (result) {
            case SetResult::Ok: {
                // Other controls that the change enabled, disabled or reset;
                // a choice also shows the option it now holds.
                std::vector<std::string> others = before;
                const auto& controls = dialog.controls();
                for (std::size_t i = 0; i < controls.size() && i < others.size(); ++i)
                    if (controls[i].key == key && controls[i].kind != ControlKind::Choice)
                        others[i] = fingerprint(controls[i]);
                printChanges(dialog, others);
                break;
            }
            case SetResult::UnknownKey:
            case SetResult::Disabled:
            case SetResult::BadValue:
                out_ << "[refused] " << refusalText(dialog, key, value, result) << '\n';
                break;
        }
        out_ << std::flush;
        return false;
    }

    std::vector<std::string> words = splitBlanks(line);
    if (words.empty()) return false;  // only white space the trim does not know
    if (lower(words.front()) == "show") {
        if (words.size() == 1) {
            renderDialog(dialog, true);
        } else {
            for (std::size_t i = 1; i < words.size(); ++i) {
                const Control* c = dialog.find(words[i]);
                if (c == nullptr || !c->visible)
                    refuseUnknownKey(dialog, words[i]);
                else
                    renderControl(*c, true);
            }
            out_ << std::flush;
        }
        return false;
    }
    for (const DialogButton& b : dialog.buttons()) {
        const std::string name = firstWord(b.name);
        if (lower(name) != lower(words.front())) continue;
        if (!b.enabled) {
            out_ << "[refused] " << name << " is disabled\n" << std::flush;
            return false;
        }
        const std::vector<std::string> args(words.begin() + 1, words.end());
        std::vector<std::string> before = snapshot(dialog);
        streamedLines_ = false;
        const bool pressed = dialog.press(name, args, *this);
        // Lists whose lines were printed as they came are not printed again.
        if (streamedLines_) {
            const auto& controls = dialog.controls();
            for (std::size_t i = 0; i < controls.size() && i < before.size(); ++i)
                if (controls[i].kind == ControlKind::List) before[i] = fingerprint(controls[i]);
        }
        if (pressed)
            printChanges(dialog, before);
        else
            out_ << "[refused] \"" << line << "\" not possible (help describes " << name << ")\n"
                 << std::flush;
        return false;
    }
    out_ << "[refused] unknown input \"" << line << "\" (help lists what " << dialog.title()
         << " accepts)\n"
         << std::flush;
    return false;
}

void TerminalWindowSystem::refuseUnknownKey(const DialogModel& dialog, const std::string& key) {
    out_ << "[refused] " << refusalText(dialog, key, "", SetResult::UnknownKey) << '\n';
}

bool TerminalWindowSystem::runDialog(DialogModel& dialog) {
    suspendProgressLine();
    renderDialog(dialog, false);
    const std::string prompt = dialog.title() + "> ";
    const Completer completer = [&dialog](const std::string& before) {
        return completeDialogInput(dialog, before);
    };
    for (;;) {
        const auto line = readLine(prompt, completer);
        if (!line) return false;  // end of input inside a dialog is Cancel
        const std::string text = trim(*line);
        if (text.empty()) continue;
        bool accepted = false;
        if (handleDialogLine(dialog, text, accepted)) return accepted;
    }
}

void TerminalWindowSystem::listLineAdded(const DialogModel& dialog, const std::string& key,
                                         const std::string& line) {
    (void)dialog;
    (void)key;
    suspendProgressLine();
    streamedLines_ = true;
    out_ << "    " << trimRight(line) << '\n' << std::flush;
}

// ---- progress window -------------------------------------------------------

void TerminalWindowSystem::showProgress() {
    progressShown_ = true;
    progressDirty_ = true;
    progressText_ = "Computing ...";
    barCell_ = 0;
    drawnText_.clear();
    drawnOnce_ = false;
    printedPercentDecile_ = -1;
    drawnWidth_ = 0;
}

void TerminalWindowSystem::hideProgress() {
    suspendProgressLine();
    progressShown_ = false;
    progressDirty_ = false;
}

void TerminalWindowSystem::setProgressText(const std::string& text) {
    if (text == progressText_) return;
    progressText_ = text;
    progressDirty_ = true;
}

void TerminalWindowSystem::setProgressBar(int position, int step) {
    (void)step;
    const int cell = std::clamp(position, 0, 1000) * kBarCells / 1000;
    if (cell == barCell_) return;
    barCell_ = cell;
    // Only the terminal line shows the bar.
    if (modes_.progressIsTerminal) progressDirty_ = true;
}

void TerminalWindowSystem::repaintProgress() {
    // Called at every matrix construction: return at once unless something
    // visible changed.
    if (!progressShown_ || !progressDirty_) return;
    if (modes_.progressIsTerminal)
        drawProgressLine();
    else
        printProgressLine();
}

void TerminalWindowSystem::printProgressLine() {
    progressDirty_ = false;
    if (progressText_ == drawnText_) return;
    drawnText_ = progressText_;
    const int percent = percentOf(progressText_);
    if (percent >= 0) {
        // Parallel analysis reports every random matrix; a log keeps one
        // line per tenth.
        const int decile = percent / 10;
        if (decile == printedPercentDecile_) return;
        printedPercentDecile_ = decile;
    } else {
        printedPercentDecile_ = -1;
    }
    progress_ << progressText_ << '\n' << std::flush;
}

void TerminalWindowSystem::drawProgressLine() {
    const auto now = clock_();
    const bool newStage = progressText_ != drawnText_ && percentOf(progressText_) < 0;
    if (drawnOnce_ && !newStage && now - lastDraw_ < kRedrawInterval) return;  // stays dirty
    progressDirty_ = false;
    drawnOnce_ = true;
    lastDraw_ = now;
    drawnText_ = progressText_;
    std::string line = progressText_ + "  [" + std::string(static_cast<std::size_t>(barCell_), '#') +
                       std::string(static_cast<std::size_t>(kBarCells - barCell_), ' ') + "]";
    const std::size_t width = line.size();
    if (width < drawnWidth_) line += std::string(drawnWidth_ - width, ' ');
    drawnWidth_ = width;
    progress_ << '\r' << line << std::flush;
}

void TerminalWindowSystem::suspendProgressLine() {
    // Anything written to the output clears the in-place line first; the
    // next repaint draws it again.
    if (!modes_.progressIsTerminal || drawnWidth_ == 0) return;
    progress_ << '\r' << std::string(drawnWidth_, ' ') << '\r' << std::flush;
    drawnWidth_ = 0;
    drawnText_.clear();
    progressDirty_ = progressShown_;
}

// ---- main window and run host ---------------------------------------------

void TerminalWindowSystem::setStatus(const std::string& line1, const std::string& line2,
                                     const std::string& line3) {
    const std::array<std::string, 3> next{line1, line2, line3};
    if (next == status_) return;
    status_ = next;
    suspendProgressLine();
    printStatus(false);
}

void TerminalWindowSystem::beep() {
    if (modes_.outputIsTerminal) out_ << '\a' << std::flush;
}

void TerminalWindowSystem::openReport(const std::string& path) {
    suspendProgressLine();
    out_ << "Report written to " << path << '\n' << std::flush;
}

}  // namespace talvex
