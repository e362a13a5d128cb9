#include "geometry/GTriangle.h"

#include <cmath>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "foundation/Random.h"
#include "foundation/Settings.h"
#include "geometry/GVertex.h"
#include "shading/GMaterial.h"

namespace {

const float far = 3.4028235e38f;
const float pi = 3.1415927f;

// Owns the three corners and the triangle over them.
struct TriangleFixture {
    GVertex corners[3];
    GTriangle triangle;
    TriangleFixture(const HPoint& a, const HPoint& b, const HPoint& c) {
        corners[0].position = a;
        corners[1].position = b;
        corners[2].position = c;
        corners[0].texCoord = HPoint(0, 0, 0, 1);
        corners[1].texCoord = HPoint(1, 0, 0, 1);
        corners[2].texCoord = HPoint(0, 1, 0, 1);
        for (GVertex& v : corners) v.normal = HPoint(0, 0, 1, 1);
        triangle.setVertices(&corners[0], &corners[1], &corners[2]);
    }
};

// The unit right triangle in z = 0: (0, 0), (1, 0), (0, 1).
TriangleFixture unitTriangle() { return TriangleFixture(HPoint(0, 0, 0), HPoint(1, 0, 0), HPoint(0, 1, 0)); }

HitRecord limitedHit(float limit) {
    HitRecord hit;
    hit.t = limit;
    return hit;
}

bool hitsDown(GTriangle& triangle, float x, float y, float height = 5.0f) {
    GRay ray(0, HPoint(x, y, height), HPoint(0, 0, -1));
    HitRecord hit = limitedHit(far);
    return triangle.intersect(ray, hit);
}

// Restores the global epsilon a test changes.
struct EpsilonGuard {
    float saved = epsilon;
    ~EpsilonGuard() { epsilon = saved; }
};

}  // namespace

TEST(GTriangleTest, VertexAndTriangleIdentity) {
    TriangleFixture f = unitTriangle();
    EXPECT_EQ(f.triangle.typeId(), ClassId::GTriangle);
    EXPECT_TRUE(f.triangle.isKindOf(ClassId::GSceneObject));
    EXPECT_EQ(f.corners[0].typeId(), ClassId::GVertex);
    EXPECT_TRUE(f.corners[0].isKindOf(ClassId::GObject));
    char expected[64];
    std::snprintf(expected, sizeof expected, "GTriangle@%llx", (unsigned long long)(uintptr_t)&f.triangle);
    EXPECT_STREQ(f.triangle.toString(), expected);
    std::snprintf(expected, sizeof expected, "GVertex@%llx", (unsigned long long)(uintptr_t)&f.corners[1]);
    EXPECT_STREQ(f.corners[1].toString(), expected);
    GVertex fresh;
    EXPECT_EQ(fresh.position.w, 1.0f);
    EXPECT_EQ(fresh.normal.x, 0.0f);
    EXPECT_EQ(fresh.texCoord.w, 1.0f);
    EXPECT_EQ(fresh.material, nullptr);
}

TEST(GTriangleTest, HitFromAboveFillsTheRecord) {
    TriangleFixture f = unitTriangle();
    f.corners[0].normal = HPoint(0, 0, 1);
    f.corners[1].normal = HPoint(1, 0, 1);
    f.corners[2].normal = HPoint(0, 1, 1);
    f.corners[0].texCoord = HPoint(0.5f, 0.5f, 0, 1);
    f.corners[1].texCoord = HPoint(1.5f, 0.5f, 0, 1);
    f.corners[2].texCoord = HPoint(0.5f, 2.5f, 0, 1);
    GRay ray(0, HPoint(0.25f, 0.5f, 5), HPoint(0, 0, -1));
    HitRecord hit = limitedHit(far);
    ASSERT_TRUE(f.triangle.intersect(ray, hit));
    EXPECT_FLOAT_EQ(hit.t, 5.0f);
    EXPECT_EQ(hit.object, &f.triangle);
    EXPECT_FLOAT_EQ(hit.point.x, 0.25f);
    EXPECT_FLOAT_EQ(hit.point.y, 0.5f);
    EXPECT_FLOAT_EQ(hit.point.z, 0.0f);
    EXPECT_FLOAT_EQ(hit.geometricNormal.z, 1.0f);
    // Weights (0.25, 0.25, 0.5).
    EXPECT_FLOAT_EQ(hit.texCoord.x, 0.25f * 0.5f + 0.25f * 1.5f + 0.5f * 0.5f);
    EXPECT_FLOAT_EQ(hit.texCoord.y, 0.25f * 0.5f + 0.25f * 0.5f + 0.5f * 2.5f);
    // 0.25 (0,0,1) + 0.25 (1,0,1) + 0.5 (0,1,1) = (0.25, 0.5, 1), normalised.
    float length = std::sqrt(0.25f * 0.25f + 0.5f * 0.5f + 1.0f);
    EXPECT_NEAR(hit.normal.x, 0.25f / length, 1e-6f);
    EXPECT_NEAR(hit.normal.y, 0.5f / length, 1e-6f);
    EXPECT_NEAR(hit.normal.z, 1.0f / length, 1e-6f);
}

