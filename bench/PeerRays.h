// The rays of the Embree peer benchmark, rebuilt for velk's scene queries: a
// pinhole camera with a 60 degree vertical field of view on the +z axis of the
// mesh's bounding box, far enough to see the whole box; one ray through each
// pixel centre of a 512 x 512 image; from every hit a shadow ray to the light
// at centre + (-1, 2, 1.5) * r (r = half the box diagonal) and one
// cosine-distributed bounce ray.
#pragma once

#include <benchmark/benchmark.h>
#include <xmmintrin.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/HPoint.h"
#include "geometry/GRay.h"
#include "geometry/GScene.h"
#include "geometry/HitRecord.h"

inline HPoint normalized(HPoint v) {
    v.normalize();
    return v;
}

inline GRay makeRay(const HPoint& origin, const HPoint& direction) {
    GRay ray;
    ray.origin = origin;
    ray.direction = direction;
    ray.direction.w = 1.0f;
    ray.updateInverse();
    return ray;
}

// A fixed hash instead of the random stream, so every run traces the same rays.
inline uint32_t hash32(uint32_t x) {
    x ^= x >> 16;
    x *= 0x7feb352du;
    x ^= x >> 15;
    x *= 0x846ca68bu;
    x ^= x >> 16;
    return x;
}

inline float hashUniform(uint32_t h) { return (h >> 8) * (1.0f / 16777216.0f); }

struct PeerRays {
    std::vector<GRay> cameraRays, shadowRays, bounceRays;
    std::vector<float> shadowLimits;
    size_t cameraHits = 0;

    // Builds the three ray sets for a mesh bounded by lo .. hi in scene.
    void makePeerRays(GScene& scene, const HPoint& lo, const HPoint& hi) {
        const int width = 512, height = 512;
        float tanHalf = std::tan(60.0f * 0.5f * 3.14159265f / 180.0f);
        HPoint center = lo.sum(hi).scaled(0.5f);
        HPoint w(0, 0, 1), up(0, 1, 0);
        HPoint u = normalized(up.cross(w));
        HPoint v = w.cross(u);
        float aspect = (float)width / (float)height, distance = 0.0f;
        for (int k = 0; k < 8; k++) {
            HPoint corner((k & 1) ? hi.x : lo.x, (k & 2) ? hi.y : lo.y, (k & 4) ? hi.z : lo.z);
            HPoint q = corner.difference(center);
            float z = q.dot(w), x = std::fabs(q.dot(u)), y = std::fabs(q.dot(v));
            distance = std::max(distance, z + y / tanHalf);
            distance = std::max(distance, z + x / (tanHalf * aspect));
        }
        HPoint eye = center.sum(w.scaled(distance));
        float radius = 0.5f * hi.difference(lo).length();
        HPoint light = center.sum(HPoint(-1.0f, 2.0f, 1.5f).scaled(radius));

        cameraRays.reserve((size_t)width * height);
        for (int py = 0; py < height; py++) {
            for (int px = 0; px < width; px++) {
                float sx = (2.0f * (px + 0.5f) / width - 1.0f) * tanHalf * aspect;
                float sy = (1.0f - 2.0f * (py + 0.5f) / height) * tanHalf;
                HPoint direction = normalized(u.scaled(sx).sum(v.scaled(sy)).difference(w));
                cameraRays.push_back(makeRay(eye, direction));
            }
        }

        float offset = 1e-4f * radius;
        for (size_t i = 0; i < cameraRays.size(); i++) {
            GRay ray = cameraRays[i];
            ray.id = nextRayId();
            HitRecord hit;
            hit.t = INFINITY;
            if (!scene.closestHit(ray, hit)) continue;
            cameraHits++;
            HPoint point = ray.origin.sum(ray.direction.scaled(hit.t));
            HPoint n = normalized(hit.geometricNormal);
            if (n.dot(ray.direction) > 0.0f) n.scale(-1.0f);
            HPoint origin = point.sum(n.scaled(offset));
            HPoint toLight = light.difference(origin);
            float lightDistance = toLight.length();
            shadowRays.push_back(makeRay(origin, toLight.scaled(1.0f / lightDistance)));
            shadowLimits.push_back(lightDistance * (1.0f - 1e-5f));
            float r1 = hashUniform(hash32((uint32_t)(2 * i + 1))),
                  r2 = hashUniform(hash32((uint32_t)(2 * i + 2)));
            float phi = 6.2831853f * r1, sr = std::sqrt(r2);
            HPoint axis = std::fabs(n.x) > 0.9f ? HPoint(0, 1, 0) : HPoint(1, 0, 0);
            HPoint t1 = normalized(axis.cross(n)), t2 = n.cross(t1);
            HPoint direction = normalized(t1.scaled(sr * std::cos(phi))
                                              .sum(t2.scaled(sr * std::sin(phi)))
                                              .sum(n.scaled(std::sqrt(std::max(0.0f, 1.0f - r2)))));
            bounceRays.push_back(makeRay(origin, direction));
        }
    }

    static size_t traceClosest(GScene& scene, std::vector<GRay>& rays) {
        size_t hits = 0;
        for (GRay& ray : rays) {
            ray.id = nextRayId();
            HitRecord hit;
            hit.t = INFINITY;
            hits += scene.closestHit(ray, hit);
        }
        return hits;
    }

    size_t traceShadows(GScene& scene) {
        size_t blocked = 0;
        for (size_t i = 0; i < shadowRays.size(); i++) {
            GRay& ray = shadowRays[i];
            ray.id = nextRayId();
            HPoint color(1, 1, 1);
            blocked += scene.anyHit(ray, color, shadowLimits[i]);
        }
        return blocked;
    }
};

// Labels a run with its mesh and hit count and reports Mrays/s; range 0 is
// the bunny, 1 the generated sphere.
inline void describeRun(benchmark::State& state, size_t triangles, size_t rays, size_t hits) {
    state.SetLabel(std::string(state.range(0) == 0 ? "bunny " : "sphere ") +
                   std::to_string(triangles) + " tris, " + std::to_string(hits) + "/" +
                   std::to_string(rays) + " hit");
    state.counters["Mrays/s"] =
        benchmark::Counter((double)rays * 1e-6 * state.iterations(), benchmark::Counter::kIsRate);
}

// As the peer does: denormals never slow the arithmetic down.
inline void setFlushToZero() { _MM_SET_FLUSH_ZERO_MODE(_MM_FLUSH_ZERO_ON); }
