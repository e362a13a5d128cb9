// The command-line experiment controls: choosing the renderer, its settings,
// and keeping the floating-point result.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "app/Driver.h"
#include "foundation/Random.h"
#include "geometry/GScene.h"
#include "image/ColorImage.h"
#include "image/HPointImage.h"
#include "io/native/GSceneParser.h"
#include "io/native/Scanner.h"
#include "io/rib/RibReader.h"
#include "io/yafray/YafrayParser.h"
#include "render/CameraSettings.h"
#include "render/PathTracingCamera.h"
#include "render/SimpleRaytracingCamera.h"
#include "tests/TestSupport.h"

namespace {

const char* const whittedScene =
    "view { view_from_pt 0 1 5 view_to_pt 0 0 0 view_up_vec 0 1 0 fovy 0.9 image_size 24 16\n"
    "  background_color 0.1 0.1 0.3 ambient_color 0.1 0.1 0.1 subsampling 4 }\n"
    "sphere { center 0 0 0 radius 1 diffuse_color 0.8 0.2 0.2 specular_color 0.5 0.5 0.5\n"
    "  reflectivity 0.3 0.3 0.3 }\n"
    "plane { origin 0 -1 0 normal 0 1 0 }\n"
    "point_light { location 3 4 5 emissive_color 30 30 30 }\n";

// The line of text that starts with start replaced by line.
std::string replaceLine(const std::string& text, const std::string& start, const std::string& line) {
    size_t at = text.find("\n" + start);
    if (at == std::string::npos) return text;
    size_t end = text.find('\n', at + 1);
    return text.substr(0, at + 1) + line + (end == std::string::npos ? "" : text.substr(end));
}

// A small RIB Cornell box for the path tracer.
std::string pathTracedScene() {
    std::string rib = readWholeFile(std::string(VELK_SOURCE_DIR) + "/scenes/cornell.rib");
    rib = replaceLine(rib, "Format ", "Format 12 10 1");
    return replaceLine(rib, "PixelSamples ", "PixelSamples 2 2");
}

uint64_t fnv1a(const std::string& bytes) {
    uint64_t hash = 14695981039346656037ull;
    for (unsigned char c : bytes) hash = (hash ^ c) * 1099511628211ull;
    return hash;
}

// Console text without what changes from run to run: times ("0.123 sec.")
// and addresses ("@55d0c0ffee").
std::string stableText(const std::string& text) {
    std::string result;
    for (size_t i = 0; i < text.size();) {
        if (text[i] == '@') {
            result += "@ADDRESS";
            for (i++; i < text.size() && std::isxdigit((unsigned char)text[i]); i++) {
            }
            continue;
        }
        if (std::isdigit((unsigned char)text[i])) {
            size_t end = i;
            while (end < text.size() && (std::isdigit((unsigned char)text[end]) || text[end] == '.')) end++;
            if (text.compare(end, 5, " sec.") == 0) {
                result += "T sec.";
                i = end + 5;
                continue;
            }
            result.append(text, i, end - i);
            i = end;
            continue;
        }
        result += text[i++];
    }
    return result;
}

// Runs without any of the controls write what they wrote before the controls
// existed, byte for byte.
TEST(ExperimentControls, RunsWithoutTheControlsAreUnchanged) {
    std::string dir = makeScratchDir();
    writeWholeFile(dir + "/whitted.txt", whittedScene);
    writeWholeFile(dir + "/cornell.rib", pathTracedScene());
    CommandResult whitted = runVelk(dir, "whitted.txt -o w.ppm");
    ASSERT_EQ(whitted.status, 0);
    CommandResult pathTraced = runVelk(dir, "cornell.rib -seed 7 -o p.ppm");
    ASSERT_EQ(pathTraced.status, 0);
    EXPECT_EQ(fnv1a(readWholeFile(dir + "/w.ppm")), 4815357115773803905ull);
    EXPECT_EQ(fnv1a(stableText(whitted.out)), 6623775037252056481ull);
    // The path-traced image moved when the sub-pixel patterns were shuffled
    // into uniform permutations; its printed MSE moved with it.
    EXPECT_EQ(fnv1a(readWholeFile(dir + "/p.ppm")), 13376819332150495161ull);
    EXPECT_EQ(fnv1a(readWholeFile(dir + "/radImage.im")), 2615335102212702784ull);
    EXPECT_EQ(fnv1a(stableText(pathTraced.out)), 7895566721843048659ull);

    // Naming the scene's own renderer changes nothing.
    ASSERT_EQ(runVelk(dir, "whitted.txt -renderer rayTracing -o w2.ppm").status, 0);
    ASSERT_EQ(runVelk(dir, "cornell.rib -seed 7 -renderer pathTracing -o p2.ppm").status, 0);
    EXPECT_EQ(readWholeFile(dir + "/w2.ppm"), readWholeFile(dir + "/w.ppm"));
    EXPECT_EQ(readWholeFile(dir + "/p2.ppm"), readWholeFile(dir + "/p.ppm"));
}

// The second options pass over a command line given as words; its console
// text in printed.
void secondPass(std::initializer_list<const char*> words, GScene& scene, std::string* printed = nullptr) {
    JVector<char> arguments(8, -1);
    for (const char* word : words) arguments.add(const_cast<char*>(word));
    ::testing::internal::CaptureStdout();
    parseOptions(arguments, &scene, false);
    std::string text = ::testing::internal::GetCapturedStdout();
    if (printed) *printed = text;
}

class ExperimentControlsTest : public ::testing::Test {
protected:
    GlobalSettingsGuard settings;
    std::string dir = makeScratchDir();
    GScene scene;

