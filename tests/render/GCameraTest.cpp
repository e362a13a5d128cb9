#include <cmath>
#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "foundation/GMatrix.h"
#include "geometry/GRay.h"
#include "image/ColorImage.h"
#include "render/GCamera.h"
#include "render/OpenGLCamera.h"
#include "render/SimpleRaytracingCamera.h"
#include "render/UberCamera.h"

namespace {

const float halfPi = 1.5707963f;

void expectNear(const HPoint& expected, const HPoint& actual, float tolerance = 1e-5f) {
    EXPECT_NEAR(expected.x, actual.x, tolerance);
    EXPECT_NEAR(expected.y, actual.y, tolerance);
    EXPECT_NEAR(expected.z, actual.z, tolerance);
}

HPoint normalized(HPoint p) {
    p.normalize();
    return p;
}

// The text a writer produces, through a temporary file.
template <class Writer>
std::string writtenText(Writer write) {
    FILE* file = std::tmpfile();
    write(file);
    std::fflush(file);
    std::rewind(file);
    std::string text;
    char buffer[256];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, n);
    std::fclose(file);
    return text;
}

}  // namespace

TEST(GCamera, DefaultsAndIdentity) {
    GCamera camera;
    EXPECT_EQ(0u, camera.rayCounter);
    EXPECT_EQ(nullptr, camera.scene);
    EXPECT_TRUE(camera.isKindOf(1006) && camera.isKindOf(1019) && camera.isKindOf(0));
    EXPECT_FALSE(camera.isKindOf(1008));
    EXPECT_EQ(0, std::string(camera.toString()).find("GCamera@"));

    SimpleRaytracingCamera whitted;
    EXPECT_TRUE(whitted.isKindOf(1008) && whitted.isKindOf(1006));
    EXPECT_EQ(0, std::string(whitted.toString()).find("SimpleRaytracingCamera@"));
}

TEST(GCamera, SetViewBuildsARightHandedOrthonormalFrame) {
    GCamera camera;
    // An up vector that is not orthogonal to the view.
    camera.setView(HPoint(1, 2, 3), HPoint(1, 2, -7), HPoint(0, 1, 1), 0.8f);
    expectNear(HPoint(0, 0, -1), camera.viewDirection);
    expectNear(HPoint(1, 0, 0), camera.right);
    expectNear(HPoint(0, 1, 0), camera.trueUp);
    EXPECT_FLOAT_EQ(0.8f, camera.fovy);
    expectNear(HPoint(0, 1, 1), camera.up);  // stored as given

    camera.setView(HPoint(0, 0, 0), HPoint(3, 4, 5), HPoint(0, 1, 0), 0.8f);
    EXPECT_NEAR(1.0f, camera.viewDirection.length(), 1e-6f);
    EXPECT_NEAR(1.0f, camera.right.length(), 1e-6f);
    EXPECT_NEAR(1.0f, camera.trueUp.length(), 1e-6f);
    EXPECT_NEAR(0.0f, camera.right.dot(camera.trueUp), 1e-6f);
    EXPECT_NEAR(0.0f, camera.right.dot(camera.viewDirection), 1e-6f);
    // right x trueUp = -viewDirection: right-handed with the view along -z.
    expectNear(camera.viewDirection.scaled(-1.0f), camera.right.cross(camera.trueUp));
}

TEST(GCamera, PinholeStepsUseTheHeightForBothAxes) {
    GCamera camera;
    camera.setView(HPoint(0, 0, 0), HPoint(0, 0, -1), HPoint(0, 1, 0), halfPi);
    HPoint rightStep, upStep;
    camera.pixelSteps(100, rightStep, upStep);
    expectNear(HPoint(0.02f, 0, 0), rightStep, 1e-6f);
    expectNear(HPoint(0, 0.02f, 0), upStep, 1e-6f);

    HPoint centre = normalized(camera.offsetDirection(rightStep, upStep, 50 - 50, 50 - 50));
    expectNear(camera.viewDirection, centre);
    HPoint leftEdge = normalized(camera.offsetDirection(rightStep, upStep, 0 - 50, 50 - 50));
    expectNear(normalized(camera.viewDirection.difference(camera.right)), leftEdge);

    // A 200 x 100 image has the same steps: the horizontal field is wider.
    HPoint wideRight, wideUp;
    camera.pixelSteps(100, wideRight, wideUp);
    expectNear(rightStep, wideRight);
    HPoint farLeft = normalized(camera.offsetDirection(wideRight, wideUp, 0 - 100, 0));
    EXPECT_NEAR(std::atan(2.0f), std::acos(-farLeft.z), 1e-5f);
}

