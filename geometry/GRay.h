// GRay: the value record of one ray. Every ray built with the ray constructor
// takes a fresh id from one process-wide counter, which the mailboxes of the
// primitives compare against; renderers that continue a path may set the
// fields directly (then nextRayId gives them a fresh id).
#pragma once

#include "foundation/HPoint.h"

// Increments the process-wide ray counter and answers its new value (the first
// ray gets 1; 0 is never handed out, so fresh mailboxes match no ray).
unsigned nextRayId();

struct GRay {
    unsigned id;
    int depth;                 // 0 for primary, light and visibility rays
    HPoint origin;
    HPoint direction;          // unit length
    HPoint inverseDirection;   // (1/dx, 1/dy, 1/dz, 1); a zero component gives an infinity

    // An unnumbered ray (id 0) for callers that fill the fields themselves.
    GRay() : id(0), depth(0) {}
    // Takes the next id, normalises the direction and derives its inverse.
    GRay(int depth, const HPoint& origin, const HPoint& direction);

    // Recomputes inverseDirection from direction (after setting it directly).
    void updateInverse() {
        inverseDirection = HPoint(1.0f / direction.x, 1.0f / direction.y, 1.0f / direction.z, 1.0f);
    }
};
