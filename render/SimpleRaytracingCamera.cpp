#include "render/SimpleRaytracingCamera.h"

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

#include "foundation/Parallel.h"
#include "foundation/ProgressClock.h"
#include "foundation/Random.h"
#include "geometry/GRay.h"
#include "geometry/GScene.h"
#include "geometry/GSceneObject.h"
#include "geometry/HitRecord.h"
#include "image/ColorImage.h"
#include "image/HPointImage.h"
#include "io/native/Scanner.h"
#include "render/CameraSettings.h"
#include "render/ProgressSnapshot.h"
#include "shading/GLight.h"
#include "shading/GLightingModel.h"
#include "shading/GMaterial.h"

namespace {

float colorSum(const HPoint& c) { return c.x + c.y + c.z; }

const int noInterpolation = 1000000;

// Each level of the ray tree is a level of recursion in trace, so the tree
// may not be deeper than this whatever a file or option asks for.
const int deepestRayTree = 100;
// A surface that both reflects and transmits everything doubles the tree at
// every level; one primary ray spawns at most this many secondary rays (a
// full binary tree of 16 levels), so a deep tree cannot run for ever.
const int largestRayTree = 65535;

}  // namespace

SimpleRaytracingCamera::SimpleRaytracingCamera()
    : maxDepth(4), subsampling(0), maxColorDiff(25), attenuationCutoff(0.25f), gain(1.0f),
      samplesPerPixel(1), focalDistance(1.0f), aperture(0.0f) {}

bool SimpleRaytracingCamera::isKindOf(int id) const {
    return id == ClassId::SimpleRaytracingCamera || GCamera::isKindOf(id);
}

int SimpleRaytracingCamera::typeId() const { return ClassId::SimpleRaytracingCamera; }

const char* SimpleRaytracingCamera::toString() const {
    static thread_local char buffer[objectTextSize];
    return formatClassAddress(buffer, objectTextSize, "SimpleRaytracingCamera", this);
}

bool SimpleRaytracingCamera::parse(GScene* newScene) { return parseViewBlock(newScene); }

bool SimpleRaytracingCamera::parseKeyword(const char* token) {
    if (std::strcmp(token, "tree_depth") == 0) {
        maxDepth = truncateToInt(readFloat());
    } else if (std::strcmp(token, "antialiasing") == 0 || std::strcmp(token, "shadows") == 0) {
        readFloat();  // accepted for old scenes; shadows are always traced
    } else if (std::strcmp(token, "subsampling") == 0) {
        subsampling = truncateToInt(readFloat());
    } else if (std::strcmp(token, "max_color_diff") == 0) {
        maxColorDiff = truncateToInt(readFloat());
    } else if (std::strcmp(token, "gain") == 0) {
        gain = readFloat();
    } else {
        return false;
    }
    return true;
}

const CameraSettingTable* SimpleRaytracingCamera::settingTableOfClass() {
    typedef SimpleRaytracingCamera C;
    static const CameraSettingTable table{
        "SimpleRaytracingCamera",
        {
            intSetting("maxDepth", &C::maxDepth, 4, 0, deepestRayTree,
                       "deepest reflection or refraction level (\"tree_depth\", -maxDepth)"),
            intSetting("subsampling", &C::subsampling, 0, 0, 64,
                       "adaptive step: 0 or 1 traces every pixel, 2 .. 16 a coarser grid"),
            intSetting("maxColorDiff", &C::maxColorDiff, 25, 0, 255,
                       "largest colour difference (per channel) that may be interpolated"),
            realSetting("attenuationCutoff", &C::attenuationCutoff, 0.25f, 0.0, 1e30,
                        "secondary rays need a red + green + blue weight above this"),
            realSetting("gain", &C::gain, 1.0f, 0.0, 1e30,
                        "initial weight of every primary ray: scales the image"),
            intSetting("samplesPerPixel", &C::samplesPerPixel, 1, 1, 65536,
                       "2 or more: stratified supersampling (above 2 after a preview)"),
            realSetting("focalDistance", &C::focalDistance, 1.0f, 1e-6, 1e30,
                        "distance of the plane in focus, with a non-zero aperture"),
            realSetting("aperture", &C::aperture, 0.0f, 0.0, 1e30,
                        "lens diameter for depth of field; 0 is a pinhole"),
        }};
    return &table;
}

