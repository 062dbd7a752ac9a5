#include "data/data_files.h"

#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <fstream>

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

const char* const kStatusData = "Error in data file!";
const char* const kStatusTooManyMissing = "Too many missing values!";
// Two spellings: the first opening of the target file reports the first one.
const char* const kStatusTargetFirstOpen = "Error in target rotation file!";
const char* const kStatusTarget = "Error in rotation target file!";
const char* const kStatusLabels = "Error in variable labels file!";

// A user is asked whether to go on after this many drops since the last
// question.
constexpr int kDropsBeforeQuestion = 5;

std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

std::string format(const char* fmt, ...) {
    char buffer[512];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(buffer, sizeof buffer, fmt, args);
    va_end(args);
    return buffer;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}
bool isHardSeparator(char c) { return c == ',' || c == ';' || c == ':' || c == '/'; }

// The whole field must be a finite number; a leading '+' is allowed as in
// formatted input. A number too small for single precision becomes what
// formatted input makes of it (0 or the nearest subnormal); one too large has
// no finite value and is not taken.
std::optional<double> parseNumber(std::string_view field) {
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

// Line reader over a text file; a trailing carriage return (a file written
// with CRLF line ends) is not part of the line.
class LineFile {
public:
    explicit LineFile(const std::string& path) : in_(path, std::ios::binary) {}
    bool isOpen() const { return in_.is_open(); }
    bool next(std::string& line) {
        if (!std::getline(in_, line)) return false;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return true;
    }

private:
    std::ifstream in_;
};

Matrix fromRows(const std::vector<double>& values, int rows, int cols) {
    Matrix result(rows, cols);
    for (int i = 0; i < rows; ++i)
        for (int j = 0; j < cols; ++j)
            result[i][j] = values[static_cast<std::size_t>(i) * cols + j];
    return result;
}

// Largest and smallest element truncated toward zero; 0 for an empty matrix.
void setObservedRange(DataSet& data, const Matrix& scores) {
    if (!scores.valid() || scores.rows() == 0 || scores.cols() == 0) {
        data.observedMax = 0;
        data.observedMin = 0;
    } else {
        data.observedMax = static_cast<int>(scores.maxElement());
        data.observedMin = static_cast<int>(scores.minElement());
    }
    data.categoryCount = data.observedMax - data.observedMin + 1;
}

}  // namespace

std::vector<std::optional<double>> parseLine(std::string_view line) {
    std::vector<std::optional<double>> fields;
    const std::size_t n = line.size();
    std::size_t i = 0;
    auto skipBlanks = [&] {
        while (i < n && isBlank(line[i])) ++i;
    };
    skipBlanks();
    while (i < n) {
        if (isHardSeparator(line[i])) {
            // Nothing before this separator: an empty field.
            fields.emplace_back(std::nullopt);
            ++i;
        } else {
            std::size_t j = i;
            while (j < n && !isBlank(line[j]) && !isHardSeparator(line[j])) ++j;
            fields.push_back(parseNumber(line.substr(i, j - i)));
            i = j;
            skipBlanks();
            if (i < n && isHardSeparator(line[i])) ++i;
        }
        skipBlanks();
    }
    return fields;
}

int leadingNumbers(const std::vector<std::optional<double>>& fields, int limit) {
    int count = 0;
    for (const auto& field : fields) {
        if (count >= limit || !field) break;
        ++count;
    }
    return count;
}

ReadResult readScoresFile(DataSet& data, Messenger& messenger) {
    data.userMatrix = Matrix();
    data.userMatrixRead = false;
    data.rowNumbers.clear();

    LineFile file(data.scoresFileName);
    if (!file.isOpen()) {
        messenger.message(kScoresNotOpened, MessageIcon::None);
        return ReadResult::failure(kStatusData);
    }

    const int n = data.participantCount;
    const int m = data.variableCount;
    int expected = n;
    int dropped = 0;
    int sinceQuestion = 0;
    int row = 0;
    int lineNumber = 1;
    std::vector<double> values;
    std::string line;
    while (row < expected) {
        if (!file.next(line)) {
            messenger.message(format(kScoresShort, row + dropped, n), MessageIcon::Error);
            return ReadResult::failure(kStatusData);
        }
        data.rowNumbers.push_back(lineNumber++);
        const auto fields = parseLine(line);
        const int found = leadingNumbers(fields, m);
        if (found < m) {
            ++sinceQuestion;
            messenger.message(format(kRowDropped, row + dropped + 1, found),
                              MessageIcon::Exclamation);
            if (sinceQuestion > kDropsBeforeQuestion) {
                if (!messenger.askYesNo(format(kDropQuestion, dropped)))
                    return ReadResult::failure(kStatusTooManyMissing);
                sinceQuestion = 0;
            }
            data.rowNumbers.pop_back();
            --expected;
            ++dropped;
            continue;
        }
        for (int j = 0; j < m; ++j) values.push_back(*fields[static_cast<std::size_t>(j)]);
        ++row;
    }
    if (dropped > 0)
        messenger.message(format(kDropNote, dropped, expected), MessageIcon::Exclamation);

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

    LineFile file(data.matrixFileName);
    if (!file.isOpen()) {
        messenger.message(kMatrixNotOpened, MessageIcon::None);
        return ReadResult::failure(kStatusData);
    }
    const int m = data.variableCount;
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
            messenger.message(format(kTargetShort, i, m), MessageIcon::Error);
            return ReadResult::failure(kStatusTarget);
        }
        const auto fields = parseLine(line);
        const int found = leadingNumbers(fields, c);
        if (found < c) {
            messenger.message(format(kTargetRowShort, i + 1, found), MessageIcon::Error);
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
            messenger.message(format(kLabelsShort, i, m), MessageIcon::Error);
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
    std::vector<int> complete;
    for (int i = 0; i < rows; ++i) {
        bool missing = false;
        for (int j = 0; j < m && !missing; ++j) missing = data.missingMask[i][j] == 1.0;
        if (!missing) complete.push_back(i);
    }
    const int n = static_cast<int>(complete.size());
    data.completeScores = Matrix(n, m);
    data.completeRowNumbers.clear();
    for (int r = 0; r < n; ++r) {
        const int i = complete[static_cast<std::size_t>(r)];
        for (int j = 0; j < m; ++j) data.completeScores[r][j] = data.rawScores[i][j];
        data.completeRowNumbers.push_back(data.rowNumbers[static_cast<std::size_t>(i)]);
    }
    data.participantCount = n;
    setObservedRange(data, data.completeScores);
}

void selectVariables(DataSet& data, bool rawData, bool polychoric) {
    std::vector<int> included;
    const int listed = data.variableList.valid() ? data.variableList.rows() : 0;
    for (int j = 0; j < listed; ++j)
        if (data.variableList[j][1] == 1.0) included.push_back(j);
    const int k = static_cast<int>(included.size());
    data.includedIndex = Matrix(k, 1);
    for (int c = 0; c < k; ++c) data.includedIndex[c][0] = included[static_cast<std::size_t>(c)] + 1;

    auto columnsOf = [&](const Matrix& source) {
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
