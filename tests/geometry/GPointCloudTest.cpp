#include "geometry/GPointCloud.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>

#include "foundation/Settings.h"
#include "geometry/GRay.h"
#include "geometry/GScene.h"
#include "geometry/GSphere.h"
#include "geometry/HitRecord.h"
#include "io/native/GSceneParser.h"
#include "io/native/Scanner.h"
#include "shading/GMaterial.h"
#include "tests/TestSupport.h"

namespace {

// A blob of radius R: f(d) = 1 - d / R, sampled at 5 distances.
void linearBlob(PresampledFunction& function, float radius) {
    const float samples[5] = {1.0f, 0.75f, 0.5f, 0.25f, 0.0f};
    ASSERT_TRUE(function.setFromRadialSamples(radius, 5, samples));
}

GSphere* point(float x, float y, float z, uint32_t colour = 0) {
    GSphere* sphere = new GSphere();
    sphere->center = HPoint(x, y, z, 1.0f);
    sphere->packedColor = colour;
    return sphere;
}

// A cloud built in code: points, the two functions, rods and march.
void finish(GPointCloud& cloud, float radius, float isoValue) {
    linearBlob(cloud.isoFunction, radius);
    linearBlob(cloud.kernelFunction, radius);
    cloud.isoValue = isoValue;
    cloud.buildRods();
    cloud.deriveMarch();
}

TEST(GPointCloudTest, OneBlobAgainstItsClosedForm) {
    GPointCloud cloud;
    // Sixteen points, far enough apart that near the first only it counts.
    for (int k = 0; k < 16; k++) cloud.addPoint(point(10.0f * k, 0.0f, 0.0f));
    finish(cloud, 0.5f, 0.5f);
    ASSERT_GT(cloud.rods.size(), 0);
    for (float d : {0.0f, 0.1f, 0.2f, 0.35f, 0.49f, 0.6f}) {
        HPoint p(0.0f, d * 0.6f, d * 0.8f, 1.0f);
        float expected = d < 0.5f ? 1.0f - d / 0.5f : 0.0f;
        EXPECT_NEAR(cloud.field(p), cloud.isoFunction.evaluate(d * d), 1e-5f) << d;
        EXPECT_NEAR(cloud.field(p), expected, 0.01f) << d;
    }
    EXPECT_EQ(std::string(cloud.toString()).find("GPointCloud@"), 0u);
    EXPECT_NE(std::string(cloud.toString()).find(" rods"), std::string::npos);
}

TEST(GPointCloudTest, RodsVisitExactlyThePointsWithinTheSupport) {
    GPointCloud cloud;
    std::mt19937 random(5);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    std::vector<HPoint> centres;
    for (int k = 0; k < 2000; k++) {
        HPoint c(unit(random) * 2.0f, unit(random), unit(random) * 0.5f, 1.0f);
        centres.push_back(c);
        cloud.addPoint(point(c.x, c.y, c.z));
    }
    finish(cloud, 0.3f, 1.0f);
    for (int k = 0; k < 300; k++) {
        HPoint p(unit(random) * 2.2f, unit(random) * 1.1f, unit(random) * 0.7f, 1.0f);
        double sum = 0.0;
        for (const HPoint& c : centres) {
            HPoint d = p.difference(c);
            sum += cloud.isoFunction.evaluate(d.dot(d));
        }
        EXPECT_NEAR(cloud.field(p), sum, 1e-4 * (1.0 + sum)) << k;
    }
    // A point exactly on a cell boundary belongs to the cell above.
    GPointCloud edge;
    for (int k = 0; k < 16; k++) edge.addPoint(point(0.3f * k, 0.0f, 0.0f));
    finish(edge, 0.3f, 1.0f);
    EXPECT_FLOAT_EQ(edge.field(HPoint(0.3f, 0.0f, 0.0f, 1.0f)), 1.0f);
}

// A dense ball of points of radius 1 around (0, 0, -4).
class BallTest : public ::testing::Test {
protected:
    GPointCloud cloud;
    const HPoint centre{0.0f, 0.0f, -4.0f, 1.0f};
    void SetUp() override {
        std::mt19937 random(9);
        std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
        while (cloud.points.size() < 4000) {
            HPoint c(unit(random), unit(random), unit(random), 1.0f);
            if (c.dot(c) > 1.0f) continue;
            cloud.addPoint(point(c.x, c.y, c.z - 4.0f, 0x0000ffu));
        }
        finish(cloud, 0.25f, 0.0f);
        // The level half-way between the inside and the outside.
        cloud.isoValue = 0.5f * cloud.field(centre);
    }
};

TEST_F(BallTest, TheMarchFindsTheSurfaceAndItsOutwardNormal) {
    ASSERT_GT(cloud.field(centre), 1.0f);
    for (float x : {0.0f, 0.3f, -0.5f}) {
        GRay ray(0, HPoint(x, 0.1f, 0.0f, 1.0f), HPoint(0.0f, 0.0f, -1.0f, 1.0f));
        HitRecord hit;
        hit.t = FLT_MAX;
        ASSERT_TRUE(cloud.intersect(ray, hit)) << x;
        EXPECT_EQ(hit.object, &cloud);
        // On the level set (three regula-falsi steps), near the ball's rim.
        EXPECT_NEAR(cloud.field(hit.point), cloud.isoValue, 0.05f * cloud.isoValue) << x;
        HPoint out = hit.point.difference(centre);
        EXPECT_NEAR(out.length(), 1.0f, 0.25f) << x;
        out.normalize();
        EXPECT_GT(hit.normal.dot(out), 0.8f) << x;
        // The blended colour travels in the texture coordinates: red (the
        // low byte of the packed colour).
        EXPECT_NEAR(hit.texCoord.x, 1.0f, 1e-5f);
        EXPECT_NEAR(hit.texCoord.z, 0.0f, 1e-5f);
    }
    // The shadow march sees the ball; a ray beside it sees nothing.
    HPoint filter(1, 1, 1, 1);
    GRay blocked(0, HPoint(0.0f, 0.0f, 0.0f, 1.0f), HPoint(0.0f, 0.0f, -1.0f, 1.0f));
    EXPECT_TRUE(cloud.occludes(blocked, filter, 100.0f));
    GRay beside(0, HPoint(3.0f, 0.0f, 0.0f, 1.0f), HPoint(0.0f, 0.0f, -1.0f, 1.0f));
    HitRecord none;
    none.t = FLT_MAX;
    EXPECT_FALSE(cloud.intersect(beside, none));
    EXPECT_FALSE(cloud.occludes(beside, filter, 100.0f));
}

TEST_F(BallTest, ARayStartingInsideTheBoxStartsAtMarchStart) {
    // From just outside the surface, closer to it than marchStart: the first
    // sample already lies inside, so the near crossing is passed by and the
    // march finds the far side.
    HPoint origin(0.0f, 0.0f, -4.0f + 1.0f + 0.25f * cloud.marchStart, 1.0f);
    ASSERT_GT(origin.z, cloud.boxMin.z);
    ASSERT_LT(origin.z, cloud.boxMax.z);
    GRay ray(0, origin, HPoint(0.0f, 0.0f, -1.0f, 1.0f));
    HitRecord hit;
    hit.t = FLT_MAX;
    ASSERT_TRUE(cloud.intersect(ray, hit));
    EXPECT_GT(hit.t, cloud.marchStart);
    EXPECT_LT(hit.point.z, -4.5f);
}

TEST(GPointCloudTest, SmallCloudsAreNeverHit) {
    for (int count : {0, 1, 15}) {
        GPointCloud cloud;
        for (int k = 0; k < count; k++) cloud.addPoint(point(0.01f * k, 0.0f, -3.0f));
        finish(cloud, 0.5f, 0.1f);
        EXPECT_EQ(cloud.rods.size(), 0) << count;
        GRay ray(0, HPoint(0, 0, 0, 1), HPoint(0, 0, -1, 1));
        HitRecord hit;
        hit.t = FLT_MAX;
        EXPECT_FALSE(cloud.intersect(ray, hit)) << count;
        HPoint filter(1, 1, 1, 1);
        EXPECT_FALSE(cloud.occludes(ray, filter, 10.0f)) << count;
    }
}

// Loads a native scene with one point_cloud block.
class PointCloudBlockTest : public ::testing::Test {
protected:
    GlobalSettingsGuard settings;
    std::string folder = makeScratchDir();
    GScene scene;
    std::string out;
    GPointCloud* load(const std::string& block, const std::string& points) { return load(scene, block, points); }
    GPointCloud* load(GScene& scene, const std::string& block, const std::string& points) {
        writeWholeFile(folder + "/cloud.pc", points);
        writeWholeFile(folder + "/scene.txt", block);
        resetScanner();
        GSceneParser parser(&scene);
        ::testing::internal::CaptureStdout();
        ::testing::internal::CaptureStderr();
        parser.parse((folder + "/scene.txt").c_str());
        out = ::testing::internal::GetCapturedStdout();
        ::testing::internal::GetCapturedStderr();
        resetScanner();
        for (int k = 0; k < scene.objects.size(); k++)
            if (scene.objects.elementAt(k)->isKindOf(ClassId::GPointCloud))
                return static_cast<GPointCloud*>(scene.objects.elementAt(k));
        return nullptr;
    }
    std::string block(const char* functions) const {
        return "point_cloud { file \"" + folder + "/cloud.pc\" " + functions + " iso_value 0.5 }\n";
    }
};

// A point file: the first line, one material (index of refraction 1.7), and
// n points with the given coordinates.
std::string pointFile(const std::vector<HPoint>& centres, size_t cutBytes = 0) {
    std::string bytes = "POINT_CLOUD\n";
    auto word = [&](uint32_t w) {
        for (int k = 0; k < 4; k++) bytes += (char)((w >> (8 * k)) & 255);
    };
    auto real = [&](float f) {
        uint32_t w;
        std::memcpy(&w, &f, 4);
        word(w);
    };
    word(1);
    std::string material(64, '\0');
    float index = 1.7f;
    std::memcpy(&material[24], &index, 4);
    bytes += material;
    word((uint32_t)centres.size());
    for (const HPoint& c : centres) {
        real(c.x);
        real(c.y);
        real(c.z);
        real(0.01f);
        word(0);
        word(0x00ff00u);
    }
    return bytes.substr(0, bytes.size() - cutBytes);
}

TEST_F(PointCloudBlockTest, TheBlockReadsFunctionsPointsAndSettings) {
    rayMarchOffsetFactor = 0.5f;
    rayMarchStepFactor = 0.2f;
    rayMarchRefinements = 5;
    std::vector<HPoint> centres;
    for (int k = 0; k < 20; k++) centres.push_back(HPoint(0.1f * k, 0.0f, 0.0f, 1.0f));
    GPointCloud* cloud = load(block("iso_function { max [0.4] samples [1 0.5 0] } "
                                    "kernel_function { max [0.2] samples [1 0] } refraction 1.2"),
                              pointFile(centres));
    ASSERT_NE(cloud, nullptr);
    EXPECT_EQ(cloud->points.size(), 20);
    EXPECT_FLOAT_EQ(cloud->isoFunction.support(), 0.16f);
    EXPECT_FLOAT_EQ(cloud->kernelFunction.support(), 0.04f);
    EXPECT_FLOAT_EQ(cloud->isoValue, 0.5f);
    EXPECT_FLOAT_EQ(cloud->marchStep, 0.4f * 0.5f);
    EXPECT_FLOAT_EQ(cloud->shadowStep, 0.4f * 0.2f);
    EXPECT_FLOAT_EQ(cloud->marchStart, 0.4f * 0.5f);
    EXPECT_EQ(cloud->refineSteps, 5);
    EXPECT_FLOAT_EQ(cloud->boxMin.x, -0.4f);
    EXPECT_FLOAT_EQ(cloud->boxMax.x, 1.9f + 0.4f);
    EXPECT_GT(cloud->rods.size(), 0);
    // The point records' material carries its index of refraction.
    GSphere* first = cloud->points[0];
    ASSERT_NE(first->material, nullptr);
    EXPECT_FLOAT_EQ(first->material->scalars[GMaterial::indexOfRefraction], 1.7f);
    EXPECT_FLOAT_EQ(cloud->getMaterial()->scalars[GMaterial::indexOfRefraction], 1.2f);
}

TEST_F(PointCloudBlockTest, BadInputLoadsWhatItCan) {
    std::vector<HPoint> centres;
    for (int k = 0; k < 20; k++) centres.push_back(HPoint(0.1f * k, 0.0f, 0.0f, 1.0f));
    const char* good = "iso_function { max [0.4] samples [1 0.5 0] } kernel_function { max [0.4] samples [1 0] }";
    struct Case {
        std::string functions, points;
        int expectedPoints;
    } cases[] = {
        {good, pointFile(centres).substr(12), 0},               // no first line
        {good, pointFile(centres, 30), 18},                     // cut inside the records
        {"iso_function { samples [1 0] }", pointFile(centres), 20},  // no max
        {"iso_function { max [0.4] }", pointFile(centres), 20},      // no samples
        {"iso_function { max [0] samples [1 0] }", pointFile(centres), 20},
        {good, pointFile({HPoint(NAN, 0, 0, 1), HPoint(0, NAN, 1e30f, 1), HPoint(INFINITY, 0, 0, 1)}), 3},
        {good, pointFile({}), 0},
        {good, "", 0},
    };
    for (const Case& c : cases) {
        GScene fresh;
        GPointCloud* cloud = load(fresh, block(c.functions.c_str()), c.points);
        ASSERT_NE(cloud, nullptr) << c.functions;
        EXPECT_EQ(cloud->points.size(), c.expectedPoints) << c.functions;
        // Rays along the axes and along cell boundaries all end.
        for (const HPoint& d : {HPoint(0, 0, -1, 1), HPoint(1, 0, 0, 1), HPoint(0, 1, 0, 1)}) {
            GRay ray(0, HPoint(-1.0f, 0.0f, 0.0f, 1.0f), d);
            HitRecord hit;
            hit.t = FLT_MAX;
            cloud->intersect(ray, hit);
            HPoint filter(1, 1, 1, 1);
            cloud->occludes(ray, filter, 1e30f);
        }
    }
}

}  // namespace
