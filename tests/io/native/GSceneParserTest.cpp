#include "io/native/GSceneParser.h"

#include <gtest/gtest.h>

#include <string>

#include "foundation/JString.h"
#include "foundation/Random.h"
#include "geometry/GPlane.h"
#include "geometry/GScene.h"
#include "geometry/GSphere.h"
#include "io/native/Scanner.h"
#include "render/GCamera.h"
#include "shading/GLight.h"
#include "tests/TestSupport.h"

namespace {

// Each test writes its scene files into a fresh folder of its own.
class GSceneParserTest : public ::testing::Test {
protected:
    std::string folder = makeScratchDir();

    void SetUp() override { resetScanner(); }
    void TearDown() override { resetScanner(); }

    // Loads content from a file of the given name; standard output and error
    // of the load are kept in out and err.
    void load(GScene& scene, const std::string& name, const std::string& content) {
        std::string path = folder + "/" + name;
        writeWholeFile(path, content);
        GSceneParser parser(&scene);
        ::testing::internal::CaptureStdout();
        ::testing::internal::CaptureStderr();
        parser.parse(path.c_str());
        out = ::testing::internal::GetCapturedStdout();
        err = ::testing::internal::GetCapturedStderr();
    }

    std::string out, err;
};

GObject* named(GScene& scene, const char* name) {
    JString key(name);
    return scene.symbolTable.get(&key);
}

TEST_F(GSceneParserTest, SphereWithoutBlanksReadsLikeTheSpacedForm) {
    GScene compact, spaced;
    load(compact, "compact.scn", "sphere{center 1,2,-3.5 radius 2}");
    load(spaced, "spaced.scn", "sphere {\n  center 1 2 -3.5\n  radius 2\n}\n");
    ASSERT_EQ(compact.objects.size(), 1);
    ASSERT_EQ(spaced.objects.size(), 1);
    GSphere* a = static_cast<GSphere*>(compact.objects.elementAt(0));
    GSphere* b = static_cast<GSphere*>(spaced.objects.elementAt(0));
    ASSERT_EQ(a->typeId(), ClassId::GSphere);
    for (GSphere* s : {a, b}) {
        EXPECT_EQ(s->center.x, 1.0f);
        EXPECT_EQ(s->center.y, 2.0f);
        EXPECT_EQ(s->center.z, -3.5f);
        EXPECT_EQ(s->radius, 2.0f);
    }
    EXPECT_EQ(out, "");

    // -.5 is -0.5; 1.5f is 1.5 followed by a word the block ignores.
    GScene quirks;
    load(quirks, "quirks.scn", "sphere { center -.5 1.5f 0 radius 1e0 }");
    ASSERT_EQ(quirks.objects.size(), 1);
    GSphere* sphere = static_cast<GSphere*>(quirks.objects.elementAt(0));
    EXPECT_EQ(sphere->center.x, -0.5f);
    EXPECT_EQ(sphere->center.y, 1.5f);
    EXPECT_EQ(sphere->radius, 1.0f);
}

TEST_F(GSceneParserTest, NamesEnterTheSymbolTable) {
    GScene scene;
    load(scene, "named.scn",
         "( \"orphan\" )\n"
         "sphere { radius 1 } ( \"ball\" )\n"
         "plane { normal 0 1 0 } ('floor')\n");
    ASSERT_EQ(scene.objects.size(), 2);
    EXPECT_EQ(named(scene, "ball"), scene.objects.elementAt(0));
    EXPECT_EQ(named(scene, "floor"), scene.objects.elementAt(1));
    // A name with no object before it reads nothing and names nothing.
    EXPECT_EQ(named(scene, "orphan"), nullptr);
    EXPECT_EQ(scene.symbolTable.size(), 2);
    // Nor does a name after another token, or an open "(" at the end.
    GScene late;
    load(late, "late.scn", "sphere { radius 1 } junk ( \"late\" ) sphere {} (");
    EXPECT_EQ(late.objects.size(), 2);
    EXPECT_EQ(late.symbolTable.size(), 0);
}

TEST_F(GSceneParserTest, PrintedSymbolTable) {
    GScene scene;
    load(scene, "print.scn", "sphere { center 1 2 3 radius 0.5 } (\"ball\")");
    ASSERT_EQ(scene.objects.size(), 1);
    ::testing::internal::CaptureStdout();
    scene.printSymbolTable();
    std::string printed = ::testing::internal::GetCapturedStdout();
    std::string expected = std::string("\nSYMBOL TABLE:\n\nball : ") +
                           scene.objects.elementAt(0)->toString() + "\n";
    EXPECT_EQ(printed, expected);
    EXPECT_NE(printed.find("(1.00 2.00 3.00, 0.50)"), std::string::npos);
}

TEST_F(GSceneParserTest, SecondViewBecomesTheCamera) {
    GScene scene;
    load(scene, "views.scn", "view { fovy 0.5 } sphere { radius 1 } view { fovy 0.7 }");
    ASSERT_NE(scene.camera, nullptr);
    // Both cameras and the sphere (and its material) were created.
    int cameras = 0;
    GObject* lastCamera = nullptr;
    for (int i = 0; i < scene.allObjects.size(); i++)
        if (scene.allObjects.elementAt(i)->isKindOf(ClassId::GCamera))
            cameras++, lastCamera = scene.allObjects.elementAt(i);
    EXPECT_EQ(cameras, 2);
    EXPECT_EQ(scene.camera, lastCamera);
    EXPECT_EQ(scene.camera->scene, &scene);
    EXPECT_EQ(scene.objects.size(), 1);
}

TEST_F(GSceneParserTest, StrayBlocksAndUnknownWordsAreSkipped) {
    GScene scene;
    load(scene, "stray.scn",
         "{ sphere { radius 1 } } 42 foo -3\n"
         "pathTracingView { fovy 1 }\n"
         "plane { normal 0 0 1 }\n");
    ASSERT_EQ(scene.objects.size(), 1);
    EXPECT_EQ(scene.objects.elementAt(0)->typeId(), ClassId::GPlane);
    EXPECT_EQ(scene.camera, nullptr);
    EXPECT_EQ(out, "");
    EXPECT_EQ(err, "");
}

TEST_F(GSceneParserTest, LightsAreFiled) {
    GScene scene;
    load(scene, "lights.scn",
         "point_light { location 0 5 0 emissive_color 1 1 1 }\n"
         "directional_light { direction 0 -1 0 emissive_color 1 1 1 }\n"
         "spot_light { location 0 5 0 direction 0 -1 0 cutoff_angle 0.5 }\n");
    ASSERT_EQ(scene.lights.size(), 3);
    EXPECT_EQ(scene.lights.elementAt(0)->typeId(), ClassId::PointLight);
    EXPECT_EQ(scene.lights.elementAt(1)->typeId(), ClassId::DirectionalLight);
    EXPECT_EQ(scene.lights.elementAt(2)->typeId(), ClassId::SpotLight);
    EXPECT_EQ(scene.objects.size(), 0);
    EXPECT_EQ(scene.allObjects.size(), 3);
}

TEST_F(GSceneParserTest, RejectedOrCutBlocksAreReportedAndKept) {
    GScene scene;
    load(scene, "cut.scn", "sphere radius 3 sphere { center 1 1 1 radius");
    ASSERT_EQ(scene.objects.size(), 2);
    GSceneObject* first = scene.objects.elementAt(0);
    GSceneObject* second = scene.objects.elementAt(1);
    std::string expected = std::string("PARSE ERROR parsing ") + first->toString() + ".\n";
    expected += std::string("PARSE ERROR parsing ") + second->toString() + ".\n";
    EXPECT_EQ(out, expected);
    // The value read after the end of input is 0; what came before stays.
    GSphere* cut = static_cast<GSphere*>(second);
    EXPECT_EQ(cut->center.x, 1.0f);
    EXPECT_EQ(cut->radius, 0.0f);
}

TEST_F(GSceneParserTest, FormatChosenByTheExactExtension) {
    const char* sphere = "sphere { radius 1 }";
    GScene upper, shortName, xml, rib;
    load(upper, "scene.XML", sphere);
    load(shortName, "ml", sphere);
    EXPECT_EQ(upper.objects.size() + shortName.objects.size(), 2);
    load(xml, "scene.xml", sphere);
    EXPECT_EQ(xml.objects.size(), 0);
    EXPECT_EQ(out, "XML PARSE...DONE\n");
    load(rib, "scene.rib", sphere);
    EXPECT_EQ(rib.objects.size(), 0);
    EXPECT_NE(out.find("Warning: Unhandled RIB data: sphere\n"), std::string::npos);
}

TEST_F(GSceneParserTest, MissingFileLeavesTheSceneEmpty) {
    GScene scene;
    GSceneParser parser(&scene);
    std::string path = folder + "/absent.scn";
    ::testing::internal::CaptureStderr();
    parser.parse(path.c_str());
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "ERROR! could not open file '" + path + "'");
    EXPECT_EQ(scene.allObjects.size(), 0);
}

