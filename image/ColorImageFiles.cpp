// ColorImage readers and writers: PPM (P6, P3) and the frame-buffer formats
// FB and FBRLE. Every size a header announces is checked against the bytes
// left in the file before the image is resized.
#include <cstdio>
#include <vector>

#include "image/ColorImage.h"
#include "image/ImageFile.h"

// Little-endian word <-> bytes, whatever the host order.
static inline uint32_t wordFromBytes(const unsigned char *b) {
    return (uint32_t)b[0] | ((uint32_t)b[1] << 8) | ((uint32_t)b[2] << 16) | ((uint32_t)b[3] << 24);
}

static inline void wordToBytes(uint32_t word, unsigned char *b) {
    b[0] = (unsigned char)(word & 0xFF);
    b[1] = (unsigned char)((word >> 8) & 0xFF);
    b[2] = (unsigned char)((word >> 16) & 0xFF);
    b[3] = (unsigned char)(word >> 24);
}

bool ColorImage::readImage(const char *name) {
    char line[imageLineCapacity];
    {
        ImageFileReader reader;
        if (!reader.open(name) || !reader.readLine(line))
            return false;
    }
    if (lineStartsWith(line, "FBRLE"))
        return readFBRLE(name);
    if (lineStartsWith(line, "FB"))
        return readFB(name);
    if (line[0] == 'p' || line[0] == 'P') {
        if (line[1] == '6')
            return readPPM(name);
        if (line[1] == '3')
            return readPPMText(name);
    }
    return false;
}

bool ColorImage::readPPM(const char *name) {
    ImageFileReader reader;
    NetpbmHeader header;
    if (!reader.open(name) || !readNetpbmHeader(reader, "P6", header))
        return false;
    if (!validImageSize(header.width, header.height))
        return false;
    long long samplesPerRow = 3LL * header.width;
    long long rowBytes = samplesPerRow * header.sampleBytes();
    if (rowBytes * header.height > reader.remaining())
        return false;
    if (!resize(header.width, header.height))
        return false;

    // Files store the top row first.
    std::vector<unsigned char> row((size_t)samplesPerRow + 4);
    std::vector<unsigned char> staging(header.sampleBytes() == 2 ? (size_t)rowBytes : 0);
    for (int i = 0; i < height; i++) {
        if (!readSampleRow(reader, header, samplesPerRow, row.data(), staging.data()))
            return false;
        uint32_t *target = pixels + (long long)(height - 1 - i) * width;
        const unsigned char *rgb = row.data();
        for (int x = 0; x < width; x++, rgb += 3)
            target[x] = packPixel(rgb[0], rgb[1], rgb[2], 0);
    }
    return true;
}

bool ColorImage::readPPMText(const char *name) {
    ImageFileReader reader;
    NetpbmHeader header;
    if (!reader.open(name) || !readNetpbmHeader(reader, "P3", header))
        return false;
    if (!validImageSize(header.width, header.height))
        return false;
    // Every sample takes at least a digit and a separator.
    long long samples = 3LL * header.width * header.height;
    if (2 * samples - 1 > reader.remaining())
        return false;
    if (!resize(header.width, header.height))
        return false;

    for (int i = 0; i < height; i++) {
        uint32_t *target = pixels + (long long)(height - 1 - i) * width;
        for (int x = 0; x < width; x++) {
            long long r, g, b;
            if (!reader.readInt(r) || !reader.readInt(g) || !reader.readInt(b))
                return false;
            target[x] =
                packPixel(sampleToByte(r, header.maxValue), sampleToByte(g, header.maxValue),
                          sampleToByte(b, header.maxValue), 0);
        }
    }
    return true;
}

bool ColorImage::readPPMBand(const char *name, int first, int last) {
    ImageFileReader reader;
    NetpbmHeader header;
    if (!reader.open(name) || !readNetpbmHeader(reader, "P6", header))
        return false;
    if (header.width < 0 || header.height < 0 || last > header.height)
        return false;
    if (first < 0 || first >= last)
        return false;
    if (!validImageSize(header.width, (long long)last - first))
        return false;
    long long samplesPerRow = 3LL * header.width;
    long long rowBytes = samplesPerRow * header.sampleBytes();
    // The band and the rows above it must be in the file.
    if (rowBytes * ((long long)header.height - first) > reader.remaining())
        return false;
    if (!resize(header.width, last - first))
        return false;
    if (!reader.skipBytes(rowBytes * ((long long)header.height - last)))
        return false;

    std::vector<unsigned char> row((size_t)samplesPerRow + 4);
    std::vector<unsigned char> staging(header.sampleBytes() == 2 ? (size_t)rowBytes : 0);
    for (int i = 0; i < height; i++) {
        if (!readSampleRow(reader, header, samplesPerRow, row.data(), staging.data()))
            return false;
        uint32_t *target = pixels + (long long)(height - 1 - i) * width;
        const unsigned char *rgb = row.data();
        for (int x = 0; x < width; x++, rgb += 3)
            target[x] = packPixel(rgb[0], rgb[1], rgb[2], 0);
    }
    return true;
}

// "FB"/"FBRLE" header after the magic line: comment lines ("/" or "#"), then
// "width height".
static bool readFrameBufferSize(ImageFileReader &reader, int &w, int &h) {
    char line[imageLineCapacity];
    if (!reader.readLineSkipping(line, "/#", true))
        return false;
    long long size[2];
    if (scanInts(line, size, 2) < 2 || !validImageSize(size[0], size[1]))
        return false;
    w = (int)size[0];
    h = (int)size[1];
    return true;
}

