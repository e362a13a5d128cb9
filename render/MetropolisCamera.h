// MetropolisCamera: Metropolis light transport over paths joined from an eye
// and a light sub-path. Two layers: a seed layer from the path tracer without
// diffuse bounces (emission, direct light, what mirrors and refractors show),
// and one Markov chain whose current path, after every step, adds its colour
// over its luminance to its pixel. Three mutations: a fresh path, a caustic
// perturbation (the specular chain towards the eye re-aimed) and a lens
// perturbation (the pixel moved). The chain is scaled by the mean luminance
// of the fresh paths over the mutations per pixel and added to the seed.
#pragma once

#include "foundation/GMatrix.h"
#include "render/GCamera.h"

struct SubPath;

class MetropolisCamera : public GCamera {
public:
    int minEyeVertex;       // shortest eye sub-path of a fresh path
    int maxEyeVertices;     // longest eye sub-path; also the seed path tracer's depth
    int minLightVertex;     // light sub-path lengths, used when the eye length is 0
    int maxLightVertices;
    int mutationsPerPixel;  // M: chain steps per pixel
    float exposure;         // tone-mapping key of every image written
    // The joins' 1 / d^2 is limited to this (20, as the bidirectional
    // camera's connections): close vertices cost less noise, at a bias the
    // render reports when there is any.
    float geometryCap;

    MetropolisCamera();
    bool isKindOf(int id) const override;
    int typeId() const override;
    const char* toString() const override;
    const CameraSettingTable* settingTable() const override { return settingTableOfClass(); }
    bool logsProgress() const override { return true; }
    static const CameraSettingTable* settingTableOfClass();

    void render(ColorImage& frame) override;

    // The walk of this camera: per vertex the probability and colour of the
    // chosen event alone (not running products) and its code.
    void traceSubPathLocal(SubPath& path, GRay& ray, int maxIndex, bool isLightWalk, bool stopAtDiffuse);
    void startEyeSubPathLocal(SubPath& path, GRay& ray, int length);
    // False without emitters.
    bool startLightSubPathLocal(SubPath& path, GRay& ray, int length);
    // Appends the light vertices in reverse order and tests the joining edge.
    bool joinSubPaths(SubPath& eye, const SubPath& light);
    bool sampleFreshPath(SubPath& proposal, SubPath& proposalLight, int width, int height);
    bool causticPerturbation(const SubPath& current, SubPath& proposal);
    // Fails without tracing a ray when the moved pixel leaves the image.
    bool lensPerturbation(const SubPath& current, SubPath& proposal, int width, int height);
    // 0 fresh, 1 caustic, 2 lens; every tenth call of the process is fresh.
    // The choice never looks at the chain's history: a rule that drew more
    // fresh paths where the chain lingers would move its stationary
    // distribution away from those places.
    int chooseMutation(const SubPath& current);
    // The same with the count of the calls kept in steps: each chain of a
    // render on threads keeps its own, so that its schedule does not depend
    // on the other chains.
    int chooseMutation(const SubPath& current, long long& steps);
    // Tcur / Tprop of the acceptance L Tcur / (Lcur Tprop). L is the path's
    // contribution over its fresh-path density, which includes the chances
    // of the events chosen; a perturbation keeps the event types, so the
    // ratio of those chances is part of the factors.
    void transitionFactor(const SubPath& current, const SubPath& proposal, int type, float& currentFactor,
                          float& proposalFactor);
    // The path's colour for the chain; sets its pixel (black outside the image).
    // Surfaces are single-sided at the join: black unless both ends face each
    // other on the sides they were reached from (the emitter point itself
    // emits from both faces).
    HPoint pathContribution(SubPath& path, int width, int height, int strategies);
    // The same, with the cap's ratio (see lastCapRatio) given in capRatio.
    HPoint pathContribution(SubPath& path, int width, int height, int strategies, float& capRatio);
    // Uncapped over capped 1 / d^2 of the last pathContribution's join (1
    // when the cap did not apply): what the cap removed, for the report.
    float lastCapRatio = 1.0f;

    // Derived at the start of render; public for the tests that call the
    // steps on their own (prepareSteps sets them for an image of W x H).
    void prepareSteps(int width, int height);
    HPoint rightStep, upStep;
    GMatrix toRaster;
    float splatScale = 0.0f;
};
