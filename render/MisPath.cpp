#include "render/MisPath.h"

#include <algorithm>
#include <cmath>

#include "foundation/Random.h"
#include "foundation/Settings.h"
#include "geometry/GInverseTriangle.h"
#include "geometry/GScene.h"
#include "geometry/GSceneObject.h"
#include "geometry/GSphere.h"
#include "geometry/GTriangle.h"
#include "geometry/TriangleGeometry.h"
#include "render/GCamera.h"
#include "shading/GMaterial.h"

namespace {

const float pi = 3.14159265f;
const HPoint black(0.0f, 0.0f, 0.0f, 1.0f);

HPoint times(const HPoint& a, const HPoint& b) { return HPoint(a.x * b.x, a.y * b.y, a.z * b.z, 1.0f); }
bool isBlack(const HPoint& c) { return !(c.x > 0.0f || c.y > 0.0f || c.z > 0.0f); }

// A unit direction and its length from a to b.
float unitTowards(const HPoint& a, const HPoint& b, HPoint& direction) {
    direction = b.difference(a);
    direction.w = 1.0f;
    float length = direction.length();
    if (length > 0.0f) direction.scale(1.0f / length);
    return length;
}

// Cosine-distributed direction about unit n from two numbers.
HPoint cosineDirection(const HPoint& n, float u1, float u2) {
    HPoint p, q;
    localFrame(n, p, q);
    float r = std::sqrt(u1), phi = 2.0f * pi * u2;
    float z = std::sqrt(std::fmax(0.0f, 1.0f - u1));
    HPoint d = p.scaled(r * std::cos(phi)).sum(q.scaled(r * std::sin(phi))).sum(n.scaled(z));
    d.w = 1.0f;
    d.normalize();
    return d;
}

// A sphere emits from its outside only; every other emitter from both faces.
bool emitsOutwardOnly(const GSceneObject* object) { return object && object->isKindOf(ClassId::GSphere); }

// The cosine that goes with a vertex's light: the true surface's at an
// emitter point (what its direction density is drawn about), the shading
// normal's elsewhere (what the BSDF is defined about).
float cosineAt(const MisVertex& v, const HPoint& direction) {
    const HPoint& n = v.kind == MisVertex::emitter ? v.hit.geometricNormal : v.hit.normal;
    return std::fabs(n.dot(direction));
}

// Solid-angle density of a light walk leaving emitter point v along d.
float emissionDensity(const MisVertex& v, const HPoint& d) {
    float c = v.hit.geometricNormal.dot(d);
    if (emitsOutwardOnly(v.hit.object)) return c > 0.0f ? c / pi : 0.0f;
    return std::fabs(c) / (2.0f * pi);
}

inline float remap0(float p) { return p != 0.0f ? p : 1.0f; }

}  // namespace

float StreamSampler::next(int) {
    float u = (float)fineUniform01();
    return u < 1.0f ? u : 0.99999994f;
}

// ---------------------------------------------------------------- emitters

bool MisEmitters::build(GScene& scene) {
    objects.clear();
    indices.clear();
    cumulative.clear();
    pointDensities.clear();
    areas.clear();
    std::vector<float> powers;
    const HPoint origin(0.0f, 0.0f, 0.0f, 1.0f);
    for (int i = 0; i < scene.emitters.size() && (int)objects.size() < maxEmitters; i++) {
        GSceneObject* object = scene.emitters[i];
        float area = 0.0f;
        if (object->isKindOf(ClassId::GSphere))
            area = static_cast<GSphere*>(object)->area();
        else if (object->isKindOf(ClassId::GTriangle))
            area = static_cast<GTriangle*>(object)->area();
        else if (object->isKindOf(ClassId::GInverseTriangle))
            area = static_cast<GInverseTriangle*>(object)->area();
        GMaterial* material = object->getMaterial();
        if (!material || !(area > 0.0f) || indices.count(object)) continue;
        HPoint emission;
        material->getColorAt(GMaterial::emissive, emission, origin);
        float power = misLuminance(emission) * area * pi * (emitsOutwardOnly(object) ? 1.0f : 2.0f);
        if (!(power > 0.0f)) continue;
        indices[object] = (int)objects.size();
        objects.push_back(object);
        powers.push_back(power);
        areas.push_back(area);
    }
    double total = 0.0;
    for (float p : powers) total += p;
    double running = 0.0;
    for (size_t i = 0; i < powers.size(); i++) {
        running += powers[i];
        cumulative.push_back((float)(running / total));
        pointDensities.push_back((float)(powers[i] / total / areas[i]));
    }
    if (!cumulative.empty()) cumulative.back() = 1.0f;
    return !objects.empty();
}

