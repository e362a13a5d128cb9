#include "image/RealImage.h"

#include <climits>
#include <cstdio>
#include <cstring>

#include "image/PixelBuffer.h"

RealImage::RealImage() : pixels(nullptr) {}

RealImage::RealImage(int w, int h) : pixels(nullptr) {
    if (w > 0 && h > 0) resize(w, h);
}

RealImage::RealImage(const RealImage& other) : GImage(), pixels(nullptr) {
    if (other.pixels != nullptr) copyFrom(other);
}

RealImage& RealImage::operator=(const RealImage& other) {
    if (this == &other) return *this;
    if (other.pixels == nullptr)
        clear();
    else
        copyFrom(other);
    return *this;
}

RealImage::~RealImage() { std::free(pixels); }

const char* RealImage::toString() const {
    static char buffer[objectTextSize + 32];
    char address[objectTextSize];
    formatClassAddress(address, objectTextSize, "RealImage", this);
    std::snprintf(buffer, sizeof(buffer), "%s (%d x %d)", address, width, height);
    return buffer;
}

GObject* RealImage::clone() const { return new RealImage(*this); }

void RealImage::takeBuffer(float* buffer, int w, int h) {
    std::free(pixels);
    pixels = buffer;
    width = w;
    height = h;
}

void RealImage::clear() { takeBuffer(nullptr, 0, 0); }

bool RealImage::resize(int newWidth, int newHeight) {
    if (!validImageSize(newWidth, newHeight)) return false;
    if (newWidth == width && newHeight == height && pixels != nullptr) return true;
    long long count = (long long)newWidth * newHeight;
    float* buffer = allocatePixels<float>(count);
    for (long long i = 0; i < count; i++) buffer[i] = 0.0f;
    takeBuffer(buffer, newWidth, newHeight);
    return true;
}

int RealImage::memorySize() const {
    long long bytes = (long long)width * height * 4 + 16;
    return bytes > INT_MAX ? INT_MAX : (int)bytes;
}

void RealImage::valueRange(float& minValue, float& maxValue) const {
    long long count = (long long)width * height;
    if (pixels == nullptr || count == 0) {
        minValue = maxValue = 0.0f;
        return;
    }
    minValue = maxValue = pixels[0];
    for (long long i = 1; i < count; i++) {
        if (pixels[i] < minValue) minValue = pixels[i];
        if (pixels[i] > maxValue) maxValue = pixels[i];
    }
}

bool RealImage::copyFrom(const RealImage& other) {
    if (this == &other) return true;
    if (other.pixels == nullptr) return false;
    if (!resize(other.width, other.height)) return false;
    std::memcpy(pixels, other.pixels, (size_t)width * height * sizeof(float));
    return true;
}

void RealImage::fill(float value) {
    long long count = (long long)width * height;
    for (long long i = 0; i < count; i++) pixels[i] = value;
}
