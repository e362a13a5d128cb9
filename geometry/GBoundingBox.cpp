#include "geometry/GBoundingBox.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>

#include <emmintrin.h>

#include "foundation/Settings.h"
#include "geometry/GInverseTriangle.h"
#include "geometry/GSphere.h"
#include "geometry/GTriangle.h"
#include "geometry/GVertex.h"
#include "geometry/MeshXmlWriter.h"
#include "shading/GMaterial.h"

namespace {

const float largestFloat = 3.4028235e38f;
// Voxel coordinates are kept well inside the int range so that stepping and
// run-length arithmetic cannot overflow.
const float coordinateLimit = 1073741824.0f;  // 2^30
const int maxResolution = 1 << 28;
// The four-wide test of cached triangles is a hair generous; the triangle's
// own test decides every candidate it lets through.
const float candidateSlack = 1e-6f;
const float limitSlack = 1.000001f;

int statisticsRunningTotal = 0;

inline int voxelCoordinate(float offset, float size) {
    float v = std::floor(offset / size);
    if (!(v > -coordinateLimit)) return -(int)coordinateLimit;  // also NaN
    if (v > coordinateLimit) return (int)coordinateLimit;
    return (int)v;
}

inline float axisValue(const HPoint& p, int axis) { return axis == 0 ? p.x : (axis == 1 ? p.y : p.z); }

inline bool finitePoint(const HPoint& p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }

// The ray broadcast to four lanes, and the largest distance a cached
// triangle may be hit at to be handed to its own test.
struct RayLanes {
    __m128 ox, oy, oz, dx, dy, dz;
    __m128 high;

    RayLanes(const GRay& ray, float limit) {
        ox = _mm_set1_ps(ray.origin.x);
        oy = _mm_set1_ps(ray.origin.y);
        oz = _mm_set1_ps(ray.origin.z);
        dx = _mm_set1_ps(ray.direction.x);
        dy = _mm_set1_ps(ray.direction.y);
        dz = _mm_set1_ps(ray.direction.z);
        setLimit(limit);
    }
    void setLimit(float limit) { high = _mm_set1_ps(limit * limitSlack); }
};

inline __m128 select(__m128 mask, __m128 whenSet, __m128 otherwise) {
    return _mm_or_ps(_mm_and_ps(mask, whenSet), _mm_andnot_ps(mask, otherwise));
}

// The plane-and-projection test of GInverseTriangle on four cached lanes, in
// the same operations and order as the triangle's own (so the same answers;
// the bounds get a hair of slack in case a compiler fuses operations
// differently): bit i is set when lane i's triangle is hit, or when lane i
// holds an object that is only tested through its own intersect. A zero
// plane (unused lanes, other objects, degenerate triangles) never passes.
inline unsigned packetCandidates(const VoxelPacket& p, const RayLanes& r) {
    const __m128 nx = _mm_load_ps(p.nx), ny = _mm_load_ps(p.ny), nz = _mm_load_ps(p.nz);
    const __m128 zero = _mm_setzero_ps();
    const __m128 denominator = _mm_add_ps(_mm_add_ps(_mm_mul_ps(r.dx, nx), _mm_mul_ps(r.dy, ny)), _mm_mul_ps(r.dz, nz));
    const __m128 along = _mm_add_ps(_mm_add_ps(_mm_mul_ps(r.ox, nx), _mm_mul_ps(r.oy, ny)), _mm_mul_ps(r.oz, nz));
    const __m128 negated = _mm_xor_ps(_mm_add_ps(_mm_load_ps(p.nw), along), _mm_set1_ps(-0.0f));
    const __m128 t = _mm_div_ps(negated, denominator);
    __m128 hit = _mm_and_ps(_mm_cmpneq_ps(denominator, zero), _mm_cmpgt_ps(t, zero));
    hit = _mm_and_ps(hit, _mm_cmple_ps(t, r.high));

    const __m128i lanes = _mm_load_si128(reinterpret_cast<const __m128i*>(p.lane));
    const __m128 keepsX = _mm_castsi128_ps(_mm_srai_epi32(_mm_slli_epi32(lanes, 3), 31));
    const __m128 keepsZ = _mm_castsi128_ps(_mm_srai_epi32(_mm_slli_epi32(lanes, 2), 31));
    const __m128 pu = _mm_sub_ps(_mm_add_ps(select(keepsX, r.ox, r.oy), _mm_mul_ps(t, select(keepsX, r.dx, r.dy))),
                                 _mm_load_ps(p.p0u));
    const __m128 pv = _mm_sub_ps(_mm_add_ps(select(keepsZ, r.oz, r.oy), _mm_mul_ps(t, select(keepsZ, r.dz, r.dy))),
                                 _mm_load_ps(p.p0v));
    const __m128 inverse = _mm_load_ps(p.inverseDeterminant);
    const __m128 b2 = _mm_mul_ps(_mm_sub_ps(_mm_mul_ps(pv, _mm_load_ps(p.e1u)), _mm_mul_ps(pu, _mm_load_ps(p.e1v))),
                                 inverse);
    const __m128 b1 = _mm_mul_ps(_mm_sub_ps(_mm_mul_ps(pu, _mm_load_ps(p.e2v)), _mm_mul_ps(pv, _mm_load_ps(p.e2u))),
                                 inverse);
    const __m128 edge = _mm_set1_ps(-candidateSlack);
    hit = _mm_and_ps(hit, _mm_and_ps(_mm_cmpge_ps(b2, edge), _mm_cmpge_ps(b1, edge)));
    hit = _mm_and_ps(hit, _mm_cmple_ps(_mm_add_ps(b1, b2), _mm_set1_ps(1.0f + candidateSlack)));
    const unsigned generic = (unsigned)_mm_movemask_ps(_mm_castsi128_ps(_mm_slli_epi32(lanes, 1)));
    return (unsigned)_mm_movemask_ps(hit) | generic;
}

// Plain scalars, so that a walk lives in registers.
struct GridWalk {
    int x, y, z;
    int stepX, stepY, stepZ;
    int stopX, stopY, stopZ;  // the index on each axis beyond which no voxel exists
    float nextX, nextY, nextZ;    // distance at which the walk leaves the voxel, per axis
    float deltaX, deltaY, deltaZ; // distance across one voxel, per axis