int MisEmitters::indexOf(const GSceneObject* object) const {
    auto found = indices.find(object);
    return found == indices.end() ? -1 : found->second;
}

int MisEmitters::samplePoint(float u0, float u1, float u2, HitRecord& point) const {
    if (objects.empty()) return -1;
    int index = (int)(std::upper_bound(cumulative.begin(), cumulative.end(), u0) - cumulative.begin());
    if (index >= count()) index = count() - 1;
    GSceneObject* object = objects[index];
    point = HitRecord();
    point.object = object;
    point.texCoord = HPoint(0.0f, 0.0f, 0.0f, 1.0f);  // where the table read the emission
    if (object->isKindOf(ClassId::GSphere)) {
        const GSphere* sphere = static_cast<const GSphere*>(object);
        float z = 1.0f - 2.0f * u1, r = std::sqrt(std::fmax(0.0f, 1.0f - z * z)), phi = 2.0f * pi * u2;
        HPoint n(r * std::cos(phi), r * std::sin(phi), z, 1.0f);
        point.point = sphere->center.sum(n.scaled(sphere->radius));
        point.point.w = 1.0f;
        point.normal = n;
        point.geometricNormal = n;
        return index;
    }
    // A triangle: the pair folded back into it.
    GVertex* const* corners = object->isKindOf(ClassId::GTriangle) ? static_cast<GTriangle*>(object)->vertices
                                                                    : static_cast<GInverseTriangle*>(object)->vertices;
    float r1 = u1, r2 = u2;
    if (r1 + r2 > 1.0f) {
        r1 = 1.0f - r1;
        r2 = 1.0f - r2;
    }
    float w0 = r1, w1 = r2, w2 = 1.0f - r1 - r2;
    point.point = interpolatePosition(corners, w0, w1, w2);
    HPoint geometric = triangleCross(corners);
    geometric.w = 1.0f;
    geometric.normalize();
    point.geometricNormal = geometric;
    point.normal = object->isKindOf(ClassId::GTriangle) ? static_cast<GTriangle*>(object)->shadingNormal(w0, w1, w2)
                                                         : static_cast<GInverseTriangle*>(object)->shadingNormal(w0, w1, w2);
    return index;
}

// ---------------------------------------------------------------- the lens

void MisCameraModel::set(const GCamera& camera, int imageWidth, int imageHeight) {
    eye = camera.from;
    view = camera.viewDirection;
    right = camera.right;
    up = camera.trueUp;
    width = imageWidth;
    height = imageHeight;
    pixelSize = 2.0f * std::tan(camera.fovy * 0.5f) / (float)height;
    planeArea = pixelSize * (float)width * pixelSize * (float)height;
}

HPoint MisCameraModel::direction(float x, float y) const {
    float dx = (x - (float)width * 0.5f) * pixelSize, dy = (y - (float)height * 0.5f) * pixelSize;
    HPoint d(view.x + up.x * dy + right.x * dx, view.y + up.y * dy + right.y * dx, view.z + up.z * dy + right.z * dx,
             1.0f);
    d.normalize();
    return d;
}

bool MisCameraModel::raster(const HPoint& d, float& x, float& y) const {
    float c = d.dot(view);
    if (!(c > 0.0f)) return false;
    x = (float)width * 0.5f + d.dot(right) / (c * pixelSize);
    y = (float)height * 0.5f + d.dot(up) / (c * pixelSize);
    return x >= 0.0f && x < (float)width && y >= 0.0f && y < (float)height && (int)x < width && (int)y < height;
}

float MisCameraModel::directionDensity(const HPoint& d) const {
    float c = d.dot(view);
    return c > 0.0f ? 1.0f / (planeArea * c * c * c) : 0.0f;
}

float MisCameraModel::importance(const HPoint& d) const {
    float c = d.dot(view);
    return c > 0.0f ? 1.0f / (planeArea * c * c * c * c) : 0.0f;
}

// ---------------------------------------------------------------- walks

float areaDensity(const MisVertex& from, const MisVertex& to, float solidAngleDensity) {
    HPoint d;
    float distance = unitTowards(from.hit.point, to.hit.point, d);
    if (!(distance > 0.0f)) return 0.0f;
    float density = solidAngleDensity / (distance * distance);
    if (to.kind != MisVertex::camera) density *= std::fabs(to.hit.geometricNormal.dot(d));
    return density;
}

