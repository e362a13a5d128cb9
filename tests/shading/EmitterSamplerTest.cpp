#include "shading/EmitterSampler.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <random>

#include "geometry/GRay.h"
#include "geometry/GScene.h"
#include "geometry/GSphere.h"
#include "geometry/GTriangle.h"
#include "shading/GMaterial.h"
#include "tests/shading/ChiSquareTesting.h"

namespace {

// A sphere lamp above the receiver at the origin and a large triangle lamp
// below it, wound so that its normal faces away from the receiver (it emits
// from both faces); emitters of different power.
struct TwoLamps {
    GScene scene;
    GSphere* sphere;
    GTriangle* triangle;
    GMaterial *sphereLamp, *triangleLamp;
    EmitterSampler sampler;

    TwoLamps() {
        sphereLamp = new GMaterial();
        triangleLamp = new GMaterial();
        scene.allObjects.add(sphereLamp);
        scene.allObjects.add(triangleLamp);
        sphereLamp->setColor(GMaterial::emissive, HPoint(2, 2, 2, 0));
        triangleLamp->setColor(GMaterial::emissive, HPoint(1, 1, 1, 0));
        sphere = new GSphere();
        sphere->center = HPoint(0, 0, 2, 1);
        sphere->setRadius(1.2f);
        sphere->setMaterial(sphereLamp);
        const HPoint corners[3] = {HPoint(-2, -2, -1, 1), HPoint(0, 2, -1, 1), HPoint(2, -2, -1, 1)};
        triangle = new GTriangle();
        GVertex* v[3];
        for (int i = 0; i < 3; i++) {
            v[i] = new GVertex();
            v[i]->position = corners[i];
            scene.allObjects.add(v[i]);
        }
        triangle->setVertices(v[0], v[1], v[2]);
        triangle->setMaterial(triangleLamp);
        scene.objects.add(sphere);
        scene.objects.add(triangle);
        scene.emitters.add(sphere);
        scene.emitters.add(triangle);
        sampler.build(scene);
    }

    // The emitter point a ray from the origin meets, if any.
    bool firstHit(const HPoint& direction, HitRecord& hit) {
        GRay ray(0, HPoint(0, 0, 0, 1), direction);
        hit = HitRecord();
        hit.t = FLT_MAX;
        bool any = false;
        if (sphere->intersect(ray, hit)) any = true;
        if (triangle->intersect(ray, hit)) any = true;
        return any;
    }
};

}  // namespace

TEST(EmitterSamplerTest, EmittersAreChosenByPower) {
    TwoLamps lamps;
    const double spherePower = 2.0 * 4.0 * M_PI * 1.2 * 1.2, trianglePower = 2.0 * 1.0 * 8.0;
    EXPECT_NEAR(spherePower / (spherePower + trianglePower), lamps.sampler.choiceProbability(lamps.sphere), 1e-6);
    EXPECT_NEAR(trianglePower / (spherePower + trianglePower), lamps.sampler.choiceProbability(lamps.triangle),
                1e-6);
    EXPECT_EQ(0.0f, lamps.sampler.choiceProbability(nullptr));
    GScene empty;
    EmitterSampler none;
    none.build(empty);
    EmitterSample out;
    EXPECT_FALSE(none.sampleDirect(HPoint(0, 0, 0, 1), 0.5f, 0.5f, 0.5f, out));
    EXPECT_FALSE(none.sampleArea(0.5f, 0.5f, 0.5f, out));
}

