#include "render/PrimarySampleMetropolisCamera.h"

#include <gtest/gtest.h>

#include "tests/render/FurnaceScene.h"

class PrimarySampleMetropolisFurnace : public FurnaceScene {};

// Both the multiplexed and the plain target reproduce the furnace's
// radiance (the normalisation, the chains' deposits and the acceptance
// together), within five standard errors over eight seeds.
TEST_F(PrimarySampleMetropolisFurnace, BothTargetsGiveTheFurnacesRadiance) {
    PrimarySampleMetropolisCamera* camera = new PrimarySampleMetropolisCamera();
    place(camera);
    camera->mutationsPerPixel = 64;
    camera->chains = 16;
    camera->bootstrap = 1000;
    for (const char* strategy : {"multiplexed", "plain"}) {
        for (int maxDepth : {2, 4}) {
            camera->strategy = strategy;
            camera->maxDepth = maxDepth;
            double mean, error;
            meanOverSeeds(camera, 8, mean, error);
            EXPECT_NEAR(expected(maxDepth), mean, 5.0 * error + 1e-5) << strategy << ", maxDepth " << maxDepth;
        }
    }
    EXPECT_NE(std::string::npos, console.find("| large steps accepted ")) << console;
}
