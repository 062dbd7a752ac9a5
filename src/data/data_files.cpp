#include "data/data_files.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numeric>
#include <system_error>

#include "core/format_text.h"

namespace talvex {

namespace {

// Message texts, exactly as the user sees them.
const char* const kScoresNotOpened = "Error reading data file:\n\n The file could not be opened!";
const char* const kScoresShort =
    "Error reading data file: the file has %i rows instead of %i\n\nPlease check your data file!";
const char* const kRowDropped =
    "Warning: row number %i in data file seems to have only %i values\n\nAs missing values are "
    "not allowed, this row is dropped!\n\n";
const char* const kDropQuestion =
    "Warning: %i rows have already been dropped\n\nDo you want to continue reading the data "
    "file?\n\n";
const char* const kDropNote =
    "Please note that %i rows were dropped because missing values were found\n\nThe sample size "
    "is %i!";
const char* const kMatrixNotOpened = "Error reading data file!";
const char* const kMatrixBad =
    "Error reading data file: the variance/covariance matrix must be a symmetric matrix without "
    "missing values\n\nPlease check your data file!";
const char* const kTargetNotOpened =
    "Error reading rotation target file:\n\n The file could not be opened!";
const char* const kTargetShort =
    "Error reading rotation target file: the file has %i rows instead of %i\n\nPlease check "
    "rotation target file!";
const char* const kTargetRowShort =
    "Warning: row number %i in rotation target file seems to have only %i values\n\nMissing "
    "values are not allowed in this matrix!\n\n";
const char* const kLabelsNotOpened =
    "Error reading variable labels file:\n\n The file could not be opened!";
const char* const kLabelsShort =
    "Error reading Variable Labels file: the file has %i rows instead of %i\n\nPlease check your "
    "data file!";

const char* const kScoreOutOfRange =
    "Error reading data file: the score %.40s in row number %i is out of range\n\nScores must "
    "lie between -1000000000 and 1000000000.\n\nPlease check your data file!";
const char* const kNoRowKept =
    "Error reading data file: all %i rows were dropped because missing values were found, so "
    "no participant is left\n\nPlease check your data file!";
const char* const kTargetNoColumns =
    "Error reading rotation target file: the first line holds no values, so the number of "
    "columns is unknown\n\nPlease check rotation target file!";
const char* const kTooManyVariables =
    "Please, check the number of variables.\n\nIt cannot be larger than %i: each matrix of "
    "%i x %i values takes 8 MB and an analysis holds dozens of them.";
const char* const kTooManyScores =
    "Please, check the number of participants in the sample.\n\nThe scores of %i participants "
    "x %i variables need about %s of memory; %s is available.";
const char* const kNoReportName = "Please, enter a file name for the report.";
const char* const kReportIsInput =
    "The report cannot be written to %s: it is the %s file %s.\n\nPlease, choose another file "
    "name for the report.";
const char* const kJsonIsInput =
    "The JSON results cannot be written to %s: it is the %s file %s.\n\nPlease, choose another "
    "file name for the JSON results.";
const char* const kJsonIsReport =
    "The JSON results cannot be written to %s: it is the report.\n\nPlease, choose another file "
    "name for the JSON results.";
const char* const kJsonIsScores =
    "The JSON results cannot be written to %s: it is the file of the saved factor scores.\n\n"
    "Please, choose another file name for the JSON results.";

const char* const kStatusData = "Error in data file!";
const char* const kStatusTooManyMissing = "Too many missing values!";
// Two spellings: the first opening of the target file reports the first one.
const char* const kStatusTargetFirstOpen = "Error in target rotation file!";
const char* const kStatusTarget = "Error in rotation target file!";
const char* const kStatusLabels = "Error in variable labels file!";

// A user is asked whether to go on after this many drops since the last
// question.
constexpr int kDropsBeforeQuestion = 5;

// Scores are truncated to int for the observed range and the category
// count max - min + 1; within +-1e9 that count stays below INT_MAX.
constexpr double kScoreLimit = 1e9;

// Element (i, j) and (j, i) of a matrix file may differ by this much relative
// to max(|a_ij|, |a_ji|, sqrt(|a_ii a_jj|)): rounding in the fourth
// significant digit passes, a transposed or misplaced value does not.
constexpr double kSymmetryTolerance = 1e-4;

// The UTF-8 byte-order mark some editors put at the start of a text file.
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}
bool isHardSeparator(char c) { return c == ',' || c == ';' || c == ':' || c == '/'; }

// Line reader over a text file; a trailing carriage return (a file written
// with CRLF line ends) and a byte-order mark before the first line are not
// part of the text. Anything but a regular file counts as not opened: a FIFO
// would block the opening and a device such as /dev/zero never ends.
class LineFile {
public:
    explicit LineFile(const std::string& path) {
        if (isRegularFile(path)) in_.open(path, std::ios::binary);
    }
    bool isOpen() const { return in_.is_open(); }
    bool next(std::string& line) {
        if (!std::getline(in_, line)) return false;
        if (first_ && line.rfind(kByteOrderMark, 0) == 0) line.erase(0, kByteOrderMark.size());
        first_ = false;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return true;
    }

private:
    std::ifstream in_;
    bool first_ = true;
};

template <class T>
Matrix fromRows(const std::vector<T>& values, int rows, int cols) {
    Matrix result(rows, cols);
    for (int i = 0; i < rows; ++i)
        for (int j = 0; j < cols; ++j)
            result[i][j] = values[static_cast<std::size_t>(i) * cols + j];
    return result;
}

// Largest and smallest element of the listed columns, truncated toward zero;
// 0 when there is none.
void setObservedRange(DataSet& data, const Matrix& scores, const std::vector<int>& columns) {
    bool any = false;
    double high = 0.0;
    double low = 0.0;
    const int rows = scores.valid() ? scores.rows() : 0;
    for (int i = 0; i < rows; ++i) {
        const double* row = scores[i];
        for (int j : columns) {
            const double v = row[j];
            high = any ? std::max(high, v) : v;
            low = any ? std::min(low, v) : v;
            any = true;
        }
    }
    data.observedMax = static_cast<int>(high);
    data.observedMin = static_cast<int>(low);
    data.categoryCount = data.observedMax - data.observedMin + 1;
}

// The same over every column.
void setObservedRange(DataSet& data, const Matrix& scores) {
    std::vector<int> all(scores.valid() ? static_cast<std::size_t>(scores.cols()) : 0);
    std::iota(all.begin(), all.end(), 0);
    setObservedRange(data, scores, all);
}

// 0-based numbers of the variables included in the analysis; every variable
// when no list has been made yet.
std::vector<int> includedVariables(const DataSet& data, int m) {
    std::vector<int> included;
    const bool listed = data.variableList.valid() && data.variableList.rows() == m;
    for (int j = 0; j < m; ++j)
        if (!listed || data.variableList[j][1] == 1.0) included.push_back(j);
    return included;
}

// A file that an output may not replace, and what it is to the user.
struct KeptFile {
    std::string name;
    std::string role;  // "Participants' Scores", "report", "plot scree.svg"
    char kind;         // 'i' input, 'r' report, 'j' JSON, 's' scores, 'h' page, 'c' CSV, 'p' plots
};

// Every file that the outputs of a run may not replace: the four input files
// named in data, then the outputs named in o (empty names left out).
std::vector<KeptFile> keptFiles(const DataSet& data, const ResultOutputs& o) {
    std::vector<KeptFile> files;
    const auto add = [&files](const std::string& name, std::string role, char kind) {
        if (!name.empty()) files.push_back({name, std::move(role), kind});
    };
    add(data.scoresFileName, "Participants' Scores", 'i');
    add(data.matrixFileName, "Variance/Covariance matrix", 'i');
    add(data.labelsFileName, "Variable Labels", 'i');
    add(data.targetFileName, "Rotation Target Matrix", 'i');
    add(o.report, "report", 'r');
    add(o.json, "JSON results file", 'j');
    add(o.scores, "file of the saved factor scores", 's');
    add(o.html, "HTML page", 'h');
    if (!o.csvFolder.empty())
        for (const char* name : kCsvTableNames)
            add((std::filesystem::path(o.csvFolder) / name).string(), std::string("CSV table ") + name, 'c');
    if (!o.plotFolder.empty())
        for (const char* name : kPlotFileNames)
            add((std::filesystem::path(o.plotFolder) / name).string(), std::string("plot ") + name, 'p');
    return files;
}

// The text of `format` (the output name, the input's role and its name)
// for the first of the four input files named in data that `output`
// reaches; nothing when it reaches none.
std::optional<std::string> inputReached(const DataSet& data, const std::string& output,
                                        const char* format) {
    for (const KeptFile& input : keptFiles(data, {}))
        if (sameFile(output, input.name))
            return formatText(format, output.c_str(), input.role.c_str(), input.name.c_str());
    return std::nullopt;
}

}  // namespace

