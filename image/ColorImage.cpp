#include "image/ColorImage.h"

#include <cstdio>

#include "foundation/GLLayer.h"
#include "image/PixelBuffer.h"

const char *ColorImage::toString() const {
    static thread_local char buffer[objectTextSize + 32];
    return formatImageText(buffer, (int)sizeof(buffer), "ColorImage", this, width, height);
}

void ColorImage::setFromRGBBytes(const uint8_t *bytes) {
    long long count = (long long)width * height;
    for (long long i = 0; i < count; i++, bytes += 3)
        pixels[i] = packPixel(bytes[0], bytes[1], bytes[2], 0);
}

// ---- sampling ----------------------------------------------------------------

void ColorImage::valueRange(float &minValue, float &maxValue) const {
    pixelValueRange(
        pixels, (long long)width * levelZeroRows(), [](uint32_t p) { return p & 0xFF; }, minValue,
        maxValue);
}

float ColorImage::sampleScalar(const HPoint &uv, bool wrapU, bool wrapV) const {
    if (pixels == nullptr)
        return 0.0f;
    return (float)(nearestPixel(pixels, width, levelZeroRows(), uv, wrapU, wrapV) & 0xFF);
}

HPoint ColorImage::sampleColor(const HPoint &uv, bool wrapU, bool wrapV) const {
    if (pixels == nullptr)
        return HPoint(0.0f, 0.0f, 0.0f, 0.0f);
    return pixelToColor(nearestPixel(pixels, width, levelZeroRows(), uv, wrapU, wrapV));
}

// Neighbour index pair and weight along one axis for continuous coordinate t.
static void bilinearAxis(float t, int size, int &i0, int &i1, float &f) {
    if (!(t > 0.0f))
        t = 0.0f; // NaN and negative coordinates sit on the first pixel
    i0 = t >= (float)(size - 1) ? size - 1 : (int)t;
    i1 = i0 + 1 < size ? i0 + 1 : size - 1;
    f = t - (float)i0;
}

uint32_t ColorImage::sampleBilinear(float x, float y) const {
    if (pixels == nullptr)
        return 0;
    int x0, x1, y0, y1;
    float fx, fy;
    bilinearAxis(x, width, x0, x1, fx);
    bilinearAxis(y, levelZeroRows(), y0, y1, fy);
    uint32_t p00 = pixels[x0 + (long long)y0 * width], p10 = pixels[x1 + (long long)y0 * width];
    uint32_t p01 = pixels[x0 + (long long)y1 * width], p11 = pixels[x1 + (long long)y1 * width];
    uint32_t result = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        float lower =
            (1.0f - fx) * (float)((p00 >> shift) & 0xFF) + fx * (float)((p10 >> shift) & 0xFF);
        float upper =
            (1.0f - fx) * (float)((p01 >> shift) & 0xFF) + fx * (float)((p11 >> shift) & 0xFF);
        result |= clampToByte((1.0f - fy) * lower + fy * upper) << shift;
    }
    return result;
}

// ---- difference --------------------------------------------------------------

bool ColorImage::differenceOf(const ColorImage &a, const ColorImage &b, float scale) {
    int w = a.width < b.width ? a.width : b.width;
    int h = a.height < b.height ? a.height : b.height;
    if (!validImageSize(w, h) || a.pixels == nullptr || b.pixels == nullptr)
        return false;
    if (&a == this || &b == this) {
        // Resizing would free an input: work on copies.
        ColorImage first(a), second(b);
        return differenceOf(first, second, scale);
    }
    if (!resize(w, h))
        return false;
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            uint32_t pa = a.pixels[x + (long long)y * a.width];
            uint32_t pb = b.pixels[x + (long long)y * b.width];
            uint32_t channels[3];
            for (int c = 0; c < 3; c++) {
                float delta =
                    (float)((int)((pb >> (8 * c)) & 0xFF) - (int)((pa >> (8 * c)) & 0xFF));
                // trunc, then clamp: the same as clamping first for this range.
                int v = truncateToInt(delta * scale + 127.0f);
                channels[c] = v < 0 ? 0 : (v > 255 ? 255 : (uint32_t)v);
            }
            pixels[x + (long long)y * w] = packPixel(channels[0], channels[1], channels[2], 0);
        }
    return true;
}

// ---- GL ----------------------------------------------------------------------

void ColorImage::drawPixels(float x, float y, float zoomX, float zoomY) const {
    glRasterPos2f(x, y);
    glPixelZoom(zoomX, zoomY);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glDrawPixels(width, levelZeroRows(), GL_RGBA, GL_UNSIGNED_BYTE, pixels);
}

void ColorImage::readPixels(int x, int y) {
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, y, width, levelZeroRows(), GL_RGBA, GL_UNSIGNED_BYTE, pixels);
}
