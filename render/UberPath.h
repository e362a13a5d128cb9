// UberPath: one eye path of the uber camera with its light connection, in a
// fixed record of 1000 vertices. Vertex 0 is the eye; a path closed by a
// light connection has the light point as its last vertex, a path that ends
// on an emitter hit by the walk has that hit. The records are large: a
// render allocates the few it needs once.
#pragma once

#include "foundation/HPoint.h"
#include "geometry/HitRecord.h"

struct UberPath {
    static const int capacity = 1000;

    HitRecord vertices[capacity];
    float eventProbability[capacity];  // of the event chosen at vertex i alone
    HPoint eventColour[capacity];      // its colour
    float geometryFactor[capacity];    // 1, or |cos| towards the light at the joined vertex
    bool isSpecular[capacity];
    int eventType[capacity];           // 'D', 'R' or 'T'
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

    UberPath();
    // The scalars and entries 0 .. length of every array.
    void copyFrom(const UberPath& other);
    int pixelColumn() const { return (int)rasterX; }
    int pixelRow() const { return (int)rasterY; }
    // Vertex 1 projects into a W x H image (so its pixel may be written).
    bool inImage(int width, int height) const {
        return rasterX >= 0.0f && rasterX < (float)width && rasterY >= 0.0f && rasterY < (float)height;
    }
};
