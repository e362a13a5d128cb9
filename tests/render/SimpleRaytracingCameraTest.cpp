#include <cfloat>
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "foundation/Random.h"
#include "foundation/Settings.h"
#include "geometry/GPlane.h"
#include "geometry/GScene.h"
#include "geometry/GSphere.h"
#include "geometry/HitRecord.h"
#include "image/ColorImage.h"
#include "io/native/Scanner.h"
#include "render/SimpleRaytracingCamera.h"
#include "shading/DirectionalLight.h"
#include "shading/GMaterial.h"
#include "shading/PointLight.h"
#include "shading/SpotLight.h"
#include "tests/render/RenderTestSupport.h"

namespace {

// Bytes of a colour the way a renderer stores it (x 255, clamped, truncated).
struct Rgb {
    int r, g, b;
};

Rgb bytesOf(double r, double g, double b) {
    auto toByte = [](double v) { return v <= 0 ? 0 : v >= 1 ? 255 : (int)(v * 255.0); };
    return {toByte(r), toByte(g), toByte(b)};
}

void expectPixel(const Rgb& expected, uint32_t pixel, int tolerance = 1) {
    EXPECT_NEAR(expected.r, (int)(pixel & 0xFF), tolerance);
    EXPECT_NEAR(expected.g, (int)((pixel >> 8) & 0xFF), tolerance);
    EXPECT_NEAR(expected.b, (int)((pixel >> 16) & 0xFF), tolerance);
    EXPECT_EQ(0u, pixel >> 24);  // colours accumulate from 0: alpha 0
}

// A scene built in code around a camera at the origin looking down -z with a
// field of view of 1 radian.
class RaytraceTest : public SceneInScratchFolder {
protected:
    SimpleRaytracingCamera* camera = nullptr;
    bool savedTransparentShadows = false, savedFakeCaustics = false;

    void SetUp() override {
        SceneInScratchFolder::SetUp();
        seedRandom(12345);
        savedTransparentShadows = transparentShadows;
        savedFakeCaustics = fakeCaustics;
        camera = new SimpleRaytracingCamera();
        scene.camera = camera;
        camera->setScene(&scene);
        camera->setView(HPoint(0, 0, 0), HPoint(0, 0, -1), HPoint(0, 1, 0), 1.0f);
        camera->setResolution(2, 2);
    }

    void TearDown() override {
        transparentShadows = savedTransparentShadows;
        fakeCaustics = savedFakeCaustics;
        SceneInScratchFolder::TearDown();
    }

    GMaterial* material(HPoint diffuse) {
        GMaterial* m = keep(new GMaterial());
        m->setColor(GMaterial::diffuse, diffuse);
        return m;
    }

    // A black surface of the given colour slot (emissive, reflected, ...).
    GMaterial* only(int slot, HPoint colour) {
        GMaterial* m = material(HPoint(0, 0, 0, 0));
        m->setColor(slot, colour);
        return m;
    }

    template <class Light>
    Light* addLight(Light* light, HPoint colour) {
        light->emissiveColor = colour;
        scene.lights.add(keep(light));
        return light;
    }
    PointLight* addPointLight(HPoint location, HPoint colour) {
        PointLight* light = addLight(new PointLight(), colour);
        light->location = location;
        return light;
    }

    // Renders with render() into a fresh frame of the camera's size.
    ColorImage render() {
        ColorImage frame(camera->getWidth(), camera->getHeight());
        frame.fill(0);
        captured([&] { camera->render(frame); });
        return frame;
    }

    // The unit direction of the ray through pixel (x, y) of the current size.
    HPoint pixelDirection(int x, int y) {
        HPoint rightStep, upStep;
        camera->pixelSteps(camera->height, rightStep, upStep);
        HPoint d = camera->offsetDirection(rightStep, upStep, x - camera->width * 0.5f,
                                           y - camera->height * 0.5f);
        d.normalize();
        return d;
    }
};

double power(double base, double exponent) { return std::pow(base, exponent); }

}  // namespace

// ---------------------------------------------------------------- parsing

