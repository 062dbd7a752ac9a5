// Reading the four input files into the DataSet: values, dropped rows, the
// messages with their icons, and the status text of every failure. Expected
// values are worked out by hand from the file contents written here.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/matrix.h"
#include "data/data_files.h"
#include "support/recording_messenger.h"
#include "support/temp_files.h"

namespace talvex {
namespace {

using testing::RecordingMessenger;
using testing::TempDir;

class DataFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        before_ = liveCount();
        openScope();
    }
    void TearDown() override {
        data = DataSet{};
        closeScope();
        EXPECT_EQ(liveCount(), before_);
    }

    // Lines "r1 r2 r3" where value j of line r is 10 r + j.
    static std::string goodLine(int r) {
        return std::to_string(10 * r + 1) + " " + std::to_string(10 * r + 2) + " " +
               std::to_string(10 * r + 3) + "\n";
    }

    void scores(const std::string& content, int n, int m) {
        data.scoresFileName = dir.write("scores.dat", content);
        data.participantCount = n;
        data.variableCount = m;
    }

    std::string warning(int row, int values) const {
        return "Warning: row number " + std::to_string(row) + " in data file seems to have only " +
               std::to_string(values) +
               " values\n\nAs missing values are not allowed, this row is dropped!\n\n";
    }
    std::string question(int dropped) const {
        return "Warning: " + std::to_string(dropped) +
               " rows have already been dropped\n\nDo you want to continue reading the data "
               "file?\n\n";
    }

    TempDir dir;
    DataSet data;
    RecordingMessenger messenger;

private:
    std::size_t before_ = 0;
};

// --- Scores file -----------------------------------------------------------

TEST_F(DataFilesTest, ShortRowsAreDroppedAndTheSampleShrinks) {
    // 12 lines, N = 10: lines 3 and 7 are short, so lines 1..10 are read and
    // 8 of them kept; lines 11 and 12 are never read.
    std::string content;
    for (int r = 1; r <= 12; ++r) content += (r == 3) ? "31 32\n" : (r == 7) ? "71\n" : goodLine(r);
    scores(content, 10, 3);

    const ReadResult result = readScoresFile(data, messenger);
    ASSERT_TRUE(result.ok);

    ASSERT_EQ(messenger.messages.size(), 3u);
    EXPECT_EQ(messenger.messages[0].text, warning(3, 2));
    EXPECT_EQ(messenger.messages[0].icon, MessageIcon::Exclamation);
    EXPECT_EQ(messenger.messages[1].text, warning(7, 1));
    EXPECT_EQ(messenger.messages[2].text,
              "Please note that 2 rows were dropped because missing values were found\n\nThe "
              "sample size is 8!");
    EXPECT_EQ(messenger.messages[2].icon, MessageIcon::Exclamation);

    EXPECT_EQ(data.rowNumbers, (std::vector<int>{1, 2, 4, 5, 6, 8, 9, 10}));
    EXPECT_EQ(data.rowsRead, 8);
    EXPECT_EQ(data.participantCount, 8);
    ASSERT_EQ(data.rawScores.rows(), 8);
    ASSERT_EQ(data.rawScores.cols(), 3);
    for (int i = 0; i < 8; ++i)
        for (int j = 0; j < 3; ++j)
            EXPECT_EQ(data.rawScores[i][j], 10.0 * data.rowNumbers[i] + j + 1);
    EXPECT_EQ(data.observedMin, 11);
    EXPECT_EQ(data.observedMax, 103);
    EXPECT_EQ(data.categoryCount, 93);
    EXPECT_EQ(data.variableMaxima.rows(), 3);
    EXPECT_EQ(data.variableMinima.rows(), 3);
}

TEST_F(DataFilesTest, RowsBeyondNAreIgnoredSilently) {
    std::string content;
    for (int r = 1; r <= 5; ++r) content += goodLine(r);
    content += "not a row at all\n";
    scores(content, 3, 3);
    ASSERT_TRUE(readScoresFile(data, messenger).ok);
    EXPECT_TRUE(messenger.messages.empty());
    EXPECT_EQ(data.rawScores.rows(), 3);
    EXPECT_EQ(data.rawScores[2][2], 33.0);
    EXPECT_EQ(data.rowNumbers, (std::vector<int>{1, 2, 3}));
}