TEST(GCamera, WorldToRasterInvertsThePinholeModel) {
    GCamera camera;
    camera.setView(HPoint(1, 2, 3), HPoint(-2, 0.5f, -4), HPoint(0, 1, 0), 0.9f);
    const int w = 200, h = 100;
    GMatrix projection;
    camera.worldToRaster(projection, w, h);

    HPoint target = camera.to;
    target.transform(projection);
    ASSERT_GT(target.w, 0.0f);
    target.projectXY();
    EXPECT_NEAR(100.0f, target.x, 1e-3f);
    EXPECT_NEAR(50.0f, target.y, 1e-3f);

    HPoint rightStep, upStep;
    camera.pixelSteps(h, rightStep, upStep);
    HPoint offset = camera.from.sum(camera.viewDirection.sum(rightStep.scaled(10.0f)));
    offset.transform(projection);
    offset.projectXY();
    EXPECT_NEAR(110.0f, offset.x, 1e-3f);
    EXPECT_NEAR(50.0f, offset.y, 1e-3f);

    // Any raster position maps back to itself along its pinhole direction.
    HPoint direction = normalized(camera.offsetDirection(rightStep, upStep, 37.25f - 100, 81.5f - 50));
    HPoint far = camera.from.sum(direction.scaled(17.0f));
    far.transform(projection);
    far.projectXY();
    EXPECT_NEAR(37.25f, far.x, 2e-3f);
    EXPECT_NEAR(81.5f, far.y, 2e-3f);

    // The translation sits in elements 12 to 14: the eye maps to w' = 0.
    HPoint eye = camera.from;
    eye.transform(projection);
    EXPECT_NEAR(0.0f, eye.w, 1e-4f);
}

TEST(GCamera, MakeRayCountsAndNumbersRays) {
    GCamera camera;
    GRay first, second;
    camera.makeRay(first, 0, HPoint(1, 2, 3), HPoint(0, 3, -4));
    camera.makeRay(second, 2, HPoint(0, 0, 0), HPoint(0, 0, 2));
    EXPECT_EQ(2u, camera.rayCounter);
    // Identifiers come from the process-wide counter: never 0 (the value of
    // a fresh mailbox), and distinct from rays built by other code.
    EXPECT_NE(0u, first.id);
    EXPECT_NE(first.id, second.id);
    GRay other(0, HPoint(0, 0, 0), HPoint(1, 0, 0));
    EXPECT_NE(other.id, second.id);
    EXPECT_EQ(0, first.depth);
    EXPECT_EQ(2, second.depth);
    expectNear(HPoint(1, 2, 3), first.origin);
    expectNear(HPoint(0, 0.6f, -0.8f), first.direction);
    EXPECT_FLOAT_EQ(1.0f / 0.6f, first.inverseDirection.y);
    EXPECT_TRUE(std::isinf(first.inverseDirection.x));
}

TEST(GCamera, WriteXMLNamesTheRendererWithEverySetting) {
    SimpleRaytracingCamera camera;
    camera.setResolution(320, 240);
    camera.maxDepth = 9;
    camera.gain = 0.1f;
    camera.setView(HPoint(1, 2.5f, -3), HPoint(0, 0, 0), HPoint(0, 1, 0), 0.5f);
    std::string expected =
        "<camera name='camera1' resx='320' resy='240' focal='0.5' aperature='0.0'>\n"
        "  <from x='1' y='2.5' z='-3'/>\n"
        "  <to x='0' y='0' z='0'/>\n"
        "  <up x='0' y='1' z='0'/>\n"
        "</camera>\n"
        "\n"
        "<render camera_name='camera1' AA_minsamples='1' raydepth='9' exposure='1.0'\n"
        "        maxDepth='9'\n        subsampling='0'\n        maxColorDiff='25'\n"
        "        attenuationCutoff='0.25'\n        gain='0.100000001'\n        samplesPerPixel='1'\n"
        "        focalDistance='1'\n        aperture='0'>\n"
        "  <rendertype value='rayTracing' />\n"
        "  <outfile value='image.ppm' />\n"
        "</render>\n";
    EXPECT_EQ(expected, writtenText([&](FILE* f) { camera.writeXML(f); }));

    // A camera of no kind says so and is written as ray tracing.
    OpenGLCamera preview;
    testing::internal::CaptureStdout();
    std::string text = writtenText([&](FILE* f) { preview.writeXML(f); });
    EXPECT_EQ("XML export: " + std::string(preview.toString()) + " is no renderer; the file renders with ray tracing.\n",
              testing::internal::GetCapturedStdout());
    EXPECT_EQ(0, text.find("<camera name='camera1' resx='256' resy='256' focal='0.785398185'"));
    EXPECT_NE(std::string::npos, text.find("<rendertype value='rayTracing' />"));

    // A setting named like a head attribute is said once, in the head.
    UberCamera uber;
    uber.exposure = 3.0f;
    std::string uberText = writtenText([&](FILE* f) { uber.writeXML(f); });
    EXPECT_NE(std::string::npos, uberText.find(" exposure='3'"));
    EXPECT_EQ(uberText.find("exposure="), uberText.rfind("exposure="));
}

TEST(GCamera, ParseSimpleIsNotImplemented) {
    GCamera camera;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(camera.parseSimple());
    EXPECT_EQ("parseSimple not implemented for " + std::string(camera.toString()) + "\n",
              testing::internal::GetCapturedStdout());
    // The base camera neither parses a block nor draws.
    EXPECT_FALSE(camera.parse(nullptr));
    ColorImage frame(2, 2);
    frame.fill(0x01020304u);
    camera.render(frame);
    EXPECT_EQ(0x01020304u, frame.getPixel(1, 1));
}

TEST(GCamera, TrajectoryImageIsA512SquareOfBlack) {
    ColorImage& trajectory = trajectoryImage();
    ASSERT_EQ(512, trajectory.width);
    ASSERT_EQ(512, trajectory.height);
    EXPECT_EQ(0u, trajectory.getPixel(511, 511));
    EXPECT_EQ(&trajectory, &trajectoryImage());
}