TEST(SimpleRaytracingCameraParse, DefaultsMatchTheClassicTracer) {
    SimpleRaytracingCamera camera;
    EXPECT_EQ(4, camera.maxDepth);
    EXPECT_EQ(0, camera.subsampling);
    EXPECT_EQ(25, camera.maxColorDiff);
    EXPECT_FLOAT_EQ(0.25f, camera.attenuationCutoff);
    EXPECT_FLOAT_EQ(1.0f, camera.gain);
    EXPECT_EQ(1, camera.samplesPerPixel);
    EXPECT_FLOAT_EQ(0.0f, camera.aperture);
}

TEST(SimpleRaytracingCameraParse, ReadsTheViewBlock) {
    resetScanner();
    pushInputText(
        "{ view_from_pt 0 0 10 view_to_pt 0 0 0 view_up_vec 0 1 0\n"
        "  background_color 0.1 0.2 0.3 ambient_color 0.4 0.5 0.6\n"
        "  fovy 0.6 image_size 320.9 200.2 tree_depth 7.8 antialiasing 3 shadows 0\n"
        "  mystery 1 2 3 subsampling 9.5 max_color_diff 12 gain 2.5 } next");
    GScene scene;
    SimpleRaytracingCamera camera;
    ASSERT_TRUE(camera.parse(&scene));
    EXPECT_EQ(&scene, camera.scene);
    EXPECT_EQ(320, camera.width);
    EXPECT_EQ(200, camera.height);
    EXPECT_FLOAT_EQ(0.6f, camera.fovy);
    EXPECT_EQ(7, camera.maxDepth);
    EXPECT_EQ(9, camera.subsampling);
    EXPECT_EQ(12, camera.maxColorDiff);
    EXPECT_FLOAT_EQ(2.5f, camera.gain);
    EXPECT_FLOAT_EQ(10.0f, camera.from.z);
    EXPECT_FLOAT_EQ(1.0f, camera.from.w);
    EXPECT_FLOAT_EQ(0.3f, scene.backgroundColor.z);
    EXPECT_FLOAT_EQ(1.0f, scene.backgroundColor.w);
    EXPECT_FLOAT_EQ(0.4f, scene.ambientColor.x);
    EXPECT_FLOAT_EQ(1.0f, scene.ambientColor.w);
    // "}" derived the frame.
    EXPECT_FLOAT_EQ(-1.0f, camera.viewDirection.z);
    EXPECT_FLOAT_EQ(1.0f, camera.right.x);
    // Exactly the block was consumed.
    EXPECT_STREQ("next", nextToken());
    resetScanner();
}

TEST(SimpleRaytracingCameraParse, RejectsABadStartAndAMissingEnd) {
    GScene scene;
    resetScanner();
    pushInputText("view_from_pt 1 2 3 }");
    SimpleRaytracingCamera noBrace;
    EXPECT_FALSE(noBrace.parse(&scene));
    EXPECT_STREQ("1", nextToken());  // only the would-be "{" was taken
    resetScanner();

    pushInputText("{ fovy 0.5 image_size 7");
    SimpleRaytracingCamera cutOff;
    EXPECT_FALSE(cutOff.parse(&scene));
    EXPECT_EQ(7, cutOff.width);  // values read so far stay
    resetScanner();

    // Numbers beyond the int range saturate instead of overflowing.
    pushInputText("{ image_size 1e30 -1e30 tree_depth 1e39 }");
    SimpleRaytracingCamera huge;
    EXPECT_TRUE(huge.parse(&scene));
    EXPECT_EQ(2147483647, huge.width);
    EXPECT_EQ(-2147483647 - 1, huge.height);
    EXPECT_EQ(2147483647, huge.maxDepth);
    resetScanner();
}

// ------------------------------------------------------ shading by hand

TEST_F(RaytraceTest, BackgroundTimesGainWhereNothingIsHit) {
    scene.backgroundColor = HPoint(0.4f, 0.6f, 1.0f, 1.0f);
    camera->gain = 0.5f;
    ColorImage frame = render();
    for (int y = 0; y < 2; y++)
        for (int x = 0; x < 2; x++) expectPixel(bytesOf(0.2, 0.3, 0.5), frame.getPixel(x, y), 0);
    // Gain above 1 saturates at 255.
    camera->gain = 4.0f;
    frame = render();
    expectPixel(Rgb{255, 255, 255}, frame.getPixel(0, 0), 0);
}

