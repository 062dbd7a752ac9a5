// `talvex analyse DATA [options]`: reads the data, configures and computes
// in one go, without a prompt. The options are the dialogs' keys; they are
// set in the same dialog models and pass the same checks on OK, and every
// question a dialog or the reader would ask has a fixed answer.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace talvex {

// Exit statuses of the command.
inline constexpr int kAnalyseCompleted = 0;  // report written, run completed
inline constexpr int kAnalyseFailed = 1;     // the run failed or was halted
inline constexpr int kAnalyseRefused = 2;    // bad options or unreadable input

// Runs the command with the arguments that follow the word "analyse". The
// report's path goes to out; messages, refusals and (with --progress) the
// reading of DATA and the stages of the run go to err. Returns the exit status.
int runAnalyseCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace talvex
