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

HeightImage::HeightImage() : pyramid(nullptr) {}

HeightImage::HeightImage(int w, int h) : PixelImage(w, h), pyramid(nullptr) {}

HeightImage::HeightImage(const HeightImage& other) : PixelImage(other), pyramid(nullptr) {}

HeightImage& HeightImage::operator=(const HeightImage& other) {
    PixelImage::operator=(other);
    return *this;
}

HeightImage::~HeightImage() { delete pyramid; }

const char* HeightImage::toString() const {
    static thread_local char buffer[objectTextSize + 32];
    return formatImageText(buffer, (int)sizeof(buffer), "HeightImage", this, width, height);
}

void HeightImage::discardPyramids() {
    delete pyramid;
    pyramid = nullptr;
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
    pixelValueRange(pixels, (long long)width * height, minValue, maxValue);
}

float HeightImage::sampleScalar(const HPoint& uv, bool wrapU, bool wrapV) const {
    if (pixels == nullptr) return 0.0f;
    return bilinearScalar(pixels, width, height, uv, wrapU, wrapV);
}

HPoint HeightImage::sampleColor(const HPoint& uv, bool wrapU, bool wrapV) const {
    if (pixels == nullptr) return HPoint(0.0f, 0.0f, 0.0f, 0.0f);
    uint32_t low = (uint16_t)nearestPixel(pixels, width, height, uv, wrapU, wrapV) & 0xFF;
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

// The extreme height over the inclusive rectangle clipped to the image, where
// better(a, b) says a is more extreme than b; start when nothing is left.
template <class Better>
static int rangeBound(const HeightImage& image, int x0, int y0, int x1, int y1, int start,
                      Better better) {
    int bound = start;
    if (image.pixels == nullptr || !clipRectangle(image.width, image.height, x0, y0, x1, y1))
        return bound;
    for (int y = y0; y <= y1; y++) {
        const int16_t* row = image.pixels + (long long)y * image.width;
        for (int x = x0; x <= x1; x++)
            if (better(row[x], bound)) bound = row[x];
    }
    return bound;
}

int HeightImage::rangeMin(int x0, int y0, int x1, int y1) const {
    return rangeBound(*this, x0, y0, x1, y1, emptyRangeMin, [](int a, int b) { return a < b; });
}

int HeightImage::rangeMax(int x0, int y0, int x1, int y1) const {
    return rangeBound(*this, x0, y0, x1, y1, emptyRangeMax, [](int a, int b) { return a > b; });
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
    static const ImageFileHeader heightHeader = {"HG", "# ", "# Height Image\n", 0};
    ImageFileWriter writer(name, heightHeader, comment, width, height);
    writePixelRows(writer, pixels, width, height, 2, RowOrder::bottomFirst, storeLittle16);
    return writer.close();
}

// Opens an ".hg" file (or with magic "H7" an H75 file) and reads its header
// up to the size line, comment lines skipped. A size of 0 x 0 is accepted as
// an empty image; anything negative, half-empty or too large is not.
static bool readHeightHeader(ImageFileReader& reader, const char* name, const char* magic, int& w,
                             int& h) {
    char line[imageLineCapacity];
    if (!reader.open(name, line) || !lineStartsWith(line, magic)) return false;
    // The compressed variant ("HGC") is not supported.
    if (lineStartsWith(line, "HGC")) return false;
    return reader.readLineSkipping(line, "#", false) && parseImageSize(line, true, w, h);
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
    return readPixelRows(reader, pixels, w, h, 2, bigEndian ? loadBig16 : loadLittle16);
}

bool HeightImage::readHG(const char* name) {
    ImageFileReader reader;
    int w, h;
    return readHeightHeader(reader, name, "HG", w, h) && readRows(reader, w, h, false);
}

bool HeightImage::readH75(const char* name) {
    ImageFileReader reader;
    int w, h;
    char line[imageLineCapacity];
    if (!readHeightHeader(reader, name, "H7", w, h)) return false;
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
    int w, h;
    if (!readHeightHeader(reader, name, "HG", w, h)) return false;
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
