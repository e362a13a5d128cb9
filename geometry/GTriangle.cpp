#include "geometry/GTriangle.h"

#include <cmath>

#include "foundation/Sampling.h"
#include "geometry/TriangleGeometry.h"
#include "shading/GMaterial.h"

const char* GTriangle::toString() const {
    static thread_local char buffer[objectTextSize];
    return formatClassAddress(buffer, objectTextSize, "GTriangle", this);
}

void GTriangle::setVertices(GVertex* v0, GVertex* v1, GVertex* v2) {
    vertices[0] = v0;
    vertices[1] = v1;
    vertices[2] = v2;
}

HPoint GTriangle::geometricNormal() const {
    HPoint n = triangleCross(vertices);
    n.normalize();
    n.w = 1.0f;
    return n;
}

float GTriangle::area() const { return triangleArea(vertices); }

HPoint GTriangle::shadingNormal(float w0, float w1, float w2) const {
    return interpolateShadingNormal(vertices, (flags & flat) != 0, geometricNormal(), w0, w1, w2);
}

void GTriangle::fillHit(const GRay& ray, HitRecord& hit, float t, float u, float v) {
    float w0 = 1.0f - u - v;
    hit.t = t;
    hit.object = this;
    hit.point = HPoint(ray.origin.x + t * ray.direction.x, ray.origin.y + t * ray.direction.y,
                       ray.origin.z + t * ray.direction.z, 1.0f);
    hit.geometricNormal = geometricNormal();
    hit.texCoord = interpolateTexCoord(vertices, w0, u, v);
    hit.normal = interpolateShadingNormal(vertices, (flags & flat) != 0, hit.geometricNormal, w0, u, v);
}

void GTriangle::setMaterial(GMaterial* material) {
    for (GVertex* vertex : vertices) {
        if (vertex) vertex->material = material;
    }
}

GMaterial* GTriangle::getMaterial() { return vertices[0] ? vertices[0]->material : nullptr; }

void GTriangle::getBounds(HPoint& min, HPoint& max) {
    min = vertices[0]->position;
    max = vertices[0]->position;
    min.componentMin(vertices[1]->position);
    min.componentMin(vertices[2]->position);
    max.componentMax(vertices[1]->position);
    max.componentMax(vertices[2]->position);
    min.w = max.w = 1.0f;
}

bool GTriangle::isEmitter() {
    GMaterial* material = getMaterial();
    return material && material->isEmissive();
}

float GTriangle::lightFactor(const HPoint& receiver, const HPoint& pointOnLight, HPoint& toLight,
                             float& distance) const {
    distance = directionToLight(receiver, pointOnLight, toLight);
    if (!(distance > 0.0f)) return 0.0f;
    // Not clamped: a receiver close to the light may get more than the emission.
    return std::fabs(area() * toLight.dot(geometricNormal()) / (trianglePi * distance * distance));
}

bool GTriangle::sampleLight(HPoint& direction, HPoint& color, float& distance, HitRecord& hit) {
    float w0, w1, w2;
    HPoint pointOnLight = uniformTrianglePoint(vertices, w0, w1, w2);
    triangleLight(*this, hit, pointOnLight, direction, distance, color);
    return true;
}

void GTriangle::evaluateLight(HitRecord& receiver, const HPoint& pointOnLight, HPoint& color) {
    HPoint toLight;
    float distance;
    triangleLight(*this, receiver, pointOnLight, toLight, distance, color);
}

void GTriangle::emitRay(GRay& ray, HPoint& power, HPoint& normal) { triangleEmitRay(*this, ray, power, normal); }

void GTriangle::emittedPower(HPoint& color) { triangleEmittedPower(*this, color); }

bool GTriangle::samplePoint(HPoint& point, HPoint& normal, HPoint& emission, float& density) {
    float w0, w1, w2;
    point = uniformTrianglePoint(vertices, w0, w1, w2);
    normal = shadingNormal(w0, w1, w2);
    emissionAtOrigin(getMaterial(), emission);
    // A triangle without area has no density to offer.
    float a = area();
    if (!(a > 0.0f)) {
        density = 0.0f;
        return false;
    }
    density = 1.0f / a;
    return true;
}
