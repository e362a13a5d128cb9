#include "render/MisBidirectionalCamera.h"

#include <cmath>
#include <cstdio>
#include <vector>

#include "foundation/Parallel.h"
#include "foundation/ProgressClock.h"
#include "geometry/GScene.h"
#include "image/ColorImage.h"
#include "image/HPointImage.h"
#include "render/CameraSettings.h"
#include "render/MisPath.h"
#include "render/SplatSlots.h"

MisBidirectionalCamera::MisBidirectionalCamera() : samplesPerPixel(16), maxDepth(5), exposure(1.0f) {}

bool MisBidirectionalCamera::isKindOf(int id) const {
    return id == ClassId::MisBidirectionalCamera || GCamera::isKindOf(id);
}

int MisBidirectionalCamera::typeId() const { return ClassId::MisBidirectionalCamera; }

const char* MisBidirectionalCamera::toString() const {
    static thread_local char buffer[objectTextSize];
    return formatClassAddress(buffer, objectTextSize, "MisBidirectionalCamera", this);
}

const CameraSettingTable* MisBidirectionalCamera::settingTableOfClass() {
    typedef MisBidirectionalCamera C;
    static const CameraSettingTable table{
        "MisBidirectionalCamera",
        {
            intSetting("samplesPerPixel", &C::samplesPerPixel, 16, 1, 1 << 20, "camera samples in every pixel"),
            intSetting("maxDepth", &C::maxDepth, 5, 1, MisPathContext::maxDepthLimit,
                       "most segments of a path, camera to emitter: 1 emitters seen, 2 direct light, ..."),
            realSetting("exposure", &C::exposure, 1.0f, 1e-6, 1e6, "key k of the tone mapping kL / (kL + 1)"),
            textSetting("strategyImages", &C::strategyImages, "", nullptr,
                        "non-empty: each strategy's weighted image goes to <prefix>_s<s>_t<t>.im too"),
        }};
    return &table;
}

namespace {

bool finiteColor(const HPoint& c) { return std::isfinite(c.x) && std::isfinite(c.y) && std::isfinite(c.z); }

void clear(HPointImage& image, int w, int h) {
    image.resize(w, h);
    for (long long i = 0; i < (long long)w * h; i++) image.pixels[i] = HPoint(0.0f, 0.0f, 0.0f, 1.0f);
}

}  // namespace

void MisBidirectionalCamera::render(ColorImage& frame) {
    const int w = frame.width, h = frame.height;
    if (!scene || w < 1 || h < 1) return;

    // The records of the render: the pixels' sums, the splats of each share
    // of the rows, the strategy images of each share when asked for.
    MisPathContext context;
    const bool emitters = context.prepare(*this, w, h);
    const bool unitStreams = workUnitStreams();
    const int slots = unitStreams ? threadSettings().threads : 1;
    HPointImage sums, splats;
    clear(sums, w, h);
    clear(splats, w, h);
    SplatSlots splatSlots(splats, slots);
    const int strategies = strategyImages.empty() ? 0 : strategyCount(maxDepth);
    std::vector<std::vector<HPointImage>> byStrategy(strategies ? slots : 0);
    for (std::vector<HPointImage>& images : byStrategy) {
        images.resize(strategies);
        for (HPointImage& image : images) clear(image, w, h);
    }
    const int eyeCount = maxDepth + 1, lightCount = maxDepth;

    std::printf("MIS Bidirectional Camera\n");
    if (!emitters) std::printf("The scene has no emitters: only emission seen from the camera is rendered.\n");
    // Row y's samples: its pixels' own light into sums (no other row writes
    // there), its splats and strategy images into the slot's share.
    auto renderRow = [&](int y, int slot) {
        MisSubPath eye, light;
        StreamSampler sampler;
        HPointImage& splatImage = splatSlots.image(slot);
        for (int x = 0; x < w; x++) {
            beginWorkUnit((uint32_t)(y * w + x), 0);
            HPoint pixel(0.0f, 0.0f, 0.0f, 1.0f);
            for (int sample = 0; sample < samplesPerPixel; sample++) {
                float dx = sampler.next(PathSampler::cameraStream), dy = sampler.next(PathSampler::cameraStream);
                context.eyePath(eye, (float)x + dx, (float)y + dy, eyeCount, sampler);
                context.lightPath(light, lightCount, sampler);
                // Every strategy of every path length up to maxDepth.
                for (int t = 1; t <= eye.count; t++) {
                    for (int s = 0; s <= light.count; s++) {
                        int segments = s + t - 1;
                        if (segments < 1 || segments > maxDepth || (s == 1 && t == 1)) continue;
                        float splatX = 0.0f, splatY = 0.0f;
                        HPoint c = context.connect(light, s, eye, t, splatX, splatY);
                        if (!(c.x > 0.0f || c.y > 0.0f || c.z > 0.0f) || !finiteColor(c)) continue;
                        int column = t == 1 ? (int)splatX : x, row = t == 1 ? (int)splatY : y;
                        if (t == 1)
                            splatImage.at(column, row).add(c);
                        else
                            pixel.add(c);
                        if (strategies) byStrategy[(size_t)slot][strategyIndex(s, t)].at(column, row).add(c);
                    }
                }
            }
            sums.at(x, y).add(pixel);
        }
    };
    if (!unitStreams) {
        for (int y = 0; y < h; y++) {
            std::printf("\r%d / %d  ", y, h);
            renderRow(y, 0);
        }
    } else {
        ProgressClock clock;
        renderRowsInSlots(*this, h, slots, renderRow, [&](int rowsDone) {
            if (rowsDone < h) std::printf("\r%d / %d  %s", rowsDone, h, clock.text((double)rowsDone / h));
            std::fflush(stdout);
        });
    }

    // The splats in slot order, the mean over the samples.
    splatSlots.mergeIntoMain();
    sums.add(splats);
    const float perSample = 1.0f / (float)samplesPerPixel;
    sums.scale(perSample);
    sums.toneMap(frame, exposure);
    writeRadiance(sums);
    if (strategies) {
        for (int k = 2; k <= maxDepth + 1; k++) {
            for (int s = 0; s < k; s++) {
                if (s == 1 && k == 2) continue;
                HPointImage& image = byStrategy[0][strategyIndex(s, k - s)];
                for (int slot = 1; slot < slots; slot++) image.add(byStrategy[(size_t)slot][strategyIndex(s, k - s)]);
                image.scale(perSample);
                std::string name = strategyImages + "_s" + std::to_string(s) + "_t" + std::to_string(k - s) + ".im";
                if (!image.write(name.c_str())) std::printf("could not write %s\n", name.c_str());
            }
        }
    }
    std::printf("| %d rays\n", (int)rayCounter);
}
