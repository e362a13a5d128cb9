#include "geometry/GBoundingBox.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cfloat>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "tests/TestSupport.h"
#include "foundation/Random.h"
#include "foundation/Settings.h"
#include "geometry/GInverseTriangle.h"
#include "geometry/GPlane.h"
#include "geometry/GScene.h"
#include "geometry/GSphere.h"
#include "geometry/GTriangle.h"
#include "geometry/GVertex.h"
#include "shading/GMaterial.h"

namespace {

// Records which probes a ray asks, in order; a probe never reports a hit
// unless told to block.
std::vector<int> probeLog;

class Probe : public GSceneObject {
public:
    Probe(int probeId, const HPoint& lo, const HPoint& hi, bool blocks = false)
        : id(probeId), low(lo), high(hi), blocker(blocks) {}
    bool intersect(GRay& ray, HitRecord& hit) override {
        (void)ray;
        probeLog.push_back(id);
        if (!blocker || hitDistance > hit.t) return false;
        hit.t = hitDistance;
        hit.object = this;
        return true;
    }
    bool occludes(GRay& ray, HPoint& shadowColor, float limit) override {
        (void)ray;
        (void)shadowColor;
        (void)limit;
        probeLog.push_back(id);
        return blocker;
    }
    void getBounds(HPoint& min, HPoint& max) override {
        min = low;
        max = high;
    }
    int id;
    HPoint low, high;
    bool blocker;
    float hitDistance = 3.5f;
};

// Keeps the global settings a test changes, and puts them back.
struct SettingsGuard {
    float savedEpsilon = epsilon;
    int savedMin = minObjectsInGrid;
    int savedMax = maxGridVoxels;
    ~SettingsGuard() {
        epsilon = savedEpsilon;
        minObjectsInGrid = savedMin;
        maxGridVoxels = savedMax;
    }
};

// A box over [0,8] x [0,4] x [0,2] with epsilon 0 and 70 objects (target 71
// voxels): unit voxels, 8 x 4 x 2. Probe k (k >= 2) sits in the middle of
// voxel cells[k - 2]; probes 0 and 1 are corner specks that fix the box, and
// the rest are fillers in voxel (7, 3, 1).
struct ProbeGrid {
    GBoundingBox box;
    std::vector<std::unique_ptr<Probe>> probes;

    explicit ProbeGrid(const std::vector<std::array<int, 3>>& cells, int blockerCell = -1) {
        add(HPoint(0, 0, 0), HPoint(0.05f, 0.05f, 0.05f));
        add(HPoint(7.95f, 3.95f, 1.95f), HPoint(8, 4, 2));
        for (size_t k = 0; k < cells.size(); k++) {
            const std::array<int, 3>& c = cells[k];
            add(HPoint(c[0] + 0.4f, c[1] + 0.4f, c[2] + 0.4f), HPoint(c[0] + 0.6f, c[1] + 0.6f, c[2] + 0.6f),
                (int)k == blockerCell);
        }
        while (probes.size() < 70) add(HPoint(7.3f, 3.3f, 1.3f), HPoint(7.4f, 3.4f, 1.4f));
        ::testing::internal::CaptureStdout();
        box.build();
        ::testing::internal::GetCapturedStdout();
        probeLog.clear();
    }
    void add(const HPoint& lo, const HPoint& hi, bool blocks = false) {
        probes.emplace_back(new Probe((int)probes.size(), lo, hi, blocks));
        box.addObject(probes.back().get());
    }
};

std::vector<int> walkOrder(ProbeGrid& grid, const HPoint& origin, const HPoint& direction) {
    probeLog.clear();
    GRay ray(0, origin, direction);
    HitRecord hit;
    hit.t = FLT_MAX;
    grid.box.intersect(ray, hit);
    return probeLog;
}

}  // namespace

TEST(GBoundingBoxTest, BoundsGrowByEpsilonAndPrint) {
    GBoundingBox box;
    EXPECT_EQ(box.boxMin.x, 3.4028235e38f);
    EXPECT_EQ(box.boxMax.z, -3.4028235e38f);
    GSphere sphere;
    sphere.center = HPoint(1, 2, 3);
    sphere.setRadius(1);
    box.addObject(&sphere);
    EXPECT_FLOAT_EQ(box.boxMin.x, -0.001f);
    EXPECT_FLOAT_EQ(box.boxMin.y, 0.999f);
    EXPECT_FLOAT_EQ(box.boxMax.z, 4.001f);
    EXPECT_EQ(box.objects.count, 1);
    char expected[160];
    std::snprintf(expected, sizeof expected, "GBoundingBox@%" PRIxPTR " (-0.00,1.00,2.00)-(2.00,3.00,4.00)",
                  (uintptr_t)&box);
    EXPECT_STREQ(box.toString(), expected);
    HPoint lo, hi;
    box.getBounds(lo, hi);
    EXPECT_EQ(lo.y, box.boxMin.y);
    EXPECT_EQ(hi.x, box.boxMax.x);
    EXPECT_EQ(box.getMaterial(), nullptr);
    EXPECT_TRUE(box.isKindOf(ClassId::GSceneObject));
    EXPECT_EQ(box.typeId(), 1016);
}

