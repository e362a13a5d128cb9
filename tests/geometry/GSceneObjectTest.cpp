#include "geometry/GSceneObject.h"

#include <cinttypes>
#include <cmath>
#include <string>

#include <gtest/gtest.h>

#include "foundation/Settings.h"
#include "geometry/GPlane.h"
#include "geometry/GSphere.h"
#include "geometry/GTransform.h"
#include "shading/GMaterial.h"

namespace {

std::string hexAddress(const void* p) {
    char text[32];
    std::snprintf(text, sizeof text, "%" PRIxPTR, (uintptr_t)p);
    return text;
}

// Keeps the two shadow settings of one test from leaking into the next.
class ShadowTest : public ::testing::Test {
protected:
    void SetUp() override {
        savedTransparent = transparentShadows;
        savedCaustics = fakeCaustics;
        glass.setColor(GMaterial::transmitted, HPoint(0.5f, 0.5f, 0.5f, 0.0f));
        sphere.center = HPoint(0, 0, 5);
        sphere.setRadius(1.0f);
        sphere.setMaterial(&glass);
        plane.origin = HPoint(0, 1, 0);
        plane.normal = HPoint(0, 1, 0);
        plane.setUp();
        plane.setMaterial(&glass);
    }
    void TearDown() override {
        transparentShadows = savedTransparent;
        fakeCaustics = savedCaustics;
    }
    bool savedTransparent = false, savedCaustics = false;
    GMaterial glass;
    GSphere sphere;
    GPlane plane;
};

}  // namespace

TEST_F(ShadowTest, OpaqueWhenShadowsAreNotTransparent) {
    transparentShadows = false;
    GRay ray(0, HPoint(0, 0, 0), HPoint(0, 0, 1));
    HPoint filter(1, 1, 1, 1);
    EXPECT_TRUE(sphere.occludes(ray, filter, 100.0f));
    EXPECT_FLOAT_EQ(filter.x, 1.0f);
}

TEST_F(ShadowTest, BlockerBeyondTheLimitDoesNotOcclude) {
    GRay ray(0, HPoint(0, 0, 0), HPoint(0, 0, 1));
    HPoint filter(1, 1, 1, 1);
    EXPECT_FALSE(sphere.occludes(ray, filter, 3.5f));
}

TEST_F(ShadowTest, TransparentSphereDimsWithoutCaustics) {
    transparentShadows = true;
    fakeCaustics = false;
    GRay ray(0, HPoint(0, 0, 0), HPoint(0, 0, 1));
    HPoint filter(1, 0.8f, 1, 1);
    EXPECT_FALSE(sphere.occludes(ray, filter, 100.0f));
    EXPECT_FLOAT_EQ(filter.x, 0.5f);
    EXPECT_FLOAT_EQ(filter.y, 0.4f);
    EXPECT_FLOAT_EQ(filter.w, 1.0f);
}

TEST_F(ShadowTest, SphereCausticsBrightenUpToThreeTimes) {
    transparentShadows = true;
    fakeCaustics = true;
    // Along the axis: cos = -1, (1 + 0.1)^12 + 0.7 = 3.84 is capped at 3.
    GRay axial(0, HPoint(0, 0, 0), HPoint(0, 0, 1));
    HPoint filter(1, 1, 1, 1);
    EXPECT_FALSE(sphere.occludes(axial, filter, 100.0f));
    EXPECT_FLOAT_EQ(filter.x, 1.5f);
    // Grazing: cos = 0 gives 0.1^12 + 0.7.
    GRay grazing(0, HPoint(0, 1, 0), HPoint(0, 0, 1));
    HPoint dim(1, 1, 1, 1);
    EXPECT_FALSE(sphere.occludes(grazing, dim, 100.0f));
    EXPECT_NEAR(dim.x, 0.5f * 0.7f, 1e-6f);
}

TEST_F(ShadowTest, PlaneUsesTheDefaultFilterCappedAtOne) {
    transparentShadows = true;
    fakeCaustics = true;
    GRay straight(0, HPoint(0, 3, 0), HPoint(0, -1, 0));
    HPoint filter(1, 1, 1, 1);
    EXPECT_FALSE(plane.occludes(straight, filter, 100.0f));
    EXPECT_FLOAT_EQ(filter.x, 0.5f);  // (1 + 0.2)^12 + 0.7 capped at 1
    // 60 degrees from the normal: cos^2 = 0.25, 0.45^12 + 0.7.
    GRay oblique(0, HPoint(0, 3, 0), HPoint(std::sqrt(3.0f), -1, 0));
    HPoint dim(1, 1, 1, 1);
    EXPECT_FALSE(plane.occludes(oblique, dim, 100.0f));
    EXPECT_NEAR(dim.x, 0.5f * (std::pow(0.45f, 12.0f) + 0.7f), 1e-6f);
}

TEST_F(ShadowTest, OpaqueMaterialBlocksEvenWithTransparentShadows) {
    transparentShadows = true;
    GMaterial opaque;
    plane.setMaterial(&opaque);
    GRay ray(0, HPoint(0, 3, 0), HPoint(0, -1, 0));
    HPoint filter(1, 1, 1, 1);
    EXPECT_TRUE(plane.occludes(ray, filter, 100.0f));
    EXPECT_FLOAT_EQ(filter.x, 1.0f);
    plane.setMaterial(nullptr);
    GRay again(0, HPoint(0, 3, 0), HPoint(0, -1, 0));
    EXPECT_TRUE(plane.occludes(again, filter, 100.0f));
}

TEST(GSceneObjectTest, DefaultsOfTheInterface) {
    GSceneObject object;
    GRay ray(0, HPoint(), HPoint(0, 0, 1));
    HitRecord hit;
    hit.t = 10.0f;
    std::string name = "GSceneObject@" + hexAddress(&object);
    EXPECT_EQ(std::string(object.toString()), name);

    testing::internal::CaptureStdout();
    EXPECT_FALSE(object.intersect(ray, hit));
    object.draw(nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "intersecting with " + name + "\ndrawing " + name + "\n");

    HPoint color;
    object.colorAt(color, hit);
    EXPECT_FLOAT_EQ(color.x, 0.5f);
    EXPECT_FLOAT_EQ(color.w, 1.0f);
    EXPECT_EQ(object.getMaterial(), nullptr);
    EXPECT_FALSE(object.isUnbounded());
    EXPECT_FALSE(object.isEmitter());
    float distance = 0.0f, density = 0.0f;
    HPoint a, b, c;
    EXPECT_FALSE(object.sampleLight(a, b, distance, hit));
    EXPECT_FALSE(object.samplePoint(a, b, c, density));
    EXPECT_EQ(object.typeId(), ClassId::GSceneObject);
    EXPECT_TRUE(object.isKindOf(ClassId::IParseable));
    EXPECT_FALSE(object.parse(nullptr));

    FILE* file = std::tmpfile();
    ::testing::internal::CaptureStdout();
    object.emitVrml(file);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "XML export: " + name + " is not written: the format has no such object\n");
    EXPECT_EQ(std::ftell(file), 0L);  // nothing lands in the file
    std::fclose(file);
}

TEST(GSceneObjectTest, TransformIsAnInertObject) {
    GTransform transform;
    std::string name = "GTransform@" + hexAddress(&transform);
    EXPECT_EQ(std::string(transform.toString()), name);
    testing::internal::CaptureStdout();
    transform.draw(nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "drawing " + name + "\n");
    EXPECT_TRUE(transform.isKindOf(ClassId::GTransform));
    EXPECT_TRUE(transform.isKindOf(ClassId::GSceneObject));
}
