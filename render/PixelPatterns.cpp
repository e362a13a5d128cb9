#include "render/PixelPatterns.h"

#include <cmath>
#include <utility>

#include "foundation/Random.h"

PixelPatterns::PixelPatterns() : side(0) {
    for (int i = 0; i < patternCount; i++) {
        sizes[i] = 0;
        starts[i] = 0;
    }
}

int PixelPatterns::gridSideFor(int samplesPerPixel) {
    // Zero or negative counts (and the square root of a negative) give 1.
    double root = samplesPerPixel > 0 ? std::sqrt(1.3 * (double)samplesPerPixel) : 0.0;
    int g = (int)root;
    if (g < 1) g = 1;
    if (g > maxGridSide) g = maxGridSide;
    return g;
}

int PixelPatterns::jitteredDiscCount(int gridSide) {
    int count = 0;
    for (int p = 0; p < gridSide; p++)
        for (int q = 0; q < gridSide; q++) {
            float a = 2.0f * ((float)p + uniform01()) / (float)gridSide - 1.0f;
            float b = 2.0f * ((float)q + uniform01()) / (float)gridSide - 1.0f;
            if (a * a + b * b <= 1.0f) count++;
        }
    return count > 0 ? count : 1;
}

void PixelPatterns::build(int samplesPerPixel) {
    side = gridSideFor(samplesPerPixel);
    long long total = 0;
    for (int i = 0; i < patternCount; i++) {
        sizes[i] = jitteredDiscCount(side);
        starts[i] = total;
        total += sizes[i];
    }
    points.assign((size_t)(2 * total), 0.0f);

    for (int i = 0; i < patternCount; i++) {
        const int n = sizes[i];
        float* pattern = &points[(size_t)(2 * starts[i])];
        // One point per stratum on both axes, x and y jittered independently.
        for (int k = 0; k < n; k++) {
            pattern[2 * k] = ((float)k + uniform01()) / (float)n;
            pattern[2 * k + 1] = ((float)k + uniform01()) / (float)n;
        }
        // Shuffling the x values pairs the strata up at random. Swapping each
        // entry with any entry (rather than with one not yet placed) would
        // make some pairings likelier than others, and edge pixels would be
        // covered unevenly.
        for (int k = n - 1; k > 0; k--) std::swap(pattern[2 * k], pattern[2 * uniformIndex(k + 1)]);
        // The same shuffle on whole points puts them in random order.
        for (int k = n - 1; k > 0; k--) {
            int other = uniformIndex(k + 1);
            std::swap(pattern[2 * k], pattern[2 * other]);
            std::swap(pattern[2 * k + 1], pattern[2 * other + 1]);
        }
    }
}
