// SimpleRaytracingCamera: the recursive Whitted ray tracer, default renderer of
// the native scene format. Shades the nearest hit with the material's lighting
// model under every light a shadow ray reaches and follows mirror reflection
// and refraction while the ray's weight sum exceeds attenuationCutoff.
// Three ways to cover the image: one ray per pixel, adaptive subsampling
// (coarse grid, interpolation where neighbours agree) and stratified
// supersampling with optional depth of field after an adaptive preview.
#pragma once

#include <atomic>

#include "render/GCamera.h"

class GMaterial;
struct HitRecord;

class SimpleRaytracingCamera : public GCamera {
public:
    int maxDepth;             // deepest secondary ray, "tree_depth"
    int subsampling;          // > 1: adaptive method; > 2, > 4, > 8 unlock interpolation levels
    int maxColorDiff;         // adaptive threshold T = 2 * maxColorDiff^2
    float attenuationCutoff;  // secondary rays need r + g + b of their weight above this
    float gain;               // initial weight of every primary ray
    int samplesPerPixel;      // >= 2: stratified supersampling
    float focalDistance;      // depth of field: distance of the focus plane
    float aperture;           // depth of field: lens diameter, 0 = pinhole

    SimpleRaytracingCamera();
    bool isKindOf(int id) const override;
    int typeId() const override;
    const char* toString() const override;

    // Reads the "view" block: "{", keywords, "}". Unknown tokens are skipped.
    bool parse(GScene* scene) override;
    const CameraSettingTable* settingTable() const override { return settingTableOfClass(); }
    static const CameraSettingTable* settingTableOfClass();
    bool parseKeyword(const char* token) override;
    void render(ColorImage& frame) override;

    // The three methods render chooses from; each writes every pixel it visits.
    void renderOneRayPerPixel(ColorImage& frame);
    void renderAdaptive(ColorImage& frame);
    void renderStratified(ColorImage& frame);

    // Adds the colour seen along ray, times weight, to accumulator. hit must
    // be fresh (t = largest finite float).
    void trace(HPoint& accumulator, const HPoint& weight, GRay& ray, HitRecord& hit);
    // Ambient, emission and every light visible from the hit point.
    // normal faces the incoming ray; mirrorDirection is the (jittered) mirror
    // direction; refractDirection is passed along unused.
    void shadeDirect(HPoint& result, GMaterial* material, const HPoint& normal,
                     const HPoint& mirrorDirection, const HPoint& refractDirection, GRay& ray,
                     HitRecord& hit);

private:
    // Size and pinhole steps of the frame being rendered.
    int frameWidth = 0, frameHeight = 0;
    HPoint rightStep, upStep;
    // Secondary rays of the current primary ray's tree, and whether a tree
    // grew past its bound during this render.
    std::atomic<bool> treesCut{false};

    void beginFrame(const ColorImage& frame);
    // Traces the pinhole ray through the integer raster position (x, y).
    unsigned tracePixel(int x, int y);
    // Spawns a secondary ray from hit along direction with the given weight.
    void traceChild(HPoint& accumulator, const HPoint& weight, const GRay& parent,
                    const HitRecord& hit, const HPoint& direction);
};
