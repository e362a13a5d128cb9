// LBVHbox: a compact bounding volume hierarchy over many scene objects (the
// triangles of one mesh). The tree is a complete 4-ary tree stored implicitly
// in one array (the children of node i are 4i + 1 ... 4i + 4); every node box
// is six 16-bit integers in quanta of the whole mesh's bounding box. Internal
// nodes are 0 ... F - 1, leaves F ... N - 1, and leaf L holds object L - F.
//
// Use: addObject for every object, then build once; after that intersect and
// occludes walk the tree. A box of zero or one object is a single leaf (the
// root), which holds object 0 when there is one.
//
// When every object is a GTriangle the leaves' triangles are also copied into
// a flat array laid out for a four-wide test, so the traversal tests them
// without virtual calls; the answers are those of GTriangle::intersect.
#pragma once

#include <cstdint>
#include <vector>

#include "foundation/JVector.h"
#include "geometry/RayMailbox.h"
#include "geometry/GSceneObject.h"

// One node box, in quanta from LBVHbox::boxMin. An empty node has
// x0 = y0 = z0 = 1 and x1 = y1 = z1 = 0.
struct LBVHNode {
    int16_t x0, x1, y0, y1, z0, z1;
};
static_assert(sizeof(LBVHNode) == 12, "LBVHNode must stay 12 bytes");

// Flat copies of four leaf triangles (the children of one internal node),
// one lane per child: corner V0, the edges V1 - V0, V2 - V0 and the
// determinant cut-off. Lanes of
// internal children or of leaves without an object are all zero, which the
// triangle test rejects (zero determinant).
struct alignas(16) LBVHTriangleGroup {
    float v0x[4], v0y[4], v0z[4];
    float e1x[4], e1y[4], e1z[4];
    float e2x[4], e2y[4], e2z[4];
    float parallelThreshold[4]; // GTriangle::parallelThreshold of each lane
};

class LBVHbox : public GSceneObject {
public:
    LBVHbox();
    ~LBVHbox() override;
    LBVHbox(const LBVHbox&) = delete;
    LBVHbox& operator=(const LBVHbox&) = delete;

    bool isKindOf(int id) const override {
        return id == ClassId::LBVHbox || GSceneObject::isKindOf(id);
    }
    int typeId() const override { return ClassId::LBVHbox; }
    // "LBVHbox@%x %s" with the bounding box as text.
    const char* toString() const override;

    // Extends the bounds by the object's box and appends it.
    void addObject(GSceneObject* object);
    // Builds the tree over the objects added so far (replacing an earlier
    // tree) and reorders objects so that leaf L holds object L - F.
    void build();

    // Nearest hit among the objects (mailboxed on the ray id).
    bool intersect(GRay& ray, HitRecord& hit) override;
    // True at the first object that blocks the ray before limit.
    bool occludes(GRay& ray, HPoint& shadowColor, float limit) override;
    void draw(void* context) override { (void)context; }
    // Its triangles as one YafRay mesh object, like a uniform grid's.
    void emitVrml(FILE* file) override;
    void setMaterial(GMaterial* material) override { (void)material; }
    void setRayStamp(unsigned rayId) override { lastRayId.stamp(rayId, this); }
    void getBounds(HPoint& min, HPoint& max) override {
        min = boxMin;
        max = boxMax;
    }

    // Reference answers that test every object in turn, bypassing the tree
    // (no mailbox): for tests and comparisons.
    bool intersectEveryObject(GRay& ray, HitRecord& hit);
    bool occludesEveryObject(GRay& ray, HPoint& shadowColor, float limit);

    // First leaf index F (0 for a single-leaf tree); valid after build.
    int firstLeaf() const { return leafStart; }
    // Number of objects the current tree was built over.
    int builtObjectCount() const { return builtCount; }
    // True when the tree's leaves are all GTriangles tested from the flat array.
    bool usesTriangleArray() const { return !triangleGroups.empty(); }
    // Parent of the first leaf, and the leaf triangles of each node from it on.
    int leafGroup() const { return leafGroupStart; }
    const LBVHTriangleGroup* triangleGroupArray() const { return triangleGroups.data(); }

    // The traversals: the baseline one, one with AVX2 and FMA, and for meshes
    // of triangles one with AVX-512 that takes two levels per step. All give
    // the same answers; queries use `traversal`, by default the fastest the
    // processor supports. Tests switch it to check each one.
    enum class Traversal { baseline, fused, wide };
    static Traversal traversal;
    static bool supports(Traversal kind);

    LBVHNode* nodes;         // owned; nullptr until build
    HPoint boxMin, boxMax;   // bounds of all objects (widened by epsilon in build)
    int nodeCount;           // N, with N mod 4 = 1
    float quantum[3];        // box extent / 32760 per axis
    float inverseQuantum[3]; // 1 / quantum, for the per-ray set-up
    RayMailbox lastRayId;    // mailbox
    JVector<GSceneObject> objects;

private:
    struct BuildItem;
    struct BuildState;
    void fillNode(BuildState& state, int node, int first, int last);
    void sortRange(BuildState& state, int first, int last, int axis);
    void quantiseNode(int node, const float* lo, const float* hi);
    void buildTriangleGroups();

    template <bool shadow, bool triangles>
    bool dispatchOctant(GRay& ray, HitRecord* hit, HPoint* shadowColor, float limit);
    bool testRoot(const GRay& ray, float limit) const;
    void slabConstants(const GRay& ray, float* a, float* s) const;

    void* nodeStorage;  // raw allocation behind nodes (aligned for the group loads)
    int leafStart;      // F
    int builtCount;     // objects covered by the tree
    int leafGroupStart; // parent of the first leaf: first internal node whose children include
                        // leaves
    std::vector<LBVHTriangleGroup> triangleGroups; // one per internal node from leafGroupStart
};
