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
