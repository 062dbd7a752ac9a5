// The Parallel Analysis dialog: the least number of random matrices.
#include "app/parallel_analysis_dialog.h"

#include <gtest/gtest.h>

#include "support/scripted_window_system.h"

namespace talvex::testing {
namespace {

struct ParallelAnalysisDialogTest : ::testing::Test {
    ScriptedWindowSystem ws;
    AnalysisSettings settings;
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

}  // namespace
}  // namespace talvex::testing
