#include "image/HeightImage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "foundation/Random.h"
#include "image/GrayImage.h"
#include "tests/TestSupport.h"

namespace {

HeightImage makeImage(int w, int h, std::initializer_list<int> values) {
    HeightImage image(w, h);
    int i = 0;
    for (int v : values) image.pixels[i++] = (int16_t)v;
    return image;
}

HeightImage randomImage(int w, int h) {
    HeightImage image(w, h);
    for (int i = 0; i < w * h; i++) image.pixels[i] = (int16_t)(nextRandom() - 16384);
    return image;
}

bool sameHeights(const HeightImage& a, const HeightImage& b) {
    if (a.width != b.width || a.height != b.height) return false;
    return a.width * a.height == 0 ||
           std::memcmp(a.pixels, b.pixels, sizeof(int16_t) * a.width * a.height) == 0;
}

std::string littleEndian(std::initializer_list<int> values) {
    std::string bytes;
    for (int v : values) {
        bytes += (char)(v & 0xFF);
        bytes += (char)((v >> 8) & 0xFF);
    }
    return bytes;
}

}  // namespace

TEST(HeightImageTest, ConstructionResizeAndClone) {
    HeightImage empty(0, 4), negative(3, -1), image(3, 2);
    EXPECT_EQ(nullptr, empty.pixels);
    EXPECT_EQ(0, negative.height);
    EXPECT_EQ(3 * 2 * 2 + 16, image.memorySize());
    EXPECT_NE(std::string::npos, std::string(image.toString()).find(" (3 x 2)"));

    EXPECT_FALSE(image.resize(0, 2));
    EXPECT_EQ(3, image.width);
    image.fill(-7);
    EXPECT_TRUE(image.resize(3, 2));  // same size keeps the heights
    EXPECT_EQ(-7, image.getHeight(2, 1));

    std::unique_ptr<GObject> copy(image.clone());
    HeightImage* cloned = static_cast<HeightImage*>(copy.get());
    EXPECT_NE(image.pixels, cloned->pixels);
    EXPECT_TRUE(sameHeights(image, *cloned));
}

// ---- ".hg" files -------------------------------------------------------------

TEST(HeightImageTest, WriterGoldenBytes) {
    std::string dir = makeScratchDir();
    // The driver writes this from a missing "velk_disp.pgm" on every run.
    HeightImage empty;
    ASSERT_TRUE(empty.writeHG((dir + "/empty.hg").c_str()));
    EXPECT_EQ(std::string("HG\n# Height Image\n0 0\n"), readWholeFile(dir + "/empty.hg"));

    HeightImage image = makeImage(2, 2, {1, -2, 258, 32767});
    ASSERT_TRUE(image.writeHG((dir + "/small.hg").c_str()));
    EXPECT_EQ(std::string("HG\n# Height Image\n2 2\n") + littleEndian({1, -2, 258, 32767}),
              readWholeFile(dir + "/small.hg"));

    ASSERT_TRUE(image.writeHG((dir + "/comment.hg").c_str(), "made by hand"));
    EXPECT_EQ(std::string("HG\n# made by hand\n2 2\n") + littleEndian({1, -2, 258, 32767}),
              readWholeFile(dir + "/comment.hg"));

    // A line feed inside the comment must not end the header early.
    ASSERT_TRUE(image.writeHG((dir + "/twolines.hg").c_str(), "one\ntwo"));
    EXPECT_EQ(0u, readWholeFile(dir + "/twolines.hg").find("HG\n# one\n# two\n2 2\n"));
    HeightImage back;
    EXPECT_TRUE(back.readHG((dir + "/twolines.hg").c_str()));
    EXPECT_TRUE(sameHeights(image, back));

    EXPECT_FALSE(image.writeHG((dir + "/no/such/folder.hg").c_str()));
}

