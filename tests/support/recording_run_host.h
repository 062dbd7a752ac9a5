// A RunHost that records what a run shows: messages (from
// RecordingMessages), progress window, status lines, wait cursor, beeps and
// opened reports. The window system double derives from it.
#pragma once

#include <string>
#include <vector>

#include "analysis/run_host.h"
#include "support/recording_messenger.h"

namespace talvex::testing {

template <typename Base = RunHost>
class RecordingRunHost : public RecordingMessages<Base> {
public:
    std::vector<std::string> progressTexts;
    std::vector<std::string> statusHistory;  // line 1 of every status change
    std::string status[3];
    bool progressVisible = false;
    int progressShows = 0;
    int progressRepaints = 0;
    int barPosition = 0;
    int barStep = 1;
    bool waitCursor = false;
    int beeps = 0;
    std::vector<std::string> openedReports;

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
        statusHistory.push_back(l1);
    }
    void setWaitCursor(bool on) override { waitCursor = on; }
    void beep() override { ++beeps; }
    void openReport(const std::string& path) override { openedReports.push_back(path); }
};

using FakeRunHost = RecordingRunHost<>;

}  // namespace talvex::testing
