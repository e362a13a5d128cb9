// Triangles of one planar polygon given by its corners in order: a fan from
// the first corner when the polygon is convex, ear clipping when it is not.
// The triangles keep the polygon's winding. Polygons of more than
// maxEarClippingCorners corners, and those ear clipping cannot finish
// (self-intersecting outlines), are fanned.
#pragma once

#include <vector>

#include "foundation/HPoint.h"

const int maxEarClippingCorners = 64;

// Appends count - 2 triangles to triangles, as corner numbers 0 .. count - 1
// (three per triangle). Answers whether the polygon was convex.
bool triangulatePolygon(const HPoint* corners, int count, std::vector<int>& triangles);