TEST_F(GSceneParserTest, UncreatableBlockIsSkippedWhole) {
    GScene scene;
    load(scene, "shape.scn", "shape { file \"mesh.n\" } sphere { radius 1 }");
    ASSERT_GE(scene.objects.size(), 1);
    EXPECT_EQ(scene.objects.elementAt(scene.objects.size() - 1)->typeId(), ClassId::GSphere);
}

TEST_F(GSceneParserTest, UnterminatedCommentAndStrayBlock) {
    GScene scene;
    load(scene, "open.scn", "sphere { radius 1 } /* the rest is gone sphere { radius 2 }");
    EXPECT_EQ(scene.objects.size(), 1);
    EXPECT_EQ(err, "ERROR! Unexpected end of input looking for token '*/'\n");
    GScene other;
    load(other, "openblock.scn", "{ sphere { radius 1 }");
    EXPECT_EQ(other.objects.size(), 0);
    EXPECT_EQ(err, "ERROR! Unexpected end of input looking for token '}'\n");
}

TEST_F(GSceneParserTest, RandomBytesNeverBreakTheLoader) {
    seedRandom(20240601);
    for (int round = 0; round < 60; round++) {
        std::string content;
        int length = (round % 10 == 0) ? 20000 + nextRandom() : nextRandom() % 4000;
        for (int i = 0; i < length; i++) content += (char)(nextRandom() & 0xff);
        GScene scene;
        load(scene, "random.scn", content);
    }
}

