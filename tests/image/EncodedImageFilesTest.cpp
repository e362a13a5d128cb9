#include "image/EncodedImageFiles.h"

#include <gtest/gtest.h>

#include <string>

#include "image/ColorImage.h"
#include "tests/image/ImageFileTesting.h"

#ifdef VELK_HAVE_STB
#include <stb_image_write.h>
#endif

namespace {

class EncodedImageFilesTest : public ImageFileTest {
protected:
    void SetUp() override {
        ImageFileTest::SetUp();
        if (!encodedImagesAvailable())
            GTEST_SKIP() << "built without stb";
    }
};

// 5 x 3 pixels, every byte different, alpha set (files carry none).
ColorImage pattern() {
    ColorImage image(5, 3);
    for (int y = 0; y < 3; y++)
        for (int x = 0; x < 5; x++)
            image.setPixel(x, y, packPixel(10 * x + y, 200 - 13 * x, 50 + 60 * y, 255));
    return image;
}

void expectSamePixels(const ColorImage &a, const ColorImage &b, const std::string &label) {
    ASSERT_EQ(a.width, b.width) << label;
    ASSERT_EQ(a.height, b.height) << label;
    for (int y = 0; y < a.height; y++)
        for (int x = 0; x < a.width; x++)
            EXPECT_EQ(a.getPixel(x, y), b.getPixel(x, y)) << label << " at " << x << ", " << y;
}

#ifdef VELK_HAVE_STB
void appendBytes(void *context, void *data, int size) {
    static_cast<std::string *>(context)->append(static_cast<const char *>(data), (size_t)size);
}

// The pattern's RGB bytes, top row first, as the writers of other programs take them.
std::string topDownRGB(const ColorImage &image) {
    std::string rgb;
    for (int y = image.height - 1; y >= 0; y--)
        for (int x = 0; x < image.width; x++) {
            uint32_t p = image.getPixel(x, y);
            rgb += (char)(p & 0xFF);
            rgb += (char)((p >> 8) & 0xFF);
            rgb += (char)((p >> 16) & 0xFF);
        }
    return rgb;
}
#endif

} // namespace

TEST_F(EncodedImageFilesTest, PngFrameHoldsThePpmPixelsAndReadsBackAsTheyAre) {
    ColorImage frame = pattern();
    std::string problem;
    ASSERT_TRUE(writePNG(frame, path("frame.png").c_str(), problem)) << problem;
    ASSERT_TRUE(frame.writePPM(path("frame.ppm").c_str()));
    ColorImage fromPng, fromPpm;
    ASSERT_TRUE(readTextureImage(fromPng, path("frame.png").c_str(), problem)) << problem;
    ASSERT_TRUE(fromPpm.readImage(path("frame.ppm").c_str()));
    expectSamePixels(fromPng, fromPpm, "png against ppm");
    // Alpha is not stored: both read back with alpha 0, as a P6 does.
    EXPECT_EQ(fromPng.getPixel(4, 2) >> 24, 0u);
    // readImage takes the encoded formats too (the loaders of other helpers call it).
    ColorImage direct;
    ASSERT_TRUE(direct.readImage(path("frame.png").c_str()));
    expectSamePixels(direct, fromPpm, "readImage");
    if (imageMagickAvailable()) {
        ASSERT_TRUE(imageMagickConvert(path("frame.png"), "", "ppm:" + path("magick.ppm")));
        EXPECT_EQ(readWholeFile(path("magick.ppm")), readWholeFile(path("frame.ppm")));
    }
    EXPECT_FALSE(writePNG(frame, path("no/folder.png").c_str(), problem));
    EXPECT_EQ(problem, "the file cannot be created");
}

