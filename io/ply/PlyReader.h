// The PLY meshes that velk reads. ASCII: the vertex and face counts of the
// header, three numbers per vertex line and one polygon of at most
// maxPlyFaceVertices corners per face line. Binary (little- and big-endian):
// the records the header's elements and properties describe (PlyBinary.h).
// Used by the "shape" block (loadPly) and the "-ply2vrml"
// conversion (PlyConverter.h).
#pragma once

#include "foundation/GMatrix.h"
#include "geometry/MeshText.h"
#include "io/ply/PlyBinary.h"

class GBoundingBox;
class GMaterial;
class GScene;

// Most corners a face line may give; longer faces are skipped.
const int maxPlyFaceVertices = 10;

struct PlyHeader {
    int vertexCount = 0;  // "element vertex N"; may be negative in a bad file
    int faceCount = 0;    // "element face N"
    bool binary = false;  // a "format binary_..." line was seen
    bool ended = false;   // the "end_header" line was found
    char format[32] = "";  // the format line's second word
    bool bigEndian = false;  // "binary_big_endian"
    // The elements and their properties in header order, for binary bodies.
    // unsupported names the first header line this reader cannot describe
    // (an unknown type, too many elements or properties); empty when none.
    int elementCount = 0;
    PlyElement elements[maxPlyElements];
    char unsupported[64] = "";
};

// Reads header lines up to and including the one that begins with
// "end_header" (all of them when there is none).
void readPlyHeader(MeshText& text, PlyHeader& header);

// A binary PLY mesh ready for the builders: decodes the body after the
// header (the text's rest) and prints one line naming fileName when the
// header is not understood or the body is shorter than it says (what was
// read is kept). False when nothing can be read.
bool readBinaryPly(MeshText& text, const PlyHeader& header, const char* fileName, PlyMeshData& mesh);

// Reads one face line: answers its corner count n and fills the first
// maxPlyFaceVertices indices; numbers the line lacks read as 0.
int readPlyFace(char* line, int indices[maxPlyFaceVertices]);

// Loads a PLY mesh whose first line ("ply") has been read into box: a
// GVertex per vertex line (position through transform, texture coordinates
// the untransformed position), flat GInverseTriangles fanned from each face.
// Vertices and triangles go to the scene's allObjects (or the box adopts them
// without a scene), triangles also to the box's objects and, with an emissive
// material, to the scene's emitters. An index outside the vertex list ends
// the process with "Index Out Of Bounds" (status 1). Prints
// "total triangles = %d" and widens the box by epsilon. fileName is only used
// in messages.
void loadPly(GBoundingBox& box, GScene* scene, GMaterial* material, MeshText& text, const GMatrix& transform,
             const char* fileName);
