// What runs the dialogs without a person: the window system of a script,
// which fills each dialog from key/value pairs and accepts it, and a
// private temporary folder for the files the readers take.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "app/window_system.h"

namespace talvex {

struct KeyValue {
    std::string key;
    std::string value;
    bool applied = false;
};

// A temporary folder removed with its files.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    bool ok() const { return !path_.empty(); }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Dialogs take the pending keys that they hold and are accepted; message
// boxes go to err; the one question (go on reading after dropped rows) is
// answered yes; no file dialog opens.
class ScriptWindowSystem : public WindowSystem {
public:
    ScriptWindowSystem(std::vector<KeyValue> pending, std::ostream& out, std::ostream& err,
                       bool progress);

    bool refused() const { return refused_; }
    void startRun() { running_ = true; }
    const std::optional<RunEnding>& ending() const { return ending_; }
    // Factors of the run (the advised number when that was used).
    int factors() const { return factors_; }
    // An error box since the run started: one after the report (the JSON
    // results not written) fails the command as the run's own failure does.
    bool errorInRun() const { return errorInRun_; }

    // Keys that no dialog took; each is reported with the keys of the
    // dialogs it may have meant.
    bool reportUnused();

    void message(const std::string& text, MessageIcon icon) override;
    bool askYesNo(const std::string& text) override;
    std::optional<std::string> openFile(const std::string&, const std::string&) override {
        return std::nullopt;
    }
    bool runDialog(DialogModel& dialog) override;

    void showProgress() override {}
    void hideProgress() override {}
    void setProgressText(const std::string& text) override;
    void setProgressBar(int, int) override {}
    void repaintProgress() override {}
    void setStatus(const std::string&, const std::string&, const std::string&) override {}
    void setWaitCursor(bool) override {}
    void beep() override {}
    void openReport(const std::string& path) override;
    void runEnded(const RunState& state, RunEnding ending) override;

protected:
    std::ostream& err() { return err_; }

private:
    bool apply(DialogModel& dialog);
    bool pendingLeft() const;
    bool fill(DialogModel& dialog, bool sub);

    std::vector<KeyValue> pending_;
    std::vector<std::string> dialogKeys_;  // of every dialog opened, for suggestions
    std::ostream& out_;
    std::ostream& err_;
    bool progress_;
    int depth_ = 0;
    bool refused_ = false;
    bool running_ = false;
    std::string lastStage_;
    std::optional<RunEnding> ending_;
    int factors_ = 0;
    bool errorInRun_ = false;
};

}  // namespace talvex
