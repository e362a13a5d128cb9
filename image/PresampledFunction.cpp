#include "image/PresampledFunction.h"

#include <cmath>
#include <cstring>
#include <vector>

PresampledFunction::PresampledFunction()
    : range(0.0f), count(0), step(0.0f), slopes(nullptr), intercepts(nullptr) {
    const float zeros[2] = {0.0f, 0.0f};
    set(1.0f, 2, zeros);
}

PresampledFunction::PresampledFunction(const PresampledFunction& other)
    : GObject(other), range(0.0f), count(0), step(0.0f), slopes(nullptr), intercepts(nullptr) {
    *this = other;
}

PresampledFunction& PresampledFunction::operator=(const PresampledFunction& other) {
    if (this == &other) return *this;
    float* newSlopes = new float[other.count];
    float* newIntercepts = new float[other.count];
    std::memcpy(newSlopes, other.slopes, sizeof(float) * other.count);
    std::memcpy(newIntercepts, other.intercepts, sizeof(float) * other.count);
    adopt(newSlopes, newIntercepts, other.range, other.count);
    step = other.step;
    return *this;
}

PresampledFunction::~PresampledFunction() {
    delete[] slopes;
    delete[] intercepts;
}

const char* PresampledFunction::toString() const {
    static thread_local char buffer[objectTextSize];
    return formatClassAddress(buffer, objectTextSize, "PresampledFunction", this);
}

void PresampledFunction::adopt(float* newSlopes, float* newIntercepts, float xMax, int n) {
    delete[] slopes;
    delete[] intercepts;
    slopes = newSlopes;
    intercepts = newIntercepts;
    range = xMax;
    count = n;
}

static bool acceptableTable(float xMax, int n, const float* samples) {
    return samples != nullptr && n >= 1 && xMax > 0.0f && std::isfinite(xMax) &&
           std::isfinite((float)(n - 1) / xMax);
}

bool PresampledFunction::set(float xMax, int n, const float* samples) {
    if (!acceptableTable(xMax, n, samples)) return false;
    float* newSlopes = new float[n];
    float* newIntercepts = new float[n];
    float newStep = (float)(n - 1) / xMax;
    if (n == 1) {
        // One sample: a constant (step 0 keeps every index at 0).
        newSlopes[0] = 0.0f;
        newIntercepts[0] = samples[0];
    } else {
        for (int i = 0; i < n - 1; i++) {
            newSlopes[i] = (samples[i + 1] - samples[i]) * newStep;
            newIntercepts[i] = samples[i] - (float)i * newSlopes[i] / newStep;
        }
        newSlopes[n - 1] = newSlopes[n - 2];
        newIntercepts[n - 1] = newIntercepts[n - 2];
    }
    adopt(newSlopes, newIntercepts, xMax, n);
    step = newStep;
    return true;
}

bool PresampledFunction::setFromRadialSamples(float radius, int n, const float* samples,
                                              int entries) {
    if (!acceptableTable(radius, n, samples) || entries < 1) return false;
    float squaredRange = radius * radius;
    if (!(squaredRange > 0.0f) || !std::isfinite(squaredRange)) return false;
    std::vector<float> table((size_t)entries);
    for (int i = 0; i < entries; i++) {
        // Distance of entry i, as a fraction of the radius, then in sample units.
        double d2 = entries > 1 ? (double)i / (entries - 1) : 0.0;
        double position = std::sqrt(d2) * (n - 1);
        int j = (int)position;
        if (j >= n - 1) {
            table[(size_t)i] = samples[n - 1];
            continue;
        }
        double t = position - j;
        table[(size_t)i] = (float)((1.0 - t) * samples[j] + t * samples[j + 1]);
    }
    return set(squaredRange, entries, table.data());
}
