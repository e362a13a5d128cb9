// GPointCloud: a set of points drawn as a smooth implicit surface. Every point
// (a GSphere used for its centre and colour) adds isoFunction(|p - c|^2) to a
// field F; the surface is F = isoValue, found by marching along the ray and
// refining the crossing. Points are bucketed into vertical rods (a hashtable
// of (x, y) cells, each sorted by z), so that F at p only visits the 3 x 3
// cells around p and, in each, the z-window of the support radius.
//
// A hit's shading normal is the field's gradient and its diffuse colour the
// points' colours blended by kernelFunction: the colour travels in the hit's
// texture coordinates, which the cloud's material reads as its diffuse
// colour (a pass-through texture).
#pragma once

#include <vector>

#include "foundation/JHashtable.h"
#include "foundation/JVector.h"
#include "geometry/RayMailbox.h"
#include "geometry/GSceneObject.h"
#include "image/PresampledFunction.h"

class GMaterial;
class GScene;
class GSphere;
class GTexture;

// A rod's cell.
struct XYLoc {
    int x, y;
    bool operator==(const XYLoc& other) const { return x == other.x && y == other.y; }
};

class GPointCloud : public GSceneObject {
public:
    HPoint boxMin, boxMax;
    RayMailbox lastRayId;
    JVector<GSphere> points;
    GMaterial* material;  // owned by the scene's allObjects
    float cellSize[2];
    float inverseCellSize[2];
    JHashtable<XYLoc, JVector<GSphere>> rods;
    float isoValue;
    float marchStep;
    float shadowStep;
    float marchStart;
    float normalDelta;
    int refineSteps;
    PresampledFunction isoFunction;
    PresampledFunction kernelFunction;

    GPointCloud();
    ~GPointCloud() override;
    GPointCloud(const GPointCloud&) = delete;
    GPointCloud& operator=(const GPointCloud&) = delete;

    // Class id 1020, but its type id is the grid's (1016), as the format has it.
    bool isKindOf(int id) const override { return id == ClassId::GPointCloud || GSceneObject::isKindOf(id); }
    int typeId() const override { return ClassId::GBoundingBox; }
    // "GPointCloud@%x (x,y,z)-(x,y,z), N rods"
    const char* toString() const override;

    // The "point_cloud" block: "{", keywords, "}", then the point file is
    // loaded, the rods built and the march steps derived.
    bool parse(GScene* scene) override;

    bool intersect(GRay& ray, HitRecord& hit) override;
    bool occludes(GRay& ray, HPoint& shadowColor, float limit) override;
    void getBounds(HPoint& min, HPoint& max) override {
        min = boxMin;
        max = boxMax;
    }
    GMaterial* getMaterial() override { return material; }
    void setMaterial(GMaterial* newMaterial) override { (void)newMaterial; }
    void setRayStamp(unsigned rayId) override { lastRayId.stamp(rayId, this); }
    void draw(void* context) override { (void)context; }
    // The blended point colour at hit.point.
    void colorAt(HPoint& color, HitRecord& hit) override;

    // F at p (0 without rods).
    float field(const HPoint& p) const;
    // The kernel-weighted mean of the point colours at p; (0, 0, 0, 1) when no
    // point is near.
    HPoint blendedColor(const HPoint& p) const;
    // normalize(grad F) by forward differences of normalDelta; (0, 0, 1)
    // where F is flat.
    HPoint normalAt(const HPoint& p) const;

    // Adds a point (before buildRods); the cloud keeps it alive.
    void addPoint(GSphere* point);
    // Buckets the points into rods when there are more than minObjectsInGrid.
    void buildRods();
    // The box widened by the iso function's support radius and the march
    // steps from it and the ray-marching settings.
    void deriveMarch();

private:
    std::vector<GSphere*> ownedPoints;
    std::vector<XYLoc*> ownedKeys;
    std::vector<JVector<GSphere>*> ownedRods;
    GTexture* colorTexture = nullptr;  // owned: the pass-through diffuse texture

    XYLoc cellOf(const HPoint& p) const;
    // Calls visit(point, d2) for every point of the 3 x 3 cells around p whose
    // z lies within the window of a support (squared radius).
    template <class Visit>
    void walk(const HPoint& p, float support, Visit visit) const;
    bool slab(const GRay& ray, float limit, float& near, float& far) const;
    void loadPoints(const char* fileName, GScene* scene);
};