std::optional<double> parseNumber(std::string_view field) {
    if (field.empty()) return std::nullopt;
    const char* begin = field.data();
    const char* end = begin + field.size();
    if (begin != end && *begin == '+') {
        ++begin;
        if (begin == end || *begin == '-') return std::nullopt;
    }
    float value = 0.0f;
    const auto [stop, error] = std::from_chars(begin, end, value, std::chars_format::general);
    if (stop != end) return std::nullopt;
    if (error == std::errc::result_out_of_range) {
        const std::string text(begin, end);
        value = std::strtof(text.c_str(), nullptr);
    } else if (error != std::errc()) {
        return std::nullopt;
    }
    if (!std::isfinite(value)) return std::nullopt;
    return static_cast<double>(value);
}

bool isRegularFile(const std::string& name) {
    if (name.empty()) return false;
    std::error_code error;
    return std::filesystem::is_regular_file(name, error) && !error;
}

MemoryBudget MemoryBudget::machine() {
    std::ifstream in("/proc/meminfo", std::ios::binary);
    if (!in) return {};
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return {memAvailableBytes(text)};
}

std::optional<long long> memAvailableBytes(std::string_view meminfo) {
    constexpr std::string_view key = "MemAvailable:";
    std::size_t at = 0;
    while (at < meminfo.size() && meminfo.compare(at, key.size(), key) != 0) {
        at = meminfo.find('\n', at);
        if (at == std::string_view::npos) return std::nullopt;
        ++at;
    }
    if (at >= meminfo.size()) return std::nullopt;
    at += key.size();
    while (at < meminfo.size() && isBlank(meminfo[at])) ++at;
    long long kilobytes = 0;
    const auto [stop, error] =
        std::from_chars(meminfo.data() + at, meminfo.data() + meminfo.size(), kilobytes);
    if (error != std::errc() || kilobytes < 0 || kilobytes > (1LL << 50)) return std::nullopt;
    // The figure is in units of 1024 bytes whatever its "kB" says.
    if (meminfo.substr(static_cast<std::size_t>(stop - meminfo.data()), 3) != " kB")
        return std::nullopt;
    return kilobytes * 1024;
}

