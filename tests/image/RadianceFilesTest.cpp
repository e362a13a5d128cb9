#include "image/RadianceFiles.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "image/HPointImage.h"
#include "tests/image/ImageFileTesting.h"

namespace {

class RadianceFilesTest : public ImageFileTest {};

// 3 x 2 floats, negative ones and ones no decimal text holds exactly among them.
HPointImage pattern() {
    HPointImage image;
    image.resize(3, 2);
    for (int y = 0; y < 2; y++)
        for (int x = 0; x < 3; x++)
            image.at(x, y) = HPoint(0.1f * (float)(x + 1) - (float)y, -1e-7f * (float)x,
                                    3e5f + (float)y / 3.0f, 0.25f);
    return image;
}

void expectSameValues(const HPointImage &a, const HPointImage &b, const std::string &label) {
    ASSERT_EQ(a.width, b.width) << label;
    ASSERT_EQ(a.height, b.height) << label;
    for (int y = 0; y < a.height; y++)
        for (int x = 0; x < a.width; x++) {
            const HPoint &p = a.at(x, y), &q = b.at(x, y);
            EXPECT_EQ(std::memcmp(&p, &q, 3 * sizeof(float)), 0)
                << label << " at " << x << ", " << y;
        }
}

} // namespace

TEST_F(RadianceFilesTest, EveryFormatKeepsTheImValuesNegativeOnesToo) {
    HPointImage image = pattern();
    std::string problem;
    ASSERT_TRUE(writeRadianceFile(image, path("r.im").c_str(), problem));
    HPointImage im;
    ASSERT_TRUE(im.read(path("r.im").c_str()));
    for (const char *name : {"r.pfm", "R.PFM", "r.exr"}) {
        if (radianceFormatOf(name) == RadianceFormat::exr &&
            !radianceFormatAvailable(RadianceFormat::exr, problem))
            continue;
        ASSERT_TRUE(writeRadianceFile(image, path(name).c_str(), problem)) << name << problem;
        HPointImage back;
        ASSERT_TRUE(readRadianceFile(back, path(name).c_str(), problem)) << name << problem;
        expectSameValues(back, im, name);
        EXPECT_EQ(back.at(0, 0).w, 1.0f) << name; // no fourth channel in the file
    }
    // The PFM itself: the header of a little-endian file, then the bottom row first.
    std::string pfm = readWholeFile(path("r.pfm"));
    ASSERT_EQ(pfm.size(), 12u + 3 * 2 * 12);
    EXPECT_EQ(pfm.substr(0, 12), "PF\n3 2\n-1.0\n");
    float first;
    std::memcpy(&first, pfm.data() + 12, 4);
    EXPECT_EQ(first, image.at(0, 0).x);
}

TEST_F(RadianceFilesTest, APfmReadsTheSameInPython) {
    if (!toolAvailable("python3"))
        GTEST_SKIP() << "no python3";
    std::string problem;
    ASSERT_TRUE(writePFM(pattern(), path("r.pfm").c_str(), problem));
    // The reading any PFM user writes: header lines, scale sign for the byte order.
    std::string script = "import struct,sys\n"
                         "d=open(sys.argv[1],'rb').read().split(b'\\n',3)\n"
                         "w,h=map(int,d[1].split());e='<' if float(d[2])<0 else '>'\n"
                         "v=struct.unpack(e+'%df'%(3*w*h),d[3])\n"
                         "print(' '.join(repr(x) for x in v))\n";
    writeWholeFile(path("read.py"), script);
    std::string command =
        "python3 '" + path("read.py") + "' '" + path("r.pfm") + "' > '" + path("out.txt") + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    HPointImage image = pattern();
    // Compared as numbers: python prints shortest reprs.
    FILE *out = std::fopen(path("out.txt").c_str(), "r");
    ASSERT_NE(out, nullptr);
    for (int y = 0; y < 2; y++)
        for (int x = 0; x < 3; x++)
            for (float v : {image.at(x, y).x, image.at(x, y).y, image.at(x, y).z}) {
                double read;
                ASSERT_EQ(std::fscanf(out, "%lf", &read), 1);
                EXPECT_EQ((float)read, v);
            }
    std::fclose(out);
}

TEST_F(RadianceFilesTest, BadFilesFailWithOneReasonAndLeaveTheImage) {
    std::string problem;
    HPointImage image = pattern();
    ASSERT_TRUE(writePFM(image, path("good.pfm").c_str(), problem));
    const std::string pfm = readWholeFile(path("good.pfm"));
    const bool exr = radianceFormatAvailable(RadianceFormat::exr, problem);
    std::string exrBytes;
    if (exr) {
        ASSERT_TRUE(writeEXR(image, path("good.exr").c_str(), problem));
        exrBytes = readWholeFile(path("good.exr"));
    }
    struct Case {
        const char *name;
        std::string content;
        const char *problem;
    };
    const Case cases[] = {
        {"cut.pfm", pfm.substr(0, pfm.size() - 1),
         "the PFM header announces 3 x 2 pixels, more than its 71 bytes hold"},
        {"huge.pfm", "PF\n30000 30000\n-1\n",
         "the PFM header announces 30000 x 30000 pixels, more than its 0 bytes hold"},
        {"zero.pfm", "PF\n1 1\n0\n" + std::string(12, '\0'),
         "the PFM scale line is no non-zero number"},
        {"p6.pfm", "P6\n1 1\n255\nabc", "no PFM header (PF or Pf, width height, scale)"},
        {"cut.exr", exrBytes.substr(0, exrBytes.size() * 2 / 3),
         "truncated or corrupt EXR image (OpenEXR: "},
        {"noise.exr", std::string(200, 'v'), "truncated or corrupt EXR image (OpenEXR: "},
    };
    for (const Case &c : cases) {
        if (!exr && radianceFormatOf(c.name) == RadianceFormat::exr)
            continue;
        HPointImage kept = pattern();
        EXPECT_FALSE(readRadianceFile(kept, file(c.name, c.content).c_str(), problem)) << c.name;
        EXPECT_EQ(problem.substr(0, std::strlen(c.problem)), c.problem)
            << c.name << ": " << problem;
        EXPECT_EQ(problem.find('\n'), std::string::npos) << c.name;
        expectSameValues(kept, pattern(), c.name);
    }
}
