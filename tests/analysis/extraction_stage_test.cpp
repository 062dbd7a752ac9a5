// The extraction stage of a run for ML and MRFA: MRFA's reduced matrix
// reaches every section that reads the common variance, and a failing ML
// ends the run with its warning.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
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

// 300 participants, 6 variables in two correlated clusters of three.
void readAndConfigure(AnalysisSession& session, const std::string& output) {
    DataSet& d = session.data;
    d.scoresFileName = "scores.dat";
    d.variableCount = 6;
    d.participantCount = d.rowsRead = 300;
    d.rawScores = Matrix(300, 6);
    d.missingMask = Matrix(300, 6);
    d.variableList = Matrix(6, 2);
    std::mt19937 gen(17);
    std::normal_distribution<double> z;
    for (int i = 0; i < 300; ++i) {
        d.rowNumbers.push_back(i + 1);
        const double f1 = z(gen), f2 = 0.4 * f1 + 0.9 * z(gen);
        for (int j = 0; j < 6; ++j) d.rawScores[i][j] = (j < 3 ? f1 : f2) + (0.6 + 0.1 * j) * z(gen);
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

// The number after `label` in the report (NaN when absent).
double numberAfter(const std::string& report, const std::string& label, std::size_t from = 0) {
    const std::size_t at = report.find(label, from);
    if (at == std::string::npos) return std::nan("");
    return std::strtod(report.c_str() + at + label.size(), nullptr);
}

using ExtractionStage = testing::PoolTest;

// The communalities, the total and the unexplained common variance come
// from MRFA's reduced matrix: its trace exceeds the sum of squared loadings
// (an unexplained part above 0), the communality column adds up to that
// trace, and the rotated proportions divide by it.
TEST_F(ExtractionStage, MrfaSectionsReadTheReducedMatrix) {
    testing::TempDir dir;
    testing::FakeRunHost host;
    FixedClock clock;
    for (RotationMethod rotation : {RotationMethod{0}, RotationMethod{16}}) {
        SCOPED_TRACE(rotation);
        AnalysisSession session;
        readAndConfigure(session, dir.file("mrfa.txt"));
        AnalysisSettings& s = session.settings;
        s.extractionMethod = MRFA;
        s.factorCount = 2;
        s.simplicityRotation = rotation;
        s.detailedOutput = true;
        runAnalysis(session, host, clock);
        const std::string report = testing::readWholeFile(s.outputFileName);
        ASSERT_EQ(report.find("WARNING"), std::string::npos) << report;
        const double total = numberAfter(report, "Total common variance =");
        const double explained = numberAfter(report, "Explained common variance =");
        const double unexplained = numberAfter(report, "Unexplained common variance =");
        EXPECT_GT(unexplained, 0.001);
        EXPECT_NEAR(total - explained, unexplained, 0.0015);

        // Communality column of the unrotated loadings: the last number of
        // each of the six variable lines.
        std::istringstream lines(report.substr(report.find("UNROTATED LOADING MATRIX")));
        std::string line;
        double communalities = 0.0;
        int rows = 0;
        while (std::getline(lines, line) && rows < 6) {
            if (line.rfind("V", 0) != 0 || line.rfind("Variable", 0) == 0) continue;
            communalities += std::strtod(line.c_str() + line.find_last_of(' ') + 1, nullptr);
            ++rows;
        }
        EXPECT_EQ(rows, 6);
        EXPECT_NEAR(communalities, total, 0.004);

        // The first factor's line of the explained variance block after the
        // unrotated or the rotated loadings: variance, then its proportion.
        const std::size_t block = report.find(rotation != 0 ? "EXPLAINED VARIANCE AND RELIABILITY OF ROTATED"
                                                             : "EXPLAINED VARIANCE AND RELIABILITY\n");
        ASSERT_NE(block, std::string::npos);
        double variance = 0.0, proportion = 0.0;
        ASSERT_EQ(std::sscanf(report.c_str() + report.find("\n   1 ", block), "%*d %lf %lf", &variance,
                              &proportion),
                  2);
        EXPECT_NEAR(proportion, variance / total, 0.002);
    }
}

}  // namespace
}  // namespace talvex
