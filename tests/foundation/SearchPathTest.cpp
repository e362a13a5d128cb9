#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "foundation/SearchPath.h"
#include "tests/TestSupport.h"

namespace {

TEST(SearchPath, FileLinesAreFilteredUnquotedAndDeduplicated) {
    clearSearchPaths();
    std::string dir = makeScratchDir();
    std::string file = dir + "/path.txt";
    writeWholeFile(file, "\"quoted/\"\n# comment\n\nplain/\n'mixed/\"\nplain/\n" + std::string(400, 'z') + "\n");
    readSearchPaths(file.c_str());
    ASSERT_GE(searchPathCount(), 3);
    EXPECT_STREQ("quoted/", searchPathAt(0));
    EXPECT_STREQ("plain/", searchPathAt(1));
    EXPECT_STREQ("mixed/", searchPathAt(2));
    // The over-long line is read in pieces and never overflows the line buffer.
    for (int i = 0; i < searchPathCount(); i++) EXPECT_LT(std::string(searchPathAt(i)).size(), 255u);
    clearSearchPaths();
}

TEST(SearchPath, LaterEntriesAreTriedFirst) {
    clearSearchPaths();
    std::string first = makeScratchDir();
    std::string second = makeScratchDir();
    writeWholeFile(first + "/data.txt", "first");
    writeWholeFile(second + "/data.txt", "second");
    addSearchPath((first + "/").c_str());
    addSearchPath((second + "/").c_str());
    FILE* file = openOnSearchPath("data.txt", "r");
    ASSERT_NE(nullptr, file);
    char text[16] = {0};
    ASSERT_NE(nullptr, std::fgets(text, sizeof text, file));
    std::fclose(file);
    EXPECT_STREQ("second", text);
    clearSearchPaths();
}

TEST(SearchPath, MissingFileReportsTheName) {
    clearSearchPaths();
    testing::internal::CaptureStderr();
    FILE* file = openOnSearchPath("no/such/file.txt", "r");
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(nullptr, file);
    EXPECT_EQ("ERROR! could not open file 'no/such/file.txt'", err);
}

}  // namespace
