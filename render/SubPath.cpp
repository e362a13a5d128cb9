#include "render/SubPath.h"

#include <cmath>

#include "foundation/GMatrix.h"
#include "foundation/Random.h"
#include "foundation/Sampling.h"
#include "foundation/Settings.h"
#include "geometry/GRay.h"
#include "geometry/GScene.h"
#include "geometry/GSceneObject.h"
#include "image/HPointImage.h"
#include "render/GCamera.h"
#include "shading/GMaterial.h"

namespace {

const HPoint black(0.0f, 0.0f, 0.0f, 1.0f);

float luminanceOf(const HPoint& c) { return 0.299f * c.x + 0.587f * c.y + 0.114f * c.z; }

// Component-wise product, w = 1.
HPoint times(const HPoint& a, const HPoint& b) { return HPoint(a.x * b.x, a.y * b.y, a.z * b.z, 1.0f); }

// Adds one connection's light (colour times weight w, made with the capped
// geometry factor) to the tally, and what it would have been uncapped.
void tallyConnection(ConnectionTally& tally, const HPoint& contribution, float w, float geometry,
                     float uncappedGeometry) {
    double added = (double)luminanceOf(contribution) * w;
    tally.kept += added;
    tally.uncapped += geometry == uncappedGeometry ? added : added / geometry * uncappedGeometry;
}

}  // namespace

SubPath::SubPath() {
    for (int i = 0; i < maxVertices; i++) {
        eventProbability[i] = 0.0f;
        throughput[i] = black;
        emission[i] = black;
        isSpecular[i] = false;
        eventType[i] = 0;
    }
}

void SubPath::copyFrom(const SubPath& other) {
    length = other.length;
    isCausticPath = other.isCausticPath;
    pixelColumn = other.pixelColumn;
    pixelRow = other.pixelRow;
    eyeLength = other.eyeLength;
    for (int i = 0; i <= length && i < maxVertices; i++) {
        vertices[i] = other.vertices[i];
        eventProbability[i] = other.eventProbability[i];
        throughput[i] = other.throughput[i];
        emission[i] = other.emission[i];
        isSpecular[i] = other.isSpecular[i];
        eventType[i] = other.eventType[i];
    }
}

void setEndVertex(SubPath& path, int index, const HPoint& point, const HPoint& normal,
                  GSceneObject* object, const HPoint& startColor, int type) {
    HitRecord& vertex = path.vertices[index];
    vertex = HitRecord();
    vertex.object = object;
    vertex.point = point;
    vertex.normal = normal;
    vertex.geometricNormal = normal;
    path.eventProbability[index] = 1.0f;
    path.isSpecular[index] = false;
    path.throughput[index] = startColor;
    path.emission[index] = black;
    path.eventType[index] = type;
}

static void startVertex(SubPath& path, const HPoint& point, const HPoint& normal, GSceneObject* object,
                        const HPoint& startColor, int type) {
    setEndVertex(path, 0, point, normal, object, startColor, type);
    path.length = 0;
}

void startEyeSubPath(GCamera& camera, SubPath& path, GRay& ray, int maxIndex) {
    startVertex(path, ray.origin, ray.direction, nullptr, HPoint(1.0f, 1.0f, 1.0f, 1.0f), 'E');
    traceSubPath(camera, path, ray, maxIndex, false);
}

bool startLightSubPath(GCamera& camera, SubPath& path, GRay& ray, int maxIndex) {
    HPoint power, normal;
    GSceneObject* emitter = camera.scene->sampleEmitter(ray, power, normal);
    if (!emitter) {
        path.length = -1;
        return false;
    }
    power.w = 1.0f;
    const HPoint emitted = power;
    // Only a walk that follows the emitted ray chooses a face: the emitter
    // point alone draws nothing more.
    if (maxIndex >= 1) emitFromEitherFace(*emitter, ray, power, normal);
    startVertex(path, ray.origin, normal, emitter, power, 'L');
    traceSubPath(camera, path, ray, maxIndex, true);
    path.throughput[0] = emitted;
    return true;
}

