#include "io/native/VelkObjectFactory.h"

#include <gtest/gtest.h>

#include "foundation/GObject.h"
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
    const int imageIds[] = {ClassId::ColorImage, ClassId::GrayImage, ClassId::RealImage,
                            ClassId::HeightImage, ClassId::PresampledFunction};
    for (int id : imageIds) {
        GObject* object = factory.create((unsigned)id);
        ASSERT_NE(object, nullptr) << id;
        EXPECT_EQ(object->typeId(), id);
        EXPECT_TRUE(id == ClassId::PresampledFunction || object->isKindOf(ClassId::GImage)) << id;
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
    const struct {
        const char* word;
        int id;
    } cases[] = {{"view", 1008},        {"sphere", 1002},      {"shape", 1016},
                 {"directional_light", 1015}, {"point_light", 1014}, {"spot_light", 1017},
                 {"plane", 1018},       {"point_cloud", 1020}, {"pathTracingView", -1},
                 {"Sphere", -1},        {"views", -1},         {"{", -1},
                 {"", -1},              {nullptr, -1}};
    for (const auto& c : cases) EXPECT_EQ(nativeKeywordId(c.word), c.id) << (c.word ? c.word : "null");
}

}  // namespace
