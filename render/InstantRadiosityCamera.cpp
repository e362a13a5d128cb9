#include "render/InstantRadiosityCamera.h"

#include <cmath>
#include <cstdio>
#include <vector>

#include "foundation/Parallel.h"
#include "foundation/ProgressClock.h"
#include "foundation/Random.h"
#include "foundation/Sampling.h"
#include "foundation/Settings.h"
#include "geometry/GRay.h"
#include "geometry/GScene.h"
#include "geometry/GSceneObject.h"
#include "geometry/HitRecord.h"
#include "image/ColorImage.h"
#include "image/HPointImage.h"
#include "render/CameraSettings.h"
#include "shading/GMaterial.h"
#include "shading/SpotLight.h"

namespace {

float luminanceOf(const HPoint& c) { return 0.299f * c.x + 0.587f * c.y + 0.114f * c.z; }

GMaterial* materialOf(GScene* scene, const HitRecord& hit) {
    GMaterial* material = hit.object->getMaterial();
    return material ? material : scene->defaultMaterial;
}

}  // namespace

InstantRadiosityCamera::InstantRadiosityCamera()
    : maxBounces(4), exposure(1.0f), lightPaths(10), distanceClamp(0.01f), virtualLights(8, -1) {}

InstantRadiosityCamera::~InstantRadiosityCamera() { deleteVirtualLights(); }

bool InstantRadiosityCamera::isKindOf(int id) const {
    return id == ClassId::InstantRadiosityCamera || GCamera::isKindOf(id);
}

int InstantRadiosityCamera::typeId() const { return ClassId::InstantRadiosityCamera; }

const char* InstantRadiosityCamera::toString() const {
    static thread_local char buffer[objectTextSize];
    return formatClassAddress(buffer, objectTextSize, "InstantRadiosityCamera", this);
}

const CameraSettingTable* InstantRadiosityCamera::settingTableOfClass() {
    typedef InstantRadiosityCamera C;
    static const CameraSettingTable table{
        "InstantRadiosityCamera",
        {
            intSetting("maxBounces", &C::maxBounces, 4, 0, 1000, "bounces followed per light walk"),
            realSetting("exposure", &C::exposure, 1.0f, 1e-6, 1e6, "key k of the tone mapping kL / (kL + 1)"),
            intSetting("lightPaths", &C::lightPaths, 10, 1, 1 << 20, "number of light walks"),
            realSetting("distanceClamp", &C::distanceClamp, 0.01f, 1e-9, 1e30,
                        "c of every virtual light's attenuation 1 / (d^2 + c)"),
        }};
    return &table;
}

void InstantRadiosityCamera::deleteVirtualLights() {
    for (int i = 0; i < virtualLights.size(); i++) delete virtualLights[i];
    virtualLights.clear();
}

void InstantRadiosityCamera::addVirtualLight(const HPoint& point, const HPoint& normal, const HPoint& color) {
    SpotLight* light = new SpotLight();
    light->location = point.sum(normal.scaled(2.0f * epsilon));
    light->location.w = 1.0f;
    light->setDirection(normal);
    light->cutoffCosine = std::cos(1.5705f);
    light->exponent = 1.0f;
    light->attenuation = HPoint(1.0f, 0.0f, distanceClamp, 1.0f);
    light->emissiveColor = HPoint(color.x, color.y, color.z, 1.0f);
    virtualLights.add(light);
}

void InstantRadiosityCamera::createVirtualLights() {
    deleteVirtualLights();
    const int emitterCount = scene->emitters.size();
    if (emitterCount == 0) return;
    virtualLights.ensureCapacity(lightPaths * (maxBounces + 1) < (1 << 20) ? lightPaths * (maxBounces + 1) : 1 << 20);
    for (int path = 0; path < lightPaths; path++) {
        // 1. - 3. A point on an emitter, its colour shared among the walks.
        GSceneObject* emitter = scene->emitters[nextRandom() % emitterCount];
        GRay ray;
        HPoint color, normal;
        emitter->emitRay(ray, color, normal);
        // Emitters light both faces: the walk and the emitter point's
        // virtual light take either face.
        emitFromEitherFace(*emitter, ray, color, normal);
        color.scale((float)emitterCount / (float)lightPaths);
        addVirtualLight(ray.origin, normal, color);

        // 4. The bounces.
        for (int bounce = 1; bounce <= maxBounces; bounce++) {
            HitRecord hit;
            hit.t = 3.4028235e38f;
            if (!scene->closestHit(ray, hit)) break;
            HPoint diffuse;
            materialOf(scene, hit)->getColor(GMaterial::diffuse, diffuse, hit);
            color.multiply(diffuse);
            if (!(luminanceOf(color) > 0.0f)) break;
            HPoint n = hit.normal;
            if (n.dot(ray.direction) > 0.0f) n.scale(-1.0f);
            addVirtualLight(hit.point, n, color);
            GRay next;
            makeRay(next, ray.depth + 1, hit.point.sum(n.scaled(2.0f * epsilon)), sampleCosineHemisphere(n));
            ray = next;
        }
    }
}