void traceSubPath(GCamera& camera, SubPath& path, GRay& ray, int maxIndex, bool isLightWalk) {
    GScene* scene = camera.scene;
    if (maxIndex > SubPath::maxIndex) maxIndex = SubPath::maxIndex;
    for (int i = 1; i <= maxIndex; i++) {
        // 1. The next vertex.
        HitRecord& vertex = path.vertices[i];
        vertex = HitRecord();
        vertex.t = 3.4028235e38f;
        if (!scene->closestHit(ray, vertex)) return;

        // 2. - 4. Material, the normal facing the ray, the event weights.
        GMaterial* material = vertex.object->getMaterial();
        if (!material) material = scene->defaultMaterial;
        HPoint n = vertex.normal;
        bool inside = ray.direction.dot(n) > 0.0f;
        if (inside) n.scale(-1.0f);
        HPoint specular, transmitted, diffuse;
        material->getColor(GMaterial::specular, specular, vertex);
        material->getColor(GMaterial::transmitted, transmitted, vertex);
        material->getColor(GMaterial::diffuse, diffuse, vertex);
        material->getColor(GMaterial::emissive, path.emission[i], vertex);
        path.emission[i].w = 1.0f;
        float lS = luminanceOf(specular), lT = luminanceOf(transmitted), lD = luminanceOf(diffuse);
        if (isLightWalk && i == 1) lD = 0.0f;  // a light walk's first bounce is never diffuse

        // 5. A black vertex ends the walk.
        path.length = i;
        float total = lD + lS + lT;
        if (!(total > 0.0f)) {
            path.eventProbability[i] = path.eventProbability[i - 1];
            path.throughput[i] = black;
            path.isSpecular[i] = false;
            path.eventType[i] = 'D';
            return;
        }

        // 6. One event on [0, total]: mirror, diffuse, transmission.
        float u = uniform01() * total;
        const HPoint* color;
        float chance;
        if (u > lD + lS) {
            chance = lT;
            color = &transmitted;
            path.isSpecular[i] = true;
            path.eventType[i] = 'T';
        } else if (u > lS) {
            chance = lD;
            color = &diffuse;
            path.isSpecular[i] = false;
            path.eventType[i] = 'D';
        } else {
            chance = lS;
            color = &specular;
            path.isSpecular[i] = true;
            path.eventType[i] = 'R';
        }
        path.eventProbability[i] = path.eventProbability[i - 1] * chance / total;
        path.throughput[i] = times(*color, path.throughput[i - 1]);

        // 7. The new direction.
        HPoint direction;
        if (path.eventType[i] == 'D') {
            if (isLightWalk) return;  // a light walk ends at its first diffuse vertex
            direction = sampleCosineHemisphere(n);
        } else if (path.eventType[i] == 'T') {
            float index = material->getScalar(GMaterial::indexOfRefraction, vertex);
            float n1 = inside ? index : 1.0f, n2 = inside ? 1.0f : index;
            if (!direction.refract(n, ray.direction, n1, n2)) {
                path.length = i - 1;  // total internal reflection drops the vertex
                return;
            }
        } else {
            direction = HPoint::reflect(n, ray.direction);
        }

        // 8. On from the vertex, which the new ray may not hit again.
        GRay next;
        camera.makeRay(next, ray.depth + 1, vertex.point, direction);
        vertex.object->clearRayStamp(next.id);
        ray = next;
    }
}

float facingCosine(const HitRecord& vertex, const HPoint& arrivedFrom, const HPoint& toward) {
    float cosine = vertex.normal.dot(toward);
    return vertex.normal.dot(arrivedFrom.difference(vertex.point)) < 0.0f ? -cosine : cosine;
}

float lightTracingScale(float fovy, int width, int height) {
    float t = std::tan(fovy * 0.5f);
    return 1.0f / (t * (t * (float)width / (float)height));
}

