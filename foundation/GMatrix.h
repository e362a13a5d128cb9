// GMatrix: a 4 x 4 float matrix, row-major (entry (r, c) is m[4r + c]), with
// points as row vectors multiplied from the left: p' = p . M. Translation sits
// in m[12], m[13], m[14]; the projective column is m[3], m[7], m[11], m[15].
// This is the layout glLoadMatrixf takes, so the array is handed over as is.
#pragma once

#include "foundation/HPoint.h"

struct GMatrix {
    float m[16];

    // Identity.
    GMatrix();
    // All zero except the diagonal, which is v (v = 1 gives the identity).
    explicit GMatrix(float v);
    GMatrix(float m0, float m1, float m2, float m3, float m4, float m5, float m6, float m7,
            float m8, float m9, float m10, float m11, float m12, float m13, float m14,
            float m15);
    // The 16 values m[0] .. m[15] in order.
    explicit GMatrix(const float values[16]);

    // this = this x b: with row vectors, this applies first, then b.
    void multiply(const GMatrix& b);
    GMatrix product(const GMatrix& b) const;
    void transpose();

    static GMatrix translation(float tx, float ty, float tz);
    static GMatrix scaling(float sx, float sy, float sz);
    // s and c are the sine and cosine of the angle.
    static GMatrix rotationX(float s, float c);
    static GMatrix rotationY(float s, float c);
    static GMatrix rotationZ(float s, float c);

    // this = this x rotation, touching only the two columns the rotation mixes.
    void rotateX(float s, float c);
    void rotateY(float s, float c);
    void rotateZ(float s, float c);

    // Axis and angle of a rotation matrix. The axis has w = 1. Without a
    // defined axis (no rotation) the axis is (0, 1, 0).
    void toAxisAngle(HPoint& axis, float& cosAngle, float& sinAngle) const;
};
