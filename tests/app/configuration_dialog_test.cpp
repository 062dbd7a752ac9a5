// Configure Analysis: the Configuration dialog's checks and rules on a
// DataSet filled by hand (as Read Data would leave it), its derived values,
// and the command around it with its sub-dialogs.
#include "app/configuration_dialog.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "analysis/session.h"
#include "app/commands.h"
#include "support/matrix_testing.h"
#include "support/report_testing.h"
#include "support/scripted_window_system.h"

namespace talvex::testing {
namespace {

bool enabled(const DialogModel& d, const std::string& key) { return d.find(key)->enabled; }
std::string value(const DialogModel& d, const std::string& key) { return d.find(key)->value; }

class ConfigurationTest : public PoolTest {
protected:
    // A scores file of `variables` items and `participants` rows with the
    // observed range 1..5, every variable included, no missing-value code.
    static DataSet makeData(int variables, int participants) {
        DataSet d;
        d.dataRead = true;
        d.variableCount = variables;
        d.participantCount = d.rowsRead = participants;
        d.missingCodeEnabled = false;
        d.variableList = Matrix(variables, 2);
        for (int i = 0; i < variables; ++i) {
            d.variableList[i][0] = i;
            d.variableList[i][1] = 1.0;
        }
        d.observedMin = 1;
        d.observedMax = 5;
        return d;
    }
    static void addTarget(DataSet& d, int columns) {
        d.targetEnabled = true;
        d.targetMatrix = Matrix(d.variableCount, columns);
    }

    // The dialog on `data`, refilled with makeData(variables, participants).
    ConfigurationDialog open(int variables, int participants = 100) {
        data = makeData(variables, participants);
        return ConfigurationDialog(settings, data, rotations);
    }
    // OK (which must succeed) and the settings it commits.
    AnalysisSettings acceptAndCommit(ConfigurationDialog& dialog) {
        EXPECT_TRUE(dialog.accept(ws)) << ::testing::PrintToString(ws.messageTexts());
        AnalysisSettings out;
        dialog.commit(out, data);
        return out;
    }

    static bool buttonEnabled(const DialogModel& dialog, const std::string& name) {
        for (const DialogButton& b : dialog.buttons())
            if (b.name == name) return b.enabled;
        ADD_FAILURE() << "no button " << name;
        return false;
    }
    static std::vector<std::string> listItems(const DialogModel& dialog, const std::string& key) {
        std::vector<std::string> items;
        for (const ControlOption& o : dialog.find(key)->options) items.push_back(o.caption);
        return items;
    }