TEST(HeightImageTest, DriverConversionOfDisplacementMap) {
    std::string dir = makeScratchDir();
    // Missing gray image: the empty height file, default comment.
    EXPECT_TRUE(convertDisplacementMap((dir + "/velk_disp.pgm").c_str(),
                                       (dir + "/velk_disp.hg").c_str()));
    EXPECT_EQ(std::string("HG\n# Height Image\n0 0\n"), readWholeFile(dir + "/velk_disp.hg"));

    // Bytes widen without sign: 200 stays 200, not -56.
    writeWholeFile(dir + "/velk_disp.pgm", std::string("P5\n3 2\n255\n") + "\x01\x02\x03" +
                                               std::string("\xc8\x00\xff", 3));
    EXPECT_TRUE(convertDisplacementMap((dir + "/velk_disp.pgm").c_str(),
                                       (dir + "/velk_disp.hg").c_str()));
    // File rows are top-first in PGM, bottom-first in ".hg".
    EXPECT_EQ(std::string("HG\n# Height Image\n3 2\n") + littleEndian({200, 0, 255, 1, 2, 3}),
              readWholeFile(dir + "/velk_disp.hg"));

    // A gray file that is not a PGM leaves the image empty.
    writeWholeFile(dir + "/velk_disp.pgm", "P6\n1 1\n255\nabc");
    EXPECT_TRUE(convertDisplacementMap((dir + "/velk_disp.pgm").c_str(),
                                       (dir + "/velk_disp.hg").c_str()));
    EXPECT_EQ(std::string("HG\n# Height Image\n0 0\n"), readWholeFile(dir + "/velk_disp.hg"));
}

TEST(HeightImageTest, EveryRunWritesTheEmptyHeightFile) {
    // No "velk_disp.pgm" in the folder: the file of an empty image, exactly.
    std::string dir = makeScratchDir();
    runVelk(dir, "");
    EXPECT_EQ(std::string("HG\n# Height Image\n0 0\n"), readWholeFile(dir + "/velk_disp.hg"));
}

TEST(HeightImageTest, ReadersRoundTrip) {
    std::string dir = makeScratchDir();
    seedRandom(11);
    HeightImage image = randomImage(7, 5);
    std::string name = dir + "/random.hg";
    ASSERT_TRUE(image.writeHG(name.c_str()));

    HeightImage back;
    ASSERT_TRUE(back.readHG(name.c_str()));
    EXPECT_TRUE(sameHeights(image, back));

    // The empty file the driver writes reads back as an empty image.
    HeightImage empty;
    ASSERT_TRUE(empty.writeHG((dir + "/empty.hg").c_str()));
    ASSERT_TRUE(back.readHG((dir + "/empty.hg").c_str()));
    EXPECT_EQ(0, back.width);
    EXPECT_EQ(0, back.height);

    // Band: rows 1 .. 3 of the five.
    HeightImage band;
    ASSERT_TRUE(band.readHGBand(name.c_str(), 1, 4));
    ASSERT_EQ(7, band.width);
    ASSERT_EQ(3, band.height);
    for (int y = 0; y < 3; y++)
        for (int x = 0; x < 7; x++) EXPECT_EQ(image.getHeight(x, y + 1), band.getHeight(x, y));
    EXPECT_TRUE(band.readHGBand(name.c_str(), 0, 5));
    EXPECT_TRUE(sameHeights(image, band));

    // Raw: the same rows without a header.
    std::string raw;
    for (int i = 0; i < 7 * 5; i++) raw += littleEndian({image.pixels[i]});
    writeWholeFile(dir + "/heights.raw", raw);
    HeightImage rawImage;
    ASSERT_TRUE(rawImage.readRaw((dir + "/heights.raw").c_str(), 7, 5));
    EXPECT_TRUE(sameHeights(image, rawImage));

    // "H7": big-endian heights after one extra header line.
    writeWholeFile(dir + "/big.h75", std::string("H75\n# comment\n2 1\n65535\n") +
                                         std::string("\x01\x02\xff\xfe", 4));
    HeightImage big;
    ASSERT_TRUE(big.readH75((dir + "/big.h75").c_str()));
    ASSERT_EQ(2, big.width);
    ASSERT_EQ(1, big.height);
    EXPECT_EQ(0x0102, big.getHeight(0, 0));
    EXPECT_EQ(-2, big.getHeight(1, 0));
}

