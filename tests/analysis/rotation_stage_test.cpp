// The rotation stage of a run: which sections a choice of rotation writes.
#include <gtest/gtest.h>

#include <random>
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

TEST_F(RotationStage, SectionsFollowTheChosenRotation) {
    // The golden reports hold an oblique detailed run, no rotation, and a
    // method that is not built; these are the other choices.
    const std::string rotated = "\nROTATED LOADING MATRIX \n";
    const std::string correlations = "INTER-FACTORS CORRELATION MATRIX\n";
    const std::string structure = "STRUCTURE MATRIX \n";
    const std::string note = "NOTE: Rotation is not available";
    const std::string unrotatedVariance = "EXPLAINED VARIANCE AND RELIABILITY\n\n";
    struct Row {
        RotationKind kind;
        RotationMethod method;
        int factors;
        bool detailed;
        std::vector<std::string> present, absent;
    };
    const Row rows[] = {
        {Simplicity, 4, 2, true, {rotated}, {correlations, structure, note, unrotatedVariance}},
        {Simplicity, 16, 2, false, {rotated, correlations}, {structure, note}},
        {Simplicity, 16, 1, true, {unrotatedVariance}, {rotated, correlations, note}},
        {Target, 0, 2, true, {note}, {rotated, unrotatedVariance}},
        {Target, 0, 1, true, {unrotatedVariance}, {rotated, note}},
    };
    testing::TempDir dir;
    testing::FakeRunHost host;
    FixedClock clock;
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.kind) + " " + std::to_string(row.method) + " k " +
                     std::to_string(row.factors));
        AnalysisSession session;
        readAndConfigure(session, dir.file("report.txt"));
        AnalysisSettings& s = session.settings;
        s.rotationKind = row.kind;
        s.simplicityRotation = row.method;
        s.factorCount = row.factors;
        s.detailedOutput = row.detailed;
        runAnalysis(session, host, clock);
        const std::string report = testing::readWholeFile(s.outputFileName);
        for (const std::string& text : row.present)
            EXPECT_NE(report.find(text), std::string::npos) << text;
        for (const std::string& text : row.absent)
            EXPECT_EQ(report.find(text), std::string::npos) << text;
    }
}

}  // namespace
}  // namespace talvex
