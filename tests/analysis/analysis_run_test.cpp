// The Compute run as the user sees it: its preconditions, the report file,
// the progress window, the status lines and the three endings. The elapsed
// minutes are closed forms (59 s = 0.98333333 min, 150 s = 2.50 min).
#include "analysis/analysis_run.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "analysis/run_state.h"
#include "analysis/session.h"
#include "support/full_disk.h"
#include "support/matrix_testing.h"
#include "support/recording_run_host.h"
#include "support/report_testing.h"
#include "support/temp_files.h"

namespace talvex {
namespace {

using testing::FakeRunHost;
using testing::kDashes;
using testing::readWholeFile;
using Lines = std::vector<std::string>;

// A fixed local time; the calendar seconds advance by `step` at every call.
struct FakeClock : RunClock {
    ClockTime time{2026, 3, 9, 9, 5, 7};
    std::int64_t seconds = 1'700'000'000;
    std::int64_t step = 59;
    ClockTime localTime() override { return time; }
    std::int64_t calendarSeconds() override { return (seconds += step) - step; }
};

Lines statusOf(const FakeRunHost& host) { return Lines(host.status, host.status + 3); }

// The pool fixture stands for the program's long-lived matrices (Read Data).
class RunTest : public testing::PoolTest {
   protected:
    testing::TempDir dir;
    AnalysisSession session;
    FakeRunHost host;
    FakeClock clock;
    std::string reportPath = dir.file("report.txt");

    void SetUp() override {
        PoolTest::SetUp();
        session.settings.outputFileName = reportPath;
    }

    // What a successful Read Data and Configure leave: 8 participants, 4
    // variables on a 1..3 scale, variable 3 excluded, no factors.
    void readAndConfigure() {
        DataSet& d = session.data;
        d.scoresFileName = "scores.dat";
        d.variableCount = 4;
        d.participantCount = d.rowsRead = 8;
        d.missingCodeEnabled = false;
        d.rawScores = Matrix(8, 4);
        d.missingMask = Matrix(8, 4);
        d.variableList = testing::fromRows({{0, 1}, {1, 1}, {2, 0}, {3, 1}});
        for (int i = 0; i < 8; ++i) {
            d.rowNumbers.push_back(i + 1);
            // No two variables alike: identical ones would end the run.
            for (int j = 0; j < 4; ++j) d.rawScores[i][j] = 1 + (i * (j + 1) + i * i / (j + 2)) % 3;
        }
        d.dataRead = true;
        session.settings.dispersionType = PearsonCorrelation;
        session.settings.factorCount = 0;
        session.configured = true;
    }

