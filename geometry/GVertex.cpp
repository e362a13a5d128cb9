#include "geometry/GVertex.h"

const char* GVertex::toString() const {
    static thread_local char buffer[objectTextSize];
    return formatClassAddress(buffer, objectTextSize, "GVertex", this);
}
