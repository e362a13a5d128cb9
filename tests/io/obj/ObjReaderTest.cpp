#include "io/obj/ObjReader.h"

#include <gtest/gtest.h>

#include <string>

#include "shading/GMaterial.h"
#include "shading/GTexture.h"
#include "tests/TestSupport.h"

namespace {

const char* const triangle = "v 0 0 0\nv 1 0 0\nv 0 1 0\n";

struct ReadResult {
    bool ok;
    std::string printed;
    ObjModel model;
    ~ReadResult() {
        for (GMaterial* m : model.materials) delete m;
        for (GObject* o : model.created) delete o;
    }
};

void readText(const std::string& text, ReadResult& result, const std::string& folder = "") {
    testing::internal::CaptureStdout();
    result.ok = readObjText(text, "t.obj", folder, result.model);
    result.printed = testing::internal::GetCapturedStdout();
}

int faceCount(const ObjModel& model) {
    int faces = 0;
    for (const ObjGroup& g : model.groups) faces += g.faceCount();
    return faces;
}

TEST(ObjReader, BadFacesAreSaidWithTheirLineAndTheRestIsKept) {
    if (!objFilesSupported()) GTEST_SKIP() << "built without tinyobjloader";
    struct Case {
        const char* face;
        const char* line;
    };
    const Case cases[] = {
        {"f 1 2 4", "OBJ file 't.obj' line 6: index 4 is outside the 3 positions read before this line; face skipped\n"},
        {"f -1 -2 -4", "OBJ file 't.obj' line 6: index -4 is outside the 3 positions read before this line; face skipped\n"},
        {"f 1/1 2/2 3/1", "OBJ file 't.obj' line 6: index 2 is outside the 1 texture coordinates read before this line; face skipped\n"},
        {"f 1//2 2//1 3//1", "OBJ file 't.obj' line 6: index 2 is outside the 1 normals read before this line; face skipped\n"},
        {"f 0 1 2", "OBJ file 't.obj' line 6: corner '0' has '0', which is no index; face skipped\n"},
        {"f 1 2 x", "OBJ file 't.obj' line 6: corner 'x' has 'x', which is no index; face skipped\n"},
        {"f 1/1/1/1 2 3", "OBJ file 't.obj' line 6: corner '1/1/1/1' has more than three indices; face skipped\n"},
        {"f 99999999999999999999 1 2", "OBJ file 't.obj' line 6: index 99999999999999999999 is outside the 3 positions read before this line; face skipped\n"},
        {"f 1 2", "OBJ file 't.obj' line 6: a face with 2 corners (at least 3 needed); face skipped\n"},
        {"f", "OBJ file 't.obj' line 6: a face with 0 corners (at least 3 needed); skipped\n"},
    };
    for (const Case& c : cases) {
        ReadResult result;
        // One texture coordinate and one normal; after the bad face a good one.
        readText(std::string(triangle) + "vt 0 0\nvn 0 0 1\n" + c.face + "\nf 1/1/1 2/1/1 3/1/1\n", result);
        EXPECT_TRUE(result.ok) << c.face;
        EXPECT_EQ(c.line, result.printed) << c.face;
        EXPECT_EQ(1, faceCount(result.model)) << c.face;
    }
}

TEST(ObjReader, RelativeIndicesCornersAndGroups) {
    if (!objFilesSupported()) GTEST_SKIP() << "built without tinyobjloader";
    ReadResult result;
    readText("v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nvt 0 0\nvt 1 1\nvn 0 0 1\n"
             "g first\nf -4/-2/-1 -3/-2/-1 -2/-1/-1 -1/-1/-1\n"
             "g second\nv 5 5 5\nf 1 -1 2//1\nl 1 2\n",
             result);
    ASSERT_TRUE(result.ok);
    EXPECT_EQ("OBJ file 't.obj': 1 lines of elements velk does not draw (lines, points, tags, curves) ignored\n",
              result.printed);
    ASSERT_EQ(2u, result.model.groups.size());
    const ObjGroup& first = result.model.groups[0];
    EXPECT_EQ("first", first.name);
    ASSERT_EQ(1, first.faceCount());
    ASSERT_EQ(4u, first.corners.size());
    const int positions[] = {0, 1, 2, 3}, texCoords[] = {0, 0, 1, 1};
    for (int k = 0; k < 4; k++) {
        EXPECT_EQ(positions[k], first.corners[(size_t)k].position);
        EXPECT_EQ(texCoords[k], first.corners[(size_t)k].texCoord);
        EXPECT_EQ(0, first.corners[(size_t)k].normal);
    }
    const ObjGroup& second = result.model.groups[1];
    EXPECT_EQ("second", second.name);
    ASSERT_EQ(3u, second.corners.size());
    EXPECT_EQ(4, second.corners[1].position);  // -1 after the fifth "v"
    EXPECT_EQ(-1, second.corners[1].texCoord);
    EXPECT_EQ(0, second.corners[2].normal);
    EXPECT_FLOAT_EQ(5.0f, result.model.positions[4].z);
}

TEST(ObjReader, MtlKeywordsOntoTheMaterial) {
    if (!objFilesSupported()) GTEST_SKIP() << "built without tinyobjloader";
    struct Case {
        const char* mtl;
        int attribute;  // a colour index of GMaterial, or -1 - scalar index
        HPoint expected;
    };
    const HPoint black(0, 0, 0, 0);
    const Case cases[] = {
        {"Kd 0.1 0.2 0.3", GMaterial::diffuse, HPoint(0.1f, 0.2f, 0.3f, 0)},
        {"Ka 0.1 0.2 0.3", GMaterial::ambient, HPoint(0.1f, 0.2f, 0.3f, 0)},
        {"Ks 0.4 0.5 0.6", GMaterial::specular, HPoint(0.4f, 0.5f, 0.6f, 0)},
        {"Ks 0.4 0.5 0.6", GMaterial::reflected, black},  // illum 2 by default: highlights only
        {"Ks 0.4 0.5 0.6\nillum 3", GMaterial::reflected, HPoint(0.4f, 0.5f, 0.6f, 0)},
        {"Ks 0.4 0.5 0.6\nillum 5", GMaterial::reflected, HPoint(0.4f, 0.5f, 0.6f, 0)},
        {"Ke 17 12 4", GMaterial::emissive, HPoint(17, 12, 4, 0)},
        {"Tf 0.7 0.8 0.9\nillum 7", GMaterial::transmitted, HPoint(0.7f, 0.8f, 0.9f, 0)},
        {"d 0.25\nillum 4", GMaterial::transmitted, HPoint(0.75f, 0.75f, 0.75f, 0)},
        {"Tr 0.25\nillum 9", GMaterial::transmitted, HPoint(0.25f, 0.25f, 0.25f, 0)},
        {"Tf 0.7 0.8 0.9\nillum 2", GMaterial::transmitted, black},
        {"Ns 250", -1 - GMaterial::phongExponent, HPoint(250, 0, 0, 0)},
        {"Kd 1 1 1", -1 - GMaterial::phongExponent, HPoint(10, 0, 0, 0)},  // velk's default
        {"Ni 1.33", -1 - GMaterial::indexOfRefraction, HPoint(1.33f, 0, 0, 0)},
    };
    for (const Case& c : cases) {
        ObjModel model;
        testing::internal::CaptureStdout();
        readMtlText(std::string("newmtl m\n") + c.mtl + "\n", "m.mtl", "", model);
        EXPECT_EQ("", testing::internal::GetCapturedStdout()) << c.mtl;
        ASSERT_EQ(1u, model.materials.size());
        EXPECT_EQ("m", model.materialNames[0]);
        GMaterial* material = model.materials[0];
        if (c.attribute >= 0) {
            HPoint got;
            material->getRawColor(c.attribute, got);
            EXPECT_FLOAT_EQ(c.expected.x, got.x) << c.mtl;
            EXPECT_FLOAT_EQ(c.expected.y, got.y) << c.mtl;
            EXPECT_FLOAT_EQ(c.expected.z, got.z) << c.mtl;
        } else {
            EXPECT_FLOAT_EQ(c.expected.x, material->getRawScalar(-1 - c.attribute)) << c.mtl;
        }
        delete material;
    }
}

TEST(ObjReader, UnusedAndUnknownMtlKeywordsAreSaidOnce) {
    if (!objFilesSupported()) GTEST_SKIP() << "built without tinyobjloader";
    ObjModel model;
    testing::internal::CaptureStdout();
    readMtlText("newmtl a\nKd 1 0 0\nmap_Bump b.png\nshine 3\nnewmtl b\nmap_Bump c.png\n", "m.mtl",
                "", model);
    EXPECT_EQ("MTL file 'm.mtl' line 3: unused keyword 'map_Bump' ignored (2 lines)\n"
              "MTL file 'm.mtl' line 4: unknown keyword 'shine' ignored\n",
              testing::internal::GetCapturedStdout());
    EXPECT_EQ(2u, model.materials.size());
    for (GMaterial* m : model.materials) delete m;
}

TEST(ObjReader, MissingLibraryTextureAndMaterialNamesTheirLines) {
    if (!objFilesSupported()) GTEST_SKIP() << "built without tinyobjloader";
    std::string dir = makeScratchDir() + "/";
    writeWholeFile(dir + "lib.mtl", "# a library\nnewmtl lamp\nKe 1 1 1\nmap_Kd none.ppm\n");
    ReadResult result;
    readText(std::string("mtllib lib.mtl\nmtllib gone.mtl\n") + triangle +
                 "usemtl lamp\nf 1 2 3\nusemtl other\nf 1 2 3\n",
             result, dir);
    ASSERT_TRUE(result.ok);
    EXPECT_EQ("MTL file 'lib.mtl' line 4: texture 'none.ppm' not found; the diffuse colour stays untextured\n"
              "OBJ file 't.obj' line 2: material library 'gone.mtl' not found; its materials are grey\n"
              "OBJ file 't.obj' line 8: usemtl 'other' names no material read; its faces are grey\n",
              result.printed);
    ASSERT_EQ(2u, result.model.groups.size());
    EXPECT_EQ(0, result.model.groups[0].material);
    EXPECT_EQ(-1, result.model.groups[1].material);
}

TEST(ObjReader, DiffuseTextureTintedByKd) {
    if (!objFilesSupported()) GTEST_SKIP() << "built without tinyobjloader";
    std::string dir = makeScratchDir() + "/";
    // A 1 x 1 P6 image.
    writeWholeFile(dir + "t.ppm", std::string("P6\n1 1\n255\n") + std::string("\xff\x80\x00", 3));
    ObjModel model;
    testing::internal::CaptureStdout();
    readMtlText("newmtl a\nKd 0.5 0.5 0.5\nmap_Kd t.ppm\n", "m.mtl", dir, model);
    EXPECT_EQ("", testing::internal::GetCapturedStdout());
    ASSERT_EQ(1u, model.materials.size());
    GMaterial* material = model.materials[0];
    EXPECT_TRUE(material->colorTextureMask & (1u << GMaterial::diffuse));
    HPoint color;
    material->getColorAt(GMaterial::diffuse, color, HPoint(0.5f, 0.5f, 0, 1));
    EXPECT_NEAR(0.5f, color.x, 1e-3f);
    EXPECT_NEAR(0.5f * 128 / 255, color.y, 1e-2f);
    EXPECT_NEAR(0.0f, color.z, 1e-3f);
    delete material;
    for (GObject* o : model.created) delete o;
}

}  // namespace
