// Input the Sample and Configuration dialogs must refuse rather than turn
// into something else: numbers that are not whole numbers in range, sizes
// that cannot be held, files that are not regular files, and a report name
// that is empty or reaches an input file. Also what Read Data leaves when the
// scores file keeps no row.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "analysis/session.h"
#include "app/commands.h"
#include "app/configuration_dialog.h"
#include "app/sample_dialog.h"
#include "data/data_files.h"
#include "support/matrix_testing.h"
#include "support/report_testing.h"
#include "support/scripted_window_system.h"
#include "support/temp_files.h"

namespace talvex::testing {
namespace {

namespace fs = std::filesystem;

const std::string kEnterInteger = "Please enter an integer.";
// The message of a refused OK and the field in focus; both empty on success.
using Shown = std::pair<std::string, std::string>;

class SampleInput : public ::testing::Test {
protected:
    // A dialog that OK would accept: 20 participants, 4 variables, an
    // existing scores file, missing code 999.
    SampleDialog ready() {
        SampleDialog d(DataSet{}, false);
        d.set("participantCount", "20");
        d.set("variableCount", "4");
        d.set("scoresFileName", scores);
        d.set("missingCode", "999");
        return d;
    }
    // OK; the message shown (empty when accepted) and the field in focus.
    Shown ok(SampleDialog& d) {
        ScriptedWindowSystem ws;
        const bool accepted = d.accept(ws);
        EXPECT_EQ(accepted, ws.messages.empty());
        EXPECT_LE(ws.messages.size(), 1u);
        return {accepted ? "" : ws.messages[0].text, d.focus()};
    }

    TempDir dir;
    const std::string scores = dir.write("items.dat", "1 2 3 4\n");
};

TEST_F(SampleInput, NumbersMustBeWholeNumbersThatFitTheirEdit) {
    const struct {
        const char* key;
        const char* text;
        bool accepted;
    } cases[] = {
        {"participantCount", "1e400", false},
        {"participantCount", "3e2", false},
        {"participantCount", "1.2e1", false},
        {"participantCount", "12abc", false},
        {"participantCount", "2147483648", false},  // beyond a 32-bit integer
        {"participantCount", " 300 ", true},
        {"participantCount", "+300", true},
        {"variableCount", "4.0", false},
        {"variableCount", "0x4", false},
        {"variableCount", "four", false},
        {"variableCount", "\f4\v", true},
        {"missingCode", "abc", false},
        {"missingCode", "12345678", false},  // wider than the five-character edit
        {"missingCode", "123456", false},
        {"missingCode", "9.5", false},
        {"missingCode", "99999", true},
        {"missingCode", "-9999", true},
        {"missingCode", "-99", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.key) + " = " + c.text);
        SampleDialog d = ready();
        ASSERT_EQ(d.set(c.key, c.text), SetResult::Ok);
        const auto [message, focus] = ok(d);
        if (c.accepted) {
            EXPECT_EQ(message, "");
        } else {
            EXPECT_EQ(message, kEnterInteger);
            EXPECT_EQ(focus, c.key);
            EXPECT_TRUE(d.find(c.key)->highlighted);
        }
    }
}

TEST_F(SampleInput, AcceptedNumbersAreHandedBackWhole) {
    SampleDialog d = ready();
    d.set("participantCount", "1000");
    d.set("variableCount", " 250");
    d.set("missingCode", "-9999");
    ASSERT_EQ(ok(d).first, "");
    const SampleValues v = d.values();
    EXPECT_EQ(v.participantCount, 1000);
    EXPECT_EQ(v.variableCount, 250);
    EXPECT_EQ(v.missingCode, -9999);
}

TEST_F(SampleInput, AnEmptyNumberStillGetsItsOwnCheck) {
    // Blank edits read as 0: the checks ask for the number, and a matrix file
    // needs no sample size at all.
    SampleDialog d = ready();
    d.set("participantCount", "");
    EXPECT_EQ(ok(d), Shown("Please, enter the number of participants in the sample",
                           "participantCount"));
    d.set("dataKind", "matrix");
    d.set("matrixFileName", scores);
    EXPECT_EQ(ok(d).first, "");
    EXPECT_EQ(d.values().participantCount, 0);
}

TEST_F(SampleInput, SizesThatCannotBeHeldAreRefusedWithTheLimit) {
    const std::string variables =
        "Please, check the number of variables.\n\nIt cannot be larger than 1000: each matrix of "
        "1000 x 1000 values takes 8 MB and an analysis holds dozens of them.";
    const std::string scoresLimit =
        "Please, check the number of participants in the sample.\n\nParticipants times variables "
        "cannot be larger than 10000000 scores (80 MB for each copy of the data).";
    const struct {
        const char* kind;
        const char* participants;
        const char* variables;
        std::string message;  // empty: accepted
        const char* focus;
    } cases[] = {
        {"scores", "1", "2000000000", variables, "variableCount"},
        {"scores", "20", "1001", variables, "variableCount"},
        {"scores", "20", "1000", "", ""},
        {"scores", "10001", "1000", scoresLimit, "participantCount"},
        {"scores", "10000", "1000", "", ""},
        {"scores", "100000", "100", "", ""},
        {"scores", "2000000000", "2", scoresLimit, "participantCount"},
        // A matrix holds no scores, only its m x m values.
        {"matrix", "2000000000", "1000", "", ""},
        {"matrix", "0", "1001", variables, "variableCount"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.kind) + " " + c.participants + " x " + c.variables);
        SampleDialog d = ready();
        d.set("dataKind", c.kind);
        d.set("matrixFileName", scores);
        d.set("participantCount", c.participants);
        d.set("variableCount", c.variables);
        EXPECT_EQ(ok(d), Shown(c.message, c.focus));
    }
}

