#include "core/parallel_for.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace talvex {
namespace {

// Sets TALVEX_THREADS for one test and restores what was there.
class ThreadsVariable {
public:
    explicit ThreadsVariable(const char* value) {
        if (const char* old = std::getenv("TALVEX_THREADS")) saved_ = old, had_ = true;
        if (value != nullptr)
            setenv("TALVEX_THREADS", value, 1);
        else
            unsetenv("TALVEX_THREADS");
    }
    ~ThreadsVariable() {
        if (had_)
            setenv("TALVEX_THREADS", saved_.c_str(), 1);
        else
            unsetenv("TALVEX_THREADS");
    }

private:
    std::string saved_;
    bool had_ = false;
};

TEST(ParallelFor, ThreadCountFromTheEnvironment) {
    const int hardware = std::thread::hardware_concurrency() >= 2 ? 2 : 1;
    const struct {
        const char* value;
        int threads;
    } cases[] = {{"1", 1}, {"2", 2}, {"3", hardware}, {"0", hardware}, {"x", hardware}, {nullptr, hardware}};
    for (const auto& c : cases) {
        ThreadsVariable v(c.value);
        EXPECT_EQ(parallelThreads(), c.threads) << (c.value ? c.value : "(unset)");
    }
}

TEST(ParallelFor, EveryItemOnceInTwoFixedHalves) {
    // count, threads, least; the slot of each item (-1: none).
    const struct {
        int count;
        const char* threads;
        int least;
        std::vector<int> slots;
    } cases[] = {
        {5, "2", 1, {0, 0, 0, 1, 1}},
        {4, "2", 1, {0, 0, 1, 1}},
        {2, "2", 1, {0, 1}},
        {1, "2", 1, {0}},
        {4, "1", 1, {0, 0, 0, 0}},
        {4, "2", 5, {0, 0, 0, 0}},  // fewer than `least`: one thread
        {5, "2", 5, {0, 0, 0, 1, 1}},
        {0, "2", 1, {}},
    };
    for (const auto& c : cases) {
        ThreadsVariable v(c.threads);
        std::vector<int> seen(static_cast<std::size_t>(c.count), -1), visits(seen.size(), 0);
        parallelFor(c.count, c.least, [&](int begin, int end, int slot) {
            for (int i = begin; i < end; ++i) {
                seen[static_cast<std::size_t>(i)] = slot;
                ++visits[static_cast<std::size_t>(i)];
            }
        });
        EXPECT_EQ(seen, c.slots) << c.count << " " << c.threads;
        for (int n : visits) EXPECT_EQ(n, 1);
    }
}

}  // namespace
}  // namespace talvex