bool MisPathContext::prepare(GCamera& renderingCamera, int width, int height) {
    camera = &renderingCamera;
    scene = renderingCamera.scene;
    lens.set(renderingCamera, width, height);
    return emitters.build(*scene);
}

void MisPathContext::eyePath(MisSubPath& path, float x, float y, int maxCount, PathSampler& sampler) const {
    path.count = 0;
    if (maxCount < 1) return;
    MisVertex& start = path.vertices[0];
    start = MisVertex();
    start.kind = MisVertex::camera;
    start.hit.point = lens.eye;
    start.hit.normal = lens.view;
    start.hit.geometricNormal = lens.view;
    start.beta = HPoint(1.0f, 1.0f, 1.0f, 1.0f);
    start.pdfFwd = 1.0f;
    path.count = 1;
    HPoint d = lens.direction(x, y);
    GRay ray;
    camera->makeRay(ray, 0, lens.eye, d);
    walk(path, ray, start.beta, lens.directionDensity(d), maxCount, false, sampler);
}

void MisPathContext::lightPath(MisSubPath& path, int maxCount, PathSampler& sampler) const {
    path.count = 0;
    if (maxCount < 1 || emitters.count() == 0) return;
    float u0 = sampler.next(PathSampler::lightStream), u1 = sampler.next(PathSampler::lightStream),
          u2 = sampler.next(PathSampler::lightStream);
    MisVertex& start = path.vertices[0];
    start = MisVertex();
    start.kind = MisVertex::emitter;
    start.emitterIndex = emitters.samplePoint(u0, u1, u2, start.hit);
    start.pdfFwd = emitters.pointDensity(start.emitterIndex);
    if (!(start.pdfFwd > 0.0f)) return;
    float inverse = 1.0f / start.pdfFwd;
    start.beta = HPoint(inverse, inverse, inverse, 1.0f);
    path.count = 1;
    if (maxCount < 2) return;

    // The emitted direction: cosine-distributed about the face it leaves
    // (either face, each with probability 1/2, unless it emits outward only).
    float face = sampler.next(PathSampler::lightStream), u3 = sampler.next(PathSampler::lightStream),
          u4 = sampler.next(PathSampler::lightStream);
    HPoint n = start.hit.geometricNormal;
    if (!emitsOutwardOnly(start.hit.object) && face < 0.5f) n.scale(-1.0f);
    HPoint d = cosineDirection(n, u3, u4);
    float density = emissionDensity(start, d);
    HPoint radiance = emitted(start, d);
    if (!(density > 0.0f) || isBlack(radiance)) return;
    HPoint beta = times(start.beta, radiance).scaled(cosineAt(start, d) / density);
    GRay ray;
    camera->makeRay(ray, 0, start.hit.point, d);
    start.hit.object->clearRayStamp(ray.id);
    walk(path, ray, beta, density, maxCount, true, sampler);
}

void MisPathContext::walk(MisSubPath& path, GRay ray, HPoint beta, float pdfDirection, int maxCount, bool fromLight,
                          PathSampler& sampler) const {
    if (maxCount > MisSubPath::maxVertices) maxCount = MisSubPath::maxVertices;
    const int stream = fromLight ? PathSampler::lightStream : PathSampler::cameraStream;
    while (path.count < maxCount) {
        // The next vertex and its forward density.
        HitRecord hit;
        hit.t = 3.4028235e38f;
        if (!scene->closestHit(ray, hit)) return;
        MisVertex& vertex = path.vertices[path.count];
        MisVertex& previous = path.vertices[path.count - 1];
        vertex.kind = MisVertex::surface;
        vertex.delta = false;
        vertex.hit = hit;
        vertex.wo = ray.direction.scaled(-1.0f);
        vertex.wo.w = 1.0f;
        vertex.beta = beta;
        vertex.pdfRev = 0.0f;
        vertex.emitterIndex = fromLight ? -1 : emitters.indexOf(hit.object);
        vertex.pdfFwd = areaDensity(previous, vertex, pdfDirection);
        vertex.scatter.set(*scene, hit);
        path.count++;
        if (path.count >= maxCount) return;

        // Scatter: the throughput, the densities both ways.
        float u0 = sampler.next(stream), u1 = sampler.next(stream), u2 = sampler.next(stream);
        MisScatterSample sample;
        if (!vertex.scatter.sample(vertex.wo, u0, u1, u2, sample) || !(sample.pdf > 0.0f)) return;
        beta = times(beta, sample.f).scaled(std::fabs(vertex.hit.normal.dot(sample.wi)) / sample.pdf);
        float reverse;
        if (sample.specular) {
            vertex.delta = true;
            pdfDirection = 0.0f;
            reverse = 0.0f;
        } else {
            pdfDirection = sample.pdf;
            reverse = vertex.scatter.density(sample.wi, vertex.wo);
        }
        previous.pdfRev = areaDensity(vertex, previous, reverse);
        if (isBlack(beta)) return;
        GRay next;
        camera->makeRay(next, ray.depth + 1, vertex.hit.point, sample.wi);
        vertex.hit.object->clearRayStamp(next.id);
        ray = next;
    }
}

