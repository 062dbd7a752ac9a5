// A scores file as a script hands it over, in any format of table_formats.h:
// an optional header line of labels, an optional column of row names, rows
// of equal length, and a token (or an empty field) for a missing score. The
// table is checked whole before the scores reader sees it, so that a short
// row is an error naming its line, never a dropped row or a shifted one.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "data/table_formats.h"

namespace talvex {

struct ScoresTableOptions {
    // A field equal to this token, or an empty field, is a missing score.
    std::string missingToken = "NA";
    // The number written for a missing score; none leaves the field as it
    // is (the scores reader then drops its row).
    std::optional<int> missingCode;
    // The label of a column of row names; empty: the first column when its
    // label is empty or its fields are distinct texts that are not numbers.
    std::string idColumn;
    // Called with 10, 20, .. 100 as that share of a text file has been read.
    std::function<void(int percent)> progress;
};

struct ScoresTable {
    FormatChoice format{TableFormat::Whitespace, false};
    // The header's fields or the variable names, without the row names';
    // empty without a header.
    std::vector<std::string> labels;
    int headerLines = 0;              // 1 when the first line is a header
    int rows = 0;
    int columns = 0;                  // without the row names
    // The column of row names left out (0-based in the file), -1 for none,
    // and its label.
    int idColumn = -1;
    std::string idLabel;
    // For each row its line in the file (its case number in a statistical file).
    std::vector<int> rowLines;
    // The rows, one a line with ',' between the fields, missing scores
    // replaced by the code.
    std::string text;
};

struct ScoresTableResult {
    std::optional<ScoresTable> table;
    std::string error;  // names the file and the line when there is no table
};

// Reads path. The first line of a text file is a header when none of its
// fields is a number and not all are missing; its fields (without
// enclosing double quotes) are the labels and must be as many as the
// values of the first row. A statistical file's variable names are the
// labels. Every row must have as many fields as the first row; blank lines
// may only end the file; a field that is neither a number nor missing is
// an error naming its line and column, and a variable of text an error
// naming the variable, unless it is the column of row names.
ScoresTableResult readScoresTable(const std::string& path, const ScoresTableOptions& options);

}  // namespace talvex
