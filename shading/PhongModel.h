// PhongModel: diffuse (L.N) plus specular (L.R)^phongExponent, times the
// light colour. One instance is shared by every material for the whole run.
#pragma once

#include "shading/GLightingModel.h"

class PhongModel : public GLightingModel {
public:
    // The shared instance (created on first use, never destroyed).
    static PhongModel* shared();

    bool isKindOf(int id) const override { return id == ClassId::PhongModel || GLightingModel::isKindOf(id); }
    int typeId() const override { return ClassId::PhongModel; }
    const char* toString() const override;

    void evaluate(HPoint& result, GMaterial* material, const HPoint& normal, const HPoint& viewDirection,
                  const HPoint& mirrorDirection, const HPoint& lightDirection, const HPoint& lightColor,
                  const HitRecord& hit) override;
};