TEST_F(DataFilesTest, ValuesBeyondMOnALineAreIgnored) {
    scores("1 2 3 NA 9\n4 5 6\n", 2, 3);
    ASSERT_TRUE(readScoresFile(data, messenger).ok);
    EXPECT_TRUE(messenger.messages.empty());
    EXPECT_EQ(data.rawScores[0][2], 3.0);
}

TEST_F(DataFilesTest, EveryDropAfterFiveAsksWhetherToGoOn) {
    // 12 short lines then good ones, N = 20: questions after the 6th and the
    // 12th drop, reporting the drops made before each.
    std::string content;
    for (int r = 1; r <= 12; ++r) content += "1 2\n";
    for (int r = 13; r <= 20; ++r) content += goodLine(r);
    scores(content, 20, 3);

    ASSERT_TRUE(readScoresFile(data, messenger).ok);
    ASSERT_EQ(messenger.messages.size(), 12u + 2u + 1u);
    std::vector<std::string> questions;
    std::vector<int> positions;
    for (std::size_t k = 0; k < messenger.messages.size(); ++k)
        if (messenger.messages[k].icon == MessageIcon::Question) {
            questions.push_back(messenger.messages[k].text);
            positions.push_back(static_cast<int>(k));
        }
    EXPECT_EQ(questions, (std::vector<std::string>{question(5), question(11)}));
    // Each question follows the warning of the drop that triggered it.
    EXPECT_EQ(positions, (std::vector<int>{6, 13}));
    EXPECT_EQ(messenger.messages[5].text, warning(6, 2));
    EXPECT_EQ(messenger.messages[12].text, warning(12, 2));
    EXPECT_EQ(data.rawScores.rows(), 8);
    EXPECT_EQ(data.rowNumbers.front(), 13);
}

TEST_F(DataFilesTest, AnsweringNoEndsTheReadWithoutANote) {
    std::string content;
    for (int r = 1; r <= 8; ++r) content += "1\n";
    for (int r = 9; r <= 20; ++r) content += goodLine(r);
    scores(content, 20, 3);
    messenger.yesNoAnswers = {false};

    const ReadResult result = readScoresFile(data, messenger);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.status, "Too many missing values!");
    // Six warnings and the question; nothing after the answer.
    ASSERT_EQ(messenger.messages.size(), 7u);
    EXPECT_EQ(messenger.messages.back().text, question(5));
}

TEST_F(DataFilesTest, EmptyFieldOrTextDropsTheRowWithTheValuesBeforeIt) {
    scores("1,2,3\n1,,3\n4 NA 6\n? 1 1\n7;8;9\n", 5, 3);
    ASSERT_TRUE(readScoresFile(data, messenger).ok);
    ASSERT_EQ(messenger.messages.size(), 4u);
    EXPECT_EQ(messenger.messages[0].text, warning(2, 1));
    EXPECT_EQ(messenger.messages[1].text, warning(3, 1));
    EXPECT_EQ(messenger.messages[2].text, warning(4, 0));
    EXPECT_EQ(data.rowNumbers, (std::vector<int>{1, 5}));
    EXPECT_EQ(data.rawScores[1][0], 7.0);
}

TEST_F(DataFilesTest, MissingCodeMarksTheCellButKeepsTheRow) {
    scores("1 2 3\n4 999 6\n7 8 9\n", 3, 3);
    data.missingCodeEnabled = true;
    data.missingCode = 999;
    ASSERT_TRUE(readScoresFile(data, messenger).ok);
    EXPECT_TRUE(messenger.messages.empty());
    ASSERT_EQ(data.rawScores.rows(), 3);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) EXPECT_EQ(data.missingMask[i][j], (i == 1 && j == 1) ? 1.0 : 0.0);
    // The range of the file includes the code until complete cases are built.
    EXPECT_EQ(data.observedMax, 999);
    EXPECT_EQ(data.observedMin, 1);
}

TEST_F(DataFilesTest, MissingCodeDisabledMarksNothing) {
    scores("1 2 3\n4 999 6\n", 2, 3);
    data.missingCodeEnabled = false;
    data.missingCode = 999;
    ASSERT_TRUE(readScoresFile(data, messenger).ok);
    EXPECT_EQ(data.missingMask.maxElement(), 0.0);
}

TEST_F(DataFilesTest, ObservedRangeIsTruncatedTowardZero) {
    scores("1.7 -0.5\n2.9 -1.9\n", 2, 2);
    ASSERT_TRUE(readScoresFile(data, messenger).ok);
    EXPECT_EQ(data.observedMax, 2);
    EXPECT_EQ(data.observedMin, -1);
    EXPECT_EQ(data.categoryCount, 4);
}

