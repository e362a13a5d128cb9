#include "image/GrayImage.h"

#include <cstring>

#include "image/ImageFile.h"
#include "image/PixelBuffer.h"

const char *GrayImage::toString() const {
    static thread_local char buffer[objectTextSize + 32];
    return formatImageText(buffer, (int)sizeof(buffer), "GrayImage", this, width, height);
}

bool GrayImage::equals(const GObject *other) const {
    if (other == this)
        return true;
    if (other == nullptr || !other->isKindOf(ClassId::GrayImage))
        return false;
    const GrayImage *gray = static_cast<const GrayImage *>(other);
    if (gray->width != width || gray->height != height)
        return false;
    size_t count = (size_t)width * height;
    return count == 0 || std::memcmp(gray->pixels, pixels, count) == 0;
}

// ---- sampling ----------------------------------------------------------------

void GrayImage::valueRange(float &minValue, float &maxValue) const {
    pixelValueRange(pixels, (long long)width * levelZeroRows(), minValue, maxValue);
}

float GrayImage::sampleScalar(const HPoint &uv, bool wrapU, bool wrapV) const {
    if (pixels == nullptr)
        return 0.0f;
    return bilinearScalar(pixels, width, levelZeroRows(), uv, wrapU, wrapV);
}

HPoint GrayImage::sampleColor(const HPoint &uv, bool wrapU, bool wrapV) const {
    if (pixels == nullptr)
        return HPoint(0.0f, 0.0f, 0.0f, 0.0f);
    float gray = (float)nearestPixel(pixels, width, levelZeroRows(), uv, wrapU, wrapV) / 255.0f;
    return HPoint(gray, gray, gray, 0.0f);
}

// ---- files -------------------------------------------------------------------

bool GrayImage::readImage(const char *name) {
    char line[imageLineCapacity];
    return readFirstLine(name, line) && readNetpbmByMagic(name, line, "P5", "P2");
}

bool GrayImage::writePGM(const char *name, const char *comment) const {
    static const ImageFileHeader pgmHeader = {"P5", "# ", "# Grayscale Image\n", 255};
    return writeNetpbm(name, pgmHeader, comment);
}
