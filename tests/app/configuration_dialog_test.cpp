// The Configuration dialog's checks and rules on a DataSet filled by hand
// (as Read Data would leave it), its derived values, and the two dialogs it
// opens: Rotation and Parallel Analysis.
#include "app/configuration_dialog.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "app/parallel_analysis_dialog.h"
#include "app/rotation_dialog.h"

#include "support/matrix_testing.h"
#include "support/report_testing.h"
#include "support/scripted_window_system.h"
#include "support/temp_files.h"

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
    RotationDialog rotationDialog(int method, bool target) {
        RotationParameters* records = target ? rotations.target.data() : rotations.simplicity.data();
        return RotationDialog(records[method], 0.2f, method, target);
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
        // 0 / 0 is not below 3 in floating point: only the second check sees it.
        {3, 3, {}, false, {kTooManyFactors}, E, "factorCount"},
        // Text that is no integer is refused before the checks (8 / 3 would fail).
        {8, 0, {{"factorCount", "3x"}}, false, {"Please enter an integer."}, W, "factorCount"},
        {12, 0, {{"factorCount", "3"}, {"secondOrderCount", "-1"}}, false, {kNegativeSecondOrder},
         E, "secondOrderCount"},
        {12, 0, {{"factorCount", "3"}, {"secondOrderCount", "3"}}, false, {kTooManySecondOrder},
         E, "secondOrderCount"},
        // An orthogonal method leaves the second-order count unchecked.
        {12, 0, {{"factorCount", "3"}, {"secondOrderCount", "3"}, {"simplicityRotation", "15"}},
         true, {}, W, ""},
        // The advised number is checked by the run: 8 / 3 passes, and no warning.
        {8, 0, {{"factorCount", "3"}, {"useAdvisedFactorCount", "on"}}, true, {}, W, ""},
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
        {{{1, 2, 3}, {11, 9, 8}, {4, 5, 6}}, -1, false, "polychoric", eleven},
        {{{1, 2, 3}, {2, 2.5, 3}, {4, 5, 6}}, -1, false, "polychoric", notWhole},
        {{{1, 2, 3}, {2, 2.5, 3}, {4, 5, 6}}, 1, false, "polychoric", ""},
        {{{1, 2, 3}, {2, 2.5, 3}, {4, 5, 6}}, -1, false, "pearson", ""},
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

// Polychoric correlations need the score range: a narrower one than the
// data's is widened; one equal to the data's, or wider, is the user's.
TEST_F(ConfigurationTest, PolychoricWidensANarrowScoreRangeOnly) {
    settings.lowestScore = 2;
    settings.highestScore = 4;
    ConfigurationDialog dialog = open(9);  // observed 1..5
    dialog.set("factorCount", "1");
    ASSERT_EQ(dialog.set("dispersionType", "Polychoric"), SetResult::Ok);
    // Typed low and high, then committed (the two messages: ChecksOnOkInTheirOrder).
    const std::tuple<int, int, int, int> ranges[] = {{2, 4, 1, 5}, {1, 5, 1, 5}, {0, 7, 0, 7}};
    for (const auto& [low, high, lowAfter, highAfter] : ranges) {
        ws.messages.clear();
        dialog.set("lowestScore", std::to_string(low));
        dialog.set("highestScore", std::to_string(high));
        const AnalysisSettings out = acceptAndCommit(dialog);
        EXPECT_EQ(ws.messages.size(), low == 2 ? 2u : 0u) << low << ".." << high;
        EXPECT_EQ(std::pair(out.lowestScore, out.highestScore), std::pair(lowAfter, highAfter));
    }
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
    }
    EXPECT_EQ(dialog.set("extractionMethod", "ML"), SetResult::Disabled);  // still polychoric
    dialog.set("factorCount", "1");
    EXPECT_FALSE(dialog.press("configureRotation", {}, ws));
    // The advice replaces the typed number, unknown until the run: every
    // control is offered as for several factors.
    dialog.set("factorCount", "0");
    dialog.set("useAdvisedFactorCount", "on");
    EXPECT_FALSE(enabled(dialog, "factorCount"));
    for (const char* key : extractionKeys) EXPECT_TRUE(enabled(dialog, key)) << key;
    for (const char* key : rotationKeys) EXPECT_TRUE(enabled(dialog, key)) << key;
    EXPECT_TRUE(buttonEnabled(dialog, "configureRotation"));
    dialog.set("useAdvisedFactorCount", "off");
    EXPECT_TRUE(enabled(dialog, "factorCount"));
    EXPECT_FALSE(enabled(dialog, "extractionMethod"));
}

