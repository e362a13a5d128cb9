// The RIB Cornell box of scenes/ rendered by the velk program with both
// renderers the RIB settings can choose, and the command line reaching the
// camera the file built.
#include <gtest/gtest.h>

#include <string>

#include "tests/TestSupport.h"

namespace {

std::string cornellText() { return readWholeFile(std::string(VELK_SOURCE_DIR) + "/scenes/cornell.rib"); }

// The scene file with another render type, written into dir.
void writeCornell(const std::string& dir, const std::string& renderType) {
    std::string text = cornellText();
    const std::string setting = "\"renderType\" [\"pathTracing\"]";
    size_t at = text.find(setting);
    ASSERT_NE(at, std::string::npos);
    text.replace(at, setting.size(), "\"renderType\" [\"" + renderType + "\"]");
    writeWholeFile(dir + "/cornell.rib", text);
}

// Pixel bytes of a binary PPM with the given size; empty when the header differs.
std::string pixelsOf(const std::string& file, int width, int height) {
    std::string header = "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
    if (file.compare(0, header.size(), header) != 0) return "";
    return file.substr(header.size());
}

int brightBytes(const std::string& pixels) {
    int count = 0;
    for (char c : pixels)
        if ((unsigned char)c > 20) count++;
    return count;
}

TEST(RibSceneFilesTest, CornellBoxWithThePathTracer) {
    std::string dir = makeScratchDir();
    writeCornell(dir, "pathTracing");
    CommandResult result = runVelk(dir, "cornell.rib -size 12 10 -seed 5");
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.out.find("scene objects: 6.\n"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("lights: 2.\n"), std::string::npos);  // the light's two triangles
    EXPECT_EQ(result.out.find("Warning"), std::string::npos);
    std::string pixels = pixelsOf(readWholeFile(dir + "/image.ppm"), 12, 10);
    ASSERT_EQ(pixels.size(), 12u * 10u * 3u);
    EXPECT_GT(brightBytes(pixels), 30);
    EXPECT_TRUE(fileExists(dir + "/temp.ppm"));  // the path tracer's own progress image
}

TEST(RibSceneFilesTest, CornellBoxWithTheRayTracerPreviewsThenSupersamples) {
    std::string dir = makeScratchDir();
    writeCornell(dir, "rayTracing");
    CommandResult result = runVelk(dir, "cornell.rib -size 12 10 -seed 5 -o box.ppm");
    ASSERT_EQ(result.status, 0) << result.err;
    std::string pixels = pixelsOf(readWholeFile(dir + "/box.ppm"), 12, 10);
    ASSERT_EQ(pixels.size(), 12u * 10u * 3u);
    EXPECT_GT(brightBytes(pixels), 100);
    // "PixelSamples 4 4": the adaptive preview first.
    EXPECT_EQ(pixelsOf(readWholeFile(dir + "/preview.ppm"), 12, 10).size(), 12u * 10u * 3u);

    // The command line reaches the camera the file built: no gain, no light.
    std::string dark = makeScratchDir();
    writeCornell(dark, "rayTracing");
    result = runVelk(dark, "cornell.rib -size 5 4 -gain 0");
    ASSERT_EQ(result.status, 0);
    pixels = pixelsOf(readWholeFile(dark + "/image.ppm"), 5, 4);
    ASSERT_EQ(pixels.size(), 5u * 4u * 3u);
    EXPECT_EQ(brightBytes(pixels), 0);
}

TEST(RibSceneFilesTest, TestScenesRenderFromTheirOwnFolder) {
    // Archives are found relative to the file, whatever the working folder.
    std::string dir = makeScratchDir();
    CommandResult result =
        runVelk(dir, "'" + std::string(VELK_SOURCE_DIR) + "/tests/scenes/rib/archives.rib' -seed 2");
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err.find("could not open file '" + std::string(VELK_SOURCE_DIR)), std::string::npos)
        << result.err;
    EXPECT_NE(result.out.find("scene objects: 3.\n"), std::string::npos);
    EXPECT_EQ(pixelsOf(readWholeFile(dir + "/image.ppm"), 8, 6).size(), 8u * 6u * 3u);
}

}  // namespace