TEST(GBoundingBoxTest, FifteenObjectsStayUnvoxelisedSixteenBuildAGrid) {
    std::vector<std::unique_ptr<GSphere>> spheres;
    GBoundingBox fifteen, sixteen;
    for (int i = 0; i < 16; i++) {
        spheres.emplace_back(new GSphere());
        spheres.back()->center = HPoint((float)i, 0, 0);
        spheres.back()->setRadius(0.25f);
        if (i < 15) fifteen.addObject(spheres.back().get());
        sixteen.addObject(spheres.back().get());
    }
    ::testing::internal::CaptureStdout();
    fifteen.build();
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_FALSE(fifteen.gridBuilt);
    ::testing::internal::CaptureStdout();
    sixteen.build();
    std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_TRUE(sixteen.gridBuilt);
    // Extent 15.502 x 0.502 x 0.502, target 17 voxels: the cube edge is
    // (3.907 / 17)^(1/3) = 0.6125, so x gets 25 voxels, y and z one each.
    EXPECT_EQ(out.find("\nvx=25 vy=1 vz=1\n"), 0u);
    EXPECT_EQ(sixteen.resolution[0], 25);
    EXPECT_EQ(sixteen.resolution[1], 1);
    EXPECT_EQ(sixteen.resolution[2], 1);
    // Both boxes still answer the same hits.
    GRay ray(0, HPoint(3, 5, 0), HPoint(0, -1, 0));
    GRay again(0, HPoint(3, 5, 0), HPoint(0, -1, 0));
    HitRecord a, b;
    a.t = b.t = FLT_MAX;
    EXPECT_TRUE(fifteen.intersect(ray, a));
    EXPECT_TRUE(sixteen.intersect(again, b));
    EXPECT_EQ(a.object, spheres[3].get());
    EXPECT_EQ(b.object, spheres[3].get());
}

TEST(GBoundingBoxTest, ResolutionAndStatistics) {
    SettingsGuard guard;
    epsilon = 0.0f;
    ProbeGrid grid({{0, 0, 0}, {1, 0, 0}});
    EXPECT_TRUE(grid.box.gridBuilt);
    EXPECT_EQ(grid.box.resolution[0], 8);
    EXPECT_EQ(grid.box.resolution[1], 4);
    EXPECT_EQ(grid.box.resolution[2], 2);
    EXPECT_FLOAT_EQ(grid.box.voxelSize[0], 1.0f);
    EXPECT_FLOAT_EQ(grid.box.voxelSize[2], 1.0f);
    // Voxels: (0,0,0) holds probes 2 and 0; (1,0,0) probe 3; the far speck
    // spans the eight voxels from (7,3,1) to (8,4,2), and (7,3,1) also holds
    // the 66 fillers. The statistics skip z = nz = 2: 2 + 1 + 67 + 1 + 1 + 1.
    EXPECT_EQ(grid.box.voxels.voxelCount(), 10u);
    int before = GBoundingBox::statisticsTotal();
    ::testing::internal::CaptureStdout();
    grid.box.build();
    std::string out = ::testing::internal::GetCapturedStdout();
    char expected[96];
    std::snprintf(expected, sizeof expected, "\nvx=8 vy=4 vz=2\nTOTAL = %d\n", before + 73);
    EXPECT_EQ(out, expected);
    EXPECT_EQ(GBoundingBox::statisticsTotal(), before + 73);
}

// The cube rule holds for thin boxes too: 20 spheres of radius 0.1 in a
// 5 x 4 plane give extents 4.202 x 3.202 x 0.202 and a target of 21 voxels,
// so e = (2.718 / 21)^(1/3) = 0.5058 and 8 x 6 x 1 voxels; the same spheres
// 10 apart (40.202 x 30.202 x 0.202, e = 2.2688) give 17 x 13 x 1. Only a
// count beyond maxGridVoxels makes the cubes larger.
TEST(GBoundingBoxTest, ThinBoxesFollowTheCubeRule) {
    SettingsGuard guard;
    struct Case {
        float spacing;
        int maxVoxels;
        int nx, ny, nz;
    } cases[] = {
        {1.0f, 10000000, 8, 6, 1},
        {10.0f, 10000000, 17, 13, 1},
        {10.0f, 500, -1, -1, -1},  // the guard: at most 500 voxels
    };
    for (const Case& c : cases) {
        maxGridVoxels = c.maxVoxels;
        std::vector<std::unique_ptr<GSphere>> spheres;
        GBoundingBox box;
        for (int i = 0; i < 20; i++) {
            spheres.emplace_back(new GSphere());
            spheres.back()->center = HPoint(c.spacing * (i % 5), c.spacing * (i / 5), 0);
            spheres.back()->setRadius(0.1f);
            box.addObject(spheres.back().get());
        }
        ::testing::internal::CaptureStdout();
        box.build();
        std::string out = ::testing::internal::GetCapturedStdout();
        ASSERT_TRUE(box.gridBuilt);
        if (c.nx > 0) {
            char expected[64];
            std::snprintf(expected, sizeof expected, "\nvx=%d vy=%d vz=%d\n", c.nx, c.ny, c.nz);
            EXPECT_EQ(out.find(expected), 0u) << out;
        } else {
            EXPECT_LE(box.resolution[0] * box.resolution[1] * box.resolution[2], c.maxVoxels);
            EXPECT_GT(box.resolution[0] * box.resolution[1] * box.resolution[2], c.maxVoxels / 4);
        }
        // Whatever the resolution, the grid answers every sphere.
        for (int i = 0; i < 20; i++) {
            HPoint top = spheres[(size_t)i]->center.sum(HPoint(0, 0, 5));
            GRay down(0, top, HPoint(0, 0, -1));
            HitRecord hit;
            hit.t = FLT_MAX;
            ASSERT_TRUE(box.intersect(down, hit));
            EXPECT_EQ(hit.object, spheres[(size_t)i].get());
        }
    }
}

