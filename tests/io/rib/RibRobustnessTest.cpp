// Truncated and random input: the reader never crashes or reads outside its
// buffers (run under the address sanitizer to see the second), and the load
// always finishes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/Random.h"
#include "geometry/GScene.h"
#include "io/rib/RibReader.h"
#include "tests/TestSupport.h"
#include "tests/io/rib/RibTestSupport.h"

namespace {

// Loads text into a fresh scene; answers the number of top-level objects.
int loadQuietly(const std::string& text) {
    GScene scene;
    RibReader reader(&scene);
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    reader.readText(text.c_str());
    ::testing::internal::GetCapturedStdout();
    ::testing::internal::GetCapturedStderr();
    return scene.objects.size();
}

const char* sample =
    "Format 8 6 1\n"
    "Projection \"perspective\" \"fov\" [40]\n"
    "Translate 0 0 4\n"
    "WorldBegin\n"
    "ObjectBegin 1\n"
    "  PointsGeneralPolygons [1 1] [4 3] [0 1 2 3  0 2 4]\n"
    "    \"P\" [0 0 0  1 0 0  1 1 0  0 1 0  2 2 0] \"N\" [0 0 1  0 0 1] \"st\" [0 0 1 0 1 1]\n"
    "ObjectEnd\n"
    "AttributeBegin\n"
    "  Color [0.5 0.2 0.1]\n"
    "  Surface \"vq317surface\" \"phong\" [20] \"texturefile\" [\"none.ppm\"]\n"
    "  AreaLightSource \"area\" 1 \"lightcolor\" [1 1 1]\n"
    "  TransformBegin\n"
    "    ConcatTransform [1 0 0 0 0 1 0 0 0 0 1 0 1 2 3 1]\n"
    "    ObjectInstance 1\n"
    "    Sphere 1 -1 1 360\n"
    "  TransformEnd\n"
    "AttributeEnd\n"
    "LightSource \"distantlight\" 1 \"from\" [0 0 0] \"to\" [0 0 1]\n"
    "WorldEnd\n";

TEST(RibRobustnessTest, EveryPrefixOfAFileLoads) {
    std::string text(sample);
    int complete = loadQuietly(text);
    EXPECT_EQ(complete, 2);
    for (size_t length = 0; length < text.size(); length++) {
        int objects = loadQuietly(text.substr(0, length));
        EXPECT_LE(objects, complete) << "prefix of " << length << " bytes";
    }
}

TEST(RibRobustnessTest, DamagedBracketsQuotesAndNumbers) {
    const char* damaged[] = {
        "PointsGeneralPolygons [1] [4] [0 1 2 3] \"P\" [0 0 0 1 0 0 1 1]\n",          // short "P"
        "PointsGeneralPolygons [1] [999999] [0 1 2] \"P\" [0 0 0 1 0 0 1 1 0]\n",    // huge count
        "PointsGeneralPolygons [1] [-5] [0 1 2] \"P\" [0 0 0 1 0 0 1 1 0]\n",        // negative
        "PointsGeneralPolygons [] [] [] \"P\" []\n",
        "PointsGeneralPolygons [1] [3] [0 1 2147483647] \"P\" [0 0 0 1 0 0 1 1 0]\n",
        "PointsGeneralPolygons [1] [3] [0 1 2] \"P\" [0 0 0 1 0 0 1 1 0\n",
        "ObjectBegin -7\nSphere 1\nObjectEnd\nObjectInstance -7\nObjectInstance 2147483647\n",
        "ObjectBegin 99999999999999999999\nObjectEnd\n",
        "Transform [1 2 3\n",
        "]]]][[[[ \"\"\" \"\n",
        "Surface \"vq317surface\" \"phong\" [] \"specularcolor\" [1]\n",
        "Sphere nan\nSphere -1\nSphere 1e39\n",
        "WorldEnd\nWorldEnd\nAttributeEnd\nTransformEnd\nFrameEnd\n",
        "WorldBegin\nWorldBegin\nWorldEnd\n",
        "LightSource \"distantlight\" \"to\" [0 0 0] \"from\" [0 0 0]\n",
        "ReadArchive \"\"\nReadArchive \"/\"\nReadArchive \"\\\\\"\nTrimesh \"\"\n",
        "Format 2147483647 2147483647 1\nPixelSamples 2147483647 2147483647\n",
    };
    for (const char* text : damaged) loadQuietly(text);
    EXPECT_EQ(loadQuietly("Sphere 1\n"), 1);
}

TEST(RibRobustnessTest, RandomBytesAndShuffledTokens) {
    seedRandom(17);
    const char* pieces[] = {"[", "]", "\"", "#", "\n", " ", "\t", "\r", "1", "-2.5", "P", "\"P\"",
                            "WorldBegin", "WorldEnd", "AttributeBegin", "AttributeEnd",
                            "ObjectBegin", "ObjectEnd", "ObjectInstance", "Sphere",
                            "PointsGeneralPolygons", "Surface", "\"vq317surface\"", "Translate",
                            "ConcatTransform", "AreaLightSource", "Color", "Attribute"};
    const int pieceCount = (int)(sizeof pieces / sizeof pieces[0]);
    for (int round = 0; round < 200; round++) {
        std::string text;
        int length = nextRandom() % 80;
        for (int i = 0; i < length; i++) text += pieces[nextRandom() % pieceCount];
        loadQuietly(text);
        std::string bytes;
        for (int i = 0; i < length * 4; i++) bytes += (char)(1 + nextRandom() % 255);
        loadQuietly(bytes);
    }
}

// How often text occurs in out.
int occurrences(const std::string& out, const std::string& text) {
    int count = 0;
    for (size_t at = out.find(text); at != std::string::npos; at = out.find(text, at + 1))
        count++;
    return count;
}

TEST(RibRobustnessTest, AnArchiveIsKnownByWhatItIsNotByItsName) {
    std::string dir = makeScratchDir();
    // Each new spelling of its own name used to read the file again, 2^64 times.
    writeWholeFile(dir + "/self.rib", "ReadArchive \"./self.rib\"\nReadArchive \"./self.rib\"\n"
                                      "ReadArchive \".//self.rib\"\nReadArchive \"ball.rib\"\n"
                                      "ReadArchive \"./ball.rib\"\n");
    // Another file read twice, one after the other, is read twice.
    writeWholeFile(dir + "/ball.rib", "Sphere 1 -1 1 360\n");
    GScene scene;
    RibReader reader(&scene);
    RibRun run = readRib(reader, &scene, dir + "/self.rib");
    EXPECT_FALSE(run.ok);
    EXPECT_EQ(2, occurrences(run.out, "RIB Error! " + dir +
                                          "/./self.rib is already being read; not reading it "
                                          "again.\n"));
    EXPECT_EQ(3, occurrences(run.out, "is already being read"));
    EXPECT_EQ(2, scene.objects.size());
}

// Objects 1 ... last, object n placing object n - 1 twice: 2^last copies of
// object 0.
void appendDoublingObjects(std::string& text, int last) {
    for (int n = 1; n <= last; n++) {
        std::string previous = std::to_string(n - 1);
        text += "ObjectBegin " + std::to_string(n) + "\nObjectInstance " + previous +
                "\nObjectInstance " + previous + "\nObjectEnd\n";
    }
}

TEST(RibRobustnessTest, InstancesOfInstancesAreBoundedInTotal) {
    // Object n places object n - 1 twice: 2^39 spheres from a few lines.
    std::string text = "ObjectBegin 0\nSphere 1 -1 1 360\nObjectEnd\n";
    appendDoublingObjects(text, 39);
    text += "WorldBegin\nObjectInstance 39\nSphere 1 -1 1 360\nWorldEnd\n";
    GScene scene;
    RibReader reader(&scene);
    RibRun run = runRib(reader, text);
    EXPECT_FALSE(run.ok);
    EXPECT_EQ(1, occurrences(run.out, "Error in RIB: instances ran 1000000 statements and made "));
    // Of the million statements a third are spheres (the rest place objects);
    // the statement after the instance still runs.
    EXPECT_GT(scene.objects.size(), 300000);
    EXPECT_LT(scene.objects.size(), 1000000);
}

TEST(RibRobustnessTest, InstancesOfLargeObjectsAreBoundedByTheObjectsMade) {
    // Few statements, each a mesh of 5000 triangles: the objects made end it.
    std::string loops, corners, indices;
    for (int i = 0; i < 5000; i++) {
        loops += " 1";
        corners += " 3";
        indices += " 0 1 2";
    }
    std::string text = "ObjectBegin 0\nPointsGeneralPolygons [" + loops + "] [" + corners + "] [" +
                       indices + "] \"P\" [0 0 0 1 0 0 0 1 0]\nObjectEnd\n";
    appendDoublingObjects(text, 29);
    text += "WorldBegin\nObjectInstance 29\nWorldEnd\n";
    GScene scene;
    RibReader reader(&scene);
    RibRun run = runRib(reader, text);
    EXPECT_FALSE(run.ok);
    size_t at = run.out.find("Error in RIB: instances ran ");
    ASSERT_NE(std::string::npos, at) << run.out.substr(0, 2000);
    long long statements = 0, made = 0;
    ASSERT_EQ(2, std::sscanf(run.out.c_str() + at,
                             "Error in RIB: instances ran %lld statements and made %lld objects",
                             &statements, &made));
    EXPECT_LT(statements, 10000);
    EXPECT_GE(made, 2000000);
    EXPECT_LT(made, 2000000 + 10000);
}

}  // namespace
