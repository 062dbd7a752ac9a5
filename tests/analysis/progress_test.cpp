// The bouncing progress bar: one step every 501 ticks, turning at 1000 and
// at 0 (positions follow from counting steps by hand).
#include "analysis/progress.h"

#include <gtest/gtest.h>

#include "support/recording_run_host.h"

namespace talvex {
namespace {

using testing::FakeRunHost;

TEST(ProgressTicker, BarBouncesBetweenZeroAndOneThousand) {
    FakeRunHost view;
    ProgressTicker ticker;
    ticker.attach(view);
    ticker.resetBar();
    for (int i = 0; i < 500; ++i) ticker.tick();
    EXPECT_EQ(view.barPosition, 0);
    ticker.tick();
    EXPECT_EQ(view.barPosition, 1);

    // 1000 steps up, and the bar turns when it passes 999.
    for (int i = 0; i < 501 * 999; ++i) ticker.tick();
    EXPECT_EQ(view.barPosition, 1000);
    EXPECT_EQ(view.barStep, -1);
    for (int i = 0; i < 501 * 1000; ++i) ticker.tick();
    EXPECT_EQ(view.barPosition, 0);
    EXPECT_EQ(view.barStep, 1);
    EXPECT_EQ(ticker.count(), 501u * 2000u);
    ticker.detach();
}

// Matrices are created by the million in some stages: the window is
// repainted when the bar moves, not at every tick.
TEST(ProgressTicker, RepaintsOnlyWhenTheBarMoves) {
    FakeRunHost view;
    ProgressTicker ticker;
    ticker.attach(view);
    ticker.resetBar();
    const int before = view.progressRepaints;
    for (int i = 0; i < 500; ++i) ticker.tick();
    EXPECT_EQ(view.progressRepaints, before);
    for (int i = 500; i < 501 * 3 + 500; ++i) ticker.tick();  // ticks 501 .. 2003
    EXPECT_EQ(view.progressRepaints, before + 3);
    EXPECT_EQ(view.barPosition, 3);
    ticker.detach();
}

}  // namespace
}  // namespace talvex
