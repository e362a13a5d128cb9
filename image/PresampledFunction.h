// PresampledFunction: a one-dimensional function tabulated over [0, range] as
// count - 1 linear pieces, evaluated with one multiply for the index and one
// multiply-add for the value. The point cloud builds its field and colour
// kernels as functions of the squared distance this way.
#pragma once

#include "foundation/GObject.h"

// Entries of the point cloud's tables over squared distance.
const int radialTableEntries = 128;

class PresampledFunction : public GObject {
public:
    float range;        // x_max: the function is 0 beyond it
    int count;          // n: number of samples
    float step;         // (n - 1) / x_max: samples per unit of x
    float* slopes;      // n entries
    float* intercepts;  // n entries; piece i is intercepts[i] + slopes[i] * x

    // A constant 0 over range 1, with 2 samples.
    PresampledFunction();
    PresampledFunction(const PresampledFunction& other);
    PresampledFunction& operator=(const PresampledFunction& other);
    ~PresampledFunction() override;

    bool isKindOf(int id) const override {
        return id == ClassId::PresampledFunction || GObject::isKindOf(id);
    }
    int typeId() const override { return ClassId::PresampledFunction; }
    // "PresampledFunction@<address>"
    const char* toString() const override;

    // Tabulates n samples s_0 .. s_{n-1} at x = i * xMax / (n - 1): slope_i =
    // (s_{i+1} - s_i) * step, intercept_i = s_i - i * slope_i / step; the last
    // entry repeats the one before. One sample gives a constant. False (and
    // nothing changes) unless n >= 1, xMax > 0 and finite, samples given.
    bool set(float xMax, int n, const float* samples);
    // The piece of x's interval at x; 0 outside [0, range] (and for NaN).
    float evaluate(float x) const {
        if (!(x >= 0.0f && x <= range)) return 0.0f;
        int i = (int)(x * step);
        if (i > count - 1) i = count - 1;
        return intercepts[i] + slopes[i] * x;
    }
    float support() const { return range; }

    // The point cloud's table: samples of f at n equally spaced distances over
    // [0, radius] (f linear between them), tabulated as g(d2) = f(sqrt(d2))
    // with entries samples over the squared distances [0, radius^2]. Same
    // refusals as set.
    bool setFromRadialSamples(float radius, int n, const float* samples,
                              int entries = radialTableEntries);

private:
    void adopt(float* newSlopes, float* newIntercepts, float xMax, int n);
};
