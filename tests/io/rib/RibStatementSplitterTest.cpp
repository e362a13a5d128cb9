#include "io/rib/RibStatementSplitter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The statements of text as strings (with their line numbers).
struct Split {
    std::vector<std::string> statements;
    std::vector<int> lines;
};

Split split(const std::string& text) {
    std::vector<char> buffer(text.begin(), text.end());
    buffer.push_back('\0');
    size_t length = normalizeLineEnds(buffer.data(), text.size());
    std::vector<RibStatementSpan> spans;
    splitRibStatements(buffer.data(), length, spans);
    Split result;
    for (const RibStatementSpan& span : spans) {
        EXPECT_EQ(buffer[span.end], '\0');
        result.statements.push_back(std::string(buffer.data() + span.start, span.end - span.start));
        result.lines.push_back(span.line);
    }
    return result;
}

TEST(RibStatementSplitterTest, OneStatementPerLineAndBlankLinesSkipped) {
    Split s = split("WorldBegin\n\n\n  Sphere 1 -1 1 360\nWorldEnd");
    ASSERT_EQ(s.statements.size(), 3u);
    EXPECT_EQ(s.statements[0], "WorldBegin");
    // A statement starts after the last blank line.
    EXPECT_EQ(s.statements[1], "  Sphere 1 -1 1 360");
    EXPECT_EQ(s.statements[2], "WorldEnd");
    EXPECT_EQ(s.lines, (std::vector<int>{1, 4, 5}));
    // Carriage return line feeds become line feeds.
    EXPECT_EQ(split("WorldBegin\r\nSphere 1\r\n\r\nWorldEnd\r\n").statements,
              (std::vector<std::string>{"WorldBegin", "Sphere 1", "WorldEnd"}));
}

TEST(RibStatementSplitterTest, QuotedOrBracketedContinuationLinesJoinTheStatement) {
    Split s = split("Surface \"plastic\"\n  \"Ka\" [1]\n\t[2 3]\nSphere 1\n");
    ASSERT_EQ(s.statements.size(), 2u);
    EXPECT_EQ(s.statements[0], "Surface \"plastic\"   \"Ka\" [1] \t[2 3]");
    EXPECT_EQ(s.statements[1], "Sphere 1");
    EXPECT_EQ(s.lines, (std::vector<int>{1, 4}));
}

TEST(RibStatementSplitterTest, ContinuationStartingWithANumberIsAStatementOfItsOwn) {
    Split s = split("NuPatch 9 3 [0 0 0]\n    13 4 [1 2]\n");
    ASSERT_EQ(s.statements.size(), 2u);
    EXPECT_EQ(s.statements[1], "    13 4 [1 2]");
}

TEST(RibStatementSplitterTest, CommentsEndAtTheLineFeed) {
    Split s = split("Translate 1 2 3 # move it\n# a whole comment line\nSphere 1");
    ASSERT_EQ(s.statements.size(), 2u);
    EXPECT_EQ(s.statements[0], "Translate 1 2 3 " + std::string(9, ' '));
    EXPECT_EQ(s.statements[1], "Sphere 1");
    EXPECT_EQ(s.lines[1], 3);
}

TEST(RibStatementSplitterTest, CommentLinesBeforeAContinuationAreLookedPast) {
    // The exporter's layout: the command, a comment, then the arrays.
    Split s = split("PointsGeneralPolygons\t# {\n# more\n\n  [1] [3]\n  [0 1 2]\n  \"P\" [0 0 0]\nWorldEnd");
    ASSERT_EQ(s.statements.size(), 2u);
    EXPECT_EQ(s.statements[0].find("PointsGeneralPolygons"), 0u);
    EXPECT_NE(s.statements[0].find("[0 1 2]"), std::string::npos);
    EXPECT_NE(s.statements[0].find("\"P\" [0 0 0]"), std::string::npos);
    EXPECT_EQ(s.statements[1], "WorldEnd");
}

TEST(RibStatementSplitterTest, LineFeedsInsideBracketsDoNotEndTheStatement) {
    Split s = split("Transform [1 0 0 0\n0 1 0 0\n0 0 1 0\n0 0 0 1]\nWorldBegin");
    ASSERT_EQ(s.statements.size(), 2u);
    EXPECT_EQ(s.statements[0], "Transform [1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1]");
}

TEST(RibStatementSplitterTest, EmptyAndBlankTextsHaveNoStatements) {
    EXPECT_TRUE(split("").statements.empty());
    EXPECT_TRUE(split("  \n\t\n# only a comment\n").statements.empty());
    EXPECT_TRUE(split("# comment without line feed").statements.empty());
}

TEST(RibStatementSplitterTest, UnbalancedBracketsAndBinaryBytesStayInsideTheBuffer) {
    // A stray "]" does not make a later "[" count as closed.
    Split stray = split("Color ] 1\nColor [1\n2 3]\nSphere 1");
    ASSERT_EQ(stray.statements.size(), 3u);
    EXPECT_EQ(stray.statements[1], "Color [1 2 3]");
    // An array left open swallows the rest, which is still one bounded statement.
    Split open = split("Color [1 2\nSphere 1\nWorldEnd");
    ASSERT_EQ(open.statements.size(), 1u);
    EXPECT_EQ(open.statements[0], "Color [1 2 Sphere 1 WorldEnd");
    // NUL bytes are ordinary characters: the spans still cover the text.
    std::string binary("A\0B\nC", 5);
    Split bytes = split(binary);
    ASSERT_EQ(bytes.statements.size(), 2u);
    EXPECT_EQ(bytes.statements[0], std::string("A\0B", 3));
    EXPECT_EQ(bytes.statements[1], "C");
}

}  // namespace
