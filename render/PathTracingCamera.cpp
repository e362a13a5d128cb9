#include "render/PathTracingCamera.h"

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
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
#include "io/native/Scanner.h"
#include "render/CameraSettings.h"
#include "render/ProgressSnapshot.h"
#include "shading/GMaterial.h"

namespace {

float luminance(const HPoint& c) { return 0.299f * c.x + 0.587f * c.y + 0.114f * c.z; }

}  // namespace

PathTracingCamera::PathTracingCamera()
    : maxRayDepth(1), samplesPerPixel(100), toneMappingConstant(1.0f), reservedFlag(false),
      noDiffuseBounces(false) {
    width = 100;
    height = 100;
}

bool PathTracingCamera::isKindOf(int id) const {
    return id == ClassId::PathTracingCamera || GCamera::isKindOf(id);
}

int PathTracingCamera::typeId() const { return ClassId::PathTracingCamera; }

const char* PathTracingCamera::toString() const {
    static thread_local char buffer[objectTextSize];
    return formatClassAddress(buffer, objectTextSize, "PathTracingCamera", this);
}

bool PathTracingCamera::parse(GScene* newScene) { return parseViewBlock(newScene); }

bool PathTracingCamera::parseKeyword(const char* token) {
    if (std::strcmp(token, "tree_depth") == 0) {
        maxRayDepth = truncateToInt(readFloat());
    } else if (std::strcmp(token, "toneMappingConstant") == 0) {
        toneMappingConstant = readFloat();
    } else if (std::strcmp(token, "samplesPerPixel") == 0) {
        samplesPerPixel = truncateToInt(readFloat());
    } else {
        return false;
    }
    return true;
}

const CameraSettingTable* PathTracingCamera::settingTableOfClass() {
    typedef PathTracingCamera C;
    static const CameraSettingTable table{
        "PathTracingCamera",
        {
            intSetting("maxRayDepth", &C::maxRayDepth, 1, 0, 1000,
                       "deepest vertex at which a scattering event is chosen (\"tree_depth\")"),
            intSetting("samplesPerPixel", &C::samplesPerPixel, 100, 1, 1 << 20,
                       "target number of samples per pixel"),
            realSetting("toneMappingConstant", &C::toneMappingConstant, 1.0f, 1e-6, 1e6,
                        "key k of the tone mapping kL / (kL + 1)"),
        }};
    return &table;
}

void PathTracingCamera::render(ColorImage& frame) {
    // The Metropolis cameras' seed pass shares renderPaths and says this itself.
    if (scene && scene->emitters.size() == 0)
        std::printf("The scene has no emitters: no direct light is sampled.\n");
    HPoint sumColor(0.0f, 0.0f, 0.0f, 1.0f);
    renderPaths(frame, sumColor, 1, nullptr);
}

void PathTracingCamera::renderPaths(ColorImage& frame, HPoint& sumColor, int minDirectDepth,
                                    HPointImage* outImage) {
    if (!scene) {  // a camera that never read its block has nothing to look at
        frame.fill(0);
        return;
    }
    // The frame the caller sized decides the image size; an empty one takes the camera's.
    int w = frame.width, h = frame.height;
    if (w < 1 || h < 1) {
        w = width;
        h = height;
    }
    HPointImage radianceImage;
    if (!radianceImage.resize(w, h) || !frame.resize(w, h)) {
        std::printf("| %u rays\n", rayCounter++);
        return;
    }
    frame.fill(0);

    pixelPatterns.build(samplesPerPixel);
    HPoint rightStep, upStep;
    pixelSteps(h, rightStep, upStep);
    const HPoint unitWeight(1.0f, 1.0f, 1.0f, 1.0f);
    const float halfWidth = (float)w * 0.5f, halfHeight = (float)h * 0.5f;

    // Rows are the work units. Without "-threads" they run in order on this
    // thread and the pixel sums go straight into sumColor, as always; with it
    // each row draws from its own stream and keeps its own sum, and the sums
    // are added in row order, so the result does not depend on the threads.
    const bool unitStreams = workUnitStreams();
    std::vector<HPoint> rowSums(unitStreams ? (size_t)h : 0, HPoint(0.0f, 0.0f, 0.0f, 1.0f));
    ProgressSnapshot snapshots;
    ProgressClock clock;
    FinishedRows finishedRows(h);
    auto renderRow = [&](int row, int) {
        if (!unitStreams) {
            std::printf("\rpath tracing %d / %d  ", row, h);
            // Snapshot of the rows finished so far (at most one a second, and
            // always the one at the start of the last row).
            if (snapshots.due(row == h - 1)) {
                radianceImage.toneMap(frame, toneMappingConstant);
                frame.writePPM("temp.ppm");
            }
        }
        beginWorkUnit((uint32_t)row, 0);
        HPoint& rowSum = unitStreams ? rowSums[(size_t)row] : sumColor;
        for (int column = 0; column < w; column++) {
            const int pattern = nextRandom() % PixelPatterns::patternCount;
            const int patternSize = pixelPatterns.size(pattern);
            HPoint pixelSum(0.0f, 0.0f, 0.0f, 1.0f);
            for (int k = 0; k < patternSize; k++) {
                HPoint direction = offsetDirection(
                    rightStep, upStep, (float)column + pixelPatterns.offsetX(pattern, k) - halfWidth,
                    (float)row + pixelPatterns.offsetY(pattern, k) - halfHeight);
                GRay ray;
                makeRay(ray, 0, from, direction);
                HitRecord hit;
                HPoint sample(0.0f, 0.0f, 0.0f, 1.0f);
                radiance(sample, unitWeight, ray, hit, patternSize, k, true, minDirectDepth);
                pixelSum.add(sample);
            }
            HPoint pixel = pixelSum.scaled(1.0f / (float)patternSize);
            pixel.w = 1.0f;
            rowSum.add(pixel);
            radianceImage.at(column, row) = pixel;
        }
        finishedRows.finish(row);
    };
    HPointImage snapshotImage;
    ColorImage snapshotFrame;
    auto progress = [&](int done) {
        if (!unitStreams) return;
        std::printf("\rpath tracing %d / %d%s", done, h, clock.text((double)done / h));
        std::fflush(stdout);
        if (snapshots.due(false)) {
            finishedRows.copyFinished(radianceImage, snapshotImage);
            snapshotImage.toneMap(snapshotFrame, toneMappingConstant);
            snapshotFrame.writePPM("temp.ppm");
        }
    };
    renderUnits(h, renderRow, progress);
    for (const HPoint& rowSum : rowSums) sumColor.add(rowSum);
    if (unitStreams && h > 0 && snapshots.due(true)) {
        radianceImage.toneMap(frame, toneMappingConstant);
        frame.writePPM("temp.ppm");
    }

    // Radiance image out, and its distance from the accepted reference (a
    // missing reference reads as an empty image: "not the same size.", 0).
    radianceImage.write("radImage.im");
    writeRadiance(radianceImage);
    HPointImage acceptedImage;
    acceptedImage.read("acceptedImage.im");
    double squaredError = radianceImage.squaredError(acceptedImage);
    std::printf("\n\nMSE: %0.8f\n\n", squaredError);

    radianceImage.toneMap(frame, toneMappingConstant);
    if (outImage) outImage->copyFrom(radianceImage);
    std::printf("| %u rays\n", rayCounter++);
}