TEST_F(RaytraceTest, AmbientDiffuseAndInverseSquareFalloff) {
    GMaterial* m = material(HPoint(0.8f, 0.4f, 0.2f, 0));
    m->setColor(GMaterial::ambient, HPoint(0.5f, 0.5f, 0.5f, 0));
    addPlane(HPoint(0, 0, -2), HPoint(0, 0, 1), m);
    scene.ambientColor = HPoint(0.1f, 0.2f, 0.3f, 1);
    addPointLight(HPoint(0, 0, 0), HPoint(2, 2, 2, 1));  // at the eye, distance 2: a quarter
    ColorImage frame = render();
    // Pixel (1, 1) looks straight down the axis: L.N = 1.
    expectPixel(bytesOf(0.05 + 0.8 * 0.5, 0.1 + 0.4 * 0.5, 0.15 + 0.2 * 0.5), frame.getPixel(1, 1));
    // Pixel (0, 0) looks off the axis: distance and angle by hand.
    HPoint d = pixelDirection(0, 0);
    double t = -2.0 / d.z, distance = t;  // the eye is the light
    double cosine = -d.z;                 // L = -d, N = (0, 0, 1)
    double light = 2.0 / (distance * distance);
    expectPixel(bytesOf(0.05 + 0.8 * cosine * light, 0.1 + 0.4 * cosine * light,
                        0.15 + 0.2 * cosine * light),
                frame.getPixel(0, 0));
}

TEST_F(RaytraceTest, SpecularExponentOffTheMirrorDirection) {
    GMaterial* m = material(HPoint(0.2f, 0.2f, 0.2f, 0));
    m->setColor(GMaterial::specular, HPoint(0.5f, 0.25f, 1.0f, 0));
    m->setScalar(GMaterial::phongExponent, 7.0f);
    addPlane(HPoint(0, 0, -2), HPoint(0, 0, 1), m);
    HPoint lightAt(1.5f, 0.5f, 0.0f);
    PointLight* light = addPointLight(lightAt, HPoint(1, 1, 1, 1));
    light->attenuation = HPoint(0, 0, 1, 1);  // no falloff
    ColorImage frame = render();
    // Pixel (1, 1): P = (0, 0, -2), mirror direction R = (0, 0, 1).
    HPoint toLight = lightAt.difference(HPoint(0, 0, -2));
    toLight.normalize();
    double diffuse = toLight.z, specular = power(toLight.z, 7.0);  // L.N and (L.R)^7
    expectPixel(bytesOf(0.2 * diffuse + 0.5 * specular, 0.2 * diffuse + 0.25 * specular,
                        0.2 * diffuse + 1.0 * specular),
                frame.getPixel(1, 1));
}

TEST_F(RaytraceTest, SpotConeAndFalloff) {
    addPlane(HPoint(0, 0, -3), HPoint(0, 0, 1), material(HPoint(1, 1, 1, 0)));
    SpotLight* spot = addLight(new SpotLight(), HPoint(9, 9, 9, 1));
    spot->location = HPoint(0, 0, 0);
    spot->setDirection(HPoint(0, 0, -1));
    spot->exponent = 2.0f;
    spot->cutoffCosine = std::cos(0.6f);
    ColorImage frame = render();
    // (1, 1): on the axis, distance 3.
    expectPixel(bytesOf(1.0, 1.0, 1.0), frame.getPixel(1, 1));
    // (1, 0): 0.5 rad below the axis, inside the cone: cos^2 of the spot and
    // cos of the surface, over the squared distance.
    HPoint d = pixelDirection(1, 0);
    double cosine = -d.z, distance = 3.0 / cosine;
    double value = 9.0 / (distance * distance) * cosine * cosine * cosine;
    expectPixel(bytesOf(value, value, value), frame.getPixel(1, 0));
    // (0, 0): about 0.66 rad off the axis, outside the cone: black.
    expectPixel(Rgb{0, 0, 0}, frame.getPixel(0, 0), 0);
}

