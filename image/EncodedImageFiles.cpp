// PNG, JPEG, TGA, BMP and HDR through stb. The file is read whole, its
// announced size is checked against caps and against what its bytes can
// hold, and only then does stb decode (and allocate).
#include "image/EncodedImageFiles.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <vector>

#include "image/ColorImage.h"
#include "image/ImageFile.h"
#include "image/PixelFunctions.h"

#ifdef VELK_HAVE_STB
#include <stb_image.h>
#include <stb_image_write.h>
#endif

namespace {

#ifndef VELK_HAVE_STB
const char *const missingStb = "velk was built without stb (libstb-dev), so PNG, JPEG, TGA, BMP "
                               "and HDR images are not read or "
                               "written";
#endif

#ifdef VELK_HAVE_STB
// Caps on an announced size: a side, the pixel count (so decoding allocates
// at most a few hundred megabytes), and pixels per byte of file. Deflate
// expands at most about 1032 times; a progressive JPEG's end-of-band runs
// can cover thousands of blocks in a few bits, hence its wider allowance.
const int maxEncodedSide = 65535;
const long long maxEncodedPixels = 1LL << 26;
const long long maxPixelsPerByte = 1100;
const long long maxJpegPixelsPerByte = 1LL << 14;
// Files beyond this are not read into memory at all.
const long long maxEncodedFileBytes = 1LL << 30;

// The format's name for messages, from its first bytes; TGA has no signature.
const char *formatName(const std::vector<unsigned char> &bytes) {
    if (bytes.size() >= 4 && bytes[0] == 0x89 && bytes[1] == 'P' && bytes[2] == 'N' &&
        bytes[3] == 'G')
        return "PNG";
    if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xD8)
        return "JPEG";
    if (bytes.size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M')
        return "BMP";
    if (bytes.size() >= 2 && bytes[0] == '#' && bytes[1] == '?')
        return "HDR";
    return "TGA";
}

bool readWholeFile(const char *name, std::vector<unsigned char> &bytes, std::string &problem) {
    ImageFileReader reader;
    if (!reader.open(name)) {
        problem = "the file cannot be opened";
        return false;
    }
    long long size = reader.remaining();
    if (size <= 0) {
        problem = "the file is empty";
        return false;
    }
    if (size > maxEncodedFileBytes) {
        problem = "the file is larger than the 1 GiB velk reads as an image";
        return false;
    }
    bytes.resize((size_t)size);
    if (!reader.readBytes(bytes.data(), bytes.size())) {
        problem = "the file could not be read";
        return false;
    }
    return true;
}

// The stb release Debian ships writes past its Huffman size table when a
// JPEG's DHT segment counts more than 256 codes in one table (later stb
// releases refuse such a table). Every DHT segment of the file is checked
// first: markers are walked from the start, stepping over segments and the
// entropy-coded bytes between them.
bool jpegHuffmanTablesFit(const std::vector<unsigned char> &bytes) {
    const size_t n = bytes.size();
    size_t at = 2; // after SOI
    while (at + 4 <= n) {
        if (bytes[at] != 0xFF) {
            at++;
            continue;
        }
        const unsigned char marker = bytes[at + 1];
        // Fill bytes, stuffed zeros, restart markers and TEM stand alone.
        if (marker == 0xFF) {
            at++;
            continue;
        }
        if (marker == 0x00 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
            at += 2;
            continue;
        }
        if (marker == 0xD9)
            break; // EOI
        const size_t length = ((size_t)bytes[at + 2] << 8) | bytes[at + 3];
        if (marker == 0xC4) {
            size_t table = at + 4, end = at + 2 + length < n ? at + 2 + length : n;
            while (table + 17 <= end) {
                size_t codes = 0;
                for (int i = 1; i <= 16; i++)
                    codes += bytes[table + i];
                if (codes > 256)
                    return false;
                table += 17 + codes;
            }
        }
        at += 2 + length;
    }
    return true;
}

void writeToFile(void *context, void *data, int size) {
    FILE **file = static_cast<FILE **>(context);
    if (*file && std::fwrite(data, 1, (size_t)size, *file) != (size_t)size) {
        std::fclose(*file);
        *file = nullptr;
    }
}
#endif

} // namespace

bool encodedImagesAvailable() {
#ifdef VELK_HAVE_STB
    return true;
#else
    return false;
#endif
}