    void loadWhittedScene() {
        writeWholeFile(dir + "/whitted.txt", whittedScene);
        resetScanner();
        GSceneParser parser(&scene);
        ::testing::internal::CaptureStdout();
        parser.parse((dir + "/whitted.txt").c_str());
        ::testing::internal::GetCapturedStdout();
        resetScanner();
        ASSERT_NE(scene.camera, nullptr);
    }
};

TEST_F(ExperimentControlsTest, TablesHoldTheCamerasDefaultsAndTheManualListsThem) {
    for (const CameraKind& kind : cameraKinds()) {
        if (!kind.create) continue;
        GCamera* camera = kind.create();
        ASSERT_EQ(camera->settingTable(), kind.table()) << kind.renderType;
        for (const CameraSetting& row : kind.table()->rows)
            EXPECT_EQ(row.valueText(camera), row.defaultValueText()) << kind.renderType << " " << row.name;
        delete camera;
    }
    std::string manual = readWholeFile(std::string(VELK_SOURCE_DIR) + "/velkManual.txt");
    EXPECT_NE(manual.find(settingsManualText()), std::string::npos)
        << "the manual's RENDERER SETTINGS must be the output of velk -listSettings";
}

TEST_F(ExperimentControlsTest, RendererReplacesTheCameraAndKeepsTheView) {
    loadWhittedScene();
    GCamera* old = scene.camera;
    secondPass({"velk", "whitted.txt", "-set", "samplesPerPixel", "9", "-renderer", "PATHTRACING",
                "-size", "12", "8"},
               scene);
    GCamera* camera = scene.camera;
    ASSERT_EQ(camera->typeId(), ClassId::PathTracingCamera);
    for (const HPoint* p : {&camera->from, &camera->to, &camera->up}) EXPECT_EQ(p->w, 1.0f);
    EXPECT_EQ(camera->from.y, old->from.y);
    EXPECT_EQ(camera->from.z, old->from.z);
    EXPECT_EQ(camera->to.x, old->to.x);
    EXPECT_EQ(camera->up.y, old->up.y);
    EXPECT_EQ(camera->fovy, old->fovy);
    EXPECT_EQ(camera->scene, &scene);
    // The other camera options reach the new camera, wherever they stand.
    EXPECT_EQ(camera->width, 12);
    EXPECT_EQ(camera->height, 8);
    EXPECT_EQ(static_cast<PathTracingCamera*>(camera)->samplesPerPixel, 9);

    // Renderers that do not exist (yet) leave the camera as it is.
    std::string printed;
    secondPass({"velk", "s", "-renderer", "raytrace"}, scene, &printed);
    EXPECT_EQ(printed.find("-renderer: there is no renderer 'raytrace' (renderers: rayTracing, pathTracing, "), 0u);
    EXPECT_EQ(scene.camera, camera);
    GScene empty;
    secondPass({"velk", "s", "-renderer", "rayTracing"}, empty, &printed);
    EXPECT_EQ(printed, "-renderer rayTracing: the scene has no camera whose view it could take; nothing is rendered.\n");
    EXPECT_EQ(empty.camera, nullptr);
}

// "-renderer" naming the scene's own kind keeps its camera; another kind
// takes every value the scene gave under the same name or its equivalent.
TEST_F(ExperimentControlsTest, RendererKeepsOrCarriesTheScenesSettings) {
    struct Case {
        const char* sceneFile;
        const char* renderer;
        bool sameCamera;
        std::vector<std::pair<const char*, const char*>> values;
    } cases[] = {
        {"cornell.xml", "pathTracing", true,
         {{"maxRayDepth", "5"}, {"samplesPerPixel", "64"}, {"toneMappingConstant", "2"}}},
        {"demo.txt", "RAYTRACING", true, {{"maxDepth", "5"}}},
        {"cornell.xml", "bidirectionalPathTracing", false,
         {{"maxEyeVertices", "5"}, {"samplesPerPixel", "64"}, {"exposure", "2"}, {"geometryCap", "20"}}},
        {"cornell.xml", "uberPathTracing", false,
         {{"maxDepth", "5"}, {"samples", "64"}, {"exposure", "2"}, {"minDepth", "2"}}},
        {"cornell.xml", "rayTracing", false,
         {{"maxDepth", "5"}, {"samplesPerPixel", "64"}, {"gain", "1"}}},
        {"demo.txt", "pathTracing", false,
         {{"maxRayDepth", "5"}, {"samplesPerPixel", "100"}, {"toneMappingConstant", "1"}}},
    };
    for (const Case& c : cases) {
        GScene loaded;
        resetScanner();
        GSceneParser parser(&loaded);
        ::testing::internal::CaptureStdout();
        parser.parse((std::string(VELK_SOURCE_DIR) + "/scenes/" + c.sceneFile).c_str());
        ::testing::internal::GetCapturedStdout();
        resetScanner();
        GCamera* old = loaded.camera;
        ASSERT_NE(old, nullptr) << c.sceneFile;
        std::string printed;
        secondPass({"velk", c.sceneFile, "-renderer", c.renderer}, loaded, &printed);
        EXPECT_EQ(printed, "") << c.sceneFile << " " << c.renderer;
        EXPECT_EQ(loaded.camera == old, c.sameCamera) << c.sceneFile << " " << c.renderer;
        const CameraSettingTable* table = loaded.camera->settingTable();
        ASSERT_EQ(table, findCameraKind(c.renderer)->table());
        for (auto [name, value] : c.values)
            EXPECT_EQ(table->find(name)->valueText(loaded.camera), value)
                << c.sceneFile << " " << c.renderer << " " << name;
    }
    // A value the new setting cannot take is said, and its default kept.
    YafrayParser xml(&scene);
    ::testing::internal::CaptureStdout();
    xml.parseText("<render maxRayDepth='12'><rendertype value='pathTracing'/></render>");
    ::testing::internal::GetCapturedStdout();
    std::string printed;
    secondPass({"velk", "s", "-renderer", "metropolis"}, scene, &printed);
    EXPECT_EQ(printed, "-renderer metropolis: maxEyeVertices stays 2, the scene's maxRayDepth 12 is outside 0 .. 8\n");
}

// "-settings" says where each value came from, and prints the view and the
// global settings that change the image.
TEST_F(ExperimentControlsTest, RendererOnTheDemoSceneRendersWithThePathTracer) {
    writeWholeFile(dir + "/path.txt", std::string(VELK_SOURCE_DIR) + "/scenes/\n");
    CommandResult result = runVelk(dir, std::string(VELK_SOURCE_DIR) +
                                            "/scenes/demo.txt -renderer pathTracing -size 8 6 -set "
                                            "samplesPerPixel 2 -seed 5 -epsilon 0.002 -settings -o demo.ppm");
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.out.find("RENDERER SETTINGS: pathTracing PathTracingCamera@"), std::string::npos);
    EXPECT_NE(result.out.find("\nwidth = 8\nheight = 6\nfrom = 0 2.4 9\nto = 0 1 0\nup = 0 1 0\n"
                              "fovy = 0.75 (radians)\n"
                              "maxRayDepth = 5 (carried over from maxDepth)\nsamplesPerPixel = 2 (-set)\n"
                              "toneMappingConstant = 1 (default)\n"
                              "seed = 5 (-seed)\nepsilon = 0.002\ntransparentShadows = 0\n"
                              "fakeCaustics = 1\nrayMarching = 0.25 0.3 3\nminObjectsInGrid = 15\n"),
              std::string::npos)
        << result.out;
    EXPECT_NE(result.out.find("path tracing 5 / 6"), std::string::npos);
    ColorImage frame;
    ASSERT_TRUE(frame.readImage((dir + "/demo.ppm").c_str()));
    EXPECT_EQ(frame.width, 8);
    EXPECT_EQ(frame.height, 6);

