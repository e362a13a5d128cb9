// GInverseTriangle: the triangle of the meshes held by the uniform grid. It
// precomputes its plane and a 2-D projection for a fast inside test, keeps a
// mailbox (one triangle sits in many voxels), and, when its material's
// displacement attribute is a height texture, is intersected as a displaced
// surface: the ray is clipped to a thin shell around the triangle and the
// height field is inverted along the ray, instead of tessellating it.
//
// The plane normal agrees with V0's vertex normal (unless flat). A zero-area
// triangle never reports a hit. The displaced surface at weights (a, b, c) is
// a V0 + b V1 + c V2 + h N, with N the interpolated (unnormalised) vertex
// normal and h the texture's scalar at the interpolated texture coordinate.
#pragma once

#include <cstdint>

#include "geometry/RayMailbox.h"
#include "geometry/DisplacementShell.h"
#include "geometry/GSceneObject.h"
#include "geometry/GVertex.h"

class GTexture;

class GInverseTriangle : public GSceneObject {
public:
    static const unsigned flat = 1u;       // shade with the plane normal
    static const unsigned displaced = 2u;  // the displacement shell was built

    GVertex* vertices[3] = {nullptr, nullptr, nullptr};  // not owned
    HPoint plane;                 // unit normal and offset d = -(n . V0); (0, 0, 0, 1) until set up
    RayMailbox lastRayId;         // mailbox
    int16_t axisU = 0, axisV = 1; // the coordinate axes kept by the 2-D inside test
    unsigned flags = 0;
    float inverseDeterminant = 0.0f;  // of the projected edge matrix; 0 for a degenerate triangle
    DisplacementShell* shell = nullptr;  // owned; only for displaced triangles

    GInverseTriangle() {}
    ~GInverseTriangle() override;
    GInverseTriangle(const GInverseTriangle&) = delete;
    GInverseTriangle& operator=(const GInverseTriangle&) = delete;

    bool isKindOf(int id) const override {
        return id == ClassId::GInverseTriangle || GSceneObject::isKindOf(id);
    }
    int typeId() const override { return ClassId::GInverseTriangle; }
    // "GInverseTriangle@<address>"
    const char* toString() const override;

    // Stores the corners and precomputes plane and projection (set flat in
    // flags first if wanted). With allowDisplacement and a displacement
    // texture on V0's material, also builds the shell. Vertex normals must
    // then lean to the plane normal's side (n_i . n > 0); otherwise the
    // triangle stays undisplaced.
    void setVertices(GVertex* v0, GVertex* v1, GVertex* v2, bool allowDisplacement = true);
    // The height texture of V0's material (scalar attribute 5), or null.
    GTexture* displacementTexture() const;

    // Mailbox, then the plane test or the displaced-surface test.
    bool intersect(GRay& ray, HitRecord& hit) override;
    // Sets the material of all three vertices. The displacement shell is built
    // by setVertices only; a later material does not change it.
    void setMaterial(GMaterial* material) override;
    GMaterial* getMaterial() override;
    void setRayStamp(unsigned rayId) override { lastRayId.stamp(rayId, this); }
    // Displaced triangles must be hit again by rays leaving them (their
    // surface shadows itself), so they keep the stamp they have.
    void clearRayStamp(unsigned rayId) override {
        if (!shell) lastRayId.stamp(rayId, this);
    }
    int rayStamp() const { return (int)lastRayId.load(); }
    // The corners, or for a displaced triangle the corners moved along their
    // normals by the lowest (less 8 % of the range) and the highest height.
    void getBounds(HPoint& min, HPoint& max) override;
    bool isEmitter() override;
    // As GTriangle's, with the plane normal and the factor clamped to 1.
    bool sampleLight(HPoint& direction, HPoint& color, float& distance, HitRecord& hit) override;
    void evaluateLight(HitRecord& receiver, const HPoint& pointOnLight, HPoint& color) override;
    void emitRay(GRay& ray, HPoint& power, HPoint& normal) override;
    void emittedPower(HPoint& color) override;

    float area() const;
    HPoint planeNormal() const { return HPoint(plane.x, plane.y, plane.z, 1.0f); }
    // Shading normal of the undisplaced triangle at weights (w0, w1, w2).
    HPoint shadingNormal(float w0, float w1, float w2) const;
    // The displaced surface at weights (a, b, c) and its unit normal by finite
    // differences (towards the plane normal's side); for an undisplaced
    // triangle the plain point and shading normal.
    HPoint displacedPoint(float a, float b, float c) const;
    HPoint displacedNormal(float a, float b, float c) const;
    // Inverts a point inside the shell of a displaced triangle: the weights
    // and height under which the displaced surface would pass through it.
    void invertPoint(const HPoint& x, DisplacementSample& sample) const;
    // Light factor area |cos| / (pi d^2) towards pointOnLight, at most 1.
    float lightFactor(const HPoint& receiver, const HPoint& pointOnLight, HPoint& toLight, float& distance) const;

private:
    bool intersectPlane(const GRay& ray, HitRecord& hit);
    // Displaced-surface test (GInverseTriangleDisplaced.cpp).
    bool intersectDisplaced(const GRay& ray, HitRecord& hit);
    void buildShell(GTexture* texture);
    float heightAt(float u, float v) const;
    // The point at weights (a, b, c) moved by the height there along direction.
    HPoint displaceAlong(float a, float b, float c, const HPoint& direction) const;
    void projectWeights(const HPoint& x, const HPoint& q0, const HPoint& q1, const HPoint& q2, float& b0, float& b1,
                        float& b2) const;
    // Lowest and highest height the texture can give inside a rectangle of
    // texture coordinates.
    void surfaceBounds(float ua, float va, float ub, float vb, float& low, float& high) const;
    bool searchSegment(const GRay& ray, float segmentStart, float length, const DisplacementSample& first,
                       const DisplacementSample& middle, const DisplacementSample& last, HitRecord& hit);
    void acceptDisplacedHit(const GRay& ray, float t, float b0, float b1, float b2, HitRecord& hit);
};
