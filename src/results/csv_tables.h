// The tables of the results document that spreadsheets, R and Python take
// as they are: CSV with a header row, one row per variable (or factor),
// fields quoted as RFC 4180 has it.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace talvex {

struct CsvTable {
    std::string fileName;  // e.g. "loadings.csv"
    std::string text;      // UTF-8, CRLF line ends
};

// One field: quoted when it holds a comma, a quote, a line end or leading
// or trailing blanks, with its quotes doubled.
std::string csvField(const std::string& value);
// A label as a text cell that no spreadsheet takes for a formula: one that
// starts with = + - @, a tab or a carriage return gets a leading apostrophe,
// kept as text by spreadsheets and read back as it is by read.csv or
// Python's csv ("'=1+1").
std::string csvText(const std::string& text);

// The loading (rotated, or unrotated when no rotation was applied),
// structure, factor-correlation, communality and descriptive tables that
// the document holds; numbers at full precision.
std::vector<CsvTable> csvTables(const nlohmann::json& doc);

}  // namespace talvex
