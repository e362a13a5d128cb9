// PPM, FB and FBRLE files of ColorImage: golden bytes, round trips, the
// dispatching reader, bad and hostile headers, and files of other programs.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "foundation/Random.h"
#include "image/ColorImage.h"
#include "tests/TestSupport.h"
#include "tests/image/ImageFileTesting.h"

namespace {

class ColorImageFilesTest : public ImageFileTest {};

// 2 x 2: bottom row (1,2,3) (4,5,6), top row (7,8,9) (10,11,12); alpha 9.
ColorImage smallImage() {
    ColorImage image(2, 2);
    image.setPixel(0, 0, packPixel(1, 2, 3, 9));
    image.setPixel(1, 0, packPixel(4, 5, 6, 9));
    image.setPixel(0, 1, packPixel(7, 8, 9, 9));
    image.setPixel(1, 1, packPixel(10, 11, 12, 9));
    return image;
}

// A sentinel 1 x 1 image: readers that fail must leave it alone.
ColorImage sentinel() {
    ColorImage image(1, 1);
    image.pixels[0] = 0xCAFEF00Du;
    return image;
}

void expectSentinel(const ColorImage &image) {
    EXPECT_EQ(1, image.width);
    EXPECT_EQ(1, image.height);
    ASSERT_NE(nullptr, image.pixels);
    EXPECT_EQ(0xCAFEF00Du, image.pixels[0]);
}

} // namespace

// ---- writers: exact bytes ------------------------------------------------------

TEST_F(ColorImageFilesTest, WritePPMGoldenBytesTopRowFirst) {
    ColorImage image = smallImage();
    ASSERT_TRUE(image.writePPM(path("a.ppm").c_str()));
    EXPECT_EQ("P6\n2 2\n255\n" + bytes({7, 8, 9, 10, 11, 12, 1, 2, 3, 4, 5, 6}),
              readWholeFile(path("a.ppm")));
    ASSERT_TRUE(image.writePPM(path("b.ppm").c_str(), "made by a test"));
    EXPECT_EQ("P6\n# made by a test\n2 2\n255\n" + bytes({7, 8, 9, 10, 11, 12, 1, 2, 3, 4, 5, 6}),
              readWholeFile(path("b.ppm")));
    // A line feed inside the comment starts another comment line.
    ASSERT_TRUE(image.writePPM(path("c.ppm").c_str(), "one\ntwo"));
    EXPECT_EQ(0u, readWholeFile(path("c.ppm")).find("P6\n# one\n# two\n2 2\n255\n"));
    ColorImage back;
    ASSERT_TRUE(back.readPPM(path("c.ppm").c_str()));
    EXPECT_EQ(packPixel(10, 11, 12, 0), back.getPixel(1, 1));
}

TEST_F(ColorImageFilesTest, WriteFBGoldenBytesBottomRowFirstWithAlpha) {
    ColorImage image = smallImage();
    ASSERT_TRUE(image.writeFB(path("a.fb").c_str()));
    EXPECT_EQ("FB\n// Frame Buffer\n2 2\n" +
                  bytes({1, 2, 3, 9, 4, 5, 6, 9, 7, 8, 9, 9, 10, 11, 12, 9}),
              readWholeFile(path("a.fb")));
    ASSERT_TRUE(image.writeFB(path("b.fb").c_str(), "x"));
    EXPECT_EQ(0u, readWholeFile(path("b.fb")).find("FB\n// x\n2 2\n"));
    ColorImage back;
    ASSERT_TRUE(back.readFB(path("a.fb").c_str()));
    for (int i = 0; i < 4; i++)
        EXPECT_EQ(image.pixels[i], back.pixels[i]); // alpha kept
}

