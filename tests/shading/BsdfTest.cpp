#include "shading/Bsdf.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "shading/GMaterial.h"
#include "tests/shading/ChiSquareTesting.h"

namespace {

struct LobeCase {
    const char* name;
    float diffuse, specular, reflected, transmitted, exponent, index;
    float cosOut;  // wo . n; negative: from inside
};

const LobeCase lobeCases[] = {
    {"lambertian", 0.5f, 0, 0, 0, 10, 1, 0.6f},
    {"phong 1 at normal incidence", 0, 0.8f, 0, 0, 1, 1, 1.0f},
    {"phong 20 grazing, clipped by the surface", 0, 0.8f, 0, 0, 20, 1, 0.3f},
    {"diffuse and phong 8", 0.3f, 0.5f, 0, 0, 8, 1, 0.7f},
    {"diffuse and mirror", 0.4f, 0.4f, 0.4f, 0, 10, 1, 0.5f},
    {"glass from outside", 0, 0.1f, 0.1f, 0.9f, 10, 1.5f, 0.5f},
    {"glass from inside", 0, 0, 0, 0.9f, 10, 1.5f, -0.9f},
    {"glass from inside past the critical angle", 0, 0, 0, 0.9f, 10, 1.5f, -0.5f},
};

struct LobeSetUp {
    GMaterial material;
    HitRecord hit;
    Bsdf bsdf;
    HPoint wo;

    explicit LobeSetUp(const LobeCase& c) {
        material.setColor(GMaterial::diffuse, HPoint(c.diffuse, c.diffuse, c.diffuse, 0));
        material.setColor(GMaterial::specular, HPoint(c.specular, c.specular, c.specular, 0));
        material.setColor(GMaterial::reflected, HPoint(c.reflected, c.reflected, c.reflected, 0));
        material.setColor(GMaterial::transmitted, HPoint(c.transmitted, c.transmitted, c.transmitted, 0));
        material.setScalar(GMaterial::phongExponent, c.exponent);
        material.setScalar(GMaterial::indexOfRefraction, c.index);
        hit.normal = hit.geometricNormal = HPoint(0, 0, 1, 1);
        bsdf.setUp(material, hit);
        float s = std::sqrt(1.0f - c.cosOut * c.cosOut);
        wo = HPoint(s, 0, c.cosOut, 1);
    }
};

}  // namespace

// Every lobe's sampling against its density: the grid cells hold the
// non-specular directions, three more cells the mirror, the dielectric's
// reflection and refraction (chances from the lobe choice and Fresnel), one
// the failed samples.
TEST(BsdfTest, SamplingFollowsTheDensityOfEveryLobe) {
    for (const LobeCase& c : lobeCases) {
        LobeSetUp s(c);
        const Bsdf& b = s.bsdf;
        DirectionGrid grid(s.hit.normal);
        std::vector<double> expected =
            grid.integrate([&](const HPoint& wi) { return (double)b.density(s.wo, wi); });
        const int gridCells = (int)expected.size();
        const int mirrorCell = gridCells, reflectCell = gridCells + 1, refractCell = gridCells + 2,
                  failCell = gridCells + 3;
        const float absCos = std::fabs(c.cosOut);
        const float reflectance =
            c.cosOut > 0 ? fresnelDielectric(absCos, 1.0f, c.index) : fresnelDielectric(absCos, c.index, 1.0f);
        expected.push_back(b.mirrorChance);
        expected.push_back(b.transmittedChance * reflectance);
        expected.push_back(b.transmittedChance * (1.0f - reflectance));
        double total = 0.0;
        for (double e : expected) total += e;
        expected.push_back(1.0 - total);

        const int n = 400000;
        for (double& e : expected) e *= n;
        std::vector<double> observed(expected.size(), 0.0);
        std::mt19937 random(7);
        std::uniform_real_distribution<float> uniform(0.0f, 1.0f);
        int mismatches = 0;
        for (int k = 0; k < n; k++) {
            float u0 = uniform(random), u1 = uniform(random), u2 = uniform(random);
            BsdfSample out;
            if (!b.sample(s.wo, u0, u1, u2, out)) {
                observed[failCell]++;
                continue;
            }
            if (!out.isSpecular) {
                observed[grid.cellOf(out.direction)]++;
                // What sample answers is what evaluate and density say.
                if (std::fabs(out.pdf - b.density(s.wo, out.direction)) > 1e-4f * out.pdf ||
                    std::fabs(out.value.x - b.evaluate(s.wo, out.direction).x) > 1e-4f * out.value.x)
                    mismatches++;
            } else if (out.direction.z * s.wo.z < 0.0f) {
                observed[refractCell]++;
            } else {
                bool dielectric = out.pdf < b.mirrorChance * 0.999f || out.pdf > b.mirrorChance * 1.001f ||
                                  b.mirrorChance == 0.0f;
                observed[dielectric ? reflectCell : mirrorCell]++;
            }
        }
        EXPECT_EQ(0, mismatches) << c.name;
        expectChiSquareFits(observed, expected, c.name);
    }
}

