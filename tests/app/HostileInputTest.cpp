// Whole runs of velk on hostile input: files whose recursion, size or kind
// would crash the program, hang it or take all memory. Every run is bounded
// in time, so a fault shows as a failed test (status 137 when it was killed).
// A run left without a camera ends with status 2.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/TestSupport.h"

namespace {

const int runSeconds = 60;

struct HostileRun {
    const char* what;
    // File name and contents; "->/dev/zero" makes a link to that device,
    // "|" a named pipe.
    std::vector<std::pair<std::string, std::string>> files;
    std::string arguments;
    int status;
    std::string expected; // on standard output or standard error
};

void lay(const std::string& dir, const HostileRun& run) {
    for (const auto& file : run.files) {
        std::string path = dir + "/" + file.first;
        if (file.second == "->/dev/zero")
            ASSERT_EQ(0, symlink("/dev/zero", path.c_str()));
        else if (file.second == "|")
            ASSERT_EQ(0, mkfifo(path.c_str(), 0600));
        else if (file.second == "/")
            ASSERT_EQ(0, mkdir(path.c_str(), 0700));
        else
            writeWholeFile(path, file.second);
    }
}

void expectRun(const HostileRun& run) {
    std::string dir = makeScratchDir();
    lay(dir, run);
    CommandResult result = runVelkWithin(dir, run.arguments, runSeconds);
    EXPECT_EQ(run.status, result.status) << run.what << "\n" << result.out << result.err;
    EXPECT_NE(std::string::npos, (result.out + result.err).find(run.expected))
        << run.what << "\n"
        << result.out << result.err;
}

// The camera at the centre of a perfect mirror ball: every ray is reflected
// until the depth limit ends its tree.
std::string mirrorBallScene(const char* treeDepth) {
    return std::string("view { view_from_pt 0 0 0 view_to_pt 0 0 -1 view_up_vec 0 1 0 fovy 0.5 "
                       "image_size 4 4 tree_depth ") +
           treeDepth +
           " }\n"
           "sphere { center 0 0 0 radius 2 diffuse_color 0 0 0 reflectivity 1 1 1 }\n"
           "point_light { location 0 0 0 emissive_color 1 1 1 }\n";
}

const char* mirrorBallRib =
    "Format 4 4 1\n"
    "Attribute \"vq317Setting\" \"rayDepth\" [100000]\n"
    "WorldBegin\n"
    "Surface \"vq317surface\" \"reflectedcolor\" [1 1 1] \"glossiness\" [0]\n"
    "Sphere 2 -2 2 360\n"
    "WorldEnd\n";

TEST(HostileInput, RayTreeDepthIsHeldToTheDeepestLevel) {
    const std::string clamped = "tree_depth 100000 is deeper than 100; tracing 100 levels\n";
    const std::vector<HostileRun> runs = {
        {"tree_depth", {{"ball.txt", mirrorBallScene("100000")}}, "ball.txt", 0, clamped},
        {"-maxDepth",
         {{"ball.txt", mirrorBallScene("4")}},
         "ball.txt -maxDepth 100000",
         0,
         clamped},
        {"rayDepth", {{"ball.rib", mirrorBallRib}}, "ball.rib", 0, clamped},
    };
    for (const HostileRun& run : runs)
        expectRun(run);
    // Depths the settings allow are traced as asked, without a word.
    std::string dir = makeScratchDir();
    writeWholeFile(dir + "/ball.txt", mirrorBallScene("100"));
    CommandResult result = runVelkWithin(dir, "ball.txt", runSeconds);
    EXPECT_EQ(0, result.status);
    EXPECT_EQ(std::string::npos, result.out.find("deeper than")) << result.out;
}

TEST(HostileInput, RayTreeThatDoublesAtEveryLevelIsCut) {
    // A ball that reflects and transmits everything inside a mirror ball:
    // every hit on the inner ball doubles the tree, 2^100 rays per pixel.
    std::string dir = makeScratchDir();
    writeWholeFile(dir + "/glass.txt",
                   "view { view_from_pt 0 0 0 view_to_pt 0 0 -1 view_up_vec 0 1 0 fovy 0.5 "
                   "image_size 4 4 tree_depth 100 }\n"
                   "sphere { center 0 0 0 radius 1 diffuse_color 0 0 0 reflectivity 1 1 1 "
                   "transmitivity 1 1 1 refraction 1 }\n"
                   "sphere { center 0 0 0 radius 2 diffuse_color 0 0 0 reflectivity 1 1 1 }\n");
    CommandResult result = runVelkWithin(dir, "glass.txt", runSeconds);
    EXPECT_EQ(0, result.status);
    EXPECT_NE(std::string::npos,
              result.out.find("ray trees of more than 65535 rays were cut there\n"))
        << result.out;
    EXPECT_TRUE(fileExists(dir + "/image.ppm"));
}

TEST(HostileInput, FolderNamedAsAnInputFileIsRefused) {
    const std::vector<HostileRun> runs = {
        {"shape file",
         {{"s.txt", "shape { file \".\" }\n"}},
         "s.txt",
         2,
         "ERROR! '.' is not a regular file; not read\n"},
        {"-ply2vrml", {}, "-ply2vrml . out.txt", 0, "ERROR! '.' is not a regular file; not read\n"},
        {"folder x.ply",
         {{"x.ply", "/"}},
         "x.ply",
         0,
         "ERROR! 'x.ply' is not a regular file; not read\n"},
        {"scene folder",
         {{"d.rib", "/"}},
         "d.rib",
         2,
         "ERROR! 'd.rib' is not a regular file; not read\n"},
    };
    for (const HostileRun& run : runs)
        expectRun(run);
}

TEST(HostileInput, EndlessInputsAreRefused) {
    const std::string zero = "->/dev/zero";
    auto refused = [](const char* name) {
        return std::string("ERROR! '") + name + "' is not a regular file; not read\n";
    };
    const char* pathTracedRib = "Format 4 4 1\nPixelSamples 1 1\n"
                                "Attribute \"vq317Setting\" \"renderType\" [\"pathTracing\"]\n"
                                "WorldBegin\nWorldEnd\n";
    const std::vector<HostileRun> runs = {
        {"native scene", {{"zero", zero}}, "zero", 2, refused("zero")},
        {"piped scene", {{"pipe", "|"}}, "pipe", 2, refused("pipe")},
        {"mesh",
         {{"s.txt", "shape { file \"zero\" }\n"}, {"zero", zero}},
         "s.txt",
         2,
         refused("zero")},
        {"point cloud",
         {{"p.txt", "point_cloud { file \"zero\" }\n"}, {"zero", zero}},
         "p.txt",
         2,
         refused("zero")},
        {"-ply2vrml", {{"zero", zero}}, "-ply2vrml zero out.txt", 0, refused("zero")},
        {"RIB scene", {{"zero.rib", zero}}, "zero.rib", 2, refused("zero.rib")},
        {"RIB archive",
         {{"a.rib", "ReadArchive \"zero\"\n"}, {"zero", zero}},
         "a.rib",
         2,
         refused("zero")},
        {"RIB texture",
         {{"t.rib", "Surface \"vq317surface\" \"texturefile\" [\"zero\"]\n"}, {"zero", zero}},
         "t.rib",
         2,
         refused("zero")},
        {"XML pipe", {{"pipe.xml", "|"}}, "pipe.xml", 2, "XML Error! Could not load file"},
        {"-PPMdiff", {{"zero", zero}}, "-PPMdiff zero zero 1 d.ppm", 0, refused("zero")},
        {"velk_disp.pgm", {{"velk_disp.pgm", zero}}, "nothing.txt", 2, refused("velk_disp.pgm")},
        {"acceptedImage.im",
         {{"pt.rib", pathTracedRib}, {"acceptedImage.im", zero}},
         "pt.rib",
         0,
         refused("acceptedImage.im")},
        {"path.txt", {{"path.txt", zero}}, "nothing.txt", 2, refused("path.txt")},
        {"velkManual.txt", {{"velkManual.txt", zero}}, "", 0, refused("velkManual.txt")},
    };
    for (const HostileRun& run : runs)
        expectRun(run);
}

TEST(HostileInput, FrameTooLargeEndsTheRunWithItsStatus) {
    const std::vector<HostileRun> runs = {
        {"RIB Format",
         {{"big.rib", "Format 30000 30000 1\nWorldBegin\nWorldEnd\n"}},
         "big.rib",
         2,
         "ERROR! a frame of 30000 x 30000 pixels is more than the 16777216 pixels velk renders; "
         "nothing rendered\n"},
        {"path tracer -size",
         {{"pt.rib", "Attribute \"vq317Setting\" \"renderType\" [\"pathTracing\"]\n"
                     "WorldBegin\nWorldEnd\n"}},
         "pt.rib -size 32768 32767",
         2,
         "ERROR! a frame of 32768 x 32767 pixels"},
        {"just past the limit",
         {{"s.txt", mirrorBallScene("1")}},
         "s.txt -size 4097 4096",
         2,
         "ERROR! a frame of 4097 x 4096 pixels"},
    };
    for (const HostileRun& run : runs)
        expectRun(run);
}

} // namespace
