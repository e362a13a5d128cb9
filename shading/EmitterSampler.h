// EmitterSampler: the scene's emitting surfaces (triangles of either kind and
// spheres) as one light source that can be sampled and whose densities can be
// asked for the points it could have given, for the estimators that weigh
// strategies by their densities. An emitter is chosen in proportion to its
// power (luminance of the emission x area, twice for two-sided triangles),
// then a point on it.
//
// Emission: a triangle emits its emissive colour from both faces; a sphere
// emits from its outside only. Emission is looked up at the point's texture
// coordinates, the power at (0, 0) as the emitters' own emittedPower does.
//
// Two ways to sample: sampleDirect towards a receiving point (a triangle by
// area, a sphere uniformly over the cone of directions it subtends, so it is
// sampled by solid angle), with directDensity its density per solid angle at
// the receiver; and sampleArea (a uniform point by area on every kind), with
// areaDensity, and the emitted direction by sampleEmission. Every density
// includes the chance of the emitter's choice. Set up once per render (build
// allocates); the queries allocate nothing.
#pragma once

#include <unordered_map>
#include <vector>

#include "foundation/HPoint.h"
#include "geometry/HitRecord.h"

class GScene;
class GSceneObject;
class GMaterial;
class GVertex;

struct EmitterSample {
    GSceneObject* emitter = nullptr;
    HitRecord point;   // on the emitter: point, normal and geometricNormal (the
                       // face normal; outward on spheres), texCoord, object
    HPoint emission;   // radiance the point emits (towards the receiver for sampleDirect)
    HPoint toLight;    // sampleDirect: unit direction from the receiver to the point
    float distance = 0.0f;  // sampleDirect: from the receiver to the point
    float pdf = 0.0f;  // sampleDirect: per solid angle at the receiver; sampleArea: per unit area
};

class EmitterSampler {
public:
    // Reads scene.emitters; emitters of other kinds and those without power get chance 0.
    void build(GScene& scene);
    bool empty() const { return totalPower <= 0.0; }
    int count() const { return (int)records.size(); }

    // Chance that an emitter is chosen (0 for objects that are not emitters).
    float choiceProbability(const GSceneObject* emitter) const;

    // A point on an emitter for the receiver at `receiver`. False without
    // emitters, when the receiver lies inside the chosen sphere or on the
    // chosen triangle's plane, or for a zero density.
    bool sampleDirect(const HPoint& receiver, float uChoice, float u1, float u2, EmitterSample& out) const;
    // The density per solid angle at receiver with which sampleDirect gives
    // the emitter point onEmitter (as a ray from receiver meets it).
    float directDensity(const HPoint& receiver, const HitRecord& onEmitter) const;

    // A uniform point by area on an emitter chosen by power; emission is
    // the emissive colour there.
    bool sampleArea(float uChoice, float u1, float u2, EmitterSample& out) const;
    // Its density per unit area at onEmitter.
    float areaDensity(const HitRecord& onEmitter) const;
    // A direction leaving the point of a sampleArea sample: cosine-weighted
    // about the outward normal on spheres, about either face (uFace < 1/2:
    // the normal's side) on triangles. pdf is per solid angle.
    bool sampleEmission(const EmitterSample& at, float uFace, float u1, float u2, HPoint& direction,
                        float& pdf) const;
    float emissionDensity(const HitRecord& onEmitter, const HPoint& direction) const;

    // Radiance leaving the emitter point towards the unit direction toward
    // (black from a sphere's inner face and from objects that do not emit).
    static HPoint emittedRadiance(const HitRecord& onEmitter, const HPoint& toward);

private:
    struct Record {
        GSceneObject* object;
        bool isSphere;
        HPoint center;        // sphere
        float radius;         // sphere
        GVertex* corners[3];  // triangle
        HPoint faceNormal;    // triangle, unit
        float area;
        float probability;
        GMaterial* material;
    };
    std::vector<Record> records;
    std::vector<double> cumulative;  // cumulative[i]: chances of records 0 .. i
    std::unordered_map<const GSceneObject*, int> indexOfObject;
    double totalPower = 0.0;
    GMaterial* defaultMaterial = nullptr;

    int choose(float u) const;
    const Record* recordOf(const GSceneObject* object) const;
    void pointOnRecord(const Record& record, float u1, float u2, EmitterSample& out) const;
};
