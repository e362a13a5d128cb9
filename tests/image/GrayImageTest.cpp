#include "image/GrayImage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <cinttypes>
#include <cstdio>
#include <string>

#include "foundation/Random.h"
#include "tests/TestSupport.h"
#include "tests/image/ImageFileTesting.h"

namespace {

GrayImage rampImage(int w, int h) {
    GrayImage image(w, h);
    for (int i = 0; i < w * h; i++)
        image.pixels[i] = (uint8_t)(i * 7);
    return image;
}

} // namespace

TEST(GrayImageTest, StorageIdentityAndEquality) {
    GrayImage empty(0, 3), image = rampImage(3, 2);
    EXPECT_EQ(0, empty.width);
    EXPECT_EQ(nullptr, empty.pixels);
    EXPECT_EQ(3 * 2 + 16, image.memorySize());
    char expected[64];
    std::snprintf(expected, sizeof expected, "GrayImage@%" PRIxPTR " (3 x 2)", (uintptr_t)&image);
    EXPECT_STREQ(expected, image.toString());

    GObject *copy = image.clone();
    ASSERT_NE(nullptr, copy);
    // Gray images compare by content.
    EXPECT_TRUE(image.equals(copy));
    EXPECT_TRUE(copy->equals(&image));
    static_cast<GrayImage *>(copy)->pixels[5] ^= 1;
    EXPECT_FALSE(image.equals(copy));
    delete copy;
    GrayImage other(2, 3);
    std::memcpy(other.pixels, image.pixels, 6);
    EXPECT_FALSE(image.equals(&other)); // same bytes, other shape
    GObject plain;
    EXPECT_FALSE(image.equals(&plain));
    EXPECT_FALSE(image.equals(nullptr));
    GrayImage a, b;
    EXPECT_TRUE(a.equals(&b)); // two empty images

    uint8_t *before = image.pixels;
    EXPECT_TRUE(image.resize(3, 2));
    EXPECT_EQ(before, image.pixels);
    EXPECT_FALSE(image.resize(0, 5));
    EXPECT_FALSE(image.resize(1 << 16, 1 << 15));
    EXPECT_EQ(3, image.width);
    image.fill(9);
    EXPECT_EQ(9, image.pixels[5]);
}

TEST(GrayImageTest, BilinearScalarAndNearestColor) {
    GrayImage image(2, 2);
    image.setPixel(0, 0, 0);
    image.setPixel(1, 0, 100);
    image.setPixel(0, 1, 200);
    image.setPixel(1, 1, 255);
    // u' = v' = 2 * 0.25 = 0.5: the mean of all four, in byte units.
    EXPECT_FLOAT_EQ((0 + 100 + 200 + 255) / 4.0f,
                    image.sampleScalar(HPoint(0.25f, 0.25f, 0.0f), false, false));
    // u' = 1.5: i = 1, its neighbour is limited to the last column.
    EXPECT_FLOAT_EQ(100.0f, image.sampleScalar(HPoint(0.75f, 0.0f, 0.0f), false, false));
    // Wrapping uses no 0.99999 factor: u = 0.5 -> u' = 1.
    EXPECT_FLOAT_EQ(100.0f, image.sampleScalar(HPoint(1.5f, 0.0f, 0.0f), true, true));
    EXPECT_FLOAT_EQ(100.0f, image.sampleScalar(HPoint(-0.5f, 0.0f, 0.0f), true, false));
    HPoint c = image.sampleColor(HPoint(0.0f, 0.9f, 0.0f), false, false);
    EXPECT_FLOAT_EQ(200.0f / 255.0f, c.x);
    EXPECT_FLOAT_EQ(200.0f / 255.0f, c.z);
    EXPECT_FLOAT_EQ(0.0f, c.w);
    float lo, hi;
    image.valueRange(lo, hi);
    EXPECT_FLOAT_EQ(0.0f, lo);
    EXPECT_FLOAT_EQ(255.0f, hi);
    GrayImage empty;
    EXPECT_FLOAT_EQ(0.0f, empty.sampleScalar(HPoint(0.5f, 0.5f, 0.0f), true, true));
    EXPECT_FLOAT_EQ(0.0f, empty.sampleColor(HPoint(0.5f, 0.5f, 0.0f), true, true).x);
}

