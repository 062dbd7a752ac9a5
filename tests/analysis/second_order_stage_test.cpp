// An oblique target rotation gets the Schmid-Leiman section, an orthogonal one never does.
#include <gtest/gtest.h>

#include <random>

#include "analysis/analysis_run.h"
#include "analysis/session.h"
#include "support/recording_run_host.h"
#include "support/report_testing.h"
#include "support/temp_files.h"

namespace talvex {
namespace {

TEST(SecondOrderStage, FollowsTheRotationApplied) {
    for (const TargetRotationMethod target : {ObliqueTarget, OrthogonalTarget}) {
        MatrixScope scope;
        testing::TempDir dir;
        testing::FakeRunHost host;
        AnalysisSession session;
        DataSet& d = session.data;  // three correlated clusters of three variables
        d.scoresFileName = "scores.dat";
        d.variableCount = 9;
        d.participantCount = d.rowsRead = 300;
        d.rawScores = Matrix(300, 9);
        d.missingMask = Matrix(300, 9);
        d.variableList = Matrix(9, 2);
        d.targetMatrix = Matrix(9, 3);
        std::mt19937 gen(12);
        std::normal_distribution<double> z;
        for (int i = 0; i < 300; ++i) {
            const double g = z(gen), f[3] = {g + z(gen), g + z(gen), g + z(gen)};
            for (int j = 0; j < 9; ++j) d.rawScores[i][j] = f[j / 3] + z(gen);
            d.rowNumbers.push_back(i + 1);
        }
        for (int j = 0; j < 9; ++j)
            d.variableList[j][0] = j, d.variableList[j][1] = 1, d.targetMatrix[j][j / 3] = 9;
        d.dataRead = session.configured = true;
        AnalysisSettings& s = session.settings;
        s.factorCountProcedure = MAP;
        s.factorCount = 3;
        s.secondOrderCount = 1;
        s.schmidLeiman = true;
        s.rotationKind = Target;
        s.targetRotation = target;
        s.outputFileName = dir.file("report.txt");
        runAnalysis(session, host);
        const std::string report = testing::readWholeFile(s.outputFileName);
        ASSERT_NE(report.find("TALVEX completed"), report.npos);
        EXPECT_EQ(report.find("SCHMID-LEIMAN SOLUTION \n") != report.npos, target == ObliqueTarget);
    }
}

}  // namespace
}  // namespace talvex
