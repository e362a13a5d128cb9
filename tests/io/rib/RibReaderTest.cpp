#include "io/rib/RibReader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>

#include "geometry/GScene.h"
#include "geometry/GSphere.h"
#include "geometry/LBVHbox.h"
#include "render/SimpleRaytracingCamera.h"
#include "tests/TestSupport.h"
#include "tests/io/rib/RibTestSupport.h"

namespace {

GSphere* sphereAt(GScene& scene, int i) {
    GSceneObject* object = scene.objects.elementAt(i);
    EXPECT_TRUE(object->isKindOf(ClassId::GSphere));
    return static_cast<GSphere*>(object);
}

void expectCenter(GScene& scene, int i, float x, float y, float z) {
    GSphere* sphere = sphereAt(scene, i);
    EXPECT_NEAR(sphere->center.x, x, 1e-5f) << "sphere " << i;
    EXPECT_NEAR(sphere->center.y, y, 1e-5f) << "sphere " << i;
    EXPECT_NEAR(sphere->center.z, z, 1e-5f) << "sphere " << i;
}

class RibReaderTest : public ::testing::Test {
protected:
    GScene scene;
    RibReader reader{&scene};
};

// ---------------------------------------------------------------------------
// Files and dispatch

TEST_F(RibReaderTest, ReportsStatementsAndUnhandledCommands) {
    RibRun run = runRib(reader, "version 3.03\n\nRotate 30 0 1 0\nDisplay \"x\" \"file\" \"rgb\"\n");
    EXPECT_TRUE(run.ok);
    EXPECT_EQ(run.out, framed(3,
                              "Warning: Unhandled RIB data: version\n"
                              "Warning: Unhandled RIB data: Rotate\n"));
}

TEST_F(RibReaderTest, BinaryCommandNamesAreShownEscapedAndCut) {
    std::string text = "\x01" "Bad" "\xff" "\n" + std::string(100, 'A') + "\n";
    RibRun run = runRib(reader, text);
    EXPECT_EQ(run.out, framed(2,
                              "Warning: Unhandled RIB data: \\x01Bad\\xff\n"
                              "Warning: Unhandled RIB data: " +
                                  std::string(64, 'A') + "...\n"));
}

TEST_F(RibReaderTest, MissingEmptyAndCompressedFiles) {
    std::string dir = makeScratchDir();
    writeWholeFile(dir + "/empty.rib", "");
    writeWholeFile(dir + "/packed.rib", std::string("\x1f\x8b\x08\x00garbage", 11));
    // A folder is refused (on standard error) and reads as empty.
    const struct {
        std::string path, out;
        bool openFailed;
    } cases[] = {
        {dir + "/absent.rib", "", true},
        {dir + "/empty.rib", "RIB Error! Could not load file.\n", false},
        {dir, "RIB Error! Could not load file.\n", false},
        {dir + "/packed.rib",
         "RIB Error! " + dir + "/packed.rib is compressed; compressed RIB files are not supported.\n",
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        RibRun run = readRib(reader, &scene, c.path);
        EXPECT_FALSE(run.ok);
        EXPECT_EQ(run.out, c.out);
        EXPECT_EQ(reader.openFailed, c.openFailed);
    }
}

// ---------------------------------------------------------------------------
// Blocks and attributes

TEST_F(RibReaderTest, MismatchedClosingCommandStillPopsOneState) {
    RibRun run = runRib(reader, "AttributeBegin\nTransformBegin\nAttributeEnd\n");
    EXPECT_FALSE(run.ok);
    EXPECT_EQ(run.out, framed(3, "Block error: Mismatched block types: 3 terminated by 4\n"));
    ASSERT_EQ(reader.states.size(), 2u);
    EXPECT_EQ(reader.top().blockType, ribAttributeBlock);
}

TEST_F(RibReaderTest, SurplusClosingCommandKeepsTheFileBlock) {
    RibRun run = runRib(reader, "FrameBegin\nFrameEnd\nFrameEnd\nSphere 1\n");
    EXPECT_FALSE(run.ok);
    EXPECT_EQ(run.out, framed(4,
                              "Block error: Mismatched block types: 0 terminated by 2\n"
                              "Block error: Too many closing blocks, removing the file block "
                              "from the stack is invalid.\n"));
    ASSERT_EQ(reader.states.size(), 1u);
    EXPECT_EQ(reader.top().blockType, ribFileBlock);
    EXPECT_EQ(scene.objects.size(), 1);  // the load went on
}

TEST_F(RibReaderTest, AttributesOutliveTransformBlocksButNotAttributeBlocks) {
    RibRun run = runRib(reader,
                        "TransformBegin\n"
                        "Attribute \"user\" \"kept\" [1]\n"
                        "TransformEnd\n"
                        "AttributeBegin\n"
                        "Attribute \"user\" \"dropped\" [2] \"also\" [\"x\"]\n"
                        "TransformBegin\n");
    EXPECT_TRUE(run.ok);
    EXPECT_TRUE(reader.hasAttribute("user", "kept"));
    EXPECT_TRUE(reader.hasAttribute("user", "dropped"));
    EXPECT_STREQ(reader.getAttribute("user", "also")->stringAt(0), "x");
    runRib(reader, "TransformEnd\nAttributeEnd\n");
    EXPECT_TRUE(reader.hasAttribute("user", "kept"));
    EXPECT_FALSE(reader.hasAttribute("user", "dropped"));
    EXPECT_EQ(reader.getAttribute("user", "dropped"), nullptr);
}

TEST_F(RibReaderTest, InnerAttributesHideOuterOnes) {
    EXPECT_EQ(reader.getAttribute("vq317Setting", "rayDepth")->intAt(0), 4);
    runRib(reader, "AttributeBegin\nAttribute \"vq317Setting\" \"rayDepth\" [7]\n");
    EXPECT_EQ(reader.getAttribute("vq317Setting", "rayDepth")->intAt(0), 7);
    runRib(reader, "AttributeEnd\n");
    EXPECT_EQ(reader.getAttribute("vq317Setting", "rayDepth")->intAt(0), 4);
}

TEST_F(RibReaderTest, StateIsCopiedOnPushAndRestoredOnPop) {
    runRib(reader, "Color [1 0 0]\nAttributeBegin\nColor [0 1 0]\nTranslate 1 2 3\n");
    EXPECT_EQ(reader.top().color[1], 1.0);
    EXPECT_EQ(reader.top().transform.m[7], 2.0);
    runRib(reader, "AttributeEnd\n");
    EXPECT_EQ(reader.top().color[0], 1.0);
    EXPECT_EQ(reader.top().color[1], 0.0);
    EXPECT_EQ(reader.top().transform.m[7], 0.0);
}

// ---------------------------------------------------------------------------
// Transformations

TEST_F(RibReaderTest, TransformIsTransposedFromRenderManLayout) {
    RibRun run = runRib(reader, "Transform [2 0 0 0  0 3 0 0  0 0 4 0  5 6 7 1]\nSphere 1\n");
    EXPECT_TRUE(run.ok);
    const double* m = reader.top().transform.m;
    EXPECT_EQ(m[0], 2.0);
    EXPECT_EQ(m[3], 5.0);
    EXPECT_EQ(m[7], 6.0);
    EXPECT_EQ(m[11], 7.0);
    EXPECT_EQ(m[12], 0.0);
    expectCenter(scene, 0, 5, 6, 7);
}

TEST_F(RibReaderTest, LaterTransformsApplyFirstAsInRenderMan) {
    // Translate, then scale by 2: the translation is not scaled.
    runRib(reader,
           "Translate 1 0 0\n"
           "ConcatTransform [2 0 0 0  0 2 0 0  0 0 2 0  0 0 0 1]\n"
           "Sphere 1\n"
           "Translate 1 0 0\n"
           "Sphere 1\n");
    expectCenter(scene, 0, 1, 0, 0);
    expectCenter(scene, 1, 3, 0, 0);
    // "Transform" replaces whatever came before.
    runRib(reader, "Transform [1 0 0 0  0 1 0 0  0 0 1 0  0 0 9 1]\nSphere 1\n");
    expectCenter(scene, 2, 0, 0, 9);
}

TEST_F(RibReaderTest, TransformErrorsFailTheStatement) {
    RibRun run = runRib(reader,
                        "Transform 1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1\n"
                        "ConcatTransform [1 0 0]\n"
                        "Translate 1 2\n");
    EXPECT_FALSE(run.ok);
    EXPECT_EQ(run.out, framed(3,
                              "Bad Transform Syntax\n"
                              "Array is not of size 16\n"
                              "Bad translate syntax.  Expected dx dy dz, only have 2 arguments\n"));
    for (int i = 0; i < 16; i++) EXPECT_EQ(reader.top().transform.m[i], (i % 5 == 0) ? 1.0 : 0.0);
}

TEST_F(RibReaderTest, WorldBeginKeepsTheCameraTransformAndResets) {
    runRib(reader, "Translate 0 0 5\nWorldBegin\nSphere 1\nWorldEnd\n");
    EXPECT_EQ(reader.cameraTransform.m[11], 5.0);
    EXPECT_EQ(reader.top().transform.m[11], 5.0);  // the file block's, again
    expectCenter(scene, 0, 0, 0, 0);
    ASSERT_NE(scene.camera, nullptr);
    EXPECT_NEAR(scene.camera->from.z, -5.0f, 1e-6f);
}

// ---------------------------------------------------------------------------
// Object definitions

TEST_F(RibReaderTest, RecordedStatementsRunOnlyWhenInstanced) {
    RibRun run = runRib(reader,
                        "ObjectBegin 3\n"
                        "Sphere 1\n"
                        "Bogus\n"
                        "ObjectEnd\n");
    EXPECT_TRUE(run.ok);
    EXPECT_EQ(run.out, framed(4, ""));  // even the unknown command waits
    EXPECT_EQ(scene.objects.size(), 0);
    EXPECT_EQ(reader.objectDefinitions["3"].size(), 2u);

    run = runRib(reader, "Translate 2 0 0\nObjectInstance 3\nObjectInstance 3.0\n");
    EXPECT_EQ(run.out, framed(3,
                              "Warning: Unhandled RIB data: Bogus\n"
                              "Warning: Unhandled RIB data: Bogus\n"));
    ASSERT_EQ(scene.objects.size(), 2);
    expectCenter(scene, 1, 2, 0, 0);
}

TEST_F(RibReaderTest, NamedAndNumberedHandlesAreDistinct) {
    runRib(reader,
           "ObjectBegin \"1\"\nSphere 1\nObjectEnd\n"
           "ObjectBegin 1\nSphere 2\nSphere 2\nObjectEnd\n"
           "ObjectBegin \"ball\"\nSphere 3\nObjectEnd\n");
    runRib(reader, "ObjectInstance \"ball\"\nObjectInstance \"1\"\n");
    ASSERT_EQ(scene.objects.size(), 2);
    EXPECT_EQ(sphereAt(scene, 0)->radius, 3.0f);
    EXPECT_EQ(sphereAt(scene, 1)->radius, 1.0f);
}

TEST_F(RibReaderTest, ObjectErrors) {
    RibRun run = runRib(reader,
                        "ObjectBegin\n"
                        "ObjectInstance\n"
                        "ObjectInstance 12\n"
                        "ObjectBegin 5\nObjectInstance 5\nSphere 1\nObjectEnd\n"
                        "ObjectInstance 5\n");
    EXPECT_FALSE(run.ok);
    EXPECT_EQ(run.out, framed(8,
                              "Error in RIB: ObjectBegin requires 1 argument, has 0\n"
                              "Error in RIB: ObjectInstance requires 1 argument, has 0\n"
                              "Warning: ObjectInstance of undefined object 12\n"
                              "Error in RIB: object 5 instances itself; skipped\n"));
    EXPECT_EQ(scene.objects.size(), 1);
}

TEST_F(RibReaderTest, LongInstancingChainsStop) {
    // Object i instances object i + 1, 300 deep: refused at depth 256.
    std::string text;
    for (int i = 0; i < 300; i++)
        text += "ObjectBegin " + std::to_string(i) + "\nObjectInstance " + std::to_string(i + 1) +
                "\nObjectEnd\n";
    text += "ObjectBegin 300\nSphere 1\nObjectEnd\nObjectInstance 0\n";
    RibRun run = runRib(reader, text);
    EXPECT_FALSE(run.ok);
    EXPECT_NE(run.out.find("Error in RIB: objects nested more than 256 deep at object 256; skipped\n"),
              std::string::npos);
    EXPECT_EQ(scene.objects.size(), 0);
}

TEST_F(RibReaderTest, InstancingFileFromTheTestScenes) {
    RibRun run = readRib(reader, &scene, std::string(VELK_SOURCE_DIR) + "/tests/scenes/rib/instancing.rib");
    EXPECT_TRUE(run.ok);
    EXPECT_EQ(run.out, framed(20, ""));
    ASSERT_EQ(scene.objects.size(), 5);
    expectCenter(scene, 0, -2, 0, 0);
    expectCenter(scene, 1, -2, 1, 0);
    expectCenter(scene, 2, 2, 0, 0);
    expectCenter(scene, 3, 2, 1, 0);
    GSceneObject* wall = scene.objects.elementAt(4);
    ASSERT_TRUE(wall->isKindOf(ClassId::LBVHbox));
    EXPECT_EQ(static_cast<LBVHbox*>(wall)->objects.size(), 2);
    ASSERT_NE(scene.camera, nullptr);
    EXPECT_NEAR(scene.camera->from.z, -5.0f, 1e-6f);
}

// ---------------------------------------------------------------------------
// Archives

TEST_F(RibReaderTest, ArchivesResolveAgainstTheirOwnFolders) {
    std::string dir = std::string(VELK_SOURCE_DIR) + "/tests/scenes/rib/";
    RibRun run = readRib(reader, &scene, dir + "archives.rib");
    EXPECT_TRUE(run.ok);
    EXPECT_EQ(run.out, "Read 7 lines, parsing... \n"
                   "Read 3 lines, parsing... \nDone parsing scene\n"     // camera.rib
                   "Read 2 lines, parsing... \n"                         // lights.rib
                   "Read 1 lines, parsing... \nDone parsing scene\n"     // nested/ball.rib
                   "Done parsing scene\n"
                   "Read 1 lines, parsing... \nDone parsing scene\n"     // nested/ball.rib again
                   "Done parsing scene\n");
    EXPECT_EQ(reader.baseDirectory, dir);
    // The ball through lights.rib, the sphere of the main file, the ball again.
    ASSERT_EQ(scene.objects.size(), 3);
    EXPECT_EQ(sphereAt(scene, 0)->radius, 0.5f);
    expectCenter(scene, 0, 0, 0, 0);
    EXPECT_EQ(sphereAt(scene, 1)->radius, 0.25f);
    expectCenter(scene, 1, 1, 0, 0);
    expectCenter(scene, 2, 1, 0, 0);
    EXPECT_EQ(scene.lights.size(), 1);
    // Camera settings came from the archive before the world block.
    ASSERT_NE(scene.camera, nullptr);
    EXPECT_EQ(scene.camera->width, 8);
    EXPECT_EQ(scene.camera->height, 6);
    EXPECT_NEAR(scene.camera->fovy, 50.0f * 3.14159265f / 180.0f, 1e-6f);
}

TEST_F(RibReaderTest, BackslashNamesWorkFromAnyFolder) {
    // The top file itself named with backslashes, and an archive two folders down.
    std::string dir = makeScratchDir();
    std::string sub = dir + "/parts";
    std::string deeper = sub + "/more";
    ASSERT_EQ(std::system(("mkdir -p '" + deeper + "'").c_str()), 0);
    writeWholeFile(dir + "/top.rib", "ReadArchive \"parts\\more\\ball.rib\"\nSphere 2\n");
    writeWholeFile(deeper + "/ball.rib", "Sphere 1\n");
    std::string backslashed = dir + "/top.rib";
    for (char& c : backslashed) if (c == '/') c = '\\';
    EXPECT_TRUE(readRib(reader, &scene, backslashed).ok);
    ASSERT_EQ(scene.objects.size(), 2);
    EXPECT_EQ(sphereAt(scene, 0)->radius, 1.0f);
    EXPECT_EQ(reader.baseDirectory, dir + "/");
}

TEST_F(RibReaderTest, ArchiveErrors) {
    std::string dir = makeScratchDir();
    writeWholeFile(dir + "/loop.rib", "ReadArchive \"loop.rib\"\n");
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(reader.readFile((dir + "/loop.rib").c_str(), &scene));
    reader.baseDirectory = dir + "/";
    bool ok = reader.readText("ReadArchive \"absent.rib\"\nReadArchive\n");
    std::string out = ::testing::internal::GetCapturedStdout();
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_FALSE(ok);
    EXPECT_EQ(out, framed(1, "RIB Error! " + dir + "/loop.rib is already being read; not reading it again.\n") +
                       framed(2, "ReadArchive needs 1 argument, only has 0\n"));
    EXPECT_EQ(err, "ERROR! could not open file '" + dir + "/absent.rib'\n");
}

// ---------------------------------------------------------------------------
// Truncated input

TEST_F(RibReaderTest, AFileEndingInsideTheWorldStillGetsItsCamera) {
    RibRun run = runRib(reader, "Format 4 3 1\nWorldBegin\nAttributeBegin\nSphere 1\nColor [1 0");
    EXPECT_EQ(run.out, framed(5, "Error in Rib file: Unterminated array\n"
                                 "Color command invalid argument sizes\n") +
                           "Block error: The file ended inside a world block; building the camera.\n");
    ASSERT_NE(scene.camera, nullptr);
    EXPECT_TRUE(scene.camera->isKindOf(ClassId::SimpleRaytracingCamera));
    EXPECT_EQ(scene.camera->width, 4);
    EXPECT_EQ(reader.states.size(), 1u);
    // Without a world block there is no camera.
    GScene geometryOnly;
    RibReader second(&geometryOnly);
    runRib(second, "AttributeBegin\nSphere 1\n");
    EXPECT_EQ(geometryOnly.camera, nullptr);
}

}  // namespace
