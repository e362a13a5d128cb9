#include "foundation/GMatrix.h"

#include <gtest/gtest.h>

#include <cmath>

static void expectMatrixNear(const GMatrix& expected, const GMatrix& actual) {
    for (int i = 0; i < 16; i++) EXPECT_NEAR(expected.m[i], actual.m[i], 1e-6f) << "entry " << i;
}

TEST(GMatrixTest, ConstructorsFillTheDiagonalOrKeepTheOrder) {
    float values[16];
    for (int i = 0; i < 16; i++) values[i] = (float)i;
    GMatrix two(2.0f), identity, fromArray(values);
    GMatrix fromList(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    for (int i = 0; i < 16; i++) {
        EXPECT_EQ(i % 5 == 0 ? 2.0f : 0.0f, two.m[i]);
        EXPECT_EQ(i % 5 == 0 ? 1.0f : 0.0f, identity.m[i]);
        EXPECT_EQ((float)i, fromArray.m[i]);
        EXPECT_EQ((float)i, fromList.m[i]);
    }
}

TEST(GMatrixTest, ProductIsRowMajor) {
    GMatrix a(1, 2, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1);
    GMatrix b(1, 0, 0, 0, 3, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1);
    GMatrix ab = a.product(b);
    // Row 0 of a (1, 2, 0, 0) times b: (1 + 6, 2, 0, 0).
    EXPECT_EQ(7.0f, ab.m[0]);
    EXPECT_EQ(2.0f, ab.m[1]);
    EXPECT_EQ(3.0f, ab.m[4]);
    EXPECT_EQ(1.0f, ab.m[5]);
    a.multiply(b);
    expectMatrixNear(ab, a);
}

TEST(GMatrixTest, MultiplyAppliesThisFirstThenTheArgument) {
    GMatrix m = GMatrix::translation(1, 0, 0);
    m.multiply(GMatrix::scaling(2, 2, 2));
    HPoint p(1, 1, 1);
    p.transform(m);
    EXPECT_FLOAT_EQ(4.0f, p.x);  // (1 + 1) * 2
    EXPECT_FLOAT_EQ(2.0f, p.y);
    EXPECT_FLOAT_EQ(1.0f, p.w);
    // Multiplying by itself uses the old values.
    GMatrix t = GMatrix::translation(1, 2, 3);
    t.multiply(t);
    expectMatrixNear(GMatrix::translation(2, 4, 6), t);
}

TEST(GMatrixTest, TransposeSwapsAcrossTheDiagonal) {
    GMatrix m(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    m.transpose();
    for (int r = 0; r < 4; r++)
        for (int c = 0; c < 4; c++) EXPECT_EQ((float)(4 * c + r), m.m[4 * r + c]);
}

TEST(GMatrixTest, RotationsTurnCounterClockwise) {
    // A quarter turn about z takes x to y under p . M.
    HPoint p(1, 0, 0);
    p.transform(GMatrix::rotationZ(1, 0));
    EXPECT_NEAR(0.0f, p.x, 1e-7f);
    EXPECT_NEAR(1.0f, p.y, 1e-7f);
    HPoint q(0, 1, 0);
    q.transform(GMatrix::rotationX(1, 0));
    EXPECT_NEAR(1.0f, q.z, 1e-7f);
    HPoint r(0, 0, 1);
    r.transform(GMatrix::rotationY(1, 0));
    EXPECT_NEAR(1.0f, r.x, 1e-7f);
}

TEST(GMatrixTest, RotateInPlaceEqualsTheFullProduct) {
    GMatrix base(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16);
    float s = std::sin(0.3f), c = std::cos(0.3f);
    GMatrix x = base, y = base, z = base;
    x.rotateX(s, c);
    y.rotateY(s, c);
    z.rotateZ(s, c);
    expectMatrixNear(base.product(GMatrix::rotationX(s, c)), x);
    expectMatrixNear(base.product(GMatrix::rotationY(s, c)), y);
    expectMatrixNear(base.product(GMatrix::rotationZ(s, c)), z);
    EXPECT_EQ(base.m[3], x.m[3]);
    EXPECT_EQ(base.m[15], z.m[15]);
}

TEST(GMatrixTest, AxisAngleOfRotationsAboutEachAxis) {
    float s = std::sin(0.7f), c = std::cos(0.7f);
    HPoint axis;
    float cosAngle, sinAngle;
    GMatrix::rotationX(s, c).toAxisAngle(axis, cosAngle, sinAngle);
    EXPECT_NEAR(c, cosAngle, 1e-6f);
    EXPECT_NEAR(s, sinAngle, 1e-6f);
    EXPECT_NEAR(1.0f, axis.x, 1e-5f);
    EXPECT_NEAR(0.0f, axis.y, 1e-6f);
    GMatrix::rotationY(s, c).toAxisAngle(axis, cosAngle, sinAngle);
    EXPECT_NEAR(1.0f, axis.y, 1e-5f);
    GMatrix::rotationZ(s, c).toAxisAngle(axis, cosAngle, sinAngle);
    EXPECT_NEAR(1.0f, axis.z, 1e-5f);
    // A negative angle is reported as the positive angle about the flipped axis.
    GMatrix::rotationZ(-s, c).toAxisAngle(axis, cosAngle, sinAngle);
    EXPECT_NEAR(-1.0f, axis.z, 1e-5f);
    EXPECT_NEAR(s, sinAngle, 1e-6f);
}

TEST(GMatrixTest, AxisAngleOfIdentityIsTheYAxisAndNeverNaN) {
    HPoint axis;
    float cosAngle, sinAngle;
    GMatrix().toAxisAngle(axis, cosAngle, sinAngle);
    EXPECT_EQ(1.0f, cosAngle);
    EXPECT_EQ(0.0f, sinAngle);
    EXPECT_EQ(0.0f, axis.x);
    EXPECT_EQ(1.0f, axis.y);
    EXPECT_EQ(0.0f, axis.z);
    // A trace just past 3, as rounding produces it, or a scaled matrix: no NaN.
    GMatrix(1.0000002f).toAxisAngle(axis, cosAngle, sinAngle);
    EXPECT_EQ(1.0f, cosAngle);
    EXPECT_EQ(0.0f, sinAngle);
    GMatrix(2.0f).toAxisAngle(axis, cosAngle, sinAngle);
    EXPECT_FALSE(std::isnan(sinAngle));
    EXPECT_FALSE(std::isnan(axis.y));
}

TEST(GMatrixTest, AxisAngleOfAHalfTurnFindsTheAxis) {
    HPoint axis;
    float cosAngle, sinAngle;
    GMatrix::rotationX(0.0f, -1.0f).toAxisAngle(axis, cosAngle, sinAngle);
    EXPECT_EQ(-1.0f, cosAngle);
    EXPECT_EQ(0.0f, sinAngle);
    EXPECT_NEAR(1.0f, std::fabs(axis.x), 1e-6f);
    EXPECT_NEAR(0.0f, axis.y, 1e-6f);
    EXPECT_NEAR(0.0f, axis.z, 1e-6f);

    // Half turn about the diagonal (1, 1, 0) / sqrt 2: R = 2 a a^T - I.
    GMatrix diagonal(0, 1, 0, 0, 1, 0, 0, 0, 0, 0, -1, 0, 0, 0, 0, 1);
    diagonal.toAxisAngle(axis, cosAngle, sinAngle);
    EXPECT_EQ(-1.0f, cosAngle);
    EXPECT_NEAR(std::sqrt(0.5f), axis.x, 1e-6f);
    EXPECT_NEAR(std::sqrt(0.5f), axis.y, 1e-6f);
    EXPECT_NEAR(0.0f, axis.z, 1e-6f);
}
