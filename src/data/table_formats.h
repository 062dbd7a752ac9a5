// The cells of a data file as users export them: whitespace-separated text,
// CSV and tab-separated text (quoted fields, doubled quotes, line ends and
// separators inside quotes), SPSS system and portable files, Stata files.
// Only the cells are read here; what they mean (a header, row names,
// numbers, missing values) is decided by the scores table.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace talvex {

enum class TableFormat { Whitespace, Csv, Tsv, Spss, SpssPortable, Stata };

// The name said to the user: "CSV", "tab-separated text", ...
const char* tableFormatName(TableFormat format);

// Whether the cells are cases of a statistics package's file: the variable
// names are given apart and there are no lines.
bool statisticalFormat(TableFormat format);

struct FormatChoice {
    TableFormat format;
    bool byName;  // from the file name's extension, not from its first line
};

// The format named by the extension (.csv, .tsv or .tab, .sav or .zsav,
// .por, .dta, in any case); otherwise the first line decides: a tab makes
// it tab-separated, a comma CSV, anything else whitespace-separated.
FormatChoice chooseTableFormat(const std::string& path, std::string_view firstLine);

struct TableCells {
    FormatChoice choice{TableFormat::Whitespace, false};
    // One record per row of the file. A blank line of a text file is an
    // empty record; a missing value of a statistical file an empty cell.
    std::vector<std::vector<std::string>> records;
    // The 1-based line on which each record starts (the case number in a
    // statistical file).
    std::vector<int> lines;
    // Statistical files: the variable names, and which variables hold text.
    std::vector<std::string> names;
    std::vector<bool> textVariables;
};

struct TableCellsResult {
    std::optional<TableCells> cells;
    std::string error;  // names the file (and the line) when there are no cells
};

// Reads every cell of path in the format chosen for it. A UTF-8 byte-order
// mark is skipped and CRLF line ends are taken as line ends.
TableCellsResult readTableCells(const std::string& path);

}  // namespace talvex
