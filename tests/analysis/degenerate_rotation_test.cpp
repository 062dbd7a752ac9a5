// Rotations of solutions with a factor that has no loadings and variables
// without common variance, run from end to end over every method and both
// target rotations: no number of the report or of the results file is lost,
// and the rotation treats the two blocks of the matrix as they are.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
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

    // The rows of a table that starts after `heading`, one number per
    // column after the row label.
    std::vector<std::vector<double>> table(const std::string& heading, int rows, int cols) {
        std::vector<std::vector<double>> t;
        std::size_t at = report.find(heading);
        if (at == std::string::npos) return t;
        at = report.find("\n\n", report.find("F   1", at)) + 2;
        for (int i = 0; i < rows; ++i) {
            const std::size_t end = report.find('\n', at);
            std::vector<double> row;
            const char* p = report.c_str() + at + 10;  // past the row label
            for (int j = 0; j < cols; ++j) {
                char* next = nullptr;
                row.push_back(std::strtod(p, &next));
                p = next;
            }
            t.push_back(row);
            at = end + 1;
        }
        return t;
    }
};

TEST_F(DegenerateRotationTest, EveryMethodKeepsTheEmptyFactorAndTheEmptyRowsAtZero) {
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
        const int p = r.matrix == kBlocks ? 9 : 6;
        const auto loadings = table("ROTATED LOADING MATRIX", p, r.factors);
        ASSERT_EQ(loadings.size(), static_cast<std::size_t>(p)) << name;
        const bool oblique = r.kind == Target ? r.method == 1 : r.method > 15;
        for (int i = 0; i < p; ++i) {
            double ss = 0.0;
            for (double x : loadings[i]) ss += x * x;
            // Rows without common variance stay zero; an orthogonal
            // rotation keeps the communality of the others.
            if (i >= p - 3) {
                EXPECT_EQ(ss, 0.0) << name << " row " << i;
            } else if (!oblique) {
                EXPECT_NEAR(ss, r.matrix == kBlocks ? 0.5 : 1.0, 0.01) << name << " row " << i;
            }
            if (r.matrix == kBlocks) {
                EXPECT_EQ(loadings[i][2], 0.0) << name << " row " << i;
            }
        }
        if (r.matrix != kBlocks) continue;
        // Each block on one factor of loadings 1/√2 (.707), and each such
        // factor of reliability 1/(1 + 1/3) = .75: information 3·.5/.5.
        for (int i = 0; i < 6; ++i)
            EXPECT_NEAR(std::fmax(std::fabs(loadings[i][0]), std::fabs(loadings[i][1])), 0.707,
                        r.kind == Target ? 0.04 : 0.002)
                << name << " row " << i;
        if (r.kind == Simplicity) {
            EXPECT_NE(report.find("   1         1.500                          0.750\n"
                                  "   2         1.500                          0.750\n"
                                  "   3         0.000                          0.000\n"),
                      std::string::npos)
                << name << "\n" << report;
            // Disjoint squared columns: a cosine matrix of I, determinant 1.
            EXPECT_NE(report.find("Bentler's simplicity index (S) :   1.00000"), std::string::npos) << name;
        }
        if (oblique) {
            const auto phi = table("INTER-FACTORS CORRELATION MATRIX", 3, 3);
            ASSERT_EQ(phi.size(), 3u) << name;
            EXPECT_EQ(phi[2][0], 0.0) << name;
            EXPECT_EQ(phi[2][1], 0.0) << name;
            EXPECT_EQ(phi[2][2], 1.0) << name;
        }
    }
}

}  // namespace
}  // namespace talvex
