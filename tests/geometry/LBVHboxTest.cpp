#include "geometry/LBVHbox.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "foundation/Random.h"
#include "foundation/Settings.h"
#include "geometry/GTriangle.h"
#include "geometry/GVertex.h"

namespace {

// A triangle that is not a GTriangle, so the box must call it through the
// virtual interface; it counts the calls it gets.
class CountingTriangle : public GSceneObject {
public:
    CountingTriangle(const HPoint& a, const HPoint& b, const HPoint& c) : p0(a), p1(b), p2(c) {}
    bool intersect(GRay& ray, HitRecord& hit) override {
        calls++;
        HPoint e1 = p1.difference(p0), e2 = p2.difference(p0);
        HPoint p = ray.direction.cross(e2);
        float det = e1.dot(p);
        if (det > -1e-6f && det < 1e-6f)
            return false;
        float inv = 1.0f / det;
        HPoint s = ray.origin.difference(p0);
        float u = s.dot(p) * inv;
        if (u < 0.0f || u > 1.0f)
            return false;
        HPoint q = s.cross(e1);
        float v = inv * ray.direction.dot(q);
        if (v < 0.0f || u + v > 1.0f)
            return false;
        float t = inv * e2.dot(q);
        if (t < epsilon || t > hit.t)
            return false;
        hit.t = t;
        hit.object = this;
        return true;
    }
    void getBounds(HPoint& min, HPoint& max) override {
        min = p0;
        min.componentMin(p1);
        min.componentMin(p2);
        max = p0;
        max.componentMax(p1);
        max.componentMax(p2);
    }
    HPoint p0, p1, p2;
    int calls = 0;
};

HPoint randomPoint(float scale) {
    return HPoint((uniform01() * 2.0f - 1.0f) * scale, (uniform01() * 2.0f - 1.0f) * scale,
                  (uniform01() * 2.0f - 1.0f) * scale);
}

// Owns the vertices and triangles of a mesh made of GTriangles.
struct TriangleMesh {
    std::vector<std::unique_ptr<GVertex>> vertices;
    std::vector<std::unique_ptr<GTriangle>> triangles;

