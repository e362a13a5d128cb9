#include "geometry/GInverseTriangle.h"

#include <cmath>

#include "foundation/Sampling.h"
#include "geometry/TriangleGeometry.h"
#include "image/GImage.h"
#include "shading/GMaterial.h"
#include "shading/GTexture.h"

namespace {

inline float axisValue(const HPoint& p, int axis) { return axis == 0 ? p.x : (axis == 1 ? p.y : p.z); }

const float largestFloat = 3.4028235e38f;

}  // namespace

GInverseTriangle::~GInverseTriangle() { delete shell; }

const char* GInverseTriangle::toString() const {
    static thread_local char buffer[objectTextSize];
    return formatClassAddress(buffer, objectTextSize, "GInverseTriangle", this);
}

void GInverseTriangle::setVertices(GVertex* v0, GVertex* v1, GVertex* v2, bool allowDisplacement) {
    vertices[0] = v0;
    vertices[1] = v1;
    vertices[2] = v2;
    delete shell;
    shell = nullptr;
    flags &= ~displaced;
    plane = HPoint();
    axisU = 0;
    axisV = 1;
    inverseDeterminant = 0.0f;

    // Plane: the normal agrees with the first vertex normal unless flat.
    HPoint n = triangleCross(vertices);
    float length = n.length();
    if (!(length > 0.0f)) return;  // no plane: never hit
    n.scale(1.0f / length);
    if (!(flags & flat) && v0->normal.dot(n) < 0.0f) n.scale(-1.0f);
    plane = HPoint(n.x, n.y, n.z, -n.dot(v0->position));

    // Projection onto the two axes where the triangle is largest (ties: x
    // is dropped before y before z).
    float ax = std::fabs(n.x), ay = std::fabs(n.y), az = std::fabs(n.z);
    if (ax >= ay && ax >= az) {
        axisU = 1;
        axisV = 2;
    } else if (ay >= az) {
        axisU = 0;
        axisV = 2;
    } else {
        axisU = 0;
        axisV = 1;
    }
    HPoint e1 = v1->position.difference(v0->position);
    HPoint e2 = v2->position.difference(v0->position);
    float determinant = axisValue(e1, axisU) * axisValue(e2, axisV) - axisValue(e1, axisV) * axisValue(e2, axisU);
    if (determinant == 0.0f || !std::isfinite(determinant)) {
        plane = HPoint();
        return;
    }
    inverseDeterminant = 1.0f / determinant;

    if (allowDisplacement) {
        GTexture* texture = displacementTexture();
        if (texture) buildShell(texture);
    }
}

GTexture* GInverseTriangle::displacementTexture() const {
    if (!vertices[0]) return nullptr;
    const GMaterial* material = vertices[0]->material;
    if (!material || !(material->scalarTextureMask & (1u << GMaterial::displacement))) return nullptr;
    GTexture* texture = material->scalarTextures[GMaterial::displacement];
    // A texture without pixels has no height field to displace by.
    if (!texture || !texture->image || texture->image->width < 1 || texture->image->height < 1) return nullptr;
    return texture;
}

bool GInverseTriangle::intersect(GRay& ray, HitRecord& hit) {
    if (lastRayId.seen(ray.id, this)) return false;
    if (shell) return intersectDisplaced(ray, hit);
    return intersectPlane(ray, hit);
}

