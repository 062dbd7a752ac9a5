// Input files a reader must refuse or survive: scores beyond the range the
// category count can hold, sizes that cannot be held, reads that keep no row,
// things that are not regular files, asymmetric matrices, byte-order marks,
// an empty target line, complete cases over the analysed variables only, and
// report names that reach an input file. Expected values are worked out by
// hand from the contents written here.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "core/matrix.h"
#include "data/data_files.h"
#include "support/matrix_testing.h"
#include "support/recording_messenger.h"
#include "support/temp_files.h"

namespace talvex {
namespace {

namespace fs = std::filesystem;
using testing::fromRows;
using testing::MatrixNear;
using testing::RecordingMessenger;

enum class Reader { Scores, Matrix, Target, Labels };

const std::string kDataStatus = "Error in data file!";
const std::string kTooManyVariables =
    "Please, check the number of variables.\n\nIt cannot be larger than 1000: each matrix of "
    "1000 x 1000 values takes 8 MB and an analysis holds dozens of them.";
const std::string kTooManyScores =
    "Please, check the number of participants in the sample.\n\nParticipants times variables "
    "cannot be larger than 10000000 scores (80 MB for each copy of the data).";

std::string outOfRange(const std::string& value, int row) {
    return "Error reading data file: the score " + value + " in row number " +
           std::to_string(row) +
           " is out of range\n\nScores must lie between -1000000000 and 1000000000.\n\nPlease "
           "check your data file!";
}

class HostileInputTest : public testing::PoolTest {
protected:
    void TearDown() override {
        data = DataSet{};
        PoolTest::TearDown();
    }

    // Reads the file at path with N = n and m = m.
    ReadResult readPath(Reader reader, const std::string& path, int n, int m) {
        data.scoresFileName = data.matrixFileName = data.targetFileName = data.labelsFileName =
            path;
        data.participantCount = n;
        data.variableCount = m;
        messenger.messages.clear();
        switch (reader) {
            case Reader::Scores: return readScoresFile(data, messenger);
            case Reader::Matrix: return readMatrixFile(data, messenger);
            case Reader::Target: return readTargetFile(data, messenger, counts);
            case Reader::Labels: break;
        }
        return readLabelsFile(data, messenger);
    }
    ReadResult read(Reader reader, const std::string& content, int n, int m) {
        return readPath(reader, dir.write("in.dat", content), n, m);
    }

    testing::TempDir dir;
    DataSet data;
    RecordingMessenger messenger;
    TargetCounts counts;
};

// --- Scores the category arithmetic cannot hold ------------------------------

TEST_F(HostileInputTest, ScoresBeyondOneBillionAreRefusedWithTheirRowAndText) {
    const struct {
        const char* content;
        std::string message;
    } cases[] = {
        {"1 2\n3e9 4\n", outOfRange("3e9", 2)},
        {"1 1e30\n", outOfRange("1e30", 1)},
        {"1 2\n3 4\n-3e9 0\n", outOfRange("-3e9", 3)},
        {"2147483648 1\n", outOfRange("2147483648", 1)},
        // The next float above 1e9; the row number counts dropped lines.
        {"1\n1 1000000064\n", outOfRange("1000000064", 2)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.content);
        const ReadResult result = read(Reader::Scores, c.content, 3, 2);
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.status, kDataStatus);
        ASSERT_FALSE(messenger.messages.empty());
        EXPECT_EQ(messenger.messages.back().text, c.message);
        EXPECT_EQ(messenger.messages.back().icon, MessageIcon::Error);
    }
}

TEST_F(HostileInputTest, ScoresAtOneBillionKeepTheCategoryCountInRange) {
    ASSERT_TRUE(read(Reader::Scores, "1000000000 0\n-1e9 5\n", 2, 2).ok);
    // 1e9 - (-1e9) + 1 categories: the largest count the reader lets through.
    EXPECT_EQ(std::tuple(data.observedMin, data.observedMax, data.categoryCount),
              std::tuple(-1000000000, 1000000000, 2000000001));
}

// --- Sizes and reads that keep nothing ---------------------------------------

TEST_F(HostileInputTest, SizesBeyondTheLimitsAreRefusedBeforeAnythingIsRead) {
    const struct {
        Reader reader;
        int n, m;
        const std::string* message;  // nullptr: the size is accepted
    } cases[] = {
        {Reader::Scores, 1, 2000000000, &kTooManyVariables},
        {Reader::Scores, 1, 1001, &kTooManyVariables},
        {Reader::Matrix, 0, 1001, &kTooManyVariables},
        {Reader::Scores, 10001, 1000, &kTooManyScores},
        {Reader::Scores, 2000000000, 2, &kTooManyScores},
        // At the limits the file is read and found short instead.
        {Reader::Scores, 10000, 1000, nullptr},
        {Reader::Scores, 10000000, 1, nullptr},
        {Reader::Matrix, 2000000000, 1000, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.n) + " x " + std::to_string(c.m));
        const ReadResult result = read(c.reader, "1 2\n", c.n, c.m);
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.status, kDataStatus);
        ASSERT_FALSE(messenger.messages.empty());
        if (c.message != nullptr) {
            ASSERT_EQ(messenger.messages.size(), 1u);
            EXPECT_EQ(messenger.messages[0].text, *c.message);
        } else {
            EXPECT_NE(messenger.messages.back().text.find("Error reading data file: "),
                      std::string::npos);
            EXPECT_NE(messenger.messages.back().text, kTooManyVariables);
            EXPECT_NE(messenger.messages.back().text, kTooManyScores);
        }
        EXPECT_FALSE(data.rawScores.valid());
        EXPECT_FALSE(data.userMatrix.valid());
    }
}

