// The Schmid-Leiman stage follows the rotation the run applied: an oblique
// target rotation gets the section, an orthogonal one never does, whatever
// simplicity method was left selected.
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

struct FixedClock : RunClock {
    ClockTime localTime() override { return {}; }
    std::int64_t calendarSeconds() override { return 0; }
};

// 300 participants, 9 variables in three correlated clusters of three.
void readAndConfigure(AnalysisSession& session, const std::string& output) {
    DataSet& d = session.data;
    d.scoresFileName = "scores.dat";
    d.variableCount = 9;
    d.participantCount = d.rowsRead = 300;
    d.rawScores = Matrix(300, 9);
    d.missingMask = Matrix(300, 9);
    d.variableList = Matrix(9, 2);
    std::mt19937 gen(12);
    std::normal_distribution<double> z;
    for (int i = 0; i < 300; ++i) {
        d.rowNumbers.push_back(i + 1);
        const double general = z(gen);
        double f[3];
        for (double& x : f) x = 0.7 * general + 0.7 * z(gen);
        for (int j = 0; j < 9; ++j) d.rawScores[i][j] = f[j / 3] + 0.7 * z(gen);
    }
    for (int j = 0; j < 9; ++j) {
        d.variableList[j][0] = j;
        d.variableList[j][1] = 1;
    }
    Matrix target(9, 3);
    for (int i = 0; i < 9; ++i) target[i][i / 3] = 9.0;
    d.targetMatrix = target;
    d.dataRead = true;
    AnalysisSettings& s = session.settings;
    s.dispersionType = PearsonCorrelation;
    s.factorCountProcedure = MAP;
    s.factorCount = 3;
    s.detailedOutput = false;
    s.secondOrderCount = 1;
    s.schmidLeiman = true;
    s.outputFileName = output;
    session.configured = true;
}

using SecondOrderStage = testing::PoolTest;

TEST_F(SecondOrderStage, FollowsTheRotationApplied) {
    struct Case {
        const char* name;
        RotationKind kind;
        TargetRotationMethod target;
        RotationMethod simplicity;
        bool section;
    };
    const Case cases[] = {
        {"oblique target", Target, ObliqueTarget, 4, true},
        {"orthogonal target, Promin left selected", Target, OrthogonalTarget, kPromin, false},
        {"Promin", Simplicity, ObliqueTarget, kPromin, true},
        {"Varimax", Simplicity, ObliqueTarget, 4, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MatrixScope scope;
        testing::TempDir dir;
        testing::FakeRunHost host;
        FixedClock clock;
        AnalysisSession session;
        readAndConfigure(session, dir.file("report.txt"));
        session.settings.rotationKind = c.kind;
        session.settings.targetRotation = c.target;
        session.settings.simplicityRotation = c.simplicity;
        runAnalysis(session, host, clock);
        const std::string report = testing::readWholeFile(session.settings.outputFileName);
        ASSERT_NE(report.find("TALVEX completed"), std::string::npos);
        const std::size_t at = report.find("SCHMID-LEIMAN SOLUTION \n");
        EXPECT_EQ(at != std::string::npos, c.section);
        if (!c.section) continue;
        // Three correlated clusters: one general factor on which every
        // variable loads positively.
        const std::size_t rows = report.find("Schmid-Leiman solution\n\n", at);
        ASSERT_NE(rows, std::string::npos);
        int positive = 0;
        for (std::size_t bar = report.find('|', rows); bar != std::string::npos && positive < 9;
             bar = report.find('|', bar + 1))
            positive += std::strtod(report.c_str() + bar + 1, nullptr) > 0.2 ? 1 : 0;
        EXPECT_EQ(positive, 9);
    }
}

TEST(ObliqueSolution, RotationKindDecides) {
    struct Case {
        RotationKind kind;
        TargetRotationMethod target;
        RotationMethod simplicity;
        int factors;
        bool oblique;
    };
    const Case cases[] = {
        {Simplicity, OrthogonalTarget, kPromin, 3, true},
        {Simplicity, ObliqueTarget, 15, 3, false},
        {Simplicity, ObliqueTarget, 16, 3, true},
        {Simplicity, ObliqueTarget, 0, 3, false},
        {Target, ObliqueTarget, 4, 3, true},
        {Target, OrthogonalTarget, kPromin, 3, false},
        {Target, ObliqueTarget, kPromin, 1, false},
        {Simplicity, ObliqueTarget, kPromin, 1, false},
    };
    for (const Case& c : cases) {
        AnalysisSettings s;
        s.rotationKind = c.kind;
        s.targetRotation = c.target;
        s.simplicityRotation = c.simplicity;
        EXPECT_EQ(obliqueSolution(s, c.factors), c.oblique)
            << c.kind << " " << c.target << " " << c.simplicity << " " << c.factors;
    }
}

}  // namespace
}  // namespace talvex
