#include "app/parallel_analysis_dialog.h"

#include <gtest/gtest.h>

#include "support/scripted_window_system.h"

namespace talvex::testing {
namespace {

struct ParallelAnalysisDialogTest : ::testing::Test {
    ScriptedWindowSystem ws;
    AnalysisSettings settings;

    static std::string value(const DialogModel& d, const char* key) { return d.find(key)->value; }
    static std::string firstExplanationLine(const DialogModel& d) {
        return d.find("explanation")->options.front().caption;
    }
};

TEST_F(ParallelAnalysisDialogTest, AtLeastOneHundredIntegerMatrices) {
    ParallelAnalysisDialog dialog(settings);
    dialog.set("paRandomMatrices", "99");
    ASSERT_TRUE(dialog.accept(ws));
    ASSERT_EQ(ws.messages.size(), 1u);
    EXPECT_EQ(ws.messages[0].text, "A minimum of 100 random correlation matrices are needed!");
    EXPECT_EQ(ws.messages[0].icon, MessageIcon::Exclamation);
    dialog.commit(settings);
    EXPECT_EQ(settings.paRandomMatrices, 100);

    ws.messages.clear();
    dialog.set("paRandomMatrices", "100");
    ASSERT_TRUE(dialog.accept(ws));
    EXPECT_TRUE(ws.messages.empty());

    dialog.set("paRandomMatrices", "1e3");
    EXPECT_FALSE(dialog.accept(ws));
    EXPECT_EQ(ws.messageTexts(), std::vector<std::string>{"Please enter an integer."});
    EXPECT_EQ(dialog.focus(), "paRandomMatrices");
}

TEST_F(ParallelAnalysisDialogTest, ImplementationSetsItsRandomMatrixOptions) {
    settings.paRandomMatrices = 1000;
    ParallelAnalysisDialog dialog(settings);
    EXPECT_EQ(firstExplanationLine(dialog),
              "Parallel Analysis is computed as based on the same type of correlation matrix");

    ASSERT_EQ(dialog.set("paImplementation", "classical"), SetResult::Ok);
    EXPECT_EQ(value(dialog, "paRandomMatrices"), "500");
    EXPECT_EQ(value(dialog, "paGeneration"), "0");
    EXPECT_FALSE(dialog.find("paRandomMatrices")->enabled);
    EXPECT_EQ(dialog.set("paGeneration", "permutation"), SetResult::Disabled);
    EXPECT_EQ(firstExplanationLine(dialog),
              "Classical Parallel Analysis is computed as proposed by Horn (1965).");

    ASSERT_EQ(dialog.set("paImplementation", "Optimal"), SetResult::Ok);
    EXPECT_EQ(value(dialog, "paGeneration"), "1");
    dialog.set("paRandomMatrices", "800");
    ASSERT_TRUE(dialog.accept(ws));
    dialog.commit(settings);
    EXPECT_EQ(settings.paImplementation, 0);
    EXPECT_EQ(settings.paRandomMatrices, 800);
    EXPECT_EQ(settings.paGeneration, 1);
}

TEST_F(ParallelAnalysisDialogTest, UserMatrixOffersOnlyTheNormalDistribution) {
    settings.dispersionType = UserMatrix;
    settings.paGeneration = 1;
    ParallelAnalysisDialog dialog(settings);
    EXPECT_EQ(value(dialog, "paGeneration"), "0");
    EXPECT_EQ(dialog.set("paGeneration", "permutation"), SetResult::BadValue);
    EXPECT_EQ(dialog.set("paGeneration", "1"), SetResult::BadValue);
    dialog.set("paImplementation", "classical");
    dialog.set("paImplementation", "optimal");
    EXPECT_EQ(value(dialog, "paGeneration"), "0");
}

}  // namespace
}  // namespace talvex::testing
