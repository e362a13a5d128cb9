#include "geometry/LBVHbox.h"

#include <immintrin.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

#include "foundation/FatalExit.h"
#include "foundation/Settings.h"
#include "geometry/GTriangle.h"
#include "geometry/MeshXmlWriter.h"

namespace {

const float largestFloat = 3.4028235e38f;
// Quanta across the widened box; node faces stay below the int16 limit.
const float quantaPerExtent = 32760.0f;
// Traversal stack: 3 entries per level + 1 suffice, and an int node index
// gives at most 16 levels.
const int traversalStackSize = 64;

// The first 32-bit word of a node holds its subtree's object count during build.
int subtreeCount(const LBVHNode* nodes, int node) {
    int32_t value;
    std::memcpy(&value, &nodes[node], sizeof value);
    return value;
}

void setSubtreeCount(LBVHNode* nodes, int node, int value) {
    int32_t stored = value;
    std::memcpy(&nodes[node], &stored, sizeof stored);
}

void makeEmpty(LBVHNode& node) {
    node.x0 = node.y0 = node.z0 = 1;
    node.x1 = node.y1 = node.z1 = 0;
}

// The traversal meets the faces through float arithmetic whose error is a few
// thousandths of a quantum; a face that lies within that of its object could
// let a grazing ray slip past. So a face is moved one more quantum out when
// the object lies closer than faceMargin to it. The quotient is worked in
// double so that its rounding cannot lift the face past the object either.
const double faceMargin = 1.0 / 64.0;

// Lower face: rounded down. Non-finite input gives the widest face.
int16_t quantiseLower(float value, float origin, float quantum) {
    double q = std::floor(((double)value - (double)origin) / (double)quantum - faceMargin);
    if (!(q >= 0.0))
        return 0;
    if (q > 32767.0)
        return 32767;
    return (int16_t)q;
}

// Upper face: rounded up by a whole quantum.
int16_t quantiseUpper(float value, float origin, float quantum) {
    double q = std::floor(((double)value - (double)origin) / (double)quantum + 1.0 + faceMargin);
    if (!(q <= 32767.0))
        return 32767;
    if (q < 0.0)
        return 0;
    return (int16_t)q;
}

// Longest axis: x if its extent is at least the others, else y if longer than z.
int longestAxis(const float* lo, const float* hi) {
    float ex = hi[0] - lo[0], ey = hi[1] - lo[1], ez = hi[2] - lo[2];
    if (ex >= ey && ex >= ez)
        return 0;
    return ey > ez ? 1 : 2;
}

float component(const HPoint& p, int axis) {
    return axis == 0 ? p.x : (axis == 1 ? p.y : p.z);
}

} // namespace

// ---------------------------------------------------------------------------
// Build

struct LBVHbox::BuildItem {
    float lo[3];
    float hi[3];
    int index; // position in objects before the build
    int pad;
};

struct LBVHbox::BuildState {
    // Left uninitialised: every slot is written before it is read.
    std::unique_ptr<BuildItem[]> items, scratch;
    std::unique_ptr<uint16_t[]> keys, keyScratch;

    explicit BuildState(int count)
        : items(new BuildItem[count]), scratch(new BuildItem[count]), keys(new uint16_t[count]),
          keyScratch(new uint16_t[count]) {}

    void bounds(int first, int last, float* lo, float* hi) const {
        lo[0] = lo[1] = lo[2] = largestFloat;
        hi[0] = hi[1] = hi[2] = -largestFloat;
        for (int i = first; i <= last; i++) {
            const BuildItem& item = items[i];
            for (int axis = 0; axis < 3; axis++) {
                if (item.lo[axis] < lo[axis])
                    lo[axis] = item.lo[axis];
                if (item.hi[axis] > hi[axis])
                    hi[axis] = item.hi[axis];
            }
        }
    }
};

LBVHbox::LBVHbox()
    : nodes(nullptr), boxMin(largestFloat, largestFloat, largestFloat, 1.0f),
      boxMax(-largestFloat, -largestFloat, -largestFloat, 1.0f),
      nodeCount(0), quantum{0.0f, 0.0f, 0.0f}, inverseQuantum{1.0f, 1.0f, 1.0f}, lastRayId(0),
      objects(8), nodeStorage(nullptr), leafStart(0), builtCount(0), leafGroupStart(0) {}

LBVHbox::~LBVHbox() {
    std::free(nodeStorage);
}

