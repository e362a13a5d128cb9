// PrimarySampleVector: the state of a primary-sample-space Metropolis chain,
// the uniform numbers one bidirectional sample draws, handed out lazily per
// stream (coordinate i of stream k is entry 3 i + k). Each iteration is
// either a large step (every coordinate drawn afresh) or a small step (each
// coordinate moved by a normal of spread sigma per iteration it missed,
// wrapped into [0, 1)); a coordinate first asked for long after the last
// large step is first brought up to date. reject() restores every
// coordinate the iteration touched, accept() keeps them.
//
// Its numbers come from its own 64-bit generator (PCG32), seeded explicitly,
// so a chain can replay a bootstrap sample and then go its own way.
#pragma once

#include <cstdint>
#include <vector>

#include "render/MisPath.h"

class PrimarySampleVector : public PathSampler {
public:
    PrimarySampleVector(float largeStepProbability, float sigma = 0.01f);

    // Clears the state and seeds the generator: the next iteration is a
    // large step.
    void restart(uint64_t seed);
    // Seeds the generator alone, keeping the state.
    void reseed(uint64_t seed);
    void startIteration();
    void accept();
    void reject();
    bool isLargeStep() const { return largeStep; }
    float next(int stream) override;
    // A uniform number in [0, 1) from the generator, outside the state.
    float uniform();

private:
    struct Coordinate {
        float value = 0.0f, backupValue = 0.0f;
        long long modified = 0, backupModified = 0;
    };
    std::vector<Coordinate> coordinates;
    int used[streamCount];
    long long iteration = 0, lastLargeStep = 0;
    bool largeStep = true;
    float largeStepChance, sigma;
    uint64_t state = 0, increment = 1;

    uint32_t nextBits();
    void bringUpToDate(Coordinate& c);
};