TEST(GTriangleTest, BackFaceIsHitAndKeepsItsNormal) {
    TriangleFixture f = unitTriangle();
    GRay ray(0, HPoint(0.2f, 0.2f, -3), HPoint(0, 0, 1));
    HitRecord hit = limitedHit(far);
    ASSERT_TRUE(f.triangle.intersect(ray, hit));
    EXPECT_FLOAT_EQ(hit.t, 3.0f);
    EXPECT_FLOAT_EQ(hit.geometricNormal.z, 1.0f);  // not turned towards the ray
}

TEST(GTriangleTest, EdgesCountAndOutsideDoesNot) {
    TriangleFixture f = unitTriangle();
    EXPECT_TRUE(hitsDown(f.triangle, 0.0f, 0.5f));     // u = 0
    EXPECT_TRUE(hitsDown(f.triangle, 0.5f, 0.0f));     // v = 0
    EXPECT_TRUE(hitsDown(f.triangle, 0.5f, 0.5f));     // u + v = 1 exactly
    EXPECT_TRUE(hitsDown(f.triangle, 0.0f, 0.0f));     // a corner
    EXPECT_FALSE(hitsDown(f.triangle, -0.001f, 0.5f));
    EXPECT_FALSE(hitsDown(f.triangle, 0.5f, -0.001f));
    EXPECT_FALSE(hitsDown(f.triangle, 0.5f, 0.501f));
    EXPECT_FALSE(hitsDown(f.triangle, 2.0f, 2.0f));
}

TEST(GTriangleTest, ParallelAndNearlyParallelRaysMiss) {
    TriangleFixture f = unitTriangle();
    // In the plane itself.
    GRay inPlane(0, HPoint(-1, 0.25f, 0), HPoint(1, 0, 0));
    HitRecord hit = limitedHit(far);
    EXPECT_FALSE(f.triangle.intersect(inPlane, hit));
    // det = -dz here: a slope of 5e-7 is within the 1e-6 band, 2e-6 is not,
    // though both rays cross the plane at x = 0.25.
    GRay shallow(0, HPoint(-1, 0.25f, 1.25f * 5e-7f), HPoint(1, 0, -5e-7f));
    hit = limitedHit(far);
    EXPECT_FALSE(f.triangle.intersect(shallow, hit));
    GRay steeper(0, HPoint(-1, 0.25f, 1.25f * 2e-6f), HPoint(1, 0, -2e-6f));
    hit = limitedHit(far);
    ASSERT_TRUE(f.triangle.intersect(steeper, hit));
    EXPECT_NEAR(hit.point.x, 0.25f, 1e-3f);
}

// The parallel cut-off scales with the triangle: a triangle of a finely
// tessellated mesh (edges of 1e-3, so det = 1e-6 for a head-on ray) is hit.
TEST(GTriangleTest, SmallTrianglesAreHitHeadOn) {
    TriangleFixture small(HPoint(0, 0, 0), HPoint(1e-3f, 0, 0), HPoint(0, 1e-3f, 0));
    EXPECT_TRUE(hitsDown(small.triangle, 2e-4f, 2e-4f));
    TriangleFixture tiny(HPoint(0, 0, 0), HPoint(1e-5f, 0, 0), HPoint(0, 1e-5f, 0));
    EXPECT_TRUE(hitsDown(tiny.triangle, 2e-6f, 2e-6f));
    EXPECT_FALSE(hitsDown(tiny.triangle, 2e-5f, 2e-6f));
}