    AnalysisSettings settings;
    RotationParameterTable rotations;
    ScriptedWindowSystem ws;
    DataSet data;
};

using Messages = std::vector<std::string>;
using Values = std::vector<std::pair<std::string, std::string>>;

const char* const kTooFewVariables =
    "At least three variables for each Factor/Component should be included in the analisys";
const char* const kTooManyFactors =
    "The number of Factors/Components should be smaller than the number of variables analized";
const char* const kNoFactors =
    "As the number of Factors/Components was not specified, factor/components will not be "
    "computed!";
const char* const kNegativeSecondOrder =
    "The number of second order Factors/Components cannot be a negative value";
const char* const kTooManySecondOrder =
    "The number of second order Factors/Components should be lower than the number of primary "
    "Factors/Components";
const char* const kHighestAdjusted = "The highest possible items score is adjusted to the data.";
const char* const kLowestAdjusted = "The lowest possible items score is adjusted to the data.";

// The checks on OK, in their order: only the first failing one speaks.
TEST_F(ConfigurationTest, ChecksOnOkInTheirOrder) {
    struct Case {
        int variables;
        int excluded;  // the last ones, as an earlier configuration left them
        Values values;
        bool accepted;
        Messages messages;
        MessageIcon icon;
        const char* focus;
    };
    const auto E = MessageIcon::Error;
    const auto W = MessageIcon::Exclamation;
    const Case cases[] = {
        {9, 0, {{"factorCount", "3"}}, true, {}, W, ""},  // 9 / 3 is exactly 3
        {9, 1, {{"factorCount", "3"}}, false, {kTooFewVariables}, E, "factorCount"},
        {6, 0, {{"factorCount", "-1"}}, false, {kTooFewVariables}, E, "factorCount"},
        // 0 / 0 is not below 3 in floating point: only the second check sees it.
        {3, 3, {}, false, {kTooManyFactors}, E, "factorCount"},
        // Pearson leaves the score range (2..4 against data 1..5) alone.
        {6, 0, {}, true, {kNoFactors}, W, ""},
        // Text that is no integer is refused before the checks (8 / 3 would fail).
        {8, 0, {{"factorCount", "3x"}}, false, {"Please enter an integer."}, W, "factorCount"},
        {8, 0, {{"factorCount", "3"}, {"simplicityRotation", "28"}, {"secondOrderCount", "-4"}},
         false, {kTooFewVariables}, E, "factorCount"},
        {12, 0, {{"factorCount", "3"}, {"secondOrderCount", "-1"}}, false, {kNegativeSecondOrder},
         E, "secondOrderCount"},
        {12, 0, {{"factorCount", "3"}, {"secondOrderCount", "3"}}, false, {kTooManySecondOrder},
         E, "secondOrderCount"},
        // An orthogonal method leaves the second-order count unchecked.
        {12, 0, {{"factorCount", "3"}, {"secondOrderCount", "3"}, {"simplicityRotation", "15"}},
         true, {}, W, ""},
        // No factors: the warning comes first and the polychoric range is still widened.
        {6, 0, {{"dispersionType", "polychoric"}}, true, {kNoFactors, kHighestAdjusted, kLowestAdjusted},
         W, ""},
    };
    settings.lowestScore = 2;
    settings.highestScore = 4;
    for (const Case& c : cases) {
        const std::string row = ::testing::PrintToString(c.values) + " of " +
                                std::to_string(c.variables);
        data = makeData(c.variables, 100);
        for (int i = c.variables - c.excluded; i < c.variables; ++i) data.variableList[i][1] = 0.0;
        ConfigurationDialog dialog(settings, data, rotations);
        for (const auto& [key, text] : c.values) ASSERT_EQ(dialog.set(key, text), SetResult::Ok) << row;
        ws.messages.clear();
        EXPECT_EQ(dialog.accept(ws), c.accepted) << row;
        EXPECT_EQ(ws.messageTexts(), c.messages) << row;
        for (const auto& m : ws.messages) EXPECT_EQ(m.icon, c.icon) << row;
        EXPECT_EQ(dialog.focus(), c.focus) << row;
        if (*c.focus) {
            EXPECT_TRUE(dialog.find(c.focus)->highlighted) << row;
        }
    }
}

// Polychoric correlations take ordered categories only: OK refuses scores
// of an included variable that are not whole numbers, or a range of more
// than 10 categories, says why and points to Pearson. Excluded variables,
// rows set aside as incomplete and the other dispersion types do not count.
TEST_F(ConfigurationTest, PolychoricNeedsWholeScoresInAtMostTenCategories) {
    const std::string pearson = "\n\nPlease choose the Pearson correlation matrix for these data.";
    const std::string notWhole =
        "Polychoric correlations treat the item scores as ordered categories, but variable 2 has "
        "the score 2.5, which is not a whole number." + pearson;
    const std::string eleven =
        "Polychoric correlations treat the item scores as ordered categories, but the scores range "
        "from 1 to 11, which makes 11 categories (at most 10 can be estimated)." + pearson;
    const struct {
        std::vector<std::vector<double>> scores;  // 3 variables
        int excluded;                             // 0-based, or -1
        bool lastRowIncomplete;                   // complete cases leave the last row out
        const char* dispersion;
        std::string refusal;                      // empty: accepted
    } cases[] = {
        {{{1, 2, 3}, {10, 9, 8}, {4, 5, 6}}, -1, false, "polychoric", ""},  // exactly 10
        {{{-3, 0, 1}, {3, 2, -1}, {0, 1, 2}}, -1, false, "polychoric", ""},
        {{{1, 2, 3}, {11, 9, 8}, {4, 5, 6}}, -1, false, "polychoric", eleven},
        {{{1, 2, 3}, {2, 2.5, 3}, {4, 5, 6}}, -1, false, "polychoric", notWhole},
        {{{1, 2, 3}, {2, 2.5, 3}, {4, 5, 6}}, 1, false, "polychoric", ""},
        {{{1, 2, 3}, {2, 2.5, 3}, {4, 5, 6}}, -1, false, "pearson", ""},
        {{{1, 2, 3}, {11, 9, 8}, {4, 5, 6}}, -1, false, "covariance", ""},
        {{{1, 2, 3}, {4, 5, 6}, {999, 5, 6}}, -1, true, "polychoric", ""},
        {{{1, 2, 3}, {4, 5, 6}, {999, 5, 6}}, -1, false, "polychoric",
         "Polychoric correlations treat the item scores as ordered categories, but the scores "
         "range from 1 to 999, which makes 999 categories (at most 10 can be estimated)." + pearson},
    };
    for (const auto& c : cases) {
        const std::string row = ::testing::PrintToString(c.scores) + " " + c.dispersion;
        data = makeData(3, 3);
        data.rawScores = testing::toMatrix(c.scores);
        if (c.excluded >= 0) data.variableList[c.excluded][1] = 0.0;
        if (c.lastRowIncomplete) {
            data.completeScores = testing::toMatrix({c.scores[0], c.scores[1]});
            data.participantCount = 2;
        }
        data.observedMin = -3;
        data.observedMax = 999;
        settings.lowestScore = -3;
        settings.highestScore = 999;
        ConfigurationDialog dialog(settings, data, rotations);
        ASSERT_EQ(dialog.set("dispersionType", c.dispersion), SetResult::Ok) << row;
        ws.messages.clear();
        // No factors: their warning comes first.
        EXPECT_EQ(dialog.accept(ws), c.refusal.empty()) << row;
        if (c.refusal.empty()) {
            EXPECT_EQ(ws.messageTexts(), Messages{kNoFactors}) << row;
        } else {
            EXPECT_EQ(ws.messageTexts(), (Messages{kNoFactors, c.refusal})) << row;
            ASSERT_EQ(ws.messages.size(), 2u);
            EXPECT_EQ(ws.messages[1].icon, MessageIcon::Error) << row;
            EXPECT_EQ(dialog.focus(), "dispersionType") << row;
        }
    }
}

TEST_F(ConfigurationTest, SecondOrderSolutionAndTheHighlightAfterARefusal) {
    ConfigurationDialog dialog = open(12);
    dialog.set("factorCount", "3");
    dialog.set("secondOrderCount", "3");
    ASSERT_FALSE(dialog.accept(ws));
    dialog.set("secondOrderCount", "2");
    AnalysisSettings out = acceptAndCommit(dialog);
    EXPECT_FALSE(dialog.find("secondOrderCount")->highlighted);
    EXPECT_EQ(dialog.focus(), "");
    EXPECT_TRUE(out.schmidLeiman);
    EXPECT_EQ(out.secondOrderCount, 2);
    // An orthogonal method disables the edit, and the solution goes.
    ASSERT_EQ(dialog.set("simplicityRotation", "Normalized Varimax"), SetResult::Ok);
    EXPECT_FALSE(enabled(dialog, "secondOrderCount"));
    EXPECT_FALSE(acceptAndCommit(dialog).schmidLeiman);
}

TEST_F(ConfigurationTest, PolychoricReplacesMlEnablesIrtAndWidensTheScoreRange) {
    settings.extractionMethod = ML;
    settings.lowestScore = 2;
    settings.highestScore = 4;
    ConfigurationDialog dialog = open(9);  // observed 1..5
    dialog.set("factorCount", "1");
    EXPECT_FALSE(enabled(dialog, "lowestScore"));
    EXPECT_FALSE(enabled(dialog, "irtParameterization"));

    ASSERT_EQ(dialog.set("dispersionType", "Polychoric"), SetResult::Ok);
    EXPECT_EQ(value(dialog, "extractionMethod"), std::to_string(ULS));
    EXPECT_EQ(dialog.set("extractionMethod", "ML"), SetResult::Disabled);
    for (const char* key : {"lowestScore", "highestScore", "irtParameterization"})
        EXPECT_TRUE(enabled(dialog, key)) << key;
    ASSERT_EQ(dialog.set("irtParameterization", "on"), SetResult::Ok);
    AnalysisSettings out = acceptAndCommit(dialog);
    EXPECT_TRUE(out.irtParameterization);
    EXPECT_EQ(out.lowestScore, 1);
    EXPECT_EQ(out.highestScore, 5);
    EXPECT_EQ(value(dialog, "highestScore"), "5");
    // A range equal to the data's, or wider, is the user's to choose.
    for (const auto& [low, high] : {std::pair{1, 5}, std::pair{0, 7}}) {
        ws.messages.clear();
        dialog.set("lowestScore", std::to_string(low));
        dialog.set("highestScore", std::to_string(high));
        out = acceptAndCommit(dialog);
        EXPECT_TRUE(ws.messages.empty()) << low << ".." << high;
        EXPECT_EQ(out.lowestScore, low);
        EXPECT_EQ(out.highestScore, high);
    }

    // Back to Pearson: ML is offered again but not re-selected, and IRT is
    // dropped although the box keeps its tick.
    ASSERT_EQ(dialog.set("dispersionType", "pearson"), SetResult::Ok);
    EXPECT_EQ(value(dialog, "extractionMethod"), std::to_string(ULS));
    EXPECT_FALSE(enabled(dialog, "lowestScore"));
    EXPECT_EQ(value(dialog, "irtParameterization"), "1");
    EXPECT_FALSE(acceptAndCommit(dialog).irtParameterization);
    EXPECT_EQ(dialog.set("extractionMethod", "ML"), SetResult::Ok);
}

TEST_F(ConfigurationTest, PcaDisablesHullAndFallsBackToClassicalParallelAnalysis) {
    settings.factorCountProcedure = Hull;
    settings.paRandomMatrices = 1000;
    ConfigurationDialog dialog = open(9);
    dialog.set("factorCount", "2");
    EXPECT_TRUE(buttonEnabled(dialog, "configureHull"));
    EXPECT_FALSE(buttonEnabled(dialog, "configureParallelAnalysis"));

    ASSERT_EQ(dialog.set("extractionMethod", "pca"), SetResult::Ok);
    EXPECT_EQ(value(dialog, "factorCountProcedure"), std::to_string(ParallelAnalysis));
    EXPECT_EQ(dialog.set("factorCountProcedure", "Hull"), SetResult::Disabled);
    EXPECT_TRUE(buttonEnabled(dialog, "configureParallelAnalysis"));
    EXPECT_FALSE(dialog.press("configureHull", {}, ws));
    const AnalysisSettings out = acceptAndCommit(dialog);
    EXPECT_EQ(out.paImplementation, 1);
    EXPECT_EQ(out.paRandomMatrices, 500);
    EXPECT_EQ(out.paGeneration, 0);
}

TEST_F(ConfigurationTest, UserMatrixDisablesScoresPersonFitAndPermutation) {
    settings.dispersionType = UserMatrix;
    settings.saveFactorScores = settings.personFit = true;
    ConfigurationDialog dialog = open(9, 300);
    dialog.set("factorCount", "3");
    EXPECT_EQ(dialog.set("dispersionType", "pearson"), SetResult::Disabled);
    for (const char* key : {"saveFactorScores", "personFit", "lowestScore", "highestScore"})
        EXPECT_FALSE(enabled(dialog, key)) << key;
    // With a sample size every procedure stays available.
    EXPECT_EQ(dialog.set("factorCountProcedure", "hull"), SetResult::Ok);
    EXPECT_EQ(dialog.set("factorCountProcedure", "PA"), SetResult::Ok);
    const AnalysisSettings out = acceptAndCommit(dialog);
    EXPECT_EQ(out.dispersionType, UserMatrix);
    EXPECT_FALSE(out.saveFactorScores);
    EXPECT_FALSE(out.personFit);
    EXPECT_EQ(out.paGeneration, 0);

    // Without a sample size only MAP is left.
    ConfigurationDialog noSample = open(9, 0);
    EXPECT_EQ(value(noSample, "factorCountProcedure"), std::to_string(MAP));
    EXPECT_EQ(noSample.set("factorCountProcedure", "PA"), SetResult::Disabled);
    EXPECT_EQ(noSample.set("factorCountProcedure", "Hull"), SetResult::Disabled);
    EXPECT_FALSE(buttonEnabled(noSample, "configureParallelAnalysis"));
}

TEST_F(ConfigurationTest, FactorCountGatesExtractionAndRotationControls) {
    ConfigurationDialog dialog = open(12);
    dialog.set("dispersionType", "polychoric");
    const char* const extractionKeys[] = {"extractionMethod", "irtParameterization",
                                          "saveFactorScores", "personFit"};
    const char* const rotationKeys[] = {"rotationKind", "simplicityRotation", "secondOrderCount"};
    for (int factors : {0, 1, 2}) {
        dialog.set("factorCount", std::to_string(factors));
        for (const char* key : extractionKeys) EXPECT_EQ(enabled(dialog, key), factors >= 1) << key;
        for (const char* key : rotationKeys) EXPECT_EQ(enabled(dialog, key), factors >= 2) << key;
        EXPECT_EQ(buttonEnabled(dialog, "configureRotation"), factors >= 2);
        EXPECT_TRUE(enabled(dialog, "glbOmega"));
    }
    EXPECT_EQ(dialog.set("extractionMethod", "ML"), SetResult::Disabled);  // still polychoric
    dialog.set("factorCount", "1");
    EXPECT_FALSE(dialog.press("configureRotation", {}, ws));
}

TEST_F(ConfigurationTest, TargetRotationAndObliquenessRules) {
    settings.factorCount = 3;
    settings.rotationKind = Target;  // as Read Data leaves it after a target
    data = makeData(12, 100);
    addTarget(data, 3);
    ConfigurationDialog dialog(settings, data, rotations);
    EXPECT_EQ(value(dialog, "rotationKind"), std::to_string(Target));
    ASSERT_EQ(dialog.set("targetRotation", "orthogonal"), SetResult::Ok);
    EXPECT_FALSE(enabled(dialog, "secondOrderCount"));
    dialog.set("targetRotation", "oblique");
    EXPECT_TRUE(enabled(dialog, "secondOrderCount"));

    // Only while the factor count matches the target's columns; available
    // again afterwards, but not chosen again.
    dialog.set("factorCount", "2");
    EXPECT_EQ(value(dialog, "rotationKind"), std::to_string(Simplicity));
    EXPECT_EQ(dialog.set("rotationKind", "target"), SetResult::Disabled);
    EXPECT_FALSE(enabled(dialog, "targetRotation"));
    dialog.set("factorCount", "3");
    EXPECT_EQ(value(dialog, "rotationKind"), std::to_string(Simplicity));

    // Simplicity methods from Direct Quartimin (16) on are oblique.
    dialog.set("simplicityRotation", "15");
    EXPECT_FALSE(enabled(dialog, "secondOrderCount"));
    dialog.set("simplicityRotation", "16");
    EXPECT_TRUE(enabled(dialog, "secondOrderCount"));
    EXPECT_EQ(dialog.set("rotationKind", "Target"), SetResult::Ok);
}

TEST_F(ConfigurationTest, VariableListsStayInOrderAndCommitOnlyOnOk) {
    data = makeData(5, 100);
    data.variableList[4][1] = 0.0;  // excluded before: shown excluded
    ConfigurationDialog dialog(settings, data, rotations);
    EXPECT_EQ(listItems(dialog, "excluded"), Messages{"V5"});
    ASSERT_TRUE(dialog.press("include", {"5"}, ws));
    ASSERT_TRUE(dialog.press("exclude", {"4", "2"}, ws));
    EXPECT_EQ(listItems(dialog, "included"), (Messages{"V1", "V3", "V5"}));
    EXPECT_EQ(listItems(dialog, "excluded"), (Messages{"V2", "V4"}));

    // Numbers out of range or not in the list they would leave change nothing.
    EXPECT_FALSE(dialog.press("exclude", {"2"}, ws));
    EXPECT_FALSE(dialog.press("exclude", {"1", "6"}, ws));
    EXPECT_FALSE(dialog.press("include", {"0"}, ws));
    EXPECT_FALSE(dialog.press("include", {}, ws));
    EXPECT_EQ(dialog.includedCount(), 3);
    ASSERT_TRUE(dialog.press("include", {"4"}, ws));
    EXPECT_EQ(data.variableList[4][1], 0.0);  // not before OK

    acceptAndCommit(dialog);
    const double expected[] = {1, 0, 1, 1, 1};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(data.variableList[i][1], expected[i]) << i;
}

// The derived values: the parallel-analysis variant from the table of
// variants (first matching row), the optimal Hull index from the extraction;
// another procedure leaves them as they were.
TEST_F(ConfigurationTest, DerivedParallelAnalysisVariantAndHullIndex) {
    struct Case {
        DispersionType dispersion;
        ExtractionMethod extraction;
        int implementation, generation, expected;
        FactorCountProcedure procedure = ParallelAnalysis;
    };
    const auto Pe = PearsonCorrelation, Po = PolychoricCorrelation, Co = Covariance;
    const Case cases[] = {
        {Pe, ULS, 1, 1, 2}, {Po, PCA, 1, 0, 2}, {UserMatrix, MRFA, 1, 0, 2}, {Co, PCA, 1, 1, 2},
        {UserMatrix, PCA, 0, 0, 6}, {UserMatrix, ULS, 0, 0, 16}, {UserMatrix, MRFA, 0, 0, 16},
        {Co, PCA, 0, 1, 5}, {Pe, PCA, 0, 1, 5}, {Co, PCA, 0, 0, 6}, {Pe, PCA, 0, 0, 6},
        {Po, PCA, 0, 1, 8}, {Po, PCA, 0, 0, 8},
        {Pe, ULS, 0, 1, 15}, {Co, ML, 0, 1, 15}, {Pe, MRFA, 0, 1, 15}, {Pe, ML, 0, 0, 16},
        {Co, ULS, 0, 0, 16}, {Po, ULS, 0, 1, 18}, {Po, MRFA, 0, 0, 18},
        {Po, ULS, 1, 0, -1, MAP},
        {Pe, MRFA, 0, 1, CAF, Hull}, {Pe, ULS, 0, 1, CFI, Hull}, {Pe, ML, 0, 1, CFI, Hull},
    };
    for (const Case& c : cases) {
        settings.dispersionType = c.dispersion;
        settings.extractionMethod = c.extraction;
        settings.paImplementation = c.implementation;
        settings.paGeneration = c.generation;
        settings.factorCountProcedure = c.procedure;
        settings.hullIndexChoice = Optimal;
        settings.paVariant = -1;
        settings.hullIndex = RMSEA;
        ConfigurationDialog dialog = open(9);
        const AnalysisSettings out = acceptAndCommit(dialog);
        EXPECT_EQ(c.procedure == Hull ? static_cast<int>(out.hullIndex) : out.paVariant, c.expected)
            << c.dispersion << " " << c.extraction << " " << c.implementation << c.generation;
        if (c.procedure == Hull) {
            EXPECT_EQ(out.paVariant, -1);
        }
    }
}

using Titles = std::vector<std::string>;

class ConfigureCommand : public ConfigurationTest {
protected:
    void SetUp() override {
        ConfigurationTest::SetUp();
        session.data = makeData(9, 120);
        session.settings.dispersionType = DispersionNotChosen;
    }
    AnalysisSession session;
};

TEST_F(ConfigureCommand, CancelDiscardsEverythingAndOkCommitsWithDerivedValues) {
    ws.dialogSteps.push_back([](DialogModel& d, ScriptedWindowSystem& w) {
        d.set("factorCount", "3");
        EXPECT_TRUE(d.press("exclude", {"1"}, w));
        EXPECT_TRUE(d.press("configureParallelAnalysis", {}, w));  // accepted below
        return DialogAnswer::Cancel;
    });
    ws.dialogSteps.push_back(setAndOk({{"paImplementation", "classical"}}));
    configureCommand(session, ws);
    EXPECT_EQ(ws.dialogTitles, (Titles{"Configuration", "Configuration of Parallel Analysis"}));
    EXPECT_FALSE(session.configured);
    EXPECT_EQ(session.settings.dispersionType, DispersionNotChosen);
    EXPECT_EQ(session.settings.factorCount, 0);
    EXPECT_EQ(session.settings.paImplementation, 0);
    EXPECT_EQ(session.data.variableList[0][1], 1.0);
    EXPECT_EQ(ws.statusHistory, Titles{""});

    ws.status[0] = "Ready!";
    ws.dialogSteps.push_back([](DialogModel& d, ScriptedWindowSystem& w) {
        EXPECT_EQ(w.status[0], "");  // cleared before the dialog shows
        d.set("factorCount", "3");
        d.set("extractionMethod", "PCA");
        return DialogAnswer::Ok;
    });
    configureCommand(session, ws);
    EXPECT_TRUE(session.configured);
    EXPECT_EQ(session.settings.dispersionType, PearsonCorrelation);
    EXPECT_EQ(session.settings.factorCount, 3);
    EXPECT_EQ(session.settings.paVariant, 5);  // Pearson, PCA, permutation
    EXPECT_EQ(ws.statusHistory, (Titles{"", "", "Ready!"}));
}

TEST_F(ConfigureCommand, SubDialogValuesReachTheSettingsOnlyThroughOk) {
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
              (Titles{"Configuration", "Configuration of Parallel Analysis",
                      "Configuration of Parallel Analysis", "The Hull method", "Rotation"}));
    ASSERT_TRUE(session.configured);
    EXPECT_EQ(session.settings.paRandomMatrices, 750);
    EXPECT_EQ(session.settings.paGeneration, 0);
    EXPECT_EQ(session.settings.hullIndex, RMSEA);
    EXPECT_FLOAT_EQ(session.settings.salientThreshold, 0.4f);
    // The Rotation dialog edited the record of the method chosen then (Promin).
    EXPECT_EQ(session.rotations.simplicity[kPromin].randomStarts, 20);
    EXPECT_EQ(session.rotations.simplicity[kSimplimax].randomStarts, 100);
}

TEST_F(ConfigureCommand, RotationRecordOfATargetMethodIsKeptEvenOnCancel) {
    addTarget(session.data, 3);
    ws.dialogSteps.push_back([](DialogModel& d, ScriptedWindowSystem& w) {
        d.set("factorCount", "3");
        d.set("rotationKind", "target");
        d.set("targetRotation", "orthogonal");
        EXPECT_TRUE(d.press("configureRotation", {}, w));
        return DialogAnswer::Cancel;
    });
    ws.dialogSteps.push_back([](DialogModel& d, ScriptedWindowSystem&) {
        EXPECT_EQ(d.find("cleverStart")->options.size(), 1u);  // only "None"
        d.set("maxIterations", "300");
        return DialogAnswer::Ok;
    });
    configureCommand(session, ws);
    EXPECT_FALSE(session.configured);
    EXPECT_EQ(session.rotations.target[OrthogonalTarget].maxIterations, 300);
    EXPECT_EQ(session.rotations.target[ObliqueTarget].maxIterations, 100);
}

TEST_F(ConfigureCommand, RebuildsCompleteCasesWhenAMissingCodeIsInUse) {
    DataSet& d = session.data = makeData(3, 4);
    d.missingCodeEnabled = true;
    d.missingCode = 999;
    // Rows 2 and 4 hold the code; the complete rows span scores 2..6.
    d.rawScores = fromRows({{2, 3, 4}, {999, 1, 1}, {5, 6, 3}, {0, 999, 9}});
    d.missingMask = fromRows({{0, 0, 0}, {1, 0, 0}, {0, 0, 0}, {0, 1, 0}});
    d.rowNumbers = {1, 2, 3, 4};
    ws.dialogSteps.push_back([](DialogModel& dialog, ScriptedWindowSystem&) {
        EXPECT_EQ(dialog.find("lowestScore")->value, "2");
        EXPECT_EQ(dialog.find("highestScore")->value, "6");
        return DialogAnswer::Cancel;
    });
    configureCommand(session, ws);
    EXPECT_EQ(d.participantCount, 2);
    EXPECT_EQ(session.settings.highestScore, 6);
}

}  // namespace
}  // namespace talvex::testing
