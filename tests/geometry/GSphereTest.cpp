#include "geometry/GSphere.h"

#include <cinttypes>
#include <cmath>
#include <string>

#include <gtest/gtest.h>

#include "foundation/Random.h"
#include "foundation/Settings.h"
#include "geometry/GScene.h"
#include "io/native/Scanner.h"
#include "shading/GMaterial.h"

namespace {

std::string hexAddress(const void* p) {
    char text[32];
    std::snprintf(text, sizeof text, "%" PRIxPTR, (uintptr_t)p);
    return text;
}

std::string writtenText(void (*write)(FILE*, void*), void* object) {
    FILE* file = std::tmpfile();
    write(file, object);
    std::rewind(file);
    std::string text;
    char chunk[256];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) text.append(chunk, n);
    std::fclose(file);
    return text;
}

GSphere makeSphere(HPoint center, float radius) {
    GSphere sphere;
    sphere.center = center;
    sphere.setRadius(radius);
    return sphere;
}

HitRecord limitedHit(float limit) {
    HitRecord hit;
    hit.t = limit;
    return hit;
}

const float far = 3.4028235e38f;

}  // namespace

TEST(GSphereTest, HitFromOutsideGivesNearRootAndOutwardNormal) {
    GSphere sphere = makeSphere(HPoint(0, 0, 5), 1.0f);
    GRay ray(0, HPoint(0, 0, 0), HPoint(0, 0, 1));
    HitRecord hit = limitedHit(far);
    ASSERT_TRUE(sphere.intersect(ray, hit));
    EXPECT_FLOAT_EQ(hit.t, 4.0f);
    EXPECT_EQ(hit.object, &sphere);
    EXPECT_FLOAT_EQ(hit.point.z, 4.0f);
    EXPECT_FLOAT_EQ(hit.normal.z, -1.0f);
    EXPECT_FLOAT_EQ(hit.geometricNormal.z, -1.0f);
    EXPECT_FLOAT_EQ(hit.normal.x, 0.0f);
}

TEST(GSphereTest, MailboxRejectsARayItHasSeen) {
    GSphere sphere = makeSphere(HPoint(0, 0, 5), 1.0f);
    GRay ray(0, HPoint(0, 0, 0), HPoint(0, 0, 1));
    HitRecord hit = limitedHit(far);
    ASSERT_TRUE(sphere.intersect(ray, hit));
    HitRecord again = limitedHit(far);
    EXPECT_FALSE(sphere.intersect(ray, again));

    GRay stamped(0, HPoint(0, 0, 0), HPoint(0, 0, 1));
    sphere.setRayStamp(stamped.id);
    EXPECT_FALSE(sphere.intersect(stamped, again));

    // A sphere must stay hittable by rays leaving it: clearRayStamp does nothing.
    GRay leaving(0, HPoint(0, 0, 0), HPoint(0, 0, 1));
    sphere.clearRayStamp(leaving.id);
    EXPECT_TRUE(sphere.intersect(leaving, again));
}

TEST(GSphereTest, RayFromCentreHitsFarRoot) {
    GSphere sphere = makeSphere(HPoint(0, 0, 0), 2.0f);
    GRay ray(0, HPoint(0, 0, 0), HPoint(1, 0, 0));
    HitRecord hit = limitedHit(far);
    ASSERT_TRUE(sphere.intersect(ray, hit));
    EXPECT_FLOAT_EQ(hit.t, 2.0f);
    EXPECT_FLOAT_EQ(hit.normal.x, 1.0f);  // outward, scaled by the inverse radius
}

TEST(GSphereTest, RayLeavingTheSurfaceDoesNotHitItAgain) {
    GSphere sphere = makeSphere(HPoint(0, 0, 0), 1.0f);
    GRay outward(0, HPoint(0, 0, 1), HPoint(0.3f, 0, 1));
    HitRecord hit = limitedHit(far);
    EXPECT_FALSE(sphere.intersect(outward, hit));
    // Into the sphere from its surface: the far side.
    GRay inward(0, HPoint(0, 0, 1), HPoint(0, 0, -1));
    ASSERT_TRUE(sphere.intersect(inward, hit));
    EXPECT_NEAR(hit.t, 2.0f, 1e-6f);
}

