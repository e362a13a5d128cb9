#include "render/PrimarySampleVector.h"

#include <cmath>

PrimarySampleVector::PrimarySampleVector(float largeStepProbability, float spread)
    : largeStepChance(largeStepProbability), sigma(spread) {
    coordinates.reserve(256);  // a walk of 20 vertices per sub-path asks for about 200
    restart(0);
}

void PrimarySampleVector::restart(uint64_t seed) {
    coordinates.clear();
    iteration = 0;
    lastLargeStep = 0;
    largeStep = true;
    for (int& count : used) count = 0;
    reseed(seed);
}

void PrimarySampleVector::reseed(uint64_t seed) {
    // PCG32's seeding: the stream from the seed, the state advanced once.
    increment = (seed << 1u) | 1u;
    state = 0;
    nextBits();
    state += 0x853c49e6748fea9bULL ^ seed;
    nextBits();
}

uint32_t PrimarySampleVector::nextBits() {
    uint64_t old = state;
    state = old * 6364136223846793005ULL + increment;
    uint32_t shifted = (uint32_t)(((old >> 18u) ^ old) >> 27u);
    uint32_t rotation = (uint32_t)(old >> 59u);
    return (shifted >> rotation) | (shifted << ((0u - rotation) & 31u));
}

float PrimarySampleVector::uniform() {
    float u = (float)(nextBits() >> 8) * (1.0f / 16777216.0f);
    return u;
}

void PrimarySampleVector::startIteration() {
    iteration++;
    largeStep = iteration == 1 || uniform() < largeStepChance;
    for (int& count : used) count = 0;
}

void PrimarySampleVector::accept() {
    if (largeStep) lastLargeStep = iteration;
}

void PrimarySampleVector::reject() {
    for (Coordinate& c : coordinates) {
        if (c.modified == iteration) {
            c.value = c.backupValue;
            c.modified = c.backupModified;
        }
    }
    iteration--;
}

void PrimarySampleVector::bringUpToDate(Coordinate& c) {
    // A coordinate untouched since before the last accepted large step
    // takes the value that step would have given it.
    if (c.modified < lastLargeStep) {
        c.value = uniform();
        c.modified = lastLargeStep;
    }
    c.backupValue = c.value;
    c.backupModified = c.modified;
    if (largeStep) {
        c.value = uniform();
    } else {
        // The missed small steps at once: their normals add up to one of
        // spread sigma sqrt(n) (Box-Muller).
        long long missed = iteration - c.modified;
        float u1 = 1.0f - uniform(), u2 = uniform();
        float normal = std::sqrt(-2.0f * std::log(u1)) * std::cos(6.28318531f * u2);
        c.value += normal * sigma * std::sqrt((float)missed);
        c.value -= std::floor(c.value);
        if (!(c.value < 1.0f)) c.value = 0.0f;
    }
    c.modified = iteration;
}

float PrimarySampleVector::next(int stream) {
    size_t index = (size_t)used[stream]++ * streamCount + (size_t)stream;
    if (index >= coordinates.size()) coordinates.resize(index + 1);
    Coordinate& c = coordinates[index];
    if (c.modified < iteration) bringUpToDate(c);
    return c.value;
}
