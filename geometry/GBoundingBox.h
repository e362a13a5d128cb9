// GBoundingBox: a scene object that holds other scene objects and speeds rays
// through them with a uniform grid whose non-empty voxels live in a hash table
// (BBVoxel.h). It is the scene's top-level accelerator (GScene::prepare) and
// the native "shape" block, whose mesh file it loads into its own objects.
//
// Use: addObject (or loadMesh), then build once; objects are not added after
// the build. A box of minObjectsInGrid objects or fewer is not voxelised and
// tests its objects one by one behind its bounding-box test.
//
// A walk tests the objects of each voxel four at a time: undisplaced
// GInverseTriangles on a cached copy of their plane test, every other object
// through its own intersect. The box's mailbox array (one ray id per object)
// keeps each object to one call per ray; the objects' own mailboxes still
// apply (the surface a ray leaves from stays stamped).
//
// Ownership: the box never deletes the objects it holds, except those it was
// handed with adopt (objects listed in no scene list, such as the spheres of
// a point set): the scene's lists keep everything else alive.
#pragma once

#include <cstdio>
#include <vector>

#include "foundation/GMatrix.h"
#include "foundation/JVector.h"
#include "geometry/RayMailbox.h"
#include "geometry/BBVoxel.h"
#include "geometry/GSceneObject.h"

class GScene;

class GBoundingBox : public GSceneObject {
public:
    HPoint boxMin;  // (3.4028235e38, ...) until an object is added
    HPoint boxMax;  // (-3.4028235e38, ...)
    RayMailbox lastRayId;  // mailbox
    JVector<GSceneObject> objects;
    bool gridBuilt = false;
    // Voxel entries a build may make: 32 per object and this many more.
    static constexpr int entryBudgetFloor = 262144;
    // Voxel fills the last build made (each costs up to its entry budget).
    int fillsMade = 0;
    int resolution[3] = {0, 0, 0};      // nx, ny, nz
    float voxelSize[3] = {0.0f, 0.0f, 0.0f};
    VoxelTable voxels;

    GBoundingBox();
    ~GBoundingBox() override;
    GBoundingBox(const GBoundingBox&) = delete;
    GBoundingBox& operator=(const GBoundingBox&) = delete;

    bool isKindOf(int id) const override { return id == ClassId::GBoundingBox || GSceneObject::isKindOf(id); }
    int typeId() const override { return ClassId::GBoundingBox; }
    // "GBoundingBox@<address> (x,y,z)-(x,y,z)" with the corners, two decimals.
    const char* toString() const override;

    // Extends the box by the object's bounds and appends it.
    void addObject(GSceneObject* object);
    // Grows the box to hold point with a margin of the global epsilon.
    void extend(const HPoint& point);
    // Chooses the resolution, fills the voxels and prints the statistics;
    // nothing happens with minObjectsInGrid objects or fewer.
    void build();

    // Nearest hit among the objects, through the grid when it is built.
    bool intersect(GRay& ray, HitRecord& hit) override;
    // True when some object blocks the ray before limit. Through the grid the
    // walk ends at the first blocker, or after the voxel entered beyond limit.
    bool occludes(GRay& ray, HPoint& shadowColor, float limit) override;
    // Reference answers that test every object from the last to the first,
    // bypassing the grid and the box's own mailbox and bounds.
    bool intersectEveryObject(GRay& ray, HitRecord& hit);
    bool occludesEveryObject(GRay& ray, HPoint& shadowColor, float limit);

    void draw(void* context) override { (void)context; }
    void setMaterial(GMaterial* material) override { (void)material; }
    GMaterial* getMaterial() override { return nullptr; }
    void setRayStamp(unsigned rayId) override { lastRayId.stamp(rayId, this); }
    void clearRayStamp(unsigned rayId) override { lastRayId.stamp(rayId, this); }
    void getBounds(HPoint& min, HPoint& max) override {
        min = boxMin;
        max = boxMax;
    }

    // The native "shape" block: material keywords, "file", "rotation",
    // "scale", "translation"; then loads the mesh file. False when the block
    // does not open with "{" or the input ends inside it.
    bool parse(GScene* scene) override;
    // Reads a mesh file ("POINT_CLOUD" sphere sets, "ply", 'n' and 'c'
    // polygons) into the box, then builds. Created objects are entered in the
    // scene's allObjects, or adopted by the box when scene is null.
    void loadMesh(const char* fileName, GScene* scene, GMaterial* material, const GMatrix& transform,
                  const GMatrix& normalTransform, bool perGroupMaterial = true);
    // YafRay export of the GTriangles held (spheres and nested boxes write
    // their own export).
    void emitVrml(FILE* file) override;

    // The voxel holding point p (not clamped to the resolution).
    void voxelOf(const HPoint& p, int voxel[3]) const;
    // The box deletes this object when it is destroyed.
    void adopt(GObject* object) { ownedObjects.push_back(object); }
    // Enters a created object in the scene's allObjects, or adopts it.
    void registerObject(GScene* scene, GObject* object);
    // The running total the statistics print ("TOTAL = %d"), over all grids.
    static int statisticsTotal();

private:
    // Fills the voxels at the current resolution; false (and the voxels
    // cleared) when the entries would exceed entryBudget.
    bool fillVoxels(size_t entryBudget);
    bool insertCube(const int low[3], const int high[3], uint32_t object, size_t entryBudget);
    // A lower bound on the entries fillVoxels would make at the current
    // resolution, found without filling anything.
    double leastEntries();
    struct VoxelCube {
        int low[3], high[3];
    };
    void triangleCubes(const HPoint& a, const HPoint& b, const HPoint& c, int depth,
                       std::vector<VoxelCube>& cubes);
    double leastTriangleEntries(const HPoint& a, const HPoint& b, const HPoint& c,
                                std::vector<VoxelCube>& cubes);
    bool voxelizeTriangle(uint32_t object, const HPoint& a, const HPoint& b, const HPoint& c, int depth,
                          size_t entryBudget);
    void chooseResolution(float targetVoxels);
    void printStatistics();
    // Clips the ray to the box: false when it misses or enters beyond limit.
    bool clip(const GRay& ray, float limit, float& nearT, float& farT) const;
    bool walkClosest(GRay& ray, HitRecord& hit, float tStart, float tLimit);
    bool walkShadow(GRay& ray, HPoint& shadowColor, float limit, float tStart, float tLimit);

    std::vector<RayMailbox> stamps;  // per object: the last ray this grid handed it to
    std::vector<GObject*> ownedObjects;
};
