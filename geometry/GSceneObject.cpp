#include "geometry/GSceneObject.h"

#include <cmath>

#include "foundation/Random.h"
#include "foundation/Settings.h"
#include "shading/GMaterial.h"

const char* GSceneObject::toString() const {
    static thread_local char buffer[objectTextSize];
    return formatClassAddress(buffer, objectTextSize, "GSceneObject", this);
}

void GSceneObject::draw(void* context) {
    (void)context;
    std::printf("drawing %s\n", toString());
}

bool GSceneObject::intersect(GRay& ray, HitRecord& hit) {
    (void)ray;
    (void)hit;
    std::printf("intersecting with %s\n", toString());
    return false;
}

bool GSceneObject::occludes(GRay& ray, HPoint& shadowColor, float limit) {
    HitRecord hit;
    hit.t = limit;
    if (!intersect(ray, hit)) return false;
    GMaterial* material = getMaterial();
    if (transparentShadows && material) {
        HPoint transmission;
        material->getColor(GMaterial::transmitted, transmission, hit);
        if (transmission.x + transmission.y + transmission.z > 0.0f) {
            // A see-through blocker lets the ray pass, dimmed.
            filterShadow(shadowColor, ray, material, hit);
            return false;
        }
    }
    return true;
}

void GSceneObject::filterShadow(HPoint& shadowColor, GRay& ray, GMaterial* material, HitRecord& hit) {
    if (!material) return;
    HPoint filter;
    material->getColor(GMaterial::transmitted, filter, hit);
    if (fakeCaustics) {
        // Crude caustics: more light gets through near normal incidence.
        float cosine = hit.normal.dot(ray.direction);
        float boost = std::pow(cosine * cosine + 0.2f, 12.0f) + 0.7f;
        if (boost > 1.0f) boost = 1.0f;
        filter.scale(boost);
    }
    shadowColor.multiply(filter);
}

void GSceneObject::setMaterial(GMaterial* material) { (void)material; }

GMaterial* GSceneObject::getMaterial() { return nullptr; }

void GSceneObject::setRayStamp(unsigned rayId) { (void)rayId; }

void GSceneObject::clearRayStamp(unsigned rayId) { setRayStamp(rayId); }

void GSceneObject::getBounds(HPoint& min, HPoint& max) {
    (void)min;
    (void)max;
}

bool GSceneObject::isUnbounded() { return false; }

void GSceneObject::colorAt(HPoint& color, HitRecord& hit) {
    (void)hit;
    color = HPoint(0.5f, 0.5f, 0.5f, 1.0f);
}

bool GSceneObject::isEmitter() { return false; }

bool GSceneObject::sampleLight(HPoint& direction, HPoint& color, float& distance, HitRecord& hit) {
    (void)direction;
    (void)color;
    (void)distance;
    (void)hit;
    return false;
}

void GSceneObject::evaluateLight(HitRecord& receiver, const HPoint& pointOnLight, HPoint& color) {
    (void)receiver;
    (void)pointOnLight;
    (void)color;
}

void GSceneObject::emitRay(GRay& ray, HPoint& power, HPoint& normal) {
    (void)ray;
    (void)power;
    (void)normal;
}

void GSceneObject::emittedPower(HPoint& color) { (void)color; }

bool GSceneObject::samplePoint(HPoint& point, HPoint& normal, HPoint& emission, float& density) {
    (void)point;
    (void)normal;
    (void)emission;
    (void)density;
    return false;
}

void GSceneObject::emitVrml(FILE* file) {
    (void)file;
    std::printf("XML export: %s is not written: the format has no such object\n", toString());
}

void emitFromEitherFace(GSceneObject& emitter, GRay& ray, HPoint& power, HPoint& normal) {
    if (emitter.isKindOf(ClassId::GSphere)) return;
    // The lower half of 0 .. 32767 keeps the front face: exactly one half.
    if (nextRandom() >= (randomMax + 1) / 2) {
        ray.direction.scale(-1.0f);
        ray.updateInverse();
        normal.scale(-1.0f);
    }
    power.scale(2.0f);
}
