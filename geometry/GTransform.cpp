#include "geometry/GTransform.h"


const char* GTransform::toString() const {
    static thread_local char buffer[objectTextSize];
    return formatClassAddress(buffer, objectTextSize, "GTransform", this);
}

void GTransform::draw(void* context) {
    (void)context;
    std::printf("drawing %s\n", toString());
}
