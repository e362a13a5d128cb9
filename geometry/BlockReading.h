// Small readers shared by the parse operations of primitives and lights: the
// value conventions of native scene blocks on top of the scene scanner.
#pragma once

#include <cstring>

#include "foundation/HPoint.h"
#include "io/native/Scanner.h"
#include "shading/GMaterial.h"

// Points and directions are stored with w = 1.
inline HPoint readPoint() {
    float x, y, z;
    readFloat3(x, y, z);
    return HPoint(x, y, z, 1.0f);
}

// Colours read from scene files carry w = 0.
inline HPoint readColor() {
    float r, g, b;
    readFloat3(r, g, b);
    return HPoint(r, g, b, 0.0f);
}

// Exact comparison; the end of input (no token) matches nothing.
inline bool isToken(const char* token, const char* expected) {
    return token != nullptr && std::strcmp(token, expected) == 0;
}

// The material keywords that sphere and plane blocks share. When token is one
// of them its values are read into material and the answer is true.
inline bool readMaterialKeyword(const char* token, GMaterial& material) {
    if (std::strcmp(token, "ambient_color") == 0) {
        material.setColor(GMaterial::ambient, readColor());
    } else if (std::strcmp(token, "diffuse_color") == 0) {
        material.setColor(GMaterial::diffuse, readColor());
    } else if (std::strcmp(token, "specular_color") == 0) {
        material.setColor(GMaterial::specular, readColor());
    } else if (std::strcmp(token, "phong_constant") == 0) {
        material.setScalar(GMaterial::phongExponent, readFloat());
    } else if (std::strcmp(token, "reflectivity") == 0) {
        material.setColor(GMaterial::reflected, readColor());
    } else if (std::strcmp(token, "transmitivity") == 0) {
        material.setColor(GMaterial::transmitted, readColor());
    } else if (std::strcmp(token, "refraction") == 0) {
        material.setScalar(GMaterial::indexOfRefraction, readFloat());
    } else {
        return false;
    }
    return true;
}
