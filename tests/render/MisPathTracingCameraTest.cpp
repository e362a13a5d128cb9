#include "render/MisPathTracingCamera.h"

#include <gtest/gtest.h>

#include <cmath>

#include "foundation/Random.h"
#include "geometry/GRay.h"
#include "geometry/GTriangle.h"
#include "geometry/GVertex.h"
#include "image/ColorImage.h"
#include "image/HPointImage.h"
#include "tests/render/FurnaceScene.h"
#include "tests/render/RenderTestSupport.h"

namespace {

// A furnace: the camera inside a closed cube whose walls all emit E and
// reflect diffusely with albedo rho. Every path of k segments brings
// E rho^(k - 1), so the radiance of paths up to maxDepth segments is
// E (1 - rho^maxDepth) / (1 - rho) everywhere: light samples, material
// samples and their weights must add up to it at every depth.
class FurnaceTest : public FurnaceScene {
protected:
    MisPathTracingCamera* camera = nullptr;

    void SetUp() override {
        FurnaceScene::SetUp();
        camera = new MisPathTracingCamera();
        place(camera);
    }
};

}  // namespace

// The mean over paths against the closed form, within four standard errors
// of the paths' own spread; maxDepth 1 sees the walls' emission alone.
TEST_F(FurnaceTest, EveryDepthBringsItsShareOfTheLight) {
    struct Case {
        int maxDepth, rrDepth;
    };
    const Case cases[] = {{1, 0}, {2, 0}, {4, 0}, {8, 3}};
    for (const Case& c : cases) {
        camera->maxDepth = c.maxDepth;
        camera->rrDepth = c.rrDepth;
        camera->prepareEmitters();
        seedRandom(17);
        const int n = 20000;
        double sum = 0.0, sum2 = 0.0;
        for (int k = 0; k < n; k++) {
            HPoint direction(uniform01() - 0.5f, uniform01() - 0.5f, -1.0f, 1.0f);
            GRay ray;
            camera->makeRay(ray, 0, camera->from, direction);
            double value = camera->radiance(ray).y;
            sum += value;
            sum2 += value * value;
        }
        double mean = sum / n, error = std::sqrt(std::fmax(0.0, sum2 / n - mean * mean) / n);
        double expected = emission * (1.0 - std::pow(albedo, c.maxDepth)) / (1.0 - albedo);
        EXPECT_NEAR(expected, mean, 4.0 * error + 1e-5) << "maxDepth " << c.maxDepth << ", rrDepth " << c.rrDepth;
    }
}
