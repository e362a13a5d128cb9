#include "app/ViewOptions.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

// The whole text as a finite number.
bool readNumber(const char* text, float& value) {
    errno = 0;
    char* end = nullptr;
    double number = std::strtod(text, &end);
    if (end == text || *end != '\0' || errno != 0 || !std::isfinite(number)) return false;
    value = (float)number;
    return std::isfinite(value);
}

}  // namespace

float radiansOf(float degrees) { return degrees * 3.14159265f / 180.0f; }

bool ViewOptions::readLookAt(const char* const values[9]) {
    float numbers[9];
    for (int i = 0; i < 9; i++)
        if (!readNumber(values[i], numbers[i])) {
            std::printf("-lookAt: '%s' is no number; give EX EY EZ TX TY TZ UX UY UZ\n", values[i]);
            return false;
        }
    HPoint newEye(numbers[0], numbers[1], numbers[2], 1.0f);
    HPoint newTarget(numbers[3], numbers[4], numbers[5], 1.0f);
    HPoint newUp(numbers[6], numbers[7], numbers[8], 1.0f);
    HPoint view = newTarget.difference(newEye);
    if (!(view.length() > 0.0f)) {
        std::printf("-lookAt: the eye is on the target; there is no direction to look in\n");
        return false;
    }
    HPoint side = view.cross(newUp);
    if (!(side.length() > 1e-6f * view.length() * newUp.length())) {
        std::printf("-lookAt: the up vector %s %s %s is zero or along the view\n", values[6],
                    values[7], values[8]);
        return false;
    }
    eye = newEye;
    target = newTarget;
    up = newUp;
    lookAtGiven = true;
    return true;
}

bool ViewOptions::readFov(const char* value) {
    float degrees;
    if (!readNumber(value, degrees)) {
        std::printf("-fov: '%s' is no number of degrees\n", value);
        return false;
    }
    if (!(degrees > 0.0f && degrees < 180.0f)) {
        std::printf("-fov: %s degrees is outside the open range 0 .. 180\n", value);
        return false;
    }
    fovDegrees = degrees;
    fovGiven = true;
    return true;
}
