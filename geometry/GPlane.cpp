#include "geometry/GPlane.h"

#include <cfloat>

#include "geometry/BlockReading.h"
#include "geometry/GScene.h"
#include "geometry/MeshXmlWriter.h"
#include "shading/GMaterial.h"

const char* GPlane::toString() const {
    static thread_local char buffer[objectTextSize];
    return formatClassAddress(buffer, objectTextSize, "GPlane", this);
}

void GPlane::setUp() {
    normal.normalize();
    // The u direction read from the file only orients the axes; both end up
    // perpendicular to the normal (and zero when no u direction was given).
    vAxis = uAxis.cross(normal);
    vAxis.normalize();
    uAxis = normal.cross(vAxis);
    uAxis.normalize();
    normal.w = -normal.dot(origin);
}

bool GPlane::parse(GScene* scene) {
    material = new GMaterial();
    if (scene) scene->allObjects.add(material);

    if (!isToken(nextToken(), "{")) return false;
    bool closed = false;
    for (const char* token = nextToken(); token; token = nextToken()) {
        if (std::strcmp(token, "}") == 0) {
            closed = true;
            break;
        }
        if (std::strcmp(token, "origin") == 0) {
            origin = readPoint();
        } else if (std::strcmp(token, "normal") == 0) {
            normal = readPoint();
        } else if (std::strcmp(token, "u_direction") == 0) {
            uAxis = readPoint();
        } else {
            readMaterialKeyword(token, *material);  // anything else is skipped
        }
    }
    // A cut-off block still leaves a usable plane.
    setUp();
    return closed;
}

void GPlane::draw(void* context) {
    (void)context;
    std::printf("drawing %s\n", toString());
}

bool GPlane::intersect(GRay& ray, HitRecord& hit) {
    if (lastRayId.seen(ray.id, this)) return false;

    float a = ray.direction.dot(normal);
    if (a == 0.0f) return false;  // parallel to the plane
    float t = -(ray.origin.dot(normal) + normal.w) / a;
    // Written so that a NaN distance is rejected too.
    if (!(t > 0.0f && t <= hit.t)) return false;

    hit.t = t;
    hit.point = ray.origin.sum(ray.direction.scaled(t));
    hit.object = this;
    // Shading reads the hit record's normals, so the plane fills them as well.
    // (normal.w holds the plane offset, which is no part of a direction.)
    hit.normal = HPoint(normal.x, normal.y, normal.z, 1.0f);
    hit.geometricNormal = hit.normal;
    return true;
}

void GPlane::getBounds(HPoint& min, HPoint& max) {
    min = HPoint(-FLT_MAX, -FLT_MAX, -FLT_MAX, 1.0f);
    max = HPoint(FLT_MAX, FLT_MAX, FLT_MAX, 1.0f);
}

void GPlane::normalAt(HPoint& out, HitRecord& hit) {
    (void)hit;
    out = normal;
}

void GPlane::emitVrml(FILE* file) { writePlaneXML(file, *this, origin); }