TEST_F(GSceneParserTest, RandomTokenSoupNeverBreaksTheLoader) {
    // Plausible pieces in random order: blocks cut anywhere, numbers where
    // keywords belong, names without objects, open comments and quotes.
    const char* pieces[] = {"sphere", "plane", "view", "point_light", "spot_light",
                            "directional_light", "shape", "point_cloud", "pathTracingView",
                            "{", "}", "(", ")", "[", "]", "\"name\"", "'q", "\"", "/*", "*/",
                            "//", "radius", "center", "normal", "fovy", "image_size", "location",
                            "1", "-2.5", "1e39", "nan", "0x7fffffff", "99999999999", ",", "\n"};
    const int pieceCount = (int)(sizeof pieces / sizeof pieces[0]);
    seedRandom(77);
    for (int round = 0; round < 150; round++) {
        std::string content;
        int count = nextRandom() % 120;
        for (int i = 0; i < count; i++) content += std::string(pieces[nextRandom() % pieceCount]) + " ";
        GScene scene;
        load(scene, "soup.scn", content);
        for (int i = 0; i < scene.objects.size(); i++)
            EXPECT_TRUE(scene.objects.elementAt(i)->isKindOf(ClassId::GSceneObject));
        EXPECT_TRUE(!scene.camera || scene.camera->isKindOf(ClassId::GCamera));
    }
}

}  // namespace
