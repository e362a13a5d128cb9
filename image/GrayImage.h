// GrayImage: one unsigned byte per pixel, row 0 at the bottom. Bump and
// displacement maps, and the reader and writer of the PGM formats (P5, P2).
// Failure rules are those of ColorImage.
#pragma once

#include <cstdint>

#include "image/GImage.h"
#include "image/PixelFunctions.h"

class GrayImage : public GImage {
public:
    uint8_t *pixels; // width * height bytes, row 0 first; null when empty
    bool mipPyramid; // see ColorImage

    GrayImage();
    GrayImage(int w, int h);
    GrayImage(const GrayImage &other);
    GrayImage &operator=(const GrayImage &other);
    ~GrayImage() override;

    bool isKindOf(int id) const override {
        return id == ClassId::GrayImage || GImage::isKindOf(id);
    }
    int typeId() const override { return ClassId::GrayImage; }
    // "GrayImage@<address> (<width> x <height>)"
    const char *toString() const override;
    // Same object, or a gray image of the same size with identical bytes.
    bool equals(const GObject *other) const override;
    GObject *clone() const override;

    bool resize(int newWidth, int newHeight) override;
    int memorySize() const override;
    void uploadTexture(unsigned textureName, const TextureOptions *options = nullptr) override;
    void updateTexture(unsigned textureName, int format = -1) override;
    // Smallest and largest byte; 0 and 0 for an empty image.
    void valueRange(float &minValue, float &maxValue) const override;
    // Bilinear interpolation in byte units (0 .. 255); 0 for an empty image.
    float sampleScalar(const HPoint &uv, bool wrapU, bool wrapV) const override;
    // Nearest byte / 255 in x, y, z, w = 0; (0, 0, 0, 0) for an empty image.
    HPoint sampleColor(const HPoint &uv, bool wrapU, bool wrapV) const override;

    bool copyFrom(const GrayImage &other);
    void fill(uint8_t value);
    uint8_t getPixel(int x, int y) const { return pixels[x + y * width]; }
    void setPixel(int x, int y, uint8_t p) { pixels[x + y * width] = p; }
    void copyRegionFrom(const GrayImage &source, int x0, int y0);

    bool readImage(const char *name); // by magic: P5, P2
    bool readPGM(const char *name);
    bool readPGMText(const char *name);
    bool readPGMBand(const char *name, int first, int last);
    bool writePGM(const char *name, const char *comment = nullptr) const;

    int mipLevelCount() const { return mipLevelCountFor(width); }
    bool makeMipMapStorage();
    uint8_t *mipLevel(int level, GrayImage *out = nullptr);
    bool setMipLevel(int level, const GrayImage &image);
    bool makeMipMap();
    bool halve(const GrayImage &source);
    bool doubleSize(const GrayImage &source);

    void clear();

private:
    void takeBuffer(uint8_t *buffer, int w, int h);
    int levelZeroRows() const { return mipPyramid ? width : height; }
};
