// The error figures of a result against a reference, on images whose sums
// are worked out by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "image/ColorImage.h"
#include "image/HPointImage.h"
#include "image/ImageError.h"
#include "tests/TestSupport.h"

namespace {

HPointImage imageOf(int width, int height, std::initializer_list<HPoint> pixels) {
    HPointImage image(width, height);
    int i = 0;
    for (const HPoint& p : pixels)
        image.pixels[i++] = p;
    return image;
}

} // namespace

TEST(ImageError, FiguresOfHandMadeImages) {
    // Two pixels, six channel values; w differs and must not count.
    HPointImage reference = imageOf(2, 1, {HPoint(0, 1, 0.1f, 1), HPoint(2, 0, 0, 1)});
    HPointImage result = imageOf(2, 1, {HPoint(0.5f, 1, 0.1f, 7), HPoint(2, 0.3f, -1, 0)});
    ImageErrorRecord error;
    ASSERT_TRUE(compareImages(result, reference, error));
    // Squared differences 0.25, 0, 0, 0, 0.09, 1.
    EXPECT_NEAR(error.mse, (0.25 + 0.09 + 1.0) / 6.0, 1e-7);
    // Divided by r^2 + 0.01: 0.01, 1.01, 0.02, 4.01, 0.01, 0.01.
    EXPECT_NEAR(error.relativeMse, (0.25 / 0.01 + 0.09 / 0.01 + 1.0 / 0.01) / 6.0, 1e-5);
    EXPECT_NEAR(error.mean, (0.5 + 1 + 0.1 + 2 + 0.3 - 1) / 6.0, 1e-7);
    EXPECT_NEAR(error.referenceMean, (0 + 1 + 0.1 + 2) / 6.0, 1e-7);

    // An image against itself: nothing, and an infinite efficiency.
    ASSERT_TRUE(compareImages(result, result, error));
    EXPECT_EQ(error.mse, 0.0);
    EXPECT_EQ(error.relativeMse, 0.0);
    EXPECT_EQ(errorFigureText(efficiency(error.mse, 2.5)), "inf");
}

TEST(ImageError, EfficiencyAndItsText) {
    struct Case {
        double mse, seconds;
        const char* text;
    } cases[] = {
        {0.01, 2.0, "50"}, {0.25, 0.5, "8"},       {0.0, 1.0, "inf"},
        {0.3, 0.0, "inf"}, {3.0, 1.0, "0.333333"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(errorFigureText(efficiency(c.mse, c.seconds)), c.text) << c.mse;
}

TEST(ImageError, DifferentSizesOrEmptyImagesAreNotCompared) {
    HPointImage small(2, 1), wide(3, 1), empty;
    ImageErrorRecord error;
    error.mse = 42.0;
    EXPECT_FALSE(compareImages(small, wide, error));
    EXPECT_FALSE(compareImages(empty, empty, error));
    EXPECT_EQ(error.mse, 42.0); // left as it was
    EXPECT_FALSE(writeRelativeErrorImage(small, wide, "never.ppm"));
}

TEST(ImageError, FalseColoursScaleToTheLargestError) {
    std::string folder = makeScratchDir();
    // Relative errors 0, 1/4 and 1 of the largest: black, blue, white.
    HPointImage reference =
        imageOf(3, 1, {HPoint(0, 0, 0, 1), HPoint(0, 0, 0, 1), HPoint(0, 0, 0, 1)});
    HPointImage result =
        imageOf(3, 1, {HPoint(0, 0, 0, 1), HPoint(1, 1, 0, 1), HPoint(2, 2, 0, 1)});
    const std::string name = folder + "/error.ppm";
    ASSERT_TRUE(writeRelativeErrorImage(result, reference, name.c_str()));
    ColorImage picture;
    picture.readImage(name.c_str());
    ASSERT_EQ(picture.width, 3);
    EXPECT_EQ(picture.pixels[0] & 0xFFFFFFu, 0x000000u);
    EXPECT_EQ(picture.pixels[1] & 0xFFFFFFu, 0xFF0000u); // blue in the third byte
    EXPECT_EQ(picture.pixels[2] & 0xFFFFFFu, 0xFFFFFFu);
}