TEST(HeightImageTest, HostileFilesAreRefusedWithoutChange) {
    std::string dir = makeScratchDir();
    HeightImage image = makeImage(1, 1, {42});
    auto refused = [&](const std::string& bytes) {
        writeWholeFile(dir + "/bad.hg", bytes);
        bool ok = image.readHG((dir + "/bad.hg").c_str());
        return !ok && image.width == 1 && image.height == 1 && image.getHeight(0, 0) == 42;
    };
    EXPECT_TRUE(refused(""));
    EXPECT_TRUE(refused("HG\n"));
    EXPECT_TRUE(refused("P5\n1 1\n" + littleEndian({1})));
    EXPECT_TRUE(refused("HGC\n1 1\n" + littleEndian({1})));       // compressed variant
    EXPECT_TRUE(refused("HG\n# c\n2\n3\n" + littleEndian({1, 2, 3, 4, 5, 6})));  // split size
    EXPECT_TRUE(refused("HG\n-3 2\n" + littleEndian({1, 2, 3, 4, 5, 6})));
    EXPECT_TRUE(refused("HG\n0 5\n"));
    EXPECT_TRUE(refused("HG\n2 2\n" + littleEndian({1, 2, 3})));  // one height short
    EXPECT_TRUE(refused("HG\n2 2\n" + littleEndian({1, 2, 3, 4}).substr(0, 7)));  // odd byte
    // Huge announced sizes: refused before any allocation.
    EXPECT_TRUE(refused("HG\n100000 100000\n" + littleEndian({1, 2})));
    EXPECT_TRUE(refused("HG\n2147483647 1\n" + littleEndian({1, 2})));
    EXPECT_TRUE(refused("HG\n99999999999999999999 99999999999999999999\n"));
    // Comment lines far longer than the line buffer are skipped whole.
    std::string longComment = "#" + std::string(5000, 'x') + "\n";
    writeWholeFile(dir + "/long.hg", "HG\n" + longComment + "1 1\n" + littleEndian({-9}));
    EXPECT_TRUE(image.readHG((dir + "/long.hg").c_str()));
    EXPECT_EQ(-9, image.getHeight(0, 0));
    // A size line hidden in the tail of a long line is not taken as the next line.
    image.fill(42);
    EXPECT_TRUE(refused("HG\n" + std::string(300, '7') + " 1 1\n" + littleEndian({1})));
    EXPECT_FALSE(image.readHG((dir + "/missing.hg").c_str()));

    // Band limits outside the file's rows.
    HeightImage source = makeImage(2, 3, {1, 2, 3, 4, 5, 6});
    ASSERT_TRUE(source.writeHG((dir + "/band.hg").c_str()));
    EXPECT_FALSE(image.readHGBand((dir + "/band.hg").c_str(), -1, 2));
    EXPECT_FALSE(image.readHGBand((dir + "/band.hg").c_str(), 2, 2));
    EXPECT_FALSE(image.readHGBand((dir + "/band.hg").c_str(), 1, 4));
    writeWholeFile(dir + "/shortband.hg", "HG\n2 3\n" + littleEndian({1, 2, 3, 4}));
    EXPECT_FALSE(image.readHGBand((dir + "/shortband.hg").c_str(), 1, 3));
    EXPECT_EQ(1, image.width);

    // Raw and H7 readers check the file as well.
    writeWholeFile(dir + "/short.raw", littleEndian({1, 2, 3}));
    EXPECT_FALSE(image.readRaw((dir + "/short.raw").c_str(), 2, 2));
    EXPECT_FALSE(image.readRaw((dir + "/short.raw").c_str(), -2, 2));
    writeWholeFile(dir + "/noextra.h75", "H75\n1 1\n");
    EXPECT_FALSE(image.readH75((dir + "/noextra.h75").c_str()));
    writeWholeFile(dir + "/huge.h75", "H75\n65536 65536\n65535\n");
    EXPECT_FALSE(image.readH75((dir + "/huge.h75").c_str()));
    EXPECT_EQ(1, image.width);
}

