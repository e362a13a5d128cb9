#include "geometry/GScene.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "foundation/Random.h"
#include "foundation/Settings.h"
#include "geometry/GRay.h"
#include "geometry/GSceneObject.h"
#include "geometry/GSphere.h"
#include "geometry/HitRecord.h"
#include "shading/GMaterial.h"

namespace {

int stubsDestroyed = 0;

// A wall across every ray at a fixed distance; counts the queries it answers.
class StubWall : public GSceneObject {
public:
    float distance;
    int intersectCalls = 0;
    explicit StubWall(float d) : distance(d) {}
    ~StubWall() override { stubsDestroyed++; }
    bool intersect(GRay& ray, HitRecord& hit) override {
        (void)ray;
        intersectCalls++;
        if (distance <= 0.0f || distance > hit.t) return false;
        hit.t = distance;
        hit.object = this;
        return true;
    }
    // Emits one unit of power straight up from the origin.
    void emitRay(GRay& ray, HPoint& power, HPoint& normal) override {
        ray = GRay(0, HPoint(0, 0, 0, 1), HPoint(0, 1, 0, 1));
        power = HPoint(1.0f, 0.5f, 0.25f, 1.0f);
        normal = HPoint(0, 1, 0, 1);
    }
};

HitRecord freshHit() {
    HitRecord hit;
    hit.t = 3.4028235e38f;
    return hit;
}

TEST(GSceneTest, EmptyScene) {
    GScene scene;
    GRay ray(0, HPoint(0, 0, 0, 1), HPoint(1, 0, 0, 1));
    HitRecord hit = freshHit();
    HPoint color(1, 1, 1, 1);
    EXPECT_FALSE(scene.closestHit(ray, hit));
    EXPECT_FALSE(scene.anyHit(ray, color, 100.0f));
    EXPECT_TRUE(scene.isVisible(HPoint(0, 0, 0, 1), HPoint(5, 5, 5, 1)));
    EXPECT_EQ(scene.camera, nullptr);
    EXPECT_NE(scene.defaultMaterial, nullptr);
    EXPECT_EQ(scene.emitterCount, 0);
    EXPECT_EQ(scene.backgroundColor.w, 1.0f);
    EXPECT_EQ(scene.typeId(), ClassId::GScene);
    EXPECT_TRUE(scene.isKindOf(ClassId::GObject));
    EXPECT_EQ(std::string(scene.toString()).rfind("GScene@", 0), 0u);
    GRay emitted;
    HPoint power(7, 7, 7, 1), normal;
    EXPECT_EQ(scene.sampleEmitter(emitted, power, normal), nullptr);
    EXPECT_EQ(power.x, 7.0f);
}

TEST(GSceneTest, ClosestHitIsTheNearestInEitherOrder) {
    for (int order = 0; order < 2; order++) {
        GScene scene;
        StubWall* near = new StubWall(3.0f);
        StubWall* far = new StubWall(5.0f);
        scene.objects.add(order ? near : far);
        scene.objects.add(order ? far : near);
        GRay ray(0, HPoint(0, 0, 0, 1), HPoint(1, 0, 0, 1));
        HitRecord hit = freshHit();
        EXPECT_TRUE(scene.closestHit(ray, hit));
        EXPECT_EQ(hit.t, 3.0f);
        EXPECT_EQ(hit.object, near);
        // Every object is asked, even after a hit.
        EXPECT_EQ(near->intersectCalls, 1);
        EXPECT_EQ(far->intersectCalls, 1);
        // The caller's limit holds.
        hit = freshHit();
        hit.t = 2.0f;
        EXPECT_FALSE(scene.closestHit(ray, hit));
    }
}

TEST(GSceneTest, AnyHitStopsAtTheFirstBlockerFromTheLast) {
    GScene scene;
    StubWall* first = new StubWall(2.0f);
    StubWall* last = new StubWall(4.0f);
    scene.objects.add(first);
    scene.objects.add(last);
    GRay ray(0, HPoint(0, 0, 0, 1), HPoint(1, 0, 0, 1));
    HPoint color(1, 1, 1, 1);
    EXPECT_TRUE(scene.anyHit(ray, color, 10.0f));
    EXPECT_EQ(last->intersectCalls, 1);
    EXPECT_EQ(first->intersectCalls, 0);
    // Beyond the limit nothing blocks.
    EXPECT_FALSE(scene.anyHit(ray, color, 1.5f));
}

TEST(GSceneTest, VisibilityAroundASphere) {
    GScene scene;
    GSphere* sphere = new GSphere();
    sphere->setRadius(1.0f);
    scene.objects.add(sphere);
    EXPECT_FALSE(scene.isVisible(HPoint(-5, 0, 0, 1), HPoint(5, 0, 0, 1)));
    EXPECT_TRUE(scene.isVisible(HPoint(-5, 2, 0, 1), HPoint(5, 2, 0, 1)));
    EXPECT_TRUE(scene.isVisible(HPoint(-5, 0, 0, 1), HPoint(-2, 0, 0, 1)));
    // A point and itself: the limit is negative.
    EXPECT_TRUE(scene.isVisible(HPoint(-5, 0, 0, 1), HPoint(-5, 0, 0, 1)));
}

TEST(GSceneTest, VisibilityStopsEpsilonShortOfTheTarget) {
    GScene scene;
    StubWall* wall = new StubWall(10.0f - 0.5f * epsilon);
    scene.objects.add(wall);
    EXPECT_TRUE(scene.isVisible(HPoint(0, 0, 0, 1), HPoint(10, 0, 0, 1)));
    wall->distance = 10.0f - 2.0f * epsilon;
    EXPECT_FALSE(scene.isVisible(HPoint(0, 0, 0, 1), HPoint(10, 0, 0, 1)));
}

TEST(GSceneTest, TransparentShadowsPassThroughGlass) {
    GScene scene;
    GSphere* glass = new GSphere();
    glass->setRadius(1.0f);
    GMaterial* material = new GMaterial();
    material->setColor(GMaterial::transmitted, HPoint(0.5f, 0.5f, 0.5f, 0.0f));
    glass->setMaterial(material);
    scene.allObjects.add(material);
    scene.objects.add(glass);
    bool savedShadows = transparentShadows, savedCaustics = fakeCaustics;
    transparentShadows = true;
    fakeCaustics = false;
    GRay ray(0, HPoint(-5, 0, 0, 1), HPoint(1, 0, 0, 1));
    HPoint color(1, 1, 1, 1);
    EXPECT_FALSE(scene.anyHit(ray, color, 100.0f));
    EXPECT_FLOAT_EQ(color.x, 0.5f);
    EXPECT_FLOAT_EQ(color.z, 0.5f);
    transparentShadows = false;
    GRay again(0, HPoint(-5, 0, 0, 1), HPoint(1, 0, 0, 1));
    EXPECT_TRUE(scene.anyHit(again, color, 100.0f));
    transparentShadows = savedShadows;
    fakeCaustics = savedCaustics;
}

TEST(GSceneTest, SampleEmitterPicksByTheRawDrawAndScalesPower) {
    GScene scene;
    StubWall* emitters[3] = {new StubWall(1), new StubWall(2), new StubWall(3)};
    for (StubWall* e : emitters) {
        scene.objects.add(e);
        scene.emitters.add(e);
        scene.emitterCount++;
    }
    seedRandom(11);
    int draw = nextRandom();
    seedRandom(11);
    GRay ray;
    HPoint power, normal;
    GSceneObject* chosen = scene.sampleEmitter(ray, power, normal);
    EXPECT_EQ(chosen, emitters[(draw >> 3) % 3]);
    EXPECT_FLOAT_EQ(power.x, 3.0f);
    EXPECT_FLOAT_EQ(power.y, 1.5f);
    EXPECT_FLOAT_EQ(power.z, 0.75f);
    EXPECT_EQ(normal.y, 1.0f);
}

TEST(GSceneTest, PrepareLeavesFewObjectsAlone) {
    GScene scene;
    StubWall* walls[14];
    for (int i = 0; i < 14; i++) scene.objects.add(walls[i] = new StubWall((float)(i + 1)));
    scene.prepare();
    ASSERT_EQ(scene.objects.size(), 14);
    for (int i = 0; i < 14; i++) EXPECT_EQ(scene.objects.elementAt(i), walls[i]);
}

TEST(GSceneTest, SymbolTablePrintOrder) {
    GScene scene;
    StubWall* a = new StubWall(1);
    StubWall* e = new StubWall(2);
    StubWall* b = new StubWall(3);
    scene.objects.add(a);
    scene.objects.add(e);
    scene.objects.add(b);
    // "a" (97) and "e" (101) share bucket 1 of 4, newest first; "b" is in bucket 2.
    scene.symbolTable.put(new JString("b"), b);
    scene.symbolTable.put(new JString("a"), a);
    scene.symbolTable.put(new JString("e"), e);
    std::string expected = "\nSYMBOL TABLE:\n\n";
    expected += std::string("e : ") + e->toString() + "\n";
    expected += std::string("a : ") + a->toString() + "\n";
    expected += std::string("b : ") + b->toString() + "\n";
    ::testing::internal::CaptureStdout();
    scene.printSymbolTable();
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), expected);

    GScene empty;
    ::testing::internal::CaptureStdout();
    empty.printSymbolTable();
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "\nSYMBOL TABLE:\n\n");
}

