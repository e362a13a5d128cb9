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

HPoint normalized(HPoint v) {
    v.normalize();
    return v;
}

uint32_t hash32(uint32_t x) {
    x ^= x >> 16;
    x *= 0x7feb352du;
    x ^= x >> 15;
    x *= 0x846ca68bu;
    x ^= x >> 16;
    return x;
}

float hashUniform(uint32_t h) {
    return (h >> 8) * (1.0f / 16777216.0f);
}

GRay makeRay(const HPoint& origin, const HPoint& direction) {
    GRay ray;
    ray.origin = origin;
    ray.direction = direction;
    ray.direction.w = 1.0f;
    ray.updateInverse();
    return ray;
}

// One mesh in a scene, its triangles and the three ray sets.
struct Workload {
    std::vector<GVertex> vertices;
    std::vector<GTriangle> triangles;
    GScene scene; // owns the box
    LBVHbox* box = nullptr;
    std::vector<GRay> cameraRays, shadowRays, bounceRays;
    std::vector<float> shadowLimits;
    size_t cameraHits = 0;

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
            if (!scene.closestHit(ray, hit))
                continue;
            cameraHits++;
            HPoint point = ray.origin.sum(ray.direction.scaled(hit.t));
            HPoint n = normalized(hit.geometricNormal);
            if (n.dot(ray.direction) > 0.0f)
                n.scale(-1.0f);
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

    size_t traceClosest(std::vector<GRay>& rays) {
        size_t hits = 0;
        for (GRay& ray : rays) {
            ray.id = nextRayId();
            HitRecord hit;
            hit.t = INFINITY;
            hits += scene.closestHit(ray, hit);
        }
        return hits;
    }

    size_t traceShadows() {
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
    state.SetLabel(std::string(state.range(0) == 0 ? "bunny " : "sphere ") +
                   std::to_string(w.triangles.size()) + " tris, " + std::to_string(hits) + "/" +
                   std::to_string(rays) + " hit");
    state.counters["Mrays/s"] =
        benchmark::Counter((double)rays * 1e-6 * state.iterations(), benchmark::Counter::kIsRate);
}

void setFlushToZero() {
    // As the peer does: denormals never slow the box tests down.
    _MM_SET_FLUSH_ZERO_MODE(_MM_FLUSH_ZERO_ON);
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
