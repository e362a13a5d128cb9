#include "foundation/JVector.h"

void indexOutOfBounds() {
    std::fprintf(stderr, "Index Out Of Bounds\n");
    std::fflush(stderr);
    std::exit(1);
}
