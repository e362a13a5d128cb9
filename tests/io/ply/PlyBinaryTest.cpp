#include "io/ply/PlyBinary.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/Settings.h"
#include "geometry/GBoundingBox.h"
#include "geometry/GScene.h"
#include "io/ply/PlyConverter.h"
#include "io/ply/PlyReader.h"
#include "shading/GMaterial.h"
#include "tests/TestSupport.h"

namespace {

const std::string corpus = std::string(VELK_CORPUS_DIR) + "/ply/";

// A quad, a triangle and a face too long to keep, over five vertices.
const float positions[5][3] = {{0, 0, 0}, {2, 0, 0}, {2, 2, 0.5f}, {0, 2, -1.25f}, {1, 3, 7}};
const std::vector<std::vector<int>> faces = {
    {0, 1, 2, 3}, {1, 4, 2}, {0, 1, 2, 3, 4, 0, 1, 2, 3, 4, 0}};

std::string asciiTwin() {
    std::string text = "ply\nformat ascii 1.0\nelement vertex 5\nproperty float x\nproperty float "
                       "y\nproperty float z\n"
                       "element face 3\nproperty list uchar int vertex_indices\nend_header\n";
    for (const auto &p : positions)
        text +=
            std::to_string(p[0]) + " " + std::to_string(p[1]) + " " + std::to_string(p[2]) + "\n";
    for (const auto &face : faces) {
        text += std::to_string(face.size());
        for (int index : face)
            text += " " + std::to_string(index);
        text += "\n";
    }
    return text;
}

// Value bytes of one PLY type in the file's byte order.
void put(std::string &out, const std::string &type, double value, bool big) {
    unsigned char bytes[8];
    int n;
    if (type == "float") {
        float f = (float)value;
        std::memcpy(bytes, &f, 4);
        n = 4;
    } else if (type == "double") {
        std::memcpy(bytes, &value, 8);
        n = 8;
    } else if (type == "uchar") {
        bytes[0] = (unsigned char)value;
        n = 1;
    } else if (type == "ushort") {
        uint16_t v = (uint16_t)value;
        std::memcpy(bytes, &v, 2);
        n = 2;
    } else { // int, uint
        int32_t v = (int32_t)value;
        std::memcpy(bytes, &v, 4);
        n = 4;
    }
    // The host is little-endian (x86, ARM as Debian runs them).
    for (int i = 0; i < n; i++)
        out += (char)bytes[big ? n - 1 - i : i];
}

struct BinaryVariant {
    const char *label;
    bool big;
    const char *coordinate;
    const char *countType;
    const char *indexType;
    bool extras; // a normal before x, a colour element first, a list per vertex
};

std::string binaryTwin(const BinaryVariant &v) {
    std::string c = v.coordinate;
    std::string text =
        std::string("ply\nformat binary_") + (v.big ? "big" : "little") + "_endian 1.0\n";
    if (v.extras)
        text +=
            "comment extras\nelement colour 2\nproperty uchar r\nproperty list uchar ushort tags\n";
    text += "element vertex 5\n";
    if (v.extras)
        text += "property " + c + " nx\n";
    text += "property " + c + " x\nproperty " + c + " y\nproperty " + c + " z\n";
    if (v.extras)
        text += "property list uchar float weights\n";
    text += "element face 3\nproperty list " + std::string(v.countType) + " " + v.indexType +
            " vertex_indices\n";
    text += "end_header\n";
    if (v.extras)
        for (int i = 0; i < 2; i++) {
            put(text, "uchar", 9, v.big);
            put(text, "uchar", i + 1, v.big);
            for (int k = 0; k <= i; k++)
                put(text, "ushort", 7, v.big);
        }
    for (const auto &p : positions) {
        if (v.extras)
            put(text, c, 0.5, v.big);
        for (float value : p)
            put(text, c, value, v.big);
        if (v.extras) {
            put(text, "uchar", 2, v.big);
            put(text, "float", 1, v.big);
            put(text, "float", 2, v.big);
        }
    }
    for (const auto &face : faces) {
        put(text, v.countType, (double)face.size(), v.big);
        for (int index : face)
            put(text, v.indexType, index, v.big);
    }
    return text;
}

std::string convertFile(const std::string &path, const std::string &out,
                        std::string *console = nullptr) {
    ::testing::internal::CaptureStdout();
    convertPlyToMesh(path.c_str(), out.c_str());
    std::string printed = ::testing::internal::GetCapturedStdout();
    if (console)
        *console = printed;
    return fileExists(out) ? readWholeFile(out) : std::string();
}

const BinaryVariant variants[] = {
    {"little float uchar/int", false, "float", "uchar", "int", false},
    {"big double int/int", true, "double", "int", "int", false},
    {"little double uchar/uint with extras", false, "double", "uchar", "uint", true},
    {"big float int/uint with extras", true, "float", "int", "uint", true},
};

} // namespace

