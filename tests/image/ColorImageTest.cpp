#include "image/ColorImage.h"

#include <gtest/gtest.h>

#include <cstring>
#include <cinttypes>
#include <cstdio>
#include <string>

#include "foundation/Random.h"

namespace {
// A w x h image whose pixel (x, y) is packPixel(x, y, x + y, 7).
ColorImage coordinateImage(int w, int h) {
    ColorImage image(w, h);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            image.setPixel(x, y, packPixel(x, y, x + y, 7));
    return image;
}
} // namespace

TEST(ColorImageTest, EmptyConstructionTextAndDeepCopies) {
    ColorImage none, zeroWide(0, 5), negative(4, -1);
    for (ColorImage *empty : {&none, &zeroWide, &negative}) {
        EXPECT_EQ(0, empty->width * empty->height);
        EXPECT_EQ(nullptr, empty->pixels);
        EXPECT_EQ(16, empty->memorySize());
    }
    ColorImage image = coordinateImage(3, 2);
    EXPECT_EQ(3 * 2 * 4 + 16, image.memorySize());
    char expected[64];
    std::snprintf(expected, sizeof expected, "ColorImage@%" PRIxPTR " (3 x 2)", (uintptr_t)&image);
    EXPECT_STREQ(expected, image.toString());
    GImage base;
    EXPECT_EQ(nullptr, base.clone());

    GObject *copy = image.clone();
    ASSERT_NE(nullptr, copy);
    EXPECT_NE(image.pixels, static_cast<ColorImage *>(copy)->pixels);
    EXPECT_EQ(image.getPixel(2, 1), static_cast<ColorImage *>(copy)->getPixel(2, 1));
    // Colour images compare by identity only.
    EXPECT_TRUE(image.equals(&image));
    EXPECT_FALSE(image.equals(copy));
    delete copy;
    ColorImage assigned;
    assigned = image;
    EXPECT_EQ(image.getPixel(1, 1), assigned.getPixel(1, 1));
    assigned = ColorImage();
    EXPECT_EQ(0, assigned.width);
}

TEST(ColorImageTest, ResizeKeepsPixelsAtTheSameSizeAndRefusesBadSizes) {
    ColorImage image = coordinateImage(4, 3);
    uint32_t *before = image.pixels;
    EXPECT_TRUE(image.resize(4, 3));
    EXPECT_EQ(before, image.pixels);
    EXPECT_EQ(packPixel(3, 2, 5, 7), image.getPixel(3, 2));
    EXPECT_FALSE(image.resize(0, 5));
    EXPECT_FALSE(image.resize(5, -2));
    // 2^31 pixels: refused before any allocation is tried.
    EXPECT_FALSE(image.resize(1 << 16, 1 << 15));
    EXPECT_FALSE(image.resize(2147483647, 2147483647));
    EXPECT_EQ(4, image.width);
    EXPECT_EQ(3, image.height);
    EXPECT_EQ(before, image.pixels);
    EXPECT_TRUE(image.resize(2, 2));
    EXPECT_EQ(2, image.width);
}

