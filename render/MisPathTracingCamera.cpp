#include "render/MisPathTracingCamera.h"

#include <cfloat>
#include <cmath>
#include <cstdio>

#include "foundation/Parallel.h"
#include "foundation/ProgressClock.h"
#include "foundation/Random.h"
#include "foundation/Settings.h"
#include "geometry/GRay.h"
#include "geometry/GScene.h"
#include "geometry/GSceneObject.h"
#include "image/ColorImage.h"
#include "image/HPointImage.h"
#include "render/CameraSettings.h"
#include "shading/Bsdf.h"
#include "shading/GMaterial.h"

namespace {

const HPoint black(0.0f, 0.0f, 0.0f, 1.0f);

// A uniform number in [0, 1) with 30 bits (the 15 of one draw would put
// visible steps into narrow lobes and small lamps).
float uniformDraw() {
    float u = (float)fineUniform01();
    return u < 0.99999994f ? u : 0.99999994f;
}

HPoint times(const HPoint& a, const HPoint& b) { return HPoint(a.x * b.x, a.y * b.y, a.z * b.z, 1.0f); }

// In double: the squared densities of small lamps and sharp lobes leave the float range.
float powerHeuristic(float pdf, float otherPdf) {
    double a = (double)pdf * pdf, b = (double)otherPdf * otherPdf;
    return a + b > 0.0 ? (float)(a / (a + b)) : 0.0f;
}

bool isBlack(const HPoint& c) { return !(c.x > 0.0f || c.y > 0.0f || c.z > 0.0f); }

}  // namespace

MisPathTracingCamera::MisPathTracingCamera() : samplesPerPixel(16), maxDepth(5), rrDepth(0), exposure(1.0f) {
    width = 100;
    height = 100;
}

bool MisPathTracingCamera::isKindOf(int id) const {
    return id == classId || GCamera::isKindOf(id);
}

int MisPathTracingCamera::typeId() const { return classId; }

const char* MisPathTracingCamera::toString() const {
    static thread_local char buffer[objectTextSize];
    return formatClassAddress(buffer, objectTextSize, "MisPathTracingCamera", this);
}

const CameraSettingTable* MisPathTracingCamera::settingTableOfClass() {
    typedef MisPathTracingCamera C;
    static const CameraSettingTable table{
        "MisPathTracingCamera",
        {
            intSetting("samplesPerPixel", &C::samplesPerPixel, 16, 1, 1 << 20, "paths per pixel"),
            intSetting("maxDepth", &C::maxDepth, 5, 1, 100000,
                       "most segments of a path, camera to emitter: 1 emitters seen, 2 direct light, ..."),
            intSetting("rrDepth", &C::rrDepth, 0, 0, 100000,
                       "segments after which Russian roulette may end a path; 0: never"),
            realSetting("exposure", &C::exposure, 1.0f, 1e-6, 1e6, "key k of the tone mapping kL / (kL + 1)"),
        }};
    return &table;
}

void MisPathTracingCamera::prepareEmitters() {
    if (scene) emitters.build(*scene);
}

void MisPathTracingCamera::render(ColorImage& frame) {
    if (!scene) {
        frame.fill(0);
        return;
    }
    int w = frame.width, h = frame.height;
    if (w < 1 || h < 1) {
        w = width;
        h = height;
    }
    HPointImage image;
    if (!image.resize(w, h) || !frame.resize(w, h)) {
        std::printf("| %u rays\n", rayCounter);
        return;
    }
    prepareEmitters();
    if (emitters.empty()) std::printf("The scene has no emitters: only the background lights it.\n");

    HPoint rightStep, upStep;
    pixelSteps(h, rightStep, upStep);
    const bool unitStreams = workUnitStreams();
    const int n = samplesPerPixel;
    // One work unit per pixel, bottom row first: the draws of a pixel come
    // from its own stream with -threads, from the run's stream in order
    // without, so the image is the same for every number of threads.
    ProgressClock clock;
    int rowsShown = -1;
    renderUnits(
        w * h,
        [&](int unit, int) {
            const int x = unit % w, y = unit / w;
            if (x == 0 && !unitStreams) std::printf("\r%d / %d  ", y, h);
            beginWorkUnit((uint32_t)unit, 0);
            HPoint sum = black;
            for (int k = 0; k < n; k++) {
                float dx = uniformDraw(), dy = uniformDraw();
                GRay ray;
                rasterRay(ray, rightStep, upStep, (float)x + dx, (float)y + dy, w, h);
                sum.add(radiance(ray));
            }
            HPoint mean = sum.scaled(1.0f / (float)n);
            mean.w = 1.0f;
            image.at(x, y) = mean;
        },
        [&](int done) {
            // A line per finished row's worth of pixels, from this thread alone.
            const int rows = done / w;
            if (!unitStreams || rows == rowsShown) return;
            rowsShown = rows;
            std::printf("\r%d / %d%s", rows, h, clock.text((double)done / ((double)w * h)));
            std::fflush(stdout);
        });
    writeRadiance(image);
    image.toneMap(frame, exposure);
    std::printf("\n| %u rays\n", rayCounter);
}

