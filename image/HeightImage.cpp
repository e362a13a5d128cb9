#include "image/HeightImage.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <vector>

#include "image/GMipMap.h"
#include "image/GrayImage.h"
#include "image/ImageFile.h"
#include "image/PixelBuffer.h"
#include "image/PixelFunctions.h"
#include "image/RasterIO.h"

// ---- construction and storage ------------------------------------------------

HeightImage::HeightImage() : pixels(nullptr), pyramid(nullptr) {}

HeightImage::HeightImage(int w, int h) : pixels(nullptr), pyramid(nullptr) {
    if (w > 0 && h > 0) resize(w, h);
}

HeightImage::HeightImage(const HeightImage& other) : GImage(), pixels(nullptr), pyramid(nullptr) {
    if (other.pixels != nullptr) copyFrom(other);
}

HeightImage& HeightImage::operator=(const HeightImage& other) {
    if (this == &other) return *this;
    if (other.pixels == nullptr)
        clear();
    else
        copyFrom(other);
    return *this;
}

HeightImage::~HeightImage() {
    delete pyramid;
    std::free(pixels);
}

const char* HeightImage::toString() const {
    static char buffer[objectTextSize + 32];
    char address[objectTextSize];
    formatClassAddress(address, objectTextSize, "HeightImage", this);
    std::snprintf(buffer, sizeof(buffer), "%s (%d x %d)", address, width, height);
    return buffer;
}

GObject* HeightImage::clone() const { return new HeightImage(*this); }

void HeightImage::discardPyramids() {
    delete pyramid;
    pyramid = nullptr;
}

void HeightImage::takeBuffer(int16_t* buffer, int w, int h) {
    discardPyramids();
    std::free(pixels);
    pixels = buffer;
    width = w;
    height = h;
}

void HeightImage::clear() { takeBuffer(nullptr, 0, 0); }

bool HeightImage::resize(int newWidth, int newHeight) {
    if (!validImageSize(newWidth, newHeight)) return false;
    if (newWidth == width && newHeight == height && pixels != nullptr) return true;
    takeBuffer(allocatePixels<int16_t>((long long)newWidth * newHeight), newWidth, newHeight);
    return true;
}

int HeightImage::memorySize() const {
    long long bytes = (long long)width * height * 2 + 16;
    return bytes > INT_MAX ? INT_MAX : (int)bytes;
}

bool HeightImage::copyFrom(const HeightImage& other) {
    if (this == &other) return true;
    if (other.pixels == nullptr) return false;
    if (!resize(other.width, other.height)) return false;
    discardPyramids();
    std::memcpy(pixels, other.pixels, (size_t)width * height * sizeof(int16_t));
    return true;
}

void HeightImage::fill(int16_t value) {
    discardPyramids();
    long long count = (long long)width * height;
    for (long long i = 0; i < count; i++) pixels[i] = value;
}

void HeightImage::setFromGray(const GrayImage& gray) {
    if (gray.pixels == nullptr || !resize(gray.width, gray.height)) {
        clear();
        return;
    }
    discardPyramids();
    long long count = (long long)width * height;
    for (long long i = 0; i < count; i++) pixels[i] = (int16_t)gray.pixels[i];
}

void HeightImage::copyRegionFrom(const HeightImage& source, int x0, int y0) {
    if (&source == this) return;
    discardPyramids();
    copyRegion(pixels, width, height, source.pixels, source.width, source.height, x0, y0);
}

void HeightImage::subtract(const HeightImage& other) {
    if (other.width != width || other.height != height) {
        std::printf("tried to subtract images with different sizes.\n");
        return;
    }
    discardPyramids();
    long long count = (long long)width * height;
    // 16-bit arithmetic as in the stored format; unsigned to wrap without overflow.
    for (long long i = 0; i < count; i++)
        pixels[i] = (int16_t)(uint16_t)((uint16_t)pixels[i] - (uint16_t)other.pixels[i]);
}

void HeightImage::flipVertically() {
    discardPyramids();
    for (int i = 0; i < height / 2; i++) {
        int16_t* lower = pixels + (long long)i * width;
        int16_t* upper = pixels + (long long)(height - 1 - i) * width;
        for (int x = 0; x < width; x++) {
            int16_t swap = lower[x];
            lower[x] = upper[x];
            upper[x] = swap;
        }
    }
}

