#include "geometry/GPointCloud.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "foundation/SearchPath.h"
#include "foundation/Settings.h"
#include "geometry/BlockReading.h"
#include "geometry/GRay.h"
#include "geometry/GScene.h"
#include "geometry/GSphere.h"
#include "geometry/HitRecord.h"
#include "geometry/MeshText.h"
#include "geometry/SphereSetFile.h"
#include "image/PixelFunctions.h"
#include "shading/GMaterial.h"
#include "shading/GTexture.h"

namespace {

const float largest = 3.4028235e38f;
// A march never takes more samples than this per ray, whatever the box and
// the step: a tiny support radius must not turn one ray into an endless loop.
const long long maxMarchSamples = 1 << 20;

int hashXY(const XYLoc* key) { return (int)((unsigned)key->x * 541u + (unsigned)key->y * 79u); }

// A cell coordinate for any float, far-away and NaN values included.
int cellCoordinate(float value) {
    double cell = std::floor((double)value);
    if (!(cell > -1073741824.0)) return -1073741824;
    if (cell > 1073741824.0) return 1073741824;
    return (int)cell;
}

// Reads "[" numbers "]" after a function block keyword.
void readList(std::vector<float>& values) {
    values.clear();
    const char* token = nextToken();
    if (!isToken(token, "[")) return;
    for (token = nextToken(); token && std::strcmp(token, "]") != 0; token = nextToken())
        values.push_back(std::strtof(token, nullptr));
}

// "{" "max" [R ...] "samples" [values] "}": the function of one point by
// squared distance, 128 entries over [0, R^2].
void readFunctionBlock(PresampledFunction& function) {
    if (!isToken(nextToken(), "{")) return;
    std::vector<float> maximum, samples;
    for (const char* token = nextToken(); token; token = nextToken()) {
        if (std::strcmp(token, "}") == 0) break;
        if (std::strcmp(token, "max") == 0)
            readList(maximum);
        else if (std::strcmp(token, "samples") == 0)
            readList(samples);
    }
    if (!maximum.empty() && maximum[0] > 0.0f && !samples.empty())
        function.setFromRadialSamples(maximum[0], (int)samples.size(), samples.data(), radialTableEntries);
}

class CloudPoints : public SphereSetReceiver {
public:
    CloudPoints(GPointCloud& target, GScene* owner) : cloud(target), scene(owner) {}
    void material(GMaterial* material) override {
        if (scene)
            scene->allObjects.add(material);
        else
            delete material;
    }
    void sphere(GSphere* sphere) override { cloud.addPoint(sphere); }

private:
    GPointCloud& cloud;
    GScene* scene;
};

}  // namespace

GPointCloud::GPointCloud()
    : boxMin(largest, largest, largest, 1.0f), boxMax(-largest, -largest, -largest, 1.0f), lastRayId(0),
      points(8, -1), material(nullptr), rods(4, 1.0f), isoValue(0.0f), marchStep(0.5f), shadowStep(0.5f),
      marchStart(0.1f), normalDelta(0.1f), refineSteps(rayMarchRefinements) {
    cellSize[0] = cellSize[1] = inverseCellSize[0] = inverseCellSize[1] = 1.0f;
    rods.hashFunction = &hashXY;
}

GPointCloud::~GPointCloud() {
    rods.clear();
    for (GSphere* point : ownedPoints) delete point;
    for (XYLoc* key : ownedKeys) delete key;
    for (JVector<GSphere>* rod : ownedRods) delete rod;
    delete colorTexture;
}

const char* GPointCloud::toString() const {
    static thread_local char buffer[256];
    std::snprintf(buffer, sizeof buffer, "GPointCloud@%lx (%0.2f,%0.2f,%0.2f)-(%0.2f,%0.2f,%0.2f), %d rods",
                  (unsigned long)(uintptr_t)this, boxMin.x, boxMin.y, boxMin.z, boxMax.x, boxMax.y, boxMax.z,
                  rods.size());
    return buffer;
}

// ---------------------------------------------------------------- loading

bool GPointCloud::parse(GScene* scene) {
    material = new GMaterial();
    if (scene) scene->allObjects.add(material);
    // The blended point colour arrives in the hit's texture coordinates.
    colorTexture = new GTexture();
    colorTexture->passThrough = true;
    material->setColorTexture(GMaterial::diffuse, colorTexture);
    if (!isToken(nextToken(), "{")) return false;
    char fileName[4096] = "";
    for (const char* token = nextToken(); token; token = nextToken()) {
        if (std::strcmp(token, "}") == 0) {
            loadPoints(fileName, scene);
            buildRods();
            deriveMarch();
            return true;
        }
        if (std::strcmp(token, "iso_function") == 0) {
            readFunctionBlock(isoFunction);
        } else if (std::strcmp(token, "kernel_function") == 0) {
            readFunctionBlock(kernelFunction);
        } else if (std::strcmp(token, "iso_value") == 0) {
            isoValue = readFloat();
        } else if (std::strcmp(token, "emissive_color") == 0) {
            material->setColor(GMaterial::emissive, readColor());
        } else if (std::strcmp(token, "diffuse_color") == 0) {
            readColor();  // the points' own colours are the diffuse colour
        } else if (readMaterialKeyword(token, *material)) {
            // read into the material
        } else if (std::strcmp(token, "file") == 0) {
            readName(fileName, (int)sizeof fileName);
        } else if (std::strcmp(token, "rotation") == 0 || std::strcmp(token, "scale") == 0 ||
                   std::strcmp(token, "translation") == 0) {
            // Read like the shape block's; its sphere sets are not transformed either.
            float x, y, z;
            readFloat3(x, y, z);
        }
    }
    return false;  // the input ended inside the block
}