    GVertex* addVertex(const HPoint& position) {
        vertices.emplace_back(new GVertex());
        vertices.back()->position = position;
        vertices.back()->normal = HPoint(0.0f, 0.0f, 1.0f, 1.0f);
        return vertices.back().get();
    }
    GTriangle* addTriangle(GVertex* a, GVertex* b, GVertex* c) {
        triangles.emplace_back(new GTriangle());
        triangles.back()->setVertices(a, b, c);
        return triangles.back().get();
    }
};

// n random triangles of size about `size` inside [-1, 1]^3.
void makeSoup(TriangleMesh& mesh, int n, float size) {
    for (int i = 0; i < n; i++) {
        HPoint center = randomPoint(1.0f);
        GVertex* a = mesh.addVertex(center.sum(randomPoint(size)));
        GVertex* b = mesh.addVertex(center.sum(randomPoint(size)));
        GVertex* c = mesh.addVertex(center.sum(randomPoint(size)));
        mesh.addTriangle(a, b, c);
    }
}

// Minimal ASCII PLY reader: x y z first on each vertex line, "n i0 i1 ..."
// faces fanned into triangles.
bool loadAsciiPly(const std::string& path, TriangleMesh& mesh) {
    FILE* file = std::fopen(path.c_str(), "r");
    if (!file)
        return false;
    char line[256];
    int vertexCount = 0, faceCount = 0;
    while (std::fgets(line, sizeof line, file)) {
        std::sscanf(line, "element vertex %d", &vertexCount);
        std::sscanf(line, "element face %d", &faceCount);
        if (std::strncmp(line, "end_header", 10) == 0)
            break;
    }
    std::vector<GVertex*> corners;
    for (int i = 0; i < vertexCount && std::fgets(line, sizeof line, file); i++) {
        float x, y, z;
        if (std::sscanf(line, "%f %f %f", &x, &y, &z) != 3)
            break;
        corners.push_back(mesh.addVertex(HPoint(x, y, z)));
    }
    for (int i = 0; i < faceCount; i++) {
        int n;
        if (std::fscanf(file, "%d", &n) != 1)
            break;
        std::vector<int> index(n > 0 ? n : 0);
        for (int k = 0; k < n; k++) {
            if (std::fscanf(file, "%d", &index[k]) != 1)
                index[k] = -1;
        }
        for (int k = 1; k + 1 < n; k++) {
            int a = index[0], b = index[k], c = index[k + 1];
            int size = (int)corners.size();
            if (a < 0 || b < 0 || c < 0 || a >= size || b >= size || c >= size)
                continue;
            mesh.addTriangle(corners[a], corners[b], corners[c]);
        }
    }
    std::fclose(file);
    return true;
}

int childCount(const LBVHbox& box, int node) {
    int count = 0;
    for (int child = 4 * node + 1; child <= 4 * node + 4; child++) {
        if (child < box.nodeCount)
            count++;
    }
    return count;
}

bool isEmptyNode(const LBVHNode& n) {
    return n.x0 == 1 && n.y0 == 1 && n.z0 == 1 && n.x1 == 0 && n.y1 == 0 && n.z1 == 0;
}

// Every leaf's box contains its object's box (in exact arithmetic), every
// internal box contains its children's boxes, and exactly the leaves from F
// to F + count - 1 are non-empty.
void expectBoxesContainObjects(LBVHbox& box) {
    int count = box.builtObjectCount();
    int first = box.firstLeaf();
    ASSERT_EQ(box.nodeCount % 4, 1);
    ASSERT_GE(box.nodeCount - first, count);
    for (int node = first; node < box.nodeCount; node++) {
        const LBVHNode& n = box.nodes[node];
        int object = node - first;
        if (object >= count) {
            EXPECT_TRUE(isEmptyNode(n)) << "leaf " << node;
            continue;
        }
        HPoint lo, hi;
        box.objects[object]->getBounds(lo, hi);
        double q[3] = {box.quantum[0], box.quantum[1], box.quantum[2]};
        EXPECT_LE((double)box.boxMin.x + n.x0 * q[0], (double)lo.x) << "leaf " << node;
        EXPECT_LE((double)box.boxMin.y + n.y0 * q[1], (double)lo.y) << "leaf " << node;
        EXPECT_LE((double)box.boxMin.z + n.z0 * q[2], (double)lo.z) << "leaf " << node;
        EXPECT_GE((double)box.boxMin.x + n.x1 * q[0], (double)hi.x) << "leaf " << node;
        EXPECT_GE((double)box.boxMin.y + n.y1 * q[1], (double)hi.y) << "leaf " << node;
        EXPECT_GE((double)box.boxMin.z + n.z1 * q[2], (double)hi.z) << "leaf " << node;
    }
    for (int node = 0; node < first; node++) {
        const LBVHNode& n = box.nodes[node];
        for (int child = 4 * node + 1; child <= 4 * node + 4; child++) {
            const LBVHNode& c = box.nodes[child];
            if (isEmptyNode(c))
                continue;
            EXPECT_FALSE(isEmptyNode(n)) << "node " << node;
            EXPECT_TRUE(n.x0 <= c.x0 && n.y0 <= c.y0 && n.z0 <= c.z0)
                << "node " << node << " child " << child;
            EXPECT_TRUE(n.x1 >= c.x1 && n.y1 >= c.y1 && n.z1 >= c.z1)
                << "node " << node << " child " << child;
        }
    }
}

// Random rays through and around [-extent, extent]^3: half aimed at points
// inside, half random. Compares the tree with testing every object.
void expectSameAnswersAsEveryObject(LBVHbox& box, float extent, int rays) {
    int hits = 0, blocked = 0;
    for (int i = 0; i < rays; i++) {
        HPoint origin = randomPoint(extent * 2.0f);
        HPoint direction =
            (i % 2 == 0) ? randomPoint(extent).difference(origin) : randomPoint(1.0f);
        if (direction.length() == 0.0f)
            continue;
        GRay ray(0, origin, direction);

        HitRecord expected, actual;
        expected.t = actual.t = 1e30f;
        bool expectHit = box.intersectEveryObject(ray, expected);
        bool gotHit = box.intersect(ray, actual);
        ASSERT_EQ(expectHit, gotHit) << "ray " << i;
        if (expectHit) {
            hits++;
            ASSERT_EQ(expected.t, actual.t) << "ray " << i;
            if (expected.object != actual.object) {
                // A tie between two objects at the same distance: either may win.
                HitRecord again;
                again.t = actual.t;
                ASSERT_TRUE(expected.object->intersect(ray, again)) << "ray " << i;
                ASSERT_EQ(again.t, actual.t);
            } else {
                EXPECT_EQ(expected.point.x, actual.point.x);
                EXPECT_EQ(expected.point.y, actual.point.y);
                EXPECT_EQ(expected.point.z, actual.point.z);
                EXPECT_EQ(expected.normal.x, actual.normal.x);
                EXPECT_EQ(expected.geometricNormal.z, actual.geometricNormal.z);
                EXPECT_EQ(expected.texCoord.x, actual.texCoord.x);
            }
        }

        // Shadow test up to a random limit, with a fresh id for the mailbox.
        float limit = uniform01() * 4.0f * extent;
        GRay shadowRay(0, origin, direction);
        HPoint colorA(1.0f, 1.0f, 1.0f), colorB(1.0f, 1.0f, 1.0f);
        bool expectBlocked = box.occludesEveryObject(shadowRay, colorA, limit);
        bool gotBlocked = box.occludes(shadowRay, colorB, limit);
        ASSERT_EQ(expectBlocked, gotBlocked) << "shadow ray " << i;
        if (expectBlocked)
            blocked++;
    }
    // The rays must actually exercise hits and misses.
    EXPECT_GT(hits, 0);
    EXPECT_LT(hits, rays);
    EXPECT_GT(blocked, 0);
}

} // namespace

