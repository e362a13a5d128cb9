#include <cfloat>
#include <cinttypes>
#include <climits>
#include <cmath>
#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "foundation/Random.h"
#include "geometry/GPlane.h"
#include "geometry/GScene.h"
#include "geometry/GSphere.h"
#include "geometry/GTriangle.h"
#include "geometry/GVertex.h"
#include "geometry/HitRecord.h"
#include "image/ColorImage.h"
#include "image/HPointImage.h"
#include "io/native/Scanner.h"
#include "render/PathTracingCamera.h"
#include "shading/GMaterial.h"
#include "tests/render/RenderTestSupport.h"

namespace {

const double pi = 3.141592653589793;

struct Colors {
    HPoint diffuse{0, 0, 0, 0};
    HPoint specular{0, 0, 0, 0};
    HPoint reflected{0, 0, 0, 0};
    HPoint transmitted{0, 0, 0, 0};
    HPoint emissive{0, 0, 0, 0};
    float indexOfRefraction = 1.0f;
};

// Form factor from a point with unit normal n to a polygon (Lambert's
// contour formula): (1 / 2 pi) sum of angle_i (n . unit(R_i x R_i+1)).
double pointToPolygonFormFactor(const HPoint& point, const HPoint& n, const HPoint* corners, int count) {
    double sum = 0.0;
    for (int i = 0; i < count; i++) {
        HPoint a = corners[i].difference(point), b = corners[(i + 1) % count].difference(point);
        a.normalize();
        b.normalize();
        double angle = std::acos((double)a.dot(b));
        HPoint c = a.cross(b);
        c.normalize();
        sum += angle * n.dot(c);
    }
    return std::fabs(sum) / (2.0 * pi);
}

// A scene built in code around a path-tracing camera (which writes
// "temp.ppm" and "radImage.im" into the working folder).
class PathTraceTest : public SceneInScratchFolder {
protected:
    PathTracingCamera* camera = nullptr;
    HPoint sumColor;
    HPointImage radiance;

    void SetUp() override {
        SceneInScratchFolder::SetUp();
        seedRandom(4242);
        camera = new PathTracingCamera();
        scene.camera = camera;
        camera->setScene(&scene);
    }

    void look(HPoint from, HPoint to, HPoint up, float fovy, int width, int height, int samples) {
        camera->setView(from, to, up, fovy);
        camera->setResolution(width, height);
        camera->samplesPerPixel = samples;
    }

    GMaterial* material(const Colors& c) {
        GMaterial* m = keep(new GMaterial());
        const int slots[] = {GMaterial::diffuse, GMaterial::specular, GMaterial::reflected,
                             GMaterial::transmitted, GMaterial::emissive};
        const HPoint* values[] = {&c.diffuse, &c.specular, &c.reflected, &c.transmitted, &c.emissive};
        for (int i = 0; i < 5; i++) m->setColor(slots[i], *values[i]);
        m->setScalar(GMaterial::indexOfRefraction, c.indexOfRefraction);
        return m;
    }

    GMaterial* emitting(HPoint emission) {
        Colors light;
        light.emissive = emission;
        return material(light);
    }

    GTriangle* addTriangle(HPoint a, HPoint b, HPoint c, GMaterial* m, bool emitter) {
        GVertex* corners[3];
        HPoint positions[3] = {a, b, c};
        for (int i = 0; i < 3; i++) (corners[i] = keep(new GVertex()))->position = positions[i];
        GTriangle* triangle = new GTriangle();
        triangle->setVertices(corners[0], corners[1], corners[2]);
        triangle->flags = GTriangle::flat;
        addShape(triangle, m);
        if (emitter) {
            scene.emitters.add(triangle);
            scene.emitterCount++;
        }
        return triangle;
    }

    // Two triangles over the corners a, b, c, d in order.
    void addQuad(HPoint a, HPoint b, HPoint c, HPoint d, GMaterial* m, bool emitter) {
        addTriangle(a, b, c, m, emitter);
        addTriangle(a, c, d, m, emitter);
    }

