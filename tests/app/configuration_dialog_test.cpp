#include "app/configuration_dialog.h"

#include <gtest/gtest.h>

#include "configuration_fixture.h"

namespace talvex::testing {
namespace {

using Messages = std::vector<std::string>;

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

using ConfigurationChecks = ConfigurationTest;

TEST_F(ConfigurationChecks, NineVariablesCarryThreeFactorsButEightDoNot) {
    DataSet data = makeData(9, 200);
    ConfigurationDialog dialog(settings, data, rotations);
    ASSERT_EQ(dialog.set("factorCount", "3"), SetResult::Ok);
    EXPECT_TRUE(dialog.accept(ws));  // 9 / 3 = 3.0 exactly
    EXPECT_TRUE(ws.messages.empty());

    ASSERT_TRUE(dialog.press("exclude", {"9"}, ws));
    EXPECT_FALSE(dialog.accept(ws));
    ASSERT_EQ(ws.messages.size(), 1u);
    EXPECT_EQ(ws.messages[0].text, kTooFewVariables);
    EXPECT_EQ(ws.messages[0].icon, MessageIcon::Error);
    EXPECT_EQ(dialog.focus(), "factorCount");
    EXPECT_TRUE(dialog.find("factorCount")->highlighted);

    // The highlight goes with the next successful check.
    ASSERT_EQ(dialog.set("factorCount", "2"), SetResult::Ok);
    EXPECT_TRUE(dialog.accept(ws));
    EXPECT_FALSE(dialog.find("factorCount")->highlighted);
    EXPECT_EQ(dialog.focus(), "");
}

TEST_F(ConfigurationChecks, NoVariablesAndNoFactorsFailTheSecondCheck) {
    // 0 / 0 is not below 3 in floating point, so only the second check sees it.
    DataSet data = makeData(3, 100);
    ConfigurationDialog dialog(settings, data, rotations);
    ASSERT_TRUE(dialog.press("exclude", {"1", "2", "3"}, ws));
    EXPECT_FALSE(dialog.accept(ws));
    EXPECT_EQ(ws.messageTexts(), Messages{kTooManyFactors});
    EXPECT_EQ(ws.messages[0].icon, MessageIcon::Error);
    EXPECT_EQ(dialog.focus(), "factorCount");
}

TEST_F(ConfigurationChecks, NoFactorsWarnsAndCloses) {
    DataSet data = makeData(6, 100);
    ConfigurationDialog dialog(settings, data, rotations);
    EXPECT_TRUE(dialog.accept(ws));
    ASSERT_EQ(ws.messageTexts(), Messages{kNoFactors});
    EXPECT_EQ(ws.messages[0].icon, MessageIcon::Exclamation);
    AnalysisSettings out;
    dialog.commit(out, data);
    EXPECT_EQ(out.factorCount, 0);
}

TEST_F(ConfigurationChecks, NegativeFactorCountFailsTheFirstCheck) {
    DataSet data = makeData(6, 100);
    ConfigurationDialog dialog(settings, data, rotations);
    dialog.set("factorCount", "-1");
    EXPECT_FALSE(dialog.accept(ws));
    EXPECT_EQ(ws.messageTexts(), Messages{kTooFewVariables});
}

TEST_F(ConfigurationChecks, UnparsableEditsAreRefusedBeforeAnyCheck) {
    DataSet data = makeData(8, 100);  // 8 / 3 would also fail the first check
    ConfigurationDialog dialog(settings, data, rotations);
    dialog.set("factorCount", "3x");
    EXPECT_FALSE(dialog.accept(ws));
    EXPECT_EQ(ws.messageTexts(), Messages{"Please enter an integer."});
    EXPECT_EQ(dialog.focus(), "factorCount");

    ws.messages.clear();
    dialog.set("factorCount", "");
    EXPECT_FALSE(dialog.accept(ws));
    EXPECT_EQ(ws.messageTexts(), Messages{"Please enter an integer."});
}

TEST_F(ConfigurationChecks, SecondOrderCountIsCheckedOnlyForObliqueSimplicityMethods) {
    DataSet data = makeData(12, 100);
    ConfigurationDialog dialog(settings, data, rotations);
    dialog.set("factorCount", "3");
    ASSERT_EQ(dialog.set("simplicityRotation", "Promin"), SetResult::Ok);
    ASSERT_EQ(dialog.set("secondOrderCount", "-1"), SetResult::Ok);
    EXPECT_FALSE(dialog.accept(ws));
    EXPECT_EQ(ws.messageTexts(), Messages{kNegativeSecondOrder});
    EXPECT_EQ(dialog.focus(), "secondOrderCount");

    ws.messages.clear();
    dialog.set("secondOrderCount", "3");
    EXPECT_FALSE(dialog.accept(ws));
    EXPECT_EQ(ws.messageTexts(), Messages{kTooManySecondOrder});
    EXPECT_EQ(dialog.focus(), "secondOrderCount");

    ws.messages.clear();
    dialog.set("secondOrderCount", "2");
    EXPECT_TRUE(dialog.accept(ws));
    EXPECT_TRUE(ws.messages.empty());
    AnalysisSettings out;
    dialog.commit(out, data);
    EXPECT_TRUE(out.schmidLeiman);
    EXPECT_EQ(out.secondOrderCount, 2);

    // An orthogonal method disables the edit; its value stays but neither
    // the checks nor the Schmid-Leiman solution use it.
    dialog.set("secondOrderCount", "5");
    ASSERT_EQ(dialog.set("simplicityRotation", "Normalized Varimax"), SetResult::Ok);
    EXPECT_FALSE(enabled(dialog, "secondOrderCount"));
    EXPECT_TRUE(dialog.accept(ws));
    dialog.commit(out, data);
    EXPECT_FALSE(out.schmidLeiman);
}

TEST_F(ConfigurationChecks, FirstFailingCheckIsTheOnlyMessage) {
    DataSet data = makeData(8, 100);
    ConfigurationDialog dialog(settings, data, rotations);
    dialog.set("factorCount", "3");
    dialog.set("simplicityRotation", "28");
    dialog.set("secondOrderCount", "-4");
    EXPECT_FALSE(dialog.accept(ws));
    EXPECT_EQ(ws.messageTexts(), Messages{kTooFewVariables});
}

TEST_F(ConfigurationChecks, PolychoricScoreRangeIsWidenedToTheObservedScores) {
    DataSet data = makeData(6, 100);  // observed 1..5
    settings.lowestScore = 2;
    settings.highestScore = 4;
    ConfigurationDialog dialog(settings, data, rotations);
    ASSERT_EQ(dialog.set("dispersionType", "polychoric"), SetResult::Ok);
    // No factors: the warning comes first and does not stop the adjustments.
    EXPECT_TRUE(dialog.accept(ws));
    EXPECT_EQ(ws.messageTexts(), (Messages{kNoFactors,
                                           "The highest possible items score is adjusted to the data.",
                                           "The lowest possible items score is adjusted to the data."}));
    for (const auto& m : ws.messages) EXPECT_EQ(m.icon, MessageIcon::Exclamation);
    AnalysisSettings out;
    dialog.commit(out, data);
    EXPECT_EQ(out.lowestScore, 1);
    EXPECT_EQ(out.highestScore, 5);
    EXPECT_EQ(value(dialog, "highestScore"), "5");

    // A range wider than the data is the user's to choose.
    ws.messages.clear();
    dialog.set("factorCount", "2");
    dialog.set("lowestScore", "0");
    dialog.set("highestScore", "7");
    EXPECT_TRUE(dialog.accept(ws));
    EXPECT_TRUE(ws.messages.empty());
    dialog.commit(out, data);
    EXPECT_EQ(out.lowestScore, 0);
    EXPECT_EQ(out.highestScore, 7);
}

TEST_F(ConfigurationChecks, PearsonLeavesTheScoreRangeAlone) {
    DataSet data = makeData(6, 100);
    settings.lowestScore = 2;
    settings.highestScore = 4;
    ConfigurationDialog dialog(settings, data, rotations);
    EXPECT_TRUE(dialog.accept(ws));
    EXPECT_EQ(ws.messageTexts(), Messages{kNoFactors});
    AnalysisSettings out;
    dialog.commit(out, data);
    EXPECT_EQ(out.lowestScore, 2);
    EXPECT_EQ(out.highestScore, 4);
}

using ConfigurationRules = ConfigurationTest;

TEST_F(ConfigurationRules, PolychoricDisablesMlAndSwitchesItToUls) {
    settings.extractionMethod = ML;
    DataSet data = makeData(9, 100);
    ConfigurationDialog dialog(settings, data, rotations);
    dialog.set("factorCount", "2");
    EXPECT_FALSE(enabled(dialog, "lowestScore"));
    EXPECT_FALSE(enabled(dialog, "irtParameterization"));

    ASSERT_EQ(dialog.set("dispersionType", "Polychoric"), SetResult::Ok);
    EXPECT_EQ(value(dialog, "extractionMethod"), std::to_string(ULS));
    EXPECT_EQ(dialog.set("extractionMethod", "ML"), SetResult::Disabled);
    EXPECT_TRUE(enabled(dialog, "lowestScore"));
    EXPECT_TRUE(enabled(dialog, "highestScore"));
    EXPECT_TRUE(enabled(dialog, "irtParameterization"));

    // Back to Pearson: ML is offered again (but not re-selected), scores
    // and IRT are off.
    ASSERT_EQ(dialog.set("dispersionType", "covariance"), SetResult::Ok);
    EXPECT_EQ(value(dialog, "extractionMethod"), std::to_string(ULS));
    EXPECT_EQ(dialog.set("extractionMethod", "ML"), SetResult::Ok);
    EXPECT_FALSE(enabled(dialog, "lowestScore"));
    EXPECT_FALSE(enabled(dialog, "irtParameterization"));
}

TEST_F(ConfigurationRules, IrtIsKeptOnlyWithPolychoricCorrelation) {
    DataSet data = makeData(9, 100);
    ConfigurationDialog dialog(settings, data, rotations);
    dialog.set("factorCount", "1");
    dialog.set("dispersionType", "polychoric");
    ASSERT_EQ(dialog.set("irtParameterization", "on"), SetResult::Ok);
    ASSERT_TRUE(dialog.accept(ws));
    AnalysisSettings out;
    dialog.commit(out, data);
    EXPECT_TRUE(out.irtParameterization);

    dialog.set("dispersionType", "pearson");
    EXPECT_EQ(value(dialog, "irtParameterization"), "1");  // the box keeps its tick
    ASSERT_TRUE(dialog.accept(ws));
    dialog.commit(out, data);
    EXPECT_FALSE(out.irtParameterization);
}

TEST_F(ConfigurationRules, PcaDisablesHullAndFallsBackToClassicalParallelAnalysis) {
    settings.factorCountProcedure = Hull;
    settings.paImplementation = 0;
    settings.paRandomMatrices = 1000;
    settings.paGeneration = 1;
    DataSet data = makeData(9, 100);
    ConfigurationDialog dialog(settings, data, rotations);
    dialog.set("factorCount", "2");
    EXPECT_TRUE(buttonEnabled(dialog, "configureHull"));
    EXPECT_FALSE(buttonEnabled(dialog, "configureParallelAnalysis"));

    ASSERT_EQ(dialog.set("extractionMethod", "pca"), SetResult::Ok);
    EXPECT_EQ(value(dialog, "factorCountProcedure"), std::to_string(ParallelAnalysis));
    EXPECT_EQ(dialog.set("factorCountProcedure", "Hull"), SetResult::Disabled);
    EXPECT_FALSE(buttonEnabled(dialog, "configureHull"));
    EXPECT_TRUE(buttonEnabled(dialog, "configureParallelAnalysis"));
    EXPECT_FALSE(dialog.press("configureHull", {}, ws));

    ASSERT_TRUE(dialog.accept(ws));
    AnalysisSettings out;
    dialog.commit(out, data);
    EXPECT_EQ(out.paImplementation, 1);
    EXPECT_EQ(out.paRandomMatrices, 500);
    EXPECT_EQ(out.paGeneration, 0);
    EXPECT_EQ(out.paVariant, 2);
}

TEST_F(ConfigurationRules, UserMatrixDisablesScoresPersonFitAndPermutation) {
    settings.dispersionType = UserMatrix;
    settings.saveFactorScores = true;
    settings.personFit = true;
    settings.paGeneration = 1;
    DataSet data = makeData(9, 300);
    ConfigurationDialog dialog(settings, data, rotations);
    dialog.set("factorCount", "3");
    EXPECT_FALSE(enabled(dialog, "dispersionType"));
    EXPECT_EQ(dialog.set("dispersionType", "pearson"), SetResult::Disabled);
    EXPECT_EQ(value(dialog, "saveFactorScores"), "0");
    EXPECT_EQ(value(dialog, "personFit"), "0");
    EXPECT_FALSE(enabled(dialog, "saveFactorScores"));
    EXPECT_FALSE(enabled(dialog, "personFit"));
    EXPECT_FALSE(enabled(dialog, "lowestScore"));
    EXPECT_FALSE(enabled(dialog, "highestScore"));
    // With a sample size every procedure stays available.
    EXPECT_EQ(dialog.set("factorCountProcedure", "hull"), SetResult::Ok);
    EXPECT_EQ(dialog.set("factorCountProcedure", "PA"), SetResult::Ok);

    ASSERT_TRUE(dialog.accept(ws));
    AnalysisSettings out;
    dialog.commit(out, data);
    EXPECT_EQ(out.dispersionType, UserMatrix);
    EXPECT_FALSE(out.saveFactorScores);
    EXPECT_FALSE(out.personFit);
    EXPECT_EQ(out.paGeneration, 0);
}

TEST_F(ConfigurationRules, UserMatrixWithoutSampleSizeForcesMap) {
    settings.dispersionType = UserMatrix;
    settings.factorCountProcedure = ParallelAnalysis;
    DataSet data = makeData(9, 0);
    ConfigurationDialog dialog(settings, data, rotations);
    EXPECT_EQ(value(dialog, "factorCountProcedure"), std::to_string(MAP));
    EXPECT_EQ(dialog.set("factorCountProcedure", "PA"), SetResult::Disabled);
    EXPECT_EQ(dialog.set("factorCountProcedure", "Hull"), SetResult::Disabled);
    EXPECT_FALSE(buttonEnabled(dialog, "configureParallelAnalysis"));
    EXPECT_FALSE(buttonEnabled(dialog, "configureHull"));
}

TEST_F(ConfigurationRules, FactorCountGatesExtractionAndRotationControls) {
    DataSet data = makeData(12, 100);
    ConfigurationDialog dialog(settings, data, rotations);
    dialog.set("dispersionType", "polychoric");
    const char* const extractionKeys[] = {"extractionMethod", "irtParameterization",
                                          "saveFactorScores", "personFit"};
    const char* const rotationKeys[] = {"rotationKind", "simplicityRotation", "secondOrderCount"};

    dialog.set("factorCount", "0");
    for (const char* key : extractionKeys) EXPECT_FALSE(enabled(dialog, key)) << key;
    for (const char* key : rotationKeys) EXPECT_FALSE(enabled(dialog, key)) << key;
    EXPECT_TRUE(enabled(dialog, "glbOmega"));

    dialog.set("factorCount", "1");
    for (const char* key : extractionKeys) EXPECT_TRUE(enabled(dialog, key)) << key;
    for (const char* key : rotationKeys) EXPECT_FALSE(enabled(dialog, key)) << key;
    EXPECT_FALSE(buttonEnabled(dialog, "configureRotation"));
    EXPECT_FALSE(dialog.press("configureRotation", {}, ws));
    EXPECT_EQ(dialog.set("simplicityRotation", "Varimax"), SetResult::Disabled);

    dialog.set("factorCount", "2");
    for (const char* key : rotationKeys) EXPECT_TRUE(enabled(dialog, key)) << key;  // Promin
    EXPECT_TRUE(buttonEnabled(dialog, "configureRotation"));
    // ML stays off for polychoric correlation whatever the number of factors.
    EXPECT_EQ(dialog.set("extractionMethod", "ML"), SetResult::Disabled);
}

TEST_F(ConfigurationRules, SecondOrderEditFollowsObliqueness) {
    DataSet data = makeData(12, 100);
    addTarget(data, 3);
    ConfigurationDialog dialog(settings, data, rotations);
    dialog.set("factorCount", "3");
    dialog.set("simplicityRotation", "15");  // Weighted Orthosim, orthogonal
    EXPECT_FALSE(enabled(dialog, "secondOrderCount"));
    dialog.set("simplicityRotation", "16");  // Direct Quartimin, oblique
    EXPECT_TRUE(enabled(dialog, "secondOrderCount"));
    dialog.set("rotationKind", "target");
    dialog.set("targetRotation", "orthogonal");
    EXPECT_FALSE(enabled(dialog, "secondOrderCount"));
    dialog.set("targetRotation", "oblique");
    EXPECT_TRUE(enabled(dialog, "secondOrderCount"));
}

TEST_F(ConfigurationRules, TargetRotationOnlyWhileFactorCountMatchesTargetColumns) {
    DataSet data = makeData(12, 100);
    addTarget(data, 3);
    settings.factorCount = 3;
    settings.rotationKind = Target;  // as Read Data leaves it after a target
    ConfigurationDialog dialog(settings, data, rotations);
    EXPECT_EQ(value(dialog, "rotationKind"), std::to_string(Target));
    EXPECT_TRUE(enabled(dialog, "targetRotation"));

    dialog.set("factorCount", "2");
    EXPECT_EQ(value(dialog, "rotationKind"), std::to_string(Simplicity));
    EXPECT_EQ(dialog.set("rotationKind", "target"), SetResult::Disabled);
    EXPECT_FALSE(enabled(dialog, "targetRotation"));

    // Available again, but not chosen again.
    dialog.set("factorCount", "3");
    EXPECT_EQ(value(dialog, "rotationKind"), std::to_string(Simplicity));
    EXPECT_EQ(dialog.set("rotationKind", "Target"), SetResult::Ok);
}

TEST_F(ConfigurationRules, SimplicityMethodsAreChosenByNameIgnoringCase) {
    DataSet data = makeData(12, 100);
    ConfigurationDialog dialog(settings, data, rotations);
    dialog.set("factorCount", "3");
    EXPECT_EQ(dialog.set("simplicityRotation", "weighted varimax"), SetResult::Ok);
    EXPECT_EQ(value(dialog, "simplicityRotation"), "6");
    EXPECT_EQ(dialog.set("simplicityRotation", "NORMALIZED DIRECT QUARTIMIN"), SetResult::Ok);
    EXPECT_EQ(value(dialog, "simplicityRotation"), "17");
    EXPECT_EQ(dialog.set("simplicityRotation", "29"), SetResult::Ok);
    EXPECT_EQ(dialog.set("simplicityRotation", "30"), SetResult::BadValue);
    EXPECT_EQ(dialog.set("simplicityRotation", "Varimax"), SetResult::BadValue);
}

using ConfigurationVariables = ConfigurationTest;

TEST_F(ConfigurationVariables, ListsStayInVariableOrderAndCommitOnlyOnRequest) {
    DataSet data = makeData(5, 100);
    ConfigurationDialog dialog(settings, data, rotations);
    EXPECT_EQ(listItems(dialog, "included"), (Messages{"V1", "V2", "V3", "V4", "V5"}));
    EXPECT_TRUE(listItems(dialog, "excluded").empty());

    ASSERT_TRUE(dialog.press("exclude", {"4", "2"}, ws));
    EXPECT_EQ(listItems(dialog, "included"), (Messages{"V1", "V3", "V5"}));
    EXPECT_EQ(listItems(dialog, "excluded"), (Messages{"V2", "V4"}));
    EXPECT_EQ(dialog.includedCount(), 3);

    // Numbers out of range or not in the list they would leave change nothing.
    EXPECT_FALSE(dialog.press("exclude", {"2"}, ws));
    EXPECT_FALSE(dialog.press("exclude", {"1", "6"}, ws));
    EXPECT_FALSE(dialog.press("include", {"0"}, ws));
    EXPECT_FALSE(dialog.press("include", {}, ws));
    EXPECT_EQ(dialog.includedCount(), 3);

    ASSERT_TRUE(dialog.press("include", {"4"}, ws));
    EXPECT_EQ(listItems(dialog, "included"), (Messages{"V1", "V3", "V4", "V5"}));
    EXPECT_EQ(data.variableList[1][1], 1.0);  // not before OK

    ASSERT_TRUE(dialog.accept(ws));
    dialog.commit(settings, data);
    const double expected[] = {1, 0, 1, 1, 1};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(data.variableList[i][1], expected[i]) << i;
}

TEST_F(ConfigurationVariables, ExcludedVariablesComeBackExcluded) {
    DataSet data = makeData(4, 100);
    data.variableList[2][1] = 0.0;
    ConfigurationDialog dialog(settings, data, rotations);
    EXPECT_EQ(listItems(dialog, "excluded"), Messages{"V3"});
}

// Expected codes: the table of parallel-analysis variants, whose first
// matching row applies.
struct VariantCase {
    DispersionType dispersion;
    ExtractionMethod extraction;
    int implementation;
    int generation;
    int expected;
};

class ParallelAnalysisVariant : public ConfigurationTest,
                                public ::testing::WithParamInterface<VariantCase> {};

TEST_P(ParallelAnalysisVariant, FollowsTheVariantTable) {
    const VariantCase c = GetParam();
    settings.dispersionType = c.dispersion;
    settings.extractionMethod = c.extraction;
    settings.paImplementation = c.implementation;
    settings.paGeneration = c.generation;
    settings.paVariant = -1;
    DataSet data = makeData(9, 100);
    ConfigurationDialog dialog(settings, data, rotations);
    ASSERT_TRUE(dialog.accept(ws));
    AnalysisSettings out;
    dialog.commit(out, data);
    EXPECT_EQ(out.paVariant, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    EveryRow, ParallelAnalysisVariant,
    ::testing::Values(
        // Classical implementation, whatever the rest.
        VariantCase{PearsonCorrelation, ULS, 1, 1, 2}, VariantCase{PolychoricCorrelation, PCA, 1, 0, 2},
        VariantCase{UserMatrix, MRFA, 1, 0, 2}, VariantCase{Covariance, PCA, 1, 1, 2},
        // User matrix.
        VariantCase{UserMatrix, PCA, 0, 0, 6}, VariantCase{UserMatrix, ULS, 0, 0, 16},
        VariantCase{UserMatrix, MRFA, 0, 0, 16},
        // Components.
        VariantCase{Covariance, PCA, 0, 1, 5}, VariantCase{PearsonCorrelation, PCA, 0, 1, 5},
        VariantCase{Covariance, PCA, 0, 0, 6}, VariantCase{PearsonCorrelation, PCA, 0, 0, 6},
        VariantCase{PolychoricCorrelation, PCA, 0, 1, 8}, VariantCase{PolychoricCorrelation, PCA, 0, 0, 8},
        // Factors.
        VariantCase{PearsonCorrelation, ULS, 0, 1, 15}, VariantCase{Covariance, ML, 0, 1, 15},
        VariantCase{PearsonCorrelation, MRFA, 0, 1, 15}, VariantCase{PearsonCorrelation, ML, 0, 0, 16},
        VariantCase{Covariance, ULS, 0, 0, 16}, VariantCase{PolychoricCorrelation, ULS, 0, 1, 18},
        VariantCase{PolychoricCorrelation, MRFA, 0, 0, 18}));

TEST_F(ConfigurationTest, VariantIsKeptWhenAnotherProcedureIsChosen) {
    settings.factorCountProcedure = MAP;
    settings.paImplementation = 1;
    settings.paVariant = 18;
    DataSet data = makeData(9, 100);
    ConfigurationDialog dialog(settings, data, rotations);
    ASSERT_TRUE(dialog.accept(ws));
    AnalysisSettings out;
    dialog.commit(out, data);
    EXPECT_EQ(out.paVariant, 18);
}

TEST_F(ConfigurationTest, OptimalHullIndexDependsOnTheExtraction) {
    settings.factorCountProcedure = Hull;
    settings.hullIndexChoice = Optimal;
    DataSet data = makeData(9, 100);
    const std::pair<const char*, HullIndex> cases[] = {
        {"MRFA", CAF}, {"ULS", CFI}, {"ML", CFI}};
    for (const auto& [method, expected] : cases) {
        ConfigurationDialog dialog(settings, data, rotations);
        dialog.set("factorCount", "1");
        ASSERT_EQ(dialog.set("extractionMethod", method), SetResult::Ok);
        ASSERT_TRUE(dialog.accept(ws));
        AnalysisSettings out;
        dialog.commit(out, data);
        EXPECT_EQ(out.hullIndex, expected) << method;
    }
}

}  // namespace
}  // namespace talvex::testing