TEST_F(RaytraceTest, ShadowsAndTransparentShadows) {
    addPlane(HPoint(0, 0, -4), HPoint(0, 0, 1), material(HPoint(1, 1, 1, 0)));
    addLight(new DirectionalLight(), HPoint(1, 1, 1, 1))->setDirection(HPoint(1, 0, 1));
    double lit = 1.0 / std::sqrt(2.0);  // L.N
    ColorImage frame = render();
    expectPixel(bytesOf(lit, lit, lit), frame.getPixel(1, 1));

    // A ball on the way to the light, out of the camera's view.
    GMaterial* glass = only(GMaterial::transmitted, HPoint(0.5f, 0.5f, 0.5f, 0));
    addSphere(HPoint(2, 0, -2), 0.5f, glass);
    frame = render();
    expectPixel(Rgb{0, 0, 0}, frame.getPixel(1, 1), 0);

    // With transparent shadows the light passes, filtered by the transmission.
    transparentShadows = true;
    fakeCaustics = false;
    frame = render();
    expectPixel(bytesOf(0.5 * lit, 0.5 * lit, 0.5 * lit), frame.getPixel(1, 1));
}

TEST_F(RaytraceTest, MirrorReflectionAndItsLimits) {
    GMaterial* mirror = only(GMaterial::reflected, HPoint(0.8f, 0.8f, 0.8f, 0));
    addPlane(HPoint(0, 0, -2), HPoint(0, 0, 1), mirror);
    // A glowing ball behind the camera, seen only in the mirror.
    GMaterial* glow = only(GMaterial::emissive, HPoint(1.0f, 0.5f, 0.25f, 0));
    addSphere(HPoint(0, 0, 3), 1.0f, glow);
    ColorImage frame = render();
    expectPixel(bytesOf(0.8, 0.4, 0.2), frame.getPixel(1, 1));

    camera->maxDepth = 0;
    frame = render();
    expectPixel(Rgb{0, 0, 0}, frame.getPixel(1, 1), 0);

    // A perfect mirror's weight sum 3 does not exceed a cutoff of 3.
    camera->maxDepth = 4;
    mirror->setColor(GMaterial::reflected, HPoint(1, 1, 1, 0));
    camera->attenuationCutoff = 3.0f;
    frame = render();
    expectPixel(Rgb{0, 0, 0}, frame.getPixel(1, 1), 0);
    camera->attenuationCutoff = 2.9f;
    frame = render();
    expectPixel(bytesOf(1.0, 0.5, 0.25), frame.getPixel(1, 1));
}

TEST_F(RaytraceTest, RefractionThroughAGlassBall) {
    scene.backgroundColor = HPoint(1.0f, 0.5f, 0.25f, 1);
    GMaterial* glass = only(GMaterial::transmitted, HPoint(0.9f, 0.9f, 0.9f, 0));
    glass->setScalar(GMaterial::indexOfRefraction, 1.5f);
    addSphere(HPoint(0, 0, -3), 1.0f, glass);
    ColorImage frame = render();
    // Straight through the centre: two transmissions.
    expectPixel(bytesOf(0.81, 0.405, 0.2025), frame.getPixel(1, 1));
    // Two levels deep only: in, but not out again.
    camera->maxDepth = 1;
    frame = render();
    expectPixel(Rgb{0, 0, 0}, frame.getPixel(1, 1), 0);
}

TEST_F(RaytraceTest, TotalInternalReflectionCarriesTheTransmittedColour) {
    scene.backgroundColor = HPoint(0, 0, 1, 1);
    GMaterial* glass = only(GMaterial::transmitted, HPoint(1.0f, 0.5f, 0.25f, 0));
    glass->setColor(GMaterial::emissive, HPoint(0.4f, 0.2f, 0.1f, 0));
    glass->setScalar(GMaterial::indexOfRefraction, 1.5f);
    addSphere(HPoint(0, 0, 0), 1.0f, glass);
    camera->maxDepth = 1;
    const HPoint white(1, 1, 1, 1);

    // Grazing from inside (about 64 degrees, beyond the critical 41.8): the
    // transmitted colour goes along the mirror ray, which meets the glass again.
    GRay grazing;
    camera->makeRay(grazing, 0, HPoint(0, 0.9f, 0), HPoint(1, 0, 0));
    HitRecord hit;
    hit.t = FLT_MAX;
    HPoint sum(0, 0, 0, 0);
    camera->trace(sum, white, grazing, hit);
    EXPECT_NEAR(0.4 + 0.4 * 1.0, sum.x, 1e-5);
    EXPECT_NEAR(0.2 + 0.2 * 0.5, sum.y, 1e-5);
    EXPECT_NEAR(0.1 + 0.1 * 0.25, sum.z, 1e-5);

    // Steep from inside: the light leaves the glass and sees the background.
    GRay steep;
    camera->makeRay(steep, 0, HPoint(0, 0.1f, 0), HPoint(1, 0, 0));
    hit.t = FLT_MAX;
    sum = HPoint(0, 0, 0, 0);
    camera->trace(sum, white, steep, hit);
    EXPECT_NEAR(0.4, sum.x, 1e-5);
    EXPECT_NEAR(0.2, sum.y, 1e-5);
    EXPECT_NEAR(0.1 + 0.25, sum.z, 1e-5);
}