TEST(GBoundingBoxTest, TiesStepZOverYOverX) {
    SettingsGuard guard;
    epsilon = 0.0f;
    // x and y tie: y steps first.
    ProbeGrid diagonal({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}, {1, 2, 0}, {2, 1, 0}});
    std::vector<int> order = walkOrder(diagonal, HPoint(0.5f, 0.5f, 0.5f), HPoint(1, 1, 0));
    // Probe 0 is the corner speck in voxel (0,0,0); cell k is probe k + 2.
    // (0,0,0), (0,1,0), (1,1,0), (1,2,0): (1,0,0) and (2,1,0) are never entered.
    EXPECT_EQ(order, std::vector<int>({2, 0, 4, 5, 6}));

    // y and z tie: z first.
    ProbeGrid yz({{0, 0, 0}, {0, 0, 1}, {0, 1, 0}, {0, 1, 1}});
    order = walkOrder(yz, HPoint(0.5f, 0.5f, 0.5f), HPoint(0, 1, 1));
    EXPECT_EQ(std::count(order.begin(), order.end(), 4), 0);  // (0,1,0) skipped
    EXPECT_NE(std::find(order.begin(), order.end(), 3), order.end());
    EXPECT_LT(std::find(order.begin(), order.end(), 3), std::find(order.begin(), order.end(), 5));

    // All three tie: z, then y, then x.
    ProbeGrid all({{0, 0, 0}, {0, 0, 1}, {0, 1, 1}, {1, 1, 1}, {1, 0, 0}, {0, 1, 0}, {1, 0, 1}});
    order = walkOrder(all, HPoint(0.5f, 0.5f, 0.5f), HPoint(1, 1, 1));
    std::vector<int> visited;
    for (int id : order)
        if (id >= 2) visited.push_back(id);
    EXPECT_EQ(visited, std::vector<int>({2, 3, 4, 5}));
}

TEST(GBoundingBoxTest, WalksStartAtTheOriginAndNeverStepAlongAParallelAxis) {
    SettingsGuard guard;
    epsilon = 0.0f;
    ProbeGrid grid({{2, 0, 0}, {5, 0, 0}, {5, 1, 0}, {6, 0, 0}});
    // From inside the box: the voxel behind the origin is never visited.
    std::vector<int> order = walkOrder(grid, HPoint(4.5f, 0.5f, 0.5f), HPoint(1, 0, 0));
    EXPECT_EQ(order, std::vector<int>({3, 5}));
    // Parallel to y and z, also with a negative zero and on a voxel face.
    order = walkOrder(grid, HPoint(4.5f, 1.0f, 0.5f), HPoint(1, -0.0f, 0));
    EXPECT_EQ(order, std::vector<int>({4}));
    // From outside, entering through the x = 0 face.
    order = walkOrder(grid, HPoint(-3.0f, 0.5f, 0.5f), HPoint(1, 0, 0));
    EXPECT_EQ(order, std::vector<int>({0, 2, 3, 5}));
    // Backwards: the walk runs down the indices.
    order = walkOrder(grid, HPoint(20.0f, 0.5f, 0.5f), HPoint(-1, 0, 0));
    EXPECT_EQ(order, std::vector<int>({5, 3, 2, 0}));
}

TEST(GBoundingBoxTest, MailboxAndWalkEnd) {
    SettingsGuard guard;
    epsilon = 0.0f;
    ProbeGrid grid({{1, 0, 0}, {2, 0, 0}, {3, 0, 0}, {4, 0, 0}}, 1);
    // Probe 3 (voxel (2,0,0), entered at t = 3) reports a hit at t = 3.5: the
    // voxel after it is still visited, then the walk stops.
    GRay ray(0, HPoint(-1.0f, 0.5f, 0.5f), HPoint(1, 0, 0));
    HitRecord hit;
    hit.t = FLT_MAX;
    probeLog.clear();
    EXPECT_TRUE(grid.box.intersect(ray, hit));
    EXPECT_EQ(hit.object, grid.probes[3].get());
    EXPECT_EQ(probeLog, std::vector<int>({0, 2, 3, 4}));
    // The same ray id again: rejected before any voxel.
    probeLog.clear();
    hit.t = FLT_MAX;
    EXPECT_FALSE(grid.box.intersect(ray, hit));
    EXPECT_TRUE(probeLog.empty());
    grid.box.setRayStamp(12345u);
    EXPECT_EQ(grid.box.lastRayId, 12345u);
    grid.box.clearRayStamp(7u);
    EXPECT_EQ(grid.box.lastRayId, 7u);
}

