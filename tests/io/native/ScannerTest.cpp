#include "io/native/Scanner.h"

#include "foundation/Random.h"

#include <gtest/gtest.h>

#include "tests/TestSupport.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

std::vector<std::string> tokensOf(const char* text) {
    resetScanner();
    pushInputText(text);
    std::vector<std::string> tokens;
    while (const char* token = nextToken()) tokens.push_back(token);
    return tokens;
}

typedef std::vector<std::string> Tokens;

class ScannerTest : public ::testing::Test {
protected:
    void SetUp() override { resetScanner(); }
    void TearDown() override { resetScanner(); }
};

TEST_F(ScannerTest, SeparatorsNeverAppearInTokens) {
    EXPECT_EQ(tokensOf("a,b"), (Tokens{"a", "b"}));
    EXPECT_EQ(tokensOf("a;b\r\nc\td\ve\ff"), (Tokens{"a", "b", "c", "d", "e", "f"}));
    EXPECT_EQ(tokensOf("x/y"), (Tokens{"x", "y"}));
    EXPECT_EQ(tokensOf("a . b + c - d"), (Tokens{"a", "b", "c", "d"}));
    EXPECT_EQ(tokensOf("{a}[1](2)"), (Tokens{"{", "a", "}", "[", "1", "]", "(", "2", ")"}));
    EXPECT_EQ(tokensOf("\xff\x80w\x01"), (Tokens{"w"}));
    EXPECT_EQ(tokensOf(""), Tokens{});
    EXPECT_EQ(tokensOf(" \n\n "), Tokens{});
}

TEST_F(ScannerTest, WordsAndIntegers) {
    EXPECT_EQ(tokensOf("_under9 x_1"), (Tokens{"_under9", "x_1"}));
    EXPECT_EQ(tokensOf("12xyz"), (Tokens{"12", "xyz"}));
    // Letters a-f are hex digits, so they extend an integer.
    EXPECT_EQ(tokensOf("12abc"), (Tokens{"12abc"}));
    EXPECT_EQ(tokensOf("0x1F 0Xab"), (Tokens{"0x1F", "0Xab"}));
    EXPECT_EQ(tokensOf("0xg"), (Tokens{"0", "xg"}));
    EXPECT_EQ(tokensOf("1-2"), (Tokens{"1", "-2"}));
    EXPECT_EQ(tokensOf("+5 -7"), (Tokens{"+5", "-7"}));
    EXPECT_EQ(tokensOf("--5"), (Tokens{"-5"}));
}

TEST_F(ScannerTest, DecimalsAndExponents) {
    EXPECT_EQ(tokensOf("1e5"), (Tokens{"1e5"}));
    EXPECT_EQ(tokensOf("1e-5 -2E+3"), (Tokens{"1e-5", "-2E+3"}));
    EXPECT_EQ(tokensOf("1e+"), (Tokens{"1e"}));
    EXPECT_EQ(tokensOf("1.5.3"), (Tokens{"1.5", ".3"}));
    EXPECT_EQ(tokensOf("-.5"), (Tokens{"-.5"}));
    EXPECT_EQ(tokensOf("1.5f"), (Tokens{"1.5", "f"}));
    EXPECT_EQ(tokensOf("5. 1.e5 .5e-2x"), (Tokens{"5.", "1.e5", ".5e-2", "x"}));
    EXPECT_EQ(tokensOf("1.5e"), (Tokens{"1.5", "e"}));
    EXPECT_EQ(tokensOf("-.e5"), (Tokens{"e5"}));
}

TEST_F(ScannerTest, CommentsNestAndIgnoreQuotedCloser) {
    EXPECT_EQ(tokensOf("a /* b */ c"), (Tokens{"a", "c"}));
    EXPECT_EQ(tokensOf("/* a /* b */ c */ d"), (Tokens{"d"}));
    EXPECT_EQ(tokensOf("/* \"*/\" */ x"), (Tokens{"x"}));
    EXPECT_EQ(tokensOf("\"*/\""), (Tokens{"\"*/\""}));
    EXPECT_EQ(tokensOf("*/ * /"), (Tokens{"*/"}));
    // "//" only drops itself; the rest of the line is read.
    EXPECT_EQ(tokensOf("// sphere {"), (Tokens{"sphere", "{"}));
    EXPECT_EQ(tokensOf("//* x"), (Tokens{"x"}));
    EXPECT_EQ(tokensOf("/*/ x */ y"), (Tokens{"y"}));
    // An unterminated comment reports once.
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(tokensOf("a /* b /* c */"), (Tokens{"a"}));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "ERROR! Unexpected end of input looking for token '*/'\n");
}

TEST_F(ScannerTest, DeepCommentNestingDoesNotRecurse) {
    std::string text;
    for (int i = 0; i < 200000; i++) text += "/*";
    for (int i = 0; i < 200000; i++) text += "*/";
    text += " tail";
    EXPECT_EQ(tokensOf(text.c_str()), (Tokens{"tail"}));
}

