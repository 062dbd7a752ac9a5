// The analysis as a function call, for programs that hold the data in
// memory (the Python and R bindings): the scores as a matrix, the settings
// as the dialogs' key/value pairs, the report and the JSON results back as
// text. Only standard headers are included, so that this header can be
// installed on its own.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace talvex {

struct EmbeddedAnalysisInput {
    // The participants' scores, row-major, rows x columns; NaN is a missing
    // score.
    const double* scores = nullptr;
    int rows = 0;
    int columns = 0;
    // One per column, or none (the report then numbers the variables).
    std::vector<std::string> labels;
    // Dialog keys and values, applied in this order after the data's own
    // keys. Without factorCount or useAdvisedFactorCount the advised number
    // of factors is used.
    std::vector<std::pair<std::string, std::string>> settings;
    // What the report calls the data file.
    std::string dataName = "data";
    // Called with each stage of the run ("Computing dispersion matrix...",
    // "Computing PA ...  40%"), on the calling thread.
    std::function<void(const std::string&)> progress;
    // Checked after every call of progress (every stage and every replicate
    // of parallel analysis): when set the run stops there, releasing what it
    // holds, with status 1, halted, and neither report nor results.
    const std::atomic<bool>* cancel = nullptr;
};

struct EmbeddedAnalysisResult {
    // As the exit status of `talvex analyse`: 0 completed, 1 the run failed
    // or was halted, 2 refused settings or unusable data.
    int status = 2;
    bool halted = false;
    std::string report;    // the report's text; empty when no run started
    std::string results;   // the JSON results document; empty when no run started
    std::string messages;  // message boxes and refusals, as the command prints them
};

// Runs one analysis in this process. Calls are serialized: the matrices of
// a run live in one process-wide pool.
EmbeddedAnalysisResult analyseScores(const EmbeddedAnalysisInput& input);

}  // namespace talvex
