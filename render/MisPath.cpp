#include "render/MisPath.h"

#include <cmath>

#include "foundation/Random.h"
#include "foundation/Settings.h"
#include "geometry/GScene.h"
#include "geometry/GSceneObject.h"
#include "render/GCamera.h"
#include "shading/GMaterial.h"

namespace {

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

// The cosine that goes with a vertex's light: the true surface's at an
// emitter point (what its direction density is drawn about), the shading
// normal's elsewhere (what the BSDF is defined about).
float cosineAt(const MisVertex& v, const HPoint& direction) {
    const HPoint& n = v.kind == MisVertex::emitter ? v.hit.geometricNormal : v.hit.normal;
    return std::fabs(n.dot(direction));
}

inline float remap0(float p) { return p != 0.0f ? p : 1.0f; }

}  // namespace

float StreamSampler::next(int) {
    float u = (float)fineUniform01();
    return u < 1.0f ? u : 0.99999994f;
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
    emitters.build(*scene);
    return !emitters.empty();
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
    if (maxCount < 1 || emitters.empty()) return;
    float u0 = sampler.next(PathSampler::lightStream), u1 = sampler.next(PathSampler::lightStream),
          u2 = sampler.next(PathSampler::lightStream);
    EmitterSample point;
    if (!emitters.sampleArea(u0, u1, u2, point) || !(point.pdf > 0.0f)) return;
    MisVertex& start = path.vertices[0];
    start.kind = MisVertex::emitter;
    start.delta = false;
    start.hit = point.point;
    start.pdfFwd = point.pdf;
    start.pdfRev = 0.0f;
    float inverse = 1.0f / start.pdfFwd;
    start.beta = HPoint(inverse, inverse, inverse, 1.0f);
    path.count = 1;
    if (maxCount < 2) return;

    // The emitted direction: cosine-distributed about the face it leaves.
    float face = sampler.next(PathSampler::lightStream), u3 = sampler.next(PathSampler::lightStream),
          u4 = sampler.next(PathSampler::lightStream);
    HPoint d;
    float density = 0.0f;
    if (!emitters.sampleEmission(point, face, u3, u4, d, density) || !(density > 0.0f)) return;
    HPoint radiance = EmitterSampler::emittedRadiance(start.hit, d);
    if (isBlack(radiance)) return;
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
        vertex.pdfFwd = areaDensity(previous, vertex, pdfDirection);
        GMaterial* material = hit.object->getMaterial();
        vertex.bsdf.setUp(material ? *material : *scene->defaultMaterial, hit);
        path.count++;
        if (path.count >= maxCount) return;

        // Scatter: the throughput, the densities both ways.
        float u0 = sampler.next(stream), u1 = sampler.next(stream), u2 = sampler.next(stream);
        BsdfSample sample;
        if (!vertex.bsdf.sample(vertex.wo, u0, u1, u2, sample) || !(sample.pdf > 0.0f)) return;
        beta = times(beta, sample.weight);
        float reverse;
        if (sample.isSpecular) {
            vertex.delta = true;
            pdfDirection = 0.0f;
            reverse = 0.0f;
        } else {
            pdfDirection = sample.pdf;
            reverse = vertex.bsdf.density(sample.direction, vertex.wo);
        }
        previous.pdfRev = areaDensity(vertex, previous, reverse);
        if (isBlack(beta)) return;
        GRay next;
        camera->makeRay(next, ray.depth + 1, vertex.hit.point, sample.direction);
        vertex.hit.object->clearRayStamp(next.id);
        ray = next;
    }
}

// ---------------------------------------------------------------- connections

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
        contribution = times(pt.beta, EmitterSampler::emittedRadiance(pt.hit, pt.wo));
    } else if (t == 1) {
        // Light tracing: the light vertex seen by the camera.
        const MisVertex& qs = light.vertices[s - 1];
        HPoint toVertex;
        float distance = unitTowards(lens.eye, qs.hit.point, toVertex);
        if (!(distance > 0.0f) || !lens.raster(toVertex, x, y)) return black;
        HPoint toCamera = toVertex.scaled(-1.0f);
        toCamera.w = 1.0f;
        HPoint f = qs.kind == MisVertex::emitter ? EmitterSampler::emittedRadiance(qs.hit, toCamera) : qs.bsdf.evaluate(qs.wo, toCamera);
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
        HPoint fq = qs.kind == MisVertex::emitter ? EmitterSampler::emittedRadiance(qs.hit, toEye) : qs.bsdf.evaluate(qs.wo, toEye);
        HPoint fp = pt.bsdf.evaluate(pt.wo, toLight);
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
        pFromLight[0] = emitters.areaDensity(pt.hit);
        if (!(pFromLight[0] > 0.0f)) return 1.0f;  // no strategy but this one finds that emitter
        HPoint d;
        unitTowards(pt.hit.point, ptMinus->hit.point, d);
        if (s + 1 < k - 1) pFromLight[1] = areaDensity(pt, *ptMinus, emitters.emissionDensity(pt.hit, d));
    } else {
        const MisVertex& qs = light.vertices[s - 1];
        const MisVertex* qsMinus = s >= 2 ? &light.vertices[s - 2] : nullptr;
        HPoint toEye;
        unitTowards(qs.hit.point, pt.hit.point, toEye);
        HPoint toLight = toEye.scaled(-1.0f);
        toLight.w = 1.0f;
        // pt and the vertex before it, from the light side.
        if (t >= 2) {
            float fromQs = qs.kind == MisVertex::emitter ? emitters.emissionDensity(qs.hit, toEye) : qs.bsdf.density(qs.wo, toEye);
            pFromLight[s] = areaDensity(qs, pt, fromQs);
            if (s + 1 < k - 1) {
                HPoint onward;
                unitTowards(pt.hit.point, ptMinus->hit.point, onward);
                pFromLight[s + 1] = areaDensity(pt, *ptMinus, pt.bsdf.density(toLight, onward));
            }
        }
        // qs and the vertex before it, from the eye side.
        float fromPt = t == 1 ? lens.directionDensity(toLight) : pt.bsdf.density(pt.wo, toLight);
        pFromEye[s - 1] = areaDensity(pt, qs, fromPt);
        if (qsMinus) {
            HPoint back;
            unitTowards(qs.hit.point, qsMinus->hit.point, back);
            pFromEye[s - 2] = areaDensity(qs, *qsMinus, qs.bsdf.density(toEye, back));
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
