// Input files a reader must refuse or survive, and report names that reach
// an input file.
// Expected values are worked out by hand from the contents written here.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
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

TEST_F(HostileInputTest, EachFaultIsAFailedReadWithItsMessage) {
    const std::string fifo = dir.file("pipe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string asymmetric = "must be a symmetric matrix";
    const std::string noColumns = "the first line holds no values";
    const std::string notOpened = "The file could not be opened!";
    const struct {
        Reader reader;
        std::string content;
        int n, m;
        std::string message;  // within the last one shown
    } cases[] = {
        // Scores whose truncation or category count overflows an int; the
        // row is the file line (a dropped line counts).
        {Reader::Scores, "1 1e30\n", 3, 2, "score 1e30 in row number 1 is out of range"},
        {Reader::Scores, "1\n1 1000000064\n", 3, 2, "score 1000000064 in row number 2 is out"},
        // A size no machine holds (4e9 scores, six copies of 8 bytes),
        // refused before a line is read.
        {Reader::Scores, "1 2\n", 2000000000, 2, "x 2 variables need about 192.0 GB of memory"},
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
        EXPECT_NE(messenger.messages.back().text.find(c.message), std::string::npos)
            << messenger.messages.back().text;
        EXPECT_FALSE(data.rawScores.valid() || data.userMatrix.valid());
    }
}

// The memory a size needs is compared with a planted budget before the
// file is read: 2 x 3 scores take 288 bytes, 200000 x 3 take 28.8 MB.
TEST_F(HostileInputTest, ASizeBeyondTheMemoryBudgetIsRefusedBeforeReading) {
    const std::string path = dir.write("in", "1 2 3\n4 5 6\n");
    const auto readWith = [&](int n, long long bytes) {
        messenger.messages.clear();
        data.scoresFileName = path;
        data.participantCount = n;
        data.variableCount = 3;
        return readScoresFile(data, messenger, MemoryBudget{bytes});
    };
    EXPECT_FALSE(readWith(200000, 20'000'000).ok);
    ASSERT_EQ(messenger.messages.size(), 1u);
    EXPECT_EQ(messenger.messages[0].text,
              "Please, check the number of participants in the sample.\n\nThe scores of 200000 "
              "participants x 3 variables need about 29 MB of memory; 20 MB is available.");
    EXPECT_FALSE(data.rawScores.valid());
    EXPECT_FALSE(readWith(2, 287).ok);
    EXPECT_TRUE(readWith(2, 288).ok);
    // Within the budget the read goes on and finds the file short.
    EXPECT_FALSE(readWith(200000, 30'000'000).ok);
    EXPECT_NE(messenger.messages.back().text.find("the file has 2 rows instead of 200000"),
              std::string::npos);
    // Without a figure for the machine nothing is refused.
    EXPECT_FALSE(checkDataSize(2000000000, 1000, true, MemoryBudget{}));
}

// The available memory as the kernel states it, in KiB.
TEST(MemoryBudget, TakesMemAvailableFromTheKernelTable) {
    const std::string table =
        "MemTotal:       32858252 kB\nMemFree:         1204112 kB\n"
        "MemAvailable:   23666284 kB\nBuffers:          391276 kB\n";
    EXPECT_EQ(memAvailableBytes(table), 24234274816LL);
    EXPECT_FALSE(memAvailableBytes("MemTotal:       32858252 kB\nMemFree: 1204112 kB\n"));
    EXPECT_FALSE(memAvailableBytes("MemAvailable:   many kB\n"));
    EXPECT_FALSE(memAvailableBytes("MemAvailable:   23666284"));
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
    // Further down a mark is text like any other: line 2 is dropped.
    ASSERT_TRUE(read(Reader::Scores, "1 2\n" + bom + "3 4\n5 6\n", 3, 2).ok);
    EXPECT_EQ(data.rowNumbers, (std::vector<int>{1, 3}));
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
