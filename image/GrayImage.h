// GrayImage: one unsigned byte per pixel, row 0 at the bottom. Bump and
// displacement maps, and the reader and writer of the PGM formats (P5, P2).
// Storage, the mip pyramid and the texture upload are those of ColorImage
// (TextureImage), and so are the failure rules.
#pragma once

#include <cstdint>

#include "image/GImage.h"
#include "image/PixelFunctions.h"
#include "image/TextureImage.h"

class GrayImage : public TextureImage<GrayImage, uint8_t> {
public:
    using TextureImage::TextureImage;

    bool isKindOf(int id) const override {
        return id == ClassId::GrayImage || GImage::isKindOf(id);
    }
    int typeId() const override { return ClassId::GrayImage; }
    // "GrayImage@<address> (<width> x <height>)"
    const char *toString() const override;
    // Same object, or a gray image of the same size with identical bytes.
    bool equals(const GObject *other) const override;

    // Smallest and largest byte; 0 and 0 for an empty image.
    void valueRange(float &minValue, float &maxValue) const override;
    // Bilinear interpolation in byte units (0 .. 255); 0 for an empty image.
    float sampleScalar(const HPoint &uv, bool wrapU, bool wrapV) const override;
    // Nearest byte / 255 in x, y, z, w = 0; (0, 0, 0, 0) for an empty image.
    HPoint sampleColor(const HPoint &uv, bool wrapU, bool wrapV) const override;

    bool readImage(const char *name); // by magic: P5, P2
    bool readPGM(const char *name) { return readNetpbm(name, "P5"); }
    bool readPGMText(const char *name) { return readNetpbmText(name, "P2"); }
    bool readPGMBand(const char *name, int first, int last) {
        return readNetpbm(name, "P5", true, first, last);
    }
    // comment null writes "# Grayscale Image".
    bool writePGM(const char *name, const char *comment = nullptr) const;
};
