// PointLight: light from one position with 1 / (a d^2 + b d + c) falloff. A
// positive size jitters the position per query (soft shadows); only the XML
// reader sets it.
#pragma once

#include "shading/GLight.h"

class PointLight : public GLight {
public:
    HPoint location;                                  // (0, 0, 0, 1)
    HPoint emissiveColor;                             // (0, 0, 0, 1)
    HPoint attenuation{1.0f, 0.0f, 0.0f, 1.0f};       // (a, b, c): inverse-square by default
    float size = 0.0f;                                // jitter half-width

    bool isKindOf(int id) const override { return id == ClassId::PointLight || GLight::isKindOf(id); }
    int typeId() const override { return ClassId::PointLight; }
    const char* toString() const override;

    bool parse(GScene* scene) override;
    bool illuminate(HPoint& direction, HPoint& color, float& distance, const HPoint& point) override;
    void emitVrml(FILE* file) override;
};
