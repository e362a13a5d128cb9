// GSphere: a sphere with its own material. Its clearRayStamp does nothing, so a
// ray leaving a sphere (refraction, inside reflection) can hit it again; the
// intersection's epsilon keeps it from hitting the surface it starts on.
#pragma once

#include "geometry/RayMailbox.h"
#include "geometry/GSceneObject.h"

class GSphere : public GSceneObject {
public:
    HPoint center;               // (0, 0, 0, 1) initially
    float radius = 0.0f;
    float inverseRadius = 1.0f;  // 1 / radius, 1 for a zero radius
    GMaterial* material = nullptr;  // not owned (the scene's allObjects keeps it)
    unsigned packedColor = 0;    // pixel word answered by colorAt
    RayMailbox lastRayId;        // mailbox

    GSphere() {}

    bool isKindOf(int id) const override { return id == ClassId::GSphere || GSceneObject::isKindOf(id); }
    int typeId() const override { return ClassId::GSphere; }
    const char* toString() const override;

    bool parse(GScene* scene) override;
    void draw(void* context) override;
    bool intersect(GRay& ray, HitRecord& hit) override;
    void filterShadow(HPoint& shadowColor, GRay& ray, GMaterial* material, HitRecord& hit) override;
    void setMaterial(GMaterial* newMaterial) override { material = newMaterial; }
    GMaterial* getMaterial() override { return material; }
    void setRayStamp(unsigned rayId) override { lastRayId.stamp(rayId, this); }
    void clearRayStamp(unsigned rayId) override { (void)rayId; }
    void getBounds(HPoint& min, HPoint& max) override;
    void colorAt(HPoint& color, HitRecord& hit) override;
    bool isEmitter() override;
    bool sampleLight(HPoint& direction, HPoint& color, float& distance, HitRecord& hit) override;
    void evaluateLight(HitRecord& receiver, const HPoint& pointOnLight, HPoint& color) override;
    void emitRay(GRay& ray, HPoint& power, HPoint& normal) override;
    void emittedPower(HPoint& color) override;
    void emitVrml(FILE* file) override;

    // Sets radius and its inverse together.
    void setRadius(float r);
    // Surface area 4 pi r^2.
    virtual float area();
};
