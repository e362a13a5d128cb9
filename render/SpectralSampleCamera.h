// SpectralSampleCamera: path tracing one wavelength at a time. Every pass
// takes one wavelength of the 400 - 700 nm grid (stratified, in shuffled
// order) and traces one path per pixel with the materials' spectral BSDFs,
// emission spectra and an optional medium inside objects; directions come
// from a fixed mixture of uniform, emitter and BSDF sampling. The radiance
// is weighted into CIE XYZ, averaged and shown as gamma-corrected RGB.
//
// Materials written for other renderers have no spectral BSDF: they scatter
// as a Lambertian whose reflectance is their diffuse colour spread over its
// band (blue 400 - 499, green 500 - 599, red 600 - 699 nm), and an emitting
// one emits its emissive colour the same way. A material of the "spectral"
// shader emits its emission spectrum only: zero when its file was missing.
// Emitters emit from both faces.
#pragma once

#include <memory>
#include <unordered_map>
#include <vector>

#include "render/GCamera.h"
#include "shading/SpectralData.h"

class GMaterial;
class SpectralBsdf;
class HPointImage;
struct HitRecord;

class SpectralSampleCamera : public GCamera {
public:
    double xBar[spectrumSamples], yBar[spectrumSamples], zBar[spectrumSamples];
    double backgroundSpectrum[spectrumSamples];
    int maxDepth;               // deepest path vertex that scatters
    int samplesPerPixel;        // wavelength passes, one path per pixel each
    float toneMappingConstant;  // linear scale of XYZ before the conversion
    SpectralBsdf* medium;       // not owned: fills the inside of objects, or none

    SpectralSampleCamera();  // loads the colour-matching functions
    ~SpectralSampleCamera() override;
    bool isKindOf(int id) const override;
    int typeId() const override;
    const char* toString() const override;
    const CameraSettingTable* settingTable() const override { return settingTableOfClass(); }
    bool logsProgress() const override { return true; }
    static const CameraSettingTable* settingTableOfClass();

    void render(ColorImage& frame) override;
    // The radiance at wavelength index i along ray (hit: a fresh record).
    double spectralRadiance(int i, GRay& ray, HitRecord& hit, SpectralBsdf* currentMedium);
    // Solid-angle density of the emitter strategy for direction at point:
    // over the emitters the line meets (at any distance, hidden or not), the
    // density of each one's own sampling, divided by their number. A sphere
    // samples the disc through its centre that faces the point; without
    // emitters the strategy is uniform over the sphere of directions.
    double lightDensity(const HPoint& point, const HPoint& direction);
    bool sampleTowardEmitter(HPoint& direction, const HPoint& point, double u1, double u2);
    HPoint sampleUniformDirection(const HPoint& normal, bool hemisphereOnly);
    // The wavelength indices of n passes: stratified, shuffled, at most 300.
    static void wavelengthSchedule(int n, std::vector<int>& indices);
    // Gives every material its stand-ins (see above) and indexes the
    // emitters; called by render.
    void prepareMaterials();
    // lightDensity tests only the emitters whose bounds the line crosses;
    // true tests every one (for comparisons).
    bool testEveryEmitter = false;

private:
    struct StandIn {
        SpectralBsdf* bsdf;        // the material's own or the stand-in
        const double* emission;    // the material's own spectrum or the stand-in's
        bool emits;
    };
    std::unordered_map<const GMaterial*, StandIn> standIns;
    std::vector<std::unique_ptr<SpectralBsdf>> ownedBsdfs;
    std::vector<std::unique_ptr<double[]>> ownedSpectra;
    std::vector<float> emitterAreas;
    // A bounding-volume hierarchy over the emitters, in depth-first order:
    // lightDensity tests only the emitters whose boxes the line crosses.
    struct EmitterNode {
        float low[3], high[3];
        int first, count;  // a leaf's range of emitterOrder; count 0 inside
        int skip;          // the node after this one's subtree
    };
    std::vector<EmitterNode> emitterNodes;
    std::vector<int> emitterOrder;
    void buildEmitterNodes(const std::vector<float>& bounds, int begin, int end);
    const StandIn& standInFor(const GMaterial* material);
    // The density of emitter k's own sampling for ray's direction from its origin.
    double emitterDensity(int k, GRay& ray);
};
