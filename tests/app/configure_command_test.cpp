#include <gtest/gtest.h>

#include "analysis/session.h"
#include "app/commands.h"
#include "app/configuration_dialog.h"
#include "configuration_fixture.h"

namespace talvex::testing {
namespace {

using ConfigureCommand = ConfigurationTest;

TEST_F(ConfigureCommand, RequiresDataToBeRead) {
    AnalysisSession session;
    configureCommand(session, ws);
    ASSERT_EQ(ws.messages.size(), 1u);
    EXPECT_EQ(ws.messages[0].text, "Data must be read before the definition of the analysis");
    EXPECT_EQ(ws.messages[0].icon, MessageIcon::Error);
    EXPECT_TRUE(ws.dialogTitles.empty());
    EXPECT_EQ(ws.statusHistory.size(), 0u);
    EXPECT_FALSE(session.configured);
}

TEST_F(ConfigureCommand, OkCommitsTheCopyWithDerivedValues) {
    AnalysisSession session;
    session.data = makeData(9, 120);
    session.settings.dispersionType = DispersionNotChosen;
    ws.status[0] = "Ready!";
    ws.dialogSteps.push_back([](DialogModel& d, ScriptedWindowSystem& w) {
        // The status lines are cleared before the dialog shows.
        EXPECT_EQ(w.status[0], "");
        d.set("factorCount", "3");
        d.set("extractionMethod", "PCA");
        d.set("simplicityRotation", "Simplimax");
        d.set("outputFileName", "run1.txt");
        return DialogAnswer::Ok;
    });
    configureCommand(session, ws);
    EXPECT_EQ(ws.dialogTitles, std::vector<std::string>{"Configuration"});
    EXPECT_TRUE(session.configured);
    EXPECT_EQ(session.settings.dispersionType, PearsonCorrelation);
    EXPECT_EQ(session.settings.factorCount, 3);
    EXPECT_EQ(session.settings.extractionMethod, PCA);
    EXPECT_EQ(session.settings.simplicityRotation, kSimplimax);
    EXPECT_EQ(session.settings.outputFileName, "run1.txt");
    EXPECT_EQ(session.settings.paVariant, 5);  // Pearson, PCA, permutation
    EXPECT_EQ(ws.status[0], "Ready!");
    EXPECT_EQ(ws.status[1], "");
    EXPECT_EQ(ws.status[2], "");
    EXPECT_EQ(ws.statusHistory.size(), 2u);
}

TEST_F(ConfigureCommand, CancelLeavesTheSettingsAndFlagAlone) {
    AnalysisSession session;
    session.data = makeData(9, 120);
    session.settings.dispersionType = DispersionNotChosen;
    ws.dialogSteps.push_back([](DialogModel& d, ScriptedWindowSystem& w) {
        d.set("factorCount", "3");
        EXPECT_TRUE(d.press("exclude", {"1"}, w));
        EXPECT_TRUE(d.press("configureParallelAnalysis", {}, w));
        return DialogAnswer::Cancel;
    });
    ws.dialogSteps.push_back(setAndOk({{"paImplementation", "classical"}}));
    configureCommand(session, ws);
    EXPECT_EQ(ws.dialogTitles,
              (std::vector<std::string>{"Configuration", "Configuration of Parallel Analysis"}));
    EXPECT_FALSE(session.configured);
    EXPECT_EQ(session.settings.dispersionType, DispersionNotChosen);
    EXPECT_EQ(session.settings.factorCount, 0);
    EXPECT_EQ(session.settings.paImplementation, 0);
    EXPECT_EQ(session.data.variableList[0][1], 1.0);
    EXPECT_EQ(ws.status[0], "");
}

TEST_F(ConfigureCommand, SubDialogValuesReachTheSettingsOnlyThroughOk) {
    AnalysisSession session;
    session.data = makeData(9, 120);
    ws.dialogSteps.push_back([](DialogModel& d, ScriptedWindowSystem& w) {
        d.set("factorCount", "3");
        EXPECT_TRUE(d.press("configureParallelAnalysis", {}, w));  // cancelled below
        EXPECT_TRUE(d.press("configureParallelAnalysis", {}, w));
        EXPECT_FALSE(d.press("configureHull", {}, w));  // PA is the procedure
        d.set("factorCountProcedure", "Hull");
        EXPECT_TRUE(d.press("configureHull", {}, w));
        EXPECT_TRUE(d.press("configureRotation", {}, w));
        return DialogAnswer::Ok;
    });
    ws.dialogSteps.push_back([](DialogModel& d, ScriptedWindowSystem&) {
        d.set("paRandomMatrices", "2000");
        return DialogAnswer::Cancel;
    });
    ws.dialogSteps.push_back(setAndOk({{"paRandomMatrices", "750"}, {"paGeneration", "normal"}}));
    ws.dialogSteps.push_back(setAndOk({{"hullIndexChoice", "rmsea"}}));
    ws.dialogSteps.push_back(setAndOk({{"salientThreshold", "0.4"}, {"randomStarts", "20"}}));
    configureCommand(session, ws);
    EXPECT_EQ(ws.dialogTitles,
              (std::vector<std::string>{"Configuration", "Configuration of Parallel Analysis",
                                        "Configuration of Parallel Analysis", "The Hull method",
                                        "Rotation"}));
    ASSERT_TRUE(session.configured);
    EXPECT_EQ(session.settings.paRandomMatrices, 750);
    EXPECT_EQ(session.settings.paGeneration, 0);
    EXPECT_EQ(session.settings.hullIndexChoice, RMSEA);
    EXPECT_EQ(session.settings.hullIndex, RMSEA);
    EXPECT_FLOAT_EQ(session.settings.salientThreshold, 0.4f);
    // The Rotation dialog edited the record of the method chosen then (Promin).
    EXPECT_EQ(session.rotations.simplicity[kPromin].randomStarts, 20);
    EXPECT_EQ(session.rotations.simplicity[kSimplimax].randomStarts, 100);
}

TEST_F(ConfigureCommand, RotationDialogOpensForTheTargetMethodWhenTargetIsChosen) {
    AnalysisSession session;
    session.data = makeData(9, 120);
    addTarget(session.data, 3);
    ws.dialogSteps.push_back([](DialogModel& d, ScriptedWindowSystem& w) {
        d.set("factorCount", "3");
        d.set("rotationKind", "target");
        d.set("targetRotation", "orthogonal");
        EXPECT_TRUE(d.press("configureRotation", {}, w));
        return DialogAnswer::Cancel;
    });
    ws.dialogSteps.push_back([](DialogModel& d, ScriptedWindowSystem&) {
        // A target method offers no clever start but "None".
        EXPECT_EQ(d.find("cleverStart")->options.size(), 1u);
        d.set("maxIterations", "300");
        return DialogAnswer::Ok;
    });
    configureCommand(session, ws);
    EXPECT_FALSE(session.configured);
    // The table keeps what the Rotation dialog accepted even though the
    // configuration itself was cancelled.
    EXPECT_EQ(session.rotations.target[OrthogonalTarget].maxIterations, 300);
    EXPECT_EQ(session.rotations.target[ObliqueTarget].maxIterations, 100);
}

TEST_F(ConfigureCommand, RebuildsCompleteCasesWhenAMissingCodeIsInUse) {
    AnalysisSession session;
    session.data = makeData(3, 4);
    DataSet& d = session.data;
    d.missingCodeEnabled = true;
    d.missingCode = 999;
    // Rows 2 and 4 hold the code; the complete rows span scores 2..6.
    const double scores[4][3] = {{2, 3, 4}, {999, 1, 1}, {5, 6, 3}, {0, 999, 9}};
    d.rawScores = Matrix(4, 3);
    d.missingMask = Matrix(4, 3);
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 3; ++j) {
            d.rawScores[i][j] = scores[i][j];
            d.missingMask[i][j] = scores[i][j] == 999 ? 1.0 : 0.0;
        }
    d.rowNumbers = {1, 2, 3, 4};
    ws.dialogSteps.push_back([](DialogModel& dialog, ScriptedWindowSystem&) {
        EXPECT_EQ(dialog.find("lowestScore")->value, "2");
        EXPECT_EQ(dialog.find("highestScore")->value, "6");
        return DialogAnswer::Cancel;
    });
    configureCommand(session, ws);
    EXPECT_EQ(d.participantCount, 2);
    EXPECT_EQ(session.settings.lowestScore, 2);
    EXPECT_EQ(session.settings.highestScore, 6);
}

}  // namespace
}  // namespace talvex::testing
