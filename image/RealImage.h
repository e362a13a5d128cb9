// RealImage: one float per pixel, row 0 at the bottom. Counters and weights of
// the uber renderer.
#pragma once

#include "image/GImage.h"

class RealImage : public GImage {
public:
    float* pixels;  // width * height floats, row 0 first; null when empty

    RealImage();
    // Empty when either side is 0 or negative; otherwise every pixel 0.
    RealImage(int w, int h);
    RealImage(const RealImage& other);
    RealImage& operator=(const RealImage& other);
    ~RealImage() override;

    bool isKindOf(int id) const override {
        return id == ClassId::RealImage || GImage::isKindOf(id);
    }
    int typeId() const override { return ClassId::RealImage; }
    // "RealImage@<address> (<width> x <height>)"
    const char* toString() const override;
    GObject* clone() const override;

    // False below 1 or beyond maxImagePixels (nothing changes); the same size
    // keeps the data; otherwise every pixel becomes 0.
    bool resize(int newWidth, int newHeight) override;
    // width * height * 4 + 16.
    int memorySize() const override;
    // Smallest and largest value; 0 and 0 for an empty image.
    void valueRange(float& minValue, float& maxValue) const override;

    float& at(int x, int y) { return pixels[x + (long long)y * width]; }
    float at(int x, int y) const { return pixels[x + (long long)y * width]; }

    bool copyFrom(const RealImage& other);
    void fill(float value);
    // Frees the storage: 0 x 0.
    void clear();

private:
    void takeBuffer(float* buffer, int w, int h);
};
