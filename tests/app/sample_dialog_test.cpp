// The Sample dialog: pre-filling, enabling rules, Browse, and the ten checks
// on OK in their order with their messages and focus.
#include <gtest/gtest.h>

#include <string>

#include "app/sample_dialog.h"
#include "support/scripted_window_system.h"
#include "support/temp_files.h"

namespace talvex {
namespace {

using testing::ScriptedWindowSystem;
using testing::TempDir;

std::string value(const DialogModel& d, const std::string& key) { return d.find(key)->value; }
bool enabled(const DialogModel& d, const std::string& key) { return d.find(key)->enabled; }

TEST(SampleDialog, FirstShownWithZeros) {
    SampleDialog d(DataSet{}, false);
    EXPECT_EQ(d.title(), "Sample");
    EXPECT_EQ(value(d, "participantCount"), "0");
    EXPECT_EQ(value(d, "variableCount"), "0");
    EXPECT_EQ(value(d, "missingCode"), "999");
    EXPECT_EQ(value(d, "missingCodeEnabled"), "1");
}

TEST(SampleDialog, ScoresPrefillShowsRowsReadAndTicksTheMissingCode) {
    DataSet data;
    data.rowsRead = 250;
    data.participantCount = 240;  // complete cases of the last configuration
    data.variableCount = 12;
    data.scoresFileName = "items.dat";
    data.matrixFileName = "cov.dat";
    data.labelsEnabled = true;
    data.labelsFileName = "labels.txt";
    data.targetFileName = "target.dat";
    data.missingCodeEnabled = false;
    data.missingCode = -9;
    SampleDialog d(data, false);

    EXPECT_EQ(value(d, "participantCount"), "250");
    EXPECT_EQ(value(d, "variableCount"), "12");
    EXPECT_EQ(value(d, "dataKind"), "0");
    EXPECT_EQ(value(d, "scoresFileName"), "items.dat");
    EXPECT_EQ(value(d, "matrixFileName"), "cov.dat");
    EXPECT_EQ(value(d, "labelsFileName"), "labels.txt");
    EXPECT_EQ(value(d, "targetFileName"), "target.dat");
    EXPECT_EQ(value(d, "missingCode"), "-9");
    EXPECT_EQ(value(d, "missingCodeEnabled"), "1");
    EXPECT_TRUE(enabled(d, "scoresFileName"));
    EXPECT_FALSE(enabled(d, "matrixFileName"));
    EXPECT_TRUE(enabled(d, "labelsFileName"));
    EXPECT_FALSE(enabled(d, "targetFileName"));
    EXPECT_TRUE(enabled(d, "missingCode"));
}

TEST(SampleDialog, MatrixPrefillClearsAndDisablesTheMissingCode) {
    DataSet data;
    data.userMatrixRead = true;
    data.participantCount = 200;
    data.rowsRead = 37;  // from an older scores file
    data.variableCount = 9;
    SampleDialog d(data, true);
    EXPECT_EQ(value(d, "participantCount"), "200");
    EXPECT_EQ(value(d, "dataKind"), "1");
    EXPECT_EQ(value(d, "missingCodeEnabled"), "0");
    EXPECT_FALSE(enabled(d, "missingCodeEnabled"));
    EXPECT_FALSE(enabled(d, "missingCode"));
    EXPECT_FALSE(enabled(d, "scoresFileName"));
    EXPECT_TRUE(enabled(d, "matrixFileName"));
}

TEST(SampleDialog, EnablingRules) {
    SampleDialog d(DataSet{}, false);
    ASSERT_EQ(d.set("dataKind", "matrix"), SetResult::Ok);
    EXPECT_FALSE(enabled(d, "scoresFileName"));
    EXPECT_TRUE(enabled(d, "matrixFileName"));
    EXPECT_EQ(value(d, "missingCodeEnabled"), "0");
    EXPECT_EQ(d.set("missingCodeEnabled", "1"), SetResult::Disabled);
    EXPECT_EQ(d.set("missingCode", "5"), SetResult::Disabled);
    EXPECT_EQ(d.set("scoresFileName", "x.dat"), SetResult::Disabled);

    ASSERT_EQ(d.set("dataKind", "scores"), SetResult::Ok);
    EXPECT_EQ(value(d, "missingCodeEnabled"), "1");
    EXPECT_TRUE(enabled(d, "missingCode"));
    ASSERT_EQ(d.set("missingCodeEnabled", "off"), SetResult::Ok);
    EXPECT_FALSE(enabled(d, "missingCode"));
    EXPECT_TRUE(enabled(d, "missingCodeEnabled"));

    EXPECT_EQ(d.set("labelsFileName", "l.txt"), SetResult::Disabled);
    ASSERT_EQ(d.set("labelsEnabled", "yes"), SetResult::Ok);
    EXPECT_EQ(d.set("labelsFileName", "l.txt"), SetResult::Ok);
    ASSERT_EQ(d.set("targetEnabled", "1"), SetResult::Ok);
    EXPECT_TRUE(enabled(d, "targetFileName"));
    ASSERT_EQ(d.set("targetEnabled", "0"), SetResult::Ok);
    EXPECT_FALSE(enabled(d, "targetFileName"));
}

TEST(SampleDialog, MissingCodeHoldsAtMostFiveCharacters) {
    SampleDialog d(DataSet{}, false);
    ASSERT_EQ(d.set("missingCode", "123456"), SetResult::Ok);
    EXPECT_EQ(value(d, "missingCode"), "12345");
}

TEST(SampleDialog, NumbersComeFromLeadingDigits) {
    SampleDialog d(DataSet{}, false);
    d.set("participantCount", "12abc");
    d.set("variableCount", "abc");
    d.set("missingCode", "-99");
    const SampleValues v = d.values();
    EXPECT_EQ(v.participantCount, 12);
    EXPECT_EQ(v.variableCount, 0);
    EXPECT_EQ(v.missingCode, -99);
    EXPECT_EQ(v.dataKind, ScoresFile);
}

class SampleChecks : public ::testing::Test {
protected:
    // Runs OK and expects exactly one error with this text and focus.
    void expectRefused(SampleDialog& d, const std::string& text, const std::string& focus) {
        ScriptedWindowSystem ws;
        EXPECT_FALSE(d.accept(ws)) << text;
        ASSERT_EQ(ws.messages.size(), 1u) << text;
        EXPECT_EQ(ws.messages[0].text, text);
        EXPECT_EQ(ws.messages[0].icon, MessageIcon::Error);
        EXPECT_EQ(d.focus(), focus);
        EXPECT_TRUE(d.find(focus)->highlighted);
        int highlighted = 0;
        for (const Control& c : d.controls()) highlighted += c.highlighted ? 1 : 0;
        EXPECT_EQ(highlighted, 1);
    }
    void expectAccepted(SampleDialog& d) {
        ScriptedWindowSystem ws;
        EXPECT_TRUE(d.accept(ws));
        EXPECT_TRUE(ws.messages.empty());
        EXPECT_EQ(d.focus(), "");
    }