TEST_F(ConfigurationTest, TargetRotationOnlyWhileTheFactorsMatchItsColumns) {
    settings.factorCount = 3;
    settings.rotationKind = Target;  // as Read Data leaves it after a target
    data = makeData(12, 100);
    data.targetEnabled = true;
    data.targetMatrix = Matrix(12, 3);
    ConfigurationDialog dialog(settings, data, rotations);
    EXPECT_EQ(value(dialog, "rotationKind"), std::to_string(Target));
    // Only while the factor count matches the target's columns; available
    // again afterwards, but not chosen again.
    dialog.set("factorCount", "2");
    EXPECT_EQ(value(dialog, "rotationKind"), std::to_string(Simplicity));
    EXPECT_EQ(dialog.set("rotationKind", "target"), SetResult::Disabled);
    EXPECT_FALSE(enabled(dialog, "targetRotation"));
    dialog.set("factorCount", "3");
    EXPECT_EQ(value(dialog, "rotationKind"), std::to_string(Simplicity));
    EXPECT_EQ(dialog.set("rotationKind", "Target"), SetResult::Ok);
    // With the advice the run compares the columns with the advised number.
    dialog.set("factorCount", "2");
    dialog.set("useAdvisedFactorCount", "on");
    EXPECT_EQ(dialog.set("rotationKind", "target"), SetResult::Ok);
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
    EXPECT_EQ(data.variableList[4][1], 0.0);  // not before OK

    acceptAndCommit(dialog);
    const double expected[] = {1, 0, 1, 0, 1};
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
        {Pe, ULS, 1, 1, 2},  {UserMatrix, PCA, 0, 0, 6}, {UserMatrix, MRFA, 0, 0, 16}, {Co, PCA, 0, 1, 5},
        {Pe, PCA, 0, 0, 6},  {Po, PCA, 0, 1, 8},         {Pe, ULS, 0, 1, 15},          {Co, ML, 0, 0, 16},
        {Po, ULS, 0, 1, 18}, {Po, ULS, 1, 0, -1, MAP},   {Pe, MRFA, 0, 1, CAF, Hull},  {Pe, ML, 0, 1, CFI, Hull},
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

// The JSON results file may replace neither an input file (through any form
// of its name) nor the report; blanks ask for none. (The refusal's text is
// pinned by the analyse command's tests.)
TEST_F(ConfigurationTest, JsonFileIsNeitherAnInputNorTheReport) {
    TempDir dir;
    const std::string scores = dir.write("scores.dat", "1 2 3\n"), labels = dir.file("labels.txt");
    const std::string target = dir.file("target.txt"), report = dir.file("r.txt");
    const struct {
        std::string json;
        bool accepted;
        std::string committed;
    } cases[] = {
        {dir.file("./sub/../scores.dat"), false, ""},
        {dir.file("./r.txt"), false, ""},
        {" \t ", true, ""},
        {dir.file("r.json"), true, dir.file("r.json")},
    };
    for (const auto& c : cases) {
        ConfigurationDialog dialog = open(6);
        data.scoresFileName = scores;
        data.labelsFileName = labels;
        data.targetFileName = target;
        ASSERT_EQ(dialog.set("outputFileName", report), SetResult::Ok);
        ASSERT_EQ(dialog.set("jsonFileName", c.json), SetResult::Ok);
        ws.messages.clear();
        const bool accepted = dialog.accept(ws);
        EXPECT_EQ(accepted, c.accepted) << c.json;
        if (!accepted) {
            ASSERT_EQ(ws.messages.size(), 1u);
            EXPECT_EQ(ws.messages.front().icon, MessageIcon::Error);
            EXPECT_EQ(dialog.focus(), "jsonFileName");
            continue;
        }
        AnalysisSettings out;
        dialog.commit(out, data);
        EXPECT_EQ(out.jsonFileName, c.committed);
    }
}

// Rotation: values below a minimum or above a maximum are adjusted with a
// message (a salient threshold outside 0..1 silently); bounds are kept.
TEST_F(ConfigurationTest, RotationValuesAreAdjustedToTheirRange) {
    const std::tuple<int, bool, const char*, const char*, float, const char*> cases[] = {
        {28, false, "convergence", "0", 0.000001f, "The convergence value is ajusted to 0.000001"},
        {28, false, "convergence", "0.01", 0.001f, "The convergence value is ajusted to 0.001"},
        {28, false, "convergence", "0.001", 0.001f, nullptr},
        {kSimplimax, false, "randomStarts", "20", 50, "The number of random starts is ajusted to 50"},
        {1, true, "randomStarts", "5", 10, "The number of random starts is ajusted to 10"},
        {28, false, "maxIterations", "24", 25, "The number of iterations is ajusted to 25"},
        {28, false, "salientThreshold", "1.01", 0.3f, nullptr},
        {28, false, "salientThreshold", "1", 1.0f, nullptr},
    };
    for (const auto& [method, target, key, text, committed, message] : cases) {
        SCOPED_TRACE(std::string(key) + " = " + text);
        ws.messages.clear();
        RotationDialog dialog = rotationDialog(method, target);
        ASSERT_EQ(dialog.set(key, text), SetResult::Ok);
        ASSERT_TRUE(dialog.accept(ws));
        RotationParameters p;
        float threshold = -1;
        dialog.commit(p, threshold);
        const std::string k = key;
        EXPECT_FLOAT_EQ(k == "salientThreshold" ? threshold
                        : k == "convergence"    ? p.convergence
                        : k == "randomStarts"   ? static_cast<float>(p.randomStarts)
                                                : static_cast<float>(p.maxIterations),
                        committed);
        EXPECT_EQ(ws.messageTexts(), message ? Messages{message} : Messages{});
        for (const auto& m : ws.messages) EXPECT_EQ(m.icon, MessageIcon::Information);
    }
}

// Rotation, shown after Default: starts, iterations, convergence, parameter,
// clever start and the salient threshold, which Default leaves alone.
TEST_F(ConfigurationTest, RotationDefaultRestoresTheInitialValuesButNotTheThreshold) {
    for (auto& p : rotations.simplicity) p = {33, 0.0002f, 1.5f, 77, 1};  // all edited
    for (auto& p : rotations.target) p = {33, 0.0002f, 1.5f, 77, 0};
    const std::tuple<int, bool, const char*> cases[] = {
        {10, false, "10 100 1e-05 0 6 0.6"},  // Raw Orthomax: Weighted Varimax, not its initial 12
        {22, false, "10 100 1e-05 4 4 0.6"},  // Promax
        {kSimplimax, false, "100 100 1e-05 0 28 0.6"},
        {1, true, "10 100 1e-08 0 0 0.6"},  // a target method
    };
    for (const auto& [method, target, expected] : cases) {
        RotationDialog dialog = rotationDialog(method, target);
        dialog.set("salientThreshold", "0.6");
        ASSERT_TRUE(dialog.press("default", {}, ws));
        std::string shown;
        for (const char* key : {"randomStarts", "maxIterations", "convergence", "parameter",
                                "cleverStart", "salientThreshold"})
            shown += (shown.empty() ? "" : " ") + dialog.find(key)->value;
        EXPECT_EQ(shown, expected) << method;
        EXPECT_TRUE(dialog.accept(ws));  // the initial values pass their own checks silently
    }
    EXPECT_TRUE(ws.messages.empty());
}

// The Parallel Analysis dialog asks for at least 100 random matrices.
TEST_F(ConfigurationTest, ParallelAnalysisNeedsOneHundredIntegerMatrices) {
    ParallelAnalysisDialog dialog(settings);
    for (const char* typed : {"99", "100"}) {  // 99 is raised with a warning
        ws.messages.clear();
        dialog.set("paRandomMatrices", typed);
        ASSERT_TRUE(dialog.accept(ws));
        settings.paRandomMatrices = 0;
        dialog.commit(settings);
        EXPECT_EQ(settings.paRandomMatrices, 100);
        EXPECT_EQ(ws.messages.size(), typed == std::string("99") ? 1u : 0u);
        for (const auto& m : ws.messages) EXPECT_EQ(m.icon, MessageIcon::Exclamation);
    }
    dialog.set("paRandomMatrices", "1e3");
    EXPECT_FALSE(dialog.accept(ws));
    EXPECT_EQ(dialog.focus(), "paRandomMatrices");
}

}  // namespace
}  // namespace talvex::testing