// ---- sampling and pixel operations -------------------------------------------

TEST(HeightImageTest, SamplingByHand) {
    // Rows bottom-up: (0, 0) = 0, (1, 0) = 100, (0, 1) = 200, (1, 1) = -300.
    HeightImage image = makeImage(2, 2, {0, 100, 200, -300});
    float low, high;
    image.valueRange(low, high);
    EXPECT_EQ(-300.0f, low);
    EXPECT_EQ(200.0f, high);

    // u' = 2 * 0.25 = 0.5, v' = 2 * 0.25 = 0.5: the mean of all four.
    EXPECT_FLOAT_EQ(0.0f, image.sampleScalar(HPoint(0.25f, 0.25f, 0), false, false));
    // u' = 0.5, v' = 0: halfway between (0, 0) and (1, 0).
    EXPECT_FLOAT_EQ(50.0f, image.sampleScalar(HPoint(0.25f, 0.0f, 0), false, false));
    // Pixel 1 has no right neighbour: the edge repeats.
    EXPECT_FLOAT_EQ(100.0f, image.sampleScalar(HPoint(0.75f, 0.0f, 0), false, false));
    // Wrapping: 1.25 is 0.25.
    EXPECT_FLOAT_EQ(50.0f, image.sampleScalar(HPoint(1.25f, 0.0f, 0), true, true));

    // Colour: the low byte of the nearest height, gray, w = 0. -300 = 0xFED4.
    HPoint c = image.sampleColor(HPoint(0.9f, 0.9f, 0), false, false);
    EXPECT_FLOAT_EQ(0xD4 / 255.0f, c.x);
    EXPECT_FLOAT_EQ(0xD4 / 255.0f, c.z);
    EXPECT_EQ(0.0f, c.w);

    HeightImage empty;
    empty.valueRange(low, high);
    EXPECT_EQ(0.0f, low);
    EXPECT_EQ(0.0f, high);
    EXPECT_EQ(0.0f, empty.sampleScalar(HPoint(0.5f, 0.5f, 0), true, true));
}

TEST(HeightImageTest, SubtractFlipAndRegion) {
    HeightImage a = makeImage(2, 2, {10, 20, 30, 40});
    HeightImage b = makeImage(2, 2, {1, 2, 3, -32768});
    a.subtract(b);
    EXPECT_EQ(9, a.getHeight(0, 0));
    EXPECT_EQ(27, a.getHeight(0, 1));
    EXPECT_EQ((int16_t)(40 + 32768), a.getHeight(1, 1));  // 16-bit wrap-around

    HeightImage other(3, 2);
    testing::internal::CaptureStdout();
    a.subtract(other);
    EXPECT_EQ("tried to subtract images with different sizes.\n",
              testing::internal::GetCapturedStdout());
    EXPECT_EQ(9, a.getHeight(0, 0));

    HeightImage rows = makeImage(2, 3, {1, 2, 3, 4, 5, 6});
    rows.flipVertically();
    EXPECT_TRUE(sameHeights(makeImage(2, 3, {5, 6, 3, 4, 1, 2}), rows));

    HeightImage source = makeImage(3, 3, {1, 2, 3, 4, 5, 6, 7, 8, 9});
    HeightImage region = makeImage(2, 2, {0, 0, 0, 0});
    region.copyRegionFrom(source, 2, -1);  // only source (2, 0) overlaps, at (0, 1)
    EXPECT_TRUE(sameHeights(makeImage(2, 2, {0, 0, 3, 0}), region));
    region.copyRegionFrom(source, 1, 1);
    EXPECT_TRUE(sameHeights(makeImage(2, 2, {5, 6, 8, 9}), region));
}

