#include "foundation/Sampling.h"

#include <gtest/gtest.h>

#include <cmath>

#include "foundation/Random.h"

static const HPoint testNormals[] = {HPoint(0, 0, 1), HPoint(1, 0, 0), HPoint(0, -1, 0),
                                     HPoint(0.48f, 0.6f, 0.64f)};

TEST(SamplingTest, LocalFrameIsOrthonormal) {
    for (const HPoint& n : testNormals) {
        HPoint p, q;
        localFrame(n, p, q);
        EXPECT_NEAR(1.0f, p.length(), 1e-6f);
        EXPECT_NEAR(1.0f, q.length(), 1e-6f);
        EXPECT_NEAR(0.0f, p.dot(n), 1e-6f);
        EXPECT_NEAR(0.0f, q.dot(n), 1e-6f);
        EXPECT_NEAR(0.0f, p.dot(q), 1e-6f);
    }
}

TEST(SamplingTest, CosineSampleFollowsTheDrawOrder) {
    // Reproduce the rejection loop by hand from the same stream.
    seedRandom(99);
    float u, v;
    do {
        u = 2.0f * uniform01() - 1.0f;
        v = 2.0f * uniform01() - 1.0f;
    } while (u * u + v * v >= 1.0f);
    int next = nextRandom();

    seedRandom(99);
    HPoint n(0, 0, 1);
    HPoint d = sampleCosineHemisphere(n);
    // Frame of (0, 0, 1): p = (1, 0, 0), q = p x n = (0, -1, 0).
    EXPECT_FLOAT_EQ(u, d.x);
    EXPECT_FLOAT_EQ(-v, d.y);
    EXPECT_FLOAT_EQ(std::sqrt(1.0f - u * u - v * v), d.z);
    EXPECT_EQ(1.0f, d.w);
    EXPECT_EQ(next, nextRandom());
}

TEST(SamplingTest, CosineSamplesAreUnitAndAboveTheSurface) {
    seedRandom(5);
    for (const HPoint& n : testNormals) {
        for (int i = 0; i < 2000; i++) {
            HPoint d = sampleCosineHemisphere(n);
            ASSERT_NEAR(1.0f, d.length(), 1e-5f);
            ASSERT_GE(d.dot(n), -1e-6f);
        }
    }
}

TEST(SamplingTest, CosineSamplesHaveTheCosineDensity) {
    // Under a cosine density, cos^2 of the polar angle is uniform on [0, 1].
    seedRandom(2024);
    const int bins = 10, samples = 50000;
    int histogram[bins] = {};
    HPoint n(0.48f, 0.6f, 0.64f);
    for (int i = 0; i < samples; i++) {
        float c = sampleCosineHemisphere(n).dot(n);
        int bin = (int)(c * c * bins);
        histogram[bin < bins ? bin : bins - 1]++;
    }
    double expected = (double)samples / bins, chiSquare = 0;
    for (int count : histogram) chiSquare += (count - expected) * (count - expected) / expected;
    // 9 degrees of freedom: 27.9 is the 0.1 % critical value.
    EXPECT_LT(chiSquare, 27.9);
}

TEST(SamplingTest, PerturbPoint2DDrawsAngleThenRadius) {
    seedRandom(17);
    float angleDraw = uniform01();
    float radiusDraw = uniform01();
    seedRandom(17);
    HPoint p = perturbPoint2D(0.01f, 0.5f, HPoint(1, 2, 3, 4));
    double phi = angleDraw * twoPi;
    float r = 0.5f * std::exp(-std::log(0.5f / 0.01f) * radiusDraw);
    EXPECT_NEAR(1.0f + r * std::cos(phi), p.x, 1e-6f);
    EXPECT_NEAR(2.0f + r * std::sin(phi), p.y, 1e-6f);
    EXPECT_EQ(0.0f, p.z);
    EXPECT_EQ(1.0f, p.w);
}

TEST(SamplingTest, PerturbationRadiusIsLogUniformBetweenTheBounds) {
    seedRandom(8);
    const float a = 0.001f, b = 0.1f;
    const float geometricMean = std::sqrt(a * b);
    int below = 0;
    const int samples = 20000;
    for (int i = 0; i < samples; i++) {
        HPoint p = perturbPoint2D(a, b, HPoint(0, 0, 0));
        float r = std::sqrt(p.x * p.x + p.y * p.y);
        ASSERT_GE(r, a * 0.9999f);
        ASSERT_LE(r, b * 1.0001f);
        if (r < geometricMean) below++;
    }
    // Uniform in log r: half the radii lie below the geometric mean.
    EXPECT_NEAR(0.5, (double)below / samples, 0.02);
}

TEST(SamplingTest, PerturbDirectionStaysWithinTheCone) {
    seedRandom(11);
    const float a = 0.01f, b = 0.2f;
    for (const HPoint& n : testNormals) {
        for (int i = 0; i < 2000; i++) {
            HPoint d = perturbDirection(a, b, n);
            ASSERT_NEAR(1.0f, d.length(), 1e-5f);
            // The offset is perpendicular to n, so tan(angle) is the radius.
            float cosine = d.dot(n);
            float tangent = std::sqrt(std::max(0.0f, 1.0f - cosine * cosine)) / cosine;
            ASSERT_GE(tangent, a * 0.99f);
            ASSERT_LE(tangent, b * 1.01f);
        }
    }
}

TEST(SamplingTest, PerturbDirectionUsesTheLocalFrame) {
    seedRandom(23);
    float angleDraw = uniform01();
    float radiusDraw = uniform01();
    seedRandom(23);
    HPoint d = perturbDirection(0.05f, 0.3f, HPoint(0, 0, 1));
    double phi = angleDraw * twoPi;
    float r = 0.3f * std::exp(-std::log(0.3f / 0.05f) * radiusDraw);
    // p = (1, 0, 0), q = (0, -1, 0) about (0, 0, 1).
    HPoint expected(r * (float)std::cos(phi), -r * (float)std::sin(phi), 1.0f);
    expected.normalize();
    EXPECT_NEAR(expected.x, d.x, 1e-6f);
    EXPECT_NEAR(expected.y, d.y, 1e-6f);
    EXPECT_NEAR(expected.z, d.z, 1e-6f);
}
