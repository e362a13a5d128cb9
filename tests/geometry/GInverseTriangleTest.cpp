#include "geometry/GInverseTriangle.h"

#include <cmath>

#include <gtest/gtest.h>

#include "foundation/Random.h"
#include "foundation/Settings.h"
#include "geometry/GTriangle.h"
#include "geometry/GVertex.h"
#include "shading/GMaterial.h"

namespace {

const float far = 3.4028235e38f;
const float pi = 3.1415927f;

struct InverseFixture {
    GVertex corners[3];
    GInverseTriangle triangle;
    InverseFixture(const HPoint& a, const HPoint& b, const HPoint& c, const HPoint& normal = HPoint(0, 0, 1),
                   unsigned flags = 0) {
        corners[0].position = a;
        corners[1].position = b;
        corners[2].position = c;
        corners[1].texCoord = HPoint(1, 0, 0, 1);
        corners[2].texCoord = HPoint(0, 1, 0, 1);
        for (GVertex& v : corners) v.normal = normal;
        triangle.flags = flags;
        triangle.setVertices(&corners[0], &corners[1], &corners[2]);
    }
};

InverseFixture unitTriangle(const HPoint& normal = HPoint(0, 0, 1), unsigned flags = 0) {
    return InverseFixture(HPoint(0, 0, 0), HPoint(1, 0, 0), HPoint(0, 1, 0), normal, flags);
}

HitRecord limitedHit(float limit) {
    HitRecord hit;
    hit.t = limit;
    return hit;
}

bool hitsDown(GInverseTriangle& triangle, float x, float y, float height = 5.0f) {
    GRay ray(0, HPoint(x, y, height), HPoint(0, 0, -1));
    HitRecord hit = limitedHit(far);
    return triangle.intersect(ray, hit);
}

HPoint randomPoint(float scale) {
    return HPoint((uniform01() * 2 - 1) * scale, (uniform01() * 2 - 1) * scale, (uniform01() * 2 - 1) * scale);
}

}  // namespace

TEST(GInverseTriangleTest, IdentityAndDefaults) {
    GInverseTriangle triangle;
    EXPECT_EQ(triangle.typeId(), ClassId::GInverseTriangle);
    EXPECT_TRUE(triangle.isKindOf(ClassId::GSceneObject));
    EXPECT_FALSE(triangle.isKindOf(ClassId::GTriangle));
    EXPECT_EQ(triangle.plane.w, 1.0f);
    EXPECT_EQ(triangle.lastRayId, 0);
    EXPECT_EQ(triangle.shell, nullptr);
    char expected[64];
    std::snprintf(expected, sizeof expected, "GInverseTriangle@%llx", (unsigned long long)(uintptr_t)&triangle);
    EXPECT_STREQ(triangle.toString(), expected);
}

TEST(GInverseTriangleTest, PlaneAgreesWithTheFirstVertexNormalUnlessFlat) {
    InverseFixture up(HPoint(0, 0, 2), HPoint(1, 0, 2), HPoint(0, 1, 2));
    EXPECT_FLOAT_EQ(up.triangle.plane.z, 1.0f);
    EXPECT_FLOAT_EQ(up.triangle.plane.w, -2.0f);
    InverseFixture down(HPoint(0, 0, 2), HPoint(1, 0, 2), HPoint(0, 1, 2), HPoint(0, 0, -1));
    EXPECT_FLOAT_EQ(down.triangle.plane.z, -1.0f);
    EXPECT_FLOAT_EQ(down.triangle.plane.w, 2.0f);
    InverseFixture flat(HPoint(0, 0, 2), HPoint(1, 0, 2), HPoint(0, 1, 2), HPoint(0, 0, -1), GInverseTriangle::flat);
    EXPECT_FLOAT_EQ(flat.triangle.plane.z, 1.0f);
}

TEST(GInverseTriangleTest, ProjectionAxesAndTies) {
    // Normal along z: keep x and y.
    InverseFixture z = unitTriangle();
    EXPECT_EQ(z.triangle.axisU, 0);
    EXPECT_EQ(z.triangle.axisV, 1);
    EXPECT_FLOAT_EQ(z.triangle.inverseDeterminant, 1.0f);
    // |nx| = |ny|: x is dropped first.
    InverseFixture xy(HPoint(0, 0, 0), HPoint(0, 0, 1), HPoint(1, -1, 0), HPoint(1, 1, 0));
    EXPECT_EQ(xy.triangle.axisU, 1);
    EXPECT_EQ(xy.triangle.axisV, 2);
    // |ny| = |nz| > |nx|: y is dropped.
    InverseFixture yz(HPoint(0, 0, 0), HPoint(1, 0, 0), HPoint(0, 1, -1), HPoint(0, 1, 1));
    EXPECT_EQ(yz.triangle.axisU, 0);
    EXPECT_EQ(yz.triangle.axisV, 2);
}

