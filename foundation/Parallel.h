// Threads of a render. Without "-threads" a run uses one thread and the one
// random stream seeded by the driver, so its images stay byte-identical to a
// single-threaded build. With it, renderers hand out work units (pixels, rows,
// tiles, chains) to threads and seed the calling thread's random stream from
// the run's seed, the unit and the pass (seedWorkUnit), never from the thread,
// so an image depends on the seed and the units alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

// Records that threads write side by side (one per slot or chain, in one
// array) are aligned to this, so that no two threads write one cache line:
// a shared line written for every connection cost a third of the speed-up.
constexpr std::size_t cacheLineBytes = 64;

struct ThreadSettings {
    int threads = 1;          // threads a render uses, at least 1
    bool unitStreams = false; // draws come from per-work-unit streams
    uint32_t seed = 0;        // the run's seed the unit streams derive from
};

// The process-wide settings; the driver sets them from "-threads" and "-seed",
// tests save and restore them.
const ThreadSettings& threadSettings();
void setThreadSettings(const ThreadSettings& settings);
namespace parallelDetail {
extern bool unitStreams;  // mirrors threadSettings().unitStreams
}
// Whether the run draws from per-work-unit streams (a "-threads" run); cheap
// enough for inner loops.
inline bool workUnitStreams() { return parallelDetail::unitStreams; }

// Threads the machine offers (at least 1): what "-threads 0" asks for.
int hardwareThreads();

// Seeds the calling thread's random stream for work unit `unit` of pass
// `pass` from the run's seed (a hash of the three, so neighbouring units do
// not get overlapping streams).
void seedWorkUnit(uint32_t unit, uint32_t pass);

// Runs body(unit, thread) for every unit in 0 .. count - 1 on
// threadSettings().threads threads (the calling thread is thread 0, the
// others 1 .. threads - 1); units are handed out in increasing order as
// threads become free. With one thread the units run in order on the
// calling thread. Returns when every unit is done.
void parallelFor(int count, const std::function<void(int unit, int thread)>& body);
// The same, and progress(done) on the calling thread alone after each unit it
// finishes, with the number of units finished by all threads so far, and
// with count at the end if it was not reported yet (so progress lines and
// snapshots come from one thread, and the last line says all is done).
void parallelFor(int count, const std::function<void(int unit, int thread)>& body,
                 const std::function<void(int done)>& progress);

// Seeds the calling thread's stream for unit `unit` of pass `pass` in a run
// with unit streams; does nothing otherwise (the one stream goes on).
inline void beginWorkUnit(uint32_t unit, uint32_t pass) {
    if (workUnitStreams()) seedWorkUnit(unit, pass);
}