TEST(PlyBinaryTest, EveryVariantConvertsAndLoadsAsItsAsciiTwin) {
    std::string dir = makeScratchDir();
    writeWholeFile(dir + "/ascii.ply", asciiTwin());
    std::string asciiConsole;
    std::string expected = convertFile(dir + "/ascii.ply", dir + "/ascii.xml", &asciiConsole);
    ASSERT_NE(expected.find("<f a='1' b='4' c='2'/>"), std::string::npos);
    for (const BinaryVariant &variant : variants) {
        std::string ply = dir + "/binary.ply";
        writeWholeFile(ply, binaryTwin(variant));
        std::string console;
        EXPECT_EQ(convertFile(ply, dir + "/binary.xml", &console), expected) << variant.label;
        EXPECT_EQ(console, asciiConsole) << variant.label; // the long face skipped alike

        // Through a shape block's loader: the quad and the triangle, three triangles in all.
        GScene scene;
        GBoundingBox box;
        GMaterial material;
        ::testing::internal::CaptureStdout();
        box.loadMesh(ply.c_str(), &scene, &material, GMatrix(), GMatrix());
        std::string out = ::testing::internal::GetCapturedStdout();
        EXPECT_NE(out.find("total triangles = 3\n"), std::string::npos) << variant.label << out;
        EXPECT_NEAR(box.boxMax.z, 7.0f, 4 * epsilon) << variant.label;
        EXPECT_NEAR(box.boxMin.z, -1.25f, 4 * epsilon) << variant.label;
    }
}

TEST(PlyBinaryTest, CorpusCubeLoadsTwelveTriangles) {
    GScene scene;
    GBoundingBox box;
    GMaterial material;
    material.setColor(GMaterial::emissive, HPoint(1, 1, 1, 0));
    ::testing::internal::CaptureStdout();
    box.loadMesh((corpus + "cube_binary.ply").c_str(), &scene, &material, GMatrix(), GMatrix());
    ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(box.objects.count, 12);
    EXPECT_EQ(scene.emitterCount, 12);
    EXPECT_NEAR(box.boxMax.x, 1.0f, 4 * epsilon);
    EXPECT_NEAR(box.boxMin.y, 0.0f, 4 * epsilon);
}

TEST(PlyBinaryTest, ShortBodiesKeepWhatWasReadWithOneLine) {
    const std::string whole = binaryTwin(variants[0]);
    const size_t body = whole.find("end_header\n") + 11;
    struct Case {
        const char *label;
        size_t keep; // bytes of the body kept
        const char *line;
        int triangles;
    };
    // Vertices are 12 bytes; the quad face is 1 + 16 bytes, the triangle 1 + 12.
    const Case cases[] = {
        {"no body", 0,
         "PLY file 'short.ply': its binary body is shorter than its header says: 0 of 5 vertices "
         "and 0 of 3 faces read; nothing loaded\n",
         0},
        {"inside the vertices", 30,
         "PLY file 'short.ply': its binary body is shorter than its header says: 2 "
         "of 5 vertices and 0 of 3 faces read; the rest is left out\n",
         0},
        {"inside the second face", 60 + 17 + 5,
         "PLY file 'short.ply': its binary body is shorter than its "
         "header says: 5 of 5 vertices and 1 of 3 faces read; the rest "
         "is left out\n",
         2},
        {"inside a list count's items", 60 + 17 + 13 + 3,
         "PLY file 'short.ply': its binary body is shorter "
         "than its header says: 5 of 5 vertices and 2 of 3 "
         "faces read; the rest is left out\n",
         3},
    };
    for (const Case &c : cases) {
        MeshText text;
        std::string bytes = whole.substr(0, body + c.keep);
        text.assign(bytes.data(), bytes.size());
        text.nextLine();
        GBoundingBox box;
        GMaterial material;
        ::testing::internal::CaptureStdout();
        loadPly(box, nullptr, &material, text, GMatrix(), "short.ply");
        std::string out = ::testing::internal::GetCapturedStdout();
        EXPECT_EQ(out.substr(0, out.find('\n') + 1), c.line) << c.label;
        EXPECT_EQ(box.objects.count, c.triangles) << c.label;
    }
}

TEST(PlyBinaryTest, HeadersThisReaderCannotDescribeAreRefused) {
    struct Case {
        const char *header;
        const char *problem;
    };
    const Case cases[] = {
        {"format binary_little_endian 1.0\nelement vertex 1\nproperty half x\n",
         "its header has property type 'half', which velk does not read"},
        {"format binary_little_endian 1.0\nelement face 1\nproperty list float int "
         "vertex_indices\n",
         "its header has property type 'float', which velk does not read"},
        {"format binary_little_endian 1.0\nelement face 1\nproperty list uchar\n",
         "its header has a list property without its types, which velk does not read"},
    };
    for (const Case &c : cases) {
        MeshText text;
        std::string bytes = std::string(c.header) + "end_header\n" + std::string(64, '\1');
        text.assign(bytes.data(), bytes.size());
        PlyHeader header;
        readPlyHeader(text, header);
        PlyMeshData mesh;
        std::string problem;
        EXPECT_FALSE(readBinaryPlyBody(text.rest(), text.remaining(), header, mesh, problem));
        EXPECT_EQ(problem, c.problem);
    }
    // A list count of four billion items in a short body is no allocation, just an end.
    std::string huge =
        "format binary_big_endian 1.0\nelement face 1\nproperty list uint int vertex_indices\n"
        "end_header\n\xff\xff\xff\xf0";
    MeshText text;
    text.assign(huge.data(), huge.size());
    PlyHeader header;
    readPlyHeader(text, header);
    PlyMeshData mesh;
    std::string problem;
    EXPECT_FALSE(readBinaryPlyBody(text.rest(), text.remaining(), header, mesh, problem));
    EXPECT_EQ(mesh.faceCount, 0);
}