long long scoresMemoryNeed(long long participants, long long variables) {
    constexpr long long kCopies = 6;
    return participants * variables * kCopies * static_cast<long long>(sizeof(double));
}

std::string memoryText(long long bytes) {
    const double b = static_cast<double>(bytes);
    if (b >= 1e9) return formatText("%.1f GB", b / 1e9);
    if (b >= 1e6) return formatText("%.0f MB", b / 1e6);
    return formatText("%.0f kB", std::ceil(b / 1e3));
}

std::optional<SizeProblem> checkDataSize(int participants, int variables, bool scores,
                                         const MemoryBudget& budget) {
    if (variables > kMaxVariables)
        return SizeProblem{SizeProblem::Variables,
                           formatText(kTooManyVariables, kMaxVariables, kMaxVariables, kMaxVariables)};
    if (!scores || !budget.bytes) return std::nullopt;
    const long long need = scoresMemoryNeed(participants, variables);
    if (need > *budget.bytes)
        return SizeProblem{SizeProblem::Participants,
                           formatText(kTooManyScores, participants, variables,
                                      memoryText(need).c_str(), memoryText(*budget.bytes).c_str())};
    return std::nullopt;
}

bool sameFile(const std::string& a, const std::string& b) {
    namespace fs = std::filesystem;
    std::error_code error;
    if (fs::exists(a, error) && fs::exists(b, error)) {
        const bool same = fs::equivalent(a, b, error);
        if (!error) return same;
    }
    error.clear();
    const fs::path resolvedA = fs::weakly_canonical(a, error);
    if (error) return false;
    const fs::path resolvedB = fs::weakly_canonical(b, error);
    return !error && resolvedA == resolvedB;
}

std::optional<std::string> outputFileProblem(const DataSet& data,
                                             const std::string& outputFileName) {
    if (outputFileName.find_first_not_of(" \t") == std::string::npos) return kNoReportName;
    return inputReached(data, outputFileName, kReportIsInput);
}

