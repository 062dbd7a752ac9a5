// Degenerate data sets read, configured and computed from end to end: each
// either ends the run with the failure ending and a message that names the
// cause, or runs to a report; no report holds "nan" or "inf" where a number
// belongs. The files are written here; reading goes through the readers of
// Read Data, the settings are those Configure would commit.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
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

using Rows = std::vector<std::vector<double>>;

// Scores on a 1..5 scale that no linear relation ties together.
Rows scores(int n, int p) {
    Rows rows(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < p; ++j) rows[i].push_back(1 + (i * (j + 2) + i * i * (j + 1) / 3 + j * j) % 5);
    return rows;
}

// Rows with one column replaced by f(row).
Rows withColumn(Rows rows, int column, const std::function<double(const std::vector<double>&)>& f) {
    for (auto& row : rows) row[static_cast<std::size_t>(column)] = f(row);
    return rows;
}

std::string text(const Rows& rows, int precision) {
    std::string out;
    for (const auto& row : rows) {
        for (std::size_t j = 0; j < row.size(); ++j) {
            char cell[64];
            std::snprintf(cell, sizeof cell, "%s%.*f", j ? " " : "", precision, row[j]);
            out += cell;
        }
        out += "\n";
    }
    return out;
}

// Unit-diagonal matrix from its upper triangle.
Rows correlations(int p, const std::vector<double>& upper) {
    Rows m(static_cast<std::size_t>(p), std::vector<double>(static_cast<std::size_t>(p), 0.0));
    std::size_t k = 0;
    for (int i = 0; i < p; ++i) {
        m[i][i] = 1.0;
        for (int j = i + 1; j < p; ++j) m[i][j] = m[j][i] = upper[k++];
    }
    return m;
}

// r12 = r13 = .9, r23 = −.9 (impossible together) and two blocks of .33 to
// .42 among the other six variables.
Rows contradictoryCorrelations() {
    Rows m = correlations(9, std::vector<double>(36, 0.0));
    const auto set = [&m](int i, int j, double v) { m[i][j] = m[j][i] = v; };
    set(0, 1, 0.9), set(0, 2, 0.9), set(1, 2, -0.9);
    const double values[] = {0.33, 0.36, 0.42, 0.38, 0.35, 0.40};
    int k = 0;
    for (int first : {3, 6})
        for (int a = 0; a < 3; ++a)
            for (int b = a + 1; b < 3; ++b) set(first + a, first + b, values[k++]);
    return m;
}

struct Case {
    const char* name;
    bool matrix;        // a variance/covariance matrix instead of scores
    Rows data;
    int precision;      // decimals written to the file
    int sampleSize;     // participantCount typed
    int factors;
    bool missingCode;   // 999 marks a missing score
    bool success;       // the success ending, or the failure ending
    std::vector<std::string> texts;  // in the report, in this order
};

class DegenerateDataTest : public testing::PoolTest {
   protected:
    testing::TempDir dir;
    int bootstrapSamples = 0;
    bool polychoric = false;

    // Reads, configures and computes one case; returns the report.
    std::string run(const Case& c, testing::FakeRunHost& host) {
        AnalysisSession session;
        DataSet& d = session.data;
        d.variableCount = static_cast<int>(c.data.front().size());
        d.participantCount = c.sampleSize;
        d.missingCodeEnabled = c.missingCode;
        d.missingCode = 999;
        testing::RecordingMessenger reader;
        ReadResult read;
        if (c.matrix) {
            d.matrixFileName = dir.write("matrix.dat", text(c.data, c.precision));
            read = readMatrixFile(d, reader);
            session.settings.dispersionType = UserMatrix;
        } else {
            d.scoresFileName = dir.write("scores.dat", text(c.data, c.precision));
            read = readScoresFile(d, reader);
            session.settings.dispersionType = polychoric ? PolychoricCorrelation : PearsonCorrelation;
            session.settings.lowestScore = d.observedMin;
            session.settings.highestScore = d.observedMax;
        }
        EXPECT_TRUE(read.ok) << c.name << ": " << read.status;
        includeAllVariables(d);
        d.dataRead = true;
        AnalysisSettings& s = session.settings;
        s.factorCount = c.factors;
        s.factorCountProcedure = MAP;
        s.extractionMethod = ULS;
        s.simplicityRotation = 0;
        s.detailedOutput = true;
        s.bootstrapSamples = bootstrapSamples;
        s.outputFileName = dir.file("report.txt");
        session.configured = true;
        runAnalysis(session, host);
        return testing::readWholeFile(s.outputFileName);
    }
};