TEST_F(DataFilesTest, CarriageReturnsOfWindowsLineEndsAreNotData) {
    scores("1 2\r\n3 4\r\n", 2, 2);
    ASSERT_TRUE(readScoresFile(data, messenger).ok);
    EXPECT_TRUE(messenger.messages.empty());
    EXPECT_EQ(data.rawScores[1][1], 4.0);
}

TEST_F(DataFilesTest, ShortScoresFileIsAnErrorCountingDroppedLines) {
    scores(goodLine(1) + "5\n" + goodLine(3) + goodLine(4), 6, 3);
    const ReadResult result = readScoresFile(data, messenger);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.status, "Error in data file!");
    ASSERT_EQ(messenger.messages.size(), 2u);
    EXPECT_EQ(messenger.messages[1].text,
              "Error reading data file: the file has 4 rows instead of 6\n\nPlease check your data "
              "file!");
    EXPECT_EQ(messenger.messages[1].icon, MessageIcon::Error);
}

TEST_F(DataFilesTest, UnopenableScoresFile) {
    data.scoresFileName = dir.file("absent.dat");
    data.participantCount = 2;
    data.variableCount = 2;
    const ReadResult result = readScoresFile(data, messenger);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.status, "Error in data file!");
    ASSERT_EQ(messenger.messages.size(), 1u);
    EXPECT_EQ(messenger.messages[0].text, "Error reading data file:\n\n The file could not be opened!");
    EXPECT_EQ(messenger.messages[0].icon, MessageIcon::None);
}

// --- Variance/covariance file ----------------------------------------------

TEST_F(DataFilesTest, AsymmetricMatrixIsAccepted) {
    data.matrixFileName = dir.write("cov.dat", "1 0.5 0.2\n0.4 1 0.3\n0.2 0.3 1\n");
    data.variableCount = 3;
    data.missingCodeEnabled = true;
    ASSERT_TRUE(readMatrixFile(data, messenger).ok);
    EXPECT_TRUE(messenger.messages.empty());
    EXPECT_TRUE(data.userMatrixRead);
    EXPECT_FALSE(data.missingCodeEnabled);
    EXPECT_FALSE(data.rawScores.valid());
    EXPECT_EQ(data.userMatrix[0][1], static_cast<double>(0.5f));
    EXPECT_EQ(data.userMatrix[1][0], static_cast<double>(0.4f));
    EXPECT_EQ(data.userMatrix[2][2], 1.0);
    EXPECT_EQ(data.observedMax, 0);
    EXPECT_EQ(data.categoryCount, 0);
}

TEST_F(DataFilesTest, MatrixErrorsShareOneMessage) {
    const std::string text =
        "Error reading data file: the variance/covariance matrix must be a symmetric matrix "
        "without missing values\n\nPlease check your data file!";
    for (const char* content : {"1 0\n0 1\n", "1 0 0\n0 1\n0 0 1\n", "1 0 0\n0 NA 0\n0 0 1\n",
                                "1,,0\n0 1 0\n0 0 1\n"}) {
        RecordingMessenger m;
        data.matrixFileName = dir.write("cov.dat", content);
        data.variableCount = 3;
        const ReadResult result = readMatrixFile(data, m);
        EXPECT_FALSE(result.ok) << content;
        EXPECT_EQ(result.status, "Error in data file!");
        ASSERT_EQ(m.messages.size(), 1u) << content;
        EXPECT_EQ(m.messages[0].text, text);
        EXPECT_EQ(m.messages[0].icon, MessageIcon::Error);
    }
}

TEST_F(DataFilesTest, UnopenableMatrixFile) {
    data.matrixFileName = dir.file("absent.dat");
    data.variableCount = 2;
    const ReadResult result = readMatrixFile(data, messenger);
    EXPECT_EQ(result.status, "Error in data file!");
    ASSERT_EQ(messenger.messages.size(), 1u);
    EXPECT_EQ(messenger.messages[0].text, "Error reading data file!");
    EXPECT_EQ(messenger.messages[0].icon, MessageIcon::None);
}

// --- Target file -------------------------------------------------------------