std::optional<std::string> jsonFileProblem(const DataSet& data, const std::string& jsonFileName,
                                           const std::string& outputFileName,
                                           const std::string& scoresFileName) {
    if (jsonFileName.empty()) return std::nullopt;
    if (const auto problem = inputReached(data, jsonFileName, kJsonIsInput)) return problem;
    if (sameFile(jsonFileName, outputFileName)) return formatText(kJsonIsReport, jsonFileName.c_str());
    if (!scoresFileName.empty() && sameFile(jsonFileName, scoresFileName))
        return formatText(kJsonIsScores, jsonFileName.c_str());
    return std::nullopt;
}

namespace {

const char* const kOutputIsFile =
    "The %s cannot be written to %s: it is the %s%s.\n\nPlease, choose another name for the %s.";

// What `path`, a file of the output of kind `own`, reaches among the kept
// files of the other outputs and the inputs.
std::optional<std::string> outputCollision(const std::vector<KeptFile>& kept, const std::string& path,
                                           char own, const char* what) {
    for (const KeptFile& file : kept)
        if (file.kind != own && sameFile(path, file.name))
            return formatText(kOutputIsFile, what, path.c_str(), file.role.c_str(),
                              file.kind == 'i' ? " file" : "", what);
    return std::nullopt;
}

}  // namespace

std::optional<OutputProblem> resultOutputsProblem(const DataSet& data, const ResultOutputs& o) {
    const std::vector<KeptFile> kept = keptFiles(data, o);
    for (const KeptFile& file : kept) {
        if (file.kind != 'h' && file.kind != 'c' && file.kind != 'p') continue;
        const char* what = file.kind == 'h' ? "HTML page" : file.kind == 'c' ? "CSV tables" : "plots";
        const char* key = file.kind == 'h' ? "htmlFileName" : file.kind == 'c' ? "csvFolder" : "plotFolder";
        if (auto problem = outputCollision(kept, file.name, file.kind, what))
            return OutputProblem{std::move(*problem), key};
    }
    return std::nullopt;
}

namespace {

// splitFields into a vector kept between lines, so that a long file costs no
// allocation per line.
void splitInto(std::string_view line, std::vector<std::string_view>& fields) {
    fields.clear();
    const std::size_t n = line.size();
    std::size_t i = 0;
    auto skipBlanks = [&] {
        while (i < n && isBlank(line[i])) ++i;
    };
    skipBlanks();
    while (i < n) {
        if (isHardSeparator(line[i])) {
            // Nothing before this separator: an empty field.
            fields.emplace_back();
            ++i;
        } else {
            std::size_t j = i;
            while (j < n && !isBlank(line[j]) && !isHardSeparator(line[j])) ++j;
            fields.push_back(line.substr(i, j - i));
            i = j;
            skipBlanks();
            if (i < n && isHardSeparator(line[i])) ++i;
        }
        skipBlanks();
    }
}

}  // namespace

std::vector<std::string_view> splitFields(std::string_view line) {
    std::vector<std::string_view> fields;
    splitInto(line, fields);
    return fields;
}

std::vector<std::optional<double>> parseLine(std::string_view line) {
    std::vector<std::optional<double>> values;
    for (std::string_view field : splitFields(line)) values.push_back(parseNumber(field));
    return values;
}

bool appendWholeNumbers(std::string_view line, int count, std::vector<float>& values) {
    const std::size_t start = values.size(), n = line.size();
    std::size_t i = 0;
    for (int found = 0; found < count; ++found) {
        while (i < n && (line[i] == ' ' || line[i] == '\t')) ++i;
        const std::size_t first = i;
        int whole = 0;
        while (i < n && i - first < 7 && line[i] >= '0' && line[i] <= '9') whole = whole * 10 + (line[i++] - '0');
        if (i == first || (i < n && line[i] != ' ' && line[i] != '\t')) {
            values.resize(start);
            return false;
        }
        values.push_back(static_cast<float>(whole));
    }
    return true;
}

int leadingNumbers(const std::vector<std::optional<double>>& fields, int limit) {
    int count = 0;
    for (const auto& field : fields) {
        if (count >= limit || !field) break;
        ++count;
    }
    return count;
}