void SimpleRaytracingCamera::render(ColorImage& frame) {
    if (!scene) {  // a camera that never read a view block has nothing to look at
        frame.fill(0);
        return;
    }
    if (maxDepth > deepestRayTree) {
        std::printf("tree_depth %d is deeper than %d; tracing %d levels\n", maxDepth,
                    deepestRayTree, deepestRayTree);
        maxDepth = deepestRayTree;
    }
    if (samplesPerPixel < 2) {
        if (subsampling > 1)
            renderAdaptive(frame);
        else
            renderOneRayPerPixel(frame);
    } else {
        if (samplesPerPixel > 2) {
            // A quick adaptive preview first; its settings stay in the camera.
            subsampling = 4;
            maxColorDiff = 50;
            renderAdaptive(frame);
            frame.writePPM("preview.ppm", nullptr);
        }
        renderStratified(frame);
    }
    if (treesCut)
        std::printf("ray trees of more than %d rays were cut there\n", largestRayTree);
    treesCut = false;
    // The ray tracer keeps no floating-point result: its radiance is the frame.
    if (!radianceFileName.empty()) {
        HPointImage colors;
        colors.fromColorImage(frame);
        writeRadiance(colors, false);
    }
}

// Rays of the ray tree being traced on this thread.
static thread_local int treeRays = 0;

void SimpleRaytracingCamera::beginFrame(const ColorImage& frame) {
    frameWidth = frame.width;
    frameHeight = frame.height;
    pixelSteps(frameHeight, rightStep, upStep);
}

unsigned SimpleRaytracingCamera::tracePixel(int x, int y) {
    HPoint direction = offsetDirection(rightStep, upStep, (float)x - frameWidth * 0.5f,
                                       (float)y - frameHeight * 0.5f);
    GRay ray;
    makeRay(ray, 0, from, direction);
    HitRecord hit;
    hit.t = FLT_MAX;
    HPoint accumulator(0.0f, 0.0f, 0.0f, 0.0f);
    trace(accumulator, HPoint(gain, gain, gain, 1.0f), ray, hit);
    return colorToPixel(accumulator);
}

void SimpleRaytracingCamera::renderOneRayPerPixel(ColorImage& frame) {
    frame.fill(0);
    beginFrame(frame);
    const bool unitStreams = workUnitStreams();
    ProgressClock clock;
    renderUnits(
        frameHeight,
        [&](int y, int) {
            if (!unitStreams) std::printf("\r%d / %d  ", y, frameHeight);
            beginWorkUnit((uint32_t)y, 0);
            uint32_t* row = frame.pixels + (size_t)y * frameWidth;
            for (int x = 0; x < frameWidth; x++) row[x] = tracePixel(x, y);
        },
        [&](int done) {
            if (unitStreams)
                std::printf("\r%d / %d%s", done, frameHeight, clock.text((double)done / frameHeight));
        });
    std::printf("| %u rays\n", rayCounter);
    trajectoryImage().writePPM("trajectory.ppm", nullptr);
}

