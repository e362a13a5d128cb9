#include "shading/GTexture.h"

#include <gtest/gtest.h>

#include "image/ColorImage.h"
#include "image/GImage.h"
#include "image/GrayImage.h"

namespace {

// Records the wrap flags it was asked with; fixed answers otherwise.
class FixedImage : public GImage {
public:
    mutable bool lastWrapU = false, lastWrapV = false;
    FixedImage() {
        width = height = 1;  // an image with pixels; an empty one answers the defaults
    }
    void valueRange(float& lo, float& hi) const override {
        lo = 10.0f;
        hi = 200.0f;
    }
    float sampleScalar(const HPoint&, bool wrapU, bool wrapV) const override {
        lastWrapU = wrapU;
        lastWrapV = wrapV;
        return 100.0f;
    }
    HPoint sampleColor(const HPoint&, bool wrapU, bool wrapV) const override {
        lastWrapU = wrapU;
        lastWrapV = wrapV;
        return HPoint(0.5f, 1.0f, 0.25f, 0.0f);
    }
};

}  // namespace

TEST(GTextureTest, LookupsApplyScaleAndTint) {
    FixedImage image;
    GTexture texture;
    texture.scale = 0.5f;
    texture.tint = HPoint(2.0f, 0.5f, 1.0f, 0.0f);
    texture.setImage(&image);
    EXPECT_FLOAT_EQ(texture.valueMin, 5.0f);
    EXPECT_FLOAT_EQ(texture.valueMax, 100.0f);

    HPoint c;
    texture.lookupColor(c, HPoint(0.3f, 0.3f, 0, 1));
    EXPECT_FLOAT_EQ(c.x, 1.0f);
    EXPECT_FLOAT_EQ(c.y, 0.5f);
    EXPECT_FLOAT_EQ(c.z, 0.25f);
    EXPECT_TRUE(image.lastWrapU);
    EXPECT_TRUE(image.lastWrapV);

    texture.wrapV = false;
    EXPECT_FLOAT_EQ(texture.lookupScalar(HPoint(0.3f, 0.3f, 0, 1)), 50.0f);
    EXPECT_FALSE(image.lastWrapV);
}

TEST(GTextureTest, ImagelessTextureAnswersNeutralValues) {
    GTexture texture;
    EXPECT_TRUE(texture.wrapU);
    EXPECT_FLOAT_EQ(texture.scale, 1.0f);
    HPoint c;
    texture.lookupColor(c, HPoint());
    EXPECT_FLOAT_EQ(c.x, 1.0f);
    EXPECT_FLOAT_EQ(c.w, 0.0f);
    EXPECT_FLOAT_EQ(texture.lookupScalar(HPoint()), 1.0f);
    GImage empty;
    texture.setImage(&empty);  // the base image's range 0 .. 1
    EXPECT_FLOAT_EQ(texture.valueMin, 0.0f);
    EXPECT_FLOAT_EQ(texture.valueMax, 1.0f);
    texture.lookupColor(c, HPoint());
    EXPECT_FLOAT_EQ(c.y, 1.0f);
    // A colour or gray image without pixels answers the same defaults.
    ColorImage noPixels;
    GrayImage noGray;
    for (GImage* image : {(GImage*)&noPixels, (GImage*)&noGray}) {
        texture.setImage(image);
        texture.lookupColor(c, HPoint(0.3f, 0.7f, 0, 1));
        EXPECT_FLOAT_EQ(c.x, 1.0f);
        EXPECT_FLOAT_EQ(c.z, 1.0f);
        EXPECT_FLOAT_EQ(c.w, 0.0f);
        EXPECT_FLOAT_EQ(texture.lookupScalar(HPoint(0.3f, 0.7f, 0, 1)), 1.0f);
    }
}
