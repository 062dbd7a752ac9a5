// The input files (participants' scores, variance/covariance matrix, rotation
// target, variable labels), the line syntax they share, and the two
// preparations of the data made before every configuration and run:
// complete cases and the selection of the analysed variables.
//
// Matrices are created in the caller's current scope; Read Data calls these
// outside every scope so that the DataSet's matrices live until the end.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "data/dataset.h"
#include "data/messages.h"

namespace talvex {

// One line of a scores, matrix or target file split into fields. Separators
// are blank, tab, ',', ';', ':' and '/'; runs of blanks and tabs, also around
// another separator, count as one separator. A field that is not a number
// (such as "NA" or "?") or that is empty (two separators in a row, or a
// separator at the start of the line) is nullopt. Numbers are read as 32-bit
// floats and widened.
std::vector<std::optional<double>> parseLine(std::string_view line);

// The whole field as a number, read as a 32-bit float and widened (a
// leading '+' allowed, as in formatted input); nullopt for anything else.
std::optional<double> parseNumber(std::string_view field);

// The field texts of a line, split as parseLine splits it: an empty view
// for an empty field.
std::vector<std::string_view> splitFields(std::string_view line);

// Number of leading fields that are numbers, at most limit: the values a
// reader takes from the line.
int leadingNumbers(const std::vector<std::optional<double>>& fields, int limit);

// The usual line of a scores file read fast: when its first `count` fields
// are unsigned whole numbers of at most seven digits, each followed by a
// blank, a tab or the line's end, they are appended to `values` (the floats
// parseLine reads) and true is returned; otherwise false and `values` is
// left as it was.
bool appendWholeNumbers(std::string_view line, int count, std::vector<float>& values);

// Whether name is an existing regular file (symbolic links followed): the
// only kind of file the readers open.
bool isRegularFile(const std::string& name);

// Largest number of variables a read accepts: an m x m matrix of 1000
// variables takes 8 MB and a run holds dozens of them.
inline constexpr int kMaxVariables = 1000;

// A size beyond what can be held, the field it concerns and the message for
// the user.
struct SizeProblem {
    enum Field { Participants, Variables } field;
    std::string text;
};

// The memory the data may take. The machine's is MemAvailable of
// /proc/meminfo, taken when the check runs; a caller may give a fixed
// amount instead. Without a figure (no /proc/meminfo) nothing is refused.
struct MemoryBudget {
    std::optional<long long> bytes;
    static MemoryBudget machine();
};

// "2.4 GB", "310 MB", "12 kB": decimal units as disks and dialogs show them.
std::string memoryText(long long bytes);

// MemAvailable of a /proc/meminfo text, in bytes.
std::optional<long long> memAvailableBytes(std::string_view meminfo);

// Bytes that participants x variables scores take while a run holds them:
// the scores as read with their missing mask, the complete cases, the
// analysed variables and the imputation data with its mask, 8 bytes each.
long long scoresMemoryNeed(long long participants, long long variables);

// Checks the typed sizes; scores: a participants' scores file, whose
// participants x variables scores must fit in the budget, otherwise a
// matrix file.
std::optional<SizeProblem> checkDataSize(int participants, int variables, bool scores,
                                         const MemoryBudget& budget = MemoryBudget::machine());

// Whether two names reach the same file: the same file system object when
// both exist (relative forms, symbolic and hard links alike), otherwise the
// same resolved path.
bool sameFile(const std::string& a, const std::string& b);

// Why the report may not be written to outputFileName: no name, or the name
// reaches one of the four input files named in data (through any relative
// form or link). The text names the file; nothing when the name is usable.
std::optional<std::string> outputFileProblem(const DataSet& data,
                                             const std::string& outputFileName);

// Why the JSON results may not be written to jsonFileName: the name reaches
// one of the four input files, the report outputFileName or the saved
// factor scores scoresFileName (empty when none are saved). Nothing for an
// empty name (no JSON file) or a usable one.
std::optional<std::string> jsonFileProblem(const DataSet& data, const std::string& jsonFileName,
                                           const std::string& outputFileName,
                                           const std::string& scoresFileName = "");

// The files that the CSV tables of a run are written to, in their folder.
inline constexpr const char* kCsvTableNames[] = {"loadings.csv", "structure.csv", "factor_correlations.csv",
                                                 "communalities.csv", "descriptives.csv"};

// The files that the plots of a run are written to, in their folder.
inline constexpr const char* kPlotFileNames[] = {"scree.svg",    "scree.png",    "map.svg",       "map.png",
                                                 "hull.svg",     "hull.png",     "loadings.svg",  "loadings.png",
                                                 "intervals.svg", "intervals.png"};

// The names of a run's outputs beside the report; an empty name: none.
struct ResultOutputs {
    std::string report;
    std::string json;
    std::string scores;     // the saved factor scores
    std::string html;
    std::string csvFolder;  // its files are kCsvTableNames
    std::string plotFolder; // its files are kPlotFileNames
};

// Why the HTML page, the CSV tables or the plots may not be written where
// named: one of their files would be one of the four input files, the
// report, the JSON results, the saved scores or a file of another of these
// three outputs. The text names the output, the file and what it is;
// nothing when every name is usable.
struct OutputProblem {
    std::string message;
    const char* key;  // the control at fault: "htmlFileName", "csvFolder" or "plotFolder"
};
std::optional<OutputProblem> resultOutputsProblem(const DataSet& data, const ResultOutputs& outputs);

// Outcome of a reader. On failure the message has been shown already and
// status is the text for status line 1 of the main window.
struct ReadResult {
    bool ok = true;
    std::string status;

