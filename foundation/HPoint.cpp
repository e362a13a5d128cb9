#include "foundation/HPoint.h"

#include <cstdio>

#include "foundation/GMatrix.h"
#include "foundation/Random.h"
#include "foundation/ScratchText.h"

static const int pointTextSize = 128;

void HPoint::jitter(float s) {
    // All three draws come first so the stream order does not depend on how
    // the compiler orders the additions.
    float t1 = uniform01();
    float t2 = uniform01();
    float t3 = uniform01();
    x += (2.0f * t1 - 1.0f) * s;
    y += (2.0f * t2 - 1.0f) * s;
    z += (2.0f * t3 - 1.0f) * s;
}

void HPoint::transform(const GMatrix& matrix) {
    const float* m = matrix.m;
    float px = x, py = y, pz = z;
    x = px * m[0] + py * m[4] + pz * m[8] + m[12];
    y = px * m[1] + py * m[5] + pz * m[9] + m[13];
    z = px * m[2] + py * m[6] + pz * m[10] + m[14];
    w = px * m[3] + py * m[7] + pz * m[11] + m[15];
}

const char* HPoint::toString() const {
    char* text = scratchText(pointTextSize);
    // Huge coordinates would need more than a slice; they are cut short.
    std::snprintf(text, pointTextSize, "( %0.5f %0.5f %0.5f  %0.5f )", x, y, z, w);
    return text;
}

const char* AxisBox::toString() const {
    // The corners take their own slices first, so this slice cannot overlap
    // them even when the area wraps in between.
    const char* low = min.toString();
    const char* high = max.toString();
    char* text = scratchText(pointTextSize);
    std::snprintf(text, pointTextSize, "%s-%s", low, high);
    return text;
}