TEST(GInverseTriangleTest, PlaneHitFillsTheRecord) {
    InverseFixture f = unitTriangle(HPoint(0, 0, -1));  // plane normal turned down
    f.corners[0].normal = HPoint(0, 0, -1);
    f.corners[1].normal = HPoint(1, 0, -1);
    f.corners[2].normal = HPoint(0, 0, -1);
    GRay ray(0, HPoint(0.5f, 0.25f, 3), HPoint(0, 0, -1));
    HitRecord hit = limitedHit(far);
    ASSERT_TRUE(f.triangle.intersect(ray, hit));
    EXPECT_FLOAT_EQ(hit.t, 3.0f);
    EXPECT_EQ(hit.object, &f.triangle);
    EXPECT_FLOAT_EQ(hit.point.x, 0.5f);
    EXPECT_FLOAT_EQ(hit.geometricNormal.z, -1.0f);  // the stored plane normal
    EXPECT_FLOAT_EQ(hit.texCoord.x, 0.5f);
    EXPECT_FLOAT_EQ(hit.texCoord.y, 0.25f);
    // 0.25 (0,0,-1) + 0.5 (1,0,-1) + 0.25 (0,0,-1) = (0.5, 0, -1).
    float length = std::sqrt(1.25f);
    EXPECT_NEAR(hit.normal.x, 0.5f / length, 1e-6f);
    EXPECT_NEAR(hit.normal.z, -1.0f / length, 1e-6f);
}

TEST(GInverseTriangleTest, EdgesEpsilonLimitAndParallelRays) {
    InverseFixture f = unitTriangle();
    EXPECT_TRUE(hitsDown(f.triangle, 0.0f, 0.5f));
    EXPECT_TRUE(hitsDown(f.triangle, 0.5f, 0.5f));
    EXPECT_FALSE(hitsDown(f.triangle, 0.5f, 0.501f));
    EXPECT_FALSE(hitsDown(f.triangle, -0.001f, 0.5f));
    // No epsilon: any t > 0 counts, t = 0 does not.
    EXPECT_TRUE(hitsDown(f.triangle, 0.2f, 0.2f, 0.0005f));
    EXPECT_FALSE(hitsDown(f.triangle, 0.2f, 0.2f, 0.0f));
    EXPECT_FALSE(hitsDown(f.triangle, 0.2f, 0.2f, -1.0f));
    GRay parallel(0, HPoint(-1, 0.2f, 0), HPoint(1, 0, 0));
    HitRecord hit = limitedHit(far);
    EXPECT_FALSE(f.triangle.intersect(parallel, hit));
    // The limit: equal accepted, beyond rejected.
    GRay ray(0, HPoint(0.2f, 0.2f, 2), HPoint(0, 0, -1));
    hit = limitedHit(2.0f);
    EXPECT_TRUE(f.triangle.intersect(ray, hit));
    GRay again(0, HPoint(0.2f, 0.2f, 2), HPoint(0, 0, -1));
    hit = limitedHit(1.999f);
    EXPECT_FALSE(f.triangle.intersect(again, hit));
}

TEST(GInverseTriangleTest, FlatShadingUsesThePlaneNormal) {
    InverseFixture f = unitTriangle(HPoint(0.3f, 0.4f, 0.5f), GInverseTriangle::flat);
    GRay ray(0, HPoint(0.2f, 0.2f, 1), HPoint(0, 0, -1));
    HitRecord hit = limitedHit(far);
    ASSERT_TRUE(f.triangle.intersect(ray, hit));
    EXPECT_EQ(hit.normal.x, f.triangle.plane.x);
    EXPECT_EQ(hit.normal.z, f.triangle.plane.z);
}

