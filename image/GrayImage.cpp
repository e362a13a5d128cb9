#include "image/GrayImage.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <vector>

#include "foundation/GLLayer.h"
#include "image/ImageFile.h"
#include "image/PixelBuffer.h"

// ---- construction and storage ------------------------------------------------

GrayImage::GrayImage() : pixels(nullptr), mipPyramid(false) {}

GrayImage::GrayImage(int w, int h) : pixels(nullptr), mipPyramid(false) {
    if (w > 0 && h > 0)
        resize(w, h);
}

GrayImage::GrayImage(const GrayImage &other) : GImage(), pixels(nullptr), mipPyramid(false) {
    if (other.pixels != nullptr)
        copyFrom(other);
}

GrayImage &GrayImage::operator=(const GrayImage &other) {
    if (this == &other)
        return *this;
    if (other.pixels == nullptr)
        clear();
    else
        copyFrom(other);
    return *this;
}

GrayImage::~GrayImage() {
    std::free(pixels);
}

const char *GrayImage::toString() const {
    static char buffer[objectTextSize + 32];
    char address[objectTextSize];
    formatClassAddress(address, objectTextSize, "GrayImage", this);
    std::snprintf(buffer, sizeof(buffer), "%s (%d x %d)", address, width, height);
    return buffer;
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

GObject *GrayImage::clone() const {
    return new GrayImage(*this);
}

void GrayImage::takeBuffer(uint8_t *buffer, int w, int h) {
    std::free(pixels);
    pixels = buffer;
    width = w;
    height = h;
}

void GrayImage::clear() {
    takeBuffer(nullptr, 0, 0);
    mipPyramid = false;
}

bool GrayImage::resize(int newWidth, int newHeight) {
    if (!validImageSize(newWidth, newHeight))
        return false;
    mipPyramid = false;
    if (newWidth == width && newHeight == height && pixels != nullptr)
        return true;
    takeBuffer(allocatePixels<uint8_t>((long long)newWidth * newHeight), newWidth, newHeight);
    return true;
}

int GrayImage::memorySize() const {
    long long bytes = (long long)width * height + 16;
    return bytes > INT_MAX ? INT_MAX : (int)bytes;
}

bool GrayImage::copyFrom(const GrayImage &other) {
    if (this == &other)
        return true;
    if (!resize(other.width, other.height))
        return false;
    std::memcpy(pixels, other.pixels, (size_t)width * height);
    mipPyramid = other.mipPyramid;
    return true;
}

void GrayImage::fill(uint8_t value) {
    if (pixels != nullptr)
        std::memset(pixels, value, (size_t)width * height);
}

void GrayImage::copyRegionFrom(const GrayImage &source, int x0, int y0) {
    if (&source == this)
        return;
    copyRegion(pixels, width, height, source.pixels, source.width, source.height, x0, y0);
}

// ---- sampling ----------------------------------------------------------------

void GrayImage::valueRange(float &minValue, float &maxValue) const {
    long long count = (long long)width * levelZeroRows();
    if (pixels == nullptr || count == 0) {
        minValue = maxValue = 0.0f;
        return;
    }
    uint8_t lowest = 255, highest = 0;
    for (long long i = 0; i < count; i++) {
        if (pixels[i] < lowest)
            lowest = pixels[i];
        if (pixels[i] > highest)
            highest = pixels[i];
    }
    minValue = lowest;
    maxValue = highest;
}

// Continuous pixel coordinate of texture coordinate u: size * frac(u) when
// wrapping (no 0.99999 factor), size * clamp(u, 0, 0.99999) otherwise.
static float continuousCoordinate(float u, int size, bool wrap) {
    return (float)size * (wrap ? wrapFraction(u) : clampCoordinate(u));
}

float GrayImage::sampleScalar(const HPoint &uv, bool wrapU, bool wrapV) const {
    if (pixels == nullptr)
        return 0.0f;
    int rows = levelZeroRows();
    float u = continuousCoordinate(uv.x, width, wrapU);
    float v = continuousCoordinate(uv.y, rows, wrapV);
    int i = (int)u, j = (int)v;
    if (i > width - 1)
        i = width - 1;
    if (j > rows - 1)
        j = rows - 1;
    int i1 = i + 1 < width ? i + 1 : width - 1;
    int j1 = j + 1 < rows ? j + 1 : rows - 1;
    float fu = u - (float)i, fv = v - (float)j;
    const uint8_t *lower = pixels + (long long)j * width;
    const uint8_t *upper = pixels + (long long)j1 * width;
    return (1.0f - fv) * ((1.0f - fu) * lower[i] + fu * lower[i1]) +
           fv * ((1.0f - fu) * upper[i] + fu * upper[i1]);
}

HPoint GrayImage::sampleColor(const HPoint &uv, bool wrapU, bool wrapV) const {
    if (pixels == nullptr)
        return HPoint(0.0f, 0.0f, 0.0f, 0.0f);
    int x = wrapCoordinate(uv.x, width, wrapU);
    int y = wrapCoordinate(uv.y, levelZeroRows(), wrapV);
    float gray = (float)pixels[x + (long long)y * width] / 255.0f;
    return HPoint(gray, gray, gray, 0.0f);
}

// ---- mip pyramid -------------------------------------------------------------

bool GrayImage::makeMipMapStorage() {
    if (width != height) {
        std::printf("Error! Cannot make a non-square mip-map!");
        return false;
    }
    if (pixels == nullptr)
        return false;
    int rows = mipStorageRows(width);
    if (!validImageSize(width, rows))
        return false;
    uint8_t *pyramid = allocatePixels<uint8_t>((long long)width * rows);
    std::memcpy(pyramid, pixels, (size_t)width * width);
    takeBuffer(pyramid, width, rows);
    mipPyramid = true;
    return true;
}

uint8_t *GrayImage::mipLevel(int level, GrayImage *out) {
    if (pixels == nullptr || level < 0 || level >= mipLevelCount())
        return nullptr;
    if (level > 0 && !mipPyramid)
        return nullptr;
    int side = width >> level;
    long long offset = mipLevelOffset(width, level);
    if (offset + (long long)side * side > (long long)width * height)
        return nullptr;
    uint8_t *start = pixels + offset;
    if (out != nullptr && out != this && out->resize(side, side))
        std::memcpy(out->pixels, start, (size_t)side * side);
    return start;
}

bool GrayImage::setMipLevel(int level, const GrayImage &image) {
    if (&image == this)
        return false;
    uint8_t *start = mipLevel(level);
    if (start == nullptr || image.pixels == nullptr)
        return false;
    long long side = width >> level;
    if ((long long)image.width * image.height < side * side)
        return false;
    std::memcpy(start, image.pixels, (size_t)(side * side));
    return true;
}

bool GrayImage::makeMipMap() {
    if (width != height) {
        makeMipMapStorage(); // reports the error
        return false;
    }
    if (pixels == nullptr)
        return false;
    int levels = mipLevelCount();
    GrayImage current, next;
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

bool GrayImage::halve(const GrayImage &source) {
    if (source.pixels == nullptr) {
        clear();
        return false;
    }
    if (&source == this) {
        GrayImage copy(source);
        return halve(copy);
    }
    int w, h;
    halvedSize(source.width, source.height, w, h);
    if (!resize(w, h))
        return false;
    halvePixels(pixels, source.pixels, source.width, source.height, averageBytes, averageFourBytes);
    return true;
}

bool GrayImage::doubleSize(const GrayImage &source) {
    if (source.pixels == nullptr) {
        clear();
        return true;
    }
    if (&source == this) {
        GrayImage copy(source);
        return doubleSize(copy);
    }
    if (!resize(2 * source.width, 2 * source.height))
        return false;
    doublePixels(pixels, source.pixels, source.width, source.height);
    return true;
}

// ---- GL ----------------------------------------------------------------------

void GrayImage::uploadTexture(unsigned textureName, const TextureOptions *options) {
    GLint format = (options != nullptr && options->internalFormat != -1) ? options->internalFormat
                                                                         : (GLint)GL_LUMINANCE;
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
    if (pixels == nullptr)
        return;
    if (options != nullptr && options->buildMipMaps) {
        if (width == height)
            makeMipMap();
        if (mipPyramid) {
            for (int level = 0; level < mipLevelCount() && (width >> level) > 0; level++) {
                int side = width >> level;
                glTexImage2D(GL_TEXTURE_2D, level, format, side, side, 0, GL_LUMINANCE,
                             GL_UNSIGNED_BYTE, mipLevel(level));
            }
            return;
        }
    }
    glTexImage2D(GL_TEXTURE_2D, 0, format, width, levelZeroRows(), 0, GL_LUMINANCE,
                 GL_UNSIGNED_BYTE, pixels);
}

void GrayImage::updateTexture(unsigned textureName, int format) {
    GLenum sourceFormat = format != -1 ? (GLenum)format : GL_LUMINANCE;
    glBindTexture(GL_TEXTURE_2D, textureName);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    if (pixels == nullptr)
        return;
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width, levelZeroRows(), sourceFormat, GL_UNSIGNED_BYTE,
                    pixels);
}

// ---- files -------------------------------------------------------------------

bool GrayImage::readImage(const char *name) {
    char line[imageLineCapacity];
    {
        ImageFileReader reader;
        if (!reader.open(name) || !reader.readLine(line))
            return false;
    }
    if (line[0] == 'p' || line[0] == 'P') {
        if (line[1] == '5')
            return readPGM(name);
        if (line[1] == '2')
            return readPGMText(name);
    }
    return false;
}

bool GrayImage::readPGM(const char *name) {
    ImageFileReader reader;
    NetpbmHeader header;
    if (!reader.open(name) || !readNetpbmHeader(reader, "P5", header))
        return false;
    if (!validImageSize(header.width, header.height))
        return false;
    long long rowBytes = (long long)header.width * header.sampleBytes();
    if (rowBytes * header.height > reader.remaining())
        return false;
    if (!resize(header.width, header.height))
        return false;

    std::vector<unsigned char> staging(header.sampleBytes() == 2 ? (size_t)rowBytes : 0);
    for (int i = 0; i < height; i++) {
        uint8_t *target = pixels + (long long)(height - 1 - i) * width;
        if (!readSampleRow(reader, header, width, target, staging.data()))
            return false;
    }
    return true;
}

bool GrayImage::readPGMText(const char *name) {
    ImageFileReader reader;
    NetpbmHeader header;
    if (!reader.open(name) || !readNetpbmHeader(reader, "P2", header))
        return false;
    if (!validImageSize(header.width, header.height))
        return false;
    long long samples = (long long)header.width * header.height;
    if (2 * samples - 1 > reader.remaining())
        return false;
    if (!resize(header.width, header.height))
        return false;

    for (int i = 0; i < height; i++) {
        uint8_t *target = pixels + (long long)(height - 1 - i) * width;
        for (int x = 0; x < width; x++) {
            long long value;
            if (!reader.readInt(value))
                return false;
            target[x] = (uint8_t)sampleToByte(value, header.maxValue);
        }
    }
    return true;
}

bool GrayImage::readPGMBand(const char *name, int first, int last) {
    ImageFileReader reader;
    NetpbmHeader header;
    if (!reader.open(name) || !readNetpbmHeader(reader, "P5", header))
        return false;
    if (header.width < 0 || header.height < 0 || last > header.height)
        return false;
    if (first < 0 || first >= last)
        return false;
    if (!validImageSize(header.width, (long long)last - first))
        return false;
    long long rowBytes = (long long)header.width * header.sampleBytes();
    if (rowBytes * ((long long)header.height - first) > reader.remaining())
        return false;
    if (!resize(header.width, last - first))
        return false;
    if (!reader.skipBytes(rowBytes * ((long long)header.height - last)))
        return false;

    std::vector<unsigned char> staging(header.sampleBytes() == 2 ? (size_t)rowBytes : 0);
    for (int i = 0; i < height; i++) {
        uint8_t *target = pixels + (long long)(height - 1 - i) * width;
        if (!readSampleRow(reader, header, width, target, staging.data()))
            return false;
    }
    return true;
}

bool GrayImage::writePGM(const char *name, const char *comment) const {
    FILE *file = std::fopen(name, "wb");
    if (file == nullptr)
        return false;
    bool ok = std::fputs("P5\n", file) >= 0;
    if (ok)
        ok = comment != nullptr ? writeCommentLines(file, "# ", comment)
                                : std::fputs("# Grayscale Image\n", file) >= 0;
    if (ok)
        ok = std::fprintf(file, "%d %d\n255\n", width, height) > 0;
    for (int y = height - 1; ok && y >= 0; y--)
        ok = std::fwrite(pixels + (long long)y * width, 1, (size_t)width, file) == (size_t)width;
    if (std::fclose(file) != 0)
        return false;
    return ok;
}