void SimpleRaytracingCamera::renderAdaptive(ColorImage& frame) {
    frame.fill(0);
    beginFrame(frame);
    const int w = frameWidth, h = frameHeight;
    uint32_t* pixels = frame.pixels;
    auto at = [pixels, w](int x, int y) -> uint32_t& { return pixels[x + (size_t)y * w]; };
    // 64 bits: a large max_color_diff must not overflow the threshold.
    const long long threshold = 2LL * maxColorDiff * maxColorDiff;
    int pass = 1;
    // Interpolated pixels counted per thread; the rows of one pass read only
    // pixels of earlier passes, so they may run in any order.
    std::vector<long long> interpolatedOfThread((size_t)threadSettings().threads, 0);
    auto passRows = [&](int firstY, int endY, int stepY, int rowPass,
                        const std::function<void(int y, long long& interpolated)>& row) {
        int count = 0;
        for (int y = firstY; y < endY; y += stepY) count++;
        renderUnits(count, [&](int unit, int thread) {
            beginWorkUnit((uint32_t)unit, (uint32_t)rowPass);
            row(firstY + unit * stepY, interpolatedOfThread[(size_t)thread]);
        });
    };

    // Coarse grid.
    std::printf("\n(%d:5) ", pass);
    passRows(0, h, 4, pass++, [&](int y, long long&) {
        for (int x = 0; x < w; x += 4) at(x, y) = tracePixel(x, y);
    });

    // Bottom and top rows, left and right columns: halfway points by averaging.
    for (int step = 4; step >= 2; step /= 2) {
        int half = step / 2;
        int rows[2] = {0, h - ((h - 1) % step) - 1};
        for (int y : rows)
            for (int x = half; x < w - half; x += step)
                at(x, y) = averagePixels(at(x - half, y), at(x + half, y));
        int columns[2] = {0, w - ((w - 1) % step) - 1};
        for (int x : columns)
            for (int y = half; y < h - half; y += step)
                at(x, y) = averagePixels(at(x, y - half), at(x, y + half));
    }

    // A pixel between four known neighbours: their average where interpolation
    // is allowed and they agree, otherwise traced.
    auto fillPixel = [&](int x, int y, unsigned a, unsigned b, unsigned c, unsigned d,
                         bool mayInterpolate, long long& interpolated) {
        int difference = mayInterpolate ? pixelDistanceSquared(a, c) + pixelDistanceSquared(b, d)
                                        : noInterpolation;
        if ((long long)difference < threshold) {
            at(x, y) = averageFourPixels(a, b, c, d);
            interpolated++;
        } else {
            at(x, y) = tracePixel(x, y);
        }
    };

    // Refinement: centres of the squares, then the midpoints of their edges.
    for (int step = 4; step >= 2; step /= 2) {
        int half = step / 2;
        bool centreMayInterpolate = step == 4 ? subsampling > 8 : subsampling > 2;
        std::printf("\r(%d:5) ", pass);
        passRows(half, h - half, step, pass++, [&](int y, long long& interpolated) {
            for (int x = half; x < w - half; x += step) {
                unsigned a = at(x - half, y - half), b = at(x + half, y - half);
                unsigned c = at(x + half, y + half), d = at(x - half, y + half);
                fillPixel(x, y, a, b, c, d, centreMayInterpolate, interpolated);
            }
        });
        bool edgeMayInterpolate = step == 4 ? subsampling > 4 : true;
        std::printf("\r(%d:5) ", pass);
        passRows(half, h - half, half, pass++, [&](int y, long long& interpolated) {
            for (int x = (y % step == 0) ? half : step; x < w - half; x += step) {
                unsigned a = at(x, y - half), b = at(x + half, y);
                unsigned c = at(x, y + half), d = at(x - half, y);
                fillPixel(x, y, a, b, c, d, edgeMayInterpolate, interpolated);
            }
        });
    }

    long long interpolated = 0;
    for (long long count : interpolatedOfThread) interpolated += count;
    double pixelCount = (double)w * (double)h;
    std::printf("| %0.3f interpolated. %u rays.\n",
                pixelCount > 0 ? (double)interpolated / pixelCount : 0.0, rayCounter++);
}