TEST_F(RaytraceTest, TheVeryFirstRayHitsFreshObjects) {
    // Fresh mailboxes hold 0; the first ray of a fresh camera must not be taken
    // for a ray they have already seen.
    camera->setResolution(1, 1);
    GMaterial* red = only(GMaterial::emissive, HPoint(1, 0, 0, 0));
    addSphere(HPoint(0, 0, -5), 4.0f, red);
    ColorImage frame = render();
    expectPixel(Rgb{255, 0, 0}, frame.getPixel(0, 0), 0);
}

// ------------------------------------------------------- the three methods

TEST_F(RaytraceTest, OneRayPerPixelPrintsRowsAndWritesTheTrajectory) {
    scene.backgroundColor = HPoint(0.2f, 0.2f, 0.2f, 1);
    camera->setResolution(3, 2);
    render();
    EXPECT_EQ("\r0 / 2  \r1 / 2  | 6 rays\n", console);
    std::string trajectory = readWholeFile(folder + "/trajectory.ppm");
    std::string header = "P6\n512 512\n255\n";
    ASSERT_EQ(header.size() + 512u * 512u * 3u, trajectory.size());
    EXPECT_EQ(header, trajectory.substr(0, header.size()));
    EXPECT_EQ(std::string(512u * 512u * 3u, '\0'), trajectory.substr(header.size()));
    EXPECT_FALSE(fileExists(folder + "/preview.ppm"));
}

TEST_F(RaytraceTest, SubsamplingMatchesOneRayPerPixelOnAFlatImage) {
    scene.backgroundColor = HPoint(0.3f, 0.6f, 0.9f, 1);
    camera->setResolution(9, 5);
    ColorImage reference = render();
    unsigned raysBefore = camera->rayCounter;

    camera->subsampling = 16;
    ColorImage adaptive = render();
    for (int y = 0; y < 5; y++)
        for (int x = 0; x < 9; x++) EXPECT_EQ(reference.getPixel(x, y), adaptive.getPixel(x, y));
    // Six coarse rays; 21 of the 45 pixels interpolated, the rest border fill.
    EXPECT_EQ("\n(1:5) \r(2:5) \r(3:5) \r(4:5) \r(5:5) | 0.467 interpolated. " +
                  std::to_string(raysBefore + 6) + " rays.\n",
              console);
    EXPECT_EQ(raysBefore + 7, camera->rayCounter);  // the summary counts one more
    EXPECT_FALSE(fileExists(folder + "/preview.ppm"));
}

TEST_F(RaytraceTest, SubsamplingTracesWhereNeighboursDiffer) {
    // Half the view is a bright plane, the other half background.
    camera->setResolution(17, 9);
    camera->subsampling = 16;
    GMaterial* bright = only(GMaterial::emissive, HPoint(1, 1, 1, 0));
    addPlane(HPoint(0, 0, -5), HPoint(0, 0, 1), bright);
    addPlane(HPoint(0.3f, 0, 0), HPoint(-1, 0, 0), material(HPoint(0, 0, 0, 0)));  // a dark wall on the right
    ColorImage adaptive = render();
    EXPECT_EQ(std::string::npos, console.find("| 1.000 interpolated"));
    camera->subsampling = 0;
    ColorImage reference = render();
    int brightCount = 0;
    for (int y = 0; y < 9; y++)
        for (int x = 0; x < 17; x++) {
            uint32_t expected = reference.getPixel(x, y);
            brightCount += expected != 0;
            // The bottom and top rows are filled by averaging without a test,
            // so there a pixel within one coarse cell of the edge may differ.
            bool nearEdge = false;
            for (int n = x - 3; n <= x + 3; n++)
                if (n >= 0 && n < 17 && reference.getPixel(n, y) != expected) nearEdge = true;
            if ((y == 0 || y == 8) && nearEdge) continue;
            EXPECT_EQ(expected, adaptive.getPixel(x, y)) << x << "," << y;
        }
    EXPECT_GT(brightCount, 9 * 4);
    EXPECT_LT(brightCount, 9 * 13);
}

