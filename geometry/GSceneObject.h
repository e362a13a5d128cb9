// GSceneObject: the one interface of everything a ray can hit (primitives,
// point clouds, grids, hierarchies). The scene, the acceleration structures and
// the renderers call only these operations.
//
// Mailbox convention: classes that keep a lastRayId answer "no hit" to a ray
// whose id they have already seen; setRayStamp stores an id, so stamping the
// surface a new ray leaves from keeps that ray from hitting it again.
#pragma once

#include <cstdio>

#include "foundation/HPoint.h"
#include "geometry/GRay.h"
#include "geometry/HitRecord.h"
#include "geometry/IParseable.h"

class GMaterial;

class GSceneObject : public IParseable {
public:
    bool isKindOf(int id) const override { return id == ClassId::GSceneObject || IParseable::isKindOf(id); }
    int typeId() const override { return ClassId::GSceneObject; }
    const char* toString() const override;

    // Prints "drawing <name>"; there is no interactive drawing in this program.
    virtual void draw(void* context);
    // Nearest hit with distance <= hit.t; on success fills hit and answers true.
    virtual bool intersect(GRay& ray, HitRecord& hit);
    // Shadow test up to limit. With transparentShadows a see-through blocker
    // answers false and dims shadowColor instead (via filterShadow).
    virtual bool occludes(GRay& ray, HPoint& shadowColor, float limit);
    // Multiplies shadowColor by the material's transmission at the hit.
    virtual void filterShadow(HPoint& shadowColor, GRay& ray, GMaterial* material, HitRecord& hit);
    virtual void setMaterial(GMaterial* material);
    virtual GMaterial* getMaterial();
    virtual void setRayStamp(unsigned rayId);
    // Called on the surface a new ray leaves from; by default stamps it.
    virtual void clearRayStamp(unsigned rayId);
    virtual void getBounds(HPoint& min, HPoint& max);
    virtual bool isUnbounded();
    // The object's own colour; (0.5, 0.5, 0.5, 1) unless a class has one.
    virtual void colorAt(HPoint& color, HitRecord& hit);
    virtual bool isEmitter();
    // Area-light sampling from the shading point hit.point: unit direction
    // towards a point on the light, its distance and the arriving colour.
    virtual bool sampleLight(HPoint& direction, HPoint& color, float& distance, HitRecord& hit);
    virtual void evaluateLight(HitRecord& receiver, const HPoint& pointOnLight, HPoint& color);
    // Starts a light path: ray leaves the surface, power is the emitted power.
    virtual void emitRay(GRay& ray, HPoint& power, HPoint& normal);
    virtual void emittedPower(HPoint& color);
    virtual bool samplePoint(HPoint& point, HPoint& normal, HPoint& emission, float& density);
    virtual void emitVrml(FILE* file);
};

// Emitting surfaces emit from both faces: that is what every renderer's
// direct lighting and connections (|cos| at the emitter) and emission seen
// directly assume. emitRay leaves the front face only, so a light walk that
// goes on from the emitter turns the ray and the normal to the back face
// with probability one half and doubles the power. A sphere is closed: its
// inner face lights only its inside, so its ray is left as it is.
void emitFromEitherFace(GSceneObject& emitter, GRay& ray, HPoint& power, HPoint& normal);