TEST_F(SampleInput, OnlyRegularFilesExist) {
    const std::string fifo = dir.file("pipe.dat");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    fs::create_symlink(scores, dir.file("link.dat"));
    const struct {
        const char* key;
        std::string path;
        std::string message;  // empty: accepted
    } cases[] = {
        {"scoresFileName", fifo, "The file name for the Participants' Scores does not exist"},
        {"scoresFileName", "/dev/zero", "The file name for the Participants' Scores does not exist"},
        {"scoresFileName", dir.file("link.dat"), ""},
        {"matrixFileName", "/dev/null",
         "The file name for the Variance/Covariance matrix does not exist"},
        {"labelsFileName", fifo, "The file name for the Variable Labels does not exist"},
        {"targetFileName", dir.path().string(),
         "The file name for the Rotation Target Matrix does not exist"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        SampleDialog d = ready();
        d.set("labelsEnabled", "1");
        d.set("targetEnabled", "1");
        d.set("labelsFileName", scores);
        d.set("targetFileName", scores);
        if (std::string(c.key) == "matrixFileName") {
            d.set("dataKind", "matrix");
            d.set("participantCount", "0");
        }
        d.set(c.key, c.path);
        const auto [message, focus] = ok(d);
        EXPECT_EQ(message, c.message);
        EXPECT_EQ(focus, c.message.empty() ? "" : c.key);
    }
}

// --- The report name in the Configuration dialog -----------------------------

class ReportName : public PoolTest {
protected:
    void SetUp() override {
        PoolTest::SetUp();
        data.dataRead = true;
        data.variableCount = data.participantCount = data.rowsRead = 6;
        data.missingCodeEnabled = false;
        includeAllVariables(data);
        data.observedMin = 1;
        data.observedMax = 5;
        data.scoresFileName = dir.write("items.dat", "1\n");
        data.labelsEnabled = true;
        data.labelsFileName = dir.write("labels.txt", "a\n");
        fs::create_symlink(data.scoresFileName, dir.file("alias.txt"));
    }
    void TearDown() override {
        data = DataSet{};
        PoolTest::TearDown();
    }

    TempDir dir;
    DataSet data;
    AnalysisSettings settings;
    RotationParameterTable rotations;
};

TEST_F(ReportName, AnEmptyNameOrAnInputFileIsRefusedOnTheField) {
    const std::string d = dir.path().string();
    const struct {
        std::string output;
        std::string message;  // empty: accepted
    } cases[] = {
        {"", "Please, enter a file name for the report."},
        {d + "/./items.dat", "The report cannot be written to " + d +
                                 "/./items.dat: it is the Participants' Scores file " +
                                 data.scoresFileName +
                                 ".\n\nPlease, choose another file name for the report."},
        {d + "/alias.txt", "The report cannot be written to " + d +
                               "/alias.txt: it is the Participants' Scores file " +
                               data.scoresFileName +
                               ".\n\nPlease, choose another file name for the report."},
        {data.labelsFileName, "The report cannot be written to " + data.labelsFileName +
                                  ": it is the Variable Labels file " + data.labelsFileName +
                                  ".\n\nPlease, choose another file name for the report."},
        {d + "/report.txt", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.output);
        ConfigurationDialog dialog(settings, data, rotations);
        dialog.set("factorCount", "2");  // no warning about factors
        ASSERT_EQ(dialog.set("outputFileName", c.output), SetResult::Ok);
        ScriptedWindowSystem ws;
        EXPECT_EQ(dialog.accept(ws), c.message.empty());
        if (c.message.empty()) {
            EXPECT_TRUE(ws.messages.empty());
            continue;
        }
        ASSERT_EQ(ws.messages.size(), 1u);
        EXPECT_EQ(ws.messages[0].text, c.message);
        EXPECT_EQ(ws.messages[0].icon, MessageIcon::Error);
        EXPECT_EQ(dialog.focus(), "outputFileName");
        EXPECT_TRUE(dialog.find("outputFileName")->highlighted);
    }
    EXPECT_EQ(readWholeFile(data.scoresFileName), "1\n");
}

// --- Read Data with a file that keeps no row ---------------------------------

class ReadDataInput : public PoolTest {
protected:
    void TearDown() override {
        session.data = DataSet{};
        PoolTest::TearDown();
    }
    TempDir dir;
    AnalysisSession session;
    ScriptedWindowSystem ws;
};

TEST_F(ReadDataInput, AScoresFileThatKeepsNoRowLeavesNoData) {
    session.data.dataRead = true;
    ws.dialogSteps.push_back(setAndOk({{"participantCount", "2"},
                                       {"variableCount", "3"},
                                       {"scoresFileName", dir.write("short.dat", "1 2\n3 4\n")}}));
    readDataCommand(session, ws);
    EXPECT_FALSE(session.data.dataRead);
    EXPECT_EQ(ws.status[0], "Error in data file!");
    ASSERT_FALSE(ws.messages.empty());
    EXPECT_EQ(ws.messages.back().text,
              "Error reading data file: all 2 rows were dropped because missing values were "
              "found, so no participant is left\n\nPlease check your data file!");
}

}  // namespace
}  // namespace talvex::testing
