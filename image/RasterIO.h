// Small helpers shared by the readers and writers of the 16-bit height files
// and the float point-image files: the size line of a header and byte-order
// independent little- and big-endian samples, so the files are the same on
// every host.
#pragma once

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>

// "%d%d" on a header line, without the undefined behaviour of scanf on huge
// numbers: values beyond the int range saturate, a missing number is -1.
// Returns how many numbers were found.
inline int scanSizeLine(const char* line, int& first, int& second) {
    long long values[2] = {-1, -1};
    int found = 0;
    const char* cursor = line;
    while (found < 2) {
        char* end = nullptr;
        errno = 0;
        long long v = std::strtoll(cursor, &end, 10);
        if (end == cursor) break;
        if (v > INT_MAX) v = INT_MAX;
        if (v < INT_MIN) v = INT_MIN;
        values[found++] = v;
        cursor = end;
    }
    first = (int)values[0];
    second = (int)values[1];
    return found;
}

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

// IEEE single precision, bit for bit (NaN payloads included).
inline void storeLittleFloat(uint8_t* out, float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, 4);
    out[0] = (uint8_t)(bits & 0xFF);
    out[1] = (uint8_t)((bits >> 8) & 0xFF);
    out[2] = (uint8_t)((bits >> 16) & 0xFF);
    out[3] = (uint8_t)(bits >> 24);
}

inline float loadLittleFloat(const uint8_t* in) {
    uint32_t bits = (uint32_t)in[0] | ((uint32_t)in[1] << 8) | ((uint32_t)in[2] << 16) |
                    ((uint32_t)in[3] << 24);
    float value;
    std::memcpy(&value, &bits, 4);
    return value;
}
