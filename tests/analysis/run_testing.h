// Test doubles for runs: a RunHost that records what a run shows, a clock
// with a fixed local time whose calendar seconds advance by a set step, and
// capture of report text written through a ReportWriter.
#pragma once

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/report_frame.h"
#include "analysis/report_writer.h"
#include "analysis/run_host.h"

namespace talvex::testing {

class FakeRunHost : public RunHost {
   public:
    struct Message {
        std::string text;
        MessageIcon icon;
    };
    std::vector<Message> messages;
    std::vector<std::string> stageTexts;
    std::vector<std::string> statusHistory;  // line 1 of every status change
    std::string status[3];
    bool progressVisible = false;
    int progressShows = 0;
    bool waitCursor = false;
    int beeps = 0;
    std::vector<std::string> openedReports;

    void message(const std::string& text, MessageIcon icon) override {
        messages.push_back({text, icon});
    }
    bool askYesNo(const std::string& text) override {
        messages.push_back({text, MessageIcon::Question});
        return true;
    }
    void showProgress() override {
        progressVisible = true;
        ++progressShows;
    }
    void hideProgress() override { progressVisible = false; }
    void setProgressText(const std::string& text) override { stageTexts.push_back(text); }
    void setProgressBar(int, int) override {}
    void repaintProgress() override {}
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

class FakeClock : public RunClock {
   public:
    ClockTime time;
    std::int64_t seconds = 1'700'000'000;
    std::int64_t step = 0;  // added after every calendarSeconds() call

    ClockTime localTime() override { return time; }
    std::int64_t calendarSeconds() override {
        const std::int64_t now = seconds;
        seconds += step;
        return now;
    }
};

// What `write` puts into a report, as text.
inline std::string captureReport(const std::function<void(ReportWriter&)>& write) {
    std::FILE* file = std::tmpfile();
    {
        ReportWriter report(file);
        write(report);
    }
    std::fflush(file);
    std::rewind(file);
    std::string text;
    char buffer[4096];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, got);
    std::fclose(file);
    return text;
}

inline std::string readWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline const std::string kDashes(80, '-');

}  // namespace talvex::testing
