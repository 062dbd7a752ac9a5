// The rotation stage of a run: which sections a choice of rotation writes.
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
// elsewhere; `full` replaces the free cells by 0.8.
Matrix clusterTarget(bool full) {
    Matrix t(6, 2);
    for (int i = 0; i < 6; ++i) t[i][i < 3 ? 0 : 1] = full ? 0.8 : 9.0;
    return t;
}

TEST_F(RotationStage, SectionsFollowTheChosenRotation) {
    // The golden reports hold detailed Promin, Promax, Simplimax and
    // semi-specified oblique target runs; these are the other choices.
    const std::string rotated = "\nROTATED LOADING MATRIX \n";
    const std::string correlations = "INTER-FACTORS CORRELATION MATRIX\n";
    const std::string structure = "STRUCTURE MATRIX \n";
    const std::string unrotatedVariance = "EXPLAINED VARIANCE AND RELIABILITY\n\n";
    const std::string fullTarget = "FULL TARGET LOADING MATRIX\nUser defined semi-specified";
    const std::string semiTarget = "SEMI-SPECIFIED TARGET LOADING MATRIX\nUser defined semi-specified";
    const std::string congruence = "CONGRUENCE BETWEEN ROTATED LOADING MATRIX AND TARGET MATRIX\n";
    const std::string note = "Note: non-specified values";
    const std::string halt = "WARNING: Analisys was halted by the user.\n\n" + testing::kSectionEnd +
                             "TALVEX completed\n";
    struct Row {
        RotationKind kind;
        int method;  // simplicity method, or the target method
        bool fullTarget;
        int factors;
        bool detailed;
        std::vector<std::string> present, absent;
    };
    const Row rows[] = {
        {Simplicity, 4, false, 2, true, {rotated}, {correlations, structure, unrotatedVariance}},
        // A host that cannot ask for the Simplimax choice halts the run
        // before any rotated section.
        {Simplicity, 29, false, 2, true, {halt}, {rotated, "References"}},
        {Target, ObliqueTarget, true, 2, true,
         {fullTarget, rotated, correlations, structure, congruence}, {semiTarget, note}},
        {Target, OrthogonalTarget, false, 2, true, {semiTarget, rotated, congruence, note},
         {fullTarget, correlations, structure}},
    };
    testing::TempDir dir;
    FixedClock clock;
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.kind) + " " + std::to_string(row.method) + " k " +
                     std::to_string(row.factors));
        testing::FakeRunHost host;
        AnalysisSession session;
        readAndConfigure(session, dir.file("report.txt"));
        AnalysisSettings& s = session.settings;
        s.rotationKind = row.kind;
        if (row.kind == Target) {
            s.targetRotation = static_cast<TargetRotationMethod>(row.method);
            session.data.targetMatrix = clusterTarget(row.fullTarget);
        } else {
            s.simplicityRotation = row.method;
        }
        s.factorCount = row.factors;
        s.detailedOutput = row.detailed;
        runAnalysis(session, host, clock);
        const std::string report = testing::readWholeFile(s.outputFileName);
        for (const std::string& text : row.present)
            EXPECT_NE(report.find(text), std::string::npos) << text;
        for (const std::string& text : row.absent)
            EXPECT_EQ(report.find(text), std::string::npos) << text;
        const bool halted = row.method == 29 && row.kind == Simplicity;
        EXPECT_EQ(host.status[0], halted ? "Analysis stopped!" : "Job done!");
        EXPECT_EQ(host.openedReports.size(), 1u);
    }
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
    session.data.targetMatrix = clusterTarget(false);
    runAnalysis(session, host, clock);
    const std::string report = testing::readWholeFile(session.settings.outputFileName);
    EXPECT_NEAR(cellAfter(report, "INTER-FACTORS CORRELATION MATRIX\n", "\nF   2 "), 0.2174, 0.002);
}

}  // namespace
}  // namespace talvex
