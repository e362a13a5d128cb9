#include "image/ImageFile.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "foundation/InputFile.h"
#include "image/GImage.h"

bool ImageFileReader::open(const char *name) {
    close();
    if (name == nullptr)
        return false;
    file = openInputFile(name, "rb");
    if (file == nullptr)
        return false;
    // The size bounds every allocation a header may ask for (only regular
    // files are opened, so it is known).
    fileSize = 0;
    if (std::fseek(file, 0, SEEK_END) == 0) {
        long size = std::ftell(file);
        if (size > 0)
            fileSize = size;
    }
    if (std::fseek(file, 0, SEEK_SET) != 0)
        fileSize = 0;
    return true;
}

bool ImageFileReader::open(const char *name, char *magicLine) {
    return open(name) && readLine(magicLine);
}

bool readFirstLine(const char *name, char *line, int capacity) {
    ImageFileReader reader;
    return reader.open(name) && reader.readLine(line, capacity);
}

void ImageFileReader::close() {
    if (file != nullptr)
        std::fclose(file);
    file = nullptr;
    fileSize = 0;
}

bool ImageFileReader::readLine(char *line, int capacity) {
    int kept = 0;
    bool any = false;
    if (file == nullptr || capacity < 1)
        return false;
    for (;;) {
        int c = std::getc(file);
        if (c == EOF)
            break;
        any = true;
        if (c == '\n')
            break;
        if (kept < capacity - 1)
            line[kept++] = (char)c;
    }
    line[kept] = '\0';
    return any;
}

static bool isBlank(const char *line) {
    for (; *line; line++)
        if (*line != ' ' && *line != '\t' && *line != '\r' && *line != '\v' && *line != '\f')
            return false;
    return true;
}

bool ImageFileReader::readLineSkipping(char *line, const char *skipFirst, bool skipBlank) {
    for (;;) {
        if (!readLine(line))
            return false;
        if (line[0] != '\0' && std::strchr(skipFirst, line[0]) != nullptr)
            continue;
        if (skipBlank && isBlank(line))
            continue;
        return true;
    }
}

long long ImageFileReader::remaining() const {
    if (file == nullptr)
        return 0;
    long position = std::ftell(file);
    if (position < 0 || position > fileSize)
        return 0;
    return fileSize - position;
}

bool ImageFileReader::readBytes(void *destination, size_t n) {
    if (file == nullptr)
        return false;
    if (n == 0)
        return true;
    return std::fread(destination, 1, n, file) == n;
}

bool ImageFileReader::skipBytes(long long n) {
    if (file == nullptr || n < 0 || n > remaining())
        return false;
    return std::fseek(file, (long)n, SEEK_CUR) == 0;
}

int ImageFileReader::readChar() {
    return file == nullptr ? EOF : std::getc(file);
}

bool ImageFileReader::readInt(long long &value) {
    if (file == nullptr)
        return false;
    int c = std::getc(file);
    // White space and comments may stand between any two numbers.
    for (;;) {
        if (c == '#') {
            while (c != EOF && c != '\n')
                c = std::getc(file);
        } else if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f') {
            c = std::getc(file);
        } else {
            break;
        }
    }
    bool negative = false;
    if (c == '-' || c == '+') {
        negative = c == '-';
        c = std::getc(file);
    }
    if (c < '0' || c > '9')
        return false;
    long long magnitude = 0;
    while (c >= '0' && c <= '9') {
        if (magnitude < (1LL << 32))
            magnitude = magnitude * 10 + (c - '0');
        c = std::getc(file);
    }
    if (c != EOF)
        std::ungetc(c, file);
    if (magnitude > (1LL << 31))
        magnitude = 1LL << 31;
    value = negative ? -magnitude : magnitude;
    return true;
}

int scanInts(const char *line, long long *out, int maxCount) {
    int found = 0;
    const char *cursor = line;
    while (found < maxCount) {
        char *end = nullptr;
        errno = 0;
        long long v = std::strtoll(cursor, &end, 10);
        if (end == cursor)
            break;
        if (v > INT_MAX)
            v = INT_MAX;
        if (v < INT_MIN)
            v = INT_MIN;
        out[found++] = v;
        cursor = end;
    }
    return found;
}

bool lineStartsWith(const char *line, const char *prefix) {
    return std::strncmp(line, prefix, std::strlen(prefix)) == 0;
}

bool parseImageSize(const char *line, bool allowEmpty, int &width, int &height) {
    long long size[2];
    if (scanInts(line, size, 2) < 2)
        return false;
    width = (int)size[0];
    height = (int)size[1];
    if (allowEmpty && width == 0 && height == 0)
        return true;
    return validImageSize(width, height);
}