// The answer tests run once for each traversal: the baseline one, the AVX2
// and FMA one and the AVX-512 one (each skipped where the processor lacks it).
static std::string traversalName(LBVHbox::Traversal kind) {
    switch (kind) {
    case LBVHbox::Traversal::baseline:
        return "Baseline";
    case LBVHbox::Traversal::fused:
        return "Fused";
    default:
        return "Wide";
    }
}

class LBVHboxTraversalTest : public ::testing::TestWithParam<LBVHbox::Traversal> {
protected:
    void SetUp() override {
        saved = LBVHbox::traversal;
        if (!LBVHbox::supports(GetParam()))
            GTEST_SKIP() << "the processor lacks this traversal's instructions";
        LBVHbox::traversal = GetParam();
    }
    void TearDown() override { LBVHbox::traversal = saved; }
    LBVHbox::Traversal saved = LBVHbox::Traversal::baseline;
};

INSTANTIATE_TEST_SUITE_P(EachTraversal, LBVHboxTraversalTest,
                         ::testing::Values(LBVHbox::Traversal::baseline, LBVHbox::Traversal::fused,
                                           LBVHbox::Traversal::wide),
                         [](const ::testing::TestParamInfo<LBVHbox::Traversal>& info) {
                             return traversalName(info.param);
                         });

TEST(LBVHboxTest, NodeCountsFollowObjectCount) {
    // (objects, N): two and three objects give a root and four leaves.
    const int cases[][2] = {{0, 1}, {1, 1}, {2, 5},  {3, 5},   {4, 5},
                            {5, 9}, {7, 9}, {8, 13}, {16, 21}, {100, 133}};
    for (const auto& c : cases) {
        seedRandom(7);
        LBVHbox box;
        std::vector<std::unique_ptr<CountingTriangle>> objects;
        for (int i = 0; i < c[0]; i++) {
            HPoint p = randomPoint(1.0f);
            objects.emplace_back(
                new CountingTriangle(p, p.sum(HPoint(0.1f, 0, 0)), p.sum(HPoint(0, 0.1f, 0))));
            box.addObject(objects.back().get());
        }
        box.build();
        EXPECT_EQ(box.nodeCount, c[1]) << c[0] << " objects";
        EXPECT_EQ(box.nodeCount % 4, 1);
        EXPECT_EQ(box.builtObjectCount(), c[0]);
        if (box.nodeCount > 1) {
            EXPECT_EQ(box.firstLeaf(), (box.nodeCount - 2) / 4 + 1);
            // Every leaf index maps to a slot; internal nodes have four children.
            EXPECT_EQ(childCount(box, box.firstLeaf() - 1), 4);
        }
        expectBoxesContainObjects(box);
    }
}

