// SubPath: one eye or light sub-path of at most ten vertices, and the walks
// and connections built on it. Shared by the bidirectional camera and the
// Metropolis cameras; it knows cameras only through GCamera (the view, the
// ray counter and the scene).
//
// Vertex 0 is the camera (eye sub-path) or the point on the emitter (light
// sub-path). Entry i of eventProbability and throughput is the product over
// the events chosen at vertices 1 .. i (entry 0: 1 and the start colour).
// A light sub-path of length -1 has no vertex at all (a scene without
// emitters): it takes part in no connection.
#pragma once

#include "foundation/HPoint.h"
#include "foundation/Parallel.h"
#include "geometry/HitRecord.h"

class GCamera;
class HPointImage;
class GSceneObject;
struct GMatrix;
struct GRay;

struct alignas(cacheLineBytes) SubPath {
    static const int maxVertices = 10;
    static const int maxIndex = maxVertices - 1;

    int length = 0;  // index of the last valid vertex
    HitRecord vertices[maxVertices];
    float eventProbability[maxVertices];
    HPoint throughput[maxVertices];
    HPoint emission[maxVertices];
    bool isSpecular[maxVertices];
    bool isCausticPath = false;
    int eventType[maxVertices];  // 'E' camera, 'L' emitter, 'D', 'R', 'T'
    int pixelColumn = 0, pixelRow = 0;
    int eyeLength = -1;

    SubPath();
    // Copies length, isCausticPath, the pixel, eyeLength and entries
    // 0 .. length of every array.
    void copyFrom(const SubPath& other);
};

// Vertex index as an end of a path: a fresh hit record at point with normal
// (also its geometric normal) on object, probability 1, not specular, the
// start colour as throughput, no emission and the code type ('E' or 'L').
// The path's length is left to the caller.
void setEndVertex(SubPath& path, int index, const HPoint& point, const HPoint& normal,
                  GSceneObject* object, const HPoint& startColor, int type);

// Vertex 0 at the eye (from the primary ray), then the eye walk.
void startEyeSubPath(GCamera& camera, SubPath& path, GRay& ray, int maxIndex);
// Vertex 0 at a point the scene's emitter sampler chooses, then the light
// walk from there along the emitted ray. Emitters are two-sided: a walk that
// goes on (maxIndex >= 1) leaves either face (emitFromEitherFace), and its
// vertices carry the doubled power of the face it took, while vertex 0 keeps
// the emitted power, since its connections count both faces by |cos|.
// Without emitters the path gets length -1 and false is answered.
bool startLightSubPath(GCamera& camera, SubPath& path, GRay& ray, int maxIndex);
// Extends the path from vertex 1 while the index stays at or below maxIndex
// (never beyond the record's last vertex). One event per vertex, chosen in
// proportion to the luminances of the specular, diffuse and transmitted
// colours; a light walk never scatters diffusely at vertex 1 and ends at
// its first diffuse vertex.
void traceSubPath(GCamera& camera, SubPath& path, GRay& ray, int maxIndex, bool isLightWalk);

// Surfaces are single-sided for light: a vertex reached from arrivedFrom
// scatters only to the side that point lies on. The cosine between unit
// direction toward and the vertex's normal turned to that side; not
// positive when toward leaves through the other side.
float facingCosine(const HitRecord& vertex, const HPoint& arrivedFrom, const HPoint& toward);

// 1 / (t (t W / H)) with t = tan(fovy / 2): the weight of a light-tracing
// splat before lightTracingCorrection.
float lightTracingScale(float fovy, int width, int height);
// What a light-tracing splat takes besides lightTracingScale: the emitter's
// power (Le A / pi) carries the diffuse 1/pi that connections need, while a
// particle leaving along a cosine-sampled direction carries pi Le A (a
// factor pi), and a pixel's importance is 1 / (W H (2t/H)^2), a quarter of
// lightTracingScale.
const float lightTracingCorrection = 0.785398163f;  // pi / 4

// The light of the connections a render made, as luminance sums: with the
// 1/d^2 cap as added, and as it would have been without the cap.
struct alignas(cacheLineBytes) ConnectionTally {
    double kept = 0.0;
    double uncapped = 0.0;
};

// Adds the sample's estimate to pixel (column, row) of image: the emission
// seen along the eye path's specular chain, and every admissible connection
// of eye vertex s >= minEyeVertex with light vertex t >= minLightVertex.
// Receiving surfaces are single-sided: a connection counts only when it
// leaves each vertex on the side its own sub-path reached it from
// (facingCosine); the emitter's own vertex (t = 0) is two-sided. The 1/d^2
// factor is limited to geometryCap. Connections of the camera itself (s = 0)
// are splatted to the pixel that worldToRaster gives for the light vertex,
// weighted lightTracingScale times lightTracingCorrection. When tally is
// given, the connections' light is added to it.
void connectSubPaths(GCamera& camera, HPointImage& image, int column, int row, const SubPath& eye,
                     const SubPath& light, const GMatrix& worldToRaster, int width, int height,
                     float lightTracingScale, int minEyeVertex, int minLightVertex,
                     float geometryCap = 20.0f, ConnectionTally* tally = nullptr);
