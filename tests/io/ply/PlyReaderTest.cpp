#include "io/ply/PlyReader.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cstring>
#include <string>

#include "foundation/Settings.h"
#include "geometry/GBoundingBox.h"
#include "geometry/GInverseTriangle.h"
#include "geometry/GScene.h"
#include "geometry/GVertex.h"
#include "shading/GMaterial.h"
#include "tests/TestSupport.h"

namespace {

const std::string corpus = std::string(VELK_CORPUS_DIR) + "/ply/";

MeshText textOf(const std::string& content) {
    MeshText text;
    text.assign(content.data(), content.size());
    return text;
}

// Loads a PLY text (first line included) into box the way a "shape" block does.
std::string loadText(GBoundingBox& box, GScene* scene, GMaterial* material, const std::string& content,
                     const GMatrix& transform = GMatrix()) {
    MeshText text = textOf(content);
    text.nextLine();  // "ply", consumed by the format check
    ::testing::internal::CaptureStdout();
    loadPly(box, scene, material, text, transform, "test.ply");
    return ::testing::internal::GetCapturedStdout();
}

const char* quadHeader =
    "ply\nformat ascii 1.0\ncomment a quad\nelement vertex 4\nproperty float x\nproperty float y\n"
    "property float z\nproperty float nx\nelement face 3\nproperty list uchar int vertex_index\nend_header\n";

}  // namespace

TEST(PlyReaderTest, HeaderCountsAndFormat) {
    MeshText cube = textOf(readWholeFile(corpus + "cube.ply"));
    PlyHeader header;
    readPlyHeader(cube, header);
    EXPECT_EQ(header.vertexCount, 8);
    EXPECT_EQ(header.faceCount, 6);
    EXPECT_TRUE(header.ended);
    EXPECT_FALSE(header.binary);
    EXPECT_STREQ(header.format, "ascii");
    EXPECT_STREQ(cube.nextLine(), "0 0 0");

    // A stray list property and no face element: no faces.
    MeshText stray = textOf(readWholeFile(corpus + "issue623.ply"));
    PlyHeader strayHeader;
    readPlyHeader(stray, strayHeader);
    EXPECT_EQ(strayHeader.vertexCount, 24);
    EXPECT_EQ(strayHeader.faceCount, 0);

    MeshText binary = textOf(readWholeFile(corpus + "cube_binary.ply"));
    PlyHeader binaryHeader;
    readPlyHeader(binary, binaryHeader);
    EXPECT_TRUE(binaryHeader.binary);
    EXPECT_STREQ(binaryHeader.format, "binary_little_endian");

    // No end_header: everything is header; bad and later counts.
    MeshText odd = textOf("ply\nelement vertex many\nelement face 7\nelement face -3\n1 2 3\n");
    PlyHeader oddHeader;
    readPlyHeader(odd, oddHeader);
    EXPECT_FALSE(oddHeader.ended);
    EXPECT_EQ(oddHeader.vertexCount, 0);
    EXPECT_EQ(oddHeader.faceCount, -3);
    EXPECT_EQ(odd.nextLine(), nullptr);
}

TEST(PlyReaderTest, QuadsFanAndExtraNumbersAreIgnored) {
    std::string content = std::string(quadHeader) +
                          "0 0 0 9\n2 0 0 9 9 9\n2 2 0\n0 2 0 1\n"
                          "4 0 1 2 3\n2 0 1\n3 3 2 1\n";
    GScene scene;
    GMaterial* material = new GMaterial();
    scene.allObjects.add(material);
    GBoundingBox box;
    GMatrix shift = GMatrix::translation(0, 0, 5);
    std::string out = loadText(box, &scene, material, content, shift);
    EXPECT_EQ(out, "total triangles = 3\n");
    ASSERT_EQ(box.objects.count, 3);
    GInverseTriangle* a = static_cast<GInverseTriangle*>(box.objects[0]);
    GInverseTriangle* b = static_cast<GInverseTriangle*>(box.objects[1]);
    GInverseTriangle* c = static_cast<GInverseTriangle*>(box.objects[2]);
    // (0, 1, 2) and (0, 2, 3); the face "2 0 1" makes none.
    EXPECT_EQ(a->vertices[0], b->vertices[0]);
    EXPECT_EQ(a->vertices[2], b->vertices[1]);
    EXPECT_EQ(c->vertices[0], b->vertices[2]);
    EXPECT_EQ(c->vertices[2], a->vertices[1]);
    EXPECT_TRUE(a->flags & GInverseTriangle::flat);
    EXPECT_EQ(a->getMaterial(), material);
    const GVertex* corner = a->vertices[1];
    EXPECT_EQ(corner->position.x, 2.0f);
    EXPECT_EQ(corner->position.z, 5.0f);
    EXPECT_EQ(corner->texCoord.z, 0.0f);
    EXPECT_EQ(corner->normal.x, 0.0f);  // normals keep the default
    EXPECT_FLOAT_EQ(box.boxMin.x, -2 * epsilon);
    EXPECT_FLOAT_EQ(box.boxMax.z, 5.0f + 2 * epsilon);
    EXPECT_EQ(scene.allObjects.count, 1 + 4 + 3);
    EXPECT_EQ(scene.emitters.count, 0);
}

