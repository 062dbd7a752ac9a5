// What is common to the whole report: the header that opens it, the
// "DETAILS OF ANALYSIS" block that restates the configuration, and the
// References section that closes it. The clock is a parameter so that a
// report can be reproduced.
#pragma once

#include <cstdint>
#include <string>

#include "report/report_writer.h"
#include "report/settings.h"

namespace talvex {

struct DataSet;

inline constexpr const char* kReleaseVersion = "0.1.0";
inline constexpr const char* kReleaseDate = "May 4, 2026";

// A local calendar date and time of day.
struct ClockTime {
    int year = 1970;
    int month = 1;  // 1 .. 12
    int day = 1;    // 1 .. 31
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// The local time and the calendar clock as a run reads them.
class RunClock {
   public:
    virtual ~RunClock() = default;
    virtual ClockTime localTime() = 0;
    // Calendar time in whole seconds (for the computing time).
    virtual std::int64_t calendarSeconds() = 0;
};

// The system clock (stateless).
RunClock& systemClock();

// 0 for Sunday .. 6 for Saturday, proleptic Gregorian calendar.
int dayOfWeek(int year, int month, int day);
// "Monday, March 09, 2026": English names whatever the locale.
std::string formatReportDate(const ClockTime& time);

// The header block, ending with a line of 80 dashes.
void writeHeader(ReportWriter& report, const ClockTime& now);

// The "DETAILS OF ANALYSIS" block and its separator.
void writeDetails(ReportWriter& report, const DataSet& data, const AnalysisSettings& settings,
                  const RotationParameterTable& rotations);

// What the reference list depends on beyond the settings.
struct ReferenceContext {
    int cleverStart = 0;                                   // clever start of simplicityRotation
    bool smoothed = false;                                 // the run smoothed its matrix
    DispersionType chosenDispersion = PearsonCorrelation;  // the user's choice (saved at run start)
    int categoryCount = 0;                                 // K of the analysed data
    bool missingCodeEnabled = false;
};

// The References section: the entries whose conditions hold, in their fixed
// order, then the acknowledgement and the separator.
void writeReferences(ReportWriter& report, const AnalysisSettings& settings,
                     const ReferenceContext& context);

}  // namespace talvex
