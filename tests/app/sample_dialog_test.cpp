// The Sample dialog: pre-filling, enabling rules, and the checks on
// OK in their order with their messages and focus.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "app/sample_dialog.h"
#include "support/scripted_window_system.h"
#include "support/temp_files.h"

namespace talvex {
namespace {

using testing::ScriptedWindowSystem;
using testing::TempDir;

std::string value(const DialogModel& d, const std::string& key) { return d.find(key)->value; }

TEST(SampleDialog, PrefillShowsRowsReadForScoresAndTheTypedSizeForAMatrix) {
    DataSet data;
    data.rowsRead = 250;
    data.participantCount = 240;  // complete cases of the last configuration
    data.missingCodeEnabled = false;
    data.missingCode = -9;
    const SampleDialog scores(data, false);
    EXPECT_EQ(value(scores, "participantCount"), "250");
    EXPECT_EQ(value(scores, "missingCodeEnabled"), "1");  // ticked again for scores

    data.userMatrixRead = true;
    data.missingCodeEnabled = true;
    const SampleDialog matrix(data, true);
    EXPECT_EQ(value(matrix, "participantCount"), "240");
    EXPECT_EQ(value(matrix, "missingCodeEnabled"), "0");
}

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
    const SampleValues v = d.values();
    // Text is kept whole; what does not convert (too wide, not a whole
    // number) is refused on OK and reads as 0.
    EXPECT_EQ(value(d, "missingCode"), "-123456");
    EXPECT_EQ(v.missingCode, 0);
    EXPECT_EQ(v.participantCount, 0);
    EXPECT_EQ(v.variableCount, 0);
}

// Each row sets one control and presses OK: a refusal shows exactly one
// error on the control in error, the only one highlighted.
struct Step {
    const char* key;
    std::string text;
    const char* message;  // nullptr: accepted
    const char* focus;
};

void runChecks(SampleDialog& d, const std::vector<Step>& steps) {
    for (const Step& s : steps) {
        ASSERT_EQ(d.set(s.key, s.text), SetResult::Ok) << s.key << " = " << s.text;
        ScriptedWindowSystem ws;
        EXPECT_EQ(d.accept(ws), s.message == nullptr) << s.key << " = " << s.text;
        if (s.message == nullptr) {
            EXPECT_TRUE(ws.messages.empty());
            EXPECT_EQ(d.focus(), "");
            continue;
        }
        ASSERT_EQ(ws.messages.size(), 1u) << s.message;
        EXPECT_EQ(ws.messages[0].text, s.message);
        EXPECT_EQ(ws.messages[0].icon, MessageIcon::Error);
        EXPECT_EQ(d.focus(), s.focus);
        int highlighted = 0;
        for (const Control& c : d.controls()) highlighted += c.highlighted ? 1 : 0;
        EXPECT_TRUE(d.find(s.focus)->highlighted);
        EXPECT_EQ(highlighted, 1);
    }
}

const char* const kNegative =
    "Please, check the number of participants in the sample.\n\nIt cannot be a negative number";

class SampleChecks : public ::testing::Test {
protected:
    TempDir dir;
    const std::string existing = dir.write("present.dat", "1\n");
    const std::string absent = dir.file("absent.dat");
};

TEST_F(SampleChecks, ScoresChecksInOrder) {
    SampleDialog d(DataSet{}, false);
    const char* const kScoresMissing = "The file name for the Participants' Scores does not exist";
    const char* const kLabelsMissing = "The file name for the Variable Labels does not exist";
    const char* const kNoCode = "Select a missing value code";
    d.set("labelsEnabled", "1");
    d.set("targetEnabled", "1");
    d.set("missingCode", "");
    runChecks(d, {
        {"participantCount", "-3", kNegative, "participantCount"},
        {"participantCount", "0", "Please, enter the number of participants in the sample",
         "participantCount"},
        {"participantCount", "25", "Please, enter the number of variables", "variableCount"},
        {"variableCount", "4", "Please, select a file name for the Participants' Scores",
         "scoresFileName"},
        {"scoresFileName", absent, kScoresMissing, "scoresFileName"},
        {"scoresFileName", dir.path().string(), kScoresMissing, "scoresFileName"},  // a directory
        {"scoresFileName", existing, kLabelsMissing, "labelsFileName"},
        {"labelsFileName", existing, "The file name for the Rotation Target Matrix does not exist",
         "targetFileName"},
        {"targetFileName", existing, kNoCode, "missingCode"},
        {"missingCode", "999", nullptr, nullptr},
        // Unticked side files and missing value code are not checked.
        {"labelsFileName", absent, kLabelsMissing, "labelsFileName"},
        {"labelsEnabled", "0", nullptr, nullptr},
        {"missingCode", "", kNoCode, "missingCode"},
        {"missingCodeEnabled", "0", nullptr, nullptr},
    });
}

}  // namespace
}  // namespace talvex
