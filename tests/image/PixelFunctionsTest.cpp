#include "image/PixelFunctions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

TEST(PixelFunctionsTest, PackAndUnpackPlaceRedInTheLowByte) {
    uint32_t p = packPixel(0x12, 0x34, 0x56, 0x78);
    EXPECT_EQ(0x78563412u, p);
    int r, g, b, a;
    unpackPixel(p, r, g, b, a);
    EXPECT_EQ(0x12, r);
    EXPECT_EQ(0x34, g);
    EXPECT_EQ(0x56, b);
    EXPECT_EQ(0x78, a);
    // In memory the bytes are R, G, B, A on this little-endian host.
    const unsigned char *bytes = reinterpret_cast<const unsigned char *>(&p);
    EXPECT_EQ(0x12, bytes[0]);
    EXPECT_EQ(0x78, bytes[3]);
}

TEST(PixelFunctionsTest, PackColorTruncatesWithoutSpillingIntoNeighbours) {
    EXPECT_EQ(packPixel(127, 255, 0, 63), packColor(0.5f, 1.0f, 0.0f, 0.25f));
    // 1.5 * 255 = 382: only its low byte is kept, green stays 0.
    EXPECT_EQ(packPixel(382 & 0xFF, 0, 0, 0), packColor(1.5f, 0.0f, 0.0f, 0.0f));
    // Out-of-range floats do not invoke undefined conversions.
    EXPECT_EQ(0u, packColor(std::nanf(""), 0.0f, 0.0f, 0.0f) & 0xFF);
    (void)packColor(1e30f, -1e30f, 0.0f, 0.0f);
}

TEST(PixelFunctionsTest, ColorToPixelClampsAndCarriesAlphaFromW) {
    EXPECT_EQ(packPixel(0, 255, 254, 0), colorToPixel(HPoint(-0.5f, 2.0f, 0.999f, 0.0f)));
    EXPECT_EQ(packPixel(255, 255, 255, 255), colorToPixel(HPoint(1.0f, 1.0f, 1.0f, 1.0f)));
    float nan = std::numeric_limits<float>::quiet_NaN();
    float inf = std::numeric_limits<float>::infinity();
    EXPECT_EQ(packPixel(0, 255, 0, 0), colorToPixel(HPoint(nan, inf, -inf, 0.0f)));
}

TEST(PixelFunctionsTest, PixelToColorDividesBy255AndIgnoresTheTopByte) {
    HPoint c = pixelToColor(packPixel(255, 0, 51, 200));
    EXPECT_FLOAT_EQ(1.0f, c.x);
    EXPECT_FLOAT_EQ(0.0f, c.y);
    EXPECT_FLOAT_EQ(0.2f, c.z);
    EXPECT_FLOAT_EQ(0.0f, c.w);
    // Round trip of every byte value through the renderers' conversion.
    for (uint32_t v = 0; v < 256; v++) {
        uint32_t p = packPixel(v, 255 - v, v / 2, 0);
        EXPECT_EQ(p, colorToPixel(pixelToColor(p)));
    }
}

TEST(PixelFunctionsTest, AveragesRoundUpPerChannelWithoutCarries) {
    EXPECT_EQ(1u, averagePixels(1, 0));
    EXPECT_EQ(0xFFFFFFFFu, averagePixels(0xFFFFFFFFu, 0xFFFFFFFFu));
    EXPECT_EQ(0x80000000u, averagePixels(0xFF000000u, 0));
    EXPECT_EQ(packPixel(2, 128, 101, 0),
              averagePixels(packPixel(3, 255, 100, 0), packPixel(0, 0, 101, 0)));
    // ((10, 20) -> 15, (30, 41) -> 36) -> 26 (rounded up twice)
    EXPECT_EQ(26u, averageFourPixels(10, 20, 30, 41));
    EXPECT_EQ(2, averageBytes(2, 3));
    EXPECT_EQ(255, averageBytes(255, 255));
    EXPECT_EQ(2, averageFourBytes(1, 2, 3, 5));
    EXPECT_EQ(255, averageFourBytes(255, 255, 255, 255));
}

TEST(PixelFunctionsTest, DistancesSumOverAllFourBytes) {
    uint32_t a = packPixel(10, 20, 30, 40), b = packPixel(13, 16, 30, 50);
    EXPECT_EQ(9 + 16 + 0 + 100, pixelDistanceSquared(a, b));
    EXPECT_EQ(3 + 4 + 0 + 10, pixelDistance(a, b));
    EXPECT_EQ(4 * 255 * 255, pixelDistanceSquared(0, 0xFFFFFFFFu));
    EXPECT_EQ(0, pixelDistance(a, a));
}

TEST(PixelFunctionsTest, WrapCoordinateStaysInsideTheImage) {
    EXPECT_EQ(0, wrapCoordinate(1.0f, 256, true));
    EXPECT_EQ(255, wrapCoordinate(1.0f, 256, false));
    EXPECT_EQ(191, wrapCoordinate(-0.25f, 256, true));
    EXPECT_EQ(0, wrapCoordinate(-0.25f, 256, false));
    EXPECT_EQ(127, wrapCoordinate(2.5f, 256, true)); // 128 * 0.99999
    EXPECT_EQ(127, wrapCoordinate(0.4999f, 256, false));
    // A tiny negative fraction wraps to the last pixel, not past it.
    EXPECT_EQ(255, wrapCoordinate(-1e-9f, 256, true));
    float nan = std::numeric_limits<float>::quiet_NaN();
    float inf = std::numeric_limits<float>::infinity();
    for (int size : {1, 2, 3, 256, 1 << 20}) {
        for (float u : {nan, inf, -inf, 1e30f, -1e30f, 0.99999999f, -0.0f}) {
            for (bool wrap : {true, false}) {
                int index = wrapCoordinate(u, size, wrap);
                EXPECT_GE(index, 0);
                EXPECT_LT(index, size);
            }
        }
    }
}