#ifdef VELK_HAVE_STB
TEST_F(EncodedImageFilesTest, LosslessFormatsGiveThePpmBytes) {
    ColorImage source = pattern();
    std::string rgb = topDownRGB(source);
    struct Case {
        const char *name;
        int (*write)(std::string &, const std::string &);
    };
    const Case cases[] = {
        {"t.tga",
         [](std::string &out, const std::string &in) {
             return stbi_write_tga_to_func(appendBytes, &out, 5, 3, 3, in.data());
         }},
        {"t.bmp",
         [](std::string &out, const std::string &in) {
             return stbi_write_bmp_to_func(appendBytes, &out, 5, 3, 3, in.data());
         }},
    };
    source.writePPM(path("t.ppm").c_str());
    ColorImage expected;
    ASSERT_TRUE(expected.readImage(path("t.ppm").c_str()));
    for (const Case &c : cases) {
        std::string bytes;
        ASSERT_TRUE(c.write(bytes, rgb));
        ColorImage image;
        std::string problem;
        ASSERT_TRUE(readTextureImage(image, file(c.name, bytes).c_str(), problem))
            << c.name << problem;
        expectSamePixels(image, expected, c.name);
    }
    // JPEG is lossy: its pixels are near the source, and a gray image repeats its byte.
    std::string jpeg;
    ASSERT_TRUE(stbi_write_jpg_to_func(appendBytes, &jpeg, 5, 3, 3, rgb.data(), 100));
    ColorImage decoded;
    std::string problem;
    ASSERT_TRUE(readTextureImage(decoded, file("t.jpg", jpeg).c_str(), problem)) << problem;
    ASSERT_EQ(decoded.width, 5);
    EXPECT_NEAR((double)(decoded.getPixel(0, 2) & 0xFF), (double)(source.getPixel(0, 2) & 0xFF),
                12.0);
}

TEST_F(EncodedImageFilesTest, HdrValuesAreQuantisedLikeRenderedColours) {
    // Two flat RGBE pixels: mantissa m and exponent e give m * 2^(e - 136).
    std::string hdr = "#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y 1 +X 2\n";
    hdr += bytes({32, 16, 128, 130, 128, 0, 96, 129});
    ColorImage image;
    std::string problem;
    ASSERT_TRUE(readTextureImage(image, file("t.hdr", hdr).c_str(), problem)) << problem;
    ASSERT_EQ(image.width, 2);
    // (0.5, 0.25, 2.0) and (1.0, 0, 0.75), times 255, clamped and truncated.
    EXPECT_EQ(image.getPixel(0, 0), packPixel(127, 63, 255, 0));
    EXPECT_EQ(image.getPixel(1, 0), packPixel(255, 0, 191, 0));
}
#endif

TEST_F(EncodedImageFilesTest, BadFilesFailWithOneReasonAndLeaveTheImage) {
    ColorImage frame = pattern();
    std::string problem;
    ASSERT_TRUE(writePNG(frame, path("good.png").c_str(), problem));
    const std::string png = readWholeFile(path("good.png"));
    // An IHDR that announces 20000 x 15000 pixels in a file of a few dozen bytes
    // (stb itself would take it).
    std::string huge =
        png.substr(0, 16) + bytes({0, 0, 0x4E, 0x20, 0, 0, 0x3A, 0x98}) + png.substr(24);
    struct Case {
        const char *label;
        std::string content;
        const char *problem;
    };
    const Case cases[] = {
        {"truncated PNG", png.substr(0, png.size() / 2), "truncated or corrupt PNG image ("},
        {"corrupt PNG", png.substr(0, 33) + std::string(png.size() - 33, 'x'),
         "truncated or corrupt PNG image ("},
        {"huge PNG header", huge,
         "the PNG header announces 20000 x 15000 pixels, more than velk reads from a file of "},
        {"JPEG start and nothing else", bytes({0xFF, 0xD8, 0xFF}),
         "truncated or corrupt JPEG image ("},
        {"PNG signature and nothing else", png.substr(0, 8), "truncated or corrupt PNG image ("},
        {"text: no image at all, nothing to add", "hello\n", ""},
        // 16 x 20 codes in one table: the stb Debian ships would write past its tables.
        {"JPEG Huffman table too long",
         bytes({0xFF, 0xD8, 0xFF, 0xC4, 0x01, 0x53, 0x00}) + std::string(16, '\x14') +
             std::string(320, '\x01'),
         "truncated or corrupt JPEG image (a Huffman table of more than 256 codes)"},
    };
    for (const Case &c : cases) {
        ColorImage image = pattern();
        EXPECT_FALSE(readTextureImage(image, file("bad.img", c.content).c_str(), problem))
            << c.label;
        EXPECT_EQ(problem.substr(0, std::string(c.problem).size()), c.problem)
            << c.label << ": " << problem;
        EXPECT_EQ(problem.find('\n'), std::string::npos) << c.label;
        expectSamePixels(image, pattern(), c.label);
    }
    // Netpbm files keep their own readers, which say nothing.
    ColorImage image;
    EXPECT_FALSE(readTextureImage(image, file("short.ppm", "P6\n4 4\n255\nabc").c_str(), problem));
    EXPECT_EQ(problem, "");
}