    TempDir dir;
    const std::string existing = dir.write("present.dat", "1\n");
    const std::string absent = dir.file("absent.dat");
};

TEST_F(SampleChecks, ScoresChecksInOrder) {
    SampleDialog d(DataSet{}, false);
    d.set("participantCount", "-3");
    d.set("variableCount", "0");
    d.set("scoresFileName", "");
    d.set("labelsEnabled", "1");
    d.set("labelsFileName", absent);
    d.set("targetEnabled", "1");
    d.set("targetFileName", absent);
    d.set("missingCode", "");

    expectRefused(d,
                  "Please, check the number of participants in the sample.\n\nIt cannot be a "
                  "negative number",
                  "participantCount");
    d.set("participantCount", "0");
    expectRefused(d, "Please, enter the number of participants in the sample", "participantCount");
    d.set("participantCount", "25");
    expectRefused(d, "Please, enter the number of variables", "variableCount");
    d.set("variableCount", "4");
    expectRefused(d, "Please, select a file name for the Participants' Scores", "scoresFileName");
    d.set("scoresFileName", absent);
    expectRefused(d, "The file name for the Participants' Scores does not exist", "scoresFileName");
    d.set("scoresFileName", dir.path().string());  // a directory is no file
    expectRefused(d, "The file name for the Participants' Scores does not exist", "scoresFileName");
    d.set("scoresFileName", existing);
    expectRefused(d, "The file name for the Variable Labels does not exist", "labelsFileName");
    d.set("labelsFileName", existing);
    expectRefused(d, "The file name for the Rotation Target Matrix does not exist",
                  "targetFileName");
    d.set("targetFileName", existing);
    expectRefused(d, "Select a missing value code", "missingCode");
    d.set("missingCode", "999");
    expectAccepted(d);
}

TEST_F(SampleChecks, MatrixChecksInOrder) {
    SampleDialog d(DataSet{}, false);
    d.set("dataKind", "matrix");
    d.set("participantCount", "-1");
    d.set("variableCount", "3");
    d.set("scoresFileName", "");
    expectRefused(d,
                  "Please, check the number of participants in the sample.\n\nIt cannot be a "
                  "negative number",
                  "participantCount");
    // No sample size is needed for a matrix.
    d.set("participantCount", "0");
    expectRefused(d, "Please, select a file name for the Variance/Covariance matrix",
                  "matrixFileName");
    d.set("matrixFileName", absent);
    expectRefused(d, "The file name for the Variance/Covariance matrix does not exist",
                  "matrixFileName");
    d.set("matrixFileName", existing);
    expectAccepted(d);  // the unticked missing value code is not checked
}

TEST_F(SampleChecks, UntickedSideFilesAreNotChecked) {
    SampleDialog d(DataSet{}, false);
    d.set("participantCount", "10");
    d.set("variableCount", "2");
    d.set("scoresFileName", existing);
    d.set("missingCodeEnabled", "0");
    d.set("missingCode", "");
    expectAccepted(d);
}

TEST(SampleDialogBrowse, EachFileHasItsTitleAndFilter) {
    SampleDialog d(DataSet{}, false);
    d.set("labelsEnabled", "1");
    d.set("targetEnabled", "1");
    ScriptedWindowSystem ws;
    ws.fileAnswers = {"/data/a.dat", "/data/l.txt", "/data/t.dat", std::nullopt};
    EXPECT_TRUE(d.press("browse", {"scoresFileName"}, ws));
    EXPECT_TRUE(d.press("browse", {"labelsFileName"}, ws));
    EXPECT_TRUE(d.press("browse", {"targetFileName"}, ws));
    d.set("dataKind", "matrix");
    d.set("matrixFileName", "old.dat");
    EXPECT_TRUE(d.press("browse", {"matrixFileName"}, ws));  // cancelled

    EXPECT_EQ(ws.fileDialogs,
              (std::vector<std::string>{
                  "PARTICIPANTS' SCORES: Choose your input file|*.dat",
                  "VARIABLE LABELS: Choose your input file|*.txt",
                  "ROTATION TARGET MATRIX: Choose your input file|*.dat",
                  "VARIANCE/COVARIANCE MATRIX: Choose your input file|*.dat",
              }));
    EXPECT_EQ(value(d, "scoresFileName"), "/data/a.dat");
    EXPECT_EQ(value(d, "labelsFileName"), "/data/l.txt");
    EXPECT_EQ(value(d, "targetFileName"), "/data/t.dat");
    EXPECT_EQ(value(d, "matrixFileName"), "old.dat");
}

TEST(SampleDialogBrowse, DisabledOrUnknownFilesAreRefused) {
    SampleDialog d(DataSet{}, false);
    ScriptedWindowSystem ws;
    EXPECT_FALSE(d.press("browse", {"matrixFileName"}, ws));
    EXPECT_FALSE(d.press("browse", {"labelsFileName"}, ws));
    EXPECT_FALSE(d.press("browse", {"missingCode"}, ws));
    EXPECT_FALSE(d.press("browse", {}, ws));
    EXPECT_FALSE(d.press("default", {}, ws));
    EXPECT_TRUE(ws.fileDialogs.empty());
}

}  // namespace
}  // namespace talvex
