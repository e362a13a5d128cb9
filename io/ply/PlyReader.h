// The ASCII PLY subset that velk reads: the vertex and face counts of the
// header, three numbers per vertex line and one polygon of at most
// maxPlyFaceVertices corners per face line. Binary PLY files are refused
// with a message. Used by the "shape" block (loadPly) and the "-ply2vrml"
// conversion (PlyConverter.h).
#pragma once

#include "foundation/GMatrix.h"
#include "geometry/MeshText.h"

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
};

// Reads header lines up to and including the one that begins with
// "end_header" (all of them when there is none).
void readPlyHeader(MeshText& text, PlyHeader& header);

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
