// The cells of a data file as users export them: whitespace-separated text,
// CSV and tab-separated text (quoted fields, doubled quotes, line ends and
// separators inside quotes), SPSS system and portable files, Stata files.
// Only the cells are read here; what they mean (a header, row names,
// numbers, missing values) is decided by the scores table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "data/data_files.h"

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

// Records of cells held flat: a large file costs its text and four bytes a
// cell, not a string object per cell.
class CellRecords {
public:
    std::size_t size() const { return recordCells_.size(); }
    bool empty() const { return recordCells_.empty(); }
    std::size_t fields(std::size_t record) const {
        return cellsEnd(record) - recordCells_[record];
    }
    std::string_view cell(std::size_t record, std::size_t field) const {
        const std::size_t c = recordCells_[record] + field;
        const std::uint32_t from = field == 0 ? 0 : cellEnds_[c - 1];
        return std::string_view(text_).substr(recordText_[record] + from, cellEnds_[c] - from);
    }
    // A new record, then its cells one after another. A record's text must
    // stay below 4 GB.
    void startRecord() {
        recordText_.push_back(text_.size());
        recordCells_.push_back(cellEnds_.size());
    }
    void addCell(std::string_view text) {
        text_ += text;
        cellEnds_.push_back(static_cast<std::uint32_t>(text_.size() - recordText_.back()));
    }
    void popBack() {
        text_.resize(recordText_.back());
        cellEnds_.resize(recordCells_.back());
        recordText_.pop_back();
        recordCells_.pop_back();
    }

private:
    std::size_t cellsEnd(std::size_t record) const {
        return record + 1 < recordCells_.size() ? recordCells_[record + 1] : cellEnds_.size();
    }
    std::string text_;
    std::vector<std::uint32_t> cellEnds_;    // per cell: its end after its record's start
    std::vector<std::size_t> recordText_;    // per record: where its text starts
    std::vector<std::size_t> recordCells_;   // per record: its first cell
};

struct TableCells {
    FormatChoice choice{TableFormat::Whitespace, false};
    // One record per row of the file. A blank line of a text file is an
    // empty record; a missing value of a statistical file an empty cell.
    CellRecords records;
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
// mark is skipped and CRLF line ends are taken as line ends. A text file is
// read up to the size it had when it was opened (a file still being written
// is read to that point); one that shrinks meanwhile is refused, and so is
// one whose text and cells (kTableTextCopies times its size) would not fit
// in the memory budget.
inline constexpr long long kTableTextCopies = 5;
struct TableReadHooks {
    MemoryBudget budget = MemoryBudget::machine();
    // Called with 10, 20, .. 100 as that share of a text file has been split
    // into cells.
    std::function<void(int percent)> progress;
    // Called once the size is taken, before the text is read (for tests).
    std::function<void()> opened;
};
TableCellsResult readTableCells(const std::string& path, const TableReadHooks& hooks = {});

}  // namespace talvex
