#include "foundation/HPoint.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "foundation/GMatrix.h"
#include "foundation/Random.h"
#include "foundation/ScratchText.h"

static void expectPoint(const HPoint& p, float x, float y, float z, float w) {
    EXPECT_FLOAT_EQ(x, p.x);
    EXPECT_FLOAT_EQ(y, p.y);
    EXPECT_FLOAT_EQ(z, p.z);
    EXPECT_FLOAT_EQ(w, p.w);
}

TEST(HPointTest, ArithmeticKeepsTheReceiversW) {
    expectPoint(HPoint(), 0, 0, 0, 1);
    HPoint a(1, 2, 3, 0.5f), b(4, 5, 6, 9);
    expectPoint(a.sum(b), 5, 7, 9, 0.5f);
    expectPoint(a.difference(b), -3, -3, -3, 0.5f);
    expectPoint(a.scaled(2), 2, 4, 6, 0.5f);
    HPoint c = a;
    c.add(b);
    expectPoint(c, 5, 7, 9, 0.5f);
    c.subtract(b);
    expectPoint(c, 1, 2, 3, 0.5f);
    c.scale(-1);
    expectPoint(c, -1, -2, -3, 0.5f);
    c.multiply(b);
    expectPoint(c, -4, -10, -18, 0.5f);
    EXPECT_FLOAT_EQ(32.0f, a.dot(b));
    // The cross product is right-handed and returns w = 1.
    expectPoint(HPoint(1, 0, 0, 0).cross(HPoint(0, 1, 0, 0)), 0, 0, 1, 1);
    expectPoint(HPoint(1, 2, 3).cross(HPoint(4, 5, 6)), -3, 6, -3, 1);
}

TEST(HPointTest, NormalizeLeavesZeroVectorAlone) {
    HPoint zero(0, 0, 0, 0);
    zero.normalize();
    expectPoint(zero, 0, 0, 0, 0);
    HPoint v(3, 0, 4, 7);
    EXPECT_FLOAT_EQ(5.0f, v.length());
    v.normalize();
    expectPoint(v, 0.6f, 0, 0.8f, 7);
}

TEST(HPointTest, PerpendicularBranches) {
    expectPoint(HPoint::perpendicular(HPoint(0, 0, 1)), 1, 0, 0, 1);
    expectPoint(HPoint::perpendicular(HPoint(1, 0, 0)), 0, -1, 0, 1);
    // x^2 + y^2 = 0.32 is below the 0.35 limit: second branch.
    HPoint n(0.4f, 0.4f, 0.8246f);
    expectPoint(HPoint::perpendicular(n), 0.8246f, 0, -0.4f, 1);
    EXPECT_NEAR(0.0f, HPoint::perpendicular(n).dot(n), 1e-6f);
}

TEST(HPointTest, ReflectAndRefract) {
    HPoint n(0, 1, 0);
    expectPoint(HPoint::reflect(n, HPoint(1, -1, 0, 0)), 1, 1, 0, 1);
    HPoint result(9, 9, 9, 9);
    ASSERT_TRUE(result.refract(n, HPoint(0, -1, 0, 0), 1.0f, 1.5f));
    expectPoint(result, 0, -1, 0, 0);

    // 45 degrees into glass: Snell gives sin t = sin 45 / 1.5.
    float s = std::sqrt(0.5f);
    ASSERT_TRUE(result.refract(n, HPoint(s, -s, 0, 0), 1.0f, 1.5f));
    EXPECT_NEAR(s / 1.5f, result.x, 1e-6f);
    EXPECT_NEAR(-std::sqrt(1.0f - 0.5f / 2.25f), result.y, 1e-6f);
    EXPECT_NEAR(1.0f, result.length(), 1e-6f);

    // Total internal reflection: false, and the result is untouched.
    HPoint grazing(1, -0.001f, 0, 0);
    grazing.normalize();
    result = HPoint(9, 8, 7, 6);
    EXPECT_FALSE(result.refract(n, grazing, 1.5f, 1.0f));
    expectPoint(result, 9, 8, 7, 6);
}

