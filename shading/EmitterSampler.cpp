#include "shading/EmitterSampler.h"

#include <algorithm>
#include <cmath>

#include "geometry/GInverseTriangle.h"
#include "geometry/GScene.h"
#include "geometry/GSphere.h"
#include "geometry/GTriangle.h"
#include "geometry/TriangleGeometry.h"
#include "shading/Bsdf.h"
#include "shading/GMaterial.h"

namespace {

const double pi = 3.14159265358979323846;
const HPoint black(0.0f, 0.0f, 0.0f, 1.0f);

HPoint opaque(const HPoint& c) { return HPoint(c.x, c.y, c.z, 1.0f); }

// 1 - cos of the half angle of the cone a sphere of radius r subtends at
// distance d > r, without the cancellation of 1 - sqrt(1 - s^2) for small
// spheres far away.
double oneMinusCosCone(double r, double d) {
    double sin2 = (r * r) / (d * d);
    return sin2 / (1.0 + std::sqrt(std::max(0.0, 1.0 - sin2)));
}

}  // namespace

void EmitterSampler::build(GScene& scene) {
    records.clear();
    cumulative.clear();
    indexOfObject.clear();
    totalPower = 0.0;
    defaultMaterial = scene.defaultMaterial;
    std::vector<double> powers;
    for (int i = 0; i < scene.emitters.count; i++) {
        GSceneObject* object = scene.emitters[i];
        if (!object) continue;
        Record record{};
        record.object = object;
        record.material = object->getMaterial();
        double power = 0.0;
        HPoint emission = black;
        if (record.material) record.material->getColorAt(GMaterial::emissive, emission, HPoint(0.0f, 0.0f, 0.0f, 1.0f));
        if (object->isKindOf(ClassId::GSphere)) {
            GSphere* sphere = static_cast<GSphere*>(object);
            record.isSphere = true;
            record.center = sphere->center;
            record.radius = std::fabs(sphere->radius);
            record.area = (float)(4.0 * pi * record.radius * record.radius);
            power = luminanceOf(emission) * record.area;
        } else if (object->isKindOf(ClassId::GTriangle) || object->isKindOf(ClassId::GInverseTriangle)) {
            GVertex* const* corners = object->isKindOf(ClassId::GTriangle)
                                          ? static_cast<GTriangle*>(object)->vertices
                                          : static_cast<GInverseTriangle*>(object)->vertices;
            if (!corners[0] || !corners[1] || !corners[2]) continue;
            for (int c = 0; c < 3; c++) record.corners[c] = corners[c];
            HPoint cross = triangleCross(record.corners);
            float length = cross.length();
            record.area = 0.5f * length;
            if (!(length > 0.0f)) continue;
            record.faceNormal = cross.scaled(1.0f / length);
            record.faceNormal.w = 1.0f;
            power = 2.0 * luminanceOf(emission) * record.area;  // both faces
        } else {
            continue;  // no other kind emits
        }
        if (!(power > 0.0) || !std::isfinite(power)) continue;
        indexOfObject[object] = (int)records.size();
        records.push_back(record);
        powers.push_back(power);
        totalPower += power;
    }
    double running = 0.0;
    for (size_t i = 0; i < records.size(); i++) {
        records[i].probability = (float)(powers[i] / totalPower);
        running += powers[i] / totalPower;
        cumulative.push_back(running);
    }
    if (!cumulative.empty()) cumulative.back() = 1.0;
}

int EmitterSampler::choose(float u) const {
    size_t k = std::upper_bound(cumulative.begin(), cumulative.end(), (double)u) - cumulative.begin();
    return (int)std::min(k, records.size() - 1);
}

const EmitterSampler::Record* EmitterSampler::recordOf(const GSceneObject* object) const {
    auto found = indexOfObject.find(object);
    return found == indexOfObject.end() ? nullptr : &records[found->second];
}

float EmitterSampler::choiceProbability(const GSceneObject* emitter) const {
    const Record* record = recordOf(emitter);
    return record ? record->probability : 0.0f;
}