const char* LBVHbox::toString() const {
    static thread_local char buffer[objectTextSize + 128];
    char name[objectTextSize];
    formatClassAddress(name, objectTextSize, "LBVHbox", this);
    AxisBox box(boxMin, boxMax);
    std::snprintf(buffer, sizeof buffer, "%s %s", name, box.toString());
    return buffer;
}

void LBVHbox::addObject(GSceneObject* object) {
    HPoint lo, hi;
    object->getBounds(lo, hi);
    boxMin.componentMin(lo);
    boxMax.componentMax(hi);
    // The box is a point set: keep w at 1 whatever the objects' corners carry.
    boxMin.w = boxMax.w = 1.0f;
    objects.add(object);
}

void LBVHbox::build() {
    int count = objects.count;

    // 1. Widen the box and derive the quanta.
    boxMin = HPoint(boxMin.x - epsilon, boxMin.y - epsilon, boxMin.z - epsilon, 1.0f);
    boxMax = HPoint(boxMax.x + epsilon, boxMax.y + epsilon, boxMax.z + epsilon, 1.0f);
    for (int axis = 0; axis < 3; axis++) {
        float q = (component(boxMax, axis) - component(boxMin, axis)) / quantaPerExtent;
        // A flat box (epsilon 0, or coordinates so large that epsilon vanishes)
        // or no objects at all would give a zero or negative quantum and divide
        // by zero below; any positive quantum bounds a zero extent.
        if (!(q > 0.0f))
            q = 1.0f;
        quantum[axis] = q;
        inverseQuantum[axis] = 1.0f / q;
    }

    // 2. Node count: (count * 4) / 3, raised to 1 mod 4.
    long long wanted = (long long)count * 4 / 3;
    while (wanted % 4 != 1)
        wanted++;
    if (wanted > 0x7ffffff0LL) {
        std::fprintf(stderr, "LBVHbox: too many objects (%d)\n", count);
        fatalExit(1);
    }
    nodeCount = (int)wanted;
    leafStart = nodeCount == 1 ? 0 : (nodeCount - 2) / 4 + 1;
    // Internal nodes below this one have only internal children.
    leafGroupStart = nodeCount == 1 ? 0 : (leafStart - 1) / 4;
    builtCount = count;

    // Nodes start 4 bytes past a 64-byte boundary, so every group of four
    // children (first index 4i + 1) begins on a 16-byte boundary and every
    // block of sixteen grandchildren (16i + 5) on a 64-byte one.
    std::free(nodeStorage);
    size_t bytes = (size_t)nodeCount * sizeof(LBVHNode) + 128;
    nodeStorage = std::malloc(bytes);
    if (!nodeStorage) {
        std::fprintf(stderr, "out of memory\n");
        fatalExit(1);
    }
    uintptr_t base = ((uintptr_t)nodeStorage + 63) & ~(uintptr_t)63;
    nodes = reinterpret_cast<LBVHNode*>(base + 4);
    std::memset(nodes, 0, (size_t)nodeCount * sizeof(LBVHNode));

    // 3. Subtree counts: one object per leaf from F on, summed upwards.
    if (nodeCount > 1) {
        for (int i = 0; i < count; i++)
            setSubtreeCount(nodes, leafStart + i, 1);
        for (int i = leafStart - 1; i >= 0; i--) {
            setSubtreeCount(nodes, i,
                            subtreeCount(nodes, 4 * i + 1) + subtreeCount(nodes, 4 * i + 2) +
                                subtreeCount(nodes, 4 * i + 3) + subtreeCount(nodes, 4 * i + 4));
        }
    }

    // 4. Recursive fill, sorting the objects as it descends.
    BuildState state(count);
    for (int i = 0; i < count; i++) {
        HPoint lo, hi;
        objects[i]->getBounds(lo, hi);
        BuildItem& item = state.items[i];
        item.lo[0] = lo.x;
        item.lo[1] = lo.y;
        item.lo[2] = lo.z;
        item.hi[0] = hi.x;
        item.hi[1] = hi.y;
        item.hi[2] = hi.z;
        item.index = i;
        item.pad = 0;
    }
    fillNode(state, 0, 0, count - 1);

    // 5. Reorder so that leaf L holds object L - F. The fill laid the objects
    // out in tree order: the deepest level's leaves (from D on) come first,
    // then the leaves of the level above.
    if (count > 0) {
        long long deepest = 0;
        for (long long first = 1; first < nodeCount; first = first * 4 + 1)
            deepest = first;
        long long shift = ((long long)count + leafStart - deepest) % count;
        if (shift < 0)
            shift += count;
        std::vector<GSceneObject*> old(count);
        for (int i = 0; i < count; i++)
            old[i] = objects[state.items[i].index];
        for (int i = 0; i < count; i++)
            objects.elements[i] = old[(size_t)((i + shift) % count)];
    }

    buildTriangleGroups();
}

