#include "render/BidirectionalCamera.h"

#include <cmath>
#include <cstdio>
#include <vector>

#include "foundation/GMatrix.h"
#include "foundation/Parallel.h"
#include "foundation/ProgressClock.h"
#include "foundation/Random.h"
#include "geometry/GRay.h"
#include "geometry/GScene.h"
#include "image/ColorImage.h"
#include "image/HPointImage.h"
#include "render/CameraSettings.h"
#include "render/ProgressSnapshot.h"
#include "render/SplatSlots.h"
#include "render/SubPath.h"

BidirectionalCamera::BidirectionalCamera()
    : minEyeVertex(1), maxEyeVertices(2), minLightVertex(0), maxLightVertices(0), samplesPerPixel(10),
      exposure(1.0f), geometryCap(20.0f) {}

bool BidirectionalCamera::isKindOf(int id) const {
    return id == ClassId::BidirectionalCamera || GCamera::isKindOf(id);
}

int BidirectionalCamera::typeId() const { return ClassId::BidirectionalCamera; }

const char* BidirectionalCamera::toString() const {
    static thread_local char buffer[objectTextSize];
    return formatClassAddress(buffer, objectTextSize, "BidirectionalCamera", this);
}

const CameraSettingTable* BidirectionalCamera::settingTableOfClass() {
    typedef BidirectionalCamera C;
    static const CameraSettingTable table{
        "BidirectionalCamera",
        {
            intSetting("minEyeVertex", &C::minEyeVertex, 1, 0, SubPath::maxIndex,
                       "first eye vertex connected; 0 also connects the camera (light tracing)"),
            intSetting("maxEyeVertices", &C::maxEyeVertices, 2, 0, SubPath::maxIndex,
                       "largest vertex index of the eye walk"),
            intSetting("minLightVertex", &C::minLightVertex, 0, 0, SubPath::maxIndex,
                       "first light vertex connected"),
            intSetting("maxLightVertices", &C::maxLightVertices, 0, 0, SubPath::maxIndex,
                       "largest vertex index of the light walk; 0: only the emitter point"),
            intSetting("samplesPerPixel", &C::samplesPerPixel, 10, 1, 1 << 20,
                       "camera samples in every pixel"),
            realSetting("exposure", &C::exposure, 1.0f, 1e-6, 1e6,
                        "key k of the tone mapping kL / (kL + 1)"),
            realSetting("geometryCap", &C::geometryCap, 20.0f, 1e-6, 1e30,
                        "limit of a connection's 1/d^2 (biased, scale-dependent); 1e30: no limit"),
        }};
    return &table;
}

void BidirectionalCamera::render(ColorImage& frame) {
    const int w = frame.width, h = frame.height;
    if (!scene || w < 1 || h < 1) return;

    // 1. - 2. The accumulation image, the records, the pixel steps.
    HPointImage sums;
    if (!sums.resize(w, h)) return;
    for (long long i = 0; i < (long long)w * h; i++) sums.pixels[i] = HPoint(0.0f, 0.0f, 0.0f, 1.0f);
    const float t = std::tan(fovy * 0.5f);
    const float size = 2.0f * t;
    HPoint rightStep = right.scaled(size / (float)h), upStep = trueUp.scaled(size / (float)h);
    GMatrix toRaster;
    worldToRaster(toRaster, w, h);
    const float splatScale = lightTracingScale(fovy, w, h);
    const bool emitters = scene->emitters.size() > 0;

    // 3. - 4.
    std::printf("Bidirectional Camera\n");
    if (!emitters) std::printf("The scene has no emitters: only emission seen from the camera is rendered.\n");
    // The samples of one row into image; snapshots, when given, asks after
    // every sample whether the progress display is due.
    auto renderRow = [&](int y, HPointImage& image, SubPath& eyePath, SubPath& lightPath, ConnectionTally& tally,
                         ProgressSnapshot* snapshots) {
        for (int x = 0; x < w; x++) {
            for (int sample = 0; sample < samplesPerPixel; sample++) {
                float dy = uniform01(), dx = uniform01();
                GRay ray;
                rasterRay(ray, rightStep, upStep, (float)x + dx, (float)y + dy, w, h);
                startEyeSubPath(*this, eyePath, ray, maxEyeVertices);
                GRay lightRay;
                if (emitters)
                    startLightSubPath(*this, lightPath, lightRay, maxLightVertices);
                else
                    lightPath.length = -1;
                connectSubPaths(*this, image, x, y, eyePath, lightPath, toRaster, w, h, splatScale,
                                minEyeVertex, minLightVertex, geometryCap, &tally);
                // 4.5 The progress display: the sums so far.
                bool last = y == h - 1 && x == w - 1 && sample == samplesPerPixel - 1;
                if (snapshots && snapshots->due(last)) {
                    image.toneMap(frame, exposure);
                    frame.writePPM("image.ppm", nullptr);
                }
            }
        }
    };
    ProgressSnapshot snapshots;
    ConnectionTally tally;
    if (!threadSettings().unitStreams) {
        SubPath eyePath, lightPath;
        for (int y = 0; y < h; y++) {
            std::printf("\r%d / %d  ", y, h);
            renderRow(y, sums, eyePath, lightPath, tally, &snapshots);
        }
    } else {
        // On threads: row y goes to slot y mod N with its own stream; the
        // splats of a slot's rows stay in its image until the end.
        const int slots = threadSettings().threads;
        SplatSlots images(sums, slots);
        std::vector<SubPath> eyePaths((size_t)slots), lightPaths((size_t)slots);
        std::vector<ConnectionTally> tallies((size_t)slots);
        ProgressClock clock;
        renderRowsInSlots(
            *this, h, slots,
            [&](int y, int slot) {
                seedWorkUnit((uint32_t)y, 0);
                renderRow(y, images.image(slot), eyePaths[(size_t)slot], lightPaths[(size_t)slot],
                          tallies[(size_t)slot], nullptr);
            },
            [&](int rowsDone) {
                if (rowsDone < h) std::printf("\r%d / %d  %s", rowsDone, h, clock.text((double)rowsDone / h));
                if (rowsDone == 0 || !snapshots.due(rowsDone == h)) return;
                images.toneMapSum(frame, exposure);
                frame.writePPM("image.ppm", nullptr);
            });
        images.mergeIntoMain();
        for (const ConnectionTally& slotTally : tallies) {
            tally.kept += slotTally.kept;
            tally.uncapped += slotTally.uncapped;
        }
    }

    // 5. - 6.
    if (samplesPerPixel > 0) sums.scale(1.0f / (float)samplesPerPixel);
    sums.toneMap(frame, exposure);
    writeRadiance(sums);
    if (tally.uncapped > tally.kept)
        std::printf("| geometryCap %g removed %.3g%% of the connections' light\n", geometryCap,
                    100.0 * (tally.uncapped - tally.kept) / tally.uncapped);
    std::printf("| %d rays\n", (int)rayCounter);
}
