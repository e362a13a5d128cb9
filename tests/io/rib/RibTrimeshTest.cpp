#include "io/rib/RibTrimesh.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "geometry/GRay.h"
#include "geometry/GScene.h"
#include "geometry/HitRecord.h"
#include "io/rib/RibMatrix.h"
#include "io/rib/RibReader.h"
#include "shading/GMaterial.h"
#include "tests/TestSupport.h"
#include "tests/io/rib/RibTestSupport.h"

namespace {

// A unit square in z = 0 as two triangles, plus one more vertex.
const std::vector<float> squarePoints = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, 5, 5, 5};
const std::vector<uint32_t> squareTriangles = {0, 1, 2, 0, 2, 3};

std::string header(uint32_t vertices, uint32_t triangles) {
    std::string bytes;
    for (uint32_t value : {vertices, triangles})
        for (int i = 0; i < 4; i++) bytes += (char)(value >> (8 * i));
    return bytes;
}

class RibTrimeshTest : public ::testing::Test {
protected:
    std::string dir = makeScratchDir();
    GScene scene;
    RibReader reader{&scene};
    void SetUp() override { reader.baseDirectory = dir + "/"; }
};

TEST_F(RibTrimeshTest, WrittenFileHasTheDocumentedLayout) {
    ASSERT_TRUE(writeTrimeshFile((dir + "/m.tri").c_str(), {1.0f, 2.0f, 3.0f}, {0, 0x123456, 0}));
    std::string bytes = readWholeFile(dir + "/m.tri");
    ASSERT_EQ(bytes.size(), 8u + 12u + 9u);
    EXPECT_EQ(bytes.substr(0, 8), header(1, 1));
    // 1.0f little-endian.
    EXPECT_EQ(bytes.substr(8, 4), std::string("\x00\x00\x80\x3f", 4));
    EXPECT_EQ(bytes.substr(23, 3), std::string("\x56\x34\x12", 3));
}

TEST_F(RibTrimeshTest, RibCommandLoadsTransformedFlatTriangles) {
    ASSERT_TRUE(writeTrimeshFile((dir + "/mesh.tri").c_str(), squarePoints, squareTriangles));
    RibRun run = runRib(reader, "Surface \"vq317surface\"\nTranslate 0 0 2\nTrimesh \"mesh.tri\"\n");
    EXPECT_TRUE(run.ok);
    EXPECT_EQ(run.out, framed(3, "Reading Binary Trimesh " + dir + "/mesh.tri\n"
                                 "HELLO THERE\n\n"
                                 "I see 5 vertices and 2 triangles \n"
                                 "done reading points\n"
                                 "done transforming points \n"
                                 "done reading \n"));
    ASSERT_EQ(scene.objects.size(), 1);
    TrimeshBox* mesh = static_cast<TrimeshBox*>(scene.objects.elementAt(0));
    ASSERT_TRUE(mesh->isKindOf(ClassId::LBVHbox));
    EXPECT_EQ(mesh->triangleCount, 2u);
    EXPECT_EQ(mesh->vertexCount, 5u);
    EXPECT_EQ(mesh->vertices[2].position.z, 2.0f);
    EXPECT_EQ(mesh->vertices[4].position.z, 7.0f);
    EXPECT_EQ(mesh->vertices[0].material, reader.top().surface);
    EXPECT_TRUE(mesh->triangles[1].flags & GTriangle::flat);
    // Only the material and the box are registered; the arrays belong to the box.
    EXPECT_EQ(scene.allObjects.size(), 2);
    EXPECT_EQ(scene.allObjects.elementAt(1), mesh);

    // A ray down the z axis meets the square at z = 2.
    GRay ray(0, HPoint(0.25f, 0.5f, 10.0f, 1.0f), HPoint(0.0f, 0.0f, -1.0f, 1.0f));
    HitRecord hit;
    hit.t = 1e30f;
    ASSERT_TRUE(mesh->intersect(ray, hit));
    EXPECT_NEAR(hit.t, 8.0f, 1e-5f);
}

TEST_F(RibTrimeshTest, EmittingTrimeshTrianglesAreNotEmitters) {
    ASSERT_TRUE(writeTrimeshFile((dir + "/mesh.tri").c_str(), squarePoints, squareTriangles));
    runRib(reader, "AreaLightSource \"arealight\" 1\nTrimesh \"mesh.tri\"\n");
    EXPECT_EQ(scene.objects.size(), 1);
    EXPECT_EQ(scene.emitters.size(), 0);
    EXPECT_EQ(scene.emitterCount, 0);
}