    // Sets the walk up at distance tCur; false when it cannot meet any voxel.
    bool start(const GBoundingBox& box, const GRay& ray, float tCur) {
        const float along = tCur + epsilon;
        const VoxelTable& voxels = box.voxels;
        return startAxis(ray.origin.x, ray.direction.x, ray.inverseDirection.x, box.boxMin.x,
                         box.voxelSize[0], voxels.lowest[0], voxels.highest[0], tCur, along, x,
                         stepX, stopX, nextX, deltaX) &&
               startAxis(ray.origin.y, ray.direction.y, ray.inverseDirection.y, box.boxMin.y,
                         box.voxelSize[1], voxels.lowest[1], voxels.highest[1], tCur, along, y,
                         stepY, stopY, nextY, deltaY) &&
               startAxis(ray.origin.z, ray.direction.z, ray.inverseDirection.z, box.boxMin.z,
                         box.voxelSize[2], voxels.lowest[2], voxels.highest[2], tCur, along, z,
                         stepZ, stopZ, nextZ, deltaZ);
    }

    // One axis of start, written straight into the walk's fields (an array
    // per axis kept them on the stack).
    __attribute__((always_inline)) static bool startAxis(float origin, float direction,
                                                         float inverse, float low, float size,
                                                         int lowest, int highest, float tCur,
                                                         float along, int& index, int& step,
                                                         int& stop, float& next, float& delta) {
        float p = origin + along * direction;
        if (!std::isfinite(p)) return false;
        int i = voxelCoordinate(p - low, size);
        index = i;
        float lo = low + (float)i * size;
        if (direction == 0.0f || !std::isfinite(inverse)) {
            // Parallel to the axis: never steps along it.
            step = 0;
            stop = i;
            next = INFINITY;
            delta = INFINITY;
            return i >= lowest && i <= highest;
        }
        if (inverse > 0.0f) {
            step = 1;
            stop = highest + 1;
            next = tCur + (lo + size - p) * inverse;
            if (i > highest) return false;
        } else {
            step = -1;
            stop = lowest - 1;
            next = tCur - (p - lo) * inverse;
            if (i < lowest) return false;
        }
        delta = std::fabs(inverse * size);
        return true;
    }

