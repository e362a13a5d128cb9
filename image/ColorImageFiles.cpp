// ColorImage readers and writers: PPM (P6, P3) and the frame-buffer formats
// FB and FBRLE. Every size a header announces is checked against the bytes
// left in the file before the image is resized.
#include "image/ColorImage.h"

#include <string>

#include "image/EncodedImageFiles.h"
#include "image/ImageFile.h"
#include "image/RasterIO.h"

static const ImageFileHeader ppmHeader = {"P6", "# ", nullptr, 255};
static const ImageFileHeader frameBufferHeader = {"FB", "// ", "// Frame Buffer\n", 0};
static const ImageFileHeader runLengthHeader = {"FBRLE", "// ", "//\n", 0};

bool ColorImage::readImage(const char *name) {
    char line[imageLineCapacity];
    if (!readFirstLine(name, line))
        return false;
    if (lineStartsWith(line, "FBRLE"))
        return readFBRLE(name);
    if (lineStartsWith(line, "FB"))
        return readFB(name);
    if (hasNetpbmMagic(line, "P6") || hasNetpbmMagic(line, "P3"))
        return readNetpbmByMagic(name, line, "P6", "P3");
    // PNG, JPEG and the other formats of other programs (silently, as here).
    std::string problem;
    return readEncodedImage(*this, name, problem);
}

// "FB"/"FBRLE" header after the magic line: comment lines ("/" or "#"), then
// "width height".
static bool readFrameBufferSize(ImageFileReader &reader, int &w, int &h) {
    char line[imageLineCapacity];
    return reader.readLineSkipping(line, "/#", true) && parseImageSize(line, false, w, h);
}

bool ColorImage::readFB(const char *name) {
    ImageFileReader reader;
    char line[imageLineCapacity];
    if (!reader.open(name, line))
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
    return readPixelRows(reader, pixels, width, height, 4, loadLittle32);
}

bool ColorImage::readFBRLE(const char *name) {
    ImageFileReader reader;
    char line[imageLineCapacity];
    if (!reader.open(name, line))
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
        uint8_t bytes[4];
        if (!reader.readBytes(bytes, 4))
            return false;
        uint32_t word = loadLittle32(bytes);
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

bool ColorImage::writePPM(const char *name, const char *comment) const {
    return writeNetpbm(name, ppmHeader, comment);
}

bool ColorImage::writeFB(const char *name, const char *comment) const {
    ImageFileWriter writer(name, frameBufferHeader, comment, width, height);
    writePixelRows(writer, pixels, width, height, 4, RowOrder::bottomFirst, storeLittle32);
    return writer.close();
}

bool ColorImage::writeFBRLE(const char *name, const char *comment) const {
    ImageFileWriter writer(name, runLengthHeader, comment, width, height);

    // Greedy runs of equal colour (alpha ignored), at most 255 pixels each,
    // crossing rows; written in blocks of words.
    const size_t blockWords = 1024;
    uint8_t block[blockWords * 4];
    size_t filled = 0;
    long long count = (long long)width * height;
    long long start = 0;
    while (writer.good() && start < count) {
        uint32_t color = pixels[start] & 0x00FFFFFF;
        long long end = start + 1;
        while (end < count && end - start < 255 && (pixels[end] & 0x00FFFFFF) == color)
            end++;
        storeLittle32(block + filled * 4, color | ((uint32_t)(end - start) << 24));
        filled++;
        start = end;
        if (filled == blockWords || start == count) {
            writer.bytes(block, filled * 4);
            filled = 0;
        }
    }
    return writer.close();
}