TEST_F(ScannerTest, QuotedTokens) {
    EXPECT_EQ(tokensOf("\"a b\" 'c d'"), (Tokens{"\"a b\"", "'c d'"}));
    EXPECT_EQ(tokensOf("\"it's\""), (Tokens{"\"it's\""}));
    EXPECT_EQ(tokensOf("\"\""), (Tokens{"\"\""}));
    // No partner on the same line: the quote is dropped.
    EXPECT_EQ(tokensOf("\"abc\ndef\""), (Tokens{"abc", "def"}));
    EXPECT_EQ(tokensOf("'open"), (Tokens{"open"}));
    // A backslash escapes nothing.
    EXPECT_EQ(tokensOf("\"a\\\"b\""), (Tokens{"\"a\\\"", "b"}));
    EXPECT_EQ(tokensOf("\"x\ry\""), (Tokens{"\"x\ry\""}));
}

TEST_F(ScannerTest, LongTokensAreCutWithAMessage) {
    std::string word(20000, 'w');
    std::string text = word + " next";
    ::testing::internal::CaptureStderr();
    Tokens tokens = tokensOf(text.c_str());
    std::string err = ::testing::internal::GetCapturedStderr();
    ASSERT_EQ(tokens.size(), 2u);
    EXPECT_EQ(tokens[0], std::string(maxTokenLength, 'w'));
    EXPECT_EQ(tokens[1], "next");
    EXPECT_EQ(err, "ERROR! Token longer than 16383 characters truncated\n");

    std::string digits = std::string(30000, '7') + ".5e2 z";
    ::testing::internal::CaptureStderr();
    tokens = tokensOf(digits.c_str());
    ::testing::internal::GetCapturedStderr();
    ASSERT_EQ(tokens.size(), 2u);
    EXPECT_EQ(tokens[0].size(), (size_t)maxTokenLength);
    EXPECT_EQ(tokens[1], "z");

    // A quote whose partner lies beyond the longest token is dropped.
    std::string quoted = "\"" + std::string(20000, 'q') + "\" end";
    ::testing::internal::CaptureStderr();
    tokens = tokensOf(quoted.c_str());
    err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(err.rfind("ERROR! Quoted token longer than 16383 characters, quote ignored\n", 0), 0u);
    ASSERT_EQ(tokens.size(), 2u);
    EXPECT_EQ(tokens[0], std::string(maxTokenLength, 'q'));
    EXPECT_EQ(tokens[1], "end");
}

TEST_F(ScannerTest, TokensAcrossTheWindowBoundary) {
    // Tokens and quotes straddle every position of the 16384-byte window.
    std::string text;
    std::vector<std::string> expected;
    for (int i = 0; text.size() < 70000; i++) {
        std::string token;
        switch (i % 4) {
        case 0: token = "word" + std::to_string(i); break;
        case 1: token = "-" + std::to_string(i) + ".25e-1"; break;
        case 2: token = "\"q " + std::to_string(i) + "\""; break;
        default: token = "0x" + std::to_string(i); break;
        }
        text += token;
        text += (i % 3 == 0) ? "\n" : ", ";
        expected.push_back(token);
    }
    EXPECT_EQ(tokensOf(text.c_str()), expected);
}

TEST_F(ScannerTest, InputStackResumesTheInputBelow) {
    ASSERT_TRUE(pushInputText("x y"));
    EXPECT_STREQ(nextToken(), "x");
    ASSERT_TRUE(pushInputText("z"));
    EXPECT_EQ(scannerInputDepth(), 2);
    EXPECT_STREQ(nextToken(), "z");
    EXPECT_STREQ(nextToken(), "y");
    EXPECT_EQ(nextToken(), nullptr);
    EXPECT_EQ(scannerInputDepth(), 0);
    // Past the end the stream stays ended.
    EXPECT_EQ(nextToken(), nullptr);

    // Ten inputs at most.
    for (int i = 0; i < 10; i++) ASSERT_TRUE(pushInputText("t"));
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(pushInputText("u"));
    EXPECT_FALSE(pushInput("whatever.scn"));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "Includes nested too deeplyIncludes nested too deeply");
    int count = 0;
    while (nextToken()) count++;
    EXPECT_EQ(count, 10);
}

TEST_F(ScannerTest, FileInputAndMissingFile) {
    std::string folder = makeScratchDir();
    std::string path = folder + "/tokens.txt";
    writeWholeFile(path, "sphere { radius 2 }");

    ASSERT_TRUE(pushInput(path.c_str()));
    Tokens tokens;
    while (const char* token = nextToken()) tokens.push_back(token);
    EXPECT_EQ(tokens, (Tokens{"sphere", "{", "radius", "2", "}"}));

    std::string missing = folder + "/missing.scn";
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(pushInput(missing.c_str()));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "ERROR! could not open file '" + missing + "'");
    EXPECT_EQ(scannerInputDepth(), 0);
}