TEST(GSceneTest, XmlOfASceneWithoutCamera) {
    GScene scene;
    scene.backgroundColor = HPoint(0.1f, 0.25f, 1.0f, 1.0f);
    scene.ambientColor = HPoint(0.5f, 0.0f, 0.125f, 1.0f);
    StubWall* wall = new StubWall(1);
    scene.objects.add(wall);
    FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    ::testing::internal::CaptureStdout();
    scene.writeXML(file);
    // What the format cannot say is told on the console, not written into the file.
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              std::string("XML export: ") + wall->toString() + " is not written: the format has no such object\n");
    std::rewind(file);
    std::string written;
    char chunk[256];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) written.append(chunk, got);
    std::fclose(file);
    std::string expected =
        "<?xml version='1.0'?>\n<scene>\n\n"
        "<background type='constant' name='sky'>\n"
        "  <color r='0.100000001' g='0.25' b='1'/>\n"
        "</background>\n\n\n"
        "<light type='ambientlight' name='ambient1' power='1.0'>\n"
        "  <color r='0.5' g='0' b='0.125'/>\n"
        "</light>\n\n"
        "\n";
    expected += "\n";
    expected += "\n</scene>\n\n";
    EXPECT_EQ(written, expected);
}

TEST(GSceneTest, EveryListedObjectIsDestroyedOnce) {
    stubsDestroyed = 0;
    {
        GScene scene;
        StubWall* shared = new StubWall(1);
        StubWall* onlyObject = new StubWall(2);
        scene.allObjects.add(shared);
        scene.objects.add(shared);
        scene.emitters.add(shared);
        scene.objects.add(onlyObject);
        scene.symbolTable.put(new JString("shared"), shared);
    }
    EXPECT_EQ(stubsDestroyed, 2);
}

}  // namespace
