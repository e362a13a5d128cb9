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

}  // namespace