TEST(HeightImageTest, RangeQueriesMatchBruteForce) {
    seedRandom(3);
    HeightImage image = randomImage(13, 9);
    for (int trial = 0; trial < 300; trial++) {
        // Rectangles reaching past the image on every side.
        int x0 = nextRandom() % 17 - 2, x1 = nextRandom() % 17 - 2;
        int y0 = nextRandom() % 13 - 2, y1 = nextRandom() % 13 - 2;
        int lowest = 32767, highest = -32768;
        for (int y = y0; y <= y1; y++)
            for (int x = x0; x <= x1; x++)
                if (x >= 0 && x < 13 && y >= 0 && y < 9) {
                    lowest = std::min(lowest, (int)image.getHeight(x, y));
                    highest = std::max(highest, (int)image.getHeight(x, y));
                }
        EXPECT_EQ(lowest, image.rangeMin(x0, y0, x1, y1));
        EXPECT_EQ(highest, image.rangeMax(x0, y0, x1, y1));
    }
    HeightImage empty;
    EXPECT_EQ(emptyRangeMin, empty.rangeMin(0, 0, 5, 5));
    EXPECT_EQ(emptyRangeMax, empty.rangeMax(0, 0, 5, 5));
}

TEST(HeightImageTest, ReductionsOfOddSizes) {
    seedRandom(5);
    HeightImage image = randomImage(5, 3);
    std::unique_ptr<GImage> low(image.reduce(reduceMinimum));
    std::unique_ptr<GImage> high(image.reduce(reduceMaximum));
    ASSERT_TRUE(low && high);
    ASSERT_EQ(3, low->width);
    ASSERT_EQ(2, low->height);
    HeightImage* lowHeights = static_cast<HeightImage*>(low.get());
    HeightImage* highHeights = static_cast<HeightImage*>(high.get());
    for (int y = 0; y < 2; y++)
        for (int x = 0; x < 3; x++) {
            // The 2 x 2 block, partial at the right and top edges.
            EXPECT_EQ(image.rangeMin(2 * x, 2 * y, 2 * x + 1, 2 * y + 1), lowHeights->getHeight(x, y));
            EXPECT_EQ(image.rangeMax(2 * x, 2 * y, 2 * x + 1, 2 * y + 1),
                      highHeights->getHeight(x, y));
        }

    HeightImage small = makeImage(3, 1, {-1, -2, 7});
    std::unique_ptr<GImage> mean(small.reduce(reduceAverage));
    ASSERT_EQ(2, mean->width);
    ASSERT_EQ(1, mean->height);
    EXPECT_EQ(-2, static_cast<HeightImage*>(mean.get())->getHeight(0, 0));  // floor(-1.5)
    EXPECT_EQ(7, static_cast<HeightImage*>(mean.get())->getHeight(1, 0));

    EXPECT_EQ(nullptr, image.reduce(1));
    EXPECT_EQ(nullptr, image.reduce(5));
}

TEST(HeightImageTest, ExpandByHand) {
    HeightImage image = makeImage(2, 2, {0, 3, 10, 20});
    HeightImage big;
    big.expand(image);
    ASSERT_EQ(3, big.width);
    ASSERT_EQ(3, big.height);
    // Row 0: 0, (0 + 3 + 1) / 2 = 2, 3. Row 2: 10, 15, 20.
    // Row 1: (0 + 10 + 1) / 2 = 5, (2 + 15 + 1) / 2 = 9, (3 + 20 + 1) / 2 = 12.
    EXPECT_TRUE(sameHeights(makeImage(3, 3, {0, 2, 3, 5, 9, 12, 10, 15, 20}), big));

    // Rounded up for negative sums too: the mean of -1 and -1 is -1, of -1 and -2 is -1.
    HeightImage negative = makeImage(2, 1, {-1, -2});
    negative.expand(negative);  // in place
    EXPECT_TRUE(sameHeights(makeImage(3, 1, {-1, -1, -2}), negative));
    HeightImage same = makeImage(2, 1, {-1, -1});
    big.expand(same);
    EXPECT_TRUE(sameHeights(makeImage(3, 1, {-1, -1, -1}), big));

    HeightImage one = makeImage(1, 1, {4});
    big.expand(one);
    EXPECT_TRUE(sameHeights(one, big));
    big.expand(HeightImage());
    EXPECT_EQ(0, big.width);
}
