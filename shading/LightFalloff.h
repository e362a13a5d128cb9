// Distance attenuation shared by point and spot lights.
#pragma once

#include "foundation/HPoint.h"

// 1 / (a d^2 + b d + c) for attenuation (a, b, c).
inline float attenuationFactor(const HPoint& attenuation, float distance) {
    return 1.0f / (attenuation.x * distance * distance + attenuation.y * distance + attenuation.z);
}
