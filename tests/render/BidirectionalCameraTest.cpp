#include "render/BidirectionalCamera.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/GMatrix.h"
#include "foundation/Random.h"
#include "image/ColorImage.h"
#include "image/HPointImage.h"
#include "io/yafray/YafrayParser.h"
#include "render/InstantRadiosityCamera.h"
#include "render/CameraSettings.h"
#include "render/SubPath.h"
#include "shading/SpotLight.h"
#include "tests/render/RenderTestSupport.h"

namespace {

class BidirectionalTest : public SceneInScratchFolder {
protected:
    void read(const std::string& xml) { read(scene, xml); }
    void read(GScene& target, const std::string& xml) {
        YafrayParser parser(&target);
        captured([&] { parser.parseText(xml); });
        ASSERT_NE(target.camera, nullptr);
    }
    // Renders the scene's camera into a frame of its size; the radiance goes
    // to "radiance.im" and is returned.
    HPointImage render(ColorImage& frame) { return render(scene, frame); }
    HPointImage render(GScene& target, ColorImage& frame) {
        GCamera* camera = target.camera;
        camera->radianceFileName = "radiance.im";
        frame.resize(camera->width, camera->height);
        frame.fill(0);
        captured([&] { camera->render(frame); });
        HPointImage radiance;
        EXPECT_TRUE(radiance.read("radiance.im"));
        return radiance;
    }
};


uint32_t toneMapped(const HPoint& radiance, float key) {
    HPointImage one(1, 1);
    one.at(0, 0) = radiance;
    ColorImage frame;
    one.toneMap(frame, key);
    return frame.pixels[0];
}

TEST_F(BidirectionalTest, EmittersSeenDirectlyAndThroughAMirror) {
    const HPoint emission(0.3f, 0.5f, 0.2f, 1.0f);
    struct Case {
        bool mirror;
        const char* renderType;
        bool seen;
    } cases[] = {
        {false, "bidirectionalPathTracing", true},
        {true, "bidirectionalPathTracing", true},
        {false, "instantRadiosity", true},
        {true, "instantRadiosity", false},  // mirrors are not followed
    };
    for (const Case& c : cases) {
        GScene own;
        seedRandom(5);
        read(own, emitterScene(c.mirror, c.renderType, 1));
        ColorImage frame;
        HPointImage radiance = render(own, frame);
        HPoint expected = c.seen ? emission : HPoint(0.0f, 0.0f, 0.0f, 1.0f);
        EXPECT_FLOAT_EQ(radiance.at(0, 0).x, expected.x) << c.renderType << c.mirror;
        EXPECT_FLOAT_EQ(radiance.at(0, 0).y, expected.y) << c.renderType << c.mirror;
        EXPECT_FLOAT_EQ(radiance.at(0, 0).z, expected.z) << c.renderType << c.mirror;
        EXPECT_EQ(frame.pixels[0], toneMapped(expected, 1.0f)) << c.renderType << c.mirror;
    }
}

// A diffuse floor (albedo 0.5) under an emitting sphere (radius 0.2, centre
// 1 above the point seen): the bidirectional estimate there converges to
// albedo * emission * (r / d)^2 = 0.02. Each sample is 4 E r^2 albedo cosL / d^2
// over a uniform point of the sphere (zero on its far side), whose standard
// deviation is about 1.3 times the mean; 1.5 covers the finite sphere.
TEST_F(BidirectionalTest, FloorUnderASmallEmittingSphereConverges) {
    writeWholeFile("sphere.xml",
                   "<camera name='c' resx='1' resy='1' focal='0.002'><from x='1.5' y='0.3' z='0'/>"
                   "<to x='0' y='0' z='0'/></camera>"
                   "<render camera_name='c'><rendertype value='bidirectionalPathTracing'/></render>"
                   "<shader type='generic' name='floor'><attributes><color r='0.5' g='0.5' b='0.5'/>"
                   "</attributes></shader>"
                   "<shader type='generic' name='lamp'><attributes><color r='0' g='0' b='0'/>"
                   "<emissive r='1' g='1' b='1'/></attributes></shader>"
                   "<object shader_name='floor'><mesh><points><p x='-2' y='0' z='-2'/>"
                   "<p x='-2' y='0' z='2'/><p x='2' y='0' z='2'/><p x='2' y='0' z='-2'/></points>"
                   "<faces><f a='0' b='1' c='2' d='3'/></faces></mesh></object>"
                   "<object shader_name='lamp'><sphere radius='0.2'><center x='0' y='1' z='0'/>"
                   "</sphere></object>");
    const int samples = 20000;
    CommandResult result = runVelk(folder, "sphere.xml -seed 17 -set samplesPerPixel " +
                                               std::to_string(samples) + " -radiance floor.im -o floor.ppm");
    ASSERT_EQ(result.status, 0) << result.err;
    HPointImage radiance;
    ASSERT_TRUE(radiance.read((folder + "/floor.im").c_str()));
    const double expected = 0.5 * 1.0 * 0.2 * 0.2;
    const double tolerance = 4.0 * 1.5 * expected / std::sqrt((double)samples);
    EXPECT_NEAR(radiance.at(0, 0).x, expected, tolerance);
    EXPECT_NEAR(radiance.at(0, 0).y, expected, tolerance);
}

// Scenes of quads in the plane y = const (normal up unless faceDown) under a
// 4 x 4 or 1 x 1 camera, rendered over seeds 1 .. n: the mean of the image
// means and its standard error from their spread.
std::string horizontalQuad(const char* shader, float y, float half, float centreX = 0.0f, bool faceDown = false) {
    float x0 = centreX - half, x1 = centreX + half;
    float corners[4][2] = {{x0, -half}, {x0, half}, {x1, half}, {x1, -half}};
    std::string points;
    for (int k = 0; k < 4; k++) {
        const float* c = corners[faceDown ? 3 - k : k];
        char buffer[96];
        std::snprintf(buffer, sizeof buffer, "<p x='%g' y='%g' z='%g'/>", c[0], y, c[1]);
        points += buffer;
    }
    return "<object shader_name='" + std::string(shader) + "'><mesh><points>" + points +
           "</points><faces><f a='0' b='1' c='2' d='3'/></faces></mesh></object>";
}

// A camera at (x, y, 0) looking straight up or down.
std::string verticalCamera(float x, float y, bool lookUp, float fovy, int resolution) {
    char buffer[400];
    std::snprintf(buffer, sizeof buffer,
                  "<camera name='c' resx='%d' resy='%d' focal='%.7g'><from x='%g' y='%g' z='0'/>"
                  "<to x='%g' y='%g' z='0'/><up x='0' y='0' z='1'/></camera><render camera_name='c'>"
                  "<rendertype value='bidirectionalPathTracing'/></render>",
                  resolution, resolution, fovy, x, y, x, lookUp ? y + 1.0f : 0.0f);
    return std::string(buffer) +
           "<shader type='generic' name='floor'><attributes><color r='0.5' g='0.5' b='0.5'/></attributes></shader>"
           "<shader type='generic' name='lamp'><attributes><color r='0' g='0' b='0'/>"
           "<emissive r='1' g='1' b='1'/></attributes></shader>"
           "<shader type='generic' name='mirror'><attributes><color r='0' g='0' b='0'/>"
           "<specular r='1' g='1' b='1'/></attributes></shader>";
}

// Irradiance / Le at (x, 0, z) from a square lamp of half side `half` centred
// above the origin at `height`, its 1/d^2 limited to cap (midpoint rule).
double squareLampIrradiance(double x, double z, double height, double half, double cap, int n) {
    double sum = 0.0, cell = 2.0 * half / n;
    for (int i = 0; i < n; i++) {
        for (int j = 0; j < n; j++) {
            double dx = -half + (i + 0.5) * cell - x, dz = -half + (j + 0.5) * cell - z;
            double d2 = dx * dx + dz * dz + height * height;
            sum += height * height / d2 * std::min(1.0 / d2, cap);
        }
    }
    return sum * cell * cell;
}

struct SeedMean {
    double mean = 0.0, standardError = 0.0;
    std::string console;  // of the last render
};

class BidirectionalEstimateTest : public BidirectionalTest {
protected:
    // settings: "name value name value ...", set through the camera's table.
    SeedMean renderSeeds(const std::string& xml, const std::string& settings, int seeds) {
        std::vector<double> means;
        SeedMean result;
        for (int seed = 1; seed <= seeds; seed++) {
            GScene own;
            read(own, xml);
            std::istringstream words(settings);
            std::string name, value, error;
            while (words >> name >> value) {
                const CameraSetting* row = own.camera->settingTable()->find(name.c_str());
                EXPECT_TRUE(row && row->set(own.camera, value.c_str(), error)) << name << " " << error;
            }
            seedRandom(seed);
            ColorImage frame;
            HPointImage radiance = render(own, frame);
            double sum = 0.0;
            for (int i = 0; i < radiance.width * radiance.height; i++) sum += radiance.pixels[i].x;
            means.push_back(sum / (radiance.width * radiance.height));
            result.console = console;
        }
        for (double m : means) result.mean += m / seeds;
        double spread = 0.0;
        for (double m : means) spread += (m - result.mean) * (m - result.mean) / (seeds - 1);
        result.standardError = std::sqrt(spread / seeds);
        return result;
    }
};

// A table top (albedo 0.5, 2 x 2, at height 1) under a small lamp at height
// 2, over a floor. Surfaces are single-sided: the table's underside seen
// from below gets no direct light, and the floor in its shadow none through
// one bounce off the underside (only the floor lights the underside).
TEST_F(BidirectionalEstimateTest, SingleSidedOccluderLetsNoLightThrough) {
    const std::string table = horizontalQuad("lamp", 2.0f, 0.25f, 0.0f, true) +
                              horizontalQuad("floor", 1.0f, 1.0f) + horizontalQuad("floor", 0.0f, 5.0f);
    struct Case {
        bool lookUp;
        const char* settings;
    } cases[] = {
        {true, "maxEyeVertices 1 samplesPerPixel 200"},   // the underside
        {false, "maxEyeVertices 2 samplesPerPixel 200"},  // the floor in the shadow
    };
    for (const Case& c : cases) {
        SeedMean seen = renderSeeds(verticalCamera(0.0f, 0.5f, c.lookUp, 0.01f, 1) + table, c.settings, 2);
        EXPECT_EQ(seen.mean, 0.0) << c.settings;
    }
}

// A plane-mirror caustic: a floor (albedo 0.5), a mirror at height 0.6 and a
// lamp of side 0.1 at height 0.35, facing the mirror or the floor (emitters
// light both faces). The camera sees the floor square x 0.4 .. 0.8,
// z -0.2 .. 0.2 straight from above. Light tracing alone (the camera as eye
// path) gives the caustic, whose closed form is the direct light of the
// lamp's mirror image at height 0.85; the eye side alone gives the direct light.
TEST_F(BidirectionalEstimateTest, LightTracingAgreesWithTheClosedFormOfACaustic) {
    const double pi = 3.141592653589793;
    struct Case {
        bool lampFacesFloor;
        bool lightTracing;
    } cases[] = {{false, true}, {true, true}, {false, false}, {true, false}};
    for (const Case& c : cases) {
        std::string xml = verticalCamera(0.6f, 0.3f, false, (float)(2.0 * std::atan(0.2 / 0.3)), 4) +
                          horizontalQuad("floor", 0.0f, 5.0f) + horizontalQuad("mirror", 0.6f, 3.0f) +
                          horizontalQuad("lamp", 0.35f, 0.05f, 0.0f, c.lampFacesFloor);
        const int seeds = 8;
        SeedMean seen = renderSeeds(xml,
                                    c.lightTracing ? "minEyeVertex 0 maxEyeVertices 0 maxLightVertices 2 "
                                                     "samplesPerPixel 2000"
                                                   : "maxEyeVertices 1 samplesPerPixel 20",
                                    seeds);
        const double height = c.lightTracing ? 0.85 : 0.35;
        const int n = 16;
        double irradiance = 0.0;
        for (int i = 0; i < n; i++)
            for (int j = 0; j < n; j++)
                irradiance += squareLampIrradiance(0.4 + (i + 0.5) * 0.4 / n, -0.2 + (j + 0.5) * 0.4 / n,
                                                   height, 0.05, 1e30, 8) / (n * n);
        const double expected = 0.5 / pi * irradiance;
        EXPECT_NEAR(seen.mean, expected, 4.0 * seen.standardError)
            << "lamp faces floor " << c.lampFacesFloor << ", light tracing " << c.lightTracing;
        EXPECT_LT(seen.standardError, 0.05 * expected);
    }
}

// A lamp (side 1) 0.1 above a floor: most of its light comes from within
// 1/sqrt(20) of the point seen. The default cap loses it and says so; a cap
// of 1e30 gives the exact irradiance.
TEST_F(BidirectionalEstimateTest, GeometryCapBiasIsReportedAndCanBeLifted) {
    const std::string xml = verticalCamera(0.0f, 0.05f, false, 0.01f, 1) + horizontalQuad("floor", 0.0f, 5.0f) +
                            horizontalQuad("lamp", 0.1f, 0.5f);
    for (const char* capText : {"20", "1e30"}) {
        const double cap = std::atof(capText);
        SeedMean seen = renderSeeds(xml, std::string("samplesPerPixel 5000 geometryCap ") + capText, 8);
        const double expected = 0.5 / 3.141592653589793 * squareLampIrradiance(0, 0, 0.1, 0.5, cap, 400);
        EXPECT_NEAR(seen.mean, expected, 4.0 * seen.standardError) << capText;
        EXPECT_LT(seen.standardError, 0.05 * expected) << capText;
        size_t line = seen.console.find("| geometryCap 20 removed ");
        if (cap == 20.0) {
            ASSERT_NE(line, std::string::npos) << seen.console;
            double percent = std::atof(seen.console.c_str() + line + 25);
            EXPECT_GT(percent, 10.0);
            EXPECT_LT(percent, 100.0);
            EXPECT_NE(seen.console.find("% of the connections' light\n| "), std::string::npos);
        } else {
            EXPECT_EQ(seen.console.find("geometryCap"), std::string::npos) << seen.console;
        }
    }
}

// Connections built by hand in an empty scene (nothing blocks a shadow ray).
class ConnectionTest : public SceneInScratchFolder {
protected:
    static const int W = 8, H = 6;
    BidirectionalCamera* camera = nullptr;
    GSphere* eyeObject = nullptr;
    GSphere* lightObject = nullptr;
    GMatrix toRaster;
    HPointImage image{W, H};
    SubPath eye, light;