TEST_F(ScannerTest, SkipBlockAndSkipTo) {
    pushInputText("a { b } c } d");
    skipBlock(1, "{", "}");
    EXPECT_STREQ(nextToken(), "d");

    pushInputText("x y stop z");
    skipTo("stop");
    EXPECT_STREQ(nextToken(), "z");

    pushInputText("{ {");
    ::testing::internal::CaptureStderr();
    skipBlock(1, "{", "}");
    skipTo("never");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "ERROR! Unexpected end of input looking for token '}'\n"
              "ERROR! Unexpected end of input looking for token 'never'\n");
}

TEST_F(ScannerTest, NumberReaders) {
    pushInputText("-.5 1.5f 1e5 abc 0x10 1e999 -1e999 nan 2 3 4 5 6");
    EXPECT_FLOAT_EQ(readFloat(), -0.5f);
    EXPECT_FLOAT_EQ(readFloat(), 1.5f);
    EXPECT_FLOAT_EQ(readFloat(), 0.0f);  // the f
    EXPECT_FLOAT_EQ(readFloat(), 1e5f);
    EXPECT_FLOAT_EQ(readFloat(), 0.0f);  // text that is no number
    EXPECT_FLOAT_EQ(readFloat(), 16.0f);  // atof reads hex
    EXPECT_TRUE(std::isinf(readFloat()));
    EXPECT_TRUE(std::isinf(readFloat()));
    EXPECT_FLOAT_EQ(readFloat(), 0.0f);  // NaN never gets in
    float a, b, c;
    readFloat2(a, b);
    EXPECT_EQ(a, 2.0f);
    EXPECT_EQ(b, 3.0f);
    readFloat3(a, b, c);
    EXPECT_EQ(a, 4.0f);
    EXPECT_EQ(b, 5.0f);
    EXPECT_EQ(c, 6.0f);
    // After the end of input every reader answers 0.
    readFloat3(a, b, c);
    EXPECT_EQ(a + b + c, 0.0f);
    EXPECT_EQ(readInt(), 0);

    pushInputText("12abc -7 99999999999 -99999999999 1.9");
    EXPECT_EQ(readInt(), 12);
    EXPECT_EQ(readInt(), -7);
    EXPECT_EQ(readInt(), INT_MAX);
    EXPECT_EQ(readInt(), INT_MIN);
    EXPECT_EQ(readInt(), 1);
}

TEST_F(ScannerTest, FloatLists) {
    float values[4] = {9, 9, 9, 9};
    pushInputText("[1 2 3] [4 5 6 7 8 9] after x [1 2");
    EXPECT_EQ(readFloatList(values, 4), 3);
    EXPECT_EQ(values[0] + values[1] + values[2], 6.0f);
    EXPECT_EQ(values[3], 9.0f);
    // Surplus values are read and dropped, the array is never overrun.
    EXPECT_EQ(readFloatList(values, 2), 2);
    EXPECT_EQ(values[0], 4.0f);
    EXPECT_EQ(values[1], 5.0f);
    EXPECT_EQ(values[2], 3.0f);
    EXPECT_STREQ(nextToken(), "after");
    // Not a "[": that token is consumed.
    EXPECT_EQ(readFloatList(values, 4), 0);
    EXPECT_EQ(readFloatList(values, 4), 2);  // cut off by the end of input
    EXPECT_EQ(readFloatList(values, 4), 0);
}

TEST_F(ScannerTest, StripQuotesAndNames) {
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {{"\"a b\"", "a b"}, {"'x'", "x"}, {"\"mixed'", "mixed"}, {"\"\"", ""},
                 {"\"", "\""},       {"abc", "abc"}, {"\"open", "\"open"}, {"", ""}};
    for (const Case& c : cases) {
        char text[32];
        std::snprintf(text, sizeof text, "%s", c.in);
        stripQuotes(text);
        EXPECT_STREQ(text, c.out) << c.in;
    }

    char name[8];
    pushInputText("\"ball\" \"abcdefghijk\" plain");
    EXPECT_TRUE(readName(name, sizeof name));
    EXPECT_STREQ(name, "ball");
    EXPECT_TRUE(readName(name, sizeof name));
    EXPECT_STREQ(name, "abcdefg");
    EXPECT_TRUE(readName(name, sizeof name));
    EXPECT_STREQ(name, "plain");
    EXPECT_FALSE(readName(name, sizeof name));
    EXPECT_STREQ(name, "");
}

TEST_F(ScannerTest, RandomTextNeverBreaksTheScanner) {
    seedRandom(1234);
    for (int round = 0; round < 200; round++) {
        std::string text;
        int length = nextRandom() % 3000;
        for (int i = 0; i < length; i++) text += (char)(nextRandom() % 255 + 1);
        resetScanner();
        pushInputText(text.c_str());
        ::testing::internal::CaptureStderr();
        int count = 0;
        while (const char* token = nextToken()) {
            ASSERT_LE(std::string(token).size(), (size_t)maxTokenLength);
            count++;
        }
        ::testing::internal::GetCapturedStderr();
        EXPECT_LE(count, length);
    }
}

}  // namespace
