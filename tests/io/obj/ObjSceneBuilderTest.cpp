#include "io/obj/ObjSceneBuilder.h"

#include <gtest/gtest.h>

#include <string>

#include "geometry/GScene.h"
#include "geometry/GTriangle.h"
#include "geometry/LBVHbox.h"
#include "image/ColorImage.h"
#include "io/native/GSceneParser.h"
#include "io/native/Scanner.h"
#include "io/obj/ObjReader.h"
#include "io/rib/RibReader.h"
#include "shading/GMaterial.h"
#include "tests/TestSupport.h"

namespace {

const std::string boxes = std::string(VELK_CORPUS_DIR) + "/obj/cornellbox/";

TEST(ObjScene, CornellBoxesLoadWithTheirGroupsTrianglesAndEmitters) {
    if (!objFilesSupported()) GTEST_SKIP() << "built without tinyobjloader";
    struct Case {
        const char* file;
        int groups, triangles, emitters;
    };
    // Counted from the files: one group per "g" and material, n - 2 triangles
    // per n-cornered face; the lamp is two triangles in each.
    const Case cases[] = {
        {"CornellBox-Original.obj", 8, 36, 2},
        {"CornellBox-Mirror.obj", 8, 36, 2},
        {"CornellBox-Sphere.obj", 8, 2188, 2},
        {"CornellBox-Water.obj", 9, 7088, 2},
    };
    for (const Case& c : cases) {
        GScene scene;
        std::string path = boxes + c.file;
        testing::internal::CaptureStdout();
        EXPECT_TRUE(loadObjScene(path.c_str(), &scene));
        std::string printed = testing::internal::GetCapturedStdout();
        EXPECT_EQ("OBJ file '" + path + "': " + std::to_string(c.groups) + " groups, " +
                      std::to_string(c.triangles) + " triangles, " + std::to_string(c.emitters) +
                      " emitters\n",
                  printed.substr(printed.find("OBJ file '" + path + "': ")));
        ASSERT_EQ(c.groups, scene.objects.size()) << c.file;
        int triangles = 0;
        for (int i = 0; i < scene.objects.size(); i++) {
            ASSERT_TRUE(scene.objects[i]->isKindOf(ClassId::LBVHbox)) << c.file;
            triangles += static_cast<LBVHbox*>(scene.objects[i])->objects.size();
        }
        EXPECT_EQ(c.triangles, triangles) << c.file;
        EXPECT_EQ(c.emitters, scene.emitters.size()) << c.file;
        EXPECT_EQ(c.emitters, scene.emitterCount) << c.file;
        for (int i = 0; i < scene.emitters.size(); i++) {
            HPoint emission;
            scene.emitters[i]->getMaterial()->getRawColor(GMaterial::emissive, emission);
            EXPECT_GT(emission.x, 0.0f) << c.file;
        }
    }
}

// The frame's mean colour over a block of pixels, row 0 at the bottom.
HPoint blockMean(const ColorImage& image, int x0, int y0, int x1, int y1) {
    HPoint sum(0, 0, 0, 0);
    for (int y = y0; y < y1; y++)
        for (int x = x0; x < x1; x++) {
            uint32_t pixel = image.pixels[x + y * image.width];
            sum = HPoint(sum.x + (pixel & 0xff), sum.y + ((pixel >> 8) & 0xff),
                         sum.z + ((pixel >> 16) & 0xff), 0);
        }
    float n = (float)((x1 - x0) * (y1 - y0));
    return HPoint(sum.x / n, sum.y / n, sum.z / n, 0);
}

TEST(ObjScene, OriginalBoxShowsItsWallsAndALitFloorFromTheFramedView) {
    if (!objFilesSupported()) GTEST_SKIP() << "built without tinyobjloader";
    std::string dir = makeScratchDir();
    CommandResult result = runVelk(dir, "'" + boxes +
                                            "CornellBox-Original.obj' -size 32 32 -seed 3 "
                                            "-set samplesPerPixel 40 -o box.ppm");
    ASSERT_EQ(0, result.status) << result.out << result.err;
    EXPECT_NE(std::string::npos,
              result.out.find("The scene has no camera: bidirectionalPathTracing renders it (-renderer chooses another)\n"));
    ColorImage frame;
    ASSERT_TRUE(frame.readImage((dir + "/box.ppm").c_str()));
    ASSERT_EQ(32, frame.width);
    // The framed view fills the frame with the box's opening: the side walls
    // take about a fifth of the width on either side, the floor the bottom
    // fifth. Each block averages 32 pixels of 40 paths. Under the lamp's
    // (17, 12, 4) the walls' red : green is 17 x 0.63 : 12 x 0.065 = 14 on the
    // left, green : red 12 x 0.45 : 17 x 0.14 = 2.3 on the right, and the
    // white floor's red : green 1.45; the floor's direct light alone gives
    // it about 30 in red.
    HPoint left = blockMean(frame, 1, 12, 5, 20), right = blockMean(frame, 27, 12, 31, 20);
    HPoint floor = blockMean(frame, 12, 1, 20, 5);
    EXPECT_GT(left.x, 5.0f * left.y) << "red left wall";
    EXPECT_GT(left.x, 5.0f * left.z) << "red left wall";
    EXPECT_GT(right.y, 1.5f * right.x) << "green right wall";
    EXPECT_GT(right.y, 1.5f * right.z) << "green right wall";
    EXPECT_GT(floor.x, 8.0f) << "lit floor";
    EXPECT_GT(floor.x, 1.1f * floor.y) << "floor in the lamp's warm light";
    EXPECT_LT(floor.x, 3.0f * floor.y) << "white floor, not a red wall";
}

TEST(ObjScene, EveryRendererThatSuitsTheBoxesRendersThem) {
    if (!objFilesSupported()) GTEST_SKIP() << "built without tinyobjloader";
    std::string dir = makeScratchDir();
    // The ray tracer shows only emission and ambient light here (its lights
    // are point lights): it is left out.
    // The path tracer leaves out the first visible surface's direct light:
    // with its default depth of 1 it shows nothing.
    const char* const renderers[] = {"pathTracing -set maxRayDepth 3 -set samplesPerPixel 8",
                                     "bidirectionalPathTracing", "metropolis", "pathMetropolis",
                                     "instantRadiosity", "uberPathTracing", "spectralSample"};
    const char* const files[] = {"CornellBox-Original.obj", "CornellBox-Mirror.obj",
                                 "CornellBox-Sphere.obj", "CornellBox-Water.obj"};
    for (const char* file : files)
        for (const char* renderer : renderers) {
            // The large boxes once, with the default renderer.
            if (std::string(file) != files[0] && std::string(renderer) != renderers[1]) continue;
            CommandResult result = runVelkWithin(
                dir, "'" + boxes + file + "' -size 6 6 -seed 1 -renderer " + renderer + " -o f.ppm", 60);
            ASSERT_EQ(0, result.status) << file << " " << renderer << result.out << result.err;
            ColorImage frame;
            ASSERT_TRUE(frame.readImage((dir + "/f.ppm").c_str()));
            HPoint mean = blockMean(frame, 0, 0, 6, 6);
            EXPECT_GT(mean.x + mean.y + mean.z, 0.0f) << file << " " << renderer << " is black";
        }
}

}  // namespace