TEST(LBVHboxTest, TwoObjectsLeaveTwoEmptyLeaves) {
    CountingTriangle a(HPoint(0, 0, 0), HPoint(1, 0, 0), HPoint(0, 1, 0));
    CountingTriangle b(HPoint(2, 0, 0), HPoint(3, 0, 0), HPoint(2, 1, 0));
    LBVHbox box;
    box.addObject(&a);
    box.addObject(&b);
    box.build();
    ASSERT_EQ(box.nodeCount, 5);
    EXPECT_FALSE(isEmptyNode(box.nodes[1]));
    EXPECT_FALSE(isEmptyNode(box.nodes[2]));
    EXPECT_TRUE(isEmptyNode(box.nodes[3]));
    EXPECT_TRUE(isEmptyNode(box.nodes[4]));
    // The root is the widened box itself: lower faces at 0.
    EXPECT_EQ(box.nodes[0].x0, 0);
    EXPECT_EQ(box.nodes[0].y0, 0);
    EXPECT_EQ(box.nodes[0].z0, 0);
    EXPECT_GE(box.nodes[0].x1, 32760);
    EXPECT_FLOAT_EQ(box.boxMin.x, -epsilon);
    EXPECT_FLOAT_EQ(box.boxMax.x, 3.0f + epsilon);
    EXPECT_FLOAT_EQ(box.quantum[0], (3.0f + 2.0f * epsilon) / 32760.0f);
    expectBoxesContainObjects(box);
}

TEST(LBVHboxTest, ObjectsAreReorderedSoThatLeafLHoldsObjectLMinusF) {
    // Five objects along x, added out of order. N = 9, F = 2, D = 5: the fill
    // puts o0, o1 under node 1 (leaves 5 and 6) and o2, o3, o4 in leaves 2, 3,
    // 4, so the leaf order is o2 o3 o4 o0 o1.
    std::vector<std::unique_ptr<CountingTriangle>> o;
    for (int k = 0; k < 5; k++) {
        float x = 2.0f * k;
        o.emplace_back(
            new CountingTriangle(HPoint(x, 0, 0), HPoint(x + 1, 0, 0), HPoint(x, 0.5f, 0.5f)));
    }
    LBVHbox box;
    const int addOrder[5] = {3, 0, 4, 1, 2};
    for (int k : addOrder)
        box.addObject(o[k].get());
    box.build();
    ASSERT_EQ(box.nodeCount, 9);
    ASSERT_EQ(box.firstLeaf(), 2);
    const int expected[5] = {2, 3, 4, 0, 1};
    for (int i = 0; i < 5; i++)
        EXPECT_EQ(box.objects[i], o[expected[i]].get()) << "slot " << i;
    EXPECT_TRUE(isEmptyNode(box.nodes[7]));
    EXPECT_TRUE(isEmptyNode(box.nodes[8]));
    expectBoxesContainObjects(box);
}

TEST(LBVHboxTest, EmptyBoxAnswersNothing) {
    LBVHbox box;
    box.build();
    EXPECT_EQ(box.nodeCount, 1);
    GRay ray(0, HPoint(0, 0, -5), HPoint(0, 0, 1));
    HitRecord hit;
    hit.t = 1e30f;
    EXPECT_FALSE(box.intersect(ray, hit));
    HPoint color(1, 1, 1);
    GRay shadow(0, HPoint(0, 0, -5), HPoint(0, 0, 1));
    EXPECT_FALSE(box.occludes(shadow, color, 1e30f));
    GRay fresh;
    EXPECT_FALSE(box.intersect(fresh, hit)); // id 0 against a fresh mailbox: still nothing to hit
}

