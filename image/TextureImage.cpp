#include "image/TextureImage.h"

#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "foundation/GLLayer.h"
#include "image/ColorImage.h"
#include "image/GrayImage.h"
#include "image/ImageFile.h"
#include "image/PixelFunctions.h"
#include "image/RasterIO.h"

// What differs between the two pixel types: the GL layout, how blocks are
// averaged, and how netpbm samples (bytes) become pixels and back.
template <class Pixel> struct TexturePixel;

// Colour: red, green and blue samples; alpha is 0 when read, dropped when
// written. Means round up per channel.
template <> struct TexturePixel<uint32_t> {
    static constexpr GLenum layout = GL_RGBA;
    static constexpr int channels = 3;
    static uint32_t mean(uint32_t a, uint32_t b) { return averagePixels(a, b); }
    static uint32_t mean(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
        return averageFourPixels(a, b, c, d);
    }
    static uint32_t fromSamples(const uint8_t *samples) {
        return packPixel(samples[0], samples[1], samples[2], 0);
    }
    static void toSamples(uint8_t *samples, uint32_t pixel) {
        samples[0] = (uint8_t)(pixel & 0xFF);
        samples[1] = (uint8_t)((pixel >> 8) & 0xFF);
        samples[2] = (uint8_t)((pixel >> 16) & 0xFF);
    }
};

// Gray: one sample, the byte itself. Means round down.
template <> struct TexturePixel<uint8_t> {
    static constexpr GLenum layout = GL_LUMINANCE;
    static constexpr int channels = 1;
    static uint8_t mean(uint8_t a, uint8_t b) { return averageBytes(a, b); }
    static uint8_t mean(uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
        return averageFourBytes(a, b, c, d);
    }
    static uint8_t fromSamples(const uint8_t *samples) { return samples[0]; }
    static void toSamples(uint8_t *samples, uint8_t pixel) { samples[0] = pixel; }
};

// ---- storage -----------------------------------------------------------------

template <class Derived, class Pixel>
bool TextureImage<Derived, Pixel>::resize(int newWidth, int newHeight) {
    if (!validImageSize(newWidth, newHeight))
        return false;
    mipPyramid = false;
    return Base::resize(newWidth, newHeight);
}

template <class Derived, class Pixel>
bool TextureImage<Derived, Pixel>::copyFrom(const Derived &other) {
    if (!Base::copyFrom(other))
        return false;
    mipPyramid = other.mipPyramid;
    return true;
}

template <class Derived, class Pixel> void TextureImage<Derived, Pixel>::clear() {
    Base::clear();
    mipPyramid = false;
}

// ---- mip pyramid -------------------------------------------------------------

template <class Derived, class Pixel> bool TextureImage<Derived, Pixel>::makeMipMapStorage() {
    if (width != height) {
        std::printf("Error! Cannot make a non-square mip-map!");
        return false;
    }
    if (pixels == nullptr)
        return false;
    int rows = mipStorageRows(width);
    if (!validImageSize(width, rows))
        return false;
    Pixel *pyramid = allocatePixels<Pixel>((long long)width * rows);
    std::memcpy(pyramid, pixels, (size_t)width * width * sizeof(Pixel));
    this->takeBuffer(pyramid, width, rows);
    mipPyramid = true;
    return true;
}

template <class Derived, class Pixel>
Pixel *TextureImage<Derived, Pixel>::mipLevel(int level, Derived *out) {
    if (pixels == nullptr || level < 0 || level >= mipLevelCount())
        return nullptr;
    if (level > 0 && !mipPyramid)
        return nullptr;
    int side = width >> level;
    long long offset = mipLevelOffset(width, level);
    if (offset + (long long)side * side > (long long)width * height)
        return nullptr;
    Pixel *start = pixels + offset;
    if (out != nullptr && out != this && out->resize(side, side))
        std::memcpy(out->pixels, start, (size_t)side * side * sizeof(Pixel));
    return start;
}

template <class Derived, class Pixel>
bool TextureImage<Derived, Pixel>::setMipLevel(int level, const Derived &image) {
    if (&image == this)
        return false;
    Pixel *start = mipLevel(level);
    if (start == nullptr || image.pixels == nullptr)
        return false;
    long long side = width >> level;
    if ((long long)image.width * image.height < side * side)
        return false;
    std::memcpy(start, image.pixels, (size_t)(side * side) * sizeof(Pixel));
    return true;
}

