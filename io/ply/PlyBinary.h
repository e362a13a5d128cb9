// The body of a binary PLY file (little- or big-endian): the header's
// elements and properties say how long each record is; the vertex
// element's x, y and z (any numeric type, float and double included) and
// the face element's index list (any count and index types) are kept, every
// other element and property is stepped over. The decoder works on bytes
// in memory, so it is tested and fuzzed without files.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct PlyHeader;

enum class PlyType { none, int8, uint8, int16, uint16, int32, uint32, float32, float64 };

// "char", "uchar", "int8", ... "double", "float64"; none for anything else.
PlyType plyTypeNamed(const char *name);
int plyTypeBytes(PlyType type);

const int maxPlyElements = 16;
const int maxPlyProperties = 32;
const int plyNameCapacity = 32;

struct PlyProperty {
    char name[plyNameCapacity] = "";
    PlyType type = PlyType::none;      // the value (the items of a list)
    PlyType countType = PlyType::none; // none for a scalar property
};

struct PlyElement {
    char name[plyNameCapacity] = "";
    long long count = 0;
    int propertyCount = 0;
    PlyProperty properties[maxPlyProperties];
};

// What a binary body gives: three floats per vertex; per face its corner
// count n (at most maxPlyFaceVertices) and n indices (an index beyond the int
// range reads as -1, which the mesh builders reject like any other index
// outside the vertex list).
struct PlyMeshData {
    std::vector<float> positions;
    std::vector<int> faces;
    long long vertexCount = 0;
    long long faceCount = 0;
    long long facesSkipped = 0; // more corners than maxPlyFaceVertices
};

// Decodes bytes (the body after "end_header") as the header describes.
// False with problem set when the header is no binary PLY this reader
// knows (a property of unknown type, too many elements or properties) or
// the body is shorter than the header says; what was read is kept in mesh.
// Nothing is reserved beyond what the bytes can hold.
bool readBinaryPlyBody(const unsigned char *bytes, size_t size, const PlyHeader &header,
                       PlyMeshData &mesh, std::string &problem);
