// The displaced surface of GInverseTriangle, built through code (no scene
// keyword creates it): a height texture on the material's displacement slot.
#include <cmath>
#include <functional>

#include <gtest/gtest.h>

#include "foundation/Random.h"
#include "geometry/GInverseTriangle.h"
#include "geometry/GVertex.h"
#include "image/HeightImage.h"
#include "shading/GMaterial.h"
#include "shading/GTexture.h"

namespace {

const float far = 3.4028235e38f;

// The triangle (0,0,0) (4,0,0) (0,4,0) with texture coordinates x/4, y/4,
// displaced by a height image times 0.01.
struct DisplacedFixture {
    HeightImage heights;
    GTexture texture;
    GMaterial material;
    GVertex corners[3];
    GInverseTriangle triangle;

    DisplacedFixture(int width, int height, const std::function<int(int, int)>& field,
                     const HPoint normals[3] = nullptr, bool allowDisplacement = true,
                     const HPoint positions[3] = nullptr)
        : heights(width, height) {
        for (int y = 0; y < height; y++) {
            for (int x = 0; x < width; x++) heights.setHeight(x, y, (int16_t)field(x, y));
        }
        texture.scale = 0.01f;
        texture.setImage(&heights);
        material.setScalarTexture(GMaterial::displacement, &texture);
        corners[0].position = positions ? positions[0] : HPoint(0, 0, 0);
        corners[1].position = positions ? positions[1] : HPoint(4, 0, 0);
        corners[2].position = positions ? positions[2] : HPoint(0, 4, 0);
        corners[0].texCoord = HPoint(0, 0, 0, 1);
        corners[1].texCoord = HPoint(1, 0, 0, 1);
        corners[2].texCoord = HPoint(0, 1, 0, 1);
        for (int i = 0; i < 3; i++) {
            corners[i].normal = normals ? normals[i] : HPoint(0, 0, 1);
            corners[i].material = &material;
        }
        triangle.setVertices(&corners[0], &corners[1], &corners[2], allowDisplacement);
    }

    // Nearest hit of a fresh ray, or false.
    bool trace(const HPoint& origin, const HPoint& direction, HitRecord& hit) {
        GRay ray(0, origin, direction);
        hit = HitRecord();
        hit.t = far;
        return triangle.intersect(ray, hit);
    }
    // The height field as the texture answers it at (x, y) of the triangle.
    float surfaceAt(float x, float y) const { return texture.lookupScalar(HPoint(x / 4, y / 4, 0, 1)); }
};

int constantHalf(int, int) { return 50; }

}  // namespace

TEST(GInverseTriangleDisplacedTest, ShellIsBuiltOnlyWhenAllowed) {
    DisplacedFixture f(8, 8, constantHalf);
    ASSERT_NE(f.triangle.shell, nullptr);
    EXPECT_TRUE(f.triangle.flags & GInverseTriangle::displaced);
    EXPECT_EQ(f.triangle.displacementTexture(), &f.texture);
    EXPECT_FLOAT_EQ(f.triangle.shell->normalDot[1], 1.0f);

    DisplacedFixture plain(8, 8, constantHalf, nullptr, false);
    EXPECT_EQ(plain.triangle.shell, nullptr);
    HitRecord hit;
    ASSERT_TRUE(plain.trace(HPoint(1, 1, 10), HPoint(0, 0, -1), hit));
    EXPECT_FLOAT_EQ(hit.t, 10.0f);

    // Vertex normals lying in the plane cannot carry heights.
    const HPoint sideways[3] = {HPoint(0, 0, 1), HPoint(1, 0, 0), HPoint(0, 0, 1)};
    DisplacedFixture leaning(8, 8, constantHalf, sideways);
    EXPECT_EQ(leaning.triangle.shell, nullptr);

    // A constant displacement attribute means no displacement.
    GMaterial constant;
    constant.setScalar(GMaterial::displacement, 0.5f);
    f.corners[0].material = &constant;
    EXPECT_EQ(f.triangle.displacementTexture(), nullptr);
}