    // The scene file's own values, unchanged by naming its own renderer.
    CommandResult own = runVelk(dir, std::string(VELK_SOURCE_DIR) +
                                         "/scenes/cornell.xml -renderer pathTracing -settings -o c.xml");
    EXPECT_NE(own.out.find("\nmaxRayDepth = 5 (scene file)\nsamplesPerPixel = 64 (scene file)\n"
                           "toneMappingConstant = 2 (scene file)\nseed = "),
              std::string::npos)
        << own.out;
}

TEST_F(ExperimentControlsTest, SetChangesTheSampleCount) {
    // No objects: every ray the camera makes is a primary ray.
    auto raysWith = [](const char* samples) {
        GScene empty;
        PathTracingCamera* camera = new PathTracingCamera();
        camera->setView(HPoint(0, 0, 5, 1), HPoint(0, 0, 0, 1), HPoint(0, 1, 0, 1), 0.8f);
        camera->setResolution(5, 4);
        camera->setScene(&empty);
        empty.camera = camera;
        if (samples) secondPass({"velk", "s", "-set", "samplesPerPixel", samples}, empty);
        seedRandom(11);
        ColorImage frame;
        frame.resize(5, 4);
        ::testing::internal::CaptureStdout();
        camera->render(frame);
        ::testing::internal::GetCapturedStdout();
        return (int)camera->rayCounter - 1;  // the summary line counts one more
    };
    int four = raysWith("4");
    EXPECT_GE(four, 20);       // a pattern has at least one sample
    EXPECT_LE(four, 4 * 20);   // and with four asked for, at most the 2 x 2 grid
    EXPECT_GT(raysWith(nullptr), 50 * 20);  // the default asks for 100
}

