// HPoint: the one small value type for points (w = 1), directions, normals and
// colours (red, green, blue in x, y, z). Plain value code for the inner loops:
// no allocation, no virtual dispatch. Unless stated, operations touch x, y, z
// only and leave w as it was.
#pragma once

#include <cmath>

struct GMatrix;

struct HPoint {
    float x, y, z, w;

    HPoint() : x(0.0f), y(0.0f), z(0.0f), w(1.0f) {}
    HPoint(float px, float py, float pz, float pw = 1.0f) : x(px), y(py), z(pz), w(pw) {}

    void add(const HPoint& b) { x += b.x; y += b.y; z += b.z; }
    HPoint sum(const HPoint& b) const { return HPoint(x + b.x, y + b.y, z + b.z, w); }
    void subtract(const HPoint& b) { x -= b.x; y -= b.y; z -= b.z; }
    HPoint difference(const HPoint& b) const { return HPoint(x - b.x, y - b.y, z - b.z, w); }
    void scale(float s) { x *= s; y *= s; z *= s; }
    HPoint scaled(float s) const { return HPoint(x * s, y * s, z * s, w); }
    // Component-wise product: colour modulation.
    void multiply(const HPoint& b) { x *= b.x; y *= b.y; z *= b.z; }
    float dot(const HPoint& b) const { return x * b.x + y * b.y + z * b.z; }
    HPoint cross(const HPoint& b) const {
        return HPoint(y * b.z - z * b.y, z * b.x - x * b.z, x * b.y - y * b.x, 1.0f);
    }
    float length() const { return std::sqrt(x * x + y * y + z * z); }
    // A zero vector stays unchanged.
    void normalize() {
        float len = length();
        if (len > 0.0f) {
            float inv = 1.0f / len;
            x *= inv; y *= inv; z *= inv;
        }
    }
    // d - 2 (n.d) n, w = 1; n is expected to be unit length.
    static HPoint reflect(const HPoint& n, const HPoint& d) {
        float twoDot = 2.0f * n.dot(d);
        return HPoint(d.x - twoDot * n.x, d.y - twoDot * n.y, d.z - twoDot * n.z, 1.0f);
    }
    // Refracts the unit direction d through the unit normal n (on the side d
    // arrives from) into this point. False on total internal reflection, and
    // then this point is left untouched.
    bool refract(const HPoint& n, const HPoint& d, float n1, float n2) {
        float eta = n1 / n2;
        float c = -d.dot(n);
        float k = 1.0f - eta * eta * (1.0f - c * c);
        if (k < 0.0f) return false;
        float f = eta * c - std::sqrt(k);
        x = d.x * eta + n.x * f;
        y = d.y * eta + n.y * f;
        z = d.z * eta + n.z * f;
        w = d.w;
        return true;
    }
    // A vector perpendicular to n, not normalised, w = 1.
    static HPoint perpendicular(const HPoint& n) {
        if (n.x * n.x + n.y * n.y > 0.35f) return HPoint(n.y, -n.x, 0.0f, 1.0f);
        return HPoint(n.z, 0.0f, -n.x, 1.0f);
    }
    // Adds an independent uniform offset in [-s, s] to x, y, z (three draws first).
    void jitter(float s);
    void componentMin(const HPoint& b) {
        if (b.x < x) x = b.x;
        if (b.y < y) y = b.y;
        if (b.z < z) z = b.z;
        if (b.w < w) w = b.w;
    }
    void componentMax(const HPoint& b) {
        if (b.x > x) x = b.x;
        if (b.y > y) y = b.y;
        if (b.z > z) z = b.z;
        if (b.w > w) w = b.w;
    }
    // Screen projection after a perspective matrix; z keeps its value.
    void projectXY() {
        float f = 1.0f / w;
        x *= f; y *= f; w = 1.0f;
    }
    // Full homogeneous product p' = (x, y, z, 1) . M.
    void transform(const GMatrix& m);
    // "( %0.5f %0.5f %0.5f  %0.5f )" in a slice of the scratch text area.
    const char* toString() const;
};

// Axis-aligned box: min corner, then max corner.
struct AxisBox {
    HPoint min, max;
    AxisBox() {}
    AxisBox(const HPoint& lo, const HPoint& hi) : min(lo), max(hi) {}
    void extend(const HPoint& p) { min.componentMin(p); max.componentMax(p); }
    const char* toString() const;
};
