// The imputation stage of a run: what it computes must not depend on how
// much of the report is detailed.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "analysis/analysis_run.h"
#include "analysis/run_state.h"
#include "analysis/session.h"
#include "core/random.h"
#include "support/matrix_testing.h"
#include "support/recording_run_host.h"
#include "support/report_testing.h"
#include "support/temp_files.h"

namespace talvex {
namespace {

struct FixedClock : RunClock {
    ClockTime localTime() override { return {}; }
    std::int64_t calendarSeconds() override { return 0; }
};

// 29 participants, four three-category items whose polychoric matrix has a
// negative eigenvalue (polycor's two-step estimates: smallest eigenvalue
// -0.0757) and is smoothed; then four participants who miss one item each.
void readAndConfigure(AnalysisSession& session, const std::string& output, bool detailed) {
    const std::vector<std::vector<double>> scores = {
        {2,2,1,3},{1,2,1,2},{1,3,1,2},{1,1,2,3},{2,3,3,1},{1,1,2,3},{1,1,3,2},{1,2,1,3},{1,2,2,2
        },{1,2,3,1},{1,1,3,2},{1,1,1,3},{3,3,3,1},{1,3,2,1},{2,3,1,3},{1,1,2,3},{2,2,1,3},{3,2,3
        ,1},{3,3,3,1},{3,1,3,3},{2,2,3,1},{1,1,1,3},{2,3,1,2},{3,3,1,1},{1,1,1,3},{2,1,2,3},{1,1
        ,3,1},{2,1,3,3},{3,3,2,2},{999,2,1,3},{1,999,2,3},{2,3,999,1},{3,1,2,999}};
    DataSet& d = session.data;
    const int rows = static_cast<int>(scores.size());
    d.scoresFileName = "scores.dat";
    d.variableCount = 4;
    d.participantCount = d.rowsRead = rows;
    d.rawScores = testing::toMatrix(scores);
    d.missingMask = Matrix(rows, 4);
    for (int i = 0; i < rows; ++i) {
        d.rowNumbers.push_back(i + 1);
        for (int j = 0; j < 4; ++j) d.missingMask[i][j] = scores[i][j] == 999 ? 1 : 0;
    }
    d.variableList = testing::fromRows({{0, 1}, {1, 1}, {2, 1}, {3, 1}});
    d.dataRead = true;
    session.settings.dispersionType = PolychoricCorrelation;
    session.settings.factorCountProcedure = MAP;
    session.settings.factorCount = 1;
    session.settings.detailedOutput = detailed;
    session.settings.outputFileName = output;
    session.configured = true;
}

// The text from the missing-data section to the end of the consensus.
std::string imputationSections(const std::string& report) {
    const std::size_t from = report.find("DESCRIPTIVES RELATED TO MISSING DATA");
    const std::size_t to = report.find("CONSENSUS LOADING MATRIX");
    if (from == std::string::npos || to == std::string::npos) return "(missing) " + report;
    return report.substr(from, report.find(testing::kDashes, to) - from);
}

using ImputationStage = testing::PoolTest;

TEST_F(ImputationStage, DetailedOutputDoesNotChangeTheImputedAnalyses) {
    testing::TempDir dir;
    std::string sections[2];
    std::string reports[2];
    const std::uint32_t state = randomState();
    for (int detailed = 0; detailed < 2; ++detailed) {
        testing::FakeRunHost host;
        FixedClock clock;
        AnalysisSession session;
        readAndConfigure(session, dir.file("report.txt"), detailed == 1);
        restoreRandomState(state);
        runAnalysis(session, host, clock);
        reports[detailed] = testing::readWholeFile(session.settings.outputFileName);
        sections[detailed] = imputationSections(reports[detailed]);
    }
    // The detailed report shows the smoothing that makes this case.
    ASSERT_NE(reports[1].find("Smothing algorithm was applied"), std::string::npos) << reports[1];
    EXPECT_NE(sections[0].find(" Total number of missing data :     4\n"), std::string::npos)
        << sections[0];
    EXPECT_EQ(sections[0], sections[1]);
}

}  // namespace
}  // namespace talvex