ReadResult readScoresFile(DataSet& data, Messenger& messenger, const MemoryBudget& budget) {
    data.userMatrix = Matrix();
    data.userMatrixRead = false;
    data.rowNumbers.clear();

    const int n = data.participantCount;
    const int m = data.variableCount;
    if (const auto problem = checkDataSize(n, m, true, budget)) {
        messenger.message(problem->text, MessageIcon::Error);
        return ReadResult::failure(kStatusData);
    }
    LineFile file(data.scoresFileName);
    if (!file.isOpen()) {
        messenger.message(kScoresNotOpened, MessageIcon::None);
        return ReadResult::failure(kStatusData);
    }

    int expected = n;
    int dropped = 0;
    int sinceQuestion = 0;
    int row = 0;
    int lineNumber = 1;
    // The kept rows, row after row, as the 32-bit floats they were read as
    // (half the memory of the doubles they become); reserved whole so that
    // it never moves.
    std::vector<float> values;
    values.reserve(static_cast<std::size_t>(n) * static_cast<std::size_t>(m));
    std::vector<std::string_view> fields;
    std::string line;
    while (row < expected) {
        if (!file.next(line)) {
            messenger.message(formatText(kScoresShort, row + dropped, n), MessageIcon::Error);
            return ReadResult::failure(kStatusData);
        }
        data.rowNumbers.push_back(lineNumber++);
        // The leading numbers, at most m of them; fields after the m-th are
        // not looked at.
        const std::size_t start = values.size();
        const bool whole = appendWholeNumbers(line, m, values);
        int found = whole ? m : 0;
        if (!whole) {
            splitInto(line, fields);
            for (; found < m && found < static_cast<int>(fields.size()); ++found) {
                const auto v = parseNumber(fields[static_cast<std::size_t>(found)]);
                if (!v) break;
                values.push_back(static_cast<float>(*v));
            }
        }
        if (found < m) {
            values.resize(start);
            ++sinceQuestion;
            messenger.message(formatText(kRowDropped, row + dropped + 1, found),
                              MessageIcon::Exclamation);
            if (sinceQuestion > kDropsBeforeQuestion) {
                if (!messenger.askYesNo(formatText(kDropQuestion, dropped)))
                    return ReadResult::failure(kStatusTooManyMissing);
                sinceQuestion = 0;
            }
            data.rowNumbers.pop_back();
            --expected;
            ++dropped;
            continue;
        }
        // Whole numbers of seven digits are within the limit.
        for (int j = 0; j < m && !whole; ++j) {
            if (std::fabs(static_cast<double>(values[start + static_cast<std::size_t>(j)])) > kScoreLimit) {
                const std::string text(fields[static_cast<std::size_t>(j)]);
                messenger.message(formatText(kScoreOutOfRange, text.c_str(), lineNumber - 1),
                                  MessageIcon::Error);
                return ReadResult::failure(kStatusData);
            }
        }
        ++row;
    }
    if (expected == 0) {
        // Nothing is left to analyse: a failed read, not a sample of 0.
        messenger.message(formatText(kNoRowKept, dropped), MessageIcon::Error);
        return ReadResult::failure(kStatusData);
    }
    if (dropped > 0)
        messenger.message(formatText(kDropNote, dropped, expected), MessageIcon::Exclamation);

    data.rawScores = fromRows(values, expected, m);
    data.missingMask = Matrix(expected, m);
    if (data.missingCodeEnabled) {
        const double code = data.missingCode;
        for (int i = 0; i < expected; ++i)
            for (int j = 0; j < m; ++j)
                if (data.rawScores[i][j] == code) data.missingMask[i][j] = 1.0;
    }
    data.rowsRead = expected;
    // The sample size is the number of rows kept.
    data.participantCount = expected;
    setObservedRange(data, data.rawScores);
    data.variableMaxima = Matrix(m, 1);
    data.variableMinima = Matrix(m, 1);
    return ReadResult::success();
}

