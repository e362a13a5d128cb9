#include "shading/GLight.h"

const char* GLight::toString() const {
    static thread_local char buffer[objectTextSize];
    return formatClassAddress(buffer, objectTextSize, "GLight", this);
}

bool GLight::illuminate(HPoint& direction, HPoint& color, float& distance, const HPoint& point) {
    (void)direction;
    (void)color;
    (void)distance;
    (void)point;
    return false;
}

void GLight::emitVrml(FILE* file) {
    (void)file;
    std::printf("XML export: %s is not written: the format has no such light\n", toString());
}
