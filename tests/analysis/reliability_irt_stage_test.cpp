#include <gtest/gtest.h>

#include <random>
#include <string>

#include "analysis/analysis_run.h"
#include "analysis/session.h"
#include "support/matrix_testing.h"
#include "support/recording_run_host.h"
#include "support/report_testing.h"
#include "support/temp_files.h"

namespace talvex {
namespace {

using ReliabilityStage = testing::PoolTest;

// 150 participants, six variables in two correlated clusters. The section
// follows an oblique rotation, never an orthogonal one (a leftover oblimin
// choice does not count under an orthogonal target), and with no factors the
// number-of-factors section.
TEST_F(ReliabilityStage, WrittenAfterAnObliqueRotationOrWithoutFactors) {
    struct Case { int factors, simplicity; RotationKind kind; TargetRotationMethod target; };
    for (const Case& c : {Case{2, 5, Simplicity, ObliqueTarget}, Case{2, 5, Target, ObliqueTarget},
                          Case{2, 16, Target, OrthogonalTarget},
                          Case{0, 5, Simplicity, ObliqueTarget}}) {
        SCOPED_TRACE(c.factors * 100 + c.simplicity * 2 + (c.kind == Target));
        testing::TempDir dir;
        testing::FakeRunHost host;
        AnalysisSession session;
        DataSet& d = session.data;
        d.variableCount = 6;
        d.participantCount = d.rowsRead = 150;
        d.rawScores = Matrix(150, 6);
        d.missingMask = Matrix(150, 6);
        d.variableList = testing::fromRows({{0, 1}, {1, 1}, {2, 1}, {3, 1}, {4, 1}, {5, 1}});
        d.targetMatrix = testing::fromRows({{9, 0}, {9, 0}, {9, 0}, {0, 9}, {0, 9}, {0, 9}});
        d.missingCodeEnabled = false;
        std::mt19937 gen(11);
        std::normal_distribution<double> z;
        for (int i = 0; i < 150; ++i) {
            d.rowNumbers.push_back(i + 1);
            const double f1 = z(gen), f2 = 0.5 * f1 + 0.85 * z(gen);
            for (int j = 0; j < 6; ++j) d.rawScores[i][j] = (j < 3 ? f1 : f2) + 0.7 * z(gen);
        }
        d.dataRead = session.configured = session.settings.glbOmega = true;
        AnalysisSettings& s = session.settings;
        s.dispersionType = PearsonCorrelation;
        s.factorCountProcedure = MAP;
        s.factorCount = c.factors;
        s.outputFileName = dir.file("report.txt");
        s.rotationKind = c.kind;
        s.simplicityRotation = c.simplicity;
        s.targetRotation = c.target;
        runAnalysis(session, host);
        const std::string report = testing::readWholeFile(s.outputFileName);
        const bool written = c.factors == 0 || (c.kind == Target && c.target == ObliqueTarget);
        EXPECT_EQ(report.find("McDonald's Omega =") != std::string::npos, written);
        EXPECT_NE(report.find("TALVEX completed\n"), std::string::npos);
    }
}

}  // namespace
}  // namespace talvex
