// What the two Metropolis cameras share: the seed layer rendered by a private
// path tracer, the shading of a retraced vertex, the acceptance rules and the
// statistics of the mutations they print at the end.
#pragma once

#include "foundation/HPoint.h"

class ColorImage;
class GCamera;
class GMaterial;
class GScene;
class HPointImage;
struct GRay;
struct HitRecord;

// The colours a walk chooses its event from at one vertex (the scene's
// default material when the object has none) and the normal turned to face
// the arriving ray.
struct VertexShading {
    GMaterial* material;
    HPoint normal;
    bool inside;
    HPoint diffuse, specular, transmitted, emission;
    float lD, lS, lT, total;  // luminances and their sum

    void shade(GScene* scene, const GRay& ray, const HitRecord& hit);
};

float pathLuminance(const HPoint& c);

// The seed layer: a private path tracer with the camera's view and size,
// no diffuse bounces, emission and direct light at the first surface
// (minDirectDepth 0), maxRayDepth = maxDepth and floor(sqrt(3.14159 M)) + 1
// samples per pixel. frame keeps the tone-mapped seed.
void renderSeedLayer(GCamera& camera, int maxDepth, int mutationsPerPixel, float exposure,
                     ColorImage& frame, HPointImage& seed);

// Metropolis-Hastings on path luminance: L Tcur / (Lcur Tprop); 1 while the
// chain has no bright path yet (Lcur = 0) and the proposal has L > 0; 0 for
// a dark proposal or an undefined ratio.
float acceptanceProbability(float luminance, float currentLuminance, float currentTransition,
                            float proposalTransition);

// Counts per mutation type (0 fresh, 1 caustic, 2 lens).
struct MutationStatistics {
    long long proposed[3] = {0, 0, 0};
    long long succeeded[3] = {0, 0, 0};
    long long accepted[3] = {0, 0, 0};
    // One line per type, then "normalisation b = ... from N fresh paths".
    void print(double b, long long freshPaths) const;
};
