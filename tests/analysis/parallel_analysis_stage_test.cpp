// The parallel-analysis stage of the run: the percentage of random data sets
// done reaches the progress window, and the random data take the
// correlations of the matrix the run analyses.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "analysis/analysis_run.h"
#include "analysis/run_state.h"
#include "analysis/session.h"
#include "support/matrix_testing.h"
#include "support/recording_run_host.h"
#include "support/report_testing.h"
#include "support/temp_files.h"

namespace talvex {
namespace {

struct FixedClock : RunClock {
    ClockTime localTime() override { return {2026, 3, 9, 9, 5, 7}; }
    std::int64_t calendarSeconds() override { return 1'700'000'000; }
};

class ParallelAnalysisStageTest : public testing::PoolTest {
protected:
    testing::TempDir dir;
    AnalysisSession session;
    testing::FakeRunHost host;
    FixedClock clock;
    std::string reportPath = dir.file("report.txt");

    // 60 participants, 4 items on a 1..4 scale with two pairs of related
    // items, parallel analysis with 100 random data sets, no factors.
    void readAndConfigure(DispersionType type, int variant) {
        DataSet& d = session.data;
        d.scoresFileName = "scores.dat";
        d.variableCount = 4;
        d.participantCount = d.rowsRead = 60;
        d.rawScores = Matrix(60, 4);
        d.missingMask = Matrix(60, 4);
        d.variableList = testing::fromRows({{0, 1}, {1, 1}, {2, 1}, {3, 1}});
        for (int i = 0; i < 60; ++i) {
            d.rowNumbers.push_back(i + 1);
            const int a = i % 4, b = (i / 4) % 4, noise = (i * 7) % 3;
            d.rawScores[i][0] = 1 + a;
            d.rawScores[i][1] = 1 + (a + (noise == 0)) % 4;
            d.rawScores[i][2] = 1 + b;
            d.rawScores[i][3] = 1 + (b + (noise == 1)) % 4;
        }
        d.dataRead = true;
        AnalysisSettings& s = session.settings;
        s.outputFileName = reportPath;
        s.dispersionType = type;
        s.factorCountProcedure = ParallelAnalysis;
        s.paVariant = variant;
        s.paRandomMatrices = 100;
        s.factorCount = 0;
        session.configured = true;
    }
};

TEST_F(ParallelAnalysisStageTest, PercentagesReachTheProgressWindow) {
    readAndConfigure(PearsonCorrelation, 5);
    runAnalysis(session, host, clock);
    std::vector<std::string> percentages;
    for (const std::string& text : host.progressTexts)
        if (text.rfind("Computing PA ...", 0) == 0) percentages.push_back(text);
    ASSERT_EQ(percentages.size(), 100u);
    EXPECT_EQ(percentages.front(), "Computing PA ...   0%");
    EXPECT_EQ(percentages[7], "Computing PA ...   7%");
    EXPECT_EQ(percentages.back(), "Computing PA ...  99%");
    const std::string report = testing::readWholeFile(reportPath);
    EXPECT_NE(report.find("PARALLEL ANALYSIS (PA) BASED ON PRINCIPAL COMPONENT ANALYSIS\n"),
              std::string::npos);
    EXPECT_EQ(report.find("NOTE: Parallel analysis"), std::string::npos);
}

// A polychoric variant on a run that analyses Pearson correlations (as after
// the run's fallback) draws Pearson random matrices.
TEST_F(ParallelAnalysisStageTest, RandomDataFollowTheDispersionTypeAnalysed) {
    const struct {
        DispersionType type;
        int variant;
        const char* line;
    } cases[] = {
        {PearsonCorrelation, 18, "Pearson correlation matrices"},
        {PearsonCorrelation, 8, "Pearson correlation matrices"},
        {PolychoricCorrelation, 8, "Polychoric correlation matrices"},
    };
    for (const auto& c : cases) {
        readAndConfigure(c.type, c.variant);
        runAnalysis(session, host, clock);
        const std::string report = testing::readWholeFile(reportPath);
        EXPECT_NE(report.find(std::string("\tCorrelation matrices analized:                ") + c.line),
                  std::string::npos)
            << c.variant << "\n" << report;
        session.data = DataSet();
    }
}

}  // namespace
}  // namespace talvex