TEST(GBoundingBoxTest, ShadowWalkEndsAtTheFirstBlockerAndAtTheLimit) {
    SettingsGuard guard;
    epsilon = 0.0f;
    ProbeGrid grid({{1, 0, 0}, {2, 0, 0}, {3, 0, 0}, {6, 0, 0}}, 1);
    GRay ray(0, HPoint(-1.0f, 0.5f, 0.5f), HPoint(1, 0, 0));
    HPoint color(1, 1, 1, 1);
    probeLog.clear();
    // The blocker answers true; nothing behind it is asked.
    EXPECT_TRUE(grid.box.occludes(ray, color, 100.0f));
    EXPECT_EQ(probeLog, std::vector<int>({0, 2, 3}));
    // No blocker: with limit 2.5 the walk stops after the voxel entered
    // beyond the limit, (2,0,0) at distance 3.
    ProbeGrid open({{1, 0, 0}, {2, 0, 0}, {3, 0, 0}, {6, 0, 0}});
    GRay second(0, HPoint(-1.0f, 0.5f, 0.5f), HPoint(1, 0, 0));
    probeLog.clear();
    EXPECT_FALSE(open.box.occludes(second, color, 2.5f));
    EXPECT_EQ(probeLog, std::vector<int>({0, 2, 3}));
    // Beyond reach entirely: the box is not entered.
    GRay third(0, HPoint(-10.0f, 0.5f, 0.5f), HPoint(1, 0, 0));
    probeLog.clear();
    EXPECT_FALSE(open.box.occludes(third, color, 5.0f));
    EXPECT_TRUE(probeLog.empty());
}

TEST(GBoundingBoxTest, DegenerateRaysAndBoxesDoNotHang) {
    std::vector<std::unique_ptr<GSphere>> spheres;
    GBoundingBox box;
    for (int i = 0; i < 20; i++) {
        spheres.emplace_back(new GSphere());
        spheres.back()->center = HPoint((float)(i % 5), (float)(i / 5), 0);
        spheres.back()->setRadius(0.3f);
        box.addObject(spheres.back().get());
    }
    ::testing::internal::CaptureStdout();
    box.build();
    ::testing::internal::GetCapturedStdout();
    ASSERT_TRUE(box.gridBuilt);
    HitRecord hit;
    // A ray without direction, a ray of NaNs, a ray from very far away.
    GRay still;
    still.id = nextRayId();
    still.origin = HPoint(1, 1, 0);
    still.direction = HPoint(0, 0, 0);
    still.updateInverse();
    hit.t = FLT_MAX;
    box.intersect(still, hit);
    GRay nan;
    nan.id = nextRayId();
    nan.origin = HPoint(NAN, 0, 0);
    nan.direction = HPoint(1, 0, 0);
    nan.updateInverse();
    hit.t = FLT_MAX;
    EXPECT_FALSE(box.intersect(nan, hit));
    GRay far(0, HPoint(-1e30f, 0.0f, 0.0f), HPoint(1, 0, 0));
    hit.t = FLT_MAX;
    box.intersect(far, hit);
    GRay grazing(0, HPoint(-1e9f, 0.0f, 0.0f), HPoint(1, 1e-9f, 0));
    hit.t = FLT_MAX;
    box.intersect(grazing, hit);

    // A box whose bounds are infinite is left unvoxelised.
    GBoundingBox wide;
    GPlane plane;
    plane.normal = HPoint(0, 1, 0);
    plane.setUp();
    for (int i = 0; i < 20; i++) wide.addObject(spheres[i].get());
    wide.addObject(&plane);
    ::testing::internal::CaptureStdout();
    wide.build();
    EXPECT_NE(::testing::internal::GetCapturedStdout().find("one by one"), std::string::npos);
    EXPECT_FALSE(wide.gridBuilt);
}

namespace {

// A random soup of triangles and spheres, and rays through it.
struct RandomSoup {
    GMaterial material;
    std::vector<std::unique_ptr<GVertex>> vertices;
    std::vector<std::unique_ptr<GSceneObject>> objects;
    GBoundingBox box;

    RandomSoup(int triangles, int spheres) {
        for (int i = 0; i < triangles; i++) {
            HPoint center(uniform01() * 10.0f, uniform01() * 10.0f, uniform01() * 10.0f);
            // Mostly small triangles, a few large ones that need subdivision,
            // and slivers.
            float size = (i % 17 == 0) ? 6.0f : 0.8f;
            bool sliver = i % 5 == 0;
            GVertex* corner[3];
            for (int k = 0; k < 3; k++) {
                vertices.emplace_back(new GVertex());
                corner[k] = vertices.back().get();
                corner[k]->material = &material;
                float along = uniform01() - 0.5f;
                corner[k]->position = HPoint(center.x + (sliver ? along : uniform01() - 0.5f) * size,
                                             center.y + (sliver ? along * 0.7f + uniform01() * 1e-3f
                                                                : uniform01() - 0.5f) * size,
                                             center.z + (sliver ? along * 0.3f : uniform01() - 0.5f) * size);
                corner[k]->normal = HPoint(uniform01() - 0.5f, uniform01() - 0.5f, uniform01() - 0.5f);
            }
            GInverseTriangle* triangle = new GInverseTriangle();
            triangle->flags = (i % 2) ? GInverseTriangle::flat : 0u;
            triangle->setVertices(corner[0], corner[1], corner[2]);
            objects.emplace_back(triangle);
            box.addObject(triangle);
        }
        for (int i = 0; i < spheres; i++) {
            GSphere* sphere = new GSphere();
            sphere->center = HPoint(uniform01() * 10.0f, uniform01() * 10.0f, uniform01() * 10.0f);
            sphere->setRadius(0.1f + uniform01() * 0.6f);
            sphere->material = &material;
            objects.emplace_back(sphere);
            box.addObject(sphere);
        }
        ::testing::internal::CaptureStdout();
        box.build();
        ::testing::internal::GetCapturedStdout();
    }
};

HPoint randomPointNear(float low, float high) {
    return HPoint(low + uniform01() * (high - low), low + uniform01() * (high - low),
                  low + uniform01() * (high - low));
}

}  // namespace