TEST(LBVHboxTest, OneObjectIsASingleLeaf) {
    CountingTriangle a(HPoint(-1, -1, 0), HPoint(1, -1, 0), HPoint(0, 1, 0));
    LBVHbox box;
    box.addObject(&a);
    box.build();
    ASSERT_EQ(box.nodeCount, 1);
    EXPECT_EQ(box.firstLeaf(), 0);
    expectBoxesContainObjects(box);

    GRay ray(0, HPoint(0, 0, -5), HPoint(0, 0, 1));
    HitRecord hit;
    hit.t = 1e30f;
    ASSERT_TRUE(box.intersect(ray, hit));
    EXPECT_EQ(hit.object, &a);
    EXPECT_FLOAT_EQ(hit.t, 5.0f);
    GRay shadow(0, HPoint(0, 0, -5), HPoint(0, 0, 1));
    HPoint color(1, 1, 1);
    EXPECT_TRUE(box.occludes(shadow, color, 10.0f));
    GRay shortShadow(0, HPoint(0, 0, -5), HPoint(0, 0, 1));
    EXPECT_FALSE(box.occludes(shortShadow, color, 4.0f));

    // A ray that misses the box never reaches the object.
    int before = a.calls;
    GRay miss(0, HPoint(5, 5, -5), HPoint(0, 0, 1));
    hit.t = 1e30f;
    EXPECT_FALSE(box.intersect(miss, hit));
    EXPECT_EQ(a.calls, before);
}

TEST_P(LBVHboxTraversalTest, MailboxAndMissedBox) {
    seedRandom(11);
    std::vector<std::unique_ptr<CountingTriangle>> objects;
    LBVHbox box;
    for (int i = 0; i < 50; i++) {
        HPoint p = randomPoint(1.0f);
        objects.emplace_back(
            new CountingTriangle(p, p.sum(HPoint(0.3f, 0, 0)), p.sum(HPoint(0, 0.3f, 0))));
        box.addObject(objects.back().get());
    }
    box.build();

    // A ray that passes beside the whole box calls no object at all.
    GRay miss(0, HPoint(5, 5, -5), HPoint(0, 0, 1));
    HitRecord hit;
    hit.t = 1e30f;
    EXPECT_FALSE(box.intersect(miss, hit));
    HPoint color(1, 1, 1);
    GRay missShadow(0, HPoint(5, 5, -5), HPoint(0, 0, 1));
    EXPECT_FALSE(box.occludes(missShadow, color, 1e30f));
    for (auto& o : objects)
        EXPECT_EQ(o->calls, 0);

    // The same ray id twice: the second query answers no hit.
    GRay ray(0, HPoint(0, 0, -5), HPoint(0, 0, 1));
    HitRecord first;
    first.t = 1e30f;
    bool firstHit = box.intersect(ray, first);
    HitRecord second;
    second.t = 1e30f;
    EXPECT_FALSE(box.intersect(ray, second));
    // setRayStamp marks a ray as seen; a new id is answered again.
    GRay next(0, HPoint(0, 0, -5), HPoint(0, 0, 1));
    box.setRayStamp(next.id);
    EXPECT_FALSE(box.intersect(next, second));
    GRay again(0, HPoint(0, 0, -5), HPoint(0, 0, 1));
    HitRecord third;
    third.t = 1e30f;
    EXPECT_EQ(box.intersect(again, third), firstHit);
}

TEST_P(LBVHboxTraversalTest, VirtualObjectsMatchTestingEveryObject) {
    seedRandom(1234);
    std::vector<std::unique_ptr<CountingTriangle>> objects;
    LBVHbox box;
    for (int i = 0; i < 700; i++) {
        HPoint center = randomPoint(1.0f);
        objects.emplace_back(new CountingTriangle(center.sum(randomPoint(0.15f)),
                                                  center.sum(randomPoint(0.15f)),
                                                  center.sum(randomPoint(0.15f))));
        box.addObject(objects.back().get());
    }
    box.build();
    EXPECT_FALSE(box.usesTriangleArray());
    expectBoxesContainObjects(box);
    expectSameAnswersAsEveryObject(box, 1.0f, 3000);
}

TEST_P(LBVHboxTraversalTest, TriangleSoupsMatchTestingEveryObject) {
    const int sizes[] = {2, 3, 5, 17, 64, 255, 256, 1000, 3000};
    for (int n : sizes) {
        seedRandom(100 + n);
        TriangleMesh mesh;
        makeSoup(mesh, n, n < 100 ? 0.5f : 0.1f);
        LBVHbox box;
        for (auto& t : mesh.triangles)
            box.addObject(t.get());
        box.build();
        EXPECT_TRUE(box.usesTriangleArray()) << n;
        expectBoxesContainObjects(box);
        expectSameAnswersAsEveryObject(box, 1.0f, n < 100 ? 400 : 1000);
    }
}

