#include "geometry/GPlane.h"

#include <cinttypes>
#include <string>

#include <gtest/gtest.h>

#include "geometry/GScene.h"
#include "io/native/Scanner.h"
#include "shading/GMaterial.h"

namespace {

const float far = 3.4028235e38f;

// The plane y = 1 with its normal up.
GPlane groundAtOne() {
    GPlane plane;
    plane.origin = HPoint(5, 1, -2);
    plane.normal = HPoint(0, 3, 0);
    plane.setUp();
    return plane;
}

HitRecord limitedHit(float limit) {
    HitRecord hit;
    hit.t = limit;
    return hit;
}

}  // namespace

TEST(GPlaneTest, SetUpNormalisesAndComputesOffsetAndAxes) {
    GPlane plane;
    plane.origin = HPoint(0, 1, 0);
    plane.normal = HPoint(0, 2, 0);
    plane.uAxis = HPoint(1, 0, 0.5f);
    plane.setUp();
    EXPECT_FLOAT_EQ(plane.normal.y, 1.0f);
    EXPECT_FLOAT_EQ(plane.normal.w, -1.0f);
    // v = normalize(u x n) = (-0.5, 0, 1) / |.|; u = normalize(n x v), in the plane.
    EXPECT_NEAR(plane.vAxis.length(), 1.0f, 1e-6f);
    EXPECT_NEAR(plane.vAxis.dot(plane.normal), 0.0f, 1e-6f);
    EXPECT_LT(plane.vAxis.x, 0.0f);
    EXPECT_NEAR(plane.uAxis.length(), 1.0f, 1e-6f);
    EXPECT_NEAR(plane.uAxis.dot(plane.normal), 0.0f, 1e-6f);
    EXPECT_NEAR(plane.uAxis.dot(plane.vAxis), 0.0f, 1e-6f);
    EXPECT_GT(plane.uAxis.x, 0.0f);

    GPlane bare = groundAtOne();  // no u direction: both axes stay zero
    EXPECT_FLOAT_EQ(bare.uAxis.length(), 0.0f);
    EXPECT_FLOAT_EQ(bare.vAxis.length(), 0.0f);
}

TEST(GPlaneTest, HitFromAboveFillsDistancePointAndNormals) {
    GPlane plane = groundAtOne();
    GRay ray(0, HPoint(2, 3, 0), HPoint(0, -1, 0));
    HitRecord hit = limitedHit(far);
    ASSERT_TRUE(plane.intersect(ray, hit));
    EXPECT_FLOAT_EQ(hit.t, 2.0f);
    EXPECT_EQ(hit.object, &plane);
    EXPECT_FLOAT_EQ(hit.point.x, 2.0f);
    EXPECT_FLOAT_EQ(hit.point.y, 1.0f);
    // Shading reads the hit record's normal, so the plane writes it.
    EXPECT_FLOAT_EQ(hit.normal.y, 1.0f);
    EXPECT_FLOAT_EQ(hit.geometricNormal.y, 1.0f);

    HPoint n;
    plane.normalAt(n, hit);  // all four components, the offset included
    EXPECT_FLOAT_EQ(n.y, 1.0f);
    EXPECT_FLOAT_EQ(n.w, -1.0f);
}

TEST(GPlaneTest, RejectsZeroDistanceParallelBehindAndBeyondLimit) {
    GPlane plane = groundAtOne();
    HitRecord hit = limitedHit(far);
    GRay onPlane(0, HPoint(0, 1, 0), HPoint(0, -1, 0));
    EXPECT_FALSE(plane.intersect(onPlane, hit));
    GRay parallel(0, HPoint(0, 2, 0), HPoint(1, 0, 0));
    EXPECT_FALSE(plane.intersect(parallel, hit));
    GRay away(0, HPoint(0, 2, 0), HPoint(0, 1, 0));
    EXPECT_FALSE(plane.intersect(away, hit));
    GRay tooFar(0, HPoint(0, 3, 0), HPoint(0, -1, 0));
    hit = limitedHit(1.5f);
    EXPECT_FALSE(plane.intersect(tooFar, hit));
    GRay exact(0, HPoint(0, 3, 0), HPoint(0, -1, 0));
    hit = limitedHit(2.0f);
    EXPECT_TRUE(plane.intersect(exact, hit));
}

