// The "shape" block and the mesh files of GBoundingBox: 'n' and 'c'
// polygons, "POINT_CLOUD" sphere sets, and what bad files do.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/Random.h"
#include "foundation/Settings.h"
#include "geometry/GBoundingBox.h"
#include "geometry/GInverseTriangle.h"
#include "geometry/GScene.h"
#include "geometry/GSphere.h"
#include "geometry/GVertex.h"
#include "image/PixelFunctions.h"
#include "io/native/GSceneParser.h"
#include "io/native/Scanner.h"
#include "shading/GMaterial.h"
#include "tests/TestSupport.h"

namespace {

class GBoundingBoxMeshTest : public ::testing::Test {
protected:
    std::string dir;
    void SetUp() override {
        dir = makeScratchDir();
        resetScanner();
    }
    void TearDown() override { resetScanner(); }

    std::string file(const std::string& name, const std::string& bytes) {
        std::string path = dir + "/" + name;
        writeWholeFile(path, bytes);
        return path;
    }
    // Parses one "shape" block (after its keyword) from text into box.
    bool parseBlock(GBoundingBox& box, GScene& scene, const std::string& block, std::string* out = nullptr) {
        resetScanner();
        pushInputText(block.c_str());
        ::testing::internal::CaptureStdout();
        bool ok = box.parse(&scene);
        std::string printed = ::testing::internal::GetCapturedStdout();
        if (out) *out = printed;
        return ok;
    }
};

GInverseTriangle* triangleAt(GBoundingBox& box, int i) {
    EXPECT_TRUE(box.objects[i]->isKindOf(ClassId::GInverseTriangle));
    return static_cast<GInverseTriangle*>(box.objects[i]);
}

void appendWord(std::string& bytes, uint32_t word) {
    for (int i = 0; i < 4; i++) bytes.push_back((char)((word >> (8 * i)) & 0xFF));
}

void appendFloat(std::string& bytes, float value) {
    uint32_t word;
    std::memcpy(&word, &value, sizeof word);
    appendWord(bytes, word);
}

std::string materialRecord(uint32_t ambient, uint32_t diffuse, uint32_t specular, uint32_t reflected,
                           uint32_t transmitted) {
    std::string record;
    appendWord(record, 0xDEADBEEFu);
    appendWord(record, ambient);
    appendWord(record, diffuse);
    appendWord(record, specular);
    appendWord(record, reflected);
    appendWord(record, transmitted);
    record.append(40, '\x7f');
    return record;
}

std::string sphereRecord(float x, float y, float z, float r, uint32_t materialWord, uint32_t color) {
    std::string record;
    appendFloat(record, x);
    appendFloat(record, y);
    appendFloat(record, z);
    appendFloat(record, r);
    appendWord(record, materialWord);
    appendWord(record, color);
    return record;
}

}  // namespace

