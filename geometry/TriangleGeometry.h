// Corner arithmetic shared by GTriangle and GInverseTriangle: interpolation
// over barycentric weights, uniform points and the area-light factor. Plain
// inline value code for the intersection and sampling paths.
#pragma once

#include <cmath>

#include "foundation/HPoint.h"
#include "foundation/Random.h"
#include "foundation/Sampling.h"
#include "geometry/GRay.h"
#include "geometry/GVertex.h"
#include "geometry/HitRecord.h"
#include "shading/GMaterial.h"

const float trianglePi = 3.1415927f;

// (V1 - V0) x (V2 - V0): twice the area, along the counter-clockwise normal.
inline HPoint triangleCross(const GVertex* const corners[3]) {
    HPoint e1 = corners[1]->position.difference(corners[0]->position);
    HPoint e2 = corners[2]->position.difference(corners[0]->position);
    return e1.cross(e2);
}

inline float triangleArea(const GVertex* const corners[3]) { return 0.5f * triangleCross(corners).length(); }

// w0 p0 + w1 p1 + w2 p2 of the positions, w = 1.
inline HPoint interpolatePosition(const GVertex* const corners[3], float w0, float w1, float w2) {
    const HPoint& a = corners[0]->position;
    const HPoint& b = corners[1]->position;
    const HPoint& c = corners[2]->position;
    return HPoint(w0 * a.x + w1 * b.x + w2 * c.x, w0 * a.y + w1 * b.y + w2 * c.y, w0 * a.z + w1 * b.z + w2 * c.z,
                  1.0f);
}

// w0 n0 + w1 n1 + w2 n2 of the vertex normals, not normalised, w = 1.
inline HPoint interpolateVertexNormal(const GVertex* const corners[3], float w0, float w1, float w2) {
    const HPoint& a = corners[0]->normal;
    const HPoint& b = corners[1]->normal;
    const HPoint& c = corners[2]->normal;
    return HPoint(w0 * a.x + w1 * b.x + w2 * c.x, w0 * a.y + w1 * b.y + w2 * c.y, w0 * a.z + w1 * b.z + w2 * c.z,
                  1.0f);
}

// The shading normal: the geometric normal for flat triangles, otherwise the
// normalised interpolated vertex normal. Vertices without normals (all zero
// there) would give a zero vector, which shades black and cannot orient a
// hemisphere, so the geometric normal stands in for it.
inline HPoint interpolateShadingNormal(const GVertex* const corners[3], bool flat, const HPoint& geometric, float w0,
                                       float w1, float w2) {
    if (flat) return geometric;
    HPoint n = interpolateVertexNormal(corners, w0, w1, w2);
    float length = n.length();
    if (!(length > 0.0f)) return geometric;
    n.scale(1.0f / length);
    return n;
}

// w0 t0 + w1 t1 + w2 t2 of the texture coordinates, all four components.
inline HPoint interpolateTexCoord(const GVertex* const corners[3], float w0, float w1, float w2) {
    const HPoint& a = corners[0]->texCoord;
    const HPoint& b = corners[1]->texCoord;
    const HPoint& c = corners[2]->texCoord;
    return HPoint(w0 * a.x + w1 * b.x + w2 * c.x, w0 * a.y + w1 * b.y + w2 * c.y, w0 * a.z + w1 * b.z + w2 * c.z,
                  w0 * a.w + w1 * b.w + w2 * c.w);
}

// A uniform point on the triangle from two draws (r1 first): the pair is
// folded back into the triangle when r1 + r2 > 1. Gives the weights of V0,
// V1, V2 as well.
inline HPoint uniformTrianglePoint(const GVertex* const corners[3], float& w0, float& w1, float& w2) {
    float r1 = uniform01();
    float r2 = uniform01();
    if (r1 + r2 > 1.0f) {
        r1 = 1.0f - r1;
        r2 = 1.0f - r2;
    }
    w0 = r1;
    w1 = r2;
    w2 = 1.0f - (r1 + r2);
    return interpolatePosition(corners, w0, w1, w2);
}

// Unit direction from receiver to pointOnLight and its distance; a receiver
// on the light itself gets distance 0 and a zero direction.
inline float directionToLight(const HPoint& receiver, const HPoint& pointOnLight, HPoint& toLight) {
    toLight = pointOnLight.difference(receiver);
    toLight.w = 1.0f;
    float distance = toLight.length();
    if (distance > 0.0f) toLight.scale(1.0f / distance);
    return distance;
}

// The emissive colour of material at the receiver's hit (black without a
// material: such a triangle is no emitter).
inline void emissionAt(const GMaterial* material, const HitRecord& hit, HPoint& color) {
    if (material) {
        material->getColor(GMaterial::emissive, color, hit);
    } else {
        color = HPoint(0.0f, 0.0f, 0.0f, 0.0f);
    }
}

// The emissive colour at texture coordinate (0, 0).
inline void emissionAtOrigin(const GMaterial* material, HPoint& color) {
    if (material) {
        material->getColorAt(GMaterial::emissive, color, HPoint(0.0f, 0.0f, 0.0f, 1.0f));
    } else {
        color = HPoint(0.0f, 0.0f, 0.0f, 0.0f);
    }
}

// The emitter operations both triangle kinds share. Triangle supplies
// vertices, lightFactor, shadingNormal, area and getMaterial.
template <class Triangle>
void triangleLight(Triangle& triangle, const HitRecord& receiver, const HPoint& pointOnLight,
                   HPoint& toLight, float& distance, HPoint& color) {
    float factor = triangle.lightFactor(receiver.point, pointOnLight, toLight, distance);
    emissionAt(triangle.getMaterial(), receiver, color);
    color.scale(factor);
}

// Power emitted by the whole triangle: emission x area / pi.
template <class Triangle> void triangleEmittedPower(Triangle& triangle, HPoint& color) {
    emissionAtOrigin(triangle.getMaterial(), color);
    color.scale(triangle.area() / trianglePi);
}

// A light ray from a uniform point in a cosine-distributed direction about
// the shading normal there.
template <class Triangle>
void triangleEmitRay(Triangle& triangle, GRay& ray, HPoint& power, HPoint& normal) {
    float w0, w1, w2;
    HPoint origin = uniformTrianglePoint(triangle.vertices, w0, w1, w2);
    normal = triangle.shadingNormal(w0, w1, w2);
    ray.id = nextRayId();
    ray.depth = 0;
    ray.origin = origin;
    ray.direction = sampleCosineHemisphere(normal);
    ray.updateInverse();
    triangleEmittedPower(triangle, power);
}