namespace {

// A lamp quad from the library and a triangle that names no material.
std::string writeLampObj(const std::string& dir) {
    writeWholeFile(dir + "/lamp.mtl", "newmtl lamp\nKd 0 0 0\nKe 4 4 4\n");
    writeWholeFile(dir + "/lamp.obj", "mtllib lamp.mtl\nv 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\n"
                                      "g lamp\nusemtl lamp\nf 1 2 3 4\ng plain\nusemtl (null)\nf 1 2 3\n");
    return dir + "/lamp.obj";
}

TEST(ObjScene, RibArchivesAndShapeBlocksTakeObjMeshes) {
    if (!objFilesSupported()) GTEST_SKIP() << "built without tinyobjloader";
    std::string path = writeLampObj(makeScratchDir());
    struct Case {
        const char* format;
        std::string text;
        int objects;
        int typeId;
    };
    const Case cases[] = {
        {"rib", "Translate 1 2 3\nReadArchive \"" + path + "\"\n", 2, ClassId::LBVHbox},
        {"native", "shape { file \"" + path + "\" translation 1 2 3 diffuse_color 0 1 0 }\n", 1,
         ClassId::GBoundingBox},
    };
    for (const Case& c : cases) {
        GScene scene;
        testing::internal::CaptureStdout();
        if (std::string(c.format) == "rib") {
            RibReader reader(&scene);
            reader.readText(c.text.c_str());
        } else {
            resetScanner();
            pushInputText(c.text.c_str());
            GSceneParser(&scene).parseNativeInput();
        }
        std::string printed = testing::internal::GetCapturedStdout();
        EXPECT_NE(std::string::npos, printed.find("usemtl '(null)' names no material read")) << c.format;
        ASSERT_EQ(c.objects, scene.objects.size()) << c.format << printed;
        EXPECT_EQ(c.typeId, scene.objects[0]->typeId()) << c.format;
        // Both lamp triangles, moved by (1, 2, 3).
        ASSERT_EQ(2, scene.emitters.size()) << c.format;
        HPoint min, max;
        for (int i = 0; i < scene.objects.size(); i++) scene.objects[i]->getBounds(min, max);
        GTriangle* lamp = static_cast<GTriangle*>(scene.emitters[0]);
        EXPECT_FLOAT_EQ(3.0f, lamp->vertices[0]->position.z) << c.format;
        EXPECT_GE(lamp->vertices[0]->position.x, 1.0f) << c.format;
        EXPECT_GE(lamp->vertices[0]->position.y, 2.0f) << c.format;
    }
}

}  // namespace
