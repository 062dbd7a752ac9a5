// Factor scores and person fit inside a whole run: the scores saved next to
// the report agree with the report's table, a participant left out of the
// analysis is marked NA in file order, and the saved file never replaces an
// input file.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/analysis_run.h"
#include "analysis/run_state.h"
#include "analysis/session.h"
#include "stats/interpretation/factor_scores.h"
#include "support/matrix_testing.h"
#include "support/recording_run_host.h"
#include "support/report_testing.h"
#include "support/temp_files.h"

namespace talvex {
namespace {

using testing::readWholeFile;

struct FixedClock : RunClock {
    ClockTime localTime() override { return {2026, 3, 9, 9, 5, 7}; }
    std::int64_t calendarSeconds() override { return 1'700'000'000; }
};

class ScoresRunTest : public testing::PoolTest {
   protected:
    testing::TempDir dir;
    AnalysisSession session;
    testing::FakeRunHost host;
    FixedClock clock;

    // 10 participants x 4 variables on a 1..5 scale; line 3 has a missing
    // score and is left out; one factor, least-squares scores, person fit.
    void readAndConfigure(const std::string& report) {
        DataSet& d = session.data;
        d.scoresFileName = dir.file("scores.dat");
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
        d.dataRead = true;
        AnalysisSettings& s = session.settings;
        s.dispersionType = PearsonCorrelation;
        s.factorCount = 1;
        s.saveFactorScores = true;
        s.personFit = true;
        s.detailedOutput = false;
        s.outputFileName = report;
        session.configured = true;
    }
};

TEST_F(ScoresRunTest, SavedScoresMatchTheReportForEveryParticipantRead) {
    readAndConfigure(dir.file("run.txt"));
    runAnalysis(session, host, clock);
    const std::string report = readWholeFile(dir.file("run.txt"));
    ASSERT_NE(report.find("PARTICIPANTS' SCORES ON FACTORS"), std::string::npos);
    ASSERT_NE(report.find("PERSON-FIT INDICES"), std::string::npos);
    EXPECT_EQ(report.find("WARNING"), std::string::npos);

    std::istringstream saved(readWholeFile(dir.file("run_scores.txt")));
    std::string line;
    std::getline(saved, line);
    EXPECT_EQ(line, "case\tF1");
    int rows = 0;
    double sum = 0.0;
    while (std::getline(saved, line)) {
        ++rows;
        int caseNumber = 0;
        char rest[64] = {};
        ASSERT_EQ(std::sscanf(line.c_str(), "%d\t%63s", &caseNumber, rest), 2) << line;
        EXPECT_EQ(caseNumber, rows);
        // Participant 3 misses a score: with the missing code on, every
        // participant read is scored, as the mean over the imputed sets.
        // The report prints the same score with three decimals.
        const double score = std::stod(rest);
        sum += score;
        char row[64];
        std::snprintf(row, sizeof row, "\n%4i        %7.3f  \n", caseNumber, score);
        EXPECT_NE(report.find(row), std::string::npos) << row;
    }
    EXPECT_EQ(rows, 10);
    EXPECT_NEAR(sum, 0.0, 1e-5);  // each imputed set's scores have mean 0
}

TEST_F(ScoresRunTest, TheSavedScoresNeverReplaceAnInputFile) {
    // The report "scores.dat" would put its scores in "scores_scores.dat":
    // here that is the name of the data file itself.
    readAndConfigure(dir.file("scores.dat"));
    session.data.scoresFileName = dir.write("scores_scores.dat", "the user's data\n");
    session.settings.outputFileName = dir.file("scores.dat");
    runAnalysis(session, host, clock);
    EXPECT_EQ(readWholeFile(dir.file("scores_scores.dat")), "the user's data\n");
    EXPECT_NE(readWholeFile(dir.file("scores.dat")).find("WARNING: The factor scores could not be saved"),
              std::string::npos);
}

}  // namespace
}  // namespace talvex
