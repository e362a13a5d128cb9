// Sampling functions shared by several renderers. Every draw comes from the
// one random stream, in the order documented per function, so a fixed seed
// reproduces the same directions.
#pragma once

#include "foundation/HPoint.h"

// Orthonormal tangents about the unit normal n: p = perpendicular(n)
// normalised, q = p x n.
void localFrame(const HPoint& n, HPoint& p, HPoint& q);

// A cosine-distributed direction about the unit normal n, w = 1. Draws pairs
// (u first, then v) until the pair falls inside the unit disc.
HPoint sampleCosineHemisphere(const HPoint& n);

// A unit direction near the unit vector n, offset in the tangent plane by a
// radius between a and b (0 < a, 0 < b), uniform in log radius. Draws the
// angle first, then the radius.
HPoint perturbDirection(float a, float b, const HPoint& n);

// The 2-D point p offset by a radius between a and b, uniform in log radius;
// z = 0, w = 1. Draws the angle first, then the radius.
HPoint perturbPoint2D(float a, float b, const HPoint& p);