TEST_F(DegenerateDataTest, EveryDataSetEndsClearlyWithoutNonFiniteNumbers) {
    const Rows base = scores(40, 6);
    const std::string stopped = "\nTALVEX completed\nComputing time: ";
    const Case cases[] = {
        {"one participant", false, {{1, 2, 3, 4, 5}}, 0, 1, 0, false, false,
         {"WARNING: The number of complete cases (participants without a missing value) is 1, for 5 variables.\n"
          "         The analysis needs at least 6, one more than the number of variables.\n",
          stopped}},
        {"more variables than participants", false, scores(4, 6), 0, 4, 1, false, false,
         {"is 4, for 6 variables", "needs at least 7", stopped}},
        {"as many variables as participants", false, scores(6, 6), 0, 6, 1, false, false,
         {"is 6, for 6 variables", "needs at least 7", stopped}},
        {"every row misses a score", false,
         [&] {
             Rows rows = base;
             for (std::size_t i = 0; i < rows.size(); ++i) rows[i][i % 6] = 999;
             return rows;
         }(),
         0, 40, 1, true, false, {"is 0, for 6 variables", stopped}},
        {"a constant item", false, withColumn(base, 2, [](const auto&) { return 3.0; }), 0, 40, 1, false, false,
         {"WARNING: Variable    3 has the same score for every participant: it has no variance and no "
          "correlations.\n         Please exclude it (or them) from the analysis.\n",
          stopped}},
        {"all scores equal", false, Rows(40, std::vector<double>(6, 3.0)), 0, 40, 1, false, false,
         {"Variable    1 has the same score", "Variable    6 has the same score", "Please exclude", stopped}},
        {"two identical items", false, withColumn(base, 5, [](const auto& row) { return row[0]; }), 0, 40, 1, false,
         false, {"WARNING: The correlation matrix is singular: variables 1 and 6 are linearly dependent\n", stopped}},
        {"an item that is the sum of three", false,
         withColumn(base, 3, [](const auto& row) { return row[0] + row[1] + row[2]; }), 0, 40, 1, false, false,
         {"variables 1, 2, 3 and 4 are linearly dependent", stopped}},
        {"one participant more than variables", false, scores(7, 6), 0, 7, 1, false, true,
         {"ADEQUACY OF THE CORRELATION MATRIX", "UNROTATED LOADING MATRIX", "TALVEX completed\n\n"}},
        {"two variables, no factors", false, scores(30, 2), 0, 30, 0, false, true,
         {"Not computed: the test needs at least 3 variables, and 2 are analysed.\n", "TALVEX completed\n\n"}},
        {"three variables, one factor", false, scores(30, 3), 0, 30, 1, false, true,
         {"Adjusted Goodness of Fit Index (AGFI) = not defined: the model has no degrees of freedom\n",
          "TALVEX completed\n\n"}},
        {"contradictory correlations", true, contradictoryCorrelations(), 4, 200, 3, false, true,
         {"Smothing algorithm was applied", "NOTE: Smoothing needed 53 passes and set 6 correlations of 0.10",
          "UNROTATED LOADING MATRIX", "TALVEX completed\n\n"}},
        {"a correlation just above 1", true,
         correlations(5, {1.0000001, 0.5, 0.4, 0.3, 0.5, 0.4, 0.3, 0.45, 0.35, 0.3}), 7, 200, 1, false, false,
         {"WARNING: Variables 1 and 2 have a correlation of 1.0000001 in the matrix given; a correlation\n",
          stopped}},
        {"near duplicates that relate differently", true,
         correlations(5, {0.30, 0.42, 0.35, 0.44, 0.45, 0.23, 0.21, 0.53, 0.30, 0.999}), 3, 200, 1, false, false,
         {"could not\n         make it so: pass 1 lowered its smallest eigenvalue from -0.046143 to -0.046350.\n",
          stopped}},
        {"a variance of 0 in the matrix", true, {{1, 0, 0.2}, {0, 0, 0}, {0.2, 0, 1}}, 1, 100, 0, false, false,
         {"WARNING: Variable    2 has a variance that is not positive in the matrix given", stopped}},
        // r13 = r23 = 1/√2, r12 = 0: v3 = v1 + v2, singular without a negative eigenvalue.
        {"a singular matrix", true, correlations(4, {0.0, std::sqrt(0.5), 0.2, std::sqrt(0.5), 0.2, 0.3}), 12,
         100, 1, false, true,
         {"Smothing algorithm was applied", "Bartlett's statistic", "TALVEX completed\n\n"}},
        // Variances from 0.0001 to 9 and a sample of 100000: smoothing takes
        // over a thousand passes and leaves near-singular cross products in
        // the ULS rows.
        {"a covariance matrix smoothed for long", true,
         {{1.0000000, -0.2492932, 0.0016355, 0.2770726, 0.5960285, -0.4445373, 0.0003744, 0.1304584, -0.1995898},
          {-0.2492932, 1.0000000, -0.0071629, -0.8778526, -0.3504743, 0.5115332, 0.0022895, -0.3669996, 1.5015612},
          {0.0016355, -0.0071629, 0.0001000, 0.0156410, 0.0030410, -0.0072459, -0.0000480, 0.0064424, 0.0299700},
          {0.2770726, -0.8778526, 0.0156410, 9.0000000, 0.4567341, -0.9210083, -0.0055360, 0.7734850, -3.3645123},
          {0.5960285, -0.3504743, 0.0030410, 0.4567341, 1.0000000, -0.5765982, 0.0000119, 0.2069826, -0.4803746},
          {-0.4445373, 0.5115332, -0.0072459, -0.9210083, -0.5765982, 1.0000000, 0.0019300, -0.3913349, 1.4573170},
          {0.0003744, 0.0022895, -0.0000480, -0.0055360, 0.0000119, 0.0019300, 0.0001000, -0.0022475, 0.0107251},
          {0.1304584, -0.3669996, 0.0064424, 0.7734850, 0.2069826, -0.3913349, -0.0022475, 1.0000000, -1.3805894},
          {-0.1995898, 1.5015612, 0.0299700, -3.3645123, -0.4803746, 1.4573170, 0.0107251, -1.3805894, 9.0000000}},
         7, 100000, 3, false, true,
         {"NOTE: Smoothing needed 1058 passes", "UNROTATED LOADING MATRIX", "TALVEX completed\n\n"}},
        {"a matrix from one participant", true, correlations(3, {0.5, 0.4, 0.3}), 2, 1, 1, false, false,
         {"WARNING: A sample size of 1 was given with the matrix", stopped}},
    };
    for (const Case& c : cases) {
        testing::FakeRunHost host;
        const std::string report = run(c, host);
        EXPECT_EQ(host.status[0], c.success ? "Job done!" : "Analysis stopped!") << c.name << "\n" << report;
        EXPECT_TRUE(host.messages.empty()) << c.name << ": " << host.messages.front().text;
        std::size_t at = 0;
        for (const std::string& t : c.texts) {
            const std::size_t found = report.find(t, at);
            EXPECT_NE(found, std::string::npos) << c.name << ": " << t << "\n" << report;
            if (found != std::string::npos) at = found + t.size();
        }
        EXPECT_EQ(testing::firstNonFiniteNumber(report), "") << c.name << "\n" << report;
    }
}