// ---------------------------------------------------------------- connections

HPoint MisPathContext::emitted(const MisVertex& v, const HPoint& toward) const {
    const GSceneObject* object = v.hit.object;
    if (!object) return black;
    GMaterial* material = const_cast<GSceneObject*>(object)->getMaterial();
    if (!material || !material->isEmissive()) return black;
    if (emitsOutwardOnly(object) && !(v.hit.geometricNormal.dot(toward) > 0.0f)) return black;
    HPoint radiance;
    material->getColor(GMaterial::emissive, radiance, v.hit);
    radiance.w = 1.0f;
    return radiance;
}

bool MisPathContext::visible(const MisVertex& a, const MisVertex& b) const {
    HPoint d;
    float distance = unitTowards(a.hit.point, b.hit.point, d);
    if (!(distance > epsilon)) return false;
    GRay shadow;
    camera->makeRay(shadow, 0, a.hit.point, d);
    if (a.hit.object) a.hit.object->clearRayStamp(shadow.id);
    HPoint filter(1.0f, 1.0f, 1.0f, 1.0f);
    return !scene->anyHit(shadow, filter, distance - epsilon);
}

HPoint MisPathContext::connect(const MisSubPath& light, int s, const MisSubPath& eye, int t, float& x, float& y,
                               float* weight) const {
    if (weight) *weight = 0.0f;
    if (t < 1 || t > eye.count || s < 0 || s > light.count || s + t < 2) return black;
    HPoint contribution;
    if (s == 0) {
        // The eye path ends on an emitter.
        const MisVertex& pt = eye.vertices[t - 1];
        if (pt.kind != MisVertex::surface) return black;
        contribution = times(pt.beta, emitted(pt, pt.wo));
    } else if (t == 1) {
        // Light tracing: the light vertex seen by the camera.
        const MisVertex& qs = light.vertices[s - 1];
        HPoint toVertex;
        float distance = unitTowards(lens.eye, qs.hit.point, toVertex);
        if (!(distance > 0.0f) || !lens.raster(toVertex, x, y)) return black;
        HPoint toCamera = toVertex.scaled(-1.0f);
        toCamera.w = 1.0f;
        HPoint f = qs.kind == MisVertex::emitter ? emitted(qs, toCamera) : qs.scatter.evaluate(qs.wo, toCamera);
        float cameraCosine = toVertex.dot(lens.view);
        float g = cosineAt(qs, toCamera) * cameraCosine / (distance * distance);
        contribution = times(qs.beta, f).scaled(g * lens.importance(toVertex));
        if (isBlack(contribution) || !visible(qs, eye.vertices[0])) return black;
    } else {
        // An eye vertex joined to a light vertex.
        const MisVertex& qs = light.vertices[s - 1];
        const MisVertex& pt = eye.vertices[t - 1];
        if (pt.kind != MisVertex::surface) return black;
        HPoint toEye;
        float distance = unitTowards(qs.hit.point, pt.hit.point, toEye);
        if (!(distance > 0.0f)) return black;
        HPoint toLight = toEye.scaled(-1.0f);
        toLight.w = 1.0f;
        HPoint fq = qs.kind == MisVertex::emitter ? emitted(qs, toEye) : qs.scatter.evaluate(qs.wo, toEye);
        HPoint fp = pt.scatter.evaluate(pt.wo, toLight);
        float g = cosineAt(qs, toEye) * cosineAt(pt, toLight) / (distance * distance);
        contribution = times(times(qs.beta, fq), times(fp, pt.beta)).scaled(g);
        if (isBlack(contribution) || !visible(qs, pt)) return black;
    }
    if (isBlack(contribution)) return black;
    float w = misWeightOf(light, s, eye, t);
    if (weight) *weight = w;
    return contribution.scaled(w);
}