    // Steps into the next voxel (ties go to z, then y); false when the walk
    // has left every voxel that exists.
    bool advance(float& tCur) {
        if (nextX < nextY && nextX < nextZ) {
            x += stepX;
            if (x == stopX) return false;
            tCur = nextX;
            nextX += deltaX;
        } else if (nextY < nextZ) {
            y += stepY;
            if (y == stopY) return false;
            tCur = nextY;
            nextY += deltaY;
        } else {
            z += stepZ;
            if (z == stopZ) return false;
            tCur = nextZ;
            nextZ += deltaZ;
        }
        return true;
    }
};

}  // namespace

GBoundingBox::GBoundingBox()
    : boxMin(largestFloat, largestFloat, largestFloat, 1.0f),
      boxMax(-largestFloat, -largestFloat, -largestFloat, 1.0f),
      objects(8, -1) {}

GBoundingBox::~GBoundingBox() {
    for (GObject* object : ownedObjects) delete object;
}

const char* GBoundingBox::toString() const {
    static thread_local char buffer[256];
    std::snprintf(buffer, sizeof buffer, "GBoundingBox@%" PRIxPTR " (%0.2f,%0.2f,%0.2f)-(%0.2f,%0.2f,%0.2f)",
                  (uintptr_t)this, boxMin.x, boxMin.y, boxMin.z, boxMax.x, boxMax.y, boxMax.z);
    return buffer;
}

int GBoundingBox::statisticsTotal() { return statisticsRunningTotal; }

void GBoundingBox::addObject(GSceneObject* object) {
    HPoint low, high;
    object->getBounds(low, high);
    extend(low);
    extend(high);
    objects.add(object);
}

void GBoundingBox::extend(const HPoint& point) {
    if (point.x - epsilon < boxMin.x) boxMin.x = point.x - epsilon;
    if (point.y - epsilon < boxMin.y) boxMin.y = point.y - epsilon;
    if (point.z - epsilon < boxMin.z) boxMin.z = point.z - epsilon;
    if (point.x + epsilon > boxMax.x) boxMax.x = point.x + epsilon;
    if (point.y + epsilon > boxMax.y) boxMax.y = point.y + epsilon;
    if (point.z + epsilon > boxMax.z) boxMax.z = point.z + epsilon;
}

void GBoundingBox::voxelOf(const HPoint& p, int voxel[3]) const {
    voxel[0] = voxelCoordinate(p.x - boxMin.x, voxelSize[0]);
    voxel[1] = voxelCoordinate(p.y - boxMin.y, voxelSize[1]);
    voxel[2] = voxelCoordinate(p.z - boxMin.z, voxelSize[2]);
}

// ---------------------------------------------------------------- build

void GBoundingBox::chooseResolution(float targetVoxels) {
    float extent[3] = {boxMax.x - boxMin.x, boxMax.y - boxMin.y, boxMax.z - boxMin.z};
    // Cube edge e with (dx dy dz) / e^3 = target voxels; n = dx / e, at
    // least 1, on every axis, thin ones included.
    float edge = std::pow(extent[0] * extent[1] * extent[2] / targetVoxels, 0.33333334f);
    if (!(edge > 0.0f) || !std::isfinite(edge)) {
        // The rule breaks where the volume is 0 or overflows: e then comes
        // from the axes that have an extent.
        double volume = 1.0;
        int axes = 0;
        for (float e : extent)
            if (e > 0.0f) {
                volume *= e;
                axes++;
            }
        edge = axes > 0 ? (float)std::pow(volume / (double)targetVoxels, 1.0 / axes) : 1.0f;
        if (!(edge > 0.0f) || !std::isfinite(edge)) edge = 1.0f;
    }
    for (;;) {
        double total = 1.0;
        for (int a = 0; a < 3; a++) {
            float cells = extent[a] / edge;
            int n = 1;
            if (cells >= (float)maxResolution) {
                n = maxResolution;
            } else if (cells >= 1.0f) {
                n = (int)cells;
            }
            resolution[a] = n;
            voxelSize[a] = extent[a] / (float)n;
            total *= n;
        }
        // A thin box can ask for far more voxels than the target: beyond
        // maxGridVoxels the cubes grow until the grid fits.
        if (total <= (double)maxGridVoxels || total <= 1.0) break;
        edge *= 1.25992105f;  // twice the volume per voxel
    }
}

