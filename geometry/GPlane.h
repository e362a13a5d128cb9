// GPlane: an infinite plane. normal.w holds the offset -(normal . origin), so a
// point p lies on the plane when p . normal + normal.w = 0.
#pragma once

#include "geometry/RayMailbox.h"
#include "geometry/GSceneObject.h"

class GPlane : public GSceneObject {
public:
    GMaterial* material = nullptr;  // not owned
    HPoint origin;                  // a point of the plane, (0, 0, 0, 1) initially
    HPoint normal;                  // unit normal in x, y, z; offset in w
    HPoint uAxis, vAxis;            // unit texture axes in the plane (zero without "u_direction")
    RayMailbox lastRayId;           // mailbox

    GPlane() : normal(0.0f, 0.0f, 0.0f, 1.0f), uAxis(0.0f, 0.0f, 0.0f, 1.0f), vAxis(0.0f, 0.0f, 0.0f, 1.0f) {}

    bool isKindOf(int id) const override { return id == ClassId::GPlane || GSceneObject::isKindOf(id); }
    int typeId() const override { return ClassId::GPlane; }
    const char* toString() const override;

    bool parse(GScene* scene) override;
    void draw(void* context) override;
    bool intersect(GRay& ray, HitRecord& hit) override;
    void setMaterial(GMaterial* newMaterial) override { material = newMaterial; }
    GMaterial* getMaterial() override { return material; }
    void setRayStamp(unsigned rayId) override { lastRayId.stamp(rayId, this); }
    void getBounds(HPoint& min, HPoint& max) override;
    // A square of triangles around the origin (the scene's export centres it
    // under the view instead).
    void emitVrml(FILE* file) override;

    // Normalises the normal, derives the texture axes from uAxis and the
    // offset from origin. parse runs it; code that fills the fields calls it.
    void setUp();
    // The plane's normal, all four components.
    virtual void normalAt(HPoint& out, HitRecord& hit);
};
