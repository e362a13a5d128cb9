#include "foundation/InputFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "tests/TestSupport.h"

namespace {

TEST(InputFile, OnlyRegularFilesAreOpenedAndRead) {
    std::string dir = makeScratchDir();
    std::string regular = dir + "/a.txt", pipe = dir + "/pipe", zero = dir + "/zero";
    writeWholeFile(regular, std::string("ab\0c\n", 5));
    ASSERT_EQ(0, mkfifo(pipe.c_str(), 0600));
    ASSERT_EQ(0, symlink("/dev/zero", zero.c_str()));

    std::string text;
    EXPECT_TRUE(readInputFile(regular.c_str(), text));
    EXPECT_EQ(std::string("ab\0c\n", 5), text);
    FILE* file = openInputFile(regular.c_str(), "r");
    ASSERT_NE(nullptr, file);
    std::fclose(file);

    // A folder, a pipe (which would wait for a writer) and a device are
    // refused, each with its message; a missing file silently.
    const std::string refused[] = {dir, pipe, zero, "/dev/null"};
    for (const std::string& name : refused) {
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(nullptr, openInputFile(name.c_str(), "rb")) << name;
        EXPECT_FALSE(readInputFile(name.c_str(), text)) << name;
        std::string line = "ERROR! '" + name + "' is not a regular file; not read\n";
        EXPECT_EQ(line + line, ::testing::internal::GetCapturedStderr());
        EXPECT_TRUE(inputExists(name.c_str()));
        EXPECT_FALSE(isRegularFile(name.c_str()));
    }
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(nullptr, openInputFile((dir + "/missing").c_str(), "rb"));
    EXPECT_FALSE(readInputFile((dir + "/missing").c_str(), text));
    EXPECT_EQ("", ::testing::internal::GetCapturedStderr());
    EXPECT_EQ("", text);
}

TEST(InputFile, TwoNamesOfOneFileHaveOneIdentity) {
    std::string dir = makeScratchDir();
    writeWholeFile(dir + "/a.txt", "a");
    writeWholeFile(dir + "/b.txt", "b");
    FileIdentity plain, dotted, other, missing;
    ASSERT_TRUE(identifyFile((dir + "/a.txt").c_str(), plain));
    ASSERT_TRUE(identifyFile((dir + "/.//./a.txt").c_str(), dotted));
    ASSERT_TRUE(identifyFile((dir + "/b.txt").c_str(), other));
    EXPECT_TRUE(plain == dotted);
    EXPECT_FALSE(plain == other);
    EXPECT_FALSE(identifyFile((dir + "/none").c_str(), missing));
}

} // namespace
