// TextureImage: what the colour and the gray image share beyond their storage:
// pixels of 8-bit channels that go to GL as textures, a mip pyramid kept
// inside the pixel buffer (square power-of-two images), halving and doubling,
// and the binary and plain netpbm files. Pixel is uint32_t (packed RGBA, see
// PixelFunctions.h; ColorImage) or uint8_t (GrayImage); the definitions are
// instantiated for those two in TextureImage.cpp.
#pragma once

#include <cstdint>

#include "image/PixelImage.h"

struct ImageFileHeader;

template <class Derived, class Pixel> class TextureImage : public PixelImage<Derived, Pixel> {
    using Base = PixelImage<Derived, Pixel>;

public:
    using Base::height;
    using Base::pixels;
    using Base::width;

    // True while the buffer holds a mip pyramid built by makeMipMapStorage;
    // height then reports the buffer's row count.
    bool mipPyramid;

    TextureImage() : mipPyramid(false) {}
    // Empty when either side is 0 or negative; otherwise uninitialised pixels.
    TextureImage(int w, int h) : Base(w, h), mipPyramid(false) {}
    TextureImage(const TextureImage &other)
        : Base(other), mipPyramid(pixels != nullptr && other.mipPyramid) {}
    TextureImage &operator=(const TextureImage &other) {
        Base::operator=(other);
        return *this;
    }

    // False below 1 or beyond maxImagePixels (nothing changes); the same size
    // keeps the pixels (no longer as a pyramid); otherwise new uninitialised
    // storage.
    bool resize(int newWidth, int newHeight) override;
    // Format -1 (or no options) means RGBA for colour, LUMINANCE for gray.
    void uploadTexture(unsigned textureName, const TextureOptions *options = nullptr) override;
    void updateTexture(unsigned textureName, int format = -1) override;

    // Copies the pyramid flag along with the pixels.
    bool copyFrom(const Derived &other);
    Pixel getPixel(int x, int y) const { return pixels[x + y * width]; }
    void setPixel(int x, int y, Pixel p) { pixels[x + y * width] = p; }

    // Mip pyramid inside the pixel buffer (square power-of-two images).
    int mipLevelCount() const { return mipLevelCountFor(width); }
    // Reallocates a square image as width x mipStorageRows(width) with level 0
    // at the start. A non-square image prints an error and stays as it is.
    bool makeMipMapStorage();
    // Level k, or null when the buffer holds no such level. With out given,
    // out is resized to the level and the level copied into it.
    Pixel *mipLevel(int level, Derived *out = nullptr);
    // Copies the first (width >> k)^2 pixels of image into level k; false when
    // the level does not exist or image is too small.
    bool setMipLevel(int level, const Derived &image);
    // Builds the pyramid; false (nothing built) for a non-square image.
    bool makeMipMap();
    // This image becomes source reduced by 2 (colour: averageFourPixels per
    // block; gray: averageFourBytes).
    bool halve(const Derived &source);
    // This image becomes source with every pixel as a 2 x 2 block.
    bool doubleSize(const Derived &source);

    // Frees the storage: 0 x 0.
    void clear();

protected:
    // Rows of level 0: the pyramid's top level is square.
    int levelZeroRows() const { return mipPyramid ? width : height; }

    // Binary netpbm file of the given magic ("P6", "P5"): the whole image,
    // or with band set rows first .. last - 1 counted from the bottom.
    bool readNetpbm(const char *name, const char *magic, bool band = false, int first = 0,
                    int last = 0);
    // Plain (text) netpbm file of the given magic ("P3", "P2").
    bool readNetpbmText(const char *name, const char *magic);
    // The binary or the plain reader as magicLine (the file's first line)
    // begins with binaryMagic or textMagic; false for anything else.
    bool readNetpbmByMagic(const char *name, const char *magicLine, const char *binaryMagic,
                           const char *textMagic);
    // Binary netpbm file after header (magic, comment, maximum 255), top row
    // first.
    bool writeNetpbm(const char *name, const ImageFileHeader &header, const char *comment) const;
};
