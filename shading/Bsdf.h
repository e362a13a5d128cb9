// Bsdf: a GMaterial at one hit as a scattering function that can be sampled
// and evaluated with its density, for the estimators that weigh strategies
// by their densities (multiple importance sampling). A plain value, set up
// per vertex on the stack; it allocates nothing.
//
// Directions are unit vectors pointing away from the surface: wo towards
// where the path came from, wi the other way. Reflecting lobes scatter only
// to wo's side of the shading normal (surfaces are single-sided for light,
// as facingCosine says); transmission crosses to the other side. A ray
// arriving against the normal is inside: the index runs from the material's
// index to 1.
//
// Lobes, each chosen with probability proportional to its colour's
// luminance:
//  - diffuse: Lambertian, f = diffuse / pi;
//  - glossy: normalised Phong about the mirror direction of wo,
//    f = specular (e + 2) / (2 pi) cos^e(alpha), when reflected is black;
//  - mirror: perfect reflection of the reflected colour, when reflected is
//    not black (the specular colour is then the ray tracer's highlight and
//    takes no part);
//  - dielectric: transmitted times Fresnel's reflection and refraction with
//    the material's index (total internal reflection reflects it all).
// Mirror and dielectric are specular: evaluate and density leave them out,
// only sample reaches them.
#pragma once

#include "foundation/HPoint.h"

class GMaterial;
struct HitRecord;

struct BsdfSample {
    HPoint direction;   // wi, unit
    HPoint value;       // f(wo, wi); for a specular lobe weight x pdf / |cos|
    HPoint weight;      // f |cos(wi)| / pdf: what the path's throughput takes
    float pdf = 0.0f;   // per solid angle over the non-specular lobes; for a
                        // specular lobe the discrete chance of this choice
    bool isSpecular = false;
};

class Bsdf {
public:
    HPoint normal;       // shading normal of the hit, unit
    HPoint diffuseColor, glossyColor, mirrorColor, transmittedColor;
    float exponent = 0.0f;        // Phong exponent of the glossy lobe
    float index = 1.0f;           // index of refraction
    float diffuseChance = 0.0f, glossyChance = 0.0f, mirrorChance = 0.0f, transmittedChance = 0.0f;

    // Reads the material's attributes at hit (textures looked up there).
    void setUp(const GMaterial& material, const HitRecord& hit);

    // f(wo, wi) of the non-specular lobes, without the cosine.
    HPoint evaluate(const HPoint& wo, const HPoint& wi) const;
    // The solid-angle density with which sample(wo, ...) gives wi through a
    // non-specular lobe. density(wi, wo) is the reverse density.
    float density(const HPoint& wo, const HPoint& wi) const;
    // Chooses a lobe with uLobe and a direction with u1, u2 (all in [0, 1)).
    // False when nothing scatters (black colours, a direction below the
    // surface, wo in the surface's plane).
    bool sample(const HPoint& wo, float uLobe, float u1, float u2, BsdfSample& out) const;

    // Diffuse or glossy: connections and light samples can reach the vertex.
    bool hasNonSpecular() const { return diffuseChance > 0.0f || glossyChance > 0.0f; }
    bool scatters() const { return hasNonSpecular() || mirrorChance > 0.0f || transmittedChance > 0.0f; }
};

// Fresnel reflectance of an unpolarised dielectric interface for the cosine
// cosIncident (> 0) on the side of index etaIncident; 1 on total internal
// reflection.
float fresnelDielectric(float cosIncident, float etaIncident, float etaTransmitted);

// Luminance 0.299 r + 0.587 g + 0.114 b.
inline float luminanceOf(const HPoint& c) { return 0.299f * c.x + 0.587f * c.y + 0.114f * c.z; }
