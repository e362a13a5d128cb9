// DirectionalLight: light from infinitely far along direction (the unit vector
// from any lit point towards the light), no falloff. A non-zero size jitters
// the direction per query.
#pragma once

#include "shading/GLight.h"

class DirectionalLight : public GLight {
public:
    HPoint direction;      // (0, 0, 0, 1) until set; unit once set
    HPoint emissiveColor;  // (0, 0, 0, 1)
    float size = 0.0f;

    bool isKindOf(int id) const override { return id == ClassId::DirectionalLight || GLight::isKindOf(id); }
    int typeId() const override { return ClassId::DirectionalLight; }
    const char* toString() const override;

    // Stores the normalised direction with w = 1.
    void setDirection(const HPoint& towardsLight);

    bool parse(GScene* scene) override;
    bool illuminate(HPoint& direction, HPoint& color, float& distance, const HPoint& point) override;
    void emitVrml(FILE* file) override;
};