TEST(GInverseTriangleDisplacedTest, ConstantFieldBehavesLikeTheOffsetPlane) {
    DisplacedFixture f(8, 8, constantHalf);
    HitRecord hit;
    ASSERT_TRUE(f.trace(HPoint(1, 1, 10), HPoint(0, 0, -1), hit));
    EXPECT_NEAR(hit.t, 9.5f, 1e-4f);
    EXPECT_NEAR(hit.point.z, 0.5f, 1e-4f);
    EXPECT_EQ(hit.object, &f.triangle);
    EXPECT_NEAR(hit.normal.z, 1.0f, 1e-4f);
    EXPECT_NEAR(hit.geometricNormal.z, 1.0f, 1e-4f);
    EXPECT_NEAR(hit.texCoord.x, 0.25f, 1e-4f);
    EXPECT_NEAR(hit.texCoord.y, 0.25f, 1e-4f);

    // From below: the geometric normal turns towards the ray, the shading
    // normal does not.
    ASSERT_TRUE(f.trace(HPoint(1, 1, -10), HPoint(0, 0, 1), hit));
    EXPECT_NEAR(hit.t, 10.5f, 1e-4f);
    EXPECT_NEAR(hit.geometricNormal.z, -1.0f, 1e-4f);
    EXPECT_NEAR(hit.normal.z, 1.0f, 1e-4f);

    // Outside the triangle, and beyond the current limit.
    EXPECT_FALSE(f.trace(HPoint(3, 3, 10), HPoint(0, 0, -1), hit));
    GRay ray(0, HPoint(1, 1, 10), HPoint(0, 0, -1));
    hit = HitRecord();
    hit.t = 9.0f;
    EXPECT_FALSE(f.triangle.intersect(ray, hit));

    // Oblique rays meet the plane z = 0.5.
    seedRandom(99);
    for (int i = 0; i < 300; i++) {
        float a = 0.3f + uniform01() * 3.4f, b = 0.3f + uniform01() * 3.4f;
        if (a + b > 3.7f) continue;
        HPoint target(a, b, 0.5f);
        HPoint origin(uniform01() * 12 - 6, uniform01() * 12 - 6, 2 + uniform01() * 6);
        if (i % 3 == 0) origin.z = -origin.z;  // some from below
        HPoint direction = target.difference(origin);
        float expected = direction.length();
        ASSERT_TRUE(f.trace(origin, direction, hit)) << i;
        EXPECT_NEAR(hit.t, expected, 2e-3f * expected) << i;
        EXPECT_NEAR(hit.point.x, a, 2e-3f);
        EXPECT_NEAR(hit.point.y, b, 2e-3f);
        EXPECT_NEAR(hit.texCoord.x, a / 4, 1e-3f);
        EXPECT_NEAR(hit.normal.z, 1.0f, 1e-3f);
    }
}

TEST(GInverseTriangleDisplacedTest, BoundsCoverTheHeightRange) {
    // Heights 0 .. 126 times 0.01.
    DisplacedFixture f(64, 4, [](int x, int) { return 2 * x; });
    HPoint min, max;
    f.triangle.getBounds(min, max);
    EXPECT_FLOAT_EQ(min.x, 0.0f);
    EXPECT_FLOAT_EQ(max.y, 4.0f);
    EXPECT_FLOAT_EQ(min.z, -0.08f * 1.26f);
    EXPECT_FLOAT_EQ(max.z, 1.26f);
    EXPECT_FLOAT_EQ(f.triangle.shell->boxMax.z, 1.26f);
}

TEST(GInverseTriangleDisplacedTest, RampGivesItsHeightAndTiltedNormal) {
    // h(u) = 0.02 * 64 u, so z = 0.32 x over the triangle (x < 3.9).
    DisplacedFixture f(64, 4, [](int x, int) { return 2 * x; });
    seedRandom(5);
    float slope = 0.32f, length = std::sqrt(1 + slope * slope);
    for (int i = 0; i < 200; i++) {
        float x = 0.1f + uniform01() * 3.6f, y = 0.1f + uniform01() * 3.6f;
        if (x + y > 3.8f) continue;
        HitRecord hit;
        ASSERT_TRUE(f.trace(HPoint(x, y, 5), HPoint(0, 0, -1), hit)) << x << " " << y;
        EXPECT_NEAR(hit.point.z, slope * x, 1e-3f);
        EXPECT_NEAR(hit.normal.x, -slope / length, 1e-2f);
        EXPECT_NEAR(hit.normal.y, 0.0f, 1e-2f);
        EXPECT_NEAR(hit.normal.z, 1 / length, 1e-2f);
    }
    HPoint point = f.triangle.displacedPoint(0.5f, 0.5f, 0.0f);  // x = 2
    EXPECT_NEAR(point.z, 0.64f, 1e-4f);
    HPoint normal = f.triangle.displacedNormal(0.5f, 0.25f, 0.25f);
    EXPECT_NEAR(normal.x, -slope / length, 1e-2f);
}

