// UberPath: one eye path of the uber camera with its light connection, in a
// record of `capacity` vertices (at most 1000). Vertex 0 is the eye; a path
// closed by a light connection has the light point as its last vertex, a path
// that ends on an emitter hit by the walk has that hit. A render allocates the
// few records it needs once, sized for its depth: every thread of a parallel
// render has its own, and 1000-vertex records cost 141 KB each.
#pragma once

#include "foundation/HPoint.h"
#include "foundation/Parallel.h"
#include "geometry/HitRecord.h"

// The record and its arrays start on cache lines of their own and fill
// whole lines: the threads of a parallel render write their records on every
// step, and small records side by side in the heap shared lines.
struct alignas(cacheLineBytes) UberPath {
    static const int maxCapacity = 1000;
    // The vertices a path of `depth` bounces needs: the eye, the bounces and
    // the light point.
    static int capacityForDepth(int depth) {
        return depth < 0 ? 2 : depth + 2 < maxCapacity ? depth + 2 : maxCapacity;
    }

    int capacity;
    // capacity entries each, in one block the record owns.
    HitRecord* vertices;
    float* eventProbability;  // of the event chosen at vertex i alone
    HPoint* eventColour;      // its colour
    float* geometryFactor;    // 1, or |cos| towards the light at the joined vertex
    bool* isSpecular;
    int* eventType;           // 'D', 'R' or 'T'
    int length = 0;                    // index of the last vertex
    float rasterX = 0.0f, rasterY = 0.0f;  // raster position of vertex 1
    HPoint colour;                     // the contribution
    HPoint endEmission;
    bool endsOnEmitter = false;
    float lightChoiceProbability = 1.0f;
    float depthWeight = 1.0f;
    float lightPdf = 1.0f;
    float lightDistance2 = 1.0f;
    float lightCosine = 1.0f;

    explicit UberPath(int vertexCapacity = maxCapacity);
    ~UberPath();
    UberPath(const UberPath&) = delete;
    UberPath& operator=(const UberPath&) = delete;
    // The scalars and entries 0 .. length of every array.
    void copyFrom(const UberPath& other);
    int pixelColumn() const { return (int)rasterX; }
    int pixelRow() const { return (int)rasterY; }
    // Vertex 1 projects into a W x H image (so its pixel may be written).
    bool inImage(int width, int height) const {
        return rasterX >= 0.0f && rasterX < (float)width && rasterY >= 0.0f && rasterY < (float)height;
    }

private:
    void* block;
};