void EmitterSampler::pointOnRecord(const Record& record, float u1, float u2, EmitterSample& out) const {
    HitRecord& p = out.point;
    p = HitRecord();
    p.object = record.object;
    if (record.isSphere) {
        // Uniform on the sphere: z = 1 - 2 u1.
        float z = 1.0f - 2.0f * u1;
        float ring = std::sqrt(std::max(0.0f, 1.0f - z * z));
        float phi = (float)(2.0 * pi) * u2;
        HPoint n(ring * std::cos(phi), ring * std::sin(phi), z, 1.0f);
        p.point = record.center.sum(n.scaled(record.radius));
        p.point.w = 1.0f;
        p.normal = p.geometricNormal = n;
    } else {
        // Uniform by area: weights 1 - sqrt(u1), u2 sqrt(u1).
        float root = std::sqrt(u1);
        float w0 = 1.0f - root, w1 = u2 * root, w2 = 1.0f - w0 - w1;
        p.point = interpolatePosition(record.corners, w0, w1, w2);
        p.texCoord = interpolateTexCoord(record.corners, w0, w1, w2);
        p.normal = p.geometricNormal = record.faceNormal;
    }
    out.emitter = record.object;
    HPoint emission = black;
    if (record.material) record.material->getColor(GMaterial::emissive, emission, p);
    out.emission = opaque(emission);
}

bool EmitterSampler::sampleDirect(const HPoint& receiver, float uChoice, float u1, float u2,
                                  EmitterSample& out) const {
    if (empty()) return false;
    const Record& record = records[choose(uChoice)];
    if (record.isSphere) {
        // Uniform over the cone the sphere subtends: every direction in it
        // meets the near face once, so the density is 1 / the cone's solid angle.
        HPoint toCenter = record.center.difference(receiver);
        double d = toCenter.length();
        double r = record.radius;
        if (!(d > r * 1.0001)) return false;  // inside or on the sphere: its outside is not seen
        double oneMinusCos = oneMinusCosCone(r, d);
        double cosTheta = 1.0 - u1 * oneMinusCos;
        double sinTheta = std::sqrt(std::max(0.0, 1.0 - cosTheta * cosTheta));
        double phi = 2.0 * pi * u2;
        HPoint axis = toCenter.scaled((float)(1.0 / d));
        axis.w = 1.0f;
        HPoint side = HPoint::perpendicular(axis);
        side.normalize();
        HPoint up = side.cross(axis);
        HPoint dir((float)(axis.x * cosTheta + (side.x * std::cos(phi) + up.x * std::sin(phi)) * sinTheta),
                   (float)(axis.y * cosTheta + (side.y * std::cos(phi) + up.y * std::sin(phi)) * sinTheta),
                   (float)(axis.z * cosTheta + (side.z * std::cos(phi) + up.z * std::sin(phi)) * sinTheta), 1.0f);
        dir.normalize();
        // The near root of the ray against the sphere (the tangent point when
        // rounding puts the ray just outside).
        double b = (double)dir.dot(toCenter);
        double h = r * r - (d * d - b * b);
        double t = b - std::sqrt(std::max(0.0, h));
        HitRecord& p = out.point;
        p = HitRecord();
        p.object = record.object;
        p.point = receiver.sum(dir.scaled((float)t));
        p.point.w = 1.0f;
        HPoint n = p.point.difference(record.center);
        n.normalize();
        n.w = 1.0f;
        p.normal = p.geometricNormal = n;
        out.emitter = record.object;
        HPoint emission = black;
        if (record.material) record.material->getColor(GMaterial::emissive, emission, p);
        out.emission = opaque(emission);
        out.toLight = dir;
        out.distance = (float)t;
        out.pdf = (float)(record.probability / (2.0 * pi * oneMinusCos));
        return out.distance > 0.0f && out.pdf > 0.0f;
    }
    pointOnRecord(record, u1, u2, out);
    HPoint toLight = out.point.point.difference(receiver);
    float distance2 = toLight.dot(toLight);
    float distance = std::sqrt(distance2);
    if (!(distance > 0.0f)) return false;
    toLight.scale(1.0f / distance);
    toLight.w = 1.0f;
    float cosine = std::fabs(record.faceNormal.dot(toLight));
    if (!(cosine > 1e-7f)) return false;
    out.toLight = toLight;
    out.distance = distance;
    out.pdf = record.probability * distance2 / (record.area * cosine);
    return std::isfinite(out.pdf) && out.pdf > 0.0f;
}

