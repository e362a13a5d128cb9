// Small helpers shared by the readers and writers of the binary image files:
// byte-order independent little- and big-endian samples, so the files are the
// same on every host, and the loops that stage whole rows between the file
// and the pixels.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "image/ImageFile.h"

inline void storeLittle16(uint8_t* out, int16_t value) {
    uint16_t bits = (uint16_t)value;
    out[0] = (uint8_t)(bits & 0xFF);
    out[1] = (uint8_t)(bits >> 8);
}

inline int16_t loadLittle16(const uint8_t* in) {
    return (int16_t)(uint16_t)(in[0] | (in[1] << 8));
}

inline int16_t loadBig16(const uint8_t* in) {
    return (int16_t)(uint16_t)((in[0] << 8) | in[1]);
}

inline void storeLittle32(uint8_t* out, uint32_t value) {
    out[0] = (uint8_t)(value & 0xFF);
    out[1] = (uint8_t)((value >> 8) & 0xFF);
    out[2] = (uint8_t)((value >> 16) & 0xFF);
    out[3] = (uint8_t)(value >> 24);
}

inline uint32_t loadLittle32(const uint8_t* in) {
    return (uint32_t)in[0] | ((uint32_t)in[1] << 8) | ((uint32_t)in[2] << 16) |
           ((uint32_t)in[3] << 24);
}

// IEEE single precision, bit for bit (NaN payloads included).
inline void storeLittleFloat(uint8_t* out, float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, 4);
    storeLittle32(out, bits);
}

inline float loadLittleFloat(const uint8_t* in) {
    uint32_t bits = loadLittle32(in);
    float value;
    std::memcpy(&value, &bits, 4);
    return value;
}

// Reads height rows of width pixels (row 0 first, bytesPerPixel bytes per
// pixel in the file) into pixels, which holds width * height; decode(bytes)
// gives a pixel. False when the file ends early; the rows before stay read.
template <class Pixel, class Decode>
bool readPixelRows(ImageFileReader& reader, Pixel* pixels, int width, int height,
                   int bytesPerPixel, Decode decode) {
    std::vector<uint8_t> row((size_t)width * bytesPerPixel);
    for (int y = 0; y < height; y++) {
        if (!reader.readBytes(row.data(), row.size())) return false;
        Pixel* target = pixels + (long long)y * width;
        for (int x = 0; x < width; x++) target[x] = decode(&row[(size_t)x * bytesPerPixel]);
    }
    return true;
}

// Which row a file holds first.
enum class RowOrder { bottomFirst, topFirst };

// Writes the height rows of width pixels (nothing for null pixels);
// encode(bytes, pixel) fills the pixel's bytesPerPixel bytes, as the store
// functions above do. Stops at the first failed write.
template <class Pixel, class Encode>
void writePixelRows(ImageFileWriter& writer, const Pixel* pixels, int width, int height,
                    int bytesPerPixel, RowOrder order, Encode encode) {
    if (pixels == nullptr) return;
    std::vector<uint8_t> row((size_t)width * bytesPerPixel);
    for (int i = 0; writer.good() && i < height; i++) {
        int y = order == RowOrder::topFirst ? height - 1 - i : i;
        const Pixel* source = pixels + (long long)y * width;
        for (int x = 0; x < width; x++) encode(&row[(size_t)x * bytesPerPixel], source[x]);
        writer.bytes(row.data(), row.size());
    }
}