TEST_F(ColorImageFilesTest, WriteFBRLEGoldenRuns) {
    ColorImage one(1, 1);
    one.pixels[0] = packPixel(5, 6, 7, 200);
    ASSERT_TRUE(one.writeFBRLE(path("one.rle").c_str()));
    EXPECT_EQ("FBRLE\n//\n1 1\n" + bytes({5, 6, 7, 1}), readWholeFile(path("one.rle")));
    ASSERT_TRUE(one.writeFBRLE(path("c.rle").c_str(), "note"));
    EXPECT_EQ("FBRLE\n// note\n1 1\n" + bytes({5, 6, 7, 1}), readWholeFile(path("c.rle")));

    // 600 pixels of one colour: runs of 255, 255 and 90.
    ColorImage flat(30, 20);
    flat.fill(packPixel(1, 2, 3, 4));
    ASSERT_TRUE(flat.writeFBRLE(path("flat.rle").c_str()));
    EXPECT_EQ("FBRLE\n//\n30 20\n" + bytes({1, 2, 3, 255, 1, 2, 3, 255, 1, 2, 3, 90}),
              readWholeFile(path("flat.rle")));

    // Runs cross rows and ignore alpha; the last pixel ends a run.
    ColorImage rows(3, 2);
    uint32_t a = packPixel(9, 9, 9, 0), b = packPixel(1, 1, 1, 0);
    rows.setPixel(0, 0, a);
    rows.setPixel(1, 0, a | 0xFF000000u);
    rows.setPixel(2, 0, b);
    rows.setPixel(0, 1, b);
    rows.setPixel(1, 1, b);
    rows.setPixel(2, 1, a);
    ASSERT_TRUE(rows.writeFBRLE(path("rows.rle").c_str()));
    EXPECT_EQ("FBRLE\n//\n3 2\n" + bytes({9, 9, 9, 2, 1, 1, 1, 3, 9, 9, 9, 1}),
              readWholeFile(path("rows.rle")));
    ColorImage back;
    ASSERT_TRUE(back.readFBRLE(path("rows.rle").c_str()));
    EXPECT_EQ(a, back.getPixel(1, 0)); // alpha is not stored
    EXPECT_EQ(b, back.getPixel(1, 1));
}

TEST_F(ColorImageFilesTest, WritersReportFailure) {
    ColorImage image = smallImage();
    EXPECT_FALSE(image.writePPM((dir + "/missing/a.ppm").c_str()));
    EXPECT_FALSE(image.writeFB((dir + "/missing/a.fb").c_str()));
    EXPECT_FALSE(image.writeFBRLE((dir + "/missing/a.rle").c_str()));
    if (fileExists("/dev/full")) {
        ColorImage big(512, 512);
        big.fill(0);
        EXPECT_FALSE(big.writePPM("/dev/full"));
        EXPECT_FALSE(big.writeFB("/dev/full"));
    }
}

// ---- round trips and dispatch --------------------------------------------------

TEST_F(ColorImageFilesTest, RoundTripsKeepRowsAndDropAlphaWhereTheFormatDoes) {
    seedRandom(11);
    ColorImage image(7, 5);
    for (int i = 0; i < 35; i++)
        image.pixels[i] = (uint32_t)nextRandom() << 17 ^ (uint32_t)nextRandom();
    ASSERT_TRUE(image.writePPM(path("r.ppm").c_str()));
    ASSERT_TRUE(image.writeFB(path("r.fb").c_str()));
    ASSERT_TRUE(image.writeFBRLE(path("r.rle").c_str()));
    const char *names[] = {"r.ppm", "r.fb", "r.rle"};
    for (int format = 0; format < 3; format++) {
        ColorImage back;
        ASSERT_TRUE(back.readImage(path(names[format]).c_str())) << names[format];
        ASSERT_EQ(7, back.width);
        ASSERT_EQ(5, back.height);
        for (int i = 0; i < 35; i++) {
            uint32_t expected = format == 1 ? image.pixels[i] : image.pixels[i] & 0x00FFFFFFu;
            ASSERT_EQ(expected, back.pixels[i]) << names[format] << " pixel " << i;
        }
    }
}

TEST_F(ColorImageFilesTest, ReadImageChoosesTheReaderByMagic) {
    ColorImage image;
    ASSERT_TRUE(image.readImage(file("lower.ppm", "p6\n1 1\n255\n" + bytes({1, 2, 3})).c_str()));
    EXPECT_EQ(packPixel(1, 2, 3, 0), image.pixels[0]);
    ASSERT_TRUE(image.readImage(file("text.ppm", "P3\n1 1\n255\n4 5 6\n").c_str()));
    EXPECT_EQ(packPixel(4, 5, 6, 0), image.pixels[0]);
    ASSERT_TRUE(image.readImage(file("lower3.ppm", "p3\n1 1\n255\n7 8 9").c_str()));
    EXPECT_EQ(packPixel(7, 8, 9, 0), image.pixels[0]);

    ColorImage kept = sentinel();
    EXPECT_FALSE(kept.readImage(file("gray.pgm", "P5\n1 1\n255\n" + bytes({1})).c_str()));
    EXPECT_FALSE(kept.readImage(file("junk", "JUNK\n1 1\n").c_str()));
    EXPECT_FALSE(kept.readImage(file("empty", "").c_str()));
    EXPECT_FALSE(kept.readImage(path("does-not-exist").c_str()));
    EXPECT_FALSE(kept.readImage(nullptr));
    // Each reader checks its own magic.
    EXPECT_FALSE(kept.readPPM(path("text.ppm").c_str()));
    EXPECT_FALSE(kept.readPPMText(path("lower.ppm").c_str()));
    EXPECT_FALSE(kept.readFBRLE(path("lower.ppm").c_str()));
    expectSentinel(kept);
}

