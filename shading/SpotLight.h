// SpotLight: a point light restricted to a cone around direction (pointing
// from the light into the scene), with falloff cos^exponent inside the cone
// and the same distance attenuation as PointLight. Never jittered.
#pragma once

#include "shading/GLight.h"

class SpotLight : public GLight {
public:
    HPoint location;                              // (0, 0, 0, 1)
    HPoint emissiveColor;                         // (0, 0, 0, 1)
    HPoint direction;                             // (0, 0, 0, 1) until set; unit once set
    float exponent = 1.0f;                        // cone falloff; 1 when the scene omits it
    float cutoffCosine = 0.0f;                    // cos of the cutoff half-angle (90 degrees)
    HPoint attenuation{1.0f, 0.0f, 0.0f, 1.0f};   // (a, b, c)

    bool isKindOf(int id) const override { return id == ClassId::SpotLight || GLight::isKindOf(id); }
    int typeId() const override { return ClassId::SpotLight; }
    const char* toString() const override;

    // Stores the normalised direction with w = 1.
    void setDirection(const HPoint& axis);

    bool parse(GScene* scene) override;
    bool illuminate(HPoint& direction, HPoint& color, float& distance, const HPoint& point) override;
    // The XML light element.
    void emitVrml(FILE* file) override;
    // A VRML SpotLight node.
    void writeVrml(FILE* file);
};