// Every triangle three times over, so every hit is a tie: each traversal must
// name the object testing every object names (the last of them), whatever
// its visiting order. Sizes give trees of each depth parity.
TEST_P(LBVHboxTraversalTest, TiesGoToTheObjectTestedLast) {
    for (int n : {7, 60, 400}) {
        seedRandom(500 + n);
        TriangleMesh mesh;
        for (int i = 0; i < n; i++) {
            HPoint center = randomPoint(1.0f);
            GVertex* a = mesh.addVertex(center.sum(randomPoint(0.3f)));
            GVertex* b = mesh.addVertex(center.sum(randomPoint(0.3f)));
            GVertex* c = mesh.addVertex(center.sum(randomPoint(0.3f)));
            for (int copy = 0; copy < 3; copy++)
                mesh.addTriangle(a, b, c);
        }
        LBVHbox box;
        for (auto& t : mesh.triangles)
            box.addObject(t.get());
        box.build();
        int hits = 0;
        for (int i = 0; i < 500; i++) {
            // Aimed at a triangle's corner region, so most rays hit.
            HPoint origin = randomPoint(2.0f);
            HPoint target =
                mesh.vertices[i % mesh.vertices.size()]->position.sum(randomPoint(0.05f));
            GRay ray(0, origin, target.difference(origin));
            HitRecord expected, actual;
            expected.t = actual.t = 1e30f;
            bool expectHit = box.intersectEveryObject(ray, expected);
            ASSERT_EQ(expectHit, box.intersect(ray, actual)) << n << " ray " << i;
            if (expectHit) {
                hits++;
                ASSERT_EQ(expected.t, actual.t) << n << " ray " << i;
                ASSERT_EQ(expected.object, actual.object) << n << " ray " << i;
            }
        }
        EXPECT_GT(hits, 100) << n;
    }
}

TEST_P(LBVHboxTraversalTest, BunnyMatchesTestingEveryObject) {
    TriangleMesh mesh;
    ASSERT_TRUE(loadAsciiPly(std::string(VELK_CORPUS_DIR) + "/ply/bun_zipper_res4.ply", mesh));
    ASSERT_EQ(mesh.triangles.size(), 948u);
    LBVHbox box;
    for (auto& t : mesh.triangles)
        box.addObject(t.get());
    box.build();
    EXPECT_TRUE(box.usesTriangleArray());
    expectBoxesContainObjects(box);

    // Rays from around the bunny (centre about (-0.03, 0.11, 0), size 0.15).
    seedRandom(99);
    HPoint center(-0.0268f, 0.1095f, 0.0068f);
    int hits = 0;
    for (int i = 0; i < 4000; i++) {
        HPoint origin = center.sum(randomPoint(0.3f));
        HPoint target = center.sum(randomPoint(0.08f));
        GRay ray(0, origin, target.difference(origin));
        HitRecord expected, actual;
        expected.t = actual.t = 1e30f;
        bool expectHit = box.intersectEveryObject(ray, expected);
        ASSERT_EQ(box.intersect(ray, actual), expectHit) << "ray " << i;
        if (expectHit) {
            hits++;
            ASSERT_EQ(expected.t, actual.t) << "ray " << i;
        }
        GRay shadow(0, origin, target.difference(origin));
        HPoint colorA(1, 1, 1), colorB(1, 1, 1);
        float limit = target.difference(origin).length();
        ASSERT_EQ(box.occludes(shadow, colorA, limit),
                  box.occludesEveryObject(shadow, colorB, limit))
            << "ray " << i;
    }
    EXPECT_GT(hits, 1000);
}