TEST(GSphereTest, SphereBehindTheOriginIsMissed) {
    GSphere sphere = makeSphere(HPoint(0, 0, -5), 1.0f);
    GRay ray(0, HPoint(0, 0, 0), HPoint(0, 0, 1));
    HitRecord hit = limitedHit(far);
    EXPECT_FALSE(sphere.intersect(ray, hit));
    EXPECT_FLOAT_EQ(hit.t, far);
}

TEST(GSphereTest, GrazingRayTouchesOnceAndNearMissMisses) {
    GSphere sphere = makeSphere(HPoint(0, 0, 5), 1.0f);
    GRay tangent(0, HPoint(0, 1, 0), HPoint(0, 0, 1));
    HitRecord hit = limitedHit(far);
    ASSERT_TRUE(sphere.intersect(tangent, hit));
    EXPECT_FLOAT_EQ(hit.t, 5.0f);
    EXPECT_FLOAT_EQ(hit.normal.y, 1.0f);
    GRay outside(0, HPoint(0, 1.001f, 0), HPoint(0, 0, 1));
    HitRecord miss = limitedHit(far);
    EXPECT_FALSE(sphere.intersect(outside, miss));
}

TEST(GSphereTest, LimitIsInclusive) {
    GSphere sphere = makeSphere(HPoint(0, 0, 5), 1.0f);
    GRay shortRay(0, HPoint(0, 0, 0), HPoint(0, 0, 1));
    HitRecord hit = limitedHit(3.9f);
    EXPECT_FALSE(sphere.intersect(shortRay, hit));
    GRay exact(0, HPoint(0, 0, 0), HPoint(0, 0, 1));
    hit = limitedHit(4.0f);
    EXPECT_TRUE(sphere.intersect(exact, hit));
}

TEST(GSphereTest, LargeSphereInsideTheLimitIsHit) {
    // Half chord 10 exceeds the limit 8, yet the near root 6 lies within it.
    GSphere sphere = makeSphere(HPoint(0, 0, 16), 10.0f);
    GRay ray(0, HPoint(0, 0, 0), HPoint(0, 0, 1));
    HitRecord hit = limitedHit(8.0f);
    ASSERT_TRUE(sphere.intersect(ray, hit));
    EXPECT_FLOAT_EQ(hit.t, 6.0f);
}

TEST(GSphereTest, EpsilonGrowsWithRadius) {
    // A near root 0.0015 ahead counts as a hit for a unit sphere (epsilon 0.001)...
    GSphere unit = makeSphere(HPoint(0, 0, 0), 1.0f);
    GRay toUnit(0, HPoint(0, 0, -1.0015f), HPoint(0, 0, 1));
    HitRecord hit = limitedHit(far);
    ASSERT_TRUE(unit.intersect(toUnit, hit));
    EXPECT_NEAR(hit.t, 0.0015f, 1e-5f);
    // ...but radius 2 scales epsilon to 0.002, so the far root is taken.
    GSphere big = makeSphere(HPoint(0, 0, 0), 2.0f);
    GRay toBig(0, HPoint(0, 0, -2.0015f), HPoint(0, 0, 1));
    hit = limitedHit(far);
    ASSERT_TRUE(big.intersect(toBig, hit));
    EXPECT_NEAR(hit.t, 4.0015f, 1e-4f);
}

TEST(GSphereTest, BoundsAreaColourAndText) {
    GSphere sphere = makeSphere(HPoint(1, 2, 3), 0.5f);
    HPoint lo, hi;
    sphere.getBounds(lo, hi);
    EXPECT_FLOAT_EQ(lo.x, 0.5f);
    EXPECT_FLOAT_EQ(lo.z, 2.5f);
    EXPECT_FLOAT_EQ(hi.y, 2.5f);
    EXPECT_FLOAT_EQ(lo.w, 1.0f);
    EXPECT_FLOAT_EQ(hi.w, 1.0f);
    EXPECT_FLOAT_EQ(sphere.area(), (float)(4.0 * 3.141592653589793 * 0.25));

    sphere.packedColor = 0x00FF8000u;  // red 0, green 128, blue 255
    HPoint color;
    HitRecord hit;
    sphere.colorAt(color, hit);
    EXPECT_FLOAT_EQ(color.x, 0.0f);
    EXPECT_FLOAT_EQ(color.y, 128.0f / 255.0f);
    EXPECT_FLOAT_EQ(color.z, 1.0f);

    EXPECT_EQ(std::string(sphere.toString()), "GSphere@" + hexAddress(&sphere) + " (1.00 2.00 3.00, 0.50)");
    EXPECT_TRUE(sphere.isKindOf(ClassId::GSphere));
    EXPECT_TRUE(sphere.isKindOf(ClassId::GSceneObject));
    EXPECT_TRUE(sphere.isKindOf(ClassId::IParseable));
    EXPECT_FALSE(sphere.isKindOf(ClassId::GPlane));
    EXPECT_EQ(sphere.typeId(), ClassId::GSphere);
}