TEST(GInverseTriangleTest, MailboxRejectsTheSameRayTwice) {
    InverseFixture f = unitTriangle();
    GRay ray(0, HPoint(0.2f, 0.2f, 1), HPoint(0, 0, -1));
    HitRecord hit = limitedHit(far);
    EXPECT_TRUE(f.triangle.intersect(ray, hit));
    EXPECT_EQ(f.triangle.rayStamp(), (int)ray.id);
    hit = limitedHit(far);
    EXPECT_FALSE(f.triangle.intersect(ray, hit));  // same id, although it hit

    GRay leaving(0, HPoint(0.2f, 0.2f, 1), HPoint(0, 0, -1));
    f.triangle.clearRayStamp(leaving.id);  // no shell: stamps
    hit = limitedHit(far);
    EXPECT_FALSE(f.triangle.intersect(leaving, hit));
    GRay stamped(0, HPoint(0.2f, 0.2f, 1), HPoint(0, 0, -1));
    f.triangle.setRayStamp(stamped.id);
    EXPECT_FALSE(f.triangle.intersect(stamped, hit));
    GRay fresh(0, HPoint(0.2f, 0.2f, 1), HPoint(0, 0, -1));
    EXPECT_TRUE(f.triangle.intersect(fresh, hit));
}

TEST(GInverseTriangleTest, ZeroAreaNeverHits) {
    InverseFixture line(HPoint(0, 0, 0), HPoint(1, 1, 0), HPoint(2, 2, 0));
    for (int i = 0; i < 5; i++) {
        GRay ray(0, HPoint(1, 1, 1), HPoint(0.1f * i, 0, -1));
        HitRecord hit = limitedHit(far);
        EXPECT_FALSE(line.triangle.intersect(ray, hit));
    }
    GRay along(0, HPoint(-1, -1, 0), HPoint(1, 1, 0));
    HitRecord hit = limitedHit(far);
    EXPECT_FALSE(line.triangle.intersect(along, hit));
    HPoint min, max;
    line.triangle.getBounds(min, max);
    EXPECT_EQ(min.x, 0.0f);
    EXPECT_EQ(max.y, 2.0f);
}

TEST(GInverseTriangleTest, AgreesWithGTriangleOnRandomRays) {
    seedRandom(2024);
    int hits = 0, compared = 0;
    for (int shape = 0; shape < 40; shape++) {
        HPoint a = randomPoint(1), b = randomPoint(1), c = randomPoint(1);
        GVertex corners[3];
        corners[0].position = a;
        corners[1].position = b;
        corners[2].position = c;
        corners[1].texCoord = HPoint(1, 0, 0, 1);
        corners[2].texCoord = HPoint(0, 1, 0, 1);
        HPoint normal = b.difference(a).cross(c.difference(a));
        normal.normalize();
        for (GVertex& v : corners) v.normal = normal;
        GTriangle plain;
        plain.setVertices(&corners[0], &corners[1], &corners[2]);
        GInverseTriangle inverse;
        inverse.setVertices(&corners[0], &corners[1], &corners[2]);
        for (int i = 0; i < 200; i++) {
            HPoint origin = randomPoint(4);
            HPoint target = randomPoint(1);
            GRay ray(0, origin, target.difference(origin));
            HitRecord first = limitedHit(far), second = limitedHit(far);
            bool plainHit = plain.intersect(ray, first);
            bool inverseHit = inverse.intersect(ray, second);
            // Rays grazing an edge, nearly parallel or starting next to the
            // plane may fall either way: computed apart in double precision.
            double e1[3] = {(double)b.x - a.x, (double)b.y - a.y, (double)b.z - a.z};
            double e2[3] = {(double)c.x - a.x, (double)c.y - a.y, (double)c.z - a.z};
            double d[3] = {ray.direction.x, ray.direction.y, ray.direction.z};
            double s0[3] = {(double)ray.origin.x - a.x, (double)ray.origin.y - a.y, (double)ray.origin.z - a.z};
            double p[3] = {d[1] * e2[2] - d[2] * e2[1], d[2] * e2[0] - d[0] * e2[2], d[0] * e2[1] - d[1] * e2[0]};
            double q[3] = {s0[1] * e1[2] - s0[2] * e1[1], s0[2] * e1[0] - s0[0] * e1[2],
                           s0[0] * e1[1] - s0[1] * e1[0]};
            double det = e1[0] * p[0] + e1[1] * p[1] + e1[2] * p[2];
            if (std::fabs(det) < 1e-3) continue;
            double u = (s0[0] * p[0] + s0[1] * p[1] + s0[2] * p[2]) / det;
            double v = (d[0] * q[0] + d[1] * q[1] + d[2] * q[2]) / det;
            double t = (e2[0] * q[0] + e2[1] * q[1] + e2[2] * q[2]) / det;
            if (std::fabs(u) < 1e-3 || std::fabs(v) < 1e-3 || std::fabs(u + v - 1) < 1e-3) continue;
            if (std::fabs(t) < 0.01) continue;
            compared++;
            ASSERT_EQ(plainHit, inverseHit) << "shape " << shape << " ray " << i;
            if (!plainHit) continue;
            hits++;
            EXPECT_NEAR(first.t, second.t, 1e-4f * first.t);
            EXPECT_NEAR(first.texCoord.x, second.texCoord.x, 1e-3f);
            EXPECT_NEAR(first.texCoord.y, second.texCoord.y, 1e-3f);
            EXPECT_NEAR(std::fabs(first.geometricNormal.dot(second.geometricNormal)), 1.0f, 1e-5f);
            EXPECT_NEAR(first.normal.dot(second.normal), 1.0f, 1e-5f);
        }
    }
    EXPECT_GT(compared, 6000);
    EXPECT_GT(hits, 400);
}

