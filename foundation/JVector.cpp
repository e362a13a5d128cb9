#include "foundation/JVector.h"

void indexOutOfBounds() {
    std::fprintf(stderr, "Index Out Of Bounds\n");
    std::fflush(stderr);
    fatalExit(1);
}
