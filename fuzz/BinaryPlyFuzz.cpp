// A binary PLY body as the header before it describes it, decoded from
// memory, then the same bytes through a shape block's PLY loader.
#include <string>

#include "fuzz/FuzzHarness.h"
#include "geometry/GBoundingBox.h"
#include "geometry/MeshText.h"
#include "io/ply/PlyBinary.h"
#include "io/ply/PlyReader.h"
#include "shading/GMaterial.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    runReader([&] {
        MeshText text;
        text.assign(reinterpret_cast<const char *>(data), size);
        PlyHeader header;
        readPlyHeader(text, header);
        PlyMeshData mesh;
        std::string problem;
        // Whatever the format line says: the decoder must hold on any header.
        readBinaryPlyBody(text.rest(), text.remaining(), header, mesh, problem);

        MeshText again;
        again.assign(reinterpret_cast<const char *>(data), size);
        again.nextLine();
        GBoundingBox box;
        GMaterial material;
        loadPly(box, nullptr, &material, again, GMatrix(), "fuzz.ply");
    });
    return 0;
}