    // renderPaths (paths = true: radiance and pixel sum kept here) or render()
    // itself (the radiance image read back from "radImage.im").
    ColorImage run(bool paths, int minDirectDepth = 0) {
        ColorImage frame(camera->getWidth(), camera->getHeight());
        frame.fill(0);
        sumColor = HPoint(0, 0, 0, 1);
        captured([&] {
            if (paths)
                camera->renderPaths(frame, sumColor, minDirectDepth, &radiance);
            else
                camera->render(frame);
        });
        if (!paths) {
            EXPECT_TRUE(radiance.read("radImage.im"));
        }
        return frame;
    }
    ColorImage renderPaths(int minDirectDepth) { return run(true, minDirectDepth); }
    ColorImage render() { return run(false); }

    void expectEveryPixel(const HPoint& expected, double tolerance) {
        ASSERT_GT(radiance.width, 0);
        for (int i = 0; i < radiance.width * radiance.height; i++) {
            const HPoint& p = radiance.pixels[i];
            SCOPED_TRACE(i);
            EXPECT_NEAR(expected.x, p.x, tolerance);
            EXPECT_NEAR(expected.y, p.y, tolerance);
            EXPECT_NEAR(expected.z, p.z, tolerance);
            EXPECT_EQ(1.0f, p.w);
        }
    }

    // Samples behind the mean of all pixels: at least the smallest pattern per pixel.
    int leastSampleCount() {
        int least = INT_MAX;
        for (int i = 0; i < PixelPatterns::patternCount; i++)
            least = std::min(least, camera->patterns().size(i));
        return least * camera->getWidth() * camera->getHeight();
    }

    HPoint meanPixel() {
        double pixels = (double)camera->getWidth() * camera->getHeight();
        return HPoint((float)(sumColor.x / pixels), (float)(sumColor.y / pixels),
                      (float)(sumColor.z / pixels), 1.0f);
    }
};

int red(uint32_t pixel) { return (int)(pixel & 0xFF); }
int green(uint32_t pixel) { return (int)((pixel >> 8) & 0xFF); }
int blue(uint32_t pixel) { return (int)((pixel >> 16) & 0xFF); }

std::string viewpointText(PathTracingCamera& camera) {
    std::string path = makeScratchDir() + "/viewpoint.wrl";
    FILE* file = std::fopen(path.c_str(), "w");
    camera.writeVrmlViewpoint(file);
    std::fclose(file);
    return readWholeFile(path);
}

}  // namespace

// ------------------------------------------------------------ the object

TEST(PathTracingCameraObject, Identity) {
    // Defaults are pinned by the viewpoint text below.
    PathTracingCamera camera;
    EXPECT_FALSE(camera.noDiffuseBounces);
    EXPECT_TRUE(camera.isKindOf(1025) && camera.isKindOf(1006));
    EXPECT_FALSE(camera.isKindOf(1008));
    char expected[64];
    std::snprintf(expected, sizeof expected, "PathTracingCamera@%" PRIxPTR, (uintptr_t)&camera);
    EXPECT_STREQ(expected, camera.toString());
}

TEST(PathTracingCameraObject, ParsesItsBlock) {
    resetScanner();
    pushInputText(
        "{ view_from_pt 0 0 10 view_to_pt 0 0 0 view_up_vec 0 1 0\n"
        "  background_color 0.1 0.2 0.3 ambient_color 0.4 0.5 0.6 fovy 0.6\n"
        "  image_size 32.9 20.2 tree_depth 3.7 samplesPerPixel 12.9\n"
        "  gain 9 subsampling 4 toneMappingConstant 2.5 } next");
    GScene scene;
    PathTracingCamera camera;
    ASSERT_TRUE(camera.parse(&scene));
    // The shared view keys are checked with the ray tracer's block.
    EXPECT_EQ(&scene, camera.scene);
    EXPECT_EQ(32, camera.width);
    EXPECT_EQ(20, camera.height);
    EXPECT_EQ(3, camera.maxRayDepth);
    EXPECT_EQ(12, camera.samplesPerPixel);
    EXPECT_FLOAT_EQ(2.5f, camera.toneMappingConstant);
    EXPECT_FLOAT_EQ(-1.0f, camera.viewDirection.z);  // "}" derived the frame
    EXPECT_STREQ("next", nextToken());
    resetScanner();

    pushInputText("tree_depth 3 }");
    PathTracingCamera noBrace;
    EXPECT_FALSE(noBrace.parse(&scene));
    resetScanner();

    pushInputText("{ samplesPerPixel 7 tree_depth");
    PathTracingCamera cutOff;
    EXPECT_FALSE(cutOff.parse(&scene));
    EXPECT_EQ(7, cutOff.samplesPerPixel);  // values read so far stay
    resetScanner();
}

