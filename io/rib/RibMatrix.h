// RibMatrix: the RIB reader's 4 x 4 double matrix, row-major, acting on
// column vectors: a point p becomes M.p, so the translation sits in elements
// 3, 7 and 11. (RenderMan writes its matrices for row vectors, translation in
// the last row; the reader transposes them on the way in.)
#pragma once

#include "foundation/HPoint.h"

struct RibMatrix {
    double m[16];

    // Identity.
    RibMatrix();
    // The 16 values in order.
    explicit RibMatrix(const double values[16]);

    static RibMatrix translation(double dx, double dy, double dz);
    // a x b: applied to a point, b acts first.
    static RibMatrix product(const RibMatrix& a, const RibMatrix& b);
    RibMatrix transposed() const;
    // False (and out untouched) when the matrix is singular.
    bool inverse(RibMatrix& out) const;

    // M.(x, y, z, w): x, y, z of the product, and w unchanged.
    HPoint transformPoint(double x, double y, double z, double w = 1.0) const;
};
