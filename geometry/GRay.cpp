#include "geometry/GRay.h"

static unsigned rayIdCounter = 0;

unsigned nextRayId() {
    // 0 marks a fresh mailbox, so a wrapped counter skips it.
    if (++rayIdCounter == 0) ++rayIdCounter;
    return rayIdCounter;
}

GRay::GRay(int rayDepth, const HPoint& rayOrigin, const HPoint& rayDirection)
    : id(nextRayId()), depth(rayDepth), origin(rayOrigin) {
    float w = rayDirection.w;
    setDirection(rayDirection);
    direction.w = w; // this constructor has always kept the caller's w
}
