#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

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

namespace {

// Keeps the search-path list of the process and puts it back when it goes.
class SearchPathGuard {
public:
    SearchPathGuard() {
        for (int i = 0; i < searchPathCount(); i++)
            saved.push_back(searchPathAt(i));
    }
    ~SearchPathGuard() {
        clearSearchPaths();
        for (const std::string& entry : saved)
            addSearchPath(entry.c_str());
    }

private:
    std::vector<std::string> saved;
};

TEST(SearchPath, LongFileIsReadInLinearTime) {
    SearchPathGuard guard;
    clearSearchPaths();
    // 100 000 distinct lines and each once more: a scan of the list per line
    // took 16 seconds, a set takes a fraction of one.
    std::string lines;
    for (int round = 0; round < 2; round++)
        for (int i = 0; i < 100000; i++)
            lines += "folder" + std::to_string(i) + "/\n";
    std::string file = makeScratchDir() + "/path.txt";
    writeWholeFile(file, lines);
    auto start = std::chrono::steady_clock::now();
    readSearchPaths(file.c_str());
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_EQ(100000, searchPathCount());
    EXPECT_STREQ("folder0/", searchPathAt(0));
    EXPECT_STREQ("folder99999/", searchPathAt(99999));
    EXPECT_LT(seconds, 5.0);
    // Clearing forgets the entries: they may be added again.
    clearSearchPaths();
    addSearchPath("folder0/");
    EXPECT_EQ(1, searchPathCount());
}

} // namespace
