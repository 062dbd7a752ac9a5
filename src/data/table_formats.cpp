#include "data/table_formats.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <csv.h>
#include <readstat.h>

#include "data/data_files.h"

namespace talvex {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool blankText(std::string_view text) {
    return text.find_first_not_of(" \t\r\n\f\v") == std::string_view::npos;
}

std::string where(const std::string& path, int line) {
    return path + ": line " + std::to_string(line) + ": ";
}

// Tells the hook each further tenth of the text reached.
class SplitProgress {
public:
    SplitProgress(const std::function<void(int)>& hook, std::size_t size) : hook_(hook), size_(size) {}
    void at(std::size_t position) {
        if (!hook_) return;
        while (next_ <= 100 && position * 100 >= next_ * size_) {
            hook_(static_cast<int>(next_));
            next_ += 10;
        }
    }

private:
    const std::function<void(int)>& hook_;
    std::size_t size_;
    std::size_t next_ = 10;
};

// Whitespace-separated text: the line syntax of the scores file; enclosing
// double quotes of a field are dropped.
void readWhitespace(std::string_view text, TableCells& cells, SplitProgress& progress) {
    int lineNumber = 0;
    for (std::size_t start = 0; start < text.size();) {
        progress.at(start);
        const std::size_t end = std::min(text.find('\n', start), text.size());
        ++lineNumber;
        cells.records.startRecord();
        for (std::string_view field : splitFields(text.substr(start, end - start))) {
            if (field.size() >= 2 && field.front() == '"' && field.back() == '"')
                field = field.substr(1, field.size() - 2);
            cells.records.addCell(field);
        }
        cells.lines.push_back(lineNumber);
        start = end + 1;
    }
}

struct CsvState {
    TableCells& cells;
    int recordLine = 0;  // the line on which the open record started
    bool open = false;   // a record has begun and not ended
};

void csvField(void* text, std::size_t size, void* data) {
    auto& s = *static_cast<CsvState*>(data);
    if (s.cells.records.size() == s.cells.lines.size()) s.cells.records.startRecord();
    s.cells.records.addCell(size == 0 ? std::string_view() : std::string_view(static_cast<const char*>(text), size));
}

void csvRecordEnd(int, void* data) {
    auto& s = *static_cast<CsvState*>(data);
    // A record without fields still counts.
    if (s.cells.records.size() == s.cells.lines.size()) s.cells.records.startRecord();
    s.cells.lines.push_back(s.recordLine);
    s.open = false;
}

// CSV or tab-separated text after RFC 4180. The text is handed to the
// parser a line at a time so that each record knows the line it starts on;
// a line outside every record that holds only white space is an empty record.
std::optional<std::string> readDelimited(const std::string& path, std::string_view text, bool tabs,
                                         TableCells& cells, SplitProgress& progress) {
    csv_parser parser;
    if (csv_init(&parser, CSV_STRICT | CSV_STRICT_FINI) != 0) return path + ": out of memory";
    // The parser takes a separator before padding, so a tab separates even
    // though blanks and tabs around a field are dropped.
    if (tabs) csv_set_delim(&parser, CSV_TAB);
    CsvState state{cells, 0, false};
    std::optional<std::string> error;
    int lineNumber = 0;
    for (std::size_t start = 0; start < text.size() && !error;) {
        progress.at(start);
        const std::size_t end = std::min(text.find('\n', start), text.size() - 1) + 1;
        const std::string_view line = text.substr(start, end - start);
        start = end;
        ++lineNumber;
        if (!state.open && blankText(line)) {
            cells.records.startRecord();
            cells.lines.push_back(lineNumber);
            continue;
        }
        if (!state.open) {
            state.open = true;
            state.recordLine = lineNumber;
        }
        if (csv_parse(&parser, line.data(), line.size(), csvField, csvRecordEnd, &state) != line.size())
            error = where(path, lineNumber) + "a double quote inside a field that is not quoted, or "
                                              "after the closing quote of a field";
    }
    if (!error && csv_fini(&parser, csvField, csvRecordEnd, &state) != 0)
        error = where(path, state.recordLine) + "a quoted field that is never closed";
    csv_free(&parser);
    return error;
}

// A statistical file's values arrive by case and variable; they are kept in
// a grid until the file is read.
struct StatState {
    TableCells& cells;
    std::vector<std::vector<std::string>> grid;
};

int statVariable(int, readstat_variable_t* variable, const char*, void* data) {
    auto& cells = static_cast<StatState*>(data)->cells;
    const char* name = readstat_variable_get_name(variable);
    cells.names.emplace_back(name ? name : "");
    cells.textVariables.push_back(readstat_variable_get_type_class(variable) ==
                                  READSTAT_TYPE_CLASS_STRING);
    return READSTAT_HANDLER_OK;
}

// A system-missing, tagged-missing or user-missing value is an empty cell;
// a number is written in the fewest digits that give it back.
int statValue(int observation, readstat_variable_t* variable, readstat_value_t value, void* data) {
    auto& state = *static_cast<StatState*>(data);
    auto& cells = state.cells;
    const auto row = static_cast<std::size_t>(observation);
    while (state.grid.size() <= row) {
        state.grid.emplace_back(cells.names.size());
        cells.lines.push_back(static_cast<int>(state.grid.size()));
    }
    const auto column = static_cast<std::size_t>(readstat_variable_get_index(variable));
    if (column >= cells.names.size()) return READSTAT_HANDLER_ABORT;
    std::string& cell = state.grid[row][column];
    if (readstat_value_type_class(value) == READSTAT_TYPE_CLASS_STRING) {
        const char* text = readstat_string_value(value);
        cell = text ? text : "";
    } else if (!readstat_value_is_missing(value, variable)) {
        char buffer[32];
        const auto written = std::to_chars(buffer, buffer + sizeof buffer, readstat_double_value(value));
        cell.assign(buffer, written.ptr);
    }
    return READSTAT_HANDLER_OK;
}

std::optional<std::string> readStatistical(const std::string& path, TableFormat format,
                                           TableCells& cells) {
    readstat_parser_t* parser = readstat_parser_init();
    if (parser == nullptr) return path + ": out of memory";
    readstat_set_variable_handler(parser, statVariable);
    readstat_set_value_handler(parser, statValue);
    readstat_error_t status = READSTAT_OK;
    StatState state{cells, {}};
    if (format == TableFormat::Spss) status = readstat_parse_sav(parser, path.c_str(), &state);
    else if (format == TableFormat::SpssPortable) status = readstat_parse_por(parser, path.c_str(), &state);
    else status = readstat_parse_dta(parser, path.c_str(), &state);
    readstat_parser_free(parser);
    for (const auto& row : state.grid) {
        cells.records.startRecord();
        for (const std::string& cell : row) cells.records.addCell(cell);
    }
    if (status != READSTAT_OK)
        return path + ": not a readable " + tableFormatName(format) + " file (" +
               readstat_error_message(status) + ")";
    return std::nullopt;
}

}  // namespace

