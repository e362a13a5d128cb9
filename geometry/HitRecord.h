// HitRecord: what intersect hands to shading. t is both input and output: the
// caller sets it to the search limit, an accepted hit lowers it to its distance.
#pragma once

#include "foundation/HPoint.h"

class GSceneObject;

struct HitRecord {
    float t = 0.0f;                 // in: largest distance accepted; out: hit distance
    GSceneObject* object = nullptr; // the object hit
    HPoint point;                   // origin + t * direction
    HPoint geometricNormal;         // the surface's true normal
    HPoint texCoord;                // (u, v) in x, y; only triangles write it
    HPoint reserved1, reserved2;    // filled by nobody, read by nobody
    HPoint normal;                  // the shading normal
};
