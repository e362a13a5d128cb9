#include "render/ViewFraming.h"

#include <gtest/gtest.h>

#include <cmath>

#include "foundation/GMatrix.h"
#include "geometry/GScene.h"
#include "geometry/GSphere.h"
#include "geometry/GPlane.h"
#include "render/GCamera.h"

namespace {

TEST(ViewFraming, TheBoxFitsTheFrameAndItsFrontFaceTouchesTheNarrowerSide) {
    struct Case {
        int width, height;
        float fovDegrees;
        HPoint min, max;
        float eyeZ;  // expected
    };
    const Case cases[] = {
        // tan 45 = 1: one half-height in front of the face at z = 1.
        {4, 4, 90.0f, HPoint(-1, -1, -1, 1), HPoint(1, 1, 1, 1), 2.0f},
        // Twice as wide as high: the height decides.
        {8, 4, 90.0f, HPoint(-1, -1, -1, 1), HPoint(1, 1, 1, 1), 2.0f},
        // Half as wide as high: the width decides, at tan 45 x 0.5.
        {4, 8, 90.0f, HPoint(-1, -1, -1, 1), HPoint(1, 1, 1, 1), 3.0f},
        {10, 10, 40.0f, HPoint(2, 0, -3, 1), HPoint(4, 1, -2, 1), -2.0f + 1.0f / std::tan(0.34906585f)},
    };
    for (const Case& c : cases) {
        GCamera camera;
        camera.setResolution(c.width, c.height);
        frameBox(camera, c.min, c.max, c.fovDegrees * 3.14159265f / 180.0f);
        EXPECT_NEAR(c.eyeZ, camera.from.z, 1e-4f) << c.width << "x" << c.height;
        EXPECT_FLOAT_EQ((c.min.x + c.max.x) / 2, camera.to.x);
        EXPECT_FLOAT_EQ(camera.to.x, camera.from.x);
        EXPECT_FLOAT_EQ(camera.to.y, camera.from.y);
        GMatrix projection;
        camera.worldToRaster(projection, c.width, c.height);
        float widest = 0.0f, highest = 0.0f;  // of the corners, from the frame's centre
        for (int corner = 0; corner < 8; corner++) {
            HPoint p(corner & 1 ? c.max.x : c.min.x, corner & 2 ? c.max.y : c.min.y,
                     corner & 4 ? c.max.z : c.min.z, 1.0f);
            p.transform(projection);
            ASSERT_GT(p.w, 0.0f);
            float x = p.x / p.w, y = p.y / p.w;
            EXPECT_GE(x, -1e-3f);
            EXPECT_LE(x, c.width + 1e-3f);
            EXPECT_GE(y, -1e-3f);
            EXPECT_LE(y, c.height + 1e-3f);
            widest = std::max(widest, std::fabs(x - c.width * 0.5f) / (c.width * 0.5f));
            highest = std::max(highest, std::fabs(y - c.height * 0.5f) / (c.height * 0.5f));
        }
        EXPECT_NEAR(1.0f, std::max(widest, highest), 1e-3f) << c.width << "x" << c.height;
    }
}

TEST(ViewFraming, SceneBoundsLeaveUnboundedObjectsOut) {
    GScene scene;
    HPoint min, max;
    EXPECT_FALSE(sceneBounds(scene, min, max));
    GPlane* plane = new GPlane();
    scene.allObjects.add(plane);
    scene.objects.add(plane);
    EXPECT_FALSE(sceneBounds(scene, min, max));
    GSphere* sphere = new GSphere();
    sphere->center = HPoint(1, 2, 3, 1);
    sphere->setRadius(0.5f);
    scene.allObjects.add(sphere);
    scene.objects.add(sphere);
    ASSERT_TRUE(sceneBounds(scene, min, max));
    EXPECT_FLOAT_EQ(0.5f, min.x);
    EXPECT_FLOAT_EQ(3.5f, max.z);
}

}  // namespace