void connectSubPaths(GCamera& camera, HPointImage& image, int column, int row, const SubPath& eye,
                     const SubPath& light, const GMatrix& worldToRaster, int width, int height,
                     float scale, int minEyeVertex, int minLightVertex, float geometryCap,
                     ConnectionTally* tally) {
    GScene* scene = camera.scene;
    HPoint sum = black;
    const float splatWeight = scale * lightTracingCorrection;

    // 2. Emission along the eye path's specular chain.
    for (int s = 1; s <= eye.length && eye.eventProbability[s - 1] != 0.0f; s++) {
        HPoint seen = times(eye.emission[s], eye.throughput[s - 1]);
        sum.add(seen.scaled(1.0f / eye.eventProbability[s - 1]));
        if (!eye.isSpecular[s]) break;
    }

    // 3. Every admissible pair of an eye and a light vertex.
    if (minEyeVertex < 0) minEyeVertex = 0;
    if (minLightVertex < 0) minLightVertex = 0;
    for (int s = minEyeVertex; s <= eye.length; s++) {
        for (int t = minLightVertex; t <= light.length; t++) {
            if (s == 0 && t == 0) continue;  // the camera and the emitter point: nothing
            if (eye.isSpecular[s] || light.isSpecular[t]) continue;
            const HitRecord& x = eye.vertices[s];
            const HitRecord& y = light.vertices[t];
            HPoint g = y.point.difference(x.point);
            float squared = g.dot(g);
            const float uncappedGeometry = 1.0f / squared;
            float geometry = uncappedGeometry;
            if (geometry > geometryCap) geometry = geometryCap;  // also the answer for coinciding vertices
            float reach = std::sqrt(squared) - epsilon;
            g.normalize();
            // Cosines on the side each vertex was reached from (the negated
            // forms also refuse NaN from coinciding vertices).
            float eyeFactor;
            if (s >= 1) {
                eyeFactor = facingCosine(x, eye.vertices[s - 1].point, g);
                if (!(eyeFactor > 0.0f)) continue;
            } else {
                float c = camera.viewDirection.dot(g);
                if (c < 0.0f) continue;  // behind the camera
                eyeFactor = 1.0f / (c * c * c);
            }
            float lightFactor;
            if (t >= 1) {
                lightFactor = facingCosine(y, light.vertices[t - 1].point, g.scaled(-1.0f));
                if (!(lightFactor > 0.0f)) continue;
            } else {
                lightFactor = std::fabs(y.normal.dot(g));  // emitters light both faces
            }
            if (x.object == y.object) continue;
            float w = eyeFactor * lightFactor * geometry;
            if (eye.eventProbability[s] == 0.0f || light.eventProbability[t] == 0.0f) continue;
            w = w / eye.eventProbability[s] / light.eventProbability[t];
            if (w == 0.0f) continue;

            GRay shadow;
            camera.makeRay(shadow, 0, x.point, g);
            if (s >= 1) x.object->clearRayStamp(shadow.id);
            HPoint filter(1.0f, 1.0f, 1.0f, 1.0f);
            if (scene->anyHit(shadow, filter, reach)) continue;

            HPoint contribution = times(eye.throughput[s], light.throughput[t]);
            if (s >= 1) {
                sum.add(contribution.scaled(w));
                if (tally) tallyConnection(*tally, contribution, w, geometry, uncappedGeometry);
                continue;
            }
            // Light tracing: the pixel the light vertex projects to. A point
            // left of or below the image lies outside it, however close.
            HPoint target = x.point.sum(g.scaled(100.0f));
            target.w = 1.0f;
            target.transform(worldToRaster);
            float rasterX = target.x / target.w, rasterY = target.y / target.w;
            if (!(rasterX >= 0.0f && rasterX < (float)width && rasterY >= 0.0f && rasterY < (float)height))
                continue;
            int splatColumn = (int)rasterX, splatRow = (int)rasterY;
            if (splatColumn >= width || splatRow >= height) continue;
            w *= splatWeight;
            image.at(splatColumn, splatRow).add(contribution.scaled(w));
            if (tally) tallyConnection(*tally, contribution, w, geometry, uncappedGeometry);
        }
    }

    // 4.
    image.at(column, row).add(sum);
}