TEST(GInverseTriangleTest, BoundsMaterialAndEmitter) {
    InverseFixture f(HPoint(1, -2, 3), HPoint(-4, 5, 0), HPoint(2, 2, -6));
    HPoint min, max;
    f.triangle.getBounds(min, max);
    EXPECT_EQ(min.x, -4.0f);
    EXPECT_EQ(min.z, -6.0f);
    EXPECT_EQ(max.y, 5.0f);
    EXPECT_EQ(max.z, 3.0f);
    EXPECT_EQ(min.w, 1.0f);
    EXPECT_FALSE(f.triangle.isEmitter());
    GMaterial material;
    material.setColor(GMaterial::emissive, HPoint(1, 1, 1, 0));
    f.triangle.setMaterial(&material);
    EXPECT_EQ(f.corners[2].material, &material);
    EXPECT_EQ(f.triangle.getMaterial(), &material);
    EXPECT_TRUE(f.triangle.isEmitter());
}

TEST(GInverseTriangleTest, LightFactorIsClampedAtOne) {
    // Legs 2 and 3: area 3.
    InverseFixture f(HPoint(0, 0, 0), HPoint(2, 0, 0), HPoint(0, 3, 0));
    GMaterial material;
    material.setColor(GMaterial::emissive, HPoint(2.0f, 1.0f, 0.5f, 0.0f));
    f.triangle.setMaterial(&material);
    HitRecord receiver;
    receiver.point = HPoint(0.5f, 0.5f, 0.01f);
    HPoint color;
    f.triangle.evaluateLight(receiver, HPoint(0.5f, 0.5f, 0.0f), color);
    EXPECT_FLOAT_EQ(color.x, 2.0f);
    EXPECT_FLOAT_EQ(color.z, 0.5f);

    seedRandom(9);
    receiver.point = HPoint(1.0f, -2.0f, 4.0f);
    for (int i = 0; i < 20; i++) {
        HPoint direction;
        float distance;
        ASSERT_TRUE(f.triangle.sampleLight(direction, color, distance, receiver));
        float factor = 3.0f * std::fabs(direction.z) / (pi * distance * distance);
        ASSERT_LT(factor, 1.0f);
        EXPECT_NEAR(color.y, factor, 1e-6f);
        HPoint onLight = receiver.point.sum(direction.scaled(distance));
        EXPECT_NEAR(onLight.z, 0.0f, 1e-5f);
    }

    HPoint power;
    f.triangle.emittedPower(power);
    EXPECT_FLOAT_EQ(power.x, 2.0f * 3.0f / pi);
    GRay ray;
    HPoint normal;
    f.triangle.emitRay(ray, power, normal);
    EXPECT_NE(ray.id, 0u);
    EXPECT_FLOAT_EQ(normal.z, 1.0f);
    EXPECT_GE(ray.direction.z, 0.0f);
    EXPECT_NEAR(ray.origin.z, 0.0f, 1e-6f);
    EXPECT_FLOAT_EQ(power.y, 3.0f / pi);
    // Not offered by this class.
    HPoint point, emission;
    float density;
    EXPECT_FALSE(f.triangle.samplePoint(point, normal, emission, density));
}
