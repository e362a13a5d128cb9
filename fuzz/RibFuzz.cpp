// The RIB reader on one file of its own folder, so that "ReadArchive" and
// "Trimesh" can name the file itself.
#include "fuzz/FuzzHarness.h"
#include "geometry/GScene.h"
#include "io/rib/RibReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    InputFile input(data, size, "scene.rib");
    runReader([&] {
        GScene scene;
        RibReader reader(&scene);
        reader.readFile(input.path(), &scene);
    });
    return 0;
}