TEST(PathTracingCameraObject, WritesAVrmlViewpoint) {
    PathTracingCamera camera;
    // Looking down -z with y up: no rotation.
    camera.setView(HPoint(1, 2, 3), HPoint(1, 2, 2), HPoint(0, 1, 0), 0.5f);
    EXPECT_EQ(
        "Viewpoint {\n"
        "  position 1.00000 2.00000 3.00000\n"
        "  orientation 0.00000 -1.00000 0.00000 0.00000\n"
        "  fieldOfView 0.50000\n"
        "    # CUSTOM PARAMS\n"
        "    cameraType \"pathTracingCamera\"\n"
        "    imageSize 100 100\n"
        "    samplesPerPixel 100\n"
        "    maxRayDepth 1\n"
        "    toneMappingConstant 1.000\n"
        "}\n",
        viewpointText(camera));

    // Looking down -x: a quarter turn about +y.
    camera.setView(HPoint(0, 0, 0), HPoint(-1, 0, 0), HPoint(0, 1, 0), 0.25f);
    camera.setResolution(64, 48);
    camera.samplesPerPixel = 16;
    camera.maxRayDepth = 5;
    camera.toneMappingConstant = 0.0625f;
    EXPECT_EQ(
        "Viewpoint {\n"
        "  position 0.00000 0.00000 0.00000\n"
        "  orientation 0.00000 1.00000 0.00000 1.57080\n"
        "  fieldOfView 0.25000\n"
        "    # CUSTOM PARAMS\n"
        "    cameraType \"pathTracingCamera\"\n"
        "    imageSize 64 48\n"
        "    samplesPerPixel 16\n"
        "    maxRayDepth 5\n"
        "    toneMappingConstant 0.062\n"
        "}\n",
        viewpointText(camera));

    // Looking down +z: a half turn, where the axis formula has no sine to
    // divide by and the fixed axis (0, -1, 0) is printed.
    camera.setView(HPoint(0, 0, 0), HPoint(0, 0, 1), HPoint(0, 1, 0), 0.25f);
    std::string halfTurn = viewpointText(camera);
    EXPECT_NE(std::string::npos, halfTurn.find("  orientation 0.00000 -1.00000 0.00000 3.14159\n"))
        << halfTurn;
}

TEST(PathTracingCameraObject, ViewpointSurvivesATraceRoundedPastOne) {
    PathTracingCamera camera;
    camera.setView(HPoint(0, 0, 0), HPoint(0, 0, -1), HPoint(0, 1, 0), 0.5f);
    // A frame a rounding step away from the identity: the trace exceeds 3.
    camera.trueUp = HPoint(0.0f, 1.0000002f, 0.0f);
    std::string text = viewpointText(camera);
    EXPECT_NE(std::string::npos, text.find("  orientation 0.00000 -1.00000 0.00000 0.00000\n"))
        << text;
    EXPECT_EQ(std::string::npos, text.find("nan")) << text;
}

TEST(PathTracingCameraObject, NothingToRenderWithoutASceneOrPixels) {
    PathTracingCamera lonely;  // never read a block: no scene
    ColorImage frame(2, 2);
    frame.fill(0x12345678u);
    testing::internal::CaptureStdout();
    lonely.render(frame);
    EXPECT_EQ("", testing::internal::GetCapturedStdout());
    for (int i = 0; i < 4; i++) EXPECT_EQ(0u, frame.pixels[i]);

    GScene scene;
    PathTracingCamera empty;
    empty.setScene(&scene);
    empty.setResolution(0, 5);
    ColorImage none;
    testing::internal::CaptureStdout();
    empty.render(none);
    EXPECT_EQ("The scene has no emitters: no direct light is sampled.\n| 0 rays\n",
              testing::internal::GetCapturedStdout());
    EXPECT_EQ(0, none.width);
}

// ------------------------------------------------ closed-form estimates

