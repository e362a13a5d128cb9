// Load times of the Stanford bunny (69 451 triangles) through the two scene
// formats, from a file on disk to a scene whose mesh is ready for rays:
//  - "XmlBunnyLoad": a YafRay XML scene holding the mesh as <p>/<f> elements
//    (the corpus PLY converted by convertPlyToMesh): the document is read and
//    cut into nodes, the points and faces are read into vertices and
//    triangles, and the mesh's LBVHbox is built;
//  - "PlyShapeBunnyLoad": a native scene file with one "shape" block naming
//    the corpus PLY: the PLY is read into vertices and triangles and the
//    shape's grid is built (loadMesh builds it at the end of the block).
// Neither includes GScene::prepare (the top-level grid over one object is
// nothing to measure) nor tearing the scene down.
// Files are written once into a temporary folder that is removed at exit;
// the readers' console lines are sent to /dev/null while a load runs.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "geometry/GBoundingBox.h"
#include "geometry/GScene.h"
#include "geometry/LBVHbox.h"
#include "io/native/GSceneParser.h"
#include "io/ply/PlyConverter.h"
#include "io/yafray/YafrayParser.h"

namespace {


std::string corpusDir() {
    const char* fromEnvironment = std::getenv("VELK_CORPUS_DIR");
    if (fromEnvironment && *fromEnvironment) return fromEnvironment;
    // This file lives in <source>/bench; the corpus sits beside the source tree.
    std::string here = __FILE__;
    size_t slash = here.rfind('/');
    return here.substr(0, slash) + "/../../shared/corpus";
}

std::string bunnyPly() {
    // The native reader keeps file names to a fixed length: hand it the
    // shortest spelling of the path.
    std::string path = corpusDir() + "/ply/bun_zipper.ply";
    char* resolved = realpath(path.c_str(), nullptr);
    if (resolved) {
        path = resolved;
        std::free(resolved);
    }
    return path;
}

// The scratch folder and the files written into it; all removed when the
// process ends.
class Scratch {
public:
    ~Scratch() {
        for (const std::string& file : files) std::remove(file.c_str());
        if (!folder.empty()) rmdir(folder.c_str());
    }
    std::string file(const char* name) {
        if (folder.empty()) {
            char pattern[] = "/tmp/velk_xmlbench_XXXXXX";
            const char* made = mkdtemp(pattern);
            if (!made) std::abort();
            folder = made;
        }
        files.push_back(folder + "/" + name);
        return files.back();
    }

private:
    std::string folder;
    std::vector<std::string> files;
};

Scratch scratch;

bool appendFile(FILE* output, const std::string& path) {
    FILE* input = std::fopen(path.c_str(), "rb");
    if (!input) return false;
    char buffer[1 << 16];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, input)) > 0) std::fwrite(buffer, 1, n, output);
    std::fclose(input);
    return true;
}

const std::string& xmlScenePath() {
    static std::string path;
    if (path.empty()) {
        std::string fragment = scratch.file("bunny_mesh.txt");
        bool converted;
        {
            QuietStdout quiet;
            converted = convertPlyToMesh(bunnyPly().c_str(), fragment.c_str());
        }
        if (!converted) std::abort();
        std::string scene = scratch.file("bunny.xml");
        FILE* output = std::fopen(scene.c_str(), "w");
        if (!output) std::abort();
        std::fputs("<?xml version='1.0'?>\n<scene>\n"
                   "<shader type='generic' name='grey'><attributes>"
                   "<color r='0.8' g='0.8' b='0.8'/></attributes></shader>\n"
                   "<object name='bunny' shader_name='grey'>\n",
                   output);
        if (!appendFile(output, fragment)) std::abort();
        std::fputs("</object>\n</scene>\n", output);
        std::fclose(output);
        path = scene;
    }
    return path;
}

const std::string& nativeScenePath() {
    static std::string path;
    if (path.empty()) {
        path = scratch.file("bunny.scene");
        FILE* output = std::fopen(path.c_str(), "w");
        if (!output) std::abort();
        std::fprintf(output, "shape { file \"%s\" }\n", bunnyPly().c_str());
        std::fclose(output);
    }
    return path;
}

long fileSize(const std::string& path) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return 0;
    std::fseek(file, 0, SEEK_END);
    long size = std::ftell(file);
    std::fclose(file);
    return size;
}

void BM_XmlBunnyLoad(benchmark::State& state) {
    const std::string& path = xmlScenePath();
    int triangles = 0;
    for (auto _ : state) {
        GScene* scene = new GScene();
        {
            QuietStdout quiet;
            YafrayParser parser(scene);
            parser.parse(path.c_str());
        }
        state.PauseTiming();
        if (scene->objects.size() > 0)
            triangles = static_cast<LBVHbox*>(scene->objects.elementAt(0))->objects.size();
        delete scene;
        state.ResumeTiming();
    }
    state.counters["triangles"] = triangles;
    state.counters["MB"] = (double)fileSize(path) / 1e6;
}
BENCHMARK(BM_XmlBunnyLoad)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PlyShapeBunnyLoad(benchmark::State& state) {
    const std::string& path = nativeScenePath();
    int triangles = 0;
    for (auto _ : state) {
        GScene* scene = new GScene();
        {
            QuietStdout quiet;
            GSceneParser parser(scene);
            parser.parse(path.c_str());
        }
        state.PauseTiming();
        if (scene->objects.size() > 0)
            triangles = static_cast<GBoundingBox*>(scene->objects.elementAt(0))->objects.size();
        delete scene;
        state.ResumeTiming();
    }
    state.counters["triangles"] = triangles;
    state.counters["MB"] = (double)fileSize(bunnyPly()) / 1e6;
}
BENCHMARK(BM_PlyShapeBunnyLoad)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
