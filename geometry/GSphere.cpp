#include "geometry/GSphere.h"

#include <cinttypes>
#include <cmath>

#include "foundation/Random.h"
#include "foundation/Sampling.h"
#include "foundation/Settings.h"
#include "geometry/BlockReading.h"
#include "geometry/GScene.h"
#include "image/PixelFunctions.h"
#include "shading/GMaterial.h"

static const double pi = 3.141592653589793;

const char* GSphere::toString() const {
    static thread_local char buffer[128];
    std::snprintf(buffer, sizeof buffer, "GSphere@%" PRIxPTR " (%0.2f %0.2f %0.2f, %0.2f)", (uintptr_t)this,
                  center.x, center.y, center.z, radius);
    return buffer;
}

void GSphere::setRadius(float r) {
    radius = r;
    inverseRadius = r != 0.0f ? 1.0f / r : 1.0f;
}

float GSphere::area() { return (float)(4.0 * pi * radius * radius); }

bool GSphere::parse(GScene* scene) {
    // The material belongs to the scene's object list, like every loaded object.
    material = new GMaterial();
    if (scene) scene->allObjects.add(material);

    if (!isToken(nextToken(), "{")) return false;
    for (const char* token = nextToken(); token; token = nextToken()) {
        if (std::strcmp(token, "}") == 0) return true;
        if (std::strcmp(token, "center") == 0) {
            center = readPoint();
        } else if (std::strcmp(token, "radius") == 0) {
            setRadius(readFloat());
        } else {
            readMaterialKeyword(token, *material);  // anything else is skipped
        }
    }
    return false;  // cut off by the end of input
}

void GSphere::draw(void* context) {
    (void)context;
    std::printf("drawing %s\n", toString());
}

bool GSphere::intersect(GRay& ray, HitRecord& hit) {
    if (lastRayId.seen(ray.id, this)) return false;

    HPoint toCenter = center.difference(ray.origin);
    float b = ray.direction.dot(toCenter);
    float f = radius * radius - toCenter.dot(toCenter);  // > 0: the origin is inside
    float h = b * b + f;                                 // squared half chord
    float e = radius > 1.0f ? epsilon * radius : epsilon;
    // Missed, or centre behind an origin that is outside: no hit.
    if (h < 0.0f || (b < 0.0f && f < e)) return false;

    float s = std::sqrt(h);
    float t = b - s;
    if (t < e) t = b + s;  // the near root is behind or on the start surface: leave from inside
    if (!(t <= hit.t)) return false;

    hit.t = t;
    hit.object = this;
    // origin + direction * t, carrying the direction's w.
    HPoint point = ray.direction.scaled(t);
    point.add(ray.origin);
    hit.point = point;
    HPoint normal = point.difference(center);
    normal.scale(inverseRadius);
    hit.normal = normal;
    hit.geometricNormal = normal;
    return true;
}

void GSphere::filterShadow(HPoint& shadowColor, GRay& ray, GMaterial* blocker, HitRecord& hit) {
    if (!blocker) return;
    HPoint filter;
    blocker->getColor(GMaterial::transmitted, filter, hit);
    if (fakeCaustics) {
        // A sphere focuses light: near-normal incidence may brighten up to threefold.
        float cosine = hit.normal.dot(ray.direction);
        float boost = std::pow(cosine * cosine + 0.1f, 12.0f) + 0.7f;
        if (boost > 3.0f) boost = 3.0f;
        filter.scale(boost);
    }
    shadowColor.multiply(filter);
}

void GSphere::getBounds(HPoint& min, HPoint& max) {
    min = HPoint(center.x - radius, center.y - radius, center.z - radius, 1.0f);
    max = HPoint(center.x + radius, center.y + radius, center.z + radius, 1.0f);
}

void GSphere::colorAt(HPoint& color, HitRecord& hit) {
    (void)hit;
    color = pixelToColor(packedColor);
}

bool GSphere::isEmitter() { return material != nullptr && material->isEmissive(); }

// The emitted colour seen from a point at distance squared d2 from the centre:
// full strength within one radius, inverse-square beyond.
static float sphereFalloff(float radius, float d2) {
    if (!(d2 > 0.0f)) return 1.0f;
    float f = radius * radius / d2;
    return f < 1.0f ? f : 1.0f;
}

bool GSphere::sampleLight(HPoint& direction, HPoint& color, float& distance, HitRecord& hit) {
    const HPoint& shadingPoint = hit.point;
    // A unit frame across the direction towards the centre.
    HPoint towardsCenter = center.difference(shadingPoint);
    towardsCenter.normalize();
    HPoint side = HPoint::perpendicular(towardsCenter);
    side.normalize();
    HPoint up = towardsCenter.cross(side);

    // A uniform point on the disc through the centre that faces the point.
    float k = std::sqrt(uniform01());
    float phi = (float)(uniform01() * twoPi);
    side.scale(radius * k * std::cos(phi));
    up.scale(radius * k * std::sin(phi));
    HPoint target = center.sum(side);
    target.add(up);

    direction = target.difference(shadingPoint);
    distance = direction.length();
    if (!(distance > 0.0f)) return false;  // the point lies on the sampled disc
    direction.scale(1.0f / distance);

    if (material) {
        material->getColor(GMaterial::emissive, color, hit);
    } else {
        color = HPoint(0.0f, 0.0f, 0.0f, 0.0f);
    }
    color.scale(sphereFalloff(radius, distance * distance));
    return true;
}

void GSphere::evaluateLight(HitRecord& receiver, const HPoint& pointOnLight, HPoint& color) {
    (void)pointOnLight;
    if (!material) {
        color = HPoint(0.0f, 0.0f, 0.0f, 0.0f);
        return;
    }
    material->getColor(GMaterial::emissive, color, receiver);
    HPoint offset = center.difference(receiver.point);
    color.scale(sphereFalloff(radius, offset.dot(offset)));
}

void GSphere::emittedPower(HPoint& color) {
    if (!material) {
        color = HPoint(0.0f, 0.0f, 0.0f, 0.0f);
        return;
    }
    material->getColorAt(GMaterial::emissive, color, HPoint(0.0f, 0.0f, 0.0f, 1.0f));
    color.scale((float)(area() * (1.0 / pi)));
}

void GSphere::emitRay(GRay& ray, HPoint& power, HPoint& normal) {
    // A uniform direction by rejection from the cube (draws x, y, z in order).
    float x, y, z;
    do {
        x = 1.0f - 2.0f * uniform01();
        y = 1.0f - 2.0f * uniform01();
        z = 1.0f - 2.0f * uniform01();
    } while (x * x + y * y + z * z > 1.0f);
    HPoint n(x, y, z, 1.0f);
    n.normalize();
    normal = n;

    ray.origin = center.sum(n.scaled(radius));
    ray.depth = 0;
    ray.id = nextRayId();
    ray.direction = sampleCosineHemisphere(n);
    ray.updateInverse();
    emittedPower(power);
}

void GSphere::emitVrml(FILE* file) {
    if (material) material->writeXML(file);
    std::fprintf(file, "<object name='sph%" PRIxPTR "', shader_name='s%" PRIxPTR "'> <attributes />\n",
                 (uintptr_t)this, (uintptr_t)material);
    std::fprintf(file, "  <sphere radius='%0.8f'>\n", radius);
    std::fprintf(file, "    <center x='%0.8f' y='%0.8f' z='%0.8f'/>\n", center.x, center.y, center.z);
    std::fprintf(file, "  </sphere>\n");
    std::fprintf(file, "</object>\n");
}