void PathTracingCamera::radiance(HPoint& result, const HPoint& weight, GRay& ray, HitRecord& hit,
                                 int patternSize, int index, bool countEmission,
                                 int minDirectDepth) {
    // One path, no splitting: the recursive estimator's sum
    // w (g_0 + w_1 (g_1 + w_2 (g_2 + ...))) is accumulated front to back with
    // the running product of the weights.
    HPoint throughput = weight;
    GRay pathRay = ray;
    HitRecord laterHit;
    HitRecord* vertex = &hit;  // the caller's record keeps the first vertex
    for (;;) {
        HPoint local(0.0f, 0.0f, 0.0f, 1.0f);
        vertex->t = FLT_MAX;
        if (!scene->closestHit(pathRay, *vertex)) {
            local = scene->backgroundColor;
            local.multiply(throughput);
            result.add(local);
            return;
        }
        HitRecord& current = *vertex;
        GMaterial* material = current.object->getMaterial();
        if (!material) material = scene->defaultMaterial;

        // Turn the normal towards the arriving ray; a ray leaving an object is inside.
        HPoint normal = current.normal;
        bool inside = false;
        if (pathRay.direction.dot(normal) > 0.0f) {
            normal.scale(-1.0f);
            inside = true;
        }

        if (pathRay.depth >= minDirectDepth) {
            if (countEmission) material->getColor(GMaterial::emissive, local, current);
            gatherDirect(current, local, normal, material);
        }
        local.multiply(throughput);
        result.add(local);

        if (pathRay.depth >= maxRayDepth) return;
        HPoint childWeight, childDirection;
        bool childCountsEmission = countEmission;
        if (!chooseEvent(pathRay, current, normal, inside, material, childWeight, childDirection,
                         childCountsEmission))
            return;

        GRay child;
        makeRay(child, pathRay.depth + 1, current.point, childDirection);
        current.object->clearRayStamp(child.id);
        throughput.multiply(childWeight);
        pathRay = child;
        countEmission = childCountsEmission;
        index = patternSize > 0 ? (index + 1) % patternSize : 0;
        laterHit = HitRecord();
        vertex = &laterHit;
    }
}

