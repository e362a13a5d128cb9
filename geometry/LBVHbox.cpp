#include "geometry/LBVHbox.h"

#include <emmintrin.h>

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
      nodeCount(0), quantum{0.0f, 0.0f, 0.0f}, inverseQuantum{1.0f, 1.0f, 1.0f},
      lastRayId(0), objects(8), nodeStorage(nullptr),
      leafStart(0), builtCount(0), leafGroupStart(0) {}

LBVHbox::~LBVHbox() {
    std::free(nodeStorage);
}

const char* LBVHbox::toString() const {
    static char buffer[objectTextSize + 128];
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
    // children (first index 4i + 1) begins on a 16-byte boundary.
    std::free(nodeStorage);
    size_t bytes = (size_t)nodeCount * sizeof(LBVHNode) + 128;
    nodeStorage = std::malloc(bytes);
    if (!nodeStorage) {
        std::fprintf(stderr, "out of memory\n");
        fatalExit(1);
    }
    uintptr_t base = ((uintptr_t)nodeStorage + 63) & ~(uintptr_t)63;
    nodes = reinterpret_cast<LBVHNode*>(base + 52);
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

namespace {

// Four int16 node boxes (48 bytes, 16-byte aligned) to float faces, one lane
// per node; near/far faces picked per axis by the ray's direction signs.
// Each axis's face pair (lower, upper) is one 32-bit word, so the three loads
// hold [A.x A.y A.z B.x] [B.y B.z C.x C.y] [C.z D.x D.y D.z] for nodes A..D
// and five word shuffles gather one axis of all four nodes.
// Faces are never negative (quantisation clamps them to 0 ... 32767), so the
// halves come out with a mask and a logical shift.
template <bool negative>
__attribute__((always_inline)) inline void splitFaces(__m128i pairs, __m128& nearFace,
                                                      __m128& farFace) {
    __m128 lower = _mm_cvtepi32_ps(_mm_and_si128(pairs, _mm_set1_epi32(0xFFFF)));
    __m128 upper = _mm_cvtepi32_ps(_mm_srli_epi32(pairs, 16));
    nearFace = negative ? upper : lower;
    farFace = negative ? lower : upper;
}

template <bool negX, bool negY, bool negZ>
__attribute__((always_inline)) inline void loadFaces(const LBVHNode* group, __m128& nearX,
                                                     __m128& farX, __m128& nearY, __m128& farY,
                                                     __m128& nearZ, __m128& farZ) {
    const __m128* words = reinterpret_cast<const __m128*>(group);
    __m128 w0 = _mm_load_ps(reinterpret_cast<const float*>(words));
    __m128 w1 = _mm_load_ps(reinterpret_cast<const float*>(words + 1));
    __m128 w2 = _mm_load_ps(reinterpret_cast<const float*>(words + 2));
    __m128 c1 = _mm_shuffle_ps(w1, w2, _MM_SHUFFLE(2, 1, 3, 2)); // C.x C.y D.x D.y
    __m128 a1 = _mm_shuffle_ps(w0, w1, _MM_SHUFFLE(1, 0, 2, 1)); // A.y A.z B.y B.z
    __m128 x = _mm_shuffle_ps(w0, c1, _MM_SHUFFLE(2, 0, 3, 0));  // A.x B.x C.x D.x
    __m128 y = _mm_shuffle_ps(a1, c1, _MM_SHUFFLE(3, 1, 2, 0));  // A.y B.y C.y D.y
    __m128 z = _mm_shuffle_ps(a1, w2, _MM_SHUFFLE(3, 0, 3, 1));  // A.z B.z C.z D.z
    splitFaces<negX>(_mm_castps_si128(x), nearX, farX);
    splitFaces<negY>(_mm_castps_si128(y), nearY, farY);
    splitFaces<negZ>(_mm_castps_si128(z), nearZ, farZ);
}

// Per-ray constants of the quantised slab test: t = (face + a) * s per axis.
struct SlabRay {
    __m128 ax, ay, az, sx, sy, sz;
};

// Four boxes at once. A box is kept unless exit < entry, exit < 0 or
// entry > tMax; with tMax >= 0 that is max(entry, 0) <= min(exit, tMax),
// so the running bounds start at 0 and tMax. A NaN (a ray lying in a face
// plane: 0 * inf) leaves the interval unchanged: maxps/minps return their
// second operand when either is NaN, so the running bound goes in second.
// entry receives max(entry, 0) per lane.
__attribute__((always_inline)) inline int
testBoxes(const SlabRay& r, const __m128& nearX, const __m128& farX, const __m128& nearY,
          const __m128& farY, const __m128& nearZ, const __m128& farZ, __m128 tMax, __m128& entry) {
    __m128 enter = _mm_max_ps(_mm_mul_ps(_mm_add_ps(nearX, r.ax), r.sx), _mm_setzero_ps());
    __m128 leave = _mm_min_ps(_mm_mul_ps(_mm_add_ps(farX, r.ax), r.sx), tMax);
    enter = _mm_max_ps(_mm_mul_ps(_mm_add_ps(nearY, r.ay), r.sy), enter);
    leave = _mm_min_ps(_mm_mul_ps(_mm_add_ps(farY, r.ay), r.sy), leave);
    enter = _mm_max_ps(_mm_mul_ps(_mm_add_ps(nearZ, r.az), r.sz), enter);
    leave = _mm_min_ps(_mm_mul_ps(_mm_add_ps(farZ, r.az), r.sz), leave);
    entry = enter;
    return _mm_movemask_ps(_mm_cmple_ps(enter, leave));
}

// Scalar form of the same test for one box (the root).
__attribute__((always_inline)) inline void slabAxis(int lowerFace, int upperFace, float a, float s,
                                                    bool negative, float& enter, float& leave) {
    float tNear = ((float)(negative ? upperFace : lowerFace) + a) * s;
    float tFar = ((float)(negative ? lowerFace : upperFace) + a) * s;
    if (tNear > enter)
        enter = tNear; // false for NaN
    if (tFar < leave)
        leave = tFar;
}

__attribute__((always_inline)) inline bool
testOneBox(const LBVHNode& box, const float* a, const float* s, const bool* negative, float tMax) {
    float enter = -INFINITY, leave = INFINITY;
    slabAxis(box.x0, box.x1, a[0], s[0], negative[0], enter, leave);
    slabAxis(box.y0, box.y1, a[1], s[1], negative[1], enter, leave);
    slabAxis(box.z0, box.z1, a[2], s[2], negative[2], enter, leave);
    return !(leave < enter) && !(leave < 0.0f) && !(enter > tMax);
}

// Four Moller-Trumbore tests with the operations of GTriangle::hitParameters in
// the same order, so every lane gives bit for bit the scalar answer.
// Returns the lanes with epsilon <= t <= tMax and fills t, u, v.
__attribute__((always_inline)) inline int
testTriangles(const LBVHTriangleGroup& g, const __m128& ox, const __m128& oy, const __m128& oz,
              const __m128& dx, const __m128& dy, const __m128& dz, float tMax, __m128& t,
              __m128& u, __m128& v) {
    __m128 e1x = _mm_load_ps(g.e1x), e1y = _mm_load_ps(g.e1y), e1z = _mm_load_ps(g.e1z);
    __m128 e2x = _mm_load_ps(g.e2x), e2y = _mm_load_ps(g.e2y), e2z = _mm_load_ps(g.e2z);
    // p = dir x e2
    __m128 px = _mm_sub_ps(_mm_mul_ps(dy, e2z), _mm_mul_ps(dz, e2y));
    __m128 py = _mm_sub_ps(_mm_mul_ps(dz, e2x), _mm_mul_ps(dx, e2z));
    __m128 pz = _mm_sub_ps(_mm_mul_ps(dx, e2y), _mm_mul_ps(dy, e2x));
    __m128 det =
        _mm_add_ps(_mm_add_ps(_mm_mul_ps(e1x, px), _mm_mul_ps(e1y, py)), _mm_mul_ps(e1z, pz));
    __m128 ok = _mm_cmpgt_ps(_mm_mul_ps(det, det), _mm_load_ps(g.parallelThreshold));
    if (_mm_movemask_ps(ok) == 0)
        return 0;
    __m128 inv = _mm_div_ps(_mm_set1_ps(1.0f), det);
    // s = origin - V0
    __m128 sx = _mm_sub_ps(ox, _mm_load_ps(g.v0x));
    __m128 sy = _mm_sub_ps(oy, _mm_load_ps(g.v0y));
    __m128 sz = _mm_sub_ps(oz, _mm_load_ps(g.v0z));
    u = _mm_mul_ps(
        _mm_add_ps(_mm_add_ps(_mm_mul_ps(sx, px), _mm_mul_ps(sy, py)), _mm_mul_ps(sz, pz)), inv);
    ok = _mm_and_ps(
        ok, _mm_and_ps(_mm_cmpge_ps(u, _mm_setzero_ps()), _mm_cmple_ps(u, _mm_set1_ps(1.0f))));
    // q = s x e1
    __m128 qx = _mm_sub_ps(_mm_mul_ps(sy, e1z), _mm_mul_ps(sz, e1y));
    __m128 qy = _mm_sub_ps(_mm_mul_ps(sz, e1x), _mm_mul_ps(sx, e1z));
    __m128 qz = _mm_sub_ps(_mm_mul_ps(sx, e1y), _mm_mul_ps(sy, e1x));
    v = _mm_mul_ps(
        inv, _mm_add_ps(_mm_add_ps(_mm_mul_ps(dx, qx), _mm_mul_ps(dy, qy)), _mm_mul_ps(dz, qz)));
    ok = _mm_and_ps(ok, _mm_and_ps(_mm_cmpge_ps(v, _mm_setzero_ps()),
                                   _mm_cmple_ps(_mm_add_ps(u, v), _mm_set1_ps(1.0f))));
    t = _mm_mul_ps(
        inv, _mm_add_ps(_mm_add_ps(_mm_mul_ps(e2x, qx), _mm_mul_ps(e2y, qy)), _mm_mul_ps(e2z, qz)));
    ok = _mm_and_ps(
        ok, _mm_and_ps(_mm_cmpge_ps(t, _mm_set1_ps(epsilon)), _mm_cmple_ps(t, _mm_set1_ps(tMax))));
    return _mm_movemask_ps(ok);
}

} // namespace

bool LBVHbox::testRoot(const GRay& ray, float limit) const {
    float a[3], s[3];
    slabConstants(ray, a, s);
    bool negative[3] = {std::signbit(ray.inverseDirection.x), std::signbit(ray.inverseDirection.y),
                        std::signbit(ray.inverseDirection.z)};
    return testOneBox(nodes[0], a, s, negative, limit);
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

template <int octant, bool shadow, bool triangles>
bool LBVHbox::traverse(GRay& ray, HitRecord* hit, HPoint* shadowColor, float limit) {
    constexpr bool negX = (octant & 1) != 0, negY = (octant & 2) != 0, negZ = (octant & 4) != 0;
    float a[3], s[3];
    slabConstants(ray, a, s);
    const bool negative[3] = {negX, negY, negZ};
    // Most rays of a scene of several meshes miss most mesh boxes: reject
    // them before any of the four-wide set-up.
    float tMax = shadow ? limit : hit->t;
    if (!testOneBox(nodes[0], a, s, negative, tMax))
        return false;
    SlabRay slab;
    slab.ax = _mm_set1_ps(a[0]);
    slab.ay = _mm_set1_ps(a[1]);
    slab.az = _mm_set1_ps(a[2]);
    slab.sx = _mm_set1_ps(s[0]);
    slab.sy = _mm_set1_ps(s[1]);
    slab.sz = _mm_set1_ps(s[2]);
    __m128 ox = _mm_set1_ps(ray.origin.x), oy = _mm_set1_ps(ray.origin.y),
           oz = _mm_set1_ps(ray.origin.z);
    __m128 dx = _mm_set1_ps(ray.direction.x), dy = _mm_set1_ps(ray.direction.y),
           dz = _mm_set1_ps(ray.direction.z);

    // A pushed node carries the test of its own children, made when it was
    // pushed: the tests of sibling subtrees are independent, so the processor
    // overlaps them instead of waiting for one after the other. At the pop
    // the children whose entry lies beyond a nearer hit found meanwhile are
    // dropped; that gives exactly the answer of a test made at the pop, as
    // the hit distance enters the test only through entry <= hit.t.
    struct alignas(16) StackEntry {
        __m128 childEntries; // max(entry, 0) of the node's four children
        int node;
        float entry; // max(entry, 0) of the node itself
        int childKeep;
        int pad;
    };
    StackEntry stack[traversalStackSize];
    int top = 0;

    bool found = false;
    int bestObject = -1;
    float bestU = 0.0f, bestV = 0.0f;
    alignas(16) float entries[4];

    // Tests the four children of an internal node.
    auto testChildren = [&](int parent, __m128& childEntries) {
        __m128 nearX, farX, nearY, farY, nearZ, farZ;
        loadFaces<negX, negY, negZ>(nodes + 4 * parent + 1, nearX, farX, nearY, farY, nearZ, farZ);
        return testBoxes(slab, nearX, farX, nearY, farY, nearZ, farZ, _mm_set1_ps(tMax),
                         childEntries);
    };
    // Pushes the kept lanes of rest (ascending: the last child is visited first).
    auto pushChildren = [&](int firstChild, int rest) {
        for (; rest != 0; rest &= rest - 1) {
            int lane = __builtin_ctz((unsigned)rest);
            StackEntry& pushed = stack[top++];
            pushed.node = firstChild + lane;
            pushed.entry = entries[lane];
            pushed.childKeep = testChildren(firstChild + lane, pushed.childEntries);
        }
    };

    // node is always an internal node whose box the ray meets, keep and entry
    // the test of its children. The visiting order (push 4i+1 .. 4i+4, pop
    // the last first) is kept, but the last kept child is taken at once
    // instead of being pushed and popped again.
    int node = 0;
    __m128 entry;
    int keep = testChildren(0, entry);
    for (;;) {
        int firstChild = 4 * node + 1;
        if (node < leafGroupStart) {
            // Four internal children.
            if (keep != 0) {
                _mm_store_ps(entries, entry);
                int last = 31 - __builtin_clz((unsigned)keep);
                int rest = keep & ~(1 << last);
                node = firstChild + last;
                keep = testChildren(node, entry);
                pushChildren(firstChild, rest);
                continue;
            }
        } else if (keep != 0) {
            // Leaves, possibly after some internal children (lanes below F).
            _mm_store_ps(entries, entry);
            int firstLeafLane = leafStart - firstChild;
            int leafLanes = firstLeafLane <= 0 ? 0xF : (0xF << firstLeafLane) & 0xF;
            pushChildren(firstChild, keep & ~leafLanes);
            // The leaves would be popped next, last child first: test them now.
            int leafKeep = keep & leafLanes;
            if (triangles) {
                __m128 t, u, v;
                int hits = leafKeep != 0
                               ? leafKeep & testTriangles(triangleGroups[node - leafGroupStart], ox,
                                                          oy, oz, dx, dy, dz, tMax, t, u, v)
                               : 0;
                if (hits != 0) {
                    if (shadow) {
                        if (!transparentShadows)
                            return true;
                        // See-through blockers dim the colour: let each object decide.
                        for (int lane = 3; lane >= 0; lane--) {
                            if ((hits & (1 << lane)) &&
                                objects[firstChild + lane - leafStart]->occludes(ray, *shadowColor,
                                                                                 limit)) {
                                return true;
                            }
                        }
                    } else {
                        alignas(16) float tLanes[4], uLanes[4], vLanes[4];
                        _mm_store_ps(tLanes, t);
                        _mm_store_ps(uLanes, u);
                        _mm_store_ps(vLanes, v);
                        // In visiting order (last lane first) a hit at <= the current t wins.
                        for (int lane = 3; lane >= 0; lane--) {
                            if ((hits & (1 << lane)) && tLanes[lane] <= tMax) {
                                tMax = tLanes[lane];
                                bestObject = firstChild + lane - leafStart;
                                bestU = uLanes[lane];
                                bestV = vLanes[lane];
                            }
                        }
                    }
                }
            } else {
                for (int lane = 3; lane >= 0; lane--) {
                    if (!(leafKeep & (1 << lane)))
                        continue;
                    int object = firstChild + lane - leafStart;
                    if (object >= builtCount)
                        continue;
                    if (shadow) {
                        if (objects[object]->occludes(ray, *shadowColor, limit))
                            return true;
                    } else if (entries[lane] <= tMax && objects[object]->intersect(ray, *hit)) {
                        found = true;
                        tMax = hit->t;
                    }
                }
            }
        }

        // Next node from the stack; a nearer hit found since it was pushed
        // may rule it out.
        for (;;) {
            if (top == 0) {
                if (shadow)
                    return false;
                if (triangles) {
                    if (bestObject < 0)
                        return false;
                    static_cast<GTriangle*>(objects[bestObject])
                        ->fillHit(ray, *hit, tMax, bestU, bestV);
                    return true;
                }
                return found;
            }
            top--;
            if (shadow || !(stack[top].entry > tMax))
                break;
        }
        node = stack[top].node;
        entry = stack[top].childEntries;
        keep = stack[top].childKeep;
        if (!shadow)
            keep &= _mm_movemask_ps(_mm_cmple_ps(entry, _mm_set1_ps(tMax)));
    }
}

template <bool shadow, bool triangles>
bool LBVHbox::dispatchOctant(GRay& ray, HitRecord* hit, HPoint* shadowColor, float limit) {
    int octant = (std::signbit(ray.inverseDirection.x) ? 1 : 0) |
                 (std::signbit(ray.inverseDirection.y) ? 2 : 0) |
                 (std::signbit(ray.inverseDirection.z) ? 4 : 0);
    switch (octant) {
    case 0:
        return traverse<0, shadow, triangles>(ray, hit, shadowColor, limit);
    case 1:
        return traverse<1, shadow, triangles>(ray, hit, shadowColor, limit);
    case 2:
        return traverse<2, shadow, triangles>(ray, hit, shadowColor, limit);
    case 3:
        return traverse<3, shadow, triangles>(ray, hit, shadowColor, limit);
    case 4:
        return traverse<4, shadow, triangles>(ray, hit, shadowColor, limit);
    case 5:
        return traverse<5, shadow, triangles>(ray, hit, shadowColor, limit);
    case 6:
        return traverse<6, shadow, triangles>(ray, hit, shadowColor, limit);
    default:
        return traverse<7, shadow, triangles>(ray, hit, shadowColor, limit);
    }
}

bool LBVHbox::intersect(GRay& ray, HitRecord& hit) {
    if (ray.id == lastRayId)
        return false;
    lastRayId = ray.id;
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
    if (ray.id == lastRayId)
        return false;
    lastRayId = ray.id;
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

void LBVHbox::emitVrml(FILE* file) { writeTriangleMeshXML(file, this, objects); }
