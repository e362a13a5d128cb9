// Ray-casting throughput of an LBVHbox of GTriangles, asked through a GScene
// as the renderers ask it. The rays are those of the single-threaded peer
// benchmark: a 512 x 512 pinhole camera (60 degree vertical field of view)
// on the +z axis from the mesh's box centre, at the nearest distance that
// shows all eight box corners; shadow rays from the camera hits to a point
// light; cosine-distributed bounce rays from the same hits (a fixed hash per
// pixel). Meshes: the Stanford bunny (ASCII PLY from the corpus) and a UV
// sphere of about a million triangles.
//
// Counters: "Mrays/s" for the ray sets, "ms" for the construction (adding
// every triangle to a fresh box and building it).
//
// After the benchmarks, when Embree was found, the same rays go through both
// velk and Embree in interleaved rounds and a table prints the best of three
// of each side and their ratio (--no_side_by_side leaves it out).
#include <benchmark/benchmark.h>
#include <xmmintrin.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bench/BenchMeshes.h"
#include "bench/EmbreePeer.h"
#include "bench/PeerRays.h"
#include "foundation/HPoint.h"
#include "geometry/GScene.h"
#include "geometry/GTriangle.h"
#include "geometry/GVertex.h"
#include "geometry/LBVHbox.h"

namespace {

Mesh bunnyMesh, sphereMesh; // kept for the peer's build

// One mesh in a scene, its triangles and the three ray sets.
struct Workload : PeerRays {
    std::vector<GVertex> vertices;
    std::vector<GTriangle> triangles;
    GScene scene; // owns the box
    LBVHbox* box = nullptr;

    explicit Workload(const Mesh& mesh) {
        vertices.resize(mesh.positions.size());
        for (size_t i = 0; i < vertices.size(); i++) {
            vertices[i].position = mesh.positions[i];
            vertices[i].normal = HPoint(0, 0, 1);
        }
        size_t count = mesh.indices.size() / 3;
        triangles.resize(count);
        for (size_t t = 0; t < count; t++) {
            triangles[t].setVertices(&vertices[mesh.indices[3 * t]],
                                     &vertices[mesh.indices[3 * t + 1]],
                                     &vertices[mesh.indices[3 * t + 2]]);
        }
        box = buildBox().release();
        scene.objects.add(box);
        makeRays();
    }

    std::unique_ptr<LBVHbox> buildBox() {
        std::unique_ptr<LBVHbox> built(new LBVHbox());
        built->objects.ensureCapacity((int)triangles.size());
        for (GTriangle& triangle : triangles)
            built->addObject(&triangle);
        built->build();
        return built;
    }

    void makeRays() {
        // Bounds of the mesh itself (the box is widened by epsilon).
        HPoint lo(3.4e38f, 3.4e38f, 3.4e38f), hi(-3.4e38f, -3.4e38f, -3.4e38f);
        for (const GVertex& v : vertices) {
            lo.componentMin(v.position);
            hi.componentMax(v.position);
        }
        makePeerRays(scene, lo, hi);
    }

    size_t traceClosest(std::vector<GRay>& rays) { return PeerRays::traceClosest(scene, rays); }
    size_t traceShadows() { return PeerRays::traceShadows(scene); }
};

Workload& bunny() {
    static std::unique_ptr<Workload> workload;
    if (!workload) {
        Mesh& mesh = bunnyMesh;
        std::string path = corpusDir() + "/ply/bun_zipper.ply";
        if (!loadAsciiPly(path, mesh) || mesh.indices.empty()) {
            std::fprintf(stderr, "cannot read %s\n", path.c_str());
            std::exit(1);
        }
        workload.reset(new Workload(mesh));
    }
    return *workload;
}

Workload& sphere() {
    static std::unique_ptr<Workload> workload;
    if (!workload) {
        Mesh& mesh = sphereMesh;
        makeSphere(1000000, mesh);
        workload.reset(new Workload(mesh));
    }
    return *workload;
}

Workload& pick(const benchmark::State& state) {
    return state.range(0) == 0 ? bunny() : sphere();
}

void describe(benchmark::State& state, Workload& w, size_t rays, size_t hits) {
    describeRun(state, w.triangles.size(), rays, hits);
}

void BM_Closest(benchmark::State& state) {
    setFlushToZero();
    Workload& w = pick(state);
    size_t hits = 0;
    for (auto _ : state)
        hits = w.traceClosest(w.cameraRays);
    describe(state, w, w.cameraRays.size(), hits);
}

void BM_Shadow(benchmark::State& state) {
    setFlushToZero();
    Workload& w = pick(state);
    size_t blocked = 0;
    for (auto _ : state)
        blocked = w.traceShadows();
    describe(state, w, w.shadowRays.size(), blocked);
}

void BM_Bounce(benchmark::State& state) {
    setFlushToZero();
    Workload& w = pick(state);
    size_t hits = 0;
    for (auto _ : state)
        hits = w.traceClosest(w.bounceRays);
    describe(state, w, w.bounceRays.size(), hits);
}

void BM_Build(benchmark::State& state) {
    Workload& w = pick(state);
    for (auto _ : state) {
        std::unique_ptr<LBVHbox> built = w.buildBox();
        benchmark::DoNotOptimize(built->nodes);
    }
    state.SetLabel(std::string(state.range(0) == 0 ? "bunny " : "sphere ") +
                   std::to_string(w.triangles.size()) + " tris");
}

} // namespace

// Argument 0: the bunny; 1: the sphere of about a million triangles. Wall-clock
// time, as the peer measures.
BENCHMARK(BM_Build)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_Closest)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);
BENCHMARK(BM_Shadow)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);
BENCHMARK(BM_Bounce)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);

int main(int argc, char** argv) {
    return runBenchmarks(argc, argv, [] {
#ifdef VELK_HAVE_EMBREE
        for (int which = 0; which < 2; which++) {
            Workload& w = which == 0 ? bunny() : sphere();
            sideBySide(which == 0 ? "bunny" : "sphere", w.triangles.size(), w, w.scene,
                       which == 0 ? bunnyMesh : sphereMesh, [&] {
                           std::unique_ptr<LBVHbox> built = w.buildBox();
                           benchmark::DoNotOptimize(built->nodes);
                       });
        }
#endif
    });
}