// ---- sampling ----------------------------------------------------------------

void HeightImage::valueRange(float& minValue, float& maxValue) const {
    long long count = (long long)width * height;
    if (pixels == nullptr || count == 0) {
        minValue = maxValue = 0.0f;
        return;
    }
    int lowest = 65536, highest = -65536;
    for (long long i = 0; i < count; i++) {
        if (pixels[i] < lowest) lowest = pixels[i];
        if (pixels[i] > highest) highest = pixels[i];
    }
    minValue = (float)lowest;
    maxValue = (float)highest;
}

// Continuous pixel coordinate: size * frac(u) when wrapping (no 0.99999
// factor), size * clamp(u, 0, 0.99999) otherwise; the GrayImage scheme.
static float continuousCoordinate(float u, int size, bool wrap) {
    return (float)size * (wrap ? wrapFraction(u) : clampCoordinate(u));
}

float HeightImage::sampleScalar(const HPoint& uv, bool wrapU, bool wrapV) const {
    if (pixels == nullptr) return 0.0f;
    float u = continuousCoordinate(uv.x, width, wrapU);
    float v = continuousCoordinate(uv.y, height, wrapV);
    int i = (int)u, j = (int)v;
    if (i > width - 1) i = width - 1;
    if (j > height - 1) j = height - 1;
    int i1 = i + 1 < width ? i + 1 : width - 1;
    int j1 = j + 1 < height ? j + 1 : height - 1;
    float fu = u - (float)i, fv = v - (float)j;
    const int16_t* lower = pixels + (long long)j * width;
    const int16_t* upper = pixels + (long long)j1 * width;
    return (1.0f - fv) * ((1.0f - fu) * lower[i] + fu * lower[i1]) +
           fv * ((1.0f - fu) * upper[i] + fu * upper[i1]);
}

HPoint HeightImage::sampleColor(const HPoint& uv, bool wrapU, bool wrapV) const {
    if (pixels == nullptr) return HPoint(0.0f, 0.0f, 0.0f, 0.0f);
    int x = wrapCoordinate(uv.x, width, wrapU);
    int y = wrapCoordinate(uv.y, height, wrapV);
    uint32_t low = (uint16_t)getHeight(x, y) & 0xFF;
    return pixelToColor(packPixel(low, low, low, 0));
}

// ---- range queries and reductions --------------------------------------------

// Clips the inclusive rectangle to the image; false when nothing is left.
static bool clipRectangle(int width, int height, int& x0, int& y0, int& x1, int& y1) {
    if (x0 < 0) x0 = 0;
    if (y0 < 0) y0 = 0;
    if (x1 > width - 1) x1 = width - 1;
    if (y1 > height - 1) y1 = height - 1;
    return x0 <= x1 && y0 <= y1;
}

int HeightImage::rangeMin(int x0, int y0, int x1, int y1) const {
    int lowest = emptyRangeMin;
    if (pixels == nullptr || !clipRectangle(width, height, x0, y0, x1, y1)) return lowest;
    for (int y = y0; y <= y1; y++) {
        const int16_t* row = pixels + (long long)y * width;
        for (int x = x0; x <= x1; x++)
            if (row[x] < lowest) lowest = row[x];
    }
    return lowest;
}

int HeightImage::rangeMax(int x0, int y0, int x1, int y1) const {
    int highest = emptyRangeMax;
    if (pixels == nullptr || !clipRectangle(width, height, x0, y0, x1, y1)) return highest;
    for (int y = y0; y <= y1; y++) {
        const int16_t* row = pixels + (long long)y * width;
        for (int x = x0; x <= x1; x++)
            if (row[x] > highest) highest = row[x];
    }
    return highest;
}

// Floor of value / 2 for negative values too (C division truncates to zero).
static int floorHalf(int value) { return value >= 0 ? value / 2 : -((1 - value) / 2); }

