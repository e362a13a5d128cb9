#include "foundation/Random.h"

// One stream per thread: the main thread's is the run's stream; worker threads
// seed theirs per work unit (seedWorkUnit) before drawing.
static thread_local uint32_t randomState = 1;

void seedRandom(uint32_t seed) { randomState = seed; }

uint32_t randomStreamState() { return randomState; }

int nextRandom() {
    randomState = randomState * 214013u + 2531011u;
    return (int)((randomState >> 16) & 0x7FFF);
}

int uniformIndex(int n) {
    if (n <= 1) return 0;
    const uint32_t range = n <= randomMax + 1 ? (uint32_t)randomMax + 1 : 1u << 30;
    const uint32_t limit = range - range % (uint32_t)n;
    for (;;) {
        uint32_t r = (uint32_t)nextRandom();
        if (range > (uint32_t)randomMax + 1) r = r << 15 | (uint32_t)nextRandom();
        if (r < limit) return (int)(r % (uint32_t)n);
    }
}

double fineUniform01() {
    uint32_t high = (uint32_t)nextRandom();
    uint32_t low = (uint32_t)nextRandom();
    return (double)(high << 15 | low) * (1.0 / 1073741824.0);
}
