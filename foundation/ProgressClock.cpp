#include "foundation/ProgressClock.h"

#include <cstdio>

#include "foundation/Parallel.h"
#include "foundation/Timer.h"

ProgressClock::ProgressClock() : started(currentSeconds()) {}

double ProgressClock::elapsed() const { return (double)(currentSeconds() - started); }

const char* ProgressClock::text(double fractionDone) const {
    static thread_local char line[64];
    if (!workUnitStreams()) return "";
    double seconds = elapsed();
    // The rate so far predicts the rest: good enough for work units of one size.
    if (fractionDone > 0.0 && fractionDone <= 1.0)
        std::snprintf(line, sizeof line, "  %.1f s, %.1f s left  ", seconds,
                      seconds * (1.0 - fractionDone) / fractionDone);
    else
        std::snprintf(line, sizeof line, "  %.1f s  ", seconds);
    return line;
}