TEST_F(GBoundingBoxMeshTest, PolygonsBecomeFansWithTransformedCorners) {
    std::string mesh = file("quad.n",
                            "n polygons\n2\n4\n"
                            "0 0 0 0 0 1\n1 0 0 0 0 1\n1 1 0 0 0 1\n0 1 0 0 0 1\n"
                            "3\n0 0 1 3 0 0\n1 0 1 3 0 0\n0 1 1 3 0 0\n");
    GScene scene;
    GBoundingBox* box = new GBoundingBox();
    scene.allObjects.add(box);
    // Scale first, then move: x' = 2 x + 1.
    ASSERT_TRUE(parseBlock(*box, scene,
                           "{ diffuse_color 0.5 0.25 1 emissive_color 0 0 0.5 scale 2 2 2 translation 1 0 0 "
                           "file \"" + mesh + "\" }"));
    ASSERT_EQ(box->objects.count, 3);
    GInverseTriangle* first = triangleAt(*box, 0);
    GInverseTriangle* second = triangleAt(*box, 1);
    GInverseTriangle* third = triangleAt(*box, 2);
    // Fan (V0, V1, V2), (V0, V2, V3) of the quad.
    EXPECT_EQ(first->vertices[0], second->vertices[0]);
    EXPECT_EQ(first->vertices[2], second->vertices[1]);
    EXPECT_EQ(first->flags, 0u);
    const GVertex* corner = second->vertices[2];
    EXPECT_FLOAT_EQ(corner->position.x, 1.0f);
    EXPECT_FLOAT_EQ(corner->position.y, 2.0f);
    EXPECT_FLOAT_EQ(corner->texCoord.x, 0.0f);
    EXPECT_FLOAT_EQ(corner->texCoord.y, 1.0f);
    // The normal (3, 0, 0) is normalised; scale and translation leave it alone.
    EXPECT_FLOAT_EQ(third->vertices[0]->normal.x, 1.0f);
    EXPECT_FLOAT_EQ(third->vertices[0]->position.z, 2.0f);
    GMaterial* material = first->getMaterial();
    ASSERT_NE(material, nullptr);
    EXPECT_FLOAT_EQ(material->colors[GMaterial::diffuse].y, 0.25f);
    // Emitting material: every triangle is an emitter.
    EXPECT_EQ(scene.emitters.count, 3);
    EXPECT_EQ(scene.emitterCount, 3);
    // 7 vertices, 3 triangles and the block's material went to allObjects.
    EXPECT_EQ(scene.allObjects.count, 1 + 1 + 7 + 3);
    // Bounds: the corners, epsilon from extend and epsilon more at the end.
    EXPECT_FLOAT_EQ(box->boxMin.x, 1.0f - 2 * epsilon);
    EXPECT_FLOAT_EQ(box->boxMax.y, 2.0f + 2 * epsilon);
    EXPECT_FALSE(box->gridBuilt);  // 3 objects: tested one by one
}

TEST_F(GBoundingBoxMeshTest, RotationsApplyAboutXThenYThenZToPointsAndNormals) {
    std::string mesh = file("one.n", "n\n1\n3\n0 1 0 0 1 0\n0 0 0 0 1 0\n1 0 0 0 1 0\n");
    GScene scene;
    GBoundingBox box;
    ASSERT_TRUE(parseBlock(box, scene, "{ rotation 1.5707964 1.5707964 0 file '" + mesh + "' }"));
    ASSERT_EQ(box.objects.count, 1);
    // (0, 1, 0): about x to (0, 0, 1), then about y to (1, 0, 0).
    const GVertex* top = triangleAt(box, 0)->vertices[0];
    EXPECT_NEAR(top->position.x, 1.0f, 1e-6f);
    EXPECT_NEAR(top->position.y, 0.0f, 1e-6f);
    EXPECT_NEAR(top->position.z, 0.0f, 1e-6f);
    EXPECT_NEAR(top->normal.x, 1.0f, 1e-6f);
    EXPECT_NEAR(top->normal.z, 0.0f, 1e-6f);
}

TEST_F(GBoundingBoxMeshTest, ColouredGroupsGetTheirOwnMaterials) {
    std::string mesh = file("groups.c",
                            "c\n2\n1\n3\n0 0 0 0 0 1\n1 0 0 0 0 1\n0 1 0 0 0 1\n0.1 0.2 0.3\n"
                            "1\n3\n0 0 1 0 0 1\n1 0 1 0 0 1\n0 1 1 0 0 1\n0.7 0.8 0.9\n");
    GScene scene;
    GBoundingBox box;
    ASSERT_TRUE(parseBlock(box, scene, "{ specular_color 0.5 0.5 0.5 file \"" + mesh + "\" }"));
    ASSERT_EQ(box.objects.count, 2);
    GMaterial* firstMaterial = triangleAt(box, 0)->getMaterial();
    GMaterial* secondMaterial = triangleAt(box, 1)->getMaterial();
    ASSERT_NE(firstMaterial, secondMaterial);
    EXPECT_FLOAT_EQ(firstMaterial->colors[GMaterial::diffuse].x, 0.1f);
    EXPECT_EQ(firstMaterial->colors[GMaterial::diffuse].w, 0.0f);
    EXPECT_FLOAT_EQ(secondMaterial->colors[GMaterial::diffuse].z, 0.9f);
    // The copy keeps the block's other attributes.
    EXPECT_FLOAT_EQ(secondMaterial->colors[GMaterial::specular].x, 0.5f);
    EXPECT_EQ(scene.emitters.count, 0);
    // Block material, its copy, 6 vertices, 2 triangles.
    EXPECT_EQ(scene.allObjects.count, 10);
}