bool GBoundingBox::insertCube(const int low[3], const int high[3], uint32_t object, size_t entryBudget) {
    double count = ((double)high[0] - low[0] + 1.0) * ((double)high[1] - low[1] + 1.0) *
                   ((double)high[2] - low[2] + 1.0);
    if (high[0] < low[0] || high[1] < low[1] || high[2] < low[2]) return true;
    if ((double)voxels.filledEntries() + count > (double)entryBudget) return false;
    for (int x = low[0]; x <= high[0]; x++)
        for (int y = low[1]; y <= high[1]; y++)
            for (int z = low[2]; z <= high[2]; z++) voxels.insert(x, y, z, object);
    return true;
}

bool GBoundingBox::voxelizeTriangle(uint32_t object, const HPoint& a, const HPoint& b, const HPoint& c, int depth,
                                    size_t entryBudget) {
    HPoint lowPoint = a, highPoint = a;
    lowPoint.componentMin(b);
    lowPoint.componentMin(c);
    highPoint.componentMax(b);
    highPoint.componentMax(c);
    int low[3], high[3];
    voxelOf(lowPoint, low);
    voxelOf(highPoint, high);
    double count = ((double)high[0] - low[0] + 1.0) * ((double)high[1] - low[1] + 1.0) *
                   ((double)high[2] - low[2] + 1.0);
    if (count > 3.0 && depth < 3) {
        // Large triangles: four halves-of-edges triangles, each with its own cube.
        HPoint ab((a.x + b.x) * 0.5f, (a.y + b.y) * 0.5f, (a.z + b.z) * 0.5f, 1.0f);
        HPoint bc((b.x + c.x) * 0.5f, (b.y + c.y) * 0.5f, (b.z + c.z) * 0.5f, 1.0f);
        HPoint ca((c.x + a.x) * 0.5f, (c.y + a.y) * 0.5f, (c.z + a.z) * 0.5f, 1.0f);
        return voxelizeTriangle(object, a, ab, ca, depth + 1, entryBudget) &&
               voxelizeTriangle(object, ca, ab, bc, depth + 1, entryBudget) &&
               voxelizeTriangle(object, c, ca, bc, depth + 1, entryBudget) &&
               voxelizeTriangle(object, bc, ab, b, depth + 1, entryBudget);
    }
    return insertCube(low, high, object, entryBudget);
}

// Voxels of the cube low .. high; 0 for an empty one.
static double cubeVoxels(const int low[3], const int high[3]) {
    if (high[0] < low[0] || high[1] < low[1] || high[2] < low[2])
        return 0.0;
    return ((double)high[0] - low[0] + 1.0) * ((double)high[1] - low[1] + 1.0) *
           ((double)high[2] - low[2] + 1.0);
}

