// MisScatter: what a vertex of the multiple-importance renderers needs of
// the material at a hit: its BSDF evaluated, sampled and its density, for
// any pair of directions. Directions point away from the surface; f is the
// BSDF without the cosine; densities are per solid angle and cover the
// non-specular lobes (a specular sample carries its lobe's choice
// probability as pdf and is flagged).
#pragma once

#include "foundation/HPoint.h"
#include "geometry/HitRecord.h"

class GScene;

struct MisScatterSample {
    HPoint wi;
    HPoint f;        // BSDF value (specular: the lobe's colour over |cos|)
    float pdf = 0.0f;
    bool specular = false;
};

class MisScatter {
public:
    // The material of the hit object (the scene's default without one).
    void set(GScene& scene, const HitRecord& hit);
    bool isBlack() const { return !(chanceSum > 0.0f); }
    HPoint evaluate(const HPoint& wo, const HPoint& wi) const;
    float density(const HPoint& wo, const HPoint& wi) const;
    // False when nothing scatters (a black material, total internal reflection).
    bool sample(const HPoint& wo, float u0, float u1, float u2, MisScatterSample& out) const;
    // Whether the only lobes are specular.
    bool onlySpecular() const { return !(chanceDiffuse > 0.0f); }

private:
    HPoint normal;
    HPoint diffuse, specular, transmitted;
    float index = 1.0f;
    float chanceDiffuse = 0.0f, chanceSpecular = 0.0f, chanceTransmitted = 0.0f, chanceSum = 0.0f;
};
