// Packed colour pixels and texture-coordinate helpers shared by the images and
// the renderers. A colour pixel is one 32-bit word: red in bits 0-7, green in
// 8-15, blue in 16-23 and a fourth byte (alpha, or the FBRLE run length) in
// 24-31, so its little-endian bytes are R, G, B, A as GL's RGBA transfers expect.
// Everything here is inline value code for the per-pixel loops.
#pragma once

#include <cstdint>

#include "foundation/HPoint.h"

// r | g << 8 | b << 16 | a << 24; the arguments are expected in 0 .. 255.
inline uint32_t packPixel(uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
    return r | (g << 8) | (b << 16) | (a << 24);
}

// Truncation of a float to int that is defined for every input: NaN gives 0,
// values beyond the int range saturate.
inline int truncateToInt(float v) {
    if (!(v == v))
        return 0;
    if (v >= 2147483520.0f)
        return 2147483647;
    if (v <= -2147483648.0f)
        return -2147483647 - 1;
    return (int)v;
}

// v truncated and clamped to 0 .. 255 (NaN gives 0).
inline uint32_t clampToByte(float v) {
    if (!(v > 0.0f))
        return 0;
    if (v >= 255.0f)
        return 255;
    return (uint32_t)v;
}

// Each channel times 255, truncated, not clamped. Only the low byte of each
// channel is kept, so an out-of-range channel cannot spill into its neighbour.
inline uint32_t packColor(float r, float g, float b, float a) {
    return packPixel(
        (uint32_t)truncateToInt(r * 255.0f) & 0xFF, (uint32_t)truncateToInt(g * 255.0f) & 0xFF,
        (uint32_t)truncateToInt(b * 255.0f) & 0xFF, (uint32_t)truncateToInt(a * 255.0f) & 0xFF);
}

inline void unpackPixel(uint32_t p, int &r, int &g, int &b, int &a) {
    r = (int)(p & 0xFF);
    g = (int)((p >> 8) & 0xFF);
    b = (int)((p >> 16) & 0xFF);
    a = (int)(p >> 24);
}

// (red, green, blue) / 255 with w = 0; the top byte is ignored.
inline HPoint pixelToColor(uint32_t p) {
    return HPoint((float)(p & 0xFF) / 255.0f, (float)((p >> 8) & 0xFF) / 255.0f,
                  (float)((p >> 16) & 0xFF) / 255.0f, 0.0f);
}

// How every renderer stores a colour: x, y, z and w each times 255, clamped to
// 0 .. 255 and truncated. A colour with w = 0 gets alpha 0, w = 1 alpha 255.
inline uint32_t colorToPixel(const HPoint &c) {
    return packPixel(clampToByte(c.x * 255.0f), clampToByte(c.y * 255.0f),
                     clampToByte(c.z * 255.0f), clampToByte(c.w * 255.0f));
}

// Per-channel mean rounded up, four channels at once without carries.
inline uint32_t averagePixels(uint32_t a, uint32_t b) {
    return ((a >> 1) & 0x7F7F7F7Fu) + ((b >> 1) & 0x7F7F7F7Fu) + ((a | b) & 0x01010101u);
}

inline uint32_t averageFourPixels(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
    return averagePixels(averagePixels(a, b), averagePixels(c, d));
}

// Sum over the four bytes of the squared difference.
inline int pixelDistanceSquared(uint32_t a, uint32_t b) {
    int sum = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        int d = (int)((a >> shift) & 0xFF) - (int)((b >> shift) & 0xFF);
        sum += d * d;
    }
    return sum;
}

// Sum over the four bytes of the absolute difference.
inline int pixelDistance(uint32_t a, uint32_t b) {
    int sum = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        int d = (int)((a >> shift) & 0xFF) - (int)((b >> shift) & 0xFF);
        sum += d < 0 ? -d : d;
    }
    return sum;
}

// Gray bytes: means rounded down.
inline uint8_t averageBytes(uint8_t a, uint8_t b) {
    return (uint8_t)((a + b) >> 1);
}
inline uint8_t averageFourBytes(uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
    return (uint8_t)((a + b + c + d) >> 2);
}

// Single-precision factor that keeps a wrapped index below the size.
const float wrapShrink = 0.99999f;

// Fractional part of u for wrapping textures: u - trunc(u), plus 1 when
// negative. That is in [0, 1], 1 only when a tiny negative fraction rounds up.
// NaN and infinities give 0.
inline float wrapFraction(float u) {
    float f = u - std::trunc(u);
    if (f < 0.0f)
        f += 1.0f;
    if (!(f >= 0.0f && f <= 1.0f))
        f = 0.0f;
    return f;
}

// u clamped to [0, 0.99999] for clamping textures (NaN gives 0).
inline float clampCoordinate(float u) {
    if (!(u > 0.0f))
        return 0.0f;
    return u < wrapShrink ? u : wrapShrink;
}

// Texture coordinate to pixel index in 0 .. size - 1 (size >= 1).
// wrap: trunc(size * frac(u) * 0.99999); clamp: trunc(size * clamp(u, 0, 0.99999)).
inline int wrapCoordinate(float u, int size, bool wrap) {
    float scaled =
        wrap ? (float)size * wrapFraction(u) * wrapShrink : (float)size * clampCoordinate(u);
    int index = (int)scaled;
    if (index >= size)
        index = size - 1; // float rounding of very large sizes
    if (index < 0)
        index = 0;
    return index;
}
