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

// ---------------------------------------------------------------------------
// Files and dispatch

TEST(RibReaderTest, ReportsStatementsAndUnhandledCommands) {
    GScene scene;
    RibReader reader(&scene);
    RibRun run = runRib(reader, "version 3.03\n\nRotate 30 0 1 0\nDisplay \"x\" \"file\" \"rgb\"\n");
    EXPECT_TRUE(run.ok);
    EXPECT_EQ(run.out, framed(3,
                              "Warning: Unhandled RIB data: version\n"
                              "Warning: Unhandled RIB data: Rotate\n"));
}

TEST(RibReaderTest, BinaryCommandNamesAreShownEscapedAndCut) {
    GScene scene;
    RibReader reader(&scene);
    std::string text = "\x01" "Bad" "\xff" "\n" + std::string(100, 'A') + "\n";
    RibRun run = runRib(reader, text);
    EXPECT_EQ(run.out, framed(2,
                              "Warning: Unhandled RIB data: \\x01Bad\\xff\n"
                              "Warning: Unhandled RIB data: " +
                                  std::string(64, 'A') + "...\n"));
}

TEST(RibReaderTest, MissingEmptyAndCompressedFiles) {
    std::string dir = makeScratchDir();
    GScene scene;
    RibReader reader(&scene);

    ::testing::internal::CaptureStdout();
    EXPECT_FALSE(reader.readFile((dir + "/absent.rib").c_str(), &scene));
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_TRUE(reader.openFailed);

    writeWholeFile(dir + "/empty.rib", "");
    ::testing::internal::CaptureStdout();
    EXPECT_FALSE(reader.readFile((dir + "/empty.rib").c_str(), &scene));
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "RIB Error! Could not load file.\n");
    EXPECT_FALSE(reader.openFailed);

    // A folder opens like a file on some systems; it reads as empty.
    ::testing::internal::CaptureStdout();
    EXPECT_FALSE(reader.readFile(dir.c_str(), &scene));
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "RIB Error! Could not load file.\n");

    writeWholeFile(dir + "/packed.rib", std::string("\x1f\x8b\x08\x00garbage", 11));
    ::testing::internal::CaptureStdout();
    EXPECT_FALSE(reader.readFile((dir + "/packed.rib").c_str(), &scene));
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "RIB Error! " + dir +
                  "/packed.rib is compressed; compressed RIB files are not supported.\n");
}

// ---------------------------------------------------------------------------
// Blocks and attributes

TEST(RibReaderTest, MismatchedClosingCommandStillPopsOneState) {
    GScene scene;
    RibReader reader(&scene);
    RibRun run = runRib(reader, "AttributeBegin\nTransformBegin\nAttributeEnd\n");
    EXPECT_FALSE(run.ok);
    EXPECT_EQ(run.out, framed(3, "Block error: Mismatched block types: 3 terminated by 4\n"));
    ASSERT_EQ(reader.states.size(), 2u);
    EXPECT_EQ(reader.top().blockType, ribAttributeBlock);
}

