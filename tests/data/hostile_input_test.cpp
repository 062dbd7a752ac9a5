// Input files a reader must refuse or survive, complete cases over the
// analysed variables only, and report names that reach an input file.
// Expected values are worked out by hand from the contents written here.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "data/data_files.h"
#include "support/matrix_testing.h"
#include "support/reader_testing.h"

namespace talvex {
namespace {

namespace fs = std::filesystem;
using testing::fromRows;
using testing::MatrixNear;

using testing::Reader;

class HostileInputTest : public testing::ReaderTest {
protected:
    // Reads content (or, when it starts with '/', the file of that name).
    ReadResult read(Reader reader, const std::string& content, int n, int m) {
        messenger.messages.clear();
        return readPath(reader, content.rfind('/', 0) == 0 ? content : dir.write("in", content), n, m);
    }
};

std::string outOfRange(const std::string& value, int row) {
    return "Error reading data file: the score " + value + " in row number " +
           std::to_string(row) + " is out of range\n\nScores must lie between -1000000000 and "
           "1000000000.\n\nPlease check your data file!";
}

TEST_F(HostileInputTest, EachFaultIsAFailedReadWithItsMessage) {
    const std::string fifo = dir.file("pipe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string asymmetric =
        "Error reading data file: the variance/covariance matrix must be a symmetric matrix "
        "without missing values\n\nPlease check your data file!";
    const std::string noColumns =
        "Error reading rotation target file: the first line holds no values, so the number of "
        "columns is unknown\n\nPlease check rotation target file!";
    const std::string notOpened = "Error reading data file:\n\n The file could not be opened!";
    const struct {
        Reader reader;
        std::string content;
        int n, m;
        std::string message;  // the last one shown
    } cases[] = {
        // Scores whose truncation or category count overflows an int; the
        // row is the file line (a dropped line counts).
        {Reader::Scores, "1 1e30\n", 3, 2, outOfRange("1e30", 1)},
        {Reader::Scores, "1\n1 1000000064\n", 3, 2, outOfRange("1000000064", 2)},
        // A size that cannot be held, refused before a line is read.
        {Reader::Scores, "1 2\n", 2000000000, 2,
         "Please, check the number of participants in the sample.\n\nParticipants times variables "
         "cannot be larger than 10000000 scores (80 MB for each copy of the data)."},
        // Not regular files: never opened, so neither blocking nor endless.
        {Reader::Scores, fifo, 2, 2, notOpened},
        {Reader::Scores, dir.path().string(), 2, 2, notOpened},
        // Asymmetry beyond 1e-4 of max(|a_ij|, |a_ji|, sqrt(a_ii a_jj)):
        // two lines swapped, 2e-4 on a unit scale, the last pair.
        {Reader::Matrix, "0.5 1 0.3\n1 0.5 0.2\n0.2 0.3 1\n", 9, 3, asymmetric},
        {Reader::Matrix, "1 0.5 0.2\n0.5002 1 0.3\n0.2 0.3 1\n", 9, 3, asymmetric},
        {Reader::Matrix, "1 0 0\n0 1 -0.4\n0 0.4 1\n", 9, 3, asymmetric},
        // A target line without values would mean 0 factors.
        {Reader::Target, "\n0.5\n", 0, 2, noColumns},
        {Reader::Target, "\xEF\xBB\xBF\n0\n", 0, 2, noColumns},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.content);
        const ReadResult result = read(c.reader, c.content, c.n, c.m);
        EXPECT_FALSE(result.ok);
        ASSERT_FALSE(messenger.messages.empty());
        EXPECT_EQ(messenger.messages.back().text, c.message);
        EXPECT_FALSE(data.rawScores.valid() || data.userMatrix.valid());
    }
}

TEST_F(HostileInputTest, RoundingBoundsAndByteOrderMarksAreAccepted) {
    const std::string bom = "\xEF\xBB\xBF";
    // Asymmetry within the tolerance: 4e-5 on a unit scale, 0.005 on a
    // scale of 10000 (5e-5 of the 100 off the diagonal would pass as well).
    for (const char* content : {"1 0.5\n0.50004 1\n", "10000 100\n100.005 10000\n"})
        EXPECT_TRUE(read(Reader::Matrix, content, 0, 2).ok) << content;
    ASSERT_TRUE(read(Reader::Matrix, bom + "1 0.5\n0.5 1\n", 0, 2).ok);
    EXPECT_THAT(data.userMatrix, MatrixNear(fromRows({{1, 0.5}, {0.5, 1}}), 0.0));
    // A mark before the first line is skipped; row 1 is not dropped.
    ASSERT_TRUE(read(Reader::Scores, bom + "1000000000 2\r\n-1e9 4\r\n", 2, 2).ok);
    EXPECT_TRUE(messenger.messages.empty());
    EXPECT_THAT(data.rawScores, MatrixNear(fromRows({{1e9, 2}, {-1e9, 4}}), 0.0));
    // +-1e9 is the widest range let through: 2e9 + 1 categories fit an int.
    EXPECT_EQ(data.categoryCount, 2000000001);
    ASSERT_TRUE(read(Reader::Labels, bom + "Item one\nItem two\n", 0, 2).ok);
    EXPECT_EQ(data.labels.front(), "Item one");
    // Further down a mark is text like any other: line 2 is dropped.
    ASSERT_TRUE(read(Reader::Scores, "1 2\n" + bom + "3 4\n5 6\n", 3, 2).ok);
    EXPECT_EQ(data.rowNumbers, (std::vector<int>{1, 3}));
}

TEST_F(HostileInputTest, CompleteCasesIgnoreMissingScoresOfExcludedVariables) {
    // Code 999: participant 2 misses only variable 3, participant 4 only
    // variable 1; the file lines are 1, 2, 3, 5, 6.
    data.rawScores = fromRows({{1, 2, 3}, {2, 3, 999}, {3, 4, 5}, {999, 1, 2}, {4, 5, 1}});
    data.missingMask = Matrix(5, 3);
    data.missingMask[1][2] = data.missingMask[3][0] = 1.0;
    data.missingCodeEnabled = true;
    data.rowNumbers = {1, 2, 3, 5, 6};
    data.variableCount = 3;
    // Inclusion flags; then the file lines kept and the range of the
    // analysed columns (an excluded variable's code not in it).
    const std::tuple<std::vector<int>, std::vector<int>, int, int> cases[] = {
        {{1, 1, 1}, {1, 3, 6}, 1, 5},
        {{0, 1, 1}, {1, 3, 5, 6}, 1, 5},
        {{1, 0, 0}, {1, 2, 3, 6}, 1, 4},
    };
    for (const auto& [included, lines, low, high] : cases) {
        includeAllVariables(data);
        for (int j = 0; j < 3; ++j) data.variableList[j][1] = included[static_cast<std::size_t>(j)];
        buildCompleteCases(data);
        selectVariables(data, true, false);
        EXPECT_EQ(data.completeRowNumbers, lines);
        EXPECT_EQ(data.participantCount, static_cast<int>(lines.size()));
        EXPECT_EQ(std::tuple(data.observedMin, data.observedMax), std::tuple(low, high));
        EXPECT_EQ(data.analysedScores.rows(), data.participantCount);
        EXPECT_LT(data.analysedScores.maxElement(), 999.0);
    }
}

TEST_F(HostileInputTest, TheReportMayNotReachAnyInputFileByAnyName) {
    data.scoresFileName = dir.write("items.dat", "1 2\n");
    data.labelsFileName = dir.write("labels.txt", "a\n");
    data.targetFileName = dir.write("target.dat", "0 9\n");
    data.matrixFileName = dir.write("matrix.dat", "1\n");
    fs::create_directory(dir.file("sub"));
    fs::create_symlink(data.scoresFileName, dir.file("link.txt"));
    fs::create_hard_link(data.labelsFileName, dir.file("hard.txt"));
    const std::string relative = fs::relative(data.targetFileName).string();
    ASSERT_NE(relative.front(), '/');
    const std::string d = dir.path().string();

    const auto reaches = [](const std::string& output, const std::string& what) {
        return "The report cannot be written to " + output + ": it is the " + what +
               ".\n\nPlease, choose another file name for the report.";
    };
    const std::pair<std::string, std::string> cases[] = {
        {d + "/sub/../items.dat", reaches(d + "/sub/../items.dat", "Participants' Scores file " + data.scoresFileName)},
        {d + "/link.txt", reaches(d + "/link.txt", "Participants' Scores file " + data.scoresFileName)},
        {d + "/hard.txt", reaches(d + "/hard.txt", "Variable Labels file " + data.labelsFileName)},
        {relative, reaches(relative, "Rotation Target Matrix file " + data.targetFileName)},
        {d + "//matrix.dat",
         reaches(d + "//matrix.dat", "Variance/Covariance matrix file " + data.matrixFileName)},
        {"", "Please, enter a file name for the report."},
        {" \t ", "Please, enter a file name for the report."},
        {d + "/report.txt", ""},
    };
    for (const auto& [output, message] : cases)
        EXPECT_EQ(outputFileProblem(data, output).value_or(""), message) << output;
}

}  // namespace
}  // namespace talvex
