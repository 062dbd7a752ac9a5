#include "data/scores_table.h"

#include <algorithm>
#include <fstream>
#include <set>
#include <string_view>

#include "core/format_text.h"
#include "data/data_files.h"

namespace talvex {

namespace {

std::string_view trimmed(std::string_view field) {
    const auto first = field.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return {};
    return field.substr(first, field.find_last_not_of(" \t\r") - first + 1);
}

// Distinct texts, none empty, missing or a number: names of the rows.
bool rowNames(const CellRecords& records, std::size_t first,
              const std::string& missingToken) {
    std::set<std::string_view> seen;
    for (std::size_t i = first; i < records.size(); ++i) {
        const std::string_view name = trimmed(records.cell(i, 0));
        if (name.empty() || name == missingToken || parseNumber(name) || !seen.insert(name).second)
            return false;
    }
    return true;
}

}  // namespace

ScoresTableResult readScoresTable(const std::string& path, const ScoresTableOptions& options) {
    ScoresTableResult result;
    TableReadHooks hooks;
    hooks.progress = options.progress;
    TableCellsResult read = readTableCells(path, hooks);
    if (!read.cells) {
        result.error = read.error;
        return result;
    }
    TableCells& cells = *read.cells;
    auto& records = cells.records;
    const bool statistical = statisticalFormat(cells.choice.format);
    const auto where = [&](std::size_t record) {
        return path + (statistical ? ": case " : ": line ") + std::to_string(cells.lines[record]) + ": ";
    };
    // Blank lines at the end of the file are not rows.
    while (!records.empty() && records.fields(records.size() - 1) == 0) records.popBack();

    const auto missing = [&options](std::string_view field) {
        return field.empty() || field == options.missingToken;
    };

    ScoresTable table;
    table.format = cells.choice;
    std::vector<std::string> header = cells.names;
    std::size_t first = 0;
    if (!statistical && !records.empty()) {
        bool anyNumber = false;
        bool allMissing = true;
        for (std::size_t j = 0; j < records.fields(0); ++j) {
            const std::string_view field = records.cell(0, j);
            anyNumber = anyNumber || parseNumber(trimmed(field)).has_value();
            allMissing = allMissing && missing(trimmed(field));
        }
        if (records.fields(0) > 0 && !anyNumber && !allMissing) {
            header.clear();
            for (std::size_t j = 0; j < records.fields(0); ++j)
                header.emplace_back(records.cell(0, j));
            table.headerLines = 1;
            first = 1;
        }
    }
    if (first >= records.size()) {
        result.error = "the data file " + path + " holds no rows of scores";
        return result;
    }

    const std::size_t columns = records.fields(first);
    for (std::size_t i = first; i < records.size(); ++i) {
        if (records.fields(i) == 0) {
            result.error = where(i) + "an empty line among the rows of scores";
            return result;
        }
        if (records.fields(i) != columns) {
            result.error = where(i) + formatText("%i values where line %i has %i",
                                                 static_cast<int>(records.fields(i)),
                                                 cells.lines[first], static_cast<int>(columns));
            return result;
        }
    }
    if (!header.empty() && header.size() != columns) {
        result.error = where(0) + formatText("%i labels where line %i has %i values",
                                             static_cast<int>(header.size()), cells.lines[first],
                                             static_cast<int>(columns));
        return result;
    }

    // The column of row names: named, or a first column without a label or
    // of names.
    if (!options.idColumn.empty()) {
        const auto named = std::find(header.begin(), header.end(), options.idColumn);
        if (named == header.end()) {
            result.error = path + ": no column is labelled \"" + options.idColumn + "\"";
            return result;
        }
        table.idColumn = static_cast<int>(named - header.begin());
    } else if (columns > 1 && ((!header.empty() && trimmed(header[0]).empty()) ||
                               rowNames(records, first, options.missingToken))) {
        table.idColumn = 0;
    }
    if (table.idColumn >= 0 && !header.empty()) table.idLabel = header[table.idColumn];

    const auto columnName = [&header](std::size_t j) {
        return header.empty() ? "column " + std::to_string(j + 1) : "column \"" + header[j] + "\"";
    };
    for (std::size_t j = 0; j < cells.textVariables.size(); ++j) {
        if (cells.textVariables[j] && static_cast<int>(j) != table.idColumn) {
            result.error = path + ": variable \"" + header[j] + "\" holds text, not numbers";
            return result;
        }
    }
    for (std::size_t i = first; i < records.size(); ++i) {
        // The row is written straight onto the text.
        std::string& row = table.text;
        bool firstField = true;
        for (std::size_t j = 0; j < columns; ++j) {
            if (static_cast<int>(j) == table.idColumn) continue;
            const std::string_view field = trimmed(records.cell(i, j));
            if (!firstField) row += ',';
            firstField = false;
            if (parseNumber(field)) {
                row += field;
            } else if (missing(field)) {
                if (options.missingCode) row += std::to_string(*options.missingCode);
                else row += field;
            } else {
                result.error = where(i) + columnName(j) + ": \"" + std::string(field) +
                               "\" is neither a number nor the missing-value token \"" +
                               options.missingToken + "\"";
                return result;
            }
        }
        table.text += '\n';
        table.rowLines.push_back(cells.lines[i]);
    }
    for (std::size_t j = 0; j < header.size(); ++j)
        if (static_cast<int>(j) != table.idColumn) table.labels.push_back(header[j]);
    table.rows = static_cast<int>(table.rowLines.size());
    table.columns = static_cast<int>(columns) - (table.idColumn >= 0 ? 1 : 0);
    result.table = std::move(table);
    return result;
}

}  // namespace talvex