bool PathTracingCamera::chooseEvent(GRay& ray, HitRecord& hit, const HPoint& normal, bool inside,
                                    GMaterial* material, HPoint& childWeight,
                                    HPoint& childDirection, bool& childCountsEmission) {
    HPoint diffuseColor, specularColor, transmittedColor;
    material->getColor(GMaterial::diffuse, diffuseColor, hit);
    material->getColor(GMaterial::specular, specularColor, hit);
    material->getColor(GMaterial::transmitted, transmittedColor, hit);
    const float diffuseChance = luminance(diffuseColor);
    const float specularChance = luminance(specularColor);
    const float transmittedChance = luminance(transmittedColor);
    const float total = diffuseChance + specularChance + transmittedChance;
    const float choice = uniform01() * total;

    if (choice > diffuseChance + specularChance) {
        // Transmission; total internal reflection ends the path.
        if (!(transmittedChance > 0.0f)) return false;
        float index = material->getScalar(GMaterial::indexOfRefraction, hit);
        float n1 = inside ? index : 1.0f;
        float n2 = inside ? 1.0f : index;
        if (!childDirection.refract(normal, ray.direction, n1, n2)) return false;
        childWeight = transmittedColor.scaled(total / transmittedChance);
        return true;
    }
    if (choice > specularChance) {
        // Diffuse: never at the last vertex before the depth limit, never in
        // the seed pass of the Metropolis cameras; emitters hit next are
        // reached by the emitter sampling instead.
        if (!(diffuseChance > 0.0f) || noDiffuseBounces || ray.depth + 1 >= maxRayDepth)
            return false;
        childWeight = diffuseColor.scaled(total / diffuseChance);
        childDirection = sampleCosineHemisphere(normal);
        childCountsEmission = false;
        return true;
    }
    // Mirror: chosen by the specular colour, weighted by the reflected one.
    if (!(specularChance > 0.0f)) return false;
    childDirection = HPoint::reflect(normal, ray.direction);
    HPoint reflectedColor;
    material->getColor(GMaterial::reflected, reflectedColor, hit);
    childWeight = reflectedColor.scaled(total / specularChance);
    return true;
}

void PathTracingCamera::gatherDirect(HitRecord& hit, HPoint& result, const HPoint& normal,
                                     GMaterial* material) {
    HPoint diffuseColor;
    material->getColor(GMaterial::diffuse, diffuseColor, hit);
    JVector<GSceneObject>& emitters = scene->emitters;
    for (int i = 0; i < emitters.count; i++) {
        GSceneObject* emitter = emitters[i];
        HPoint toLight, arriving;
        float distance = 0.0f;
        bool sampled = emitter->sampleLight(toLight, arriving, distance, hit);
        float cosine = normal.dot(toLight);
        if (!sampled || !(cosine >= 0.0f)) continue;
        GRay shadowRay;
        makeRay(shadowRay, 0, hit.point, toLight);
        // Neither the receiver nor the emitter may block the shadow ray. The
        // emitter is stamped outright: a ball's sample point lies inside it,
        // and a ball ignores the milder clearRayStamp, so it would shadow
        // all of its own light.
        hit.object->clearRayStamp(shadowRay.id);
        emitter->setRayStamp(shadowRay.id);
        HPoint filter(1.0f, 1.0f, 1.0f, 1.0f);
        if (scene->anyHit(shadowRay, filter, distance - epsilon)) continue;
        // The filter is not applied: transparent blockers pass the light whole.
        arriving.scale(cosine);
        arriving.multiply(diffuseColor);
        result.add(arriving);
    }
}

void PathTracingCamera::writeVrmlViewpoint(FILE* file) {
    if (!file) return;
    // Axis and angle of the rotation whose columns are right, trueUp and
    // -viewDirection (m[r][c] = row r, column c).
    const double m00 = right.x, m10 = right.y, m20 = right.z;
    const double m01 = trueUp.x, m21 = trueUp.z;
    const double m02 = -viewDirection.x, m12 = -viewDirection.y, m22 = -viewDirection.z;
    const double m11 = trueUp.y;
    double cosAngle = (m00 + m11 + m22 - 1.0) * 0.5;
    // Rounding may push the trace just past +-1; acos and the sine need it inside.
    if (cosAngle > 1.0) cosAngle = 1.0;
    if (cosAngle < -1.0) cosAngle = -1.0;
    double sinAngle = std::sqrt(1.0 - cosAngle * cosAngle);
    double axisX = 0.0, axisY = -1.0, axisZ = 0.0;
    if (sinAngle > 0.0) {
        axisX = (m21 - m12) / (2.0 * sinAngle);
        axisY = (m02 - m20) / (2.0 * sinAngle);
        axisZ = (m10 - m01) / (2.0 * sinAngle);
    }
    double angle = std::acos(cosAngle);

    std::fprintf(file, "Viewpoint {\n");
    std::fprintf(file, "  position %0.5f %0.5f %0.5f\n", from.x, from.y, from.z);
    std::fprintf(file, "  orientation %0.5f %0.5f %0.5f %0.5f\n", axisX, axisY, axisZ, angle);
    std::fprintf(file, "  fieldOfView %0.5f\n", fovy);
    std::fprintf(file, "    # CUSTOM PARAMS\n");
    std::fprintf(file, "    cameraType \"pathTracingCamera\"\n");
    std::fprintf(file, "    imageSize %d %d\n", width, height);
    std::fprintf(file, "    samplesPerPixel %d\n", samplesPerPixel);
    std::fprintf(file, "    maxRayDepth %d\n", maxRayDepth);
    std::fprintf(file, "    toneMappingConstant %0.3f\n", toneMappingConstant);
    std::fprintf(file, "}\n");
}
