// The readers of other programs' images on the same bytes: PNG, JPEG, TGA,
// BMP and HDR textures (stb, behind velk's size checks), and the PFM and EXR
// floating-point images.
#include <string>

#include "fuzz/FuzzHarness.h"
#include "image/ColorImage.h"
#include "image/EncodedImageFiles.h"
#include "image/HPointImage.h"
#include "image/RadianceFiles.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    InputFile input(data, size, "texture.img");
    runReader([&] {
        const char *path = input.path();
        std::string problem;
        ColorImage texture;
        readTextureImage(texture, path, problem);
        readEncodedImage(texture, path, problem);
        HPointImage radiance;
        readPFM(radiance, path, problem);
        readEXR(radiance, path, problem);
    });
    return 0;
}
