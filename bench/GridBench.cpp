// Ray-casting throughput of a native "shape" grid (GBoundingBox loading an
// ASCII PLY file), asked through a GScene as the renderers ask it. The rays
// are those of the single-threaded peer benchmark: a 512 x 512 pinhole camera
// (60 degree vertical field of view) on the +z axis from the mesh's box
// centre, at the nearest distance that shows all eight box corners, one ray
// through each pixel centre; shadow rays from the camera hits to a point light
// at centre + (-1, 2, 1.5) r. Meshes: the Stanford bunny of the corpus and a
// UV sphere of about a million triangles, written to a temporary PLY file as
// the peer's --sphere / --write-ply would write it.
//
// Counters: "Mrays/s" for the ray sets; the load benchmark times reading the
// PLY file into a fresh box and building its grid (ms per load).
//
// After the benchmarks, when Embree was found, the same rays go through the
// grid and Embree in interleaved rounds, best of three each side
// (--no_side_by_side leaves it out). The grid's "build" there is reading the
// PLY file and building the grid; the peer's is its tree's commit alone.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>
#include <xmmintrin.h>

#include <algorithm>
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
#include "geometry/GBoundingBox.h"
#include "geometry/GInverseTriangle.h"
#include "geometry/GScene.h"
#include "geometry/GVertex.h"
#include "shading/GMaterial.h"

namespace {

// The peer's generated sphere (no bumps), written the way it writes meshes.
std::string writeSpherePly(size_t target) {
    Mesh mesh;
    makeSphere(target, mesh);
    char pattern[] = "/tmp/velkGridBenchXXXXXX";
    int descriptor = mkstemp(pattern);
    if (descriptor < 0) {
        std::fprintf(stderr, "cannot make a temporary file\n");
        std::exit(1);
    }
    FILE* file = fdopen(descriptor, "w");
    std::fprintf(file,
                 "ply\nformat ascii 1.0\nelement vertex %zu\nproperty float x\nproperty float y\nproperty float z\n"
                 "element face %zu\nproperty list uchar int vertex_indices\nend_header\n",
                 mesh.positions.size(), mesh.indices.size() / 3);
    for (const HPoint& p : mesh.positions)
        std::fprintf(file, "%.9g %.9g %.9g\n", p.x, p.y, p.z);
    for (size_t t = 0; t < mesh.indices.size(); t += 3)
        std::fprintf(file, "3 %u %u %u\n", mesh.indices[t], mesh.indices[t + 1], mesh.indices[t + 2]);
    std::fclose(file);
    return pattern;
}

// The grid prints its statistics while building; benchmarks keep quiet.
struct QuietOutput {
    int saved;
    QuietOutput() {
        std::fflush(stdout);
        saved = dup(1);
        int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        close(null);
    }
    ~QuietOutput() {
        std::fflush(stdout);
        dup2(saved, 1);
        close(saved);
    }
};

// A scene holding one "shape" box loaded from a PLY file.
struct LoadedShape {
    GScene scene;
    GBoundingBox* box = nullptr;

    explicit LoadedShape(const std::string& path) {
        QuietOutput quiet;
        box = new GBoundingBox();
        scene.objects.add(box);
        GMaterial* material = new GMaterial();
        scene.allObjects.add(material);
        box->loadMesh(path.c_str(), &scene, material, GMatrix(), GMatrix());
    }
};


struct Workload : PeerRays {
    std::string path;
    std::unique_ptr<LoadedShape> shape;
    int triangles = 0;

    explicit Workload(const std::string& file) : path(file), shape(new LoadedShape(file)) {
        triangles = shape->box->objects.count;
        makeRays();
    }

    void makeRays() {
        // The bounds of the triangles' corners, as the peer takes them.
        HPoint lo(3.4e38f, 3.4e38f, 3.4e38f), hi(-3.4e38f, -3.4e38f, -3.4e38f);
        GBoundingBox* box = shape->box;
        for (int i = 0; i < box->objects.count; i++) {
            GInverseTriangle* triangle = static_cast<GInverseTriangle*>(box->objects[i]);
            for (const GVertex* corner : triangle->vertices) {
                lo.componentMin(corner->position);
                hi.componentMax(corner->position);
            }
        }
        makePeerRays(shape->scene, lo, hi);
    }

    size_t traceClosest() { return PeerRays::traceClosest(shape->scene, cameraRays); }
    size_t traceShadows() { return PeerRays::traceShadows(shape->scene); }
};

std::string spherePath() {
    static std::string path;
    if (path.empty()) {
        path = writeSpherePly(1000000);
        std::atexit([] { std::remove(path.c_str()); });
    }
    return path;
}

// 0: the bunny; 1: the sphere.
std::string meshPathOf(int which) {
    return which == 0 ? corpusDir() + "/ply/bun_zipper.ply" : spherePath();
}

std::string meshPath(const benchmark::State& state) { return meshPathOf((int)state.range(0)); }

Workload& pickMesh(int which) {
    static std::unique_ptr<Workload> workloads[2];
    std::unique_ptr<Workload>& workload = workloads[which == 0 ? 0 : 1];
    if (!workload) workload.reset(new Workload(meshPathOf(which)));
    return *workload;
}

Workload& pick(const benchmark::State& state) { return pickMesh((int)state.range(0)); }

void describe(benchmark::State& state, Workload& w, size_t rays, size_t hits) {
    describeRun(state, (size_t)w.triangles, rays, hits);
}

void BM_Closest(benchmark::State& state) {
    setFlushToZero();
    Workload& w = pick(state);
    size_t hits = 0;
    for (auto _ : state) hits = w.traceClosest();
    describe(state, w, w.cameraRays.size(), hits);
}

void BM_Shadow(benchmark::State& state) {
    setFlushToZero();
    Workload& w = pick(state);
    size_t blocked = 0;
    for (auto _ : state) blocked = w.traceShadows();
    describe(state, w, w.shadowRays.size(), blocked);
}

void BM_LoadAndBuild(benchmark::State& state) {
    std::string path = meshPath(state);
    int triangles = 0;
    for (auto _ : state) {
        std::unique_ptr<LoadedShape> shape(new LoadedShape(path));
        triangles = shape->box->objects.count;
        state.PauseTiming();
        shape.reset();  // tearing a scene of millions of objects down is not loading
        state.ResumeTiming();
    }
    state.SetLabel(std::string(state.range(0) == 0 ? "bunny " : "sphere ") + std::to_string(triangles) + " tris");
}

}  // namespace

// Argument 0: the bunny; 1: the sphere of about a million triangles.
BENCHMARK(BM_LoadAndBuild)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_Closest)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(1.0)->UseRealTime();
BENCHMARK(BM_Shadow)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(1.0)->UseRealTime();

int main(int argc, char** argv) {
    return runBenchmarks(argc, argv, [] {
#ifdef VELK_HAVE_EMBREE
        for (int which = 0; which < 2; which++) {
            std::string path = meshPathOf(which);
            Workload& w = pickMesh(which);
            Mesh mesh;
            loadAsciiPly(path, mesh);
            sideBySide(which == 0 ? "grid, bunny" : "grid, sphere", (size_t)w.triangles, w, w.shape->scene, mesh,
                       [&] {
                           std::unique_ptr<LoadedShape> shape(new LoadedShape(path));
                           benchmark::DoNotOptimize(shape->box);
                       });
        }
#endif
    });
}