TEST(GInverseTriangleDisplacedTest, VerticalRaysFindTheRoughFieldExactly) {
    // Vertical rays keep their weights, so the crossing is exact: a skip over
    // a crossing (a wrong pyramid bound) would show here.
    seedRandom(41);
    DisplacedFixture f(16, 16, [](int, int) { return nextRandom() % 101; });
    for (int i = 0; i < 400; i++) {
        float x = 0.05f + uniform01() * 3.9f, y = 0.05f + uniform01() * 3.9f;
        if (x + y > 3.9f) continue;
        HitRecord hit;
        ASSERT_TRUE(f.trace(HPoint(x, y, 3), HPoint(0, 0, -1), hit)) << x << " " << y;
        EXPECT_NEAR(hit.point.z, f.surfaceAt(x, y), 1e-4f) << x << " " << y;
        ASSERT_TRUE(f.trace(HPoint(x, y, -3), HPoint(0, 0, 1), hit)) << x << " " << y;
        EXPECT_NEAR(hit.point.z, f.surfaceAt(x, y), 1e-4f) << x << " " << y;
    }
}

TEST(GInverseTriangleDisplacedTest, ObliqueRaysMatchADenseMarch) {
    // A smooth field; the reference walks each ray in tiny steps.
    DisplacedFixture f(32, 32, [](int x, int y) {
        return (int)std::lround(50 + 40 * std::sin(x * 0.4) * std::cos(y * 0.3));
    });
    seedRandom(77);
    int compared = 0;
    for (int i = 0; i < 300; i++) {
        HPoint target(0.2f + uniform01() * 3.0f, 0.2f + uniform01() * 3.0f, 0.5f);
        if (target.x + target.y > 3.6f) continue;
        HPoint origin = target.sum(HPoint(uniform01() * 6 - 3, uniform01() * 6 - 3, 3));
        HPoint direction = target.difference(origin);
        direction.normalize();
        // Reference: the first change of side inside the triangle, kept
        // only if the ray gets 0.01 past the surface before it turns back or
        // leaves the triangle (a grazing dip may fall either way).
        const float stepLength = 10.0f / 40000;
        auto gapAt = [&](float t, bool& inside) {
            HPoint p = origin.sum(direction.scaled(t));
            inside = p.x >= 0 && p.y >= 0 && p.x + p.y <= 4;
            return inside ? p.z - f.surfaceAt(p.x, p.y) : 0.0f;
        };
        float reference = -1, previousGap = 0;
        bool previousInside = false, inside = false;
        for (float t = 0; t < 10 && reference < 0; t += stepLength) {
            float gap = gapAt(t, inside);
            if (inside && previousInside && (gap > 0) != (previousGap > 0)) reference = t - stepLength;
            previousInside = inside;
            previousGap = gap;
        }
        if (reference < 0) continue;
        bool deep = false;
        for (float t = reference + stepLength; t < reference + 1; t += stepLength) {
            float gap = gapAt(t, inside);
            if (!inside || (gap > 0) != (previousGap > 0)) break;
            if (std::fabs(gap) > 0.01f) {
                deep = true;
                break;
            }
        }
        if (!deep) continue;
        HitRecord hit;
        ASSERT_TRUE(f.trace(origin, direction, hit)) << i;
        compared++;
        // Regula falsi over steps of about one texel (1/8 here) leaves a
        // small error; a missed crossing would be off by a texel or more.
        EXPECT_NEAR(hit.t, reference, 1e-2f) << i;
    }
    EXPECT_GT(compared, 150);
}