TEST(GSphereTest, EmissionQueries) {
    GMaterial material;
    GSphere sphere = makeSphere(HPoint(0, 0, 0), 1.0f);
    EXPECT_FALSE(sphere.isEmitter());  // no material
    sphere.setMaterial(&material);
    EXPECT_FALSE(sphere.isEmitter());
    material.setColor(GMaterial::emissive, HPoint(2.0f, 1.0f, 0.5f, 0.0f));
    EXPECT_TRUE(sphere.isEmitter());

    HPoint power;
    sphere.emittedPower(power);  // emitted * 4 pi r^2 / pi
    EXPECT_FLOAT_EQ(power.x, 8.0f);
    EXPECT_FLOAT_EQ(power.z, 2.0f);

    HitRecord receiver;
    receiver.point = HPoint(0, 4, 0);
    HPoint color;
    sphere.evaluateLight(receiver, HPoint(), color);
    EXPECT_FLOAT_EQ(color.x, 2.0f / 16.0f);
    receiver.point = HPoint(0, 0.5f, 0);  // closer than one radius: full strength
    sphere.evaluateLight(receiver, HPoint(), color);
    EXPECT_FLOAT_EQ(color.y, 1.0f);
}

TEST(GSphereTest, SampleLightPicksAPointOnTheFacingDisc) {
    seedRandom(7);
    GMaterial material;
    material.setColor(GMaterial::emissive, HPoint(1.0f, 1.0f, 1.0f, 0.0f));
    GSphere sphere = makeSphere(HPoint(0, 0, 10), 2.0f);
    sphere.setMaterial(&material);
    HitRecord hit;
    hit.point = HPoint(0, 0, 0);
    for (int i = 0; i < 50; i++) {
        HPoint direction, color;
        float distance = 0.0f;
        ASSERT_TRUE(sphere.sampleLight(direction, color, distance, hit));
        EXPECT_NEAR(direction.length(), 1.0f, 1e-5f);
        HPoint target = direction.scaled(distance);
        EXPECT_NEAR(target.z, 10.0f, 1e-4f);  // the disc through the centre faces the point
        EXPECT_LE(target.x * target.x + target.y * target.y, 4.0f + 1e-4f);
        EXPECT_NEAR(color.x, 4.0f / (distance * distance), 1e-6f);
    }
}

TEST(GSphereTest, EmitRayLeavesTheSurfaceOutward) {
    seedRandom(11);
    GMaterial material;
    material.setColor(GMaterial::emissive, HPoint(1.0f, 0.0f, 0.0f, 0.0f));
    GSphere sphere = makeSphere(HPoint(1, 2, 3), 0.5f);
    sphere.setMaterial(&material);
    for (int i = 0; i < 20; i++) {
        GRay ray;
        HPoint power, normal;
        unsigned before = nextRayId();
        sphere.emitRay(ray, power, normal);
        EXPECT_EQ(ray.id, before + 1);
        EXPECT_EQ(ray.depth, 0);
        EXPECT_NEAR(normal.length(), 1.0f, 1e-5f);
        EXPECT_NEAR(ray.origin.difference(sphere.center).length(), 0.5f, 1e-5f);
        EXPECT_GT(ray.direction.dot(normal), 0.0f);
        EXPECT_FLOAT_EQ(ray.inverseDirection.x, 1.0f / ray.direction.x);
        EXPECT_FLOAT_EQ(power.x, 1.0f);  // 4 pi 0.25 / pi
    }
}

TEST(GSphereTest, EmitVrmlWritesMaterialThenObject) {
    GMaterial material;
    GSphere sphere = makeSphere(HPoint(1, -2, 0.5f), 1.25f);
    sphere.setMaterial(&material);
    std::string text = writtenText([](FILE* f, void* s) { static_cast<GSphere*>(s)->emitVrml(f); }, &sphere);
    std::string m = hexAddress(&material);
    // The material's own text comes first (its writer is tested on its own).
    std::string materialText =
        writtenText([](FILE* f, void* mat) { static_cast<GMaterial*>(mat)->writeXML(f); }, &material);
    std::string expected = materialText + "<object name='sph" + hexAddress(&sphere) + "', shader_name='s" + m +
                           "'> <attributes />\n"
                           "  <sphere radius='1.25000000'>\n"
                           "    <center x='1.00000000' y='-2.00000000' z='0.50000000'/>\n"
                           "  </sphere>\n"
                           "</object>\n";
    EXPECT_EQ(text, expected);
}

