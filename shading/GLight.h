// GLight: a point, directional or spot emitter queried by the ray tracer.
// illuminate answers, for a point P: the unit direction from P towards the
// light, the distance to it and the colour arriving at P.
#pragma once

#include <cstdio>

#include "foundation/HPoint.h"
#include "geometry/IParseable.h"

class GLight : public IParseable {
public:
    bool isKindOf(int id) const override { return id == ClassId::GLight || IParseable::isKindOf(id); }
    int typeId() const override { return ClassId::GLight; }
    const char* toString() const override;

    // False when no light reaches point (outside a spot cone; always for the base).
    // direction: unit, from point towards the light. distance: to the light,
    // the largest finite float for a light at infinity.
    virtual bool illuminate(HPoint& direction, HPoint& color, float& distance, const HPoint& point);
    // The light's export text (YafRay XML or VRML, depending on the class).
    virtual void emitVrml(FILE* file);
};
