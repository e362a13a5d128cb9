#include "foundation/JHashtable.h"

#include <cstdio>
#include <cstdlib>

void badLoadFactor() {
    std::fprintf(stderr, "Bad Argument for loadFactor\n");
    std::fflush(stderr);
    std::exit(1);
}
