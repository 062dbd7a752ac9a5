// The Compute run as the user sees it: its preconditions, the report file,
// the progress window, the status lines and the three endings. The elapsed
// minutes are closed forms (59 s = 0.98333333 min, 150 s = 2.50 min).
#include "analysis/analysis_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "analysis/run_state.h"
#include "analysis/run_testing.h"
#include "analysis/session.h"
#include "support/matrix_testing.h"
#include "support/report_testing.h"
#include "support/temp_files.h"

namespace talvex {
namespace {

using testing::FakeClock;
using testing::FakeRunHost;
using testing::kDashes;
using testing::readWholeFile;

bool endsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

int occurrences(const std::string& text, const std::string& what) {
    int count = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++count;
    return count;
}

class RunTest : public ::testing::Test {
   protected:
    testing::TempDir dir;
    AnalysisSession session;
    FakeRunHost host;
    FakeClock clock;
    std::string reportPath;
    std::size_t liveBefore = 0;
    std::size_t depthBefore = 0;

    void SetUp() override {
        liveBefore = liveCount();
        depthBefore = scopeDepth();
        openScope();  // the program's long-lived matrices (Read Data)
        clock.time = ClockTime{2026, 3, 9, 9, 5, 7};
        clock.step = 59;
        reportPath = dir.file("report.txt");
        session.settings.outputFileName = reportPath;
    }
    void TearDown() override {
        closeScope();
        EXPECT_EQ(liveCount(), liveBefore);
        EXPECT_EQ(scopeDepth(), depthBefore);
    }

    // What a successful Read Data and Configure leave: 8 participants, 4
    // variables on a 1..3 scale, variable 3 excluded, no factors.
    void readAndConfigure() {
        DataSet& d = session.data;
        d.scoresFileName = "scores.dat";
        d.variableCount = 4;
        d.participantCount = 8;
        d.rowsRead = 8;
        d.missingCodeEnabled = false;
        d.rawScores = Matrix(8, 4);
        d.missingMask = Matrix(8, 4);
        for (int i = 0; i < 8; ++i) {
            d.rowNumbers.push_back(i + 1);
            for (int j = 0; j < 4; ++j) d.rawScores[i][j] = 1 + (i * (j + 1)) % 3;
        }
        d.variableList = Matrix(4, 2);
        for (int j = 0; j < 4; ++j) {
            d.variableList[j][0] = j;
            d.variableList[j][1] = j == 2 ? 0.0 : 1.0;
        }
        d.dataRead = true;
        session.settings.dispersionType = PearsonCorrelation;
        session.settings.factorCount = 0;
        session.configured = true;
    }

    bool stageShown(const std::string& text) const {
        return std::find(host.progressTexts.begin(), host.progressTexts.end(), text) !=
               host.progressTexts.end();
    }
};

// --- Preconditions ----------------------------------------------------------

TEST_F(RunTest, ComputeBeforeReadDataWritesNothing) {
    runAnalysis(session, host, clock);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "Data must be read before the computing");
    EXPECT_EQ(host.messages[0].icon, MessageIcon::Error);
    EXPECT_FALSE(std::filesystem::exists(reportPath));
    EXPECT_EQ(host.progressShows, 0);
    EXPECT_TRUE(host.openedReports.empty());
}

TEST_F(RunTest, ComputeBeforeConfigureLeavesTheOldReport) {
    readAndConfigure();
    session.configured = false;
    dir.write("report.txt", "an older report\n");
    runAnalysis(session, host, clock);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "Analysis must be configured before the computing");
    EXPECT_EQ(host.messages[0].icon, MessageIcon::Error);
    EXPECT_EQ(readWholeFile(reportPath), "an older report\n");
    EXPECT_EQ(host.progressShows, 0);
}

// --- A whole run ------------------------------------------------------------

