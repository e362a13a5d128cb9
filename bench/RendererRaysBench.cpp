// Rays per second of the renderers on the XML Cornell box (scenes/cornell.xml),
// each at its default settings on a 64 x 64 image, in one run: they all trace
// through the same scene queries, so their rates should stay close. The
// Metropolis renderers also report chain steps per second ("steps/s"; their
// render includes the seed layer's path tracing). A render
// runs in a temporary folder (the renderers write progress files there)
// with its console lines sent to /dev/null; the counter "rays/s" is the
// camera's ray count over the render's wall-clock time.
#include <benchmark/benchmark.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/BenchSupport.h"
#include "foundation/Random.h"
#include "geometry/GScene.h"
#include "image/ColorImage.h"
#include "io/yafray/YafrayParser.h"
#include "render/CameraSettings.h"
#include "render/GCamera.h"

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

void renderRays(benchmark::State& state, const char* renderType) {
    static ScratchFolder folder;
    static const std::string scenePath = sourceRoot() + "/scenes/cornell.xml";
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
    double rays = 0.0, seconds = 0.0, steps = 0.0;
    for (auto _ : state) {
        state.PauseTiming();
        GScene scene;
        {
            QuietStdout quiet;
            YafrayParser parser(&scene);
            parser.parse(scenePath.c_str());
        }
        GCamera* view = scene.camera;
        GCamera* camera = kind->create();
        camera->setView(view->from, view->to, view->up, view->fovy);
        camera->setResolution(64, 64);
        camera->setScene(&scene);
        scene.allObjects.add(camera);
        scene.camera = camera;
        scene.prepare();
        ColorImage frame;
        frame.resize(64, 64);
        seedRandom(1);
        state.ResumeTiming();
        auto start = std::chrono::steady_clock::now();
        {
            QuietStdout quiet;
            camera->render(frame);
        }
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        rays += (double)camera->rayCounter;
        // The chain renderers take mutationsPerPixel steps in every pixel.
        if (const CameraSettingTable* table = camera->settingTable())
            if (const CameraSetting* row = table->find("mutationsPerPixel"))
                steps += std::atof(row->valueText(camera).c_str()) * 64.0 * 64.0;
    }
    if (steps > 0.0) state.counters["steps/s"] = seconds > 0.0 ? steps / seconds : 0.0;
    state.counters["rays/s"] = seconds > 0.0 ? rays / seconds : 0.0;
    state.counters["rays"] = rays / (double)state.iterations();
    if (chdir(previous) != 0) state.SkipWithError("could not return to the working folder");
}

void BM_PathTracerRays(benchmark::State& state) { renderRays(state, "pathTracing"); }
void BM_BidirectionalRays(benchmark::State& state) { renderRays(state, "bidirectionalPathTracing"); }
void BM_InstantRadiosityRays(benchmark::State& state) { renderRays(state, "instantRadiosity"); }
void BM_MetropolisSteps(benchmark::State& state) { renderRays(state, "metropolis"); }
void BM_PathMetropolisSteps(benchmark::State& state) { renderRays(state, "pathMetropolis"); }

BENCHMARK(BM_PathTracerRays)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BidirectionalRays)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_InstantRadiosityRays)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_MetropolisSteps)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PathMetropolisSteps)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