bool ColorImage::readFB(const char *name) {
    ImageFileReader reader;
    char line[imageLineCapacity];
    if (!reader.open(name) || !reader.readLine(line))
        return false;
    // A run-length file is not raw words.
    if (!lineStartsWith(line, "FB") || lineStartsWith(line, "FBRLE"))
        return false;
    int w, h;
    if (!readFrameBufferSize(reader, w, h))
        return false;
    if (4LL * w * h > reader.remaining())
        return false;
    if (!resize(w, h))
        return false;

    for (int y = 0; y < height; y++) {
        uint32_t *target = pixels + (long long)y * width;
        unsigned char *bytes = reinterpret_cast<unsigned char *>(target);
        if (!reader.readBytes(bytes, (size_t)width * 4))
            return false;
        for (int x = 0; x < width; x++)
            target[x] = wordFromBytes(bytes + 4 * x);
    }
    return true;
}

bool ColorImage::readFBRLE(const char *name) {
    ImageFileReader reader;
    char line[imageLineCapacity];
    if (!reader.open(name) || !reader.readLine(line))
        return false;
    if (!lineStartsWith(line, "FBRLE"))
        return false;
    int w, h;
    if (!readFrameBufferSize(reader, w, h))
        return false;
    // A word covers at most 255 pixels.
    long long count = (long long)w * h;
    if ((count + 254) / 255 * 4 > reader.remaining())
        return false;
    if (!resize(w, h))
        return false;

    long long next = 0;
    while (next < count) {
        unsigned char bytes[4];
        if (!reader.readBytes(bytes, 4))
            return false;
        uint32_t word = wordFromBytes(bytes);
        long long run = word >> 24;
        if (run > count - next)
            run = count - next; // the rest of the last run is ignored
        uint32_t color = word & 0x00FFFFFF;
        for (long long i = 0; i < run; i++)
            pixels[next + i] = color;
        next += run;
    }
    return true;
}

// ---- writers -------------------------------------------------------------------

// Closes the file; false when either the writing or the close failed.
static bool finish(FILE *file, bool ok) {
    if (std::fclose(file) != 0)
        return false;
    return ok;
}

bool ColorImage::writePPM(const char *name, const char *comment) const {
    FILE *file = std::fopen(name, "wb");
    if (file == nullptr)
        return false;
    bool ok = std::fputs("P6\n", file) >= 0;
    if (ok && comment != nullptr)
        ok = writeCommentLines(file, "# ", comment);
    if (ok)
        ok = std::fprintf(file, "%d %d\n255\n", width, height) > 0;
    std::vector<unsigned char> row((size_t)width * 3 + 4);
    for (int y = height - 1; ok && y >= 0; y--) {
        const uint32_t *source = pixels + (long long)y * width;
        unsigned char *rgb = row.data();
        for (int x = 0; x < width; x++, rgb += 3) {
            rgb[0] = (unsigned char)(source[x] & 0xFF);
            rgb[1] = (unsigned char)((source[x] >> 8) & 0xFF);
            rgb[2] = (unsigned char)((source[x] >> 16) & 0xFF);
        }
        ok = std::fwrite(row.data(), 1, (size_t)width * 3, file) == (size_t)width * 3;
    }
    return finish(file, ok);
}

bool ColorImage::writeFB(const char *name, const char *comment) const {
    FILE *file = std::fopen(name, "wb");
    if (file == nullptr)
        return false;
    bool ok = std::fputs("FB\n", file) >= 0;
    if (ok)
        ok = comment != nullptr ? writeCommentLines(file, "// ", comment)
                                : std::fputs("// Frame Buffer\n", file) >= 0;
    if (ok)
        ok = std::fprintf(file, "%d %d\n", width, height) > 0;
    std::vector<unsigned char> row((size_t)width * 4);
    for (int y = 0; ok && y < height; y++) {
        const uint32_t *source = pixels + (long long)y * width;
        for (int x = 0; x < width; x++)
            wordToBytes(source[x], &row[(size_t)x * 4]);
        ok = std::fwrite(row.data(), 1, row.size(), file) == row.size();
    }
    return finish(file, ok);
}

bool ColorImage::writeFBRLE(const char *name, const char *comment) const {
    FILE *file = std::fopen(name, "wb");
    if (file == nullptr)
        return false;
    bool ok = std::fputs("FBRLE\n", file) >= 0;
    if (ok)
        ok = comment != nullptr ? writeCommentLines(file, "// ", comment)
                                : std::fputs("//\n", file) >= 0;
    if (ok)
        ok = std::fprintf(file, "%d %d\n", width, height) > 0;

    // Greedy runs of equal colour (alpha ignored), at most 255 pixels each,
    // crossing rows; written in blocks of words.
    const size_t blockWords = 1024;
    unsigned char block[blockWords * 4];
    size_t filled = 0;
    long long count = (long long)width * height;
    long long start = 0;
    while (ok && start < count) {
        uint32_t color = pixels[start] & 0x00FFFFFF;
        long long end = start + 1;
        while (end < count && end - start < 255 && (pixels[end] & 0x00FFFFFF) == color)
            end++;
        wordToBytes(color | ((uint32_t)(end - start) << 24), block + filled * 4);
        filled++;
        start = end;
        if (filled == blockWords || start == count) {
            ok = std::fwrite(block, 4, filled, file) == filled;
            filled = 0;
        }
    }
    return finish(file, ok);
}