TEST_F(PathTraceTest, LightOnlyFromAnEmitterRendersBlack) {
    // A diffuse floor under an emitting triangle, both in view: the first
    // vertex counts nothing and one event at most allows no diffuse bounce.
    look(HPoint(0, 0, 3), HPoint(0, 0, 0), HPoint(0, 1, 0), 1.0f, 4, 3, 4);
    addPlane(HPoint(0, 0, 0), HPoint(0, 0, 1), material(Colors{HPoint(0.8f, 0.8f, 0.8f, 0)}));
    GMaterial* light = emitting(HPoint(5, 5, 5, 0));
    addTriangle(HPoint(-0.5f, -0.5f, 1), HPoint(0.5f, -0.5f, 1), HPoint(0, 0.5f, 1), light,
                true);
    ColorImage frame = render();
    expectEveryPixel(HPoint(0, 0, 0), 0.0);
    for (int i = 0; i < frame.width * frame.height; i++) EXPECT_EQ(0u, frame.pixels[i] & 0xFFFFFFu);
}

TEST_F(PathTraceTest, EmitterSeenThroughAMirrorAndDirectly) {
    // A mirror filling the view at z = -2 and an emitter behind the camera at
    // z = 2 that the mirror shows in every pixel.
    look(HPoint(0, 0, 0), HPoint(0, 0, -1), HPoint(0, 1, 0), 0.5f, 3, 2, 9);
    Colors mirror;
    mirror.specular = HPoint(1, 1, 1, 0);
    mirror.reflected = HPoint(0.5f, 0.25f, 1.0f, 0);
    addQuad(HPoint(-5, -5, -2), HPoint(5, -5, -2), HPoint(5, 5, -2), HPoint(-5, 5, -2), material(mirror),
            false);
    GMaterial* light = emitting(HPoint(0.8f, 0.6f, 0.4f, 0));
    addQuad(HPoint(-9, -9, 2), HPoint(9, -9, 2), HPoint(9, 9, 2), HPoint(-9, 9, 2), light, true);

    render();
    expectEveryPixel(HPoint(0.4f, 0.15f, 0.4f), 1e-6);

    // Without the mirror's event the camera sees the mirror only: black.
    camera->maxRayDepth = 0;
    render();
    expectEveryPixel(HPoint(0, 0, 0), 0.0);
}

TEST_F(PathTraceTest, EmissionAtTheFirstVertexCountsFromDepthZeroOnly) {
    look(HPoint(0, 0, 0), HPoint(0, 0, -1), HPoint(0, 1, 0), 0.5f, 2, 2, 4);
    GMaterial* light = emitting(HPoint(0.8f, 0.6f, 0.4f, 0));
    addQuad(HPoint(-5, -5, -2), HPoint(5, -5, -2), HPoint(5, 5, -2), HPoint(-5, 5, -2), light,
            true);
    renderPaths(0);
    expectEveryPixel(HPoint(0.8f, 0.6f, 0.4f), 1e-6);
    EXPECT_NEAR(4 * 0.8, sumColor.x, 1e-5);
    EXPECT_NEAR(4 * 0.4, sumColor.z, 1e-5);
    EXPECT_EQ(1.0f, sumColor.w);  // only the colour channels are summed

    renderPaths(1);
    expectEveryPixel(HPoint(0, 0, 0), 0.0);
}

TEST_F(PathTraceTest, DiffusePatchUnderASmallEmitterGetsTheFormFactor) {
    // A tight view of the point (0, 0, -1) of a diffuse plane facing +z; an
    // emitting triangle one unit above it, off the line of sight.
    look(HPoint(0, 0, 1), HPoint(0, 0, -1), HPoint(0, 1, 0), 0.001f, 3, 3, 400);
    const HPoint albedo(0.5f, 0.6f, 0.7f, 0), emission(2.0f, 1.0f, 0.5f, 0);
    addPlane(HPoint(0, 0, -1), HPoint(0, 0, 1), material(Colors{albedo}));
    GMaterial* light = emitting(emission);
    HPoint corners[3] = {HPoint(0.3f, -0.3f, 0), HPoint(0.9f, -0.3f, 0), HPoint(0.3f, 0.5f, 0)};
    addTriangle(corners[0], corners[1], corners[2], light, true);

    renderPaths(0);
    const double formFactor =
        pointToPolygonFormFactor(HPoint(0, 0, -1), HPoint(0, 0, 1), corners, 3);
    // One sample is c / d^4 with c = albedo * emission * area / pi, and the
    // squared distance runs from 1.09 (nearest point) to 1.9 (farthest corner).
    const double area = 0.5 * 0.6 * 0.8;
    const double spreadPerUnit = area / pi * (1.0 / (1.09 * 1.09) - 1.0 / (1.9 * 1.9)) / 2.0;
    const double samples = leastSampleCount();
    ASSERT_GT(samples, 3000);
    HPoint mean = meanPixel();
    const double expected[3] = {albedo.x * emission.x * formFactor, albedo.y * emission.y * formFactor,
                                albedo.z * emission.z * formFactor};
    const double scale[3] = {albedo.x * emission.x, albedo.y * emission.y, albedo.z * emission.z};
    const float measured[3] = {mean.x, mean.y, mean.z};
    for (int c = 0; c < 3; c++) {
        double tolerance = 5.0 * scale[c] * spreadPerUnit / std::sqrt(samples);
        EXPECT_NEAR(expected[c], measured[c], tolerance) << "channel " << c;
        EXPECT_LT(tolerance, 0.1 * expected[c]);  // finer than a missing cosine (about 15 %)
    }
}