// The cubes voxelizeTriangle fills, split the same way.
void GBoundingBox::triangleCubes(const HPoint& a, const HPoint& b, const HPoint& c, int depth,
                                 std::vector<VoxelCube>& cubes) {
    HPoint lowPoint = a, highPoint = a;
    lowPoint.componentMin(b);
    lowPoint.componentMin(c);
    highPoint.componentMax(b);
    highPoint.componentMax(c);
    VoxelCube cube;
    voxelOf(lowPoint, cube.low);
    voxelOf(highPoint, cube.high);
    double count = ((double)cube.high[0] - cube.low[0] + 1.0) *
                   ((double)cube.high[1] - cube.low[1] + 1.0) *
                   ((double)cube.high[2] - cube.low[2] + 1.0);
    if (count > 3.0 && depth < 3) {
        HPoint ab((a.x + b.x) * 0.5f, (a.y + b.y) * 0.5f, (a.z + b.z) * 0.5f, 1.0f);
        HPoint bc((b.x + c.x) * 0.5f, (b.y + c.y) * 0.5f, (b.z + c.z) * 0.5f, 1.0f);
        HPoint ca((c.x + a.x) * 0.5f, (c.y + a.y) * 0.5f, (c.z + a.z) * 0.5f, 1.0f);
        triangleCubes(a, ab, ca, depth + 1, cubes);
        triangleCubes(ca, ab, bc, depth + 1, cubes);
        triangleCubes(c, ca, bc, depth + 1, cubes);
        triangleCubes(bc, ab, b, depth + 1, cubes);
        return;
    }
    if (cubeVoxels(cube.low, cube.high) > 0.0)
        cubes.push_back(cube);
}

// Voxels a triangle touches, at least: all of its largest cube, and one in
// every slab of voxels that its cubes cross along any one axis.
double GBoundingBox::leastTriangleEntries(const HPoint& a, const HPoint& b, const HPoint& c,
                                          std::vector<VoxelCube>& cubes) {
    cubes.clear();
    triangleCubes(a, b, c, 0, cubes);
    double least = 0.0;
    for (const VoxelCube& cube : cubes)
        least = std::max(least, cubeVoxels(cube.low, cube.high));
    if (cubes.size() < 2)
        return least;
    for (int axis = 0; axis < 3; axis++) {
        std::sort(cubes.begin(), cubes.end(), [axis](const VoxelCube& p, const VoxelCube& q) {
            return p.low[axis] < q.low[axis];
        });
        // Length of the union of the cubes' intervals on this axis.
        double slabs = 0.0;
        long long runLow = cubes[0].low[axis], runHigh = cubes[0].high[axis];
        for (const VoxelCube& cube : cubes) {
            if (cube.low[axis] > runHigh + 1) {
                slabs += (double)(runHigh - runLow + 1);
                runLow = cube.low[axis];
                runHigh = cube.high[axis];
            } else if (cube.high[axis] > runHigh) {
                runHigh = cube.high[axis];
            }
        }
        slabs += (double)(runHigh - runLow + 1);
        least = std::max(least, slabs);
    }
    return least;
}

double GBoundingBox::leastEntries() {
    // An object is entered once in every voxel it touches, and it touches
    // every voxel of each of its cubes; no two objects share an entry.
    double least = 0.0;
    std::vector<VoxelCube> cubes;
    for (int i = 0; i < objects.count; i++) {
        GSceneObject* object = objects[i];
        if (object->isKindOf(ClassId::GInverseTriangle) &&
            !static_cast<GInverseTriangle*>(object)->shell) {
            GVertex* const* corners = static_cast<GInverseTriangle*>(object)->vertices;
            const HPoint& a = corners[0]->position;
            const HPoint& b = corners[1]->position;
            const HPoint& c = corners[2]->position;
            if (!finitePoint(a) || !finitePoint(b) || !finitePoint(c))
                continue;
            least += leastTriangleEntries(a, b, c, cubes);
        } else {
            HPoint lowPoint, highPoint;
            object->getBounds(lowPoint, highPoint);
            if (!finitePoint(lowPoint) || !finitePoint(highPoint))
                continue;
            int low[3], high[3];
            voxelOf(lowPoint, low);
            voxelOf(highPoint, high);
            least += cubeVoxels(low, high);
        }
    }
    return least;
}

