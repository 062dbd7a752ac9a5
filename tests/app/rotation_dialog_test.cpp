#include "app/rotation_dialog.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/scripted_window_system.h"

namespace talvex::testing {
namespace {

using Messages = std::vector<std::string>;

struct RotationDialogTest : ::testing::Test {
    ScriptedWindowSystem ws;
    RotationParameterTable table;

    RotationDialog open(int method, float threshold = 0.3f) {
        return RotationDialog(table.simplicity[static_cast<std::size_t>(method)], threshold, method,
                              false);
    }
    // Accepts and returns the committed record.
    RotationParameters acceptAndCommit(RotationDialog& dialog, float* threshold = nullptr) {
        EXPECT_TRUE(dialog.accept(ws));
        RotationParameters p;
        float t = -1.0f;
        dialog.commit(p, t);
        if (threshold != nullptr) *threshold = t;
        return p;
    }
};

TEST_F(RotationDialogTest, ConvergenceIsClampedToItsRange) {
    RotationDialog dialog = open(28);
    dialog.set("convergence", "0");
    EXPECT_FLOAT_EQ(acceptAndCommit(dialog).convergence, 0.000001f);
    EXPECT_EQ(ws.messageTexts(), Messages{"The convergence value is ajusted to 0.000001"});
    EXPECT_EQ(ws.messages[0].icon, MessageIcon::Information);

    ws.messages.clear();
    dialog.set("convergence", "0.01");
    EXPECT_FLOAT_EQ(acceptAndCommit(dialog).convergence, 0.001f);
    EXPECT_EQ(ws.messageTexts(), Messages{"The convergence value is ajusted to 0.001"});
    EXPECT_EQ(dialog.find("convergence")->value, "0.001");

    // The bound itself and values inside are kept silently.
    for (const char* text : {"0.001", "1e-7", "0.0005"}) {
        ws.messages.clear();
        dialog.set("convergence", text);
        EXPECT_FLOAT_EQ(acceptAndCommit(dialog).convergence, std::stof(text)) << text;
        EXPECT_TRUE(ws.messages.empty()) << text;
    }
}

TEST_F(RotationDialogTest, RandomStartsHaveAMinimumPerMethod) {
    RotationDialog simplimax = open(kSimplimax);
    simplimax.set("randomStarts", "20");
    EXPECT_EQ(acceptAndCommit(simplimax).randomStarts, 50);
    EXPECT_EQ(ws.messageTexts(), Messages{"The number of random starts is ajusted to 50"});

    ws.messages.clear();
    RotationDialog varimax = open(4);
    varimax.set("randomStarts", "5");
    EXPECT_EQ(acceptAndCommit(varimax).randomStarts, 10);
    EXPECT_EQ(ws.messageTexts(), Messages{"The number of random starts is ajusted to 10"});

    ws.messages.clear();
    varimax.set("randomStarts", "10");
    EXPECT_EQ(acceptAndCommit(varimax).randomStarts, 10);
    EXPECT_TRUE(ws.messages.empty());

    // Target method 1 is not Simplimax, whatever its index.
    ws.messages.clear();
    RotationDialog target(table.target[1], 0.3f, 1, true);
    target.set("randomStarts", "5");
    EXPECT_EQ(acceptAndCommit(target).randomStarts, 10);
    EXPECT_EQ(ws.messageTexts(), Messages{"The number of random starts is ajusted to 10"});
}

TEST_F(RotationDialogTest, IterationsHaveAMinimumOf25) {
    RotationDialog dialog = open(28);
    dialog.set("maxIterations", "24");
    EXPECT_EQ(acceptAndCommit(dialog).maxIterations, 25);
    EXPECT_EQ(ws.messageTexts(), Messages{"The number of iterations is ajusted to 25"});

    ws.messages.clear();
    dialog.set("maxIterations", "25");
    EXPECT_EQ(acceptAndCommit(dialog).maxIterations, 25);
    EXPECT_TRUE(ws.messages.empty());
}

TEST_F(RotationDialogTest, AdjustmentsComeInOrderAndTheDialogCloses) {
    RotationDialog dialog = open(kSimplimax);
    dialog.set("maxIterations", "0");
    dialog.set("convergence", "0.5");
    dialog.set("salientThreshold", "1.5");
    dialog.set("randomStarts", "0");
    float threshold = 0;
    const RotationParameters p = acceptAndCommit(dialog, &threshold);
    EXPECT_EQ(ws.messageTexts(), (Messages{"The number of iterations is ajusted to 25",
                                           "The convergence value is ajusted to 0.001",
                                           "The number of random starts is ajusted to 50"}));
    EXPECT_EQ(p.maxIterations, 25);
    EXPECT_FLOAT_EQ(p.convergence, 0.001f);
    EXPECT_EQ(p.randomStarts, 50);
    EXPECT_FLOAT_EQ(threshold, 0.3f);  // no message for the threshold
}

TEST_F(RotationDialogTest, SalientThresholdOutsideZeroToOneBecomesPointThree) {
    const std::pair<const char*, float> cases[] = {
        {"-0.1", 0.3f}, {"1.01", 0.3f}, {"0", 0.0f}, {"1", 1.0f}, {"0.45", 0.45f}};
    for (const auto& [text, expected] : cases) {
        RotationDialog dialog = open(28, 0.2f);
        dialog.set("salientThreshold", text);
        float threshold = -1;
        acceptAndCommit(dialog, &threshold);
        EXPECT_FLOAT_EQ(threshold, expected) << text;
    }
    EXPECT_TRUE(ws.messages.empty());
}

TEST_F(RotationDialogTest, TextThatIsNotANumberKeepsTheDialogOpen) {
    const std::pair<const char*, const char*> cases[][2] = {
        {{"randomStarts", "ten"}, {"", "Please enter an integer."}},
        {{"randomStarts", "2.5"}, {"", "Please enter an integer."}},
        {{"maxIterations", "-5"}, {"", "Please enter a positive integer."}},
        {{"maxIterations", ""}, {"", "Please enter a positive integer."}},
        {{"convergence", "1e-5x"}, {"", "Please enter a number."}},
        {{"salientThreshold", "0,3"}, {"", "Please enter a number."}},
        {{"parameter", "half"}, {"", "Please enter a number."}},
    };
    for (const auto& c : cases) {
        const char* key = c[0].first;
        ws.messages.clear();
        RotationDialog dialog = open(19);  // Direct Oblimin has a parameter
        ASSERT_EQ(dialog.set(key, c[0].second), SetResult::Ok) << key;
        EXPECT_FALSE(dialog.accept(ws)) << key;
        EXPECT_EQ(ws.messageTexts(), Messages{c[1].second}) << key;
        EXPECT_EQ(dialog.focus(), key);
    }
}

TEST_F(RotationDialogTest, ParameterAndCleverStartFollowTheMethod) {
    EXPECT_EQ(open(19).find("parameter")->caption, "gamma is set to:");  // Direct Oblimin
    EXPECT_EQ(open(23).find("parameter")->caption, "k is set to:");      // Normalized Promax
    EXPECT_EQ(open(23).find("parameter")->value, "4");
    const RotationDialog varimax = open(4);
    EXPECT_FALSE(varimax.find("parameter")->enabled);
    EXPECT_EQ(varimax.find("parameter")->value, "0");
    EXPECT_EQ(varimax.find("cleverStart")->options.size(), 29u);  // None .. Promin
    EXPECT_TRUE(varimax.find("cleverStart")->enabled);
    EXPECT_FALSE(open(6).find("cleverStart")->enabled);  // a weighted method has none
    // Fixed starts are shown but cannot be changed.
    EXPECT_EQ(open(22).find("cleverStart")->value, "4");   // Promax: Raw Varimax
    EXPECT_EQ(open(27).find("cleverStart")->value, "13");  // Weighted Promaj: Raw Orthosim
    EXPECT_EQ(open(kPromin).set("cleverStart", "0"), SetResult::Disabled);
}

TEST_F(RotationDialogTest, CleverStartIsChosenByName) {
    RotationDialog dialog = open(kSimplimax);
    EXPECT_EQ(dialog.find("cleverStart")->value, "28");
    EXPECT_EQ(dialog.set("cleverStart", "weighted varimax"), SetResult::Ok);
    EXPECT_EQ(dialog.set("cleverStart", "Simplimax"), SetResult::BadValue);
    EXPECT_EQ(acceptAndCommit(dialog).cleverStart, 6);
}

TEST_F(RotationDialogTest, DefaultRestoresTheInitialValues) {
    // Start from a table full of edited values.
    for (auto& p : table.simplicity) p = {33, 0.0002f, 1.5f, 77, 1};
    for (auto& p : table.target) p = {33, 0.0002f, 1.5f, 77, 0};

    struct Case {
        int method;
        int starts;
        const char* parameter;
        const char* clever;
    };
    const Case cases[] = {
        {10, 10, "0", "6"},   // Raw Orthomax: Weighted Varimax, not its initial 12
        {11, 10, "0", "6"},   // Normalized Orthomax likewise
        {12, 10, "0", "0"},   // Weighted Orthomax
        {1, 10, "0", "3"},    // Raw Quartimax: Weighted Quartimax
        {22, 10, "4", "4"},   // Promax
        {24, 10, "4", "4"},   // Weighted Promax
        {kSimplimax, 100, "0", "28"},
    };
    for (const Case& c : cases) {
        RotationDialog dialog = open(c.method);
        ASSERT_TRUE(dialog.press("default", {}, ws));
        EXPECT_EQ(dialog.find("randomStarts")->value, std::to_string(c.starts)) << c.method;
        EXPECT_EQ(dialog.find("maxIterations")->value, "100") << c.method;
        EXPECT_EQ(dialog.find("parameter")->value, c.parameter) << c.method;
        EXPECT_EQ(dialog.find("cleverStart")->value, c.clever) << c.method;
        const RotationParameters p = acceptAndCommit(dialog);
        EXPECT_FLOAT_EQ(p.convergence, 1e-5f) << c.method;
        EXPECT_EQ(p.cleverStart, std::stoi(c.clever)) << c.method;
    }

    RotationDialog target(table.target[1], 0.3f, 1, true);
    ASSERT_TRUE(target.press("default", {}, ws));
    const RotationParameters p = acceptAndCommit(target);
    EXPECT_EQ(p.randomStarts, 10);
    EXPECT_EQ(p.maxIterations, 100);
    EXPECT_FLOAT_EQ(p.convergence, 1e-8f);
    EXPECT_FLOAT_EQ(p.parameter, 1.5f);  // untouched for a target method
    EXPECT_TRUE(ws.messages.empty());
}

TEST_F(RotationDialogTest, DefaultLeavesTheSalientThresholdAlone) {
    RotationDialog dialog = open(5, 0.25f);
    dialog.set("salientThreshold", "0.6");
    dialog.press("default", {}, ws);
    EXPECT_EQ(dialog.find("salientThreshold")->value, "0.6");
}

}  // namespace
}  // namespace talvex::testing
