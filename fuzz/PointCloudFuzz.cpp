// Point-cloud files as the "point_cloud" block loads them, then the field
// and its normal at the middle of the cloud (what a ray's march asks first).
#include "foundation/HPoint.h"
#include "fuzz/FuzzHarness.h"
#include "geometry/GPointCloud.h"
#include "geometry/GScene.h"
#include "io/native/Scanner.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    InputFile input(data, size, "points.pc");
    runReader([&] {
        GScene scene;
        GPointCloud* cloud = new GPointCloud();
        scene.allObjects.add(cloud);
        std::string block = std::string("{ file \"") + input.path() + "\" }";
        resetScanner();
        pushInputText(block.c_str());
        if (cloud->parse(&scene)) {
            HPoint middle = cloud->boxMin.sum(cloud->boxMax).scaled(0.5f);
            middle.w = 1.0f;
            cloud->field(middle);
            cloud->normalAt(middle);
            cloud->blendedColor(middle);
        }
    });
    resetScanner();
    return 0;
}
