#include "foundation/Parallel.h"

#include <atomic>
#include <thread>
#include <vector>

#include "foundation/Random.h"

static ThreadSettings currentThreadSettings;
bool parallelDetail::unitStreams = false;

const ThreadSettings& threadSettings() { return currentThreadSettings; }

void setThreadSettings(const ThreadSettings& settings) {
    currentThreadSettings = settings;
    if (currentThreadSettings.threads < 1) currentThreadSettings.threads = 1;
    parallelDetail::unitStreams = currentThreadSettings.unitStreams;
}

int hardwareThreads() {
    unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : (int)n;
}

// A 32-bit finaliser (murmur3's): every input bit moves every output bit.
static uint32_t mix32(uint32_t h) {
    h ^= h >> 16;
    h *= 0x85ebca6bu;
    h ^= h >> 13;
    h *= 0xc2b2ae35u;
    h ^= h >> 16;
    return h;
}

void seedWorkUnit(uint32_t unit, uint32_t pass) {
    uint32_t h = mix32(currentThreadSettings.seed ^ 0x9e3779b9u);
    h = mix32(h ^ unit);
    h = mix32(h ^ (pass * 0x632be5abu + 0x7f4a7c15u));
    seedRandom(h);
}

void parallelFor(int count, const std::function<void(int unit, int thread)>& body) {
    parallelFor(count, body, nullptr);
}

void parallelFor(int count, const std::function<void(int unit, int thread)>& body,
                 const std::function<void(int done)>& progress) {
    std::atomic<int> doneUnits{0};
    int reported = 0;  // touched by the calling thread only
    auto finished = [&](int thread) {
        int done = doneUnits.fetch_add(1) + 1;
        if (thread == 0 && progress) progress(reported = done);
    };
    int threads = currentThreadSettings.threads;
    if (threads > count) threads = count;
    if (threads <= 1) {
        for (int unit = 0; unit < count; unit++) {
            body(unit, 0);
            finished(0);
        }
        return;
    }
    std::atomic<int> nextUnit{0};
    auto work = [&](int thread) {
        for (int unit = nextUnit.fetch_add(1); unit < count; unit = nextUnit.fetch_add(1)) {
            body(unit, thread);
            finished(thread);
        }
    };
    std::vector<std::thread> workers;
    workers.reserve((size_t)threads - 1);
    for (int t = 1; t < threads; t++) workers.emplace_back(work, t);
    work(0);
    for (std::thread& worker : workers) worker.join();
    // The other threads may have finished the last units (or all of them).
    if (progress && reported < count) progress(count);
}
