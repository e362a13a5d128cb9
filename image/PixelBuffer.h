// Storage, region and sampling helpers shared by the image classes, written
// once for any pixel type. Callers have validated sizes (validImageSize) first.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "foundation/FatalExit.h"
#include "foundation/HPoint.h"
#include "image/PixelFunctions.h"

// Uninitialised storage for count pixels; running out of memory ends the
// process, as everywhere in the program.
template <class T> T *allocatePixels(long long count) {
    T *buffer = static_cast<T *>(std::malloc((size_t)(count > 0 ? count : 1) * sizeof(T)));
    if (buffer == nullptr) {
        std::fprintf(stderr, "out of memory\n");
        fatalExit(1);
    }
    return buffer;
}

// Copies the part of source whose lower-left corner is (x0, y0), clipped to
// source, into target; target pixels outside the overlap are left alone.
template <class T>
void copyRegion(T *target, int targetWidth, int targetHeight, const T *source, int sourceWidth,
                int sourceHeight, int x0, int y0) {
    if (target == nullptr || source == nullptr)
        return;
    long long yBegin = y0 > 0 ? y0 : 0;
    long long yEnd = (long long)y0 + targetHeight;
    if (yEnd > sourceHeight)
        yEnd = sourceHeight;
    long long xBegin = x0 > 0 ? x0 : 0;
    long long xEnd = (long long)x0 + targetWidth;
    if (xEnd > sourceWidth)
        xEnd = sourceWidth;
    if (xBegin >= xEnd)
        return;
    for (long long y = yBegin; y < yEnd; y++) {
        std::memcpy(target + (y - y0) * targetWidth + (xBegin - x0),
                    source + y * sourceWidth + xBegin, (size_t)(xEnd - xBegin) * sizeof(T));
    }
}

// Size of the halved image: 1 x 1 stays, a single row or column halves along
// its length, anything else halves both ways.
inline void halvedSize(int width, int height, int &outWidth, int &outHeight) {
    if (width == 1 && height == 1) {
        outWidth = outHeight = 1;
    } else if (width == 1) {
        outWidth = 1;
        outHeight = height / 2;
    } else if (height == 1) {
        outWidth = width / 2;
        outHeight = 1;
    } else {
        outWidth = width / 2;
        outHeight = height / 2;
    }
}

// target (already sized by halvedSize) from source; pair averages a and b,
// quad averages the corners (2x, 2y), (2x+1, 2y), (2x+1, 2y+1), (2x, 2y+1).
template <class T, class Pair, class Quad>
void halvePixels(T *target, const T *source, int width, int height, Pair pair, Quad quad) {
    if (width == 1 && height == 1) {
        target[0] = source[0];
    } else if (width == 1) {
        for (int y = 0; y < height / 2; y++)
            target[y] = pair(source[2 * y], source[2 * y + 1]);
    } else if (height == 1) {
        for (int x = 0; x < width / 2; x++)
            target[x] = pair(source[2 * x], source[2 * x + 1]);
    } else {
        int halfWidth = width / 2;
        for (int y = 0; y < height / 2; y++) {
            const T *lower = source + (long long)(2 * y) * width;
            const T *upper = lower + width;
            T *out = target + (long long)y * halfWidth;
            for (int x = 0; x < halfWidth; x++)
                out[x] = quad(lower[2 * x], lower[2 * x + 1], upper[2 * x + 1], upper[2 * x]);
        }
    }
}

// target (2 width x 2 height) with every source pixel as a 2 x 2 block.
template <class T> void doublePixels(T *target, const T *source, int width, int height) {
    long long targetWidth = 2LL * width;
    for (int y = 0; y < height; y++) {
        T *lower = target + 2LL * y * targetWidth;
        T *upper = lower + targetWidth;
        const T *row = source + (long long)y * width;
        for (int x = 0; x < width; x++) {
            lower[2 * x] = lower[2 * x + 1] = row[x];
            upper[2 * x] = upper[2 * x + 1] = row[x];
        }
    }
}

// Smallest and largest value(pixel) over count pixels (compared with <, the
// first pixel included as it is); 0 and 0 when there are none.
template <class T, class Value>
void pixelValueRange(const T *pixels, long long count, Value value, float &minValue,
                     float &maxValue) {
    if (pixels == nullptr || count <= 0) {
        minValue = maxValue = 0.0f;
        return;
    }
    auto lowest = value(pixels[0]);
    auto highest = lowest;
    for (long long i = 1; i < count; i++) {
        auto v = value(pixels[i]);
        if (v < lowest)
            lowest = v;
        if (v > highest)
            highest = v;
    }
    minValue = (float)lowest;
    maxValue = (float)highest;
}

template <class T>
void pixelValueRange(const T *pixels, long long count, float &minValue, float &maxValue) {
    pixelValueRange(
        pixels, count, [](T v) { return v; }, minValue, maxValue);
}

// The pixel nearest to texture coordinates uv (see wrapCoordinate) of a
// width x rows image; pixels must not be null.
template <class T>
T nearestPixel(const T *pixels, int width, int rows, const HPoint &uv, bool wrapU, bool wrapV) {
    int x = wrapCoordinate(uv.x, width, wrapU);
    int y = wrapCoordinate(uv.y, rows, wrapV);
    return pixels[x + (long long)y * width];
}

// Bilinear interpolation of a scalar image at texture coordinates uv: the
// continuous pixel coordinate is size * frac(u) when wrapping (no 0.99999
// factor) and size * clamp(u, 0, 0.99999) otherwise; the neighbour beyond the
// last row or column is that row or column again. pixels must not be null.
template <class T>
float bilinearScalar(const T *pixels, int width, int rows, const HPoint &uv, bool wrapU,
                     bool wrapV) {
    float u = (float)width * (wrapU ? wrapFraction(uv.x) : clampCoordinate(uv.x));
    float v = (float)rows * (wrapV ? wrapFraction(uv.y) : clampCoordinate(uv.y));
    int i = (int)u, j = (int)v;
    if (i > width - 1)
        i = width - 1;
    if (j > rows - 1)
        j = rows - 1;
    int i1 = i + 1 < width ? i + 1 : width - 1;
    int j1 = j + 1 < rows ? j + 1 : rows - 1;
    float fu = u - (float)i, fv = v - (float)j;
    const T *lower = pixels + (long long)j * width;
    const T *upper = pixels + (long long)j1 * width;
    return (1.0f - fv) * ((1.0f - fu) * lower[i] + fu * lower[i1]) +
           fv * ((1.0f - fu) * upper[i] + fu * upper[i1]);
}
