// Distance attenuation and light direction shared by point and spot lights.
#pragma once

#include <cmath>

#include "foundation/HPoint.h"

// 1 / (a d^2 + b d + c) for attenuation (a, b, c).
inline float attenuationFactor(const HPoint& attenuation, float distance) {
    return 1.0f / (attenuation.x * distance * distance + attenuation.y * distance + attenuation.z);
}

// Unit direction and distance from point to the light at position. A point at
// the light itself has no direction to it: false, with black in color.
inline bool unitDirectionToLight(const HPoint& position, const HPoint& point, HPoint& direction,
                             float& distance, HPoint& color) {
    direction = position.difference(point);
    float d = std::sqrt(direction.dot(direction));
    if (!(d > 0.0f)) {
        color = HPoint(0.0f, 0.0f, 0.0f, 1.0f);
        return false;
    }
    direction.scale(1.0f / d);
    distance = d;
    return true;
}