void SimpleRaytracingCamera::renderStratified(ColorImage& frame) {
    beginFrame(frame);
    const int w = frameWidth, h = frameHeight;
    int columnStrata = (int)std::sqrt((double)samplesPerPixel);
    if (columnStrata < 1) columnStrata = 1;
    int rowStrata = samplesPerPixel / columnStrata;
    if (rowStrata < 1) rowStrata = 1;
    const float sampleScale = 1.0f / (float)(columnStrata * rowStrata);
    const HPoint weight(gain, gain, gain, 1.0f);

    const bool unitStreams = workUnitStreams();
    ProgressClock clock;
    FinishedRows finishedRows(h);
    ColorImage previewFrame;
    auto renderRow = [&](int y, int) {
        if (!unitStreams) std::printf("\r%d / %d  ", y, h);
        beginWorkUnit((uint32_t)y, 1);
        uint32_t* row = frame.pixels + (size_t)y * w;
        for (int x = 0; x < w; x++) {
            HPoint pixelSum(0.0f, 0.0f, 0.0f, 0.0f);
            for (int k = 0; k < rowStrata; k++)
                for (int l = 0; l < columnStrata; l++) {
                    float dy = (float)y - h * 0.5f + ((float)k + uniform01()) / (float)rowStrata;
                    float dx = (float)x - w * 0.5f + ((float)l + uniform01()) / (float)columnStrata;
                    HPoint direction = offsetDirection(rightStep, upStep, dx, dy);
                    HPoint origin = from;
                    if (aperture > 0.0f) {
                        // A point of the unit disc by rejection; after ten misses the last pair is used.
                        float a = 0.0f, b = 0.0f;
                        for (int tries = 0; tries < 10; tries++) {
                            a = 2.0f * uniform01() - 1.0f;
                            b = 2.0f * uniform01() - 1.0f;
                            if (a * a + b * b <= 1.0f) break;
                        }
                        HPoint focus = from.sum(direction.scaled(focalDistance));
                        origin = from.sum(trueUp.scaled(aperture * a * 0.5f))
                                     .sum(right.scaled(aperture * b * 0.5f));
                        direction = focus.difference(origin);
                    }
                    GRay ray;
                    makeRay(ray, 0, origin, direction);
                    HitRecord hit;
                    hit.t = FLT_MAX;
                    HPoint sample(0.0f, 0.0f, 0.0f, 1.0f);
                    trace(sample, weight, ray, hit);
                    // Only an upper limit: one bright sample must not dominate the pixel.
                    if (sample.x > 1.0f) sample.x = 1.0f;
                    if (sample.y > 1.0f) sample.y = 1.0f;
                    if (sample.z > 1.0f) sample.z = 1.0f;
                    pixelSum.add(sample);
                }
            pixelSum.scale(sampleScale);
            row[x] = colorToPixel(pixelSum);
        }
        if (!unitStreams && (y % 20 == 0 || y == h - 1)) frame.writePPM("preview.ppm", nullptr);
        finishedRows.finish(y);
    };
    // In parallel runs the preview holds the finished rows, as often as before
    // (every 20 rows) and once more at the end.
    auto writePreview = [&]() {
        previewFrame.resize(w, h);
        for (int y = 0; y < h; y++) {
            bool rowFinished = finishedRows.finished(y);
            for (int x = 0; x < w; x++)
                previewFrame.pixels[(size_t)y * w + x] = rowFinished ? frame.pixels[(size_t)y * w + x] : 0u;
        }
        previewFrame.writePPM("preview.ppm", nullptr);
    };
    renderUnits(h, renderRow, [&](int done) {
        if (!unitStreams) return;
        std::printf("\r%d / %d%s", done, h, clock.text((double)done / h));
        if (done % 20 == 1 && done < h) writePreview();
    });
    if (unitStreams && h > 0) frame.writePPM("preview.ppm", nullptr);
    std::printf("| %u rays\n", rayCounter++);
}

