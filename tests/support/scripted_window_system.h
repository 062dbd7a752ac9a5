// A window system driven by a script, recording everything the program shows.
//
// Each runDialog call takes the next step of dialogSteps: the step may set
// controls and press buttons, then answers Ok or Cancel. After Ok the
// dialog's checks run; when they refuse, the next step acts on the same
// dialog again. With no step left the dialog is cancelled.
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/dialog_model.h"
#include "app/window_system.h"
#include "support/recording_run_host.h"

namespace talvex::testing {

enum class DialogAnswer { Ok, Cancel };

class ScriptedWindowSystem : public RecordingRunHost<WindowSystem> {
public:
    using DialogStep = std::function<DialogAnswer(DialogModel&, ScriptedWindowSystem&)>;

    // Script; the answers to questions are yesNoAnswers (default: yes).
    std::deque<DialogStep> dialogSteps;
    std::deque<std::optional<std::string>> fileAnswers;  // default: cancelled

    // Record, besides the messages and run display of RecordingRunHost.
    std::vector<std::string> dialogTitles;  // every dialog shown, in order
    std::vector<std::string> fileDialogs;   // "title|filter"

    bool runDialog(DialogModel& dialog) override {
        dialogTitles.push_back(dialog.title());
        while (!dialogSteps.empty()) {
            DialogStep step = std::move(dialogSteps.front());
            dialogSteps.pop_front();
            if (step(dialog, *this) == DialogAnswer::Cancel) return false;
            if (dialog.accept(*this)) return true;
        }
        return false;
    }
    std::optional<std::string> openFile(const std::string& title, const std::string& filter) override {
        fileDialogs.push_back(title + "|" + filter);
        if (fileAnswers.empty()) return std::nullopt;
        auto answer = fileAnswers.front();
        fileAnswers.pop_front();
        return answer;
    }
};

// A step that sets the given key/value pairs (failing the test on a refused
// one is left to the caller) and answers Ok.
inline ScriptedWindowSystem::DialogStep setAndOk(
    std::vector<std::pair<std::string, std::string>> values) {
    return [values](DialogModel& d, ScriptedWindowSystem&) {
        for (const auto& [key, value] : values) d.set(key, value);
        return DialogAnswer::Ok;
    };
}

inline ScriptedWindowSystem::DialogStep cancel() {
    return [](DialogModel&, ScriptedWindowSystem&) { return DialogAnswer::Cancel; };
}

}  // namespace talvex::testing