TEST_F(GBoundingBoxMeshTest, UnknownFormatsAndMissingFilesLoadNothing) {
    // "nothing" begins with 'n' but announces no polygon; "mesh" is no format.
    std::string nothing = file("nothing.txt", "nothing\n");
    std::string unknown = file("unknown.txt", "mesh\n1\n3\n0 0 0 0 0 1\n1 0 0 0 0 1\n0 1 0 0 0 1\n");
    GScene scene;
    GBoundingBox box, other;
    EXPECT_TRUE(parseBlock(box, scene, "{ file \"" + nothing + "\" }"));
    EXPECT_EQ(box.objects.count, 0);
    EXPECT_TRUE(parseBlock(other, scene, "{ file \"" + unknown + "\" }"));
    EXPECT_EQ(other.objects.count, 0);
    EXPECT_EQ(scene.allObjects.count, 2);  // the blocks' materials
    GBoundingBox missing;
    ::testing::internal::CaptureStderr();
    EXPECT_TRUE(parseBlock(missing, scene, "{ file \"absent.n\" }"));
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("absent.n"), std::string::npos);
    EXPECT_EQ(missing.objects.count, 0);
    std::string empty = file("empty.n", "");
    GBoundingBox none;
    EXPECT_TRUE(parseBlock(none, scene, "{ file \"" + empty + "\" }"));
    EXPECT_EQ(none.objects.count, 0);
}

TEST_F(GBoundingBoxMeshTest, BlockSyntax) {
    std::string mesh = file("one.n", "n\n1\n3\n0 0 0 0 0 1\n1 0 0 0 0 1\n0 1 0 0 0 1\n");
    GScene scene;
    GBoundingBox noBrace;
    EXPECT_FALSE(parseBlock(noBrace, scene, "file x }"));
    EXPECT_EQ(scene.allObjects.count, 1);  // the material stays
    GBoundingBox cut;
    EXPECT_FALSE(parseBlock(cut, scene, "{ file \"" + mesh + "\""));
    EXPECT_EQ(cut.objects.count, 0);  // nothing loaded for a cut block
    // Nested blocks and unknown words are skipped; the rest of the block counts.
    GBoundingBox nested;
    std::string rest;
    EXPECT_TRUE(parseBlock(nested, scene, "{ { file nowhere { } } colour 1 2 3 file \"" + mesh + "\" } sphere", &rest));
    EXPECT_EQ(nested.objects.count, 1);
    EXPECT_STREQ(nextToken(), "sphere");
}

TEST_F(GBoundingBoxMeshTest, CutAndLyingPolygonFilesStopAtTheirEnd) {
    GScene scene;
    // A count far beyond the file, a polygon cut short, negative counts.
    std::string cut = file("cut.n", "n\n2000000000\n3\n0 0 0 0 0 1\n1 0 0 0 0 1\n0 1 0 0 0 1\n4\n0 0 0 0 0 1\n");
    GBoundingBox a;
    EXPECT_TRUE(parseBlock(a, scene, "{ file \"" + cut + "\" }"));
    EXPECT_EQ(a.objects.count, 1);
    std::string negative = file("negative.n", "n\n-5\n3\n0 0 0 0 0 1\n");
    GBoundingBox b;
    EXPECT_TRUE(parseBlock(b, scene, "{ file \"" + negative + "\" }"));
    EXPECT_EQ(b.objects.count, 0);
    std::string negativeCorners = file("corners.n", "n\n2\n-3\n2\n0 0 0 0 0 1\n1 0 0 0 0 1\n");
    GBoundingBox c;
    EXPECT_TRUE(parseBlock(c, scene, "{ file \"" + negativeCorners + "\" }"));
    EXPECT_EQ(c.objects.count, 0);
    std::string groups = file("groups.c", "c\n99999999\n1\n3\n0 0 0 0 0 1\n1 0 0 0 0 1\n0 1 0 0 0 1\n");
    GBoundingBox d;
    EXPECT_TRUE(parseBlock(d, scene, "{ file \"" + groups + "\" }"));
    EXPECT_EQ(d.objects.count, 1);
    // Garbage numbers read as 0: degenerate triangles that nothing hits.
    std::string garbage = file("garbage.n", "n\n1\n3\nx y z\n\n1e40 nan -inf\n");
    GBoundingBox e;
    EXPECT_TRUE(parseBlock(e, scene, "{ file \"" + garbage + "\" }"));
    EXPECT_EQ(e.objects.count, 1);
}

