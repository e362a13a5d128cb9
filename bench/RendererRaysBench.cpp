// Rays per second of the renderers on the XML Cornell box (scenes/cornell.xml),
// and of the Whitted ray tracer also on the peer's spheres scene
// (../shared/bench/scenes/spheres20.txt),
// each at its default settings on a 64 x 64 image, in one run: they all trace
// through the same scene queries, so their rates should stay close. The
// Metropolis renderers also report chain steps per second ("steps/s"; their
// render includes the seed layer's path tracing). The uber camera runs its
// split mode (8 passes, depth 4, chains of 10) and its "mlt" mode
// (8 mutations per pixel, depth 4). The spectral renderer and the RGB path
// tracer also run on scenes/spectral.rib ("paths/s"). A render
// runs in a temporary folder (the renderers write progress files there)
// with its console lines sent to /dev/null; the counter "rays/s" is the
// camera's ray count over the render's wall-clock time.
#include <benchmark/benchmark.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "bench/BenchSupport.h"
#include "foundation/Random.h"
#include "geometry/GScene.h"
#include "image/ColorImage.h"
#include "io/native/GSceneParser.h"
#include "render/CameraSettings.h"
#include "render/GCamera.h"

// Every allocation of the process is counted, so that a render can show it
// allocates a fixed number of times (images, path records), not per path,
// sample or step: the counter "allocations" is the count during one render.
static long long allocationCount = 0;

void* operator new(std::size_t size) {
    allocationCount++;
    if (void* memory = std::malloc(size ? size : 1)) return memory;
    throw std::bad_alloc();
}
// The replaced operator new takes its memory from malloc, so free is the
// matching release; the compiler cannot see that pairing.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
#pragma GCC diagnostic pop

namespace {

// The working folder of the renders, removed with its files at exit.
class ScratchFolder {
public:
    ScratchFolder() {
        char pattern[] = "/tmp/velk_raysbench_XXXXXX";
        const char* made = mkdtemp(pattern);
        path = made ? made : "/tmp";
    }
    ~ScratchFolder() {
        for (const char* name : {"image.ppm", "temp.ppm", "radImage.im", "preview.ppm", "trajectory.ppm"})
            std::remove((path + "/" + name).c_str());
        rmdir(path.c_str());
    }
    std::string path;
};

// settings: name and value pairs given to the camera's table.
void renderRays(benchmark::State& state, const char* renderType,
                const std::vector<std::pair<const char*, const char*>>& settings = {},
                const char* sceneFile = "cornell.xml") {
    static ScratchFolder folder;
    // A name with a folder is taken from the source root as it stands.
    const std::string scenePath =
        sourceRoot() + (std::strchr(sceneFile, '/') ? "/" : "/scenes/") + sceneFile;
    const CameraKind* kind = findCameraKind(renderType);
    if (!kind || !kind->create) {
        state.SkipWithError("renderer not available");
        return;
    }
    char previous[4096];
    if (!getcwd(previous, sizeof previous) || chdir(folder.path.c_str()) != 0) {
        state.SkipWithError("no working folder");
        return;
    }
    double rays = 0.0, seconds = 0.0, steps = 0.0, paths = 0.0, allocations = 0.0;
    for (auto _ : state) {
        state.PauseTiming();
        GScene scene;
        {
            QuietStdout quiet;
            GSceneParser parser(&scene);
            parser.parse(scenePath.c_str());
        }
        GCamera* view = scene.camera;
        GCamera* camera;
        {
            QuietStdout quiet;  // the spectral camera names the files it loads
            camera = kind->create();
        }
        camera->setView(view->from, view->to, view->up, view->fovy);
        camera->setResolution(64, 64);
        for (const auto& setting : settings) {
            std::string error;
            const CameraSetting* row = camera->settingTable()->find(setting.first);
            if (!row || !row->set(camera, setting.second, error)) std::abort();
        }
        camera->setScene(&scene);
        scene.allObjects.add(camera);
        scene.camera = camera;
        scene.prepare();
        ColorImage frame;
        frame.resize(64, 64);
        seedRandom(1);
        state.ResumeTiming();
        auto start = std::chrono::steady_clock::now();
        long long allocationsBefore;
        {
            QuietStdout quiet;
            allocationsBefore = allocationCount;
            camera->render(frame);
            allocations = (double)(allocationCount - allocationsBefore);
        }
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        rays += (double)camera->rayCounter;
        // The chain renderers take mutationsPerPixel steps in every pixel;
        // the path tracers trace samplesPerPixel paths through every pixel.
        if (const CameraSettingTable* table = camera->settingTable()) {
            if (const CameraSetting* row = table->find("mutationsPerPixel"))
                steps += std::atof(row->valueText(camera).c_str()) * 64.0 * 64.0;
            if (const CameraSetting* row = table->find("samplesPerPixel"))
                paths += std::atof(row->valueText(camera).c_str()) * 64.0 * 64.0;
        }
    }
    if (steps > 0.0) state.counters["steps/s"] = seconds > 0.0 ? steps / seconds : 0.0;
    if (paths > 0.0 && sceneFile[0] == 's') state.counters["paths/s"] = seconds > 0.0 ? paths / seconds : 0.0;
    state.counters["rays/s"] = seconds > 0.0 ? rays / seconds : 0.0;
    state.counters["rays"] = rays / (double)state.iterations();
    state.counters["allocations"] = allocations;
    if (chdir(previous) != 0) state.SkipWithError("could not return to the working folder");
}

void BM_RayTracerRays(benchmark::State& state) { renderRays(state, "rayTracing"); }
// The Whitted peer scene (20 spheres, depth 4) with the ray tracer its file selects.
void BM_RayTracerRaysOnSpheres(benchmark::State& state) {
    renderRays(state, "rayTracing", {}, "../shared/bench/scenes/spheres20.txt");
}
void BM_PathTracerRays(benchmark::State& state) { renderRays(state, "pathTracing"); }
void BM_BidirectionalRays(benchmark::State& state) { renderRays(state, "bidirectionalPathTracing"); }
void BM_InstantRadiosityRays(benchmark::State& state) { renderRays(state, "instantRadiosity"); }
void BM_MetropolisSteps(benchmark::State& state) { renderRays(state, "metropolis"); }
// The spectral renderer on its demo scene beside the RGB path tracer on the
// same scene, both with 16 paths per pixel.
void BM_SpectralPaths(benchmark::State& state) {
    renderRays(state, "spectralSample", {{"samplesPerPixel", "16"}, {"maxDepth", "6"}}, "spectral.rib");
}
void BM_PathTracerPathsOnSpectralScene(benchmark::State& state) {
    renderRays(state, "pathTracing", {{"samplesPerPixel", "16"}, {"maxRayDepth", "6"}}, "spectral.rib");
}
void BM_UberSplitRays(benchmark::State& state) {
    renderRays(state, "uberPathTracing", {{"samples", "8"}, {"maxDepth", "4"}, {"chainLength", "10"}});
}
void BM_UberMltRays(benchmark::State& state) {
    renderRays(state, "uberPathTracing", {{"renderMode", "mlt"}, {"samples", "8"}, {"maxDepth", "4"}});
}
void BM_PathMetropolisSteps(benchmark::State& state) { renderRays(state, "pathMetropolis"); }

BENCHMARK(BM_RayTracerRays)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RayTracerRaysOnSpheres)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PathTracerRays)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BidirectionalRays)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_InstantRadiosityRays)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_MetropolisSteps)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_UberSplitRays)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SpectralPaths)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PathTracerPathsOnSpectralScene)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_UberMltRays)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PathMetropolisSteps)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