TEST_F(RaytraceTest, SubsamplingLevelsAndUnvisitedPixels) {
    scene.backgroundColor = HPoint(1, 1, 1, 1);
    // With subsampling 2 only the finest edge pass may interpolate.
    camera->setResolution(9, 5);
    camera->subsampling = 2;
    render();
    // F = 2 edge pass: 10 of 45 pixels; 6 + 2 + 1 + 8 traced.
    EXPECT_NE(std::string::npos, console.find("| 0.222 interpolated. 17 rays.\n")) << console;

    // An 8 x 4 image: no pass reaches the last column, which keeps the fill.
    camera->setResolution(8, 4);
    camera->subsampling = 16;
    ColorImage frame = render();
    for (int y = 0; y < 4; y++) EXPECT_EQ(0u, frame.getPixel(7, y));
    EXPECT_EQ(0x00FFFFFFu, frame.getPixel(0, 0));
}

TEST_F(RaytraceTest, StratifiedSamplingWithoutPreview) {
    scene.backgroundColor = HPoint(0.4f, 0.6f, 1.0f, 1);
    camera->setResolution(3, 21);
    camera->samplesPerPixel = 2;  // one column stratum, two row strata
    ColorImage frame = render();
    expectPixel(bytesOf(0.4, 0.6, 1.0), frame.getPixel(2, 20), 0);
    std::string expected;
    for (int y = 0; y < 21; y++) expected += "\r" + std::to_string(y) + " / 21  ";
    expected += "| 126 rays\n";
    EXPECT_EQ(expected, console);
    EXPECT_EQ(127u, camera->rayCounter);
    // The progress image is the finished frame after the last row.
    ColorImage preview;
    ASSERT_TRUE(preview.readImage((folder + "/preview.ppm").c_str()));
    ASSERT_EQ(3, preview.width);
    EXPECT_EQ(frame.getPixel(1, 7), preview.getPixel(1, 7));
    EXPECT_FALSE(fileExists(folder + "/trajectory.ppm"));
}

TEST_F(RaytraceTest, StratifiedSamplingAveragesClampedSamples) {
    // Left half of each pixel column bright, right half dark: a wall edge at
    // x = 0 seen by the middle column of a 3-pixel-wide image.
    camera->setResolution(3, 1);
    camera->samplesPerPixel = 5;  // 2 x 2 strata after an adaptive preview
    GMaterial* hot = only(GMaterial::emissive, HPoint(4, 4, 4, 0));  // far beyond white
    addPlane(HPoint(0, 0, -5), HPoint(0, 0, 1), hot);
    // The dark wall stands just right of the eye, facing it.
    addPlane(HPoint(1e-4f, 0, 0), HPoint(-1, 0, 0), material(HPoint(0, 0, 0, 0)));
    ColorImage frame = render();
    // Column 1 spans x offsets -0.5 .. 0.5: two strata bright, two dark, and each
    // bright sample counts as 1, not 4.
    expectPixel(Rgb{127, 127, 127}, frame.getPixel(1, 0));
    expectPixel(Rgb{255, 255, 255}, frame.getPixel(0, 0), 0);
    expectPixel(Rgb{0, 0, 0}, frame.getPixel(2, 0), 0);
    // The preview settings stay in the camera.
    EXPECT_EQ(4, camera->subsampling);
    EXPECT_EQ(50, camera->maxColorDiff);
    EXPECT_TRUE(fileExists(folder + "/preview.ppm"));
    EXPECT_EQ(0, console.find("\n(1:5) "));
    EXPECT_NE(std::string::npos, console.find(" rays.\n\r0 / 1  | "));
}