TEST(GTriangleTest, EpsilonAndTheCurrentLimit) {
    EpsilonGuard guard;
    epsilon = 0.001f;
    TriangleFixture f = unitTriangle();
    EXPECT_FALSE(hitsDown(f.triangle, 0.2f, 0.2f, 0.0005f));  // closer than epsilon
    EXPECT_TRUE(hitsDown(f.triangle, 0.2f, 0.2f, 0.002f));
    epsilon = 0.01f;
    EXPECT_FALSE(hitsDown(f.triangle, 0.2f, 0.2f, 0.002f));

    // A hit at exactly hit.t replaces the earlier one; beyond it, nothing changes.
    GRay ray(0, HPoint(0.2f, 0.2f, 4), HPoint(0, 0, -1));
    HitRecord hit = limitedHit(4.0f);
    GTriangle other;
    hit.object = &other;
    ASSERT_TRUE(f.triangle.intersect(ray, hit));
    EXPECT_EQ(hit.object, &f.triangle);
    hit = limitedHit(3.999f);
    hit.object = &other;
    EXPECT_FALSE(f.triangle.intersect(ray, hit));
    EXPECT_EQ(hit.object, &other);
    EXPECT_EQ(hit.t, 3.999f);
}

TEST(GTriangleTest, FlatShadingUsesTheGeometricNormal) {
    TriangleFixture f = unitTriangle();
    f.corners[0].normal = HPoint(1, 0, 0);
    f.corners[1].normal = HPoint(0, 1, 0);
    f.corners[2].normal = HPoint(0, 0, -1);
    f.triangle.flags = GTriangle::flat;
    GRay ray(0, HPoint(0.3f, 0.3f, -2), HPoint(0, 0, 1));
    HitRecord hit = limitedHit(far);
    ASSERT_TRUE(f.triangle.intersect(ray, hit));
    EXPECT_EQ(hit.normal.x, hit.geometricNormal.x);
    EXPECT_EQ(hit.normal.y, hit.geometricNormal.y);
    EXPECT_EQ(hit.normal.z, hit.geometricNormal.z);
    EXPECT_FLOAT_EQ(hit.normal.z, 1.0f);
}

TEST(GTriangleTest, MissingVertexNormalsFallBackToTheGeometricNormal) {
    TriangleFixture f = unitTriangle();
    for (GVertex& v : f.corners) v.normal = HPoint(0, 0, 0, 1);
    GRay ray(0, HPoint(0.3f, 0.3f, 2), HPoint(0, 0, -1));
    HitRecord hit = limitedHit(far);
    ASSERT_TRUE(f.triangle.intersect(ray, hit));
    EXPECT_FLOAT_EQ(hit.normal.z, 1.0f);
}

TEST(GTriangleTest, NoMailboxBoundsAndMaterial) {
    TriangleFixture f = unitTriangle();
    GRay ray(0, HPoint(0.2f, 0.2f, 1), HPoint(0, 0, -1));
    f.triangle.setRayStamp(ray.id);
    f.triangle.clearRayStamp(ray.id);
    EXPECT_EQ(f.triangle.rayStamp(), 0u);
    HitRecord hit = limitedHit(far);
    EXPECT_TRUE(f.triangle.intersect(ray, hit));
    hit = limitedHit(far);
    EXPECT_TRUE(f.triangle.intersect(ray, hit));  // the same ray again

    TriangleFixture g(HPoint(1, -2, 3), HPoint(-4, 5, 0), HPoint(2, 2, -6));
    HPoint min, max;
    g.triangle.getBounds(min, max);
    EXPECT_EQ(min.x, -4.0f);
    EXPECT_EQ(min.y, -2.0f);
    EXPECT_EQ(min.z, -6.0f);
    EXPECT_EQ(max.x, 2.0f);
    EXPECT_EQ(max.y, 5.0f);
    EXPECT_EQ(max.z, 3.0f);

    EXPECT_EQ(g.triangle.getMaterial(), nullptr);
    EXPECT_FALSE(g.triangle.isEmitter());
    GMaterial material;
    g.triangle.setMaterial(&material);
    for (GVertex& v : g.corners) EXPECT_EQ(v.material, &material);
    EXPECT_EQ(g.triangle.getMaterial(), &material);
    EXPECT_FALSE(g.triangle.isEmitter());
    material.setColor(GMaterial::emissive, HPoint(0.0f, 0.5f, 0.0f, 0.0f));
    EXPECT_TRUE(g.triangle.isEmitter());
    // Only V0's material counts.
    GMaterial other;
    g.corners[0].material = &other;
    EXPECT_FALSE(g.triangle.isEmitter());
}

