// Compute never writes its report over one of the user's input files, by
// whatever name the report is given: the run ends before anything is shown
// or written, and the input file keeps its bytes.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "analysis/analysis_run.h"
#include "analysis/session.h"
#include "data/data_files.h"
#include "support/matrix_testing.h"
#include "support/recording_run_host.h"
#include "support/report_testing.h"
#include "support/temp_files.h"

namespace talvex {
namespace {

namespace fs = std::filesystem;
using testing::FakeRunHost;
using testing::readWholeFile;

const std::string kScores = "1 2 3\n2 3 1\n3 1 2\n1 3 2\n2 1 3\n3 2 1\n";

class OutputFileTest : public testing::PoolTest {
protected:
    void SetUp() override {
        PoolTest::SetUp();
        // What Read Data and Configure leave for a 6 x 3 scores file with a
        // labels and a target file.
        DataSet& d = session.data;
        d.scoresFileName = dir.write("items.dat", kScores);
        d.labelsEnabled = d.targetEnabled = true;
        d.labelsFileName = dir.write("labels.txt", "one\ntwo\nthree\n");
        d.targetFileName = dir.write("target.dat", "9\n9\n9\n");
        d.variableCount = 3;
        d.participantCount = d.rowsRead = 6;
        d.missingCodeEnabled = false;
        d.rawScores = testing::fromRows({{1, 2, 3}, {2, 3, 1}, {3, 1, 2}, {1, 3, 2}, {2, 1, 3},
                                         {3, 2, 1}});
        d.missingMask = Matrix(6, 3);
        d.rowNumbers = {1, 2, 3, 4, 5, 6};
        includeAllVariables(d);
        d.dataRead = true;
        session.settings.dispersionType = PearsonCorrelation;
        session.settings.factorCount = 0;
        session.configured = true;
        fs::create_directory(dir.file("sub"));
        fs::create_symlink(d.targetFileName, dir.file("sub/report.txt"));
    }
    void TearDown() override {
        session.data = DataSet{};
        PoolTest::TearDown();
    }

    testing::TempDir dir;
    AnalysisSession session;
    FakeRunHost host;
};

TEST_F(OutputFileTest, AReportNamedLikeAnInputFileIsRefusedBeforeAnythingIsWritten) {
    const std::string d = dir.path().string();
    const struct {
        std::string output;
        const char* role;
        std::string input;
    } cases[] = {
        {d + "/items.dat", "Participants' Scores", session.data.scoresFileName},
        {d + "/sub/../items.dat", "Participants' Scores", session.data.scoresFileName},
        {d + "/./labels.txt", "Variable Labels", session.data.labelsFileName},
        {d + "/sub/report.txt", "Rotation Target Matrix", session.data.targetFileName},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.output);
        host = FakeRunHost{};
        session.settings.outputFileName = c.output;
        runAnalysis(session, host);
        ASSERT_EQ(host.messages.size(), 1u);
        EXPECT_EQ(host.messages[0].text, "The report cannot be written to " + c.output +
                                             ": it is the " + c.role + " file " + c.input +
                                             ".\n\nPlease, choose another file name for the "
                                             "report.");
        EXPECT_EQ(host.messages[0].icon, MessageIcon::Error);
        EXPECT_EQ(host.progressShows, 0);
        EXPECT_TRUE(host.openedReports.empty());
        EXPECT_TRUE(host.statusHistory.empty());
    }
    EXPECT_EQ(readWholeFile(session.data.scoresFileName), kScores);
    EXPECT_EQ(readWholeFile(session.data.labelsFileName), "one\ntwo\nthree\n");
    EXPECT_EQ(readWholeFile(session.data.targetFileName), "9\n9\n9\n");
    EXPECT_TRUE(session.data.dataRead && session.configured);

    // Another name in the same folder is written as usual.
    host = FakeRunHost{};
    session.settings.outputFileName = d + "/report.txt";
    runAnalysis(session, host);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(host.openedReports.size(), 1u);
    EXPECT_NE(readWholeFile(d + "/report.txt").find("TALVEX completed"), std::string::npos);
    EXPECT_EQ(readWholeFile(session.data.scoresFileName), kScores);
}

}  // namespace
}  // namespace talvex
