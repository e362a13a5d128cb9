#include "image/HPointImage.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>

#include "foundation/Random.h"
#include "image/ColorImage.h"
#include "tests/TestSupport.h"

namespace {

bool sameBits(const HPoint& a, const HPoint& b) { return std::memcmp(&a, &b, sizeof(HPoint)) == 0; }

std::string floatBytes(std::initializer_list<float> values) {
    std::string bytes;
    for (float v : values) {
        uint32_t bits;
        std::memcpy(&bits, &v, 4);
        for (int i = 0; i < 4; i++) bytes += (char)((bits >> (8 * i)) & 0xFF);
    }
    return bytes;
}

}  // namespace

TEST(HPointImageTest, StorageAndIdentity) {
    HPointImage image(3, 2);
    EXPECT_EQ(0u, std::string(image.toString()).find("HPointImage@"));
    EXPECT_EQ(std::string::npos, std::string(image.toString()).find(" x "));
    EXPECT_EQ(3 * 2 * 16 + 16, image.memorySize());
    for (int i = 0; i < 6; i++) EXPECT_TRUE(sameBits(HPoint(0, 0, 0, 1), image.pixels[i]));

    image.at(2, 1) = HPoint(1, 2, 3, 4);
    EXPECT_TRUE(image.resize(3, 2));  // same size keeps the contents
    EXPECT_TRUE(sameBits(HPoint(1, 2, 3, 4), image.at(2, 1)));
    EXPECT_FALSE(image.resize(0, 2));
    EXPECT_FALSE(image.resize(3, -1));
    EXPECT_EQ(3, image.width);
    EXPECT_TRUE(image.resize(1, 1));
    EXPECT_TRUE(sameBits(HPoint(0, 0, 0, 1), image.at(0, 0)));

    HPointImage empty(0, 5);
    EXPECT_EQ(nullptr, empty.pixels);
    std::unique_ptr<GObject> copy(image.clone());
    EXPECT_TRUE(sameBits(image.at(0, 0), static_cast<HPointImage*>(copy.get())->at(0, 0)));
}

TEST(HPointImageTest, PixelOperations) {
    HPointImage a(2, 1), b(2, 1);
    a.fill(HPoint(1, 2, 3, 0.5f));
    EXPECT_TRUE(sameBits(HPoint(1, 2, 3, 0.5f), a.at(1, 0)));
    b.fill(HPoint(0.5f, 0.25f, 0, 9));
    a.add(b);
    EXPECT_TRUE(sameBits(HPoint(1.5f, 2.25f, 3, 0.5f), a.at(0, 0)));  // w untouched
    a.scale(2.0f);
    EXPECT_TRUE(sameBits(HPoint(3, 4.5f, 6, 0.5f), a.at(1, 0)));

    HPointImage other(1, 2);
    testing::internal::CaptureStdout();
    a.add(other);
    EXPECT_EQ("images not the same size.\n", testing::internal::GetCapturedStdout());
    EXPECT_TRUE(sameBits(HPoint(3, 4.5f, 6, 0.5f), a.at(1, 0)));

    HPointImage c;
    EXPECT_TRUE(c.copyFrom(a));
    EXPECT_EQ(2, c.width);
    EXPECT_TRUE(sameBits(a.at(1, 0), c.at(1, 0)));

    // Colour images: bytes / 255 with w = 1 in, colorToPixel out.
    ColorImage colour(2, 1);
    colour.pixels[0] = packPixel(255, 0, 51, 77);
    colour.pixels[1] = packPixel(0, 102, 255, 0);
    HPointImage points;
    points.fromColorImage(colour);
    EXPECT_TRUE(sameBits(HPoint(1.0f, 0.0f, 51 / 255.0f, 1.0f), points.at(0, 0)));
    ColorImage back(5, 5);  // another size: resized, not overrun
    points.toColorImage(back);
    ASSERT_EQ(2, back.width);
    ASSERT_EQ(1, back.height);
    EXPECT_EQ(packPixel(255, 0, 51, 255), back.pixels[0]);
    EXPECT_EQ(packPixel(0, 102, 255, 255), back.pixels[1]);

    // Mean luminance: (0.299 * 1 + 0.114 * 0.2) and (0.587 * 0.4 + 0.114 * 1), halved.
    EXPECT_NEAR((0.299 + 0.114 * 0.2 + 0.587 * 0.4 + 0.114) / 2, points.meanLuminance(), 1e-6);
    EXPECT_EQ(0.0f, HPointImage().meanLuminance());
}

TEST(HPointImageTest, ToneMapByHand) {
    HPointImage image(4, 1);
    image.at(0, 0) = HPoint(1, 1, 1, 1);        // white
    image.at(1, 0) = HPoint(0.5f, 0, 0, 1);     // red
    image.at(2, 0) = HPoint(0, 0, 0, 1);        // black: L = 0, factor 1
    image.at(3, 0) = HPoint(0.1f, 0.1f, 0.1f, 0);  // w = 0 gives alpha 0

    ColorImage frame;
    image.toneMap(frame, 1.0f);
    ASSERT_EQ(4, frame.width);
    ASSERT_EQ(1, frame.height);
    // L = 1, L' = 1/2: every channel 0.5 * 255 = 127.5, truncated.
    EXPECT_EQ(packPixel(127, 127, 127, 255), frame.pixels[0]);
    // L = 0.1495, L' = 0.1495 / 1.1495, f = 1 / 1.1495; 0.5 f 255 = 110.9.
    EXPECT_EQ(packPixel(110, 0, 0, 255), frame.pixels[1]);
    EXPECT_EQ(packPixel(0, 0, 0, 255), frame.pixels[2]);
    // L = 0.1, f = 1 / 1.1: 0.1 / 1.1 * 255 = 23.18.
    EXPECT_EQ(packPixel(23, 23, 23, 0), frame.pixels[3]);

    // k = 2 on red: kL = 0.299, L' = 0.299 / 1.299, f = 2 / 1.299; 0.5 f 255 = 196.3.
    image.toneMap(frame, 2.0f);
    EXPECT_EQ(packPixel(196, 0, 0, 255), frame.pixels[1]);
}

