#include "image/ColorImage.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <vector>

#include "foundation/GLLayer.h"
#include "image/ImageFile.h"
#include "image/PixelBuffer.h"

// ---- construction and storage ------------------------------------------------

ColorImage::ColorImage() : pixels(nullptr), mipPyramid(false) {}

ColorImage::ColorImage(int w, int h) : pixels(nullptr), mipPyramid(false) {
    if (w > 0 && h > 0)
        resize(w, h);
}

ColorImage::ColorImage(const ColorImage &other) : GImage(), pixels(nullptr), mipPyramid(false) {
    if (other.pixels != nullptr)
        copyFrom(other);
}

ColorImage &ColorImage::operator=(const ColorImage &other) {
    if (this == &other)
        return *this;
    if (other.pixels == nullptr)
        clear();
    else
        copyFrom(other);
    return *this;
}

ColorImage::~ColorImage() {
    std::free(pixels);
}

const char *ColorImage::toString() const {
    static char buffer[objectTextSize + 32];
    char address[objectTextSize];
    formatClassAddress(address, objectTextSize, "ColorImage", this);
    std::snprintf(buffer, sizeof(buffer), "%s (%d x %d)", address, width, height);
    return buffer;
}

GObject *ColorImage::clone() const {
    return new ColorImage(*this);
}

void ColorImage::takeBuffer(uint32_t *buffer, int w, int h) {
    std::free(pixels);
    pixels = buffer;
    width = w;
    height = h;
}

void ColorImage::clear() {
    takeBuffer(nullptr, 0, 0);
    mipPyramid = false;
}

bool ColorImage::resize(int newWidth, int newHeight) {
    if (!validImageSize(newWidth, newHeight))
        return false;
    mipPyramid = false;
    if (newWidth == width && newHeight == height && pixels != nullptr)
        return true;
    takeBuffer(allocatePixels<uint32_t>((long long)newWidth * newHeight), newWidth, newHeight);
    return true;
}

int ColorImage::memorySize() const {
    long long bytes = (long long)width * height * 4 + 16;
    return bytes > INT_MAX ? INT_MAX : (int)bytes;
}

bool ColorImage::copyFrom(const ColorImage &other) {
    if (this == &other)
        return true;
    if (!resize(other.width, other.height))
        return false;
    std::memcpy(pixels, other.pixels, (size_t)width * height * sizeof(uint32_t));
    mipPyramid = other.mipPyramid;
    return true;
}

void ColorImage::fill(uint32_t value) {
    long long count = (long long)width * height;
    for (long long i = 0; i < count; i++)
        pixels[i] = value;
}

void ColorImage::setFromRGBBytes(const uint8_t *bytes) {
    long long count = (long long)width * height;
    for (long long i = 0; i < count; i++, bytes += 3)
        pixels[i] = packPixel(bytes[0], bytes[1], bytes[2], 0);
}

void ColorImage::copyRegionFrom(const ColorImage &source, int x0, int y0) {
    if (&source == this)
        return; // the overlap with itself is itself
    copyRegion(pixels, width, height, source.pixels, source.width, source.height, x0, y0);
}

// ---- sampling ----------------------------------------------------------------

void ColorImage::valueRange(float &minValue, float &maxValue) const {
    long long count = (long long)width * levelZeroRows();
    if (pixels == nullptr || count == 0) {
        minValue = maxValue = 0.0f;
        return;
    }
    uint32_t lowest = 255, highest = 0;
    for (long long i = 0; i < count; i++) {
        uint32_t red = pixels[i] & 0xFF;
        if (red < lowest)
            lowest = red;
        if (red > highest)
            highest = red;
    }
    minValue = (float)lowest;
    maxValue = (float)highest;
}

float ColorImage::sampleScalar(const HPoint &uv, bool wrapU, bool wrapV) const {
    if (pixels == nullptr)
        return 0.0f;
    int x = wrapCoordinate(uv.x, width, wrapU);
    int y = wrapCoordinate(uv.y, levelZeroRows(), wrapV);
    return (float)(pixels[x + (long long)y * width] & 0xFF);
}

