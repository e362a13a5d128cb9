#include "geometry/GVertex.h"

const char* GVertex::toString() const {
    static char buffer[objectTextSize];
    return formatClassAddress(buffer, objectTextSize, "GVertex", this);
}