TEST_F(HostileInputTest, AReadThatDropsEveryRowFails) {
    // N = 2, m = 3: both lines are short, so nothing is left. Two warnings,
    // then the error instead of a note about a sample of 0.
    const ReadResult result = read(Reader::Scores, "1 2\n3\n4 5 6\n", 2, 3);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.status, kDataStatus);
    ASSERT_EQ(messenger.messages.size(), 3u);
    EXPECT_EQ(messenger.messages[2].text,
              "Error reading data file: all 2 rows were dropped because missing values were "
              "found, so no participant is left\n\nPlease check your data file!");
    EXPECT_EQ(messenger.messages[2].icon, MessageIcon::Error);
    EXPECT_FALSE(data.rawScores.valid());
}

// --- Only regular files ------------------------------------------------------

TEST_F(HostileInputTest, FoldersDevicesAndPipesAreNeverOpened) {
    const std::string fifo = dir.file("pipe.dat");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string folder = dir.file("folder.dat");
    fs::create_directory(folder);
    const std::string link = dir.file("link.dat");
    fs::create_symlink(fifo, link);
    std::vector<std::string> paths = {fifo, folder, link};
    if (fs::exists("/dev/zero")) paths.push_back("/dev/zero");

    // Reader, its message when the file cannot be opened, and its status.
    const std::tuple<Reader, std::string, std::string> readers[] = {
        {Reader::Scores, "Error reading data file:\n\n The file could not be opened!", kDataStatus},
        {Reader::Matrix, "Error reading data file!", kDataStatus},
        {Reader::Target, "Error reading rotation target file:\n\n The file could not be opened!",
         "Error in target rotation file!"},
        {Reader::Labels, "Error reading variable labels file:\n\n The file could not be opened!",
         "Error in variable labels file!"},
    };
    for (const std::string& path : paths) {
        EXPECT_FALSE(isRegularFile(path)) << path;
        for (const auto& [reader, text, status] : readers) {
            SCOPED_TRACE(path + " " + text);
            // A pipe opened for reading would wait here for a writer.
            const ReadResult result = readPath(reader, path, 2, 2);
            EXPECT_FALSE(result.ok);
            EXPECT_EQ(result.status, status);
            ASSERT_EQ(messenger.messages.size(), 1u);
            EXPECT_EQ(messenger.messages[0].text, text);
        }
    }
    // A link to a regular file is a regular file.
    const std::string real = dir.write("real.dat", "1 2\n");
    fs::create_symlink(real, dir.file("to_real.dat"));
    EXPECT_TRUE(isRegularFile(dir.file("to_real.dat")));
    EXPECT_FALSE(isRegularFile(""));
    EXPECT_FALSE(isRegularFile(dir.file("absent.dat")));
}

// --- Symmetry of a matrix file -----------------------------------------------

