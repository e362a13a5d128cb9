// The ray-casting peer traced in the same process as velk: one Embree device
// with one thread, the high-quality build, and the very rays of PeerRays, so
// that a run prints both rates side by side on a machine whose absolute speed
// drifts. The peer's rays start at t = 0: velk's mesh triangles skip hits
// nearer than epsilon, so on the bunny (whose shadow rays start 1e-5 off the
// surface) the LBVH's blocked count is a few per cent below the peer's; the
// grid's triangles, which take any t > 0, agree. Compiled only when the benchmarks find Embree (VELK_HAVE_EMBREE);
// Embree is a measuring tool here, never a dependency of velk itself.
#pragma once

#include <benchmark/benchmark.h>
#include <xmmintrin.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "bench/BenchMeshes.h"
#include "bench/PeerRays.h"
#include "foundation/HPoint.h"
#include "geometry/GRay.h"

// The main of a ray-casting benchmark: the registered benchmarks, then the
// side-by-side rounds unless --no_side_by_side is given (which Google
// Benchmark would refuse as unknown).
inline int runBenchmarks(int argc, char** argv, const std::function<void()>& sideBySideRounds) {
    bool wanted = true;
    int kept = 1;
    for (int i = 1; i < argc; i++) {
        if (std::strcmp(argv[i], "--no_side_by_side") == 0)
            wanted = false;
        else
            argv[kept++] = argv[i];
    }
    argc = kept;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (!wanted)
        return 0;
#ifdef VELK_HAVE_EMBREE
    _MM_SET_FLUSH_ZERO_MODE(_MM_FLUSH_ZERO_ON); // as the peer runs
    sideBySideRounds();
#else
    (void)sideBySideRounds;
    std::printf("\nbuilt without Embree: no side-by-side figures\n");
#endif
    return 0;
}

// Best of `rounds` wall-clock times of f, in seconds.
inline double bestSeconds(int rounds, const std::function<void()>& f) {
    double best = 1e30;
    for (int i = 0; i < rounds; i++) {
        auto start = std::chrono::steady_clock::now();
        f();
        std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count());
    }
    return best;
}

// One figure for both sides: what is measured, velk's and the peer's value,
// and whether it is a rate (higher is better) or a time.
struct SideBySideRow {
    std::string label;
    double velk, peer;
    bool rate;
};

// Prints the rows as a table with the ratio velk / peer for rates and
// peer / velk for times, so that 1 means "as fast" either way.
inline void printSideBySide(const char* title, const std::vector<SideBySideRow>& rows) {
    std::printf("\n%s\n%-34s %12s %12s %8s\n", title, "", "velk", "embree", "ratio");
    for (const SideBySideRow& row : rows) {
        double ratio = row.rate ? row.velk / row.peer : row.peer / row.velk;
        std::printf("%-34s %12.3f %12.3f %8.2f\n", row.label.c_str(), row.velk, row.peer, ratio);
    }
    std::fflush(stdout);
}

#ifdef VELK_HAVE_EMBREE
#include <embree3/rtcore.h>

#include "geometry/HitRecord.h"

class EmbreePeer {
public:
    EmbreePeer() : device(rtcNewDevice("threads=1")), scene(nullptr) {}
    ~EmbreePeer() {
        if (scene)
            rtcReleaseScene(scene);
        if (device)
            rtcReleaseDevice(device);
    }
    EmbreePeer(const EmbreePeer&) = delete;
    EmbreePeer& operator=(const EmbreePeer&) = delete;

    bool usable() const { return device != nullptr; }

    // Builds the peer's tree over the triangles; answers the build's seconds
    // (the commit only, as the peer's own benchmark times it).
    double build(const std::vector<HPoint>& positions, const std::vector<uint32_t>& indices) {
        if (scene)
            rtcReleaseScene(scene);
        scene = rtcNewScene(device);
        rtcSetSceneBuildQuality(scene, RTC_BUILD_QUALITY_HIGH);
        RTCGeometry geometry = rtcNewGeometry(device, RTC_GEOMETRY_TYPE_TRIANGLE);
        rtcSetGeometryBuildQuality(geometry, RTC_BUILD_QUALITY_HIGH);
        float* vertices = static_cast<float*>(
            rtcSetNewGeometryBuffer(geometry, RTC_BUFFER_TYPE_VERTEX, 0, RTC_FORMAT_FLOAT3,
                                    3 * sizeof(float), positions.size()));
        for (size_t i = 0; i < positions.size(); i++) {
            vertices[3 * i] = positions[i].x;
            vertices[3 * i + 1] = positions[i].y;
            vertices[3 * i + 2] = positions[i].z;
        }
        uint32_t* triangles = static_cast<uint32_t*>(
            rtcSetNewGeometryBuffer(geometry, RTC_BUFFER_TYPE_INDEX, 0, RTC_FORMAT_UINT3,
                                    3 * sizeof(uint32_t), indices.size() / 3));
        std::copy(indices.begin(), indices.end(), triangles);
        rtcCommitGeometry(geometry);
        rtcAttachGeometry(scene, geometry);
        rtcReleaseGeometry(geometry);
        auto start = std::chrono::steady_clock::now();
        rtcCommitScene(scene);
        std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        return took.count();
    }

