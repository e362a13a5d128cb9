#include "image/RealImage.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

TEST(RealImageTest, StorageCopiesAndRange) {
    RealImage empty(0, 3);
    EXPECT_EQ(0, empty.width);
    EXPECT_EQ(nullptr, empty.pixels);

    RealImage image(3, 2);
    std::string text = image.toString();
    EXPECT_EQ(0u, text.find("RealImage@"));
    EXPECT_NE(std::string::npos, text.find(" (3 x 2)"));
    EXPECT_EQ(3 * 2 * 4 + 16, image.memorySize());
    for (int i = 0; i < 6; i++) EXPECT_EQ(0.0f, image.pixels[i]);

    image.fill(2.5f);
    image.at(1, 1) = -4.0f;
    EXPECT_TRUE(image.resize(3, 2));  // same size keeps the data
    EXPECT_EQ(2.5f, image.at(0, 0));
    EXPECT_FALSE(image.resize(-1, 2));
    EXPECT_EQ(3, image.width);
    float low, high;
    image.valueRange(low, high);
    EXPECT_EQ(-4.0f, low);
    EXPECT_EQ(2.5f, high);

    RealImage copy(image);
    EXPECT_NE(image.pixels, copy.pixels);
    EXPECT_EQ(-4.0f, copy.at(1, 1));
    RealImage other;
    EXPECT_TRUE(other.copyFrom(image));
    EXPECT_EQ(-4.0f, other.at(1, 1));
    std::unique_ptr<GObject> cloned(image.clone());
    ASSERT_TRUE(cloned->isKindOf(ClassId::RealImage));
    EXPECT_EQ(2.5f, static_cast<RealImage*>(cloned.get())->at(2, 1));

    EXPECT_TRUE(image.resize(1, 4));
    EXPECT_EQ(0.0f, image.at(0, 3));
}