TEST_F(PathTraceTest, ShadowRaysOnlyTowardsLightsInFront) {
    look(HPoint(0, 0, 1), HPoint(0, 0, -1), HPoint(0, 1, 0), 0.001f, 3, 3, 0);  // one sample per pixel
    addPlane(HPoint(0, 0, -1), HPoint(0, 0, 1), material(Colors{HPoint(1, 1, 1, 0)}));
    GMaterial* light = emitting(HPoint(1, 1, 1, 0));
    addTriangle(HPoint(0.3f, -0.3f, 0), HPoint(0.9f, -0.3f, 0), HPoint(0.3f, 0.5f, 0), light, true);
    renderPaths(0);
    EXPECT_EQ(9u + 9u + 1u, camera->rayCounter);  // a camera and a shadow ray per pixel, then the summary
    EXPECT_GT(sumColor.x, 0.0f);

    // A blocker between the patch and the light.
    addQuad(HPoint(0.1f, -2, -0.5f), HPoint(2, -2, -0.5f), HPoint(2, 2, -0.5f), HPoint(0.1f, 2, -0.5f),
            material(Colors{}), false);
    renderPaths(0);
    expectEveryPixel(HPoint(0, 0, 0), 0.0);

    // A light behind the receiving side: no shadow ray at all.
    scene.emitters.clear();
    scene.emitterCount = 0;
    addTriangle(HPoint(0.3f, -0.3f, -2), HPoint(0.9f, -0.3f, -2), HPoint(0.3f, 0.5f, -2), light, true);
    unsigned before = camera->rayCounter;
    renderPaths(0);
    EXPECT_EQ(before + 9u + 1u, camera->rayCounter);
    expectEveryPixel(HPoint(0, 0, 0), 0.0);
}

TEST_F(PathTraceTest, DiffuseBounceIntoTheBackground) {
    // Looking straight down at a diffuse floor under a coloured sky: a
    // diffuse bounce escapes, so every sample is albedo x background.
    look(HPoint(0, 0, 1), HPoint(0, 0, 0), HPoint(0, 1, 0), 0.5f, 3, 3, 4);
    scene.backgroundColor = HPoint(1.0f, 0.5f, 0.25f, 1);
    addPlane(HPoint(0, 0, 0), HPoint(0, 0, 1), material(Colors{HPoint(0.5f, 0.25f, 0.8f, 0)}));

    camera->maxRayDepth = 2;
    render();
    expectEveryPixel(HPoint(0.5f, 0.125f, 0.2f), 1e-6);

    // One event at most: a diffuse event at the last vertex is not traced.
    camera->maxRayDepth = 1;
    render();
    expectEveryPixel(HPoint(0, 0, 0), 0.0);

    // The Metropolis seed pass forbids diffuse bounces.
    camera->maxRayDepth = 2;
    camera->noDiffuseBounces = true;
    render();
    expectEveryPixel(HPoint(0, 0, 0), 0.0);
}