// Light samples seen from the receiver against directDensity of the point
// each direction meets: the sphere by solid angle, the triangle by area.
TEST(EmitterSamplerTest, LightSamplesFollowTheirSolidAngleDensity) {
    TwoLamps lamps;
    DirectionGrid grid(HPoint(0, 0, 1, 1));
    const HPoint receiver(0, 0, 0, 1);
    std::vector<double> expected = grid.integrate([&](const HPoint& d) {
        HitRecord hit;
        return lamps.firstHit(d, hit) ? (double)lamps.sampler.directDensity(receiver, hit) : 0.0;
    });
    double total = 0.0;
    for (double e : expected) total += e;
    EXPECT_NEAR(1.0, total, 0.01);  // the two lamps do not overlap as seen from the receiver
    const int n = 300000;
    for (double& e : expected) e *= (double)n / total;
    std::vector<double> observed(expected.size(), 0.0);
    std::mt19937 random(3);
    std::uniform_real_distribution<float> uniform(0.0f, 1.0f);
    int mismatches = 0;
    for (int k = 0; k < n; k++) {
        EmitterSample out;
        ASSERT_TRUE(lamps.sampler.sampleDirect(receiver, uniform(random), uniform(random), uniform(random), out));
        observed[grid.cellOf(out.toLight)]++;
        if (std::fabs(lamps.sampler.directDensity(receiver, out.point) - out.pdf) > 1e-3f * out.pdf) mismatches++;
    }
    EXPECT_EQ(0, mismatches);
    expectChiSquareFits(observed, expected, "light samples");
}

// Emitted directions: cosine about the outward normal of the sphere, about
// either face of the triangle.
TEST(EmitterSamplerTest, EmittedDirectionsFollowTheirDensity) {
    TwoLamps lamps;
    std::mt19937 random(5);
    std::uniform_real_distribution<float> uniform(0.0f, 1.0f);
    for (int which = 0; which < 2; which++) {
        EmitterSample at;
        // Choice draws that land on the sphere, then on the triangle.
        float choice = which == 0 ? 0.01f : 0.99f;
        ASSERT_TRUE(lamps.sampler.sampleArea(choice, 0.3f, 0.6f, at));
        ASSERT_EQ(which == 0 ? (GSceneObject*)lamps.sphere : (GSceneObject*)lamps.triangle, at.emitter);
        EXPECT_NEAR(lamps.sampler.choiceProbability(at.emitter) / (which == 0 ? 4.0 * M_PI * 1.44 : 8.0), at.pdf,
                    1e-5);
        DirectionGrid grid(at.point.geometricNormal);
        std::vector<double> expected = grid.integrate(
            [&](const HPoint& d) { return (double)lamps.sampler.emissionDensity(at.point, d); });
        const int n = 200000;
        for (double& e : expected) e *= n;
        std::vector<double> observed(expected.size(), 0.0);
        for (int k = 0; k < n; k++) {
            HPoint direction;
            float pdf;
            ASSERT_TRUE(lamps.sampler.sampleEmission(at, uniform(random), uniform(random), uniform(random),
                                                     direction, pdf));
            observed[grid.cellOf(direction)]++;
        }
        expectChiSquareFits(observed, expected, which == 0 ? "sphere" : "triangle");
    }
}

TEST(EmitterSamplerTest, SpheresEmitFromTheirOutsideTrianglesFromBothFaces) {
    TwoLamps lamps;
    HitRecord top;
    top.object = lamps.sphere;
    top.point = HPoint(0, 0, 3.2f, 1);
    top.normal = top.geometricNormal = HPoint(0, 0, 1, 1);
    EXPECT_EQ(2.0f, EmitterSampler::emittedRadiance(top, HPoint(0, 0, 1, 1)).x);
    EXPECT_EQ(0.0f, EmitterSampler::emittedRadiance(top, HPoint(0, 0, -1, 1)).x);
    HitRecord face;
    face.object = lamps.triangle;
    face.normal = face.geometricNormal = lamps.triangle->geometricNormal();
    EXPECT_EQ(1.0f, EmitterSampler::emittedRadiance(face, HPoint(0, 0, 1, 1)).x);
    EXPECT_EQ(1.0f, EmitterSampler::emittedRadiance(face, HPoint(0, 0, -1, 1)).x);
    // A receiver inside the sphere sees none of its light.
    EmitterSample out;
    EXPECT_FALSE(lamps.sampler.sampleDirect(HPoint(0, 0, 2.5f, 1), 0.01f, 0.5f, 0.5f, out));
}