TEST(HPointImageTest, SquaredErrorByHand) {
    HPointImage a(2, 1), b(2, 1);
    a.at(0, 0) = HPoint(1, 2, 3, 100);
    a.at(1, 0) = HPoint(0.5f, 0, 0, 0);
    b.at(0, 0) = HPoint(0, 0, 0, -100);  // w is not compared
    b.at(1, 0) = HPoint(0, 0, 2, 0);
    // 1 + 4 + 9 + 0.25 + 0 + 4: the sum, not the mean.
    EXPECT_DOUBLE_EQ(18.25, a.squaredError(b));
    EXPECT_DOUBLE_EQ(0.0, a.squaredError(a));

    HPointImage other(1, 2);
    testing::internal::CaptureStdout();
    EXPECT_EQ(0.0, a.squaredError(other));
    EXPECT_EQ("not the same size.\n", testing::internal::GetCapturedStdout());
}

TEST(HPointImageTest, FileRoundTripBitForBit) {
    std::string dir = makeScratchDir();
    HPointImage image(2, 1);
    image.at(0, 0) = HPoint(1.0f, -0.0f, 0.1f, 1.0f);
    image.at(1, 0) = HPoint(std::numeric_limits<float>::quiet_NaN(),
                            std::numeric_limits<float>::infinity(), 1e-45f, -3.5f);
    std::string name = dir + "/radImage.im";
    ASSERT_TRUE(image.write(name.c_str()));
    std::string bytes = readWholeFile(name);
    EXPECT_EQ(11u + 4u + 32u, bytes.size());
    EXPECT_EQ(std::string("PNM-HPOINT\n2 1\n") + floatBytes({1.0f, -0.0f, 0.1f, 1.0f}),
              bytes.substr(0, 15 + 16));

    HPointImage back;
    ASSERT_TRUE(back.read(name.c_str()));
    ASSERT_EQ(2, back.width);
    ASSERT_EQ(1, back.height);
    EXPECT_TRUE(sameBits(image.at(0, 0), back.at(0, 0)));
    EXPECT_TRUE(sameBits(image.at(1, 0), back.at(1, 0)));

    seedRandom(23);
    HPointImage larger(9, 4);
    for (int i = 0; i < 36; i++)
        larger.pixels[i] = HPoint(uniform01(), uniform01() * 100, -uniform01(), uniform01());
    ASSERT_TRUE(larger.write(name.c_str()));
    ASSERT_TRUE(back.read(name.c_str()));
    EXPECT_DOUBLE_EQ(0.0, larger.squaredError(back));
    EXPECT_EQ(0, std::memcmp(larger.pixels, back.pixels, sizeof(HPoint) * 36));

    HPointImage empty;
    ASSERT_TRUE(empty.write(name.c_str()));
    EXPECT_EQ("PNM-HPOINT\n0 0\n", readWholeFile(name));
    EXPECT_TRUE(back.read(name.c_str()));
    EXPECT_EQ(0, back.width);
    EXPECT_FALSE(image.write((dir + "/missing/folder.im").c_str()));
}

TEST(HPointImageTest, HostileFilesAreRefusedWithoutChange) {
    std::string dir = makeScratchDir();
    HPointImage image(1, 1);
    image.at(0, 0) = HPoint(7, 7, 7, 7);
    auto refused = [&](const std::string& bytes) {
        writeWholeFile(dir + "/bad.im", bytes);
        bool ok = image.read((dir + "/bad.im").c_str());
        return !ok && image.width == 1 && image.height == 1 &&
               sameBits(HPoint(7, 7, 7, 7), image.at(0, 0));
    };
    EXPECT_TRUE(refused(""));
    EXPECT_TRUE(refused("PNM-HPOINT\n"));
    EXPECT_TRUE(refused("PNM-HPOINT\n2\n" + floatBytes({1, 2, 3, 4, 5, 6, 7, 8})));
    EXPECT_TRUE(refused("PNM-HPOINT\n-1 -1\n"));
    EXPECT_TRUE(refused("PNM-HPOINT\n0 3\n"));
    EXPECT_TRUE(refused("PNM-HPOINT\n2 1\n" + floatBytes({1, 2, 3, 4, 5, 6, 7})));  // short
    EXPECT_TRUE(refused("PNM-HPOINT\n60000 60000\n" + floatBytes({1, 2, 3, 4})));   // huge
    EXPECT_TRUE(refused("PNM-HPOINT\n2147483647 2147483647\n"));
    EXPECT_TRUE(refused(std::string(4000, 'P') + "\n1 1\n"));  // long magic, no record
    EXPECT_FALSE(image.read((dir + "/none.im").c_str()));
    EXPECT_EQ(1, image.width);
}
