// The results of a run for other programs: what the report printed of the
// factor solution, as a JSON document (docs/results-schema.md).
#pragma once

#include <string>

#include <nlohmann/json.hpp>

namespace talvex {

struct RunState;
enum class RunEnding;

// The document of a run that has just ended (before its matrices are
// released), with the report's path; pretty-printed with two-space indents.
std::string resultsJson(const RunState& state, RunEnding ending, const std::string& reportPath);
// The same document as a value, for the renderers of src/results/.
nlohmann::json resultsDocument(const RunState& state, RunEnding ending, const std::string& reportPath);

}  // namespace talvex
