// "-threads": the renderers whose light stays in its pixel give the same
// image, bytes and floating-point result, and the same ray count for every
// number of threads; a bad count leaves the run as it is without the option.
#include <gtest/gtest.h>

#include <string>

#include "tests/TestSupport.h"

namespace {

struct PixelLocalCase {
    const char* name;
    const char* scene;      // from the source tree's scenes folder
    const char* arguments;  // the renderer and a budget for a tiny image
};

// The native demo has planes and spheres, whose mailboxes also keep a ray off
// the surface it leaves; the Cornell box has meshes in hierarchies.
const PixelLocalCase pixelLocalCases[] = {
    {"rayTracing", "demo.txt", "-size 16 12"},
    {"adaptive", "demo.txt", "-size 17 13 -set subsampling 16"},
    {"stratified", "demo.txt", "-size 12 9 -set samplesPerPixel 4 -set aperture 0.2"},
    {"pathTracing", "cornell.xml", "-size 12 10 -renderer pathTracing -set samplesPerPixel 4 -set maxRayDepth 3"},
    {"instantRadiosity", "cornell.xml", "-size 12 10 -renderer instantRadiosity -set lightPaths 6"},
    {"spectral", "spectral.rib", "-size 8 6 -set samplesPerPixel 3"},
    {"uberPathTracing", "cornell.xml",
     "-size 10 8 -renderer uberPathTracing -set renderMode pathTracing -set samples 2"},
    {"uberSplitWithoutChains", "cornell.xml",
     "-size 10 8 -renderer uberPathTracing -set numSplits 0 -set samples 2 -set maxDepth 4"},
    {"misPathTracing", "cornell.xml", "-size 12 10 -renderer misPathTracing -set samplesPerPixel 2 -set maxDepth 3"},
};

struct RunOutput {
    std::string frame, radiance, rays;
};

// The last "N rays" figure of the console output.
std::string rayFigure(const std::string& out) {
    size_t at = out.rfind(" rays");
    if (at == std::string::npos) return "";
    size_t start = out.find_last_not_of("0123456789", at - 1);
    return out.substr(start + 1, at - start - 1);
}

RunOutput render(const std::string& folder, const PixelLocalCase& c, const std::string& threads) {
    std::string scene = std::string(VELK_SOURCE_DIR) + "/scenes/" + c.scene;
    CommandResult run = runVelkWithin(folder, "'" + scene + "' " + c.arguments + " -seed 7 " + threads +
                                                  " -radiance r.im -o f.ppm",
                                      60);
    EXPECT_EQ(run.status, 0) << c.name << " " << threads << "\n" << run.err;
    return {readWholeFile(folder + "/f.ppm"), readWholeFile(folder + "/r.im"), rayFigure(run.out)};
}

TEST(ParallelRenderers, PixelLocalRenderersGiveOneImageForEveryThreadCount) {
    for (const PixelLocalCase& c : pixelLocalCases) {
        std::string folder = makeScratchDir();
        RunOutput one = render(folder, c, "-threads 1");
        ASSERT_FALSE(one.frame.empty()) << c.name;
        EXPECT_FALSE(one.rays.empty()) << c.name;
        for (const char* threads : {"-threads 2", "-threads 3"}) {
            RunOutput more = render(folder, c, threads);
            EXPECT_TRUE(more.frame == one.frame) << c.name << " " << threads;
            EXPECT_TRUE(more.radiance == one.radiance) << c.name << " " << threads;
            EXPECT_EQ(more.rays, one.rays) << c.name << " " << threads;
        }
    }
}

TEST(ParallelRenderers, BadThreadCountsLeaveTheRunSingleThreaded) {
    const std::string scene = "'" + std::string(VELK_SOURCE_DIR) + "/scenes/cornell.xml' -size 6 5 -set samplesPerPixel 2 -seed 3";
    std::string folder = makeScratchDir();
    CommandResult plain = runVelkWithin(folder, scene + " -o f.ppm", 60);
    ASSERT_EQ(plain.status, 0);
    const std::string plainFrame = readWholeFile(folder + "/f.ppm");
    struct BadCase {
        const char* value;
        const char* line;
    } cases[] = {
        {"-2", "-threads -2: not a number of threads (0 for all, or 1 or more); rendering on one thread\n"},
        {"two", "-threads two: not a number of threads (0 for all, or 1 or more); rendering on one thread\n"},
        {"3x", "-threads 3x: not a number of threads (0 for all, or 1 or more); rendering on one thread\n"},
    };
    for (const BadCase& bad : cases) {
        CommandResult run = runVelkWithin(folder, scene + " -threads " + bad.value + " -o f.ppm", 60);
        EXPECT_EQ(run.status, 0) << bad.value;
        EXPECT_NE(run.out.find(bad.line), std::string::npos) << run.out;
        EXPECT_TRUE(readWholeFile(folder + "/f.ppm") == plainFrame) << bad.value;
    }
    CommandResult missing = runVelkWithin(folder, scene + " -threads", 60);
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("Index Out Of Bounds"), std::string::npos) << missing.err;
}

}  // namespace
