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

class ColorImage : public GImage {
public:
    // width * height words, row 0 (the bottom row) first; null when empty.
    // After makeMipMapStorage the buffer holds the whole pyramid and height
    // reports its row count.
    uint32_t *pixels;
    // True while the buffer holds a mip pyramid built by makeMipMapStorage.
    bool mipPyramid;

    ColorImage();
    // Empty when either side is 0 or negative; otherwise uninitialised pixels.
    ColorImage(int w, int h);
    ColorImage(const ColorImage &other);
    ColorImage &operator=(const ColorImage &other);
    ~ColorImage() override;

    bool isKindOf(int id) const override {
        return id == ClassId::ColorImage || GImage::isKindOf(id);
    }
    int typeId() const override { return ClassId::ColorImage; }
    // "ColorImage@<address> (<width> x <height>)"
    const char *toString() const override;
    // Deep copy.
    GObject *clone() const override;

    // False below 1 or beyond maxImagePixels (nothing changes); the same size
    // keeps the pixels; otherwise new uninitialised storage.
    bool resize(int newWidth, int newHeight) override;
    int memorySize() const override;
    void uploadTexture(unsigned textureName, const TextureOptions *options = nullptr) override;
    void updateTexture(unsigned textureName, int format = -1) override;
    // Range of the red byte (0 .. 255); 0 and 0 for an empty image.
    void valueRange(float &minValue, float &maxValue) const override;
    // Red byte (0 .. 255) of the nearest pixel; 0 for an empty image.
    float sampleScalar(const HPoint &uv, bool wrapU, bool wrapV) const override;
    // Nearest pixel through pixelToColor; (0, 0, 0, 0) for an empty image.
    HPoint sampleColor(const HPoint &uv, bool wrapU, bool wrapV) const override;

    // Storage and pixels.
    bool copyFrom(const ColorImage &other);
    void fill(uint32_t value);
    uint32_t getPixel(int x, int y) const { return pixels[x + y * width]; }
    void setPixel(int x, int y, uint32_t p) { pixels[x + y * width] = p; }
    // width * height RGB triples (alpha 0).
    void setFromRGBBytes(const uint8_t *bytes);
    // This image takes the part of source whose lower-left corner is (x0, y0),
    // clipped to source; pixels outside the overlap keep their values.
    void copyRegionFrom(const ColorImage &source, int x0, int y0);
    // Bilinear interpolation of the four bytes at continuous pixel
    // coordinates (each byte truncated); 0 for an empty image.
    uint32_t sampleBilinear(float x, float y) const;

    // Files. name is a path; comment null means none.
    bool readImage(const char *name); // by magic: FBRLE, FB, P6, P3
    bool readPPM(const char *name);
    bool readPPMText(const char *name);
    bool readFB(const char *name);
    bool readFBRLE(const char *name);
    // Rows first .. last - 1 (counted from the bottom) of a P6 file.
    bool readPPMBand(const char *name, int first, int last);
    bool writePPM(const char *name, const char *comment = nullptr) const;
    bool writeFB(const char *name, const char *comment = nullptr) const;
    bool writeFBRLE(const char *name, const char *comment = nullptr) const;

    // GL transfers (RGBA, unsigned bytes, alignment 1).
    void drawPixels(float x, float y, float zoomX = 1.0f, float zoomY = 1.0f) const;
    void readPixels(int x, int y);

    // Mip pyramid inside the pixel buffer (square power-of-two images).
    int mipLevelCount() const { return mipLevelCountFor(width); }
    // Reallocates a square image as width x mipStorageRows(width) with level 0
    // at the start. A non-square image prints an error and stays as it is.
    bool makeMipMapStorage();
    // Level k, or null when the buffer holds no such level. With out given,
    // out is resized to the level and the level copied into it.
    uint32_t *mipLevel(int level, ColorImage *out = nullptr);
    // Copies the first (width >> k)^2 pixels of image into level k; false when
    // the level does not exist or image is too small.
    bool setMipLevel(int level, const ColorImage &image);
    // Builds the pyramid; false (nothing built) for a non-square image.
    bool makeMipMap();
    // This image becomes source reduced by 2 (averageFourPixels per block).
    bool halve(const ColorImage &source);
    // This image becomes source with every pixel as a 2 x 2 block.
    bool doubleSize(const ColorImage &source);

    // (b - a) * scale + 127 per channel, clamped, on the common part of a and b.
    bool differenceOf(const ColorImage &a, const ColorImage &b, float scale);

    // Frees the storage: 0 x 0.
    void clear();

private:
    void takeBuffer(uint32_t *buffer, int w, int h);
    int levelZeroRows() const { return mipPyramid ? width : height; }
};
