// When the run writes the reliability and IRT sections: after the rotation
// that was applied, and after a run on too few variables.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "analysis/analysis_run.h"
#include "analysis/run_state.h"
#include "analysis/session.h"
#include "support/matrix_testing.h"
#include "support/recording_run_host.h"
#include "support/report_testing.h"
#include "support/temp_files.h"

namespace talvex {
namespace {

struct StoppedClock : RunClock {
    ClockTime localTime() override { return {}; }
    std::int64_t calendarSeconds() override { return 0; }
};

// 150 participants with p variables of two correlated clusters (the first
// half and the rest), Pearson correlations, MAP, `factors` factors.
void prepare(AnalysisSession& session, const std::string& output, int p, int factors) {
    DataSet& d = session.data;
    d.scoresFileName = "scores.dat";
    d.variableCount = p;
    d.participantCount = d.rowsRead = 150;
    d.rawScores = Matrix(150, p);
    d.missingMask = Matrix(150, p);
    d.variableList = Matrix(p, 2);
    d.missingCodeEnabled = false;
    std::mt19937 gen(11);
    std::normal_distribution<double> z;
    for (int i = 0; i < 150; ++i) {
        d.rowNumbers.push_back(i + 1);
        const double f1 = z(gen), f2 = 0.5 * f1 + 0.85 * z(gen);
        for (int j = 0; j < p; ++j) d.rawScores[i][j] = (2 * j < p ? f1 : f2) + 0.7 * z(gen);
    }
    for (int j = 0; j < p; ++j) {
        d.variableList[j][0] = j;
        d.variableList[j][1] = 1;
    }
    d.dataRead = true;
    session.settings.dispersionType = PearsonCorrelation;
    session.settings.factorCountProcedure = MAP;
    session.settings.factorCount = factors;
    session.settings.glbOmega = true;
    session.settings.outputFileName = output;
    session.configured = true;
}

const char* const kTitle = "GREATEST LOWER BOUND (GLB) TO RELIABILITY \n";

using ReliabilityStage = testing::PoolTest;

// The section follows an oblique rotation, whether a simplicity method or
// the user's target made it, and never an orthogonal one (a leftover
// oblique simplicity choice does not count under a target rotation).
TEST_F(ReliabilityStage, WrittenAfterTheObliqueRotationApplied) {
    struct Case {
        const char* name;
        RotationKind kind;
        int simplicity;
        TargetRotationMethod target;
        bool written;
    };
    const Case cases[] = {
        {"oblimin", Simplicity, 16, OrthogonalTarget, true},
        {"varimax", Simplicity, 5, ObliqueTarget, false},
        {"oblique target", Target, 5, ObliqueTarget, true},
        {"orthogonal target", Target, 16, OrthogonalTarget, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testing::TempDir dir;
        testing::FakeRunHost host;
        StoppedClock clock;
        AnalysisSession session;
        prepare(session, dir.file("report.txt"), 6, 2);
        session.settings.rotationKind = c.kind;
        session.settings.simplicityRotation = c.simplicity;
        session.settings.targetRotation = c.target;
        Matrix target(6, 2);
        for (int i = 0; i < 6; ++i) target[i][i < 3 ? 0 : 1] = 9.0;
        session.data.targetMatrix = target;
        runAnalysis(session, host, clock);
        const std::string report = testing::readWholeFile(session.settings.outputFileName);
        EXPECT_EQ(report.find(kTitle) != std::string::npos, c.written);
        EXPECT_NE(report.find("TALVEX completed\n"), std::string::npos);
    }
}

// One factor: the section follows the unrotated loadings; no factors: it
// follows the number-of-factors section. Two variables: a line says why no
// coefficient is computed.
TEST_F(ReliabilityStage, OneFactorNoFactorAndTwoVariables) {
    struct Case {
        int p;
        int factors;
        const char* expected;
    };
    const Case cases[] = {
        {6, 1, "McDonald's Omega ="},
        {6, 0, "McDonald's Omega ="},
        {2, 1, "not computed: it needs at least 3 variables, and 2 are analysed."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.p * 10 + c.factors);
        testing::TempDir dir;
        testing::FakeRunHost host;
        StoppedClock clock;
        AnalysisSession session;
        prepare(session, dir.file("report.txt"), c.p, c.factors);
        runAnalysis(session, host, clock);
        const std::string report = testing::readWholeFile(session.settings.outputFileName);
        const std::size_t at = report.find(kTitle);
        ASSERT_NE(at, std::string::npos);
        EXPECT_NE(report.find(c.expected, at), std::string::npos);
        EXPECT_NE(report.find("TALVEX completed\n"), std::string::npos);
    }
}

}  // namespace
}  // namespace talvex
