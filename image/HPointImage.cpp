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

// ---- storage and pixel operations --------------------------------------------

static_assert(sizeof(HPoint) == recordBytes, "memorySize counts 16 bytes a pixel");

const char* HPointImage::toString() const {
    static thread_local char buffer[objectTextSize];
    return formatClassAddress(buffer, objectTextSize, "HPointImage", this);
}

void HPointImage::initialisePixels(HPoint* buffer, long long count) {
    for (long long i = 0; i < count; i++) buffer[i] = HPoint(0.0f, 0.0f, 0.0f, 1.0f);
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

static uint32_t toneMapped(const HPoint& c, float k) {
    float l = luminance(c);
    float f = 1.0f;
    if (l != 0.0f) {
        float mapped = k * l / (k * l + 1.0f);
        f = mapped / l;
    }
    return colorToPixel(HPoint(f * c.x, f * c.y, f * c.z, c.w));
}

void HPointImage::toneMap(ColorImage& image, float k) const {
    if (pixels == nullptr || !image.resize(width, height)) return;
    long long count = (long long)width * height;
    for (long long i = 0; i < count; i++) image.pixels[i] = toneMapped(pixels[i], k);
}

void HPointImage::toneMapSum(const HPointImage* const* images, int count, ColorImage& image, float k) {
    if (count < 1) return;
    const HPointImage& first = *images[0];
    for (int n = 1; n < count; n++)
        if (images[n]->width != first.width || images[n]->height != first.height) {
            std::printf("images not the same size.\n");
            return;
        }
    if (first.pixels == nullptr || !image.resize(first.width, first.height)) return;
    long long pixelCount = (long long)first.width * first.height;
    for (long long i = 0; i < pixelCount; i++) {
        HPoint sum = first.pixels[i];
        for (int n = 1; n < count; n++) sum.add(images[n]->pixels[i]);
        image.pixels[i] = toneMapped(sum, k);
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
    static const ImageFileHeader pointHeader = {"PNM-HPOINT", nullptr, nullptr, 0};
    ImageFileWriter writer(name, pointHeader, nullptr, width, height);
    writePixelRows(writer, pixels, width, height, recordBytes, RowOrder::bottomFirst,
                   [](uint8_t* record, const HPoint& point) {
                       storeLittleFloat(record, point.x);
                       storeLittleFloat(record + 4, point.y);
                       storeLittleFloat(record + 8, point.z);
                       storeLittleFloat(record + 12, point.w);
                   });
    return writer.close();
}

bool HPointImage::read(const char* name) {
    ImageFileReader reader;
    char line[imageLineCapacity];
    // The first line is the magic; its text is not checked.
    if (!reader.open(name, line) || !reader.readLine(line)) return false;
    int w, h;
    if (!parseImageSize(line, true, w, h)) return false;
    // The records must be in the file before anything is allocated.
    if ((long long)w * h * recordBytes > reader.remaining()) return false;
    if (w == 0 && h == 0) {
        clear();
        return true;
    }
    if (!resize(w, h)) return false;
    return readPixelRows(reader, pixels, w, h, recordBytes, [](const uint8_t* record) {
        return HPoint(loadLittleFloat(record), loadLittleFloat(record + 4),
                      loadLittleFloat(record + 8), loadLittleFloat(record + 12));
    });
}
