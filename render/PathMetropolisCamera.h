// PathMetropolisCamera: path-space Metropolis over single eye walks of a
// random depth, closed by a connection to a point on an emitter or, for
// caustic paths, by the walk itself reaching an emitter right after a
// specular vertex. Like MetropolisCamera it adds a chain layer to the seed
// layer of the path tracer without diffuse bounces; its acceptance is the
// luminance ratio times the transition factors of the perturbations, its
// lens mutation turns the primary direction, and a failed proposal is a
// rejection like any other.
#pragma once

#include "foundation/GMatrix.h"
#include "render/GCamera.h"

struct SubPath;

class PathMetropolisCamera : public GCamera {
public:
    int minDepth;           // shortest eye walk of a fresh path
    int maxDepth;           // longest eye walk; also the seed path tracer's depth
    int mutationsPerPixel;  // M: chain steps per pixel
    float exposure;         // tone-mapping key

    PathMetropolisCamera();
    bool isKindOf(int id) const override;
    int typeId() const override;
    const char* toString() const override;
    const CameraSettingTable* settingTable() const override { return settingTableOfClass(); }
    bool logsProgress() const override { return true; }
    static const CameraSettingTable* settingTableOfClass();

    void render(ColorImage& frame) override;

    // The eye walk of depth vertices; true when it reaches its depth or ends
    // as a caustic path on an emitter.
    bool tracePathWalk(SubPath& path, GRay& ray, int depth);
    bool sampleFreshPathWalk(SubPath& path, int width, int height);
    bool causticPerturbationWalk(const SubPath& current, SubPath& proposal);
    bool lensPerturbationWalk(const SubPath& current, SubPath& proposal);
    // 0 fresh, 1 caustic, 2 lens.
    int chooseMutationWalk(const SubPath& current);
    // The path's colour for the chain; sets its pixel (black outside the image).
    HPoint pathContributionWalk(SubPath& path, int width, int height, int depthChoices);
    // The factors (Tcur, Tprop) of the acceptance L Tcur / (Lcur Tprop) of a
    // proposal made from current by a mutation of the type (1 for fresh paths).
    void transitionFactorWalk(const SubPath& current, const SubPath& proposal, int type,
                              float& currentTransition, float& proposalTransition) const;

    // Derived at the start of render (public for tests that call the steps).
    void prepareSteps(int width, int height);
    HPoint rightStep, upStep;
    GMatrix toRaster;
};
