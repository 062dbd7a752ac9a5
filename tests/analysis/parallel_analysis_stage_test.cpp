// The parallel-analysis stage of the run.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "analysis/analysis_run.h"
#include "analysis/run_state.h"
#include "analysis/session.h"
#include "stats/dimensionality/parallel_analysis.h"
#include "support/matrix_testing.h"
#include "support/recording_run_host.h"
#include "support/report_testing.h"
#include "support/temp_files.h"

namespace talvex {
namespace {

using ParallelAnalysisStageTest = testing::PoolTest;

struct FixedClock : RunClock {
    ClockTime localTime() override { return {2026, 3, 9, 9, 5, 7}; }
    std::int64_t calendarSeconds() override { return 1'700'000'000; }
};

// A polychoric variant on a run that analyses Pearson correlations (as after
// the run's fallback) draws Pearson random matrices.
TEST_F(ParallelAnalysisStageTest, RandomDataFollowTheDispersionAnalysedWithProgress) {
    // 60 participants, 4 related items on a 1..4 scale.
    AnalysisSession session;
    DataSet& d = session.data;
    d.scoresFileName = "scores.dat";
    d.variableCount = 4;
    d.participantCount = d.rowsRead = 60;
    d.rawScores = Matrix(60, 4);
    d.missingMask = Matrix(60, 4);
    d.variableList = testing::fromRows({{0, 1}, {1, 1}, {2, 1}, {3, 1}});
    for (int i = 0; i < 60; ++i) {
        d.rowNumbers.push_back(i + 1);
        for (int j = 0; j < 4; ++j) d.rawScores[i][j] = 1 + (i + (i * (j + 2)) % 7 / 3) % 4;
    }
    d.dataRead = true;
    testing::TempDir dir;
    AnalysisSettings& s = session.settings;
    s.outputFileName = dir.file("report.txt");
    s.dispersionType = PearsonCorrelation;
    s.factorCountProcedure = ParallelAnalysis;
    s.paVariant = PaPcaPolychoricPermutation;
    s.paRandomMatrices = 100;
    s.factorCount = 0;
    session.configured = true;
    testing::FakeRunHost host;
    FixedClock clock;
    runAnalysis(session, host, clock);
    const std::string report = testing::readWholeFile(s.outputFileName);
    EXPECT_NE(report.find("analized:                Pearson correlation"), std::string::npos)
        << report;
    int percentages = 0;  // one before each random data set
    for (const std::string& text : host.progressTexts)
        percentages += text.rfind("Computing PA ...", 0) == 0;
    EXPECT_EQ(percentages, 100);
}

}  // namespace
}  // namespace talvex