bool readEncodedImage(ColorImage &image, const char *name, std::string &problem) {
    problem.clear();
#ifndef VELK_HAVE_STB
    (void)image;
    (void)name;
    problem = missingStb;
    return false;
#else
    std::vector<unsigned char> bytes;
    if (!readWholeFile(name, bytes, problem))
        return false;
    const char *format = formatName(bytes);
    const int length = bytes.size() > (size_t)0x7FFFFFFF ? 0x7FFFFFFF : (int)bytes.size();

    if (std::strcmp(format, "JPEG") == 0 && !jpegHuffmanTablesFit(bytes)) {
        problem = "truncated or corrupt JPEG image (a Huffman table of more than 256 codes)";
        return false;
    }

    // 1. The header alone: is it an image, and of a size the file can hold?
    int w = 0, h = 0, channels = 0;
    if (!stbi_info_from_memory(bytes.data(), length, &w, &h, &channels)) {
        // A file of no known signature is simply no image: the callers' lines say so.
        if (std::strcmp(format, "TGA") != 0)
            problem = std::string("truncated or corrupt ") + format + " image (" +
                      stbi_failure_reason() + ")";
        return false;
    }
    long long pixels = (long long)w * h;
    long long perByte = std::strcmp(format, "JPEG") == 0 ? maxJpegPixelsPerByte : maxPixelsPerByte;
    if (w < 1 || h < 1 || w > maxEncodedSide || h > maxEncodedSide || pixels > maxEncodedPixels ||
        pixels > perByte * (long long)bytes.size()) {
        char text[160];
        std::snprintf(text, sizeof text,
                      "the %s header announces %d x %d pixels, more than velk reads from a file of "
                      "%zu bytes",
                      format, w, h, bytes.size());
        problem = text;
        return false;
    }

    // 2. Decode: 8-bit samples as they are, HDR as linear floats.
    const bool hdr = stbi_is_hdr_from_memory(bytes.data(), length) != 0;
    void *decoded = hdr ? (void *)stbi_loadf_from_memory(bytes.data(), length, &w, &h, &channels, 3)
                        : (void *)stbi_load_from_memory(bytes.data(), length, &w, &h, &channels, 3);
    if (!decoded) {
        problem = std::string("truncated or corrupt ") + format + " image (" +
                  stbi_failure_reason() + ")";
        return false;
    }
    if (!image.resize(w, h)) {
        stbi_image_free(decoded);
        problem = "the image size is refused";
        return false;
    }

    // 3. The file's top row first into rows from the top down (row 0 is the bottom).
    for (int row = 0; row < h; row++) {
        uint32_t *out = image.pixels + (long long)(h - 1 - row) * w;
        if (hdr) {
            const float *in = static_cast<const float *>(decoded) + (long long)row * w * 3;
            for (int x = 0; x < w; x++, in += 3)
                out[x] = colorToPixel(HPoint(in[0], in[1], in[2], 0.0f));
        } else {
            const unsigned char *in =
                static_cast<const unsigned char *>(decoded) + (long long)row * w * 3;
            for (int x = 0; x < w; x++, in += 3)
                out[x] = packPixel(in[0], in[1], in[2], 0);
        }
    }
    stbi_image_free(decoded);
    return true;
#endif
}

bool readTextureImage(ColorImage &image, const char *name, std::string &problem) {
    problem.clear();
    char line[imageLineCapacity];
    if (!readFirstLine(name, line)) {
        // Unopenable or empty: the caller's message says so.
        return false;
    }
    if (lineStartsWith(line, "FB") || hasNetpbmMagic(line, "P6") || hasNetpbmMagic(line, "P3"))
        return image.readImage(name);
    return readEncodedImage(image, name, problem);
}

bool writePNG(const ColorImage &image, const char *name, std::string &problem) {
    problem.clear();
#ifndef VELK_HAVE_STB
    (void)image;
    (void)name;
    problem = missingStb;
    return false;
#else
    if (image.width < 1 || image.height < 1 || !image.pixels) {
        problem = "the frame is empty";
        return false;
    }
    // The PPM's bytes: red, green, blue of each pixel, the top row first.
    std::vector<unsigned char> rgb((size_t)image.width * image.height * 3);
    unsigned char *out = rgb.data();
    for (int row = image.height - 1; row >= 0; row--) {
        const uint32_t *in = image.pixels + (long long)row * image.width;
        for (int x = 0; x < image.width; x++) {
            *out++ = (unsigned char)(in[x] & 0xFF);
            *out++ = (unsigned char)((in[x] >> 8) & 0xFF);
            *out++ = (unsigned char)((in[x] >> 16) & 0xFF);
        }
    }
    FILE *file = std::fopen(name, "wb");
    if (!file) {
        problem = "the file cannot be created";
        return false;
    }
    int written = stbi_write_png_to_func(writeToFile, &file, image.width, image.height, 3,
                                         rgb.data(), image.width * 3);
    bool closed = file && std::fclose(file) == 0;
    if (!written || !closed) {
        problem = "the file could not be written";
        return false;
    }
    return true;
#endif
}

bool isPngName(const char *name) {
    size_t length = std::strlen(name);
    if (length < 4)
        return false;
    const char *end = name + length - 4;
    return end[0] == '.' && std::tolower((unsigned char)end[1]) == 'p' &&
           std::tolower((unsigned char)end[2]) == 'n' && std::tolower((unsigned char)end[3]) == 'g';
}
