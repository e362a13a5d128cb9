// Every bundled scene renders with every renderer it is meant for: a run at
// 8 x 8 pixels ends normally, writes its image, finds all its files and
// shows some light.
#include <gtest/gtest.h>

#include <string>

#include "image/ColorImage.h"
#include "tests/TestSupport.h"

namespace {

struct SceneRun {
    const char* scene;
    const char* options;
};

const SceneRun runs[] = {
    {"demo.txt", ""},
    {"meshes.txt", ""},
    {"pointcloud.txt", ""},
    {"pointcloud.txt", "-renderer pathTracing -set samplesPerPixel 4 -set maxRayDepth 3"},
    {"cornell.rib", "-set samplesPerPixel 2"},
    {"cornell.rib", "-renderer uberPathTracing -set samples 2 -set maxDepth 3"},
    {"cornell.rib", "-renderer uberPathTracing -set renderMode pathTracing -set samples 8 -set maxDepth 5 -set minDepth 0"},
    {"cornell.rib", "-renderer uberPathTracing -set renderMode mlt -set samples 4 -set maxDepth 3"},
    {"cornell.xml", "-set samplesPerPixel 2"},
    {"cornell.xml", "-renderer rayTracing"},
    {"cornell.xml", "-renderer bidirectionalPathTracing -set samplesPerPixel 2 -set maxEyeVertices 4"},
    {"cornell.xml", "-renderer instantRadiosity"},
    {"cornell.xml", "-renderer metropolis -set mutationsPerPixel 4"},
    {"cornell.xml", "-renderer pathMetropolis -set mutationsPerPixel 4"},
    {"cornell.xml", "-renderer uberPathTracing -set samples 2 -set maxDepth 3"},
    {"cornell.xml", "-renderer uberPathTracing -set renderMode pathTracing -set samples 4 -set minDepth 0"},
    {"cornell.xml", "-renderer uberPathTracing -set renderMode mlt -set samples 4 -set maxDepth 3"},
    {"cornell.xml", "-renderer spectralSample -set samplesPerPixel 6 -set maxDepth 3"},
    {"spectral.rib", "-set samplesPerPixel 6"},
    {"spectral_medium.rib", "-set samplesPerPixel 6"},
};

TEST(DemoScenesTest, EveryBundledSceneRendersWithItsRenderers) {
    const std::string source = VELK_SOURCE_DIR;
    std::string dir = makeScratchDir();
    // Scenes name their data relative to the source root.
    writeWholeFile(dir + "/path.txt", source + "/\n");
    for (const SceneRun& run : runs) {
        std::string arguments = source + "/scenes/" + run.scene + " -seed 2 -size 8 8 " + run.options + " -o out.ppm";
        CommandResult result = runVelk(dir, arguments);
        ASSERT_EQ(result.status, 0) << arguments << "\n" << result.err;
        EXPECT_EQ(result.out.find("bad file name"), std::string::npos) << arguments;
        EXPECT_EQ(result.out.find("not available yet"), std::string::npos) << arguments;
        EXPECT_EQ(result.out.find("nothing is rendered"), std::string::npos) << arguments;
        EXPECT_EQ(result.err.find("could not open file '" + source), std::string::npos) << arguments;
        ColorImage image;
        ASSERT_TRUE(image.readImage((dir + "/out.ppm").c_str())) << arguments;
        EXPECT_EQ(image.width, 8);
        EXPECT_EQ(image.height, 8);
        unsigned brightest = 0;
        for (int k = 0; k < 64; k++) {
            unsigned p = image.pixels[k];
            unsigned sum = (p & 255) + ((p >> 8) & 255) + ((p >> 16) & 255);
            if (sum > brightest) brightest = sum;
        }
        EXPECT_GT(brightest, 30u) << arguments;
    }
}

}  // namespace