TEST_F(RunTest, SuccessEnding) {
    readAndConfigure();
    runAnalysis(session, host, clock);
    EXPECT_TRUE(host.messages.empty());
    const std::string report = readWholeFile(reportPath);

    EXPECT_EQ(report.rfind("                                     T A L V E X   \n", 0), 0u);
    EXPECT_NE(report.find("Time: 9:5:7\n"), std::string::npos);
    EXPECT_NE(report.find("Number of participants                               : 8\n"),
              std::string::npos);
    EXPECT_NE(report.find("Variables included in the analysis                   : V1, V2, V4\n"),
              std::string::npos);
    EXPECT_NE(report.find("References\n\n"), std::string::npos);

    const std::size_t completed = report.find(kDashes +
                                              "\n\nTALVEX completed\n\n"
                                              "Computing time     : 0.98333333 minutes.\n"
                                              "Matrices generated : ");
    ASSERT_NE(completed, std::string::npos);
    EXPECT_TRUE(endsWith(report, " \n"));
    EXPECT_EQ(report.find('\n', report.find("Matrices generated")), report.size() - 1);

    EXPECT_EQ(host.status[0], "Job done!");
    EXPECT_EQ(host.status[1], "");
    EXPECT_EQ(host.status[2], "");
    EXPECT_EQ(host.statusHistory, (std::vector<std::string>{"Computing ...", "Job done!"}));
    EXPECT_EQ(host.beeps, 1);
    EXPECT_EQ(host.openedReports, std::vector<std::string>{reportPath});
    EXPECT_EQ(host.progressShows, 1);
    EXPECT_FALSE(host.progressVisible);
    EXPECT_FALSE(host.waitCursor);
    EXPECT_FALSE(session.ticker.shown());
    EXPECT_EQ(host.progressTexts.front(), "Computing dispersion matrix...");
    EXPECT_TRUE(stageShown("Computing indices..."));
    EXPECT_TRUE(stageShown("Computing PA..."));
    EXPECT_FALSE(stageShown("Computing loadings..."));  // no factors

    // The run's scope mark, the complete cases and the selected variables at least.
    EXPECT_GE(std::stoi(report.substr(report.find("Matrices generated : ") + 21)), 3);
    // Matrices made outside a run are not counted.
    EXPECT_EQ(session.ticker.count(), 0u);
    Matrix outside(2, 2);
    EXPECT_EQ(session.ticker.count(), 0u);
}

TEST_F(RunTest, RunMatricesLeaveNoHandleBehind) {
    readAndConfigure();
    const Matrix raw = session.data.rawScores;
    runAnalysis(session, host, clock);
    // Built inside the run's scope and destroyed with it.
    EXPECT_FALSE(session.data.completeScores.valid());
    EXPECT_FALSE(session.data.analysedScores.valid());
    EXPECT_FALSE(session.data.includedIndex.valid());
    // Read before the run: untouched.
    EXPECT_TRUE(session.data.rawScores.sameAs(raw));
    EXPECT_EQ(session.data.participantCount, 8);
    EXPECT_EQ(session.settings.lowestScore, 1);
    EXPECT_EQ(session.settings.highestScore, 3);
}

TEST_F(RunTest, SecondComputeTruncatesAndRewrites) {
    readAndConfigure();
    dir.write("report.txt", std::string(200000, 'x'));
    runAnalysis(session, host, clock);
    const std::string first = readWholeFile(reportPath);
    EXPECT_EQ(first.find('x' + std::string(20, 'x')), std::string::npos);

    clock.time.second = 8;
    runAnalysis(session, host, clock);
    const std::string second = readWholeFile(reportPath);
    EXPECT_EQ(occurrences(second, "T A L V E X"), 1);
    EXPECT_EQ(occurrences(second, "TALVEX completed"), 1);
    EXPECT_NE(second.find("Time: 9:5:8\n"), std::string::npos);
    EXPECT_EQ(host.openedReports.size(), 2u);
}

TEST_F(RunTest, ReportThatCannotBeCreated) {
    readAndConfigure();
    const std::string path = dir.file("no-such-folder/report.txt");
    session.settings.outputFileName = path;
    session.settings.dispersionType = PolychoricCorrelation;
    runAnalysis(session, host, clock);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "The report file could not be created:\n\n" + path);
    EXPECT_EQ(host.messages[0].icon, MessageIcon::Error);
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(host.progressShows, 1);
    EXPECT_FALSE(host.progressVisible);
    EXPECT_FALSE(host.waitCursor);
    EXPECT_FALSE(session.ticker.shown());
    EXPECT_TRUE(host.openedReports.empty());
    EXPECT_EQ(host.beeps, 0);
    EXPECT_EQ(session.settings.dispersionType, PolychoricCorrelation);
}

