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

namespace talvex::testing {

enum class DialogAnswer { Ok, Cancel };

class ScriptedWindowSystem : public WindowSystem {
public:
    struct Message {
        std::string text;
        MessageIcon icon;
    };
    using DialogStep = std::function<DialogAnswer(DialogModel&, ScriptedWindowSystem&)>;

    // Script.
    std::deque<DialogStep> dialogSteps;
    std::deque<bool> yesNoAnswers;                    // default answer: yes
    std::deque<std::optional<std::string>> fileAnswers;  // default: cancelled

    // Record.
    std::vector<Message> messages;        // questions included, icon Question
    std::vector<std::string> dialogTitles;  // every dialog shown, in order
    std::vector<std::string> fileDialogs;   // "title|filter"
    std::vector<std::string> progressTexts;
    std::string status[3];
    int statusUpdates = 0;
    bool progressVisible = false;
    int progressShows = 0;
    int progressRepaints = 0;
    int barPosition = 0;
    int barStep = 1;
    bool waitCursor = false;
    int beeps = 0;
    std::vector<std::string> openedReports;

    void message(const std::string& text, MessageIcon icon) override {
        messages.push_back({text, icon});
    }
    bool askYesNo(const std::string& text) override {
        messages.push_back({text, MessageIcon::Question});
        if (yesNoAnswers.empty()) return true;
        const bool answer = yesNoAnswers.front();
        yesNoAnswers.pop_front();
        return answer;
    }
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
    void showProgress() override {
        progressVisible = true;
        ++progressShows;
    }
    void hideProgress() override { progressVisible = false; }
    void setProgressText(const std::string& text) override { progressTexts.push_back(text); }
    void setProgressBar(int position, int step) override {
        barPosition = position;
        barStep = step;
    }
    void repaintProgress() override { ++progressRepaints; }
    void setStatus(const std::string& l1, const std::string& l2, const std::string& l3) override {
        status[0] = l1;
        status[1] = l2;
        status[2] = l3;
        ++statusUpdates;
    }
    void setWaitCursor(bool on) override { waitCursor = on; }
    void beep() override { ++beeps; }
    void openReport(const std::string& path) override { openedReports.push_back(path); }

    // Texts of the messages shown, in order.
    std::vector<std::string> messageTexts() const {
        std::vector<std::string> texts;
        for (const Message& m : messages) texts.push_back(m.text);
        return texts;
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