GImage* HeightImage::reduce(int type) const {
    if (type != reduceMinimum && type != reduceMaximum && type != reduceAverage) return nullptr;
    HeightImage* result = new HeightImage((width + 1) / 2, (height + 1) / 2);
    if (result->pixels == nullptr) return result;  // empty source, empty result
    int reducedWidth = result->width;
    long long reducedCount = (long long)reducedWidth * result->height;

    if (type == reduceMinimum || type == reduceMaximum) {
        result->fill((int16_t)(type == reduceMinimum ? emptyRangeMin : emptyRangeMax));
        for (int y = 0; y < height; y++) {
            const int16_t* row = pixels + (long long)y * width;
            int16_t* target = result->pixels + (long long)(y / 2) * reducedWidth;
            for (int x = 0; x < width; x++) {
                int16_t& slot = target[x / 2];
                if (type == reduceMinimum ? row[x] < slot : row[x] > slot) slot = row[x];
            }
        }
        return result;
    }

    // Average: the mean of the block's (one to four) heights, rounded down.
    std::vector<int> sums((size_t)reducedCount, 0);
    std::vector<int> counts((size_t)reducedCount, 0);
    for (int y = 0; y < height; y++) {
        const int16_t* row = pixels + (long long)y * width;
        long long base = (long long)(y / 2) * reducedWidth;
        for (int x = 0; x < width; x++) {
            sums[(size_t)(base + x / 2)] += row[x];
            counts[(size_t)(base + x / 2)]++;
        }
    }
    for (long long i = 0; i < reducedCount; i++) {
        int sum = sums[(size_t)i], n = counts[(size_t)i];
        int mean = sum >= 0 ? sum / n : -((-sum + n - 1) / n);
        result->pixels[i] = (int16_t)mean;
    }
    return result;
}

void HeightImage::expand(const HeightImage& source) {
    if (source.pixels == nullptr) {
        clear();
        return;
    }
    int sourceWidth = source.width, sourceHeight = source.height;
    long long w = 2LL * sourceWidth - 1, h = 2LL * sourceHeight - 1;
    if (!validImageSize(w, h)) {
        clear();
        return;
    }
    // Built apart so that source may be this image.
    int16_t* out = allocatePixels<int16_t>(w * h);
    std::memset(out, 0, (size_t)(w * h) * sizeof(int16_t));
    for (int y = 0; y < sourceHeight; y++) {
        const int16_t* row = source.pixels + (long long)y * sourceWidth;
        int16_t* target = out + 2LL * y * w;
        for (int x = 0; x < sourceWidth; x++) target[2 * x] = row[x];
        // Rounded-up mean floor((a + b + 1) / 2), right for negative sums too.
        for (int x = 0; x + 1 < sourceWidth; x++)
            target[2 * x + 1] = (int16_t)floorHalf(row[x] + row[x + 1] + 1);
    }
    for (long long y = 1; y < h; y += 2) {
        const int16_t* below = out + (y - 1) * w;
        const int16_t* above = out + (y + 1) * w;
        int16_t* target = out + y * w;
        for (long long x = 0; x < w; x++) target[x] = (int16_t)floorHalf(below[x] + above[x] + 1);
    }
    takeBuffer(out, (int)w, (int)h);
}

// ---- pyramids ----------------------------------------------------------------

void HeightImage::buildPyramids() {
    if (pyramid == nullptr) pyramid = new GMipMap();
    pyramid->build(this, reduceMinimum);
    pyramid->buildSecond(this, reduceMaximum);
}

const GMipMap* HeightImage::pyramids() {
    if (pyramid == nullptr) buildPyramids();
    return pyramid;
}

int HeightImage::lowestHeightIn(float ua, float va, float ub, float vb) {
    return pyramids()->rangeQuery(ua, va, ub, vb);
}

int HeightImage::highestHeightIn(float ua, float va, float ub, float vb) {
    return pyramids()->secondRangeQuery(ua, va, ub, vb);
}

// ---- files -------------------------------------------------------------------

