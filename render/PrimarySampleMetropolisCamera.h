// PrimarySampleMetropolisCamera: Metropolis light transport in primary
// sample space (Kelemen et al.) over misBidirectional's contribution. A
// state is the vector of uniform numbers a bidirectional sample draws (three
// streams: camera, light, connection, so a mutation of one leaves the others'
// coordinates where they were); a large step draws them all afresh, a small
// step moves each one a little (a normal of spread 0.01, wrapped into
// [0, 1)). The target is the luminance of the sample's contribution:
//  - "multiplexed" (the default): the sample's first connection number picks
//    one strategy (s, t) of one path length, uniformly among all of them, and
//    its weighted contribution counts that many times;
//  - "plain": the sample is one whole misBidirectional camera sample (all
//    strategies), its light splatted to every pixel it reaches.
// The normalisation b is the mean target over `bootstrap` independent
// samples; `chains` chains start at bootstrap samples chosen in proportion
// to their target and share the mutations; every step deposits both the
// current and the proposed state, weighted by the acceptance (Veach's
// expected values).
//
// A chain draws from the seed the run's stream gives it (with "-threads", its
// own stream: seedWorkUnit(chain, 2)). With "-threads N" chain c deposits
// into the image of share c mod N (SplatSlots), the shares summed in order:
// the same image for the same seed and N.
#pragma once

#include <string>

#include "render/GCamera.h"

class PrimarySampleMetropolisCamera : public GCamera {
public:
    int maxDepth;                // as misBidirectional's
    int mutationsPerPixel;
    float largeStepProbability;
    int chains;
    int bootstrap;               // samples that estimate the normalisation
    std::string strategy;        // "multiplexed" or "plain"
    float exposure;

    PrimarySampleMetropolisCamera();
    bool isKindOf(int id) const override;
    int typeId() const override;
    const char* toString() const override;
    const CameraSettingTable* settingTable() const override { return settingTableOfClass(); }
    static const CameraSettingTable* settingTableOfClass();

    void render(ColorImage& frame) override;
};