TEST(GrayImageTest, RegionHalveDoubleAndMipMaps) {
    GrayImage source = rampImage(4, 4), target(2, 2);
    target.fill(1);
    target.copyRegionFrom(source, 3, 3);
    EXPECT_EQ(source.getPixel(3, 3), target.getPixel(0, 0));
    EXPECT_EQ(1, target.getPixel(1, 0));
    EXPECT_EQ(1, target.getPixel(0, 1));

    GrayImage half;
    ASSERT_TRUE(half.halve(source));
    EXPECT_EQ(2, half.width);
    // Gray averages round down.
    EXPECT_EQ(averageFourBytes(source.getPixel(2, 2), source.getPixel(3, 2), source.getPixel(3, 3),
                               source.getPixel(2, 3)),
              half.getPixel(1, 1));
    GrayImage column(1, 2);
    column.pixels[0] = 1;
    column.pixels[1] = 2;
    ASSERT_TRUE(half.halve(column));
    EXPECT_EQ(1, half.height);
    EXPECT_EQ(1, half.pixels[0]);
    GrayImage doubled;
    ASSERT_TRUE(doubled.doubleSize(column));
    EXPECT_EQ(2, doubled.width);
    EXPECT_EQ(4, doubled.height);
    EXPECT_EQ(2, doubled.getPixel(1, 3));

    GrayImage pyramid = rampImage(8, 8);
    GrayImage original(pyramid);
    ASSERT_TRUE(pyramid.makeMipMap());
    EXPECT_EQ(8 * 4 / 3 + 2, pyramid.height);
    GrayImage expected(original), level;
    for (int k = 1; k < 4; k++) {
        GrayImage next;
        next.halve(expected);
        expected.copyFrom(next);
        ASSERT_NE(nullptr, pyramid.mipLevel(k, &level));
        EXPECT_TRUE(level.equals(&expected)) << "level " << k;
    }
    GrayImage wide(4, 2);
    testing::internal::CaptureStdout();
    EXPECT_FALSE(wide.makeMipMap());
    EXPECT_EQ("Error! Cannot make a non-square mip-map!", testing::internal::GetCapturedStdout());
    EXPECT_EQ(2, wide.height);
}

class GrayImageFilesTest : public ImageFileTest {};

TEST_F(GrayImageFilesTest, WritePGMGoldenBytesAndRoundTrip) {
    GrayImage image(3, 2);
    const uint8_t values[6] = {1, 2, 3, 4, 5, 6}; // bottom row 1 2 3, top row 4 5 6
    std::memcpy(image.pixels, values, 6);
    ASSERT_TRUE(image.writePGM(path("a.pgm").c_str()));
    EXPECT_EQ("P5\n# Grayscale Image\n3 2\n255\n" + bytes({4, 5, 6, 1, 2, 3}),
              readWholeFile(path("a.pgm")));
    ASSERT_TRUE(image.writePGM(path("b.pgm").c_str(), "depth"));
    EXPECT_EQ("P5\n# depth\n3 2\n255\n" + bytes({4, 5, 6, 1, 2, 3}), readWholeFile(path("b.pgm")));
    GrayImage back;
    ASSERT_TRUE(back.readImage(path("b.pgm").c_str()));
    EXPECT_TRUE(back.equals(&image));
    EXPECT_FALSE(image.writePGM((dir + "/missing/x.pgm").c_str()));
}

TEST_F(GrayImageFilesTest, ReadersRefuseBadInputAndKeepTheImage) {
    GrayImage kept(1, 1);
    kept.pixels[0] = 77;
    const std::string cases[] = {
        "P5\n30000 30000\n255\n" + bytes({1, 2}),
        "P5\n-1 4\n255\n" + bytes({1, 2}),
        "P5\n2\n1\n255\n" + bytes({1, 2}),
        "P5\n2 1\n0\n" + bytes({1, 2}),
        "P5\n2 1\n255\n" + bytes({1}),
        "P5\n2 1\n65535\n" + bytes({1, 2}),
        "P6\n1 1\n255\n" + bytes({1, 2, 3}),
        "P2\n40000 40000\n255\n1 2 3\n",
        "",
    };
    for (const std::string &content : cases) {
        std::string name = file("bad.pgm", content);
        EXPECT_FALSE(kept.readImage(name.c_str())) << content.substr(0, 12);
        EXPECT_FALSE(kept.readPGMBand(name.c_str(), 0, 1)) << content.substr(0, 12);
    }
    EXPECT_FALSE(kept.readPGM(path("nothing").c_str()));
    EXPECT_EQ(1, kept.width);
    EXPECT_EQ(77, kept.pixels[0]);
}

TEST_F(GrayImageFilesTest, TextAndSixteenBitGray) {
    GrayImage image;
    ASSERT_TRUE(image.readImage(file("t.pgm", "P2\n# c\n2 2\n255\n1 # x\n 2\n3\n#\n 260").c_str()));
    EXPECT_EQ(1, image.getPixel(0, 1));
    EXPECT_EQ(2, image.getPixel(1, 1));
    EXPECT_EQ(3, image.getPixel(0, 0));
    EXPECT_EQ(4, image.getPixel(1, 0)); // low byte of 260
    ASSERT_TRUE(image.readPGM(
        file("16.pgm", "P5\n2 1\n65535\n" + bytes({0xFF, 0xFF, 0x80, 0x00})).c_str()));
    EXPECT_EQ(255, image.pixels[0]);
    EXPECT_EQ(127, image.pixels[1]);
    ASSERT_TRUE(image.readPGMBand(
        file("16b.pgm", "P5\n1 3\n65535\n" + bytes({0xFF, 0xFF, 0, 0, 0x80, 0x80})).c_str(), 1, 3));
    ASSERT_EQ(2, image.height);
    EXPECT_EQ(0, image.pixels[0]);   // file row 1
    EXPECT_EQ(255, image.pixels[1]); // file row 0, the top
}

