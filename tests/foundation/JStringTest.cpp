#include "foundation/JString.h"

#include <gtest/gtest.h>

#include <string>

TEST(JStringTest, ConstructionSizesTheBufferExactly) {
    JString none(nullptr);
    EXPECT_EQ(0, none.length);
    EXPECT_EQ(0, none.capacity);
    EXPECT_STREQ("", none.text());
    JString hello("hello");
    EXPECT_EQ(5, hello.length);
    EXPECT_EQ(5, hello.capacity);
    EXPECT_STREQ("hello", hello.text());
    hello.append("!");
    JString copy(hello);
    EXPECT_EQ(6, copy.capacity);
    EXPECT_STREQ("hello!", copy.text());
    EXPECT_NE(hello.chars, copy.chars);
}

TEST(JStringTest, EqualsComparesLengthAndBytes) {
    EXPECT_TRUE(JString("abc").equals(JString("abc")));
    EXPECT_FALSE(JString("abc").equals(JString("abd")));
    EXPECT_FALSE(JString("abc").equals(JString("ab")));
    EXPECT_TRUE(JString("").equals(JString(nullptr)));
    // An appended NUL byte counts.
    JString withNul("ab");
    withNul.append('\0');
    EXPECT_FALSE(withNul.equals(JString("ab")));
}

TEST(JStringTest, HashValues) {
    EXPECT_EQ(0, JString("").hash());
    EXPECT_EQ(294, JString("abc").hash());  // 97 + 98 + 99
    EXPECT_EQ(-1, JString("\xff").hash());  // bytes are signed
    EXPECT_EQ(-256, JString("\x80\x80").hash());
    // Twice 0x64636261, wrapped to 32 bits.
    EXPECT_EQ((int)(2u * 0x64636261u), JString("abcd").hash());
    EXPECT_EQ(-926497598, JString("abcd").hash());
    // "abcd" + "bcde" as little-endian words.
    EXPECT_EQ((int)(0x64636261u + 0x65646362u), JString("abcde").hash());
    EXPECT_EQ(-791095337, JString("hello world").hash());
    JString key("hello world");
    EXPECT_EQ(-791095337, JString::hashOf(&key));
}

TEST(JStringTest, CharAtAndSubstring) {
    JString s("hello");
    EXPECT_EQ('h', s.charAt(0));
    EXPECT_EQ('o', s.charAt(4));
    EXPECT_STREQ("el", s.substring(1, 3).text());
    EXPECT_TRUE(s.substring(3, 1).equals(s.substring(1, 3))); // reversed bounds swap
    EXPECT_STREQ("hello", s.substring(0, 5).text());
    EXPECT_EQ(0, s.substring(5, 5).length);
    EXPECT_EQ(2, s.substring(1, 3).capacity);
}

TEST(JStringTest, OutOfBoundsIsFatal) {
    JString s("hello");
    EXPECT_EXIT(s.charAt(5), testing::ExitedWithCode(1),
                "^Index Out Of Bounds Exception at \\[5\\] in:\nhello\n$");
    EXPECT_EXIT(s.charAt(-1), testing::ExitedWithCode(1),
                "^Index Out Of Bounds Exception at \\[-1\\] in:\nhello\n$");
    EXPECT_EXIT(s.substring(1, 9), testing::ExitedWithCode(1),
                "^Index Out Of Bounds Exception w/ substring\\(1,9\\]:\nhello\n$");
    EXPECT_EXIT(s.substring(9, 1), testing::ExitedWithCode(1),
                "^Index Out Of Bounds Exception w/ substring\\(1,9\\]:\nhello\n$");
    EXPECT_EXIT(s.substring(-1, 2), testing::ExitedWithCode(1),
                "^Index Out Of Bounds Exception w/ substring\\(-1,2\\]:\nhello\n$");
}

TEST(JStringTest, AssignmentGrowsOnlyPastTheCurrentLength) {
    JString s("abcdefgh");
    JString shorter("xy");
    s = shorter;
    EXPECT_STREQ("xy", s.text());
    EXPECT_EQ(2, s.length);
    EXPECT_EQ(8, s.capacity);  // the buffer is kept
    // Longer than the length (though shorter than the capacity): exact reallocation.
    s = JString("12345");
    EXPECT_STREQ("12345", s.text());
    EXPECT_EQ(5, s.capacity);
    JString& self = s;
    s = self;
    EXPECT_STREQ("12345", s.text());
}

