// Safe file access for the image readers and writers: header lines into a
// fixed buffer that cannot overflow, the bytes left in the file (so that an
// announced size is checked before anything is allocated), exact binary reads,
// text integers with netpbm comments, the netpbm header, and a writer that
// carries the first failure through to its result.
#pragma once

#include <cstddef>
#include <cstdio>

// Header lines keep at most 255 characters; the rest of a longer line is
// read and dropped, so it cannot pose as the next line.
const int imageLineCapacity = 256;

class ImageFileReader {
public:
    ImageFileReader() : file(nullptr), fileSize(0) {}
    ~ImageFileReader() { close(); }
    ImageFileReader(const ImageFileReader &) = delete;
    ImageFileReader &operator=(const ImageFileReader &) = delete;

    // Opens in binary mode; false when the file cannot be opened (silently)
    // or is no regular file (with the message of openInputFile).
    bool open(const char *name);
    // Opens and reads the first line (the magic) into magicLine (see
    // readLine); false when either fails.
    bool open(const char *name, char *magicLine);
    void close();

    // Reads up to and including the next line feed (not stored) into line
    // (NUL-terminated, at most capacity - 1 characters kept). False only at
    // end of file with nothing read.
    bool readLine(char *line, int capacity = imageLineCapacity);
    // Reads lines until one does not begin with one of the characters in
    // skipFirst (lines that are empty or blank are skipped as well when
    // skipBlank is set). False at end of file.
    bool readLineSkipping(char *line, const char *skipFirst, bool skipBlank);

    // Bytes from the current position to the end of the file.
    long long remaining() const;
    // Exactly n bytes, or false.
    bool readBytes(void *destination, size_t n);
    bool skipBytes(long long n);
    // Next character or EOF.
    int readChar();

    // A decimal integer in netpbm text data: skips white space and '#'
    // comments (to the end of their line), an optional sign, then digits.
    // Values beyond +-2^31 saturate. False at end of file or at anything that
    // is not a number.
    bool readInt(long long &value);

    FILE *handle() { return file; }

private:
    FILE *file;
    long long fileSize;
};

// The first line of file name (its magic), for readers that choose by it;
// false when the file cannot be opened or is empty.
bool readFirstLine(const char *name, char *line, int capacity = imageLineCapacity);

// The header of a netpbm file: the magic line, then (skipping comment and
// blank lines) "width height" on one line and the maximum value on the next
// (or as a third number on the size line). The size line may also be the rest
// of the magic line. A missing width or height is -1.
struct NetpbmHeader {
    int width;
    int height;
    int maxValue;
    // Bytes per sample in the binary forms: 1 for maxValue <= 255, else 2.
    int sampleBytes() const { return maxValue > 255 ? 2 : 1; }
};

// True when line begins with the netpbm magic ("P6" etc.), its letter in
// either case.
bool hasNetpbmMagic(const char *line, const char *magic);

// Reads the header after checking that the first line begins with magic
// ("P6" etc.) in either case. False for a wrong magic, a missing size line, or
// a maximum value outside 1 .. 65535. Width and height are not validated here.
bool readNetpbmHeader(ImageFileReader &reader, const char *magic, NetpbmHeader &header);

// For rows first .. last - 1 (counted from the bottom) of a binary netpbm
// image of channels samples per pixel, right after its header: checks that
// the band lies inside the image, makes a valid image size, and is in the
// file with the rows above it (files store the top row first), then skips
// those rows so that the next row read is the band's top row.
bool seekNetpbmBand(ImageFileReader &reader, const NetpbmHeader &header, int channels, int first,
                    int last);

// A sample of a netpbm file as a byte: values up to 255 are kept as they are
// (low byte), larger maxima are scaled down to 0 .. 255.
inline unsigned sampleToByte(long long value, int maxValue) {
    if (maxValue > 255) {
        if (value < 0)
            value = 0;
        if (value > maxValue)
            value = maxValue;
        return (unsigned)(value * 255 / maxValue);
    }
    return (unsigned)(value & 0xFF);
}

// Up to maxCount integers from the start of a text line, as "%d%d" would
// scan them; numbers beyond the int range saturate. Returns how many were found.
int scanInts(const char *line, long long *out, int maxCount);

// True when the first characters of line are prefix (case-sensitive).
bool lineStartsWith(const char *line, const char *prefix);

// "width height" at the start of a header line: true when both numbers are
// there and make a valid image size, or (with allowEmpty) are both 0.
bool parseImageSize(const char *line, bool allowEmpty, int &width, int &height);

// Writes a comment after prefix ("# ", "// "), one header line per line of
// the comment so that a line feed inside it cannot end the header early.
bool writeCommentLines(FILE *file, const char *prefix, const char *comment);

// One row of samples of a binary netpbm file as bytes: reads count samples
// (1 or 2 bytes each, as the header says) and converts them with sampleToByte
// into out. staging must hold 2 * count bytes when the samples are 2 bytes.
bool readSampleRow(ImageFileReader &reader, const NetpbmHeader &header, long long count,
                   unsigned char *out, unsigned char *staging);

// The header lines of an image file: the magic line; the comment, one line
// per line of it with commentPrefix ("# ", "// ") before each, or when there
// is no comment defaultComment as it stands (null: nothing); "width height";
// and the maximum value on a line of its own when maxValue is above 0.
struct ImageFileHeader {
    const char *magic;
    const char *commentPrefix;
    const char *defaultComment;
    int maxValue;
};

// Writes an image file step by step. Every step after the first failure
// (opening included) does nothing, and close answers whether every step and
// the closing itself worked, so a writer reads as its file format.
class ImageFileWriter {
public:
    // Creates (or truncates) name in binary mode and writes the header;
    // comment null means the format's default.
    ImageFileWriter(const char *name, const ImageFileHeader &header, const char *comment, int width,
                    int height);
    ~ImageFileWriter() { close(); }
    ImageFileWriter(const ImageFileWriter &) = delete;
    ImageFileWriter &operator=(const ImageFileWriter &) = delete;

    void bytes(const void *data, size_t n);
    bool good() const { return ok; }
    // Closes the file; true when everything was written.
    bool close();

private:
    FILE *file;
    bool ok;
};
