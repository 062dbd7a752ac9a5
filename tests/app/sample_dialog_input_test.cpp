// What the Sample dialog refuses instead of turning it into something else,
// and Read Data of a file that keeps no row.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <utility>
#include <vector>

#include "analysis/session.h"
#include "app/commands.h"
#include "app/sample_dialog.h"
#include "data/data_files.h"
#include "support/matrix_testing.h"
#include "support/scripted_window_system.h"
#include "support/temp_files.h"

namespace talvex::testing {
namespace {

using Settings = std::vector<std::pair<std::string, std::string>>;

TEST(SampleInput, RefusesWhatIsNotAWholeNumberInRangeOrARegularFile) {
    TempDir dir;
    const std::string scores = dir.write("items.dat", "1 2 3 4\n");
    const std::string fifo = dir.file("pipe.dat");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string integer = "Please enter an integer.";
    const std::string variables =
        "Please, check the number of variables.\n\nIt cannot be larger than 1000: each matrix of "
        "1000 x 1000 values takes 8 MB and an analysis holds dozens of them.";
    const std::string tooMany =
        "Please, check the number of participants in the sample.\n\nParticipants times variables "
        "cannot be larger than 10000000 scores (80 MB for each copy of the data).";
    const struct {
        Settings set;          // on top of 20 participants, 4 variables, the scores file
        std::string message;   // empty: accepted
        std::string focus;
    } cases[] = {
        {{{"participantCount", "3e2"}}, integer, "participantCount"},
        {{{"participantCount", "2147483648"}}, integer, "participantCount"},
        {{{"variableCount", "1.2e1"}}, integer, "variableCount"},
        // -9999 fills the missing code's 5 characters.
        {{{"missingCode", "-9999"}, {"participantCount", " +30\f"}}, "", ""},
        // An empty edit is 0 and gets the check that asks for the number.
        {{{"participantCount", ""}}, "Please, enter the number of participants in the sample",
         "participantCount"},
        {{{"dataKind", "matrix"}, {"matrixFileName", scores}, {"participantCount", ""}}, "", ""},
        // One variable is a data set; none is not.
        {{{"variableCount", "1"}}, "", ""},
        {{{"variableCount", "0"}}, "Please, enter the number of variables", "variableCount"},
        {{{"variableCount", "1001"}}, variables, "variableCount"},
        {{{"participantCount", "10001"}, {"variableCount", "1000"}}, tooMany, "participantCount"},
        {{{"participantCount", "10000"}, {"variableCount", "1000"}}, "", ""},
        // A matrix holds no scores, only its m x m values.
        {{{"dataKind", "matrix"}, {"matrixFileName", scores}, {"participantCount", "2000000000"}},
         "", ""},
        {{{"scoresFileName", fifo}}, "The file name for the Participants' Scores does not exist",
         "scoresFileName"},
    };
    for (const auto& c : cases) {
        SampleDialog d(DataSet{}, false);
        Settings all = {{"participantCount", "20"}, {"variableCount", "4"},
                        {"scoresFileName", scores}};
        all.insert(all.end(), c.set.begin(), c.set.end());
        for (const auto& [key, text] : all) ASSERT_EQ(d.set(key, text), SetResult::Ok) << key;
        SCOPED_TRACE(c.set.back().first + " = " + c.set.back().second);
        ScriptedWindowSystem ws;
        EXPECT_EQ(d.accept(ws), c.message.empty());
        EXPECT_EQ(ws.messageTexts(), c.message.empty() ? std::vector<std::string>{}
                                                       : std::vector<std::string>{c.message});
        EXPECT_EQ(d.focus(), c.focus);
    }
}

class InputFilesKept : public PoolTest {
protected:
    void TearDown() override {
        session.data = DataSet{};
        PoolTest::TearDown();
    }
    TempDir dir;
    AnalysisSession session;
    ScriptedWindowSystem ws;
};

TEST_F(InputFilesKept, AScoresFileThatKeepsNoRowLeavesNoData) {
    session.data.dataRead = true;
    ws.dialogSteps.push_back(setAndOk({{"participantCount", "2"},
                                       {"variableCount", "3"},
                                       {"scoresFileName", dir.write("short.dat", "1 2\n3 4\n")}}));
    readDataCommand(session, ws);
    EXPECT_FALSE(session.data.dataRead);
    EXPECT_EQ(ws.status[0], "Error in data file!");
    EXPECT_EQ(ws.messages.back().text,
              "Error reading data file: all 2 rows were dropped because missing values were "
              "found, so no participant is left\n\nPlease check your data file!");
}

}  // namespace
}  // namespace talvex::testing