void SimpleRaytracingCamera::trace(HPoint& accumulator, const HPoint& weight, GRay& ray,
                                   HitRecord& hit) {
    if (ray.depth == 0)
        treeRays = 0;
    if (!scene->closestHit(ray, hit)) {
        HPoint background = scene->backgroundColor;
        background.multiply(weight);
        accumulator.add(background);
        return;
    }
    GMaterial* material = hit.object->getMaterial();
    if (!material) material = scene->defaultMaterial;

    // Turn the normal towards the arriving ray; a ray leaving the object is inside.
    const HPoint& direction = ray.direction;
    HPoint normal = hit.normal;
    bool inside = false;
    if (direction.dot(normal) > 0.0f) {
        normal.scale(-1.0f);
        inside = true;
    }

    HPoint mirror = HPoint::reflect(normal, direction);
    float glossiness = material->getRawScalar(GMaterial::glossiness);
    if (glossiness > 0.0f) mirror.jitter(glossiness);
    mirror.normalize();

    // Local colour.
    HPoint local(0.0f, 0.0f, 0.0f, 0.0f);
    const HPoint noRefraction(0.0f, 0.0f, 0.0f, 1.0f);
    shadeDirect(local, material, normal, mirror, noRefraction, ray, hit);
    local.multiply(weight);
    accumulator.add(local);

    HPoint rawReflected, rawTransmitted;
    material->getRawColor(GMaterial::reflected, rawReflected);
    material->getRawColor(GMaterial::transmitted, rawTransmitted);
    bool reflective = colorSum(rawReflected) > 0.0f;
    bool transmissive = colorSum(rawTransmitted) > 0.0f;
    if (ray.depth >= maxDepth || ray.depth >= deepestRayTree || (!reflective && !transmissive))
        return;

    // Refraction; total internal reflection hands the transmitted colour to the mirror ray.
    HPoint internallyReflected(0.0f, 0.0f, 0.0f, 0.0f);
    bool totalInternalReflection = false;
    if (transmissive) {
        float index = material->getScalar(GMaterial::indexOfRefraction, hit);
        float n1 = inside ? index : 1.0f;
        float n2 = inside ? 1.0f : index;
        HPoint refracted;
        if (refracted.refract(normal, direction, n1, n2)) {
            float translucency = material->getRawScalar(GMaterial::translucency);
            if (translucency > 0.0f) {
                refracted.jitter(translucency);
                refracted.normalize();
            }
            HPoint transmittedWeight;
            material->getColor(GMaterial::transmitted, transmittedWeight, hit);
            transmittedWeight.multiply(weight);
            if (colorSum(transmittedWeight) > attenuationCutoff)
                traceChild(accumulator, transmittedWeight, ray, hit, refracted);
        } else {
            totalInternalReflection = true;
            material->getColor(GMaterial::transmitted, internallyReflected, hit);
        }
    }

    // Mirror reflection.
    if (reflective || totalInternalReflection) {
        HPoint reflectedWeight;
        material->getColor(GMaterial::reflected, reflectedWeight, hit);
        reflectedWeight.add(internallyReflected);
        reflectedWeight.multiply(weight);
        if (colorSum(reflectedWeight) > attenuationCutoff)
            traceChild(accumulator, reflectedWeight, ray, hit, mirror);
    }
}

void SimpleRaytracingCamera::traceChild(HPoint& accumulator, const HPoint& weight,
                                        const GRay& parent, const HitRecord& hit,
                                        const HPoint& direction) {
    if (++treeRays > largestRayTree) {
        treesCut = true;
        return;
    }
    GRay child;
    makeRay(child, parent.depth + 1, hit.point, direction);
    hit.object->clearRayStamp(child.id);
    HitRecord childHit;
    childHit.t = FLT_MAX;
    trace(accumulator, weight, child, childHit);
}

void SimpleRaytracingCamera::shadeDirect(HPoint& result, GMaterial* material, const HPoint& normal,
                                         const HPoint& mirrorDirection,
                                         const HPoint& refractDirection, GRay& ray,
                                         HitRecord& hit) {
    (void)refractDirection;
    result = HPoint(0.0f, 0.0f, 0.0f, 0.0f);
    GLightingModel* model = material->lightingModel;
    model->ambientAndEmissive(result, material, scene->ambientColor, hit);
    JVector<GLight>& lights = scene->lights;
    for (int i = lights.size() - 1; i >= 0; i--) {
        HPoint toLight, lightColor;
        float distance;
        if (!lights[i]->illuminate(toLight, lightColor, distance, hit.point)) continue;
        if (toLight.dot(normal) <= 0.0f) continue;
        GRay shadowRay;
        makeRay(shadowRay, 0, hit.point, toLight);
        hit.object->clearRayStamp(shadowRay.id);
        HPoint filter(1.0f, 1.0f, 1.0f, 1.0f);
        if (scene->anyHit(shadowRay, filter, distance)) continue;
        HPoint reflectedLight(0.0f, 0.0f, 0.0f, 0.0f);
        model->evaluate(reflectedLight, material, normal, ray.direction, mirrorDirection, toLight,
                        lightColor, hit);
        reflectedLight.multiply(filter);
        result.add(reflectedLight);
    }
}