float EmitterSampler::directDensity(const HPoint& receiver, const HitRecord& onEmitter) const {
    const Record* record = recordOf(onEmitter.object);
    if (!record) return 0.0f;
    if (record->isSphere) {
        double d = record->center.difference(receiver).length();
        if (!(d > record->radius * 1.0001)) return 0.0f;
        return (float)(record->probability / (2.0 * pi * oneMinusCosCone(record->radius, d)));
    }
    HPoint toLight = onEmitter.point.difference(receiver);
    float distance2 = toLight.dot(toLight);
    if (!(distance2 > 0.0f)) return 0.0f;
    float cosine = std::fabs(record->faceNormal.dot(toLight)) / std::sqrt(distance2);
    if (!(cosine > 1e-7f)) return 0.0f;
    return record->probability * distance2 / (record->area * cosine);
}

bool EmitterSampler::sampleArea(float uChoice, float u1, float u2, EmitterSample& out) const {
    if (empty()) return false;
    const Record& record = records[choose(uChoice)];
    pointOnRecord(record, u1, u2, out);
    out.toLight = HPoint(0.0f, 0.0f, 0.0f, 1.0f);
    out.distance = 0.0f;
    out.pdf = record.probability / record.area;
    return out.pdf > 0.0f;
}

float EmitterSampler::areaDensity(const HitRecord& onEmitter) const {
    const Record* record = recordOf(onEmitter.object);
    return record ? record->probability / record->area : 0.0f;
}

bool EmitterSampler::sampleEmission(const EmitterSample& at, float uFace, float u1, float u2, HPoint& direction,
                                    float& pdf) const {
    const Record* record = recordOf(at.emitter);
    if (!record) return false;
    HPoint n = at.point.geometricNormal;
    if (!record->isSphere && uFace >= 0.5f) n.scale(-1.0f);
    n.w = 1.0f;
    HPoint side = HPoint::perpendicular(n);
    side.normalize();
    HPoint up = side.cross(n);
    float cosTheta = std::sqrt(std::max(0.0f, 1.0f - u1));
    float sinTheta = std::sqrt(u1);
    float phi = (float)(2.0 * pi) * u2;
    float a = sinTheta * std::cos(phi), b = sinTheta * std::sin(phi);
    direction = HPoint(n.x * cosTheta + side.x * a + up.x * b, n.y * cosTheta + side.y * a + up.y * b,
                       n.z * cosTheta + side.z * a + up.z * b, 1.0f);
    direction.normalize();
    pdf = emissionDensity(at.point, direction);
    return pdf > 0.0f;
}

float EmitterSampler::emissionDensity(const HitRecord& onEmitter, const HPoint& direction) const {
    const Record* record = recordOf(onEmitter.object);
    if (!record) return 0.0f;
    float cosine = onEmitter.geometricNormal.dot(direction);
    if (record->isSphere) return cosine > 0.0f ? (float)(cosine / pi) : 0.0f;
    return (float)(std::fabs(cosine) / (2.0 * pi));
}

HPoint EmitterSampler::emittedRadiance(const HitRecord& onEmitter, const HPoint& toward) {
    if (!onEmitter.object) return black;
    GMaterial* material = onEmitter.object->getMaterial();
    if (!material) return black;
    if (onEmitter.object->isKindOf(ClassId::GSphere) && !(onEmitter.geometricNormal.dot(toward) > 0.0f))
        return black;
    HPoint emission;
    material->getColor(GMaterial::emissive, emission, onEmitter);
    return opaque(emission);
}