    void SetUp() override {
        SceneInScratchFolder::SetUp();
        camera = keep(new BidirectionalCamera());
        camera->setView(HPoint(0, 0, 0, 1), HPoint(0, 0, -1, 1), HPoint(0, 1, 0, 1), 1.0f);
        camera->setResolution(W, H);
        camera->setScene(&scene);
        scene.camera = camera;
        camera->worldToRaster(toRaster, W, H);
        eyeObject = keep(new GSphere());
        lightObject = keep(new GSphere());
        clearImage();
        // The eye path: the camera only.
        GRay primary(0, HPoint(0, 0, 0, 1), HPoint(0, 0, -1, 1));
        startEyeSubPath(*camera, eye, primary, 0);
        light.length = 1;
        light.eventProbability[0] = light.eventProbability[1] = 1.0f;
        light.throughput[0] = light.throughput[1] = HPoint(1, 1, 1, 1);
    }
    void clearImage() {
        for (int i = 0; i < W * H; i++) image.pixels[i] = HPoint(0, 0, 0, 1);
    }
    void lightVertex(int t, const HPoint& point, const HPoint& normal, GSceneObject* object) {
        light.vertices[t].point = point;
        light.vertices[t].normal = normal;
        light.vertices[t].object = object;
    }
    void connect(int minEye, int minLight) {
        connectSubPaths(*camera, image, 0, 0, eye, light, toRaster, W, H,
                        lightTracingScale(camera->fovy, W, H), minEye, minLight);
    }
    // The pixels that received something.
    std::vector<int> litPixels() const {
        std::vector<int> lit;
        for (int i = 0; i < W * H; i++)
            if (image.pixels[i].x != 0.0f) lit.push_back(i);
        return lit;
    }
};

TEST_F(ConnectionTest, LightTracingSplatsWhereTheVertexProjects) {
    const HPoint p(0.3f, -0.2f, -2.0f, 1.0f), n(0, 0, 1, 1);
    lightVertex(1, p, n, lightObject);
    connect(0, 1);
    HPoint raster = p;
    raster.transform(toRaster);
    int column = (int)std::floor(raster.x / raster.w), row = (int)std::floor(raster.y / raster.w);
    ASSERT_EQ(litPixels(), std::vector<int>{row * W + column});
    // The weight: 1 / c^3 (the camera) times n . g times 1 / d^2, times the scale.
    HPoint g = p;
    float d2 = g.dot(g);
    g.normalize();
    float c = -g.z;
    // pi/4: the particle's pi * Le * A against the emitter's power Le * A / pi
    // (that carries the diffuse 1/pi), and a pixel's importance, a quarter of the scale.
    float expected = (1.0f / (c * c * c)) * std::fabs(n.dot(g)) / d2 * lightTracingScale(1.0f, W, H) *
                     (float)(3.141592653589793 / 4.0);
    EXPECT_NEAR(image.pixels[row * W + column].x, expected, 1e-5f * expected);

    // Reached from behind its surface (the side away from the camera): nothing.
    clearImage();
    light.vertices[0].point = HPoint(0.3f, -0.2f, -3.0f, 1.0f);
    connect(0, 1);
    EXPECT_TRUE(litPixels().empty());
    light.vertices[0].point = HPoint(0, 0, 0, 1);

    // Behind the camera, outside the image, or just left of it: nothing.
    for (const HPoint& outside : {HPoint(0.3f, -0.2f, 2.0f, 1), HPoint(30.0f, 0.0f, -2.0f, 1)}) {
        clearImage();
        lightVertex(1, outside, n, lightObject);
        connect(0, 1);
        EXPECT_TRUE(litPixels().empty()) << outside.x << " " << outside.z;
    }
    // Raster x = -0.5 (half a pixel left of the image) must not land in column 0.
    float side = 2.0f * std::tan(0.5f) / H;  // pixel side at distance 1
    clearImage();
    lightVertex(1, HPoint((-0.5f * W - 0.5f) * side * 2.0f, 0.0f, -2.0f, 1), n, lightObject);
    connect(0, 1);
    EXPECT_TRUE(litPixels().empty());
}

TEST_F(ConnectionTest, CloseVerticesAreCappedAndSameObjectPairsSkipped) {
    // An eye vertex 1 facing up, the emitter point 0.1 above it facing down.
    eye.length = 1;
    eye.vertices[1] = HitRecord();
    eye.vertices[1].point = HPoint(0, -1, -2, 1);
    eye.vertices[1].normal = HPoint(0, 1, 0, 1);
    eye.vertices[1].object = eyeObject;
    eye.eventProbability[1] = 0.5f;
    eye.throughput[1] = HPoint(0.5f, 0.25f, 1.0f, 1.0f);
    eye.isSpecular[1] = false;
    eye.emission[1] = HPoint(0, 0, 0, 1);
    light.length = 0;
    lightVertex(0, HPoint(0, -0.9f, -2, 1), HPoint(0, -1, 0, 1), lightObject);
    light.throughput[0] = HPoint(2, 2, 2, 1);
    connect(1, 0);
    // 1 / d^2 = 100 is capped at 20; cosines 1; divided by the eye probability.
    EXPECT_NEAR(image.pixels[0].x, 0.5f * 2.0f * 20.0f / 0.5f, 1e-4f);
    EXPECT_NEAR(image.pixels[0].y, 0.25f * 2.0f * 20.0f / 0.5f, 1e-4f);

    clearImage();
    lightVertex(0, HPoint(0, -0.9f, -2, 1), HPoint(0, -1, 0, 1), eyeObject);
    connect(1, 0);
    EXPECT_TRUE(litPixels().empty());
    // A specular eye vertex is not connected either.
    lightVertex(0, HPoint(0, -0.9f, -2, 1), HPoint(0, -1, 0, 1), lightObject);
    eye.isSpecular[1] = true;
    connect(1, 0);
    EXPECT_TRUE(litPixels().empty());
}

TEST_F(BidirectionalTest, ScenesWithoutEmittersRenderWithoutLightPaths) {
    read("<camera name='c' resx='3' resy='2'/><render camera_name='c'>"
         "<rendertype value='bidirectionalPathTracing'/></render>"
         "<object><sphere radius='0.5'/></object>");
    ColorImage frame;
    HPointImage radiance = render(frame);
    EXPECT_NE(console.find("The scene has no emitters: only emission seen from the camera is rendered.\n"),
              std::string::npos);
    for (int i = 0; i < 6; i++) EXPECT_EQ(radiance.pixels[i].x, 0.0f);

    GScene other;
    read(other, "<camera name='c' resx='3' resy='2'/><render camera_name='c'>"
                "<rendertype value='instantRadiosity'/></render><object><sphere radius='0.5'/></object>");
    render(other, frame);
    EXPECT_NE(console.find("The scene has no emitters: no virtual lights are made.\n"), std::string::npos);
    EXPECT_EQ(static_cast<InstantRadiosityCamera*>(other.camera)->virtualLights.size(), 0);
}

// One light walk without bounces leaves one virtual light at a point of the
// lamp: the floor pixel is albedo * (n . L) * colour * cos / (d^2 + 0.01).
TEST_F(BidirectionalTest, InstantRadiosityPixelFromOneVirtualLight) {
    read("<camera name='c' resx='1' resy='1' focal='0.5'><from x='0' y='1' z='3'/>"
         "<to x='0' y='0' z='0'/></camera>"
         "<render camera_name='c'><rendertype value='instantRadiosity'/></render>"
         "<shader type='generic' name='floor'><attributes><color r='0.5' g='0.4' b='0.3'/>"
         "</attributes></shader>" +
         std::string(emitterShader) +
         "<object shader_name='floor'><mesh><points><p x='-3' y='0' z='-3'/><p x='-3' y='0' z='3'/>"
         "<p x='3' y='0' z='3'/><p x='3' y='0' z='-3'/></points><faces><f a='0' b='1' c='2' d='3'/>"
         "</faces></mesh></object>"
         "<object shader_name='lamp'><mesh><points><p x='-0.5' y='2' z='-0.5'/><p x='0.5' y='2' z='-0.5'/>"
         "<p x='0' y='2' z='0.5'/></points><faces><f a='0' b='1' c='2'/></faces></mesh></object>");
    InstantRadiosityCamera* camera = static_cast<InstantRadiosityCamera*>(scene.camera);
    camera->lightPaths = 1;
    camera->maxBounces = 0;
    seedRandom(9);
    ColorImage frame;
    HPointImage radiance = render(frame);
    ASSERT_EQ(camera->virtualLights.size(), 1);
    SpotLight* light = static_cast<SpotLight*>(camera->virtualLights[0]);
    EXPECT_FLOAT_EQ(light->attenuation.z, 0.01f);
    EXPECT_NEAR(light->cutoffCosine, std::cos(1.5705f), 1e-7f);
    EXPECT_NEAR(light->direction.y, -1.0f, 1e-6f);
    // The pixel's ray goes through the view's centre: it meets the floor at the origin.
    HPoint toLight = light->location;
    float d2 = toLight.dot(toLight);
    toLight.normalize();
    float cone = -toLight.dot(light->direction);
    const float albedo[3] = {0.5f, 0.4f, 0.3f};
    const float colour[3] = {light->emissiveColor.x, light->emissiveColor.y, light->emissiveColor.z};
    for (int k = 0; k < 3; k++) {
        float expected = albedo[k] * toLight.y * colour[k] * cone / (d2 + 0.01f);
        float got = k == 0 ? radiance.at(0, 0).x : k == 1 ? radiance.at(0, 0).y : radiance.at(0, 0).z;
        EXPECT_NEAR(got, expected, 1e-4f * expected) << k;
    }
}

}  // namespace

namespace {

// The ten-vertex record bounds the walks: larger settings are refused.
TEST(BidirectionalSettings, WalkLengthsBeyondTheRecordAreRefused) {
    BidirectionalCamera camera;
    const CameraSettingTable* table = camera.settingTable();
    for (const char* name : {"maxEyeVertices", "maxLightVertices", "minEyeVertex", "minLightVertex"}) {
        const CameraSetting* row = table->find(name);
        ASSERT_NE(row, nullptr) << name;
        std::string error;
        EXPECT_FALSE(row->set(&camera, "10", error)) << name;
        EXPECT_EQ(error, "10 is outside 0 .. 9") << name;
        EXPECT_TRUE(row->set(&camera, "9", error)) << name;
    }
    EXPECT_EQ(camera.maxEyeVertices, 9);
}

}  // namespace
