// The rotation stage of a run: a Simplimax run without a choice, and a user
// target against GPArotation.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <random>
#include <sstream>
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
    ClockTime localTime() override { return {}; }
    std::int64_t calendarSeconds() override { return 0; }
};

// 200 participants, 6 variables in two correlated clusters of three.
void readAndConfigure(AnalysisSession& session, const std::string& output) {
    DataSet& d = session.data;
    d.scoresFileName = "scores.dat";
    d.variableCount = 6;
    d.participantCount = d.rowsRead = 200;
    d.rawScores = Matrix(200, 6);
    d.missingMask = Matrix(200, 6);
    d.variableList = Matrix(6, 2);
    std::mt19937 gen(5);
    std::normal_distribution<double> z;
    for (int i = 0; i < 200; ++i) {
        d.rowNumbers.push_back(i + 1);
        const double f1 = z(gen), f2 = 0.4 * f1 + 0.9 * z(gen);
        for (int j = 0; j < 6; ++j) d.rawScores[i][j] = (j < 3 ? f1 : f2) + 0.8 * z(gen);
    }
    for (int j = 0; j < 6; ++j) {
        d.variableList[j][0] = j;
        d.variableList[j][1] = 1;
    }
    d.dataRead = true;
    session.settings.dispersionType = PearsonCorrelation;
    session.settings.factorCountProcedure = MAP;
    session.settings.outputFileName = output;
    session.configured = true;
}

using RotationStage = testing::PoolTest;

// A target for the two clusters: free (9) where a variable belongs, 0
// elsewhere.
Matrix clusterTarget() {
    Matrix t(6, 2);
    for (int i = 0; i < 6; ++i) t[i][i < 3 ? 0 : 1] = 9.0;
    return t;
}

// The golden reports hold Simplimax through its dialog; a host that cannot
// ask for the choice halts the run before any rotated section.
TEST_F(RotationStage, SimplimaxWithoutAChoiceHaltsTheRun) {
    testing::TempDir dir;
    testing::FakeRunHost host;
    FixedClock clock;
    AnalysisSession session;
    readAndConfigure(session, dir.file("report.txt"));
    session.settings.rotationKind = Simplicity;
    session.settings.simplicityRotation = 29;
    session.settings.factorCount = 2;
    session.settings.detailedOutput = true;
    runAnalysis(session, host, clock);
    const std::string report = testing::readWholeFile(session.settings.outputFileName);
    EXPECT_NE(report.find("WARNING: Analisys was halted by the user.\n\n" + testing::kSectionEnd +
                          "TALVEX completed\n"),
              std::string::npos);
    EXPECT_EQ(report.find("\nROTATED LOADING MATRIX \n"), std::string::npos);
    EXPECT_EQ(host.status[0], "Analysis stopped!");
}

// The first number after the row label `label` that follows `title`.
double cellAfter(const std::string& report, const std::string& title, const std::string& label) {
    const std::size_t at = report.find(label, report.find(title));
    return at == std::string::npos ? std::nan("") : std::strtod(report.c_str() + at + label.size(), nullptr);
}

TEST_F(RotationStage, ObliqueTargetRotationFitsTheUsersTarget) {
    // The two clusters rotated to their own semi-specified target. Reference:
    // GPArotation::pstQ on the printed (3-decimal) unrotated loadings gives
    // a factor correlation of 0.2174.
    testing::TempDir dir;
    testing::FakeRunHost host;
    FixedClock clock;
    AnalysisSession session;
    readAndConfigure(session, dir.file("report.txt"));
    session.settings.rotationKind = Target;
    session.settings.targetRotation = ObliqueTarget;
    session.settings.factorCount = 2;
    session.data.targetMatrix = clusterTarget();
    runAnalysis(session, host, clock);
    const std::string report = testing::readWholeFile(session.settings.outputFileName);
    EXPECT_NEAR(cellAfter(report, "INTER-FACTORS CORRELATION MATRIX\n", "\nF   2 "), 0.2174, 0.002);
}

}  // namespace
}  // namespace talvex
