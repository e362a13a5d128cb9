#include "geometry/GBoundingBox.h"

#include <cinttypes>
#include <cmath>

#include "foundation/Settings.h"
#include "geometry/GInverseTriangle.h"
#include "geometry/GSphere.h"
#include "geometry/GTriangle.h"
#include "geometry/GVertex.h"
#include "shading/GMaterial.h"

namespace {

const float largestFloat = 3.4028235e38f;
// Voxel coordinates are kept well inside the int range so that stepping and
// run-length arithmetic cannot overflow.
const float coordinateLimit = 1073741824.0f;  // 2^30
const int maxResolution = 1 << 28;
// The prefilter of cached triangles is a little generous; the triangle's own
// test decides every candidate it lets through.
const float candidateSlack = 1e-4f;
const float limitSlack = 1.00001f;

int statisticsRunningTotal = 0;

inline float axisValue(const HPoint& p, int axis) { return axis == 0 ? p.x : (axis == 1 ? p.y : p.z); }

inline int voxelCoordinate(float offset, float size) {
    float v = std::floor(offset / size);
    if (!(v > -coordinateLimit)) return -(int)coordinateLimit;  // also NaN
    if (v > coordinateLimit) return (int)coordinateLimit;
    return (int)v;
}

inline bool finitePoint(const HPoint& p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }

// The plane-and-projection test of an undisplaced GInverseTriangle on its
// cached copy, in the same operations and order as the triangle's own test.
inline bool planeCandidate(const VoxelEntry& e, uint32_t dropped, const GRay& ray, float limit) {
    const HPoint& o = ray.origin;
    const HPoint& d = ray.direction;
    float denominator = d.x * e.nx + d.y * e.ny + d.z * e.nz;
    if (denominator == 0.0f) return false;
    float t = -(e.d + (o.x * e.nx + o.y * e.ny + o.z * e.nz)) / denominator;
    if (!(t > 0.0f) || t > limit * limitSlack) return false;
    float ou, ov, du, dv;
    if (dropped == 0) {
        ou = o.y, ov = o.z, du = d.y, dv = d.z;
    } else if (dropped == 1) {
        ou = o.x, ov = o.z, du = d.x, dv = d.z;
    } else {
        ou = o.x, ov = o.y, du = d.x, dv = d.y;
    }
    float pu = (ou + t * du) - e.p0u;
    float pv = (ov + t * dv) - e.p0v;
    float b2 = (pv * e.e1u - pu * e.e1v) * e.inverseDeterminant;
    if (!(b2 >= -candidateSlack)) return false;
    float b1 = (pu * e.e2v - pv * e.e2u) * e.inverseDeterminant;
    return b1 >= -candidateSlack && b1 + b2 <= 1.0f + candidateSlack;
}

// The 3-D DDA state of one walk through the voxels.
struct GridWalk {
    int index[3];
    int step[3];
    int stop[3];  // the index on each axis beyond which no voxel exists
    float tNext[3];
    float tDelta[3];

    // Sets the walk up at distance tCur; false when it cannot meet any voxel.
    bool start(const GBoundingBox& box, const GRay& ray, float tCur) {
        const float along = tCur + epsilon;
        const float origin[3] = {ray.origin.x, ray.origin.y, ray.origin.z};
        const float direction[3] = {ray.direction.x, ray.direction.y, ray.direction.z};
        const float inverse[3] = {ray.inverseDirection.x, ray.inverseDirection.y, ray.inverseDirection.z};
        const float low[3] = {box.boxMin.x, box.boxMin.y, box.boxMin.z};
        const VoxelTable& voxels = box.voxels;
        for (int a = 0; a < 3; a++) {
            float p = origin[a] + along * direction[a];
            if (!std::isfinite(p)) return false;
            float size = box.voxelSize[a];
            int i = voxelCoordinate(p - low[a], size);
            index[a] = i;
            float lo = low[a] + (float)i * size;
            float inv = inverse[a];
            if (direction[a] == 0.0f || !std::isfinite(inv)) {
                // Parallel to the axis: never steps along it.
                step[a] = 0;
                stop[a] = i;
                tNext[a] = INFINITY;
                tDelta[a] = INFINITY;
                if (i < voxels.lowest[a] || i > voxels.highest[a]) return false;
                continue;
            }
            if (inv > 0.0f) {
                step[a] = 1;
                stop[a] = voxels.highest[a] + 1;
                tNext[a] = tCur + (lo + size - p) * inv;
                if (i > voxels.highest[a]) return false;
            } else {
                step[a] = -1;
                stop[a] = voxels.lowest[a] - 1;
                tNext[a] = tCur - (p - lo) * inv;
                if (i < voxels.lowest[a]) return false;
            }
            tDelta[a] = std::fabs(inv * size);
        }
        return true;
    }

