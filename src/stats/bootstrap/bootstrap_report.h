// The report section of the bootstrap intervals.
#pragma once

#include <optional>
#include <vector>

#include "core/matrix.h"
#include "report/report_writer.h"
#include "stats/bootstrap/bootstrap.h"

namespace talvex {

struct DataSet;

// The full-sample values the intervals belong to.
struct BootstrapEstimates {
    Matrix pattern;             // p x k
    Matrix factorCorrelations;  // k x k
    std::vector<double> communalities;
    std::optional<double> rmsea, cfi, gfi, omega;
};

// BOOTSTRAP STANDARD ERRORS AND PERCENTILE INTERVALS: the resamples used and
// failed (by reason), then estimate, standard error and interval of every
// rotated loading (marked when the interval excludes 0), communality,
// factor correlation, fit index and omega. With fewer than two resamples
// used, a warning takes the place of the tables.
void writeBootstrap(ReportWriter& report, const DataSet& data, const BootstrapResult& result,
                    const BootstrapEstimates& estimates);

// Whether the interval lies wholly on one side of 0.
bool excludesZero(const BootstrapInterval& interval);

}  // namespace talvex
