// MisPathTracingCamera: path tracing with next-event estimation. At every
// vertex with a diffuse or glossy lobe the path takes one light sample (an
// emitter chosen by power, a point on it) and one BSDF sample, each weighted
// by the power heuristic against the other's density; emitters met after the
// camera or after a mirror or refraction count whole. So it computes all the
// light of paths of up to maxDepth segments: emitters seen directly, direct
// and indirect light, caustics through mirrors and glass.
//
// maxDepth counts the segments of a path from the camera to the emitter at
// its end: 1 sees emitters only, 2 adds direct light at the first visible
// surface, each more one bounce. Russian roulette from segment rrDepth on
// (0: never) ends paths by their throughput and reweighs the survivors.
//
// Pixels are the work units of a parallel loop; radiance goes to an
// HPointImage tone-mapped into the frame with kL / (kL + 1), k = exposure.
#pragma once

#include "render/GCamera.h"
#include "shading/EmitterSampler.h"

struct GRay;

class MisPathTracingCamera : public GCamera {
public:
    // Its class id, next to those of ClassId.
    static const int classId = 1037;

    int samplesPerPixel;
    int maxDepth;
    int rrDepth;
    float exposure;

    // 100 x 100, 16 samples per pixel, maxDepth 5, no roulette, exposure 1.
    MisPathTracingCamera();
    bool isKindOf(int id) const override;
    int typeId() const override;
    const char* toString() const override;
    const CameraSettingTable* settingTable() const override { return settingTableOfClass(); }
    static const CameraSettingTable* settingTableOfClass();

    void render(ColorImage& frame) override;

    // Sets up the emitter sampler for the scene; render does it first.
    void prepareEmitters();
    // The radiance arriving at the camera along ray (one path); prepareEmitters first.
    HPoint radiance(GRay& ray);

private:
    EmitterSampler emitters;

    // The light sample at a vertex, weighted against the BSDF's density.
    HPoint sampleLight(const HitRecord& hit, const class Bsdf& bsdf, const HPoint& wo);
};
