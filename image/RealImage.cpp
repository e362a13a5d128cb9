#include "image/RealImage.h"

#include "image/PixelBuffer.h"

const char* RealImage::toString() const {
    static thread_local char buffer[objectTextSize + 32];
    return formatImageText(buffer, (int)sizeof(buffer), "RealImage", this, width, height);
}

void RealImage::initialisePixels(float* buffer, long long count) {
    for (long long i = 0; i < count; i++) buffer[i] = 0.0f;
}

void RealImage::valueRange(float& minValue, float& maxValue) const {
    pixelValueRange(pixels, (long long)width * height, minValue, maxValue);
}
