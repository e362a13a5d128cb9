#include "foundation/Sampling.h"

#include <cmath>

#include "foundation/Random.h"

void localFrame(const HPoint& n, HPoint& p, HPoint& q) {
    p = HPoint::perpendicular(n);
    p.normalize();
    q = p.cross(n);
}

HPoint sampleCosineHemisphere(const HPoint& n) {
    HPoint p, q;
    localFrame(n, p, q);
    float u, v;
    do {
        u = 2.0f * uniform01() - 1.0f;
        v = 2.0f * uniform01() - 1.0f;
    } while (u * u + v * v >= 1.0f);
    float height = std::sqrt(1.0f - u * u - v * v);
    return HPoint(n.x * height + p.x * u + q.x * v, n.y * height + p.y * u + q.y * v,
                  n.z * height + p.z * u + q.z * v, 1.0f);
}

// Angle and radius of a logarithmic perturbation: r runs from b (draw 0)
// down to a (draw 1).
static void perturbationOffset(float a, float b, float& offsetX, float& offsetY) {
    double phi = uniform01() * twoPi;
    float logRange = std::log(b / a);
    float r = b * std::exp(-logRange * uniform01());
    offsetX = r * (float)std::cos(phi);
    offsetY = r * (float)std::sin(phi);
}

HPoint perturbDirection(float a, float b, const HPoint& n) {
    HPoint p, q;
    localFrame(n, p, q);
    float alongP, alongQ;
    perturbationOffset(a, b, alongP, alongQ);
    HPoint result(n.x + p.x * alongP + q.x * alongQ, n.y + p.y * alongP + q.y * alongQ,
                  n.z + p.z * alongP + q.z * alongQ, n.w);
    result.normalize();
    return result;
}

HPoint perturbPoint2D(float a, float b, const HPoint& p) {
    float offsetX, offsetY;
    perturbationOffset(a, b, offsetX, offsetY);
    return HPoint(p.x + offsetX, p.y + offsetY, 0.0f, 1.0f);
}
