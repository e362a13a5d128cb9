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
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>
#include <xmmintrin.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "bench/PeerRays.h"
#include "foundation/HPoint.h"
#include "geometry/GBoundingBox.h"
#include "geometry/GInverseTriangle.h"
#include "geometry/GScene.h"
#include "geometry/GVertex.h"
#include "shading/GMaterial.h"

namespace {

std::string corpusDir() {
    const char* fromEnvironment = std::getenv("VELK_CORPUS_DIR");
    if (fromEnvironment && *fromEnvironment) return fromEnvironment;
    std::string here = __FILE__;
    size_t slash = here.rfind('/');
    return here.substr(0, slash) + "/../../shared/corpus";
}

// The peer's generated sphere (no bumps), written the way it writes meshes.
std::string writeSpherePly(size_t target) {
    size_t stacks = 2;
    while (4 * stacks * (stacks - 1) < target) stacks++;
    size_t slices = 2 * stacks;
    const double pi = 3.14159265358979323846;
    std::vector<float> points;
    auto point = [&](float x, float y, float z) {
        points.push_back(x);
        points.push_back(y);
        points.push_back(z);
    };
    point(0, 1, 0);
    for (size_t i = 1; i < stacks; i++) {
        for (size_t j = 0; j < slices; j++) {
            double theta = pi * i / stacks, phi = 2 * pi * j / slices;
            point((float)(std::sin(theta) * std::cos(phi)), (float)std::cos(theta),
                  (float)(std::sin(theta) * std::sin(phi)));
        }
    }
    uint32_t south = (uint32_t)(points.size() / 3);
    point(0, -1, 0);
    std::vector<uint32_t> indices;
    auto ring = [&](size_t i, size_t j) { return (uint32_t)(1 + (i - 1) * slices + (j % slices)); };
    auto triangle = [&](uint32_t a, uint32_t b, uint32_t c) {
        indices.push_back(a);
        indices.push_back(b);
        indices.push_back(c);
    };
    for (size_t j = 0; j < slices; j++) {
        triangle(0, ring(1, j + 1), ring(1, j));
        triangle(south, ring(stacks - 1, j), ring(stacks - 1, j + 1));
    }
    for (size_t i = 1; i + 1 < stacks; i++) {
        for (size_t j = 0; j < slices; j++) {
            uint32_t a = ring(i, j), b = ring(i, j + 1), c = ring(i + 1, j), d = ring(i + 1, j + 1);
            triangle(a, b, d);
            triangle(a, d, c);
        }
    }
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
                 points.size() / 3, indices.size() / 3);
    for (size_t i = 0; i < points.size(); i += 3)
        std::fprintf(file, "%.9g %.9g %.9g\n", points[i], points[i + 1], points[i + 2]);
    for (size_t t = 0; t < indices.size(); t += 3)
        std::fprintf(file, "3 %u %u %u\n", indices[t], indices[t + 1], indices[t + 2]);
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

std::string meshPath(const benchmark::State& state) {
    return state.range(0) == 0 ? corpusDir() + "/ply/bun_zipper.ply" : spherePath();
}

Workload& pick(const benchmark::State& state) {
    static std::unique_ptr<Workload> workloads[2];
    std::unique_ptr<Workload>& workload = workloads[state.range(0) == 0 ? 0 : 1];
    if (!workload) workload.reset(new Workload(meshPath(state)));
    return *workload;
}

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

BENCHMARK_MAIN();