// ---- header rules ----------------------------------------------------------------

TEST_F(ColorImageFilesTest, HeaderCommentsAndLineRules) {
    ColorImage image;
    std::string longComment = "#" + std::string(1000, 'c') + "\n";
    ASSERT_TRUE(image.readPPM(file("comments.ppm", "P6\n# one\n" + longComment + "#\n2 1\n255\n" +
                                                       bytes({1, 2, 3, 4, 5, 6}))
                                  .c_str()));
    EXPECT_EQ(packPixel(4, 5, 6, 0), image.pixels[1]);
    // Comments and blank lines before the maximum value, and the maximum on
    // the size line, are accepted too.
    ASSERT_TRUE(
        image.readPPM(file("late.ppm", "P6\n1 1\n# late\n\n255\n" + bytes({7, 8, 9})).c_str()));
    EXPECT_EQ(packPixel(7, 8, 9, 0), image.pixels[0]);
    ASSERT_TRUE(image.readPPM(file("oneline.ppm", "P6\n1 1 255\n" + bytes({3, 2, 1})).c_str()));
    EXPECT_EQ(packPixel(3, 2, 1, 0), image.pixels[0]);
    ASSERT_TRUE(image.readPPM(file("magicline.ppm", "P6 1 1 255\n" + bytes({4, 2, 1})).c_str()));
    EXPECT_EQ(packPixel(4, 2, 1, 0), image.pixels[0]);
    ASSERT_TRUE(image.readPPMText(file("magicsize.ppm", "P3 1 1\n255\n5 6 7\n").c_str()));
    EXPECT_EQ(packPixel(5, 6, 7, 0), image.pixels[0]);
    // A size line longer than the line buffer is still consumed as one line.
    ASSERT_TRUE(image.readPPM(
        file("pad.ppm", "P6\n1 1" + std::string(400, ' ') + "\n255\n" + bytes({1, 1, 1})).c_str()));

    // Width and height on separate lines: the height is missing.
    ColorImage kept = sentinel();
    EXPECT_FALSE(
        kept.readPPM(file("split.ppm", "P6\n2\n1\n255\n" + bytes({1, 2, 3, 4, 5, 6})).c_str()));
    EXPECT_FALSE(kept.readPPM(file("split2.ppm", "P6 2\n1\n255\n" + bytes({1, 2, 3})).c_str()));
    // A long comment that is not consumed whole would be taken for the size line.
    EXPECT_FALSE(kept.readPPM(file("nosize.ppm", "P6\n" + longComment).c_str()));
    expectSentinel(kept);
}

TEST_F(ColorImageFilesTest, HostileSizesAreRefusedBeforeAllocating) {
    ColorImage kept = sentinel();
    const char *headers[] = {
        "P6\n30000 30000\n255\n",   // 2.7 GB announced, 6 bytes present
        "P6\n100000 100000\n255\n", // beyond the pixel limit
        "P6\n-5 3\n255\n",          // negative
        "P6\n0 0\n255\n",           // empty
        "P6\n2147483647 2147483647\n255\n",
        "P6\n99999999999999999999 1\n255\n",
        "P6\n65536 32768\n255\n", // 2^31 pixels
    };
    for (const char *header : headers) {
        std::string name = path("hostile.ppm");
        writeWholeFile(name, std::string(header) + bytes({1, 2, 3, 4, 5, 6}));
        EXPECT_FALSE(kept.readPPM(name.c_str())) << header;
        EXPECT_FALSE(kept.readPPMBand(name.c_str(), 0, 1)) << header;
        std::string text = header;
        text[1] = '3';
        writeWholeFile(name, text + "1 2 3 4 5 6\n");
        EXPECT_FALSE(kept.readPPMText(name.c_str())) << header;
    }
    EXPECT_FALSE(
        kept.readFB(file("h.fb", "FB\n// x\n30000 30000\n" + bytes({1, 2, 3, 4})).c_str()));
    EXPECT_FALSE(kept.readFB(file("n.fb", "FB\n-1 -1\n" + bytes({1, 2, 3, 4})).c_str()));
    EXPECT_FALSE(
        kept.readFBRLE(file("h.rle", "FBRLE\n//\n30000 30000\n" + bytes({1, 2, 3, 255})).c_str()));
    EXPECT_FALSE(kept.readFBRLE(file("n.rle", "FBRLE\n//\n5\n" + bytes({1, 2, 3, 255})).c_str()));
    expectSentinel(kept);
}