TEST_F(HostileInputTest, MatrixFilesMustBeSymmetricUpToRounding) {
    const std::string refused =
        "Error reading data file: the variance/covariance matrix must be a symmetric matrix "
        "without missing values\n\nPlease check your data file!";
    const struct {
        const char* content;
        bool accepted;
    } cases[] = {
        {"1 0.5 0.2\n0.5 1 0.3\n0.2 0.3 1\n", true},
        // Two lines swapped: (1, 2) = 1 against (2, 1) = 0.5.
        {"0.5 1 0.3\n1 0.5 0.2\n0.2 0.3 1\n", false},
        // 4e-5 apart on a unit scale: rounding in the fifth decimal.
        {"1 0.5 0.2\n0.50004 1 0.3\n0.2 0.3 1\n", true},
        // 2e-4 apart on a unit scale.
        {"1 0.5 0.2\n0.5002 1 0.3\n0.2 0.3 1\n", false},
        // 0 against 1e-6 next to unit variances is rounding, 0 against 0.001 is not.
        {"1 0 0\n0.000001 1 0\n0 0 1\n", true},
        {"1 0 0\n0.001 1 0\n0 0 1\n", false},
        // Covariances scale with the variances: 0.005 on a scale of 10000
        // passes, 5 does not.
        {"10000 100 0\n100.005 10000 0\n0 0 10000\n", true},
        {"10000 100 0\n105 10000 0\n0 0 10000\n", false},
        // The last pair of the matrix is checked too.
        {"1 0 0\n0 1 -0.4\n0 0.4 1\n", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.content);
        const ReadResult result = read(Reader::Matrix, c.content, 100, 3);
        EXPECT_EQ(result.ok, c.accepted);
        if (c.accepted) {
            EXPECT_TRUE(messenger.messages.empty());
        } else {
            EXPECT_EQ(result.status, kDataStatus);
            ASSERT_EQ(messenger.messages.size(), 1u);
            EXPECT_EQ(messenger.messages[0].text, refused);
        }
    }
}

// --- Byte-order mark and an empty target line --------------------------------

TEST_F(HostileInputTest, AByteOrderMarkBeforeTheFirstLineIsSkipped) {
    const std::string bom = "\xEF\xBB\xBF";
    ASSERT_TRUE(read(Reader::Scores, bom + "1 2\r\n3 4\r\n", 2, 2).ok);
    EXPECT_TRUE(messenger.messages.empty());  // row 1 is not dropped
    EXPECT_THAT(data.rawScores, MatrixNear(fromRows({{1, 2}, {3, 4}}), 0.0));
    EXPECT_EQ(data.rowNumbers, (std::vector<int>{1, 2}));

    ASSERT_TRUE(read(Reader::Matrix, bom + "1 0.5\n0.5 1\n", 0, 2).ok);
    EXPECT_THAT(data.userMatrix, MatrixNear(fromRows({{1, 0.5}, {0.5, 1}}), 0.0));

    ASSERT_TRUE(read(Reader::Target, bom + "0.5 9\n-9 0\n", 0, 2).ok);
    EXPECT_EQ(counts.columns, 2);
    EXPECT_EQ(std::tuple(counts.positiveFree, counts.negativeFree, counts.specified),
              std::tuple(1, 1, 2));

    ASSERT_TRUE(read(Reader::Labels, bom + "Item one\nItem two\n", 0, 2).ok);
    EXPECT_EQ(data.labels, (std::vector<std::string>{"Item one", "Item two"}));

    // Only the first line: a mark further down is text like any other.
    const ReadResult later = read(Reader::Scores, "1 2\n" + bom + "3 4\n5 6\n", 3, 2);
    ASSERT_TRUE(later.ok);
    EXPECT_EQ(data.rowNumbers, (std::vector<int>{1, 3}));  // line 2 dropped
}

TEST_F(HostileInputTest, ATargetWithoutValuesOnItsFirstLineIsAnError) {
    for (const char* content : {"\n0.5\n0.5\n", "  \t\n0.5\n0.5\n", "\xEF\xBB\xBF\n0 0\n", ""}) {
        SCOPED_TRACE(content);
        const ReadResult result = read(Reader::Target, content, 0, 2);
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.status, "Error in rotation target file!");
        ASSERT_EQ(messenger.messages.size(), 1u);
        EXPECT_EQ(messenger.messages[0].text,
                  "Error reading rotation target file: the first line holds no values, so the "
                  "number of columns is unknown\n\nPlease check rotation target file!");
        EXPECT_EQ(messenger.messages[0].icon, MessageIcon::Error);
        EXPECT_FALSE(data.targetMatrix.valid());
    }
}

// --- Complete cases over the analysed variables ------------------------------

