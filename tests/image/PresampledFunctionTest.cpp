#include "image/PresampledFunction.h"

#include <gtest/gtest.h>

#include <cmath>

TEST(PresampledFunctionTest, DefaultIsZeroOverOne) {
    PresampledFunction f;
    EXPECT_EQ(1.0f, f.range);
    EXPECT_EQ(2, f.count);
    EXPECT_EQ(1.0f, f.step);
    EXPECT_EQ(0.0f, f.evaluate(0.0f));
    EXPECT_EQ(0.0f, f.evaluate(1.0f));
}

TEST(PresampledFunctionTest, PiecesThroughTheSamples) {
    // Samples 4, 2, 6 at x = 0, 2, 4: step = 0.5.
    const float samples[] = {4.0f, 2.0f, 6.0f};
    PresampledFunction f;
    ASSERT_TRUE(f.set(4.0f, 3, samples));
    EXPECT_EQ(0.5f, f.step);
    // Piece 0: slope (2 - 4) * 0.5 = -1, intercept 4. Piece 1: slope 2, intercept 2 - 1 * 2 / 0.5 = -2.
    EXPECT_EQ(-1.0f, f.slopes[0]);
    EXPECT_EQ(4.0f, f.intercepts[0]);
    EXPECT_EQ(2.0f, f.slopes[1]);
    EXPECT_EQ(-2.0f, f.intercepts[1]);
    EXPECT_EQ(f.slopes[1], f.slopes[2]);  // the last entry repeats the one before
    EXPECT_EQ(f.intercepts[1], f.intercepts[2]);

    EXPECT_FLOAT_EQ(4.0f, f.evaluate(0.0f));
    EXPECT_FLOAT_EQ(3.0f, f.evaluate(1.0f));
    EXPECT_FLOAT_EQ(2.0f, f.evaluate(2.0f));
    EXPECT_FLOAT_EQ(4.0f, f.evaluate(3.0f));
    EXPECT_FLOAT_EQ(6.0f, f.evaluate(4.0f));
    // Outside the support (and NaN) the function is 0, never a read past the table.
    EXPECT_EQ(0.0f, f.evaluate(4.001f));
    EXPECT_EQ(0.0f, f.evaluate(1e30f));
    EXPECT_EQ(0.0f, f.evaluate(-0.5f));
    EXPECT_EQ(0.0f, f.evaluate(NAN));

    PresampledFunction copy(f);
    EXPECT_NE(f.slopes, copy.slopes);
    EXPECT_FLOAT_EQ(4.0f, copy.evaluate(3.0f));

    // One sample is a constant; bad tables are refused and change nothing.
    const float one[] = {7.0f};
    ASSERT_TRUE(copy.set(2.0f, 1, one));
    EXPECT_EQ(7.0f, copy.evaluate(0.0f));
    EXPECT_EQ(7.0f, copy.evaluate(2.0f));
    EXPECT_FALSE(f.set(0.0f, 3, samples));
    EXPECT_FALSE(f.set(-1.0f, 3, samples));
    EXPECT_FALSE(f.set(INFINITY, 3, samples));
    EXPECT_FALSE(f.set(1e-44f, 3, samples));  // step would be infinite
    EXPECT_FALSE(f.set(4.0f, 0, samples));
    EXPECT_FALSE(f.set(4.0f, 3, nullptr));
    EXPECT_FLOAT_EQ(3.0f, f.evaluate(1.0f));
}

TEST(PresampledFunctionTest, RadialTableOverSquaredDistance) {
    // f(d) = 1 - d / 2 on [0, 2], given as 3 samples; tabulated over d^2 in [0, 4].
    const float samples[] = {1.0f, 0.5f, 0.0f};
    PresampledFunction f;
    ASSERT_TRUE(f.setFromRadialSamples(2.0f, 3, samples));
    EXPECT_EQ(radialTableEntries, f.count);
    EXPECT_EQ(4.0f, f.support());
    EXPECT_FLOAT_EQ(1.0f, f.evaluate(0.0f));
    EXPECT_NEAR(0.0f, f.evaluate(4.0f), 1e-6);
    // Between table entries the square root is approximated linearly.
    for (float d = 0.0f; d <= 2.0f; d += 0.125f) EXPECT_NEAR(1.0f - d / 2, f.evaluate(d * d), 0.02f);
    EXPECT_EQ(0.0f, f.evaluate(4.5f));

    const float single[] = {0.25f};
    ASSERT_TRUE(f.setFromRadialSamples(3.0f, 1, single));
    EXPECT_FLOAT_EQ(0.25f, f.evaluate(8.0f));
    EXPECT_FALSE(f.setFromRadialSamples(0.0f, 3, samples));
    EXPECT_FALSE(f.setFromRadialSamples(2.0f, 3, samples, 0));
}