TEST_F(ColorImageFilesTest, BadMaximumValuesAndTruncatedPixels) {
    ColorImage kept = sentinel();
    const char *maxima[] = {"0", "-1", "70000", "abc", ""};
    for (const char *maxValue : maxima) {
        std::string name = path("max.ppm");
        writeWholeFile(name,
                       std::string("P6\n1 1\n") + maxValue + "\n" + bytes({1, 2, 3, 4, 5, 6}));
        EXPECT_FALSE(kept.readPPM(name.c_str())) << maxValue;
    }
    EXPECT_FALSE(kept.readPPM(file("nomax.ppm", "P6\n1 1\n").c_str()));
    EXPECT_FALSE(kept.readPPM(file("magic.ppm", "P6").c_str()));
    // Pixel data short by one byte.
    EXPECT_FALSE(
        kept.readPPM(file("short.ppm", "P6\n2 1\n255\n" + bytes({1, 2, 3, 4, 5})).c_str()));
    EXPECT_FALSE(kept.readFB(file("short.fb", "FB\n1 1\n" + bytes({1, 2, 3})).c_str()));
    // P3: too few numbers for the announced size, or something not a number.
    EXPECT_FALSE(kept.readPPMText(file("few.ppm", "P3\n100 100\n255\n1 2 3\n").c_str()));
    expectSentinel(kept);

    ColorImage partial;
    EXPECT_FALSE(partial.readPPMText(file("bad.ppm", "P3\n2 1\n255\n1 2 3 x 5 6\n").c_str()));
    EXPECT_FALSE(partial.readPPMText(file("cut.ppm", "P3\n2 1\n255\n1 2 3 4 5").c_str()));
}

TEST_F(ColorImageFilesTest, TextPixelsAllowCommentsAnywhereAndKeepBytesApart) {
    ColorImage image;
    ASSERT_TRUE(image.readPPMText(
        file("t.ppm", "P3\n# c\n2 2\n255\n1 2#x\n3 # comment 99 99\n4\t5 6\r\n  7 8 9 10 11 12")
            .c_str()));
    // The first row of numbers is the top row.
    EXPECT_EQ(packPixel(1, 2, 3, 0), image.getPixel(0, 1));
    EXPECT_EQ(packPixel(4, 5, 6, 0), image.getPixel(1, 1));
    EXPECT_EQ(packPixel(10, 11, 12, 0), image.getPixel(1, 0));
    // Values above 255 keep their low byte and cannot spill into green.
    ASSERT_TRUE(image.readPPMText(file("big.ppm", "P3\n1 1\n255\n300 0 -1\n").c_str()));
    EXPECT_EQ(packPixel(44, 0, 255, 0), image.pixels[0]);
    // A maximum above 255 scales the samples to bytes.
    ASSERT_TRUE(image.readPPMText(file("wide.ppm", "P3\n1 1\n1023\n1023 512 0\n").c_str()));
    EXPECT_EQ(packPixel(255, 127, 0, 0), image.pixels[0]);
    // A maximum below 255 is ignored: the values are taken as they are.
    ASSERT_TRUE(image.readPPMText(file("low.ppm", "P3\n1 1\n15\n15 7 0\n").c_str()));
    EXPECT_EQ(packPixel(15, 7, 0, 0), image.pixels[0]);
}

TEST_F(ColorImageFilesTest, SixteenBitBinarySamplesAreScaled) {
    ColorImage image;
    ASSERT_TRUE(image.readPPM(
        file("16.ppm", "P6\n2 1\n65535\n" + bytes({0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x80, 0x80,
                                                   0x00, 0xFF, 0x12, 0x34}))
            .c_str()));
    EXPECT_EQ(packPixel(255, 254, 0, 0), image.pixels[0]);
    EXPECT_EQ(packPixel(128, 0, 18, 0), image.pixels[1]); // 0x1234 * 255 / 65535
    // 16-bit data needs two bytes per sample.
    ColorImage kept = sentinel();
    EXPECT_FALSE(
        kept.readPPM(file("16short.ppm", "P6\n2 1\n65535\n" + bytes({1, 2, 3, 4, 5, 6})).c_str()));
    expectSentinel(kept);
}

