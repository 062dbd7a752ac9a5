// The Sample dialog: enabling rules, the numeric edits of every
// dialog, what its checks on OK refuse instead of turning it into something
// else, and Read Data of a file that keeps no row.
#include "app/sample_dialog.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "analysis/session.h"
#include "app/commands.h"
#include "app/numeric_edits.h"
#include "data/data_files.h"
#include "support/matrix_testing.h"
#include "support/scripted_window_system.h"
#include "support/temp_files.h"

namespace talvex::testing {
namespace {

std::string value(const DialogModel& d, const std::string& key) { return d.find(key)->value; }

TEST(SampleDialog, EnablingRulesEditLimitsAndLeadingDigits) {
    SampleDialog d(DataSet{}, false);
    const auto Ok = SetResult::Ok, Off = SetResult::Disabled;
    const std::tuple<const char*, const char*, SetResult> steps[] = {
        // A matrix file unticks and disables the missing value code.
        {"dataKind", "matrix", Ok}, {"missingCodeEnabled", "1", Off}, {"missingCode", "5", Off},
        {"scoresFileName", "x.dat", Off}, {"dataKind", "scores", Ok}, {"matrixFileName", "m", Off},
        {"missingCode", "-123456", Ok}, {"missingCodeEnabled", "off", Ok}, {"missingCode", "1", Off},
        {"labelsFileName", "l.txt", Off}, {"labelsEnabled", "yes", Ok}, {"labelsFileName", "l", Ok},
        {"targetEnabled", "1", Ok}, {"targetFileName", "t", Ok}, {"targetEnabled", "0", Ok},
        {"targetFileName", "t", Off}, {"participantCount", "12abc", Ok}, {"variableCount", "x", Ok}};
    for (const auto& [key, text, result] : steps) EXPECT_EQ(d.set(key, text), result) << key << text;
    // Each Browse button shares the enabled state of its edit.
    for (const DialogButton& b : d.widgetButtons())
        EXPECT_EQ(b.enabled, b.args[0] == "scoresFileName" || b.args[0] == "labelsFileName") << b.args[0];
    const SampleValues v = d.values();
    // Text is kept whole; what does not convert (too wide, not a whole
    // number) is refused on OK and reads as 0.
    EXPECT_EQ(value(d, "missingCode"), "-123456");
    EXPECT_EQ(v.missingCode, 0);
    EXPECT_EQ(v.participantCount, 0);
    EXPECT_EQ(v.variableCount, 0);
}

// The Sample dialog's conversion: leading digits, 0 for text, and a number
// with too many digits saturates rather than wrapping to a negative one.
TEST(NumericEdits, LeadingIntegerOfTheSampleDialog) {
    EXPECT_EQ(leadingInteger("12abc"), 12);
    EXPECT_EQ(leadingInteger("abc"), 0);
    EXPECT_EQ(leadingInteger("99999999999"), 2147483647);
    EXPECT_EQ(leadingInteger("-99999999999"), -2147483647 - 1);
}

TEST(NumericEdits, IntegersMustBeTheWholeTextAndFit) {
    EXPECT_EQ(parseIntegerEdit(" -3 "), -3);
    EXPECT_EQ(parseIntegerEdit("+7"), 7);
    EXPECT_EQ(parseIntegerEdit("2147483647"), 2147483647);
    EXPECT_EQ(parseIntegerEdit("-2147483648"), -2147483647 - 1);
    for (const char* bad : {"", " ", "12abc", "1.5", "1e3", "-", "2147483648", "0x10"})
        EXPECT_FALSE(parseIntegerEdit(bad).has_value()) << bad;
    EXPECT_EQ(parseUnsignedEdit("4294967295"), 4294967295u);
    EXPECT_EQ(parseUnsignedEdit("0"), 0u);
    for (const char* bad : {"-1", "-0", "4294967296", "ten", ""})
        EXPECT_FALSE(parseUnsignedEdit(bad).has_value()) << bad;
}

TEST(NumericEdits, NumbersAreFiniteFloatsShownWithSixDigits) {
    const std::pair<const char*, float> good[] = {
        {"0.01", 0.01f}, {"1e-5", 1e-5f}, {" -2 ", -2.0f}, {".5", 0.5f}};
    for (const auto& [text, expected] : good) EXPECT_FLOAT_EQ(*parseNumberEdit(text), expected);
    for (const char* bad : {"", "abc", "0,3", "inf", "nan", "1e39", "0x1p3", "1.2.3"})
        EXPECT_FALSE(parseNumberEdit(bad).has_value()) << bad;
    // Shown text (pinned by the Rotation dialog's tests) converts back to the same float.
    for (float v : {0.001f, 0.000001f, 1e-8f, 0.45f}) EXPECT_EQ(*parseNumberEdit(formatNumberEdit(v)), v);
}

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
    const struct {
        Settings set;          // on top of 20 participants, 4 variables, the scores file
        std::string message;   // empty: accepted
        std::string focus;
    } cases[] = {
        {{{"participantCount", "3e2"}}, integer, "participantCount"},
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

// Opened again, the dialog shows the rows the last scores file kept (not the
// complete cases the sample shrinks to), and after a matrix file the sample
// size typed with it.
TEST_F(InputFilesKept, ReopenedDialogShowsTheRowsKeptOrTheMatrixSampleSize) {
    // N = 5: line 2 is short and dropped, so 4 rows are kept; line 4 holds
    // the missing code, which leaves 3 complete cases.
    const std::string scores = dir.write("s.dat", "1 2\n3\n4 5\n999 1\n2 2\n3 3\n");
    std::vector<std::string> shown;
    const auto look = [&shown](DialogModel& d, ScriptedWindowSystem&) {
        shown.push_back(value(d, "participantCount"));
        return DialogAnswer::Cancel;
    };
    ws.dialogSteps = {
        setAndOk({{"participantCount", "5"}, {"variableCount", "2"}, {"scoresFileName", scores}}),
        look};
    readDataCommand(session, ws);
    buildCompleteCases(session.data);
    ASSERT_EQ(session.data.participantCount, 3);
    readDataCommand(session, ws);
    ws.dialogSteps = {setAndOk({{"dataKind", "matrix"}, {"participantCount", "250"},
                                {"matrixFileName", dir.write("m.dat", "1 .5\n.5 1\n")}}),
                      look};
    readDataCommand(session, ws);
    readDataCommand(session, ws);
    EXPECT_EQ(shown, (std::vector<std::string>{"4", "250"}));
}

}  // namespace
}  // namespace talvex::testing