float MisPathContext::misWeightOf(const MisSubPath& light, int s, const MisSubPath& eye, int t) const {
    const int k = s + t;
    if (k == 2) return 1.0f;
    float pFromLight[2 * MisSubPath::maxVertices], pFromEye[2 * MisSubPath::maxVertices];
    bool delta[2 * MisSubPath::maxVertices];
    // The path from the emitter (0) to the camera (k - 1), as sampled.
    for (int i = 0; i < s; i++) {
        const MisVertex& v = light.vertices[i];
        pFromLight[i] = v.pdfFwd;
        pFromEye[i] = v.pdfRev;
        delta[i] = v.delta;
    }
    for (int i = s; i < k; i++) {
        const MisVertex& v = eye.vertices[k - 1 - i];
        pFromLight[i] = v.pdfRev;
        pFromEye[i] = v.pdfFwd;
        delta[i] = v.delta;
    }
    // The ends of the connection scatter through it, not along their own
    // sub-paths' continuations (a mirror-and-diffuse vertex that went on as a
    // mirror joins by its diffuse part); an emitter point is no point light.
    delta[0] = false;
    if (s >= 1) delta[s - 1] = false;
    delta[s] = false;

    // The densities the connection changes: of each end from the other end,
    // and of the vertex before each end from that end.
    const MisVertex& pt = eye.vertices[t - 1];  // t = 1: the camera
    const MisVertex* ptMinus = t >= 2 ? &eye.vertices[t - 2] : nullptr;
    if (s == 0) {
        if (pt.emitterIndex < 0) return 1.0f;  // no strategy but this one finds that emitter
        pFromLight[0] = emitters.pointDensity(pt.emitterIndex);
        HPoint d;
        unitTowards(pt.hit.point, ptMinus->hit.point, d);
        if (s + 1 < k - 1) pFromLight[1] = areaDensity(pt, *ptMinus, emissionDensity(pt, d));
    } else {
        const MisVertex& qs = light.vertices[s - 1];
        const MisVertex* qsMinus = s >= 2 ? &light.vertices[s - 2] : nullptr;
        HPoint toEye;
        unitTowards(qs.hit.point, pt.hit.point, toEye);
        HPoint toLight = toEye.scaled(-1.0f);
        toLight.w = 1.0f;
        // pt and the vertex before it, from the light side.
        if (t >= 2) {
            float fromQs = qs.kind == MisVertex::emitter ? emissionDensity(qs, toEye) : qs.scatter.density(qs.wo, toEye);
            pFromLight[s] = areaDensity(qs, pt, fromQs);
            if (s + 1 < k - 1) {
                HPoint onward;
                unitTowards(pt.hit.point, ptMinus->hit.point, onward);
                pFromLight[s + 1] = areaDensity(pt, *ptMinus, pt.scatter.density(toLight, onward));
            }
        }
        // qs and the vertex before it, from the eye side.
        float fromPt = t == 1 ? lens.directionDensity(toLight) : pt.scatter.density(pt.wo, toLight);
        pFromEye[s - 1] = areaDensity(pt, qs, fromPt);
        if (qsMinus) {
            HPoint back;
            unitTowards(qs.hit.point, qsMinus->hit.point, back);
            pFromEye[s - 2] = areaDensity(qs, *qsMinus, qs.scatter.density(toEye, back));
        }
    }
    return misWeight(s, k, pFromLight, pFromEye, delta);
}

float misWeight(int s, int k, const float* pFromLight, const float* pFromEye, const bool* delta) {
    if (k <= 2) return s == 0 ? 1.0f : 0.0f;
    // Each ratio takes the connection one vertex further; the power
    // heuristic sums their squares.
    double sum = 1.0, ratio = 1.0;
    for (int i = s - 1; i >= 0; i--) {
        ratio *= (double)remap0(pFromEye[i]) / remap0(pFromLight[i]);
        if (!delta[i] && (i == 0 || !delta[i - 1])) sum += ratio * ratio;
    }
    ratio = 1.0;
    for (int i = s; i <= k - 2; i++) {
        ratio *= (double)remap0(pFromLight[i]) / remap0(pFromEye[i]);
        if (!delta[i] && !delta[i + 1]) sum += ratio * ratio;
    }
    return (float)(1.0 / sum);
}