// ---- FB and FBRLE readers ----------------------------------------------------------

TEST_F(ColorImageFilesTest, FrameBufferReadersSkipCommentsAndStopWhenFull) {
    ColorImage image;
    ASSERT_TRUE(
        image.readFB(file("c.fb", "FB\n// a\n# b\n/ c\n1 1\n" + bytes({1, 2, 3, 4})).c_str()));
    EXPECT_EQ(0x04030201u, image.pixels[0]);
    ColorImage kept = sentinel();
    // A run-length file is not a raw frame buffer.
    EXPECT_FALSE(kept.readFB(file("rle-as-fb", "FBRLE\n//\n1 1\n" + bytes({1, 2, 3, 1})).c_str()));
    expectSentinel(kept);

    // One word of 255 fills a 2 x 2 image and the reader stops; zero counts store nothing.
    ASSERT_TRUE(image.readFBRLE(
        file("stop.rle", "FBRLE\n//\n2 2\n" + bytes({9, 9, 9, 0, 1, 2, 3, 255, 7, 7, 7, 7}))
            .c_str()));
    EXPECT_EQ(4, image.width * image.height);
    for (int i = 0; i < 4; i++)
        EXPECT_EQ(packPixel(1, 2, 3, 0), image.pixels[i]);
    // The stream ends early: false, and the pixels read so far remain.
    ColorImage partial;
    EXPECT_FALSE(partial.readFBRLE(
        file("cut.rle", "FBRLE\n//\n30 20\n" + bytes({1, 0, 0, 1, 2, 0, 0, 2, 3, 0, 0, 0}))
            .c_str()));
    ASSERT_EQ(30, partial.width);
    EXPECT_EQ(packPixel(1, 0, 0, 0), partial.pixels[0]);
    EXPECT_EQ(packPixel(2, 0, 0, 0), partial.pixels[2]);
}

// ---- band reader ----------------------------------------------------------------------

TEST_F(ColorImageFilesTest, BandReaderTakesRowsCountedFromTheBottom) {
    ColorImage image(2, 4);
    for (int y = 0; y < 4; y++)
        for (int x = 0; x < 2; x++)
            image.setPixel(x, y, packPixel(x, y, 50, 0));
    ASSERT_TRUE(image.writePPM(path("band.ppm").c_str()));
    ColorImage band;
    ASSERT_TRUE(band.readPPMBand(path("band.ppm").c_str(), 1, 3));
    ASSERT_EQ(2, band.width);
    ASSERT_EQ(2, band.height);
    EXPECT_EQ(image.getPixel(1, 1), band.getPixel(1, 0));
    EXPECT_EQ(image.getPixel(0, 2), band.getPixel(0, 1));
    ASSERT_TRUE(band.readPPMBand(path("band.ppm").c_str(), 0, 4));
    EXPECT_EQ(image.getPixel(1, 3), band.getPixel(1, 3));

    ColorImage kept = sentinel();
    EXPECT_FALSE(kept.readPPMBand(path("band.ppm").c_str(), 0, 5));
    EXPECT_FALSE(kept.readPPMBand(path("band.ppm").c_str(), -3, 2));
    EXPECT_FALSE(kept.readPPMBand(path("band.ppm").c_str(), 2, 2));
    EXPECT_FALSE(kept.readPPMBand(path("band.ppm").c_str(), -2147483647 - 1, 4));
    EXPECT_FALSE(
        kept.readPPMBand(file("bandshort.ppm", "P6\n2 4\n255\n" + bytes({1, 2, 3})).c_str(), 3, 4));
    // One legal row of a huge announced image: the bytes the band needs from
    // the file (2^31 rows of 6 GiB) are more than a 64-bit product can hold.
    EXPECT_FALSE(kept.readPPMBand(
        file("bandhuge.ppm", "P6\n1073741823 9999999999\n65535\n" + bytes({1, 2, 3})).c_str(), 0,
        1));
    expectSentinel(kept);
}

// ---- hostile bytes ----------------------------------------------------------------------