TEST(GPlaneTest, MailboxAndDefaultClearRayStamp) {
    GPlane plane = groundAtOne();
    GRay ray(0, HPoint(0, 3, 0), HPoint(0, -1, 0));
    HitRecord hit = limitedHit(far);
    ASSERT_TRUE(plane.intersect(ray, hit));
    hit = limitedHit(far);
    EXPECT_FALSE(plane.intersect(ray, hit));
    // A plane keeps the default: the surface a ray leaves from is stamped.
    GRay leaving(0, HPoint(0, 3, 0), HPoint(0, -1, 0));
    plane.clearRayStamp(leaving.id);
    EXPECT_FALSE(plane.intersect(leaving, hit));
}

TEST(GPlaneTest, BoundsCoverAllSpace) {
    GPlane plane = groundAtOne();
    HPoint lo, hi;
    plane.getBounds(lo, hi);
    EXPECT_EQ(lo.x, -3.4028235e38f);
    EXPECT_EQ(lo.y, -3.4028235e38f);
    EXPECT_EQ(lo.z, -3.4028235e38f);
    EXPECT_EQ(hi.x, 3.4028235e38f);
    EXPECT_EQ(hi.z, 3.4028235e38f);
    EXPECT_FLOAT_EQ(hi.w, 1.0f);
    EXPECT_FALSE(plane.isUnbounded());

    char expected[64];
    std::snprintf(expected, sizeof expected, "GPlane@%" PRIxPTR, (uintptr_t)&plane);
    EXPECT_STREQ(plane.toString(), expected);
    EXPECT_TRUE(plane.isKindOf(ClassId::GPlane));
    EXPECT_TRUE(plane.isKindOf(ClassId::GSceneObject));
    EXPECT_EQ(plane.typeId(), ClassId::GPlane);
}

class GPlaneParseTest : public ::testing::Test {
protected:
    void SetUp() override { resetScanner(); }
    void TearDown() override { resetScanner(); }
};

TEST_F(GPlaneParseTest, ReadsBlockAndRunsSetUp) {
    GScene scene;
    GPlane plane;
    pushInputText("{ origin 0 0 -2 normal 0 0 4 u_direction 1 0 0 diffuse_color 0.5 0.25 0 refraction 1.3 foo }");
    ASSERT_TRUE(plane.parse(&scene));
    EXPECT_FLOAT_EQ(plane.origin.z, -2.0f);
    EXPECT_FLOAT_EQ(plane.normal.z, 1.0f);
    EXPECT_FLOAT_EQ(plane.normal.w, 2.0f);
    EXPECT_FLOAT_EQ(plane.uAxis.x, 1.0f);
    EXPECT_FLOAT_EQ(plane.vAxis.y, -1.0f);  // (1,0,0) x (0,0,1)
    ASSERT_NE(plane.getMaterial(), nullptr);
    EXPECT_EQ(scene.allObjects.size(), 1);
    HPoint c;
    plane.getMaterial()->getRawColor(GMaterial::diffuse, c);
    EXPECT_FLOAT_EQ(c.y, 0.25f);
    EXPECT_FLOAT_EQ(plane.getMaterial()->getRawScalar(GMaterial::indexOfRefraction), 1.3f);
}

TEST_F(GPlaneParseTest, CutOffBlockFailsButIsSetUp) {
    GScene scene;
    GPlane plane;
    pushInputText("{ origin 0 1 0 normal 0 5 0");
    EXPECT_FALSE(plane.parse(&scene));
    EXPECT_FLOAT_EQ(plane.normal.y, 1.0f);
    EXPECT_FLOAT_EQ(plane.normal.w, -1.0f);

    resetScanner();
    GPlane noBrace;
    pushInputText("origin 0 1 0 }");
    EXPECT_FALSE(noBrace.parse(&scene));
}