TEST_F(PathTraceTest, EventsAreChosenByLuminance) {
    // Diffuse, mirror and transmission with luminances 0.6, 0.4 and 0.2
    // under a white sky: the estimate is unbiased for diffuse + reflected +
    // transmitted = 1, from samples of 1.2 (diffuse, transmission) and 0.6
    // (mirror). Swapping the diffuse and mirror intervals would give 0.9.
    // About 25 000 samples keep five standard errors near 0.009, so that a
    // bias of 4 % in the event choice is seen.
    look(HPoint(0, 0, 1), HPoint(0, 0, 0), HPoint(0, 1, 0), 0.5f, 8, 8, 400);
    camera->maxRayDepth = 2;
    scene.backgroundColor = HPoint(1, 1, 1, 1);
    Colors mixed;
    mixed.diffuse = HPoint(0.6f, 0.6f, 0.6f, 0);
    mixed.specular = HPoint(0.4f, 0.4f, 0.4f, 0);
    mixed.reflected = HPoint(0.2f, 0.2f, 0.2f, 0);
    mixed.transmitted = HPoint(0.2f, 0.2f, 0.2f, 0);
    addPlane(HPoint(0, 0, 0), HPoint(0, 0, 1), material(mixed));
    renderPaths(1);
    const double sigma = std::sqrt(1.44 * 0.8 / 1.2 + 0.36 * 0.4 / 1.2 - 1.0);
    const double tolerance = 5.0 * sigma / std::sqrt((double)leastSampleCount());
    ASSERT_LT(tolerance, 0.02);
    HPoint mean = meanPixel();
    EXPECT_NEAR(1.0, mean.x, tolerance);
    EXPECT_NEAR(1.0, mean.y, tolerance);
    EXPECT_NEAR(1.0, mean.z, tolerance);
    // Every pixel is an average of samples 0.6 and 1.2.
    for (int i = 0; i < 64; i++) {
        EXPECT_GE(radiance.pixels[i].x, 0.6f - 1e-5f);
        EXPECT_LE(radiance.pixels[i].x, 1.2f + 1e-5f);
    }
}

TEST_F(PathTraceTest, ADiffuseBounceDoesNotCountTheEmissionItMeets) {
    // A diffuse floor under a glowing ceiling: the bounce reaches the
    // ceiling, but light arriving after a diffuse event is the emitter
    // sampling's to count, which render skips at the first vertex.
    look(HPoint(0, 0, 0.5f), HPoint(0, 0, 0), HPoint(0, 1, 0), 0.5f, 2, 2, 4);
    camera->maxRayDepth = 2;
    addPlane(HPoint(0, 0, 0), HPoint(0, 0, 1), material(Colors{HPoint(0.5f, 0.5f, 0.5f, 0)}));
    GMaterial* light = emitting(HPoint(1, 1, 1, 0));
    addQuad(HPoint(-50, -50, 1), HPoint(50, -50, 1), HPoint(50, 50, 1), HPoint(-50, 50, 1),
            light, true);
    render();
    expectEveryPixel(HPoint(0, 0, 0), 0.0);
}

TEST_F(PathTraceTest, ASphericalEmitterDoesNotShadowItself) {
    // A glowing ball of radius r = 0.5 at height h = 2 right above the seen
    // point. The ball's sampler picks a uniform point of the disc through its
    // centre, so the shadow ray ends inside the ball; the mean of
    // (r^2 / d^2) cos over that disc is 2 (1 - h / sqrt(h^2 + r^2)).
    look(HPoint(1.5f, 0, 1), HPoint(0, 0, -1), HPoint(0, 0, 1), 0.001f, 3, 3, 50);
    const HPoint albedo(0.5f, 0.5f, 0.5f, 0), emission(4, 2, 1, 0);
    addPlane(HPoint(0, 0, -1), HPoint(0, 0, 1), material(Colors{albedo}));
    GMaterial* light = emitting(emission);
    scene.emitters.add(addSphere(HPoint(0, 0, 1), 0.5f, light));
    scene.emitterCount++;

    renderPaths(0);
    const double h = 2.0, r = 0.5;
    const double factor = 2.0 * (1.0 - h / std::sqrt(h * h + r * r));
    // One sample lies between r^2 h / (h^2 + r^2)^1.5 and r^2 / h^2.
    const double spread = (r * r / (h * h) - r * r * h / std::pow(h * h + r * r, 1.5)) / 2.0;
    const double tolerance = 5.0 * spread / std::sqrt((double)leastSampleCount());
    HPoint mean = meanPixel();
    EXPECT_NEAR(0.5 * 4 * factor, mean.x, 4 * 0.5 * tolerance);
    EXPECT_NEAR(0.5 * 2 * factor, mean.y, 2 * 0.5 * tolerance);
    EXPECT_NEAR(0.5 * 1 * factor, mean.z, 1 * 0.5 * tolerance);
}

