#include "foundation/Random.h"

#include <gtest/gtest.h>

TEST(RandomTest, FirstValuesOfSeedOneAreTheClassicSequence) {
    seedRandom(1);
    EXPECT_EQ(41, nextRandom());
    EXPECT_EQ(18467, nextRandom());
    EXPECT_EQ(6334, nextRandom());
    EXPECT_EQ(26500, nextRandom());
    EXPECT_EQ(19169, nextRandom());
}

TEST(RandomTest, SameSeedRepeatsTheStream) {
    seedRandom(12345);
    int first[20];
    for (int& v : first) v = nextRandom();
    seedRandom(12345);
    for (int v : first) EXPECT_EQ(v, nextRandom());
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

TEST(RandomTest, Uniform01IsTheScaledInteger) {
    seedRandom(1);
    EXPECT_FLOAT_EQ(41.0f / 32767.0f, uniform01());
    EXPECT_FLOAT_EQ(18467.0f / 32767.0f, uniform01());
}