TEST(GTriangleTest, DirectTestMatchesIntersect) {
    seedRandom(17);
    TriangleFixture f(HPoint(-1, -1, 0.5f), HPoint(1.5f, -0.5f, 0), HPoint(0, 1, -0.5f));
    int hits = 0;
    for (int i = 0; i < 2000; i++) {
        HPoint origin(uniform01() * 6 - 3, uniform01() * 6 - 3, uniform01() * 6 - 3);
        HPoint target(uniform01() * 2 - 1, uniform01() * 2 - 1, 0);
        GRay ray(0, origin, target.difference(origin));
        HitRecord viaVirtual = limitedHit(far), direct = limitedHit(far);
        bool a = f.triangle.intersect(ray, viaVirtual);
        float t = 0, u = 0, v = 0;
        bool b = f.triangle.hitParameters(ray, far, t, u, v);
        ASSERT_EQ(a, b);
        if (!a) continue;
        hits++;
        EXPECT_EQ(viaVirtual.t, t);
        f.triangle.fillHit(ray, direct, t, u, v);
        EXPECT_EQ(direct.point.x, viaVirtual.point.x);
        EXPECT_EQ(direct.texCoord.x, u);
        EXPECT_EQ(direct.texCoord.y, v);
    }
    EXPECT_GT(hits, 300);
}

// ---------------------------------------------------------------------------
// Area light

namespace {

struct EmitterFixture : TriangleFixture {
    GMaterial material;
    // Legs 2 (along x) and 3 (along y) in z = 0: area 3.
    EmitterFixture() : TriangleFixture(HPoint(0, 0, 0), HPoint(2, 0, 0), HPoint(0, 3, 0)) {
        material.setColor(GMaterial::emissive, HPoint(2.0f, 1.0f, 0.5f, 0.0f));
        triangle.setMaterial(&material);
    }
};

bool insideEmitter(const HPoint& p) {
    return std::fabs(p.z) < 1e-5f && p.x >= -1e-5f && p.y >= -1e-5f && p.x / 2 + p.y / 3 <= 1 + 1e-5f;
}

}  // namespace

TEST(GTriangleTest, EmittedPowerAndArea) {
    EmitterFixture f;
    EXPECT_FLOAT_EQ(f.triangle.area(), 3.0f);
    HPoint power;
    f.triangle.emittedPower(power);
    EXPECT_FLOAT_EQ(power.x, 2.0f * 3.0f / pi);
    EXPECT_FLOAT_EQ(power.y, 1.0f * 3.0f / pi);
    EXPECT_FLOAT_EQ(power.z, 0.5f * 3.0f / pi);
}

TEST(GTriangleTest, SampleLightMatchesTheClosedFormAndEvaluateLight) {
    EmitterFixture f;
    seedRandom(3);
    HitRecord receiver;
    receiver.point = HPoint(0.5f, 0.5f, 2.0f);
    for (int i = 0; i < 50; i++) {
        HPoint direction, color;
        float distance = 0;
        ASSERT_TRUE(f.triangle.sampleLight(direction, color, distance, receiver));
        EXPECT_NEAR(direction.length(), 1.0f, 1e-5f);
        HPoint onLight = receiver.point.sum(direction.scaled(distance));
        EXPECT_TRUE(insideEmitter(onLight)) << onLight.toString();
        float factor = 3.0f * std::fabs(direction.z) / (pi * distance * distance);
        EXPECT_NEAR(color.x, 2.0f * factor, 1e-5f);
        EXPECT_NEAR(color.z, 0.5f * factor, 1e-5f);
        HPoint evaluated;
        f.triangle.evaluateLight(receiver, onLight, evaluated);
        EXPECT_NEAR(evaluated.x, color.x, 1e-5f);
    }
    // Close to the light the factor is not clamped.
    receiver.point = HPoint(0.5f, 0.5f, 0.01f);
    HPoint color;
    f.triangle.evaluateLight(receiver, HPoint(0.5f, 0.5f, 0.0f), color);
    EXPECT_NEAR(color.x, 2.0f * 3.0f / (pi * 0.01f * 0.01f), 1.0f);
    // A receiver on the light point gets nothing rather than an infinity.
    receiver.point = HPoint(0.5f, 0.5f, 0.0f);
    f.triangle.evaluateLight(receiver, HPoint(0.5f, 0.5f, 0.0f), color);
    EXPECT_EQ(color.x, 0.0f);
}

