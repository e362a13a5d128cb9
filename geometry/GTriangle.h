// GTriangle: a plain mesh triangle over three shared vertices, tested with the
// Moller-Trumbore algorithm without back-face culling. Immutable after
// setVertices; it keeps no mailbox, so a ray may test it more than once.
//
// The record stays small (three vertex references and the flags) so meshes of
// millions of triangles fit; the hierarchy that holds them calls hitParameters
// and fillHit directly instead of the virtual intersect.
//
// When V0's material emits, the triangle is an area light (sampleLight and
// friends). The emission is read from V0's material; the geometric normal is
// normalize((V1 - V0) x (V2 - V0)), the side seen counter-clockwise.
#pragma once

#include "foundation/Settings.h"
#include "geometry/GSceneObject.h"
#include "geometry/GVertex.h"

class GTriangle : public GSceneObject {
public:
    // flags bit 0: shade with the geometric normal, ignoring the vertex normals.
    static const unsigned flat = 1u;

    GVertex* vertices[3] = {nullptr, nullptr, nullptr};  // not owned; counter-clockwise
    unsigned flags = 0;

    GTriangle() {}

    bool isKindOf(int id) const override { return id == ClassId::GTriangle || GSceneObject::isKindOf(id); }
    int typeId() const override { return ClassId::GTriangle; }
    // "GTriangle@<address>"
    const char* toString() const override;

    // Stores the three corners; must precede every other call.
    void setVertices(GVertex* v0, GVertex* v1, GVertex* v2);

    // The ray test without side effects or virtual dispatch: true when the ray
    // meets the triangle at epsilon <= t <= tMax; u and v are the weights of
    // V1 and V2. NaNs (degenerate input) never count as a hit. The operations
    // and their order are fixed: the hierarchy's four-wide copy of this test
    // must give the same answers bit for bit.
    bool hitParameters(const GRay& ray, float tMax, float& t, float& u, float& v) const {
        const HPoint& p0 = vertices[0]->position;
        HPoint e1 = vertices[1]->position.difference(p0);
        HPoint e2 = vertices[2]->position.difference(p0);
        HPoint p = ray.direction.cross(e2);
        float det = e1.dot(p);
        // Nearly parallel rays are refused relative to the triangle's size:
        // a fixed cut-off on det (which scales with the area) would drop every
        // ray through small triangles of finely tessellated meshes.
        if (!(det * det > parallelThreshold(e1, e2))) return false;
        float inv = 1.0f / det;
        HPoint s = ray.origin.difference(p0);
        u = s.dot(p) * inv;
        if (!(u >= 0.0f && u <= 1.0f)) return false;
        HPoint q = s.cross(e1);
        v = inv * ray.direction.dot(q);
        if (!(v >= 0.0f && u + v <= 1.0f)) return false;
        t = inv * e2.dot(q);
        return t >= epsilon && t <= tMax;
    }
    // det^2 at or below this means the ray is parallel to the plane: |cos| of
    // the angle between ray and normal at most 1e-6 (the classic 1e-6 cut-off
    // for a triangle whose edge cross product has unit length).
    static float parallelThreshold(const HPoint& e1, const HPoint& e2) {
        HPoint n = e1.cross(e2);
        return 1e-12f * n.dot(n);
    }
    // Writes an accepted hit at distance t with weights (1 - u - v, u, v).
    void fillHit(const GRay& ray, HitRecord& hit, float t, float u, float v);
    // What intersect does, without virtual dispatch.
    bool intersectTriangle(const GRay& ray, HitRecord& hit) {
        float t, u, v;
        if (!hitParameters(ray, hit.t, t, u, v)) return false;
        fillHit(ray, hit, t, u, v);
        return true;
    }

    // Unit geometric normal (zero for a degenerate triangle), w = 1.
    HPoint geometricNormal() const;
    float area() const;
    // Shading normal at weights (w0, w1, w2) of (V0, V1, V2).
    HPoint shadingNormal(float w0, float w1, float w2) const;
    // GTriangle keeps no mailbox.
    unsigned rayStamp() const { return 0; }

    bool intersect(GRay& ray, HitRecord& hit) override { return intersectTriangle(ray, hit); }
    // Sets the material of all three vertices (shared with the neighbours).
    void setMaterial(GMaterial* material) override;
    // V0's material.
    GMaterial* getMaterial() override;
    void setRayStamp(unsigned rayId) override { (void)rayId; }
    void clearRayStamp(unsigned rayId) override { (void)rayId; }
    void getBounds(HPoint& min, HPoint& max) override;
    bool isEmitter() override;
    // A uniform point on the triangle seen from hit.point: unit direction,
    // distance and colour = emission at the receiver's hit times
    // |area (direction . n)| / (pi distance^2). Always true.
    bool sampleLight(HPoint& direction, HPoint& color, float& distance, HitRecord& hit) override;
    // The same colour for a given point on the triangle.
    void evaluateLight(HitRecord& receiver, const HPoint& pointOnLight, HPoint& color) override;
    // A new light ray from a uniform point, cosine-distributed about the
    // shading normal there; power = emittedPower.
    void emitRay(GRay& ray, HPoint& power, HPoint& normal) override;
    // Emission at texture coordinate (0, 0) times area / pi.
    void emittedPower(HPoint& color) override;
    // A uniform point, its shading normal, the emission at (0, 0) and the
    // area density 1 / area. Always true.
    bool samplePoint(HPoint& point, HPoint& normal, HPoint& emission, float& density) override;
    // Light factor area |cos| / (pi d^2) towards pointOnLight; 0 when the
    // receiver sits on the light point.
    float lightFactor(const HPoint& receiver, const HPoint& pointOnLight, HPoint& toLight, float& distance) const;
};