    // Closest hits of the rays; answers the hit count.
    size_t traceClosest(const std::vector<GRay>& rays) const {
        RTCIntersectContext context;
        rtcInitIntersectContext(&context);
        size_t hits = 0;
        for (const GRay& ray : rays) {
            RTCRayHit query;
            fill(ray, 1e30f, query.ray);
            query.hit.geomID = RTC_INVALID_GEOMETRY_ID;
            query.hit.instID[0] = RTC_INVALID_GEOMETRY_ID;
            rtcIntersect1(scene, &context, &query);
            hits += query.hit.geomID != RTC_INVALID_GEOMETRY_ID;
        }
        return hits;
    }

    // Blocked rays among the shadow rays, each up to its limit.
    size_t traceShadows(const std::vector<GRay>& rays, const std::vector<float>& limits) const {
        RTCIntersectContext context;
        rtcInitIntersectContext(&context);
        size_t blocked = 0;
        for (size_t i = 0; i < rays.size(); i++) {
            RTCRay query;
            fill(rays[i], limits[i], query);
            rtcOccluded1(scene, &context, &query);
            blocked += query.tfar < 0.0f; // Embree marks a blocked ray with -inf
        }
        return blocked;
    }

private:
    static void fill(const GRay& ray, float far, RTCRay& query) {
        query.org_x = ray.origin.x;
        query.org_y = ray.origin.y;
        query.org_z = ray.origin.z;
        query.tnear = 0.0f; // as the peer's own benchmark casts them
        query.dir_x = ray.direction.x;
        query.dir_y = ray.direction.y;
        query.dir_z = ray.direction.z;
        query.time = 0.0f;
        query.tfar = far;
        query.mask = 0xffffffffu;
        query.id = 0;
        query.flags = 0;
    }

    RTCDevice device;
    RTCScene scene;
};

// Interleaved rounds of velk and the peer on one mesh: velk answers through
// scene, the peer traces the same rays over mesh; velkBuild builds velk's
// structure once. Prints best of three of each side.
inline void sideBySide(const char* name, size_t triangles, PeerRays& rays, GScene& scene,
                       const Mesh& mesh, const std::function<void()>& velkBuild) {
    EmbreePeer peer;
    if (!peer.usable()) {
        std::printf("\nEmbree device not available: no side-by-side figures\n");
        return;
    }
    const int rounds = 3;
    double velkBuildTime = 1e30, peerBuildTime = 1e30;
    for (int i = 0; i < rounds; i++) {
        velkBuildTime = std::min(velkBuildTime, bestSeconds(1, velkBuild));
        peerBuildTime = std::min(peerBuildTime, peer.build(mesh.positions, mesh.indices));
    }
    std::vector<GRay>* sets[3] = {&rays.cameraRays, &rays.shadowRays, &rays.bounceRays};
    size_t velkHits[3] = {0, 0, 0}, peerHits[3] = {0, 0, 0};
    double velkTime[3] = {1e30, 1e30, 1e30}, peerTime[3] = {1e30, 1e30, 1e30};
    for (int i = 0; i < rounds; i++) {
        for (int k = 0; k < 3; k++) {
            std::vector<GRay>& set = *sets[k];
            velkTime[k] = std::min(velkTime[k], bestSeconds(1, [&] {
                                       velkHits[k] = k == 1 ? rays.traceShadows(scene)
                                                            : PeerRays::traceClosest(scene, set);
                                   }));
            peerTime[k] = std::min(peerTime[k], bestSeconds(1, [&] {
                                       peerHits[k] = k == 1
                                                         ? peer.traceShadows(set, rays.shadowLimits)
                                                         : peer.traceClosest(set);
                                   }));
        }
    }
    const char* kinds[3] = {"closest (camera)", "shadow", "bounce"};
    std::vector<SideBySideRow> rows;
    std::string hits;
    for (int k = 0; k < 3; k++) {
        double count = (double)sets[k]->size() * 1e-6;
        rows.push_back(
            {std::string(kinds[k]) + " Mrays/s", count / velkTime[k], count / peerTime[k], true});
        hits += (k ? ", " : "") + std::to_string(velkHits[k]) + "/" + std::to_string(peerHits[k]);
    }
    rows.push_back({"build ms", velkBuildTime * 1e3, peerBuildTime * 1e3, false});
    std::string title = std::string(name) + ", " + std::to_string(triangles) +
                        " triangles, best of 3 interleaved (hits velk/embree: " + hits + ")";
    printSideBySide(title.c_str(), rows);
}
#endif
