// Real RIB files of other programs: each loads with warnings for what the
// subset lacks, builds what the subset covers, and renders.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "geometry/GScene.h"
#include "geometry/GSphere.h"
#include "geometry/GTriangle.h"
#include "geometry/LBVHbox.h"
#include "io/rib/RibReader.h"
#include "render/SimpleRaytracingCamera.h"
#include "shading/DirectionalLight.h"
#include "tests/TestSupport.h"

namespace {

const double degrees = 3.14159265358979323846 / 180.0;

std::string corpus(const std::string& name) {
    const char* fromEnvironment = std::getenv("VELK_CORPUS_DIR");
    std::string root = fromEnvironment && *fromEnvironment ? fromEnvironment : VELK_CORPUS_DIR;
    return root + "/rib/" + name;
}

struct Loaded {
    bool ok = false;
    std::string out, err;
    int spheres = 0, meshes = 0, triangles = 0;
};

Loaded load(GScene& scene, const std::string& name) {
    Loaded result;
    RibReader reader(&scene);
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    result.ok = reader.readFile(corpus(name).c_str(), &scene);
    result.out = ::testing::internal::GetCapturedStdout();
    result.err = ::testing::internal::GetCapturedStderr();
    for (int i = 0; i < scene.objects.size(); i++) {
        GSceneObject* object = scene.objects.elementAt(i);
        if (object->isKindOf(ClassId::GSphere)) result.spheres++;
        if (object->isKindOf(ClassId::LBVHbox)) {
            result.meshes++;
            result.triangles += static_cast<LBVHbox*>(object)->objects.size();
        }
    }
    return result;
}

int occurrences(const std::string& text, const std::string& piece) {
    int count = 0;
    for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1))
        count++;
    return count;
}

class RibCorpusTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fileExists(corpus("spot.rib"))) GTEST_SKIP() << "no RIB corpus at " << corpus("");
    }
    GScene scene;
};

TEST_F(RibCorpusTest, Spot) {
    Loaded l = load(scene, "spot.rib");
    EXPECT_FALSE(l.ok);
    EXPECT_EQ(l.spheres, 1);
    EXPECT_EQ(l.triangles, 0);
    EXPECT_EQ(occurrences(l.out, "Color command invalid argument sizes\n"), 2);
    EXPECT_NE(l.out.find("Unhandled light shader spotlight\n"), std::string::npos);
    EXPECT_NE(l.out.find("Warning: Unhandled RIB data: Polygon\n"), std::string::npos);
    ASSERT_NE(scene.camera, nullptr);
    EXPECT_NEAR(scene.camera->fovy, 70 * degrees, 1e-6);
}

TEST_F(RibCorpusTest, MayaExportWithDepthOfField) {
    Loaded l = load(scene, "dof.0154.rib");
    EXPECT_EQ(l.spheres, 10);  // every NuPatch
    EXPECT_EQ(occurrences(l.out, "Warning: Unhandled RIB data: Scale\n"), 12);
    EXPECT_EQ(occurrences(l.out, "Unhandled surface shader s_pplastic\n"), 9);
    ASSERT_NE(scene.camera, nullptr);
    ASSERT_TRUE(scene.camera->isKindOf(ClassId::SimpleRaytracingCamera));
    SimpleRaytracingCamera* camera = static_cast<SimpleRaytracingCamera*>(scene.camera);
    EXPECT_EQ(camera->width, 640);
    EXPECT_EQ(camera->height, 480);
    EXPECT_EQ(camera->samplesPerPixel, 25);
    EXPECT_NEAR(camera->aperture, 1.0f, 1e-6f);
    EXPECT_EQ(camera->focalDistance, 112.0f);
    EXPECT_NEAR(camera->fovy, 32.9872 * degrees, 1e-6);
}

TEST_F(RibCorpusTest, HoudiniObjectsWithNormals) {
    Loaded l = load(scene, "l_uber.rib");
    EXPECT_EQ(l.meshes, 3);
    EXPECT_EQ(l.triangles, 336);
    EXPECT_EQ(l.spheres, 1);
    // The bare-number continuation line became a statement of its own.
    EXPECT_NE(l.out.find("Warning: Unhandled RIB data: 13\n"), std::string::npos);
    // One normal per point: smooth triangles.
    for (int i = 0; i < scene.objects.size(); i++) {
        GSceneObject* object = scene.objects.elementAt(i);
        if (!object->isKindOf(ClassId::LBVHbox)) continue;
        GTriangle* t = static_cast<GTriangle*>(static_cast<LBVHbox*>(object)->objects.elementAt(0));
        EXPECT_FALSE(t->flags & GTriangle::flat);
    }
}

TEST_F(RibCorpusTest, BmrtCornellBoxHasOnlyUnhandledGeometry) {
    Loaded l = load(scene, "cornell.rib");
    EXPECT_EQ(scene.objects.size(), 0);
    EXPECT_EQ(occurrences(l.out, "Warning: Unhandled RIB data: Polygon\n"), 15);
    ASSERT_NE(scene.camera, nullptr);
    EXPECT_EQ(scene.camera->width, 400);
    EXPECT_NEAR(scene.camera->fovy, 37 * degrees, 1e-6);
}

