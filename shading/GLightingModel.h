// GLightingModel: turns light arriving at a surface into reflected colour for
// the ray tracer. PhongModel is the one concrete model; the base only adds the
// ambient and emitted terms and reports a call of evaluate it cannot answer.
#pragma once

#include "foundation/GObject.h"
#include "foundation/HPoint.h"
#include "geometry/HitRecord.h"

class GMaterial;

class GLightingModel : public GObject {
public:
    bool isKindOf(int id) const override { return id == ClassId::GLightingModel || GObject::isKindOf(id); }
    int typeId() const override { return ClassId::GLightingModel; }
    const char* toString() const override;

    // result += ambientLight * ambient + emissive (at the hit).
    virtual void ambientAndEmissive(HPoint& result, GMaterial* material, const HPoint& ambientLight,
                                    const HitRecord& hit);
    // result += the light's reflected contribution. All vectors unit length;
    // normal already faces the incoming ray; lightDirection points to the light.
    virtual void evaluate(HPoint& result, GMaterial* material, const HPoint& normal,
                          const HPoint& viewDirection, const HPoint& mirrorDirection,
                          const HPoint& lightDirection, const HPoint& lightColor, const HitRecord& hit);
};