TEST(RibReaderTest, SurplusClosingCommandKeepsTheFileBlock) {
    GScene scene;
    RibReader reader(&scene);
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

TEST(RibReaderTest, AttributesOutliveTransformBlocksButNotAttributeBlocks) {
    GScene scene;
    RibReader reader(&scene);
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

TEST(RibReaderTest, InnerAttributesHideOuterOnes) {
    GScene scene;
    RibReader reader(&scene);
    EXPECT_EQ(reader.getAttribute("vq317Setting", "rayDepth")->intAt(0), 4);
    runRib(reader, "AttributeBegin\nAttribute \"vq317Setting\" \"rayDepth\" [7]\n");
    EXPECT_EQ(reader.getAttribute("vq317Setting", "rayDepth")->intAt(0), 7);
    runRib(reader, "AttributeEnd\n");
    EXPECT_EQ(reader.getAttribute("vq317Setting", "rayDepth")->intAt(0), 4);
}

TEST(RibReaderTest, StateIsCopiedOnPushAndRestoredOnPop) {
    GScene scene;
    RibReader reader(&scene);
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

TEST(RibReaderTest, TransformIsTransposedFromRenderManLayout) {
    GScene scene;
    RibReader reader(&scene);
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

TEST(RibReaderTest, LaterTransformsApplyFirstAsInRenderMan) {
    // Translate, then scale by 2: the translation is not scaled.
    GScene scene;
    RibReader reader(&scene);
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

TEST(RibReaderTest, TransformErrorsFailTheStatement) {
    GScene scene;
    RibReader reader(&scene);
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

TEST(RibReaderTest, WorldBeginKeepsTheCameraTransformAndResets) {
    GScene scene;
    RibReader reader(&scene);
    runRib(reader, "Translate 0 0 5\nWorldBegin\nSphere 1\nWorldEnd\n");
    EXPECT_EQ(reader.cameraTransform.m[11], 5.0);
    EXPECT_EQ(reader.top().transform.m[11], 5.0);  // the file block's, again
    expectCenter(scene, 0, 0, 0, 0);
    ASSERT_NE(scene.camera, nullptr);
    EXPECT_NEAR(scene.camera->from.z, -5.0f, 1e-6f);
}

// ---------------------------------------------------------------------------
// Object definitions

TEST(RibReaderTest, RecordedStatementsRunOnlyWhenInstanced) {
    GScene scene;
    RibReader reader(&scene);
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

TEST(RibReaderTest, NamedAndNumberedHandlesAreDistinct) {
    GScene scene;
    RibReader reader(&scene);
    runRib(reader,
           "ObjectBegin \"1\"\nSphere 1\nObjectEnd\n"
           "ObjectBegin 1\nSphere 2\nSphere 2\nObjectEnd\n"
           "ObjectBegin \"ball\"\nSphere 3\nObjectEnd\n");
    runRib(reader, "ObjectInstance \"ball\"\nObjectInstance \"1\"\n");
    ASSERT_EQ(scene.objects.size(), 2);
    EXPECT_EQ(sphereAt(scene, 0)->radius, 3.0f);
    EXPECT_EQ(sphereAt(scene, 1)->radius, 1.0f);
}

TEST(RibReaderTest, ObjectErrors) {
    GScene scene;
    RibReader reader(&scene);
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

TEST(RibReaderTest, LongInstancingChainsStop) {
    // Object i instances object i + 1, 300 deep: refused at depth 256.
    std::string text;
    for (int i = 0; i < 300; i++)
        text += "ObjectBegin " + std::to_string(i) + "\nObjectInstance " + std::to_string(i + 1) +
                "\nObjectEnd\n";
    text += "ObjectBegin 300\nSphere 1\nObjectEnd\nObjectInstance 0\n";
    GScene scene;
    RibReader reader(&scene);
    RibRun run = runRib(reader, text);
    EXPECT_FALSE(run.ok);
    EXPECT_NE(run.out.find("Error in RIB: objects nested more than 256 deep at object 256; skipped\n"),
              std::string::npos);
    EXPECT_EQ(scene.objects.size(), 0);
}

TEST(RibReaderTest, InstancingFileFromTheTestScenes) {
    GScene scene;
    RibReader reader(&scene);
    std::string path = std::string(VELK_SOURCE_DIR) + "/tests/scenes/rib/instancing.rib";
    ::testing::internal::CaptureStdout();
    EXPECT_TRUE(reader.readFile(path.c_str(), &scene));
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), framed(20, ""));
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

TEST(RibReaderTest, ArchivesResolveAgainstTheirOwnFolders) {
    GScene scene;
    RibReader reader(&scene);
    std::string dir = std::string(VELK_SOURCE_DIR) + "/tests/scenes/rib/";
    ::testing::internal::CaptureStdout();
    bool ok = reader.readFile((dir + "archives.rib").c_str(), &scene);
    std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_TRUE(ok);
    EXPECT_EQ(out, "Read 7 lines, parsing... \n"
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

TEST(RibReaderTest, BackslashNamesWorkFromAnyFolder) {
    // The top file itself named with backslashes, and an archive two folders down.
    std::string dir = makeScratchDir();
    std::string sub = dir + "/parts";
    std::string deeper = sub + "/more";
    ASSERT_EQ(std::system(("mkdir -p '" + deeper + "'").c_str()), 0);
    writeWholeFile(dir + "/top.rib", "ReadArchive \"parts\\more\\ball.rib\"\nSphere 2\n");
    writeWholeFile(deeper + "/ball.rib", "Sphere 1\n");
    std::string backslashed = dir + "/top.rib";
    for (char& c : backslashed) if (c == '/') c = '\\';
    GScene scene;
    RibReader reader(&scene);
    ::testing::internal::CaptureStdout();
    EXPECT_TRUE(reader.readFile(backslashed.c_str(), &scene));
    ::testing::internal::GetCapturedStdout();
    ASSERT_EQ(scene.objects.size(), 2);
    EXPECT_EQ(sphereAt(scene, 0)->radius, 1.0f);
    EXPECT_EQ(reader.baseDirectory, dir + "/");
}

TEST(RibReaderTest, ArchiveErrors) {
    std::string dir = makeScratchDir();
    writeWholeFile(dir + "/loop.rib", "ReadArchive \"loop.rib\"\n");
    GScene scene;
    RibReader reader(&scene);
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

TEST(RibReaderTest, AFileEndingInsideTheWorldStillGetsItsCamera) {
    GScene scene;
    RibReader reader(&scene);
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
