#include "foundation/Parallel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "foundation/ProgressClock.h"
#include "foundation/Random.h"
#include "geometry/GRay.h"

namespace {

// Puts back the thread settings a test found.
struct ThreadSettingsGuard {
    ThreadSettings found = threadSettings();
    ~ThreadSettingsGuard() { setThreadSettings(found); }
};

void useThreads(int threads, uint32_t seed) {
    ThreadSettings settings;
    settings.threads = threads;
    settings.unitStreams = true;
    settings.seed = seed;
    setThreadSettings(settings);
}

TEST(ParallelFor, RunsEveryUnitOnceAndReportsProgressOnTheCallingThread) {
    ThreadSettingsGuard guard;
    useThreads(3, 1);
    const int count = 200;
    std::vector<std::atomic<int>> runs(count);
    for (auto& r : runs) r = 0;
    std::vector<int> reported;
    const std::thread::id caller = std::this_thread::get_id();
    bool otherThreadReported = false;
    parallelFor(
        count, [&](int unit, int thread) {
            EXPECT_TRUE(thread >= 0 && thread < 3);
            runs[unit]++;
        },
        [&](int done) {
            if (std::this_thread::get_id() != caller) otherThreadReported = true;
            reported.push_back(done);
        });
    for (int unit = 0; unit < count; unit++) EXPECT_EQ(runs[unit].load(), 1) << unit;
    EXPECT_FALSE(otherThreadReported);
    ASSERT_FALSE(reported.empty());
    EXPECT_TRUE(std::is_sorted(reported.begin(), reported.end()));
    EXPECT_EQ(reported.back(), count);
}

// A unit's draws depend on the seed, the unit and the pass, not on the thread
// that runs it, and neighbouring units differ.
TEST(ParallelFor, UnitStreamsFollowTheUnitNotTheThread) {
    ThreadSettingsGuard guard;
    const int count = 64;
    auto draws = [&](int threads) {
        useThreads(threads, 99);
        std::vector<int> first(count * 2);
        parallelFor(count, [&](int unit, int) {
            for (uint32_t pass = 0; pass < 2; pass++) {
                seedWorkUnit((uint32_t)unit, pass);
                first[(size_t)(unit * 2 + (int)pass)] = nextRandom() << 15 | nextRandom();
            }
        });
        return first;
    };
    std::vector<int> one = draws(1);
    EXPECT_EQ(draws(3), one);
    std::vector<int> sorted = one;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(std::unique(sorted.begin(), sorted.end()), sorted.end());
}

TEST(ParallelRayIds, AreUniqueAcrossThreads) {
    ThreadSettingsGuard guard;
    useThreads(3, 0);
    const int units = 30, perUnit = 1000;
    std::vector<unsigned> ids((size_t)units * perUnit);
    parallelFor(units, [&](int unit, int) {
        for (int k = 0; k < perUnit; k++) ids[(size_t)unit * perUnit + k] = nextRayId();
    });
    std::sort(ids.begin(), ids.end());
    EXPECT_NE(ids.front(), 0u);
    EXPECT_EQ(std::unique(ids.begin(), ids.end()), ids.end());
}

TEST(ParallelProgressClock, ShowsTimesOnlyInRunsWithThreads) {
    ThreadSettingsGuard guard;
    setThreadSettings(ThreadSettings());
    ProgressClock clock;
    EXPECT_STREQ(clock.text(0.5), "");
    useThreads(2, 0);
    const std::string early = clock.text(0.0), half = clock.text(0.5);
    EXPECT_EQ(early.find(" left"), std::string::npos) << early;
    EXPECT_NE(half.find(" s, "), std::string::npos) << half;
    EXPECT_NE(half.find(" s left  "), std::string::npos) << half;
}

}  // namespace