TEST(JStringTest, AppendGrowth) {
    JString s("ab");
    s.append("cde");
    EXPECT_EQ(5, s.capacity); // text: exact length
    s.append(JString("f"));
    EXPECT_EQ(6, s.capacity);
    s.append((const char*)nullptr);
    s.append("");
    EXPECT_STREQ("abcdef", s.text());
    EXPECT_EQ(6, s.length);

    JString chars("");
    chars.append('a');
    EXPECT_EQ(2, chars.capacity); // char: 2 * (capacity + 1)
    chars.append('b');
    EXPECT_EQ(2, chars.capacity);
    chars.append('c');
    EXPECT_EQ(6, chars.capacity);
    EXPECT_STREQ("abc", chars.text());

    // Appending itself copies the old text first.
    JString self("abc");
    self.append(self);
    EXPECT_STREQ("abcabc", self.text());
    self.append(self.text() + 4);
    EXPECT_STREQ("abcabcbc", self.text());
}

TEST(JStringTest, CompareToByUnsignedBytes) {
    EXPECT_EQ(0, JString("abc").compareTo(JString("abc")));
    EXPECT_EQ(-1, JString("abc").compareTo(JString("abd")));
    EXPECT_EQ(1, JString("abd").compareTo(JString("abc")));
    EXPECT_EQ(-1, JString("ab").compareTo(JString("abc")));
    EXPECT_EQ(1, JString("abc").compareTo(JString("ab")));
    EXPECT_EQ(1, JString("\xe9").compareTo(JString("z")));  // 233 > 122
}

TEST(JStringTest, EqualsIgnoreCase) {
    EXPECT_TRUE(JString("Camera").equalsIgnoreCase(JString("cAMERA")));
    EXPECT_FALSE(JString("Camera").equalsIgnoreCase(JString("Camera1")));
    EXPECT_FALSE(JString("a_b").equalsIgnoreCase(JString("a-b")));
}

TEST(JStringTest, IndexOfAndLastIndexOf) {
    JString s("abcabc");
    EXPECT_EQ(1, s.indexOf('b'));
    EXPECT_EQ(4, s.indexOf('b', 2));
    EXPECT_EQ(-1, s.indexOf('z'));
    EXPECT_EQ(-1, s.indexOf('a', 10));
    EXPECT_EQ(0, s.indexOf('a', -3));
    EXPECT_EQ(4, s.lastIndexOf('b'));
    EXPECT_EQ(1, s.lastIndexOf('b', 3));
    EXPECT_EQ(-1, s.lastIndexOf('b', 0));
    EXPECT_EQ(-1, s.lastIndexOf('a', -1));

    EXPECT_EQ(1, s.indexOf("bc"));
    EXPECT_EQ(4, s.indexOf("bc", 2));
    EXPECT_EQ(-1, s.indexOf("bc", 5));
    EXPECT_EQ(-1, s.indexOf("abcabcd"));
    EXPECT_EQ(2, s.indexOf("", 2));
    EXPECT_EQ(6, s.indexOf("", 9));
    EXPECT_EQ(3, s.lastIndexOf("abc"));
    EXPECT_EQ(0, s.lastIndexOf("abc", 2));
    EXPECT_EQ(-1, s.lastIndexOf("x"));
    EXPECT_EQ(6, s.lastIndexOf(""));
    EXPECT_EQ(-1, JString("ab").lastIndexOf("abc"));
}

TEST(JStringTest, EndsWith) {
    JString s("scene.rib");
    EXPECT_TRUE(s.endsWith(".rib"));
    EXPECT_TRUE(s.endsWith(""));
    EXPECT_TRUE(s.endsWith(JString("scene.rib")));
    EXPECT_FALSE(s.endsWith(".xml"));
    EXPECT_FALSE(s.endsWith("a scene.rib"));
}

TEST(JStringTest, ReplaceCharactersAndTexts) {
    JString path("a\\b\\c");
    path.replace('\\', '/');
    EXPECT_STREQ("a/b/c", path.text());

    JString s("one two one");
    s.replace("one", "three");
    EXPECT_STREQ("three two three", s.text());
    EXPECT_EQ(15, s.length);
    s.replace("three", "");
    EXPECT_STREQ(" two ", s.text());
    s.replace("", "x");
    EXPECT_STREQ(" two ", s.text());
    JString overlapping("aaa");
    overlapping.replace("aa", "b");
    EXPECT_STREQ("ba", overlapping.text());
}
