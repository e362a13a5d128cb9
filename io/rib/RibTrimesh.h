// Binary "Trimesh" files, the raw mesh format the RIB "Trimesh" command reads.
// Little-endian: 32-bit vertex count V, 32-bit triangle count T, V x 12
// bytes of positions (three 32-bit floats), T x 9 bytes of triangles (three
// 24-bit unsigned vertex indices). The file size must be exactly
// 8 + 12 V + 9 T bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "geometry/GTriangle.h"
#include "geometry/GVertex.h"
#include "geometry/LBVHbox.h"

class GMaterial;
struct RibMatrix;

// An LBVHbox that owns the vertices and triangles of its mesh as two arrays
// (neither is registered with the scene, which destroys only the box).
class TrimeshBox : public LBVHbox {
public:
    TrimeshBox(size_t vertexCount, size_t triangleCapacity);
    ~TrimeshBox() override {}

    std::unique_ptr<GVertex[]> vertices;
    size_t vertexCount;
    std::unique_ptr<GTriangle[]> triangles;
    size_t triangleCount;  // triangles in use (those with valid indices)
};

// Reads the file at path into a built TrimeshBox: positions transformed by
// transform, every vertex with material, every triangle flat. Prints the
// progress lines, and the number of every triangle skipped for an index not
// below V. On failure (unreadable file, or counts that do not match the
// file size, checked before anything is allocated) prints why and answers
// nullptr.
TrimeshBox* readTrimeshFile(const char* path, GMaterial* material, const RibMatrix& transform);

// Writes positions (x, y, z per vertex) and indices (three per triangle) in
// the format above. Indices are cut to 24 bits. False when the file cannot
// be written.
bool writeTrimeshFile(const char* path, const std::vector<float>& positions,
                      const std::vector<uint32_t>& indices);