bool HeightImage::writeHG(const char* name, const char* comment) const {
    if (name == nullptr) return false;
    FILE* file = std::fopen(name, "wb");
    if (file == nullptr) return false;
    bool ok = std::fputs("HG\n", file) >= 0;
    if (ok) ok = writeCommentLines(file, "# ", comment != nullptr ? comment : "Height Image");
    if (ok) ok = std::fprintf(file, "%d %d\n", width, height) > 0;
    if (ok && pixels != nullptr) {
        std::vector<uint8_t> row((size_t)width * 2);
        for (int y = 0; ok && y < height; y++) {
            const int16_t* heights = pixels + (long long)y * width;
            for (int x = 0; x < width; x++) storeLittle16(&row[(size_t)x * 2], heights[x]);
            ok = std::fwrite(row.data(), 1, row.size(), file) == row.size();
        }
    }
    if (std::fclose(file) != 0) ok = false;
    return ok;
}

// Reads the size line after the magic and comment lines. A size of 0 x 0 is
// accepted as an empty image; anything negative, half-empty or too large is not.
static bool readSizeLine(ImageFileReader& reader, int& w, int& h) {
    char line[imageLineCapacity];
    if (!reader.readLineSkipping(line, "#", false)) return false;
    if (scanSizeLine(line, w, h) < 2) return false;
    if (w == 0 && h == 0) return true;
    return validImageSize(w, h);
}

// The bytes of w x h heights must be in the file before anything is allocated.
// Reads them into this image (0 x 0 clears it).
bool HeightImage::readRows(ImageFileReader& reader, int w, int h, bool bigEndian) {
    long long bytes = 2LL * w * h;
    if (bytes > reader.remaining()) return false;
    if (w == 0 || h == 0) {
        clear();
        return true;
    }
    if (!resize(w, h)) return false;
    discardPyramids();
    std::vector<uint8_t> row((size_t)w * 2);
    for (int y = 0; y < h; y++) {
        if (!reader.readBytes(row.data(), row.size())) return false;
        int16_t* heights = pixels + (long long)y * w;
        for (int x = 0; x < w; x++)
            heights[x] = bigEndian ? loadBig16(&row[(size_t)x * 2]) : loadLittle16(&row[(size_t)x * 2]);
    }
    return true;
}

bool HeightImage::readHG(const char* name) {
    ImageFileReader reader;
    if (!reader.open(name)) return false;
    char line[imageLineCapacity];
    if (!reader.readLine(line)) return false;
    // The compressed variant ("HGC") is not supported.
    if (!lineStartsWith(line, "HG") || lineStartsWith(line, "HGC")) return false;
    int w, h;
    if (!readSizeLine(reader, w, h)) return false;
    return readRows(reader, w, h, false);
}

bool HeightImage::readH75(const char* name) {
    ImageFileReader reader;
    if (!reader.open(name)) return false;
    char line[imageLineCapacity];
    if (!reader.readLine(line) || !lineStartsWith(line, "H7")) return false;
    int w, h;
    if (!readSizeLine(reader, w, h)) return false;
    if (!reader.readLine(line)) return false;  // one further header line
    return readRows(reader, w, h, true);
}

bool HeightImage::readRaw(const char* name, int rawWidth, int rawHeight) {
    if (!validImageSize(rawWidth, rawHeight)) return false;
    ImageFileReader reader;
    if (!reader.open(name)) return false;
    return readRows(reader, rawWidth, rawHeight, false);
}

bool HeightImage::readHGBand(const char* name, int first, int last) {
    ImageFileReader reader;
    if (!reader.open(name)) return false;
    char line[imageLineCapacity];
    if (!reader.readLine(line)) return false;
    if (!lineStartsWith(line, "HG") || lineStartsWith(line, "HGC")) return false;
    int w, h;
    if (!readSizeLine(reader, w, h)) return false;
    if (first < 0 || last <= first || last > h) return false;
    // The rows below the band come first in the file.
    long long skip = 2LL * w * first;
    if (2LL * w * last > reader.remaining()) return false;
    if (!reader.skipBytes(skip)) return false;
    return readRows(reader, w, last - first, false);
}

// ---- the driver's conversion -------------------------------------------------

bool convertDisplacementMap(const char* grayName, const char* heightName) {
    GrayImage gray;
    HeightImage heights;
    if (gray.readImage(grayName)) heights.setFromGray(gray);
    return heights.writeHG(heightName, nullptr);
}