void LBVHbox::fillNode(BuildState& state, int node, int first, int last) {
    int s1 = 0, s2 = 0, s3 = 0, s4 = 0;
    bool leaf = 4LL * node + 4 >= nodeCount;
    if (!leaf) {
        // Read the children's counts before anything overwrites them.
        s1 = subtreeCount(nodes, 4 * node + 1);
        s2 = subtreeCount(nodes, 4 * node + 2);
        s3 = subtreeCount(nodes, 4 * node + 3);
        s4 = subtreeCount(nodes, 4 * node + 4);
    }
    makeEmpty(nodes[node]);
    if (last < first) {
        // An empty subtree: its nodes still hold counts, so empty them all.
        if (!leaf) {
            for (int child = 4 * node + 1; child <= 4 * node + 4; child++)
                fillNode(state, child, 0, -1);
        }
        return;
    }

    float lo[3], hi[3];
    if (node == 0) {
        lo[0] = boxMin.x;
        lo[1] = boxMin.y;
        lo[2] = boxMin.z;
        hi[0] = boxMax.x;
        hi[1] = boxMax.y;
        hi[2] = boxMax.z;
    } else {
        state.bounds(first, last, lo, hi);
    }
    quantiseNode(node, lo, hi);
    if (leaf)
        return;

    if (last - first > 3)
        sortRange(state, first, last, longestAxis(lo, hi));

    // Left pair: sorted along its own longest axis, then split s1 | s2.
    int pairEnd = first + s1 + s2 - 1;
    if (s1 + s2 > 2) {
        state.bounds(first, pairEnd, lo, hi);
        sortRange(state, first, pairEnd, longestAxis(lo, hi));
    }
    fillNode(state, 4 * node + 1, first, first + s1 - 1);
    fillNode(state, 4 * node + 2, first + s1, pairEnd);

    // Right pair likewise, s3 | s4.
    if (s3 + s4 > 2) {
        state.bounds(pairEnd + 1, last, lo, hi);
        sortRange(state, pairEnd + 1, last, longestAxis(lo, hi));
    }
    fillNode(state, 4 * node + 3, pairEnd + 1, pairEnd + s3);
    fillNode(state, 4 * node + 4, pairEnd + s3 + 1, last);
}

void LBVHbox::quantiseNode(int node, const float* lo, const float* hi) {
    LBVHNode& box = nodes[node];
    box.x0 = quantiseLower(lo[0], boxMin.x, quantum[0]);
    box.x1 = quantiseUpper(hi[0], boxMin.x, quantum[0]);
    box.y0 = quantiseLower(lo[1], boxMin.y, quantum[1]);
    box.y1 = quantiseUpper(hi[1], boxMin.y, quantum[1]);
    box.z0 = quantiseLower(lo[2], boxMin.z, quantum[2]);
    box.z1 = quantiseUpper(hi[2], boxMin.z, quantum[2]);
}

// Stable LSD radix sort of items first..last by the quantised lower bound on
// the axis: 2 passes of 8 bits from 256 objects on, 8 passes of 2 bits below
// 16, else 4 passes of 4 bits. A pass whose digit is the same for every item
// would not move anything and is skipped.
void LBVHbox::sortRange(BuildState& state, int first, int last, int axis) {
    int n = last - first + 1;
    if (n < 2)
        return;
    float origin = component(boxMin, axis);
    float q = quantum[axis];
    BuildItem* src = &state.items[first];
    BuildItem* dst = &state.scratch[first];
    uint16_t* keySrc = &state.keys[first];
    uint16_t* keyDst = &state.keyScratch[first];
    for (int i = 0; i < n; i++) {
        float key = std::trunc((src[i].lo[axis] - origin) / q);
        if (!(key >= 0.0f))
            key = 0.0f;
        if (key > 65535.0f)
            key = 65535.0f;
        keySrc[i] = (uint16_t)key;
    }

    int bits = n >= 256 ? 8 : (n < 16 ? 2 : 4);
    int buckets = 1 << bits;
    unsigned mask = (unsigned)buckets - 1;
    int offsets[256];
    for (int shift = 0; shift < 16; shift += bits) {
        std::memset(offsets, 0, sizeof(int) * buckets);
        for (int i = 0; i < n; i++)
            offsets[(keySrc[i] >> shift) & mask]++;
        bool trivial = false;
        for (int b = 0; b < buckets; b++) {
            if (offsets[b] == n)
                trivial = true;
        }
        if (trivial)
            continue;
        int running = 0;
        for (int b = 0; b < buckets; b++) {
            int size = offsets[b];
            offsets[b] = running;
            running += size;
        }
        for (int i = 0; i < n; i++) {
            int slot = offsets[(keySrc[i] >> shift) & mask]++;
            dst[slot] = src[i];
            keyDst[slot] = keySrc[i];
        }
        std::swap(src, dst);
        std::swap(keySrc, keyDst);
    }
    if (src != &state.items[first])
        std::memcpy(&state.items[first], src, sizeof(BuildItem) * n);
}

