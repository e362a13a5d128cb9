// The YafRay mesh object written for a container of triangles (a uniform
// grid's or a hierarchy's): the shader of the first object's material, then
// one object whose mesh lists three points per GTriangle (corners are not
// shared) and one face per triangle. Objects of other classes are left out.
#pragma once

#include <cstdio>

#include "foundation/JVector.h"
#include "geometry/GSceneObject.h"

// Writes nothing when no object is a GTriangle. owner names the object
// ("ply<address of owner>").
void writeTriangleMeshXML(FILE* file, const void* owner, const JVector<GSceneObject>& objects);
