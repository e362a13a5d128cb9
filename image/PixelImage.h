// PixelImage: the pixel storage every raster class shares, written once for
// any pixel type. The pixels live in one malloc'd buffer of width * height,
// row 0 (the bottom row) first; the buffer is null exactly when the image is
// empty (0 x 0). Derived is the image class itself (ColorImage derives from
// PixelImage<ColorImage, ...>), so copies, clones and the arguments of copyFrom
// and copyRegionFrom have its type.
//
// Derived may define two hooks (private, with this class as a friend):
//   static void initialisePixels(Pixel *buffer, long long count)
//       sets freshly allocated storage; without it new pixels are
//       uninitialised.
//   void pixelsChanging()
//       is called before the storage is replaced or its pixels are written
//       here, so that a class can drop what it derived from them.
#pragma once

#include <climits>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "image/GImage.h"
#include "image/PixelBuffer.h"

template <class Derived, class Pixel> class PixelImage : public GImage {
public:
    // Numbers go by value, records (HPoint) by reference.
    using PixelArgument =
        typename std::conditional<std::is_scalar<Pixel>::value, Pixel, const Pixel &>::type;

    // width * height pixels, row 0 first; null when empty.
    Pixel *pixels;

    PixelImage() : pixels(nullptr) {}
    // Empty when either side is 0 or negative or the image would be too
    // large; otherwise fresh pixels (see initialisePixels).
    PixelImage(int w, int h) : pixels(nullptr) {
        // No hooks here: the derived part does not exist yet.
        if (validImageSize(w, h))
            adopt(newPixels(w, h), w, h);
    }
    PixelImage(const PixelImage &other) : GImage(), pixels(nullptr) {
        if (other.pixels != nullptr && validImageSize(other.width, other.height)) {
            adopt(newPixels(other.width, other.height), other.width, other.height);
            std::memcpy(pixels, other.pixels, (size_t)width * height * sizeof(Pixel));
        }
    }
    PixelImage &operator=(const PixelImage &other) {
        if (this == &other)
            return *this;
        if (other.pixels == nullptr)
            self().clear();
        else
            self().copyFrom(other.self());
        return *this;
    }
    ~PixelImage() override { std::free(pixels); }

    // Deep copy.
    GObject *clone() const override { return new Derived(self()); }

    // False below 1 or beyond maxImagePixels (nothing changes); the same size
    // keeps the pixels; otherwise new storage (see initialisePixels).
    bool resize(int newWidth, int newHeight) override {
        if (!validImageSize(newWidth, newHeight))
            return false;
        if (newWidth == width && newHeight == height && pixels != nullptr)
            return true;
        takeBuffer(newPixels(newWidth, newHeight), newWidth, newHeight);
        return true;
    }
    // Pixel storage in bytes plus 16, at most INT_MAX.
    int memorySize() const override {
        long long bytes = (long long)width * height * (long long)sizeof(Pixel) + 16;
        return bytes > INT_MAX ? INT_MAX : (int)bytes;
    }

    // This image becomes a copy of other; false (nothing changes) when other
    // is empty.
    bool copyFrom(const Derived &other) {
        if (this == &other)
            return true;
        if (other.pixels == nullptr || !resize(other.width, other.height))
            return false;
        self().pixelsChanging();
        std::memcpy(pixels, other.pixels, (size_t)width * height * sizeof(Pixel));
        return true;
    }
    void fill(PixelArgument value) {
        self().pixelsChanging();
        long long count = (long long)width * height;
        for (long long i = 0; i < count; i++)
            pixels[i] = value;
    }
    // This image takes the part of source whose lower-left corner is (x0, y0),
    // clipped to source; pixels outside the overlap keep their values.
    void copyRegionFrom(const Derived &source, int x0, int y0) {
        if (&source == this)
            return; // the overlap with itself is itself
        self().pixelsChanging();
        copyRegion(pixels, width, height, source.pixels, source.width, source.height, x0, y0);
    }
    // Frees the storage: 0 x 0.
    void clear() { takeBuffer(nullptr, 0, 0); }

protected:
    Derived &self() { return static_cast<Derived &>(*this); }
    const Derived &self() const { return static_cast<const Derived &>(*this); }

    // The default hooks: nothing to initialise, nothing derived to drop.
    static void initialisePixels(Pixel *buffer, long long count) {
        (void)buffer;
        (void)count;
    }
    void pixelsChanging() {}

    // Frees the old storage and takes buffer (malloc'd, or null for 0 x 0).
    void takeBuffer(Pixel *buffer, int w, int h) {
        self().pixelsChanging();
        adopt(buffer, w, h);
    }

private:
    static Pixel *newPixels(int w, int h) {
        long long count = (long long)w * h;
        Pixel *buffer = allocatePixels<Pixel>(count);
        Derived::initialisePixels(buffer, count);
        return buffer;
    }
    void adopt(Pixel *buffer, int w, int h) {
        std::free(pixels);
        pixels = buffer;
        width = w;
        height = h;
    }
};
