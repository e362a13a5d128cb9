#include "io/ply/PlyConverter.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/TestSupport.h"

namespace {

const std::string corpus = std::string(VELK_CORPUS_DIR) + "/ply/";

std::string convert(const std::string& input, const std::string& output, bool* ok = nullptr) {
    ::testing::internal::CaptureStdout();
    bool converted = convertPlyToMesh(input.c_str(), output.c_str());
    if (ok) *ok = converted;
    return ::testing::internal::GetCapturedStdout();
}

}  // namespace

TEST(PlyConverterTest, WritesTheMeshFragment) {
    std::string dir = makeScratchDir();
    writeWholeFile(dir + "/in.ply",
                   "ply\r\nformat ascii 1.0\r\nelement vertex 4\r\nproperty float x\r\nelement face 3\r\n"
                   "end_header\r\n0 0 0 1 1\r\n1.5 0 -0.25\r\n1 1e-8 0\r\n0 1\r\n4 0 1 2 3\r\n2 3 1\r\n3 2 1 0 7 7\r\n");
    bool ok = false;
    EXPECT_EQ(convert(dir + "/in.ply", dir + "/out.xml", &ok), "");
    EXPECT_TRUE(ok);
    EXPECT_EQ(readWholeFile(dir + "/out.xml"),
              "<mesh>\n<points>\n"
              "<p x='0.0000000' y='0.0000000' z='0.0000000'/>\n"
              "<p x='1.5000000' y='0.0000000' z='-0.2500000'/>\n"
              "<p x='1.0000000' y='0.0000000' z='0.0000000'/>\n"
              "<p x='0.0000000' y='1.0000000' z='0.0000000'/>\n"
              "</points>\n<faces>\n"
              "<f a='0' b='1' c='2' d='3'/>\n"
              "<f a='3' b='1'/>\n"
              "<f a='2' b='1' c='0'/>\n"
              "</faces>\n</mesh>\n");
}

TEST(PlyConverterTest, CorpusCube) {
    std::string dir = makeScratchDir();
    convert(corpus + "cube.ply", dir + "/cube.xml");
    std::string expected = "<mesh>\n<points>\n";
    const char* corners[] = {"0", "0", "0", "0", "0", "1", "0", "1", "1", "0", "1", "0",
                             "1", "0", "0", "1", "0", "1", "1", "1", "1", "1", "1", "0"};
    for (int i = 0; i < 8; i++) {
        expected += std::string("<p x='") + corners[3 * i] + ".0000000' y='" + corners[3 * i + 1] +
                    ".0000000' z='" + corners[3 * i + 2] + ".0000000'/>\n";
    }
    expected += "</points>\n<faces>\n"
                "<f a='0' b='1' c='2' d='3'/>\n<f a='7' b='6' c='5' d='4'/>\n<f a='0' b='4' c='5' d='1'/>\n"
                "<f a='1' b='5' c='6' d='2'/>\n<f a='2' b='6' c='7' d='3'/>\n<f a='3' b='7' c='4' d='0'/>\n"
                "</faces>\n</mesh>\n";
    EXPECT_EQ(readWholeFile(dir + "/cube.xml"), expected);
}

TEST(PlyConverterTest, FailuresWriteNothing) {
    std::string dir = makeScratchDir();
    bool ok = true;
    EXPECT_EQ(convert(dir + "/absent.ply", dir + "/out.xml", &ok),
              "could not open " + dir + "/absent.ply or " + dir + "/out.xml converting PLY to VRML\n");
    EXPECT_FALSE(ok);
    EXPECT_FALSE(fileExists(dir + "/out.xml"));
    EXPECT_EQ(convert(corpus + "cube.ply", dir + "/no/such/folder.xml", &ok),
              "could not open " + corpus + "cube.ply or " + dir + "/no/such/folder.xml converting PLY to VRML\n");
    EXPECT_FALSE(ok);
    writeWholeFile(dir + "/odd.ply", "ply\nformat binary_middle_endian 1.0\nend_header\n");
    EXPECT_EQ(convert(dir + "/odd.ply", dir + "/odd.xml", &ok),
              "PLY file '" + dir + "/odd.ply' is binary_middle_endian, which velk does not read; nothing loaded\n");
    EXPECT_FALSE(ok);
    EXPECT_FALSE(fileExists(dir + "/odd.xml"));
}

TEST(PlyConverterTest, CountsBeyondTheFileAndLongFaces) {
    std::string dir = makeScratchDir();
    writeWholeFile(dir + "/lying.ply",
                   "ply\nelement vertex 1\nelement face 1000000000\nend_header\n5 6 7\n"
                   "11 0 1 2 3 4 5 6 7 8 9 10\n10 0 1 2 3 4 5 6 7 8 9\n");
    std::string out = convert(dir + "/lying.ply", dir + "/lying.xml");
    EXPECT_EQ(out, "PLY file '" + dir + "/lying.ply' lacks 999999998 of its face lines; only 1000 empty "
                   "faces written\n1 PLY faces with more than 10 vertices skipped\n");
    std::string written = readWholeFile(dir + "/lying.xml");
    const std::string head = "<mesh>\n<points>\n<p x='5.0000000' y='6.0000000' z='7.0000000'/>\n</points>\n<faces>\n"
                             "<f a='0' b='1' c='2' d='3' e='4' f='5' g='6' h='7' i='8' j='9'/>\n";
    std::string emptyFaces;
    for (int k = 0; k < 1000; k++) emptyFaces += "<f/>\n";
    EXPECT_TRUE(written == head + emptyFaces + "</faces>\n</mesh>\n") << written.size();

    // A face line or two missing at the end: an empty element each.
    writeWholeFile(dir + "/short.ply", "ply\nelement vertex 3\nelement face 3\nend_header\n0 0 0\n1 0 0\n0 1 0\n"
                                       "3 0 1 2\n");
    EXPECT_EQ(convert(dir + "/short.ply", dir + "/short.xml"), "");
    EXPECT_NE(readWholeFile(dir + "/short.xml").find("<f a='0' b='1' c='2'/>\n<f/>\n<f/>\n</faces>"), std::string::npos);
}

TEST(PlyConverterTest, TheDriverConverts) {
    std::string dir = makeScratchDir();
    writeWholeFile(dir + "/tri.ply", "ply\nelement vertex 3\nelement face 1\nend_header\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n");
    const std::string expected =
        "<mesh>\n<points>\n<p x='0.0000000' y='0.0000000' z='0.0000000'/>\n"
        "<p x='1.0000000' y='0.0000000' z='0.0000000'/>\n<p x='0.0000000' y='1.0000000' z='0.0000000'/>\n"
        "</points>\n<faces>\n<f a='0' b='1' c='2'/>\n</faces>\n</mesh>\n";
    CommandResult tool = runVelk(dir, "x.txt -ply2vrml tri.ply tri.xml");
    EXPECT_EQ(tool.status, 0);
    EXPECT_EQ(readWholeFile(dir + "/tri.xml"), expected);
    // A scene name ending in "y" converts into the output name.
    CommandResult byName = runVelk(dir, "tri.ply -o fragment.xml");
    EXPECT_EQ(byName.status, 0);
    EXPECT_EQ(readWholeFile(dir + "/fragment.xml"), expected);
}
