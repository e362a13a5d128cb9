#include "foundation/ScratchText.h"

#include <cstdio>
#include <cstdlib>

#include "foundation/FatalExit.h"

static thread_local char scratchArea[scratchTextSize];
static thread_local int scratchFill = 0;

char* scratchText(int n) {
    // A slice larger than the area could never be handed out safely.
    if (n <= 0 || n > scratchTextSize) {
        std::fprintf(stderr, "Bad scratch text request: %d bytes\n", n);
        std::fflush(stderr);
        fatalExit(1);
    }
    if (scratchFill + n < scratchTextSize) {
        char* slice = scratchArea + scratchFill;
        scratchFill += n;
        return slice;
    }
    scratchFill = n;
    return scratchArea;
}
