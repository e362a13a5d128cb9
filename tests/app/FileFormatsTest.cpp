// The driver's file formats by name: PNG frames, EXR and PFM radiance, and a
// shape block's texture in any image format.
#include <gtest/gtest.h>

#include <string>

#include "image/ColorImage.h"
#include "image/EncodedImageFiles.h"
#include "image/HPointImage.h"
#include "image/RadianceFiles.h"
#include "tests/TestSupport.h"

namespace {

// A unit quad in z = 0 whose texture coordinates are its x and y, under a
// point light, seen from the front: every pixel sees the texture.
std::string texturedScene(const char *texture) {
    return std::string(
               "view { view_from_pt 0.5 0.5 1.2 view_to_pt 0.5 0.5 0 view_up_vec 0 1 0 fovy 0.6 "
               "image_size 12 12 background_color 0 0 0 }\n"
               "point_light { location 0.5 0.5 3 emissive_color 1 1 1 }\n"
               "shape { file \"quad.ply\" diffuse_color 1 1 1 texture_image \"") +
           texture + "\" }\n";
}

const char *quadPly = "ply\nformat ascii 1.0\nelement vertex 4\nproperty float x\nproperty float "
                      "y\nproperty float z\n"
                      "element face 1\nproperty list uchar int vertex_indices\nend_header\n"
                      "0 0 0\n1 0 0\n1 1 0\n0 1 0\n4 0 1 2 3\n";

} // namespace

TEST(FileFormats, ATexturedSceneRendersAlikeFromPpmAndPngAndItsFrameAsPng) {
    if (!encodedImagesAvailable())
        GTEST_SKIP() << "built without stb";
    std::string dir = makeScratchDir();
    writeWholeFile(dir + "/quad.ply", quadPly);
    // A 2 x 2 texture of four colours, once as P6 and once as PNG.
    ColorImage texture(2, 2);
    texture.setPixel(0, 0, packPixel(255, 0, 0, 0));
    texture.setPixel(1, 0, packPixel(0, 255, 0, 0));
    texture.setPixel(0, 1, packPixel(0, 0, 255, 0));
    texture.setPixel(1, 1, packPixel(255, 255, 255, 0));
    std::string problem;
    ASSERT_TRUE(texture.writePPM((dir + "/tex.ppm").c_str()));
    ASSERT_TRUE(writePNG(texture, (dir + "/tex.png").c_str(), problem)) << problem;

    std::string frames[2];
    const char *names[2] = {"tex.ppm", "tex.png"};
    for (int i = 0; i < 2; i++) {
        writeWholeFile(dir + "/scene.txt", texturedScene(names[i]));
        CommandResult run = runVelk(dir, "scene.txt -o frame.ppm");
        ASSERT_EQ(run.status, 0) << run.out << run.err;
        frames[i] = readWholeFile(dir + "/frame.ppm");
    }
    EXPECT_EQ(frames[0], frames[1]);
    // The texture shows: the frame's bottom-left quarter is red, its top-right white.
    ColorImage frame;
    ASSERT_TRUE(frame.readImage((dir + "/frame.ppm").c_str()));
    uint32_t lowLeft = frame.getPixel(2, 2), highRight = frame.getPixel(9, 9);
    EXPECT_GT(lowLeft & 0xFF, 0u);
    EXPECT_EQ((lowLeft >> 8) & 0xFF, 0u);
    EXPECT_GT((highRight >> 8) & 0xFF, 0u);

    // The same render written as PNG holds the PPM's pixels.
    CommandResult png = runVelk(dir, "scene.txt -o frame.PNG");
    ASSERT_EQ(png.status, 0) << png.err;
    ColorImage fromPng;
    ASSERT_TRUE(readTextureImage(fromPng, (dir + "/frame.PNG").c_str(), problem)) << problem;
    ASSERT_EQ(fromPng.width, frame.width);
    for (int y = 0; y < frame.height; y++)
        for (int x = 0; x < frame.width; x++)
            ASSERT_EQ(fromPng.getPixel(x, y), frame.getPixel(x, y));

    // A texture that cannot be read: one line naming it, the colour untextured.
    writeWholeFile(dir + "/bad.png", "\x89PNG\r\n\x1a\n");
    writeWholeFile(dir + "/scene.txt", texturedScene("bad.png"));
    CommandResult bad = runVelk(dir, "scene.txt -o bad.ppm");
    EXPECT_EQ(bad.status, 0);
    EXPECT_NE(
        bad.out.find("texture_image 'bad.png' could not be read (truncated or corrupt PNG image ("),
        std::string::npos)
        << bad.out;
}

TEST(FileFormats, RadianceByExtensionAndTheConversionTool) {
    std::string dir = makeScratchDir();
    writeWholeFile(dir + "/quad.ply", quadPly);
    writeWholeFile(
        dir + "/scene.txt",
        "view { view_from_pt 0.5 0.5 1.2 view_to_pt 0.5 0.5 0 view_up_vec 0 1 0 fovy 0.6 "
        "image_size 6 4 }\npoint_light { location 0.5 0.5 3 emissive_color 1 1 1 }\n"
        "shape { file \"quad.ply\" diffuse_color 1 0.5 0.25 }\n");
    std::string problem;
    const bool exr = radianceFormatAvailable(RadianceFormat::exr, problem);
    ASSERT_EQ(runVelk(dir, "scene.txt -radiance r.im").status, 0);
    HPointImage im;
    ASSERT_TRUE(im.read((dir + "/r.im").c_str()));
    for (const char *name : {"r.pfm", "r.exr"}) {
        std::string file = dir + "/" + name;
        CommandResult run = runVelk(dir, std::string("scene.txt -radiance ") + name);
        if (!exr && radianceFormatOf(name) == RadianceFormat::exr) {
            // Refused before the render, with one line.
            EXPECT_EQ(run.status, 2);
            EXPECT_NE(run.err.find("ERROR! -radiance r.exr: velk was built without OpenEXR"),
                      std::string::npos);
            continue;
        }
        ASSERT_EQ(run.status, 0) << run.out;
        HPointImage back;
        ASSERT_TRUE(readRadianceFile(back, file.c_str(), problem)) << problem;
        ASSERT_EQ(back.width, 6);
        for (int y = 0; y < 4; y++)
            for (int x = 0; x < 6; x++) {
                EXPECT_EQ(back.at(x, y).x, im.at(x, y).x) << name;
                EXPECT_EQ(back.at(x, y).z, im.at(x, y).z) << name;
            }
        // -imgconvert back to PNM-HPOINT, and -reference reads the format as well.
        ASSERT_EQ(runVelk(dir, std::string("-imgconvert ") + name + " back.im").status, 0);
        HPointImage converted;
        ASSERT_TRUE(converted.read((dir + "/back.im").c_str()));
        EXPECT_EQ(converted.at(3, 2).y, im.at(3, 2).y);
        CommandResult diff = runVelk(dir, std::string("-imgdiff ") + name + " r.im");
        EXPECT_EQ(diff.status, 0) << diff.out;
        EXPECT_NE(diff.out.find("MSE (over pixels and channels) 0,"), std::string::npos)
            << diff.out;
    }
    CommandResult missing = runVelk(dir, "-imgconvert absent.pfm x.im");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(
        missing.out.find("-imgconvert: 'absent.pfm' could not be read: the file cannot be opened"),
        std::string::npos);
}
