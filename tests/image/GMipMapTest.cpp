#include "image/GMipMap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "foundation/Random.h"
#include "image/ColorImage.h"
#include "image/HeightImage.h"

namespace {

HeightImage randomImage(int w, int h) {
    HeightImage image(w, h);
    for (int i = 0; i < w * h; i++) image.pixels[i] = (int16_t)(nextRandom() - 16384);
    return image;
}

// Pixel range [first, last] read by bilinear lookups between texture
// coordinates a <= b, clamped to the image.
void touchedPixels(float a, float b, int size, int& first, int& last) {
    a = std::min(std::max(a, 0.0f), 1.0f);
    b = std::min(std::max(b, 0.0f), 1.0f);
    first = std::min((int)std::floor(a * size), size - 1);
    last = std::min((int)std::floor(b * size) + 1, size - 1);
}

}  // namespace

TEST(GMipMapTest, BuildCountsLevels) {
    GMipMap pyramid;
    EXPECT_TRUE(pyramid.isKindOf(ClassId::GObject));
    EXPECT_FALSE(pyramid.isKindOf(ClassId::GImage));
    EXPECT_EQ(0u, std::string(pyramid.toString()).find("GMipMap@"));

    HeightImage square(16, 16);
    square.fill(1);
    ASSERT_TRUE(pyramid.build(&square, reduceMinimum));
    EXPECT_EQ(5, pyramid.levelCount);  // 16, 8, 4, 2, 1
    EXPECT_EQ(&square, pyramid.levels[0]);
    EXPECT_EQ(1, pyramid.levels[4]->width);
    EXPECT_EQ(16, pyramid.width);

    HeightImage odd(5, 3);
    odd.fill(2);
    pyramid.build(&odd, reduceMaximum);  // replaces the first pyramid
    EXPECT_EQ(4, pyramid.levelCount);    // 5 x 3, 3 x 2, 2 x 1, 1 x 1
    EXPECT_EQ(2, pyramid.levels[2]->width);
    EXPECT_EQ(1, pyramid.levels[2]->height);

    HeightImage wide(40000, 1);
    wide.fill(0);
    pyramid.build(&wide, reduceMinimum);
    EXPECT_EQ(mipMapMaxLevels, pyramid.levelCount);  // stops at 16 levels

    // Images without reductions give a pyramid of one level.
    ColorImage colour(4, 4);
    pyramid.build(&colour, reduceMinimum);
    EXPECT_EQ(1, pyramid.levelCount);
    EXPECT_EQ(emptyRangeMin, pyramid.rangeQuery(0, 0, 1, 1));
    EXPECT_FALSE(pyramid.build(nullptr, reduceMinimum));
}

TEST(GMipMapTest, RangeQueryMatchesBruteForce) {
    seedRandom(17);
    const int sizes[][2] = {{37, 23}, {64, 64}, {6, 5}, {3, 3}, {1, 1}, {130, 7}};
    for (const auto& size : sizes) {
        int w = size[0], h = size[1];
        HeightImage image = randomImage(w, h);
        GMipMap pyramid;
        pyramid.build(&image, reduceMinimum);
        pyramid.buildSecond(&image, reduceMaximum);
        for (int trial = 0; trial < 200; trial++) {
            float ua = uniform01() * 1.4f - 0.2f, ub = uniform01() * 1.4f - 0.2f;
            float va = uniform01() * 1.4f - 0.2f, vb = uniform01() * 1.4f - 0.2f;
            if (trial % 3 == 0) {  // small rectangles as well, the common case
                ub = ua + 0.05f * uniform01();
                vb = va + 0.05f * uniform01();
            }
            int lowest = pyramid.rangeQuery(ua, va, ub, vb);
            int highest = pyramid.secondRangeQuery(ua, va, ub, vb);
            // Corners in either order.
            EXPECT_EQ(lowest, pyramid.rangeQuery(ub, vb, ua, va));
            EXPECT_EQ(highest, pyramid.secondRangeQuery(ub, va, ua, vb));

            // Brute force over the source blocks of the chosen level.
            int x0, x1, y0, y1;
            touchedPixels(std::min(ua, ub), std::max(ua, ub), w, x0, x1);
            touchedPixels(std::min(va, vb), std::max(va, vb), h, y0, y1);
            int level = std::min(3, pyramid.levelCount - 1);
            if (pyramid.levelCount > 4 && (x1 >> 3) - (x0 >> 3) + (y1 >> 3) - (y0 >> 3) > 8)
                level = 4;
            int block = 1 << level;
            int bx0 = (x0 >> level) * block, bx1 = std::min(w - 1, ((x1 >> level) + 1) * block - 1);
            int by0 = (y0 >> level) * block, by1 = std::min(h - 1, ((y1 >> level) + 1) * block - 1);
            EXPECT_EQ(image.rangeMin(bx0, by0, bx1, by1), lowest);
            EXPECT_EQ(image.rangeMax(bx0, by0, bx1, by1), highest);

            // Conservative for every bilinear lookup inside the rectangle.
            for (int k = 0; k < 8; k++) {
                float u = ua + (ub - ua) * uniform01(), v = va + (vb - va) * uniform01();
                float sample = image.sampleScalar(HPoint(u, v, 0), false, false);
                // The blend's weights need not sum to exactly 1 in floats.
                EXPECT_LE((float)lowest, sample + 0.01f);
                EXPECT_GE((float)highest, sample - 0.01f);
            }
        }
    }
}

TEST(GMipMapTest, HeightImagePyramidsFollowChanges) {
    HeightImage image(32, 32);
    image.fill(10);
    image.setHeight(31, 31, -5);
    image.setHeight(0, 0, 90);
    image.buildPyramids();
    EXPECT_EQ(-5, image.lowestHeightIn(0.0f, 0.0f, 1.0f, 1.0f));
    EXPECT_EQ(90, image.highestHeightIn(1.0f, 1.0f, 0.0f, 0.0f));
    // A rectangle away from both extremes (level 3 blocks of 8 pixels).
    EXPECT_EQ(10, image.lowestHeightIn(0.4f, 0.4f, 0.5f, 0.5f));
    EXPECT_EQ(10, image.highestHeightIn(0.4f, 0.4f, 0.5f, 0.5f));
    // NaN coordinates neither crash nor read outside.
    image.lowestHeightIn(NAN, 0.5f, NAN, INFINITY);

    // Changing the heights through the class rebuilds on the next query.
    image.fill(3);
    EXPECT_EQ(3, image.lowestHeightIn(0.0f, 0.0f, 1.0f, 1.0f));
    EXPECT_TRUE(image.resize(4, 4));
    image.fill(-1);
    EXPECT_EQ(-1, image.highestHeightIn(0.0f, 0.0f, 1.0f, 1.0f));
    HeightImage empty;
    EXPECT_EQ(emptyRangeMin, empty.lowestHeightIn(0, 0, 1, 1));
    EXPECT_EQ(emptyRangeMax, empty.highestHeightIn(0, 0, 1, 1));
}
