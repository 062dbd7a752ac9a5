// Reading the four input files into the DataSet: values, dropped rows, the
// messages with their icons, and the status text of every failure. Expected
// values are worked out by hand from the file contents written here.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "core/matrix.h"
#include "data/data_files.h"
#include "support/matrix_testing.h"
#include "support/reader_testing.h"

namespace talvex {
namespace {

using testing::Reader;

class DataFilesTest : public testing::ReaderTest {
protected:
    static std::string warning(int row, int values) {
        return "Warning: row number " + std::to_string(row) + " in data file seems to have only " +
               std::to_string(values) +
               " values\n\nAs missing values are not allowed, this row is dropped!\n\n";
    }

    // Every reader reads `content` (no file at all for nullptr) with N = n and m = m.
    ReadResult read(Reader reader, const char* content, int n, int m) {
        return readPath(reader, content ? dir.write("in.dat", content) : dir.file("absent.dat"), n, m);
    }
};

// --- Failures: status line, the one message and its icon --------------------

TEST_F(DataFilesTest, EveryFailureShowsItsMessageAndStatus) {
    const std::string dataStatus = "Error in data file!";
    const std::string targetStatus = "Error in rotation target file!";
    const char* const notOpened = "file:\n\n The file could not be opened!";
    const char* const matrixBad = "must be a symmetric matrix without missing values";
    const struct {
        Reader reader;
        const char* content;  // nullptr: no file
        int n, m;
        std::size_t shown;
        std::string status;
        const char* text;  // within the last message
    } cases[] = {
        {Reader::Scores, nullptr, 2, 2, 1, dataStatus, notOpened},
        // The count of rows found includes the dropped line 2 (after its warning).
        {Reader::Scores, "11 12 13\n5\n31 32 33\n41 42 43\n", 6, 3, 2, dataStatus,
         "data file: the file has 4 rows instead of 6"},
        {Reader::Matrix, nullptr, 2, 2, 1, dataStatus, "Error reading data file!"},
        {Reader::Matrix, "1 0\n0 1\n", 3, 3, 1, dataStatus, matrixBad},
        {Reader::Matrix, "1 0 0\n0 1\n0 0 1\n", 3, 3, 1, dataStatus, matrixBad},
        {Reader::Matrix, "1 0 0\n0 NA 0\n0 0 1\n", 3, 3, 1, dataStatus, matrixBad},
        {Reader::Matrix, "1,,0\n0 1 0\n0 0 1\n", 3, 3, 1, dataStatus, matrixBad},
        // The first opening of the target file has its own status spelling.
        {Reader::Target, nullptr, 2, 2, 1, "Error in target rotation file!", notOpened},
        {Reader::Target, "0 9\n0\n0 0\n", 3, 3, 1, targetStatus,
         "row number 2 in rotation target file seems to have only 1 values"},
        // A text field on the first line still counts as a column.
        {Reader::Target, "0 NA\n0 0\n0 0\n", 3, 3, 1, targetStatus,
         "row number 1 in rotation target file seems to have only 1 values"},
        {Reader::Target, "0 9\n0 0\n", 3, 3, 1, targetStatus,
         "target file: the file has 2 rows instead of 3"},
        {Reader::Labels, "a\nb\n", 3, 3, 1, "Error in variable labels file!",
         "Labels file: the file has 2 rows instead of 3"},
        {Reader::Labels, nullptr, 3, 3, 1, "Error in variable labels file!", notOpened},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.content ? c.content : "(no file)");
        messenger.messages.clear();
        const ReadResult result = read(c.reader, c.content, c.n, c.m);
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.status, c.status);
        ASSERT_EQ(messenger.messages.size(), c.shown);
        EXPECT_NE(messenger.messages.back().text.find(c.text), std::string::npos)
            << messenger.messages.back().text;
        // Only a file that cannot be opened gives a message without an icon.
        EXPECT_EQ(messenger.messages.back().icon,
                  c.content ? MessageIcon::Error : MessageIcon::None);
    }
}

// --- Scores file -----------------------------------------------------------

TEST_F(DataFilesTest, ShortRowsAreDroppedAndTheSampleShrinks) {
    // N = 10: lines 3, 4 and 7 are short (an empty field, text), so lines 1..10
    // are read and 7 kept; line 11 is never read. Values beyond m and a CRLF
    // line end are not data.
    ASSERT_TRUE(read(Reader::Scores,
                     "11 12 13 NA 9\n21 22 23\r\n31,,33\n? 42 43\n51;52;53\n-1.9 62 63\n71 NA 73\n"
                     "81 82 83\n91 92 93\n101 102 103.9\nnot a row at all\n",
                     10, 3).ok);
    EXPECT_EQ(messenger.messageTexts(),
              (std::vector<std::string>{warning(3, 1), warning(4, 0), warning(7, 1),
                                        "Please note that 3 rows were dropped because missing "
                                        "values were found\n\nThe sample size is 7!"}));
    for (const auto& shown : messenger.messages) EXPECT_EQ(shown.icon, MessageIcon::Exclamation);

    EXPECT_EQ(data.rowNumbers, (std::vector<int>{1, 2, 5, 6, 8, 9, 10}));
    EXPECT_EQ(data.rowsRead, 7);
    EXPECT_EQ(data.participantCount, 7);
    EXPECT_THAT(data.rawScores,
                testing::MatrixNear(testing::fromRows({{11, 12, 13}, {21, 22, 23}, {51, 52, 53},
                                                       {-1.9f, 62, 63}, {81, 82, 83}, {91, 92, 93},
                                                       {101, 102, 103.9f}}), 0.0));
    // The range is truncated toward zero.
    EXPECT_EQ(std::tuple(data.observedMin, data.observedMax, data.categoryCount),
              std::tuple(-1, 103, 105));
}