TEST_F(ColorImageFilesTest, MutatedAndTruncatedFilesNeverCrash) {
    seedRandom(2024);
    ColorImage image(5, 4);
    for (int i = 0; i < 20; i++)
        image.pixels[i] = (uint32_t)nextRandom() * 131071u;
    ASSERT_TRUE(image.writePPM(path("m.ppm").c_str(), "c"));
    ASSERT_TRUE(image.writeFB(path("m.fb").c_str()));
    ASSERT_TRUE(image.writeFBRLE(path("m.rle").c_str()));
    std::string texts = "P3\n5 4\n255\n";
    for (int i = 0; i < 60; i++)
        texts += std::to_string(nextRandom() & 255) + (i % 7 ? " " : "\n");
    writeWholeFile(path("m3.ppm"), texts);
    for (const char *name : {"m.ppm", "m.fb", "m.rle", "m3.ppm"}) {
        std::string original = readWholeFile(path(name));
        for (int trial = 0; trial < 150; trial++) {
            std::string mutated = original;
            if (trial % 3 == 0) {
                mutated.resize((size_t)nextRandom() % mutated.size());
            } else {
                int changes = 1 + nextRandom() % 4;
                for (int c = 0; c < changes; c++)
                    mutated[(size_t)nextRandom() % mutated.size()] = (char)(nextRandom() & 255);
            }
            writeWholeFile(path("fuzz"), mutated);
            ColorImage target;
            target.readImage(path("fuzz").c_str());
            target.readPPMBand(path("fuzz").c_str(), 1, 3);
            if (target.pixels != nullptr) {
                EXPECT_GE(target.width * target.height, 1);
            }
        }
    }
}

// ---- files of other programs ------------------------------------------------------------

TEST_F(ColorImageFilesTest, CorpusImages) {
    std::string corpus = std::string(VELK_CORPUS_DIR) + "/images/";
    ColorImage photo;
    ASSERT_TRUE(photo.readImage((corpus + "testorig.ppm").c_str()));
    EXPECT_EQ(227, photo.width);
    EXPECT_EQ(149, photo.height);
    // The file's first pixel, "0/-", is the top-left one.
    EXPECT_EQ(packPixel('0', '/', '-', 0), photo.getPixel(0, 148));
    ColorImage band;
    ASSERT_TRUE(band.readPPMBand((corpus + "testorig.ppm").c_str(), 140, 149));
    EXPECT_EQ(photo.getPixel(0, 148), band.getPixel(0, 8));
    EXPECT_EQ(photo.getPixel(200, 140), band.getPixel(200, 0));

    ColorImage palette;
    ASSERT_TRUE(palette.readImage((corpus + "pcxstd.ppm").c_str()));
    EXPECT_EQ(16, palette.width);
    EXPECT_EQ(1, palette.height);
    EXPECT_EQ(packPixel(0, 0, 170, 0), palette.pixels[1]);
    EXPECT_EQ(packPixel(85, 85, 85, 0), palette.pixels[8]);
    EXPECT_EQ(packPixel(255, 255, 255, 0), palette.pixels[15]);

    // ImageMagick's plain form of the photo reads like the binary form.
    if (!imageMagickAvailable())
        GTEST_SKIP() << "ImageMagick convert not installed";
    std::string plain = path("plain.ppm");
    ASSERT_TRUE(imageMagickConvert(corpus + "testorig.ppm", "-compress none", "ppm:" + plain));
    ColorImage text;
    ASSERT_TRUE(text.readImage(plain.c_str()));
    ASSERT_EQ(photo.width, text.width);
    ASSERT_EQ(photo.height, text.height);
    EXPECT_EQ(0, std::memcmp(photo.pixels, text.pixels, (size_t)photo.width * photo.height * 4));
}

TEST_F(ColorImageFilesTest, NetpbmPlainFilesReadLikeTheirBinaryForms) {
    if (!toolAvailable("pnmtoplainpnm"))
        GTEST_SKIP() << "netpbm not installed";
    seedRandom(5);
    ColorImage image(37, 23); // long rows: netpbm wraps the numbers over several lines
    for (int i = 0; i < 37 * 23; i++)
        image.pixels[i] = (uint32_t)nextRandom() * 77773u & 0x00FFFFFFu;
    ASSERT_TRUE(image.writePPM(path("n.ppm").c_str(), "netpbm"));
    ASSERT_TRUE(convertToPlainNetpbm(path("n.ppm"), path("plain.ppm")));
    ColorImage text;
    ASSERT_TRUE(text.readImage(path("plain.ppm").c_str()));
    ASSERT_EQ(37, text.width);
    ASSERT_EQ(23, text.height);
    EXPECT_EQ(0, std::memcmp(image.pixels, text.pixels, 37 * 23 * 4));
}