TEST(GInverseTriangleDisplacedTest, LeavingThroughAWrappedEdgeIsNoHit) {
    // Low everywhere (0.1) but in the top row (1.0), which a wrapping lookup
    // just below v = 0 reaches. The edge V0 V1 (v = 0, y = x/4) is slanted,
    // so the shell reaches a little beyond it.
    const int size = 16;
    const HPoint slanted[3] = {HPoint(0, 0, 0), HPoint(4, 1, 0), HPoint(-1, 4, 0)};
    DisplacedFixture f(size, size, [](int, int y) { return y == size - 1 ? 100 : 10; }, nullptr, true, slanted);
    ASSERT_TRUE(f.texture.wrapV);
    HitRecord hit;
    for (int i = 0; i < 20; i++) {
        float x = 0.5f + 0.1f * i;
        // Leaves through the edge at height about 0.4, above the surface.
        EXPECT_FALSE(f.trace(HPoint(x, x / 4 + 2, 0.6f), HPoint(0, -1, -0.1f), hit)) << x << " "
                                                                                    << hit.point.toString();
        // Steeper, it meets the surface at 0.1 inside.
        ASSERT_TRUE(f.trace(HPoint(x, x / 4 + 2, 0.6f), HPoint(0, -1, -0.5f), hit)) << x;
        EXPECT_NEAR(hit.point.z, 0.1f, 1e-3f);
        EXPECT_NEAR(hit.point.y, x / 4 + 1, 2e-3f);
    }
}

TEST(GInverseTriangleDisplacedTest, InvertPointRecoversWeightsAndHeight) {
    const HPoint tilted[3] = {HPoint(0, 0, 1), HPoint(0.2f, 0, 1), HPoint(0, -0.2f, 1)};
    DisplacedFixture f(8, 8, constantHalf, tilted);
    ASSERT_NE(f.triangle.shell, nullptr);
    const float weights[][3] = {{0.3f, 0.3f, 0.4f}, {0.8f, 0.1f, 0.1f}, {0.1f, 0.1f, 0.8f}, {0.05f, 0.9f, 0.05f}};
    for (const auto& w : weights) {
        HPoint corner = f.triangle.displacedPoint(w[0], w[1], w[2]);
        DisplacementSample sample;
        f.triangle.invertPoint(corner, sample);
        EXPECT_NEAR(sample.weight[0], w[0], 2e-3f);
        EXPECT_NEAR(sample.weight[1], w[1], 2e-3f);
        EXPECT_NEAR(sample.weight[2], w[2], 2e-3f);
        EXPECT_NEAR(sample.height, 0.5f, 2e-3f);
        EXPECT_NEAR(sample.u, w[1], 2e-3f);
    }
}

TEST(GInverseTriangleDisplacedTest, NegativeHeightsWithUnevenNormalsStayInsideTheShell) {
    // Height -0.5 along N; V1's normal is twice as long, so near V1 the
    // surface sinks to almost -1: z = -0.5 (1 + x/4). The shading normal
    // follows the height field only (every difference point moves along the
    // same N), so here it stays the plane normal.
    const HPoint uneven[3] = {HPoint(0, 0, 1), HPoint(0, 0, 2), HPoint(0, 0, 1)};
    DisplacedFixture f(8, 8, [](int, int) { return -50; }, uneven);
    ASSERT_NE(f.triangle.shell, nullptr);
    EXPECT_LE(f.triangle.shell->lowOffset, -1.0f);
    for (float x : {0.5f, 2.0f, 3.5f}) {
        HitRecord hit;
        ASSERT_TRUE(f.trace(HPoint(x, 0.2f, 4), HPoint(0, 0, -1), hit)) << x;
        EXPECT_NEAR(hit.point.z, -0.5f * (1 + x / 4), 1e-3f) << x;
        EXPECT_NEAR(hit.normal.z, 1.0f, 1e-3f);
    }
}

TEST(GInverseTriangleDisplacedTest, MailboxKeepsItsStampForRaysLeavingTheSurface) {
    DisplacedFixture f(8, 8, constantHalf);
    GRay ray(0, HPoint(1, 1, 10), HPoint(0, 0, -1));
    HitRecord hit;
    hit.t = far;
    ASSERT_TRUE(f.triangle.intersect(ray, hit));
    hit.t = far;
    EXPECT_FALSE(f.triangle.intersect(ray, hit));
    GRay leaving(0, HPoint(1, 1, 10), HPoint(0, 0, -1));
    f.triangle.clearRayStamp(leaving.id);
    EXPECT_NE(f.triangle.rayStamp(), (int)leaving.id);
    hit.t = far;
    EXPECT_TRUE(f.triangle.intersect(leaving, hit));
    f.triangle.setRayStamp(12345u);
    EXPECT_EQ(f.triangle.rayStamp(), 12345);
}
