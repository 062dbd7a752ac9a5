// A scores file as a script hands it over: an optional header line of
// labels, rows of equal length, and a token (or an empty field) for a
// missing score. The table is checked whole before the scores reader sees
// it, so that a short row is an error naming its line, never a dropped row
// or a shifted one.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace talvex {

struct ScoresTableOptions {
    // A field equal to this token, or an empty field, is a missing score.
    std::string missingToken = "NA";
    // The number written for a missing score; none leaves the field as it
    // is (the scores reader then drops its row).
    std::optional<int> missingCode;
};

struct ScoresTable {
    std::vector<std::string> labels;  // the header's fields; empty without a header
    int headerLines = 0;              // 1 when the first line is a header
    int rows = 0;
    int columns = 0;
    // The rows, one a line with ',' between the fields, missing scores
    // replaced by the code.
    std::string text;
};

struct ScoresTableResult {
    std::optional<ScoresTable> table;
    std::string error;  // names the file and the line when there is no table
};

// Reads path. The first line is a header when none of its fields is a
// number and not all are missing; its fields (without enclosing double
// quotes) are the labels and must be as many as the values of the first
// row. Every row must have as many fields as the first row; blank lines
// may only end the file; a field that is neither a number nor missing is
// an error.
ScoresTableResult readScoresTable(const std::string& path, const ScoresTableOptions& options);

}  // namespace talvex