void GPointCloud::loadPoints(const char* fileName, GScene* scene) {
    if (!fileName[0]) return;
    FILE* file = openOnSearchPath(fileName, "rb");
    if (!file) return;
    MeshText text;
    if (!text.load(file)) std::printf("could not read all of point file '%s'\n", fileName);
    std::fclose(file);
    char* first = text.nextLine();
    if (!first || std::strncmp(first, "POINT_CLOUD", 11) != 0) {
        std::printf("point file '%s' does not start with POINT_CLOUD; the cloud is empty\n", fileName);
        return;
    }
    CloudPoints receiver(*this, scene);
    readSphereSet(text.rest(), text.remaining(), fileName, material, true, receiver);
}

void GPointCloud::addPoint(GSphere* point) {
    ownedPoints.push_back(point);
    points.add(point);
    boxMin.componentMin(point->center);
    boxMax.componentMax(point->center);
    boxMin.w = boxMax.w = 1.0f;
}

XYLoc GPointCloud::cellOf(const HPoint& p) const {
    return XYLoc{cellCoordinate(p.x * inverseCellSize[0]), cellCoordinate(p.y * inverseCellSize[1])};
}

void GPointCloud::buildRods() {
    if (points.size() <= minObjectsInGrid) return;
    float support = std::max(isoFunction.support(), kernelFunction.support());
    if (!(support > 0.0f) || !std::isfinite(support)) support = 1.0f;
    cellSize[0] = cellSize[1] = std::sqrt(support);
    inverseCellSize[0] = inverseCellSize[1] = 1.0f / cellSize[0];
    for (int k = 0; k < points.size(); k++) {
        GSphere* point = points[k];
        XYLoc cell = cellOf(point->center);
        JVector<GSphere>* rod = rods.get(&cell);
        if (!rod) {
            ownedKeys.push_back(new XYLoc(cell));
            ownedRods.push_back(new JVector<GSphere>(8, -1));
            rod = ownedRods.back();
            rods.put(ownedKeys.back(), rod);
        }
        rod->add(point);
    }
    for (JVector<GSphere>* rod : ownedRods)
        std::sort(rod->elements, rod->elements + rod->count,
                  [](const GSphere* a, const GSphere* b) { return a->center.z < b->center.z; });
}

void GPointCloud::deriveMarch() {
    const float radius = std::sqrt(isoFunction.support());
    if (points.size() > 0) {
        boxMin.subtract(HPoint(radius, radius, radius));
        boxMax.add(HPoint(radius, radius, radius));
    }
    marchStep = radius * rayMarchOffsetFactor;
    shadowStep = radius * rayMarchStepFactor;
    marchStart = radius * rayMarchOffsetFactor;
    refineSteps = rayMarchRefinements;
}

// ---------------------------------------------------------------- the field

template <class Visit>
void GPointCloud::walk(const HPoint& p, float support, Visit visit) const {
    if (rods.size() == 0 || !(support > 0.0f)) return;
    const XYLoc centre = cellOf(p);
    for (int a = -1; a <= 1; a++)
        for (int b = -1; b <= 1; b++) {
            XYLoc cell{centre.x + a, centre.y + b};
            const JVector<GSphere>* rod = rods.get(&cell);
            if (!rod) continue;
            // Squared distance in x and y from p to the cell's rectangle.
            float dxy2 = 0.0f;
            const float lowX = (float)cell.x * cellSize[0], lowY = (float)cell.y * cellSize[1];
            float dx = p.x < lowX ? lowX - p.x : p.x > lowX + cellSize[0] ? p.x - lowX - cellSize[0] : 0.0f;
            float dy = p.y < lowY ? lowY - p.y : p.y > lowY + cellSize[1] ? p.y - lowY - cellSize[1] : 0.0f;
            dxy2 = dx * dx + dy * dy;
            if (!(dxy2 < support)) continue;
            const float h = std::sqrt(support - dxy2);
            // The z-window around p by bisection, then outwards both ways.
            GSphere* const* begin = rod->elements;
            GSphere* const* end = rod->elements + rod->count;
            GSphere* const* at = std::lower_bound(
                begin, end, p.z, [](const GSphere* point, float z) { return point->center.z < z; });
            for (GSphere* const* q = at; q > begin && p.z - (*(q - 1))->center.z <= h; q--) {
                const GSphere* point = *(q - 1);
                HPoint d = p.difference(point->center);
                visit(point, d.dot(d));
            }
            for (GSphere* const* q = at; q < end && (*q)->center.z - p.z <= h; q++) {
                HPoint d = p.difference((*q)->center);
                visit(*q, d.dot(d));
            }
        }
}

