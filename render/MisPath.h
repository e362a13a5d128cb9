// MisPath: the sub-paths of multiple-importance bidirectional path tracing,
// shared by misBidirectional and primarySampleMetropolis. Vertices carry the
// forward and reverse area densities that the power heuristic's recursive
// weights need; the walks and the connection of one strategy (s, t) live
// here, so both renderers compute the same contribution of the same
// strategy.
//
// Notation: s is the number of light vertices, t the number of eye vertices
// of a strategy. s = 0 is an eye path that hits an emitter, t = 1 connects a
// light vertex to the camera (light tracing, a splat onto another pixel).
// A full path of k = s + t vertices has k - 1 segments; maxDepth limits
// that count, as misPathTracing's does (1: emitters seen directly, 2: direct
// light at the first surface seen, each more one more bounce).
//
// Densities are in area measure at the vertex they generate (solid angle
// density times |cos| at that vertex over the squared distance). A vertex
// reached or left by a specular event has delta set and densities 0, which
// the weights read as "cancels" (pbrt's remap0).
#pragma once

#include "foundation/HPoint.h"
#include "geometry/GRay.h"
#include "geometry/HitRecord.h"
#include "shading/Bsdf.h"
#include "shading/EmitterSampler.h"

class GCamera;
class GMaterial;
class GScene;
class GSceneObject;

// The numbers a walk draws: each from one of three streams (camera, light,
// connection), so that primary-sample Metropolis can mutate each stream on
// its own. Values lie in [0, 1).
class PathSampler {
public:
    enum Stream { cameraStream = 0, lightStream = 1, connectionStream = 2, streamCount = 3 };
    virtual ~PathSampler() {}
    virtual float next(int stream) = 0;
};

// Draws from the calling thread's random stream in order (the stream is
// ignored): the plain bidirectional renderer's sampler.
class StreamSampler : public PathSampler {
public:
    float next(int stream) override;
};

// The camera's pinhole as an importance emitter: raster positions, the
// density of a camera ray's direction and its importance.
struct MisCameraModel {
    HPoint eye, view, right, up;
    float pixelSize;   // 2 tan(fovy / 2) / height: one pixel at unit distance
    float planeArea;   // the image plane's area at unit distance
    int width, height;

    void set(const GCamera& camera, int imageWidth, int imageHeight);
    // Unit direction through raster position (x, y).
    HPoint direction(float x, float y) const;
    // Raster position of the unit direction d from the eye; false when it
    // points behind the eye or outside the image.
    bool raster(const HPoint& d, float& x, float& y) const;
    // Solid-angle density of a camera ray along unit d: 1 / (A cos^3).
    float directionDensity(const HPoint& d) const;
    // Importance along unit d: 1 / (A cos^4), so that a sampled ray carries 1.
    float importance(const HPoint& d) const;
};

struct MisVertex {
    enum Kind : unsigned char { camera, emitter, surface };
    Kind kind = surface;
    bool delta = false;   // its sub-path went on from it by a specular event
    HitRecord hit;        // point, shading normal, object, texture coordinates
    HPoint wo;            // surface vertices: unit, toward the previous vertex of its sub-path
    HPoint beta;          // throughput of the sub-path up to and including this vertex
    float pdfFwd = 0.0f;  // area density of this vertex from its sub-path's previous one
    float pdfRev = 0.0f;  // area density of this vertex from the next one (the other way)
    Bsdf bsdf;            // surface vertices: the material at the hit
};

// Converts a solid-angle density at vertex from toward vertex to into an
// area density at to.
float areaDensity(const MisVertex& from, const MisVertex& to, float solidAngleDensity);

struct MisSubPath {
    static const int maxVertices = 20;
    int count = 0;
    MisVertex vertices[maxVertices];
};

// What one render's walks and connections share.
class MisPathContext {
public:
    static const int maxDepthLimit = MisSubPath::maxVertices - 1;

    GCamera* camera = nullptr;
    GScene* scene = nullptr;
    EmitterSampler emitters;
    MisCameraModel lens;

    // Sets up the emitters and the lens; false when the scene has no
    // emitter with power (only emission seen from the camera remains).
    bool prepare(GCamera& renderingCamera, int width, int height);

    // The eye sub-path through raster position (x, y), at most maxCount
    // vertices (the camera is vertex 0).
    void eyePath(MisSubPath& path, float x, float y, int maxCount, PathSampler& sampler) const;
    // The light sub-path, at most maxCount vertices (the emitter point is
    // vertex 0); count 0 without emitters.
    void lightPath(MisSubPath& path, int maxCount, PathSampler& sampler) const;

    // The contribution of strategy (s, t) with its power-heuristic weight
    // (also given alone in weight when asked). For t = 1 the pixel is the
    // light vertex's raster position (x, y); otherwise x, y are untouched.
    // Black when the strategy does not apply or the connection is blocked.
    HPoint connect(const MisSubPath& light, int s, const MisSubPath& eye, int t, float& x, float& y,
                   float* weight = nullptr) const;


private:
    void walk(MisSubPath& path, GRay ray, HPoint beta, float pdfDirection, int maxCount, bool fromLight,
              PathSampler& sampler) const;
    float misWeightOf(const MisSubPath& light, int s, const MisSubPath& eye, int t) const;
    bool visible(const MisVertex& a, const MisVertex& b) const;
};

// The power-heuristic weight of strategy s among the strategies of one path
// of k vertices listed from the emitter (index 0) to the camera (k - 1):
// pFromLight[i] is the area density of vertex i generated from i - 1 (i = 0:
// the emitter point's density), pFromEye[i] of vertex i generated from i + 1,
// delta[i] whether vertex i scattered specularly (no connection through it).
// Strategy s takes vertices 0 .. s - 1 from the light; t = k - s >= 1 (the
// pinhole is never hit). Paths of two vertices have only s = 0: weight 1.
float misWeight(int s, int k, const float* pFromLight, const float* pFromEye, const bool* delta);

// Luminance 0.299 r + 0.587 g + 0.114 b.
inline float misLuminance(const HPoint& c) { return 0.299f * c.x + 0.587f * c.y + 0.114f * c.z; }
