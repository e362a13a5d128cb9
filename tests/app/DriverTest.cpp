#include <gtest/gtest.h>

#include <string>

#include "tests/TestSupport.h"

namespace {

std::string manualText() { return readWholeFile(std::string(VELK_SOURCE_DIR) + "/velkManual.txt"); }

// A scratch folder whose path.txt points at the source root, where the manual lives.
std::string folderWithManual() {
    std::string dir = makeScratchDir();
    writeWholeFile(dir + "/path.txt", std::string(VELK_SOURCE_DIR) + "/\n");
    return dir;
}

TEST(Driver, NoArgumentsAndHelpPrintTheManual) {
    std::string dir = folderWithManual();
    CommandResult none = runVelk(dir, "");
    EXPECT_EQ(0, none.status);
    EXPECT_EQ(manualText(), none.out);
    // Only the first two characters count.
    CommandResult help = runVelk(dir, "-hxyz");
    EXPECT_EQ(0, help.status);
    EXPECT_EQ(manualText(), help.out);
}

TEST(Driver, ManualMissingPrintsOnlyTheLookupError) {
    std::string dir = makeScratchDir();
    CommandResult result = runVelk(dir, "");
    EXPECT_EQ(0, result.status);
    EXPECT_EQ("", result.out);
    EXPECT_EQ("ERROR! could not open file 'path.txt'ERROR! could not open file 'velkManual.txt'",
              result.err);
}

TEST(Driver, MissingOptionValueIsFatal) {
    std::string dir = makeScratchDir();
    CommandResult result = runVelk(dir, "nothing.txt -epsilon");
    EXPECT_EQ(1, result.status);
    EXPECT_NE(std::string::npos, result.err.find("Index Out Of Bounds"));
}

TEST(Driver, StrayWordIsReportedOncePerPass) {
    std::string dir = makeScratchDir();
    CommandResult result = runVelk(dir, "nothing.txt stray");
    EXPECT_EQ(2, result.status);  // no camera
    std::string line = "unknown argument: stray\n";
    size_t first = result.out.find(line);
    ASSERT_NE(std::string::npos, first);
    size_t second = result.out.find(line, first + 1);
    ASSERT_NE(std::string::npos, second);
    EXPECT_EQ(std::string::npos, result.out.find(line, second + 1));
}

TEST(Driver, DisplacementMapIsWrittenOnEveryRun) {
    std::string dir = folderWithManual();
    runVelk(dir, "");
    EXPECT_TRUE(fileExists(dir + "/velk_disp.hg"));
}

TEST(Driver, PPMdiffWritesTheExactDifference) {
    std::string dir = makeScratchDir();
    // a: 2 x 1, b: 3 x 1 (the result takes the common size).
    writeWholeFile(dir + "/a.ppm", std::string("P6\n2 1\n255\n") + std::string("\x0a\x14\x1e\xff\x00\x80", 6));
    writeWholeFile(dir + "/b.ppm",
                   std::string("P6\n3 1\n255\n") + std::string("\x0c\x10\x1e\x00\xff\x80\x01\x02\x03", 9));
    CommandResult result = runVelk(dir, "-PPMdiff a.ppm b.ppm 2 d.ppm");
    EXPECT_EQ(0, result.status);
    std::string d = readWholeFile(dir + "/d.ppm");
    // (b - a) * 2 + 127 clamped: (2*2+127, -4*2+127, 0+127), (-255*2+127 -> 0, 255*2+127 -> 255, 127)
    std::string pixels("\x83\x77\x7f\x00\xff\x7f", 6);
    ASSERT_GE(d.size(), pixels.size());
    EXPECT_EQ(pixels, d.substr(d.size() - pixels.size()));
    EXPECT_EQ(0u, d.rfind("P6\n2 1\n", 0));
}

TEST(Driver, LongOutputNameDoesNotOverflow) {
    std::string dir = makeScratchDir();
    std::string longName(3000, 'x');
    CommandResult result = runVelk(dir, "nothing.txt -o " + longName);
    EXPECT_EQ(2, result.status);  // no camera, and no crash
}

TEST(Driver, MissingSceneLoadsNothingAndRendersNothing) {
    std::string dir = makeScratchDir();
    CommandResult result = runVelk(dir, "nothing.txt");
    EXPECT_EQ(2, result.status);
    EXPECT_NE(std::string::npos, result.err.find("ERROR! could not open file 'nothing.txt'"));
    EXPECT_NE(std::string::npos, result.out.find("scene objects: 0.\nlights: 0.\n"));
    EXPECT_FALSE(fileExists(dir + "/image.ppm"));
}

}  // namespace