TEST(HPointTest, ComponentMinMaxIncludeWAndProjectXY) {
    HPoint a(1, 5, 3, 1);
    a.componentMin(HPoint(2, 4, 3, 0));
    expectPoint(a, 1, 4, 3, 0);
    a.componentMax(HPoint(0, 6, -1, 2));
    expectPoint(a, 1, 6, 3, 2);
    // projectXY divides x and y by w and keeps z.
    HPoint p(2, 4, 7, 2);
    p.projectXY();
    expectPoint(p, 1, 2, 7, 1);
}

TEST(HPointTest, TransformIsTheFullRowVectorProduct) {
    GMatrix m(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16);
    HPoint p(1, 2, 3, 42);  // the input w is taken as 1
    p.transform(m);
    expectPoint(p, 1 + 10 + 27 + 13, 2 + 12 + 30 + 14, 3 + 14 + 33 + 15, 4 + 16 + 36 + 16);

    HPoint q(1, 1, 1);
    q.transform(GMatrix::translation(1, 2, 3));
    expectPoint(q, 2, 3, 4, 1);
}

TEST(HPointTest, JitterDrawsThreeNumbersFirstAndStaysInRange) {
    seedRandom(1);
    float t1 = uniform01(), t2 = uniform01(), t3 = uniform01();
    seedRandom(1);
    HPoint p(1, 2, 3, 5);
    p.jitter(0.5f);
    expectPoint(p, 1 + (2 * t1 - 1) * 0.5f, 2 + (2 * t2 - 1) * 0.5f, 3 + (2 * t3 - 1) * 0.5f, 5);
    seedRandom(3);
    for (int i = 0; i < 1000; i++) {
        HPoint p(0, 0, 0);
        p.jitter(0.25f);
        ASSERT_LE(std::fabs(p.x), 0.25f);
        ASSERT_LE(std::fabs(p.y), 0.25f);
        ASSERT_LE(std::fabs(p.z), 0.25f);
    }
}

TEST(HPointTest, ToStringTexts) {
    EXPECT_STREQ("( 1.00000 2.00000 3.00000  1.00000 )", HPoint(1, 2, 3, 1).toString());
    EXPECT_STREQ("( -0.50000 0.00000 0.25000  0.00000 )", HPoint(-0.5f, 0, 0.25f, 0).toString());
    AxisBox box(HPoint(-1, -2, -3), HPoint(1, 2, 3));
    EXPECT_STREQ("( -1.00000 -2.00000 -3.00000  1.00000 )-( 1.00000 2.00000 3.00000  1.00000 )",
                 box.toString());
}

TEST(HPointTest, ToStringOfHugeValuesIsCutNotOverflowed) {
    HPoint huge(3e38f, -3e38f, 3e38f, 3e38f);
    const char* text = huge.toString();
    EXPECT_EQ(127u, std::strlen(text));
    EXPECT_EQ(0, std::strncmp(text, "( 300000000549775575777803994281145270272.00000 -3", 50)) << text;
    AxisBox box(huge, huge);
    EXPECT_EQ(127u, std::strlen(box.toString()));
}

TEST(HPointTest, SixteenthToStringOverwritesTheFirst) {
    scratchText(scratchTextSize);  // the next slice starts at the beginning
    const char* first = HPoint(1, 2, 3, 1).toString();
    std::string firstText = first;
    for (int i = 2; i <= 15; i++) HPoint((float)i, 0, 0, 1).toString();
    EXPECT_EQ(firstText, first);
    const char* sixteenth = HPoint(16, 0, 0, 1).toString();
    EXPECT_EQ(first, sixteenth);
    EXPECT_STREQ("( 16.00000 0.00000 0.00000  1.00000 )", first);
}

TEST(HPointTest, AxisBoxExtendGrowsBothCorners) {
    AxisBox box(HPoint(0, 0, 0), HPoint(0, 0, 0));
    box.extend(HPoint(1, -2, 3));
    box.extend(HPoint(-1, 2, 0));
    expectPoint(box.min, -1, -2, 0, 1);
    expectPoint(box.max, 1, 2, 3, 1);
}
