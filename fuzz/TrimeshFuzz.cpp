// Binary "Trimesh" files, as the RIB "Trimesh" command reads them.
#include <memory>

#include "fuzz/FuzzHarness.h"
#include "io/rib/RibMatrix.h"
#include "io/rib/RibTrimesh.h"
#include "shading/GMaterial.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    InputFile input(data, size, "mesh.tri");
    runReader([&] {
        GMaterial material;
        std::unique_ptr<TrimeshBox> box(readTrimeshFile(input.path(), &material, RibMatrix()));
    });
    return 0;
}