const char* tableFormatName(TableFormat format) {
    switch (format) {
    case TableFormat::Whitespace: return "whitespace-separated text";
    case TableFormat::Csv: return "CSV";
    case TableFormat::Tsv: return "tab-separated text";
    case TableFormat::Spss: return "SPSS";
    case TableFormat::SpssPortable: return "SPSS portable";
    case TableFormat::Stata: return "Stata";
    }
    return "";
}

bool statisticalFormat(TableFormat format) {
    return format == TableFormat::Spss || format == TableFormat::SpssPortable ||
           format == TableFormat::Stata;
}

FormatChoice chooseTableFormat(const std::string& path, std::string_view firstLine) {
    std::string extension = std::filesystem::path(path).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (extension == ".csv") return {TableFormat::Csv, true};
    if (extension == ".tsv" || extension == ".tab") return {TableFormat::Tsv, true};
    if (extension == ".sav" || extension == ".zsav") return {TableFormat::Spss, true};
    if (extension == ".por") return {TableFormat::SpssPortable, true};
    if (extension == ".dta") return {TableFormat::Stata, true};
    if (firstLine.find('\t') != std::string_view::npos) return {TableFormat::Tsv, false};
    if (firstLine.find(',') != std::string_view::npos) return {TableFormat::Csv, false};
    return {TableFormat::Whitespace, false};
}

TableCellsResult readTableCells(const std::string& path, const TableReadHooks& hooks) {
    TableCellsResult result;
    std::ifstream in;
    if (isRegularFile(path)) in.open(path, std::ios::binary);
    if (!in.is_open()) {
        result.error = "cannot read the data file " + path;
        return result;
    }
    TableCells cells;
    cells.choice = chooseTableFormat(path, {});
    std::optional<std::string> error;
    if (statisticalFormat(cells.choice.format)) {
        in.close();
        error = readStatistical(path, cells.choice.format, cells);
    } else {
        in.seekg(0, std::ios::end);
        const std::streamoff size = in.tellg();
        in.seekg(0, std::ios::beg);
        // The text, its cells (their text and 4 bytes each, a cell taking
        // at least 2 bytes of the text) and the rows written for the reader.
        const long long need = kTableTextCopies * static_cast<long long>(size);
        if (hooks.budget.bytes && need > *hooks.budget.bytes) {
            result.error = "the data file " + path + " (" + memoryText(size) + ") needs about " + memoryText(need) +
                           " of memory to be read; " + memoryText(*hooks.budget.bytes) + " is available";
            return result;
        }
        if (hooks.opened) hooks.opened();
        std::string whole(static_cast<std::size_t>(std::max<std::streamoff>(size, 0)), '\0');
        in.read(whole.data(), static_cast<std::streamsize>(whole.size()));
        if (size < 0 || in.gcount() != static_cast<std::streamsize>(whole.size())) {
            result.error = "the data file " + path + " became shorter while it was read";
            return result;
        }
        std::string_view text = whole;
        if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark) text.remove_prefix(kByteOrderMark.size());
        cells.choice = chooseTableFormat(path, text.substr(0, text.find('\n')));
        SplitProgress progress(hooks.progress, text.size());
        if (cells.choice.format == TableFormat::Whitespace) readWhitespace(text, cells, progress);
        else error = readDelimited(path, text, cells.choice.format == TableFormat::Tsv, cells, progress);
        if (!error) progress.at(text.size());
    }
    if (error) result.error = *error;
    else result.cells = std::move(cells);
    return result;
}

}  // namespace talvex