    // Every ending takes the progress window, the wait cursor and the ticker away.
    void expectReleased(const FakeRunHost& h) {
        EXPECT_FALSE(h.progressVisible);
        EXPECT_FALSE(h.waitCursor);
        EXPECT_FALSE(session.ticker.shown());
    }
};

// The golden reports pin the report; here an older, longer report is
// truncated, the run's clock is used, the run's matrices die with it, and a
// second Compute rewrites the report from its start.
TEST_F(RunTest, SuccessEnding) {
    readAndConfigure();
    dir.write("report.txt", std::string(200000, 'x'));
    const Matrix raw = session.data.rawScores;
    runAnalysis(session, host, clock);
    EXPECT_TRUE(host.messages.empty());
    const std::string report = readWholeFile(reportPath);
    EXPECT_EQ(report.find(std::string(21, 'x')), std::string::npos);
    EXPECT_NE(report.find("Computing time     : 0.98333333 minutes.\n"), std::string::npos);
    EXPECT_EQ(host.statusHistory, (Lines{"Computing ...", "Job done!"}));
    EXPECT_EQ(host.beeps, 1);
    expectReleased(host);
    EXPECT_FALSE(session.data.analysedScores.valid());
    EXPECT_TRUE(session.data.rawScores.sameAs(raw));

    clock.time.second = 8;
    runAnalysis(session, host, clock);
    const std::string second = readWholeFile(reportPath);
    EXPECT_EQ(second.find("TALVEX completed"), second.rfind("TALVEX completed"));
    EXPECT_NE(second.find("Time: 9:5:8\n"), std::string::npos);
}

// Driven directly: the failure ending writes the run's warning, the halt
// ending its own; both restore the dispersion type the user chose, and the
// factor count that an advised number replaced.
TEST_F(RunTest, FailureAndHaltEndings) {
    readAndConfigure();
    session.settings.dispersionType = PolychoricCorrelation;
    const std::string ml =
        "WARNING: ML extraction method could not converge. Please try ULS, MRFA or PCA.\n\n";
    const struct {
        RunEnding ending;
        std::int64_t seconds;
        std::string warning, minutes, json;
    } cases[] = {
        {RunEnding::Failure, 59, ml, "0.98333333", "failed"},
        {RunEnding::Halt, 150, "WARNING: Analisys was halted by the user.\n\n", "2.50000000", "halted"}};
    session.settings.jsonFileName = dir.file("r.json");
    for (const auto& c : cases) {
        FakeRunHost view;
        clock.step = c.seconds;
        RunState state(session, view, clock);
        ASSERT_TRUE(startRun(state));
        EXPECT_TRUE(view.progressVisible);
        EXPECT_TRUE(view.waitCursor);
        EXPECT_TRUE(session.ticker.shown());
        state.out().printf("sections so far\n");
        session.settings.dispersionType = PearsonCorrelation;  // a fallback during the run
        state.configuredCount = {0, false};
        session.settings.factorCount = 3;  // advised
        session.settings.schmidLeiman = true;
        state.warning = ml;
        endRun(state, c.ending);

        EXPECT_EQ(readWholeFile(reportPath), "sections so far\n" + c.warning + kDashes +
                                                 "\n\nTALVEX completed\n"
                                                 "Computing time:           " +
                                                 c.minutes + " minutes.\n");
        EXPECT_EQ(statusOf(view), (Lines{"Analysis stopped!", "", ""}));
        EXPECT_EQ(view.beeps, 0);
        EXPECT_EQ(view.openedReports, Lines{reportPath});
        expectReleased(view);
        EXPECT_EQ(session.settings.dispersionType, PolychoricCorrelation);
        EXPECT_EQ(session.settings.factorCount, 0);
        EXPECT_FALSE(session.settings.schmidLeiman);
        EXPECT_EQ(nlohmann::json::parse(readWholeFile(dir.file("r.json")))["ending"], c.json);
    }
}

// An output that cannot be written (a full disk for the scores, the report
// or the JSON results) ends the run as a failure with an error box naming
// the file and the reason; it and the outputs after it keep their earlier
// contents, and no temporary file is left. A JSON file that names an input
// file (read again since OK) stops the run before the report.
TEST_F(RunTest, OutputsThatCannotBeWritten) {
    readAndConfigure();
    session.settings.factorCount = 1;
    session.settings.saveFactorScores = true;
    session.settings.jsonFileName = dir.file("report.json");
    const std::set<std::string> names{"report.txt", "report_scores.txt", "report.json"};
    const struct {
        std::string full, box;
        std::set<std::string> earlier;
    } cases[] = {
        {"report_scores.txt", "The factor scores could not be saved in ", {"report_scores.txt"}},
        {"report.txt", "The report file could not be written:\n\n", {"report.txt", "report.json"}},
        {"report.json", "The results could not be written to ", {"report.json"}},
    };
    for (const auto& c : cases) {
        for (const std::string& name : names) dir.write(name, "earlier " + name);
        testing::FullDisk disk(c.full);
        FakeRunHost view;
        runAnalysis(session, view, clock, disk);
        const std::string reason = dir.file(c.full) + ": No space left on device";
        EXPECT_EQ(view.messageTexts(), Lines{c.box + reason});
        EXPECT_EQ(view.statusHistory.back(), "Analysis stopped!");
        EXPECT_EQ(view.beeps, 0);
        EXPECT_EQ(view.openedReports.size(), c.full == "report.txt" ? 0u : 1u);
        EXPECT_EQ(dir.names(), names);
        for (const std::string& name : names)
            EXPECT_EQ(readWholeFile(dir.file(name)) == "earlier " + name, c.earlier.count(name) > 0) << name;
        // The report takes the failure ending of the scores.
        if (c.full == "report_scores.txt") {
            EXPECT_NE(readWholeFile(reportPath).find("WARNING: " + c.box + reason + ".\n\n" + kDashes),
                      std::string::npos);
        }
    }

    FakeRunHost second;
    session.data.labelsFileName = session.settings.jsonFileName = dir.file("labels.txt");
    runAnalysis(session, second, clock);
    EXPECT_EQ(second.messageTexts().size(), 1u);
    EXPECT_NE(second.messageTexts().front().find("it is the Variable Labels file"), std::string::npos);
    EXPECT_TRUE(second.openedReports.empty());
    EXPECT_TRUE(second.statusHistory.empty());
}

TEST(ComputingTime, EightDecimalsBelowOneMinuteTwoFromOneMinute) {
    EXPECT_EQ(successTimeLine(0), "Computing time     : 0.00000000 minutes.\n");
    EXPECT_EQ(successTimeLine(59), "Computing time     : 0.98333333 minutes.\n");
    EXPECT_EQ(successTimeLine(60), "Computing time     :  1.00 minutes.\n");
    EXPECT_EQ(successTimeLine(150), "Computing time     :  2.50 minutes.\n");
    EXPECT_EQ(successTimeLine(6000), "Computing time     : 100.00 minutes.\n");
}

// 29 participants, four three-category items whose polychoric matrix has a
// negative eigenvalue (polycor's two-step estimates: smallest eigenvalue
// -0.0757) while the Pearson matrix is positive definite. The polychoric
// stage smooths it, and the report says so (warning and references); the
// Pearson run of the same data does not.
TEST_F(RunTest, SmoothedPolychoricMatrixIsReported) {
    const std::vector<std::vector<double>> scores = {
        {2,2,1,3},{1,2,1,2},{1,3,1,2},{1,1,2,3},{2,3,3,1},{1,1,2,3},{1,1,3,2},{1,2,1,3},{1,2,2,2
        },{1,2,3,1},{1,1,3,2},{1,1,1,3},{3,3,3,1},{1,3,2,1},{2,3,1,3},{1,1,2,3},{2,2,1,3},{3,2,3
        ,1},{3,3,3,1},{3,1,3,3},{2,2,3,1},{1,1,1,3},{2,3,1,2},{3,3,1,1},{1,1,1,3},{2,1,2,3},{1,1
        ,3,1},{2,1,3,3},{3,3,2,2}};
    const std::string warning =
        "WARNING: Correlation matrix is not positive-definite,\n         Smothing algorithm was "
        "applied";
    for (const DispersionType type : {PolychoricCorrelation, PearsonCorrelation}) {
        readAndConfigure();
        DataSet& d = session.data;
        d.participantCount = d.rowsRead = static_cast<int>(scores.size());
        d.rawScores = testing::toMatrix(scores);
        d.missingMask = Matrix(d.rowsRead, 4);
        d.rowNumbers.clear();
        for (int i = 0; i < d.rowsRead; ++i) d.rowNumbers.push_back(i + 1);
        d.variableList = testing::fromRows({{0, 1}, {1, 1}, {2, 1}, {3, 1}});
        session.settings.dispersionType = type;
        runAnalysis(session, host, clock);
        const std::string report = readWholeFile(reportPath);
        const bool polychoric = type == PolychoricCorrelation;
        EXPECT_EQ(report.find(warning) != std::string::npos, polychoric) << type;
        EXPECT_EQ(report.find("Devlin, Gnanadesikan & Kettenring (1981)") != std::string::npos,
                  polychoric) << type;
        EXPECT_EQ(statusOf(host), (Lines{"Job done!", "", ""}));
        EXPECT_EQ(session.settings.dispersionType, type);
    }
}

TEST_F(RunTest, PolychoricPairsWarningNamesFileVariables) {
    session.data.includedIndex = testing::fromRows({{1}, {3}, {4}, {6}});
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