bool GBoundingBox::fillVoxels(size_t entryBudget) {
    voxels.clear();
    for (int i = 0; i < objects.count; i++) {
        GSceneObject* object = objects[i];
        bool fitted = true;
        if (object->isKindOf(ClassId::GInverseTriangle) && !static_cast<GInverseTriangle*>(object)->shell) {
            GVertex* const* corners = static_cast<GInverseTriangle*>(object)->vertices;
            const HPoint& a = corners[0]->position;
            const HPoint& b = corners[1]->position;
            const HPoint& c = corners[2]->position;
            // A corner that is not a number cannot be voxelised (nor hit).
            if (!finitePoint(a) || !finitePoint(b) || !finitePoint(c)) continue;
            fitted = voxelizeTriangle((uint32_t)i, a, b, c, 0, entryBudget);
        } else {
            // Spheres and every other object: the cube of their bounds.
            HPoint lowPoint, highPoint;
            object->getBounds(lowPoint, highPoint);
            if (!finitePoint(lowPoint) || !finitePoint(highPoint)) continue;
            int low[3], high[3];
            voxelOf(lowPoint, low);
            voxelOf(highPoint, high);
            fitted = insertCube(low, high, (uint32_t)i, entryBudget);
        }
        if (!fitted) {
            voxels.clear();
            return false;
        }
    }
    // Cache what the plane test of undisplaced triangles reads.
    voxels.finish([this](uint32_t index, LaneGeometry& lane) {
        GSceneObject* object = objects[(int)index];
        if (object->typeId() != ClassId::GInverseTriangle) return;
        GInverseTriangle* triangle = static_cast<GInverseTriangle*>(object);
        if (triangle->shell) return;
        lane.cached = true;
        if (triangle->inverseDeterminant == 0.0f) return;  // zero plane: never a candidate
        int u = triangle->axisU, v = triangle->axisV;
        lane.keepsX = u == 0;
        lane.keepsZ = v == 2;
        const HPoint& p0 = triangle->vertices[0]->position;
        const HPoint& p1 = triangle->vertices[1]->position;
        const HPoint& p2 = triangle->vertices[2]->position;
        lane.plane[0] = triangle->plane.x;
        lane.plane[1] = triangle->plane.y;
        lane.plane[2] = triangle->plane.z;
        lane.plane[3] = triangle->plane.w;
        lane.p0u = axisValue(p0, u);
        lane.p0v = axisValue(p0, v);
        lane.e1u = axisValue(p1, u) - axisValue(p0, u);
        lane.e1v = axisValue(p1, v) - axisValue(p0, v);
        lane.e2u = axisValue(p2, u) - axisValue(p0, u);
        lane.e2v = axisValue(p2, v) - axisValue(p0, v);
        lane.inverseDeterminant = triangle->inverseDeterminant;
    });
    return true;
}

void GBoundingBox::build() {
    int count = objects.count;
    if (count <= minObjectsInGrid) return;
    if ((uint32_t)count > maxVoxelObjects) {
        std::printf("grid of %d objects is too large to voxelise; objects are tested one by one\n", count);
        return;
    }
    HPoint extent = boxMax.difference(boxMin);
    if (!finitePoint(extent) || !(extent.x > 0.0f && extent.y > 0.0f && extent.z > 0.0f)) {
        std::printf("grid bounds are not finite; objects are tested one by one\n");
        return;
    }

    // Target voxel count c = N k + 1, at most maxGridVoxels.
    float target = (float)count * (1.0f * gridDensityFactor) + 1.0f;
    if (target > (float)maxGridVoxels) target = (float)maxGridVoxels;
    if (!(target >= 1.0f)) target = 1.0f;

    // A mesh needs a few entries per object; objects that would fill far more
    // voxels (slivers across the box, huge spheres) are refused at this
    // resolution and the grid is made coarser instead of exhausting memory
    // and time (a thin box keeps millions of voxels along its long axis, and
    // an entry costs about a microsecond, most of it a cache miss).
    double budget = 32.0 * count + (double)entryBudgetFloor;
    if (budget > 4.0e9) budget = 4.0e9;
    fillsMade = 0;
    for (bool first = true;; first = false) {
        chooseResolution(target);
        // A fill that fails costs up to the whole budget, so after one has
        // failed, a fill that cannot fit is not tried: a thin box keeps
        // millions of voxels along its long axis however small the target,
        // and slivers across it would fail fill after fill. The first fill
        // goes ahead unchecked: it almost always fits, and the bound costs
        // about a fifth of a mesh's load.
        if (first || leastEntries() <= budget) {
            fillsMade++;
            if (fillVoxels((size_t)budget))
                break;
        }
        if (target <= 1.0f) {
            std::printf("grid needs too many voxel entries; objects are tested one by one\n");
            return;
        }
        target = std::floor(target / 8.0f);
        if (target < 1.0f) target = 1.0f;
    }
    stamps.assign((size_t)count, 0u);
    gridBuilt = true;
    printStatistics();
}

