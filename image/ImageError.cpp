#include "image/ImageError.h"

#include <cmath>
#include <cstdio>
#include <limits>

#include "image/ColorImage.h"
#include "image/HPointImage.h"
#include "image/PixelFunctions.h"

static double relativeSquaredError(double x, double r) {
    return (x - r) * (x - r) / (r * r + 0.01);
}

bool compareImages(const HPointImage& result, const HPointImage& reference,
                   ImageErrorRecord& record) {
    if (!result.pixels || !reference.pixels || result.width != reference.width ||
        result.height != reference.height)
        return false;
    const long long count = (long long)result.width * result.height;
    double squared = 0.0, relative = 0.0, sum = 0.0, referenceSum = 0.0;
    for (long long i = 0; i < count; i++) {
        const HPoint& x = result.pixels[i];
        const HPoint& r = reference.pixels[i];
        const double values[3] = {x.x, x.y, x.z}, references[3] = {r.x, r.y, r.z};
        for (int c = 0; c < 3; c++) {
            const double d = values[c] - references[c];
            squared += d * d;
            relative += relativeSquaredError(values[c], references[c]);
            sum += values[c];
            referenceSum += references[c];
        }
    }
    const double n = 3.0 * (double)count;
    record.mse = squared / n;
    record.relativeMse = relative / n;
    record.mean = sum / n;
    record.referenceMean = referenceSum / n;
    return true;
}

double efficiency(double mse, double seconds) {
    const double product = mse * seconds;
    return product > 0.0 ? 1.0 / product : std::numeric_limits<double>::infinity();
}

std::string errorFigureText(double value) {
    if (std::isinf(value))
        return value > 0 ? "inf" : "-inf";
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}

// Black, blue, red, yellow, white at 0, 1/4, 1/2, 3/4, 1.
static HPoint falseColour(double t) {
    static const float stops[5][3] = {{0, 0, 0}, {0, 0, 1}, {1, 0, 0}, {1, 1, 0}, {1, 1, 1}};
    if (!(t > 0.0))
        t = 0.0;
    if (t > 1.0)
        t = 1.0;
    const double position = t * 4.0;
    int k = (int)position;
    if (k > 3)
        k = 3;
    const float f = (float)(position - k);
    return HPoint(stops[k][0] + f * (stops[k + 1][0] - stops[k][0]),
                  stops[k][1] + f * (stops[k + 1][1] - stops[k][1]),
                  stops[k][2] + f * (stops[k + 1][2] - stops[k][2]), 0.0f);
}

bool writeRelativeErrorImage(const HPointImage& result, const HPointImage& reference,
                             const char* fileName) {
    ImageErrorRecord record;
    if (!compareImages(result, reference, record))
        return false;
    const long long count = (long long)result.width * result.height;
    HPointImage errors(result.width, result.height);
    double largest = 0.0;
    for (long long i = 0; i < count; i++) {
        const HPoint& x = result.pixels[i];
        const HPoint& r = reference.pixels[i];
        const double e = (relativeSquaredError(x.x, r.x) + relativeSquaredError(x.y, r.y) +
                          relativeSquaredError(x.z, r.z)) /
                         3.0;
        errors.pixels[i].x = (float)e;
        if (e > largest)
            largest = e;
    }
    ColorImage picture;
    if (!picture.resize(result.width, result.height))
        return false;
    for (long long i = 0; i < count; i++) {
        // Rounded rather than truncated, so that the stops come out exact.
        HPoint c = falseColour(largest > 0.0 ? errors.pixels[i].x / largest : 0.0);
        picture.pixels[i] =
            packPixel((uint32_t)std::lround(c.x * 255.0f), (uint32_t)std::lround(c.y * 255.0f),
                      (uint32_t)std::lround(c.z * 255.0f), 0);
    }
    return picture.writePPM(fileName, nullptr);
}
