#include "io/obj/PolygonTriangulation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

// Twice the signed area of triangle abc in the xy plane.
double doubleArea(const HPoint& a, const HPoint& b, const HPoint& c) {
    return (double)(b.x - a.x) * (c.y - a.y) - (double)(b.y - a.y) * (c.x - a.x);
}

struct PolygonCase {
    const char* name;
    std::vector<HPoint> corners;  // counter-clockwise in the xy plane
    bool convex;
};

TEST(PolygonTriangulation, TrianglesCoverThePolygonWithItsWinding) {
    auto p = [](float x, float y) { return HPoint(x, y, 0.0f, 1.0f); };
    const PolygonCase cases[] = {
        {"triangle", {p(0, 0), p(1, 0), p(0, 1)}, true},
        {"square", {p(0, 0), p(1, 0), p(1, 1), p(0, 1)}, true},
        // A fan from corner 0 of this L would leave the polygon.
        {"L", {p(0, 1), p(0, 0), p(2, 0), p(2, 2), p(1, 2), p(1, 1)}, false},
        {"arrow", {p(0, 0), p(2, 1), p(0, 2), p(1, 1)}, false},
    };
    for (const PolygonCase& c : cases) {
        const int n = (int)c.corners.size();
        std::vector<int> triangles;
        EXPECT_EQ(c.convex, triangulatePolygon(c.corners.data(), n, triangles)) << c.name;
        ASSERT_EQ((size_t)(3 * (n - 2)), triangles.size()) << c.name;
        double polygonArea = 0.0;
        for (int i = 0; i < n; i++) polygonArea += doubleArea(p(0, 0), c.corners[(size_t)i], c.corners[(size_t)((i + 1) % n)]);
        double sum = 0.0;
        for (size_t t = 0; t < triangles.size(); t += 3) {
            double area = doubleArea(c.corners[(size_t)triangles[t]], c.corners[(size_t)triangles[t + 1]],
                                     c.corners[(size_t)triangles[t + 2]]);
            EXPECT_GE(area, 0.0) << c.name << " triangle " << t / 3 << " is turned over";
            sum += area;
        }
        // Triangles of the same winding summing to the area overlap nowhere.
        EXPECT_NEAR(polygonArea, sum, 1e-9) << c.name;
    }
}

TEST(PolygonTriangulation, ClockwiseAndTiltedPolygonsKeepTheirWinding) {
    // The L seen from below (clockwise in xy) and stood up in the xz plane.
    std::vector<HPoint> corners = {HPoint(1, 0, 2, 1), HPoint(2, 0, 2, 1), HPoint(2, 0, 0, 1),
                                   HPoint(0, 0, 0, 1), HPoint(0, 0, 1, 1), HPoint(1, 0, 1, 1)};
    // Newell normal of the outline.
    HPoint normal(0, 0, 0, 1);
    for (size_t i = 0; i < corners.size(); i++) {
        const HPoint& a = corners[i];
        const HPoint& b = corners[(i + 1) % corners.size()];
        normal = HPoint(normal.x + (a.y - b.y) * (a.z + b.z), normal.y + (a.z - b.z) * (a.x + b.x),
                        normal.z + (a.x - b.x) * (a.y + b.y), 1);
    }
    std::vector<int> triangles;
    EXPECT_FALSE(triangulatePolygon(corners.data(), (int)corners.size(), triangles));
    ASSERT_EQ(12u, triangles.size());
    for (size_t t = 0; t < triangles.size(); t += 3) {
        HPoint a = corners[(size_t)triangles[t]], b = corners[(size_t)triangles[t + 1]],
               c = corners[(size_t)triangles[t + 2]];
        HPoint faceNormal = b.difference(a).cross(c.difference(a));
        EXPECT_GT(faceNormal.dot(normal), 0.0f) << "triangle " << t / 3;
    }
}

}  // namespace