TEST(GTriangleTest, UniformPointsFillTheFourMidpointTrianglesEqually) {
    EmitterFixture f;
    seedRandom(11);
    const int n = 40000;
    int counts[4] = {0, 0, 0, 0};
    double meanX = 0, meanY = 0;
    for (int i = 0; i < n; i++) {
        HPoint point, normal, emission;
        float density = 0;
        ASSERT_TRUE(f.triangle.samplePoint(point, normal, emission, density));
        ASSERT_TRUE(insideEmitter(point));
        meanX += point.x;
        meanY += point.y;
        // Scaled coordinates a = x/2, b = y/3 in the unit triangle.
        float a = point.x / 2, b = point.y / 3;
        int cell = a > 0.5f ? 1 : (b > 0.5f ? 2 : (a + b < 0.5f ? 0 : 3));
        counts[cell]++;
    }
    double chiSquare = 0;
    for (int c : counts) chiSquare += (c - n / 4.0) * (c - n / 4.0) / (n / 4.0);
    EXPECT_LT(chiSquare, 16.27);  // 3 degrees of freedom, p = 0.001
    EXPECT_NEAR(meanX / n, 2.0 / 3.0, 0.01);
    EXPECT_NEAR(meanY / n, 1.0, 0.015);
}

TEST(GTriangleTest, SamplePointGivesDensityNormalAndEmission) {
    EmitterFixture f;
    f.corners[1].normal = HPoint(0, 0, 2);
    seedRandom(5);
    HPoint point, normal, emission;
    float density = 0;
    ASSERT_TRUE(f.triangle.samplePoint(point, normal, emission, density));
    EXPECT_FLOAT_EQ(density, 1.0f / 3.0f);
    EXPECT_FLOAT_EQ(normal.z, 1.0f);
    EXPECT_FLOAT_EQ(emission.x, 2.0f);
    EXPECT_FLOAT_EQ(emission.y, 1.0f);

    // A triangle without area offers no density.
    TriangleFixture line(HPoint(0, 0, 0), HPoint(1, 0, 0), HPoint(2, 0, 0));
    line.triangle.setMaterial(&f.material);
    EXPECT_FALSE(line.triangle.samplePoint(point, normal, emission, density));
}

TEST(GTriangleTest, EmitRayLeavesCosineDistributed) {
    EmitterFixture f;
    // Tilted shading normals: directions follow (0, 0.6, 0.8), not the geometry.
    for (GVertex& v : f.corners) v.normal = HPoint(0, 0.6f, 0.8f);
    seedRandom(23);
    const int n = 20000, bins = 10;
    int histogram[bins] = {0};
    double meanCosine = 0;
    unsigned lastId = 0;
    for (int i = 0; i < n; i++) {
        GRay ray;
        HPoint power, normal;
        f.triangle.emitRay(ray, power, normal);
        ASSERT_GT(ray.id, lastId);
        lastId = ray.id;
        ASSERT_EQ(ray.depth, 0);
        ASSERT_TRUE(insideEmitter(ray.origin));
        ASSERT_NEAR(normal.y, 0.6f, 1e-6f);
        ASSERT_NEAR(ray.direction.length(), 1.0f, 1e-4f);
        ASSERT_FLOAT_EQ(ray.inverseDirection.x, 1.0f / ray.direction.x);
        ASSERT_FLOAT_EQ(ray.inverseDirection.z, 1.0f / ray.direction.z);
        ASSERT_FLOAT_EQ(power.x, 2.0f * 3.0f / pi);
        float cosine = ray.direction.dot(normal);
        ASSERT_GE(cosine, 0.0f);
        meanCosine += cosine;
        // For a cosine-distributed direction cos^2 is uniform in [0, 1].
        int bin = (int)(cosine * cosine * bins);
        histogram[bin < bins ? bin : bins - 1]++;
    }
    double chiSquare = 0;
    for (int c : histogram) chiSquare += (c - n / (double)bins) * (c - n / (double)bins) / (n / (double)bins);
    EXPECT_LT(chiSquare, 27.88);  // 9 degrees of freedom, p = 0.001
    EXPECT_NEAR(meanCosine / n, 2.0 / 3.0, 0.01);
}