// When every object is a GTriangle, copy the leaves' triangles, four per
// internal node whose children are leaves, into the flat test layout.
void LBVHbox::buildTriangleGroups() {
    triangleGroups.clear();
    if (nodeCount < 5)
        return;
    for (int i = 0; i < builtCount; i++) {
        if (objects[i]->typeId() != ClassId::GTriangle)
            return;
    }
    triangleGroups.resize(leafStart - leafGroupStart); // zero-filled: empty lanes stay zero
    for (int parent = leafGroupStart; parent < leafStart; parent++) {
        LBVHTriangleGroup& group = triangleGroups[parent - leafGroupStart];
        for (int lane = 0; lane < 4; lane++) {
            int object = 4 * parent + 1 + lane - leafStart;
            if (object < 0 || object >= builtCount)
                continue;
            GTriangle* triangle = static_cast<GTriangle*>(objects[object]);
            const HPoint& a = triangle->vertices[0]->position;
            const HPoint& b = triangle->vertices[1]->position;
            const HPoint& c = triangle->vertices[2]->position;
            group.v0x[lane] = a.x;
            group.v0y[lane] = a.y;
            group.v0z[lane] = a.z;
            group.e1x[lane] = b.x - a.x;
            group.e1y[lane] = b.y - a.y;
            group.e1z[lane] = b.z - a.z;
            group.e2x[lane] = c.x - a.x;
            group.e2y[lane] = c.y - a.y;
            group.e2z[lane] = c.z - a.z;
            group.parallelThreshold[lane] =
                GTriangle::parallelThreshold(b.difference(a), c.difference(a));
        }
    }
}

// ---------------------------------------------------------------------------
// Traversal

// Two copies of the traversal: the baseline one and, for processors that
// have them, one with AVX2 and FMA (chosen at run time, so the program
// stays portable).
#define LBVH_FUSED 0
#define LBVH_WIDE 0
namespace baseline {
#include "geometry/LBVHTraversal.inc"
}
#undef LBVH_FUSED

// Only the box test fuses, where it is written out; a contracted triangle
// test would round differently from GTriangle.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2,fma"))), apply_to = function)
#pragma clang fp contract(off)
#else
#pragma GCC push_options
#pragma GCC target("avx2,fma")
#pragma GCC optimize("fp-contract=off")
#endif
#define LBVH_FUSED 1
namespace fused {
#include "geometry/LBVHTraversal.inc"
}
#undef LBVH_WIDE
#if defined(__clang__)
#pragma clang attribute pop
#pragma clang attribute push(__attribute__((target("avx512f,avx512vl,avx2,fma"))),                 \
                             apply_to = function)
#else
#pragma GCC pop_options
#pragma GCC push_options
#pragma GCC target("avx512f,avx512vl,avx2,fma")
#pragma GCC optimize("fp-contract=off")
#endif
#define LBVH_WIDE 1
// gcc 12's AVX-512 intrinsics pass an undefined value through their unused
// mask operand, which its flow analysis reports as uninitialised.
#if !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
namespace wide {
#include "geometry/LBVHTraversal.inc"
}
#if !defined(__clang__)
#pragma GCC diagnostic pop
#endif
#undef LBVH_WIDE
#undef LBVH_FUSED
#if defined(__clang__)
#pragma clang attribute pop
#pragma clang fp contract(on)
#else
#pragma GCC pop_options
#endif

bool LBVHbox::supports(Traversal kind) {
    switch (kind) {
    case Traversal::baseline:
        return true;
    case Traversal::fused:
        return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    default:
        return supports(Traversal::fused) && __builtin_cpu_supports("avx512f") &&
               __builtin_cpu_supports("avx512vl");
    }
}

LBVHbox::Traversal LBVHbox::traversal = LBVHbox::supports(Traversal::wide)    ? Traversal::wide
                                        : LBVHbox::supports(Traversal::fused) ? Traversal::fused
                                                                              : Traversal::baseline;

