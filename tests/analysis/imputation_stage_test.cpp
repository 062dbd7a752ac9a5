// The imputation stage of a run: what it computes must not depend on how
// much of the report is detailed.
#include <gtest/gtest.h>

#include <string>

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

using ImputationStage = testing::PoolTest;

// 29 participants, four three-category items whose polychoric matrix has a
// negative eigenvalue (polycor's two-step estimates: smallest eigenvalue
// -0.0757) and is smoothed; then four participants who miss one item each
// (9 stands for the code 999).
TEST_F(ImputationStage, DetailedOutputDoesNotChangeTheImputedAnalyses) {
    const std::string items =
        "2213 1212 1312 1123 2331 1123 1132 1213 1222 1231 1132 1113 3331 1321 2313 1123 2213 "
        "3231 3331 3133 2231 1113 2312 3311 1113 2123 1131 2133 3322 9213 1923 2391 3129";
    testing::TempDir dir;
    std::string reports[2], sections[2];
    const std::uint32_t state = randomState();
    for (int detailed = 0; detailed < 2; ++detailed) {
        AnalysisSession session;
        DataSet& d = session.data;
        d.scoresFileName = "scores.dat";
        d.variableCount = 4;
        d.participantCount = d.rowsRead = 33;
        d.rawScores = Matrix(33, 4);
        d.missingMask = Matrix(33, 4);
        for (int i = 0; i < 33; ++i) {
            d.rowNumbers.push_back(i + 1);
            for (int j = 0; j < 4; ++j) {
                const char c = items[static_cast<std::size_t>(5 * i + j)];
                d.rawScores[i][j] = c == '9' ? 999 : c - '0';
                d.missingMask[i][j] = c == '9' ? 1 : 0;
            }
        }
        d.variableList = testing::fromRows({{0, 1}, {1, 1}, {2, 1}, {3, 1}});
        d.dataRead = true;
        session.settings.dispersionType = PolychoricCorrelation;
        session.settings.factorCountProcedure = MAP;
        session.settings.factorCount = 1;
        session.settings.detailedOutput = detailed == 1;
        session.settings.outputFileName = dir.file("report.txt");
        session.configured = true;
        testing::FakeRunHost host;
        FixedClock clock;
        restoreRandomState(state);
        runAnalysis(session, host, clock);
        const std::string& report = reports[detailed] =
            testing::readWholeFile(session.settings.outputFileName);
        // From the missing-data section to the end of the consensus.
        const std::size_t from = report.find("DESCRIPTIVES RELATED TO MISSING DATA");
        const std::size_t to = report.find("CONSENSUS LOADING MATRIX");
        ASSERT_NE(to, std::string::npos) << report;
        sections[detailed] = report.substr(from, report.find(testing::kDashes, to) - from);
    }
    // The detailed report shows the smoothing that makes this case.
    ASSERT_NE(reports[1].find("Smothing algorithm was applied"), std::string::npos) << reports[1];
    EXPECT_EQ(sections[0], sections[1]);
}

}  // namespace
}  // namespace talvex
