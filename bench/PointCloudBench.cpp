// Point clouds: field evaluations per second on a cloud of 100 000 points
// (uniform in a 4 x 4 x 1 slab, blob radius 0.05, so an evaluation sums
// about 20 points of its 3 x 3 rods), and the render time of the demo scene
// (scenes/pointcloud.txt, about 5000 points, Whitted ray tracer, 320 x 240).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <random>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "geometry/GPointCloud.h"
#include "geometry/GScene.h"
#include "geometry/GSphere.h"
#include "image/ColorImage.h"
#include "io/native/GSceneParser.h"
#include "io/native/Scanner.h"
#include "render/GCamera.h"

namespace {

void BM_PointCloudField(benchmark::State& state) {
    GPointCloud cloud;
    std::mt19937 random(3);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    for (int k = 0; k < 100000; k++) {
        GSphere* point = new GSphere();
        point->center = HPoint(4.0f * unit(random), 4.0f * unit(random), unit(random), 1.0f);
        cloud.addPoint(point);
    }
    const float samples[5] = {1.0f, 0.75f, 0.5f, 0.25f, 0.0f};
    cloud.isoFunction.setFromRadialSamples(0.05f, 5, samples);
    cloud.kernelFunction.setFromRadialSamples(0.05f, 5, samples);
    cloud.buildRods();
    std::vector<HPoint> queries;
    for (int k = 0; k < 4096; k++) queries.push_back(HPoint(4.0f * unit(random), 4.0f * unit(random), unit(random), 1.0f));
    size_t next = 0;
    float sum = 0.0f;
    for (auto _ : state) {
        sum += cloud.field(queries[next]);
        next = (next + 1) & 4095;
    }
    benchmark::DoNotOptimize(sum);
    state.counters["evaluations/s"] = benchmark::Counter((double)state.iterations(), benchmark::Counter::kIsRate);
    state.counters["rods"] = cloud.rods.size();
}
BENCHMARK(BM_PointCloudField);

void BM_PointCloudDemoRender(benchmark::State& state) {
    char previous[4096];
    if (!getcwd(previous, sizeof previous) || chdir(sourceRoot().c_str()) != 0) {
        state.SkipWithError("no source folder");
        return;
    }
    for (auto _ : state) {
        GScene scene;
        ColorImage frame;
        {
            QuietStdout quiet;
            resetScanner();
            GSceneParser parser(&scene);
            parser.parse("scenes/pointcloud.txt");
            scene.prepare();
            frame.resize(scene.camera->getWidth(), scene.camera->getHeight());
            scene.camera->render(frame);
        }
    }
    // The tracer leaves its trajectory map in the working folder.
    std::remove("trajectory.ppm");
    if (chdir(previous) != 0) state.SkipWithError("could not return");
}
BENCHMARK(BM_PointCloudDemoRender)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
