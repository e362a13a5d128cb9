#include "foundation/JHashtable.h"

#include <cstdio>
#include <cstdlib>

#include "foundation/FatalExit.h"

void badLoadFactor() {
    std::fprintf(stderr, "Bad Argument for loadFactor\n");
    std::fflush(stderr);
    fatalExit(1);
}
