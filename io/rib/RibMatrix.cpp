#include "io/rib/RibMatrix.h"

#include <cmath>
#include <utility>

RibMatrix::RibMatrix() {
    for (int i = 0; i < 16; i++) m[i] = (i % 5 == 0) ? 1.0 : 0.0;
}

RibMatrix::RibMatrix(const double values[16]) {
    for (int i = 0; i < 16; i++) m[i] = values[i];
}

RibMatrix RibMatrix::translation(double dx, double dy, double dz) {
    RibMatrix t;
    t.m[3] = dx;
    t.m[7] = dy;
    t.m[11] = dz;
    return t;
}

RibMatrix RibMatrix::product(const RibMatrix& a, const RibMatrix& b) {
    RibMatrix r;
    for (int row = 0; row < 4; row++) {
        for (int column = 0; column < 4; column++) {
            double sum = 0.0;
            for (int k = 0; k < 4; k++) sum += a.m[4 * row + k] * b.m[4 * k + column];
            r.m[4 * row + column] = sum;
        }
    }
    return r;
}

RibMatrix RibMatrix::transposed() const {
    RibMatrix t;
    for (int row = 0; row < 4; row++)
        for (int column = 0; column < 4; column++) t.m[4 * column + row] = m[4 * row + column];
    return t;
}

bool RibMatrix::inverse(RibMatrix& out) const {
    // Gauss-Jordan elimination with partial pivoting on [M | I].
    double a[4][8];
    for (int row = 0; row < 4; row++) {
        for (int column = 0; column < 4; column++) {
            a[row][column] = m[4 * row + column];
            a[row][column + 4] = row == column ? 1.0 : 0.0;
        }
    }
    for (int column = 0; column < 4; column++) {
        int pivot = column;
        for (int row = column + 1; row < 4; row++)
            if (std::fabs(a[row][column]) > std::fabs(a[pivot][column])) pivot = row;
        // Also rejects NaN entries, which compare false.
        if (!(std::fabs(a[pivot][column]) > 1e-300)) return false;
        if (pivot != column)
            for (int k = 0; k < 8; k++) std::swap(a[pivot][k], a[column][k]);
        double scale = 1.0 / a[column][column];
        for (int k = 0; k < 8; k++) a[column][k] *= scale;
        for (int row = 0; row < 4; row++) {
            if (row == column) continue;
            double factor = a[row][column];
            if (factor == 0.0) continue;
            for (int k = 0; k < 8; k++) a[row][k] -= factor * a[column][k];
        }
    }
    for (int row = 0; row < 4; row++)
        for (int column = 0; column < 4; column++) out.m[4 * row + column] = a[row][column + 4];
    return true;
}

HPoint RibMatrix::transformPoint(double x, double y, double z, double w) const {
    return HPoint((float)(m[0] * x + m[1] * y + m[2] * z + m[3] * w),
                  (float)(m[4] * x + m[5] * y + m[6] * z + m[7] * w),
                  (float)(m[8] * x + m[9] * y + m[10] * z + m[11] * w), (float)w);
}
