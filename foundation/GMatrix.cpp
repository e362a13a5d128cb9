#include "foundation/GMatrix.h"

#include <cmath>
#include <cstring>

GMatrix::GMatrix() : GMatrix(1.0f) {}

GMatrix::GMatrix(float v) {
    for (int i = 0; i < 16; i++) m[i] = 0.0f;
    m[0] = m[5] = m[10] = m[15] = v;
}

GMatrix::GMatrix(float m0, float m1, float m2, float m3, float m4, float m5, float m6, float m7,
                 float m8, float m9, float m10, float m11, float m12, float m13, float m14,
                 float m15)
    : m{m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15} {}

GMatrix::GMatrix(const float values[16]) { std::memcpy(m, values, sizeof(m)); }

void GMatrix::multiply(const GMatrix& b) { *this = product(b); }

GMatrix GMatrix::product(const GMatrix& b) const {
    // Written into a fresh matrix, so a.product(a) and a.multiply(a) are safe.
    GMatrix result(0.0f);
    for (int r = 0; r < 4; r++) {
        for (int c = 0; c < 4; c++) {
            float sum = 0.0f;
            for (int k = 0; k < 4; k++) sum += m[4 * r + k] * b.m[4 * k + c];
            result.m[4 * r + c] = sum;
        }
    }
    return result;
}

void GMatrix::transpose() {
    for (int r = 0; r < 4; r++) {
        for (int c = r + 1; c < 4; c++) {
            float t = m[4 * r + c];
            m[4 * r + c] = m[4 * c + r];
            m[4 * c + r] = t;
        }
    }
}

GMatrix GMatrix::translation(float tx, float ty, float tz) {
    GMatrix t;
    t.m[12] = tx;
    t.m[13] = ty;
    t.m[14] = tz;
    return t;
}

GMatrix GMatrix::scaling(float sx, float sy, float sz) {
    GMatrix t;
    t.m[0] = sx;
    t.m[5] = sy;
    t.m[10] = sz;
    return t;
}

GMatrix GMatrix::rotationX(float s, float c) {
    GMatrix t;
    t.m[5] = c;
    t.m[6] = s;
    t.m[9] = -s;
    t.m[10] = c;
    return t;
}

GMatrix GMatrix::rotationY(float s, float c) {
    GMatrix t;
    t.m[0] = c;
    t.m[2] = -s;
    t.m[8] = s;
    t.m[10] = c;
    return t;
}

GMatrix GMatrix::rotationZ(float s, float c) {
    GMatrix t;
    t.m[0] = c;
    t.m[1] = s;
    t.m[4] = -s;
    t.m[5] = c;
    return t;
}

// Column j and k of every row are mixed by the 2 x 2 block of the rotation:
// new[j] = a[j] * rjj + a[k] * rkj, new[k] = a[j] * rjk + a[k] * rkk.
static void mixColumns(float* m, int j, int k, float rjj, float rjk, float rkj, float rkk) {
    for (int r = 0; r < 4; r++) {
        float a = m[4 * r + j];
        float b = m[4 * r + k];
        m[4 * r + j] = a * rjj + b * rkj;
        m[4 * r + k] = a * rjk + b * rkk;
    }
}

void GMatrix::rotateX(float s, float c) { mixColumns(m, 1, 2, c, s, -s, c); }

void GMatrix::rotateY(float s, float c) { mixColumns(m, 0, 2, c, -s, s, c); }

void GMatrix::rotateZ(float s, float c) { mixColumns(m, 0, 1, c, s, -s, c); }

void GMatrix::toAxisAngle(HPoint& axis, float& cosAngle, float& sinAngle) const {
    float cosine = (m[0] + m[5] + m[10] - 1.0f) * 0.5f;
    // Rounding can push the trace of a true rotation just past 3 or below -1;
    // unclamped, the sine would come out as NaN.
    if (cosine > 1.0f) cosine = 1.0f;
    if (cosine < -1.0f) cosine = -1.0f;
    float sine = std::sqrt(1.0f - cosine * cosine);
    cosAngle = cosine;
    sinAngle = sine;
    if (sine > 0.0f) {
        float k = 0.5f / sine;
        axis = HPoint((m[6] - m[9]) * k, (m[8] - m[2]) * k, (m[1] - m[4]) * k, 1.0f);
        return;
    }
    if (cosine < 0.0f) {
        // A half turn: the skew part vanishes, but R = 2 a a^T - I still holds
        // the axis. Take the largest diagonal entry for the best-conditioned
        // component and derive the other two from the symmetric off-diagonals.
        float xx = (m[0] + 1.0f) * 0.5f;
        float yy = (m[5] + 1.0f) * 0.5f;
        float zz = (m[10] + 1.0f) * 0.5f;
        if (xx >= yy && xx >= zz && xx > 0.0f) {
            float ax = std::sqrt(xx);
            axis = HPoint(ax, (m[1] + m[4]) * 0.25f / ax, (m[2] + m[8]) * 0.25f / ax, 1.0f);
            return;
        }
        if (yy >= zz && yy > 0.0f) {
            float ay = std::sqrt(yy);
            axis = HPoint((m[1] + m[4]) * 0.25f / ay, ay, (m[6] + m[9]) * 0.25f / ay, 1.0f);
            return;
        }
        if (zz > 0.0f) {
            float az = std::sqrt(zz);
            axis = HPoint((m[2] + m[8]) * 0.25f / az, (m[6] + m[9]) * 0.25f / az, az, 1.0f);
            return;
        }
    }
    axis = HPoint(0.0f, 1.0f, 0.0f, 1.0f);
}