class GSphereParseTest : public ::testing::Test {
protected:
    void SetUp() override { resetScanner(); }
    void TearDown() override { resetScanner(); }
};

TEST_F(GSphereParseTest, ReadsEveryKeywordIntoSphereAndMaterial) {
    GScene scene;
    GSphere sphere;
    pushInputText(
        "{ center 1 2 3 radius 4 ambient_color 0.1 0.2 0.3 diffuse_color 0.5 0.6 0.7\n"
        "  specular_color 1 1 1 phong_constant 20 reflectivity 0.25 0 0\n"
        "  transmitivity 0 0.5 0 refraction 1.5 unknown 9 }");
    ASSERT_TRUE(sphere.parse(&scene));
    EXPECT_FLOAT_EQ(sphere.center.x, 1.0f);
    EXPECT_FLOAT_EQ(sphere.center.z, 3.0f);
    EXPECT_FLOAT_EQ(sphere.center.w, 1.0f);
    EXPECT_FLOAT_EQ(sphere.radius, 4.0f);
    EXPECT_FLOAT_EQ(sphere.inverseRadius, 0.25f);

    GMaterial* material = sphere.getMaterial();
    ASSERT_NE(material, nullptr);
    ASSERT_EQ(scene.allObjects.size(), 1);
    EXPECT_EQ(scene.allObjects[0], material);
    HPoint c;
    material->getRawColor(GMaterial::ambient, c);
    EXPECT_FLOAT_EQ(c.y, 0.2f);
    EXPECT_FLOAT_EQ(c.w, 0.0f);
    material->getRawColor(GMaterial::diffuse, c);
    EXPECT_FLOAT_EQ(c.z, 0.7f);
    material->getRawColor(GMaterial::specular, c);
    EXPECT_FLOAT_EQ(c.x, 1.0f);
    material->getRawColor(GMaterial::reflected, c);
    EXPECT_FLOAT_EQ(c.x, 0.25f);
    material->getRawColor(GMaterial::transmitted, c);
    EXPECT_FLOAT_EQ(c.y, 0.5f);
    EXPECT_FLOAT_EQ(material->getRawScalar(GMaterial::phongExponent), 20.0f);
    EXPECT_FLOAT_EQ(material->getRawScalar(GMaterial::indexOfRefraction), 1.5f);
    // The block is consumed exactly: nothing is left.
    EXPECT_EQ(nextToken(), nullptr);
}

TEST_F(GSphereParseTest, CompactBlockWithCommasReadsTheSame) {
    GScene scene;
    GSphere sphere;
    pushInputText("{center 1,2,3 radius .5}(next)");
    ASSERT_TRUE(sphere.parse(&scene));
    EXPECT_FLOAT_EQ(sphere.center.y, 2.0f);
    EXPECT_FLOAT_EQ(sphere.radius, 0.5f);
    EXPECT_STREQ(nextToken(), "(");
}

TEST_F(GSphereParseTest, ZeroRadiusHasInverseOne) {
    GScene scene;
    GSphere sphere;
    pushInputText("{ radius 0 }");
    ASSERT_TRUE(sphere.parse(&scene));
    EXPECT_FLOAT_EQ(sphere.inverseRadius, 1.0f);
}

TEST_F(GSphereParseTest, BlockWithoutBraceOrCutOffFails) {
    GScene scene;
    GSphere noBrace;
    pushInputText("center 1 2 3 }");
    EXPECT_FALSE(noBrace.parse(&scene));
    EXPECT_NE(noBrace.getMaterial(), nullptr);  // created before the brace is checked
    EXPECT_STREQ(nextToken(), "1");             // only the first token was read

    resetScanner();
    GSphere cut;
    pushInputText("{ center 4 5 6 radius");
    EXPECT_FALSE(cut.parse(&scene));
    EXPECT_FLOAT_EQ(cut.center.x, 4.0f);  // values already read stay
    EXPECT_EQ(nextToken(), nullptr);

    resetScanner();
    GSphere empty;
    EXPECT_FALSE(empty.parse(&scene));
}
