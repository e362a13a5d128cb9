// ProgressClock: elapsed time and an estimate of the time left for the
// progress lines of long renders. Only runs with "-threads" show it, so the
// console output of a run without the option stays as it was.
#pragma once

class ProgressClock {
public:
    ProgressClock();  // starts now
    // "  12.3 s, 40.1 s left  " for fractionDone (0 .. 1) of the work done,
    // "  12.3 s  " before any is done; "" in runs without unit streams. The
    // text stays valid until the calling thread's next call.
    const char* text(double fractionDone) const;
    // Seconds since the clock started.
    double elapsed() const;

private:
    long double started;
};