    static ReadResult success() { return {}; }
    static ReadResult failure(std::string text) { return {false, std::move(text)}; }
};

// Reads data.scoresFileName: participantCount rows of variableCount values,
// dropping short rows (with a warning each, a Yes/No question after every
// six drops and a closing note). Sizes beyond the limits above, a score
// beyond +-1e9 and a file whose every row is dropped are failures. Sets rawScores, missingMask (from
// missingCodeEnabled/missingCode), rowNumbers, rowsRead, participantCount
// (the rows kept), observedMin/observedMax/categoryCount, and creates
// variableMinima/variableMaxima; clears userMatrix. The caller sets the
// dispersion type (0) and the score range from observedMin/observedMax.
ReadResult readScoresFile(DataSet& data, Messenger& messenger,
                          const MemoryBudget& budget = MemoryBudget::machine());

// Reads data.matrixFileName: variableCount rows of variableCount values into
// userMatrix; a matrix that is not symmetric (relative tolerance 1e-4 of the
// larger of the two elements and the geometric mean of their diagonal
// elements) is refused. Clears the raw-data matrices,
// missingCodeEnabled and the observed range. The caller sets the dispersion
// type (UserMatrix) and the score range (0).
ReadResult readMatrixFile(DataSet& data, Messenger& messenger);

// What the target information dialog shows.
struct TargetCounts {
    int columns = 0;
    int positiveFree = 0;  // cells equal to +9
    int negativeFree = 0;  // cells equal to -9
    int specified = 0;     // cells whose absolute value is below 9
    int nonSpecified = 0;  // cells whose absolute value is 9 or more
};

// Reads data.targetFileName: variableCount rows with as many values as the
// first line has fields (an empty first line is an error), into targetMatrix. On success counts holds the
// column count and the cell counts; the caller sets factorCount and the
// rotation kind and shows the counts.
ReadResult readTargetFile(DataSet& data, Messenger& messenger, TargetCounts& counts);

// Reads data.labelsFileName: variableCount lines, each a label taken whole.
ReadResult readLabelsFile(DataSet& data, Messenger& messenger);

// Sets completeScores and completeRowNumbers to the rows of rawScores without
// a missing value in the variables included by variableList (every variable
// when there is no list yet), participantCount to their number, and
// recomputes observedMin/observedMax/categoryCount from their included
// columns. The caller copies
// observedMin/observedMax into lowestScore/highestScore. Does nothing when no
// scores were read.
void buildCompleteCases(DataSet& data);

// Selects the included variables of variableList: includedIndex, and for raw
// data analysedScores (plus imputationScores/imputationMask when a missing
// code is in use), for a user matrix dispersion; analysedTarget when a target
// was read. With polychoric correlation the observed range is recomputed
// from analysedScores and every element of variableMinima/variableMaxima
// takes it (the caller copies it into lowestScore/highestScore again).
void selectVariables(DataSet& data, bool rawData, bool polychoric);

// Every variable included: variableList := m x 2 of (0-based number, 1.0).
void includeAllVariables(DataSet& data);

}  // namespace talvex
