// What a run tells a script: the exit status and the image of runs that
// render nothing, and the messages of settings and scenes that cannot do
// what they ask.
#include <gtest/gtest.h>

#include <string>

#include "foundation/Random.h"
#include "geometry/GScene.h"
#include "image/ColorImage.h"
#include "render/CameraSettings.h"
#include "render/PathTracingCamera.h"
#include "render/UberCamera.h"
#include "tests/TestSupport.h"
#include "tests/render/RenderTestSupport.h"

namespace {

const char* const viewedSphere =
    "view { view_from_pt 0 0 5 view_to_pt 0 0 0 view_up_vec 0 1 0 fovy 0.9 image_size 6 4 }\n"
    "sphere { center 0 0 0 radius 1 diffuse_color 0.8 0.2 0.2 }\n"
    "point_light { location 3 4 5 emissive_color 30 30 30 }\n";

TEST(RunOutcome, RunsThatRenderNothingEndWithStatusTwoAndWriteNoImage) {
    struct Case {
        const char* arguments;
        const char* said;  // on standard output or standard error
        bool stoppedBeforeLoadingEnded;
    } cases[] = {
        {"s.txt -set maxDepht 3", "-set: SimpleRaytracingCamera has no setting 'maxDepht'", true},
        {"s.txt -set maxDepth 3x", "-set maxDepth: '3x' is not an integer", true},
        {"s.txt -renderer uberPathTracing -set renderMode mlt -set samples 1",
         "nothing is rendered: set maxDepth to 3 or more.\n", false},
        {"missing.txt", "ERROR! the scene has no camera; nothing rendered\n", false},
        {"noview.txt", "ERROR! the scene has no camera; nothing rendered\n", false},
    };
    std::string dir = makeScratchDir();
    writeWholeFile(dir + "/s.txt", viewedSphere);
    writeWholeFile(dir + "/noview.txt", "sphere { center 0 0 0 radius 1 }\n");
    for (const Case& c : cases) {
        CommandResult result = runVelk(dir, std::string(c.arguments) + " -o out.ppm");
        EXPECT_EQ(result.status, 2) << c.arguments;
        EXPECT_NE((result.out + result.err).find(c.said), std::string::npos)
            << c.arguments << "\n" << result.out << result.err;
        EXPECT_EQ(result.out.find("scene load time") == std::string::npos, c.stoppedBeforeLoadingEnded)
            << c.arguments;
        EXPECT_FALSE(fileExists(dir + "/out.ppm")) << c.arguments;
        EXPECT_FALSE(fileExists(dir + "/image.ppm")) << c.arguments;
    }
    // The same scene with settings that are accepted renders as before.
    CommandResult accepted = runVelk(dir, "s.txt -set maxDepth 3 -o out.ppm");
    EXPECT_EQ(accepted.status, 0) << accepted.out << accepted.err;
    EXPECT_TRUE(fileExists(dir + "/out.ppm"));
}

// The README's hint for the uber renderer's Metropolis mode, as it is written there.
TEST(RunOutcome, ReadmeHintForTheUberMetropolisModeRenders) {
    std::string readme = readWholeFile(std::string(VELK_SOURCE_DIR) + "/README.md");
    size_t start = readme.find("`-set renderMode mlt");
    ASSERT_NE(start, std::string::npos);
    size_t end = readme.find('`', start + 1);
    ASSERT_NE(end, std::string::npos);
    std::string hint = readme.substr(start + 1, end - start - 1);
    std::string dir = makeScratchDir();
    writeWholeFile(dir + "/s.txt", viewedSphere);
    CommandResult result =
        runVelk(dir, "s.txt -seed 2 -renderer uberPathTracing " + hint + " -set samples 1 -o out.ppm");
    EXPECT_EQ(result.status, 0) << hint << "\n" << result.out << result.err;
    EXPECT_EQ(result.out.find("nothing is rendered"), std::string::npos) << result.out;
    EXPECT_TRUE(fileExists(dir + "/out.ppm"));
}

TEST(RunOutcome, TextChoicesIgnoreCaseAndListWithoutAnEmptyItem) {
    UberCamera camera;
    const CameraSetting* mode = camera.settingTable()->find("renderMode");
    ASSERT_NE(mode, nullptr);
    EXPECT_EQ(mode->rangeText(), "one of split, pathTracing, mlt (or empty)");
    std::string error;
    EXPECT_TRUE(mode->set(&camera, "MLT", error)) << error;
    EXPECT_EQ(camera.renderMode, "mlt");  // kept as the table spells it
    EXPECT_TRUE(mode->set(&camera, "PathTracing", error)) << error;
    EXPECT_EQ(camera.renderMode, "pathTracing");
    EXPECT_FALSE(mode->set(&camera, "metropolis", error));
    EXPECT_EQ(error, "'metropolis' is not one of split, pathTracing, mlt (or empty)");
    EXPECT_EQ(camera.renderMode, "pathTracing");
    EXPECT_TRUE(mode->set(&camera, "", error)) << error;
    EXPECT_EQ(camera.renderMode, "");
}

class RunOutcomeRender : public SceneInScratchFolder {};

TEST_F(RunOutcomeRender, PathTracerSaysTheSceneHasNoEmitters) {
    PathTracingCamera* camera = keep(new PathTracingCamera());
    camera->setView(HPoint(0, 0, 5, 1), HPoint(0, 0, 0, 1), HPoint(0, 1, 0, 1), 0.8f);
    camera->setResolution(3, 2);
    camera->samplesPerPixel = 1;
    camera->setScene(&scene);
    seedRandom(5);
    ColorImage frame;
    frame.resize(3, 2);
    captured([&] { camera->render(frame); });
    EXPECT_NE(console.find("The scene has no emitters: no direct light is sampled.\n"), std::string::npos)
        << console;
}

}  // namespace