void GBoundingBox::printStatistics() {
    std::printf("\nvx=%d vy=%d vz=%d\n", resolution[0], resolution[1], resolution[2]);
    // Voxels with 0 <= x <= nx, 0 <= y <= ny, 0 <= z < nz, by list length
    // modulo 200: the sum of bin times count is the sum of those remainders.
    long long sum = 0;
    voxels.forEachVoxel([&](int x, int y, int z, uint32_t length) {
        if (x < 0 || x > resolution[0] || y < 0 || y > resolution[1] || z < 0 || z >= resolution[2]) return;
        sum += length % 200u;
    });
    statisticsRunningTotal = (int)((unsigned)statisticsRunningTotal + (unsigned)sum);
    std::printf("TOTAL = %d\n", statisticsRunningTotal);
}

// ---------------------------------------------------------------- rays

bool GBoundingBox::clip(const GRay& ray, float limit, float& nearT, float& farT) const {
    float t1x = (boxMax.x - ray.origin.x) * ray.inverseDirection.x;
    float t2x = (boxMin.x - ray.origin.x) * ray.inverseDirection.x;
    float t1y = (boxMax.y - ray.origin.y) * ray.inverseDirection.y;
    float t2y = (boxMin.y - ray.origin.y) * ray.inverseDirection.y;
    float t1z = (boxMax.z - ray.origin.z) * ray.inverseDirection.z;
    float t2z = (boxMin.z - ray.origin.z) * ray.inverseDirection.z;
    // A NaN (origin on a face of a slab it runs along) constrains nothing.
    float nearest = -INFINITY, farthest = INFINITY;
    float lo = t1x < t2x ? t1x : t2x, hi = t1x < t2x ? t2x : t1x;
    if (lo > nearest) nearest = lo;
    if (hi < farthest) farthest = hi;
    lo = t1y < t2y ? t1y : t2y, hi = t1y < t2y ? t2y : t1y;
    if (lo > nearest) nearest = lo;
    if (hi < farthest) farthest = hi;
    lo = t1z < t2z ? t1z : t2z, hi = t1z < t2z ? t2z : t1z;
    if (lo > nearest) nearest = lo;
    if (hi < farthest) farthest = hi;
    if (farthest < 0.0f || farthest < nearest || nearest > limit) return false;
    nearT = nearest;
    farT = farthest;
    return true;
}

bool GBoundingBox::intersect(GRay& ray, HitRecord& hit) {
    if (lastRayId.seen(ray.id, this)) return false;
    float nearT, farT;
    if (!clip(ray, hit.t, nearT, farT)) return false;
    if (gridBuilt) return walkClosest(ray, hit, nearT > 0.0f ? nearT : 0.0f, farT);
    bool found = false;
    for (int i = objects.count - 1; i >= 0; i--) {
        if (objects[i]->intersect(ray, hit)) found = true;
    }
    return found;
}

bool GBoundingBox::occludes(GRay& ray, HPoint& shadowColor, float limit) {
    if (lastRayId.seen(ray.id, this)) return false;
    float nearT, farT;
    if (!clip(ray, limit, nearT, farT)) return false;
    if (gridBuilt) return walkShadow(ray, shadowColor, limit, nearT > 0.0f ? nearT : 0.0f, farT);
    for (int i = objects.count - 1; i >= 0; i--) {
        if (objects[i]->occludes(ray, shadowColor, limit)) return true;
    }
    return false;
}

