// Solutions with a factor that has no loadings and variables without common
// variance, run from end to end over every method and both target
// rotations: no number of the report or of the results file is lost, and
// the reliability and simplicity of the two blocks are those of the blocks
// alone. (The rotations themselves are checked in the rotation tests.)
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "analysis/analysis_run.h"
#include "analysis/session.h"
#include "data/data_files.h"
#include "support/matrix_testing.h"
#include "support/nonfinite_text.h"
#include "support/recording_messenger.h"
#include "support/recording_run_host.h"
#include "support/report_testing.h"
#include "support/temp_files.h"

namespace talvex {
namespace {

// Two blocks of three variables (r = .5 within, 0 between) and three
// variables correlated with nothing: ULS gives two factors of loadings 1/√2
// and a third without loadings.
constexpr const char* kBlocks =
    "1 .5 .5 0 0 0 0 0 0\n.5 1 .5 0 0 0 0 0 0\n.5 .5 1 0 0 0 0 0 0\n"
    "0 0 0 1 .5 .5 0 0 0\n0 0 0 .5 1 .5 0 0 0\n0 0 0 .5 .5 1 0 0 0\n"
    "0 0 0 0 0 0 1 0 0\n0 0 0 0 0 0 0 1 0\n0 0 0 0 0 0 0 0 1\n";
// r12 = r13 = .9, r23 = −.9: smoothed, then two factors that leave the
// last three variables without common variance.
constexpr const char* kContradictory =
    "1 .9 .9 0 0 0\n.9 1 -.9 0 0 0\n.9 -.9 1 0 0 0\n0 0 0 1 0 0\n0 0 0 0 1 0\n0 0 0 0 0 1\n";
// Each block on a factor of its own, the third factor on the last three.
constexpr const char* kTarget = "1 0 0\n1 0 0\n1 0 0\n0 1 0\n0 1 0\n0 1 0\n0 0 9\n0 0 9\n0 0 9\n";

class DegenerateRotationTest : public testing::PoolTest {
   protected:
    testing::TempDir dir;
    std::string report, results;

    void run(const char* matrix, int factors, RotationKind kind, int method) {
        AnalysisSession session;
        DataSet& d = session.data;
        d.participantCount = 300;
        d.variableCount = matrix == kBlocks ? 9 : 6;
        d.matrixFileName = dir.write("matrix.dat", matrix);
        testing::RecordingMessenger reader;
        ASSERT_TRUE(readMatrixFile(d, reader).ok);
        if (kind == Target) {
            d.targetFileName = dir.write("target.dat", kTarget);
            TargetCounts counts;
            ASSERT_TRUE(readTargetFile(d, reader, counts).ok);
        }
        includeAllVariables(d);
        d.dataRead = true;
        AnalysisSettings& s = session.settings;
        s.dispersionType = UserMatrix;
        s.factorCount = factors;
        s.factorCountProcedure = MAP;
        s.extractionMethod = ULS;
        s.rotationKind = kind;
        s.simplicityRotation = kind == Simplicity ? method : 0;
        s.targetRotation = method == 0 ? OrthogonalTarget : ObliqueTarget;
        s.detailedOutput = true;
        s.glbOmega = true;
        s.outputFileName = dir.file("report.txt");
        s.jsonFileName = dir.file("report.json");
        session.configured = true;
        testing::FakeRunHost host;
        runAnalysis(session, host);
        EXPECT_EQ(host.status[0], "Job done!");
        report = testing::readWholeFile(s.outputFileName);
        results = testing::readWholeFile(s.jsonFileName);
    }
};

TEST_F(DegenerateRotationTest, EveryMethodPrintsNumbersAndMeasuresTheTwoBlocks) {
    struct Run {
        const char* matrix;
        int factors;
        RotationKind kind;
        int method;  // 0 and 1 for the target rotations
    };
    std::vector<Run> runs;
    for (int method = 1; method <= 28; ++method) {
        runs.push_back({kBlocks, 3, Simplicity, method});
        runs.push_back({kContradictory, 2, Simplicity, method});
    }
    runs.push_back({kBlocks, 3, Target, 0});
    runs.push_back({kBlocks, 3, Target, 1});
    for (const Run& r : runs) {
        const std::string name = std::string(r.matrix == kBlocks ? "blocks" : "contradictory") +
                                 (r.kind == Target ? " target " : " method ") + std::to_string(r.method);
        run(r.matrix, r.factors, r.kind, r.method);
        EXPECT_EQ(testing::firstNonFiniteNumber(report), "") << name << "\n" << report;
        EXPECT_EQ(testing::firstNonFiniteNumber(results), "") << name;
        EXPECT_EQ(results.find("null"), std::string::npos) << name << "\n" << results;
        if (r.matrix != kBlocks) continue;
        if (r.kind == Simplicity) {
            // Each block's factor has loadings 1/√2: information 3·.5/.5 = 3
            // and reliability 1/(1 + 1/3) = .75.
            EXPECT_NE(report.find("   1         1.500                          0.750\n"
                                  "   2         1.500                          0.750\n"
                                  "   3         0.000                          0.000\n"),
                      std::string::npos)
                << name << "\n" << report;
            // Disjoint squared columns: a cosine matrix of I, determinant 1.
            EXPECT_NE(report.find("Bentler's simplicity index (S) :   1.00000"), std::string::npos) << name;
        }
    }
}

}  // namespace
}  // namespace talvex
