// MisBidirectionalCamera: bidirectional path tracing with every strategy
// (s, t) weighted by the power heuristic (MisPath.h): eye paths that hit
// emitters (s = 0), connections, and light tracing (t = 1, splatted onto the
// pixel the light vertex projects to). Computes all the light of the scene
// over paths of at most maxDepth segments from the camera to the emitter.
//
// With "-threads N" each pixel draws from its own stream (seedWorkUnit(pixel,
// 0)) and row y's splats go to the image of share y mod N (SplatSlots), the
// shares summed in order at the end: the same image for the same seed and N.
#pragma once

#include <string>

#include "render/GCamera.h"

class MisBidirectionalCamera : public GCamera {
public:
    int samplesPerPixel;
    int maxDepth;          // most segments of a path, camera to emitter (1: emitters seen)
    float exposure;        // tone-mapping key
    // Non-empty: also write each strategy's weighted image as
    // "<prefix>_s<s>_t<t>.im" (they sum to the result).
    std::string strategyImages;

    MisBidirectionalCamera();
    bool isKindOf(int id) const override;
    int typeId() const override;
    const char* toString() const override;
    const CameraSettingTable* settingTable() const override { return settingTableOfClass(); }
    static const CameraSettingTable* settingTableOfClass();

    void render(ColorImage& frame) override;
};

// Index of strategy (s, t) among those of paths of at most maxDepth
// segments, ordered by path length, then s; strategyCount(maxDepth) of them.
inline int strategyIndex(int s, int t) {
    int k = s + t;
    return (k - 1) * k / 2 - 1 + s;
}
inline int strategyCount(int maxDepth) { return strategyIndex(0, maxDepth + 2); }
