#include "io/obj/PolygonTriangulation.h"

#include <cmath>

namespace {

struct Point2 {
    double x, y;
};

double cross(const Point2& o, const Point2& a, const Point2& b) {
    return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
}

void fan(int first, const std::vector<int>& order, std::vector<int>& triangles) {
    for (size_t k = (size_t)first + 1; k + 1 < order.size(); k++) {
        triangles.push_back(order[(size_t)first]);
        triangles.push_back(order[k]);
        triangles.push_back(order[k + 1]);
    }
}

// p strictly inside, or on an edge of, the counter-clockwise triangle abc.
bool insideTriangle(const Point2& p, const Point2& a, const Point2& b, const Point2& c) {
    return cross(a, b, p) >= 0.0 && cross(b, c, p) >= 0.0 && cross(c, a, p) >= 0.0;
}

}  // namespace

bool triangulatePolygon(const HPoint* corners, int count, std::vector<int>& triangles) {
    if (count < 3) return true;
    std::vector<int> order((size_t)count);
    for (int i = 0; i < count; i++) order[(size_t)i] = i;
    if (count == 3) {
        fan(0, order, triangles);
        return true;
    }

    // 1. The plane by Newell's method; project along its largest axis so
    // that the outline runs counter-clockwise in 2-D.
    double nx = 0, ny = 0, nz = 0;
    for (int i = 0; i < count; i++) {
        const HPoint& a = corners[i];
        const HPoint& b = corners[(i + 1) % count];
        nx += (double)(a.y - b.y) * (a.z + b.z);
        ny += (double)(a.z - b.z) * (a.x + b.x);
        nz += (double)(a.x - b.x) * (a.y + b.y);
    }
    const double ax = std::fabs(nx), ay = std::fabs(ny), az = std::fabs(nz);
    if (!(ax + ay + az > 0.0)) {
        fan(0, order, triangles);  // no area: nothing to clip
        return true;
    }
    std::vector<Point2> flat((size_t)count);
    for (int i = 0; i < count; i++) {
        const HPoint& p = corners[i];
        if (az >= ax && az >= ay)
            flat[(size_t)i] = nz > 0 ? Point2{p.x, p.y} : Point2{p.y, p.x};
        else if (ax >= ay)
            flat[(size_t)i] = nx > 0 ? Point2{p.y, p.z} : Point2{p.z, p.y};
        else
            flat[(size_t)i] = ny > 0 ? Point2{p.z, p.x} : Point2{p.x, p.z};
    }

    // 2. Convex: every turn bends the same way.
    bool convex = true;
    for (int i = 0; i < count && convex; i++)
        convex = cross(flat[(size_t)i], flat[(size_t)((i + 1) % count)],
                       flat[(size_t)((i + 2) % count)]) >= 0.0;
    if (convex || count > maxEarClippingCorners) {
        fan(0, order, triangles);
        return convex;
    }

    // 3. Ear clipping: cut off a convex corner whose triangle holds no other
    // corner, until three remain.
    std::vector<int> remaining = order;
    while (remaining.size() > 3) {
        const size_t n = remaining.size();
        bool clipped = false;
        for (size_t i = 0; i < n && !clipped; i++) {
            const int prev = remaining[(i + n - 1) % n], at = remaining[i], next = remaining[(i + 1) % n];
            const Point2 &a = flat[(size_t)prev], &b = flat[(size_t)at], &c = flat[(size_t)next];
            if (cross(a, b, c) <= 0.0) continue;  // reflex or flat corner
            bool empty = true;
            for (size_t j = 0; j < n && empty; j++) {
                const int other = remaining[j];
                if (other == prev || other == at || other == next) continue;
                empty = !insideTriangle(flat[(size_t)other], a, b, c);
            }
            if (!empty) continue;
            triangles.push_back(prev);
            triangles.push_back(at);
            triangles.push_back(next);
            remaining.erase(remaining.begin() + (long)i);
            clipped = true;
        }
        if (!clipped) {
            // A self-intersecting outline has no ear left: fan what remains.
            fan(0, remaining, triangles);
            return false;
        }
    }
    fan(0, remaining, triangles);
    return false;
}