TEST_F(RaytraceTest, DepthOfFieldKeepsTheFocusPlaneSharp) {
    // A bright square patch is hard to build from planes and spheres; a ball
    // seen in focus keeps a centre pixel that every lens ray reaches.
    GMaterial* glow = only(GMaterial::emissive, HPoint(0.5f, 0.5f, 0.5f, 0));
    addSphere(HPoint(0, 0, -10), 3.0f, glow);
    camera->setResolution(3, 3);
    camera->samplesPerPixel = 2;
    camera->aperture = 0.5f;
    camera->focalDistance = 7.0f;  // the front of the ball
    ColorImage frame = render();
    expectPixel(bytesOf(0.5, 0.5, 0.5), frame.getPixel(1, 1));

    // Out of focus: a ball close to the eye that fills the centre pixel of the
    // pinhole view is mostly missed by rays from a wide lens.
    scene.objects.clear();
    addSphere(HPoint(0, 0, -1), 0.3f, glow);
    camera->samplesPerPixel = 16;
    camera->aperture = 0.0f;
    frame = render();
    expectPixel(bytesOf(0.5, 0.5, 0.5), frame.getPixel(1, 1));
    camera->aperture = 2.0f;
    camera->focalDistance = 100.0f;
    frame = render();
    EXPECT_LT((int)(frame.getPixel(1, 1) & 0xFF), 64);
}

// ------------------------------------------------------------ end to end

namespace {
// Runs velk on a scene of the source tree in a fresh folder; the image it
// wrote (named image) is read into `image`.
CommandResult runScene(const std::string& scene, const std::string& options, ColorImage& image,
                       std::string& folder, const char* output = "image.ppm") {
    folder = makeScratchDir();
    CommandResult result =
        runVelk(folder, "'" + std::string(VELK_SOURCE_DIR) + "/" + scene + "' " + options);
    EXPECT_EQ(0, result.status) << result.err;
    EXPECT_TRUE(image.readImage((folder + "/" + output).c_str()));
    return result;
}
}  // namespace

TEST(SimpleRaytracingCameraRun, RendersTheTinySceneFromTheCommandLine) {
    std::string folder;
    ColorImage image;
    CommandResult result = runScene("tests/scenes/tiny.txt", "-seed 3", image, folder);
    EXPECT_NE(std::string::npos, result.out.find("ball : GSphere@"));
    EXPECT_NE(std::string::npos, result.out.find("\r0 / 6  \r1 / 6  "));
    EXPECT_NE(std::string::npos, result.out.find("\r5 / 6  | "));
    EXPECT_TRUE(fileExists(folder + "/trajectory.ppm"));
    ASSERT_EQ(8, image.width);
    ASSERT_EQ(6, image.height);
    EXPECT_EQ(0xFF0000u, image.getPixel(0, 0));  // background blue
    // The middle looks at the ball head-on with the light at the eye: full red.
    EXPECT_EQ(0x0000FFu, image.getPixel(4, 3));
}

TEST(SimpleRaytracingCameraRun, OptionsReachTheCamera) {
    std::string folder;
    ColorImage image;
    CommandResult result = runScene(
        "tests/scenes/tiny.txt", "-size 9 5 -subsampling 16 25 -gain 0.5 -o out.ppm", image, folder,
        "out.ppm");
    EXPECT_NE(std::string::npos, result.out.find("\n(1:5) \r(2:5) "));
    EXPECT_NE(std::string::npos, result.out.find(" interpolated. "));
    ASSERT_EQ(9, image.width);
    EXPECT_EQ(127u << 16, image.getPixel(0, 0));  // background at half gain
    EXPECT_FALSE(fileExists(folder + "/trajectory.ppm"));
}

TEST(SimpleRaytracingCameraRun, TheDemoSceneLoadsCleanly) {
    std::string folder;
    ColorImage image;
    CommandResult result = runScene("scenes/demo.txt", "-size 24 18", image, folder);
    EXPECT_EQ(std::string::npos, result.out.find("PARSE ERROR"));
    for (const char* name : {"floor : GPlane@", "wall : GPlane@", "mirror : GSphere@",
                             "glass : GSphere@", "key : PointLight@"})
        EXPECT_NE(std::string::npos, result.out.find(name)) << name;
    EXPECT_NE(std::string::npos, result.out.find("scene objects: 6.\n"));
    EXPECT_EQ(24, image.width);
    EXPECT_EQ(18, image.height);
}
