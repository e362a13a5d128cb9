#include "render/BidirectionalCamera.h"

#include <cmath>
#include <cstdio>

#include "foundation/GMatrix.h"
#include "foundation/Random.h"
#include "geometry/GRay.h"
#include "geometry/GScene.h"
#include "image/ColorImage.h"
#include "image/HPointImage.h"
#include "render/CameraSettings.h"
#include "render/ProgressSnapshot.h"
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
    SubPath eyePath, lightPath;
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
    ProgressSnapshot snapshots;
    ConnectionTally tally;
    for (int y = 0; y < h; y++) {
        std::printf("\r%d / %d  ", y, h);
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
                connectSubPaths(*this, sums, x, y, eyePath, lightPath, toRaster, w, h, splatScale,
                                minEyeVertex, minLightVertex, geometryCap, &tally);
                // 4.5 The progress display: the sums so far.
                bool last = y == h - 1 && x == w - 1 && sample == samplesPerPixel - 1;
                if (snapshots.due(last)) {
                    sums.toneMap(frame, exposure);
                    frame.writePPM("image.ppm", nullptr);
                }
            }
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