bool hasNetpbmMagic(const char *line, const char *magic) {
    return (line[0] == 'P' || line[0] == 'p') && line[1] == magic[1];
}

bool readNetpbmHeader(ImageFileReader &reader, const char *magic, NetpbmHeader &header) {
    char line[imageLineCapacity];
    header.width = -1;
    header.height = -1;
    header.maxValue = -1;
    if (!reader.readLine(line))
        return false;
    if (!hasNetpbmMagic(line, magic))
        return false;

    // The size may follow the magic on its own line ("P6 2 2 255").
    long long values[3];
    int count = scanInts(line + 2, values, 3);
    if (count == 0) {
        if (!reader.readLineSkipping(line, "#", true))
            return false;
        count = scanInts(line, values, 3);
    }
    if (count >= 1)
        header.width = (int)values[0];
    if (count >= 2)
        header.height = (int)values[1];
    long long maxValue = -1;
    if (count >= 3) {
        maxValue = values[2];
    } else {
        if (!reader.readLineSkipping(line, "#", true))
            return false;
        long long value;
        if (scanInts(line, &value, 1) == 1)
            maxValue = value;
    }
    if (maxValue < 1 || maxValue > 65535)
        return false;
    header.maxValue = (int)maxValue;
    return true;
}

bool writeCommentLines(FILE *file, const char *prefix, const char *comment) {
    const char *start = comment;
    for (;;) {
        const char *end = std::strchr(start, '\n');
        size_t length = end ? (size_t)(end - start) : std::strlen(start);
        if (std::fputs(prefix, file) < 0)
            return false;
        if (length > 0 && std::fwrite(start, 1, length, file) != length)
            return false;
        if (std::fputc('\n', file) == EOF)
            return false;
        if (end == nullptr || end[1] == '\0')
            return true;
        start = end + 1;
    }
}

bool readSampleRow(ImageFileReader &reader, const NetpbmHeader &header, long long count,
                   unsigned char *out, unsigned char *staging) {
    if (header.sampleBytes() == 1) {
        if (!reader.readBytes(out, (size_t)count))
            return false;
        // Values are taken as bytes; nothing to convert.
        return true;
    }
    if (!reader.readBytes(staging, (size_t)(2 * count)))
        return false;
    for (long long i = 0; i < count; i++) {
        long long value = ((long long)staging[2 * i] << 8) | staging[2 * i + 1]; // big-endian
        out[i] = (unsigned char)sampleToByte(value, header.maxValue);
    }
    return true;
}

bool seekNetpbmBand(ImageFileReader &reader, const NetpbmHeader &header, int channels, int first,
                    int last) {
    if (header.width < 0 || header.height < 0 || last > header.height)
        return false;
    if (first < 0 || first >= last)
        return false;
    if (!validImageSize(header.width, (long long)last - first))
        return false;
    long long rowBytes = (long long)channels * header.width * header.sampleBytes();
    // The band and the rows above it must be in the file; divided rather than
    // multiplied, as a huge announced height would overflow the product.
    if ((long long)header.height - first > reader.remaining() / rowBytes)
        return false;
    return reader.skipBytes(rowBytes * ((long long)header.height - last));
}

// ---- writing -------------------------------------------------------------------

ImageFileWriter::ImageFileWriter(const char *name, const ImageFileHeader &header,
                                 const char *comment, int width, int height)
    : file(name != nullptr ? std::fopen(name, "wb") : nullptr), ok(file != nullptr) {
    if (ok)
        ok = std::fputs(header.magic, file) >= 0 && std::fputc('\n', file) != EOF;
    if (ok && comment != nullptr && header.commentPrefix != nullptr)
        ok = writeCommentLines(file, header.commentPrefix, comment);
    else if (ok && comment == nullptr && header.defaultComment != nullptr)
        ok = std::fputs(header.defaultComment, file) >= 0;
    if (ok)
        ok = std::fprintf(file, "%d %d\n", width, height) > 0;
    if (ok && header.maxValue > 0)
        ok = std::fprintf(file, "%d\n", header.maxValue) > 0;
}

void ImageFileWriter::bytes(const void *data, size_t n) {
    if (ok && n > 0)
        ok = std::fwrite(data, 1, n, file) == n;
}

bool ImageFileWriter::close() {
    if (file == nullptr)
        return false;
    bool closed = std::fclose(file) == 0;
    file = nullptr;
    bool written = ok && closed;
    ok = false;
    return written;
}
