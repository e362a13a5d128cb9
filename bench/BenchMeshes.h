// The meshes of the ray-casting benchmarks: ASCII PLY files read the way the
// peer benchmark reads them, and the peer's generated UV sphere.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/HPoint.h"

struct Mesh {
    std::vector<HPoint> positions;
    std::vector<uint32_t> indices; // three per triangle
};

inline std::string corpusDir() {
    const char* fromEnvironment = std::getenv("VELK_CORPUS_DIR");
    if (fromEnvironment && *fromEnvironment)
        return fromEnvironment;
    // This file lives in <source>/bench; the corpus sits beside the source tree.
    std::string here = __FILE__;
    size_t slash = here.rfind('/');
    return here.substr(0, slash) + "/../../shared/corpus";
}

// ASCII PLY: x y z first on each vertex line; faces fanned into triangles.
inline bool loadAsciiPly(const std::string& path, Mesh& mesh) {
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
inline void makeSphere(size_t target, Mesh& mesh) {
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