HPoint MisPathTracingCamera::sampleLight(const HitRecord& hit, const Bsdf& bsdf, const HPoint& wo) {
    EmitterSample light;
    float uChoice = uniformDraw(), u1 = uniformDraw(), u2 = uniformDraw();
    if (!emitters.sampleDirect(hit.point, uChoice, u1, u2, light)) return black;
    HPoint f = bsdf.evaluate(wo, light.toLight);
    if (isBlack(f) || isBlack(light.emission)) return black;
    // Neither the receiver nor the emitter may shadow the sample; see-through
    // blockers block too, since refraction reaches what lies behind them.
    GRay shadowRay;
    makeRay(shadowRay, 0, hit.point, light.toLight);
    hit.object->clearRayStamp(shadowRay.id);
    light.emitter->setRayStamp(shadowRay.id);
    HPoint filter(1.0f, 1.0f, 1.0f, 1.0f);
    if (scene->anyHit(shadowRay, filter, light.distance - epsilon)) return black;
    if (filter.x < 1.0f || filter.y < 1.0f || filter.z < 1.0f) return black;
    float weight = powerHeuristic(light.pdf, bsdf.density(wo, light.toLight));
    float cosine = std::fabs(bsdf.normal.dot(light.toLight));
    HPoint c = times(f, light.emission);
    c.scale(cosine * weight / light.pdf);
    return c;
}

HPoint MisPathTracingCamera::radiance(GRay& cameraRay) {
    HPoint result = black, throughput(1.0f, 1.0f, 1.0f, 1.0f);
    GRay ray = cameraRay;
    HitRecord hit;
    HPoint previousPoint = ray.origin;
    float previousPdf = 0.0f;
    bool countsWhole = true;  // the camera or a specular vertex came before: no light sample could
    Bsdf bsdf;
    for (int segments = 1;; segments++) {
        // 1. The next vertex; missed rays see the background.
        hit = HitRecord();
        hit.t = FLT_MAX;
        if (!scene->closestHit(ray, hit)) {
            result.add(times(throughput, scene->backgroundColor));
            break;
        }
        const HPoint wo = ray.direction.scaled(-1.0f);

        // 2. Emission met by the walk, weighed against the light sample that could have found it.
        HPoint emitted = EmitterSampler::emittedRadiance(hit, wo);
        if (!isBlack(emitted)) {
            float weight = 1.0f;
            if (!countsWhole) weight = powerHeuristic(previousPdf, emitters.directDensity(previousPoint, hit));
            result.add(times(throughput, emitted).scaled(weight));
        }
        if (segments >= maxDepth) break;

        GMaterial* material = hit.object->getMaterial();
        if (!material) material = scene->defaultMaterial;
        bsdf.setUp(*material, hit);
        if (!bsdf.scatters()) break;

        // 3. One light sample at a diffuse or glossy vertex.
        if (bsdf.hasNonSpecular()) result.add(times(throughput, sampleLight(hit, bsdf, wo)));

        // 4. One BSDF sample continues the path.
        BsdfSample next;
        float uLobe = uniformDraw(), u1 = uniformDraw(), u2 = uniformDraw();
        if (!bsdf.sample(wo, uLobe, u1, u2, next)) break;
        throughput = times(throughput, next.weight);
        if (isBlack(throughput)) break;
        countsWhole = next.isSpecular;
        previousPdf = next.pdf;
        previousPoint = hit.point;

        // 5. Russian roulette by the throughput's largest channel.
        if (rrDepth > 0 && segments >= rrDepth) {
            float survival = std::fmax(throughput.x, std::fmax(throughput.y, throughput.z));
            if (survival < 0.95f) {
                if (!(uniformDraw() < survival)) break;
                throughput.scale(1.0f / survival);
            }
        }
        GRay continued;
        makeRay(continued, ray.depth + 1, hit.point, next.direction);
        hit.object->clearRayStamp(continued.id);
        ray = continued;
    }
    return result;
}
