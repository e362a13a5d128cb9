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

TEST(GRayTest, SetDirectionKeepsUnitVectorsAndScalesTheRest) {
    struct Case {
        HPoint given;
        bool keptAsGiven;
    };
    // A unit vector one rounding off 1 is kept bit for bit; clearly longer or
    // shorter ones are scaled; a zero direction stays zero with infinite inverses.
    const float third = 1.0f / std::sqrt(3.0f);
    const Case cases[] = {
        {HPoint(0.0f, 0.6f, 0.8f), true},  {HPoint(third, third, third), true},
        {HPoint(-1.0f, 0.0f, 0.0f), true}, {HPoint(0.0f, 3.0f, 4.0f), false},
        {HPoint(0.0f, 0.0f, 0.999f), false}, {HPoint(0.0f, 0.0f, 0.0f), true},
    };
    for (const Case& c : cases) {
        GRay ray;
        HPoint given = c.given;
        given.w = 0.0f;
        ray.setDirection(given);
        EXPECT_EQ(ray.direction.w, 1.0f);
        if (c.keptAsGiven) {
            EXPECT_EQ(ray.direction.x, given.x);
            EXPECT_EQ(ray.direction.y, given.y);
            EXPECT_EQ(ray.direction.z, given.z);
        } else {
            EXPECT_NEAR(ray.direction.length(), 1.0f, 1e-6f);
        }
        // The inverse is exactly the scalar quotient, infinities included.
        EXPECT_EQ(ray.inverseDirection.x, 1.0f / ray.direction.x);
        EXPECT_EQ(ray.inverseDirection.y, 1.0f / ray.direction.y);
        EXPECT_EQ(ray.inverseDirection.z, 1.0f / ray.direction.z);
        EXPECT_EQ(ray.inverseDirection.w, 1.0f);
    }
}
