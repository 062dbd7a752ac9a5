// Factor scores inside a whole run: the scores saved next to the report agree
// with the report's table for every line of the data file, and the saved
// file never replaces an input file.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "analysis/analysis_run.h"
#include "analysis/session.h"
#include "support/matrix_testing.h"
#include "support/recording_run_host.h"
#include "support/report_testing.h"
#include "support/temp_files.h"

namespace talvex {
namespace {

using testing::readWholeFile;

class ScoresRunTest : public testing::PoolTest {};

TEST_F(ScoresRunTest, SavedScoresMatchTheReportAndNeverReplaceAnInputFile) {
    // 10 participants x 4 variables on a 1..5 scale, line 3 misses a score;
    // one factor, least-squares scores, person fit.
    testing::TempDir dir;
    testing::FakeRunHost host;
    AnalysisSession session;
    DataSet& d = session.data;
    d.variableCount = 4;
    d.participantCount = d.rowsRead = 10;
    d.missingCodeEnabled = true;
    d.missingCode = 999;
    d.rawScores = testing::fromRows({{1, 2, 1, 2}, {2, 2, 3, 3}, {999, 4, 4, 5}, {4, 5, 5, 4},
                                     {3, 3, 2, 3}, {5, 4, 5, 5}, {2, 1, 2, 1}, {3, 4, 3, 2},
                                     {4, 3, 4, 4}, {1, 1, 2, 2}});
    d.missingMask = Matrix(10, 4);
    d.missingMask[2][0] = 1.0;
    d.variableList = testing::fromRows({{0, 1}, {1, 1}, {2, 1}, {3, 1}});
    for (int i = 0; i < 10; ++i) d.rowNumbers.push_back(i + 1);
    d.dataRead = session.configured = true;
    session.settings.factorCount = 1;
    session.settings.saveFactorScores = session.settings.personFit = true;
    session.settings.detailedOutput = false;
    session.settings.outputFileName = dir.file("run.txt");
    runAnalysis(session, host);

    // With the missing code on, participant 3 is scored too (mean over the
    // imputed sets); the report prints the saved scores to three decimals.
    const std::string report = readWholeFile(dir.file("run.txt"));
    EXPECT_EQ(report.find("WARNING"), std::string::npos);
    std::istringstream saved(readWholeFile(dir.file("run_scores.txt")));
    std::istringstream printed(report.substr(report.find("Case          Factor") + 20));
    std::string header;
    std::getline(saved, header);
    EXPECT_EQ(header, "case\tF1");
    int rows = 0, savedCase = 0, printedCase = 0;
    for (double score = 0, shown = 0; saved >> savedCase >> score; ++rows) {
        ASSERT_TRUE(printed >> printedCase >> shown);
        EXPECT_EQ(savedCase, rows + 1);
        EXPECT_EQ(printedCase, savedCase);
        EXPECT_NEAR(shown, score, 5e-4);
    }
    EXPECT_EQ(rows, 10);

    // The report "scores.dat" would put its scores in "scores_scores.dat",
    // the name of the data file itself.
    d.scoresFileName = dir.write("scores_scores.dat", "the user's data\n");
    session.settings.outputFileName = dir.file("scores.dat");
    runAnalysis(session, host);
    EXPECT_EQ(readWholeFile(dir.file("scores_scores.dat")), "the user's data\n");
    EXPECT_NE(
        readWholeFile(dir.file("scores.dat")).find("WARNING: The factor scores could not be saved"),
        std::string::npos);
}

}  // namespace
}  // namespace talvex