TEST_P(LBVHboxTraversalTest, AxisAlignedRaysAndFlatMeshWithoutEpsilon) {
    // A flat grid in z = 2 with epsilon 0: the z extent is zero, which must
    // not divide by zero; axis-parallel rays (infinite inverse components)
    // still find every cell.
    float savedEpsilon = epsilon;
    epsilon = 0.0f;
    TriangleMesh mesh;
    const int n = 8;
    std::vector<GVertex*> grid;
    for (int i = 0; i <= n; i++) {
        for (int j = 0; j <= n; j++)
            grid.push_back(mesh.addVertex(HPoint((float)j, (float)i, 2.0f)));
    }
    for (int i = 0; i < n; i++) {
        for (int j = 0; j < n; j++) {
            GVertex* a = grid[i * (n + 1) + j];
            GVertex* b = grid[i * (n + 1) + j + 1];
            GVertex* c = grid[(i + 1) * (n + 1) + j];
            GVertex* d = grid[(i + 1) * (n + 1) + j + 1];
            mesh.addTriangle(a, b, d);
            mesh.addTriangle(a, d, c);
        }
    }
    LBVHbox box;
    for (auto& t : mesh.triangles)
        box.addObject(t.get());
    box.build();
    EXPECT_GT(box.quantum[2], 0.0f);
    expectBoxesContainObjects(box);
    for (int i = 0; i < n; i++) {
        for (int j = 0; j < n; j++) {
            GRay down(0, HPoint(j + 0.3f, i + 0.6f, 10.0f), HPoint(0, 0, -1));
            HitRecord hit;
            hit.t = 1e30f;
            ASSERT_TRUE(box.intersect(down, hit)) << i << " " << j;
            EXPECT_FLOAT_EQ(hit.t, 8.0f);
            GRay up(0, HPoint(j + 0.6f, i + 0.3f, -1.0f), HPoint(0, 0, 1));
            HPoint color(1, 1, 1);
            EXPECT_TRUE(box.occludes(up, color, 5.0f));
        }
    }
    // A ray lying in the grid's plane hits no face of it.
    GRay inPlane(0, HPoint(-1.0f, 0.5f, 2.0f), HPoint(1, 0, 0));
    HitRecord hit;
    hit.t = 1e30f;
    EXPECT_FALSE(box.intersect(inPlane, hit));
    epsilon = savedEpsilon;
}

TEST_P(LBVHboxTraversalTest, NonFiniteCornersNeitherCrashNorHideOtherTriangles) {
    // A mesh file may carry NaN or huge coordinates: the build must stay in
    // bounds and the sound triangles must still be found.
    seedRandom(21);
    TriangleMesh mesh;
    makeSoup(mesh, 200, 0.2f);
    GVertex* bad = mesh.addVertex(HPoint(NAN, 0.0f, 0.0f));
    mesh.addTriangle(bad, mesh.vertices[0].get(), mesh.vertices[1].get());
    GVertex* far = mesh.addVertex(HPoint(3e38f, -3e38f, 0.0f));
    mesh.addTriangle(far, mesh.vertices[2].get(), mesh.vertices[3].get());
    LBVHbox box;
    for (auto& t : mesh.triangles)
        box.addObject(t.get());
    box.build();
    expectSameAnswersAsEveryObject(box, 1.0f, 500);
}

TEST_P(LBVHboxTraversalTest, TransparentShadowSettingAsksTheBlockers) {
    // Triangles without material are opaque whatever the setting says.
    seedRandom(5);
    TriangleMesh mesh;
    makeSoup(mesh, 300, 0.2f);
    LBVHbox box;
    for (auto& t : mesh.triangles)
        box.addObject(t.get());
    box.build();
    bool saved = transparentShadows;
    transparentShadows = true;
    int agree = 0;
    for (int i = 0; i < 500; i++) {
        HPoint origin = randomPoint(2.0f);
        GRay ray(0, origin, randomPoint(0.5f).difference(origin));
        HPoint colorA(1, 1, 1), colorB(1, 1, 1);
        bool expected = box.occludesEveryObject(ray, colorA, 10.0f);
        EXPECT_EQ(box.occludes(ray, colorB, 10.0f), expected);
        agree += expected;
    }
    EXPECT_GT(agree, 0);
    transparentShadows = saved;
}

TEST(LBVHboxTest, ToStringNamesTheClassAndBox) {
    LBVHbox box;
    std::string text = box.toString();
    EXPECT_EQ(text.rfind("LBVHbox@", 0), 0u) << text;
    EXPECT_NE(text.find(' '), std::string::npos);
    EXPECT_TRUE(box.isKindOf(ClassId::LBVHbox));
    EXPECT_TRUE(box.isKindOf(ClassId::GSceneObject));
    EXPECT_EQ(box.typeId(), 1027);
}