TEST_F(DegenerateDataTest, ResamplesThatCannotBeAnalysedAreCountedWithoutNonFiniteNumbers) {
    // Seven participants for six items: nearly every resample repeats one.
    // Forty polychoric rows whose item 3 differs from 3 in one participant:
    // a third of the resamples leave it constant, the others empty table rows.
    Rows rare = scores(40, 6);
    for (std::size_t i = 0; i < rare.size(); ++i) rare[i][2] = i == 17 ? 4 : 3;
    bootstrapSamples = 100;
    for (const Case& c : {Case{"seven participants", false, scores(7, 6), 0, 7, 1, false, true,
                               {"fewer distinct participants than items + 1"}},
                          Case{"a rare score", false, rare, 0, 40, 1, false, true,
                               {"an item with a single score", "ROTATED LOADINGS"}}}) {
        polychoric = c.sampleSize == 40;
        testing::FakeRunHost host;
        const std::string report = run(c, host);
        const std::size_t section = report.find("Resamples failed");
        for (const std::string& t : c.texts)
            EXPECT_NE(report.find(t, section), std::string::npos) << c.name << ": " << t << "\n" << report;
        EXPECT_EQ(testing::firstNonFiniteNumber(report), "") << c.name << "\n" << report;
    }
}

}  // namespace
}  // namespace talvex