// The normalised Phong lobe reflects its whole colour at normal incidence
// (its albedo there is exactly the specular colour), for any exponent; the
// estimate's tolerance is four standard errors.
TEST(BsdfTest, PhongLobeConservesEnergyAtNormalIncidence) {
    const float exponents[] = {0.0f, 1.0f, 10.0f, 200.0f};
    for (float e : exponents) {
        LobeCase c{"phong", 0, 0.7f, 0, 0, e, 1, 1.0f};
        LobeSetUp s(c);
        std::mt19937 random(11);
        std::uniform_real_distribution<float> uniform(0.0f, 1.0f);
        const int n = 100000;
        double sum = 0.0, sum2 = 0.0;
        for (int k = 0; k < n; k++) {
            BsdfSample out;
            double w = 0.0;
            if (s.bsdf.sample(s.wo, uniform(random), uniform(random), uniform(random), out)) w = out.weight.x;
            sum += w;
            sum2 += w * w;
        }
        double mean = sum / n, error = std::sqrt((sum2 / n - mean * mean) / n);
        EXPECT_NEAR(0.7, mean, 4.0 * error + 1e-6) << "exponent " << e;
    }
}

// Reciprocity: f and the reverse density come from the same expression with
// the directions swapped; below the surface everything is zero.
TEST(BsdfTest, ValueIsReciprocalAndOneSided) {
    LobeSetUp s(lobeCases[3]);
    const HPoint a(0.6f, 0.0f, 0.8f, 1), b(-0.28f, 0.48f, 0.83f, 1), below(0.0f, 0.6f, -0.8f, 1);
    HPoint ab = s.bsdf.evaluate(a, b), ba = s.bsdf.evaluate(b, a);
    EXPECT_NEAR(ab.y, ba.y, 1e-6f);
    EXPECT_GT(ab.y, 0.0f);
    EXPECT_EQ(0.0f, s.bsdf.evaluate(a, below).y);
    EXPECT_EQ(0.0f, s.bsdf.density(a, below));
    // From the back, the lobes face the back.
    HPoint back(a.x, a.y, -a.z, 1), backB(b.x, b.y, -b.z, 1);
    EXPECT_NEAR(ab.y, s.bsdf.evaluate(back, backB).y, 1e-6f);
}

TEST(BsdfTest, FresnelAtNormalIncidenceAndBeyondTheCriticalAngle) {
    EXPECT_NEAR(0.04f, fresnelDielectric(1.0f, 1.0f, 1.5f), 1e-6f);  // ((1.5 - 1) / 2.5)^2
    EXPECT_NEAR(0.04f, fresnelDielectric(1.0f, 1.5f, 1.0f), 1e-6f);
    EXPECT_EQ(1.0f, fresnelDielectric(0.5f, 1.5f, 1.0f));  // sin 60 degrees x 1.5 > 1
    EXPECT_NEAR(0.0f, fresnelDielectric(0.3f, 1.0f, 1.0f), 1e-7f);
}