TEST(GBoundingBoxTest, GridFindsTheSameNearestHitAsEveryObject) {
    seedRandom(41);
    RandomSoup soup(2000, 150);
    ASSERT_TRUE(soup.box.gridBuilt);
    int hits = 0, occluded = 0;
    for (int i = 0; i < 2000; i++) {
        // Origins inside and outside the box, directions anywhere.
        HPoint origin = randomPointNear(-4.0f, 14.0f);
        HPoint target = randomPointNear(0.0f, 10.0f);
        if (i % 5 == 0) target = HPoint(origin.x + uniform01() - 0.5f, origin.y, origin.z);  // near-axis rays
        GRay gridRay(0, origin, target.difference(origin));
        GRay plainRay(0, origin, target.difference(origin));
        HitRecord gridHit, plainHit;
        gridHit.t = plainHit.t = FLT_MAX;
        bool viaGrid = soup.box.intersect(gridRay, gridHit);
        bool viaAll = soup.box.intersectEveryObject(plainRay, plainHit);
        ASSERT_EQ(viaGrid, viaAll) << "ray " << i;
        if (!viaGrid) continue;
        hits++;
        ASSERT_EQ(gridHit.t, plainHit.t) << "ray " << i;
        if (gridHit.object == plainHit.object) {
            EXPECT_EQ(gridHit.point.x, plainHit.point.x);
            EXPECT_EQ(gridHit.normal.y, plainHit.normal.y);
        } else {
            // Only an exact tie may name another object.
            GRay check(0, origin, target.difference(origin));
            HitRecord again;
            again.t = FLT_MAX;
            ASSERT_TRUE(gridHit.object->intersect(check, again));
            ASSERT_EQ(again.t, plainHit.t);
        }

        // Occlusion up to a random distance.
        float limit = uniform01() * 20.0f;
        GRay gridShadow(0, origin, target.difference(origin));
        GRay plainShadow(0, origin, target.difference(origin));
        HPoint c1(1, 1, 1, 1), c2(1, 1, 1, 1);
        bool blockedGrid = soup.box.occludes(gridShadow, c1, limit);
        bool blockedAll = soup.box.occludesEveryObject(plainShadow, c2, limit);
        ASSERT_EQ(blockedGrid, blockedAll) << "shadow ray " << i;
        if (blockedGrid) occluded++;
    }
    EXPECT_GT(hits, 500);
    EXPECT_GT(occluded, 150);
}

// Slivers where the triangle's own projected test accepts points that an
// exact test would put outside: the grid must still agree with the triangle.
TEST(GBoundingBoxTest, SliversAreDecidedAsTheTriangleDecides) {
    struct Case {
        float origin[3], direction[3], corners[9];
        unsigned flags;
    };
    const Case cases[] = {
        {{0x1.95afacp+2f, 0x1.a66fccp+2f, 0x1.a64d4cp+1f},
         {-0x1.9c07b4p-1f, -0x1.eeec46p-2f, -0x1.60eb5ep-2f},
         {0x1.005fbap+2f, 0x1.5d812p+2f, 0x1.13c7bep+1f, 0x1.2fb7dp+2f, 0x1.222d6cp+2f, 0x1.9e1f2ep+1f,
          0x1.2d0c5ap+2f, 0x1.2585cap+2f, 0x1.96529cp+1f},
         1u},
        {{0x1.35127p-3f, 0x1.fdcbf8p-2f, -0x1.21ae44p+0f},
         {0x1.350df4p-1f, 0x1.347a94p-1f, 0x1.0b56c8p-1f},
         {0x1.bebc7cp+1f, 0x1.b8977ap+1f, 0x1.290c96p+1f, 0x1.c5da66p+1f, 0x1.d52432p+1f, 0x1.1015c6p+1f,
          0x1.d7c7ap+1f, 0x1.0e96aep+2f, 0x1.a235dap+0f},
         1u},
        {{0x1.c6678cp-1f, 0x1.6114c4p+0f, 0x1.164c2cp+1f},
         {0x1.019816p-1f, 0x1.ba6c4ap-1f, 0x1.c9d37cp-7f},
         {0x1.0eb9dcp+1f, 0x1.b48a0cp+0f, 0x1.7b26e2p+1f, 0x1.02676p+1f, 0x1.d0a794p+0f, 0x1.6bebf8p+1f,
          0x1.5d8432p+0f, 0x1.47c516p+1f, 0x1.0473ecp+1f},
         0u},
    };
    for (const Case& c : cases) {
        GMaterial material;
        GVertex corners[3];
        for (int k = 0; k < 3; k++) {
            corners[k].position = HPoint(c.corners[3 * k], c.corners[3 * k + 1], c.corners[3 * k + 2]);
            corners[k].normal = HPoint(0, 0, 1);
            corners[k].material = &material;
        }
        GInverseTriangle sliver;
        sliver.flags = c.flags;
        sliver.setVertices(&corners[0], &corners[1], &corners[2]);
        GBoundingBox box;
        box.addObject(&sliver);
        std::vector<std::unique_ptr<GSphere>> companions;
        for (int i = 0; i < 16; i++) {
            companions.emplace_back(new GSphere());
            companions.back()->center = HPoint(-5.0f - i, -5.0f, -5.0f);
            companions.back()->setRadius(0.1f);
            box.addObject(companions.back().get());
        }
        ::testing::internal::CaptureStdout();
        box.build();
        ::testing::internal::GetCapturedStdout();
        ASSERT_TRUE(box.gridBuilt);
        GRay viaGrid, viaAll;
        for (GRay* ray : {&viaGrid, &viaAll}) {
            ray->id = nextRayId();
            ray->origin = HPoint(c.origin[0], c.origin[1], c.origin[2]);
            ray->direction = HPoint(c.direction[0], c.direction[1], c.direction[2]);
            ray->updateInverse();
        }
        HitRecord a, b;
        a.t = b.t = FLT_MAX;
        bool expected = box.intersectEveryObject(viaAll, b);
        EXPECT_EQ(box.intersect(viaGrid, a), expected);
        EXPECT_EQ(a.t, b.t);
        EXPECT_EQ(a.object, b.object);
    }
}

