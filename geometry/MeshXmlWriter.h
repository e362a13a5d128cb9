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

class GPlane;

// An infinite plane as a square of four triangles fanned from the point of
// the plane nearest viewPoint, reaching 10^4 times the view's height above
// the plane (at least 10^4) in every direction: seen from there its edge lies
// within 10^-4 radians of the horizon. The fan's common corner is near the
// view, so the triangles' ray tests keep the precision of small ones.
void writePlaneXML(FILE* file, const GPlane& plane, const HPoint& viewPoint);
