// The Sample dialog: pre-filling and enabling rules (its checks on OK are in
// sample_dialog_input_test and the transcripts).
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "app/sample_dialog.h"

namespace talvex {
namespace {

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

}  // namespace
}  // namespace talvex