// Slivers to a corner far along x make a box so thin that every target keeps
// millions of voxels along x; eight of them cannot fit the entry budget at any
// resolution: after the first fill fails no other is tried (each would make
// millions of entries only to drop them). A box of small objects fills once.
TEST(GBoundingBoxTest, GridsThatCannotFitTheirEntriesAreNotFilled) {
    GMaterial material;
    GVertex far, near[8];
    far.position = HPoint(-1.0e12f, 0.0f, 0.0f);
    far.material = &material;
    std::vector<std::unique_ptr<GInverseTriangle>> slivers;
    for (int i = 0; i < 8; i++) {
        near[i].position = HPoint(1.0f, (float)(i % 2), (float)(i / 2) * 0.25f);
        near[i].material = &material;
        slivers.emplace_back(new GInverseTriangle());
        slivers.back()->setVertices(&far, &near[i], &near[(i + 1) % 8]);
    }
    std::vector<std::unique_ptr<GSphere>> spheres;
    for (int i = 0; i < 16; i++) {
        spheres.emplace_back(new GSphere());
        spheres.back()->center = HPoint(0.1f * i, 0.5f, 0.5f);
        spheres.back()->setRadius(0.05f);
    }
    for (bool withSlivers : {true, false}) {
        SCOPED_TRACE(withSlivers ? "slivers" : "small objects only");
        GBoundingBox box;
        for (int i = 0; i < 8; i++)
            box.addObject(spheres[i].get());
        for (int i = 0; i < 8; i++)
            box.addObject(withSlivers ? (GSceneObject*)slivers[i].get() : spheres[8 + i].get());
        ::testing::internal::CaptureStdout();
        box.build();
        std::string out = ::testing::internal::GetCapturedStdout();
        if (withSlivers) {
            EXPECT_NE(
                out.find("grid needs too many voxel entries; objects are tested one by one\n"),
                std::string::npos);
            EXPECT_FALSE(box.gridBuilt);
            EXPECT_EQ(box.fillsMade, 1); // the first, which fails; none after it
        } else {
            EXPECT_TRUE(box.gridBuilt);
            EXPECT_EQ(box.fillsMade, 1);
        }
    }
}

// Sixteen triangles along a box ten million times longer than wide: the cube
// rule gives tens of thousands of voxels along its length even for one voxel
// wanted, and every triangle would fill all of them. The grid keeps to its
// entries (with a coarser grid or by testing the objects one by one), and it
// finds what testing every object finds.
TEST(GBoundingBoxTest, ThinBoxesKeepToTheirEntryBudget) {
    GMaterial material;
    std::vector<std::unique_ptr<GVertex>> corners;
    std::vector<std::unique_ptr<GInverseTriangle>> triangles;
    GBoundingBox box;
    for (int i = 0; i < 16; i++) {
        float y = (float)(i % 4) * 0.25f, z = (float)(i / 4) * 0.25f;
        for (const HPoint& p :
             {HPoint(0.0f, y, z), HPoint(1.0e7f, y, z), HPoint(1.0e7f, y + 0.2f, z)}) {
            corners.emplace_back(new GVertex());
            corners.back()->position = p;
            corners.back()->material = &material;
        }
        triangles.emplace_back(new GInverseTriangle());
        size_t n = corners.size();
        triangles.back()->setVertices(corners[n - 3].get(), corners[n - 2].get(),
                                      corners[n - 1].get());
        box.addObject(triangles.back().get());
    }
    ::testing::internal::CaptureStdout();
    box.build();
    ::testing::internal::GetCapturedStdout();
    // 32 entries per object and a quarter of a million more.
    EXPECT_LE(box.voxels.entryCount(), (size_t)(32 * 16 + 262144));
    for (int i = 0; i < 16; i++) {
        GRay viaGrid, viaAll;
        for (GRay* ray : {&viaGrid, &viaAll}) {
            ray->id = nextRayId();
            ray->origin =
                HPoint(5.0e6f, (float)(i % 4) * 0.25f + 0.05f, (float)(i / 4) * 0.25f + 5.0f);
            ray->direction = HPoint(0.0f, 0.0f, -1.0f);
            ray->updateInverse();
        }
        HitRecord a, b;
        a.t = b.t = FLT_MAX;
        bool expected = box.intersectEveryObject(viaAll, b);
        EXPECT_EQ(box.intersect(viaGrid, a), expected);
        EXPECT_EQ(a.object, b.object);
    }
}