TEST_F(PathTraceTest, TransmissionCarriesTheEmissionBehindASheet) {
    look(HPoint(0, 0, 0), HPoint(0, 0, -1), HPoint(0, 1, 0), 0.5f, 3, 3, 4);
    Colors glass;
    glass.transmitted = HPoint(0.5f, 0.75f, 1.0f, 0);
    glass.indexOfRefraction = 1.5f;
    addQuad(HPoint(-5, -5, -1), HPoint(5, -5, -1), HPoint(5, 5, -1), HPoint(-5, 5, -1), material(glass),
            false);
    GMaterial* light = emitting(HPoint(0.4f, 0.4f, 0.8f, 0));
    addQuad(HPoint(-50, -50, -3), HPoint(50, -50, -3), HPoint(50, 50, -3), HPoint(-50, 50, -3),
            light, true);
    render();
    expectEveryPixel(HPoint(0.2f, 0.3f, 0.8f), 1e-6);
}

TEST_F(PathTraceTest, TotalInternalReflectionEndsThePath) {
    // From inside a glass ball, a ray meets the surface at 64 degrees from
    // the normal, beyond the critical angle of 42 degrees for index 1.5.
    look(HPoint(0.9f, 0, 0), HPoint(0.9f, 1, 0), HPoint(0, 0, 1), 0.001f, 2, 2, 4);
    scene.backgroundColor = HPoint(1, 1, 1, 1);
    Colors glass;
    glass.transmitted = HPoint(0.5f, 0.5f, 0.5f, 0);
    glass.indexOfRefraction = 1.5f;
    GMaterial* glassMaterial = material(glass);
    addSphere(HPoint(0, 0, 0), 1.0f, glassMaterial);
    render();
    expectEveryPixel(HPoint(0, 0, 0), 0.0);

    // Without the index step the ray leaves the ball and sees the sky.
    glassMaterial->setScalar(GMaterial::indexOfRefraction, 1.0f);
    render();
    expectEveryPixel(HPoint(0.5f, 0.5f, 0.5f), 1e-6);
}

TEST_F(PathTraceTest, EmissionBetweenTwoMirrorsIsAGeometricSeries) {
    // Two facing mirrors that glow; every bounce halves the weight, so the
    // pixel is the sum of 0.5^d for d = 1 .. maxRayDepth.
    look(HPoint(0, 0, 0), HPoint(0, 0, -1), HPoint(0, 1, 0), 0.001f, 1, 1, 0);
    Colors mirror;
    mirror.specular = HPoint(1, 1, 1, 0);
    mirror.reflected = HPoint(0.5f, 0.5f, 0.5f, 0);
    mirror.emissive = HPoint(1, 1, 1, 0);
    GMaterial* glowing = material(mirror);
    addPlane(HPoint(0, 0, -1), HPoint(0, 0, 1), glowing);
    addPlane(HPoint(0, 0, 1), HPoint(0, 0, -1), glowing);

    camera->maxRayDepth = 3;
    renderPaths(1);
    expectEveryPixel(HPoint(0.875f, 0.875f, 0.875f), 1e-6);
    EXPECT_EQ(4u + 1u, camera->rayCounter);  // one ray per vertex, then the summary

    // A path far deeper than any call stack could follow by recursion.
    camera->maxRayDepth = 300000;
    unsigned before = camera->rayCounter;
    renderPaths(1);
    expectEveryPixel(HPoint(1, 1, 1), 1e-5);
    EXPECT_EQ(before + 300001u + 1u, camera->rayCounter);
}

// ----------------------------------------------- console, files, tone map