TEST_F(DataFilesTest, EverySixDropsAskWhetherToGoOnAndNoEndsTheRead) {
    // 12 short lines then 8 good ones: a question after the 6th and the 12th
    // drop, each after the warning that triggered it and reporting the drops
    // made before it. Yes (the default answer) goes on.
    std::string content;
    for (int r = 1; r <= 20; ++r) content += r <= 12 ? "1 2\n" : "1 2 3\n";
    ASSERT_TRUE(read(Reader::Scores, content.c_str(), 20, 3).ok);
    ASSERT_EQ(messenger.messages.size(), 12u + 2u + 1u);
    for (auto [k, row, before] : {std::tuple{6, 6, 5}, std::tuple{13, 12, 11}}) {
        EXPECT_EQ(messenger.messages[k - 1].text, warning(row, 2));
        EXPECT_EQ(messenger.messages[k].icon, MessageIcon::Question);
        EXPECT_EQ(messenger.messages[k].text.rfind(
                      "Warning: " + std::to_string(before) + " rows have already been dropped", 0),
                  0u);
    }
    EXPECT_EQ(data.rowNumbers.size(), 8u);
    EXPECT_EQ(data.rowNumbers.front(), 13);

    // No ends the read at once: six warnings and the question, no closing note.
    messenger.messages.clear();
    messenger.yesNoAnswers = {false};
    const ReadResult stopped = read(Reader::Scores, content.c_str(), 20, 3);
    EXPECT_FALSE(stopped.ok);
    EXPECT_EQ(stopped.status, "Too many missing values!");
    EXPECT_EQ(messenger.messages.size(), 7u);
}

TEST_F(DataFilesTest, MissingCodeMarksTheCellOnlyWhenEnabledAndKeepsTheRow) {
    for (bool enabled : {true, false}) {
        data.missingCodeEnabled = enabled;
        data.missingCode = 999;
        ASSERT_TRUE(read(Reader::Scores, "1 2 3\n4 999 6\n7 8 9\n", 3, 3).ok);
        EXPECT_TRUE(messenger.messages.empty());
        ASSERT_EQ(data.rawScores.rows(), 3);
        EXPECT_EQ(data.missingMask.sumOfSquares(), enabled ? 1.0 : 0.0);
        EXPECT_EQ(data.missingMask[1][1], enabled ? 1.0 : 0.0);
        // The range of the file includes the code until complete cases are built.
        EXPECT_EQ(data.observedMax, 999);
        EXPECT_EQ(data.observedMin, 1);
    }
}

// --- Variance/covariance, target and labels files ---------------------------

TEST_F(DataFilesTest, MatrixIsAcceptedAndClearsTheRawData) {
    data.rawScores = Matrix(1, 1);
    data.observedMax = data.categoryCount = 5;
    ASSERT_TRUE(read(Reader::Matrix, "1 0.5 0.2\n0.5 1 0.3\n0.2 0.3 1\n", 0, 3).ok);
    EXPECT_TRUE(messenger.messages.empty());
    EXPECT_TRUE(data.userMatrixRead);
    EXPECT_FALSE(data.missingCodeEnabled);
    EXPECT_FALSE(data.rawScores.valid());
    EXPECT_EQ(data.observedMax, 0);
    EXPECT_EQ(data.categoryCount, 0);
    EXPECT_THAT(data.userMatrix, testing::MatrixNear(testing::fromRows({{1, 0.5, 0.2f},
                                                   {0.5, 1, 0.3f}, {0.2f, 0.3f, 1}}), 0.0));
}

TEST_F(DataFilesTest, TargetColumnsComeFromTheFirstLineAndCellsAreCounted) {
    // 4 x 3: +9 twice, -9 once, 12 and -10 free but in neither sign count.
    ASSERT_TRUE(read(Reader::Target, "9 0 0\n0.5 -9 0\n12 0 9\n0 -10 0.3\n", 0, 4).ok);
    EXPECT_TRUE(messenger.messages.empty());
    // columns, +9, -9, specified (|v| < 9), non-specified
    EXPECT_EQ(std::tuple(counts.columns, counts.positiveFree, counts.negativeFree,
                         counts.specified, counts.nonSpecified), std::tuple(3, 2, 1, 7, 5));
    EXPECT_THAT(data.targetMatrix, testing::MatrixNear(testing::fromRows({{9, 0, 0}, {0.5, -9, 0},
                                                      {12, 0, 9}, {0, -10, 0.3f}}), 0.0));
}

TEST_F(DataFilesTest, LabelsAreTakenWhole) {
    // Not trimmed nor cut, without the CR of a CRLF end; lines beyond m are ignored.
    const std::string longLabel =
        "  I often feel that my work is appreciated by the people around me, really  ";
    const std::string content = "Item one\n" + longLabel + "\r\n\nextra\n";
    data.labels = {"stale"};
    ASSERT_TRUE(read(Reader::Labels, content.c_str(), 0, 3).ok);
    EXPECT_EQ(data.labels, (std::vector<std::string>{"Item one", longLabel, ""}));
}

}  // namespace
}  // namespace talvex
