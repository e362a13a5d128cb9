// PixelPatterns: the path tracer's 20 sub-pixel sample patterns. Each pattern
// is a Latin hypercube of n points in [0, 1]^2 (every one of the n columns and
// every one of the n rows of the unit square holds exactly one point) listed
// in random order. The sizes scatter around the requested sample count the way
// a jittered g x g grid clipped to the inscribed disc does, with
// g = max(1, trunc(sqrt(1.3 * samplesPerPixel))).
//
// Built once per render, then read per pixel without allocation. Every draw
// comes from the one random stream, in this order: the 20 sizes (u then u' per
// grid point, p outer, q inner), then per pattern the n offset pairs (x draw
// first), the shuffle of the x values and the shuffle of the points (each a
// uniform permutation: n - 1 uniformIndex draws).
#pragma once

#include <vector>

class PixelPatterns {
public:
    static constexpr int patternCount = 20;
    // Grid side limit: about a million points per pattern keeps a huge
    // samplesPerPixel from a scene file from exhausting memory.
    static constexpr int maxGridSide = 1140;

    PixelPatterns();

    // Replaces all 20 patterns.
    void build(int samplesPerPixel);

    // Grid side g used by the last build (1 for zero or negative counts).
    int gridSide() const { return side; }
    // Number of points n_i of pattern i (at least 1 once built, 0 before).
    int size(int pattern) const { return sizes[pattern]; }
    // Offset (x_k, y_k) of point k of pattern i, both in [0, 1].
    float offsetX(int pattern, int k) const { return points[2 * (starts[pattern] + k)]; }
    float offsetY(int pattern, int k) const { return points[2 * (starts[pattern] + k) + 1]; }

    // Grid side for a sample count: max(1, trunc(sqrt(1.3 * count))), capped.
    static int gridSideFor(int samplesPerPixel);

private:
    int side;
    int sizes[patternCount];
    long long starts[patternCount];
    std::vector<float> points;  // x, y pairs of all patterns, pattern 0 first

    static int jitteredDiscCount(int gridSide);
};