TEST(GBoundingBoxTest, SurfaceStampsStillHoldThroughTheGrid) {
    seedRandom(7);
    RandomSoup soup(400, 0);
    // A ray leaving a triangle that stamped it must not hit it again.
    for (int i = 0; i < 300; i++) {
        HPoint origin = randomPointNear(-2.0f, 12.0f);
        HPoint target = randomPointNear(2.0f, 8.0f);
        GRay ray(0, origin, target.difference(origin));
        HitRecord hit;
        hit.t = FLT_MAX;
        if (!soup.box.intersect(ray, hit)) continue;
        GRay leaving(0, hit.point, ray.direction);
        hit.object->clearRayStamp(leaving.id);
        HitRecord next;
        next.t = FLT_MAX;
        if (soup.box.intersect(leaving, next)) {
            EXPECT_NE(next.object, hit.object);
        }
    }
}

TEST(GBoundingBoxTest, PrepareGathersFifteenObjectsAndKeepsPlanesOutside) {
    SettingsGuard guard;
    minObjectsInGrid = 15;
    GScene scene;
    for (int i = 0; i < 15; i++) {
        GSphere* sphere = new GSphere();
        sphere->center = HPoint((float)i * 3.0f, 0, 0);
        sphere->setRadius(1.0f);
        scene.objects.add(sphere);  // deliberately not in allObjects
    }
    GPlane* plane = new GPlane();
    plane->origin = HPoint(0, -5, 0);
    plane->normal = HPoint(0, 1, 0);
    plane->setUp();
    scene.objects.add(plane);
    scene.allObjects.add(plane);
    scene.prepare();
    ASSERT_EQ(scene.objects.count, 2);
    ASSERT_TRUE(scene.objects[0]->isKindOf(ClassId::GBoundingBox));
    EXPECT_EQ(scene.objects[1], plane);
    GBoundingBox* grid = static_cast<GBoundingBox*>(scene.objects[0]);
    EXPECT_EQ(grid->objects.count, 15);
    EXPECT_FALSE(grid->gridBuilt);  // 15 is not more than 15
    // The spheres are now owned through allObjects (no leak, no double delete).
    EXPECT_EQ(scene.allObjects.count, 16);

    GRay down(0, HPoint(6, 10, 0), HPoint(0, -1, 0));
    HitRecord hit;
    hit.t = FLT_MAX;
    EXPECT_TRUE(scene.closestHit(down, hit));
    EXPECT_EQ(hit.object, grid->objects[2]);
    GRay miss(0, HPoint(1.5f, 10, 0), HPoint(0, -1, 0));
    hit.t = FLT_MAX;
    EXPECT_TRUE(scene.closestHit(miss, hit));
    EXPECT_EQ(hit.object, plane);

    GScene few;
    for (int i = 0; i < 14; i++) few.objects.add(new GSphere());
    few.prepare();
    EXPECT_EQ(few.objects.count, 14);
}

TEST(GBoundingBoxTest, ExportWritesTrianglesSpheresAndNestedBoxes) {
    GMaterial material;
    GVertex v[3];
    v[0].position = HPoint(0, 0, 0);
    v[1].position = HPoint(1, 0, 0);
    v[2].position = HPoint(0, 1, 0);
    v[0].normal = HPoint(0, 0, 1);
    for (GVertex& vertex : v) vertex.material = &material;
    GTriangle triangle;
    triangle.setVertices(&v[0], &v[1], &v[2]);
    GInverseTriangle inverse;
    inverse.setVertices(&v[0], &v[1], &v[2]);
    GSphere sphere;
    sphere.material = &material;
    sphere.setRadius(2);

    std::string dir = makeScratchDir();
    std::string path = dir + "/export.xml";
    GBoundingBox empty, inverseOnly, mixed;
    inverseOnly.addObject(&inverse);
    mixed.addObject(&triangle);
    mixed.addObject(&sphere);
    mixed.addObject(&inverseOnly);
    FILE* file = std::fopen(path.c_str(), "w");
    empty.emitVrml(file);
    inverseOnly.emitVrml(file);
    std::fclose(file);
    EXPECT_EQ(readWholeFile(path), "");

    file = std::fopen(path.c_str(), "w");
    mixed.emitVrml(file);
    std::fclose(file);
    // The sphere's own export, then the shader and the triangle mesh.
    std::string sphereFile = dir + "/sphere.xml";
    file = std::fopen(sphereFile.c_str(), "w");
    sphere.emitVrml(file);
    std::fprintf(file, "\n");
    material.writeXML(file);
    std::fclose(file);
    char header[160];
    std::snprintf(header, sizeof header, "<object name='ply%" PRIxPTR "' shader_name='s%" PRIxPTR "'> <attributes />\n",
                  (uintptr_t)&mixed, (uintptr_t)&material);
    std::string expected = readWholeFile(sphereFile) + header +
                           "<mesh autosmooth='35'>\n<points>\n"
                           "  <p x='0' y='0' z='0' nx='0' ny='0' nz='1'/>\n"
                           "  <p x='1' y='0' z='0' nx='0' ny='0' nz='0'/>\n"
                           "  <p x='0' y='1' z='0' nx='0' ny='0' nz='0'/>\n"
                           "</points>\n<faces>\n  <f a='0' b='1' c='2'/>\n</faces>\n</mesh>\n</object>\n";
    EXPECT_EQ(readWholeFile(path), expected);
}

