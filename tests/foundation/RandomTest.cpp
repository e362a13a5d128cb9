#include "foundation/Random.h"

#include <gtest/gtest.h>

TEST(RandomTest, SeedOneGivesTheClassicSequenceAndReseedingRepeatsIt) {
    const int classic[] = {41, 18467, 6334, 26500, 19169};
    seedRandom(1);
    for (int v : classic) EXPECT_EQ(v, nextRandom());
    seedRandom(1);
    EXPECT_FLOAT_EQ(41.0f / 32767.0f, uniform01()); // uniform01 is the scaled integer
    EXPECT_FLOAT_EQ(18467.0f / 32767.0f, uniform01());
    for (int i = 2; i < 5; i++) EXPECT_EQ(classic[i], nextRandom());
}

TEST(RandomTest, ValuesStayWithinFifteenBits) {
    seedRandom(7);
    int lowest = randomMax, highest = 0;
    for (int i = 0; i < 200000; i++) {
        int v = nextRandom();
        ASSERT_GE(v, 0);
        ASSERT_LE(v, randomMax);
        lowest = std::min(lowest, v);
        highest = std::max(highest, v);
    }
    EXPECT_EQ(0, lowest);
    EXPECT_EQ(randomMax, highest);
}

TEST(RandomTest, Uniform01ReachesExactlyOne) {
    // This seed makes the next state 0x7FFF0000, whose result is 32767.
    seedRandom(4028364353u);
    EXPECT_EQ(1.0f, uniform01());
    EXPECT_EQ(1.0f, (float)randomMax * 3.0518509e-5f);
}

