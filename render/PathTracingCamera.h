// PathTracingCamera: Monte Carlo path tracing. Every pixel averages a random
// one of 20 Latin-hypercube sample patterns of primary rays. At each path
// vertex one scattering event (diffuse, mirror, transmission) is chosen with
// probability proportional to the luminances of the material's diffuse,
// specular and transmitted colours, light from the scene's emitting surfaces
// is gathered by shadow rays, and the path goes on up to maxRayDepth.
// Radiance is summed in an HPointImage and tone-mapped into the frame.
//
// Files in the working folder: "temp.ppm" (the tone-mapped rows finished so
// far, rewritten at the start of every row), "radImage.im" (the radiance image,
// at the end); "acceptedImage.im" is read as a reference for the printed MSE.
//
// render counts neither emission nor direct light at the first visible
// surface (minDirectDepth 1): what it shows has scattered at least once before
// reaching that surface, plus emitters seen through mirrors and refraction.
#pragma once

#include "render/GCamera.h"
#include "render/PixelPatterns.h"

class GMaterial;
class HPointImage;
struct HitRecord;

class PathTracingCamera : public GCamera {
public:
    int maxRayDepth;            // deepest vertex at which an event is chosen, "tree_depth"
    int samplesPerPixel;        // target samples per pixel
    float toneMappingConstant;  // key k of L' = kL / (kL + 1)
    bool reservedFlag;          // kept for the record layout; nothing reads it
    bool noDiffuseBounces;      // set by the Metropolis seed pass: no diffuse events

    // 100 x 100, one scattering event at most, 100 samples per pixel, k = 1.
    PathTracingCamera();
    bool isKindOf(int id) const override;
    int typeId() const override;
    const char* toString() const override;

    // Reads the camera block: "{", keywords, "}". Unknown tokens are skipped.
    bool parse(GScene* scene) override;
    const CameraSettingTable* settingTable() const override { return settingTableOfClass(); }
    static const CameraSettingTable* settingTableOfClass();
    bool parseKeyword(const char* token) override;
    // renderPaths(frame, a scratch sum, 1, no output image).
    void render(ColorImage& frame) override;
    // A VRML Viewpoint with the renderer's own settings as custom parameters
    // (the XML export writes the camera and render elements of every camera).
    void writeVrmlViewpoint(FILE* file);

    // The rendering loop over frame's size (the camera's size when the frame
    // is empty). Every finished pixel colour is added to sumColor (x, y, z);
    // outImage, when given, receives the radiance image at the end.
    // Vertices at depths below minDirectDepth count neither emission nor
    // direct light.
    void renderPaths(ColorImage& frame, HPoint& sumColor, int minDirectDepth, HPointImage* outImage);

    // Adds weight x (the radiance arriving along ray) to result (x, y, z).
    // hit is the record of the first vertex (its limit is set here).
    // patternSize and index locate the sample in its pixel pattern; the path
    // moves to index + 1 (mod patternSize) at each vertex. The path is
    // followed in a loop, not by recursion, so a large maxRayDepth cannot
    // exhaust the stack; the random draws come in the order of the recursive
    // estimator.
    void radiance(HPoint& result, const HPoint& weight, GRay& ray, HitRecord& hit, int patternSize,
                  int index, bool countEmission, int minDirectDepth);

    // Adds the light of every emitter in scene->emitters that reaches hit
    // unblocked, reflected by the diffuse colour: emitted radiance x (N . L) x
    // diffuse, where the emitter's sampleLight folds in its own cosine, area
    // and 1 / (pi d^2). normal faces the incoming ray.
    void gatherDirect(HitRecord& hit, HPoint& result, const HPoint& normal, GMaterial* material);

    // The patterns of the last render (for inspection).
    const PixelPatterns& patterns() const { return pixelPatterns; }

private:
    PixelPatterns pixelPatterns;

    // Picks the next event at a vertex. False when none can be taken (black
    // colours, the depth limit for diffuse, total internal reflection).
    bool chooseEvent(GRay& ray, HitRecord& hit, const HPoint& normal, bool inside,
                     GMaterial* material, HPoint& childWeight, HPoint& childDirection,
                     bool& childCountsEmission);
};
