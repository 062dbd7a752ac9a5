#include "core/parallel_for.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace talvex {
namespace {

TEST(ParallelFor, EveryItemOnceInTwoFixedHalves) {
    // count, threads, least; the slot of each item.
    const struct {
        int count;
        const char* threads;
        int least;
        std::vector<int> slots;
    } cases[] = {
        {5, "2", 1, {0, 0, 0, 1, 1}},
        {4, "1", 1, {0, 0, 0, 0}},
        {4, "2", 5, {0, 0, 0, 0}},  // fewer than `least`: one thread
        {0, "2", 1, {}},
    };
    const char* old = std::getenv("TALVEX_THREADS");
    const std::string saved = old != nullptr ? old : "";
    for (const auto& c : cases) {
        setenv("TALVEX_THREADS", c.threads, 1);
        std::vector<int> seen(static_cast<std::size_t>(c.count), -1), visits(seen.size(), 0);
        parallelFor(c.count, c.least, [&](int begin, int end, int slot) {
            for (int i = begin; i < end; ++i)
                seen[static_cast<std::size_t>(i)] = slot, ++visits[static_cast<std::size_t>(i)];
        });
        EXPECT_EQ(seen, c.slots) << c.count << " " << c.threads;
        EXPECT_EQ(visits, std::vector<int>(seen.size(), 1));
    }
    old != nullptr ? setenv("TALVEX_THREADS", saved.c_str(), 1) : unsetenv("TALVEX_THREADS");
}

}  // namespace
}  // namespace talvex
