// The mesh files of the "shape" block: PLY, 'n' and 'c' polygons and
// "POINT_CLOUD" sphere sets, chosen by the first line.
#include "foundation/GMatrix.h"
#include "fuzz/FuzzHarness.h"
#include "geometry/GBoundingBox.h"
#include "geometry/GScene.h"
#include "shading/GMaterial.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    InputFile input(data, size, "mesh.dat");
    runReader([&] {
        GScene scene;
        GMaterial* material = new GMaterial();
        scene.allObjects.add(material);
        GBoundingBox* box = new GBoundingBox();
        scene.allObjects.add(box);
        box->loadMesh(input.path(), &scene, material, GMatrix(), GMatrix());
    });
    return 0;
}
