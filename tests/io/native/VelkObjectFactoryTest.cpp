#include "io/native/VelkObjectFactory.h"

#include <gtest/gtest.h>

#include "foundation/GObject.h"
#include "image/ColorImage.h"
#include "image/GImage.h"

namespace {

TEST(VelkObjectFactoryTest, CreatesSceneClassesById) {
    VelkObjectFactory factory;
    const int ids[] = {ClassId::GSphere,      ClassId::GTransform,
                       ClassId::OpenGLCamera, ClassId::SimpleRaytracingCamera,
                       ClassId::PhongModel,   ClassId::GMaterial,
                       ClassId::PointLight,   ClassId::DirectionalLight,
                       ClassId::SpotLight,    ClassId::GPlane,
                       ClassId::GTriangle,    ClassId::GVertex,
                       ClassId::GBoundingBox};
    for (int id : ids) {
        GObject* object = factory.create((unsigned)id);
        ASSERT_NE(object, nullptr) << id;
        EXPECT_EQ(object->typeId(), id);
        delete object;
    }
}

TEST(VelkObjectFactoryTest, HandsUnknownIdsToTheBase) {
    VelkObjectFactory factory;
    GObject* image = factory.create(ClassId::ColorImage);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->typeId(), ClassId::ColorImage);
    EXPECT_EQ(static_cast<ColorImage*>(image)->width, 0);
    EXPECT_EQ(static_cast<ColorImage*>(image)->height, 0);
    delete image;
    const int imageIds[] = {ClassId::GrayImage, ClassId::RealImage, ClassId::HeightImage,
                            ClassId::PresampledFunction};
    for (int id : imageIds) {
        GObject* object = factory.create((unsigned)id);
        ASSERT_NE(object, nullptr) << id;
        EXPECT_EQ(object->typeId(), id);
        if (object->isKindOf(ClassId::GImage)) {
            EXPECT_EQ(static_cast<GImage*>(object)->width, 0);
            EXPECT_EQ(static_cast<GImage*>(object)->height, 0);
        }
        delete object;
    }
    EXPECT_EQ(factory.create(ClassId::PathTracingCamera), nullptr);
    EXPECT_EQ(factory.create(0), nullptr);
    EXPECT_EQ(factory.create(0xffffffffu), nullptr);
    GObjectFactory base;
    EXPECT_EQ(base.create(ClassId::GSphere), nullptr);
}

TEST(VelkObjectFactoryTest, BlockKeywords) {
    EXPECT_EQ(nativeKeywordId("view"), 1008);
    EXPECT_EQ(nativeKeywordId("sphere"), 1002);
    EXPECT_EQ(nativeKeywordId("shape"), 1016);
    EXPECT_EQ(nativeKeywordId("directional_light"), 1015);
    EXPECT_EQ(nativeKeywordId("point_light"), 1014);
    EXPECT_EQ(nativeKeywordId("spot_light"), 1017);
    EXPECT_EQ(nativeKeywordId("plane"), 1018);
    EXPECT_EQ(nativeKeywordId("point_cloud"), 1020);
    EXPECT_EQ(nativeKeywordId("pathTracingView"), -1);
    EXPECT_EQ(nativeKeywordId("Sphere"), -1);
    EXPECT_EQ(nativeKeywordId("views"), -1);
    EXPECT_EQ(nativeKeywordId("{"), -1);
    EXPECT_EQ(nativeKeywordId(""), -1);
    EXPECT_EQ(nativeKeywordId(nullptr), -1);
}

}  // namespace