TEST_F(RibCorpusTest, InstancedPolygonAndStringHandles) {
    Loaded l = load(scene, "singlepolygon.rib");
    EXPECT_EQ(l.meshes, 12);
    EXPECT_EQ(l.triangles, 24);
    EXPECT_EQ(occurrences(l.out, "Opacity command invalid argument sizes\n"), 12);

    GScene named;
    Loaded n = load(named, "Object.rib");
    EXPECT_EQ(n.spheres, 6);
    ASSERT_NE(named.camera, nullptr);
    EXPECT_NEAR(named.camera->fovy, 35 * degrees, 1e-6);  // "uniform float fov" is not "fov"
}

TEST_F(RibCorpusTest, GeometryArchives) {
    Loaded signature = load(scene, "signature.rib");
    EXPECT_TRUE(signature.ok);
    EXPECT_EQ(signature.triangles, 132);
    EXPECT_EQ(scene.camera, nullptr);

    GScene lettering;
    Loaded ncca = load(lettering, "ncca/assets/ncca.rib");
    EXPECT_EQ(ncca.meshes, 1);
    EXPECT_EQ(ncca.triangles, 4588);

    GScene typedPoints;
    Loaded light = load(typedPoints, "ncca/assets/light.rib");
    EXPECT_FALSE(light.ok);
    EXPECT_EQ(light.out, "Read 1 lines, parsing... \n"
                         "Doesn't have points or homogeneous points - skipping\n"
                         "Done parsing scene\n");
}

TEST_F(RibCorpusTest, ArchiveChainsAndMissingArchives) {
    Loaded beauty = load(scene, "cornellbox/beauty_pass.rib");
    EXPECT_EQ(occurrences(beauty.out, "Read "), 4);  // the file and its three archives
    EXPECT_EQ(beauty.err, "");
    ASSERT_NE(scene.camera, nullptr);
    EXPECT_EQ(scene.camera->width, 400);
    EXPECT_NEAR(scene.camera->fovy, 34 * degrees, 1e-6);
    EXPECT_NEAR(scene.camera->from.z, -1.0f, 1e-6f);

    GScene modern;
    Loaded rgb = load(modern, "ncca/rgb.rib");
    EXPECT_FALSE(rgb.ok);
    EXPECT_NE(rgb.err.find("ncca/buddha.zip!buddha.rib'\n"), std::string::npos);
    EXPECT_NE(rgb.err.find("ncca/ncca.rib'\n"), std::string::npos);
    EXPECT_NE(modern.camera, nullptr);
}

TEST_F(RibCorpusTest, CompressedArchiveAndDistantLights) {
    Loaded bike = load(scene, "bike/bike.rib");
    EXPECT_NE(bike.out.find("bikeData.rib.gz is compressed; compressed RIB files are not "
                            "supported.\n"),
              std::string::npos);
    EXPECT_EQ(scene.lights.size(), 3);
    EXPECT_TRUE(scene.lights.elementAt(0)->isKindOf(ClassId::DirectionalLight));
    EXPECT_NE(scene.camera, nullptr);
}

TEST_F(RibCorpusTest, RenderManForMayaExports) {
    Loaded ascii = load(scene, "rfm_simpleShader/perspShape_Final.0001.rib");
    EXPECT_EQ(scene.objects.size(), 0);
    EXPECT_EQ(occurrences(ascii.out, "Warning: Unhandled RIB data: Option\n"), 38);
    ASSERT_NE(scene.camera, nullptr);
    EXPECT_EQ(scene.camera->width, 1280);

    // Binary encoding: nothing usable, nothing read outside the buffer.
    GScene binary;
    Loaded encoded = load(binary, "rfm_untitled/perspShape_Final.0001.rib");
    EXPECT_EQ(binary.objects.size(), 0);
    EXPECT_EQ(encoded.out.find('\x01'), std::string::npos);  // control bytes are escaped
}

TEST_F(RibCorpusTest, EveryFileRendersAtATinySize) {
    const char* files[] = {"spot.rib", "dof.0154.rib", "l_uber.rib", "cornell.rib",
                           "singlepolygon.rib", "Object.rib", "ncca/rgb.rib",
                           "cornellbox/beauty_pass.rib", "bike/bike.rib",
                           "rfm_simpleShader/perspShape_Final.0001.rib"};
    for (const char* file : files) {
        std::string dir = makeScratchDir();
        CommandResult result = runVelk(dir, "'" + corpus(file) + "' -size 6 4 -seed 1");
        EXPECT_EQ(result.status, 0) << file << "\n" << result.err;
        std::string image = readWholeFile(dir + "/image.ppm");
        EXPECT_EQ(image.size(), 6u * 4u * 3u + 11u) << file;
        EXPECT_EQ(image.substr(0, 11), "P6\n6 4\n255\n") << file;
    }
    // The files without a camera load and stop with the status of a run that renders nothing.
    for (const char* file : {"signature.rib", "ncca/assets/ncca.rib", "ncca/assets/light.rib",
                             "rfm_untitled/perspShape_Final.0001.rib"}) {
        std::string dir = makeScratchDir();
        CommandResult result = runVelk(dir, "'" + corpus(file) + "' -size 6 4");
        EXPECT_EQ(result.status, 2) << file;
        EXPECT_FALSE(fileExists(dir + "/image.ppm")) << file;
        EXPECT_NE(result.out.find("scene objects:"), std::string::npos) << file;
    }
}

}  // namespace