ReadResult readMatrixFile(DataSet& data, Messenger& messenger) {
    data.userMatrixRead = true;
    data.rawScores = Matrix();
    data.completeScores = Matrix();
    data.missingMask = Matrix();
    data.imputationScores = Matrix();
    data.imputationMask = Matrix();
    data.analysedScores = Matrix();
    data.missingCodeEnabled = false;
    data.rowNumbers.clear();
    data.completeRowNumbers.clear();
    data.observedMax = 0;
    data.observedMin = 0;
    data.categoryCount = 0;

    const int m = data.variableCount;
    if (const auto problem = checkDataSize(data.participantCount, m, false)) {
        messenger.message(problem->text, MessageIcon::Error);
        return ReadResult::failure(kStatusData);
    }
    LineFile file(data.matrixFileName);
    if (!file.isOpen()) {
        messenger.message(kMatrixNotOpened, MessageIcon::None);
        return ReadResult::failure(kStatusData);
    }
    std::vector<double> values;
    std::string line;
    for (int i = 0; i < m; ++i) {
        const bool gotLine = file.next(line);
        const auto fields = gotLine ? parseLine(line) : std::vector<std::optional<double>>{};
        if (!gotLine || leadingNumbers(fields, m) < m) {
            messenger.message(kMatrixBad, MessageIcon::Error);
            return ReadResult::failure(kStatusData);
        }
        for (int j = 0; j < m; ++j) values.push_back(*fields[static_cast<std::size_t>(j)]);
    }
    auto at = [&](int i, int j) { return values[static_cast<std::size_t>(i) * m + j]; };
    for (int i = 0; i < m; ++i) {
        for (int j = 0; j < i; ++j) {
            const double scale = std::max({std::fabs(at(i, j)), std::fabs(at(j, i)),
                                           std::sqrt(std::fabs(at(i, i))) *
                                               std::sqrt(std::fabs(at(j, j)))});
            if (std::fabs(at(i, j) - at(j, i)) > kSymmetryTolerance * scale) {
                messenger.message(kMatrixBad, MessageIcon::Error);
                return ReadResult::failure(kStatusData);
            }
        }
    }
    data.userMatrix = fromRows(values, m, m);
    return ReadResult::success();
}

ReadResult readTargetFile(DataSet& data, Messenger& messenger, TargetCounts& counts) {
    counts = TargetCounts{};
    int c = 0;
    {
        LineFile first(data.targetFileName);
        if (!first.isOpen()) {
            messenger.message(kTargetNotOpened, MessageIcon::None);
            return ReadResult::failure(kStatusTargetFirstOpen);
        }
        std::string line;
        if (first.next(line)) c = static_cast<int>(parseLine(line).size());
    }
    if (c == 0) {
        // An empty first line would set no factors at all.
        messenger.message(kTargetNoColumns, MessageIcon::Error);
        return ReadResult::failure(kStatusTarget);
    }
    LineFile file(data.targetFileName);
    if (!file.isOpen()) {
        messenger.message(kTargetNotOpened, MessageIcon::None);
        return ReadResult::failure(kStatusTarget);
    }
    const int m = data.variableCount;
    std::vector<double> values;
    std::string line;
    for (int i = 0; i < m; ++i) {
        if (!file.next(line)) {
            messenger.message(formatText(kTargetShort, i, m), MessageIcon::Error);
            return ReadResult::failure(kStatusTarget);
        }
        const auto fields = parseLine(line);
        const int found = leadingNumbers(fields, c);
        if (found < c) {
            messenger.message(formatText(kTargetRowShort, i + 1, found), MessageIcon::Error);
            return ReadResult::failure(kStatusTarget);
        }
        for (int j = 0; j < c; ++j) {
            const double v = *fields[static_cast<std::size_t>(j)];
            values.push_back(v);
            // |v| >= 9 marks a cell left free by the rotation.
            if (std::fabs(v) < 9.0)
                ++counts.specified;
            else
                ++counts.nonSpecified;
            if (v == 9.0) ++counts.positiveFree;
            if (v == -9.0) ++counts.negativeFree;
        }
    }
    data.targetMatrix = fromRows(values, m, c);
    counts.columns = c;
    return ReadResult::success();
}

ReadResult readLabelsFile(DataSet& data, Messenger& messenger) {
    data.labels.clear();
    LineFile file(data.labelsFileName);
    if (!file.isOpen()) {
        messenger.message(kLabelsNotOpened, MessageIcon::None);
        return ReadResult::failure(kStatusLabels);
    }
    const int m = data.variableCount;
    std::string line;
    for (int i = 0; i < m; ++i) {
        if (!file.next(line)) {
            messenger.message(formatText(kLabelsShort, i, m), MessageIcon::Error);
            return ReadResult::failure(kStatusLabels);
        }
        data.labels.push_back(line);
    }
    return ReadResult::success();
}