TEST_F(GBoundingBoxMeshTest, SphereSetsReadTheirRecords) {
    std::string bytes = "POINT_CLOUD made by hand\n";
    appendWord(bytes, 2);
    bytes += materialRecord(0x000000FF, 0x0000FF00, 0x14FF0000, 0x00808080, 0x00010203);
    bytes += materialRecord(0, 0x00FFFFFF, 0, 0, 0);
    appendWord(bytes, 3);
    bytes += sphereRecord(1, 2, 3, 0.5f, 0x00123456, 0x00AABBCC);
    bytes += sphereRecord(-1, 0, 0, 1.0f, 0x01000000, 0);
    bytes += sphereRecord(0, 5, 0, 0.25f, 0x05000000, 0);
    std::string path = file("set.pc", bytes);
    GScene scene;
    GBoundingBox box;
    ASSERT_TRUE(parseBlock(box, scene, "{ diffuse_color 0.3 0.3 0.3 file \"" + path + "\" }"));
    ASSERT_EQ(box.objects.count, 3);
    GSphere* first = static_cast<GSphere*>(box.objects[0]);
    ASSERT_TRUE(first->isKindOf(ClassId::GSphere));
    EXPECT_EQ(first->center.z, 3.0f);
    EXPECT_EQ(first->radius, 0.5f);
    EXPECT_EQ(first->packedColor, 0x00AABBCCu);
    GMaterial* material = first->material;
    EXPECT_FLOAT_EQ(material->colors[GMaterial::ambient].x, 1.0f);
    EXPECT_FLOAT_EQ(material->colors[GMaterial::diffuse].y, 1.0f);
    EXPECT_FLOAT_EQ(material->colors[GMaterial::specular].z, 1.0f);
    EXPECT_FLOAT_EQ(material->getRawScalar(GMaterial::phongExponent), 20.0f);
    EXPECT_FLOAT_EQ(material->colors[GMaterial::transmitted].z, 1.0f / 255.0f);
    EXPECT_EQ(material->lightingModel, scene.defaultMaterial->lightingModel);
    EXPECT_FLOAT_EQ(static_cast<GSphere*>(box.objects[1])->material->colors[GMaterial::diffuse].z, 1.0f);
    // Index 5 is beyond the two records: the block's material.
    EXPECT_FLOAT_EQ(static_cast<GSphere*>(box.objects[2])->material->colors[GMaterial::diffuse].x, 0.3f);
    // The spheres are the box's own; the two materials and the block's are the scene's.
    EXPECT_EQ(scene.allObjects.count, 3);
    EXPECT_FLOAT_EQ(box.boxMin.x, -2.0f - epsilon);
    EXPECT_FLOAT_EQ(box.boxMax.y, 5.25f + epsilon);
}

