#include "data/scores_table.h"

#include <fstream>

#include "core/format_text.h"
#include "data/data_files.h"

namespace talvex {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool blankLine(const std::string& line) {
    return line.find_first_not_of(" \t\r\f\v") == std::string::npos;
}

std::string unquoted(std::string_view field) {
    if (field.size() >= 2 && field.front() == '"' && field.back() == '"')
        field = field.substr(1, field.size() - 2);
    return std::string(field);
}

std::string where(const std::string& path, int line) {
    return path + ", line " + std::to_string(line) + ": ";
}

}  // namespace

ScoresTableResult readScoresTable(const std::string& path, const ScoresTableOptions& options) {
    ScoresTableResult result;
    std::ifstream in;
    if (isRegularFile(path)) in.open(path, std::ios::binary);
    if (!in.is_open()) {
        result.error = "cannot read the data file " + path;
        return result;
    }
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        if (lines.empty() && line.rfind(kByteOrderMark, 0) == 0) line.erase(0, kByteOrderMark.size());
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
    }
    // Blank lines at the end of the file are not rows.
    while (!lines.empty() && blankLine(lines.back())) lines.pop_back();

    const auto missing = [&options](std::string_view field) {
        return field.empty() || field == options.missingToken;
    };

    ScoresTable table;
    std::size_t first = 0;
    if (!lines.empty()) {
        const auto fields = splitFields(lines[0]);
        const auto numbers = parseLine(lines[0]);
        bool anyNumber = false;
        bool allMissing = true;
        for (std::size_t j = 0; j < fields.size(); ++j) {
            anyNumber = anyNumber || numbers[j].has_value();
            allMissing = allMissing && missing(fields[j]);
        }
        if (!fields.empty() && !anyNumber && !allMissing) {
            for (std::string_view f : fields) table.labels.push_back(unquoted(f));
            table.headerLines = 1;
            first = 1;
        }
    }
    if (first >= lines.size()) {
        result.error = "the data file " + path + " holds no rows of scores";
        return result;
    }

    const int firstRowLine = static_cast<int>(first) + 1;
    for (std::size_t i = first; i < lines.size(); ++i) {
        const int lineNumber = static_cast<int>(i) + 1;
        if (blankLine(lines[i])) {
            result.error = where(path, lineNumber) + "an empty line among the rows of scores";
            return result;
        }
        const auto fields = splitFields(lines[i]);
        const auto numbers = parseLine(lines[i]);
        const int count = static_cast<int>(fields.size());
        if (i == first) {
            table.columns = count;
        } else if (count != table.columns) {
            result.error = where(path, lineNumber) +
                           formatText("%i values where line %i has %i", count, firstRowLine,
                                      table.columns);
            return result;
        }
        std::string row;
        for (std::size_t j = 0; j < fields.size(); ++j) {
            if (j > 0) row += ',';
            if (numbers[j]) {
                row += fields[j];
            } else if (missing(fields[j])) {
                if (options.missingCode) row += std::to_string(*options.missingCode);
                else row += fields[j];
            } else {
                result.error = where(path, lineNumber) + "\"" + std::string(fields[j]) +
                               "\" is neither a number nor the missing-value token \"" +
                               options.missingToken + "\"";
                return result;
            }
        }
        table.text += row + '\n';
        ++table.rows;
    }
    if (table.headerLines == 1 && static_cast<int>(table.labels.size()) != table.columns) {
        result.error = where(path, 1) + formatText("%i labels where line %i has %i values",
                                                   static_cast<int>(table.labels.size()),
                                                   firstRowLine, table.columns);
        return result;
    }
    result.table = std::move(table);
    return result;
}

}  // namespace talvex