TEST_F(GrayImageFilesTest, BandReaderAndHostileBytes) {
    GrayImage image = rampImage(3, 5);
    ASSERT_TRUE(image.writePGM(path("band.pgm").c_str()));
    GrayImage band;
    ASSERT_TRUE(band.readPGMBand(path("band.pgm").c_str(), 2, 4));
    ASSERT_EQ(3, band.width);
    ASSERT_EQ(2, band.height);
    EXPECT_EQ(image.getPixel(1, 2), band.getPixel(1, 0));
    EXPECT_EQ(image.getPixel(2, 3), band.getPixel(2, 1));
    EXPECT_FALSE(band.readPGMBand(path("band.pgm").c_str(), 4, 6));
    EXPECT_FALSE(band.readPGMBand(path("band.pgm").c_str(), -1, 2));

    seedRandom(99);
    std::string original = readWholeFile(path("band.pgm"));
    std::string text = "P2\n3 5\n255\n";
    for (int i = 0; i < 15; i++)
        text += std::to_string(nextRandom() & 255) + "\n";
    for (const std::string &source : {original, text}) {
        for (int trial = 0; trial < 200; trial++) {
            std::string mutated = source;
            if (trial % 3 == 0)
                mutated.resize((size_t)nextRandom() % mutated.size());
            else
                mutated[(size_t)nextRandom() % mutated.size()] = (char)(nextRandom() & 255);
            writeWholeFile(path("fuzz"), mutated);
            GrayImage target;
            target.readImage(path("fuzz").c_str());
            target.readPGMBand(path("fuzz").c_str(), 0, 2);
        }
    }
}

TEST_F(GrayImageFilesTest, CorpusImages) {
    std::string corpus = std::string(VELK_CORPUS_DIR) + "/images/";
    GrayImage python;
    ASSERT_TRUE(python.readImage((corpus + "python.pgm").c_str()));
    EXPECT_EQ(16, python.width);
    EXPECT_EQ(16, python.height);
    std::string raw = readWholeFile(corpus + "python.pgm");
    std::string data = raw.substr(raw.size() - 256);
    EXPECT_EQ((uint8_t)data[4], python.getPixel(4, 15)); // the file's first row is the top
    EXPECT_EQ((uint8_t)data[255], python.getPixel(15, 0));

    // A plain file with a comment and maximum 15, known by its magic, not its name.
    GrayImage palette;
    ASSERT_TRUE(palette.readImage((corpus + "palmgray4.map").c_str()));
    ASSERT_EQ(4, palette.width);
    ASSERT_EQ(4, palette.height);
    EXPECT_EQ(0, palette.getPixel(0, 3));
    EXPECT_EQ(3, palette.getPixel(3, 3));
    EXPECT_EQ(12, palette.getPixel(0, 0));
    EXPECT_EQ(15, palette.getPixel(3, 0));

    // 16-bit samples: two bytes each, scaled to 8 bits.
    GrayImage monkey;
    ASSERT_TRUE(monkey.readImage((corpus + "monkey16.pgm").c_str()));
    EXPECT_EQ(149, monkey.width);
    EXPECT_EQ(227, monkey.height);
    std::string monkeyRaw = readWholeFile(corpus + "monkey16.pgm");
    size_t start = monkeyRaw.size() - 149 * 227 * 2;
    unsigned first = ((unsigned)(uint8_t)monkeyRaw[start] << 8) | (uint8_t)monkeyRaw[start + 1];
    EXPECT_EQ(first * 255 / 65535, monkey.getPixel(0, 226));
    if (!imageMagickAvailable())
        GTEST_SKIP() << "ImageMagick convert not installed";
    std::string eight = path("monkey8.pgm");
    ASSERT_TRUE(imageMagickConvert(corpus + "monkey16.pgm", "-depth 8", "pgm:" + eight));
    GrayImage reference;
    ASSERT_TRUE(reference.readImage(eight.c_str()));
    ASSERT_EQ(monkey.width, reference.width);
    int worst = 0;
    for (int i = 0; i < 149 * 227; i++)
        worst = std::max(worst, std::abs(monkey.pixels[i] - reference.pixels[i]));
    EXPECT_LE(worst, 1); // rounding versus truncation
}

TEST_F(GrayImageFilesTest, NetpbmPlainGrayReadsLikeBinary) {
    if (!toolAvailable("pnmtoplainpnm"))
        GTEST_SKIP() << "netpbm not installed";
    seedRandom(3);
    GrayImage image(41, 9);
    for (int i = 0; i < 41 * 9; i++)
        image.pixels[i] = (uint8_t)nextRandom();
    ASSERT_TRUE(image.writePGM(path("n.pgm").c_str()));
    ASSERT_TRUE(convertToPlainNetpbm(path("n.pgm"), path("plain.pgm")));
    GrayImage text;
    ASSERT_TRUE(text.readImage(path("plain.pgm").c_str()));
    EXPECT_TRUE(text.equals(&image));
}