TEST_F(GBoundingBoxMeshTest, CutSphereSetsLoadWhatIsThere) {
    GScene scene;
    std::string shortSet = "POINT_CLOUD\n";
    appendWord(shortSet, 0);
    appendWord(shortSet, 1000000000);  // a billion spheres announced, two there
    shortSet += sphereRecord(0, 0, 0, 1, 0, 0);
    shortSet += sphereRecord(3, 0, 0, 1, 0, 0);
    shortSet += "abc";  // and a cut record
    std::string out;
    GBoundingBox a;
    ASSERT_TRUE(parseBlock(a, scene, "{ file \"" + file("short.pc", shortSet) + "\" }", &out));
    EXPECT_EQ(a.objects.count, 2);
    EXPECT_NE(out.find("cut short: 2 of 1000000000"), std::string::npos);

    std::string lyingMaterials = "POINT_CLOUD\n";
    appendWord(lyingMaterials, 0x7FFFFFFF);
    lyingMaterials += materialRecord(0, 0, 0, 0, 0);
    GBoundingBox b;
    ASSERT_TRUE(parseBlock(b, scene, "{ file \"" + file("lying.pc", lyingMaterials) + "\" }", &out));
    EXPECT_EQ(b.objects.count, 0);
    EXPECT_NE(out.find("does not hold"), std::string::npos);

    std::string negative = "POINT_CLOUD\n";
    appendWord(negative, 0);
    appendWord(negative, 0xFFFFFFFFu);
    GBoundingBox c;
    ASSERT_TRUE(parseBlock(c, scene, "{ file \"" + file("negative.pc", negative) + "\" }", &out));
    EXPECT_EQ(c.objects.count, 0);

    GBoundingBox d;
    ASSERT_TRUE(parseBlock(d, scene, "{ file \"" + file("bare.pc", "POINT_CLOUD\n\x01") + "\" }", &out));
    EXPECT_EQ(d.objects.count, 0);
}

TEST_F(GBoundingBoxMeshTest, ManySpheresBuildAGridThatFindsThem) {
    std::string bytes = "POINT_CLOUD\n";
    appendWord(bytes, 0);
    appendWord(bytes, 400);
    for (int i = 0; i < 400; i++) bytes += sphereRecord((float)(i % 20), (float)(i / 20), 0, 0.4f, 0, 0);
    GScene scene;
    GBoundingBox box;
    ASSERT_TRUE(parseBlock(box, scene, "{ file \"" + file("grid.pc", bytes) + "\" }"));
    ASSERT_TRUE(box.gridBuilt);
    GRay ray(0, HPoint(7, 11, 10), HPoint(0, 0, -1));
    HitRecord hit;
    hit.t = FLT_MAX;
    ASSERT_TRUE(box.intersect(ray, hit));
    EXPECT_EQ(hit.object, box.objects[11 * 20 + 7]);
    EXPECT_NEAR(hit.t, 9.6f, 1e-5f);
}

TEST_F(GBoundingBoxMeshTest, TheSceneLoaderMakesShapes) {
    std::string mesh = file("one.n", "n\n1\n3\n0 0 0 0 0 1\n1 0 0 0 0 1\n0 1 0 0 0 1\n");
    std::string scenePath = file("scene.txt", "shape { file \"" + mesh + "\" diffuse_color 1 0 0 } (\"mesh\")\n");
    GScene scene;
    GSceneParser parser(&scene);
    ::testing::internal::CaptureStdout();
    parser.parse(scenePath.c_str());
    ::testing::internal::GetCapturedStdout();
    ASSERT_EQ(scene.objects.count, 1);
    ASSERT_TRUE(scene.objects[0]->isKindOf(ClassId::GBoundingBox));
    EXPECT_EQ(static_cast<GBoundingBox*>(scene.objects[0])->objects.count, 1);
}

TEST_F(GBoundingBoxMeshTest, RandomFilesNeverBreakTheReaders) {
    seedRandom(17);
    const char* heads[] = {"n\n", "c\n", "POINT_CLOUD\n"};
    const char alphabet[] = "0123456789 -.\n\n e";
    for (int round = 0; round < 60; round++) {
        std::string bytes = heads[round % 3];
        int length = nextRandom() % 600;
        for (int i = 0; i < length; i++) {
            if (round % 3 == 2) {
                bytes.push_back((char)(nextRandom() & 0xFF));
            } else {
                bytes.push_back(alphabet[nextRandom() % (sizeof alphabet - 1)]);
            }
        }
        GScene scene;
        GBoundingBox box;
        std::string path = file("random" + std::to_string(round), bytes);
        EXPECT_TRUE(parseBlock(box, scene, "{ file \"" + path + "\" }"));
        // Whatever was made can be asked.
        GRay ray(0, HPoint(0.5f, 0.5f, 10.0f), HPoint(0.01f, 0.02f, -1.0f));
        HitRecord hit;
        hit.t = FLT_MAX;
        box.intersect(ray, hit);
    }
}
