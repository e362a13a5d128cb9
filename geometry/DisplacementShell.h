// DisplacementShell: the thin volume around a displaced GInverseTriangle in
// which its height field can lie. Built once by the triangle's setVertices;
// the intersection first clips the ray to it, then searches the height field
// only inside the clipped interval.
#pragma once

#include "foundation/HPoint.h"

class GTexture;
class HeightImage;

struct DisplacementShell {
    HPoint boxMin, boxMax;  // bounds of the displaced triangle
    float lowOffset = 0.0f;   // signed distances from the triangle's plane of
    float highOffset = 0.0f;  // the two shell planes parallel to it
    float normalDot[3] = {1.0f, 1.0f, 1.0f};  // vertex normal . plane normal, per vertex
    HPoint sidePlanes[3];     // (nx, ny, nz, d) per edge; the shell is on the negative side

    // Cached at set-up so the ray test reads nothing through the material.
    const GTexture* texture = nullptr;  // the height field (not owned)
    HeightImage* heights = nullptr;     // its image when it has min/max pyramids, else null
    float heightMin = 0.0f;             // lowest and highest height of the texture
    float heightMax = 0.0f;
    float boundsLow = 0.0f;             // heights the bounds move the corners by
    float boundsHigh = 0.0f;
    float diagonal = 0.0f;              // |boxMax - boxMin|
    // +1 or -1: orients the finite-difference normal to the side the plane
    // normal points to.
    float normalSign = 1.0f;
};

// One point of a ray inside the shell, inverted onto the displaced surface:
// the weights of V0, V1, V2 under it, its height (the h for which it is the
// displaced point at those weights) and the texture coordinate there.
struct DisplacementSample {
    float weight[3];
    float height;
    float u, v;
};