    // Steps into the next voxel (ties go to z, then y); false when the walk
    // has left every voxel that exists.
    bool advance(float& tCur) {
        int a;
        if (tNext[0] < tNext[1] && tNext[0] < tNext[2]) {
            a = 0;
        } else if (tNext[1] < tNext[2]) {
            a = 1;
        } else {
            a = 2;
        }
        index[a] += step[a];
        if (index[a] == stop[a]) return false;
        tCur = tNext[a];
        tNext[a] += tDelta[a];
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
    static char buffer[256];
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
    // Cube edge e with (dx dy dz) / e^3 = target voxels.
    float edge = std::pow(extent[0] * extent[1] * extent[2] / targetVoxels, 0.33333334f);
    if (!(edge > 0.0f) || !std::isfinite(edge)) {
        edge = (float)std::cbrt((double)extent[0] * (double)extent[1] * (double)extent[2] / (double)targetVoxels);
    }
    // An axis thinner than e gets one voxel; e is then chosen again for the
    // other axes, so that a flat box is cut into about the target count
    // instead of that count times e / thickness.
    bool thin[3] = {false, false, false};
    for (int pass = 0; pass < 2; pass++) {
        int thick = 0;
        double volume = 1.0;
        bool changed = false;
        for (int a = 0; a < 3; a++) {
            if (!thin[a] && extent[a] < edge) {
                thin[a] = true;
                changed = true;
            }
            if (!thin[a]) {
                thick++;
                volume *= extent[a];
            }
        }
        if (!changed || thick == 0) break;
        edge = (float)std::pow(volume / (double)targetVoxels, 1.0 / thick);
    }
    for (int a = 0; a < 3; a++) {
        float cells = thin[a] ? 1.0f : extent[a] / edge;
        int n = 1;
        if (cells >= (float)maxResolution) {
            n = maxResolution;
        } else if (cells >= 1.0f) {
            n = (int)cells;
        }
        resolution[a] = n;
        voxelSize[a] = extent[a] / (float)n;
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
    // Cache the geometry of undisplaced triangles next to their index.
    voxels.finish([this](uint32_t index, VoxelEntry& entry) {
        entry = VoxelEntry{0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, voxelGenericKind << 29};
        GSceneObject* object = objects[(int)index];
        if (object->typeId() != ClassId::GInverseTriangle) return;
        GInverseTriangle* triangle = static_cast<GInverseTriangle*>(object);
        if (triangle->shell) return;
        int u = triangle->axisU, v = triangle->axisV;
        uint32_t dropped = (u != 0 && v != 0) ? 0u : ((u != 1 && v != 1) ? 1u : 2u);
        entry.code = dropped << 29;
        if (triangle->inverseDeterminant == 0.0f) return;  // zero normal: never a candidate
        const HPoint& p0 = triangle->vertices[0]->position;
        const HPoint& p1 = triangle->vertices[1]->position;
        const HPoint& p2 = triangle->vertices[2]->position;
        entry.nx = triangle->plane.x;
        entry.ny = triangle->plane.y;
        entry.nz = triangle->plane.z;
        entry.d = triangle->plane.w;
        entry.p0u = axisValue(p0, u);
        entry.p0v = axisValue(p0, v);
        entry.e1u = axisValue(p1, u) - axisValue(p0, u);
        entry.e1v = axisValue(p1, v) - axisValue(p0, v);
        entry.e2u = axisValue(p2, u) - axisValue(p0, u);
        entry.e2v = axisValue(p2, v) - axisValue(p0, v);
        entry.inverseDeterminant = triangle->inverseDeterminant;
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
    // resolution and the grid is made coarser instead of exhausting memory.
    double budget = 32.0 * count + 4194304.0;
    if (budget > 4.0e9) budget = 4.0e9;
    for (;;) {
        chooseResolution(target);
        if (fillVoxels((size_t)budget)) break;
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
    if (ray.id == lastRayId) return false;
    lastRayId = ray.id;
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
    if (ray.id == lastRayId) return false;
    lastRayId = ray.id;
    float nearT, farT;
    if (!clip(ray, limit, nearT, farT)) return false;
    if (gridBuilt) return walkShadow(ray, shadowColor, limit, nearT > 0.0f ? nearT : 0.0f, farT);
    for (int i = objects.count - 1; i >= 0; i--) {
        if (objects[i]->occludes(ray, shadowColor, limit)) return true;
    }
    return false;
}

long long gsRays, gsSteps, gsFound, gsEntries, gsFresh, gsCandidates, gsHits;
struct GsPrint { ~GsPrint() { if (gsRays) std::fprintf(stderr, "rays %lld steps/ray %.2f found/ray %.2f entries/ray %.2f fresh/ray %.2f cand/ray %.2f hits/ray %.2f\n", gsRays, (double)gsSteps/gsRays, (double)gsFound/gsRays, (double)gsEntries/gsRays, (double)gsFresh/gsRays, (double)gsCandidates/gsRays, (double)gsHits/gsRays); } } gsPrint;
bool GBoundingBox::walkClosest(GRay& ray, HitRecord& hit, float tStart, float tLimit) {
    gsRays++;
    GridWalk walk;
    if (!walk.start(*this, ray, tStart)) return false;
    const unsigned rayId = ray.id;
    unsigned* const rayStamps = stamps.data();
    GSceneObject* const* const objectList = objects.elements;
    // The range of existing voxels: cheaper to test than a hash probe.
    const unsigned lowX = (unsigned)voxels.lowest[0], lowY = (unsigned)voxels.lowest[1],
                   lowZ = (unsigned)voxels.lowest[2];
    const unsigned spanX = (unsigned)voxels.highest[0] - lowX, spanY = (unsigned)voxels.highest[1] - lowY,
                   spanZ = (unsigned)voxels.highest[2] - lowZ;
    bool found = false;
    float tCur = tStart;
    for (;;) {
        const int x = walk.index[0], y = walk.index[1], z = walk.index[2];
        const VoxelEntry* entry = nullptr;
        if ((unsigned)x - lowX <= spanX && (unsigned)y - lowY <= spanY && (unsigned)z - lowZ <= spanZ)
            entry = voxels.find(x, y, z);
        gsSteps++;
        if (entry) {
            gsFound++;
            for (;; entry++) {
                const uint32_t code = entry->code;
                const uint32_t index = code & voxelIndexMask;
                gsEntries++;
                if (rayStamps[index] != rayId) {
                    rayStamps[index] = rayId;
                    gsFresh++;
                    const uint32_t kind = (code >> 29) & 3u;
                    if (kind == voxelGenericKind || planeCandidate(*entry, kind, ray, hit.t)) {
                        gsCandidates++;
                        if (objectList[index]->intersect(ray, hit)) {
                            gsHits++;
                            found = true;
                            if (hit.t < tLimit) tLimit = hit.t;
                        }
                    }
                }
                if (code & voxelLastFlag) break;
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
    const unsigned rayId = ray.id;
    unsigned* const rayStamps = stamps.data();
    GSceneObject* const* const objectList = objects.elements;
    // The range of existing voxels: cheaper to test than a hash probe.
    const unsigned lowX = (unsigned)voxels.lowest[0], lowY = (unsigned)voxels.lowest[1],
                   lowZ = (unsigned)voxels.lowest[2];
    const unsigned spanX = (unsigned)voxels.highest[0] - lowX, spanY = (unsigned)voxels.highest[1] - lowY,
                   spanZ = (unsigned)voxels.highest[2] - lowZ;
    float tCur = tStart;
    for (;;) {
        const int x = walk.index[0], y = walk.index[1], z = walk.index[2];
        const VoxelEntry* entry = nullptr;
        if ((unsigned)x - lowX <= spanX && (unsigned)y - lowY <= spanY && (unsigned)z - lowZ <= spanZ)
            entry = voxels.find(x, y, z);
        if (entry) {
            for (;; entry++) {
                const uint32_t code = entry->code;
                const uint32_t index = code & voxelIndexMask;
                if (rayStamps[index] != rayId) {
                    rayStamps[index] = rayId;
                    const uint32_t kind = (code >> 29) & 3u;
                    if (kind == voxelGenericKind || planeCandidate(*entry, kind, ray, limit)) {
                        if (objectList[index]->occludes(ray, shadowColor, limit)) return true;
                    }
                }
                if (code & voxelLastFlag) break;
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
        } else if (object->isKindOf(ClassId::GBoundingBox)) {
            object->emitVrml(file);
        }
    }
    if (triangles == 0) return;
    GMaterial* material = objects[0]->getMaterial();
    if (material) material->writeXML(file);
    std::fprintf(file, "<object name='ply%" PRIxPTR "' shader_name='s%" PRIxPTR "'> <attributes />\n",
                 (uintptr_t)this, (uintptr_t)material);
    std::fprintf(file, "<mesh autosmooth='35'>\n");
    std::fprintf(file, "<points>\n");
    for (int i = 0; i < objects.count; i++) {
        if (!objects[i]->isKindOf(ClassId::GTriangle)) continue;
        GTriangle* triangle = static_cast<GTriangle*>(objects[i]);
        for (const GVertex* vertex : triangle->vertices) {
            const HPoint& p = vertex->position;
            const HPoint& n = vertex->normal;
            std::fprintf(file, "  <p x='%0.6f' y='%0.6f' z='%0.6f' nx='%0.3f' ny='%0.3f' nz='%0.3f'/>\n", p.x, p.y,
                         p.z, n.x, n.y, n.z);
        }
    }
    std::fprintf(file, "</points>\n");
    std::fprintf(file, "<faces>\n");
    for (int k = 0; k < triangles; k++) std::fprintf(file, "  <f a='%d' b='%d' c='%d'/>\n", 3 * k, 3 * k + 1, 3 * k + 2);
    std::fprintf(file, "</faces>\n");
    std::fprintf(file, "</mesh>\n");
    std::fprintf(file, "</object>\n");
}
