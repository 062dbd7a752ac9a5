// What the dialogs tell a desktop front end beyond the terminal's view: the
// Browse button of each file edit, the move button between the variable
// lists, the Configure buttons and the Simplimax list's selection.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "app/configuration_dialog.h"
#include "app/sample_dialog.h"
#include "support/matrix_testing.h"
#include "support/scripted_window_system.h"

namespace talvex::testing {
namespace {

std::optional<DialogButton> widgetButton(const DialogModel& d, const std::string& name,
                                         const std::string& arg = "") {
    for (const DialogButton& b : d.widgetButtons())
        if (b.name == name && (arg.empty() ? b.args.empty() : !b.args.empty() && b.args[0] == arg))
            return b;
    return std::nullopt;
}

TEST(SampleWidgetButtons, EachFileEditHasABrowseButtonEnabledWithIt) {
    SampleDialog d(DataSet{}, false);
    ScriptedWindowSystem ws;
    struct Row {
        const char* key;
        const char* dialog;
    };
    const Row rows[] = {
        {"scoresFileName", "PARTICIPANTS' SCORES: Choose your input file|*.dat"},
        {"matrixFileName", "VARIANCE/COVARIANCE MATRIX: Choose your input file|*.dat"},
        {"labelsFileName", "VARIABLE LABELS: Choose your input file|*.txt"},
        {"targetFileName", "ROTATION TARGET MATRIX: Choose your input file|*.dat"},
    };
    ASSERT_EQ(d.widgetButtons().size(), 4u);
    // Side files unticked, scores chosen: only the scores file can be browsed.
    for (const Row& row : rows) {
        const auto b = widgetButton(d, "browse", row.key);
        ASSERT_TRUE(b.has_value()) << row.key;
        EXPECT_EQ(b->beside, row.key);
        EXPECT_EQ(b->caption, "Browse");
        EXPECT_EQ(b->enabled, std::string(row.key) == "scoresFileName") << row.key;
    }
    ASSERT_EQ(d.set("dataKind", "matrix"), SetResult::Ok);
    ASSERT_EQ(d.set("labelsEnabled", "1"), SetResult::Ok);
    ASSERT_EQ(d.set("targetEnabled", "1"), SetResult::Ok);
    for (const Row& row : rows) {
        const auto b = widgetButton(d, "browse", row.key);
        ASSERT_TRUE(b.has_value()) << row.key;
        EXPECT_EQ(b->enabled, std::string(row.key) != "scoresFileName") << row.key;
        // Pressing it as drawn opens its file dialog.
        if (b->enabled) ws.fileAnswers.push_back(std::string("/chosen/") + row.key);
        EXPECT_EQ(d.press(b->name, b->args, ws), b->enabled) << row.key;
    }
    EXPECT_EQ(ws.fileDialogs, (std::vector<std::string>{rows[1].dialog, rows[2].dialog,
                                                         rows[3].dialog}));
    EXPECT_EQ(d.find("targetFileName")->value, "/chosen/targetFileName");
}

class ConfigurationWidgetButtons : public PoolTest {
protected:
    DataSet data;
    AnalysisSettings settings;
    RotationParameterTable rotations;

    ConfigurationDialog open(int variables) {
        data.dataRead = true;
        data.variableCount = variables;
        data.participantCount = data.rowsRead = 100;
        data.variableList = Matrix(variables, 2);
        for (int i = 0; i < variables; ++i) data.variableList[i][1] = 1.0;
        data.observedMin = 1;
        data.observedMax = 5;
        return ConfigurationDialog(settings, data, rotations);
    }
};

TEST_F(ConfigurationWidgetButtons, MoveButtonMovesFromTheListThatHadTheFocus) {
    ConfigurationDialog d = open(6);
    ScriptedWindowSystem ws;
    struct Row {
        const char* focused;
        const char* button;
        const char* caption;
    };
    // Before either list had the focus the button moves out of Included.
    for (const Row& row : {Row{"", "exclude", ">"}, Row{"included", "exclude", ">"},
                           Row{"excluded", "include", "<"}}) {
        const auto move = d.listMove(row.focused);
        ASSERT_TRUE(move.has_value());
        EXPECT_EQ(move->button, row.button) << row.focused;
        EXPECT_EQ(move->caption, row.caption) << row.focused;
    }
    ASSERT_TRUE(d.press(d.listMove("included")->button, {"2", "5"}, ws));
    ASSERT_EQ(d.find("excluded")->options.size(), 2u);
    EXPECT_EQ(d.find("excluded")->options[1].caption, "V5");
    ASSERT_TRUE(d.press(d.listMove("excluded")->button, {"5"}, ws));
    EXPECT_EQ(d.includedCount(), 5);
    // The lists are the only multiple-selection controls.
    int multi = 0;
    for (const Control& c : d.controls()) multi += c.multiSelect ? 1 : 0;
    EXPECT_EQ(multi, 2);
}

TEST_F(ConfigurationWidgetButtons, ConfigureButtonsSitBesideWhatTheyConfigure) {
    ConfigurationDialog d = open(9);
    const auto buttons = d.widgetButtons();
    ASSERT_EQ(buttons.size(), 3u);  // the move button is drawn apart
    const auto pa = widgetButton(d, "configureParallelAnalysis");
    const auto hull = widgetButton(d, "configureHull");
    const auto rotation = widgetButton(d, "configureRotation");
    ASSERT_TRUE(pa && hull && rotation);
    EXPECT_EQ(pa->besideOption, ParallelAnalysis);
    EXPECT_EQ(hull->besideOption, Hull);
    EXPECT_EQ(rotation->caption, "Configure rotation");
    ASSERT_EQ(d.set("factorCountProcedure", "Hull"), SetResult::Ok);
    EXPECT_FALSE(widgetButton(d, "configureParallelAnalysis")->enabled);
    EXPECT_TRUE(widgetButton(d, "configureHull")->enabled);
    ASSERT_EQ(d.set("factorCount", "1"), SetResult::Ok);
    EXPECT_FALSE(widgetButton(d, "configureRotation")->enabled);
}

}  // namespace
}  // namespace talvex::testing
