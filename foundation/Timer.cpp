#include "foundation/Timer.h"

#include <chrono>

long double currentSeconds() {
    // steady_clock is our performance counter; its period is a compile-time
    // constant, so the "frequency" needs no query.
    using Clock = std::chrono::steady_clock;
    const long double secondsPerTick =
        (long double)Clock::period::num / (long double)Clock::period::den;
    return (long double)Clock::now().time_since_epoch().count() * secondsPerTick;
}
