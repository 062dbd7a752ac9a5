// The bouncing progress bar: one step every 501 ticks, turning at 1000 and
// at 0 (positions follow from counting steps by hand).
#include "analysis/progress.h"

#include <gtest/gtest.h>

#include "core/matrix.h"
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

TEST(ProgressTicker, MatricesTickOnlyWhileAttached) {
    FakeRunHost view;
    ProgressTicker ticker;
    MatrixScope scope;
    Matrix before(1, 1);
    ticker.attach(view);
    Matrix a(2, 2);
    EXPECT_EQ(a.transpose().rows(), 2);
    ticker.detach();
    Matrix after(1, 1);
    EXPECT_EQ(ticker.count(), 2u);

    // A percentage always ticks, but shows its text only while attached.
    ticker.reportPercent(40);
    EXPECT_EQ(ticker.count(), 3u);
    ticker.attach(view);
    ticker.reportPercent(7);
    ticker.detach();
    EXPECT_EQ(view.progressTexts, std::vector<std::string>{"Computing PA ...   7%"});
}

}  // namespace
}  // namespace talvex