TEST_F(RunTest, RotationStageTextOnlyWhenRotating) {
    readAndConfigure();
    session.data.variableList[2][1] = 1.0;
    session.settings.factorCount = 2;
    session.settings.simplicityRotation = 0;
    runAnalysis(session, host, clock);
    EXPECT_TRUE(stageShown("Computing loadings..."));
    EXPECT_FALSE(stageShown("Rotating solution..."));

    host.progressTexts.clear();
    session.settings.simplicityRotation = kPromin;
    runAnalysis(session, host, clock);
    EXPECT_TRUE(stageShown("Rotating solution..."));
}

// --- Endings driven directly ------------------------------------------------

TEST_F(RunTest, FailureEnding) {
    readAndConfigure();
    session.settings.dispersionType = PolychoricCorrelation;
    RunState state(session, host, clock);
    ASSERT_TRUE(startRun(state));
    EXPECT_TRUE(host.progressVisible);
    EXPECT_TRUE(host.waitCursor);
    EXPECT_TRUE(session.ticker.shown());
    state.out().printf("sections so far\n");
    session.settings.dispersionType = PearsonCorrelation;  // a fallback during the run
    state.warning = kMlWarning;
    endRun(state, RunEnding::Failure);

    EXPECT_EQ(readWholeFile(reportPath),
              "sections so far\n"
              "WARNING: ML extraction method could not converge. Please try ULS, MRFA or PCA.\n\n" +
                  kDashes +
                  "\n\n"
                  "TALVEX completed\n"
                  "Computing time:           0.98333333 minutes.\n");
    EXPECT_EQ(host.status[0], "Analysis stopped!");
    EXPECT_EQ(host.status[1], "");
    EXPECT_EQ(host.status[2], "");
    EXPECT_EQ(host.beeps, 0);
    EXPECT_EQ(host.openedReports, std::vector<std::string>{reportPath});
    EXPECT_FALSE(host.progressVisible);
    EXPECT_FALSE(host.waitCursor);
    EXPECT_FALSE(session.ticker.shown());
    EXPECT_EQ(session.settings.dispersionType, PolychoricCorrelation);
    EXPECT_TRUE(state.ended);
}

TEST_F(RunTest, HaltEnding) {
    readAndConfigure();
    clock.step = 150;
    RunState state(session, host, clock);
    ASSERT_TRUE(startRun(state));
    endRun(state, RunEnding::Halt);
    EXPECT_EQ(readWholeFile(reportPath),
              "WARNING: Analisys was halted by the user.\n\n" + kDashes +
                  "\n\nTALVEX completed\nComputing time:           2.50000000 minutes.\n");
    EXPECT_EQ(host.status[0], "Analysis stopped!");
    EXPECT_EQ(host.openedReports, std::vector<std::string>{reportPath});
    EXPECT_EQ(host.beeps, 0);
}

TEST(ComputingTime, EightDecimalsBelowOneMinuteTwoFromOneMinute) {
    EXPECT_EQ(successTimeLine(0), "Computing time     : 0.00000000 minutes.\n");
    EXPECT_EQ(successTimeLine(59), "Computing time     : 0.98333333 minutes.\n");
    EXPECT_EQ(successTimeLine(60), "Computing time     :  1.00 minutes.\n");
    EXPECT_EQ(successTimeLine(150), "Computing time     :  2.50 minutes.\n");
    EXPECT_EQ(successTimeLine(6000), "Computing time     : 100.00 minutes.\n");
}

// --- Warnings the run writes ------------------------------------------------

TEST_F(RunTest, DispersionWarningsNameFileVariables) {
    Matrix included = testing::fromRows({{1}, {3}, {4}, {6}});
    session.data.includedIndex = included;
    const std::string pairs = testing::captureReport([&](ReportWriter& r) {
        writePolychoricPairsWarning(r, session.data, {{0, 2}, {1, 3}});
    });
    EXPECT_EQ(pairs,
              "\n\nWARNING:    2 polychoric correlation coeficients did not converge. Pearson "
              "correlation coefficients\n"
              "          were computed and inserted in the polychoric correlation matrix.\n\n"
              "Pairs of variables with Pearson correlation coeffcients\n\n"
              "Variable   1  -- Variable   4\n"
              "Variable   3  -- Variable   6\n"
              "\n\n" +
                  kDashes + "\n\n\n");
}

}  // namespace
}  // namespace talvex
