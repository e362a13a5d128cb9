#include "render/MisBidirectionalCamera.h"

#include <gtest/gtest.h>

#include <cmath>

#include "render/MisPath.h"
#include "tests/render/FurnaceScene.h"

// The power heuristic's recursive weights against its definition: strategy s
// of a path of k vertices has density p_s = prod_{i<s} pFromLight[i] x
// prod_{s<=i<k-1} pFromEye[i] (densities of specular vertices cancel), its
// weight p_s^2 over the sum of p_j^2 of the strategies that can make the
// path (both ends of their connection non-specular), and the weights of
// those strategies add up to 1.
TEST(MisWeight, MatchesThePowerHeuristicAndSumsToOneOverAPathsStrategies) {
    struct Case {
        int k;
        int specularVertex;  // -1: none
    };
    const Case cases[] = {{2, -1}, {3, -1}, {4, -1}, {5, 2}, {6, -1}, {7, 3}, {9, 1}};
    seedRandom(11);
    for (const Case& c : cases) {
        float pFromLight[16], pFromEye[16];
        bool delta[16];
        for (int i = 0; i < c.k; i++) {
            pFromLight[i] = 0.05f + 3.0f * uniform01();
            pFromEye[i] = 0.05f + 3.0f * uniform01();
            delta[i] = i == c.specularVertex;
            if (delta[i]) pFromLight[i] = pFromEye[i] = 0.0f;
        }
        auto valid = [&](int s) { return s == 0 || (!delta[s - 1] && !delta[s]); };
        auto density = [&](int s) {
            double p = 1.0;
            for (int i = 0; i < c.k - 1; i++) {
                float q = i < s ? pFromLight[i] : pFromEye[i];
                p *= q != 0.0f ? q : 1.0f;
            }
            return p;
        };
        double squares = 0.0, sum = 0.0;
        for (int s = 0; s < c.k; s++)
            if (valid(s) && !(c.k == 2 && s == 1)) squares += density(s) * density(s);
        for (int s = 0; s < c.k; s++) {
            if (!valid(s) || (c.k == 2 && s == 1)) continue;
            float w = misWeight(s, c.k, pFromLight, pFromEye, delta);
            EXPECT_NEAR(density(s) * density(s) / squares, w, 1e-5) << "k " << c.k << ", s " << s;
            sum += w;
        }
        EXPECT_NEAR(1.0, sum, 1e-5) << "k " << c.k;
    }
}

class MisBidirectionalFurnace : public FurnaceScene {};

// Every strategy of every length, weighted: the furnace's radiance at each
// maxDepth (1: the walls' emission alone), within five standard errors over
// eight seeds.
TEST_F(MisBidirectionalFurnace, EveryDepthBringsItsShareOfTheLight) {
    MisBidirectionalCamera* camera = new MisBidirectionalCamera();
    place(camera);
    camera->samplesPerPixel = 16;
    for (int maxDepth : {1, 2, 3, 6}) {
        camera->maxDepth = maxDepth;
        double mean, error;
        meanOverSeeds(camera, 8, mean, error);
        EXPECT_NEAR(expected(maxDepth), mean, 5.0 * error + 1e-5) << "maxDepth " << maxDepth;
    }
}

// The strategy images add up to the result.
TEST_F(MisBidirectionalFurnace, StrategyImagesSumToTheResult) {
    MisBidirectionalCamera* camera = new MisBidirectionalCamera();
    place(camera);
    camera->samplesPerPixel = 2;
    camera->maxDepth = 3;
    camera->strategyImages = "strategy";
    HPointImage result;
    camera->resultImage = &result;
    ColorImage frame(4, 4);
    seedRandom(3);
    captured([&] { camera->render(frame); });
    camera->resultImage = nullptr;
    HPointImage sum, part;
    ASSERT_TRUE(sum.read("strategy_s0_t2.im"));
    const char* others[] = {"strategy_s0_t3.im", "strategy_s1_t2.im", "strategy_s2_t1.im", "strategy_s0_t4.im",
                            "strategy_s1_t3.im", "strategy_s2_t2.im", "strategy_s3_t1.im"};
    for (const char* name : others) {
        ASSERT_TRUE(part.read(name)) << name;
        sum.add(part);
        std::remove(name);
    }
    std::remove("strategy_s0_t2.im");
    for (int i = 0; i < 16; i++) EXPECT_NEAR(result.pixels[i].y, sum.pixels[i].y, 1e-4f) << i;
}
