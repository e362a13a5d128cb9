// RealImage: one float per pixel, row 0 at the bottom. Counters and weights of
// the uber renderer.
#pragma once

#include "image/GImage.h"
#include "image/PixelImage.h"

// pixels: width * height floats, row 0 first; null when empty. Storage and
// copies come from PixelImage: new pixels are 0, and memorySize is
// width * height * 4 + 16.
class RealImage : public PixelImage<RealImage, float> {
public:
    using PixelImage::PixelImage;

    bool isKindOf(int id) const override {
        return id == ClassId::RealImage || GImage::isKindOf(id);
    }
    int typeId() const override { return ClassId::RealImage; }
    // "RealImage@<address> (<width> x <height>)"
    const char* toString() const override;
    // Smallest and largest value; 0 and 0 for an empty image.
    void valueRange(float& minValue, float& maxValue) const override;

    float& at(int x, int y) { return pixels[x + (long long)y * width]; }
    float at(int x, int y) const { return pixels[x + (long long)y * width]; }

private:
    friend class PixelImage<RealImage, float>;
    static void initialisePixels(float* buffer, long long count);
};
