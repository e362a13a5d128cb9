#include "image/HPointImage.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <vector>

#include "image/ColorImage.h"
#include "image/ImageFile.h"
#include "image/PixelBuffer.h"
#include "image/PixelFunctions.h"
#include "image/RasterIO.h"

// Bytes of one pixel record in ".im" files.
static const int recordBytes = 16;

static float luminance(const HPoint& c) { return 0.299f * c.x + 0.587f * c.y + 0.114f * c.z; }

// ---- construction and storage ------------------------------------------------

HPointImage::HPointImage() : pixels(nullptr) {}

HPointImage::HPointImage(int w, int h) : pixels(nullptr) {
    if (w > 0 && h > 0) resize(w, h);
}

HPointImage::HPointImage(const HPointImage& other) : GImage(), pixels(nullptr) {
    if (other.pixels != nullptr) copyFrom(other);
}

HPointImage& HPointImage::operator=(const HPointImage& other) {
    if (this == &other) return *this;
    if (other.pixels == nullptr)
        clear();
    else
        copyFrom(other);
    return *this;
}

HPointImage::~HPointImage() { std::free(pixels); }

const char* HPointImage::toString() const {
    static char buffer[objectTextSize];
    return formatClassAddress(buffer, objectTextSize, "HPointImage", this);
}

GObject* HPointImage::clone() const { return new HPointImage(*this); }

void HPointImage::takeBuffer(HPoint* buffer, int w, int h) {
    std::free(pixels);
    pixels = buffer;
    width = w;
    height = h;
}

void HPointImage::clear() { takeBuffer(nullptr, 0, 0); }

bool HPointImage::resize(int newWidth, int newHeight) {
    if (!validImageSize(newWidth, newHeight)) return false;
    if (newWidth == width && newHeight == height && pixels != nullptr) return true;
    long long count = (long long)newWidth * newHeight;
    HPoint* buffer = allocatePixels<HPoint>(count);
    for (long long i = 0; i < count; i++) buffer[i] = HPoint(0.0f, 0.0f, 0.0f, 1.0f);
    takeBuffer(buffer, newWidth, newHeight);
    return true;
}

int HPointImage::memorySize() const {
    long long bytes = (long long)width * height * recordBytes + 16;
    return bytes > INT_MAX ? INT_MAX : (int)bytes;
}

bool HPointImage::copyFrom(const HPointImage& other) {
    if (this == &other) return true;
    if (other.pixels == nullptr) return false;
    if (!resize(other.width, other.height)) return false;
    std::memcpy(pixels, other.pixels, (size_t)width * height * sizeof(HPoint));
    return true;
}

// ---- pixel operations --------------------------------------------------------

void HPointImage::fill(const HPoint& colour) {
    long long count = (long long)width * height;
    for (long long i = 0; i < count; i++) pixels[i] = colour;
}

void HPointImage::scale(float f) {
    long long count = (long long)width * height;
    for (long long i = 0; i < count; i++) pixels[i].scale(f);
}

void HPointImage::add(const HPointImage& other) {
    if (other.width != width || other.height != height) {
        std::printf("images not the same size.\n");
        return;
    }
    long long count = (long long)width * height;
    for (long long i = 0; i < count; i++) pixels[i].add(other.pixels[i]);
}

void HPointImage::fromColorImage(const ColorImage& image) {
    if (image.pixels == nullptr || !resize(image.width, image.height)) {
        clear();
        return;
    }
    long long count = (long long)width * height;
    for (long long i = 0; i < count; i++) {
        HPoint c = pixelToColor(image.pixels[i]);
        c.w = 1.0f;
        pixels[i] = c;
    }
}

void HPointImage::toColorImage(ColorImage& image) const {
    // Sized here so that a frame of another size cannot be overrun.
    if (pixels == nullptr || !image.resize(width, height)) return;
    long long count = (long long)width * height;
    for (long long i = 0; i < count; i++) image.pixels[i] = colorToPixel(pixels[i]);
}

void HPointImage::toneMap(ColorImage& image, float k) const {
    if (pixels == nullptr || !image.resize(width, height)) return;
    long long count = (long long)width * height;
    for (long long i = 0; i < count; i++) {
        const HPoint& c = pixels[i];
        float l = luminance(c);
        float f = 1.0f;
        if (l != 0.0f) {
            float mapped = k * l / (k * l + 1.0f);
            f = mapped / l;
        }
        image.pixels[i] = colorToPixel(HPoint(f * c.x, f * c.y, f * c.z, c.w));
    }
}

float HPointImage::meanLuminance() const {
    long long count = (long long)width * height;
    if (pixels == nullptr || count == 0) return 0.0f;
    double sum = 0.0;
    for (long long i = 0; i < count; i++) sum += luminance(pixels[i]);
    return (float)(sum / (double)count);
}

double HPointImage::squaredError(const HPointImage& other) const {
    if (other.width != width || other.height != height) {
        std::printf("not the same size.\n");
        return 0.0;
    }
    long long count = (long long)width * height;
    double sum = 0.0;
    for (long long i = 0; i < count; i++) {
        double dx = (double)pixels[i].x - other.pixels[i].x;
        double dy = (double)pixels[i].y - other.pixels[i].y;
        double dz = (double)pixels[i].z - other.pixels[i].z;
        sum += dx * dx + dy * dy + dz * dz;
    }
    return sum;
}

// ---- files -------------------------------------------------------------------

bool HPointImage::write(const char* name) const {
    if (name == nullptr) return false;
    FILE* file = std::fopen(name, "wb");
    if (file == nullptr) return false;
    bool ok = std::fprintf(file, "PNM-HPOINT\n%d %d\n", width, height) > 0;
    if (ok && pixels != nullptr) {
        std::vector<uint8_t> row((size_t)width * recordBytes);
        for (int y = 0; ok && y < height; y++) {
            const HPoint* points = pixels + (long long)y * width;
            for (int x = 0; x < width; x++) {
                uint8_t* record = &row[(size_t)x * recordBytes];
                storeLittleFloat(record, points[x].x);
                storeLittleFloat(record + 4, points[x].y);
                storeLittleFloat(record + 8, points[x].z);
                storeLittleFloat(record + 12, points[x].w);
            }
            ok = std::fwrite(row.data(), 1, row.size(), file) == row.size();
        }
    }
    if (std::fclose(file) != 0) ok = false;
    return ok;
}

bool HPointImage::read(const char* name) {
    ImageFileReader reader;
    if (!reader.open(name)) return false;
    char line[imageLineCapacity];
    // The first line is the magic; its text is not checked.
    if (!reader.readLine(line) || !reader.readLine(line)) return false;
    int w, h;
    if (scanSizeLine(line, w, h) < 2) return false;
    bool empty = w == 0 && h == 0;
    if (!empty && !validImageSize(w, h)) return false;
    // The records must be in the file before anything is allocated.
    if ((long long)w * h * recordBytes > reader.remaining()) return false;
    if (empty) {
        clear();
        return true;
    }
    if (!resize(w, h)) return false;
    std::vector<uint8_t> row((size_t)w * recordBytes);
    for (int y = 0; y < h; y++) {
        if (!reader.readBytes(row.data(), row.size())) return false;
        HPoint* points = pixels + (long long)y * w;
        for (int x = 0; x < w; x++) {
            const uint8_t* record = &row[(size_t)x * recordBytes];
            points[x] = HPoint(loadLittleFloat(record), loadLittleFloat(record + 4),
                               loadLittleFloat(record + 8), loadLittleFloat(record + 12));
        }
    }
    return true;
}
