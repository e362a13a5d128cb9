// What the two Metropolis cameras share: the seed layer rendered by a private
// path tracer, the shading of a retraced vertex, the acceptance rules and the
// statistics of the mutations they print at the end.
#pragma once

#include "foundation/HPoint.h"

class ColorImage;
class GCamera;
class GMaterial;
class GScene;
class GSceneObject;
class HPointImage;
struct GMatrix;
struct GRay;
struct HitRecord;
struct SubPath;

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

// Component-wise product, w = 1.
HPoint componentProduct(const HPoint& a, const HPoint& b);
// A raster position inside a W x H image.
bool insideRaster(const HPoint& raster, int width, int height);
// Vertex i of path takes the event (its code 'D', 'R' or 'T'): the
// probability and colour of that event alone.
void recordEvent(SubPath& path, int i, int type, const VertexShading& v);
// Vertex i reflects nothing: probability 1, black, diffuse, not specular.
void recordAbsorbed(SubPath& path, int i);
// One uniform draw on [0, total] picks the event at a vertex: 'R' below lS,
// 'D' below lS + lD, 'T' above.
int chooseEvent(const VertexShading& v);
// A primary ray through a random pixel of a width x height image, jittered
// within it (column, row, then the jitter in y and in x).
void jitteredPixelRay(GCamera& camera, const HPoint& rightStep, const HPoint& upStep, int width,
                      int height, GRay& ray);
// The direction after a mirror ('R') or transmission ('T') at hit, arriving
// along ray; false on total internal reflection.
bool specularDirection(int type, const VertexShading& v, const GRay& ray, const HitRecord& hit,
                       HPoint& direction);
// Steps shared by both cameras' path contributions: counts the non-specular
// vertices among 1 .. length - 1, stores vertex 1's pixel in the path and
// gives scale x (the product of the event colours) / (the product of their
// probabilities). False (the path contributes nothing) without a
// non-specular inner vertex, when vertex 1 leaves the image or a
// probability is 0.
bool chainPathColour(SubPath& path, const GMatrix& toRaster, int width, int height, float scale,
                     HPoint& color, int& nonSpecular);
// A fresh closest hit along ray into vertex; false when the ray leaves.
bool nextVertex(GScene* scene, GRay& ray, HitRecord& vertex);
// ray continues from vertex along direction (depth + 1, a new identifier)
// and will not hit vertex's object again.
void continueRay(GCamera& camera, GRay& ray, const HitRecord& vertex, const HPoint& direction);

// Nothing blocks the segment from one point to the other, up to epsilon
// before its end; the shadow ray is counted by the camera and ignores the
// marked object.
bool clearSegment(GCamera& camera, const HPoint& from, const HPoint& to, GSceneObject* marked);

float pathLuminance(const HPoint& c);


// The pinhole steps of a W x H image (2 tan(fovy / 2) / H per pixel) and the
// projection of world points to its raster.
void chainSteps(GCamera& camera, int width, int height, HPoint& rightStep, HPoint& upStep,
                GMatrix& toRaster);

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
    // Adds the counts of another chain.
    void add(const MutationStatistics& other);
    // One line per type, then "normalisation b = ... from N fresh paths".
    void print(double b, long long freshPaths) const;
};

// A chain image after `steps` steps as the end of the render normalises it
// (times b / M, M being the steps per pixel, so times b * pixels / steps),
// plus the seed layer when there is one: the image "-log" measures while
// the chain runs. Black before the first step.
void normalisedChainImage(const HPointImage& chain, const HPointImage* seed, double b, double steps,
                          HPointImage& out);
