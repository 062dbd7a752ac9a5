// Test doubles for runs: the recording RunHost (FakeRunHost, from
// support/recording_run_host.h) and a clock with a fixed local time whose
// calendar seconds advance by a set step.
#pragma once

#include <cstdint>

#include "analysis/report_frame.h"
#include "support/recording_run_host.h"

namespace talvex::testing {

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

}  // namespace talvex::testing