TEST_F(RibTrimeshTest, TrianglesWithAnIndexPastTheVerticesAreSkipped) {
    // Index 5 equals the vertex count; 0xffffff is far past it.
    ASSERT_TRUE(writeTrimeshFile((dir + "/bad.tri").c_str(), squarePoints,
                                 {0, 1, 2, 0, 5, 1, 2, 3, 0, 0xffffff, 0, 1}));
    ::testing::internal::CaptureStdout();
    TrimeshBox* mesh = readTrimeshFile((dir + "/bad.tri").c_str(), nullptr, RibMatrix());
    std::string out = ::testing::internal::GetCapturedStdout();
    ASSERT_NE(mesh, nullptr);
    EXPECT_EQ(out, "Reading Binary Trimesh " + dir + "/bad.tri\nHELLO THERE\n\n"
                   "I see 5 vertices and 4 triangles \n"
                   "done reading points\ndone transforming points \n"
                   "1 3 \ndone reading \n");
    EXPECT_EQ(mesh->triangleCount, 2u);
    EXPECT_EQ(mesh->objects.size(), 2);
    delete mesh;
}

TEST_F(RibTrimeshTest, FilesShorterThanTheirCountsAreRefused) {
    std::string path = dir + "/lying.tri";
    // Counts of four billion in an 8-byte file: refused before any allocation.
    writeWholeFile(path, header(0xffffffffu, 0xffffffffu));
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(readTrimeshFile(path.c_str(), nullptr, RibMatrix()), nullptr);
    std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "Reading Binary Trimesh " + path + "\nHELLO THERE\n\n"
                   "Trimesh file " + path + " holds 8 bytes, but 4294967295 vertices and "
                   "4294967295 triangles need 90194313203; not read\n");

    // One byte short, and a file shorter than its counts.
    ASSERT_TRUE(writeTrimeshFile(path.c_str(), squarePoints, squareTriangles));
    std::string good = readWholeFile(path);
    for (const std::string& bytes : {good.substr(0, good.size() - 1), good.substr(0, 5)}) {
        writeWholeFile(path, bytes);
        ::testing::internal::CaptureStdout();
        EXPECT_EQ(readTrimeshFile(path.c_str(), nullptr, RibMatrix()), nullptr);
        std::string message = ::testing::internal::GetCapturedStdout();
        EXPECT_NE(message.find("; not read\n"), std::string::npos) << message;
    }
    // Bytes after the triangles are read past, with one line saying so.
    writeWholeFile(path, good + "xyz");
    ::testing::internal::CaptureStdout();
    TrimeshBox* mesh = readTrimeshFile(path.c_str(), nullptr, RibMatrix());
    std::string message = ::testing::internal::GetCapturedStdout();
    ASSERT_NE(mesh, nullptr);
    EXPECT_EQ(mesh->triangleCount, 2u);
    EXPECT_NE(message.find("Trimesh file " + path + ": the 3 bytes after its 5 vertices and 2 triangles are ignored\n"),
              std::string::npos)
        << message;
    delete mesh;
}

TEST_F(RibTrimeshTest, MissingAndEmptyMeshes) {
    RibRun run = runRib(reader, "Trimesh \"absent.tri\"\nTrimesh\n");
    EXPECT_FALSE(run.ok);
    EXPECT_EQ(run.out, framed(2, "Reading Binary Trimesh " + dir + "/absent.tri\nHELLO THERE\n\n"
                                 "Unable to read " + dir + "/absent.tri\n"
                                 "Trimesh needs 1 argument, only has 0\n"));
    // A folder is not a mesh file.
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(readTrimeshFile(dir.c_str(), nullptr, RibMatrix()), nullptr);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "ERROR! '" + dir + "' is not a regular file; not read\n");
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "Reading Binary Trimesh " + dir + "\nHELLO THERE\n\nUnable to read " + dir + "\n");
    // No triangles: nothing enters the scene.
    ASSERT_TRUE(writeTrimeshFile((dir + "/empty.tri").c_str(), squarePoints, {}));
    run = runRib(reader, "Trimesh \"empty.tri\"\n");
    EXPECT_TRUE(run.ok);
    EXPECT_EQ(scene.objects.size(), 0);
}

TEST_F(RibTrimeshTest, ArchiveFindsItsMeshBesideItself) {
    ASSERT_EQ(std::system(("mkdir -p '" + dir + "/models'").c_str()), 0);
    ASSERT_TRUE(writeTrimeshFile((dir + "/models/square.tri").c_str(), squarePoints, squareTriangles));
    writeWholeFile(dir + "/models/square.rib", "Trimesh \"square.tri\"\n");
    writeWholeFile(dir + "/scene.rib", "ReadArchive \"models\\square.rib\"\n");
    EXPECT_TRUE(readRib(reader, &scene, dir + "/scene.rib").ok);
    EXPECT_EQ(scene.objects.size(), 1);
}

}  // namespace
