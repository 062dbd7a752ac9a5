#include "app/rotation_dialog.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "support/scripted_window_system.h"

namespace talvex::testing {
namespace {

using Messages = std::vector<std::string>;

struct RotationDialogTest : ::testing::Test {
    ScriptedWindowSystem ws;
    RotationParameterTable table;

    RotationDialog open(int method, bool target = false, float threshold = 0.3f) {
        RotationParameters* records = target ? table.target.data() : table.simplicity.data();
        return RotationDialog(records[method], threshold, method, target);
    }
    // Accepts and returns the committed record (and threshold).
    RotationParameters acceptAndCommit(RotationDialog& dialog, float* threshold = nullptr) {
        EXPECT_TRUE(dialog.accept(ws));
        RotationParameters p;
        float t = -1.0f;
        dialog.commit(p, t);
        if (threshold != nullptr) *threshold = t;
        return p;
    }
};

// Values below a minimum or above a maximum are adjusted with a message (a
// salient threshold outside 0..1 silently); the bounds themselves are kept.
TEST_F(RotationDialogTest, ValuesAreAdjustedToTheirRange) {
    struct Case {
        int method;
        bool target;
        const char* key;
        const char* text;
        float committed;
        const char* message;  // nullptr: none
    };
    const Case cases[] = {
        {28, false, "convergence", "0", 0.000001f, "The convergence value is ajusted to 0.000001"},
        {28, false, "convergence", "0.01", 0.001f, "The convergence value is ajusted to 0.001"},
        {28, false, "convergence", "0.001", 0.001f, nullptr},
        {kSimplimax, false, "randomStarts", "20", 50, "The number of random starts is ajusted to 50"},
        {1, true, "randomStarts", "5", 10, "The number of random starts is ajusted to 10"},
        {4, false, "randomStarts", "10", 10, nullptr},
        {28, false, "maxIterations", "24", 25, "The number of iterations is ajusted to 25"},
        {28, false, "maxIterations", "25", 25, nullptr},
        {28, false, "salientThreshold", "1.01", 0.3f, nullptr},
        {28, false, "salientThreshold", "1", 1.0f, nullptr},
    };
    for (const Case& c : cases) {
        const std::string row = std::string(c.key) + " = " + c.text + " for " + std::to_string(c.method);
        ws.messages.clear();
        RotationDialog dialog = open(c.method, c.target, 0.2f);
        ASSERT_EQ(dialog.set(c.key, c.text), SetResult::Ok) << row;
        float threshold = -1;
        const RotationParameters p = acceptAndCommit(dialog, &threshold);
        const std::string key = c.key;
        const float committed = key == "salientThreshold" ? threshold
                                : key == "convergence"    ? p.convergence
                                : key == "randomStarts" ? static_cast<float>(p.randomStarts)
                                                        : static_cast<float>(p.maxIterations);
        EXPECT_FLOAT_EQ(committed, c.committed) << row;
        EXPECT_EQ(ws.messageTexts(), c.message ? Messages{c.message} : Messages{}) << row;
        for (const auto& m : ws.messages) EXPECT_EQ(m.icon, MessageIcon::Information) << row;
    }
}

// Shown after Default: starts, iterations, convergence, parameter, clever
// start and the salient threshold, which Default leaves alone.
TEST_F(RotationDialogTest, DefaultRestoresTheInitialValuesButNotTheThreshold) {
    for (auto& p : table.simplicity) p = {33, 0.0002f, 1.5f, 77, 1};  // all edited
    for (auto& p : table.target) p = {33, 0.0002f, 1.5f, 77, 0};
    const std::tuple<int, bool, const char*> cases[] = {
        {10, false, "10 100 1e-05 0 6 0.6"},  // Raw Orthomax: Weighted Varimax, not its initial 12
        {12, false, "10 100 1e-05 0 0 0.6"},  // Weighted Orthomax
        {22, false, "10 100 1e-05 4 4 0.6"},  // Promax
        {kSimplimax, false, "100 100 1e-05 0 28 0.6"},
        {1, true, "10 100 1e-08 0 0 0.6"},  // a target method
    };
    for (const auto& [method, target, expected] : cases) {
        RotationDialog dialog = open(method, target);
        dialog.set("salientThreshold", "0.6");
        ASSERT_TRUE(dialog.press("default", {}, ws));
        std::string shown;
        for (const char* key : {"randomStarts", "maxIterations", "convergence", "parameter",
                                "cleverStart", "salientThreshold"})
            shown += (shown.empty() ? "" : " ") + dialog.find(key)->value;
        EXPECT_EQ(shown, expected) << method;
        acceptAndCommit(dialog);  // the initial values pass their own checks silently
    }
    EXPECT_TRUE(ws.messages.empty());
}

}  // namespace
}  // namespace talvex::testing
