// "-lookAt EX EY EZ TX TY TZ UX UY UZ" and "-fov DEGREES": the view of any
// scene's camera, and of the camera that a scene without one gets (an OBJ
// scene always; others when one of the two options is given).
#pragma once

#include "foundation/HPoint.h"

struct ViewOptions {
    bool lookAtGiven = false, fovGiven = false;
    HPoint eye, target, up;
    float fovDegrees = 0.0f;

    // Each of these is false, after one line saying why, for a value that is
    // no number, a degenerate view (eye on the target, up along the view) or
    // a field of view outside 0 .. 180 degrees (both ends excluded).
    bool readLookAt(const char* const values[9]);
    bool readFov(const char* value);
};

// The field of view in radians.
float radiansOf(float degrees);