template <class Derived, class Pixel> bool TextureImage<Derived, Pixel>::makeMipMap() {
    if (width != height) {
        makeMipMapStorage(); // reports the error
        return false;
    }
    if (pixels == nullptr)
        return false;
    int levels = mipLevelCount();
    Derived current, next;
    current.halve(this->self());
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

template <class Derived, class Pixel>
bool TextureImage<Derived, Pixel>::halve(const Derived &source) {
    if (source.pixels == nullptr) {
        clear();
        return false;
    }
    if (&source == this) {
        Derived copy(source);
        return halve(copy);
    }
    int w, h;
    halvedSize(source.width, source.height, w, h);
    if (!resize(w, h))
        return false;
    using Traits = TexturePixel<Pixel>;
    halvePixels(
        pixels, source.pixels, source.width, source.height,
        [](Pixel a, Pixel b) { return Traits::mean(a, b); },
        [](Pixel a, Pixel b, Pixel c, Pixel d) { return Traits::mean(a, b, c, d); });
    return true;
}

template <class Derived, class Pixel>
bool TextureImage<Derived, Pixel>::doubleSize(const Derived &source) {
    if (source.pixels == nullptr) {
        clear();
        return true;
    }
    if (&source == this) {
        Derived copy(source);
        return doubleSize(copy);
    }
    if (!resize(2 * source.width, 2 * source.height))
        return false;
    doublePixels(pixels, source.pixels, source.width, source.height);
    return true;
}

// ---- GL ----------------------------------------------------------------------

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

template <class Derived, class Pixel>
void TextureImage<Derived, Pixel>::uploadTexture(unsigned textureName,
                                                 const TextureOptions *options) {
    const GLenum layout = TexturePixel<Pixel>::layout;
    GLint format = (options != nullptr && options->internalFormat != -1) ? options->internalFormat
                                                                         : (GLint)layout;
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
                glTexImage2D(GL_TEXTURE_2D, level, format, side, side, 0, layout, GL_UNSIGNED_BYTE,
                             mipLevel(level));
            }
            return;
        }
    }
    // Square images go up as width x width; a non-square image keeps its own
    // height so that no row beyond the buffer is sent.
    glTexImage2D(GL_TEXTURE_2D, 0, format, width, levelZeroRows(), 0, layout, GL_UNSIGNED_BYTE,
                 pixels);
}

template <class Derived, class Pixel>
void TextureImage<Derived, Pixel>::updateTexture(unsigned textureName, int format) {
    GLenum sourceFormat = format != -1 ? (GLenum)format : TexturePixel<Pixel>::layout;
    glBindTexture(GL_TEXTURE_2D, textureName);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    if (pixels == nullptr)
        return;
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width, levelZeroRows(), sourceFormat, GL_UNSIGNED_BYTE,
                    pixels);
}

// ---- netpbm files ------------------------------------------------------------

template <class Derived, class Pixel>
bool TextureImage<Derived, Pixel>::readNetpbm(const char *name, const char *magic, bool band,
                                              int first, int last) {
    using Traits = TexturePixel<Pixel>;
    ImageFileReader reader;
    NetpbmHeader header;
    if (!reader.open(name) || !readNetpbmHeader(reader, magic, header))
        return false;
    if (!band) {
        first = 0;
        last = header.height;
    }
    if (!seekNetpbmBand(reader, header, Traits::channels, first, last))
        return false;
    if (!resize(header.width, last - first))
        return false;

    // Files store the top row first.
    long long samplesPerRow = (long long)Traits::channels * width;
    std::vector<uint8_t> samples((size_t)samplesPerRow);
    std::vector<uint8_t> staging(header.sampleBytes() == 2 ? (size_t)(2 * samplesPerRow) : 0);
    for (int i = 0; i < height; i++) {
        if (!readSampleRow(reader, header, samplesPerRow, samples.data(), staging.data()))
            return false;
        Pixel *target = pixels + (long long)(height - 1 - i) * width;
        for (int x = 0; x < width; x++)
            target[x] = Traits::fromSamples(&samples[(size_t)x * Traits::channels]);
    }
    return true;
}

template <class Derived, class Pixel>
bool TextureImage<Derived, Pixel>::readNetpbmText(const char *name, const char *magic) {
    using Traits = TexturePixel<Pixel>;
    ImageFileReader reader;
    NetpbmHeader header;
    if (!reader.open(name) || !readNetpbmHeader(reader, magic, header))
        return false;
    if (!validImageSize(header.width, header.height))
        return false;
    // Every sample takes at least a digit and a separator.
    long long samples = (long long)Traits::channels * header.width * header.height;
    if (2 * samples - 1 > reader.remaining())
        return false;
    if (!resize(header.width, header.height))
        return false;

    for (int i = 0; i < height; i++) {
        Pixel *target = pixels + (long long)(height - 1 - i) * width;
        for (int x = 0; x < width; x++) {
            uint8_t pixelSamples[Traits::channels];
            for (int c = 0; c < Traits::channels; c++) {
                long long value;
                if (!reader.readInt(value))
                    return false;
                pixelSamples[c] = (uint8_t)sampleToByte(value, header.maxValue);
            }
            target[x] = Traits::fromSamples(pixelSamples);
        }
    }
    return true;
}

template <class Derived, class Pixel>
bool TextureImage<Derived, Pixel>::readNetpbmByMagic(const char *name, const char *magicLine,
                                                     const char *binaryMagic,
                                                     const char *textMagic) {
    if (hasNetpbmMagic(magicLine, binaryMagic))
        return readNetpbm(name, binaryMagic);
    if (hasNetpbmMagic(magicLine, textMagic))
        return readNetpbmText(name, textMagic);
    return false;
}

template <class Derived, class Pixel>
bool TextureImage<Derived, Pixel>::writeNetpbm(const char *name, const ImageFileHeader &header,
                                               const char *comment) const {
    using Traits = TexturePixel<Pixel>;
    ImageFileWriter writer(name, header, comment, width, height);
    writePixelRows(writer, pixels, width, height, Traits::channels, RowOrder::topFirst,
                   Traits::toSamples);
    return writer.close();
}

template class TextureImage<ColorImage, uint32_t>;
template class TextureImage<GrayImage, uint8_t>;