TEST_F(PathTraceTest, ConsoleLinesAndFilesOfARender) {
    // Nothing to hit: every pixel is the background.
    look(HPoint(0, 0, 0), HPoint(0, 0, -1), HPoint(0, 1, 0), 0.5f, 3, 2, 0);
    scene.backgroundColor = HPoint(1, 1, 1, 1);
    ColorImage frame = render();
    EXPECT_EQ(
        "The scene has no emitters: no direct light is sampled.\n"
        "\rpath tracing 0 / 2  \rpath tracing 1 / 2  not the same size.\n"
        "\n\nMSE: 0.00000000\n\n| 6 rays\n",
        console);
    EXPECT_EQ(7u, camera->rayCounter);

    // The radiance image: 11 + 4 header bytes and 16 per pixel.
    EXPECT_EQ(11u + 4u + 6u * 16u, readWholeFile("radImage.im").size());
    EXPECT_EQ(3, radiance.width);
    EXPECT_EQ(2, radiance.height);
    expectEveryPixel(HPoint(1, 1, 1), 0.0);

    // The frame is tone-mapped with k = 1: luminance 1 becomes 0.5.
    ASSERT_EQ(3, frame.width);
    ASSERT_EQ(2, frame.height);
    for (int i = 0; i < 6; i++) EXPECT_EQ(0x7F7F7Fu, frame.pixels[i] & 0xFFFFFFu);

    // The last snapshot was taken before the top row: only row 0 is done.
    ColorImage snapshot;
    ASSERT_TRUE(snapshot.readPPM("temp.ppm"));
    ASSERT_EQ(3, snapshot.width);
    ASSERT_EQ(2, snapshot.height);
    for (int x = 0; x < 3; x++) {
        EXPECT_EQ(127, red(snapshot.getPixel(x, 0)));
        EXPECT_EQ(0, red(snapshot.getPixel(x, 1)));
    }
}

TEST_F(PathTraceTest, MeanSquaredErrorAgainstTheAcceptedImage) {
    look(HPoint(0, 0, 0), HPoint(0, 0, -1), HPoint(0, 1, 0), 0.5f, 3, 2, 0);
    scene.backgroundColor = HPoint(0.5f, 0.25f, 1.0f, 1);

    // A black reference of the same size: the sum of the squared channels.
    HPointImage accepted(3, 2);
    accepted.fill(HPoint(0, 0, 0, 1));
    ASSERT_TRUE(accepted.write("acceptedImage.im"));
    render();
    EXPECT_NE(std::string::npos, console.find("\n\nMSE: 7.87500000\n\n| 6 rays\n")) << console;
    EXPECT_EQ(std::string::npos, console.find("not the same size")) << console;

    // The image just written as the reference: no error.
    ASSERT_TRUE(radiance.write("acceptedImage.im"));
    render();
    EXPECT_NE(std::string::npos, console.find("\n\nMSE: 0.00000000\n\n")) << console;

    // A reference of another size.
    HPointImage other(2, 2);
    ASSERT_TRUE(other.write("acceptedImage.im"));
    render();
    EXPECT_NE(std::string::npos, console.find("not the same size.\n\n\nMSE: 0.00000000\n\n")) << console;
}

TEST_F(PathTraceTest, ToneMappingKeyAndHue) {
    look(HPoint(0, 0, 0), HPoint(0, 0, -1), HPoint(0, 1, 0), 0.5f, 2, 1, 0);
    camera->toneMappingConstant = 3.0f;
    scene.backgroundColor = HPoint(1, 1, 1, 1);
    ColorImage frame = render();
    EXPECT_EQ(191, red(frame.pixels[0]));  // 3 / (3 + 1) = 0.75

    camera->toneMappingConstant = 1.0f;
    scene.backgroundColor = HPoint(2.0f, 1.0f, 0.5f, 1);
    frame = render();
    // L' / L = 1 / (L + 1) for k = 1; every channel is scaled alike.
    const double luminance = 0.299 * 2.0 + 0.587 * 1.0 + 0.114 * 0.5;
    const double factor = 1.0 / (luminance + 1.0);
    EXPECT_EQ((int)(2.0 * factor * 255), red(frame.pixels[0]));
    EXPECT_EQ((int)(1.0 * factor * 255), green(frame.pixels[0]));
    EXPECT_EQ((int)(0.5 * factor * 255), blue(frame.pixels[0]));
}

TEST_F(PathTraceTest, AnEmptyFrameTakesTheCameraSize) {
    look(HPoint(0, 0, 0), HPoint(0, 0, -1), HPoint(0, 1, 0), 0.5f, 2, 3, 0);
    ColorImage frame;
    HPoint sum(0, 0, 0, 1);
    captured([&] { camera->renderPaths(frame, sum, 1, nullptr); });
    EXPECT_EQ(2, frame.width);
    EXPECT_EQ(3, frame.height);
    EXPECT_NE(std::string::npos, console.find("\rpath tracing 2 / 3  ")) << console;
}
