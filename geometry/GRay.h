// GRay: the value record of one ray. Every ray built with the ray constructor
// takes a fresh id from one process-wide counter, which the mailboxes of the
// primitives compare against; renderers that continue a path may set the
// fields directly (then nextRayId gives them a fresh id).
#pragma once

#include <xmmintrin.h>

#include <cfloat>
#include <cmath>

#include "foundation/HPoint.h"

// A ray id no other ray of any thread has (the first ray gets 1; 0 is never
// handed out, so fresh mailboxes match no ray).
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
    // One four-wide division gives exactly the three scalar quotients.
    void updateInverse() {
        alignas(16) float lanes[4];
        _mm_store_ps(lanes, _mm_div_ps(_mm_set1_ps(1.0f),
                                       _mm_set_ps(1.0f, direction.z, direction.y, direction.x)));
        inverseDirection = HPoint(lanes[0], lanes[1], lanes[2], 1.0f);
    }

    // Sets the direction to d scaled to unit length, w = 1, and its inverse.
    // Most callers pass directions that are unit already (reflections,
    // samples, normalised light vectors); those keep their value and skip
    // the square root and the division: rescaling them would only move the
    // last bit.
    // The components are read one by one: callers often have just written
    // them one by one, and a single wide load of such stores stalls.
    void setDirection(const HPoint& d) {
        const float x = d.x, y = d.y, z = d.z;
        direction.x = x;
        direction.y = y;
        direction.z = z;
        direction.w = 1.0f;
        float squared = x * x + y * y + z * z;
        if (!(std::fabs(squared - 1.0f) <= 4.0f * FLT_EPSILON))
            direction.normalize();
        updateInverse();
    }
};

// The part [near, far] of the ray's span 0 .. limit inside the box low ..
// high (three coordinates each); false when the ray misses it. A ray running
// along a face of a slab gives NaN there, which constrains nothing.
inline bool raySpanInBox(const GRay& ray, const float* low, const float* high, float limit, float& near,
                         float& far) {
    near = -FLT_MAX;
    far = FLT_MAX;
    const float origin[3] = {ray.origin.x, ray.origin.y, ray.origin.z};
    const float inverse[3] = {ray.inverseDirection.x, ray.inverseDirection.y, ray.inverseDirection.z};
    for (int axis = 0; axis < 3; axis++) {
        float t0 = (low[axis] - origin[axis]) * inverse[axis];
        float t1 = (high[axis] - origin[axis]) * inverse[axis];
        if (t0 > t1) {
            float swapped = t0;
            t0 = t1;
            t1 = swapped;
        }
        if (t0 == t0 && t0 > near) near = t0;
        if (t1 == t1 && t1 < far) far = t1;
    }
    if (far < 0.0f || far < near || near > limit) return false;
    if (far > limit) far = limit;
    if (near < 0.0f) near = 0.0f;
    return true;
}
