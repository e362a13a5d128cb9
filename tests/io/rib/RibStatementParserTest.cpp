#include "io/rib/RibStatementParser.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

// Parses one statement's text; the buffer stays alive with the tree.
struct Parsed {
    std::vector<char> buffer;
    RibData statement;
    std::string out;
};

std::unique_ptr<Parsed> parse(const std::string& text) {
    std::unique_ptr<Parsed> parsed(new Parsed);
    parsed->buffer.assign(text.begin(), text.end());
    parsed->buffer.push_back('\0');
    ::testing::internal::CaptureStdout();
    parseRibStatement(parsed->buffer.data(), 0, text.size(), parsed->statement);
    parsed->out = ::testing::internal::GetCapturedStdout();
    return parsed;
}

TEST(RibStatementParserTest, TokensStringsAndArrays) {
    auto p = parse("Surface \"vq317surface\" \"phong\" [ 5 ]\t\"texturefile\" [\"wood.ppm\"]");
    const RibData& s = p->statement;
    EXPECT_EQ(s.kind, RibData::nodeArray);
    ASSERT_EQ(s.nodes.size(), 6u);
    EXPECT_EQ(s.node(0).kind, RibData::plainToken);
    EXPECT_STREQ(s.node(0).text, "Surface");
    EXPECT_EQ(s.node(1).kind, RibData::quotedString);
    EXPECT_STREQ(s.node(1).text, "vq317surface");
    EXPECT_EQ(s.node(3).kind, RibData::valueArray);
    ASSERT_EQ(s.node(3).values.size(), 1u);
    EXPECT_STREQ(s.node(3).values[0], "5");
    // A quoted element keeps its opening quote; stringAt drops it.
    EXPECT_STREQ(s.node(5).values[0], "\"wood.ppm");
    EXPECT_STREQ(s.node(5).stringAt(0), "wood.ppm");
    EXPECT_EQ(p->out, "");
}

TEST(RibStatementParserTest, QuotedStringsMayHoldBlanks) {
    auto p = parse("LightSource \"pointlight\" 1 \"constant float intensity\" [2] [\"a b\" c]");
    const RibData& s = p->statement;
    ASSERT_EQ(s.nodes.size(), 6u);
    EXPECT_STREQ(s.node(3).text, "constant float intensity");
    ASSERT_EQ(s.node(5).values.size(), 2u);
    EXPECT_STREQ(s.node(5).stringAt(0), "a b");
    EXPECT_STREQ(s.node(5).stringAt(1), "c");
}

TEST(RibStatementParserTest, OpenersDirectlyAfterAWordStartNewNodes) {
    auto p = parse("Surface\"x\"[1 2]Sphere");
    const RibData& s = p->statement;
    ASSERT_EQ(s.nodes.size(), 4u);
    EXPECT_STREQ(s.node(0).text, "Surface");
    EXPECT_EQ(s.node(1).kind, RibData::quotedString);
    EXPECT_STREQ(s.node(1).text, "x");
    EXPECT_EQ(s.node(2).kind, RibData::valueArray);
    EXPECT_EQ(s.node(2).values.size(), 2u);
    EXPECT_STREQ(s.node(3).text, "Sphere");
    // Tabs separate array elements.
    auto t = parse("Color [0.1\t0.2  0.3]");
    ASSERT_EQ(t->statement.node(1).values.size(), 3u);
    EXPECT_DOUBLE_EQ(t->statement.node(1).floatAt(1), 0.2);
}

TEST(RibStatementParserTest, UnterminatedArrayKeepsWhatWasRead) {
    auto p = parse("Color [1 0.5");
    EXPECT_EQ(p->out, "Error in Rib file: Unterminated array\n");
    ASSERT_EQ(p->statement.nodes.size(), 2u);
    EXPECT_EQ(p->statement.node(1).values.size(), 2u);
    // An opener at the very end is an empty array.
    auto q = parse("Color [");
    EXPECT_EQ(q->out, "Error in Rib file: Unterminated array\n");
    EXPECT_EQ(q->statement.node(1).values.size(), 0u);
}

TEST(RibStatementParserTest, UnterminatedStringRunsToTheStatementEnd) {
    auto p = parse("ReadArchive \"file.rib");
    ASSERT_EQ(p->statement.nodes.size(), 2u);
    EXPECT_STREQ(p->statement.node(1).text, "file.rib");
    auto q = parse("Attribute [\"unclosed ]");
    EXPECT_STREQ(q->statement.node(1).stringAt(0), "unclosed ]");
}

TEST(RibStatementParserTest, NulBytesSeparateTokensAndNothingIsReadPastTheEnd) {
    std::string text("Sphere\0\0001", 9);
    auto p = parse(text);
    ASSERT_EQ(p->statement.nodes.size(), 2u);
    EXPECT_STREQ(p->statement.node(1).text, "1");
    // Only a part of the buffer: the rest is untouched.
    std::vector<char> buffer{'A', ' ', 'B', '\0', 'C', '\0'};
    RibData statement;
    parseRibStatement(buffer.data(), 0, 3, statement);
    EXPECT_EQ(statement.nodes.size(), 2u);
    EXPECT_EQ(buffer[4], 'C');
}

}  // namespace
