// HPointImage: one HPoint (four floats) per pixel, row 0 at the bottom. The
// accumulation buffer of the Monte Carlo renderers: radiance is summed here
// and tone-mapped (L' = kL / (kL + 1)) into the ColorImage frame.
//
// ".im" files: "PNM-HPOINT\n", "width height\n", then width * height records
// of 16 bytes (x, y, z, w as little-endian IEEE floats) in storage order.
// read answers false and leaves the image as it was when the file cannot be
// opened, the size line is wrong or negative, or the file holds fewer records
// than it announces (checked before anything is allocated).
#pragma once

#include "foundation/HPoint.h"
#include "image/GImage.h"
#include "image/PixelImage.h"

class ColorImage;

// pixels: width * height points, row 0 first; null when empty. Storage and
// copies come from PixelImage: new pixels are (0, 0, 0, 1), and memorySize
// is width * height * 16 + 16.
class HPointImage : public PixelImage<HPointImage, HPoint> {
public:
    using PixelImage::PixelImage;

    // An HPointImage is a GImage for the class test as well.
    bool isKindOf(int id) const override {
        return id == ClassId::HPointImage || GImage::isKindOf(id);
    }
    int typeId() const override { return ClassId::HPointImage; }
    // "HPointImage@<address>"
    const char* toString() const override;

    HPoint& at(int x, int y) { return pixels[x + (long long)y * width]; }
    const HPoint& at(int x, int y) const { return pixels[x + (long long)y * width]; }

    // Every pixel's x, y, z times f.
    void scale(float f);
    // Pixel-wise x, y, z sum; different sizes print "images not the same size.\n"
    // and change nothing.
    void add(const HPointImage& other);
    // Resizes to image; each pixel (r / 255, g / 255, b / 255, 1).
    void fromColorImage(const ColorImage& image);
    // image (resized to this size) gets colorToPixel of every pixel, no tone mapping.
    void toColorImage(ColorImage& image) const;
    // image (resized to this size) gets every pixel scaled by L' / L with
    // L = 0.299 x + 0.587 y + 0.114 z and L' = kL / (kL + 1) (factor 1 for
    // L = 0), through colorToPixel with the pixel's own w.
    void toneMap(ColorImage& image, float k) const;
    // image gets what toneMap of the pixel-wise sum of images[0 .. count - 1]
    // (added in that order, all of one size) would give, without the image
    // of the sum: the snapshots of a parallel render need no scratch image.
    static void toneMapSum(const HPointImage* const* images, int count, ColorImage& image, float k);
    // Mean luminance over all pixels (double sums); 0 for an empty image.
    float meanLuminance() const;
    // Sum over all pixels of dx^2 + dy^2 + dz^2 (not the mean). Different
    // sizes print "not the same size.\n" and answer 0.
    double squaredError(const HPointImage& other) const;

    bool write(const char* name) const;
    bool read(const char* name);

private:
    friend class PixelImage<HPointImage, HPoint>;
    static void initialisePixels(HPoint* buffer, long long count);
};
