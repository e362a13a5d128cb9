// ColorImage: 8-bit-per-channel colour raster, one packed 32-bit word per pixel
// (see PixelFunctions.h). The renderers' frame, the textures, and the reader
// and writer of the PPM (P6, P3) and frame-buffer (FB, FBRLE) formats.
//
// Readers return false and leave the image as it was when the file cannot be
// opened, the magic or header is wrong, or the announced size is more than
// the file can hold; a reader that fails later (a short FBRLE stream) keeps
// what it read. Writers return false on any failed write.
#pragma once

#include <cstdint>

#include "image/GImage.h"
#include "image/PixelFunctions.h"
#include "image/TextureImage.h"

// pixels: width * height words, row 0 (the bottom row) first; null when empty.
// After makeMipMapStorage the buffer holds the whole pyramid and height
// reports its row count. Storage, copies, the mip pyramid and the texture
// upload come from TextureImage.
class ColorImage : public TextureImage<ColorImage, uint32_t> {
public:
    using TextureImage::TextureImage;

    bool isKindOf(int id) const override {
        return id == ClassId::ColorImage || GImage::isKindOf(id);
    }
    int typeId() const override { return ClassId::ColorImage; }
    // "ColorImage@<address> (<width> x <height>)"
    const char *toString() const override;

    // Range of the red byte (0 .. 255); 0 and 0 for an empty image.
    void valueRange(float &minValue, float &maxValue) const override;
    // Red byte (0 .. 255) of the nearest pixel; 0 for an empty image.
    float sampleScalar(const HPoint &uv, bool wrapU, bool wrapV) const override;
    // Nearest pixel through pixelToColor; (0, 0, 0, 0) for an empty image.
    HPoint sampleColor(const HPoint &uv, bool wrapU, bool wrapV) const override;

    // width * height RGB triples (alpha 0).
    void setFromRGBBytes(const uint8_t *bytes);
    // Bilinear interpolation of the four bytes at continuous pixel
    // coordinates (each byte truncated); 0 for an empty image.
    uint32_t sampleBilinear(float x, float y) const;

    // Files. name is a path; comment null means none.
    // By magic: FBRLE, FB, P6, P3; anything else as PNG, JPEG, TGA, BMP or HDR
    // (EncodedImageFiles.h).
    bool readImage(const char *name);
    bool readPPM(const char *name) { return readNetpbm(name, "P6"); }
    bool readPPMText(const char *name) { return readNetpbmText(name, "P3"); }
    bool readFB(const char *name);
    bool readFBRLE(const char *name);
    // Rows first .. last - 1 (counted from the bottom) of a P6 file.
    bool readPPMBand(const char *name, int first, int last) {
        return readNetpbm(name, "P6", true, first, last);
    }
    bool writePPM(const char *name, const char *comment = nullptr) const;
    bool writeFB(const char *name, const char *comment = nullptr) const;
    bool writeFBRLE(const char *name, const char *comment = nullptr) const;

    // GL transfers (RGBA, unsigned bytes, alignment 1).
    void drawPixels(float x, float y, float zoomX = 1.0f, float zoomY = 1.0f) const;
    void readPixels(int x, int y);

    // (b - a) * scale + 127 per channel, clamped, on the common part of a and b.
    bool differenceOf(const ColorImage &a, const ColorImage &b, float scale);
};
