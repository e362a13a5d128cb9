#include "geometry/MeshText.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>

#include "tests/TestSupport.h"

TEST(MeshTextTest, LinesEndAtNewlinesWhateverTheirLength) {
    std::string longLine(1000, '7');
    std::string content = "first\r\n\nthird line\n" + longLine + "\nlast without newline";
    MeshText text;
    text.assign(content.data(), content.size());
    EXPECT_STREQ(text.nextLine(), "first");
    EXPECT_STREQ(text.nextLine(), "");
    EXPECT_STREQ(text.nextLine(), "third line");
    EXPECT_EQ(std::string(text.nextLine()), longLine);
    EXPECT_EQ(text.remaining(), 20u);
    EXPECT_STREQ(text.nextLine(), "last without newline");
    EXPECT_EQ(text.nextLine(), nullptr);
    EXPECT_EQ(text.nextLine(), nullptr);

    MeshText empty;
    EXPECT_EQ(empty.nextLine(), nullptr);
    MeshText trailing;
    trailing.assign("a\n", 2);
    EXPECT_STREQ(trailing.nextLine(), "a");
    EXPECT_EQ(trailing.nextLine(), nullptr);
}

TEST(MeshTextTest, RawBytesFollowTheFirstLine) {
    std::string content = std::string("HEAD\n") + '\0' + "\x01\n\xff";
    MeshText text;
    text.assign(content.data(), content.size());
    EXPECT_STREQ(text.nextLine(), "HEAD");
    ASSERT_EQ(text.remaining(), 4u);
    EXPECT_EQ(text.rest()[0], 0);
    EXPECT_EQ(text.rest()[1], 1);
    EXPECT_EQ(text.rest()[3], 0xff);
}

TEST(MeshTextTest, LoadsAFileFromItsPosition) {
    std::string dir = makeScratchDir();
    std::string content(200000, 'x');
    content += "\nend";
    writeWholeFile(dir + "/big.txt", "skip" + content);
    FILE* file = std::fopen((dir + "/big.txt").c_str(), "rb");
    ASSERT_NE(file, nullptr);
    std::fseek(file, 4, SEEK_SET);
    MeshText text;
    EXPECT_TRUE(text.load(file));
    std::fclose(file);
    EXPECT_EQ(std::string(text.nextLine()).size(), 200000u);
    EXPECT_STREQ(text.nextLine(), "end");
}

TEST(MeshTextTest, NumbersReadLikeScanf) {
    char line[] = "  1.5\t-2e3 0x10 nan inf 7 word 8";
    char* cursor = line;
    float value;
    EXPECT_TRUE(scanFloat(cursor, value));
    EXPECT_EQ(value, 1.5f);
    EXPECT_TRUE(scanFloat(cursor, value));
    EXPECT_EQ(value, -2000.0f);
    EXPECT_TRUE(scanFloat(cursor, value));
    EXPECT_EQ(value, 16.0f);
    EXPECT_TRUE(scanFloat(cursor, value));
    EXPECT_TRUE(std::isnan(value));
    EXPECT_TRUE(scanFloat(cursor, value));
    EXPECT_TRUE(std::isinf(value));
    int number;
    EXPECT_TRUE(scanInt(cursor, number));
    EXPECT_EQ(number, 7);
    // A word stops every later read; the cursor stays before it.
    EXPECT_FALSE(scanInt(cursor, number));
    EXPECT_EQ(number, 0);
    EXPECT_FALSE(scanFloat(cursor, value));
    EXPECT_EQ(value, 0.0f);
    EXPECT_STREQ(cursor, " word 8");

    char big[] = "99999999999 -99999999999 3.7";
    cursor = big;
    EXPECT_TRUE(scanInt(cursor, number));
    EXPECT_EQ(number, INT_MAX);
    EXPECT_TRUE(scanInt(cursor, number));
    EXPECT_EQ(number, INT_MIN);
    EXPECT_TRUE(scanInt(cursor, number));
    EXPECT_EQ(number, 3);
    EXPECT_FALSE(scanInt(cursor, number));  // ".7"
}