TEST_F(ExperimentControlsTest, BadNamesAndValuesAreRefused) {
    loadWhittedScene();
    struct Case {
        const char* name;
        const char* value;
        const char* message;
    } cases[] = {
        {"maxDepht", "3",
         "-set: SimpleRaytracingCamera has no setting 'maxDepht'; its settings are: maxDepth, "
         "subsampling, maxColorDiff, attenuationCutoff, gain, samplesPerPixel, focalDistance, aperture\n"},
        {"maxDepth", "3x", "-set maxDepth: '3x' is not an integer; it stays 4\n"},
        {"maxDepth", "", "-set maxDepth: '' is not an integer; it stays 4\n"},
        {"maxDepth", "101", "-set maxDepth: 101 is outside 0 .. 100; it stays 4\n"},
        {"maxDepth", "99999999999999999999", "-set maxDepth: '99999999999999999999' is not an integer; it stays 4\n"},
        {"gain", "nan", "-set gain: 'nan' is not a number; it stays 1\n"},
        {"gain", "-1", "-set gain: -1 is outside 0 .. 1e+30; it stays 1\n"},
        {"samplesPerPixel", "0", "-set samplesPerPixel: 0 is outside 1 .. 65536; it stays 1\n"},
        {"GAIN", "2.5", ""},
    };
    for (const Case& c : cases) {
        std::string printed;
        secondPass({"velk", "s", "-set", c.name, c.value}, scene, &printed);
        EXPECT_EQ(printed, c.message) << c.name << " " << c.value;
    }
    SimpleRaytracingCamera* camera = static_cast<SimpleRaytracingCamera*>(scene.camera);
    EXPECT_EQ(camera->maxDepth, 4);
    EXPECT_EQ(camera->samplesPerPixel, 1);
    EXPECT_FLOAT_EQ(camera->gain, 2.5f);
    EXPECT_EXIT(secondPass({"velk", "s", "-set", "gain"}, scene), ::testing::ExitedWithCode(1),
                "Index Out Of Bounds");
}

