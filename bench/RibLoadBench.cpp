// Load times of the RIB reader's two mesh paths, from text or file to a
// built LBVHbox in a scene:
//  - "Trimesh": a binary mesh file of 1 000 000 triangles (a 1000 x 500 quad
//    grid on 501 501 vertices);
//  - "PointsGeneralPolygons": one statement of 100 000 quads (400 x 250) with
//    "P", split, parsed and turned into vertices and fans of triangles.
// The parse-only benchmark isolates the splitter and parse-tree builder.
// Files are written once into a temporary folder; the reader's console lines
// are sent to /dev/null while a load runs.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "geometry/GScene.h"
#include "geometry/LBVHbox.h"
#include "io/rib/RibReader.h"
#include "io/rib/RibStatementParser.h"
#include "io/rib/RibStatementSplitter.h"
#include "io/rib/RibTrimesh.h"

namespace {


std::string scratchFolder() {
    static std::string folder;
    if (folder.empty()) {
        char pattern[] = "/tmp/velk_ribbench_XXXXXX";
        const char* made = mkdtemp(pattern);
        folder = made ? made : "/tmp";
    }
    return folder;
}

// A grid of columns x rows quads over (columns + 1) x (rows + 1) points.
void gridPoints(int columns, int rows, std::vector<float>& points) {
    for (int j = 0; j <= rows; j++)
        for (int i = 0; i <= columns; i++) {
            points.push_back((float)i / columns);
            points.push_back((float)j / columns);
            points.push_back(0.001f * (float)((i * 7 + j * 13) % 17));
        }
}

const std::string& trimeshPath() {
    static std::string path;
    if (path.empty()) {
        const int columns = 1000, rows = 500;
        std::vector<float> points;
        gridPoints(columns, rows, points);
        std::vector<uint32_t> indices;
        indices.reserve(6 * (size_t)columns * rows);
        for (int j = 0; j < rows; j++)
            for (int i = 0; i < columns; i++) {
                uint32_t a = (uint32_t)(j * (columns + 1) + i), b = a + 1;
                uint32_t d = a + (uint32_t)(columns + 1), c = d + 1;
                for (uint32_t index : {a, b, c, a, c, d}) indices.push_back(index);
            }
        path = scratchFolder() + "/million.tri";
        if (!writeTrimeshFile(path.c_str(), points, indices)) std::abort();
    }
    return path;
}

const std::string& polygonStatement() {
    static std::string text;
    if (text.empty()) {
        const int columns = 400, rows = 250;
        std::string loops, counts, indices, positions;
        for (int k = 0; k < columns * rows; k++) {
            loops += "1 ";
            counts += "4 ";
        }
        for (int j = 0; j < rows; j++)
            for (int i = 0; i < columns; i++) {
                int a = j * (columns + 1) + i, d = a + columns + 1;
                indices += std::to_string(a) + ' ' + std::to_string(a + 1) + ' ' +
                           std::to_string(d + 1) + ' ' + std::to_string(d) + ' ';
            }
        std::vector<float> points;
        gridPoints(columns, rows, points);
        char number[32];
        for (float value : points) {
            std::snprintf(number, sizeof number, "%g ", value);
            positions += number;
        }
        text = "PointsGeneralPolygons [" + loops + "] [" + counts + "]\n  [" + indices +
               "]\n  \"P\" [" + positions + "]\n";
    }
    return text;
}

void BM_TrimeshLoad(benchmark::State& state) {
    std::string statement = "Trimesh \"" + trimeshPath() + "\"\n";
    int triangles = 0;
    for (auto _ : state) {
        GScene* scene = new GScene();
        {
            QuietStdout quiet;
            RibReader reader(scene);
            reader.readText(statement.c_str());
        }
        state.PauseTiming();
        triangles = static_cast<LBVHbox*>(scene->objects.elementAt(0))->objects.size();
        delete scene;
        state.ResumeTiming();
    }
    state.counters["triangles"] = triangles;
}
BENCHMARK(BM_TrimeshLoad)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PointsGeneralPolygonsLoad(benchmark::State& state) {
    const std::string& statement = polygonStatement();
    int triangles = 0;
    for (auto _ : state) {
        GScene* scene = new GScene();
        {
            QuietStdout quiet;
            RibReader reader(scene);
            reader.readText(statement.c_str());
        }
        state.PauseTiming();
        triangles = static_cast<LBVHbox*>(scene->objects.elementAt(0))->objects.size();
        delete scene;
        state.ResumeTiming();
    }
    state.counters["triangles"] = triangles;
    state.counters["MB"] = (double)statement.size() / 1e6;
}
BENCHMARK(BM_PointsGeneralPolygonsLoad)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PointsGeneralPolygonsParseOnly(benchmark::State& state) {
    const std::string& statement = polygonStatement();
    std::vector<char> buffer;
    std::vector<RibStatementSpan> spans;
    RibData tree;
    for (auto _ : state) {
        buffer.assign(statement.begin(), statement.end());
        buffer.push_back('\0');
        spans.clear();
        splitRibStatements(buffer.data(), statement.size(), spans);
        parseRibStatement(buffer.data(), spans[0].start, spans[0].end, tree);
        benchmark::DoNotOptimize(tree.nodes.size());
    }
}
BENCHMARK(BM_PointsGeneralPolygonsParseOnly)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