bool GInverseTriangle::intersectPlane(const GRay& ray, HitRecord& hit) {
    if (inverseDeterminant == 0.0f) return false;  // zero area
    HPoint n = planeNormal();
    float denominator = ray.direction.dot(n);
    if (denominator == 0.0f) return false;
    float t = -(plane.w + ray.origin.dot(n)) / denominator;
    if (!(t > 0.0f) || t > hit.t) return false;

    HPoint point(ray.origin.x + t * ray.direction.x, ray.origin.y + t * ray.direction.y,
                 ray.origin.z + t * ray.direction.z, 1.0f);
    const HPoint& p0 = vertices[0]->position;
    const HPoint& p1 = vertices[1]->position;
    const HPoint& p2 = vertices[2]->position;
    float e1u = axisValue(p1, axisU) - axisValue(p0, axisU), e1v = axisValue(p1, axisV) - axisValue(p0, axisV);
    float e2u = axisValue(p2, axisU) - axisValue(p0, axisU), e2v = axisValue(p2, axisV) - axisValue(p0, axisV);
    float pu = axisValue(point, axisU) - axisValue(p0, axisU);
    float pv = axisValue(point, axisV) - axisValue(p0, axisV);
    float b2 = (pv * e1u - pu * e1v) * inverseDeterminant;
    if (!(b2 >= 0.0f)) return false;
    float b1 = (pu * e2v - pv * e2u) * inverseDeterminant;
    if (!(b1 >= 0.0f) || b1 + b2 > 1.0f) return false;
    float b0 = 1.0f - (b1 + b2);

    hit.t = t;
    hit.object = this;
    hit.point = point;
    hit.geometricNormal = n;
    hit.texCoord = interpolateTexCoord(vertices, b0, b1, b2);
    hit.normal = interpolateShadingNormal(vertices, (flags & flat) != 0, n, b0, b1, b2);
    return true;
}

void GInverseTriangle::setMaterial(GMaterial* material) {
    for (GVertex* vertex : vertices) {
        if (vertex) vertex->material = material;
    }
}

GMaterial* GInverseTriangle::getMaterial() { return vertices[0] ? vertices[0]->material : nullptr; }

void GInverseTriangle::getBounds(HPoint& min, HPoint& max) {
    min = HPoint(largestFloat, largestFloat, largestFloat, 1.0f);
    max = HPoint(-largestFloat, -largestFloat, -largestFloat, 1.0f);
    float low = 0.0f, high = 0.0f;
    if ((flags & displaced) && shell) {
        low = shell->boundsLow;
        high = shell->boundsHigh;
    }
    for (const GVertex* vertex : vertices) {
        const HPoint& p = vertex->position;
        const HPoint& n = vertex->normal;
        HPoint lowPoint(p.x + low * n.x, p.y + low * n.y, p.z + low * n.z, 1.0f);
        HPoint highPoint(p.x + high * n.x, p.y + high * n.y, p.z + high * n.z, 1.0f);
        min.componentMin(lowPoint);
        max.componentMax(lowPoint);
        min.componentMin(highPoint);
        max.componentMax(highPoint);
    }
}

bool GInverseTriangle::isEmitter() {
    GMaterial* material = getMaterial();
    return material && material->isEmissive();
}

float GInverseTriangle::area() const { return triangleArea(vertices); }

HPoint GInverseTriangle::shadingNormal(float w0, float w1, float w2) const {
    return interpolateShadingNormal(vertices, (flags & flat) != 0, planeNormal(), w0, w1, w2);
}

float GInverseTriangle::lightFactor(const HPoint& receiver, const HPoint& pointOnLight, HPoint& toLight,
                                    float& distance) const {
    distance = directionToLight(receiver, pointOnLight, toLight);
    if (!(distance > 0.0f)) return 0.0f;
    float factor = area() * std::fabs(planeNormal().dot(toLight)) / (trianglePi * distance * distance);
    // A receiver very close to the light would otherwise get unbounded light.
    return factor > 1.0f ? 1.0f : factor;
}

bool GInverseTriangle::sampleLight(HPoint& direction, HPoint& color, float& distance, HitRecord& hit) {
    float w0, w1, w2;
    HPoint pointOnLight = uniformTrianglePoint(vertices, w0, w1, w2);
    triangleLight(*this, hit, pointOnLight, direction, distance, color);
    return true;
}

void GInverseTriangle::evaluateLight(HitRecord& receiver, const HPoint& pointOnLight, HPoint& color) {
    HPoint toLight;
    float distance;
    triangleLight(*this, receiver, pointOnLight, toLight, distance, color);
}

void GInverseTriangle::emitRay(GRay& ray, HPoint& power, HPoint& normal) { triangleEmitRay(*this, ray, power, normal); }

void GInverseTriangle::emittedPower(HPoint& color) { triangleEmittedPower(*this, color); }