TEST_F(DataFilesTest, TargetColumnsComeFromTheFirstLineAndCellsAreCounted) {
    // 4 x 3: +9 twice, -9 once, 12 and -10 free but in neither sign count.
    data.targetFileName = dir.write("target.dat", "9 0 0\n0.5 -9 0\n12 0 9\n0 -10 0.3\n");
    data.variableCount = 4;
    TargetCounts counts;
    ASSERT_TRUE(readTargetFile(data, messenger, counts).ok);
    EXPECT_TRUE(messenger.messages.empty());
    EXPECT_EQ(counts.columns, 3);
    EXPECT_EQ(counts.positiveFree, 2);
    EXPECT_EQ(counts.negativeFree, 1);
    EXPECT_EQ(counts.nonSpecified, 5);
    EXPECT_EQ(counts.specified, 7);
    ASSERT_EQ(data.targetMatrix.rows(), 4);
    ASSERT_EQ(data.targetMatrix.cols(), 3);
    EXPECT_EQ(data.targetMatrix[2][0], 12.0);
    EXPECT_EQ(data.targetMatrix[3][2], static_cast<double>(0.3f));
}

TEST_F(DataFilesTest, TargetRowErrors) {
    struct Case {
        const char* content;
        std::string text;
    };
    const std::vector<Case> cases = {
        {"0 9\n0\n0 0\n",
         "Warning: row number 2 in rotation target file seems to have only 1 values\n\nMissing "
         "values are not allowed in this matrix!\n\n"},
        // A text field on the first line still counts as a column.
        {"0 NA\n0 0\n0 0\n",
         "Warning: row number 1 in rotation target file seems to have only 1 values\n\nMissing "
         "values are not allowed in this matrix!\n\n"},
        {"0 9\n0 0\n",
         "Error reading rotation target file: the file has 2 rows instead of 3\n\nPlease check "
         "rotation target file!"},
    };
    for (const Case& c : cases) {
        RecordingMessenger m;
        data.targetFileName = dir.write("target.dat", c.content);
        data.variableCount = 3;
        TargetCounts counts;
        const ReadResult result = readTargetFile(data, m, counts);
        EXPECT_FALSE(result.ok) << c.content;
        EXPECT_EQ(result.status, "Error in rotation target file!");
        ASSERT_EQ(m.messages.size(), 1u);
        EXPECT_EQ(m.messages[0].text, c.text);
        EXPECT_EQ(m.messages[0].icon, MessageIcon::Error);
    }
}

TEST_F(DataFilesTest, UnopenableTargetFile) {
    data.targetFileName = dir.file("absent.dat");
    data.variableCount = 2;
    TargetCounts counts;
    const ReadResult result = readTargetFile(data, messenger, counts);
    EXPECT_EQ(result.status, "Error in target rotation file!");
    ASSERT_EQ(messenger.messages.size(), 1u);
    EXPECT_EQ(messenger.messages[0].text,
              "Error reading rotation target file:\n\n The file could not be opened!");
    EXPECT_EQ(messenger.messages[0].icon, MessageIcon::None);
}

// --- Labels file -------------------------------------------------------------

TEST_F(DataFilesTest, LabelsAreTakenWhole) {
    const std::string longLabel =
        "  I often feel that my work is appreciated by the people around me, really  ";
    ASSERT_GT(longLabel.size(), 45u);
    data.labelsFileName = dir.write("labels.txt", "Item one\n" + longLabel + "\r\n\nextra\n");
    data.variableCount = 3;
    data.labels = {"stale"};
    ASSERT_TRUE(readLabelsFile(data, messenger).ok);
    EXPECT_EQ(data.labels, (std::vector<std::string>{"Item one", longLabel, ""}));
}

TEST_F(DataFilesTest, LabelErrors) {
    data.labelsFileName = dir.write("labels.txt", "a\nb\n");
    data.variableCount = 3;
    ReadResult result = readLabelsFile(data, messenger);
    EXPECT_EQ(result.status, "Error in variable labels file!");
    ASSERT_EQ(messenger.messages.size(), 1u);
    EXPECT_EQ(messenger.messages[0].text,
              "Error reading Variable Labels file: the file has 2 rows instead of 3\n\nPlease "
              "check your data file!");
    EXPECT_EQ(messenger.messages[0].icon, MessageIcon::Error);

    data.labelsFileName = dir.file("absent.txt");
    result = readLabelsFile(data, messenger);
    EXPECT_EQ(result.status, "Error in variable labels file!");
    ASSERT_EQ(messenger.messages.size(), 2u);
    EXPECT_EQ(messenger.messages[1].text,
              "Error reading variable labels file:\n\n The file could not be opened!");
    EXPECT_EQ(messenger.messages[1].icon, MessageIcon::None);
}

}  // namespace
}  // namespace talvex
