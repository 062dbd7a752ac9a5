#include "app/script_window_system.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <system_error>

#include "analysis/run_state.h"
#include "app/dialog_model.h"
#include "app/text_util.h"

namespace talvex {

ScratchDir::ScratchDir() {
    std::error_code error;
    std::string pattern =
        (std::filesystem::temp_directory_path(error) / "talvex-analyse-XXXXXX").string();
    if (!error && ::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

ScriptWindowSystem::ScriptWindowSystem(std::vector<KeyValue> pending, std::ostream& out,
                                       std::ostream& err, bool progress)
    : pending_(std::move(pending)), out_(out), err_(err), progress_(progress) {}

bool ScriptWindowSystem::reportUnused() {
    bool any = false;
    for (const KeyValue& p : pending_) {
        if (p.applied) continue;
        const std::string hint = didYouMean(closestMatches(p.key, dialogKeys_));
        err_ << "[refused] no control \"" << p.key << "\" in the dialogs"
             << (hint.empty() ? "" : " (" + hint + ")") << '\n';
        any = true;
    }
    return any;
}

void ScriptWindowSystem::message(const std::string& text, MessageIcon icon) {
    std::string t = text;
    while (!t.empty() && t.back() == '\n') t.pop_back();
    err_ << messageTag(icon) << '\n' << t << '\n' << std::flush;
    if (running_ && icon == MessageIcon::Error) errorInRun_ = true;
}

bool ScriptWindowSystem::askYesNo(const std::string& text) {
    message(text, MessageIcon::Question);
    err_ << "yes\n";
    return true;
}

bool ScriptWindowSystem::runDialog(DialogModel& dialog) {
    for (const std::string& key : dialog.keys())
        if (std::find(dialogKeys_.begin(), dialogKeys_.end(), key) == dialogKeys_.end())
            dialogKeys_.push_back(key);
    const bool sub = depth_ > 0;
    ++depth_;
    const bool accepted = fill(dialog, sub);
    --depth_;
    return accepted;
}

void ScriptWindowSystem::setProgressText(const std::string& text) {
    // Stages only: parallel analysis reports every random matrix.
    if (!progress_ || text == lastStage_ || text.rfind("Computing PA ... ", 0) == 0) return;
    lastStage_ = text;
    err_ << text << '\n' << std::flush;
}

void ScriptWindowSystem::openReport(const std::string& path) {
    out_ << "Report written to " << path << '\n' << std::flush;
}

void ScriptWindowSystem::runEnded(const RunState& state, RunEnding ending) {
    ending_ = ending;
    factors_ = state.k;
    if (ending != RunEnding::Success) {
        std::string text = ending == RunEnding::Halt ? kHaltWarning : state.warning;
        while (!text.empty() && text.back() == '\n') text.pop_back();
        // An output that could not be written has had its error box.
        if (!text.empty()) err_ << text << '\n';
    }
}

// Sets the pending keys the dialog holds, passing over them until none
// more is taken (a key may be enabled by another); true when any was.
bool ScriptWindowSystem::apply(DialogModel& dialog) {
    bool any = false;
    for (bool progress = true; progress;) {
        progress = false;
        for (KeyValue& p : pending_) {
            if (p.applied || dialog.find(p.key) == nullptr) continue;
            if (dialog.set(p.key, p.value) == SetResult::Ok) p.applied = progress = any = true;
        }
    }
    for (KeyValue& p : pending_) {
        const Control* c = dialog.find(p.key);
        if (p.applied || c == nullptr || !c->visible) continue;
        const SetResult result = dialog.set(p.key, p.value);
        err_ << "[refused] " << refusalText(dialog, p.key, p.value, result) << '\n';
        refused_ = true;
    }
    return any;
}

bool ScriptWindowSystem::pendingLeft() const {
    return std::any_of(pending_.begin(), pending_.end(), [](const KeyValue& p) { return !p.applied; });
}

bool ScriptWindowSystem::fill(DialogModel& dialog, bool sub) {
    const bool any = apply(dialog);
    if (refused_) return false;
    // Sub-dialogs open only for keys still waiting.
    for (const DialogButton& b : dialog.buttons()) {
        if (!pendingLeft() || refused_) break;
        if (b.enabled && b.name.rfind("configure", 0) == 0) dialog.press(b.name, {}, *this);
    }
    if (refused_) return false;
    // A sub-dialog that takes nothing is cancelled: its values stay.
    if (sub && !any) return false;
    if (!dialog.okEnabled()) {
        err_ << "[refused] ok of " << dialog.title() << " is disabled\n";
        if (!running_) refused_ = true;
        return false;
    }
    if (dialog.accept(*this)) return true;
    if (!running_) refused_ = true;
    return false;
}

}  // namespace talvex