TEST(PlyReaderTest, EmissiveMeshesAreEmittersAndLongFacesAreSkipped) {
    std::string content =
        "ply\nelement vertex 12\nelement face 2\nend_header\n"
        "0 0 0\n1 0 0\n1 1 0\n0 1 0\n0 0 1\n1 0 1\n1 1 1\n0 1 1\n2 0 0\n2 1 0\n2 2 0\n2 3 0\n"
        "11 0 1 2 3 4 5 6 7 8 9 10\n10 0 1 2 3 4 5 6 7 8 9\n";
    GScene scene;
    GMaterial* material = new GMaterial();
    material->setColor(GMaterial::emissive, HPoint(0, 0, 1, 0));
    scene.allObjects.add(material);
    GBoundingBox box;
    std::string out = loadText(box, &scene, material, content);
    EXPECT_EQ(out, "1 PLY faces with more than 10 vertices skipped\ntotal triangles = 8\n");
    EXPECT_EQ(box.objects.count, 8);
    EXPECT_EQ(scene.emitters.count, 8);
    EXPECT_EQ(scene.emitterCount, 8);
}

TEST(PlyReaderTest, CountsTheFileCannotBackLoadWhatIsThere) {
    // Two billion faces announced, one there.
    std::string content = "ply\nelement vertex 3\nelement face 2000000000\nend_header\n"
                          "0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n";
    GBoundingBox box;
    GMaterial material;
    std::string out = loadText(box, nullptr, &material, content);
    EXPECT_EQ(box.objects.count, 1);
    EXPECT_EQ(out, "total triangles = 1\n");
    // Two billion vertices announced: every line left is a vertex line.
    GScene scene;
    GBoundingBox vertices;
    loadText(vertices, &scene, &material,
             "ply\nelement vertex 2000000000\nelement face 1\nend_header\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n");
    EXPECT_EQ(vertices.objects.count, 0);
    EXPECT_EQ(scene.allObjects.count, 4);
    // Fewer vertex lines than announced: loading ends with the file.
    GBoundingBox cut;
    loadText(cut, nullptr, &material, "ply\nelement vertex 5\nelement face 1\nend_header\n0 0 0\n1 0 0\n");
    EXPECT_EQ(cut.objects.count, 0);
    GBoundingBox negative;
    loadText(negative, nullptr, &material, "ply\nelement vertex -4\nelement face -1\nend_header\n0 0 0\n");
    EXPECT_EQ(negative.objects.count, 0);
}

TEST(PlyReaderTest, BadIndicesEndTheProcess) {
    std::string header = "ply\nelement vertex 3\nelement face 1\nend_header\n0 0 0\n1 0 0\n0 1 0\n";
    EXPECT_EXIT(
        {
            GBoundingBox box;
            GMaterial material;
            loadText(box, nullptr, &material, header + "3 0 1 3\n");
        },
        ::testing::ExitedWithCode(1), "Index Out Of Bounds");
    EXPECT_EXIT(
        {
            GBoundingBox box;
            GMaterial material;
            loadText(box, nullptr, &material, header + "3 -1 1 2\n");
        },
        ::testing::ExitedWithCode(1), "Index Out Of Bounds");
    EXPECT_EXIT(
        {
            GBoundingBox box;
            GMaterial material;
            loadText(box, nullptr, &material, header + "3 0 1 2147483647\n");
        },
        ::testing::ExitedWithCode(1), "Index Out Of Bounds");
}

TEST(PlyReaderTest, CorpusMeshesLoadThroughShapeBoxes) {
    struct Expected {
        const char* name;
        int triangles;
        int vertices;
    };
    const Expected meshes[] = {{"cube.ply", 12, 8},
                               {"issue623.ply", 0, 24},
                               {"Wuson.ply", 3732, 11184},
                               {"bun_zipper_res4.ply", 948, 453},
                               {"bun_zipper.ply", 69451, 35947}};
    for (const Expected& mesh : meshes) {
        GScene scene;
        GBoundingBox* box = new GBoundingBox();
        scene.objects.add(box);
        GMaterial* material = new GMaterial();
        scene.allObjects.add(material);
        ::testing::internal::CaptureStdout();
        box->loadMesh((corpus + mesh.name).c_str(), &scene, material, GMatrix(), GMatrix());
        std::string out = ::testing::internal::GetCapturedStdout();
        EXPECT_EQ(box->objects.count, mesh.triangles) << mesh.name;
        EXPECT_EQ(scene.allObjects.count, 1 + mesh.vertices + mesh.triangles) << mesh.name;
        EXPECT_NE(out.find("total triangles = " + std::to_string(mesh.triangles)), std::string::npos);
        EXPECT_EQ(box->gridBuilt, mesh.triangles > minObjectsInGrid) << mesh.name;
        if (mesh.triangles == 0) continue;
        // A ray from above the box's centre down onto the mesh hits it.
        HPoint centre((box->boxMin.x + box->boxMax.x) * 0.5f, box->boxMax.y + 1.0f,
                      (box->boxMin.z + box->boxMax.z) * 0.5f);
        GRay ray(0, centre, HPoint(0, -1, 0));
        HitRecord hit;
        hit.t = FLT_MAX;
        EXPECT_TRUE(scene.closestHit(ray, hit)) << mesh.name;
    }
}

TEST(PlyReaderTest, CornerCountsBelowThreeMakeNoTriangles) {
    // The smallest int as a corner count once overflowed the fan's bound.
    const char* counts[] = {"-2147483648", "-1", "0", "1", "2"};
    for (const char* count : counts) {
        GBoundingBox box;
        std::string out = loadText(box, nullptr, nullptr,
                                   std::string("ply\nelement vertex 3\nelement face 1\nend_header\n"
                                               "0 0 0\n1 0 0\n0 1 0\n") +
                                       count + " 0 1 2\n");
        EXPECT_EQ(0, box.objects.count) << count;
        EXPECT_NE(std::string::npos, out.find("total triangles = 0\n")) << count;
    }
}
