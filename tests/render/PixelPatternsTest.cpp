#include <algorithm>
#include <climits>
#include <vector>

#include <gtest/gtest.h>

#include "foundation/Random.h"
#include "render/PixelPatterns.h"

namespace {

// Sorted values of one axis: the k-th smallest must lie in stratum k.
void expectOnePerStratum(std::vector<float> values) {
    const int n = (int)values.size();
    std::sort(values.begin(), values.end());
    for (int k = 0; k < n; k++) {
        EXPECT_GE(values[k], (float)k / n - 1e-6f) << "stratum " << k << " of " << n;
        EXPECT_LE(values[k], (float)(k + 1) / n + 1e-6f) << "stratum " << k << " of " << n;
    }
}

}  // namespace

TEST(PixelPatterns, GridSideFollowsTheSampleCount) {
    EXPECT_EQ(11, PixelPatterns::gridSideFor(100));  // trunc(sqrt(130))
    EXPECT_EQ(13, PixelPatterns::gridSideFor(130));  // sqrt(169) exactly, in double precision
    EXPECT_EQ(1, PixelPatterns::gridSideFor(1));
    EXPECT_EQ(1, PixelPatterns::gridSideFor(0));
    EXPECT_EQ(1, PixelPatterns::gridSideFor(-50));
    // A scene file asking for billions of samples cannot exhaust memory.
    EXPECT_EQ(PixelPatterns::maxGridSide, PixelPatterns::gridSideFor(INT_MAX));
}

TEST(PixelPatterns, SizesScatterAroundTheRequestedCount) {
    seedRandom(7);
    PixelPatterns patterns;
    patterns.build(100);
    EXPECT_EQ(11, patterns.gridSide());
    int total = 0;
    for (int i = 0; i < PixelPatterns::patternCount; i++) {
        // The disc covers pi/4 of the 121 grid points: about 95 of them.
        EXPECT_GE(patterns.size(i), 80);
        EXPECT_LE(patterns.size(i), 110);
        total += patterns.size(i);
    }
    EXPECT_NEAR(95.0, total / 20.0, 5.0);
}

TEST(PixelPatterns, EveryPatternIsALatinHypercubeInRandomOrder) {
    // No samples still gives one point per pattern.
    for (int requested : {100, 0}) {
        seedRandom(2024);
        PixelPatterns patterns;
        patterns.build(requested);
        if (requested == 0) {
            EXPECT_EQ(1, patterns.gridSide());
        }
        for (int i = 0; i < PixelPatterns::patternCount; i++) {
            const int n = patterns.size(i);
            if (requested == 0) {
                ASSERT_EQ(1, n);
            }
            std::vector<float> xs, ys;
            int sameStratum = 0, ascending = 0;
            for (int k = 0; k < n; k++) {
                float x = patterns.offsetX(i, k), y = patterns.offsetY(i, k);
                ASSERT_TRUE(x >= 0.0f && x <= 1.0f && y >= 0.0f && y <= 1.0f) << x << ", " << y;
                xs.push_back(x);
                ys.push_back(y);
                if ((int)(x * n) == (int)(y * n)) sameStratum++;
                if (k > 0 && x > patterns.offsetX(i, k - 1)) ascending++;
            }
            expectOnePerStratum(xs);
            expectOnePerStratum(ys);
            // The x strata are paired with the y strata at random, not along
            // the diagonal, and the list is not in stratum order.
            if (requested == 0) continue;
            EXPECT_LT(sameStratum, n / 4) << "pattern " << i;
            EXPECT_LT(ascending, 3 * n / 4) << "pattern " << i;
        }
    }
}

TEST(PixelPatterns, TheSameSeedGivesTheSamePatterns) {
    PixelPatterns first, second;
    seedRandom(99);
    first.build(30);
    int afterFirst = nextRandom();
    seedRandom(99);
    second.build(30);
    EXPECT_EQ(afterFirst, nextRandom());  // the same number of draws, too
    for (int i = 0; i < PixelPatterns::patternCount; i++) {
        ASSERT_EQ(first.size(i), second.size(i));
        for (int k = 0; k < first.size(i); k++) {
            EXPECT_EQ(first.offsetX(i, k), second.offsetX(i, k));
            EXPECT_EQ(first.offsetY(i, k), second.offsetY(i, k));
        }
    }
}

TEST(PixelPatterns, PairingsAndOrdersOfThreePointPatternsAreUniform) {
    // Of three-point patterns (four requested samples make 2 x 2 grids, of
    // which the disc often keeps three), each of the six pairings of x with
    // y strata and each of the six orders of the points must be equally
    // likely. Swapping each entry with any entry gives some permutations
    // 5/27 and others 4/27 of the time, which these counts see at tens of
    // standard deviations.
    seedRandom(31);
    long long pairings[6] = {0}, orders[6] = {0};
    long long patternsOfThree = 0;
    auto permutationIndex = [](const int* p) { return p[0] * 2 + (p[1] > p[2] ? 1 : 0); };
    PixelPatterns patterns;
    for (int build = 0; build < 3000; build++) {
        patterns.build(4);
        for (int i = 0; i < PixelPatterns::patternCount; i++) {
            if (patterns.size(i) != 3) continue;
            patternsOfThree++;
            int xStratumOfY[3], yStratumInOrder[3];
            for (int k = 0; k < 3; k++) {
                int xs = (int)(patterns.offsetX(i, k) * 3.0f), ys = (int)(patterns.offsetY(i, k) * 3.0f);
                xStratumOfY[ys < 3 ? ys : 2] = xs < 3 ? xs : 2;
                yStratumInOrder[k] = ys < 3 ? ys : 2;
            }
            pairings[permutationIndex(xStratumOfY)]++;
            orders[permutationIndex(yStratumInOrder)]++;
        }
    }
    ASSERT_GT(patternsOfThree, 6000);
    // Chi-square with 5 degrees of freedom: 25.7 is exceeded with
    // probability 1e-4 by uniform permutations.
    for (const long long* counts : {pairings, orders}) {
        double expected = patternsOfThree / 6.0, chiSquare = 0.0;
        for (int j = 0; j < 6; j++) chiSquare += (counts[j] - expected) * (counts[j] - expected) / expected;
        EXPECT_LT(chiSquare, 25.7) << (counts == pairings ? "pairings" : "orders");
    }
}