HPoint ColorImage::sampleColor(const HPoint &uv, bool wrapU, bool wrapV) const {
    if (pixels == nullptr)
        return HPoint(0.0f, 0.0f, 0.0f, 0.0f);
    int x = wrapCoordinate(uv.x, width, wrapU);
    int y = wrapCoordinate(uv.y, levelZeroRows(), wrapV);
    return pixelToColor(pixels[x + (long long)y * width]);
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

// ---- mip pyramid -------------------------------------------------------------

bool ColorImage::makeMipMapStorage() {
    if (width != height) {
        std::printf("Error! Cannot make a non-square mip-map!");
        return false;
    }
    if (pixels == nullptr)
        return false;
    int rows = mipStorageRows(width);
    if (!validImageSize(width, rows))
        return false;
    uint32_t *pyramid = allocatePixels<uint32_t>((long long)width * rows);
    std::memcpy(pyramid, pixels, (size_t)width * width * sizeof(uint32_t));
    takeBuffer(pyramid, width, rows);
    mipPyramid = true;
    return true;
}

uint32_t *ColorImage::mipLevel(int level, ColorImage *out) {
    if (pixels == nullptr || level < 0 || level >= mipLevelCount())
        return nullptr;
    if (level > 0 && !mipPyramid)
        return nullptr;
    int side = width >> level;
    long long offset = mipLevelOffset(width, level);
    if (offset + (long long)side * side > (long long)width * height)
        return nullptr;
    uint32_t *start = pixels + offset;
    if (out != nullptr && out != this && out->resize(side, side))
        std::memcpy(out->pixels, start, (size_t)side * side * sizeof(uint32_t));
    return start;
}

bool ColorImage::setMipLevel(int level, const ColorImage &image) {
    if (&image == this)
        return false;
    uint32_t *start = mipLevel(level);
    if (start == nullptr || image.pixels == nullptr)
        return false;
    long long side = width >> level;
    if ((long long)image.width * image.height < side * side)
        return false;
    std::memcpy(start, image.pixels, (size_t)(side * side) * sizeof(uint32_t));
    return true;
}

bool ColorImage::makeMipMap() {
    if (width != height) {
        makeMipMapStorage(); // reports the error
        return false;
    }
    if (pixels == nullptr)
        return false;
    int levels = mipLevelCount();
    ColorImage current, next;
    current.halve(*this);
    if (!makeMipMapStorage())
        return false;
    for (int k = 1; k < levels; k++) {
        setMipLevel(k, current);
        next.halve(current);
        std::swap(current.pixels, next.pixels);
        std::swap(current.width, next.width);
        std::swap(current.height, next.height);
    }
    return true;
}

bool ColorImage::halve(const ColorImage &source) {
    if (source.pixels == nullptr) {
        clear();
        return false;
    }
    if (&source == this) {
        ColorImage copy(source);
        return halve(copy);
    }
    int w, h;
    halvedSize(source.width, source.height, w, h);
    if (!resize(w, h))
        return false;
    halvePixels(pixels, source.pixels, source.width, source.height, averagePixels,
                averageFourPixels);
    return true;
}

bool ColorImage::doubleSize(const ColorImage &source) {
    if (source.pixels == nullptr) {
        clear();
        return true;
    }
    if (&source == this) {
        ColorImage copy(source);
        return doubleSize(copy);
    }
    if (!resize(2 * source.width, 2 * source.height))
        return false;
    doublePixels(pixels, source.pixels, source.width, source.height);
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

// Binds, sets alignment 1 and the texture parameters (the options' pairs, or
// linear filtering with clamped wrapping).
static void prepareTexture(unsigned textureName, const TextureOptions *options) {
    glBindTexture(GL_TEXTURE_2D, textureName);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    if (options != nullptr && options->pairCount() > 0) {
        for (int i = 0; i < options->pairCount(); i++)
            glTexParameteri(GL_TEXTURE_2D, (GLenum)options->parameters[2 * i],
                            options->parameters[2 * i + 1]);
    } else {
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP);
    }
}

void ColorImage::uploadTexture(unsigned textureName, const TextureOptions *options) {
    GLint format = (options != nullptr && options->internalFormat != -1) ? options->internalFormat
                                                                         : (GLint)GL_RGBA;
    prepareTexture(textureName, options);
    if (pixels == nullptr)
        return;
    if (options != nullptr && options->buildMipMaps) {
        if (width == height)
            makeMipMap();
        if (mipPyramid) {
            // Each level straight from its place in the pyramid.
            for (int level = 0; level < mipLevelCount() && (width >> level) > 0; level++) {
                int side = width >> level;
                glTexImage2D(GL_TEXTURE_2D, level, format, side, side, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                             mipLevel(level));
            }
            return;
        }
    }
    // Square images go up as width x width; a non-square image keeps its own
    // height so that no row beyond the buffer is sent.
    glTexImage2D(GL_TEXTURE_2D, 0, format, width, levelZeroRows(), 0, GL_RGBA, GL_UNSIGNED_BYTE,
                 pixels);
}

void ColorImage::updateTexture(unsigned textureName, int format) {
    GLenum sourceFormat = format != -1 ? (GLenum)format : GL_RGBA;
    glBindTexture(GL_TEXTURE_2D, textureName);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    if (pixels == nullptr)
        return;
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width, levelZeroRows(), sourceFormat, GL_UNSIGNED_BYTE,
                    pixels);
}