void buildCompleteCases(DataSet& data) {
    if (!data.rawScores.valid() || !data.missingMask.valid()) return;
    const int rows = data.rawScores.rows();
    const int m = data.rawScores.cols();
    // A missing score of an excluded variable does not cost the row.
    const std::vector<int> analysed = includedVariables(data, m);
    std::vector<int> complete;
    for (int i = 0; i < rows; ++i) {
        bool missing = false;
        for (int j : analysed) missing = missing || data.missingMask[i][j] == 1.0;
        if (!missing) complete.push_back(i);
    }
    const int n = static_cast<int>(complete.size());
    data.completeRowNumbers.clear();
    if (n == rows) {
        // Every row complete: the scores themselves, counted as their copy.
        countConstructions(1);
        data.completeScores = data.rawScores;
        data.completeRowNumbers = data.rowNumbers;
        data.participantCount = n;
        setObservedRange(data, data.completeScores, analysed);
        return;
    }
    data.completeScores = Matrix(n, m);
    for (int r = 0; r < n; ++r) {
        const int i = complete[static_cast<std::size_t>(r)];
        for (int j = 0; j < m; ++j) data.completeScores[r][j] = data.rawScores[i][j];
        data.completeRowNumbers.push_back(data.rowNumbers[static_cast<std::size_t>(i)]);
    }
    data.participantCount = n;
    // Excluded columns may still hold the missing code.
    setObservedRange(data, data.completeScores, analysed);
}

void selectVariables(DataSet& data, bool rawData, bool polychoric) {
    std::vector<int> included;
    const int listed = data.variableList.valid() ? data.variableList.rows() : 0;
    for (int j = 0; j < listed; ++j)
        if (data.variableList[j][1] == 1.0) included.push_back(j);
    const int k = static_cast<int>(included.size());
    data.includedIndex = Matrix(k, 1);
    for (int c = 0; c < k; ++c) data.includedIndex[c][0] = included[static_cast<std::size_t>(c)] + 1;

    // Every column in order: the source itself, no copy (nothing writes
    // into the data's matrices once they are built), counted as the copy.
    auto columnsOf = [&](const Matrix& source) {
        if (k == source.cols()) {
            countConstructions(1);
            return source;
        }
        Matrix result(source.rows(), k);
        for (int i = 0; i < source.rows(); ++i)
            for (int c = 0; c < k; ++c)
                result[i][c] = source[i][included[static_cast<std::size_t>(c)]];
        return result;
    };

    if (rawData) {
        data.analysedScores = columnsOf(data.completeScores);
        if (data.missingCodeEnabled) {
            data.imputationScores = columnsOf(data.rawScores);
            data.imputationMask = columnsOf(data.missingMask);
        }
        if (polychoric) {
            // Every item gets the range of the whole analysed data, so that
            // all polychoric tables have the same categories.
            setObservedRange(data, data.analysedScores);
            const int m = data.variableCount;
            if (!data.variableMaxima.valid()) data.variableMaxima = Matrix(m, 1);
            if (!data.variableMinima.valid()) data.variableMinima = Matrix(m, 1);
            for (int j = 0; j < data.variableMaxima.rows(); ++j)
                data.variableMaxima[j][0] = data.observedMax;
            for (int j = 0; j < data.variableMinima.rows(); ++j)
                data.variableMinima[j][0] = data.observedMin;
        }
    } else {
        data.dispersion = Matrix(k, k);
        for (int r = 0; r < k; ++r)
            for (int c = 0; c < k; ++c)
                data.dispersion[r][c] = data.userMatrix[included[static_cast<std::size_t>(r)]]
                                                       [included[static_cast<std::size_t>(c)]];
    }

    if (data.targetMatrix.valid()) {
        const int c = data.targetMatrix.cols();
        data.analysedTarget = Matrix(k, c);
        for (int r = 0; r < k; ++r)
            for (int j = 0; j < c; ++j)
                data.analysedTarget[r][j] = data.targetMatrix[included[static_cast<std::size_t>(r)]][j];
    }
}

void includeAllVariables(DataSet& data) {
    const int m = data.variableCount;
    data.variableList = Matrix(m, 2);
    for (int j = 0; j < m; ++j) {
        data.variableList[j][0] = j;
        data.variableList[j][1] = 1.0;
    }
}

}  // namespace talvex