TEST(ColorImageTest, FillSetFromBytesAndCopyFrom) {
    ColorImage image(2, 2);
    image.fill(0xDEADBEEFu);
    for (int i = 0; i < 4; i++)
        EXPECT_EQ(0xDEADBEEFu, image.pixels[i]);
    const uint8_t bytes[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    image.setFromRGBBytes(bytes);
    EXPECT_EQ(packPixel(1, 2, 3, 0), image.pixels[0]);
    EXPECT_EQ(packPixel(10, 11, 12, 0), image.pixels[3]);
    ColorImage other;
    EXPECT_TRUE(other.copyFrom(image));
    EXPECT_EQ(image.pixels[3], other.pixels[3]);
    ColorImage empty;
    EXPECT_FALSE(other.copyFrom(empty));
    EXPECT_EQ(2, other.width);
}

TEST(ColorImageTest, CopyRegionFromClipsToTheSource) {
    ColorImage source = coordinateImage(4, 4);
    ColorImage target(3, 3);
    target.fill(0xFFFFFFFFu);
    // Lower-left corner at (2, -1): only source columns 2, 3 and rows 0, 1 overlap.
    target.copyRegionFrom(source, 2, -1);
    EXPECT_EQ(0xFFFFFFFFu, target.getPixel(0, 0)); // source (2, -1) does not exist
    EXPECT_EQ(source.getPixel(2, 0), target.getPixel(0, 1));
    EXPECT_EQ(source.getPixel(3, 1), target.getPixel(1, 2));
    EXPECT_EQ(0xFFFFFFFFu, target.getPixel(2, 1)); // source column 4 does not exist
    // Entirely outside: nothing changes.
    ColorImage untouched(2, 2);
    untouched.fill(5);
    untouched.copyRegionFrom(source, 4, 0);
    untouched.copyRegionFrom(source, 0, -2);
    untouched.copyRegionFrom(source, -2147483647, 2147483647);
    for (int i = 0; i < 4; i++)
        EXPECT_EQ(5u, untouched.pixels[i]);
    ColorImage empty;
    untouched.copyRegionFrom(empty, 0, 0);
    empty.copyRegionFrom(source, 0, 0);
    EXPECT_EQ(5u, untouched.pixels[0]);
}

TEST(ColorImageTest, SamplingPicksTheNearestPixelAndTheRedRange) {
    ColorImage image(2, 2);
    image.setPixel(0, 0, packPixel(10, 0, 0, 9));
    image.setPixel(1, 0, packPixel(20, 255, 0, 9));
    image.setPixel(0, 1, packPixel(30, 0, 51, 9));
    image.setPixel(1, 1, packPixel(40, 0, 0, 9));
    EXPECT_FLOAT_EQ(20.0f, image.sampleScalar(HPoint(0.75f, 0.25f, 0.0f), false, false));
    EXPECT_FLOAT_EQ(40.0f, image.sampleScalar(HPoint(1.0f, 1.0f, 0.0f), false, false));
    EXPECT_FLOAT_EQ(10.0f, image.sampleScalar(HPoint(1.0f, 1.0f, 0.0f), true, true));
    EXPECT_FLOAT_EQ(30.0f, image.sampleScalar(HPoint(-0.75f, 0.75f, 0.0f), true, true));
    HPoint c = image.sampleColor(HPoint(0.9f, 0.1f, 0.0f), false, false);
    EXPECT_FLOAT_EQ(20.0f / 255.0f, c.x);
    EXPECT_FLOAT_EQ(1.0f, c.y);
    EXPECT_FLOAT_EQ(0.0f, c.w);
    float lo, hi;
    image.valueRange(lo, hi);
    EXPECT_FLOAT_EQ(10.0f, lo);
    EXPECT_FLOAT_EQ(40.0f, hi);

    // Empty images answer neutrally instead of reading a null buffer.
    ColorImage empty;
    EXPECT_FLOAT_EQ(0.0f, empty.sampleScalar(HPoint(0.5f, 0.5f, 0.0f), true, true));
    HPoint black = empty.sampleColor(HPoint(0.5f, 0.5f, 0.0f), false, false);
    EXPECT_FLOAT_EQ(0.0f, black.x);
    empty.valueRange(lo, hi);
    EXPECT_FLOAT_EQ(0.0f, hi);
    EXPECT_EQ(0u, empty.sampleBilinear(0.5f, 0.5f));

    GImage base;
    EXPECT_FLOAT_EQ(1.0f, base.sampleScalar(HPoint(), true, true));
    HPoint white = base.sampleColor(HPoint(), true, true);
    EXPECT_FLOAT_EQ(1.0f, white.z);
    EXPECT_FLOAT_EQ(0.0f, white.w);
    base.valueRange(lo, hi);
    EXPECT_FLOAT_EQ(0.0f, lo);
    EXPECT_FLOAT_EQ(1.0f, hi);
    EXPECT_EQ(nullptr, image.reduce(2));
}

TEST(ColorImageTest, SampleBilinearInterpolatesEachByte) {
    ColorImage image(2, 2);
    image.setPixel(0, 0, packPixel(0, 100, 200, 0));
    image.setPixel(1, 0, packPixel(100, 100, 0, 0));
    image.setPixel(0, 1, packPixel(0, 200, 200, 255));
    image.setPixel(1, 1, packPixel(100, 200, 0, 255));
    // (0.25, 0.5): red 25, green 150, blue 150, alpha 127.5 -> 127.
    EXPECT_EQ(packPixel(25, 150, 150, 127), image.sampleBilinear(0.25f, 0.5f));
    // At and beyond the last pixel the neighbours are the pixel itself.
    EXPECT_EQ(image.getPixel(1, 1), image.sampleBilinear(1.0f, 1.0f));
    EXPECT_EQ(image.getPixel(1, 1), image.sampleBilinear(7.5f, 9.0f));
    EXPECT_EQ(image.getPixel(0, 0), image.sampleBilinear(-3.0f, -0.5f));
}

TEST(ColorImageTest, DifferenceOfScalesAroundMidGray) {
    ColorImage a(3, 2), b(2, 3);
    a.fill(packPixel(100, 100, 100, 77));
    b.fill(packPixel(110, 50, 255, 0));
    b.setPixel(1, 1, packPixel(100, 100, 100, 0));
    ColorImage diff;
    ASSERT_TRUE(diff.differenceOf(a, b, 2.0f));
    EXPECT_EQ(2, diff.width);
    EXPECT_EQ(2, diff.height);
    // 127 + 2 * 10 = 147; 127 - 100 = 27; 127 + 310 -> 255; alpha 0.
    EXPECT_EQ(packPixel(147, 27, 255, 0), diff.getPixel(0, 0));
    // Each input is indexed with its own width.
    EXPECT_EQ(packPixel(127, 127, 127, 0), diff.getPixel(1, 1));
    ASSERT_TRUE(diff.differenceOf(a, b, -10.0f));
    EXPECT_EQ(packPixel(27, 255, 0, 0), diff.getPixel(0, 0));
    // The result may be one of the inputs.
    ASSERT_TRUE(a.differenceOf(a, b, 1.0f));
    EXPECT_EQ(packPixel(137, 77, 255, 0), a.getPixel(0, 0));
    ColorImage empty;
    EXPECT_FALSE(diff.differenceOf(empty, b, 1.0f));
}

TEST(ColorImageTest, HalveAndDoubleSize) {
    ColorImage column(1, 4), row(4, 1), single(1, 1), square(4, 2), out;
    for (int i = 0; i < 4; i++) {
        column.pixels[i] = (uint32_t)(10 * i + 1);
        row.pixels[i] = (uint32_t)(10 * i + 1);
    }
    ASSERT_TRUE(out.halve(column));
    EXPECT_EQ(1, out.width);
    EXPECT_EQ(2, out.height);
    EXPECT_EQ(averagePixels(1, 11), out.pixels[0]);
    EXPECT_EQ(averagePixels(21, 31), out.pixels[1]);
    ASSERT_TRUE(out.halve(row));
    EXPECT_EQ(2, out.width);
    EXPECT_EQ(1, out.height);
    single.pixels[0] = 42;
    ASSERT_TRUE(out.halve(single));
    EXPECT_EQ(1, out.width);
    EXPECT_EQ(42u, out.pixels[0]);
    for (int i = 0; i < 8; i++)
        square.pixels[i] = (uint32_t)(i * 3);
    ASSERT_TRUE(out.halve(square));
    EXPECT_EQ(2, out.width);
    EXPECT_EQ(1, out.height);
    // (2x, 2y), (2x+1, 2y), (2x+1, 2y+1), (2x, 2y+1) of the 4 x 2 source.
    EXPECT_EQ(averageFourPixels(6, 9, 21, 18), out.pixels[1]);
    // Halving in place works on a copy.
    ASSERT_TRUE(square.halve(square));
    EXPECT_EQ(out.pixels[1], square.pixels[1]);

    ColorImage source = coordinateImage(2, 1), doubled;
    ASSERT_TRUE(doubled.doubleSize(source));
    EXPECT_EQ(4, doubled.width);
    EXPECT_EQ(2, doubled.height);
    EXPECT_EQ(source.getPixel(1, 0), doubled.getPixel(2, 1));
    EXPECT_EQ(source.getPixel(1, 0), doubled.getPixel(3, 0));
    EXPECT_EQ(source.getPixel(0, 0), doubled.getPixel(1, 1));
    ColorImage empty;
    ASSERT_TRUE(doubled.doubleSize(empty));
    EXPECT_EQ(0, doubled.width);
    EXPECT_FALSE(doubled.halve(empty));
}

TEST(ColorImageTest, MipPyramidLivesInsideThePixelBuffer) {
    EXPECT_EQ(1, mipLevelCountFor(1));
    EXPECT_EQ(2, mipLevelCountFor(2));
    EXPECT_EQ(9, mipLevelCountFor(256));
    EXPECT_EQ(0, mipLevelOffset(256, 0));
    EXPECT_EQ(65536 + 16384 + 4096, mipLevelOffset(256, 3));

    seedRandom(7);
    ColorImage image(256, 256);
    for (int i = 0; i < 256 * 256; i++)
        image.pixels[i] = packPixel(nextRandom() & 255, nextRandom() & 255, nextRandom() & 255, 0);
    ColorImage original(image);
    EXPECT_EQ(9, image.mipLevelCount());
    ASSERT_TRUE(image.makeMipMap());
    EXPECT_EQ(256, image.width);
    EXPECT_EQ(343, image.height);
    EXPECT_TRUE(image.mipPyramid);
    // Level 0 is the original; level k is halve applied k times.
    EXPECT_EQ(0, std::memcmp(original.pixels, image.mipLevel(0), 256 * 256 * 4));
    ColorImage expected(original), level;
    for (int k = 1; k < 9; k++) {
        ColorImage half;
        half.halve(expected);
        expected.copyFrom(half);
        uint32_t *start = image.mipLevel(k, &level);
        ASSERT_NE(nullptr, start);
        EXPECT_EQ(image.pixels + mipLevelOffset(256, k), start);
        ASSERT_EQ(256 >> k, level.width);
        EXPECT_EQ(0,
                  std::memcmp(expected.pixels, level.pixels, (size_t)(256 >> k) * (256 >> k) * 4))
            << "level " << k;
    }
    EXPECT_EQ(nullptr, image.mipLevel(9));
    EXPECT_EQ(nullptr, image.mipLevel(-1));
    // setMipLevel writes the first side^2 pixels of the image into the level.
    ColorImage patch(2, 2);
    patch.fill(0x01020304u);
    ASSERT_TRUE(image.setMipLevel(7, patch));
    EXPECT_EQ(0x01020304u, image.mipLevel(7)[3]);
    EXPECT_FALSE(image.setMipLevel(6, patch)); // 4 x 4 level, 4 pixels given
}

TEST(ColorImageTest, MipMapsRefuseNonSquareImagesWithAMessage) {
    ColorImage image(4, 2);
    image.fill(9);
    uint32_t *before = image.pixels;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(image.makeMipMapStorage());
    EXPECT_FALSE(image.makeMipMap());
    EXPECT_EQ("Error! Cannot make a non-square mip-map!Error! Cannot make a non-square mip-map!",
              testing::internal::GetCapturedStdout());
    EXPECT_EQ(before, image.pixels);
    EXPECT_EQ(2, image.height);
    // Without a pyramid only level 0 exists.
    ColorImage square(4, 4);
    EXPECT_EQ(square.pixels, square.mipLevel(0));
    EXPECT_EQ(nullptr, square.mipLevel(1));
    EXPECT_FALSE(square.setMipLevel(1, image));
    ColorImage one(1, 1);
    one.pixels[0] = 5;
    ASSERT_TRUE(one.makeMipMap());
    EXPECT_EQ(3, one.height);
    EXPECT_EQ(5u, *one.mipLevel(0));
    // A resize ends the pyramid.
    EXPECT_TRUE(one.resize(1, 3));
    EXPECT_FALSE(one.mipPyramid);
}
