// The OBJ reader and the scene builder on one input, which is also offered
// as the MTL library it may name ("mtllib obj.obj"), then the MTL reader on
// the same bytes.
#include "fuzz/FuzzHarness.h"
#include "geometry/GScene.h"
#include "io/obj/ObjReader.h"
#include "io/obj/ObjSceneBuilder.h"
#include "shading/GMaterial.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    InputFile input(data, size, "obj.obj");
    runReader([&] {
        GScene scene;
        loadObjScene(input.path(), &scene);
        ObjModel materials;
        readMtlText(inputText(data, size), "obj.mtl", fuzzFolder() + "/", materials);
        for (GMaterial* m : materials.materials) delete m;
        for (GObject* o : materials.created) delete o;
    });
    return 0;
}