namespace {

// A torus of quads in the 'n' polygon format, with its vertex normals.
std::string torusMesh(float major, float minor, int around, int across) {
    std::string text = "n torus\n" + std::to_string(around * across) + "\n";
    char line[160];
    for (int i = 0; i < around; i++) {
        for (int j = 0; j < across; j++) {
            text += "4\n";
            const int corners[4][2] = {{i, j}, {i + 1, j}, {i + 1, j + 1}, {i, j + 1}};
            for (const auto& corner : corners) {
                double u = 6.283185307179586 * corner[0] / around, v = 6.283185307179586 * corner[1] / across;
                double nx = std::cos(u) * std::cos(v), ny = std::sin(v), nz = std::sin(u) * std::cos(v);
                std::snprintf(line, sizeof line, "%.6f %.6f %.6f %.6f %.6f %.6f\n", major * std::cos(u) + minor * nx,
                              minor * ny, major * std::sin(u) + minor * nz, nx, ny, nz);
                text += line;
            }
        }
    }
    return text;
}

}  // namespace

TEST(GBoundingBoxTest, GridAndNoGridRenderTheSameImage) {
    std::string dir = makeScratchDir();
    writeWholeFile(dir + "/torus.n", torusMesh(1.0f, 0.35f, 32, 12));
    std::string scene =
        "view { view_from_pt 0 3 7 view_to_pt 0 0.4 0 view_up_vec 0 1 0 fovy 0.8 image_size 48 36\n"
        "  background_color 0.1 0.1 0.2 ambient_color 0.1 0.1 0.1 tree_depth 3 }\n"
        "plane { origin 0 -0.4 0 normal 0 1 0 u_direction 1 0 0 diffuse_color 0.6 0.6 0.5 "
        "reflectivity 0.2 0.2 0.2 }\n"
        "shape { file \"torus.n\" diffuse_color 0.9 0.4 0.1 specular_color 0.5 0.5 0.5 phong_constant 30\n"
        "  rotation 0.4 0 0 translation -1.2 0.3 0 }\n"
        "shape { file \"" + std::string(VELK_CORPUS_DIR) + "/ply/bun_zipper_res4.ply\" diffuse_color 0.7 0.7 0.9 "
        "  reflectivity 0.3 0.3 0.3 scale 12 12 12 translation 1.3 -0.8 0 }\n";
    for (int i = 0; i < 20; i++) {
        double angle = 6.283185307179586 * i / 20;
        char sphere[200];
        std::snprintf(sphere, sizeof sphere,
                      "sphere { center %.4f -0.15 %.4f radius 0.25 diffuse_color %.2f 0.5 %.2f "
                      "transmitivity %s refraction 1.3 }\n",
                      3.0 * std::cos(angle), 3.0 * std::sin(angle) - 0.5, 0.2 + 0.04 * i, 0.9 - 0.04 * i,
                      i % 4 == 0 ? "0.5 0.5 0.5" : "0 0 0");
        scene += sphere;
    }
    scene += "point_light { location -3 6 5 emissive_color 70 70 70 }\n"
             "point_light { location 4 3 2 emissive_color 12 10 8 }\n";
    writeWholeFile(dir + "/scene.txt", scene);

    CommandResult grid = runVelk(dir, "scene.txt -seed 5 -o grid.ppm");
    CommandResult plain = runVelk(dir, "scene.txt -seed 5 -minObjectsInGrid 100000 -o plain.ppm");
    ASSERT_EQ(grid.status, 0) << grid.err;
    ASSERT_EQ(plain.status, 0) << plain.err;
    // The grid run voxelised the torus (384 quads), the bunny (948) and the scene.
    EXPECT_NE(grid.out.find("total triangles = 948"), std::string::npos);
    EXPECT_NE(grid.out.find("scene objects: 2."), std::string::npos);
    EXPECT_NE(plain.out.find("scene objects: 23."), std::string::npos);
    EXPECT_EQ(plain.out.find("vx="), std::string::npos);
    std::string gridImage = readWholeFile(dir + "/grid.ppm");
    std::string plainImage = readWholeFile(dir + "/plain.ppm");
    ASSERT_GT(gridImage.size(), 48u * 36u * 3u);
    EXPECT_TRUE(gridImage == plainImage);
    // Not a blank picture: the meshes and spheres show.
    std::set<std::string> colours;
    size_t start = gridImage.size() - 48 * 36 * 3;
    for (size_t p = start; p < gridImage.size(); p += 3) colours.insert(gridImage.substr(p, 3));
    EXPECT_GT(colours.size(), 200u);
}
