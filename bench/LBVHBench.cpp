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

#include "bench/PeerRays.h"
#include "foundation/HPoint.h"
#include "geometry/GScene.h"
#include "geometry/GTriangle.h"
#include "geometry/GVertex.h"
#include "geometry/LBVHbox.h"

namespace {

struct Mesh {
    std::vector<HPoint> positions;
    std::vector<uint32_t> indices; // three per triangle
};

std::string corpusDir() {
    const char* fromEnvironment = std::getenv("VELK_CORPUS_DIR");
    if (fromEnvironment && *fromEnvironment)
        return fromEnvironment;
    // This file lives in <source>/bench; the corpus sits beside the source tree.
    std::string here = __FILE__;
    size_t slash = here.rfind('/');
    return here.substr(0, slash) + "/../../shared/corpus";
}

// ASCII PLY: x y z first on each vertex line; faces fanned into triangles.
bool loadAsciiPly(const std::string& path, Mesh& mesh) {
    FILE* file = std::fopen(path.c_str(), "r");
    if (!file)
        return false;
    char line[512];
    int vertexCount = 0, faceCount = 0;
    while (std::fgets(line, sizeof line, file)) {
        std::sscanf(line, "element vertex %d", &vertexCount);
        std::sscanf(line, "element face %d", &faceCount);
        if (std::strncmp(line, "end_header", 10) == 0)
            break;
    }
    for (int i = 0; i < vertexCount && std::fgets(line, sizeof line, file); i++) {
        float x, y, z;
        if (std::sscanf(line, "%f %f %f", &x, &y, &z) != 3)
            break;
        mesh.positions.push_back(HPoint(x, y, z));
    }
    for (int i = 0; i < faceCount; i++) {
        int n;
        if (std::fscanf(file, "%d", &n) != 1 || n < 0 || n > 64)
            break;
        int index[64];
        for (int k = 0; k < n; k++) {
            if (std::fscanf(file, "%d", &index[k]) != 1)
                index[k] = -1;
        }
        for (int k = 1; k + 1 < n; k++) {
            int corner[3] = {index[0], index[k], index[k + 1]};
            bool valid = true;
            for (int c : corner)
                valid = valid && c >= 0 && c < (int)mesh.positions.size();
            if (!valid)
                continue;
            for (int c : corner)
                mesh.indices.push_back((uint32_t)c);
        }
    }
    std::fclose(file);
    return true;
}

// UV sphere of radius 1: S stacks, 2S slices, one vertex per pole; S is the
// smallest value giving at least `target` triangles (as the peer's --sphere).
void makeSphere(size_t target, Mesh& mesh) {
    size_t stacks = 2;
    while (4 * stacks * (stacks - 1) < target)
        stacks++;
    size_t slices = 2 * stacks;
    const double pi = 3.14159265358979323846;
    mesh.positions.push_back(HPoint(0, 1, 0));
    for (size_t i = 1; i < stacks; i++) {
        for (size_t j = 0; j < slices; j++) {
            double theta = pi * i / stacks, phi = 2 * pi * j / slices;
            mesh.positions.push_back(HPoint((float)(std::sin(theta) * std::cos(phi)),
                                            (float)std::cos(theta),
                                            (float)(std::sin(theta) * std::sin(phi))));
        }
    }
    uint32_t south = (uint32_t)mesh.positions.size();
    mesh.positions.push_back(HPoint(0, -1, 0));
    auto ring = [&](size_t i, size_t j) { return (uint32_t)(1 + (i - 1) * slices + (j % slices)); };
    auto triangle = [&](uint32_t a, uint32_t b, uint32_t c) {
        mesh.indices.push_back(a);
        mesh.indices.push_back(b);
        mesh.indices.push_back(c);
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
}

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
        Mesh mesh;
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
        Mesh mesh;
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

BENCHMARK_MAIN();
