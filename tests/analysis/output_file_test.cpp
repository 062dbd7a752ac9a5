// Compute never writes its report over one of the user's input files: the
// run ends before anything is shown or written, and the files keep their bytes.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "analysis/analysis_run.h"
#include "analysis/session.h"
#include "data/data_files.h"
#include "support/matrix_testing.h"
#include "support/recording_run_host.h"
#include "support/report_testing.h"
#include "support/temp_files.h"

namespace talvex {
namespace {

using testing::readWholeFile;

TEST(OutputFile, AReportNamedLikeAnInputFileEndsTheRunBeforeAnythingIsWritten) {
    testing::TempDir dir;
    const std::string d = dir.path().string();
    openScope();
    AnalysisSession session;
    // What Read Data and Configure leave for 6 x 3 scores and a labels file.
    DataSet& data = session.data;
    const std::string scores = "1 2 3\n2 3 1\n3 1 2\n1 3 2\n2 1 3\n3 2 1\n";
    data.scoresFileName = dir.write("items.dat", scores);
    data.labelsFileName = dir.write("labels.txt", "one\ntwo\nthree\n");
    data.variableCount = 3;
    data.participantCount = data.rowsRead = 6;
    data.missingCodeEnabled = false;
    data.rawScores = testing::fromRows({{1, 2, 3}, {2, 3, 1}, {3, 1, 2}, {1, 3, 2}, {2, 1, 3},
                                        {3, 2, 1}});
    data.missingMask = Matrix(6, 3);
    data.rowNumbers = {1, 2, 3, 4, 5, 6};
    includeAllVariables(data);
    data.dataRead = session.configured = true;
    std::filesystem::create_directory(dir.file("sub"));
    std::filesystem::create_symlink(data.labelsFileName, dir.file("sub/report.txt"));

    for (const std::string& output : {d + "/sub/../items.dat", d + "/sub/report.txt"}) {
        testing::FakeRunHost host;
        session.settings.outputFileName = output;
        runAnalysis(session, host);
        ASSERT_EQ(host.messages.size(), 1u) << output;
        EXPECT_EQ(host.messages[0].text.rfind("The report cannot be written to " + output, 0), 0u);
        EXPECT_EQ(host.messages[0].icon, MessageIcon::Error);
        EXPECT_EQ(host.progressShows, 0);
        EXPECT_TRUE(host.openedReports.empty() && host.statusHistory.empty());
    }
    EXPECT_EQ(readWholeFile(data.scoresFileName), scores);
    EXPECT_EQ(readWholeFile(data.labelsFileName), "one\ntwo\nthree\n");
    session.data = DataSet{};
    closeScope();
}

}  // namespace
}  // namespace talvex