TEST_F(HostileInputTest, CompleteCasesIgnoreMissingScoresOfExcludedVariables) {
    // Five participants, three variables, code 999: participant 2 misses
    // only variable 3, participant 4 misses variable 1.
    data.variableCount = 3;
    data.rawScores = fromRows({{1, 2, 3}, {2, 3, 999}, {3, 4, 5}, {999, 1, 2}, {4, 5, 1}});
    data.missingMask = Matrix(5, 3);
    data.missingMask[1][2] = data.missingMask[3][0] = 1.0;
    data.missingCodeEnabled = true;
    data.rowNumbers = {1, 2, 3, 5, 6};

    // Included variables, then N, the file lines kept and the range of the
    // analysed columns (the code of an excluded variable not in it).
    const struct {
        std::vector<int> included;
        int n;
        std::vector<int> lines;
        int low, high;
    } cases[] = {
        {{1, 1, 1}, 3, {1, 3, 6}, 1, 5},
        {{1, 1, 0}, 4, {1, 2, 3, 6}, 1, 5},
        {{0, 1, 0}, 5, {1, 2, 3, 5, 6}, 1, 5},
        {{0, 1, 1}, 4, {1, 3, 5, 6}, 1, 5},
        {{1, 0, 0}, 4, {1, 2, 3, 6}, 1, 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.n));
        includeAllVariables(data);
        for (int j = 0; j < 3; ++j) data.variableList[j][1] = c.included[static_cast<std::size_t>(j)];
        buildCompleteCases(data);
        EXPECT_EQ(data.participantCount, c.n);
        EXPECT_EQ(data.completeRowNumbers, c.lines);
        EXPECT_EQ(std::tuple(data.observedMin, data.observedMax, data.categoryCount),
                  std::tuple(c.low, c.high, c.high - c.low + 1));
        // The analysed data hold no missing code, and as many rows as N.
        selectVariables(data, true, false);
        EXPECT_EQ(data.analysedScores.rows(), c.n);
        EXPECT_LT(data.analysedScores.maxElement(), 999.0);
    }
}

// --- A report name that reaches an input file --------------------------------

TEST_F(HostileInputTest, TheReportMayNotReachAnyInputFileByAnyName) {
    data.scoresFileName = dir.write("items.dat", "1 2\n");
    data.labelsFileName = dir.write("labels.txt", "a\nb\n");
    data.targetFileName = dir.write("target.dat", "0 9\n");
    data.matrixFileName = dir.write("matrix.dat", "1 0\n0 1\n");
    fs::create_directory(dir.file("sub"));
    fs::create_symlink(data.scoresFileName, dir.file("link.txt"));
    fs::create_hard_link(data.labelsFileName, dir.file("hard.txt"));
    const std::string relative = fs::relative(data.targetFileName).string();
    ASSERT_FALSE(relative.empty());
    ASSERT_NE(relative.front(), '/');

    auto clash = [&](const std::string& output, const char* role, const std::string& input) {
        return "The report cannot be written to " + output + ": it is the " + role + " file " +
               input + ".\n\nPlease, choose another file name for the report.";
    };
    const std::string noName = "Please, enter a file name for the report.";
    const std::string d = dir.path().string();
    const struct {
        std::string output;
        std::string problem;  // empty: usable
    } cases[] = {
        {data.scoresFileName, clash(data.scoresFileName, "Participants' Scores", data.scoresFileName)},
        {d + "/./items.dat", clash(d + "/./items.dat", "Participants' Scores", data.scoresFileName)},
        {d + "/sub/../items.dat",
         clash(d + "/sub/../items.dat", "Participants' Scores", data.scoresFileName)},
        {d + "/link.txt", clash(d + "/link.txt", "Participants' Scores", data.scoresFileName)},
        {d + "/hard.txt", clash(d + "/hard.txt", "Variable Labels", data.labelsFileName)},
        {relative, clash(relative, "Rotation Target Matrix", data.targetFileName)},
        {d + "//matrix.dat",
         clash(d + "//matrix.dat", "Variance/Covariance matrix", data.matrixFileName)},
        {"", noName},
        {"   ", noName},
        {d + "/report.txt", ""},
        {d + "/sub", ""},  // not an input file; opening it fails later
        {d + "/absent/../report.txt", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.output);
        const auto problem = outputFileProblem(data, c.output);
        EXPECT_EQ(problem.value_or(""), c.problem);
    }
    // A name the user no longer uses is not guarded.
    data.matrixFileName.clear();
    EXPECT_FALSE(outputFileProblem(data, d + "/matrix.dat"));
}

}  // namespace
}  // namespace talvex