TEST_F(ExperimentControlsTest, SceneFilesSetSettingsByName) {
    YafrayParser xml(&scene);
    ::testing::internal::CaptureStdout();
    xml.parseText("<render AA_minsamples='3' maxRayDepth='6' toneMappingConstant='bright'>"
                  "<rendertype value='pathTracing'/></render>");
    std::string printed = ::testing::internal::GetCapturedStdout();
    PathTracingCamera* pathTracer = static_cast<PathTracingCamera*>(scene.camera);
    EXPECT_EQ(pathTracer->samplesPerPixel, 3);
    EXPECT_EQ(pathTracer->maxRayDepth, 6);
    EXPECT_FLOAT_EQ(pathTracer->toneMappingConstant, 1.0f);
    EXPECT_NE(printed.find("render: toneMappingConstant: 'bright' is not a number; it stays 1\n"),
              std::string::npos);

    GScene rib;
    RibReader reader(&rib);
    ::testing::internal::CaptureStdout();
    reader.readText("Attribute \"vq317Setting\" \"renderType\" [\"rayTracing\"]\n"
                    "Attribute \"vq317Setting\" \"attenuationCutoff\" [0.5]\n"
                    "Attribute \"vq317Setting\" \"rayDepth\" [2]\nWorldBegin\nWorldEnd\n");
    ::testing::internal::GetCapturedStdout();
    ASSERT_NE(rib.camera, nullptr);
    SimpleRaytracingCamera* rayTracer = static_cast<SimpleRaytracingCamera*>(rib.camera);
    EXPECT_FLOAT_EQ(rayTracer->attenuationCutoff, 0.5f);
    EXPECT_EQ(rayTracer->maxDepth, 2);
}

TEST_F(ExperimentControlsTest, RadianceFiles) {
    writeWholeFile(dir + "/cornell.rib", pathTracedScene());
    CommandResult pathTraced = runVelk(dir, "cornell.rib -seed 3 -radiance kept.im -o p.ppm");
    ASSERT_EQ(pathTraced.status, 0);
    std::string kept = readWholeFile(dir + "/kept.im");
    EXPECT_EQ(kept.compare(0, 11, "PNM-HPOINT\n"), 0);
    EXPECT_EQ(kept, readWholeFile(dir + "/radImage.im"));

    // The ray tracer's radiance is its frame, in colours of 0 .. 1.
    writeWholeFile(dir + "/whitted.txt", whittedScene);
    CommandResult whitted = runVelk(dir, "whitted.txt -radiance frame.im -o w.ppm");
    ASSERT_EQ(whitted.status, 0);
    ColorImage frame;
    ASSERT_TRUE(frame.readImage((dir + "/w.ppm").c_str()));
    HPointImage colors, expected;
    ASSERT_TRUE(colors.read((dir + "/frame.im").c_str()));
    expected.fromColorImage(frame);
    ASSERT_EQ(colors.width, expected.width);
    ASSERT_EQ(colors.height, expected.height);
    EXPECT_EQ(colors.squaredError(expected), 0.0);

    // A radiance file that cannot be written is said, and the image still is.
    CommandResult unwritable = runVelk(dir, "whitted.txt -radiance no/such/folder.im -o w2.ppm");
    EXPECT_EQ(unwritable.status, 0);
    EXPECT_NE(unwritable.out.find("could not write the radiance image 'no/such/folder.im'\n"), std::string::npos);
    EXPECT_TRUE(fileExists(dir + "/w2.ppm"));
}

}  // namespace