float GPointCloud::field(const HPoint& p) const {
    float sum = 0.0f;
    walk(p, isoFunction.support(), [&](const GSphere*, float d2) { sum += isoFunction.evaluate(d2); });
    return sum;
}

HPoint GPointCloud::blendedColor(const HPoint& p) const {
    HPoint sum(0.0f, 0.0f, 0.0f, 1.0f);
    float total = 0.0f;
    walk(p, kernelFunction.support(), [&](const GSphere* point, float d2) {
        float w = kernelFunction.evaluate(d2);
        if (!(w > 0.0f)) return;
        HPoint c = pixelToColor(point->packedColor);
        sum.x += w * c.x;
        sum.y += w * c.y;
        sum.z += w * c.z;
        total += w;
    });
    if (!(total > 0.0f)) return HPoint(0.0f, 0.0f, 0.0f, 1.0f);
    return HPoint(sum.x / total, sum.y / total, sum.z / total, 1.0f);
}

HPoint GPointCloud::normalAt(const HPoint& p) const {
    const float f = field(p);
    HPoint g(field(HPoint(p.x + normalDelta, p.y, p.z, 1.0f)) - f, field(HPoint(p.x, p.y + normalDelta, p.z, 1.0f)) - f,
             field(HPoint(p.x, p.y, p.z + normalDelta, 1.0f)) - f, 1.0f);
    if (g.x == 0.0f && g.y == 0.0f && g.z == 0.0f) return HPoint(0.0f, 0.0f, 1.0f, 1.0f);
    // The field grows inwards: the outward normal points down its gradient.
    g.scale(-1.0f);
    g.normalize();
    return g;
}

void GPointCloud::colorAt(HPoint& color, HitRecord& hit) { color = blendedColor(hit.point); }

// ---------------------------------------------------------------- rays

bool GPointCloud::slab(const GRay& ray, float limit, float& near, float& far) const {
    const float low[3] = {boxMin.x, boxMin.y, boxMin.z}, high[3] = {boxMax.x, boxMax.y, boxMax.z};
    return raySpanInBox(ray, low, high, limit, near, far);
}

bool GPointCloud::intersect(GRay& ray, HitRecord& hit) {
    // 1. Mailbox and box.
    // Unnumbered rays (id 0) are always tested.
    if (ray.id == 0) lastRayId = 0u;
    else if (lastRayId.seen(ray.id, this)) return false;
    if (rods.size() == 0 || !(marchStep > 0.0f)) return false;
    float near, far;
    if (!slab(ray, hit.t, near, far)) return false;

    // 2. - 4. March until the field crosses the iso value.
    float t = near == 0.0f ? marchStart : near;
    HPoint p = ray.origin.sum(ray.direction.scaled(t));
    float previous = field(p) - isoValue;
    float low = 0.0f, high = 0.0f, fLow = 0.0f, fHigh = 0.0f;
    bool crossed = false;
    for (long long samples = 0; samples < maxMarchSamples; samples++) {
        t += marchStep;
        if (!(t < far)) break;
        p = ray.origin.sum(ray.direction.scaled(t));
        float f = field(p) - isoValue;
        if (f * previous < 0.0f) {
            low = t - marchStep;
            high = t;
            fLow = previous;
            fHigh = f;
            crossed = true;
            break;
        }
        previous = f;
    }
    if (!crossed) return false;

    // 5. Regula falsi inside the bracket.
    float crossing = low;
    for (int step = 0; step < refineSteps; step++) {
        crossing = low + (high - low) * fLow / (fLow - fHigh);
        float f = field(ray.origin.sum(ray.direction.scaled(crossing))) - isoValue;
        if (f * fLow < 0.0f) {
            high = crossing;
            fHigh = f;
        } else {
            low = crossing;
            fLow = f;
        }
    }
    if (refineSteps <= 0) crossing = low + (high - low) * fLow / (fLow - fHigh);

    // 6. The hit, with the field's normal and the blended colour.
    hit.t = crossing;
    hit.object = this;
    hit.point = ray.origin.sum(ray.direction.scaled(crossing));
    hit.point.w = 1.0f;
    hit.normal = normalAt(hit.point);
    hit.geometricNormal = hit.normal;
    hit.texCoord = blendedColor(hit.point);
    return true;
}

bool GPointCloud::occludes(GRay& ray, HPoint& shadowColor, float limit) {
    (void)shadowColor;
    // Unnumbered rays (id 0) are always tested.
    if (ray.id == 0) lastRayId = 0u;
    else if (lastRayId.seen(ray.id, this)) return false;
    if (rods.size() == 0 || !(shadowStep > 0.0f)) return false;
    float near, far;
    if (!slab(ray, limit, near, far)) return false;
    float t = near + marchStart;
    for (long long samples = 0; samples < maxMarchSamples && t < far; samples++, t += shadowStep)
        if (field(ray.origin.sum(ray.direction.scaled(t))) > isoValue) return true;
    return false;
}
