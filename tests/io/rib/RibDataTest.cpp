#include "io/rib/RibData.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "io/rib/RibStatementParser.h"

namespace {

struct Statement {
    std::vector<char> buffer;
    RibData tree;
};

std::unique_ptr<Statement> statementOf(const std::string& text) {
    std::unique_ptr<Statement> s(new Statement);
    s->buffer.assign(text.begin(), text.end());
    s->buffer.push_back('\0');
    parseRibStatement(s->buffer.data(), 0, text.size(), s->tree);
    return s;
}

TEST(RibDataTest, SizesAndBoundsSafeAccess) {
    auto s = statementOf("Color [0.25 0.5 \"x\"] word");
    const RibData& tree = s->tree;
    EXPECT_EQ(tree.size(), 3);
    EXPECT_EQ(tree.node(1).size(), 3);
    EXPECT_DOUBLE_EQ(tree.node(1).floatAt(0), 0.25);
    EXPECT_EQ(tree.node(1).intAt(1), 0);
    EXPECT_STREQ(tree.node(1).stringAt(2), "x");
    // Out of range: empty answers, no reads past the lists.
    EXPECT_DOUBLE_EQ(tree.node(1).floatAt(3), 0.0);
    EXPECT_DOUBLE_EQ(tree.node(1).floatAt(-1), 0.0);
    EXPECT_STREQ(tree.node(1).stringAt(7), "");
    EXPECT_STREQ(tree.node(9).text, "");
    EXPECT_EQ(tree.node(9).nodes.size(), 0u);

    ::testing::internal::CaptureStdout();
    EXPECT_EQ(tree.node(2).size(), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "Trying to get the size of a non-array RibData\n");
    EXPECT_DOUBLE_EQ(statementOf("Sphere 2.5")->tree.node(1).asFloat(), 2.5);
}

TEST(RibDataTest, ParameterLookupNeedsAQuotedNameFollowedByAnArray) {
    auto s = statementOf("Surface \"phong\" \"name\" \"bare\" \"phong\" [3] \"color\" [1 2 3]");
    const RibData& tree = s->tree;
    EXPECT_TRUE(tree.hasParameter("phong"));
    EXPECT_TRUE(tree.hasParameter("color"));
    EXPECT_FALSE(tree.hasParameter("name"));   // its value is not an array
    EXPECT_FALSE(tree.hasParameter("Surface")); // not quoted
    ::testing::internal::CaptureStdout();
    const RibData& phong = tree.findOptionalArg("phong");
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_DOUBLE_EQ(phong.floatAt(0), 3.0);
}

TEST(RibDataTest, FindOptionalArgMessages) {
    auto s = statementOf("Surface \"a\" [1]");
    ::testing::internal::CaptureStdout();
    const RibData& missing = s->tree.findOptionalArg("b");
    const RibData& notStatement = s->tree.node(2).findOptionalArg("a");
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "findOptionalArg couldn't find requested arg b - are you sure it's there?\n"
              "findOptionalArg called on a non-nodearray RibData.\n");
    EXPECT_EQ(&missing, &s->tree);
    EXPECT_EQ(&notStatement, &s->tree.node(2));
}

TEST(RibDataTest, GetFloatsWantsTheExactCount) {
    auto s = statementOf("LightSource \"x\" 1 \"from\" [1 2 3] \"to\" [4 5] \"n\" []");
    double out[3] = {9, 9, 9};
    ::testing::internal::CaptureStdout();
    EXPECT_FALSE(s->tree.getFloats("absent", out, 3));
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");

    ::testing::internal::CaptureStdout();
    EXPECT_FALSE(s->tree.getFloats("to", out, 3));
    EXPECT_FALSE(s->tree.getFloats("n", out, 1));
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "I have vs6\nI have vs6\n");
    EXPECT_EQ(out[0], 9.0);  // untouched after a failure

    EXPECT_TRUE(s->tree.getFloats("from", out, 3));
    EXPECT_EQ(out[0], 1.0);
    EXPECT_EQ(out[2], 3.0);
}

TEST(RibDataTest, GetStringAndLenientFirstValues) {
    auto s = statementOf("Surface \"s\" \"texturefile\" [\"wood.ppm\" \"x\"] \"empty\" [] 7");
    EXPECT_EQ(s->tree.getString("texturefile"), "wood.ppm");
    EXPECT_EQ(s->tree.getString("empty"), "");
    EXPECT_EQ(s->tree.getString("absent"), "");
    EXPECT_STREQ(s->tree.node(3).firstString(), "wood.ppm");
    EXPECT_STREQ(s->tree.node(5).firstString(), "");  // empty array
    EXPECT_EQ(s->tree.node(6).firstInt(), 7);          // bare token
    EXPECT_STREQ(s->tree.firstString(), "");           // a statement has no first value
}

}  // namespace
