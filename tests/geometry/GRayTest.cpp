#include "geometry/GRay.h"

#include <cmath>

#include <gtest/gtest.h>

TEST(GRayTest, ConstructorNumbersNormalisesAndInverts) {
    GRay first(0, HPoint(1.0f, 2.0f, 3.0f), HPoint(0.0f, 3.0f, 4.0f));
    GRay second(2, HPoint(), HPoint(1.0f, 0.0f, 0.0f));
    // One process-wide counter: consecutive rays get consecutive ids.
    EXPECT_EQ(second.id, first.id + 1);
    EXPECT_NE(first.id, 0u);
    EXPECT_EQ(second.depth, 2);
    EXPECT_FLOAT_EQ(first.origin.y, 2.0f);
    EXPECT_FLOAT_EQ(first.direction.x, 0.0f);
    EXPECT_FLOAT_EQ(first.direction.y, 0.6f);
    EXPECT_FLOAT_EQ(first.direction.z, 0.8f);
    EXPECT_FLOAT_EQ(first.inverseDirection.y, 1.0f / 0.6f);
    EXPECT_FLOAT_EQ(first.inverseDirection.z, 1.25f);
    EXPECT_FLOAT_EQ(first.inverseDirection.w, 1.0f);
    // A zero component gives an infinity, which slab tests rely on.
    EXPECT_TRUE(std::isinf(first.inverseDirection.x));
    EXPECT_EQ(nextRayId(), second.id + 1);
}

TEST(GRayTest, DefaultRayHasIdZero) {
    GRay ray;
    EXPECT_EQ(ray.id, 0u);
    EXPECT_EQ(ray.depth, 0);
}