bool LBVHbox::testRoot(const GRay& ray, float limit) const {
    float a[3], s[3];
    slabConstants(ray, a, s);
    bool negative[3] = {std::signbit(ray.inverseDirection.x), std::signbit(ray.inverseDirection.y),
                        std::signbit(ray.inverseDirection.z)};
    return baseline::testOneBox(nodes[0], a, s, negative, limit);
}

// Per axis a = (boxMin - origin) / quantum and s = inverseDirection * quantum:
// a box face at f quanta is met at t = (f + a) * s. Multiplying by the stored
// reciprocal keeps a mesh box's per-ray set-up free of divisions (a scene of
// several small meshes pays it for every box); its rounding is far inside
// the faces' margin.
void LBVHbox::slabConstants(const GRay& ray, float* a, float* s) const {
    a[0] = (boxMin.x - ray.origin.x) * inverseQuantum[0];
    a[1] = (boxMin.y - ray.origin.y) * inverseQuantum[1];
    a[2] = (boxMin.z - ray.origin.z) * inverseQuantum[2];
    s[0] = ray.inverseDirection.x * quantum[0];
    s[1] = ray.inverseDirection.y * quantum[1];
    s[2] = ray.inverseDirection.z * quantum[2];
}

template <bool shadow, bool triangles>
bool LBVHbox::dispatchOctant(GRay& ray, HitRecord* hit, HPoint* shadowColor, float limit) {
    float a[3], s[3];
    slabConstants(ray, a, s);
    const bool negative[3] = {std::signbit(ray.inverseDirection.x),
                              std::signbit(ray.inverseDirection.y),
                              std::signbit(ray.inverseDirection.z)};
    // Most rays of a scene of several meshes miss most mesh boxes: reject
    // them before any other set-up.
    if (!baseline::testOneBox(nodes[0], a, s, negative, shadow ? limit : hit->t))
        return false;
    int octant = (negative[0] ? 1 : 0) | (negative[1] ? 2 : 0) | (negative[2] ? 4 : 0);
    // The fused test needs a * s itself finite: an axis-parallel ray (s
    // infinite) or a box of astronomical extent takes the baseline test.
    if (traversal != Traversal::baseline && std::fabs(a[0] * s[0]) <= largestFloat &&
        std::fabs(a[1] * s[1]) <= largestFloat && std::fabs(a[2] * s[2]) <= largestFloat) {
        if (triangles && traversal == Traversal::wide && !(shadow && transparentShadows))
            return wide::traverseOctant<shadow, true>(octant, *this, a, s, ray, hit, shadowColor,
                                                      limit);
        return fused::traverseOctant<shadow, triangles>(octant, *this, a, s, ray, hit, shadowColor,
                                                        limit);
    }
    return baseline::traverseOctant<shadow, triangles>(octant, *this, a, s, ray, hit, shadowColor,
                                                       limit);
}

bool LBVHbox::intersect(GRay& ray, HitRecord& hit) {
    if (lastRayId.seen(ray.id, this))
        return false;
    if (builtCount == 0 || !nodes)
        return false;
    if (nodeCount == 1) {
        // A single leaf: the root box, then its one object.
        return testRoot(ray, hit.t) && objects[0]->intersect(ray, hit);
    }
    if (usesTriangleArray())
        return dispatchOctant<false, true>(ray, &hit, nullptr, 0.0f);
    return dispatchOctant<false, false>(ray, &hit, nullptr, 0.0f);
}

bool LBVHbox::occludes(GRay& ray, HPoint& shadowColor, float limit) {
    if (lastRayId.seen(ray.id, this))
        return false;
    if (builtCount == 0 || !nodes)
        return false;
    if (nodeCount == 1)
        return testRoot(ray, limit) && objects[0]->occludes(ray, shadowColor, limit);
    if (usesTriangleArray())
        return dispatchOctant<true, true>(ray, nullptr, &shadowColor, limit);
    return dispatchOctant<true, false>(ray, nullptr, &shadowColor, limit);
}

bool LBVHbox::intersectEveryObject(GRay& ray, HitRecord& hit) {
    bool found = false;
    for (int i = 0; i < objects.count; i++) {
        if (objects[i]->intersect(ray, hit))
            found = true;
    }
    return found;
}

bool LBVHbox::occludesEveryObject(GRay& ray, HPoint& shadowColor, float limit) {
    for (int i = 0; i < objects.count; i++) {
        if (objects[i]->occludes(ray, shadowColor, limit))
            return true;
    }
    return false;
}

void LBVHbox::emitVrml(FILE* file) {
    writeTriangleMeshXML(file, this, objects);
}
