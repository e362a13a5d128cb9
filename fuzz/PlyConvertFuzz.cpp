// The PLY to YafRay mesh conversion ("-ply2vrml").
#include "fuzz/FuzzHarness.h"
#include "io/ply/PlyConverter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    InputFile input(data, size, "mesh.ply");
    std::string output = fuzzFolder() + "/mesh.xml";
    runReader([&] { convertPlyToMesh(input.path(), output.c_str()); });
    std::remove(output.c_str());
    return 0;
}