bool GBoundingBox::walkClosest(GRay& ray, HitRecord& hit, float tStart, float tLimit) {
    GridWalk walk;
    if (!walk.start(*this, ray, tStart)) return false;
    RayLanes lanes(ray, hit.t);
    const unsigned rayId = ray.id;
    RayMailbox* const rayStamps = stamps.data();
    GSceneObject* const* const objectList = objects.elements;
    bool found = false;
    float tCur = tStart;
    for (;;) {
        const VoxelPacket* packet = voxels.lookup(walk.x, walk.y, walk.z);
        if (packet) {
            for (;; packet++) {
                // Candidates in list order; the mailbox keeps each object to one test.
                for (unsigned bits = packetCandidates(*packet, lanes); bits; bits &= bits - 1) {
                    const uint32_t index = packet->lane[__builtin_ctz(bits)] & voxelIndexMask;
                    if (rayStamps[index].load() == rayId) continue;
                    if (!workUnitStreams()) rayStamps[index].store(rayId);
                    if (objectList[index]->intersect(ray, hit)) {
                        found = true;
                        if (hit.t < tLimit) tLimit = hit.t;
                        lanes.setLimit(hit.t);
                    }
                }
                if (packet->lane[3] & voxelLastPacket) break;
            }
        }
        // The entry distance of the voxel just tested: a hit found in it may
        // lie in the next voxel, which is therefore tested too.
        if (!(tCur <= tLimit)) break;
        if (!walk.advance(tCur)) break;
    }
    return found;
}

bool GBoundingBox::walkShadow(GRay& ray, HPoint& shadowColor, float limit, float tStart, float tLimit) {
    // Nothing beyond limit can block; the walk ends there or at the first blocker.
    if (limit < tLimit) tLimit = limit;
    GridWalk walk;
    if (!walk.start(*this, ray, tStart)) return false;
    const RayLanes lanes(ray, limit);
    const unsigned rayId = ray.id;
    RayMailbox* const rayStamps = stamps.data();
    GSceneObject* const* const objectList = objects.elements;
    float tCur = tStart;
    for (;;) {
        const VoxelPacket* packet = voxels.lookup(walk.x, walk.y, walk.z);
        if (packet) {
            for (;; packet++) {
                for (unsigned bits = packetCandidates(*packet, lanes); bits; bits &= bits - 1) {
                    const uint32_t index = packet->lane[__builtin_ctz(bits)] & voxelIndexMask;
                    if (rayStamps[index].load() == rayId) continue;
                    if (!workUnitStreams()) rayStamps[index].store(rayId);
                    if (objectList[index]->occludes(ray, shadowColor, limit)) return true;
                }
                if (packet->lane[3] & voxelLastPacket) break;
            }
        }
        if (!(tCur <= tLimit)) break;
        if (!walk.advance(tCur)) break;
    }
    return false;
}

bool GBoundingBox::intersectEveryObject(GRay& ray, HitRecord& hit) {
    bool found = false;
    for (int i = objects.count - 1; i >= 0; i--) {
        if (objects[i]->intersect(ray, hit)) found = true;
    }
    return found;
}

bool GBoundingBox::occludesEveryObject(GRay& ray, HPoint& shadowColor, float limit) {
    for (int i = objects.count - 1; i >= 0; i--) {
        if (objects[i]->occludes(ray, shadowColor, limit)) return true;
    }
    return false;
}

// ---------------------------------------------------------------- export

void GBoundingBox::emitVrml(FILE* file) {
    if (objects.count == 0) return;
    int triangles = 0;
    for (int i = 0; i < objects.count; i++) {
        GSceneObject* object = objects[i];
        if (object->isKindOf(ClassId::GTriangle)) {
            triangles++;
        } else if (object->isKindOf(ClassId::GSphere)) {
            object->emitVrml(file);
            std::fprintf(file, "\n");
        } else {
            object->emitVrml(file);  // a box writes itself; others say they are left out
        }
    }
    if (triangles > 0) writeTriangleMeshXML(file, this, objects);
}