HPoint InstantRadiosityCamera::shadeWithVirtualLights(GRay& ray, HitRecord& hit) {
    return shadeWithVirtualLights(ray, hit, clampedLight, unclampedLight);
}

HPoint InstantRadiosityCamera::shadeWithVirtualLights(GRay& ray, HitRecord& hit, double& clamped,
                                                      double& unclamped) {
    HPoint result(0.0f, 0.0f, 0.0f, 1.0f);
    hit.t = 3.4028235e38f;
    if (!scene->closestHit(ray, hit)) return result;
    GMaterial* material = materialOf(scene, hit);
    HPoint emission, diffuse;
    material->getColor(GMaterial::emissive, emission, hit);
    result.add(emission);
    material->getColor(GMaterial::diffuse, diffuse, hit);
    HPoint n = hit.normal;
    if (n.dot(ray.direction) > 0.0f) n.scale(-1.0f);
    for (int i = 0; i < virtualLights.size(); i++) {
        HPoint toLight, received;
        float distance;
        if (!virtualLights[i]->illuminate(toLight, received, distance, hit.point)) continue;
        float cosine = toLight.dot(n);
        if (cosine <= 0.0f) continue;
        GRay shadow;
        makeRay(shadow, 0, hit.point, toLight);
        hit.object->clearRayStamp(shadow.id);
        HPoint filter(1.0f, 1.0f, 1.0f, 1.0f);
        if (scene->anyHit(shadow, filter, distance)) continue;
        // What the constant term takes away: without it the received light
        // would be larger by (d^2 + c) / d^2.
        float light = luminanceOf(HPoint(diffuse.x * received.x, diffuse.y * received.y,
                                         diffuse.z * received.z, 1.0f)) * cosine;
        clamped += light;
        unclamped += (double)light * (distance * distance + distanceClamp) / (distance * distance);
        result.x += diffuse.x * cosine * received.x;
        result.y += diffuse.y * cosine * received.y;
        result.z += diffuse.z * cosine * received.z;
    }
    return result;
}

void InstantRadiosityCamera::render(ColorImage& frame) {
    const int w = frame.width, h = frame.height;
    if (!scene || w < 1 || h < 1) return;

    // 1.
    if (scene->emitters.size() == 0) std::printf("The scene has no emitters: no virtual lights are made.\n");
    createVirtualLights();
    clampedLight = unclampedLight = 0.0;
    HPointImage radiance;
    if (!radiance.resize(w, h)) return;
    frame.fill(0);
    const float t = std::tan(fovy * 0.5f);
    HPoint rightStep = right.scaled(2.0f * t / (float)h), upStep = trueUp.scaled(2.0f * t / (float)h);

    // 2. One ray through every pixel's centre, so that the picture lines up
    // with the other renderers', whose samples cover [x, x + 1).
    // Rows are the work units; with "-threads" each keeps its own clamp
    // tally, added in row order afterwards so the line does not depend on the
    // threads.
    const bool unitStreams = workUnitStreams();
    std::vector<double> rowClamped(unitStreams ? (size_t)h : 0, 0.0), rowUnclamped(rowClamped);
    ProgressClock clock;
    renderUnits(
        h,
        [&](int y, int) {
            if (!unitStreams) std::printf("\r%d / %d  ", y, h);
            beginWorkUnit((uint32_t)y, 0);
            // A row's tallies stay in locals until the row is done: neighbouring
            // rows' slots share a cache line, and two threads writing them
            // for every virtual light ran no faster than one.
            double rowClampedSum = 0.0, rowUnclampedSum = 0.0;
            double& clamped = unitStreams ? rowClampedSum : clampedLight;
            double& unclamped = unitStreams ? rowUnclampedSum : unclampedLight;
            for (int x = 0; x < w; x++) {
                GRay ray;
                rasterRay(ray, rightStep, upStep, (float)x + 0.5f, (float)y + 0.5f, w, h);
                HitRecord hit;
                HPoint value = shadeWithVirtualLights(ray, hit, clamped, unclamped);
                value.w = 1.0f;
                radiance.at(x, y) = value;
            }
            if (unitStreams) {
                rowClamped[(size_t)y] = rowClampedSum;
                rowUnclamped[(size_t)y] = rowUnclampedSum;
            }
        },
        [&](int done) {
            if (unitStreams) std::printf("\r%d / %d%s", done, h, clock.text((double)done / h));
        });
    for (int y = 0; y < (int)rowClamped.size(); y++) {
        clampedLight += rowClamped[(size_t)y];
        unclampedLight += rowUnclamped[(size_t)y];
    }

    // 3.
    radiance.toneMap(frame, exposure);
    writeRadiance(radiance);
    std::printf("\r%d / %d  ", h, h);
    if (unclampedLight > clampedLight) {
        double removed = 100.0 * (1.0 - clampedLight / unclampedLight);
        std::printf(removed >= 10.0 ? "| distanceClamp %g removed %.0f%% of the virtual lights' light\n"
                                    : "| distanceClamp %g removed %.2g%% of the virtual lights' light\n",
                    distanceClamp, removed);
    }
    std::printf("| %d rays\n", (int)rayCounter);
}
